// The rules a mission's manifest RCRES must keep before an installer may carry
// it. The installer itself reads any manifest (it is fuzzed for that); these
// rules refuse, at the moment an installer is made, every manifest that it
// would act on wrongly: a name or marker taken from the wrong line, a file
// written outside the game's folders, a campaign folder that would be the
// folder of all campaigns, a map written before its folder exists.
//
// One implementation for every way an installer is made: the CMake build
// (payload/installer_rc.cmake runs brunvald-pack --check), scripts/build-installer
// and the stand-alone builder brunvald-pack. The rules use the installer's
// own reading of a manifest (its line split, its key table, its campaign
// folder), so the build refuses exactly what the installer would mishandle.
//
// The first fault found is reported, by line; nothing else is checked after
// it. A fault says which part of the line is wrong and, where the cause is
// usual (an editor's encoding, a key in another letter case), how to mend
// it. Messages are English: they are for the mission maker, not the player.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "host/host_ops.h"

namespace brunvald {

struct ManifestFault {
    unsigned line = 0;     // 1-based; 0 when the fault is of the manifest as a whole
    std::string lineText;  // the line as written; empty for faults of single bytes
    std::string why;
};

// One accepted statement: `Name RT_RCDATA "file name"`.
struct ManifestStatement {
    unsigned line = 0;
    std::string text;      // the whole line, as written
    std::string name;      // the resource name as written
    std::string fileName;  // the file's name in the mission folder and in the game
};

struct ManifestCheck {
    std::optional<ManifestFault> fault;
    // What the installer carries but will not act on as the maker likely
    // meant (a key it does not know, no campaign); the build goes on.
    std::vector<ManifestFault> warnings;
    std::vector<ManifestStatement> statements;  // in file order; empty lines left out
    std::string missionName;                    // as the installer derives them; set when accepted
    std::string missionMarker;
};

// Whether the mission folder holds a regular file of that (bare) name.
using MissionFileProbe = std::function<bool(const std::string& fileName)>;

// Checks the manifest's bytes. `folderText` names the mission folder in the
// message about a missing file.
ManifestCheck CheckManifest(Bytes manifest, const MissionFileProbe& fileIsPresent,
                            const std::string& folderText);

// "<manifestPath>:<line>: <why>\n  line: <line text>", or
// "<manifestPath>: <why>" for a fault of the whole manifest.
std::string DescribeFault(const std::string& manifestPath, const ManifestFault& fault);
// The same with "warning: " before the why.
std::string DescribeWarning(const std::string& manifestPath, const ManifestFault& warning);

}  // namespace brunvald
