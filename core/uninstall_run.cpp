// UninstallRun: removes the mission's files, moves the saved game files back,
// deletes the campaign folder and both registry records, and closes the window
// after starting the script that deletes the executable.
//
// What is the mission's comes from the install journal (install_journal.h).
// Without one, the run first writes one from what it can tell (adoption),
// before it changes anything, and then works from that; so a retry, or a
// rerun after a kill, finds every step that is left, and none that is done:
// - a mission the registry records as installed, by a build that kept no
//   journal: a file with its backup present, or holding exactly the
//   mission's bytes, is the mission's; the campaign folder goes whole;
// - a journal that cannot be read: only files whose backup is present;
// - no journal and no record: nothing is the mission's, and no file is
//   touched (a game file equal to the mission's is still the game's).
//
// A file the journal says the mission wrote is removed while it holds the
// mission's bytes, or when its write never completed; a file the player has
// changed since stays.
//
// A saved game file that cannot be moved back (the mission's file in its
// place is held open by another program) keeps the records, the journal and
// the executable: the run reports the file instead of success, and pressing
// Deinstallieren again, once the file is free, finishes the job.

#include "core/handlers.h"
#include "core/install_journal.h"
#include "core/messages.h"
#include "core/mission_files.h"
#include "core/mission_model.h"
#include "core/registry_records.h"
#include "host/host_rules.h"

namespace brunvald {

namespace {

enum class Evidence { EarlierBuild, BackupsOnly };

class UninstallWalk {
public:
    UninstallWalk(HostOps& host, const ProgramState& state, InstallJournal& journal)
        : host_(host), state_(state), journal_(journal) {}

    void Adopt(Evidence evidence);
    void Entry(const MissionEntry& entry, bool firstLine);
    // The game files whose backup is still there after this walk.
    const std::vector<Text>& NotRestored() const { return notRestored_; }

private:
    void Undo(const Text& path);
    void RemovePart(const Text& path);
    void RestorePart(const Text& path);
    void RestoreTreeImages();

