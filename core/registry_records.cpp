#include "core/registry_records.h"

#include <cstdint>

#include "core/mission_files.h"
#include "core/mission_model.h"

namespace brunvald {

namespace {

constexpr char16_t kUninstallListKey[] =
    u"\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

}  // namespace

Text UninstallEntryKey(const Text& displayName) {
    if (displayName.empty()) return {};
    return kUninstallListKey + displayName;
}

Text UninstallCommand(const Text& gameFolder) {
    return u"\"" + gameFolder + u"Data\\BrunVald.EXE\" UNINSTALL";
}

RecordedMission ReadRecordedMission(HostOps& host, const Text& ownMarker) {
    RecordedMission recorded;
    const auto registry = host.StartRegistryAccess();
    if (!registry->RegistryKeyExists(kMakerKey)) return recorded;
    // A key we may not open with full access reads as one with empty values.
    const bool opened = registry->OpenRegistryKey(kMakerKey, false);
    const Text marker = opened ? registry->ReadRegistryText(u"CampMarker") : Text();
    if (marker != ownMarker) {
        recorded.otherMission = true;
        if (opened) recorded.name = registry->ReadRegistryText(u"CampName");
    }
    return recorded;
}

std::uint32_t MissionSizeKb(HostOps& host, const MissionModel& mission) {
    std::uint64_t bytes = 0;
    for (const MissionEntry& entry : mission)
        if (!TargetPath(entry).empty()) bytes += host.LoadResourceData(u"RT_RCDATA", entry.resourceName).size();
    const std::uint64_t kb = (bytes + 1023) / 1024;
    return kb > UINT32_MAX ? UINT32_MAX : static_cast<std::uint32_t>(kb);
}

void WriteUninstallRecord(HostOps& host, const MissionIdentity& identity, const Text& gameFolder,
                          const MissionModel& mission) {
    const Text key = UninstallEntryKey(identity.displayName);
    if (key.empty()) return;
    const auto registry = host.StartRegistryAccess();
    if (!registry->OpenRegistryKey(key, true)) return;
    registry->WriteRegistryText(u"Publisher", u"©Vantorel");
    registry->WriteRegistryText(u"DisplayName", identity.displayName);
    registry->WriteRegistryText(u"UninstallString", UninstallCommand(gameFolder));

    const auto dress = [](auto write) {
        try {
            write();
        } catch (const HostError&) {
            // The entry works without it; the list shows less.
        }
    };
    dress([&] { registry->WriteRegistryText(u"DisplayIcon", gameFolder + u"Data\\" + kInstallerFileName); });
    dress([&] { registry->WriteRegistryText(u"DisplayVersion", host.BuildVersionText()); });
    dress([&] { registry->WriteRegistryNumber(u"EstimatedSize", MissionSizeKb(host, mission)); });
    dress([&] { registry->WriteRegistryNumber(u"NoModify", 1); });
    dress([&] { registry->WriteRegistryNumber(u"NoRepair", 1); });
    registry->CloseRegistryKey();
}

void WriteMakerRecord(HostOps& host, const MissionIdentity& identity) {
    const auto registry = host.StartRegistryAccess();
    // A failed creation is not reported here: it shows up as the write error
    // of the first value, which names what could not be stored.
    (void)registry->OpenRegistryKey(kMakerKey, true);
    registry->WriteRegistryText(u"CampExists", u"1");
    registry->WriteRegistryText(u"CampMarker", identity.missionMarker);
    registry->WriteRegistryText(u"CampName", identity.missionName);
    registry->WriteRegistryText(u"CampBuild", host.BuildVersionText());
    registry->WriteRegistryText(u"CampPicture", u"5.3.2.5");
    registry->WriteRegistryText(u"CampVersion", u"1.0.1.0");
    registry->CloseRegistryKey();
}

bool OwnRecordsPresent(HostOps& host, const MissionIdentity& identity) {
    const Text entryKey = UninstallEntryKey(identity.displayName);
    const auto registry = host.StartRegistryAccess();
    if (!entryKey.empty() && registry->RegistryKeyExists(entryKey)) return true;
    if (!registry->RegistryKeyExists(kMakerKey)) return false;
    return registry->OpenRegistryKey(kMakerKey, false) &&
           registry->ReadRegistryText(u"CampMarker") == identity.missionMarker;
}

void RemoveRecords(HostOps& host, const Text& displayName, void (*onMissingEntry)(HostOps&)) {
    const Text entryKey = UninstallEntryKey(displayName);
    const auto registry = host.StartRegistryAccess();
    const bool entryPresent = !entryKey.empty() && registry->RegistryKeyExists(entryKey);
    if (!entryPresent) onMissingEntry(host);
    // A key that will not go is not reported: the player has no remedy, and
    // the run has already put the game's files back. A left entry keeps the
    // uninstall reachable from the list of programs.
    if (registry->RegistryKeyExists(kMakerKey)) (void)registry->DeleteRegistryKey(kMakerKey);
    if (entryPresent) (void)registry->DeleteRegistryKey(entryKey);
}

}  // namespace brunvald
