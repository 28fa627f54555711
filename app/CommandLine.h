// The program's command line: the word "extern" and the options for unattended use.
#pragma once

#include "platform/Text.h"

#include <string>
#include <variant>
#include <vector>

namespace app {

inline constexpr int DefaultWindowMs = 5000;
inline constexpr int MaxWindowMs = 600000;

struct TProgramOptions {
    std::vector<platform::Text> Arguments; // every argument, the program's own path excluded
    int WindowMs = DefaultWindowMs;        // length of one receive window
    bool Report = false;                   // scan at once, print the result, exit
};

// Our options are "--window-ms N" (or "--window-ms=N", N from 1 to 600000) and "--report"; every other
// argument is ignored here (the word "extern" is looked for separately). Returns the options, or the
// reason a value of ours is invalid.
std::variant<TProgramOptions, std::string> ParseCommandLine(const std::vector<platform::Text>& arguments);
// The arguments held the word "extern" in any letter case.
bool HasExtern(const std::vector<platform::Text>& arguments);
std::string UsageText(const std::string& programName);

} // namespace app
