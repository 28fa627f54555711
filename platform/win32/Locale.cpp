// Collation and casing per LCID through the system's own locale services (CompareStringW, LCMapStringW):
// they are what the table's locale ids name on Windows, so a table sorts here as every other program on
// the same system sorts it, and no locale data has to be shipped.
#include "platform/Locale.h"

#include "platform/Text.h"

#include "platform/win32/Win32.h"

namespace platform {

struct Locale::Collator {
    ::LCID lcid = 0;
};

Locale::Locale(uint32_t lcid) : lcid_(lcid) { FillDefaultCasing(); }

Locale::~Locale() = default;

std::shared_ptr<const Locale> Locale::ForLCID(uint32_t lcid)
{
    std::shared_ptr<Locale> loc(new Locale(lcid));
    if (lcid == 0)
        return loc;
    // Bits above the sort id are reserved; neutral and default ids (primary language 0) name no locale
    // of a table.
    if (lcid > 0xFFFFFu || PRIMARYLANGID(LANGIDFROMLCID(lcid)) == LANG_NEUTRAL || !::IsValidLocale(lcid, LCID_SUPPORTED))
        return nullptr;
    wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
    const int len = ::LCIDToLocaleName(lcid, name, LOCALE_NAME_MAX_LENGTH, 0);
    if (len <= 1)
        return nullptr;
    loc->name_ = win32::Utf8Path(std::wstring_view(name, static_cast<size_t>(len - 1)));
    loc->collator_ = std::make_unique<Collator>();
    loc->collator_->lcid = lcid;

    // The locale's linguistic casing.
    loc->FillCasing([lcid](char16_t ch, bool upper) -> std::optional<char16_t> {
        const wchar_t in[1] = {static_cast<wchar_t>(ch)};
        wchar_t out[8] = {};
        const DWORD flags = (upper ? LCMAP_UPPERCASE : LCMAP_LOWERCASE) | LCMAP_LINGUISTIC_CASING;
        if (::LCMapStringW(lcid, flags, in, 1, out, 8) != 1)
            return std::nullopt;
        return static_cast<char16_t>(out[0]);
    });
    return loc;
}

int Locale::Compare(std::string_view a, std::string_view b) const
{
    if (!collator_)
        return CompareBytes(a, b);
    const Text ta = AnsiToText(a);
    const Text tb = AnsiToText(b);
    // A string sort (punctuation significant) that ignores non-spacing marks; letter case still counts.
    const int r = ::CompareStringW(collator_->lcid, NORM_IGNORENONSPACE | SORT_STRINGSORT,
                                   reinterpret_cast<const wchar_t*>(ta.data()), static_cast<int>(ta.size()),
                                   reinterpret_cast<const wchar_t*>(tb.data()), static_cast<int>(tb.size()));
    return r == CSTR_LESS_THAN ? -1 : (r == CSTR_GREATER_THAN ? 1 : 0);
}

} // namespace platform
