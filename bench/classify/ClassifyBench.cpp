// The receive path's work per sentence on the recorded logs: ClassifySentence against a plain split of
// the same lines at their commas (the least any look at a sentence's fields costs), and the reception
// rules byte by byte.
#include "app/SentenceAssembler.h"
#include "app/SentenceClassifier.h"

#include "platform/Text.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

// Every sentence of every recorded log, each with its CR LF, as the assembler hands it over.
struct Logs {
    std::vector<platform::Text> Sentences;
    std::string Bytes;
};

const Logs& RecordedLogs()
{
    static const Logs logs = [] {
        Logs l;
        std::vector<std::filesystem::path> files;
        for (const auto& e : std::filesystem::directory_iterator(SONDRAL_FIXTURES "/nmea"))
            if (e.path().extension() == ".log")
                files.push_back(e.path());
        std::sort(files.begin(), files.end());
        for (const auto& f : files) {
            std::ifstream in(f, std::ios::binary);
            std::string line;
            while (std::getline(in, line)) {
                if (!line.empty() && line.back() == '\r')
                    line.pop_back();
                if (line.empty() || line[0] == '#')
                    continue;
                line += "\r\n";
                l.Bytes += line;
                l.Sentences.push_back(platform::AnsiToText(line));
            }
        }
        return l;
    }();
    return logs;
}

void BM_ClassifySentence(benchmark::State& state)
{
    const Logs& logs = RecordedLogs();
    TSentenceClassifier classifier;
    int64_t recognised = 0;
    for (auto _ : state) {
        classifier.ResetAttempt();
        for (const platform::Text& s : logs.Sentences)
            recognised += classifier.ClassifySentence(s) ? 1 : 0;
    }
    benchmark::DoNotOptimize(recognised);
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(logs.Sentences.size()));
    state.SetLabel("ref=BM_PlainSplit");
}
BENCHMARK(BM_ClassifySentence);

void BM_PlainSplit(benchmark::State& state)
{
    const Logs& logs = RecordedLogs();
    std::vector<platform::TextView> fields;
    size_t total = 0;
    for (auto _ : state) {
        for (const platform::Text& s : logs.Sentences) {
            fields.clear();
            size_t start = 0;
            for (size_t comma = s.find(u','); comma != platform::Text::npos; comma = s.find(u',', start)) {
                fields.emplace_back(s.data() + start, comma - start);
                start = comma + 1;
            }
            fields.emplace_back(s.data() + start, s.size() - start);
            total += fields.size();
        }
        benchmark::DoNotOptimize(fields.data());
    }
    benchmark::DoNotOptimize(total);
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(logs.Sentences.size()));
}
BENCHMARK(BM_PlainSplit);

// The reception rules and the classifier together over the byte stream, per sentence.
void BM_ReceiveAndClassify(benchmark::State& state)
{
    const Logs& logs = RecordedLogs();
    TSentenceAssembler assembler;
    TSentenceClassifier classifier;
    for (auto _ : state) {
        assembler.Clear();
        classifier.ResetAttempt();
        for (const char c : logs.Bytes)
            if (assembler.PutByte(static_cast<unsigned char>(c)))
                classifier.ClassifySentence(assembler.SentenceBuffer);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(logs.Sentences.size()));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(logs.Bytes.size()));
}
BENCHMARK(BM_ReceiveAndClassify);

} // namespace

BENCHMARK_MAIN();
