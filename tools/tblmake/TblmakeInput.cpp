#include "TblmakeInput.h"

#include "platform/Text.h"
#include "tablewriter/TableWriterValues.h"

#include <charconv>
#include <map>
#include <vector>

namespace tblmake {

using namespace tableengine::writer;

const char* const kUsage = R"(Usage: tblmake [--force] [--codepage NAME] FOLDER TABLE SCHEMA [ROWS]

Builds the table TABLE in FOLDER (FOLDER/TABLE.dat, .idx and, with BLOB fields, .blb) from the
schema file SCHEMA and the tab-separated rows file ROWS ("-" reads standard input; no ROWS gives an
empty table). The folder is created when missing. Existing files of the table are refused unless
--force is given. Texts are read as UTF-8 and stored in the ANSI code page (default windows-1252, or
NAME as ICU knows it, e.g. windows-1250).

Schema file: one statement per line; blank lines and lines starting with # are ignored; words are
separated by blanks; a word may contain "double-quoted" parts with the escapes \\ \" \t \n \r.

  option pagesize N        index page size, 1024..16384 (rounded up to a multiple of 8; default 4096)
  option blocksize N       BLOB block size, 64..65536 (rounded up to a multiple of 8; default 512)
  option password TEXT     encrypt the table with this password
  option locale N          LocaleID of the table (default 0: byte order, Windows-1252 letter case)
  option description TEXT  table description (at most 100 characters)
  option version MAJOR MINOR   user version numbers
  option updated DAYS      last-updated time as days since 1899-12-30 (default: now)
  option stamp N           update stamp written into the three headers (default 1)
  option signature TEXT    engine signature text (default TABLE_SIG)

  field NAME TYPE [LENGTH] [FLAG...]
    TYPE: string fixedchar guid widestring (these and bytes, varbytes take LENGTH), date time
          timestamp boolean smallint word integer autoinc largeint float currency bcd blob memo graphic
    FLAG: required hidden upper lower subtype=N decimals=N (bcd) compress=1..9 (blob fields)
          desc=TEXT min=TEXT max=TEXT default=TEXT

  primary FIELDS [KEYFLAG...]        the primary key (without one: the automatic index on RecordID)
  index NAME FIELDS [KEYFLAG...]     a secondary index
    FIELDS: comma-separated field names, each optionally followed by /d (descending); RecordID and
            RecordHash name the pseudo fields
    KEYFLAG: unique nocase desc nostats compress=none|dupbyte|trailbyte|full

Rows file: one row per line, one cell per field in schema order, separated by tabs. Escapes in a
cell: \\ \t \n \r and \xHH (one raw byte). A cell that is exactly \N is null; a row whose first
cell is \D (followed by the field cells) is written as a deleted record on the free list. String
and memo cells are text; bytes, varbytes, blob and graphic cells are hexadecimal digits; dates
YYYY-MM-DD, times HH:MM:SS[.mmm], timestamps "YYYY-MM-DD HH:MM:SS[.mmm]", booleans True/False,
numbers in C notation, bcd as a decimal. An empty cell of a type other than string or memo is null;
a null autoinc cell takes the next number.

Example, the translations table of the program (field 0 the text number, field k+1 language k):
  schema:   field Nr integer required
            field Lang0 string 255
            ... up to the last language
            primary Nr
  rows:     1<TAB>Start<TAB>Start<TAB>...
  command:  tblmake 3Tdata Language language.schema language.tsv
)";

namespace {

[[noreturn]] void Fail(size_t line, const std::string& what) {
    throw WriterError("line " + std::to_string(line) + ": " + what);
}

std::string ToAnsi(const std::string& utf8) { return platform::TextToAnsi(platform::Utf8ToText(utf8)); }

std::vector<std::string> SplitWords(const std::string& line, size_t lineNo) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == ' ' || c == '\t') {
            if (inWord)
                words.push_back(word);
            word.clear();
            inWord = false;
            continue;
        }
        inWord = true;
        if (c != '"') {
            word += c;
            continue;
        }
        bool closed = false;
        for (++i; i < line.size(); ++i) {
            if (line[i] == '"') {
                closed = true;
                break;
            }
            if (line[i] == '\\' && i + 1 < line.size()) {
                const char e = line[++i];
                word += e == 't' ? '\t' : e == 'n' ? '\n' : e == 'r' ? '\r' : e;
            } else {
                word += line[i];
            }
        }
        if (!closed)
            Fail(lineNo, "unterminated quotes");
    }
    if (inWord)
        words.push_back(word);
    return words;
}

