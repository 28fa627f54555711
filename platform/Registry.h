// The registry as the system uses it: keys under the current-user and local-machine roots. On Windows the
// system's registry; on POSIX file-backed keys (posix/RegistryFolder.h), plus the read-only device-map key
// "\hardware\devicemap\serialcomm" synthesised from the serial device map.
#pragma once

#include "platform/WinError.h"

#include <cstdint>
#include <optional>
#include <utility>
#include <string>
#include <vector>

namespace platform {

enum class RegRoot { CurrentUser, LocalMachine };

struct RegValue {
    enum class Type { String, Integer } type = Type::String;
    std::u16string str;
    uint32_t integer = 0;
};

// A key opened at a root; path parts separated by '\' and compared without regard to letter case.
class TRegistryKey {
public:
    // Opens an existing key; nullopt (with last error 2) when it does not exist.
    static std::optional<TRegistryKey> Open(RegRoot root, const std::u16string& path);
    // Opens or creates the key and its parents; throws std::runtime_error when the hive cannot be written.
    static TRegistryKey Create(RegRoot root, const std::u16string& path);

    std::vector<std::u16string> SubKeyNames() const;
    // In the order the values were first written (on Windows: the registry's own order).
    std::vector<std::u16string> ValueNames() const;
    std::optional<RegValue> ReadValue(const std::u16string& name) const;
    // Write a value (replacing one of the same name in place); throw std::runtime_error when the hive cannot
    // be written or the key is read-only (the synthesised keys, and the roots themselves).
    void WriteString(const std::u16string& name, const std::u16string& value);
    void WriteInteger(const std::u16string& name, uint32_t value);

    const std::u16string& Path() const { return path_; }

private:
    TRegistryKey(RegRoot root, std::u16string path) : root_(root), path_(std::move(path)) {}
    RegRoot root_;
    std::u16string path_;
};

} // namespace platform
