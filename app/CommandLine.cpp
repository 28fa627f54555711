#include "app/CommandLine.h"

#include <QString>

namespace app {

using platform::Text;

namespace {

bool ParseWindowMs(platform::TextView text, int& windowMs)
{
    // Digits only: no sign, no blanks.
    if (text.empty() || text.size() > 6)
        return false;
    int value = 0;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9')
            return false;
        value = value * 10 + (c - u'0');
    }
    if (value < 1 || value > MaxWindowMs)
        return false;
    windowMs = value;
    return true;
}

} // namespace

std::variant<TProgramOptions, std::string> ParseCommandLine(const std::vector<Text>& arguments)
{
    TProgramOptions options;
    options.Arguments = arguments;
    const Text windowOption = u"--window-ms";
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const Text& arg = arguments[i];
        if (arg.empty() || arg[0] != u'-') {
            continue;
        } else if (arg == u"--report") {
            options.Report = true;
        } else if (arg == windowOption) {
            if (i + 1 >= arguments.size())
                return std::string("--window-ms needs a number of milliseconds");
            if (!ParseWindowMs(arguments[++i], options.WindowMs))
                return "invalid window length: " + platform::TextToUtf8(arguments[i]);
        } else if (arg.starts_with(windowOption + u"=")) {
            const platform::TextView value = platform::TextView(arg).substr(windowOption.size() + 1);
            if (!ParseWindowMs(value, options.WindowMs))
                return "invalid window length: " + platform::TextToUtf8(value);
        }
        // Every other argument is ignored, as are the toolkit's own options (-style, -platform, ...).
    }
    return options;
}

bool HasExtern(const std::vector<Text>& arguments)
{
    for (const Text& arg : arguments)
        if (QString::fromStdU16String(arg).toLower() == QLatin1String("extern"))
            return true;
    return false;
}

std::string UsageText(const std::string& programName)
{
    return "usage: " + programName + " [extern] [--window-ms N] [--report]\n"
           "  extern          scan at once, hide Start, do not start the viewer on Close\n"
           "  --window-ms N   receive window in milliseconds (1 to 600000, default 5000)\n"
           "  --report        scan at once without a user, print the result and exit\n";
}

} // namespace app
