// The mission model: every manifest line parsed and classified once, at
// start-up, with the folder its file goes to. Both runs and the install
// journal walk this list; neither parses a line again.
#pragma once

#include "core/program_state.h"

namespace brunvald {

// One entry per line, in manifest order. The key table (KeyRules) gives each
// entry's folder; a CampSet entry names the campaign folder of itself and of
// the CampMap entries after it, until the next usable CampSet. An entry that
// places nothing gets an empty folder: a line without a key, CampInI, a
// CampSet whose name gives no folder inside campaignsFolder, and a CampMap
// with no usable CampSet before it (its map would otherwise land in the
// program's current folder, outside the game).
MissionModel BuildMission(const ResourceManifest& manifest, const InstallPaths& paths);

// The full path of the entry's file; empty when the entry places nothing.
Text TargetPath(const MissionEntry& entry);

}  // namespace brunvald
