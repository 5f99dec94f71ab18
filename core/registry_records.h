// The three registry records under HKEY_LOCAL_MACHINE and the procedures over
// RegistryAccess that read, write and remove them. Each procedure starts its
// own access and ends it when done.
#pragma once

#include "core/program_state.h"
#include "host/host_ops.h"

namespace brunvald {

// The game's own key; read only.
inline constexpr char16_t kAppPathsKey[] =
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Emperor.exe";
// One key for all missions of the maker: which one is installed.
inline constexpr char16_t kMakerKey[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Vantorel";

// The entry in the platform's list of installed programs. Empty for an empty
// displayName: that path would be the key of the whole list, and every
// procedure below refuses to touch it.
Text UninstallEntryKey(const Text& displayName);

// The command the list runs: the copy in the game's Data folder, quoted so
// that a game folder with blanks still hands over "UNINSTALL" as the first
// argument.
Text UninstallCommand(const Text& gameFolder);

// What start-up learns from the maker key.
struct RecordedMission {
    bool otherMission = false;  // the key records a marker other than ours
    Text name;                  // its "CampName", read only in that case
};

// Reads "CampMarker" of the maker key, if the key exists, and compares it with
// ownMarker unit by unit. A missing value, or a key that exists but cannot be
// opened with full access, reads as empty text. Raises the read errors of
// RegistryKey::ReadText.
RecordedMission ReadRecordedMission(HostOps& host, const Text& ownMarker);

// "Publisher", "DisplayName", "UninstallString". A key that cannot be
// created raises the write error of "Publisher"; an empty displayName writes
// nothing. Then what the list of installed programs shows for other programs:
// "DisplayIcon" (the copy in Data), "DisplayVersion" (the build version
// text), "EstimatedSize" (the files the mission places, in KB, a DWORD),
// "NoModify" and "NoRepair" (1, DWORDs). These only dress the entry: one that
// cannot be written or worked out is left out, and the install goes on.
void WriteUninstallRecord(HostOps& host, const MissionIdentity& identity, const Text& gameFolder,
                          const MissionModel& mission);

// The bytes of the files the mission places, rounded up to whole KB. Raises
// the resource error of a missing resource.
std::uint32_t MissionSizeKb(HostOps& host, const MissionModel& mission);

// The six values of the maker key in their order. "CampBuild" is asked of the
// host just before it is written, so a failing version read leaves the first
// three values written.
void WriteMakerRecord(HostOps& host, const MissionIdentity& identity);

// Whether the registry records this mission as installed: its uninstall
// entry exists, or the maker key's "CampMarker" is its marker.
bool OwnRecordsPresent(HostOps& host, const MissionIdentity& identity);

// Deletes the maker key and then the uninstall entry, with one access. When
// the entry is missing (or displayName is empty), onMissingEntry runs first,
// while the maker key is still in place. The maker key goes first: a process
// ended between the two deletions leaves the entry, through which the
// uninstall can still be run, and no maker key naming this mission, which
// would make every other mission of the maker refuse to install. Returns the
// path of a key that is still there afterwards (the maker key when it would
// not go, which leaves the entry alone), or empty text when both are gone.
[[nodiscard]] Text RemoveRecords(HostOps& host, const Text& displayName, void (*onMissingEntry)(HostOps&));

}  // namespace brunvald
