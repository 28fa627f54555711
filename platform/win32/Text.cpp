#include "platform/Text.h"

#include "platform/win32/Win32.h"

#include <cctype>
#include <cstring>
#include <utility>
#include <mutex>
#include <stdexcept>

namespace platform {
namespace {

std::mutex& codePageLock()
{
    static std::mutex m;
    return m;
}
UINT& codePage()
{
    static UINT cp = 1252;
    return cp;
}
std::string& codePageName()
{
    static std::string name = "windows-1252";
    return name;
}

UINT CurrentCodePage()
{
    const std::lock_guard lock(codePageLock());
    return codePage();
}

// The converter names of the other systems ("windows-1250", "cp1250", "ibm-850", "shift_jis",
// "iso-8859-2", ...) as the number of a code page Windows has; 0 for a name it has none for.
UINT CodePageOfName(const std::string& name)
{
    std::string lower;
    for (const char c : name)
        lower.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    static const std::pair<const char*, UINT> named[] = {
        {"shift_jis", 932}, {"gbk", 936},       {"gb2312", 936},   {"big5", 950},   {"euc-kr", 949},
        {"euc-jp", 20932},  {"koi8-r", 20866},  {"koi8-u", 21866}, {"utf-8", 65001}, {"us-ascii", 20127}};
    for (const auto& [n, cp] : named) {
        if (lower == n)
            return ::IsValidCodePage(cp) ? cp : 0;
    }
    if (lower.rfind("iso-8859-", 0) == 0) {
        const auto part = StrToInt(std::string_view(lower).substr(9));
        if (part && *part >= 1 && *part <= 15 && ::IsValidCodePage(static_cast<UINT>(28590 + *part)))
            return static_cast<UINT>(28590 + *part);
        return 0;
    }
    for (const char* prefix : {"windows-", "cp", "ibm-"}) {
        const std::string_view p(prefix);
        if (lower.size() > p.size() && lower.compare(0, p.size(), p) == 0) {
            const auto n = StrToInt(std::string_view(lower).substr(p.size()));
            if (n && *n > 0 && *n < 65536 && ::IsValidCodePage(static_cast<UINT>(*n)))
                return static_cast<UINT>(*n);
        }
    }
    return 0;
}

Text ToText(UINT cp, std::string_view bytes)
{
    if (bytes.empty())
        return Text();
    const int n = ::MultiByteToWideChar(cp, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    if (n <= 0)
        return Text();
    std::wstring out(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(cp, 0, bytes.data(), static_cast<int>(bytes.size()), out.data(), n);
    return win32::Text16(out.data(), out.size());
}

std::string FromText(UINT cp, TextView text)
{
    if (text.empty())
        return std::string();
    const auto* w = reinterpret_cast<const wchar_t*>(text.data());
    // UTF-8 takes no replacement character: the system writes U+FFFD for what cannot be encoded.
    const char* defaultChar = cp == CP_UTF8 ? nullptr : "?";
    const int n = ::WideCharToMultiByte(cp, 0, w, static_cast<int>(text.size()), nullptr, 0, defaultChar, nullptr);
    if (n <= 0)
        return std::string();
    std::string out(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(cp, 0, w, static_cast<int>(text.size()), out.data(), n, defaultChar, nullptr);
    return out;
}

} // namespace

// Without MB_ERR_INVALID_CHARS the system replaces invalid sequences (and unpaired surrogates) by U+FFFD.
Text Utf8ToText(std::string_view utf8) { return ToText(CP_UTF8, utf8); }
std::string TextToUtf8(TextView text) { return FromText(CP_UTF8, text); }

bool SetAnsiCodePage(const std::string& name)
{
    const UINT cp = CodePageOfName(name);
    if (cp == 0)
        return false;
    const std::lock_guard lock(codePageLock());
    codePage() = cp;
    codePageName() = name;
    return true;
}

std::string AnsiCodePage()
{
    const std::lock_guard lock(codePageLock());
    return codePageName();
}

Text AnsiToText(std::string_view ansi) { return ToText(CurrentCodePage(), ansi); }

Text AnsiFieldToText(std::string_view field)
{
    const void* zero = std::memchr(field.data(), 0, field.size());
    return AnsiToText(zero != nullptr ? field.substr(0, std::size_t(static_cast<const char*>(zero) - field.data()))
                                      : field);
}
std::string TextToAnsi(TextView text) { return FromText(CurrentCodePage(), text); }

// Ordinal comparison without regard to letter case, as the file system compares names.
int CompareTextNoCase(TextView a, TextView b)
{
    const int r = ::CompareStringOrdinal(reinterpret_cast<const wchar_t*>(a.data()), static_cast<int>(a.size()),
                                         reinterpret_cast<const wchar_t*>(b.data()), static_cast<int>(b.size()),
                                         true);
    return r == CSTR_LESS_THAN ? -1 : (r == CSTR_GREATER_THAN ? 1 : 0);
}

Text UpperCase(TextView text)
{
    if (text.empty())
        return Text();
    const auto* w = reinterpret_cast<const wchar_t*>(text.data());
    const int size = static_cast<int>(text.size());
    const int n = ::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, w, size, nullptr, 0, nullptr, nullptr, 0);
    if (n <= 0)
        return Text(text);
    std::wstring out(static_cast<size_t>(n), L'\0');
    ::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, w, size, out.data(), n, nullptr, nullptr, 0);
    return win32::Text16(out.data(), out.size());
}

namespace win32 {

std::wstring WidePath(std::string_view utf8)
{
    const Text t = Utf8ToText(utf8);
    return std::wstring(reinterpret_cast<const wchar_t*>(t.data()), t.size());
}

std::string Utf8Path(std::wstring_view wide)
{
    return TextToUtf8(TextView(reinterpret_cast<const char16_t*>(wide.data()), wide.size()));
}

} // namespace win32
} // namespace platform
