// Private-profile (ini) files with Windows semantics: sections and keys compared without regard to letter
// case, the first match wins, values trimmed. Writing a key keeps every other byte of the file as it was
// and replaces the file atomically.
#pragma once

#include "platform/Text.h"

#include <cstdint>
#include <stdexcept>
#include <string>

namespace platform {

// Raised when a write cannot be completed; the message is "Unable to write to <path>".
class EIniFileException : public std::runtime_error {
public:
    explicit EIniFileException(const std::string& path);
};

class TIniFile {
public:
    explicit TIniFile(std::string path);

    const std::string& FileName() const { return path_; }

    // Decimal, or hexadecimal after "0x"; anything else (or a missing key or file) gives the default.
    int64_t ReadInteger(TextView section, TextView key, int64_t defaultValue) const;
    Text ReadString(TextView section, TextView key, TextView defaultValue) const;
    // Creates file, section and key when missing; throws EIniFileException when it cannot write.
    void WriteString(TextView section, TextView key, TextView value);
    void WriteInteger(TextView section, TextView key, int64_t value);

private:
    std::string path_;
};

} // namespace platform
