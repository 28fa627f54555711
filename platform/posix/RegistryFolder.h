// Where the file-backed registry of POSIX keeps its hives.
#pragma once

#include "platform/Registry.h"

#include <string>

namespace platform {

// Folders that hold the file-backed hives. Defaults: $XDG_CONFIG_HOME (or ~/.config)/sondral/registry for
// the current user, /var/lib/sondral/registry for the local machine; SONDRAL_REGISTRY_USER and
// SONDRAL_REGISTRY_MACHINE override them (tests use that).
std::string RegistryFolder(RegRoot root);

} // namespace platform
