// The texts of a found port's block in the result tree, and what the block offers to the rest of the
// dialog (a main-GPS candidate, the AIS-transponder option).
#pragma once

#include "app/Values.h"
#include "platform/Text.h"

#include <vector>

namespace app {

// "Baud : " and the rate in decimal.
platform::Text BaudNodeText(int rate);
// The child of the baud node that holds the chosen sources.
platform::Text NmeaNodeText();
// One line per chosen source, label and type, in the block's order ("Position : GGA", ...).
std::vector<platform::Text> SourceLines(const TSourceChoice& choice);
// "Unused   : " followed by each type and ", "; empty when there are none.
platform::Text UnusedLine(const std::vector<platform::Text>& unusedTypes);
// The port offers a position that is not the own-ship AIS position.
bool IsMainGpsCandidate(const TSourceChoice& choice);
// Position, course or speed come from the own-ship AIS sentence.
bool ShowsAisGps(const TSourceChoice& choice);

} // namespace app
