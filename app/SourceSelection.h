// Choosing, for each kind of navigation data, the sentence type a found port supplies it with.
#pragma once

#include "app/Values.h"
#include "platform/Text.h"

#include <functional>

namespace app {

// Whether the receive window brought a recognised sentence of this type.
using TTypePresent = std::function<bool(platform::TextView type)>;

// Sets the texts of choice for the types that are present; never empties one. True when it set any text.
bool SelectSources(TSourceChoice& choice, const TTypePresent& present, bool checkTwoDecimalRMC);

} // namespace app
