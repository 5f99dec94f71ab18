// The game's folder from its App Paths key, and the folder set the runs work
// in. Every folder ends in "\".
#pragma once

#include "core/program_state.h"
#include "host/host_ops.h"

namespace brunvald {

// The "Path" value of the game's App Paths key with "\" appended when
// missing; empty when the game is not found (key or value missing, key not
// openable, empty value). Raises only the read errors of
// RegistryKey::ReadText.
Text LocateGameFolder(HostOps& host);

// Every folder of InstallPaths from the game's folder.
InstallPaths FormInstallPaths(const Text& gameFolder);

}  // namespace brunvald
