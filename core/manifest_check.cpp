#include "core/manifest_check.h"

#include <cstdio>
#include <set>
#include <string_view>

#include "core/manifest.h"
#include "core/mission_files.h"

namespace brunvald {

namespace {

// The number of the line that the byte at `offset` is on, with the line
// breaks of the installer's split (CR LF, a lone CR, a lone LF).
unsigned LineOfOffset(Bytes bytes, std::size_t offset) {
    unsigned line = 1;
    for (std::size_t i = 0; i < offset; ++i) {
        if (bytes[i] == '\n' || (bytes[i] == '\r' && (i + 1 >= bytes.size() || bytes[i + 1] != '\n')))
            ++line;
    }
    return line;
}

// ASCII only: the installer decodes a manifest without a byte-order mark in
// the system's ANSI code page, so anything above 127 would depend on the
// machine. A NUL would end the manifest early.
std::optional<ManifestFault> CheckBytes(Bytes bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == 0) return ManifestFault{LineOfOffset(bytes, i), "", "the manifest contains a NUL byte"};
        if (bytes[i] >= 0x80) {
            char why[80];
            std::snprintf(why, sizeof why, "the manifest is not ASCII (byte 0x%02x at offset %zu)", bytes[i], i);
            return ManifestFault{LineOfOffset(bytes, i), "", why};
        }
    }
    return std::nullopt;
}

Text Widen(std::string_view ascii) { return Text(ascii.begin(), ascii.end()); }

std::string Narrow(const Text& ascii) {
    std::string text;
    for (char16_t unit : ascii) text.push_back(static_cast<char>(unit));
    return text;
}

bool IsNameStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool IsNameChar(char c) { return IsNameStart(c) || (c >= '0' && c <= '9'); }

// `Name RT_RCDATA "file name"` and nothing else: the form whose fixed offsets
// the installer's split of a line relies on.
bool SplitStatement(const std::string& line, std::string& name, std::string& fileName) {
    std::size_t i = 0;
    if (line.empty() || !IsNameStart(line[0])) return false;
    while (i < line.size() && IsNameChar(line[i])) ++i;
    constexpr std::string_view kMiddle = " RT_RCDATA \"";
    if (line.compare(i, kMiddle.size(), kMiddle) != 0) return false;
    const std::size_t start = i + kMiddle.size();
    const std::size_t quote = line.find('"', start);
    if (quote == std::string::npos || quote + 1 != line.size()) return false;
    name = line.substr(0, i);
    fileName = line.substr(start, quote - start);
    return true;
}

// Characters that no Windows file name may hold ('"' cannot occur in the
// statement form). A wildcard would also reach the shell's delete of the
// campaign folder, which expands it.
bool HasForbiddenCharacter(const std::string& fileName) {
    for (char c : fileName)
        if (static_cast<unsigned char>(c) < 0x20 || std::string_view("*?<>|").find(c) != std::string_view::npos)
            return true;
    return false;
}

std::string Upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

}  // namespace

ManifestCheck CheckManifest(Bytes manifest, const MissionFileProbe& fileIsPresent,
                            const std::string& folderText) {
    ManifestCheck result;
    auto refuse = [&result](unsigned line, const std::string& text, std::string why) {
        result.fault = ManifestFault{line, text, std::move(why)};
        result.statements.clear();
        return result;
    };
    if (manifest.empty()) return refuse(0, "", "the manifest is empty");
    if (auto fault = CheckBytes(manifest)) {
        result.fault = fault;
        return result;
    }

    const ResourceManifest lines =
        SplitManifestLines(Widen(std::string_view(reinterpret_cast<const char*>(manifest.data()), manifest.size())));
    std::set<std::string> names;
    bool campPak = false, campInI = false, campSet = false;
    unsigned number = 0;
    for (const Text& wide : lines) {
        ++number;
        if (wide.empty()) continue;  // the installer skips it; the resource compiler ignores it
        const std::string line = Narrow(wide);
        std::string name, fileName;
        if (!SplitStatement(line, name, fileName))
            return refuse(number, line, "not a statement of the form: Name RT_RCDATA \"file name\"");
        if (fileName.empty()) return refuse(number, line, "the file name is empty");
        // The installer puts a game folder in front of the name; a path in
        // it would write outside the game's folders.
        if (fileName.find_first_of("\\/:") != std::string::npos ||
            fileName.find_first_not_of('.') == std::string::npos)
            return refuse(number, line, "the file name must be a bare name without a folder");
        if (HasForbiddenCharacter(fileName))
            return refuse(number, line,
                          "the file name holds a character that Windows does not allow in file names "
                          "(* ? < > | or a control character)");
        const std::string upper = Upper(name);
        if (upper == "RCRES") return refuse(number, line, "the name RCRES is the manifest's own");
        if (!names.insert(upper).second)
            return refuse(number, line,
                          "the resource name " + name + " is listed twice (names ignore letter case)");
        if (!fileIsPresent(fileName))
            return refuse(number, line, "the listed file \"" + fileName + "\" is not in " + folderText);

        // The installer takes the mission's name from the line that contains
        // "CampPak" and its marker from the line that contains "CampInI",
        // anywhere in the line: a file name containing them would steal the
        // identity.
        const Text wideName = Widen(name);
        if (wide.find(manifest_key::kCampPak) != Text::npos) {
            if (wideName != manifest_key::kCampPak)
                return refuse(number, line, "only the CampPak line may contain the word CampPak");
            if (fileName.size() <= 4)
                return refuse(number, line,
                              "the CampPak file name must be the mission's name and a four-character "
                              "extension such as .pak");
            campPak = true;
        }
        if (wide.find(manifest_key::kCampInI) != Text::npos) {
            if (wideName != manifest_key::kCampInI)
                return refuse(number, line, "only the CampInI line may contain the word CampInI");
            if (fileName.size() <= 4)
                return refuse(number, line,
                              "the CampInI file name must be the mission's marker and a four-character "
                              "extension such as .ini");
            campInI = true;
        }
        switch (ClassifyEntry(wideName)) {
        case EntryKind::CampSet:
            // The campaign's folder is the CampSet name less its last three
            // characters; the runs skip a name that would not give a folder
            // strictly inside the campaigns folder, and without it the
            // mission's campaign is not installed.
            if (fileName.size() <= 3)
                return refuse(number, line,
                              "the CampSet file name must have more than three characters (a name and a "
                              "three-letter extension)");
            if (CampaignFolderFor(u"Campaigns\\", Widen(fileName)).empty())
                return refuse(number, line,
                              "the CampSet file name less its last three characters must name a folder "
                              "(not only dots and blanks)");
            campSet = true;
            break;
        case EntryKind::CampMap:
            // The map goes into the folder that the CampSet line makes; met
            // before it, it would be written to a path outside the game.
            if (!campSet) return refuse(number, line, "the CampMap line must come after the CampSet line");
            break;
        default: break;
        }
        result.statements.push_back(ManifestStatement{number, line, name, fileName});
    }

    if (!campPak)
        return refuse(0, "",
                      "no CampPak line; the mission's name comes from it (e.g. CampPak RT_RCDATA \"Aurelmark.pak\")");
    if (!campInI)
        return refuse(0, "",
                      "no CampInI line; the mission's marker comes from it (e.g. CampInI RT_RCDATA \"ARMK.ini\")");
    return result;
}

std::string DescribeFault(const std::string& manifestPath, const ManifestFault& fault) {
    if (fault.line == 0) return manifestPath + ": " + fault.why;
    return manifestPath + ":" + std::to_string(fault.line) + ": " + fault.why + "\n  line: " + fault.lineText;
}

}  // namespace brunvald
