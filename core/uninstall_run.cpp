// UninstallRun: undoes every change the install journal records (removes
// the mission's files, moves the saved files back, removes the campaign
// folder if nothing but the mission's files was in it), deletes both registry
// records, and closes the window after starting the script that deletes the
// executable.
//
// What is the mission's comes from the install journal (install_journal.h),
// whatever the manifest says now: a record of a line that this version of
// the mission no longer has is undone as well, after the lines it has. The
// manifest only sets the order. Without a journal, the run first writes one
// from what it can tell (adoption), before it changes anything, and then
// works from that; so a retry, or a rerun after a kill, finds every step that
// is left, and none that is done.
//
// A file the journal says the mission wrote is removed while it holds the
// mission's bytes, or when its write never completed; a file the player has
// changed since stays, and so does a file of the player's in the campaign
// folder, with the folder.
//
// A change that cannot be undone (a saved file that cannot come back, a
// mission file that will not go) keeps its record, the registry records and
// the executable: the run names the file instead of reporting success, and
// pressing Deinstallieren again, once the file is free, finishes the job. A
// registry record that will not go keeps the journal and the executable the
// same way.

#include <optional>

#include "core/handlers.h"
#include "core/install_journal.h"
#include "core/messages.h"
#include "core/mission_files.h"
#include "core/mission_model.h"
#include "core/registry_records.h"
#include "host/host_rules.h"

namespace brunvald {

namespace {

class UninstallWalk {
public:
    UninstallWalk(HostOps& host, const ProgramState& state, InstallJournal& journal)
        : host_(host), state_(state), journal_(journal) {}

    void Entry(const MissionEntry& entry, bool firstLine);
    // The records no manifest line reached, latest first; the folders last.
    void Rest();
    // The first change that could not be undone; none when all were.
    const std::optional<HostError>& Failure() const { return failure_; }

private:
    void Undo(const Text& path);
    void UndoFolder(const Text& folder);
    bool HoldsWhatWasWritten(const JournalRecord& record);
    void Fail(HostError error);

