// The runtime's message formatting as the serial messages use it: "%d" and "%s" take the next argument,
// "%%" is a percent sign; surplus arguments are ignored and a placeholder without an argument stays as is.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>

namespace serial {

using FormatArg = std::variant<int64_t, std::string>;

std::string FormatMessage(std::string_view pattern, std::initializer_list<FormatArg> args);

// Doubles every '%' so that the text survives a later FormatMessage unchanged.
std::string EscapePercent(std::string_view text);

} // namespace serial
