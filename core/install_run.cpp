// InstallRun: copies the installer into the game's Data folder, writes the
// two registry records, puts every file of the mission in its place (saving
// each file it replaces under its backup name) and closes the window.
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
    InstallWalk(HostOps& host, InstallerWindow& window, const ProgramState& state, InstallJournal& journal)
        : host_(host), window_(window), state_(state), paths_(state.paths), journal_(journal) {}

    bool CopyInstaller();
    void Entry(const MissionEntry& entry);

private:
    void ProgressStep();
    void MakeCampaignFolder(const Text& folder);
    void PlaceFile(const MissionEntry& entry);
    void WriteOwnFile(const MissionEntry& entry, const Text& target);
    void SaveAndWrite(const MissionEntry& entry, const Text& target, const Text& backup);

    HostOps& host_;
    InstallerWindow& window_;
    const ProgramState& state_;
    const InstallPaths& paths_;
    InstallJournal& journal_;
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

// One entry's share of the progress: a sweep from the bar's percent up to 100
// with a 15 ms pause per step, which at 100 is a single pause.
void InstallWalk::ProgressStep() {
    for (unsigned percent = window_.ProgressPercent(); percent <= 100; ++percent) {
        window_.SetProgressPercent(percent);
        host_.Pause(15);
    }
}

void InstallWalk::MakeCampaignFolder(const Text& folder) {
    if (!journal_.Find(folder) && !host_.FolderIsPresent(folder))
        journal_.Note({JournalMark::FolderMade, folder, {}, {}, {}});
    // A folder that cannot be made is reported by the first file written into
    // it, with that file's name.
    (void)host_.MakeFolders(folder);
}

// A file where nothing was: announced as being written, written, then
// recorded as complete (so the uninstall removes a broken one as well, and a
// complete one only while it still holds the mission's bytes).
void InstallWalk::WriteOwnFile(const MissionEntry& entry, const Text& target) {
    journal_.Note({JournalMark::Writing, target, {}, entry.resourceName, {}});
    host_.ExtractResource(entry.resourceName, target);
    FileStamp stamp;
    if (!host_.StampOfFile(target, stamp)) stamp = {};
    journal_.Note({JournalMark::Written, target, {}, entry.resourceName, stamp});
}

// Moves the file at target to its backup name, then writes the mission's.
// A rename that fails (a file of the backup name that the journal does not
// know, a backup path too long, the file held open) ends the run before the
// target is written: the file there stays what it was, and the record that
// announced the rename goes, since nothing is under the backup name of ours.
// When the write fails right after the rename, the partly written file goes
// and the saved file comes back before the error reaches the user.
void InstallWalk::SaveAndWrite(const MissionEntry& entry, const Text& target, const Text& backup) {
    if (!host_.RenameFile(target, backup)) {
        journal_.Forget(target);
        throw HostError(message::GameFileNotSaved(target, backup), {u"MoveFileW", backup, 0});
    }
    try {
        host_.ExtractResource(entry.resourceName, target);
    } catch (const HostError&) {
        // Best effort on the way out: the write error is what the user
        // sees, and what cannot be put back here stays in the journal as
        // saved, so the uninstall restores it.
        (void)host_.RemoveFile(target);
        (void)host_.RenameFile(backup, target);
        throw;
    }
}

// Whatever the key, a file at the target that the journal does not name as
// the mission's is saved first: a map of the player's in Cities is as much
// theirs as a game file in Model. Where the journal knows the target, it
// decides, never the file's name or bytes.
void InstallWalk::PlaceFile(const MissionEntry& entry) {
    const Text target = TargetPath(entry);
    const Text backup = entry.folder + BackupName(state_.identity, entry.fileName);
    if (const JournalRecord* known = journal_.Find(target)) {
        if (known->mark != JournalMark::Saved) return WriteOwnFile(entry, target);
        const Text knownBackup = known->backup;
        // The saved file is safe under its backup name: write in place.
        if (host_.FileIsPresent(knownBackup)) return host_.ExtractResource(entry.resourceName, target);
        // The earlier attempt ended before its rename: the file to save is
        // still here. With nothing under either name, the file is ours.
        if (host_.FileIsPresent(target)) return SaveAndWrite(entry, target, knownBackup);
        return WriteOwnFile(entry, target);
    }
    if (!host_.FileIsPresent(target)) return WriteOwnFile(entry, target);
    journal_.Note({JournalMark::Saved, target, backup, entry.resourceName, {}});
    SaveAndWrite(entry, target, backup);
}

void InstallWalk::Entry(const MissionEntry& entry) {
    ProgressStep();
    if (!RuleFor(entry.kind) || entry.folder.empty()) return;
    if (entry.kind == EntryKind::CampSet) MakeCampaignFolder(entry.folder);
    PlaceFile(entry);
}

}  // namespace

// The journal and both registry records exist before the first change to the
// game: an install that fails or is killed part way, or that the player
// leaves after an error, can be undone through the list of installed
// programs, and another mission of the maker is refused meanwhile.
AfterHandler InstallRun(HostOps& host, InstallerWindow& window, ProgramState& state) {
    if (!state.readyForRun) return AfterHandler::KeepWindow;
    window.ShowProgressBar();

    InstallJournal journal(host, state.paths, state.identity);
    // Without its journal nobody can tell which files are the game's:
    // the uninstall rebuilds it from the backups, and must come first.
    if (journal.condition() == InstallJournal::Condition::Unreadable)
        throw HostError(message::JournalUnreadable(journal.path()), {u"ReadFile", journal.path(), 0});

    InstallWalk walk(host, window, state, journal);
    if (!walk.CopyInstaller()) return AfterHandler::KeepWindow;
    if (journal.condition() == InstallJournal::Condition::Missing && OwnRecordsPresent(host, state.identity))
        AdoptFromTheGame(journal, host, state.mission, state.identity, AdoptionEvidence::EarlierBuild);
    journal.Start();
    WriteUninstallRecord(host, state.identity, state.paths.gameFolder, state.mission);
    WriteMakerRecord(host, state.identity);

    for (const MissionEntry& entry : state.mission) walk.Entry(entry);

    host.Pause(300);
    host.ShowMessageBox(message::kInstallDone, message::kClosingCaption, kIconExclamation);
    return AfterHandler::CloseWindow;
}

}  // namespace brunvald
