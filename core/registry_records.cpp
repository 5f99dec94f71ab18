#include "core/registry_records.h"

#include <cstdint>

#include "core/mission_files.h"
#include "core/mission_model.h"
#include "host/host_rules.h"

namespace brunvald {

namespace {

constexpr char16_t kUninstallListKey[] =
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

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
    if (!registry->KeyExists(kMakerKey)) return recorded;
    // A key we may not open with full access reads as one with empty values:
    // its marker is no marker, and no name is read.
    const auto key = registry->OpenKey(kMakerKey, false);
    const Text marker = key ? key->ReadText(u"CampMarker") : Text();
    if (marker != ownMarker) {
        recorded.otherMission = true;
        if (key) recorded.name = key->ReadText(u"CampName");
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
    const auto entry = registry->OpenKey(key, true);
    // Without the entry the list of installed programs offers no way back:
    // the run stops as it does for the maker key, with the first value's name.
    if (!entry)
        throw HostError(RegistryWriteErrorMessage(u"Publisher"), {u"RegCreateKeyExW", u"HKLM\\" + key, 0});
    entry->WriteText(u"Publisher", u"©Vantorel");
    entry->WriteText(u"DisplayName", identity.displayName);
    entry->WriteText(u"UninstallString", UninstallCommand(gameFolder));

    const auto dress = [](auto write) {
        try {
            write();
        } catch (const HostError&) {
            // The entry works without it; the list shows less.
        }
    };
    dress([&] { entry->WriteText(u"DisplayIcon", gameFolder + u"Data\\" + kInstallerFileName); });
    dress([&] { entry->WriteText(u"DisplayVersion", host.BuildVersionText()); });
    dress([&] { entry->WriteNumber(u"EstimatedSize", MissionSizeKb(host, mission)); });
    dress([&] { entry->WriteNumber(u"NoModify", 1); });
    dress([&] { entry->WriteNumber(u"NoRepair", 1); });
}

void WriteMakerRecord(HostOps& host, const MissionIdentity& identity) {
    const auto registry = host.StartRegistryAccess();
    const auto key = registry->OpenKey(kMakerKey, true);
    // A key that cannot be created fails the run as its first value would:
    // the player sees which value could not be stored, and nothing is written.
    if (!key)
        throw HostError(RegistryWriteErrorMessage(u"CampExists"),
                        {u"RegCreateKeyExW", Text(u"HKLM\\") + kMakerKey, 0});
    key->WriteText(u"CampExists", u"1");
    key->WriteText(u"CampMarker", identity.missionMarker);
    key->WriteText(u"CampName", identity.missionName);
    key->WriteText(u"CampBuild", host.BuildVersionText());
    key->WriteText(u"CampPicture", u"5.3.2.5");
    key->WriteText(u"CampVersion", u"1.0.1.0");
}

bool OwnRecordsPresent(HostOps& host, const MissionIdentity& identity) {
    const Text entryKey = UninstallEntryKey(identity.displayName);
    const auto registry = host.StartRegistryAccess();
    if (!entryKey.empty() && registry->KeyExists(entryKey)) return true;
    if (!registry->KeyExists(kMakerKey)) return false;
    // A maker key that does not open with full access shows no marker.
    const auto key = registry->OpenKey(kMakerKey, false);
    return key && key->ReadText(u"CampMarker") == identity.missionMarker;
}

Text RemoveRecords(HostOps& host, const Text& displayName, void (*onMissingEntry)(HostOps&)) {
    const Text entryKey = UninstallEntryKey(displayName);
    const auto registry = host.StartRegistryAccess();
    const bool entryPresent = !entryKey.empty() && registry->KeyExists(entryKey);
    if (!entryPresent) onMissingEntry(host);
    // Whether a key went is read from the registry itself: a deletion that
    // reports failure may have removed it all the same.
    if (registry->KeyExists(kMakerKey)) (void)registry->DeleteKeyTree(kMakerKey);
    if (registry->KeyExists(kMakerKey)) return kMakerKey;
    if (entryPresent) (void)registry->DeleteKeyTree(entryKey);
    if (entryPresent && registry->KeyExists(entryKey)) return entryKey;
    return {};
}

}  // namespace brunvald
