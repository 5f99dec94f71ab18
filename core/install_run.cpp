// InstallRun: copies the installer into the game's Data folder, puts every
// file of the mission in its place (saving each game file it replaces under
// its backup name), writes the two registry records and closes the window.
//
// Every change to the game is announced in the install journal before it is
// made (see install_journal.h). A rerun, after an error or a kill, decides
// from the journal, never from what a file's name or bytes suggest: a file
// the journal says this mission wrote is written again in place, and is never
// taken for the game's own and saved under the backup name.

#include "core/handlers.h"
#include "core/install_journal.h"
#include "core/manifest.h"
#include "core/messages.h"
#include "core/mission_files.h"
#include "core/mission_model.h"
#include "core/registry_records.h"
#include "host/host_rules.h"

namespace brunvald {

namespace {

class InstallWalk {
public:
    InstallWalk(HostOps& host, InstallerWindow& window, const ProgramState& state)
        : host_(host), window_(window), state_(state), paths_(state.paths) {}

    bool CopyInstaller();
    void OpenJournal();
    void Entry(const MissionEntry& entry);

private:
    void ProgressStep();
    bool SavesGameFile(const MissionEntry& entry);
    void MakeCampaignFolder(const Text& folder);
    void PlaceFile(const MissionEntry& entry);
    void WriteOwnFile(const MissionEntry& entry, const Text& target);
    void SaveAndWrite(const MissionEntry& entry, const Text& target, const Text& backup);

