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

// The uninstall could not move a saved game file back: the mission's file of
// that name cannot be removed (held open by another program, or a medium
// that cannot be written). Nothing is reported as done; the run can be
// started again.
inline Text GameFileNotRestored(const Text& path) {
    return u"Die Datei \"" + path +
           u"\" des Spiels konnte nicht wiederhergestellt werden, da die Datei der Mission an "
           u"ihrer Stelle nicht entfernt werden kann. Bitte schlie\u00dfen Sie alle Programme, die "
           u"sie verwenden, und klicken Sie erneut auf Deinstallieren.";
}

}  // namespace brunvald::message
