// nmea-classify: feeds a recorded NMEA log through the scan's reception rules and classifies every
// completed sentence as one receive window would.
//
//   nmea-classify [FILE]      (standard input when FILE is not given)
//
// Lines starting with '#' are comments of the log files and are skipped. Output, exactly four lines:
//   recognised: <RecognisedTypes in list order, joined by ", ">
//   unused: <UnusedTypes in list order, joined by ", ">
//   rmc-low-precision: <yes|no>
//   sentences: <number of completed sentences>
// Exit status 0; 2 with a message on standard error when the input cannot be read.

#include "app/SentenceAssembler.h"
#include "app/SentenceClassifier.h"
#include "platform/Text.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

std::string Joined(const platform::TTextList& list)
{
    std::string out;
    for (int i = 0; i < list.Count(); ++i) {
        out += i == 0 ? " " : ", ";
        out += platform::TextToUtf8(list[i]);
    }
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 2) {
        std::cerr << "usage: nmea-classify [FILE]\n";
        return 2;
    }
    std::FILE* in = stdin;
    std::unique_ptr<std::FILE, FileCloser> file;
    const std::string name = argc == 2 ? argv[1] : "standard input";
    if (argc == 2) {
        file.reset(std::fopen(argv[1], "rb"));
        if (!file) {
            std::cerr << "nmea-classify: cannot read " << name << ": " << std::strerror(errno) << "\n";
            return 2;
        }
        in = file.get();
    }

    TSentenceAssembler assembler;
    TSentenceClassifier classifier;
    long long sentences = 0;

    // Streamed byte by byte; a line whose first byte is '#' is skipped up to and including its line feed.
    bool lineStart = true;
    bool comment = false;
    char buf[65536];
    size_t n = 0;
    while ((n = std::fread(buf, 1, sizeof buf, in)) > 0) {
        for (size_t i = 0; i < n; ++i) {
            const auto byte = static_cast<unsigned char>(buf[i]);
            if (lineStart)
                comment = byte == '#';
            lineStart = byte == '\n';
            if (!comment && assembler.PutByte(byte)) {
                ++sentences;
                classifier.ClassifySentence(assembler.SentenceBuffer);
            }
        }
    }
    if (std::ferror(in)) {
        std::cerr << "nmea-classify: cannot read " << name << ": " << std::strerror(errno) << "\n";
        return 2;
    }

    std::cout << "recognised:" << Joined(classifier.RecognisedTypes) << "\n"
              << "unused:" << Joined(classifier.UnusedTypes) << "\n"
              << "rmc-low-precision: " << (classifier.CheckTwoDecimalRMC ? "yes" : "no") << "\n"
              << "sentences: " << sentences << "\n";
    return std::cout.good() ? 0 : 1;
}
