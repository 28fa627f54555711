#include "app/PortNumber.h"

#include <limits>

namespace app {

int PortNumberFromName(platform::TextView name)
{
    if (name.size() < 3 || platform::UpperCase(name.substr(0, 3)) != u"COM")
        return 0;
    const auto number = platform::TextToInt(name.substr(3));
    // Port numbers are never negative; a negative or oversized number is no port.
    if (!number || *number < 0 || *number > std::numeric_limits<int>::max())
        return 0;
    return static_cast<int>(*number);
}

} // namespace app
