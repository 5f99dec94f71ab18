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

// What an entry is, by its resourceName. At most one key applies, since no
// exact key contains "Maps".
enum class EntryKind {
    Other,  // no run acts; CampInI and empty lines included
    Maps,
    CampPak,
    CampSet,
    CampMap,
    CampMod,
    TreeImage,  // CampTR1 or CampTR2
    CampMsg,
    CampEng,
    GaiaPic,
    MainPic,
};

// One manifest line as both runs use it, made once at start-up: its key and
// the folder its file goes to.
struct MissionEntry {
    EntryKind kind = EntryKind::Other;
    Text resourceName;
    Text fileName;
    // Ends in "\". Empty when the entry places nothing: no key, or a
    // campaign file without a usable campaign folder before it.
    Text folder;
};

// One entry per manifest line, in file order.
using MissionModel = std::vector<MissionEntry>;

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
    Text dataFolder;
    Text citiesFolder;
    Text modelFolder;
    Text campaignsFolder;
};

enum class InstallerMode { Install, Uninstall };

struct ProgramState {
    ResourceManifest manifest;
    MissionIdentity identity;
    InstallPaths paths;
    MissionModel mission;  // from manifest and paths
    InstallerMode mode = InstallerMode::Install;
    // Set once every start-up step that a run depends on has completed. An
    // error during start-up leaves it false, and no run may start then.
    bool readyForRun = false;
};

// What the window does once a handler has returned: wait for the player
// again, or close, which ends the program (the message loop stops when the
// window is gone, and the program returns from its entry with exit code 0).
enum class [[nodiscard]] AfterHandler { KeepWindow, CloseWindow };

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

    // The native window handle, as owner of shell requests.
    virtual std::uintptr_t NativeHandle() const = 0;
};

}  // namespace brunvald
