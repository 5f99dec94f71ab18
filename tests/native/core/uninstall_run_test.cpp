// The uninstall run: rows and their order, the tree-image cases, the records
// and the closing steps, and the mended faults: only the mission's own files
// are removed, every backup comes back on its own, and the folder of all
// campaigns is never deleted.
#include <gtest/gtest.h>

#include "core/handlers.h"
#include "core/messages.h"
#include "host/host_rules.h"
#include "tests/native/core/scene.h"

namespace brunvald {
namespace {

using namespace testing;

std::string G(const char16_t* relative) { return Utf8(InGame(relative)); }

// Each undone change leaves the journal as soon as it is undone; a saved file
// replaces the mission's in one step, and the campaign folder goes last, once
// the mission's files in it are gone. The journal itself goes after both
// records, the maker key before the uninstall entry, and the self-removal
// script is written before success is reported.
TEST(UninstallRun, ActsRowByRowWithTheTreeImagesOnTheFirstLine) {
    Machine machine;
    ASSERT_EQ(machine.Install(), "ended");
    machine.host.log.clear();
    machine.host.pauses.clear();
    machine.host.messageBoxes.clear();
    ASSERT_EQ(machine.Uninstall(), "ended");
    // A game file put back drops its Saved record with a flush; the
    // mission's own files and folder drop theirs without.
    const std::string J = "Journal " + G(u"Data\\Brunvald-ARMK.journal");
    const std::string JF = J + " [flushed]";
    const std::vector<std::string> expected = {
        "RenameOver " + G(u"Model\\ARMK-ResetTreeImage.Index") + " -> " + G(u"Model\\ResetTreeImage.Index"), JF,
        "RenameOver " + G(u"Model\\ARMK-TreeImage.Index") + " -> " + G(u"Model\\TreeImage.Index"), JF,
        "RenameOver " + G(u"Data\\ARMK-China_FE_MainMenu.jpg") + " -> " + G(u"Data\\China_FE_MainMenu.jpg"), JF,
        "RenameOver " + G(u"Data\\ARMK-China_MapOfChina01.jpg") + " -> " + G(u"Data\\China_MapOfChina01.jpg"), JF,
        "Remove " + G(u"Cities\\ChengduAmk.map"), J,
        "Remove " + G(u"Cities\\HangzhouAmk.map"), J,
        "Remove " + G(u"Campaigns\\Aurelmark.pak"), J,
        "Remove " + G(u"Campaigns\\Aurelmark.\\Aurelmark.set"), J,
        "Remove " + G(u"Campaigns\\Aurelmark.\\AurelmarkP.map"), J,
        "RenameOver " + G(u"Model\\ARMK-EmperorBuildingModels.txt") + " -> " + G(u"Model\\EmperorBuildingModels.txt"), JF,
        "RenameOver " + G(u"ARMK-EmperorText.eng") + " -> " + G(u"EmperorText.eng"), JF,
        "RemoveFolder " + G(u"Campaigns\\Aurelmark.\\"), J,  // once empty
        "RegDelete " + Utf8(kMaker),
        "RegDelete " + Utf8(kEntryKey),
        "Remove " + G(u"Data\\Brunvald-ARMK.journal"),
        "WriteScript " + G(u"Data\\des.bat"),
        "MessageBox Abschlussmeldung: Deinstallation erfolgreich beendet!",
        "OpenHidden " + G(u"Data\\des.bat"),
        kWindowClosed,
    };
    EXPECT_EQ(machine.host.log, expected);
    EXPECT_EQ(machine.host.pauses, std::vector<unsigned>{1500});
    EXPECT_EQ(machine.host.messageBoxes.back().flags, 48u);
    EXPECT_TRUE(machine.lastWindowClosed);
    EXPECT_EQ(machine.host.lastOwner, 0x1234u);
}

// Install and uninstall leave the game's folder as it was, byte for byte,
// whichever tree-image files the game had. With only TreeImage.Index the
// game used to lose it to its backup name; each backup now comes back alone.
TEST(UninstallRun, RoundTripRestoresTheGameFolder) {
    struct Case {
        const char* name;
        unsigned gameFiles;
    };
    const Case cases[] = {
        {"all game files", kAllGameFiles},
        {"no tree images", kAllGameFiles & ~(kTree | kResetTree)},
        {"only TreeImage.Index", kAllGameFiles & ~kResetTree},
        {"only ResetTreeImage.Index", kAllGameFiles & ~kTree},
        {"game lacks replaced files", kTree},
        {"none of the replaced files", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Machine machine(c.gameFiles);
        const std::vector<std::string> before = machine.GameListing();
        ASSERT_EQ(machine.Install(), "ended");
        ASSERT_NE(machine.GameListing(), before);
        ASSERT_EQ(machine.Uninstall(), "ended");
        EXPECT_EQ(machine.GameListing(), before);
        EXPECT_FALSE(machine.host.HasFolder(InGame(u"Campaigns\\Aurelmark")));
        EXPECT_TRUE(machine.host.HasFolder(InGame(u"Campaigns")));
        EXPECT_FALSE(machine.host.HasKey(kEntryKey));
        EXPECT_FALSE(machine.host.HasKey(kMaker));
    }
}

TEST(UninstallRun, SecondInstallThenUninstallRestoresTheGameFolder) {
    Machine machine;
    const std::vector<std::string> before = machine.GameListing();
    ASSERT_EQ(machine.Install(), "ended");
    ASSERT_EQ(machine.Run(kCopy, u""), "ended");  // the copy started without argument
    ASSERT_EQ(machine.Uninstall(), "ended");
    EXPECT_EQ(machine.GameListing(), before);
}

// Without the mission installed, every game file of a mission file's name
// is the game's own: nothing may be removed.
TEST(UninstallRun, NeverInstalledMissionTouchesNoGameFile) {
    Machine machine;
    machine.host.AddFile(InGame(u"Cities\\ChengduAmk.map"), "the player's own map");
    machine.host.AddFile(InGame(u"Campaigns\\Aurelmark.pak"), "another pak");
    const std::vector<std::string> before = machine.GameListing();
    ASSERT_EQ(machine.Uninstall(InGame(u"Data\\Brunvald.exe")), "ended");
    EXPECT_EQ(machine.GameListing(), before);
    for (const std::string& entry : machine.host.log)
        EXPECT_EQ(entry.rfind("Remove ", 0), std::string::npos) << entry;
    std::vector<Text> texts;
    for (const MessageBoxCall& box : machine.host.messageBoxes) texts.push_back(box.text);
    EXPECT_EQ(texts, (std::vector<Text>{
                         u"Die Mission wurde erfolgreich deinstalliert, nur der Registryeintrag "
                         u"konnte nichtentfernt werden. Sie können den Eintrag auch seperat löschen.",
                         u"Deinstallation erfolgreich beendet!"}));
    EXPECT_EQ(machine.host.messageBoxes[0].caption, u"Fehler");
    EXPECT_EQ(machine.host.messageBoxes[0].flags, 16u);
    EXPECT_EQ(machine.host.openedHidden, std::vector<Text>{InGame(u"Data\\des.bat")});
}

// An install that an error ended early, then an uninstall: the files the
// install wrote go, the broken one included (the journal says it is the
// mission's, though it holds only half of the mission's bytes), and the game's
// files it never reached stay.
TEST(UninstallRun, PartlyInstalledMissionKeepsTheGamesFiles) {
    Machine machine;
    machine.host.streamFailures.insert(FakeHost::Comparable(InGame(u"Campaigns\\Aurelmark.pak")));
    const std::vector<std::string> before = machine.GameListing();
    ASSERT_EQ(machine.Install(), "Stream-Schreibfehler");
    ASSERT_EQ(machine.host.FileBytes(InGame(u"Campaigns\\Aurelmark.pak")), "mission");
    ASSERT_EQ(machine.Uninstall(InGame(u"Data\\Brunvald.exe")), "ended");
    EXPECT_EQ(machine.GameListing(), before);
}

TEST(UninstallRun, FilesChangedByThePlayerStay) {
    Machine machine;
    ASSERT_EQ(machine.Install(), "ended");
    machine.host.AddFile(InGame(u"Cities\\ChengduAmk.map"), "edited by the player");
    ASSERT_EQ(machine.Uninstall(), "ended");
    EXPECT_EQ(machine.host.FileBytes(InGame(u"Cities\\ChengduAmk.map")), "edited by the player");
    EXPECT_FALSE(machine.host.HasFile(InGame(u"Cities\\HangzhouAmk.map")));
}

// Without a journal, the records alone say whether the mission was ever
// installed. Recorded, an earlier build that kept no journal installed it, and
// its rules apply: a tree-image file without backup goes when it holds the
// mission's bytes. Not recorded, nothing is the mission's: equal bytes are no
// sign of who put a file there.
TEST(UninstallRun, TreeImageFilesWithoutBackupGoOnlyWhenTheyAreTheMissions) {
    struct Case {
        const char* name;
        bool recorded;
        std::string tree, reset;  // contents in the model folder ("" = absent)
        bool treeStays, resetStays;
    };
    const Case cases[] = {
        {"the mission's files", true, "mission:CampTR1", "mission:CampTR2", false, false},
        {"the game's files", true, "game tree", "game reset", true, true},
        {"one of each", true, "mission:CampTR1", "game reset", false, true},
        // Swapped contents are not what the install wrote under those names.
        {"swapped", true, "mission:CampTR2", "mission:CampTR1", true, true},
        {"equal bytes, never installed", false, "mission:CampTR1", "mission:CampTR2", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Machine machine(0);
        machine.host.AddFile(InGame(u"Model\\TreeImage.Index"), c.tree);
        machine.host.AddFile(InGame(u"Model\\ResetTreeImage.Index"), c.reset);
        if (c.recorded) {
            machine.host.SetValue(kMaker, u"CampMarker", u"ARMK");
            machine.host.SetValue(kEntryKey, u"DisplayName", u"Vantorel Mission : Aurelmark");
        }
        ASSERT_EQ(machine.Uninstall(), "ended");
        EXPECT_EQ(machine.host.HasFile(InGame(u"Model\\TreeImage.Index")), c.treeStays);
        EXPECT_EQ(machine.host.HasFile(InGame(u"Model\\ResetTreeImage.Index")), c.resetStays);
        EXPECT_FALSE(machine.host.HasFile(InGame(u"Data\\Brunvald-ARMK.journal")));
    }
}

TEST(UninstallRun, EntryRemovedByHand) {
    Machine machine;
    ASSERT_EQ(machine.Install(), "ended");
    machine.host.keys.erase(FakeHost::Comparable(kEntryKey));
    ASSERT_FALSE(machine.host.HasKey(kEntryKey));
    machine.host.messageBoxes.clear();
    ASSERT_EQ(machine.Uninstall(), "ended");
    ASSERT_EQ(machine.host.messageBoxes.size(), 2u);
    EXPECT_EQ(machine.host.messageBoxes[0].caption, u"Fehler");
    EXPECT_FALSE(machine.host.HasKey(kMaker));
}

TEST(UninstallRun, EmptyManifestTouchesNoFile) {
    Machine machine(kAllGameFiles, {});
    machine.host.AddResource(u"RCRES", "");
    machine.host.AddFile(InGame(u"Model\\ARMK-TreeImage.Index"), "backup");
    const std::vector<std::string> before = machine.GameListing();
    ASSERT_EQ(machine.Uninstall(InGame(u"Data\\Brunvald.exe")), "ended");
    EXPECT_EQ(machine.GameListing(), before);
    EXPECT_EQ(machine.host.messageBoxes.back().text, u"Deinstallation erfolgreich beendet!");
    EXPECT_EQ(machine.host.scripts.size(), 1u);
}

// A set file name of three units or fewer would make the campaign folder the
// folder of all campaigns, one that climbs out names a folder above it, and
// one with a wildcard would have the shell delete every campaign it matches
// ("*.set" gives "Campaigns\*.\"): the deletion is skipped for each of them.
TEST(UninstallRun, NeverDeletesTheFolderOfAllCampaigns) {
    for (const char16_t* setName : {u"set", u"", u"..set", u".\\.set", u"..\\..set", u"*.set",
                                    u"Othe?.set", u"O*.set", u"Other<.set", u"Other>.set",
                                    u"Other|.set", u"Other\".set", u"Other\x1f.set"}) {
        SCOPED_TRACE(Utf8(setName));
        Machine machine(kAllGameFiles, {{u"CampSet", setName, u""}});
        machine.host.AddFile(InGame(u"Campaigns\\Other\\Other.set"), "another campaign");
        ASSERT_EQ(machine.Uninstall(InGame(u"Data\\Brunvald.exe")), "ended");
        EXPECT_TRUE(machine.host.HasFile(InGame(u"Campaigns\\Other\\Other.set")));
        for (const std::string& entry : machine.host.log)
            EXPECT_EQ(entry.rfind("DeleteTree", 0), std::string::npos) << entry;
    }
}

TEST(UninstallRun, StartedElsewhereRemovesTheRunningExecutable) {
    Machine machine;
    ASSERT_EQ(machine.Install(), "ended");
    ASSERT_EQ(machine.Uninstall(u"E:\\Sicherung\\Brunvald.exe"), "ended");
    EXPECT_EQ(machine.host.openedHidden, std::vector<Text>{u"E:\\Sicherung\\des.bat"});
    ASSERT_EQ(machine.host.scripts.size(), 1u);
    const std::vector<Text>& script = machine.host.scripts[0];
    EXPECT_NE(std::find(script.begin(), script.end(), u"del \"E:\\Sicherung\\Brunvald.exe\""), script.end());
    EXPECT_FALSE(machine.host.HasKey(kEntryKey));
}

TEST(UninstallRun, ScriptThatCannotBeWrittenEndsTheRunWithTheWindowOpen) {
    Machine machine;
    ASSERT_EQ(machine.Install(), "ended");
    machine.host.AddFile(InGame(u"Data\\des.bat"), "locked", true);
    AddInstaller(machine.host, kCopy, u"UNINSTALL");
    FakeWindow window;
    ProgramState state;
    ASSERT_TRUE(StartUp(machine.host, window, state));
    machine.host.SetReadOnly(InGame(u"Data\\des.bat"), true);  // after the reset
    EXPECT_EQ(RunToEnd(machine.host, window, [&] { return UninstallRun(machine.host, window, state); }),
              "Datei \"" + G(u"Data\\des.bat") + "\" kann nicht erstellt werden. Zugriff verweigert.");
    EXPECT_FALSE(window.closed);
    EXPECT_TRUE(machine.host.openedHidden.empty());
    EXPECT_FALSE(machine.host.HasKey(kEntryKey));
    EXPECT_FALSE(machine.host.HasKey(kMaker));
    EXPECT_EQ(machine.host.FileBytes(InGame(u"EmperorText.eng")), GameBytes(u"EmperorText.eng"));
}

}  // namespace
}  // namespace brunvald

namespace brunvald {
namespace {

using namespace testing;

// A mission file that cannot be replaced (held by another program; here
// read-only after start-up's reset) keeps its saved game file from coming
// back. The run must not then report success, delete the records and the
// executable: it names the file, and a second press finishes the job.
TEST(UninstallRun, GameFileThatCannotComeBackStopsBeforeTheRecords) {
    struct Case {
        const char* name;
        const char16_t* stuck;
    };
    const Case cases[] = {
        {"text file", u"EmperorText.eng"},
        {"tree image", u"Model\\TreeImage.Index"},
        {"picture", u"Data\\China_FE_MainMenu.jpg"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Machine machine;
        const std::vector<std::string> before = machine.GameListing();
        ASSERT_EQ(machine.Install(), "ended");
        AddInstaller(machine.host, kCopy, u"UNINSTALL");
        FakeWindow window;
        ProgramState state;
        ASSERT_TRUE(StartUp(machine.host, window, state));
        const Text stuck = InGame(c.stuck);
        machine.host.SetReadOnly(stuck, true);
        machine.host.messageBoxes.clear();

        EXPECT_EQ(RunToEnd(machine.host, window, [&] { return UninstallRun(machine.host, window, state); }),
                  "Die Datei \"" + Utf8(stuck) +
                      "\" des Spiels konnte nicht wiederhergestellt werden, da die Datei der Mission "
                      "an ihrer Stelle nicht entfernt werden kann. Bitte schließen Sie alle "
                      "Programme, die sie verwenden, und klicken Sie erneut auf Deinstallieren.");
        // Nothing claims success; the way back is kept.
        EXPECT_TRUE(machine.host.messageBoxes.empty());
        EXPECT_TRUE(machine.host.HasKey(kEntryKey));
        EXPECT_TRUE(machine.host.HasKey(kMaker));
        EXPECT_TRUE(machine.host.openedHidden.empty());
        EXPECT_FALSE(window.closed);
        // The game's bytes are under the backup name and the mission's file
        // still in place (the game never runs without the file), the other
        // files back.
        const Text backup = FolderPart(stuck) + u"ARMK-" + FileNamePart(stuck);
        EXPECT_EQ(machine.host.FileBytes(backup), GameBytes(c.stuck));
        EXPECT_EQ(machine.host.FileBytes(stuck).rfind("mission:", 0), 0u);
        EXPECT_EQ(machine.host.FileBytes(InGame(u"Model\\EmperorBuildingModels.txt")),
                  GameBytes(u"Model\\EmperorBuildingModels.txt"));

        machine.host.SetReadOnly(stuck, false);
        EXPECT_EQ(RunToEnd(machine.host, window, [&] { return UninstallRun(machine.host, window, state); }), "ended");
        EXPECT_EQ(machine.GameListing(), before);
        EXPECT_FALSE(machine.host.HasKey(kEntryKey));
        EXPECT_FALSE(machine.host.HasKey(kMaker));
        EXPECT_EQ(machine.host.messageBoxes.back().text, u"Deinstallation erfolgreich beendet!");
    }
}

}  // namespace
}  // namespace brunvald

namespace brunvald {
namespace {

using namespace testing;

// Whether a change was undone is read from the files, not from what the call
// said: Wine reports a deletion or a rename on a medium that cannot be
// written as done. The record stays and the file is named; nothing claims
// success.
TEST(UninstallRun, ChangeReportedDoneButNotMadeIsNamed) {
    struct Case {
        const char* name;
        const char16_t* file;
        bool saved;
    };
    const Case cases[] = {
        {"a mission file", u"Cities\\ChengduAmk.map", false},
        {"a saved game file", u"EmperorText.eng", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Machine machine;
        ASSERT_EQ(machine.Install(), "ended");
        const Text file = InGame(c.file);
        machine.host.falseSuccesses.insert(FakeHost::Comparable(file));
        machine.host.messageBoxes.clear();
        EXPECT_EQ(machine.Uninstall(),
                  Utf8(c.saved ? message::GameFileNotRestored(file) : message::MissionFileNotRemoved(file)));
        EXPECT_TRUE(machine.host.messageBoxes.empty());
        EXPECT_TRUE(machine.host.HasKey(kEntryKey));
        EXPECT_EQ(machine.host.FileBytes(file).rfind("mission:", 0), 0u);

        machine.host.falseSuccesses.clear();
        EXPECT_EQ(machine.Uninstall(), "ended");
        EXPECT_FALSE(machine.host.HasFile(InGame(u"ARMK-EmperorText.eng")));
    }
}

}  // namespace
}  // namespace brunvald
