#include "core/mission_files.h"

#include "host/host_rules.h"

namespace brunvald {

Text BackupName(const MissionIdentity& identity, const Text& fileName) {
    return identity.missionMarker + u"-" + fileName;
}

Text CampaignFolderFor(const Text& campaignsFolder, const Text& setFileName) {
    if (setFileName.size() <= 3) return {};
    // Separators could climb out, wildcards would be expanded by the shell's
    // delete of the folder, and the rest Windows refuses in a name.
    if (setFileName.find_first_of(u"\\/:*?<>|\"") != Text::npos) return {};
    for (char16_t unit : setFileName)
        if (unit < 0x20) return {};
    const Text name = setFileName.substr(0, setFileName.size() - 3);
    const std::size_t last = name.find_last_not_of(u". ");
    if (last == Text::npos) return {};
    // "COM1.set" would make the folder the serial port.
    if (UnfitFileName(std::u16string_view(name).substr(0, last + 1)) == UnfitName::Device) return {};
    return campaignsFolder + name + u"\\";
}

UnfitName UnfitFileName(std::u16string_view name) {
    if (name.empty()) return UnfitName::None;
    if (name.back() == u'.' || name.back() == u' ') return UnfitName::EndsInDotOrBlank;
    // Windows' own test: the part before the first dot, less the blanks
    // that end it, compared without letter case.
    std::u16string_view base = name.substr(0, name.find(u'.'));
    while (!base.empty() && base.back() == u' ') base.remove_suffix(1);
    const Text upper = AsciiUpper(Text(base));
    for (std::u16string_view device : {u"CON", u"PRN", u"AUX", u"NUL", u"CONIN$", u"CONOUT$"})
        if (upper == device) return UnfitName::Device;
    if (upper.size() == 4 && (upper.starts_with(u"COM") || upper.starts_with(u"LPT")) &&
        std::u16string_view(u"123456789\u00b9\u00b2\u00b3").find(upper[3]) != std::u16string_view::npos)
        return UnfitName::Device;
    return UnfitName::None;
}

}  // namespace brunvald
