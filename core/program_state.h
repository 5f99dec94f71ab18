// The program-wide state that start-up builds and the runs work on.
#pragma once

#include <cstdint>
#include <vector>

#include "host/host_ops.h"

namespace brunvald {

// One line of the manifest, split.
struct ManifestEntry {
    Text resourceName;
    Text fileName;
};

// The decoded lines of RCRES, in file order, empty and malformed ones included.
using ResourceManifest = std::vector<Text>;

struct MissionIdentity {
    Text missionName;
    Text missionMarker;
    Text displayName;
    Text titleText;
    bool hasCampPak = false;  // whether a CampPak line set the fields above
};

// Every folder ends in "\".
struct InstallPaths {
    Text gameFolder;
    Text installerFolder;
    Text dataFolder;
    Text citiesFolder;
    Text modelFolder;
    Text campaignsFolder;
    Text campaignFolder;  // empty until a run handles a CampSet entry
};

enum class InstallerMode { Install, Uninstall };

struct ProgramState {
    ResourceManifest manifest;
    MissionIdentity identity;
    InstallPaths paths;
    InstallerMode mode = InstallerMode::Install;
    // Set once every start-up step that a run depends on has completed. An
    // error during start-up leaves it false, and no run may start then.
    bool readyForRun = false;
};

// What the logic needs of the window. The Win32 window implements it; the
// native tests use a recording fake.
class InstallerWindow {
public:
    virtual ~InstallerWindow() = default;

    // Both title labels take the text.
    virtual void SetTitleText(const Text& text) = 0;
    // Registers the title font, places the parts, shows the mode's button.
    // Raises the resource error when the font resource is missing.
    virtual void SetUpWindow(InstallerMode mode) = 0;

    // The progress bar PB1. Setting the percent paints before it returns.
    virtual void ShowProgressBar() = 0;
    virtual unsigned ProgressPercent() const = 0;
    virtual void SetProgressPercent(unsigned percent) = 0;

    // Asks the window to close; the program ends when it has closed.
    virtual void Close() = 0;
    // The native window handle, as owner of shell requests.
    virtual std::uintptr_t NativeHandle() const = 0;
};

}  // namespace brunvald