long Number(const std::string& s, size_t line, long lo, long hi) {
    long v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size() || v < lo || v > hi)
        Fail(line, "'" + s + "' is not a number from " + std::to_string(lo) + " to " + std::to_string(hi));
    return v;
}

struct TypeName {
    uint8_t Type;
    uint8_t SubType;
    bool Sized;
};

const std::map<std::string, TypeName>& Types() {
    static const std::map<std::string, TypeName> types{
        {"string", {DataTypes::String, 0, true}},
        {"fixedchar", {DataTypes::String, SubTypes::FixedChar, true}},
        {"guid", {DataTypes::String, SubTypes::Guid, true}},
        {"widestring", {DataTypes::String, SubTypes::WideString, true}},
        {"date", {DataTypes::Date, 0, false}},
        {"blob", {DataTypes::Blob, 0, false}},
        {"memo", {DataTypes::Blob, SubTypes::Memo, false}},
        {"graphic", {DataTypes::Blob, SubTypes::Graphic, false}},
        {"boolean", {DataTypes::Boolean, 0, false}},
        {"smallint", {DataTypes::SmallInt, 0, false}},
        {"integer", {DataTypes::Integer, 0, false}},
        {"autoinc", {DataTypes::Integer, SubTypes::AutoInc, false}},
        {"float", {DataTypes::Float, 0, false}},
        {"currency", {DataTypes::Float, SubTypes::Currency, false}},
        {"bcd", {DataTypes::Bcd, 0, false}},
        {"bytes", {DataTypes::Bytes, 0, true}},
        {"time", {DataTypes::Time, 0, false}},
        {"timestamp", {DataTypes::TimeStamp, 0, false}},
        {"word", {DataTypes::Word, 0, false}},
        {"varbytes", {DataTypes::VarBytes, 0, true}},
        {"largeint", {DataTypes::LargeInt, 0, false}},
    };
    return types;
}

// key=value split; value empty when no '='.
std::pair<std::string, std::string> Flag(const std::string& word) {
    const size_t eq = word.find('=');
    if (eq == std::string::npos)
        return {word, std::string()};
    return {word.substr(0, eq), word.substr(eq + 1)};
}

WriterIndex ParseIndex(const std::vector<std::string>& w, size_t first, size_t line) {
    WriterIndex ix;
    if (first >= w.size())
        Fail(line, "index fields missing");
    size_t start = 0;
    const std::string& list = w[first];
    while (start <= list.size()) {
        size_t comma = list.find(',', start);
        if (comma == std::string::npos)
            comma = list.size();
        std::string name = list.substr(start, comma - start);
        WriterKeyField kf;
        if (name.size() > 2 && (name.ends_with("/d") || name.ends_with("/D"))) {
            kf.Descending = true;
            name.resize(name.size() - 2);
        }
        if (name.empty())
            Fail(line, "empty field name in the index field list");
        kf.Name = ToAnsi(name);
        ix.Fields.push_back(kf);
        start = comma + 1;
    }
    for (size_t i = first + 1; i < w.size(); ++i) {
        const auto [key, value] = Flag(w[i]);
        if (key == "unique")
            ix.Unique = true;
        else if (key == "nocase")
            ix.CaseInsensitive = true;
        else if (key == "desc")
            ix.Descending = true;
        else if (key == "nostats")
            ix.NoKeyStatistics = true;
        else if (key == "compress") {
            static const std::map<std::string, uint8_t> kinds{{"none", KeyCompression::None},
                                                              {"dupbyte", KeyCompression::DuplicateByte},
                                                              {"trailbyte", KeyCompression::TrailingByte},
                                                              {"full", KeyCompression::Full}};
            const auto it = kinds.find(value);
            if (it == kinds.end())
                Fail(line, "compress is none, dupbyte, trailbyte or full");
            ix.Compression = it->second;
        } else {
            Fail(line, "unknown index flag '" + w[i] + "'");
        }
    }
    return ix;
}