    HostOps& host_;
    const ProgramState& state_;
    InstallJournal& journal_;
    std::optional<HostError> failure_;
};

// The file still holds the bytes the install wrote: compared with the
// resource where this installer carries it, else known by the file's stamp
// (a later version of the mission, which lacks the resource, was installed
// over the one that wrote it).
bool UninstallWalk::HoldsWhatWasWritten(const JournalRecord& record) {
    if (host_.FileHoldsResource(record.resource, record.path)) return true;
    FileStamp stamp;
    return !(record.stamp == FileStamp{}) && host_.StampOfFile(record.path, stamp) && stamp == record.stamp;
}

void UninstallWalk::Fail(HostError error) {
    if (!failure_) failure_ = std::move(error);
}

// Undoes the change recorded for the file at path, and drops its record once
// it is undone; a change that cannot be undone keeps it.
void UninstallWalk::Undo(const Text& path) {
    const JournalRecord* found = journal_.Find(path);
    if (!found || found->mark == JournalMark::FolderMade) return;
    const JournalRecord record = *found;
    if (record.mark == JournalMark::Saved) {
        // Without its backup the saved file was never moved away.
        // Otherwise it replaces the mission's file in one step: if that
        // fails, the mission's file is still in place and the game whole.
        // Whether it moved is read from the files, as for a removal below.
        if (host_.FileIsPresent(record.backup)) (void)host_.RenameFileOver(record.backup, path);
        if (!host_.FileIsPresent(record.backup)) return journal_.Forget(path);
        if (host_.FileIsPresent(path))
            return Fail(HostError(message::GameFileNotRestored(path), {u"MoveFileExW", path, 0}));
        return Fail(HostError(message::BackupNotRenamedBack(record.backup, path),
                              {u"MoveFileExW", record.backup, 0}));
    }
    // A file the player changed since is theirs now.
    const bool ours = record.mark == JournalMark::Writing || HoldsWhatWasWritten(record);
    if (!host_.FileIsPresent(path) || !ours) return journal_.Forget(path);
    // Whether it went is read from the file itself, whatever the call said:
    // Wine reports a deletion on a medium that cannot be written as done.
    (void)host_.RemoveFile(path);
    if (!host_.FileIsPresent(path)) return journal_.Forget(path);
    Fail(HostError(message::MissionFileNotRemoved(path), {u"DeleteFileW", path, 0}));
}

// The folder the install made goes once it is empty. One that still holds
// something after the mission's files went holds the player's files and is
// theirs now; while a file of the mission in it could not be removed, the
// record stays so that the retry removes the folder too.
void UninstallWalk::UndoFolder(const Text& folder) {
    if (!host_.FolderIsPresent(folder) || host_.RemoveEmptyFolder(folder) || !failure_)
        journal_.Forget(folder);
}

void UninstallWalk::Entry(const MissionEntry& entry, bool firstLine) {
    const bool places = !entry.folder.empty();
    switch (entry.kind) {
    case EntryKind::Maps:
    case EntryKind::CampPak:
    case EntryKind::CampSet:
    case EntryKind::CampMap:
    case EntryKind::CampMod:
        if (places) Undo(TargetPath(entry));
        break;
    default: break;
    }
    // The tree images are undone once, between the rows above and below, the
    // later entry's first.
    if (firstLine) {
        for (auto it = state_.mission.rbegin(); it != state_.mission.rend(); ++it)
            if (it->kind == EntryKind::TreeImage && !it->folder.empty()) Undo(TargetPath(*it));
    }
    switch (entry.kind) {
    case EntryKind::CampMsg:
    case EntryKind::CampEng:
    case EntryKind::GaiaPic:
    case EntryKind::MainPic:
        if (places) Undo(TargetPath(entry));
        break;
    default: break;
    }
}

void UninstallWalk::Rest() {
    const std::vector<JournalRecord> left = journal_.records();
    for (auto it = left.rbegin(); it != left.rend(); ++it)
        if (it->mark != JournalMark::FolderMade) Undo(it->path);
    for (auto it = left.rbegin(); it != left.rend(); ++it)
        if (it->mark == JournalMark::FolderMade) UndoFolder(it->path);
}

void ReportMissingEntry(HostOps& host) {
    host.ShowMessageBox(message::kEntryNotRemoved, message::kErrorCaption, kIconError);
}

}  // namespace

AfterHandler UninstallRun(HostOps& host, InstallerWindow& window, ProgramState& state) {
    if (!state.readyForRun) return AfterHandler::KeepWindow;

    InstallJournal journal(host, state.paths, state.identity);
    if (journal.condition() == InstallJournal::Condition::Unreadable)
        AdoptFromTheGame(journal, host, state.mission, state.identity, AdoptionEvidence::BackupsOnly);
    else if (journal.condition() == InstallJournal::Condition::Missing &&
             OwnRecordsPresent(host, state.identity))
        AdoptFromTheGame(journal, host, state.mission, state.identity, AdoptionEvidence::EarlierBuild);

    UninstallWalk walk(host, state, journal);
    bool firstLine = true;
    for (const MissionEntry& entry : state.mission) {
        walk.Entry(entry, firstLine);
        firstLine = false;
    }
    walk.Rest();
    // Success would now be reported and the records and the executable
    // deleted, leaving no way to finish the job.
    if (walk.Failure()) throw *walk.Failure();

    const Text keptKey = RemoveRecords(host, state.identity.displayName, ReportMissingEntry);
    if (!keptKey.empty()) {
        // The journal stays, empty, so that the next install does not take
        // the left record for one of a build that kept no journal.
        journal.Start();
        throw HostError(message::RecordNotRemoved(keptKey), {u"RegDeleteKeyExW", u"HKLM\\" + keptKey, 0});
    }
    // Only now: a journal gone while a record is left would make the next
    // uninstall adopt the restored game's files by the older rules.
    journal.Delete();

    host.Pause(1500);
    // Written before success is reported: a script that cannot be written
    // is reported instead of it.
    const Text script = WriteSelfRemovalScript(host);
    host.ShowMessageBox(message::kUninstallDone, message::kClosingCaption, kIconExclamation);
    StartSelfRemoval(host, script, window);
    // The script waits for the program's file: nothing may keep the program
    // alive from here on.
    return AfterHandler::CloseWindow;
}

}  // namespace brunvald
