#include "pack/mission.h"

#include "pack/file_io.h"

namespace brunvald::pack {

namespace fs = std::filesystem;

Mission CheckMissionFolder(const fs::path& folder) {
    Mission mission;
    mission.folder = folder;
    mission.manifestPath = folder / "RCRES";
    std::error_code error;
    if (!fs::is_regular_file(mission.manifestPath, error))
        throw PackError("Mission manifest missing: " + PathText(mission.manifestPath) + " does not exist");
    mission.manifest = ReadWholeFile(mission.manifestPath);

    const ManifestCheck check = CheckManifest(
        Bytes(mission.manifest),
        [&folder](const std::string& fileName) {
            std::error_code ignored;
            return fs::is_regular_file(folder / fs::path(fileName), ignored);
        },
        PathText(folder));
    if (check.fault) throw PackError(DescribeFault(PathText(mission.manifestPath), *check.fault));
    for (const ManifestFault& warning : check.warnings)
        mission.warnings.push_back(DescribeWarning(PathText(mission.manifestPath), warning));
    mission.name = check.missionName;
    mission.marker = check.missionMarker;
    for (const ManifestStatement& statement : check.statements)
        mission.files.push_back(MissionFile{statement, folder / fs::path(statement.fileName)});
    return mission;
}

}  // namespace brunvald::pack
