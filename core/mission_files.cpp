#include "core/mission_files.h"

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
    if (name.find_first_not_of(u". ") == Text::npos) return {};
    return campaignsFolder + name + u"\\";
}

}  // namespace brunvald
