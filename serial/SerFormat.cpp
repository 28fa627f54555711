#include "serial/SerFormat.h"

#include <vector>

namespace serial {

namespace {

std::string ArgText(const FormatArg& arg)
{
    if (const auto* number = std::get_if<int64_t>(&arg))
        return std::to_string(*number);
    return std::get<std::string>(arg);
}

} // namespace

std::string FormatMessage(std::string_view pattern, std::initializer_list<FormatArg> args)
{
    const std::vector<FormatArg> list(args);
    size_t next = 0;
    std::string out;
    out.reserve(pattern.size() + 32);
    for (size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        if (c != '%' || i + 1 >= pattern.size()) {
            out += c;
            continue;
        }
        const char spec = pattern[i + 1];
        if (spec == '%') {
            out += '%';
            ++i;
        } else if ((spec == 'd' || spec == 's') && next < list.size()) {
            out += ArgText(list[next++]);
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

std::string EscapePercent(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        out += c;
        if (c == '%')
            out += '%';
    }
    return out;
}

} // namespace serial
