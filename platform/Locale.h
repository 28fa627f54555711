// Locale services for single-byte (ANSI) text: collation and upper-casing for a Windows locale id (LCID).
// LocaleID 0 is the default: bytes compare as unsigned bytes and upper-casing is the default mapping of
// Windows-1252 text. Any other id is served when the locale services know it (ICU on POSIX: it maps the id to a locale and opens a
// collator for it; on Windows the system's own services).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

class Locale {
public:
    // The services for an LCID, or null when the id is not supported.
    static std::shared_ptr<const Locale> ForLCID(uint32_t lcid);
    static bool IsSupported(uint32_t lcid);

    ~Locale();
    Locale(const Locale&) = delete;
    Locale& operator=(const Locale&) = delete;

    uint32_t LCID() const { return lcid_; }
    const std::string& Name() const { return name_; } // locale name (ICU's, or Windows's), empty for id 0

    // -1, 0 or 1. Other ids: the locale's collation of the texts decoded with the ANSI code page, set to a
    // string sort that ignores non-spacing marks (letter case still counts).
    int Compare(std::string_view a, std::string_view b) const;
    // Upper-casing byte by byte, so the length never changes; a character whose capital does not exist in
    // the code page stays as it is.
    void UpperInPlace(char* text, std::size_t size) const;
    std::string Upper(std::string_view text) const;
    char UpperChar(char c) const { return static_cast<char>(upper_[static_cast<unsigned char>(c)]); }
    // Lower-casing, byte by byte in the same way.
    void LowerInPlace(char* text, std::size_t size) const;
    std::string Lower(std::string_view text) const;
    char LowerChar(char c) const { return static_cast<char>(lower_[static_cast<unsigned char>(c)]); }

private:
    struct Collator;
    explicit Locale(uint32_t lcid);
    void FillDefaultCasing();
    // The system's casing of one UTF-16 character (upper or lower), or nothing when it gives no single
    // character.
    using CaseMapping = std::function<std::optional<char16_t>(char16_t c, bool upper)>;
    // The casing tables for the code page in force: each byte decoded, mapped, encoded back; a result
    // that is not one character of the code page keeps the original byte.
    void FillCasing(const CaseMapping& map);
    // LocaleID 0: unsigned bytes.
    static int CompareBytes(std::string_view a, std::string_view b);
    uint32_t lcid_ = 0;
    std::string name_;
    std::unique_ptr<Collator> collator_;
    unsigned char upper_[256] = {};
    unsigned char lower_[256] = {};
};

// The default upper-casing of Windows-1252 text (a-z, the accented small letters, š œ ž ÿ), and its inverse.
char UpperAnsiDefault(char c);
char LowerAnsiDefault(char c);

} // namespace platform
