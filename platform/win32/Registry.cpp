// The registry interface on the system's own registry: keys are opened for each call and closed again.
#include "platform/Registry.h"

#include "platform/Text.h"

#include "platform/win32/Win32.h"

#include <cstring>
#include <stdexcept>

namespace platform {
namespace {

HKEY RootKey(RegRoot root) { return root == RegRoot::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE; }

// Without empty parts: "\hardware\devicemap\serialcomm" and "hardware\devicemap\serialcomm\" are one key.
std::u16string Normalize(const std::u16string& path)
{
    std::u16string out;
    size_t i = 0;
    while (i < path.size()) {
        const size_t end = std::min(path.find(u'\\', i), path.size());
        if (end > i) {
            if (!out.empty())
                out.push_back(u'\\');
            out.append(path, i, end - i);
        }
        i = end + 1;
    }
    return out;
}

class Key {
public:
    Key() = default;
    ~Key()
    {
        if (h_ != nullptr)
            ::RegCloseKey(h_);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    HKEY* out() { return &h_; }
    HKEY get() const { return h_; }

private:
    HKEY h_ = nullptr;
};

LSTATUS OpenKey(RegRoot root, const std::u16string& path, REGSAM access, Key& key)
{
    return ::RegOpenKeyExW(RootKey(root), win32::Wide(path), 0, access, key.out());
}

[[noreturn]] void Fail(const char* what, const std::u16string& path, LSTATUS status)
{
    throw std::runtime_error(std::string(what) + " registry key " + TextToUtf8(path) + ": " +
                             SysErrorMessage(static_cast<DWORD>(status)));
}

// Names up to the registry's limits (255 characters for keys, 16,383 for values).
template <class Enumerate>
std::vector<std::u16string> Names(Enumerate enumerate, DWORD capacity)
{
    std::vector<std::u16string> names;
    std::wstring buf(capacity + 1, L'\0');
    for (::DWORD i = 0;; ++i) {
        ::DWORD len = capacity + 1;
        const LSTATUS rc = enumerate(i, buf.data(), &len);
        if (rc == ERROR_NO_MORE_ITEMS)
            break;
        if (rc != ERROR_SUCCESS)
            break;
        names.push_back(win32::Text16(buf.data(), len));
    }
    return names;
}

} // namespace

std::optional<TRegistryKey> TRegistryKey::Open(RegRoot root, const std::u16string& path)
{
    const std::u16string p = Normalize(path);
    Key key;
    const LSTATUS rc = OpenKey(root, p, KEY_READ, key);
    if (rc != ERROR_SUCCESS) {
        ::SetLastError(static_cast<DWORD>(rc));
        return std::nullopt;
    }
    return TRegistryKey(root, p);
}

TRegistryKey TRegistryKey::Create(RegRoot root, const std::u16string& path)
{
    const std::u16string p = Normalize(path);
    if (p.empty())
        return TRegistryKey(root, p);
    Key key;
    const LSTATUS rc = ::RegCreateKeyExW(RootKey(root), win32::Wide(p), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                         KEY_READ | KEY_WRITE, nullptr, key.out(), nullptr);
    if (rc != ERROR_SUCCESS)
        Fail("Cannot create", p, rc);
    return TRegistryKey(root, p);
}

std::vector<std::u16string> TRegistryKey::SubKeyNames() const
{
    Key key;
    if (OpenKey(root_, path_, KEY_READ, key) != ERROR_SUCCESS)
        return {};
    return Names([&](::DWORD i, wchar_t* name, ::DWORD* len) {
        return ::RegEnumKeyExW(key.get(), i, name, len, nullptr, nullptr, nullptr, nullptr);
    }, 255);
}

std::vector<std::u16string> TRegistryKey::ValueNames() const
{
    Key key;
    if (OpenKey(root_, path_, KEY_READ, key) != ERROR_SUCCESS)
        return {};
    return Names([&](::DWORD i, wchar_t* name, ::DWORD* len) {
        return ::RegEnumValueW(key.get(), i, name, len, nullptr, nullptr, nullptr, nullptr);
    }, 16383);
}

// Strings (also expandable ones, as stored) and 32-bit integers; values of other types read as missing.
std::optional<RegValue> TRegistryKey::ReadValue(const std::u16string& name) const
{
    Key key;
    LSTATUS rc = OpenKey(root_, path_, KEY_READ, key);
    ::DWORD type = 0;
    ::DWORD size = 0;
    if (rc == ERROR_SUCCESS)
        rc = ::RegQueryValueExW(key.get(), win32::Wide(name), nullptr, &type, nullptr, &size);
    std::vector<BYTE> data;
    while (rc == ERROR_SUCCESS || rc == ERROR_MORE_DATA) {
        data.resize(size + sizeof(wchar_t));
        size = static_cast<DWORD>(data.size());
        rc = ::RegQueryValueExW(key.get(), win32::Wide(name), nullptr, &type, data.data(), &size);
        if (rc != ERROR_SUCCESS)
            continue; // grown meanwhile: again with the new size
        RegValue v;
        if (type == REG_DWORD && size == sizeof(DWORD)) {
            v.type = RegValue::Type::Integer;
            std::memcpy(&v.integer, data.data(), sizeof(DWORD));
            return v;
        }
        if (type == REG_SZ || type == REG_EXPAND_SZ) {
            std::u16string s(size / sizeof(char16_t), u'\0');
            std::memcpy(s.data(), data.data(), s.size() * sizeof(char16_t));
            while (!s.empty() && s.back() == u'\0')
                s.pop_back();
            v.str = std::move(s);
            return v;
        }
        rc = ERROR_FILE_NOT_FOUND;
    }
    ::SetLastError(ERROR_FILE_NOT_FOUND);
    return std::nullopt;
}

namespace {

void WriteValue(RegRoot root, const std::u16string& path, const std::u16string& name, DWORD type, const void* data,
                DWORD size)
{
    if (path.empty())
        throw std::runtime_error("Values cannot be written at a registry root");
    Key key;
    LSTATUS rc = OpenKey(root, path, KEY_SET_VALUE, key);
    if (rc == ERROR_SUCCESS)
        rc = ::RegSetValueExW(key.get(), win32::Wide(name), 0, type, static_cast<const BYTE*>(data), size);
    if (rc != ERROR_SUCCESS)
        Fail("Cannot write to", path, rc);
}

} // namespace

void TRegistryKey::WriteString(const std::u16string& name, const std::u16string& value)
{
    WriteValue(root_, path_, name, REG_SZ, value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(char16_t)));
}

void TRegistryKey::WriteInteger(const std::u16string& name, uint32_t value)
{
    WriteValue(root_, path_, name, REG_DWORD, &value, sizeof value);
}

} // namespace platform
