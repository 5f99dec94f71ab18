// The batch script that deletes the executable once its process has ended,
// and then itself.
#pragma once

#include <vector>

#include "core/program_state.h"

namespace brunvald {

inline constexpr char16_t kScriptFileName[] = u"des.bat";

// Full-speed tries right after the program ends, then tries a second apart.
inline constexpr unsigned kFastTries = 300;
inline constexpr unsigned kSlowTries = 60;

// The script's lines for an executable and the script's own path, both as the
// command interpreter is to read them. Deletes at full speed for the first
// tries (the program is ending at that moment), then waits about a second
// between tries, gives up after about a minute, and always deletes itself.
std::vector<Text> SelfRemovalScript(const Text& exePath, const Text& scriptPath);

// The form of a path to write into the script. The interpreter reads the
// script in the OEM code page, which need not hold every letter of the path:
// a path with any non-ASCII unit is given in its short 8.3 form when the
// volume has one, otherwise as it is (and the host encodes it).
Text ScriptPathForm(HostOps& host, const Text& path);

}  // namespace brunvald
