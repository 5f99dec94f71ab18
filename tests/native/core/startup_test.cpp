// Start-up: the refusals and their order, the mode, the state a run
// needs, and what an error during start-up leaves behind.
#include <gtest/gtest.h>

#include "core/handlers.h"
#include "core/messages.h"
#include "tests/native/core/scene.h"

namespace brunvald {
namespace {

using namespace testing;

const Text kRunning =
    u"Das Spiel <Der erste Kaiser> ist noch aktiv. Bitte beenden Sie das Programm und starten "
    u"Sie diese Deinstallationsroutine neu!";
const Text kNotFound = u"Es konnte keine <Der erste Kaiser> Installation gefunden werden!";

Text OtherMission(const Text& name) {
    return u"Aktuell ist eine andere Vantorel Mission installiert!\r\n\r\n\t< " + name +
           u" >\r\n\r\nDiese muss erst deinstalliert werden, bevor Sie eine andere Mission "
           u"installieren! Rufen Sie dazu das Deinstallationsprogramm von Windows auf und "
           u"starten den Deinstallationsprozess.";
}

struct Scene {
    bool running = false;
    bool game = true;
    const char16_t* makerMarker = nullptr;  // null: no maker key
    const char16_t* makerName = nullptr;
    bool makerWithoutMarker = false;
    const char16_t* makerExists = nullptr;  // the one value of a maker key left unfinished
    const char16_t* uninstallEntry = nullptr;  // display name of an entry in the list
    const char16_t* arguments = u"";
};

TEST(StartUp, Refusals) {
    struct Case {
        const char* name;
        Scene scene;
        std::vector<Text> messages;  // each with caption "Fehler" and the error icon
    };
    const Case cases[] = {
        {"game running", {.running = true}, {kRunning}},
        {"game running, also in uninstall mode", {.running = true, .arguments = u"UNINSTALL"}, {kRunning}},
        {"game running and not installed: only the first message",
         {.running = true, .game = false}, {kRunning}},
        {"game not installed", {.game = false}, {kNotFound}},
        {"another mission recorded", {.makerMarker = u"NRDH", .makerName = u"Nordhafen"},
         {OtherMission(u"Nordhafen")}},
        {"another mission, uninstall mode",
         {.makerMarker = u"NRDH", .makerName = u"Nordhafen", .arguments = u"UNINSTALL"},
         {OtherMission(u"Nordhafen")}},
        {"maker key without marker or name", {.makerWithoutMarker = true}, {OtherMission(u"")}},
        // An install of this mission ended hard while it wrote the maker
        // record: its own uninstall entry is there, the marker is not yet.
        {"own entry, maker key still empty", {.makerWithoutMarker = true,
          .uninstallEntry = u"Vantorel Mission : Aurelmark"}, {}},
        {"own entry, maker key with only CampExists, uninstall mode",
         {.makerExists = u"1", .uninstallEntry = u"Vantorel Mission : Aurelmark", .arguments = u"UNINSTALL"}, {}},
        {"another mission's entry, maker key without marker",
         {.makerWithoutMarker = true, .uninstallEntry = u"Vantorel Mission : Nordhafen"}, {OtherMission(u"")}},
        {"own entry, but another mission recorded",
         {.makerMarker = u"NRDH", .makerName = u"Nordhafen", .uninstallEntry = u"Vantorel Mission : Aurelmark"},
         {OtherMission(u"Nordhafen")}},
        {"same mission recorded", {.makerMarker = u"ARMK", .makerName = u"Aurelmark"}, {}},
        {"same mission, uninstall mode",
         {.makerMarker = u"ARMK", .makerName = u"Aurelmark", .arguments = u"UNINSTALL"}, {}},
        {"nothing recorded", {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeHost host;
        FakeWindow window;
        ProgramState state;
        if (c.scene.running) host.runningProcesses = {u"explorer.exe", u"C:\\K\\EMPEROR.EXE"};
        if (c.scene.game) AddGame(host);
        if (c.scene.makerMarker) host.SetValue(kMaker, u"CampMarker", c.scene.makerMarker);
        if (c.scene.makerName) host.SetValue(kMaker, u"CampName", c.scene.makerName);
        if (c.scene.makerWithoutMarker) host.AddKey(kMaker);
        if (c.scene.makerExists) host.SetValue(kMaker, u"CampExists", c.scene.makerExists);
        if (c.scene.uninstallEntry)
            host.SetValue(u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" +
                              Text(c.scene.uninstallEntry),
                          u"DisplayName", c.scene.uninstallEntry);
        AddMission(host, AurelmarkFiles());
        AddInstaller(host, u"C:\\Downloads\\Brunvald.exe", c.scene.arguments);

        const bool continued = StartUp(host, window, state);

        EXPECT_EQ(continued, c.messages.empty());
        std::vector<Text> shown;
        for (const MessageBoxCall& box : host.messageBoxes) {
            shown.push_back(box.text);
            EXPECT_EQ(box.caption, u"Fehler");
            EXPECT_EQ(box.flags, 16u);
        }
        EXPECT_EQ(shown, c.messages);
        EXPECT_EQ(state.readyForRun, continued);
        EXPECT_EQ(window.setUpMode.has_value(), continued);  // never shown after a refusal
        EXPECT_EQ(host.registryAccessesLive, 0);
        if (!continued) {
            EXPECT_TRUE(host.resetFolders.empty());
            // The window closes right after the refusal's message, unseen.
            ASSERT_GE(host.log.size(), 2u);
            EXPECT_EQ(host.log[host.log.size() - 2], "MessageBox Fehler: " + Utf8(c.messages.front()));
            EXPECT_EQ(host.log.back(), kWindowClosed);
            EXPECT_TRUE(window.closed);
        }
    }
}

// A file name that Windows cannot hold sends the file into a device (NUL,
// COM1: a serial port) or leaves it under another name, and the run would
// report success: start-up refuses the installer. Lines that place nothing
// pass, and a campaign folder that would be a device is no folder at all.
TEST(StartUp, RefusesAFileNameThatWindowsCannotHold) {
    struct Case {
        const char* name;
        std::string line;           // after the CampPak line, before the CampInI line
        const char16_t* refused;    // the name in the message; null: start-up goes on
    };
    const Case cases[] = {
        {"city map named NUL", "Maps_01 RT_RCDATA \"NUL.map\"", u"NUL.map"},
        {"serial port, two extensions", "MainPic RT_RCDATA \"COM1.tar.gz\"", u"COM1.tar.gz"},
        {"lower case, blank before the extension", "CampEng RT_RCDATA \"con .eng\"", u"con .eng"},
        {"printer port without extension", "GaiaPic RT_RCDATA \"LPT9\"", u"LPT9"},
        {"console input", "CampMod RT_RCDATA \"CONIN$.txt\"", u"CONIN$.txt"},
        {"superscript one (Windows-1252)", "CampMsg RT_RCDATA \"com\xB9.txt\"", u"com\u00b9.txt"},
        {"campaign map into the campaign folder",
         "CampSet RT_RCDATA \"Aurelmark.set\"\r\nCampMap RT_RCDATA \"Aux.map\"", u"Aux.map"},
        {"name ending in a dot", "Maps_01 RT_RCDATA \"Fjord.map.\"", u"Fjord.map."},
        {"name ending in a blank", "Maps_01 RT_RCDATA \"Fjord.map \"", u"Fjord.map "},
        {"COM10 is no device", "Maps_01 RT_RCDATA \"COM10.map\"", nullptr},
        {"COM0 is no device", "Maps_01 RT_RCDATA \"COM0.map\"", nullptr},
        {"NULL and CONSOLE are no devices", "Maps_01 RT_RCDATA \"NULL.map\"\r\nMaps_02 RT_RCDATA \"CONSOLE.map\"",
         nullptr},
        {"unknown key: never written", "Other RT_RCDATA \"CON.txt\"", nullptr},
        {"campaign folder COM1: skipped", "CampSet RT_RCDATA \"COM1xyz\"", nullptr},
        {"campaign folder CON.: skipped", "CampSet RT_RCDATA \"CON.set\"", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeHost host;
        FakeWindow window;
        ProgramState state;
        AddGame(host);
        host.AddResource(u"RCRES", "CampPak RT_RCDATA \"Aurelmark.pak\"\r\n" + c.line +
                                       "\r\nCampInI RT_RCDATA \"ARMK.ini\"");
        AddInstaller(host);

        const bool continued = StartUp(host, window, state);

        if (!c.refused) {
            EXPECT_TRUE(continued);
            EXPECT_TRUE(host.messageBoxes.empty());
            for (const MissionEntry& entry : state.mission) {
                if (entry.kind == EntryKind::CampSet) {
                    EXPECT_EQ(entry.folder, u"");
                }
            }
            continue;
        }
        EXPECT_FALSE(continued);
        ASSERT_EQ(host.messageBoxes.size(), 1u);
        EXPECT_EQ(host.messageBoxes[0].text,
                  u"Die Mission enthält die Datei <" + Text(c.refused) +
                      u">, deren Name unter Windows nicht als Dateiname möglich ist. Dieses "
                      u"Installationsprogramm ist fehlerhaft. Bitte wenden Sie sich an den Ersteller der Mission!");
        EXPECT_EQ(host.messageBoxes[0].caption, u"Fehler");
        EXPECT_EQ(host.messageBoxes[0].flags, 16u);
        EXPECT_FALSE(state.readyForRun);
        EXPECT_FALSE(window.setUpMode.has_value());
        EXPECT_TRUE(host.resetFolders.empty());
        EXPECT_EQ(host.log.back(), kWindowClosed);
    }
}

TEST(StartUp, ModeFromTheFirstArgument) {
    struct Case {
        const char16_t* commandLine;
        InstallerMode mode;
    };
    const Case cases[] = {
        {u"\"C:\\Spiele\\Kaiser\\Data\\BrunVald.EXE\" UNINSTALL", InstallerMode::Uninstall},
        {u"\"C:\\Spiele\\Kaiser\\Data\\BrunVald.EXE\" UNINSTALL more", InstallerMode::Uninstall},
        {u"\"C:\\Spiele\\Kaiser\\Data\\BrunVald.EXE\" \"UNINSTALL\"", InstallerMode::Uninstall},
        {u"\"C:\\Spiele\\Kaiser\\Data\\BrunVald.EXE\" uninstall", InstallerMode::Install},
        {u"\"C:\\Spiele\\Kaiser\\Data\\BrunVald.EXE\" UNINSTALLX", InstallerMode::Install},
        {u"\"C:\\Spiele\\Kaiser\\Data\\BrunVald.EXE\" X UNINSTALL", InstallerMode::Install},
        {u"\"C:\\Spiele\\Kaiser\\Data\\BrunVald.EXE\"", InstallerMode::Install},
        // Unquoted with a blank in the path: the first argument is no "UNINSTALL".
        {u"C:\\Spiele Neu\\Data\\BrunVald.EXE UNINSTALL", InstallerMode::Install},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Utf8(c.commandLine));
        FakeHost host;
        FakeWindow window;
        ProgramState state;
        AddGame(host);
        AddMission(host, AurelmarkFiles());
        host.commandLine = c.commandLine;
        ASSERT_TRUE(StartUp(host, window, state));
        EXPECT_EQ(state.mode, c.mode);
        EXPECT_EQ(window.setUpMode, c.mode);
    }
}

TEST(StartUp, BuildsTheStateInOrder) {
    FakeHost host;
    FakeWindow window;
    ProgramState state;
    AddGame(host);
    AddMission(host, AurelmarkFiles());
    AddInstaller(host, u"D:\\Neu\\Brunvald (1).exe");
    host.AddFile(InGame(u"Data\\locked.txt"), "x", true);
    host.AddFile(InGame(u"Data\\Sub\\deep.txt"), "x", true);

    ASSERT_TRUE(StartUp(host, window, state));

    EXPECT_EQ(state.manifest.size(), AurelmarkFiles().size());
    EXPECT_EQ(state.identity.missionMarker, u"ARMK");
    EXPECT_EQ(window.titleText, u"Vantorel Mission\r\nAurelmark");
    EXPECT_EQ(state.paths.gameFolder, kGame);
    EXPECT_EQ(state.paths.dataFolder, InGame(u"Data\\"));
    EXPECT_EQ(state.paths.campaignsFolder, InGame(u"Campaigns\\"));
    EXPECT_EQ(host.resetFolders,
              (std::vector<Text>{kGame, InGame(u"Data\\"), InGame(u"Cities\\"), InGame(u"Model\\"),
                                 InGame(u"Campaigns\\")}));
    EXPECT_FALSE(host.IsReadOnly(InGame(u"Data\\locked.txt")));
    EXPECT_TRUE(host.IsReadOnly(InGame(u"Data\\Sub\\deep.txt")));
    EXPECT_EQ(host.pendingMessageCalls, 1);
    EXPECT_TRUE(state.readyForRun);
    EXPECT_TRUE(host.messageBoxes.empty());
}

TEST(StartUp, WithoutCampPakTheTitleKeepsItsDesign) {
    FakeHost host;
    FakeWindow window;
    ProgramState state;
    AddGame(host);
    AddMission(host, {{u"CampInI", u"ARMK.ini", u""}});
    ASSERT_TRUE(StartUp(host, window, state));
    EXPECT_FALSE(window.titleText.has_value());
}

// An error during start-up goes to the error box at the top level; a run
// must then not start on the data the skipped steps never made.
TEST(StartUp, ErrorsBeforeTheModeKeepRunsFromStarting) {
    struct Case {
        const char* name;
        bool noManifest;
        bool pathIsNumber;
        bool unreadableMaker;
        std::string error;
    };
    const Case cases[] = {
        {"manifest missing", true, false, false, "Ressource RCRES nicht gefunden"},
        {"Path value is a number", false, true, false, "Ungültiger Datentyp für 'Path'"},
        {"CampMarker is a number", false, false, true, "Ungültiger Datentyp für 'CampMarker'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeHost host;
        FakeWindow window;
        ProgramState state;
        AddGame(host);
        if (!c.noManifest) AddMission(host, AurelmarkFiles());
        if (c.pathIsNumber) host.SetValue(kAppPaths, u"Path", u"7", ValueType::Dword);
        if (c.unreadableMaker) host.SetValue(kMaker, u"CampMarker", u"7", ValueType::Dword);
        AddInstaller(host);
        state.readyForRun = true;  // as if left over: start-up must clear it

        EXPECT_EQ(RunToEnd(host, window, [&] { return FormCreate(host, window, state); }), c.error);
        EXPECT_FALSE(state.readyForRun);
        EXPECT_EQ(host.registryAccessesLive, 0);

        host.log.clear();
        EXPECT_EQ(RunToEnd(host, window, [&] { return InstallRun(host, window, state); }), "returned");
        EXPECT_EQ(RunToEnd(host, window, [&] { return UninstallRun(host, window, state); }), "returned");
        EXPECT_TRUE(host.log.empty());
        EXPECT_FALSE(window.progressVisible);
    }
}

TEST(StartUp, MissingTitleFontLeavesTheDataComplete) {
    FakeHost host;
    FakeWindow window;
    ProgramState state;
    AddGame(host);
    AddMission(host, AurelmarkFiles());
    AddInstaller(host);
    window.setUpFails = true;
    EXPECT_EQ(RunToEnd(host, window, [&] { return FormCreate(host, window, state); }), "Ressource TTF nicht gefunden");
    EXPECT_TRUE(state.readyForRun);
    EXPECT_EQ(RunToEnd(host, window, [&] { return InstallRun(host, window, state); }), "ended");
}

}  // namespace
}  // namespace brunvald
