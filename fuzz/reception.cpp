// Random byte streams through the scan's reception rules and the sentence classifier, as a receive window
// feeds them: every completed sentence is classified. The first byte picks the ANSI code page the bytes
// are decoded with (Windows-1252, -1251, -1253 or Shift-JIS); every few kilobytes a new attempt begins. Violated invariants abort.
#include "app/SentenceAssembler.h"
#include "app/SentenceClassifier.h"

#include "platform/Text.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

void Check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "invariant violated: %s\n", what);
        std::abort();
    }
}

bool Unique(const platform::TTextList& list)
{
    std::vector<platform::Text> items = list.Items();
    std::sort(items.begin(), items.end());
    return std::adjacent_find(items.begin(), items.end()) == items.end();
}

bool Contains(const platform::TTextList& list, platform::TextView text)
{
    const auto& items = list.Items();
    return std::find(items.begin(), items.end(), text) != items.end();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    // One assembler per code page, each made while its page was in force.
    static std::vector<TSentenceAssembler> assemblers = [] {
        std::vector<TSentenceAssembler> all;
        for (const char* page : {"windows-1252", "windows-1251", "windows-1253", "shift_jis"}) {
            Check(platform::SetAnsiCodePage(page), "code page available");
            all.emplace_back();
        }
        platform::SetAnsiCodePage("windows-1252");
        return all;
    }();
    static TSentenceClassifier classifier;
    TSentenceAssembler& assembler = assemblers[data[0] % assemblers.size()];
    assembler.Clear();
    classifier.ResetAttempt();
    size_t sinceReset = 0;
    for (size_t i = 1; i < size; ++i) {
        const bool complete = assembler.PutByte(data[i]);
        const platform::Text& s = assembler.SentenceBuffer;
        Check(s.size() <= TSentenceAssembler::MaxSentenceLength + 1, "sentence buffer bounded");
        Check(!s.empty(), "a byte was taken");
        if (data[i] == '$' || data[i] == '!')
            Check(s.size() == 1, "a start character begins a sentence afresh");
        if (!complete)
            continue;
        Check(data[i] == '\n' && s.back() == u'\n', "only a line feed completes a sentence");

        const bool recognised = classifier.ClassifySentence(s);
        if (recognised) {
            const size_t comma = s.find(u',');
            const platform::TextView address = platform::TextView(s).substr(0, comma);
            Check(address.size() > 3, "recognised sentences have a type");
            Check(Contains(classifier.RecognisedTypes, address.substr(3)), "recognised type entered");
        }
        Check(Unique(classifier.RecognisedTypes), "recognised types once each");
        Check(Unique(classifier.UnusedTypes), "unused types once each");
        for (const platform::Text& t : classifier.UnusedTypes.Items())
            Check(Contains(classifier.KnownTypes, t), "unused types are known types");
        Check(classifier.KnownTypes.Count() == 56, "known types unchanged");

        if (++sinceReset % 64 == 0) {
            classifier.ResetAttempt();
            assembler.Clear();
        }
    }
    return 0;
}
