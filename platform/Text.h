// The system's text type and its conversions.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Text of 16-bit characters, as the dialog and the components' properties hold it.
using Text = std::u16string;
using TextView = std::u16string_view;

// UTF-8 <-> UTF-16. Invalid sequences become U+FFFD.
Text Utf8ToText(std::string_view utf8);
std::string TextToUtf8(TextView text);

// The ANSI code page in force for single-byte text: Windows-1252 unless SetAnsiCodePage chose another.
// Names are ICU converter names ("windows-1252", "windows-1250", ...). Returns false for an unknown name.
bool SetAnsiCodePage(const std::string& name);
std::string AnsiCodePage();

// ANSI code-page bytes <-> text. Characters the code page cannot hold become '?'.
Text AnsiToText(std::string_view ansi);
// The ANSI text of a fixed-width field: its bytes up to the first zero byte, or all of them.
Text AnsiFieldToText(std::string_view field);
std::string TextToAnsi(TextView text);

// Plain ASCII literal to text, for the system's fixed English strings.
Text Ascii(std::string_view ascii);

// Decimal formatting and parsing. Parsing accepts optional surrounding blanks and a leading sign,
// and fails (nullopt) on anything else or on overflow.
Text IntToText(int64_t value);
std::optional<int64_t> TextToInt(TextView text);
std::optional<int64_t> StrToInt(std::string_view text);

// Letter-case helpers for the dialog's lists: the comparison that "sorts and looks up alphabetically
// without regard to letter case" (ICU's case folding, then code-point order).
int CompareTextNoCase(TextView a, TextView b);
Text UpperCase(TextView text);

} // namespace platform
