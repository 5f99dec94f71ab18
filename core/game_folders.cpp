#include "core/game_folders.h"

#include "core/registry_records.h"
#include "host/host_rules.h"

namespace brunvald {

Text LocateGameFolder(HostOps& host) {
    Text path;
    {
        const auto registry = host.StartRegistryAccess();
        // A key that does not open names no game, as a missing value does.
        if (const auto key = registry->OpenKey(kAppPathsKey, false)) path = key->ReadText(u"Path");
    }
    return path.empty() ? Text() : WithSeparator(path);
}

InstallPaths FormInstallPaths(const Text& gameFolder) {
    InstallPaths paths;
    paths.gameFolder = gameFolder;
    paths.dataFolder = gameFolder + u"Data\\";
    paths.citiesFolder = gameFolder + u"Cities\\";
    paths.modelFolder = gameFolder + u"Model\\";
    paths.campaignsFolder = gameFolder + u"Campaigns\\";
    return paths;
}

}  // namespace brunvald
