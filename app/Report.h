// What the dialog shows after a scan, as lines for scripts: the tree, the log, the status, the main-GPS
// list, the visibility of the list and of the AIS option, and the value Accept would write.
#pragma once

#include <string>
#include <vector>

namespace app {

class TForm1;

std::vector<std::string> ScanReport(const TForm1& form);

} // namespace app
