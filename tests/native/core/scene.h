// A small game installation and mission for the run tests: the game's App
// Paths key, its folders and its own copies of the files the mission
// replaces, and an installer carrying a mission shaped like the example.
#pragma once

#include <string>
#include <vector>

#include "core/handlers.h"
#include "host/host_rules.h"
#include "tests/native/core/fake_host.h"
#include "tests/native/core/fake_window.h"

namespace brunvald::testing {

inline constexpr char16_t kGame[] = u"C:\\Spiele\\Kaiser\\";
inline constexpr char16_t kAppPaths[] =
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Emperor.exe";
inline constexpr char16_t kMaker[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Vantorel";
inline constexpr char16_t kEntryKey[] =
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vantorel Mission : Aurelmark";

// name, file name, game file it replaces (relative to the game folder) or ""
struct MissionFile {
    const char16_t* resource;
    const char16_t* fileName;
    const char16_t* installedAt;  // relative to the game folder
};

inline const std::vector<MissionFile>& AurelmarkFiles() {
    static const std::vector<MissionFile> files = {
        {u"MainPic", u"China_FE_MainMenu.jpg", u"Data\\China_FE_MainMenu.jpg"},
        {u"GaiaPic", u"China_MapOfChina01.jpg", u"Data\\China_MapOfChina01.jpg"},
        {u"Maps_01", u"ChengduAmk.map", u"Cities\\ChengduAmk.map"},
        {u"Maps_02", u"HangzhouAmk.map", u"Cities\\HangzhouAmk.map"},
        {u"CampPak", u"Aurelmark.pak", u"Campaigns\\Aurelmark.pak"},
        {u"CampSet", u"Aurelmark.set", u"Campaigns\\Aurelmark\\Aurelmark.set"},
        {u"CampMap", u"AurelmarkP.map", u"Campaigns\\Aurelmark\\AurelmarkP.map"},
        {u"CampMod", u"EmperorBuildingModels.txt", u"Model\\EmperorBuildingModels.txt"},
        {u"CampTR1", u"TreeImage.Index", u"Model\\TreeImage.Index"},
        {u"CampTR2", u"ResetTreeImage.Index", u"Model\\ResetTreeImage.Index"},
        {u"CampEng", u"EmperorText.eng", u"EmperorText.eng"},
        {u"CampInI", u"ARMK.ini", u""},
    };
    return files;
}

inline std::string ManifestLine(const char16_t* resource, const char16_t* fileName) {
    return Utf8(resource) + " RT_RCDATA \"" + Utf8(fileName) + "\"";
}

inline std::string MissionBytes(const char16_t* resource) { return "mission:" + Utf8(resource); }

// Puts the manifest and a resource for each of its lines into the program.
inline void AddMission(FakeHost& host, const std::vector<MissionFile>& files) {
    std::string manifest;
    for (const MissionFile& file : files) {
        if (!manifest.empty()) manifest += "\r\n";
        manifest += ManifestLine(file.resource, file.fileName);
        host.AddResource(file.resource, MissionBytes(file.resource));
    }
    host.AddResource(u"RCRES", manifest);
}

// The game's own files that the mission replaces, with the game's bytes.
enum GameFiles : unsigned {
    kMainPic = 1, kGaiaPic = 2, kModels = 4, kTree = 8, kResetTree = 16, kText = 32,
    kAllGameFiles = 63,
};

inline void AddGame(FakeHost& host, unsigned gameFiles = kAllGameFiles) {
    host.SetValue(kAppPaths, u"Path", u"C:\\Spiele\\Kaiser");
    for (const char16_t* folder : {u"Data", u"Cities", u"Model", u"Campaigns"})
        host.AddFolder(Text(kGame) + folder);
    const struct {
        unsigned flag;
        const char16_t* path;
    } own[] = {
        {kMainPic, u"Data\\China_FE_MainMenu.jpg"}, {kGaiaPic, u"Data\\China_MapOfChina01.jpg"},
        {kModels, u"Model\\EmperorBuildingModels.txt"}, {kTree, u"Model\\TreeImage.Index"},
        {kResetTree, u"Model\\ResetTreeImage.Index"}, {kText, u"EmperorText.eng"},
    };
    for (const auto& file : own)
        if (gameFiles & file.flag) host.AddFile(Text(kGame) + file.path, "game:" + Utf8(file.path));
    host.AddFile(Text(kGame) + u"Emperor.exe", "game:exe");
}

inline std::string GameBytes(const char16_t* relative) { return "game:" + Utf8(relative); }

inline Text InGame(const char16_t* relative) { return Text(kGame) + relative; }

// The installer as downloaded, beside nothing else.
inline void AddInstaller(FakeHost& host, const Text& path = u"C:\\Downloads\\Brunvald.exe",
                         const Text& arguments = u"") {
    host.AddFile(path, "installer");
    host.programPath = path;
    host.commandLine = u"\"" + path + u"\"" + (arguments.empty() ? u"" : u" " + arguments);
}

// What the log shows where the window closes after a handler: the program
// ends there, so nothing may follow it.
inline const std::string kWindowClosed = "CloseWindow";

// What the window does with a handler's outcome: on CloseWindow it closes
// (the fake notes it, and the host's log shows the close in its place).
inline void Conclude(FakeHost& host, FakeWindow& window, AfterHandler next) {
    if (next != AfterHandler::CloseWindow) return;
    window.closed = true;
    host.log.push_back(kWindowClosed);
}

// Runs FormCreate; a refusal (the window closes unseen) is reported as false.
inline bool StartUp(FakeHost& host, FakeWindow& window, ProgramState& state) {
    const AfterHandler next = FormCreate(host, window, state);
    Conclude(host, window, next);
    return next == AfterHandler::KeepWindow;
}

// Runs a handler to its end as the window does; returns the message of an
// error that ended it early, "ended" when it closed the window (the program's
// end), or "returned" when the window stays.
template <class Run>
std::string RunToEnd(FakeHost& host, FakeWindow& window, Run run) {
    try {
        const AfterHandler next = run();
        Conclude(host, window, next);
        return next == AfterHandler::CloseWindow ? "ended" : "returned";
    } catch (const HostError& error) {
        return Utf8(error.message());
    }
}

// A machine with the game and the downloaded installer, on which the program
// can be started again and again as a user or the list of programs starts it.
inline const Text kCopy = InGame(u"Data\\BrunVald.EXE");

struct Machine {
    FakeHost host;

    explicit Machine(unsigned gameFiles = kAllGameFiles,
                     const std::vector<MissionFile>& files = AurelmarkFiles()) {
        AddGame(host, gameFiles);
        AddMission(host, files);
        AddInstaller(host);
    }

    // One start of the program, as a user or the list of programs makes it.
    std::string Run(const Text& programPath, const Text& arguments) {
        AddInstaller(host, programPath, arguments);
        FakeWindow window;
        ProgramState state;
        if (!StartUp(host, window, state)) return "refused";
        lastWindowClosed = false;
        const std::string outcome = RunToEnd(host, window, [&] {
            return state.mode == InstallerMode::Install ? InstallRun(host, window, state)
                                                        : UninstallRun(host, window, state);
        });
        lastWindowClosed = window.closed;
        return outcome;
    }
    std::string Install() { return Run(u"C:\\Downloads\\Brunvald.exe", u""); }
    std::string Uninstall(const Text& from = kCopy) { return Run(from, u"UNINSTALL"); }

    // The game's folder without what the self-removal script takes away.
    std::vector<std::string> GameListing() const {
        std::vector<std::string> listing;
        for (const std::string& file : host.FileListing())
            if (file.find("\\DATA\\BRUNVALD.EXE=") == std::string::npos &&
                file.find("\\DES.BAT=") == std::string::npos)
                listing.push_back(file);
        return listing;
    }

    bool lastWindowClosed = false;
};

}  // namespace brunvald::testing
