#include "platform/IniFile.h"

#include "platform/IniFileStorage.h"

#include <climits>
#include <string_view>
#include <vector>

namespace platform {
namespace {

// One line of the file: its content is [begin, end), its line ending (LF, CR LF or nothing) [end, next).
struct Line {
    size_t begin = 0;
    size_t end = 0;
    size_t next = 0;
};

std::vector<Line> SplitLines(const std::string& s)
{
    std::vector<Line> lines;
    size_t pos = 0;
    while (pos < s.size()) {
        const size_t lf = s.find('\n', pos);
        Line line;
        line.begin = pos;
        if (lf == std::string::npos) {
            line.end = s.size();
            line.next = s.size();
        } else {
            line.end = (lf > pos && s[lf - 1] == '\r') ? lf - 1 : lf;
            line.next = lf + 1;
        }
        lines.push_back(line);
        pos = line.next;
    }
    return lines;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

TextView TrimText(TextView s)
{
    auto blank = [](char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\v' || c == u'\f'; };
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return s;
}

enum class Kind { Blank, Comment, Section, Key };

struct Parsed {
    Kind kind = Kind::Blank;
    std::string_view name;  // section or key name, trimmed
    std::string_view value; // key value, trimmed
};

Parsed ParseLine(std::string_view content)
{
    Parsed p;
    const std::string_view t = Trim(content);
    if (t.empty())
        return p;
    if (t.front() == ';') {
        p.kind = Kind::Comment;
        return p;
    }
    if (t.front() == '[') {
        p.kind = Kind::Section;
        const std::string_view inner = t.substr(1);
        const size_t close = inner.rfind(']');
        p.name = Trim(close == std::string_view::npos ? inner : inner.substr(0, close));
        return p;
    }
    p.kind = Kind::Key;
    const size_t eq = t.find('=');
    if (eq == std::string_view::npos) {
        p.name = t;
    } else {
        p.name = Trim(t.substr(0, eq));
        p.value = Trim(t.substr(eq + 1));
    }
    return p;
}

bool IsAscii(std::string_view s)
{
    for (const char c : s)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

bool IsAscii(TextView s)
{
    for (const char16_t c : s)
        if (c >= 0x80)
            return false;
    return true;
}

char16_t AsciiLower(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; }

// Names compare without regard to letter case. Plain ASCII on both sides (the usual case) is compared
// directly; anything else goes through the code page and the full case-insensitive comparison.
bool NameEquals(std::string_view fileBytes, TextView wanted)
{
    if (IsAscii(fileBytes) && IsAscii(wanted)) {
        if (fileBytes.size() != wanted.size())
            return false;
        for (size_t i = 0; i < wanted.size(); ++i)
            if (AsciiLower(static_cast<char16_t>(fileBytes[i])) != AsciiLower(wanted[i]))
                return false;
        return true;
    }
    return CompareTextNoCase(AnsiToText(fileBytes), wanted) == 0;
}

// Where a section and a key stand in the file. Only the first section of that name counts, and in it only
// the first key of that name.
struct Location {
    bool sectionFound = false;
    size_t sectionLine = 0;
    bool keyFound = false;
    size_t keyLine = 0;
    size_t lastEntryLine = 0; // last key line of the section, or its header line when it has none
    std::string_view value;
};

Location Find(const std::string& s, const std::vector<Line>& lines, TextView section, TextView key)
{
    Location loc;
    bool inSection = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        const Parsed p = ParseLine(std::string_view(s).substr(lines[i].begin, lines[i].end - lines[i].begin));
        if (p.kind == Kind::Section) {
            if (inSection)
                break;
            if (NameEquals(p.name, section)) {
                inSection = true;
                loc.sectionFound = true;
                loc.sectionLine = i;
                loc.lastEntryLine = i;
            }
            continue;
        }
        if (!inSection || p.kind != Kind::Key)
            continue;
        loc.lastEntryLine = i;
        if (NameEquals(p.name, key)) {
            loc.keyFound = true;
            loc.keyLine = i;
            loc.value = p.value;
            break;
        }
    }
    return loc;
}

bool HasLineBreak(TextView s) { return s.find_first_of(u"\r\n") != TextView::npos; }

std::optional<int64_t> ParseInteger(TextView text)
{
    const TextView t = TrimText(text);
    if (t.size() > 2 && t[0] == u'0' && (t[1] == u'x' || t[1] == u'X')) {
        uint64_t v = 0;
        for (size_t i = 2; i < t.size(); ++i) {
            const char16_t c = t[i];
            unsigned digit = 0;
            if (c >= u'0' && c <= u'9')
                digit = static_cast<unsigned>(c - u'0');
            else if (c >= u'a' && c <= u'f')
                digit = static_cast<unsigned>(c - u'a' + 10);
            else if (c >= u'A' && c <= u'F')
                digit = static_cast<unsigned>(c - u'A' + 10);
            else
                return std::nullopt;
            if (v > (static_cast<uint64_t>(INT64_MAX) >> 4))
                return std::nullopt;
            v = (v << 4) | digit;
        }
        return static_cast<int64_t>(v);
    }
    return TextToInt(t);
}

} // namespace

EIniFileException::EIniFileException(const std::string& path) : std::runtime_error("Unable to write to " + path) {}

TIniFile::TIniFile(std::string path) : path_(std::move(path)) {}

Text TIniFile::ReadString(TextView section, TextView key, TextView defaultValue) const
{
    std::string content;
    if (detail::ReadWholeFile(path_, content) != detail::FileRead::Read)
        return Text(defaultValue);
    const std::vector<Line> lines = SplitLines(content);
    const Location loc = Find(content, lines, TrimText(section), TrimText(key));
    if (!loc.keyFound)
        return Text(defaultValue);
    return AnsiToText(loc.value);
}

int64_t TIniFile::ReadInteger(TextView section, TextView key, int64_t defaultValue) const
{
    std::string content;
    if (detail::ReadWholeFile(path_, content) != detail::FileRead::Read)
        return defaultValue;
    const std::vector<Line> lines = SplitLines(content);
    const Location loc = Find(content, lines, TrimText(section), TrimText(key));
    if (!loc.keyFound)
        return defaultValue;
    return ParseInteger(AnsiToText(loc.value)).value_or(defaultValue);
}

void TIniFile::WriteString(TextView sectionIn, TextView keyIn, TextView value)
{
    const TextView section = TrimText(sectionIn);
    const TextView key = TrimText(keyIn);
    // Names and values that the file could not give back as written (or that would inject further lines
    // into the file) are refused rather than written.
    if (key.empty() || HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value) ||
        key.find(u'=') != TextView::npos || key.front() == u'[' || key.front() == u';')
        throw EIniFileException(path_);

    // Write through a symbolic link to the file it names, keeping the link.
    const std::string target = detail::LinkTarget(path_);

    std::string s;
    if (detail::ReadWholeFile(target, s) == detail::FileRead::Failed)
        throw EIniFileException(path_); // never replace a file whose content could not be read

    const std::string keyA = TextToAnsi(key);
    const std::string valueA = TextToAnsi(value);
    const std::vector<Line> lines = SplitLines(s);
    const Location loc = Find(s, lines, section, key);

    // New lines take the ending of their neighbour; a file without any line ending gets LF.
    std::string eol = "\n";
    for (const Line& l : lines) {
        if (l.next > l.end) {
            eol = s.substr(l.end, l.next - l.end);
            break;
        }
    }

    std::string out;
    if (loc.keyFound) {
        const Line& l = lines[loc.keyLine];
        const std::string_view c = std::string_view(s).substr(l.begin, l.end - l.begin);
        const size_t eq = c.find('=');
        out.reserve(s.size() + valueA.size());
        out.append(s, 0, l.begin);
        if (eq == std::string_view::npos) {
            out.append(c);
            out.push_back('=');
        } else {
            out.append(c.substr(0, eq + 1));
        }
        out.append(valueA);
        out.append(s, l.end, std::string::npos);
    } else if (loc.sectionFound) {
        const Line& l = lines[loc.lastEntryLine];
        const std::string entry = keyA + "=" + valueA;
        out.reserve(s.size() + entry.size() + 2);
        if (l.next > l.end) {
            out.append(s, 0, l.next);
            out.append(entry);
            out.append(s, l.end, l.next - l.end);
            out.append(s, l.next, std::string::npos);
        } else {
            // The section's last line is the file's last line and has no ending; so will the new one.
            out = s;
            out.append(eol);
            out.append(entry);
        }
    } else {
        out = s;
        const bool finalNewline = s.empty() || s.back() == '\n';
        if (!s.empty()) {
            if (!finalNewline)
                out.append(eol);
            const Line& last = lines.back();
            if (!Trim(std::string_view(s).substr(last.begin, last.end - last.begin)).empty())
                out.append(eol); // a blank line between the last section and the new one
        }
        out.append("[" + TextToAnsi(section) + "]" + eol + keyA + "=" + valueA);
        if (finalNewline)
            out.append(eol);
    }
    detail::ReplaceFileAtomically(path_, target, out);
}

void TIniFile::WriteInteger(TextView section, TextView key, int64_t value)
{
    WriteString(section, key, IntToText(value));
}

} // namespace platform
