// UninstallRun: removes the mission's files, moves the saved game files back,
// deletes the campaign folder and both registry records, and ends the program
// after starting the script that deletes the executable.
//
// A file of the game's folders is removed only when it is recognisably the
// mission's: its backup exists (so the install run replaced it), or it holds
// exactly the bytes of the mission's resource for it. An uninstall started
// when the mission is not installed, or only partly, then leaves the game's
// own files of the same names alone.
//
// A saved game file that cannot be moved back (the mission's file in its
// place is held open by another program) keeps the records and the
// executable: the run reports the file instead of success, and pressing
// Deinstallieren again, once the file is free, finishes the job.

#include "core/handlers.h"
#include "core/manifest.h"
#include "core/messages.h"
#include "core/mission_files.h"
#include "host/host_rules.h"
#include "core/registry_records.h"

namespace brunvald {

namespace {

class UninstallWalk {
public:
    UninstallWalk(HostOps& host, ProgramState& state)
        : host_(host), state_(state), paths_(state.paths) {}

    void Entry(const ManifestEntry& entry, bool firstLine);
    // The game files whose backup is still there after this walk.
    const std::vector<Text>& NotRestored() const { return notRestored_; }

private:
    void Restore(const Text& backup, const Text& target);
    bool IsMissionFile(const Text& resourceName, const Text& folder, const Text& fileName);
    void RemoveMissionFile(const ManifestEntry& entry, const Text& folder);
    void RemoveAndRestore(const ManifestEntry& entry, const Text& folder);
    void CampaignSet(const ManifestEntry& entry);
    void RestoreTreeImages();
    Text TreeImageResource(const Text& fileName) const;

    HostOps& host_;
    ProgramState& state_;
    InstallPaths& paths_;
    std::vector<Text> notRestored_;
};

// A rename that fails while the backup is there means the mission's file
// could not be removed from the game file's name: the game's file would be
// left under its backup name with nothing recorded to bring it back.
void UninstallWalk::Restore(const Text& backup, const Text& target) {
    if (!host_.RenameFile(backup, target) && host_.FileIsPresent(backup))
        notRestored_.push_back(target);
}

bool UninstallWalk::IsMissionFile(const Text& resourceName, const Text& folder,
                                  const Text& fileName) {
    return host_.FileIsPresent(folder + BackupName(state_.identity, fileName)) ||
           (!resourceName.empty() && host_.FileHoldsResource(resourceName, folder + fileName));
}

void UninstallWalk::RemoveMissionFile(const ManifestEntry& entry, const Text& folder) {
    if (IsMissionFile(entry.resourceName, folder, entry.fileName))
        host_.RemoveFile(folder + entry.fileName);
}

void UninstallWalk::RemoveAndRestore(const ManifestEntry& entry, const Text& folder) {
    RemoveMissionFile(entry, folder);
    Restore(folder + BackupName(state_.identity, entry.fileName), folder + entry.fileName);
}

void UninstallWalk::CampaignSet(const ManifestEntry& entry) {
    const Text folder = CampaignFolderFor(paths_.campaignsFolder, entry.fileName);
    if (folder.empty()) return;  // never the folder of all campaigns
    paths_.campaignFolder = folder;
    host_.DeleteFolderTree(folder);
}

// The resource the install run wrote under a tree-image name: that of the
// CampTR1 or CampTR2 line naming the file (letters compared as Windows does).
Text UninstallWalk::TreeImageResource(const Text& fileName) const {
    Text resource;
    for (const Text& line : state_.manifest) {
        const ManifestEntry entry = ParseEntry(line);
        if (ClassifyEntry(entry.resourceName) == EntryKind::TreeImage &&
            AsciiUpper(entry.fileName) == AsciiUpper(fileName))
            resource = entry.resourceName;
    }
    return resource;
}

// Both tree-image files go when they are the mission's; each backup comes
// back on its own, so a game that had only one of the files gets it back.
void UninstallWalk::RestoreTreeImages() {
    const Text& model = paths_.modelFolder;
    for (const Text& name : {Text(kTreeImage), Text(kResetTreeImage)})
        if (IsMissionFile(TreeImageResource(name), model, name)) host_.RemoveFile(model + name);
    for (const Text& name : {Text(kResetTreeImage), Text(kTreeImage)}) {
        const Text backup = model + BackupName(state_.identity, name);
        if (host_.FileIsPresent(backup)) Restore(backup, model + name);
    }
}

void UninstallWalk::Entry(const ManifestEntry& entry, bool firstLine) {
    const EntryKind kind = ClassifyEntry(entry.resourceName);
    switch (kind) {
    case EntryKind::Maps: RemoveMissionFile(entry, paths_.citiesFolder); break;
    case EntryKind::CampPak: RemoveMissionFile(entry, paths_.campaignsFolder); break;
    case EntryKind::CampSet: CampaignSet(entry); break;
    case EntryKind::CampMod: RemoveAndRestore(entry, paths_.modelFolder); break;
    default: break;
    }
    // The tree images are restored once, between the rows above and below.
    if (firstLine) RestoreTreeImages();
    switch (kind) {
    case EntryKind::CampMsg: RemoveAndRestore(entry, paths_.modelFolder); break;
    case EntryKind::CampEng: RemoveAndRestore(entry, paths_.gameFolder); break;
    case EntryKind::GaiaPic: RemoveAndRestore(entry, paths_.dataFolder); break;
    case EntryKind::MainPic: RemoveAndRestore(entry, paths_.dataFolder); break;
    default: break;
    }
}

void ReportMissingEntry(HostOps& host) {
    host.ShowMessageBox(message::kEntryNotRemoved, message::kErrorCaption, kIconError);
}

}  // namespace

void UninstallRun(HostOps& host, InstallerWindow& window, ProgramState& state) {
    if (!state.readyForRun) return;

    UninstallWalk walk(host, state);
    bool firstLine = true;
    for (const Text& line : state.manifest) {
        walk.Entry(ParseEntry(line), firstLine);
        firstLine = false;
    }
    // Success would now be reported and the records and the executable
    // deleted, leaving no way to bring the saved file back.
    if (!walk.NotRestored().empty())
        throw HostError(message::GameFileNotRestored(walk.NotRestored().front()));

    RemoveRecords(host, state.identity.displayName, ReportMissingEntry);

    host.Pause(1500);
    host.ShowMessageBox(message::kUninstallDone, message::kClosingCaption, kIconExclamation);
    StartSelfRemoval(host, window);
    host.EndProgram();
}

}  // namespace brunvald
