// A mission folder: its manifest RCRES and the files it lists, read and
// checked by the manifest rules of core/manifest_check.h.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "core/manifest_check.h"

namespace brunvald::pack {

struct MissionFile {
    ManifestStatement statement;
    std::filesystem::path path;
};

struct Mission {
    std::filesystem::path folder;
    std::filesystem::path manifestPath;
    std::vector<std::uint8_t> manifest;  // the bytes of RCRES
    std::vector<MissionFile> files;      // in manifest order
    std::vector<std::string> warnings;   // described with the manifest's path and the line
    std::string name;                    // the mission's name and marker as the installer derives them
    std::string marker;
};

// Reads the manifest and checks it against the folder; the files themselves
// are not read. Raises PackError with the rules' message (the manifest's
// path, the line number and the line) when the manifest is refused.
Mission CheckMissionFolder(const std::filesystem::path& folder);

}  // namespace brunvald::pack
