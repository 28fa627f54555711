// Table engine read figures: 200,000 rows (an integer and three 40-character strings) read through the
// table component, the same rows read from an SQLite file database (integer and UTF-16 text columns) and
// walked in memory as the floor, all warm, in one run; and the time
// the translations data module needs to load a 3,000-row table with eight languages.
//
// The engine reads the rows twice over: with the table's read lock held from First to the last row, as the
// translations table is read and as SQLite holds its shared lock and checks its change counter once for a
// whole statement; and with the lock taken per navigation step, where every cache miss takes the lock,
// re-reads the data header and gives the lock back.
//
//   bench_tableengine [FOLDER [ROUNDS [engine]]]
//   FOLDER: where the tables are made (default: a temporary folder); "engine" runs only the engine's reads,
//   for profiling.
#include "tablewriter/TableWriter.h"
#include "tableengine/TblComp.h"
#include "translations/Taal.h"

#include "platform/Text.h"

#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace w = tableengine::writer;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int Rows = 200000;
constexpr int TextLength = 40;
constexpr int TaalRows = 3000;
constexpr int TaalLanguages = 8;

struct Row {
    int32_t nr;
    std::string text[3];
};

std::vector<Row> MakeRows()
{
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> letter('a', 'z');
    std::vector<Row> rows(Rows);
    for (int i = 0; i < Rows; ++i) {
        rows[static_cast<size_t>(i)].nr = i * 7 - 100000;
        for (std::string& s : rows[static_cast<size_t>(i)].text) {
            s.resize(TextLength);
            for (char& c : s)
                c = static_cast<char>(letter(random));
        }
    }
    return rows;
}

w::WriterField Field(const std::string& name, uint8_t type, uint16_t length = 0)
{
    w::WriterField f;
    f.Name = name;
    f.DataType = type;
    f.Length = length;
    return f;
}

void WriteEngineTable(const std::vector<Row>& rows, const std::filesystem::path& dir)
{
    w::WriterTable t;
    t.Fields = {Field("Nr", w::DataTypes::Integer), Field("A", w::DataTypes::String, TextLength),
                Field("B", w::DataTypes::String, TextLength), Field("C", w::DataTypes::String, TextLength)};
    t.Rows.reserve(rows.size());
    for (const Row& r : rows) {
        w::WriterRow wr;
        wr.Cells = {w::WriterCell::Of(std::to_string(r.nr)), w::WriterCell::Of(r.text[0]),
                    w::WriterCell::Of(r.text[1]), w::WriterCell::Of(r.text[2])};
        t.Rows.push_back(std::move(wr));
    }
    w::WriteTableFiles(t, dir, "Rows", true);
}

void Check(int rc, sqlite3* db, const char* what)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
        std::fprintf(stderr, "sqlite %s: %s\n", what, sqlite3_errmsg(db));
        std::exit(1);
    }
}

void WriteSqliteTable(const std::vector<Row>& rows, const std::string& path)
{
    std::filesystem::remove(path);
    sqlite3* db = nullptr;
    Check(sqlite3_open(path.c_str(), &db), db, "open");
    Check(sqlite3_exec(db, "CREATE TABLE t(nr INTEGER, a TEXT, b TEXT, c TEXT); BEGIN", nullptr, nullptr, nullptr), db,
          "create");
    sqlite3_stmt* insert = nullptr;
    Check(sqlite3_prepare_v2(db, "INSERT INTO t VALUES(?,?,?,?)", -1, &insert, nullptr), db, "prepare");
    for (const Row& r : rows) {
        sqlite3_bind_int(insert, 1, r.nr);
        for (int k = 0; k < 3; ++k)
            sqlite3_bind_text(insert, k + 2, r.text[k].data(), TextLength, SQLITE_STATIC);
        Check(sqlite3_step(insert), db, "insert");
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    Check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db, "commit");
    sqlite3_close(db);
}

// A sum over everything read, so that no read can be left out.
struct Tally {
    int64_t rows = 0;
    int64_t numbers = 0;
    int64_t chars = 0;
    bool operator==(const Tally&) const = default;
};

Tally ReadEngine(tableengine::TTblTable& table, bool holdLock)
{
    Tally t;
    if (holdLock)
        table.HoldReadLock();
    table.First();
    while (!table.Eof()) {
        ++t.rows;
        t.numbers += table.Fields(0).AsInteger();
        for (int k = 1; k <= 3; ++k) {
            const platform::Text s = table.Fields(k).AsString();
            t.chars += static_cast<int64_t>(s.size()) + s[0];
        }
        table.Next();
    }
    if (holdLock)
        table.ReleaseReadLock();
    return t;
}

