// The install journal: what the install changed in the game's folders, so
// that a rerun and the uninstall act on knowledge instead of guesses. The
// name of a file, or its bytes, tell nothing about who put it there: a
// mission may carry a file byte for byte equal to the game's own, and a
// second install finds the first one's files under the game's names.
//
// Write-ahead: before each change to the game (a folder made, a game file
// renamed to its backup name, a file written where the game had none) the
// install stores the record of that change, so a process killed at any
// moment leaves a journal that covers everything it did. The uninstall drops
// each record once the change is undone, so a retry or a rerun after a kill
// redoes only what is left; it deletes the journal after both registry
// records are gone.
//
// The journal, not the manifest, is the truth of the uninstall: it undoes
// every record, also those of lines that a later version of the mission no
// longer has.
//
// Where it lives: a file beside the installer's copy in the game's Data
// folder ("Brunvald-<marker>.journal"). Not in the registry, because the
// two records there keep their values as the platform's list and other
// missions of the maker read them; and the file can be replaced in one
// step (written aside, renamed over the old one), which a kill cannot tear.
// It lives and goes with the game's folder it describes, and the uninstall
// entry points into the same folder.
//
// Power cuts: a store that adds, changes or drops the record of a saved game
// file is flushed to the medium before the change it announces, so the
// journal on the disk names every game file that waits under its backup
// name. The other records are stored the same way but not flushed: a flush
// waits until the file system has written what came before it, on some the
// whole file just written, and a power cut that loses one of them loses no
// game file (a folder or a mission file is left behind at worst, as when the
// cut loses the mission file's own bytes). Should the cut leave the journal
// unreadable, the backups on the disk are adopted as below.
//
// A journal that is missing or cannot be read never leads to deleting a file
// whose owner is unknown: without a journal, a mission that the registry
// records as installed (by a build that kept no journal) is adopted by the
// older rules; with no record either, nothing is the mission's. The install
// stores its journal before it writes the registry records, so records
// without a journal are never this build's. An unreadable journal is adopted
// from the backups alone by the uninstall, and refuses the install.
#pragma once

#include <vector>

#include "core/program_state.h"

namespace brunvald {

enum class JournalMark : char16_t {
    FolderMade = u'F',  // the campaign folder did not exist: it goes when empty
    Writing = u'w',     // a file where the game had none, being written
    Written = u'W',     // that file, complete
    Saved = u'S',       // the game's file went to `backup` first
};

// In memory every path is whole (the current game folder joined with what
// the file holds); see EncodeJournal for the stored form.
struct JournalRecord {
    JournalMark mark = JournalMark::Written;
    Text path;      // the folder or file, as the runs build it
    Text backup;    // Saved: the backup's path
    Text resource;  // Writing, Written, Saved: the resource written at path
    // Written: the file's stamp right after the write, so that the uninstall
    // knows the file unchanged also when this installer no longer carries
    // the resource to compare it with (a later version of the mission,
    // installed over the first); zero where it is not known (a record
    // adopted, or stored by the first form).
    FileStamp stamp;

    bool operator==(const JournalRecord&) const = default;
};

// What a journal file holds.
struct JournalContent {
    Text missionName;  // empty in a journal of the first form
    std::vector<JournalRecord> records;
};

// The stored form: UTF-16LE text, a header line, a line with the mission's
// name, one line per record with length-prefixed fields (mark, path, backup,
// resource, and the stamp as "size-time" in hexadecimal or empty), and an end line
// with the number of records. Paths under gameFolder are stored relative to
// it, so the journal stays true when the player moves the game's folder, or
// when App Paths names it in another spelling (a short 8.3 name, another
// letter case): the journal lives in the game's Data folder and moves with
// it. Any deviation, a cut included, makes the whole unreadable.
//
// Decoding joins relative paths to gameFolder. The first form of the journal
// (no name line, every path whole) is read as well, and its paths become
// relative at the next store; one with a path outside the current game
// folder (the game has moved since) is refused like a cut one, so that the
// uninstall rebuilds it from the backups the game holds.
std::vector<std::uint8_t> EncodeJournal(const JournalContent& content, const Text& gameFolder);
bool DecodeJournal(Bytes bytes, const Text& gameFolder, JournalContent& content);

// dataFolder + "Brunvald-" + missionMarker + ".journal".
Text JournalPath(const InstallPaths& paths, const MissionIdentity& identity);

// The journals in the game's Data folder, by the file name of each.
inline constexpr char16_t kJournalPattern[] = u"Brunvald-*.journal";

class InstallJournal {
public:
    enum class Condition { Missing, Valid, Unreadable };

    // Reads the journal of this mission in this game.
    InstallJournal(HostOps& host, const InstallPaths& paths, const MissionIdentity& identity);
    // Reads the journal at path, for a game in gameFolder (another mission's
    // journal, read at start-up); its stores keep the name it holds.
    InstallJournal(HostOps& host, Text path, Text gameFolder, Text missionName = {});

    Condition condition() const noexcept { return condition_; }
    const Text& path() const noexcept { return path_; }
    const Text& missionName() const noexcept { return content_.missionName; }
    const std::vector<JournalRecord>& records() const noexcept { return content_.records; }
    // The record of a path (compared as Windows compares names); null if none.
    const JournalRecord* Find(const Text& path) const;

    // Stores the journal as it is, empty where there was none, so that it
    // exists before anything else the install writes.
    void Start();
    // Adds the record, or replaces the one of its path, and stores the
    // journal before returning (flushed when either is a Saved record).
    // Raises the host's write error; the change it announces must then not
    // be made.
    void Note(const JournalRecord& record);
    // Drops the record of path (its change is undone) and stores (flushed
    // when it was a Saved record).
    void Forget(const Text& path);
    // Replaces everything by these records and stores, flushed (adopting a
    // mission).
    void Adopt(std::vector<JournalRecord> records);
    // Removes the journal and what an interrupted store left beside it.
    void Delete();

private:
    // savedGameFile: the store adds, changes or drops a Saved record, and is
    // flushed to the medium.
    void Store(bool savedGameFile);

    HostOps& host_;
    Text path_;
    Text gameFolder_;
    Condition condition_ = Condition::Missing;
    JournalContent content_;
};

// What the game's folders show of an install that kept no journal, or whose
// journal cannot be read; stored as the journal before the first change.
enum class AdoptionEvidence {
    // The registry records the mission, but a build that kept no journal
    // installed it: a file whose backup is present, or that holds exactly
    // the mission's bytes, is the mission's, and so is its campaign folder.
    EarlierBuild,
    // The journal is unreadable: only files whose backup is present.
    BackupsOnly,
};
void AdoptFromTheGame(InstallJournal& journal, HostOps& host, const MissionModel& mission,
                      const MissionIdentity& identity, AdoptionEvidence evidence);

}  // namespace brunvald
