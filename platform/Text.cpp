#include "platform/Text.h"

#include <charconv>

namespace platform {

Text Ascii(std::string_view ascii)
{
    Text out;
    out.reserve(ascii.size());
    for (const char ch : ascii)
        out.push_back(static_cast<char16_t>(static_cast<unsigned char>(ch)));
    return out;
}

Text IntToText(int64_t value)
{
    char buf[24];
    const auto res = std::to_chars(buf, buf + sizeof buf, value);
    return Ascii(std::string_view(buf, static_cast<size_t>(res.ptr - buf)));
}

std::optional<int64_t> StrToInt(std::string_view text)
{
    auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    if (text.empty())
        return std::nullopt;
    int64_t value = 0;
    const auto res = std::from_chars(text.data(), text.data() + text.size(), value);
    if (res.ec != std::errc() || res.ptr != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::optional<int64_t> TextToInt(TextView text)
{
    std::string narrow;
    narrow.reserve(text.size());
    for (const char16_t ch : text) {
        if (ch > 0x7F)
            return std::nullopt;
        narrow.push_back(static_cast<char>(ch));
    }
    return StrToInt(narrow);
}

} // namespace platform