// SQLite read as its users read UTF-16 text: the number as an integer, the strings as UTF-16.
Tally ReadSqlite(sqlite3* db)
{
    Tally t;
    sqlite3_stmt* select = nullptr;
    Check(sqlite3_prepare_v2(db, "SELECT nr, a, b, c FROM t ORDER BY rowid", -1, &select, nullptr), db, "select");
    while (sqlite3_step(select) == SQLITE_ROW) {
        ++t.rows;
        t.numbers += sqlite3_column_int(select, 0);
        for (int k = 1; k <= 3; ++k) {
            const auto* text = static_cast<const char16_t*>(sqlite3_column_text16(select, k));
            const platform::Text s(text, static_cast<size_t>(sqlite3_column_bytes16(select, k)) / sizeof(char16_t));
            t.chars += static_cast<int64_t>(s.size()) + s[0];
        }
    }
    sqlite3_finalize(select);
    return t;
}

// The floor: the same rows packed in memory (a 4-byte integer, then the three strings' bytes), walked once,
// each string converted to UTF-16 with the same ANSI decoding the engine uses.
constexpr size_t PackedRowSize = sizeof(int32_t) + 3 * TextLength;

std::vector<char> PackRows(const std::vector<Row>& rows)
{
    std::vector<char> bytes(rows.size() * PackedRowSize);
    char* p = bytes.data();
    for (const Row& r : rows) {
        std::memcpy(p, &r.nr, sizeof r.nr);
        p += sizeof r.nr;
        for (const std::string& s : r.text) {
            std::memcpy(p, s.data(), TextLength);
            p += TextLength;
        }
    }
    return bytes;
}

Tally WalkMemory(const std::vector<char>& bytes)
{
    Tally t;
    for (size_t at = 0; at + PackedRowSize <= bytes.size(); at += PackedRowSize) {
        ++t.rows;
        int32_t nr = 0;
        std::memcpy(&nr, bytes.data() + at, sizeof nr);
        t.numbers += nr;
        for (int k = 0; k < 3; ++k) {
            const platform::Text s = platform::AnsiToText(
                std::string_view(bytes.data() + at + sizeof nr + static_cast<size_t>(k) * TextLength, TextLength));
            t.chars += static_cast<int64_t>(s.size()) + s[0];
        }
    }
    return t;
}

// Best time of the rounds, after one warm-up round.
double BestSeconds(int rounds, const std::function<void()>& body)
{
    body();
    double best = 1e30;
    for (int i = 0; i < rounds; ++i) {
        const auto start = Clock::now();
        body();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    return best;
}

void WriteTaalTable(const std::filesystem::path& dir)
{
    w::WriterTable t;
    t.Fields.push_back(Field("Nr", w::DataTypes::Integer));
    for (int k = 0; k < TaalLanguages; ++k)
        t.Fields.push_back(Field("L" + std::to_string(k), w::DataTypes::String, 120));
    for (int i = 0; i < TaalRows; ++i) {
        w::WriterRow r;
        r.Cells.push_back(w::WriterCell::Of(std::to_string(i + 1)));
        for (int k = 0; k < TaalLanguages; ++k)
            r.Cells.push_back(k == 5 && i % 10 == 0 ? w::WriterCell::Blank()
                                                    : w::WriterCell::Of("Text " + std::to_string(i + 1) +
                                                                        " in language " + std::to_string(k)));
        t.Rows.push_back(std::move(r));
    }
    std::filesystem::create_directories(dir);
    w::WriteTableFiles(t, dir, "Language", true);
}

} // namespace

