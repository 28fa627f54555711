// Runs a fuzz target's entry point once on every file of the folders (or files) given, in name order: the
// suite's replay of inputs that once failed. A crash, a sanitizer report or a violated invariant ends the
// run with a failure, as it would in the fuzzer.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

// The table target's custom mutator calls libFuzzer's; a replay never mutates.
extern "C" size_t LLVMFuzzerMutate(uint8_t*, size_t, size_t)
{
    std::abort();
}

int main(int argc, char** argv)
{
    namespace fs = std::filesystem;
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        const fs::path arg = argv[i];
        if (fs::is_directory(arg)) {
            for (const fs::directory_entry& e : fs::directory_iterator(arg))
                if (e.is_regular_file())
                    inputs.push_back(e.path());
        } else {
            inputs.push_back(arg);
        }
    }
    std::sort(inputs.begin(), inputs.end());
    if (inputs.empty()) {
        std::fprintf(stderr, "%s: no inputs\n", argv[0]);
        return 2;
    }
    for (const fs::path& input : inputs) {
        std::error_code ec;
        const auto size = static_cast<std::streamsize>(fs::file_size(input, ec));
        std::vector<char> bytes(ec ? 0 : static_cast<size_t>(size));
        std::ifstream in(input, std::ios::binary);
        if (ec || !in.read(bytes.data(), size)) {
            std::fprintf(stderr, "%s: cannot read %s\n", argv[0], input.c_str());
            return 2;
        }
        std::printf("replay %s (%zu bytes)\n", input.c_str(), bytes.size());
        std::fflush(stdout);
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }
    std::printf("replayed %zu inputs\n", inputs.size());
    return 0;
}
