// brunvald-pack: makes the installer for a mission from its folder (the
// manifest RCRES and the files it lists), with no compiler on the machine.
//
//   brunvald-pack MISSION_FOLDER OUTPUT.exe
//   brunvald-pack --stub INSTALLER.exe MISSION_FOLDER OUTPUT.exe
//   brunvald-pack --check MISSION_FOLDER [--statements FILE]
//
// The Windows program carries the installer without a mission as its
// resource INSTALLER; --stub names such a program instead (the build machine's
// brunvald-pack has none inside). --check only applies the manifest rules and
// ends with an "OK" line that counts the files: the build runs it before it
// compiles a mission's resources, and takes the accepted statements (one per
// line) from FILE for its resource script. Warnings go to the error stream in
// both modes; the output's folder must exist (nothing is made that a refusal
// would leave behind).

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "pack/file_io.h"
#include "pack/installer_pack.h"
#include "pack/mission.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace fs = std::filesystem;
using namespace brunvald::pack;

namespace {

constexpr char kUsage[] =
    "usage: brunvald-pack MISSION_FOLDER OUTPUT.exe\n"
    "       brunvald-pack --stub INSTALLER.exe MISSION_FOLDER OUTPUT.exe\n"
    "       brunvald-pack --check MISSION_FOLDER [--statements FILE]\n"
    "Makes the installer for the mission in MISSION_FOLDER (its manifest RCRES\n"
    "and the files it lists) and writes it to OUTPUT.exe.\n";

void Say(const std::string& text) { std::fputs((text + "\n").c_str(), stderr); }

int Usage() {
    std::fputs(kUsage, stderr);
    return 2;
}

// The manifest checked, and its warnings shown: the build goes on after them.
Mission CheckedMission(const fs::path& folder, const char* prefix) {
    Mission mission = CheckMissionFolder(folder);
    for (const std::string& warning : mission.warnings) Say(prefix + warning);
    return mission;
}

int Check(const std::vector<fs::path>& args) {
    if (args.size() != 2 && !(args.size() == 4 && args[2] == "--statements")) return Usage();
    const Mission mission = CheckedMission(args[1], "");
    if (args.size() == 4) {
        std::string text;
        for (const MissionFile& file : mission.files) text += file.statement.text + "\n";
        ReplaceFileWith(args[3], std::vector<std::uint8_t>(text.begin(), text.end()));
    }
    std::printf("%s: OK: mission %s (marker %s), %zu files%s\n", PathText(mission.manifestPath).c_str(),
                mission.name.c_str(), mission.marker.c_str(), mission.files.size(),
                mission.warnings.empty() ? "" : ", with the warnings above");
    return 0;
}

fs::path OwnProgram() {
#ifdef _WIN32
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return path;
#else
    std::error_code ignored;
    return fs::read_symlink("/proc/self/exe", ignored);
#endif
}

// The installer without a mission that this program carries, if any.
std::vector<std::uint8_t> CarriedStub() {
#ifdef _WIN32
    if (HRSRC found = FindResourceW(nullptr, L"INSTALLER", MAKEINTRESOURCEW(10))) {
        const auto* data = static_cast<const std::uint8_t*>(LockResource(LoadResource(nullptr, found)));
        if (data) return std::vector<std::uint8_t>(data, data + SizeofResource(nullptr, found));
    }
#endif
    return {};
}

// Refuses an output that cannot be written as named: a folder, a file in a
// folder that does not exist, or one of the inputs (writing it would destroy
// what it is made from).
void CheckOutputPath(const fs::path& output, const std::vector<fs::path>& inputs) {
    std::error_code error;
    if (fs::is_directory(output, error)) throw PackError(PathText(output) + " is a folder; name the installer file to write");
    // The builder makes no folder: a mistyped path would otherwise leave
    // folders behind that nobody asked for.
    const fs::path outputFolder = output.parent_path();
    if (!outputFolder.empty() && !fs::is_directory(outputFolder, error))
        throw PackError("the output folder " + PathText(outputFolder) + " does not exist; make it first");
    if (!fs::exists(output, error)) return;
    for (const fs::path& input : inputs) {
        if (!input.empty() && fs::equivalent(output, input, error))
            throw PackError("the output " + PathText(output) + " is one of the inputs (" + PathText(input) +
                            "); name another file");
    }
}

int Pack(const std::vector<fs::path>& args) {
    fs::path stubFile;
    std::size_t at = 0;
    if (args.size() == 4 && args[0] == "--stub") {
        stubFile = args[1];
        at = 2;
    } else if (args.size() != 2 || args[0].native().starts_with(fs::path("-").native())) {
        return Usage();
    }
    const fs::path folder = args[at], output = args[at + 1];
    const Mission mission = CheckedMission(folder, "brunvald-pack: ");

    std::vector<fs::path> inputs = {folder, mission.manifestPath, stubFile, OwnProgram()};
    for (const MissionFile& file : mission.files) inputs.push_back(file.path);
    CheckOutputPath(output, inputs);

    const std::vector<std::uint8_t> stub = stubFile.empty() ? CarriedStub() : ReadWholeFile(stubFile);
    if (stub.empty())
        throw PackError("this brunvald-pack carries no installer program; name one with --stub INSTALLER.exe");
    const std::vector<std::uint8_t> installer = BuildInstaller(stub, mission);
    ReplaceFileWith(output, installer);
    std::printf("brunvald-pack: %s (%zu bytes) from %s, %zu files\n", PathText(output).c_str(), installer.size(),
                PathText(folder).c_str(), mission.files.size());
    return 0;
}

int Run(const std::vector<fs::path>& args) {
    if (args.empty() || args[0] == "-h" || args[0] == "--help") return Usage();
    const bool checking = args[0] == "--check";
    try {
        return checking ? Check(args) : Pack(args);
    } catch (const std::exception& error) {
        // The build shows the check's refusal as the build's own message.
        if (checking) {
            Say(error.what());
        } else {
            Say("brunvald-pack: " + std::string(error.what()));
            Say("brunvald-pack: no installer was written");
        }
        return 1;
    }
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    SetConsoleOutputCP(CP_UTF8);
    return Run(std::vector<fs::path>(argv + 1, argv + argc));
}
#else
int main(int argc, char** argv) { return Run(std::vector<fs::path>(argv + 1, argv + argc)); }
#endif
