#include "platform/Locale.h"

#include "platform/Text.h"

#include <unicode/locid.h>
#include <unicode/ucol.h>
#include <unicode/uloc.h>
#include <unicode/ustring.h>

#include <algorithm>

namespace platform {

struct Locale::Collator {
    UCollator* c = nullptr;
    ~Collator()
    {
        if (c != nullptr)
            ucol_close(c);
    }
};

Locale::Locale(uint32_t lcid) : lcid_(lcid) { FillDefaultCasing(); }

Locale::~Locale() = default;

std::shared_ptr<const Locale> Locale::ForLCID(uint32_t lcid)
{
    std::shared_ptr<Locale> loc(new Locale(lcid));
    if (lcid == 0)
        return loc;
    // Bits above the sort id are reserved: such an id names no locale.
    if (lcid > 0xFFFFFu)
        return nullptr;
    char name[ULOC_FULLNAME_CAPACITY] = {};
    UErrorCode status = U_ZERO_ERROR;
    const int32_t len = uloc_getLocaleForLCID(lcid, name, sizeof name, &status);
    if (U_FAILURE(status) || len <= 0 || status == U_STRING_NOT_TERMINATED_WARNING)
        return nullptr;
    // Neutral and default ids map to the root locale, which is no locale of a table.
    if (std::string(name) == "root")
        return nullptr;
    status = U_ZERO_ERROR;
    UCollator* c = ucol_open(name, &status);
    if (U_FAILURE(status) || c == nullptr) {
        if (c != nullptr)
            ucol_close(c);
        return nullptr;
    }
    loc->collator_ = std::make_unique<Collator>();
    loc->collator_->c = c;
    loc->name_ = name;
    // String sort ignoring non-spacing marks: base letters and case count, accents do not, punctuation
    // is significant.
    status = U_ZERO_ERROR;
    ucol_setStrength(c, UCOL_PRIMARY);
    ucol_setAttribute(c, UCOL_CASE_LEVEL, UCOL_ON, &status);
    ucol_setAttribute(c, UCOL_ALTERNATE_HANDLING, UCOL_NON_IGNORABLE, &status);

    loc->FillCasing([&name](char16_t ch, bool upper) -> std::optional<char16_t> {
        UChar out[8] = {};
        UErrorCode error = U_ZERO_ERROR;
        const UChar in[1] = {ch};
        const int32_t n = upper ? u_strToUpper(out, 8, in, 1, name, &error) : u_strToLower(out, 8, in, 1, name, &error);
        if (U_FAILURE(error) || n != 1)
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
    const UCollationResult r =
        ucol_strcoll(collator_->c, reinterpret_cast<const UChar*>(ta.data()), static_cast<int32_t>(ta.size()),
                     reinterpret_cast<const UChar*>(tb.data()), static_cast<int32_t>(tb.size()));
    return r == UCOL_LESS ? -1 : (r == UCOL_GREATER ? 1 : 0);
}

} // namespace platform