WriterField ParseField(const std::vector<std::string>& w, size_t line) {
    if (w.size() < 3)
        Fail(line, "field NAME TYPE [LENGTH] [FLAG...]");
    WriterField f;
    f.Name = ToAnsi(w[1]);
    const auto it = Types().find(w[2]);
    if (it == Types().end())
        Fail(line, "unknown type '" + w[2] + "'");
    f.DataType = it->second.Type;
    f.SubType = it->second.SubType;
    size_t i = 3;
    if (it->second.Sized) {
        if (w.size() < 4)
            Fail(line, "type '" + w[2] + "' needs a length");
        f.Length = static_cast<uint16_t>(Number(w[3], line, 1, 512));
        i = 4;
    }
    for (; i < w.size(); ++i) {
        const auto [key, value] = Flag(w[i]);
        if (key == "required")
            f.Required = true;
        else if (key == "hidden")
            f.Hidden = true;
        else if (key == "upper")
            f.CharCase = 1;
        else if (key == "lower")
            f.CharCase = 2;
        else if (key == "subtype")
            f.SubType = static_cast<uint8_t>(Number(value, line, 0, 255));
        else if (key == "decimals")
            f.Decimals = static_cast<uint8_t>(Number(value, line, 0, 63));
        else if (key == "compress")
            f.Compression = static_cast<uint8_t>(Number(value, line, 0, 9));
        else if (key == "desc")
            f.Description = ToAnsi(value);
        else if (key == "min")
            f.Minimum = ToAnsi(value);
        else if (key == "max")
            f.Maximum = ToAnsi(value);
        else if (key == "default")
            f.Default = ToAnsi(value);
        else
            Fail(line, "unknown field flag '" + w[i] + "'");
    }
    return f;
}

bool IsTextField(const WriterField& f) {
    return f.DataType == DataTypes::String ||
           (f.DataType == DataTypes::Blob && (f.SubType == 22 || f.SubType == 24 || f.SubType == 33));
}

bool IsHexField(const WriterField& f) {
    return f.DataType == DataTypes::Bytes || f.DataType == DataTypes::VarBytes ||
           (f.DataType == DataTypes::Blob && !IsTextField(f));
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Unescapes a cell; text parts are converted from UTF-8 to ANSI when toAnsi, \xHH bytes are kept raw.
std::string Unescape(const std::string& cell, bool toAnsi, size_t line) {
    std::string out, pending;
    const auto flush = [&] {
        out += toAnsi ? ToAnsi(pending) : pending;
        pending.clear();
    };
    for (size_t i = 0; i < cell.size(); ++i) {
        if (cell[i] != '\\') {
            pending += cell[i];
            continue;
        }
        if (i + 1 >= cell.size())
            Fail(line, "a cell ends with a lone backslash");
        const char e = cell[++i];
        switch (e) {
        case '\\': pending += '\\'; break;
        case 't': pending += '\t'; break;
        case 'n': pending += '\n'; break;
        case 'r': pending += '\r'; break;
        case 'x': {
            const int hi = i + 1 < cell.size() ? HexDigit(cell[i + 1]) : -1;
            const int lo = i + 2 < cell.size() ? HexDigit(cell[i + 2]) : -1;
            if (hi < 0 || lo < 0)
                Fail(line, "\\x needs two hexadecimal digits");
            flush();
            out += static_cast<char>(hi * 16 + lo);
            i += 2;
            break;
        }
        default:
            Fail(line, std::string("unknown escape \\") + e);
        }
    }
    flush();
    return out;
}

std::string FromHex(const std::string& text, size_t line) {
    std::string out;
    int high = -1;
    for (const char c : text) {
        if (c == ' ')
            continue;
        const int d = HexDigit(c);
        if (d < 0)
            Fail(line, "'" + text + "' is not hexadecimal");
        if (high < 0) {
            high = d;
        } else {
            out += static_cast<char>(high * 16 + d);
            high = -1;
        }
    }
    if (high >= 0)
        Fail(line, "odd number of hexadecimal digits");
    return out;
}

} // namespace

