#include "tableengine/TblNames.h"

#include "tableengine/format/EngineError.h"

#include <algorithm>

namespace tableengine::tbl {

Text NativeDelimiters(Text s)
{
    std::replace(s.begin(), s.end(), u'\\', PathDelimiter);
    return s;
}

bool HasPathDelimiter(const Text& s)
{
    return s.find(u':') != Text::npos || s.find(PathDelimiter) != Text::npos;
}

bool SameNoCase(const Text& a, const Text& b) { return platform::CompareTextNoCase(a, b) == 0; }

std::string Utf8(const Text& t) { return platform::TextToUtf8(t); }

void Fail(const std::string& message) { throw EDatabaseError(message); }

std::string Quoted(const char* pattern, const Text& value)
{
    std::string s(pattern);
    const auto at = s.find("%s");
    return at == std::string::npos ? s : s.replace(at, 2, Utf8(value));
}

} // namespace tableengine::tbl
