// The registry records: keys, the procedures over RegistryAccess and the
// refusal to touch the key of the whole list of installed programs.
#include "core/registry_records.h"

#include <gtest/gtest.h>

#include "core/game_folders.h"
#include "tests/native/core/fake_host.h"

namespace brunvald {
namespace {

using testing::FakeHost;
using testing::Utf8;
using testing::ValueType;

constexpr char16_t kUninstallList[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr char16_t kEntry[] =
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vantorel Mission : Aurelmark";

MissionIdentity Aurelmark() {
    MissionIdentity identity;
    identity.missionName = u"Aurelmark";
    identity.missionMarker = u"ARMK";
    identity.displayName = u"Vantorel Mission : Aurelmark";
    identity.titleText = u"Vantorel Mission\r\nAurelmark";
    identity.hasCampPak = true;
    return identity;
}

TEST(RegistryRecords, KeysAndCommand) {
    EXPECT_EQ(Text(kAppPathsKey),
              u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Emperor.exe");
    EXPECT_EQ(Text(kMakerKey), u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Vantorel");
    EXPECT_EQ(UninstallEntryKey(u"Vantorel Mission : Aurelmark"), kEntry);
    EXPECT_EQ(UninstallEntryKey(u""), u"");
    EXPECT_EQ(UninstallCommand(u"C:\\Spiele\\Der erste Kaiser\\"),
              u"\"C:\\Spiele\\Der erste Kaiser\\Data\\BrunVald.EXE\" UNINSTALL");
}

// Three files carried, two of them placed: 1500 + 1000 bytes, 3 KB rounded up.
MissionModel TwoPlacedFiles(FakeHost& host) {
    host.AddResource(u"MAPS_01", std::string(1500, 'm'));
    host.AddResource(u"CAMPINI", std::string(5000, 'i'));
    host.AddResource(u"CAMPPAK", std::string(1000, 'p'));
    return {{EntryKind::Maps, u"Maps_01", u"City.map", u"C:\\G\\Cities\\"},
            {EntryKind::Other, u"CampInI", u"ARMK.ini", u""},
            {EntryKind::CampPak, u"CampPak", u"Aurelmark.pak", u"C:\\G\\Campaigns\\"}};
}

TEST(RegistryRecords, WritesBothRecordsInOrder) {
    FakeHost host;
    const MissionModel mission = TwoPlacedFiles(host);
    WriteUninstallRecord(host, Aurelmark(), u"C:\\Spiele Ä\\Kaiser\\", mission);
    WriteMakerRecord(host, Aurelmark());
    EXPECT_EQ(host.ValuesOf(kEntry),
              (std::vector<std::string>{
                  "Publisher=©Vantorel", "DisplayName=Vantorel Mission : Aurelmark",
                  "UninstallString=\"C:\\Spiele Ä\\Kaiser\\Data\\BrunVald.EXE\" UNINSTALL",
                  "DisplayIcon=C:\\Spiele Ä\\Kaiser\\Data\\Brunvald.exe", "DisplayVersion=1.2.6593.38686",
                  "EstimatedSize=3", "NoModify=1", "NoRepair=1"}));
    for (const char16_t* name : {u"Publisher", u"DisplayName", u"UninstallString", u"DisplayIcon", u"DisplayVersion"})
        EXPECT_EQ(host.Value(kEntry, name)->type, ValueType::Sz) << Utf8(name);
    for (const char16_t* name : {u"EstimatedSize", u"NoModify", u"NoRepair"})
        EXPECT_EQ(host.Value(kEntry, name)->type, ValueType::Dword) << Utf8(name);
    EXPECT_EQ(host.ValuesOf(kMakerKey),
              (std::vector<std::string>{"CampExists=1", "CampMarker=ARMK", "CampName=Aurelmark",
                                        "CampBuild=1.2.6593.38686", "CampPicture=5.3.2.5",
                                        "CampVersion=1.0.1.0"}));
    EXPECT_EQ(host.Value(kMakerKey, u"CampBuild")->type, ValueType::Sz);
    EXPECT_EQ(host.registryAccessesStarted, 2);
    EXPECT_EQ(host.registryAccessesLive, 0);
    EXPECT_EQ(host.registryKeysOpen, 0);
}

TEST(RegistryRecords, MissionSizeCountsThePlacedFilesInWholeKb) {
    FakeHost host;
    EXPECT_EQ(MissionSizeKb(host, {}), 0u);
    MissionModel mission = TwoPlacedFiles(host);
    EXPECT_EQ(MissionSizeKb(host, mission), 3u);
    host.AddResource(u"MAPS_01", std::string(1024, 'm'));
    EXPECT_EQ(MissionSizeKb(host, mission), 2u);  // 2024 bytes
    mission.pop_back();
    EXPECT_EQ(MissionSizeKb(host, mission), 1u);  // exactly 1024
}

// The list shows less, but the install that wrote the three values goes on:
// each extra value that fails is left out, the others are still written.
TEST(RegistryRecords, AnExtraValueThatFailsIsLeftOut) {
    struct Case {
        const char* name;
        void (*fault)(FakeHost&);
        std::vector<std::string> extras;
    };
    const Case cases[] = {
        {"DisplayIcon not writable", [](FakeHost& h) { h.failingValueWrites.insert(u"DisplayIcon"); },
         {"DisplayVersion=1.2.6593.38686", "EstimatedSize=3", "NoModify=1", "NoRepair=1"}},
        {"no version text", [](FakeHost& h) { h.versionFails = true; },
         {"DisplayIcon=C:\\G\\Data\\Brunvald.exe", "EstimatedSize=3", "NoModify=1", "NoRepair=1"}},
        {"a placed file's resource missing", [](FakeHost& h) { h.RemoveResource(u"CAMPPAK"); },
         {"DisplayIcon=C:\\G\\Data\\Brunvald.exe", "DisplayVersion=1.2.6593.38686", "NoModify=1", "NoRepair=1"}},
        {"NoModify not writable", [](FakeHost& h) { h.failingValueWrites.insert(u"NoModify"); },
         {"DisplayIcon=C:\\G\\Data\\Brunvald.exe", "DisplayVersion=1.2.6593.38686", "EstimatedSize=3", "NoRepair=1"}},
        {"every extra value fails",
         [](FakeHost& h) {
             for (const char16_t* n : {u"DisplayIcon", u"DisplayVersion", u"EstimatedSize", u"NoModify", u"NoRepair"})
                 h.failingValueWrites.insert(n);
         },
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeHost host;
        const MissionModel mission = TwoPlacedFiles(host);
        c.fault(host);
        EXPECT_NO_THROW(WriteUninstallRecord(host, Aurelmark(), u"C:\\G\\", mission));
        std::vector<std::string> expected = {"Publisher=©Vantorel", "DisplayName=Vantorel Mission : Aurelmark",
                                             "UninstallString=\"C:\\G\\Data\\BrunVald.EXE\" UNINSTALL"};
        expected.insert(expected.end(), c.extras.begin(), c.extras.end());
        EXPECT_EQ(host.ValuesOf(kEntry), expected);
        EXPECT_EQ(host.registryAccessesLive, 0);
        EXPECT_EQ(host.registryKeysOpen, 0);
    }
}

// A failure among the three values is the install's failure, as before.
TEST(RegistryRecords, AFailingFirstThreeValueStillRaises) {
    FakeHost host;
    host.failingValueWrites.insert(u"UninstallString");
    EXPECT_THROW(WriteUninstallRecord(host, Aurelmark(), u"C:\\G\\", TwoPlacedFiles(host)), HostError);
    EXPECT_EQ(host.ValuesOf(kEntry),
              (std::vector<std::string>{"Publisher=©Vantorel", "DisplayName=Vantorel Mission : Aurelmark"}));
}

TEST(RegistryRecords, SecondWriteReplacesValuesFromTheRunningInstaller) {
    FakeHost host;
    host.SetValue(kMakerKey, u"CampBuild", u"1.0.0.0");
    host.SetValue(kMakerKey, u"CampMarker", u"OLD", ValueType::ExpandSz);
    WriteMakerRecord(host, Aurelmark());
    EXPECT_EQ(host.Value(kMakerKey, u"CampBuild")->text, u"1.2.6593.38686");
    EXPECT_EQ(host.Value(kMakerKey, u"CampMarker")->text, u"ARMK");
    EXPECT_EQ(host.Value(kMakerKey, u"CampMarker")->type, ValueType::Sz);
}

TEST(RegistryRecords, FailingVersionLeavesTheFirstThreeMakerValues) {
    FakeHost host;
    host.versionFails = true;
    EXPECT_THROW(WriteMakerRecord(host, Aurelmark()), HostError);
    EXPECT_EQ(host.ValuesOf(kMakerKey),
              (std::vector<std::string>{"CampExists=1", "CampMarker=ARMK", "CampName=Aurelmark"}));
    EXPECT_EQ(host.registryAccessesLive, 0);
    EXPECT_EQ(host.registryKeysOpen, 0);
}

// Neither record passes in silence when its key cannot be opened: without
// the uninstall entry the list of programs would offer no way back, without
// the maker key another mission would not be refused. Each raises the write
// error of its first value and writes nothing.
TEST(RegistryRecords, KeyThatCannotBeOpenedRaisesOnTheFirstValue) {
    struct Case {
        const char* name;
        Text key;
        void (*write)(FakeHost&);
        Text error;
    };
    const Case cases[] = {
        {"maker key", kMakerKey, [](FakeHost& host) { WriteMakerRecord(host, Aurelmark()); },
         u"Fehler beim Setzen der Daten für 'CampExists'"},
        {"uninstall entry", kEntry,
         [](FakeHost& host) { WriteUninstallRecord(host, Aurelmark(), u"C:\\G\\", MissionModel{}); },
         u"Fehler beim Setzen der Daten für 'Publisher'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeHost host;
        host.DenyFullAccess(c.key);
        try {
            c.write(host);
            ADD_FAILURE() << "no error";
        } catch (const HostError& error) {
            EXPECT_EQ(error.message(), c.error);
        }
        EXPECT_TRUE(host.ValuesOf(c.key).empty());
    }
}

// Without a CampPak line displayName is empty, and the entry's path would be
// the list of all installed programs.
TEST(RegistryRecords, EmptyDisplayNameNeverTouchesTheWholeList) {
    FakeHost host;
    host.SetValue(kUninstallList, u"Keep", u"me");
    host.SetValue(Text(kUninstallList) + u"\\Other Program", u"DisplayName", u"Other");
    host.SetValue(kMakerKey, u"CampMarker", u"");
    MissionIdentity identity;  // no CampPak, no CampInI

    WriteUninstallRecord(host, identity, u"C:\\G\\", MissionModel{});
    int missing = 0;
    static int* counter;
    counter = &missing;
    EXPECT_EQ(RemoveRecords(host, identity.displayName, [](HostOps&) { ++*counter; }), u"");

    EXPECT_EQ(missing, 1);  // reported as a missing entry
    EXPECT_EQ(host.ValuesOf(kUninstallList), (std::vector<std::string>{"Keep=me"}));
    EXPECT_TRUE(host.HasKey(Text(kUninstallList) + u"\\Other Program"));
    EXPECT_FALSE(host.HasKey(kMakerKey));  // the maker key still goes
}

// A key that will not go is named, and whether it went is read from the
// registry: a maker key left keeps the entry too, so that the uninstall can
// be run again from the list.
TEST(RegistryRecords, RemoveRecordsNamesAKeyThatStays) {
    for (const Text& stuck : {Text(kMakerKey), Text(kEntry)}) {
        SCOPED_TRACE(Utf8(stuck));
        FakeHost host;
        WriteUninstallRecord(host, Aurelmark(), u"C:\\G\\", MissionModel{});
        WriteMakerRecord(host, Aurelmark());
        host.DenyFullAccess(stuck);
        EXPECT_EQ(RemoveRecords(host, Aurelmark().displayName, [](HostOps&) {}), stuck);
        EXPECT_TRUE(host.HasKey(kEntry));
        EXPECT_EQ(host.HasKey(kMakerKey), stuck == kMakerKey);
    }
}

TEST(RegistryRecords, RemoveRecords) {
    struct Case {
        const char* name;
        bool entry, maker;
        int missingReports;
    };
    const Case cases[] = {
        {"both present", true, true, 0},
        {"entry removed by hand", false, true, 1},
        {"maker key missing", true, false, 0},
        {"nothing recorded", false, false, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeHost host;
        if (c.entry) WriteUninstallRecord(host, Aurelmark(), u"C:\\G\\", MissionModel{});
        if (c.maker) WriteMakerRecord(host, Aurelmark());
        host.log.clear();
        host.registryAccessesStarted = 0;
        static FakeHost* current;
        current = &host;
        // The report comes while the maker key is still there.
        EXPECT_EQ(RemoveRecords(host, Aurelmark().displayName, [](HostOps&) {
                      current->log.push_back(current->HasKey(kMakerKey) ? "report (maker present)"
                                                                        : "report (maker gone)");
                  }),
                  u"");
        EXPECT_FALSE(host.HasKey(kEntry));
        EXPECT_FALSE(host.HasKey(kMakerKey));
        EXPECT_TRUE(host.HasKey(kUninstallList) || !c.entry);
        // The maker key goes before the entry: ended between the two, the
        // entry is left to run the uninstall again, and no maker key names
        // this mission to the maker's other missions.
        std::vector<std::string> expected;
        if (c.missingReports)
            expected.push_back(c.maker ? "report (maker present)" : "report (maker gone)");
        if (c.maker) expected.push_back("RegDelete " + testing::Utf8(kMakerKey));
        if (!c.missingReports) expected.push_back("RegDelete " + testing::Utf8(kEntry));
        EXPECT_EQ(host.log, expected);
        EXPECT_EQ(host.registryAccessesStarted, 1);
        EXPECT_EQ(host.registryAccessesLive, 0);
        EXPECT_EQ(host.registryKeysOpen, 0);
    }
}

TEST(RegistryRecords, RecordedMission) {
    struct Case {
        const char* name;
        bool key;
        const char16_t* marker;  // null: no value
        const char16_t* recordedName;
        bool denied;
        bool other;
        Text shownName;
    };
    const Case cases[] = {
        {"no maker key", false, nullptr, nullptr, false, false, u""},
        {"same marker", true, u"ARMK", u"Aurelmark", false, false, u""},
        {"other marker", true, u"NRDH", u"Nordhafen", false, true, u"Nordhafen"},
        {"marker differs in case", true, u"armk", u"Aurelmark", false, true, u"Aurelmark"},
        {"no marker value", true, nullptr, nullptr, false, true, u""},
        {"key without full access", true, u"ARMK", u"Aurelmark", true, true, u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeHost host;
        if (c.key) host.AddKey(kMakerKey);
        if (c.marker) host.SetValue(kMakerKey, u"CampMarker", c.marker);
        if (c.recordedName) host.SetValue(kMakerKey, u"CampName", c.recordedName);
        if (c.denied) host.DenyFullAccess(kMakerKey);
        const RecordedMission recorded = ReadRecordedMission(host, u"ARMK");
        EXPECT_EQ(recorded.otherMission, c.other);
        EXPECT_EQ(recorded.name, c.shownName);
        EXPECT_EQ(host.registryAccessesLive, 0);
        EXPECT_EQ(host.registryKeysOpen, 0);
    }
    // An empty own marker passes a key without a marker value.
    FakeHost host;
    host.AddKey(kMakerKey);
    EXPECT_FALSE(ReadRecordedMission(host, u"").otherMission);
}

TEST(GameFolders, LocateGameFolder) {
    struct Case {
        const char* name;
        bool key;
        const char16_t* path;  // null: no value
        ValueType type;
        bool denied;
        Text folder;
    };
    const Case cases[] = {
        {"without final separator", true, u"C:\\Spiele\\Kaiser", ValueType::Sz, false,
         u"C:\\Spiele\\Kaiser\\"},
        {"with final separator", true, u"C:\\Spiele\\Kaiser\\", ValueType::Sz, false,
         u"C:\\Spiele\\Kaiser\\"},
        {"expandable text taken as stored", true, u"%ProgramFiles%\\Kaiser", ValueType::ExpandSz,
         false, u"%ProgramFiles%\\Kaiser\\"},
        {"empty value", true, u"", ValueType::Sz, false, u""},
        {"missing value", true, nullptr, ValueType::Sz, false, u""},
        {"missing key", false, nullptr, ValueType::Sz, false, u""},
        {"key without full access", true, u"C:\\Kaiser", ValueType::Sz, true, u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeHost host;
        if (c.key) host.AddKey(kAppPathsKey);
        if (c.path) host.SetValue(kAppPathsKey, u"Path", c.path, c.type);
        if (c.denied) host.DenyFullAccess(kAppPathsKey);
        EXPECT_EQ(LocateGameFolder(host), c.folder);
        EXPECT_EQ(host.registryAccessesLive, 0);
        EXPECT_EQ(host.registryKeysOpen, 0);
    }
}

TEST(GameFolders, NumberValueRaisesTheTypeError) {
    FakeHost host;
    host.SetValue(kAppPathsKey, u"Path", u"1", ValueType::Dword);
    try {
        LocateGameFolder(host);
        FAIL() << "no error";
    } catch (const HostError& error) {
        EXPECT_EQ(error.message(), u"Ungültiger Datentyp für 'Path'");
    }
    EXPECT_EQ(host.registryAccessesLive, 0);
    EXPECT_EQ(host.registryKeysOpen, 0);
}

TEST(GameFolders, InstallPaths) {
    const InstallPaths paths = FormInstallPaths(u"C:\\Spiele\\Kaiser\\");
    EXPECT_EQ(paths.gameFolder, u"C:\\Spiele\\Kaiser\\");
    EXPECT_EQ(paths.dataFolder, u"C:\\Spiele\\Kaiser\\Data\\");
    EXPECT_EQ(paths.citiesFolder, u"C:\\Spiele\\Kaiser\\Cities\\");
    EXPECT_EQ(paths.modelFolder, u"C:\\Spiele\\Kaiser\\Model\\");
    EXPECT_EQ(paths.campaignsFolder, u"C:\\Spiele\\Kaiser\\Campaigns\\");
}

}  // namespace
}  // namespace brunvald