int main(int argc, char** argv)
{
    // Arguments: [FOLDER [ROUNDS [engine]]]. Options starting with "--" are those bench/run passes to
    // every benchmark program; they are not meant for this one and are skipped.
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        if (std::string_view(argv[i]).substr(0, 2) != "--")
            args.emplace_back(argv[i]);
    const bool ownFolder = args.empty();
    const std::filesystem::path folder =
        ownFolder ? std::filesystem::temp_directory_path() / ("bench-tableengine-" + std::to_string(::getpid()))
                  : std::filesystem::path(args[0]);
    const int rounds = args.size() > 1 ? std::max(1, std::atoi(args[1].c_str())) : 5;
    const bool engineOnly = args.size() > 2 && args[2] == "engine";
    std::filesystem::create_directories(folder);

    const std::vector<Row> rows = MakeRows();
    WriteEngineTable(rows, folder);
    const std::string sqlitePath = (folder / "rows.sqlite").string();
    if (!engineOnly)
        WriteSqliteTable(rows, sqlitePath);

    Tally ours;
    Tally oursStepwise;
    Tally theirs;
    double oursSeconds = 0;
    double stepwiseSeconds = 0;
    double sqliteSeconds = 0;
    {
        tableengine::TTblDatabase db;
        db.SetDatabaseName(u"Bench");
        db.SetDirectory(platform::Utf8ToText(folder.string()));
        db.SetConnected(true);
        tableengine::TTblTable table;
        table.SetDatabaseName(u"Bench");
        table.SetTableName(u"Rows");
        table.Open();
        oursSeconds = BestSeconds(rounds, [&] { ours = ReadEngine(table, true); });
        stepwiseSeconds = BestSeconds(rounds, [&] { oursStepwise = ReadEngine(table, false); });
        table.Close();
    }
    if (engineOnly) {
        std::printf("TTblTable, lock held: %.0f rows/s; lock per step: %.0f rows/s\n", Rows / oursSeconds,
                    Rows / stepwiseSeconds);
        return 0;
    }
    {
        sqlite3* db = nullptr;
        Check(sqlite3_open_v2(sqlitePath.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), db, "open");
        sqliteSeconds = BestSeconds(rounds, [&] { theirs = ReadSqlite(db); });
        sqlite3_close(db);
    }
    Tally walked;
    const std::vector<char> packed = PackRows(rows);
    const double walkSeconds = BestSeconds(rounds, [&] { walked = WalkMemory(packed); });
    if (!(ours == theirs) || !(ours == walked) || !(ours == oursStepwise) || ours.rows != Rows) {
        std::fprintf(stderr, "the reads differ: %lld/%lld/%lld rows, %lld/%lld/%lld, %lld/%lld/%lld\n",
                     static_cast<long long>(ours.rows), static_cast<long long>(theirs.rows),
                     static_cast<long long>(walked.rows), static_cast<long long>(ours.numbers),
                     static_cast<long long>(theirs.numbers), static_cast<long long>(walked.numbers),
                     static_cast<long long>(ours.chars), static_cast<long long>(theirs.chars),
                     static_cast<long long>(walked.chars));
        return 1;
    }
    const double oursRate = Rows / oursSeconds;
    const double stepwiseRate = Rows / stepwiseSeconds;
    const double sqliteRate = Rows / sqliteSeconds;
    const double walkRate = Rows / walkSeconds;
    std::printf("%d rows (integer + 3 x %d characters), best of %d warm rounds\n", Rows, TextLength, rounds);
    std::printf("TTblTable First/Next/AsInteger/AsString,\n");
    std::printf("  read lock held for the walk:           %10.0f rows/s (%.1f ms)\n", oursRate, oursSeconds * 1e3);
    std::printf("  read lock per step:                    %10.0f rows/s (%.1f ms)\n", stepwiseRate,
                stepwiseSeconds * 1e3);
    std::printf("SQLite column_int/column_text16:         %10.0f rows/s (%.1f ms)\n", sqliteRate, sqliteSeconds * 1e3);
    std::printf("memory walk to UTF-16 (the floor):       %10.0f rows/s (%.1f ms)\n", walkRate, walkSeconds * 1e3);
    std::printf("ratio TTblTable (lock held) / SQLite:    %10.2f\n", oursRate / sqliteRate);
    std::printf("ratio TTblTable (lock per step) / SQLite:%10.2f\n", stepwiseRate / sqliteRate);
    std::printf("TTblTable (lock held) / memory walk:     %9.1f %%\n", 100 * oursRate / walkRate);

    const std::filesystem::path taalDir = folder / "3Tdata";
    WriteTaalTable(taalDir);
    {
        translations::TTaal_dat taal(taalDir.string(), translations::OpenLanguageTable);
        const double fill = BestSeconds(rounds, [&] { taal.FillTaal(5); });
        if (taal.IgnoreTaal() || taal.TaalData.size() != TaalRows) {
            std::fprintf(stderr, "FillTaal did not load the table\n");
            return 1;
        }
        std::printf("FillTaal, %d rows x %d languages:      %10.2f ms\n", TaalRows, TaalLanguages, fill * 1e3);
    }
    if (ownFolder)
        std::filesystem::remove_all(folder);
    return 0;
}
