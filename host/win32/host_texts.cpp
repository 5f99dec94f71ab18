#include "host/win32/host_texts.h"

namespace brunvald::win32 {

namespace {
Text Decimal(std::uint32_t value) {
    Text digits;
    do {
        digits.insert(digits.begin(), static_cast<char16_t>(u'0' + value % 10));
        value /= 10;
    } while (value != 0);
    return digits;
}

Text Upper(Text text) {
    for (char16_t& unit : text)
        if (unit >= u'a' && unit <= u'z') unit = static_cast<char16_t>(unit - 0x20);
    return text;
}
}  // namespace

Text ResourceNotFoundMessage(const Text& name) { return u"Ressource " + name + u" nicht gefunden"; }
Text FileCreateErrorMessage(const Text& fullPath, const Text& systemText) {
    return u"Datei \"" + fullPath + u"\" kann nicht erstellt werden. " + systemText;
}
Text StreamWriteErrorMessage() { return u"Stream-Schreibfehler"; }
Text MakeFoldersErrorMessage() { return u"Verzeichnis kann nicht erstellt werden"; }
Text RegistryTypeErrorMessage(const Text& v) { return u"Ungültiger Datentyp für '" + v + u"'"; }
Text RegistryReadErrorMessage(const Text& v) { return u"Fehler beim Holen der Daten für '" + v + u"'"; }
Text RegistryWriteErrorMessage(const Text& v) { return u"Fehler beim Setzen der Daten für '" + v + u"'"; }
Text SystemErrorMessage(std::uint32_t code, const Text& systemText) {
    if (code == 0) return u"Ein Aufruf einer Betriebssystemfunktion ist fehlgeschlagen";
    return u"Systemfehler.  Code: " + Decimal(code) + u".\r\n" + systemText;
}
Text FormatVersionText(std::uint32_t ms, std::uint32_t ls) {
    return Decimal(ms >> 16) + u"." + Decimal(ms & 0xFFFF) + u"." + Decimal(ls >> 16) + u"." +
           Decimal(ls & 0xFFFF);
}
bool ProcessNameMatches(const Text& exeField, const Text& exeName) {
    const Text wanted = Upper(exeName);
    const std::size_t cut = exeField.find_last_of(u"\\:");
    const Text filePart = cut == Text::npos ? exeField : exeField.substr(cut + 1);
    return Upper(filePart) == wanted || Upper(exeField) == wanted;
}

}  // namespace brunvald::win32
