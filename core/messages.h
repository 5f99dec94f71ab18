// The German message boxes of start-up and the two runs: their texts,
// captions and icons, in one place.
#pragma once

#include "host/host_ops.h"

namespace brunvald::message {

inline constexpr char16_t kErrorCaption[] = u"Fehler";
inline constexpr char16_t kClosingCaption[] = u"Abschlussmeldung";

inline constexpr char16_t kGameRunning[] =
    u"Das Spiel <Der erste Kaiser> ist noch aktiv. Bitte beenden Sie das Programm und starten "
    u"Sie diese Deinstallationsroutine neu!";
inline constexpr char16_t kGameNotFound[] =
    u"Es konnte keine <Der erste Kaiser> Installation gefunden werden!";

// The other-mission refusal, with the recorded "CampName" between its pieces.
inline Text OtherMissionInstalled(const Text& recordedName) {
    return u"Aktuell ist eine andere Vantorel Mission installiert!\r\n\r\n\t< " + recordedName +
           u" >\r\n\r\nDiese muss erst deinstalliert werden, bevor Sie eine andere Mission "
           u"installieren! Rufen Sie dazu das Deinstallationsprogramm von Windows auf und starten "
           u"den Deinstallationsprozess.";
}

// A file of the mission has a name that Windows cannot hold (a device name
// such as NUL or COM1, or a dot or blank at its end): the installer is
// faulty, and only its maker can mend it.
inline Text UnusableFileName(const Text& fileName) {
    return u"Die Mission enthält die Datei <" + fileName +
           u">, deren Name unter Windows nicht als Dateiname möglich ist. Dieses "
           u"Installationsprogramm ist fehlerhaft. Bitte wenden Sie sich an den Ersteller der Mission!";
}

inline constexpr char16_t kCopyFailed[] =
    u"Das Programm konnte nicht installiert werden!(3647 Unbekannter Fehler)";
inline constexpr char16_t kInstallDone[] = u"Installation erfolgreich beendet!";

inline constexpr char16_t kEntryNotRemoved[] =
    u"Die Mission wurde erfolgreich deinstalliert, nur der Registryeintrag konnte "
    u"nichtentfernt werden. Sie können den Eintrag auch seperat löschen.";
inline constexpr char16_t kUninstallDone[] = u"Deinstallation erfolgreich beendet!";

// The uninstall could not move a saved game file back: the mission's file
// of that name cannot be replaced (held open by another program, or a medium
// that cannot be written). Nothing is reported as done; the run can be
// started again.
inline Text GameFileNotRestored(const Text& path) {
    return u"Die Datei \"" + path +
           u"\" des Spiels konnte nicht wiederhergestellt werden, da die Datei der Mission an "
           u"ihrer Stelle nicht entfernt werden kann. Bitte schlie\u00dfen Sie alle Programme, die "
           u"sie verwenden, und klicken Sie erneut auf Deinstallieren.";
}

// The same, with nothing in the way at the file's name: the backup itself
// will not move (held open, or a medium that cannot be written).
inline Text BackupNotRenamedBack(const Text& backup, const Text& path) {
    return u"Die Sicherung \"" + backup + u"\" konnte nicht wieder in \"" + path +
           u"\" umbenannt werden. Bitte schlie\u00dfen Sie alle Programme, die sie verwenden, und "
           u"klicken Sie erneut auf Deinstallieren.";
}

// A file the mission placed will not go.
inline Text MissionFileNotRemoved(const Text& path) {
    return u"Die Datei \"" + path +
           u"\" der Mission konnte nicht entfernt werden. Bitte schlie\u00dfen Sie alle Programme, "
           u"die sie verwenden, und klicken Sie erneut auf Deinstallieren.";
}

// The mission's files are gone, but a registry record will not: the copy
// and the journal stay, so that the uninstall can be run again.
inline Text RecordNotRemoved(const Text& keyPath) {
    return u"Die Dateien der Mission wurden entfernt, aber der Registryeintrag "
           u"\"HKEY_LOCAL_MACHINE\\" + keyPath +
           u"\" konnte nicht entfernt werden. Bitte starten Sie die Deinstallation erneut "
           u"als Administrator.";
}

// The install could not move a file it replaces to its backup name (a file
// of that name is in the way, the name is too long, the file is held open),
// and wrote nothing over it.
inline Text GameFileNotSaved(const Text& path, const Text& backup) {
    return u"Die Datei \"" + path + u"\" konnte nicht als \"" + backup +
           u"\" gesichert werden und wurde daher nicht ersetzt. Die Installation wurde "
           u"abgebrochen; \u00fcber \"Deinstallieren\" in der Systemsteuerung kann alles "
           u"r\u00fcckg\u00e4ngig gemacht werden.";
}

// The install journal cannot be read: which files are the game's is unknown
// until the uninstall has rebuilt it from the backups.
inline Text JournalUnreadable(const Text& path) {
    return u"Die Installationsdaten \"" + path +
           u"\" der Mission sind besch\u00e4digt. Die Mission muss erst deinstalliert werden, "
           u"bevor Sie sie erneut installieren! Rufen Sie dazu das Deinstallationsprogramm von "
           u"Windows auf und starten den Deinstallationsprozess.";
}

}  // namespace brunvald::message
