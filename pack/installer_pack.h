// Turns the installer program without a mission (the "stub") and a checked
// mission folder into the mission's installer: the stub's resources stay as
// they are, and the mission's are added under the type named "RT_RCDATA" in
// language 1031 (German): RCRES, the manifest, and each listed file under its
// line's name in upper case, exactly the resources the build's resource
// script gives an installer.
#pragma once

#include <cstdint>
#include <vector>

#include "pack/mission.h"

namespace brunvald::pack {

// Reads the mission's files. Raises PackError when the stub already carries
// a mission or cannot be changed.
std::vector<std::uint8_t> BuildInstaller(const std::vector<std::uint8_t>& stub, const Mission& mission);

}  // namespace brunvald::pack
