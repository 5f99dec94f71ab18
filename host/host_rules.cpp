#include "host/host_rules.h"

namespace brunvald {

namespace {

bool IsFolderMark(char16_t unit) { return unit == u'\\' || unit == u':'; }

// Index just past the last "\" or ":"; 0 when there is none.
std::size_t FileNameStart(const Text& path) {
    for (std::size_t i = path.size(); i > 0; --i)
        if (IsFolderMark(path[i - 1])) return i;
    return 0;
}

Text ComparablePath(const Text& path) {
    Text result;
    result.reserve(path.size());
    for (char16_t unit : AsciiUpper(path)) {
        if (unit == u'/') unit = u'\\';
        // A run of separators counts as one, except the two that open a
        // network path: "\\server\share" must stay apart from "\server".
        if (unit == u'\\' && result.size() > 1 && result.back() == u'\\') continue;
        result.push_back(unit);
    }
    return result;
}

}  // namespace

Text WithSeparator(const Text& folder) {
    if (!folder.empty() && folder.back() == u'\\') return folder;
    return folder + u'\\';
}

Text FolderPart(const Text& path) { return path.substr(0, FileNameStart(path)); }

Text FileNamePart(const Text& path) { return path.substr(FileNameStart(path)); }

bool SamePathText(const Text& a, const Text& b) { return ComparablePath(a) == ComparablePath(b); }

Text AsciiUpper(Text text) {
    for (char16_t& unit : text)
        if (unit >= u'a' && unit <= u'z') unit = static_cast<char16_t>(unit - 0x20);
    return text;
}

Text FieldText(const char16_t* field, std::size_t capacity) {
    std::size_t length = 0;
    while (length < capacity && field[length] != u'\0') ++length;
    return Text(field, length);
}

bool ProcessNameMatches(const Text& exeField, const Text& exeName) {
    const Text wanted = AsciiUpper(exeName);
    return AsciiUpper(FileNamePart(exeField)) == wanted || AsciiUpper(exeField) == wanted;
}

Text DecimalText(std::uint32_t value) {
    Text digits;
    do {
        digits.insert(digits.begin(), static_cast<char16_t>(u'0' + value % 10));
        value /= 10;
    } while (value != 0);
    return digits;
}

Text FormatVersionText(std::uint32_t versionMS, std::uint32_t versionLS) {
    return DecimalText(versionMS >> 16) + u'.' + DecimalText(versionMS & 0xFFFF) + u'.' +
           DecimalText(versionLS >> 16) + u'.' + DecimalText(versionLS & 0xFFFF);
}

Text ErrorBoxText(const Text& message) {
    if (!message.empty() && message.back() > u'.') return message + u'.';
    return message;
}

char16_t LowerLatin1(char16_t unit) {
    const bool asciiCapital = unit >= u'A' && unit <= u'Z';
    const bool latin1Capital = unit >= 0xC0 && unit <= 0xDE && unit != 0xD7;
    return asciiCapital || latin1Capital ? static_cast<char16_t>(unit + 0x20) : unit;
}

Text ErrorBoxCaption(const Text& programPath, UnitLowerCaser lower) {
    Text title = FileNamePart(programPath);
    title = title.substr(0, title.find(u'.'));
    for (std::size_t i = 1; i < title.size(); ++i) title[i] = lower(title[i]);
    return title;
}

Text ResourceNotFoundMessage(const Text& resourceName) {
    return u"Ressource " + resourceName + u" nicht gefunden";
}

Text FileCreateErrorMessage(const Text& fullPath, const Text& systemText) {
    return u"Datei \"" + fullPath + u"\" kann nicht erstellt werden. " + systemText;
}

Text StreamWriteErrorMessage() { return u"Stream-Schreibfehler"; }

Text MakeFoldersErrorMessage() { return u"Verzeichnis kann nicht erstellt werden"; }

Text RegistryTypeErrorMessage(const Text& valueName) {
    return u"Ungültiger Datentyp für '" + valueName + u"'";
}

Text RegistryReadErrorMessage(const Text& valueName) {
    return u"Fehler beim Holen der Daten für '" + valueName + u"'";
}

Text RegistryWriteErrorMessage(const Text& valueName) {
    return u"Fehler beim Setzen der Daten für '" + valueName + u"'";
}

Text ErrorTraceLine(const HostError& error) {
    const ErrorOrigin& origin = error.origin();
    Text where = origin.operation;
    if (!origin.path.empty()) where += (where.empty() ? u"\"" : u" \"") + origin.path + u'"';
    if (origin.code != 0) where += (where.empty() ? u"code " : u", code ") + DecimalText(origin.code);
    Text line = u"Brunvald: " + error.message();
    if (!where.empty()) line += u" (" + where + u')';
    return line;
}

Text SystemErrorMessage(std::uint32_t code, const Text& systemText, const Text& extraText) {
    if (code == 0) return u"Ein Aufruf einer Betriebssystemfunktion ist fehlgeschlagen";
    return u"Systemfehler.  Code: " + DecimalText(code) + u".\r\n" + systemText + extraText;
}

}  // namespace brunvald