    HostOps& host_;
    const ProgramState& state_;
    InstallJournal& journal_;
    std::vector<Text> notRestored_;
};

// The records that the install would have written, as far as the files show
// them. Stored before the first change.
void UninstallWalk::Adopt(Evidence evidence) {
    std::vector<JournalRecord> records;
    const auto add = [&records](JournalRecord record) {
        for (const JournalRecord& known : records)
            if (SamePathText(known.path, record.path)) return;
        records.push_back(std::move(record));
    };
    for (const MissionEntry& entry : state_.mission) {
        if (entry.folder.empty() || entry.kind == EntryKind::Other) continue;
        if (entry.kind == EntryKind::CampSet && evidence == Evidence::EarlierBuild &&
            host_.FolderIsPresent(entry.folder))
            add({JournalMark::FolderMade, entry.folder, {}, {}});
        const Text target = TargetPath(entry);
        const Text backup = entry.folder + BackupName(state_.identity, entry.fileName);
        if (host_.FileIsPresent(backup))
            add({JournalMark::Saved, target, backup, entry.resourceName});
        else if (evidence == Evidence::EarlierBuild &&
                 host_.FileHoldsResource(entry.resourceName, target))
            add({JournalMark::Written, target, {}, entry.resourceName});
    }
    if (!records.empty() || journal_.condition() != InstallJournal::Condition::Missing)
        journal_.Adopt(std::move(records));
}

// The mission's file at path goes.
void UninstallWalk::RemovePart(const Text& path) {
    const JournalRecord* record = journal_.Find(path);
    if (!record) return;
    switch (record->mark) {
    case JournalMark::FolderMade:
        // Whether it went is read from the folder itself below.
        if (host_.FolderIsPresent(path)) (void)host_.DeleteFolderTree(path);
        if (!host_.FolderIsPresent(path)) journal_.Forget(path);
        return;
    case JournalMark::Writing:
    case JournalMark::Written: {
        const bool ours = record->mark == JournalMark::Writing ||
                          host_.FileHoldsResource(record->resource, path);
        // Whether it went is read from the file itself below.
        if (host_.FileIsPresent(path) && ours) (void)host_.RemoveFile(path);
        // A file the player changed since is theirs now.
        if (!host_.FileIsPresent(path) || !ours) journal_.Forget(path);
        return;
    }
    case JournalMark::Saved:
        // Without its backup the game's file was never moved away.
        // The restore that follows finds out whether the way is clear.
        if (host_.FileIsPresent(record->backup)) (void)host_.RemoveFile(path);
        return;
    }
}

// The saved game file comes back to path.
void UninstallWalk::RestorePart(const Text& path) {
    const JournalRecord* record = journal_.Find(path);
    if (!record || record->mark != JournalMark::Saved) return;
    const Text backup = record->backup;
    if (host_.FileIsPresent(backup) && !host_.RenameFile(backup, path) && host_.FileIsPresent(backup)) {
        // The mission's file could not be removed from the game file's name.
        notRestored_.push_back(path);
        return;
    }
    journal_.Forget(path);
}

void UninstallWalk::Undo(const Text& path) {
    RemovePart(path);
    RestorePart(path);
}

// Both tree-image files go first, then each saved one comes back on its own,
// the later entry's first.
void UninstallWalk::RestoreTreeImages() {
    std::vector<Text> targets;
    for (const MissionEntry& entry : state_.mission)
        if (entry.kind == EntryKind::TreeImage && !entry.folder.empty())
            targets.push_back(TargetPath(entry));
    for (const Text& target : targets) RemovePart(target);
    for (auto it = targets.rbegin(); it != targets.rend(); ++it) RestorePart(*it);
}

void UninstallWalk::Entry(const MissionEntry& entry, bool firstLine) {
    const bool places = !entry.folder.empty();
    switch (entry.kind) {
    case EntryKind::CampSet:
        // The folder whole, if this mission made it; then its own file, which
        // is gone with it or, in a folder that was there before, goes alone.
        if (places) RemovePart(entry.folder);
        [[fallthrough]];
    case EntryKind::Maps:
    case EntryKind::CampPak:
    case EntryKind::CampMap:
    case EntryKind::CampMod:
        if (places) Undo(TargetPath(entry));
        break;
    default: break;
    }
    // The tree images are restored once, between the rows above and below.
    if (firstLine) RestoreTreeImages();
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

void ReportMissingEntry(HostOps& host) {
    host.ShowMessageBox(message::kEntryNotRemoved, message::kErrorCaption, kIconError);
}

}  // namespace

AfterHandler UninstallRun(HostOps& host, InstallerWindow& window, ProgramState& state) {
    if (!state.readyForRun) return AfterHandler::KeepWindow;

    InstallJournal journal(host, JournalPath(state.paths, state.identity));
    UninstallWalk walk(host, state, journal);
    if (journal.condition() == InstallJournal::Condition::Unreadable)
        walk.Adopt(Evidence::BackupsOnly);
    else if (journal.condition() == InstallJournal::Condition::Missing &&
             OwnRecordsPresent(host, state.identity))
        walk.Adopt(Evidence::EarlierBuild);

    bool firstLine = true;
    for (const MissionEntry& entry : state.mission) {
        walk.Entry(entry, firstLine);
        firstLine = false;
    }
    // Success would now be reported and the records and the executable
    // deleted, leaving no way to bring the saved file back.
    if (!walk.NotRestored().empty())
        throw HostError(message::GameFileNotRestored(walk.NotRestored().front()),
                        {u"MoveFileW (backup back to its name)", walk.NotRestored().front(), 0});

    RemoveRecords(host, state.identity.displayName, ReportMissingEntry);
    // Only now: a journal gone while a record is left would make the next
    // uninstall adopt the restored game's files by the older rules.
    journal.Delete();

    host.Pause(1500);
    host.ShowMessageBox(message::kUninstallDone, message::kClosingCaption, kIconExclamation);
    StartSelfRemoval(host, window);
    // The script waits for the program's file: nothing may keep the program
    // alive from here on.
    return AfterHandler::CloseWindow;
}

}  // namespace brunvald