void ReadSchema(std::istream& in, WriterTable& table) {
    std::string line;
    size_t lineNo = 0;
    bool hasPrimary = false;
    while (std::getline(in, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const std::vector<std::string> w = SplitWords(line, lineNo);
        if (w.empty() || w[0].starts_with("#"))
            continue;
        if (w[0] == "field") {
            table.Fields.push_back(ParseField(w, lineNo));
        } else if (w[0] == "primary") {
            if (hasPrimary)
                Fail(lineNo, "a second primary key");
            hasPrimary = true;
            table.PrimaryKey = ParseIndex(w, 1, lineNo);
        } else if (w[0] == "index") {
            if (w.size() < 3)
                Fail(lineNo, "index NAME FIELDS [FLAG...]");
            WriterIndex ix = ParseIndex(w, 2, lineNo);
            ix.Name = ToAnsi(w[1]);
            table.SecondaryIndexes.push_back(ix);
        } else if (w[0] == "option") {
            if (w.size() < 3)
                Fail(lineNo, "option NAME VALUE");
            const std::string& name = w[1];
            const std::string& v = w[2];
            if (name == "pagesize")
                table.IndexPageSize = static_cast<int32_t>(Number(v, lineNo, 1, 1 << 20));
            else if (name == "blocksize")
                table.BlobBlockSize = static_cast<int32_t>(Number(v, lineNo, 1, 1 << 20));
            else if (name == "password")
                table.Password = ToAnsi(v);
            else if (name == "locale")
                table.LocaleID = static_cast<int32_t>(Number(v, lineNo, 0, 0x7FFFFFFF));
            else if (name == "description")
                table.Description = ToAnsi(v);
            else if (name == "version") {
                if (w.size() < 4)
                    Fail(lineNo, "option version MAJOR MINOR");
                table.UserMajorVersion = static_cast<uint16_t>(Number(v, lineNo, 0, 65535));
                table.UserMinorVersion = static_cast<uint16_t>(Number(w[3], lineNo, 0, 65535));
            } else if (name == "updated") {
                double d = 0;
                const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), d);
                if (ec != std::errc() || end != v.data() + v.size())
                    Fail(lineNo, "'" + v + "' is not a number of days");
                table.LastUpdated = d;
            } else if (name == "stamp")
                table.UpdateStamp = static_cast<int32_t>(Number(v, lineNo, 0, 0x7FFFFFFF));
            else if (name == "signature")
                table.EngineSignature = ToAnsi(v);
            else
                Fail(lineNo, "unknown option '" + name + "'");
        } else {
            Fail(lineNo, "unknown statement '" + w[0] + "'");
        }
    }
    if (table.Fields.empty())
        throw WriterError("the schema defines no fields");
}

void ReadRows(std::istream& in, WriterTable& table) {
    std::string line;
    size_t lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::vector<std::string> cells;
        size_t start = 0;
        while (true) {
            const size_t tab = line.find('\t', start);
            cells.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
            if (tab == std::string::npos)
                break;
            start = tab + 1;
        }
        WriterRow row;
        if (!cells.empty() && cells.front() == "\\D" && cells.size() == table.Fields.size() + 1) {
            row.Deleted = true;
            cells.erase(cells.begin());
        }
        if (cells.size() != table.Fields.size())
            Fail(lineNo, std::to_string(cells.size()) + " cells for " + std::to_string(table.Fields.size()) +
                             " fields");
        for (size_t i = 0; i < cells.size(); ++i) {
            const WriterField& f = table.Fields[i];
            const std::string& cell = cells[i];
            if (cell == "\\N") {
                row.Cells.push_back(WriterCell::Blank());
            } else if (IsTextField(f)) {
                row.Cells.push_back(WriterCell::Of(Unescape(cell, true, lineNo)));
            } else if (cell.empty()) {
                row.Cells.push_back(WriterCell::Blank());
            } else if (IsHexField(f)) {
                row.Cells.push_back(WriterCell::Of(FromHex(Unescape(cell, false, lineNo), lineNo)));
            } else {
                row.Cells.push_back(WriterCell::Of(Unescape(cell, false, lineNo)));
            }
        }
        table.Rows.push_back(std::move(row));
    }
}

} // namespace tblmake
