#include "app/SentenceClassifier.h"

#include <algorithm>
#include <array>

using platform::Text;
using platform::TextView;

namespace {

constexpr std::array<std::u16string_view, 56> kKnownTypes = {
    u"AAM", u"ALM", u"APB", u"ASD", u"BEC", u"BOD", u"BWC", u"BWR", u"BWW", u"DBE", u"DBT", u"DCN",
    u"DPT", u"FSI", u"GGA", u"GLC", u"GLL", u"GSA", u"GSV", u"GXA", u"HDG", u"HDT", u"HSC", u"LCD",
    u"MTW", u"MWV", u"OLN", u"OSD", u"RMA", u"RMB", u"RMC", u"ROT", u"RPM", u"RSA", u"RSD", u"RTE",
    u"RWS", u"SFI", u"STN", u"TRF", u"TTM", u"VBW", u"VDR", u"VHW", u"VLW", u"VPW", u"VTG", u"WCV",
    u"WNC", u"WPL", u"XDR", u"XTE", u"XTR", u"ZDA", u"ZFO", u"ZTG"};

// Recognised besides GLL, GGA and RMC, which have rules of their own.
constexpr std::array<std::u16string_view, 13> kOtherRecognised = {
    u"VTG", u"HDM", u"VBW", u"VHW", u"DBT", u"DPT", u"VDM", u"VDO", u"DBE", u"DBS", u"HDG", u"HDT", u"ROT"};

template <size_t N> bool Holds(const std::array<std::u16string_view, N>& table, TextView type)
{
    return std::find(table.begin(), table.end(), type) != table.end();
}

} // namespace

TSentenceClassifier::TSentenceClassifier()
{
    for (const auto type : kKnownTypes)
        KnownTypes.Add(type);
}

void TSentenceClassifier::ResetAttempt()
{
    RecognisedTypes.Clear();
    UnusedTypes.Clear();
    CheckTwoDecimalRMC = false;
}

void TSentenceClassifier::Enter(platform::TTextList& list, TextView type)
{
    list.Sort();
    int index = 0;
    if (!list.Find(type, index))
        list.Add(type);
}

bool TSentenceClassifier::ClassifySentence(TextView sentence)
{
    Tokenizer.SetSource(sentence);
    Tokenizer.SetDelimiter(u',');
    const int count = Tokenizer.GetTokenCnt();
    if (count == 0)
        return false;

    // The address without its two-letter talker identifier.
    const Text address = Tokenizer.GetToken(0);
    const Text type = address.size() > 2 ? address.substr(2) : Text();

    bool recognised = false;
    if (type == u"GLL" || type == u"GGA") {
        recognised = true;
    } else if (type == u"RMC") {
        if (count <= 10)
            return false;
        recognised = true;
        // ddmm.mm and dddmm.mm or shorter: two decimals of minutes at most, or no fix at all.
        if (Tokenizer.GetToken(3).size() <= 7 || Tokenizer.GetToken(5).size() <= 8)
            CheckTwoDecimalRMC = true;
    } else if (Holds(kOtherRecognised, type)) {
        recognised = true;
    } else {
        // Exact comparison: a lower-case type is not a known type.
        const auto& known = KnownTypes.Items();
        if (std::find(known.begin(), known.end(), type) != known.end())
            Enter(UnusedTypes, type);
        return false;
    }

    if (recognised)
        Enter(RecognisedTypes, type);
    return recognised;
}
