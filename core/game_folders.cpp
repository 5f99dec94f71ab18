#include "core/game_folders.h"

#include "core/registry_records.h"
#include "host/host_rules.h"

namespace brunvald {

Text LocateGameFolder(HostOps& host) {
    Text path;
    {
        const auto registry = host.StartRegistryAccess();
        // Whether the key opens is not looked at: a failed opening leaves no
        // key open, and the value then reads as empty text.
        registry->OpenRegistryKey(kAppPathsKey, false);
        path = registry->ReadRegistryText(u"Path");
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
