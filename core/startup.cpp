// FormCreate: the start-up steps between launch and the first display of the
// window. Its checks refuse with a message and close the window unseen.

#include <optional>

#include "core/command_line.h"
#include "core/handlers.h"
#include "core/install_journal.h"
#include "core/manifest.h"
#include "core/messages.h"
#include "core/mission_files.h"
#include "core/mission_model.h"
#include "core/game_folders.h"
#include "core/registry_records.h"
#include "host/host_rules.h"

namespace brunvald {

namespace {

AfterHandler Refuse(HostOps& host, const Text& text) {
    host.ShowMessageBox(text, message::kErrorCaption, kIconError);
    return AfterHandler::CloseWindow;
}

// An install ended hard between creating the maker key and writing its
// "CampMarker" (a crash, a kill, the power going) leaves that key without a
// marker, and this mission's uninstall entry, written just before, in place.
// Such a key names no other mission; refusing it would lock the player out of
// both a second install and the uninstall, with the game's files still
// replaced. A key without a marker and without this mission's entry still
// refuses: nothing shows that it is ours.
bool OwnMakerRecordUnfinished(HostOps& host, const MissionIdentity& identity) {
    const Text entryKey = UninstallEntryKey(identity.displayName);
    if (entryKey.empty()) return false;
    const auto registry = host.StartRegistryAccess();
    if (!registry->KeyExists(entryKey)) return false;
    // A maker key that does not open with full access shows no marker either.
    const auto key = registry->OpenKey(kMakerKey, false);
    return !key || key->ReadText(u"CampMarker").empty();
}

// The name of another mission whose install journal in the game's Data
// folder still records changes to the game (or cannot be read); empty when
// there is none. Its registry records may be gone (deleted by hand, or by a
// cleaning tool) while its files are still in the game: installing over them
// would save that mission's files as if they were the game's.
std::optional<Text> OtherMissionJournal(HostOps& host, const InstallPaths& paths,
                                        const MissionIdentity& identity) {
    const Text own = FileNamePart(JournalPath(paths, identity));
    const Text prefix = u"BRUNVALD-", suffix = u".JOURNAL";
    for (const Text& name : host.FileNamesMatching(paths.dataFolder, kJournalPattern)) {
        const Text upper = AsciiUpper(name);
        if (SamePathText(name, own) || !upper.starts_with(prefix) || !upper.ends_with(suffix)) continue;
        InstallJournal journal(host, paths.dataFolder + name, paths.gameFolder);
        if (journal.condition() == InstallJournal::Condition::Valid && journal.records().empty()) continue;
        if (!journal.missionName().empty()) return journal.missionName();
        return name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    }
    return std::nullopt;
}

void ResetFolderAttributes(HostOps& host, const InstallPaths& paths) {
    for (const Text* folder : {&paths.gameFolder, &paths.dataFolder, &paths.citiesFolder,
                               &paths.modelFolder, &paths.campaignsFolder})
        host.ResetAttributes(*folder);
}

}  // namespace

AfterHandler FormCreate(HostOps& host, InstallerWindow& window, ProgramState& state) {
    // Nothing a run needs may be trusted until the mode is chosen; an error
    // raised before that leaves the buttons unable to start a run.
    state.readyForRun = false;

    if (host.IsProcessRunning(u"Emperor.exe")) return Refuse(host, message::kGameRunning);

    const Text gameFolder = LocateGameFolder(host);
    if (gameFolder.empty()) return Refuse(host, message::kGameNotFound);

    state.manifest = LoadManifest(host);
    state.identity = DeriveIdentity(state.manifest);
    if (state.identity.hasCampPak) window.SetTitleText(state.identity.titleText);

    const RecordedMission recorded = ReadRecordedMission(host, state.identity.missionMarker);
    if (recorded.otherMission && !OwnMakerRecordUnfinished(host, state.identity))
        return Refuse(host, message::OtherMissionInstalled(recorded.name));

    state.paths = FormInstallPaths(gameFolder);
    if (const auto other = OtherMissionJournal(host, state.paths, state.identity))
        return Refuse(host, message::OtherMissionInstalled(*other));
    state.mission = BuildMission(state.manifest, state.paths);
    // A file name that Windows cannot hold would send the file into a device
    // or leave it under another name, and the run would report success.
    for (const MissionEntry& entry : state.mission)
        if (!TargetPath(entry).empty() && UnfitFileName(entry.fileName) != UnfitName::None)
            return Refuse(host, message::UnusableFileName(entry.fileName));
    ResetFolderAttributes(host, state.paths);
    host.ProcessPendingMessages();

    state.mode = FirstArgument(host.CommandLineText()) == u"UNINSTALL" ? InstallerMode::Uninstall
                                                                        : InstallerMode::Install;
    state.readyForRun = true;

    // A missing title font is reported but leaves the data complete.
    window.SetUpWindow(state.mode);
    return AfterHandler::KeepWindow;
}

}  // namespace brunvald
