// The install run: rows and their order, the progress sweep, the records,
// the tree-image cases, a second install, and the mended faults (the copy of
// the running executable, the undo of a failed write after a backup rename,
// no campaign folder made of a too-short set file name).
#include <gtest/gtest.h>

#include "core/handlers.h"
#include "tests/native/core/scene.h"

namespace brunvald {
namespace {

using namespace testing;

struct Installer {
    FakeHost host;
    FakeWindow window;
    ProgramState state;

    explicit Installer(unsigned gameFiles = kAllGameFiles,
                       const std::vector<MissionFile>& files = AurelmarkFiles()) {
        AddGame(host, gameFiles);
        AddMission(host, files);
        AddInstaller(host);
    }
    bool StartUp() { return testing::StartUp(host, window, state); }
    std::string Install() {
        return RunToEnd(host, window, [&] { return InstallRun(host, window, state); });
    }
    std::string StartAndInstall() {
        if (!StartUp()) return "refused";
        host.log.clear();
        return Install();
    }
};

std::string G(const char16_t* relative) { return Utf8(InGame(relative)); }
// "EstimatedSize": the eleven files placed (CampInI is not), each resource
// "mission:" and its seven-letter name, 15 bytes: 165 bytes, 1 KB.
const std::string kAurelmarkKb = "1";
// As FakeHost::FileListing names a file.
std::string Listed(const char16_t* relative) { return Utf8(FakeHost::Comparable(InGame(relative))); }

// The journal and both records exist before the first change to the game, so
// that the list of programs offers the way back from any failure or kill.
// Every change is announced in the journal before it is made: a saved file
// before its rename, a written file before and after its write, the campaign
// folder before it is made. Only the records of saved game files are flushed
// to the medium.
TEST(InstallRun, FreshInstallActsRowByRowInManifestOrder) {
    Installer installer;
    ASSERT_EQ(installer.StartAndInstall(), "ended");
    const std::string J = "Journal " + G(u"Data\\Brunvald-ARMK.journal");
    const std::string JF = J + " [flushed]";
    const std::vector<std::string> expected = {
        "Copy C:\\Downloads\\Brunvald.exe -> " + G(u"Data\\Brunvald.exe"),
        J,  // the journal, empty, before the records
        "RegWrite SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vantorel Mission : Aurelmark : Publisher=©Vantorel",
        "RegWrite SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vantorel Mission : Aurelmark : DisplayName=Vantorel Mission : Aurelmark",
        "RegWrite SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vantorel Mission : Aurelmark : UninstallString=\"" + G(u"Data\\BrunVald.EXE") + "\" UNINSTALL",
        "RegWrite SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vantorel Mission : Aurelmark : DisplayIcon=" + G(u"Data\\Brunvald.exe"),
        "RegWrite SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vantorel Mission : Aurelmark : DisplayVersion=1.2.6593.38686",
        "RegWrite SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vantorel Mission : Aurelmark : EstimatedSize=" + kAurelmarkKb,
        "RegWrite SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vantorel Mission : Aurelmark : NoModify=1",
        "RegWrite SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vantorel Mission : Aurelmark : NoRepair=1",
        "RegWrite SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Vantorel : CampExists=1",
        "RegWrite SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Vantorel : CampMarker=ARMK",
        "RegWrite SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Vantorel : CampName=Aurelmark",
        "RegWrite SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Vantorel : CampBuild=1.2.6593.38686",
        "RegWrite SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Vantorel : CampPicture=5.3.2.5",
        "RegWrite SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Vantorel : CampVersion=1.0.1.0",
        JF,
        "Rename " + G(u"Data\\China_FE_MainMenu.jpg") + " -> " + G(u"Data\\ARMK-China_FE_MainMenu.jpg"),
        "Extract MainPic -> " + G(u"Data\\China_FE_MainMenu.jpg"),
        JF,
        "Rename " + G(u"Data\\China_MapOfChina01.jpg") + " -> " + G(u"Data\\ARMK-China_MapOfChina01.jpg"),
        "Extract GaiaPic -> " + G(u"Data\\China_MapOfChina01.jpg"),
        J, "Extract Maps_01 -> " + G(u"Cities\\ChengduAmk.map"), J,
        J, "Extract Maps_02 -> " + G(u"Cities\\HangzhouAmk.map"), J,
        J, "Extract CampPak -> " + G(u"Campaigns\\Aurelmark.pak"), J,
        J, "MakeFolders " + G(u"Campaigns\\Aurelmark.\\"),
        J, "Extract CampSet -> " + G(u"Campaigns\\Aurelmark.\\Aurelmark.set"), J,
        J, "Extract CampMap -> " + G(u"Campaigns\\Aurelmark.\\AurelmarkP.map"), J,
        JF,
        "Rename " + G(u"Model\\EmperorBuildingModels.txt") + " -> " + G(u"Model\\ARMK-EmperorBuildingModels.txt"),
        "Extract CampMod -> " + G(u"Model\\EmperorBuildingModels.txt"),
        JF,
        "Rename " + G(u"Model\\TreeImage.Index") + " -> " + G(u"Model\\ARMK-TreeImage.Index"),
        "Extract CampTR1 -> " + G(u"Model\\TreeImage.Index"),
        JF,
        "Rename " + G(u"Model\\ResetTreeImage.Index") + " -> " + G(u"Model\\ARMK-ResetTreeImage.Index"),
        "Extract CampTR2 -> " + G(u"Model\\ResetTreeImage.Index"),
        JF,
        "Rename " + G(u"EmperorText.eng") + " -> " + G(u"ARMK-EmperorText.eng"),
        "Extract CampEng -> " + G(u"EmperorText.eng"),
        "MessageBox Abschlussmeldung: Installation erfolgreich beendet!",
        kWindowClosed,
    };
    EXPECT_EQ(installer.host.log, expected);
    EXPECT_EQ(installer.host.messageBoxes.back().flags, 48u);
}

TEST(InstallRun, EveryFileInItsFolderAndEveryBackupWithTheGamesBytes) {
    Installer installer;
    ASSERT_EQ(installer.StartAndInstall(), "ended");
    const FakeHost& host = installer.host;
    for (const MissionFile& file : AurelmarkFiles()) {
        SCOPED_TRACE(Utf8(file.resource));
        if (*file.installedAt) {
            EXPECT_EQ(host.FileBytes(InGame(file.installedAt)), MissionBytes(file.resource));
        }
    }
    EXPECT_FALSE(host.HasFile(InGame(u"Campaigns\\Aurelmark\\ARMK.ini")));
    for (const char16_t* saved :
         {u"Data\\China_FE_MainMenu.jpg", u"Data\\China_MapOfChina01.jpg", u"Model\\EmperorBuildingModels.txt",
          u"Model\\TreeImage.Index", u"Model\\ResetTreeImage.Index", u"EmperorText.eng"}) {
        const Text path = InGame(saved);
        const Text backup = FolderPart(path) + u"ARMK-" + FileNamePart(path);
        EXPECT_EQ(host.FileBytes(backup), GameBytes(saved)) << Utf8(saved);
    }
    EXPECT_TRUE(host.HasFolder(InGame(u"Campaigns\\Aurelmark")));
    EXPECT_EQ(host.FileBytes(InGame(u"Data\\Brunvald.exe")), "installer");
}

TEST(InstallRun, ProgressSweepsOnceThenPausesOncePerEntry) {
    Installer installer;
    ASSERT_EQ(installer.StartAndInstall(), "ended");
    std::vector<unsigned> sweep;
    for (unsigned percent = 1; percent <= 100; ++percent) sweep.push_back(percent);
    EXPECT_TRUE(installer.window.progressVisible);
    EXPECT_EQ(installer.window.percentChanges, sweep);
    // 101 steps for the first entry, one for each of the other eleven, then 300.
    std::vector<unsigned> pauses(101 + 11, 15);
    pauses.push_back(300);
    EXPECT_EQ(installer.host.pauses, pauses);
}

TEST(InstallRun, EmptyManifestWritesOnlyTheRecords) {
    Installer installer(kAllGameFiles, {});
    installer.host.AddResource(u"RCRES", "");
    ASSERT_EQ(installer.StartAndInstall(), "ended");
    EXPECT_TRUE(installer.window.progressVisible);
    EXPECT_TRUE(installer.window.percentChanges.empty());
    EXPECT_EQ(installer.host.pauses, std::vector<unsigned>{300});
    EXPECT_TRUE(installer.host.HasKey(kMaker));
    EXPECT_EQ(installer.host.messageBoxes.back().text, u"Installation erfolgreich beendet!");
}

TEST(InstallRun, TreeImageCases) {
    struct Case {
        const char* name;
        unsigned gameFiles;
        std::vector<std::string> model;  // Model folder afterwards
    };
    const std::string tr1 = Listed(u"MODEL\\TREEIMAGE.INDEX") + "=mission:CampTR1";
    const std::string tr2 = Listed(u"MODEL\\RESETTREEIMAGE.INDEX") + "=mission:CampTR2";
    const std::string gameTree = Listed(u"MODEL\\ARMK-TREEIMAGE.INDEX") + "=game:Model\\TreeImage.Index";
    const std::string gameReset = Listed(u"MODEL\\ARMK-RESETTREEIMAGE.INDEX") + "=game:Model\\ResetTreeImage.Index";
    const Case cases[] = {
        {"both", kTree | kResetTree, {gameReset, gameTree, tr2, tr1}},
        // Without TreeImage.Index CampTR1 writes it plainly; CampTR2 then
        // finds it and takes the backup path for its own file.
        {"only ResetTreeImage", kResetTree, {gameReset, tr2, tr1}},
        {"only TreeImage", kTree, {gameTree, tr2, tr1}},
        {"neither", 0, {tr2, tr1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Installer installer(c.gameFiles);
        ASSERT_EQ(installer.StartAndInstall(), "ended");
        std::vector<std::string> model;
        for (const std::string& file : installer.host.FileListing())
            if (file.rfind(Listed(u"MODEL") + "\\", 0) == 0 && file.find(".INDEX=") != std::string::npos) model.push_back(file);
        EXPECT_EQ(model, c.model);
    }
}

TEST(InstallRun, GameWithoutAReplacedFileGetsNoBackup) {
    Installer installer(kAllGameFiles & ~kText);
    ASSERT_EQ(installer.StartAndInstall(), "ended");
    EXPECT_EQ(installer.host.FileBytes(InGame(u"EmperorText.eng")), "mission:CampEng");
    EXPECT_FALSE(installer.host.HasFile(InGame(u"ARMK-EmperorText.eng")));
}

TEST(InstallRun, SecondInstallKeepsTheBackupsOfTheGamesFiles) {
    Installer first;
    ASSERT_EQ(first.StartAndInstall(), "ended");
    // The same machine, a new start of the installer: start-up allows it.
    Installer& second = first;
    second.state = ProgramState{};
    second.window = FakeWindow{};
    ASSERT_EQ(second.StartAndInstall(), "ended");
    const FakeHost& host = second.host;
    EXPECT_EQ(host.FileBytes(InGame(u"Data\\ARMK-China_FE_MainMenu.jpg")), GameBytes(u"Data\\China_FE_MainMenu.jpg"));
    EXPECT_EQ(host.FileBytes(InGame(u"Model\\ARMK-TreeImage.Index")), GameBytes(u"Model\\TreeImage.Index"));
    EXPECT_EQ(host.FileBytes(InGame(u"Data\\China_FE_MainMenu.jpg")), "mission:MainPic");
    EXPECT_EQ(host.FileBytes(InGame(u"Model\\TreeImage.Index")), "mission:CampTR1");
    EXPECT_EQ(host.ValuesOf(kMaker).size(), 6u);
}

// The uninstall entry names the copy in Data; it must hold the program that
// runs, whatever name the browser gave the download.
TEST(InstallRun, CopiesTheRunningExecutable) {
    struct Case {
        const char* name;
        Text programPath;
        bool copied;
        bool message;
    };
    const Case cases[] = {
        {"downloaded under another name", u"C:\\Downloads\\Brunvald (1).exe", true, false},
        {"running from the copy itself", InGame(u"Data\\Brunvald.exe"), false, false},
        {"the copy, other letter case", u"c:\\spiele\\KAISER\\data\\BRUNVALD.EXE", false, false},
        {"the copy, doubled separator", u"C:\\Spiele\\Kaiser\\\\Data\\Brunvald.exe", false, false},
        {"the copy by its short name", u"C:\\SPIELE~1\\KAISER\\DATA\\BRUNVALD.EXE", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Installer installer;
        // Nothing of the fixed name beside the download: only the running
        // program itself can be the source.
        installer.host.RemoveFile(u"C:\\Downloads\\Brunvald.exe");
        AddInstaller(installer.host, c.programPath);
        installer.host.shortForms[FakeHost::Comparable(InGame(u"Data\\Brunvald.exe"))] =
            u"C:\\SPIELE~1\\KAISER\\DATA\\BRUNVALD.EXE";
        installer.host.shortForms[FakeHost::Comparable(c.programPath)] =
            u"C:\\SPIELE~1\\KAISER\\DATA\\BRUNVALD.EXE";
        if (!c.copied) installer.host.AddFile(InGame(u"Data\\Brunvald.exe"), "installer");
        if (c.copied) installer.host.shortForms.clear();
        ASSERT_EQ(installer.StartAndInstall(), "ended");
        const bool copyLogged = installer.host.log.front().rfind("Copy ", 0) == 0;
        EXPECT_EQ(copyLogged, c.copied);
        EXPECT_EQ(installer.host.FileBytes(InGame(u"Data\\Brunvald.exe")), "installer");
        EXPECT_EQ(installer.host.messageBoxes.size(), 1u);  // only the closing message
    }
}

// Without its copy in Data the mission could not be uninstalled from the
// list of installed programs: a failed copy ends the run at once, before any
// game file, the journal or a record is touched, and the window stays.
TEST(InstallRun, FailedCopyStopsTheRunBeforeAnythingElse) {
    Installer installer;
    installer.host.AddFile(InGame(u"Data\\Brunvald.exe"), "old", true);  // read-only
    ASSERT_TRUE(installer.StartUp());
    installer.host.SetReadOnly(InGame(u"Data\\Brunvald.exe"), true);  // after the reset
    const std::vector<std::string> before = installer.host.FileListing();
    installer.host.log.clear();
    ASSERT_EQ(installer.Install(), "returned");
    ASSERT_EQ(installer.host.messageBoxes.size(), 1u);
    EXPECT_EQ(installer.host.messageBoxes[0].text,
              u"Das Programm konnte nicht installiert werden!(3647 Unbekannter Fehler)");
    EXPECT_EQ(installer.host.messageBoxes[0].caption, u"Fehler");
    EXPECT_EQ(installer.host.messageBoxes[0].flags, 16u);
    EXPECT_EQ(installer.host.log.size(), 2u);  // the copy and its message
    EXPECT_EQ(installer.host.FileListing(), before);
    EXPECT_FALSE(installer.host.HasKey(kEntryKey));
    EXPECT_FALSE(installer.host.HasKey(kMaker));
    EXPECT_FALSE(installer.window.closed);
}

// A write that fails right after the game's file went to its backup name
// brings the game's file back before the error is shown. The records written
// before the first change stay: the list of programs offers the way back.
TEST(InstallRun, FailedWriteAfterBackupRenameRestoresTheGamesFile) {
    struct Case {
        const char* name;
        bool streamFails;
        bool resourceMissing;
        std::string error;
    };
    const Case cases[] = {
        {"write breaks off", true, false, "Stream-Schreibfehler"},
        {"resource missing", false, true, "Ressource CampMod nicht gefunden"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Installer installer;
        const Text target = InGame(u"Model\\EmperorBuildingModels.txt");
        if (c.streamFails) installer.host.streamFailures.insert(FakeHost::Comparable(target));
        if (c.resourceMissing) installer.host.RemoveResource(u"CampMod");
        ASSERT_TRUE(installer.StartUp());
        EXPECT_EQ(installer.Install(), c.error);
        EXPECT_EQ(installer.host.FileBytes(target), GameBytes(u"Model\\EmperorBuildingModels.txt"));
        EXPECT_FALSE(installer.host.HasFile(InGame(u"Model\\ARMK-EmperorBuildingModels.txt")));
        EXPECT_TRUE(installer.host.HasKey(kEntryKey));
    }
}

// Only a rename this attempt made is undone: on a second install the backup
// already exists, the rename fails, and a read-only mission file then stops
// the run without anything being moved.
TEST(InstallRun, FailedWriteWithoutOwnRenameMovesNothing) {
    Installer installer;
    ASSERT_EQ(installer.StartAndInstall(), "ended");
    installer.state = ProgramState{};
    ASSERT_TRUE(installer.StartUp());
    const Text target = InGame(u"Data\\China_FE_MainMenu.jpg");
    installer.host.SetReadOnly(target, true);
    installer.host.log.clear();
    EXPECT_EQ(installer.Install(),
              "Datei \"" + Utf8(target) + "\" kann nicht erstellt werden. Zugriff verweigert.");
    EXPECT_EQ(installer.host.FileBytes(target), "mission:MainPic");
    EXPECT_EQ(installer.host.FileBytes(InGame(u"Data\\ARMK-China_FE_MainMenu.jpg")),
              GameBytes(u"Data\\China_FE_MainMenu.jpg"));
    EXPECT_EQ(installer.host.log.back(), "Extract -> " + Utf8(target) + " [failed]");
}

TEST(InstallRun, RerunAfterAnErrorCompletes) {
    Installer installer;
    const Text target = InGame(u"EmperorText.eng");
    installer.host.streamFailures.insert(FakeHost::Comparable(target));
    ASSERT_TRUE(installer.StartUp());
    EXPECT_EQ(installer.Install(), "Stream-Schreibfehler");
    EXPECT_EQ(installer.window.percent, 100u);
    EXPECT_TRUE(installer.window.progressVisible);
    EXPECT_TRUE(installer.host.messageBoxes.empty());
    EXPECT_TRUE(installer.host.HasKey(kMaker));

    installer.host.streamFailures.clear();
    installer.host.pauses.clear();
    EXPECT_EQ(installer.Install(), "ended");
    std::vector<unsigned> pauses(12, 15);  // the bar stands at 100: one pause per entry
    pauses.push_back(300);
    EXPECT_EQ(installer.host.pauses, pauses);
    EXPECT_EQ(installer.host.FileBytes(target), "mission:CampEng");
    EXPECT_EQ(installer.host.FileBytes(InGame(u"ARMK-EmperorText.eng")), GameBytes(u"EmperorText.eng"));
    EXPECT_EQ(installer.host.FileBytes(InGame(u"ARMK-China_FE_MainMenu.jpg")), "");
    EXPECT_EQ(installer.host.FileBytes(InGame(u"Data\\ARMK-China_FE_MainMenu.jpg")),
              GameBytes(u"Data\\China_FE_MainMenu.jpg"));
}

// The records come before the first change to the game: one that cannot be
// written ends the run with the game untouched.
TEST(InstallRun, RegistryWriteErrorEndsTheRunWithoutClosingMessage) {
    Installer installer;
    installer.host.failingValueWrites.insert(u"CampMarker");
    ASSERT_TRUE(installer.StartUp());
    EXPECT_EQ(installer.Install(), "Fehler beim Setzen der Daten für 'CampMarker'");
    EXPECT_TRUE(installer.host.messageBoxes.empty());
    EXPECT_EQ(installer.host.FileBytes(InGame(u"EmperorText.eng")), GameBytes(u"EmperorText.eng"));
    EXPECT_FALSE(installer.host.HasFile(InGame(u"Cities\\ChengduAmk.map")));
    EXPECT_EQ(installer.host.registryAccessesLive, 0);
}

TEST(InstallRun, RowsOfUnusualLines) {
    struct Case {
        const char* name;
        std::string manifest;
        std::vector<std::string> actions;  // log between copy and records
    };
    const Case cases[] = {
        {"Maps anywhere in the name", "xMapsY RT_RCDATA \"a.map\"",
         {"Extract xMapsY -> " + G(u"Cities\\a.map")}},
        {"CampInI is never written", "CampInI RT_RCDATA \"ARMK.ini\"", {}},
        {"line starting with a blank", " MainPic RT_RCDATA \"x.jpg\"", {}},
        {"unknown key and empty lines", "Other RT_RCDATA \"o\"\r\n\r\n", {}},
        {"key and type word only: the bare folder", "Maps_9 RT_RCDATA",
         {"Extract -> " + G(u"Cities\\") + " [failed]"}},
        // Set file names that would make the campaign folder the folder of
        // all campaigns, or climb out of it, are skipped.
        {"set file of three units", "CampSet RT_RCDATA \"set\"", {}},
        {"set file of only a dot", "CampSet RT_RCDATA \"..set\"", {}},
        {"set file climbing out", "CampSet RT_RCDATA \"..\\..set\"", {}},
        // Wildcards (the shell's folder delete would expand them) and the other
        // characters Windows forbids in names make no campaign folder either.
        {"set file with a star", "CampSet RT_RCDATA \"*.set\"", {}},
        {"set file with a question mark", "CampSet RT_RCDATA \"Aurel?ark.set\"", {}},
        {"set file with angle brackets", "CampSet RT_RCDATA \"<Aurelmark>.set\"", {}},
        {"set file with a bar", "CampSet RT_RCDATA \"Aurel|mark.set\"", {}},
        {"set file with a quote", "CampSet RT_RCDATA \"Aurel\"mark.set\"", {}},
        {"set file with a control character", "CampSet RT_RCDATA \"Aurel\x01mark.set\"", {}},
        {"set file with a tab", "CampSet RT_RCDATA \"Aurel\tmark.set\"", {}},
        {"set file with a wildcard in its extension", "CampSet RT_RCDATA \"Aurelmark.s*\"", {}},
        {"set file of four units", "CampSet RT_RCDATA \"a.st\"",
         {"MakeFolders " + G(u"Campaigns\\a\\"),
          "Extract CampSet -> " + G(u"Campaigns\\a\\a.st")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Installer installer(kAllGameFiles, {});
        installer.host.AddResource(u"RCRES", c.manifest);
        for (const char16_t* name : {u"xMapsY", u"CampInI", u"MainPic", u"Other", u"Maps_9", u"CampSet"})
            installer.host.AddResource(name, "mission:" + Utf8(name));
        const std::string outcome = installer.StartAndInstall();
        std::vector<std::string> actions;
        for (const std::string& entry : installer.host.log)
            if (entry.rfind("Copy", 0) != 0 && entry.rfind("RegWrite", 0) != 0 &&
                entry.rfind("Journal", 0) != 0 &&
                entry.rfind("MessageBox", 0) != 0 && entry != kWindowClosed)
                actions.push_back(entry);
        EXPECT_EQ(actions, c.actions);
        EXPECT_TRUE(outcome == "ended" || c.actions.back().ends_with("[failed]")) << outcome;
        EXPECT_FALSE(installer.host.HasFile(InGame(u"Campaigns\\set")));
    }
}

}  // namespace
}  // namespace brunvald
