#include "core/mission_model.h"

#include "core/manifest.h"
#include "core/mission_files.h"

namespace brunvald {

namespace {

const Text& FolderOf(TargetFolder folder, const InstallPaths& paths, const Text& campaignFolder) {
    switch (folder) {
    case TargetFolder::Cities: return paths.citiesFolder;
    case TargetFolder::Campaigns: return paths.campaignsFolder;
    case TargetFolder::Campaign: return campaignFolder;
    case TargetFolder::Model: return paths.modelFolder;
    case TargetFolder::Game: return paths.gameFolder;
    case TargetFolder::Data: return paths.dataFolder;
    }
    return campaignFolder;
}

}  // namespace

MissionModel BuildMission(const ResourceManifest& manifest, const InstallPaths& paths) {
    MissionModel mission;
    mission.reserve(manifest.size());
    Text campaignFolder;  // of the last usable CampSet line so far
    for (const Text& line : manifest) {
        const ManifestEntry parsed = ParseEntry(line);
        MissionEntry entry{ClassifyEntry(parsed.resourceName), parsed.resourceName, parsed.fileName, {}};
        if (const KeyRule* rule = RuleFor(entry.kind)) {
            if (entry.kind == EntryKind::CampSet) {
                // Never the folder of all campaigns, nor one outside it.
                const Text named = CampaignFolderFor(paths.campaignsFolder, entry.fileName);
                if (!named.empty()) campaignFolder = named;
                entry.folder = named;
            } else {
                entry.folder = FolderOf(rule->folder, paths, campaignFolder);
            }
        }
        mission.push_back(std::move(entry));
    }
    return mission;
}

Text TargetPath(const MissionEntry& entry) {
    return entry.folder.empty() ? Text() : entry.folder + entry.fileName;
}

}  // namespace brunvald
