// What the components share: how they spell and compare database, directory and table names, and the
// database errors they raise.
#pragma once

#include "platform/Text.h"

#include <string>

namespace tableengine::tbl {

using platform::Text;

// Path parts are joined with the native delimiter; a backslash in a name or directory means the same.
inline constexpr char16_t PathDelimiter = u'/';

Text NativeDelimiters(Text s);
bool HasPathDelimiter(const Text& s);
bool SameNoCase(const Text& a, const Text& b);
std::string Utf8(const Text& t);

[[noreturn]] void Fail(const std::string& message);
// The pattern with its "%s" replaced by the value.
std::string Quoted(const char* pattern, const Text& value);

inline constexpr char OpenDatabaseMessage[] = "Cannot perform this operation on an open database";
inline constexpr char OpenDataSetMessage[] = "Cannot perform this operation on an open dataset";

} // namespace tableengine::tbl
