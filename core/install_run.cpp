// InstallRun: copies the installer into the game's Data folder, puts every
// file of the manifest in its place (saving each game file it replaces under
// its backup name), writes the two registry records and ends the program.

#include "core/handlers.h"
#include "core/manifest.h"
#include "core/messages.h"
#include "core/mission_files.h"
#include "host/host_rules.h"
#include "core/registry_records.h"

namespace brunvald {

namespace {

class InstallWalk {
public:
    InstallWalk(HostOps& host, InstallerWindow& window, ProgramState& state)
        : host_(host), window_(window), state_(state), paths_(state.paths) {}

    void CopyInstaller();
    void Entry(const ManifestEntry& entry);

private:
    void ProgressStep();
    void Extract(const ManifestEntry& entry, const Text& folder);
    void BackupAndExtract(const ManifestEntry& entry, const Text& folder);
    void CampaignSet(const ManifestEntry& entry);
    void TreeImage(const ManifestEntry& entry);

    HostOps& host_;
    InstallerWindow& window_;
    ProgramState& state_;
    InstallPaths& paths_;
};

// The uninstall entry points at the copy in dataFolder, so the copy must be
// of the program that is running, whatever name it was saved under. Started
// from that copy itself, there is nothing to copy.
void InstallWalk::CopyInstaller() {
    const Text source = host_.ProgramPath();
    const Text target = paths_.dataFolder + kInstallerFileName;
    if (SamePathText(source, target)) return;
    // Two spellings of one file (a short 8.3 form against a long one) meet
    // in their short forms, which only exist for files that exist.
    const Text shortSource = host_.ShortPathForm(source);
    if (!shortSource.empty() && SamePathText(shortSource, host_.ShortPathForm(target))) return;
    if (!host_.CopyInstaller(source, target))
        host_.ShowMessageBox(message::kCopyFailed, message::kErrorCaption, kIconError);
}

// One entry's share of the progress: a sweep from the bar's percent up to 100
// with a 15 ms pause per step, which at 100 is a single pause.
void InstallWalk::ProgressStep() {
    for (unsigned percent = window_.ProgressPercent(); percent <= 100; ++percent) {
        window_.SetProgressPercent(percent);
        host_.Pause(15);
    }
}

void InstallWalk::Extract(const ManifestEntry& entry, const Text& folder) {
    host_.ExtractResource(entry.resourceName, folder + entry.fileName);
}

// Saves the game's file under its backup name, then writes the mission's.
// When the write fails right after this attempt moved the game's file away,
// the partly written file goes and the game's file comes back before the
// error reaches the user: the game never loses a file to a failed install.
void InstallWalk::BackupAndExtract(const ManifestEntry& entry, const Text& folder) {
    const Text target = folder + entry.fileName;
    const Text backup = folder + BackupName(state_.identity, entry.fileName);
    const bool renamed = host_.RenameFile(target, backup);
    try {
        host_.ExtractResource(entry.resourceName, target);
    } catch (const HostError&) {
        if (renamed) {
            host_.RemoveFile(target);
            host_.RenameFile(backup, target);
        }
        throw;
    }
}

void InstallWalk::CampaignSet(const ManifestEntry& entry) {
    const Text folder = CampaignFolderFor(paths_.campaignsFolder, entry.fileName);
    if (folder.empty()) return;  // would be the folder of all campaigns
    paths_.campaignFolder = folder;
    host_.MakeFolders(folder);
    Extract(entry, folder);
}

// Whether the game's TreeImage.Index is there decides for both tree-image
// entries: with it, the entry's file is saved first; without it, the entry
// is written plainly (and a later entry then finds the mission's file).
void InstallWalk::TreeImage(const ManifestEntry& entry) {
    if (host_.FileIsPresent(paths_.modelFolder + kTreeImage))
        BackupAndExtract(entry, paths_.modelFolder);
    else
        Extract(entry, paths_.modelFolder);
}

void InstallWalk::Entry(const ManifestEntry& entry) {
    ProgressStep();
    switch (ClassifyEntry(entry.resourceName)) {
    case EntryKind::Maps: Extract(entry, paths_.citiesFolder); break;
    case EntryKind::CampPak: Extract(entry, paths_.campaignsFolder); break;
    case EntryKind::CampSet: CampaignSet(entry); break;
    case EntryKind::CampMap: Extract(entry, paths_.campaignFolder); break;
    case EntryKind::CampMod: BackupAndExtract(entry, paths_.modelFolder); break;
    case EntryKind::TreeImage: TreeImage(entry); break;
    case EntryKind::CampMsg: BackupAndExtract(entry, paths_.modelFolder); break;
    case EntryKind::CampEng: BackupAndExtract(entry, paths_.gameFolder); break;
    case EntryKind::GaiaPic: BackupAndExtract(entry, paths_.dataFolder); break;
    case EntryKind::MainPic: BackupAndExtract(entry, paths_.dataFolder); break;
    case EntryKind::Other: break;
    }
}

}  // namespace

void InstallRun(HostOps& host, InstallerWindow& window, ProgramState& state) {
    if (!state.readyForRun) return;
    window.ShowProgressBar();

    InstallWalk walk(host, window, state);
    walk.CopyInstaller();
    for (const Text& line : state.manifest) walk.Entry(ParseEntry(line));

    WriteUninstallRecord(host, state.identity, state.paths.gameFolder);
    WriteMakerRecord(host, state.identity);

    host.Pause(300);
    host.ShowMessageBox(message::kInstallDone, message::kClosingCaption, kIconExclamation);
    host.EndProgram();
}

}  // namespace brunvald