    HostOps& host_;
    InstallerWindow& window_;
    const ProgramState& state_;
    const InstallPaths& paths_;
    std::unique_ptr<InstallJournal> journal_;
    // The registry records this mission as installed but there is no journal:
    // a build that kept none installed it, and a file holding exactly the
    // mission's bytes is that install's.
    bool earlierBuild_ = false;
};

// The uninstall entry points at the copy in dataFolder, so the copy must be
// of the program that is running, whatever name it was saved under. Started
// from that copy itself, there is nothing to copy. Without the copy the
// mission could not be removed from the list of installed programs, so a
// failed copy ends the run before anything else is touched.
bool InstallWalk::CopyInstaller() {
    const Text source = host_.ProgramPath();
    const Text target = paths_.dataFolder + kInstallerFileName;
    if (SamePathText(source, target)) return true;
    // Two spellings of one file (a short 8.3 form against a long one) meet
    // in their short forms, which only exist for files that exist.
    const Text shortSource = host_.ShortPathForm(source);
    if (!shortSource.empty() && SamePathText(shortSource, host_.ShortPathForm(target))) return true;
    if (host_.CopyInstaller(source, target)) return true;
    host_.ShowMessageBox(message::kCopyFailed, message::kErrorCaption, kIconError);
    return false;
}

void InstallWalk::OpenJournal() {
    journal_ = std::make_unique<InstallJournal>(host_, JournalPath(paths_, state_.identity));
    earlierBuild_ = journal_->condition() == InstallJournal::Condition::Missing &&
                    OwnRecordsPresent(host_, state_.identity);
}

// One entry's share of the progress: a sweep from the bar's percent up to 100
// with a 15 ms pause per step, which at 100 is a single pause.
void InstallWalk::ProgressStep() {
    for (unsigned percent = window_.ProgressPercent(); percent <= 100; ++percent) {
        window_.SetProgressPercent(percent);
        host_.Pause(15);
    }
}

// The key table's rule. For the tree images, whether the game's folder holds
// "TreeImage.Index" decides, whatever the entry's own file name.
bool InstallWalk::SavesGameFile(const MissionEntry& entry) {
    switch (RuleFor(entry.kind)->saving) {
    case GameFileSaving::Never: return false;
    case GameFileSaving::Always: return true;
    case GameFileSaving::WhenTreeImagePresent:
        return host_.FileIsPresent(paths_.modelFolder + kTreeImage);
    }
    return false;
}

void InstallWalk::MakeCampaignFolder(const Text& folder) {
    if (!journal_->Find(folder) && !host_.FolderIsPresent(folder))
        journal_->Note({JournalMark::FolderMade, folder, {}, {}});
    // A folder that cannot be made is reported by the first file written into
    // it, with that file's name.
    (void)host_.MakeFolders(folder);
}

// A file that is this mission's: announced as being written, written, then
// recorded as complete (so the uninstall removes a broken one as well, and a
// complete one only while it still holds the mission's bytes).
void InstallWalk::WriteOwnFile(const MissionEntry& entry, const Text& target) {
    journal_->Note({JournalMark::Writing, target, {}, entry.resourceName});
    host_.ExtractResource(entry.resourceName, target);
    journal_->Note({JournalMark::Written, target, {}, entry.resourceName});
}

// Saves the game's file under its backup name, then writes the mission's.
// When the write fails right after this attempt moved the game's file away,
// the partly written file goes and the game's file comes back before the
// error reaches the user: the game never loses a file to a failed install.
void InstallWalk::SaveAndWrite(const MissionEntry& entry, const Text& target, const Text& backup) {
    const bool renamed = host_.RenameFile(target, backup);
    try {
        host_.ExtractResource(entry.resourceName, target);
    } catch (const HostError&) {
        if (renamed) {
            // Best effort on the way out: the write error is what the user
            // sees, and what cannot be put back here stays in the journal as
            // saved, so the uninstall restores it.
            (void)host_.RemoveFile(target);
            (void)host_.RenameFile(backup, target);
        }
        throw;
    }
}

void InstallWalk::PlaceFile(const MissionEntry& entry) {
    const Text target = TargetPath(entry);
    const Text backup = entry.folder + BackupName(state_.identity, entry.fileName);
    if (const JournalRecord* known = journal_->Find(target)) {
        if (known->mark != JournalMark::Saved) return WriteOwnFile(entry, target);
        // The game's file is safe under its backup name: write in place.
        if (host_.FileIsPresent(known->backup)) return host_.ExtractResource(entry.resourceName, target);
        // The earlier attempt ended before its rename: the game's file is
        // still here. With nothing under either name, the file is ours.
        if (host_.FileIsPresent(target)) return SaveAndWrite(entry, target, known->backup);
        return WriteOwnFile(entry, target);
    }
    if (!SavesGameFile(entry) || !host_.FileIsPresent(target)) return WriteOwnFile(entry, target);
    // A backup that exists already holds the game's file (an earlier build's
    // install); the file here is then the mission's and is written over.
    if (!host_.FileIsPresent(backup) && earlierBuild_ &&
        host_.FileHoldsResource(entry.resourceName, target))
        return WriteOwnFile(entry, target);
    journal_->Note({JournalMark::Saved, target, backup, entry.resourceName});
    SaveAndWrite(entry, target, backup);
}

void InstallWalk::Entry(const MissionEntry& entry) {
    ProgressStep();
    if (!RuleFor(entry.kind) || entry.folder.empty()) return;
    if (entry.kind == EntryKind::CampSet) MakeCampaignFolder(entry.folder);
    PlaceFile(entry);
}

}  // namespace

AfterHandler InstallRun(HostOps& host, InstallerWindow& window, ProgramState& state) {
    if (!state.readyForRun) return AfterHandler::KeepWindow;
    window.ShowProgressBar();

    InstallWalk walk(host, window, state);
    if (!walk.CopyInstaller()) return AfterHandler::KeepWindow;
    walk.OpenJournal();
    for (const MissionEntry& entry : state.mission) walk.Entry(entry);

    WriteUninstallRecord(host, state.identity, state.paths.gameFolder, state.mission);
    WriteMakerRecord(host, state.identity);

    host.Pause(300);
    host.ShowMessageBox(message::kInstallDone, message::kClosingCaption, kIconExclamation);
    return AfterHandler::CloseWindow;
}

}  // namespace brunvald
