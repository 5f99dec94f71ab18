#include "core/manifest_check.h"

#include <algorithm>
#include <cstdio>
#include <set>
#include <string_view>

#include "core/manifest.h"
#include "core/mission_files.h"

namespace brunvald {

namespace {

// The line that the byte at `offset` is on, with the line breaks of the
// installer's split (CR LF, a lone CR, a lone LF): its number, the byte's
// column, and the line's text with every byte that is not printable ASCII
// written as \xNN.
struct LineAt {
    unsigned number = 1;
    std::size_t column = 1;
    std::string text;
};

LineAt LineOfOffset(Bytes bytes, std::size_t offset) {
    LineAt line;
    std::size_t start = 0;
    for (std::size_t i = 0; i < offset; ++i) {
        if (bytes[i] == '\n' || (bytes[i] == '\r' && (i + 1 >= bytes.size() || bytes[i + 1] != '\n'))) {
            ++line.number;
            start = i + 1;
        }
    }
    line.column = offset - start + 1;
    for (std::size_t i = start; i < bytes.size() && bytes[i] != '\r' && bytes[i] != '\n'; ++i) {
        if (bytes[i] >= 0x20 && bytes[i] < 0x7f) {
            line.text.push_back(static_cast<char>(bytes[i]));
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", bytes[i]);
            line.text += escaped;
        }
    }
    return line;
}

bool StartsWith(Bytes bytes, std::string_view mark) {
    return bytes.size() >= mark.size() && std::equal(mark.begin(), mark.end(), bytes.begin(),
                                                      [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; });
}

constexpr char kSaveAsAscii[] = "save the manifest as plain ASCII (in Notepad: Save As, Encoding ANSI)";

// ASCII only: the installer decodes a manifest without a byte-order mark in
// the system's ANSI code page, so anything above 127 would depend on the
// machine, and one with a mark it would read in another encoding than the
// build. A NUL would end the manifest early. The usual cause is an editor's
// encoding, which the message names.
std::optional<ManifestFault> CheckBytes(Bytes bytes) {
    if (StartsWith(bytes, "\xFF\xFE") || StartsWith(bytes, "\xFE\xFF"))
        return ManifestFault{0, "", std::string("the manifest is saved as UTF-16: ") + kSaveAsAscii};
    const std::size_t nuls = static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), 0));
    if (nuls > 1 && nuls * 4 >= bytes.size())
        return ManifestFault{0, "", std::string("the manifest is saved as UTF-16 (every other byte is NUL): ") +
                                        kSaveAsAscii};
    if (StartsWith(bytes, "\xEF\xBB\xBF")) {
        const LineAt line = LineOfOffset(bytes, 0);
        return ManifestFault{1, line.text,
                             std::string("the manifest is saved as UTF-8 with BOM (it begins with the bytes "
                                         "EF BB BF): ") + kSaveAsAscii};
    }
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != 0 && bytes[i] < 0x80) continue;
        const LineAt line = LineOfOffset(bytes, i);
        char why[160];
        if (bytes[i] == 0)
            std::snprintf(why, sizeof why, "a NUL byte in column %zu; the manifest must be plain text", line.column);
        else
            std::snprintf(why, sizeof why,
                          "the byte 0x%02X in column %zu is not ASCII: no umlauts or other letters outside A-Z "
                          "(write ae, oe, ue, ss), also not in file names",
                          bytes[i], line.column);
        return ManifestFault{line.number, line.text, why};
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

std::string Upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

// What stands at `at` where one blank must: "" when it is one blank.
std::string SeparatorFault(const std::string& line, std::size_t at, const std::string& after) {
    if (at >= line.size()) return "the line ends after " + after;
    if (line[at] == '\t') return "a tab after " + after + "; write one blank";
    if (line[at] != ' ') return "no blank after " + after;
    if (at + 1 < line.size() && (line[at + 1] == ' ' || line[at + 1] == '\t'))
        return "more than one blank after " + after + "; write one";
    return "";
}

// `Key RT_RCDATA "file name"` and nothing else: the form whose fixed offsets
// the installer's split of a line relies on. Returns what is wrong with the
// line, or "" when it has the form.
std::string SplitStatement(const std::string& line, std::string& name, std::string& fileName) {
    if (line[0] == ' ' || line[0] == '\t')
        return std::string("the line begins with a ") + (line[0] == ' ' ? "blank" : "tab") +
               "; the key must come first";
    if (!IsNameStart(line[0])) return "the key must begin with a letter A-Z, a-z or _";
    std::size_t i = 0;
    while (i < line.size() && IsNameChar(line[i])) ++i;
    name = line.substr(0, i);
    if (i < line.size() && line[i] != ' ' && line[i] != '\t')
        return std::string("the key holds the character '") + line[i] +
               "'; a key may hold only letters A-Z, a-z, digits and _";
    if (std::string fault = SeparatorFault(line, i, "the key " + name); !fault.empty()) return fault;

    constexpr std::string_view kType = "RT_RCDATA";
    const std::size_t typeStart = i + 1;
    const std::size_t typeEnd = std::min(line.find_first_of(" \t\"", typeStart), line.size());
    const std::string type = line.substr(typeStart, typeEnd - typeStart);
    if (type != kType) {
        if (Upper(type) == kType) return "the type word is written " + type + "; write RT_RCDATA in capitals";
        return "the type word after the key must be RT_RCDATA, not \"" + type + "\"";
    }
    if (std::string fault = SeparatorFault(line, typeEnd, "RT_RCDATA"); !fault.empty()) return fault;

    const std::size_t open = typeEnd + 1;
    if (open >= line.size() || line[open] != '"') return "the file name must be in double quotes (\"file name\")";
    const std::size_t close = line.find('"', open + 1);
    if (close == std::string::npos) return "the closing quote of the file name is missing";
    if (close + 1 != line.size()) {
        const std::string rest = line.substr(close + 1);
        if (rest.find_first_not_of(' ') == std::string::npos) return "a blank after the closing quote; nothing may follow it";
        if (rest.find_first_not_of(" \t") == std::string::npos) return "a tab after the closing quote; nothing may follow it";
        return "text after the closing quote (" + rest + "); nothing may follow it, and a file name holds no \"";
    }
    fileName = line.substr(open + 1, close - open - 1);
    return "";
}

// The most characters Windows allows in one name of a path, and in the name
// of a registry key.
constexpr std::size_t kLongestName = 255;

// The key a name differs from only in letter case ("Campset" -> "CampSet",
// "maps_01" -> "Maps_01"); "" when there is none.
std::string KeyMeant(const std::string& name) {
    const std::string upper = Upper(name);
    for (const KeyRule& rule : KeyRules()) {
        const std::string key = Narrow(Text(rule.key));
        if (!rule.matchesAnywhere) {
            if (upper == Upper(key)) return key;
        } else if (const std::size_t at = upper.find(Upper(key)); at != std::string::npos) {
            return name.substr(0, at) + key + name.substr(at + key.size());
        }
    }
    const std::string marker = Narrow(Text(manifest_key::kCampInI));
    return upper == Upper(marker) ? marker : "";
}

// "Maps..., CampPak, ..., CampInI": the keys of the table, for the warning
// about a key the installer does not know.
std::string KnownKeys() {
    std::string list;
    for (const KeyRule& rule : KeyRules())
        list += Narrow(Text(rule.key)) + (rule.matchesAnywhere ? "..., " : ", ");
    return list + Narrow(Text(manifest_key::kCampInI));
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

}  // namespace

ManifestCheck CheckManifest(Bytes manifest, const MissionFileProbe& fileIsPresent,
                            const std::string& folderText) {
    ManifestCheck result;
    auto refuse = [&result](unsigned line, const std::string& text, std::string why) {
        result.fault = ManifestFault{line, text, std::move(why)};
        result.statements.clear();
        result.warnings.clear();
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
        if (std::string fault = SplitStatement(line, name, fileName); !fault.empty())
            return refuse(number, line, "not a statement of the form Key RT_RCDATA \"file name\": " + fault);
        if (fileName.empty()) return refuse(number, line, "the file name is empty");
        // The installer puts a game folder in front of the name; a path in
        // it would write outside the game's folders.
        if (fileName.find_first_of("\\/:") != std::string::npos ||
            fileName.find_first_not_of('.') == std::string::npos)
            return refuse(number, line, "the file name must be a bare name without a folder");
        if (HasForbiddenCharacter(fileName))
            return refuse(number, line,
                          "the file name holds a character that Windows does not allow in file names "
                          "(* ? < > | or a control character such as a tab)");
        if (fileName.size() > kLongestName)
            return refuse(number, line,
                          "the file name has " + std::to_string(fileName.size()) + " characters; Windows allows " +
                              std::to_string(kLongestName));
        switch (UnfitFileName(Widen(fileName))) {
        case UnfitName::Device:
            return refuse(number, line,
                          "the file name is a device name of Windows (CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9, "
                          "also with an extension): the file would be written into the device; rename it");
        case UnfitName::EndsInDotOrBlank:
            return refuse(number, line,
                          "the file name ends in a dot or a blank, which Windows drops: the file would be "
                          "written under another name");
        case UnfitName::None: break;
        }
        const std::string upper = Upper(name);
        if (upper == "RCRES") return refuse(number, line, "the name RCRES is the manifest's own");
        if (!names.insert(upper).second)
            return refuse(number, line,
                          "the resource name " + name + " is listed twice (names ignore letter case)");
        const Text wideName = Widen(name);
        const EntryKind kind = ClassifyEntry(wideName);
        if (kind == EntryKind::Other && wideName != manifest_key::kCampInI) {
            // The runs compare keys exactly: a key in another letter case is
            // carried and never installed.
            if (const std::string meant = KeyMeant(name); !meant.empty())
                return refuse(number, line,
                              "the key " + name + " must be written " + meant +
                                  " (keys count letter case; as written the file would never be installed)");
            result.warnings.push_back(ManifestFault{
                number, line,
                "the installer does not know the key " + name + ": its file is carried but never installed "
                "(keys: " + KnownKeys() + ")"});
        }

        // The installer takes the mission's name from the line that contains
        // "CampPak" and its marker from the line that contains "CampInI",
        // anywhere in the line: a file name containing them would steal the
        // identity.
        if (wide.find(manifest_key::kCampPak) != Text::npos) {
            if (wideName != manifest_key::kCampPak)
                return refuse(number, line, "only the CampPak line may contain the word CampPak");
            if (fileName.size() <= 4)
                return refuse(number, line,
                              "the CampPak file name must be the mission's name and a four-character "
                              "extension such as .pak");
            // The mission's entry in the list of installed programs is a
            // registry key of that name.
            const std::size_t entryName = DeriveIdentity({wide}).displayName.size();
            if (entryName > kLongestName)
                return refuse(number, line,
                              "the mission's name (the CampPak file name less its last four characters) is too "
                              "long: with \"Vantorel Mission : \" before it, it has " + std::to_string(entryName) +
                                  " characters, and the name of a registry key holds at most " +
                                  std::to_string(kLongestName) + "; shorten it by " +
                                  std::to_string(entryName - kLongestName));
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
        switch (kind) {
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
                              "(not only dots and blanks, not a device name such as CON or COM1)");
            campSet = true;
            break;
        case EntryKind::CampMap:
            // The map goes into the folder that the CampSet line makes; met
            // before it, it would be written to a path outside the game.
            if (!campSet) return refuse(number, line, "the CampMap line must come after the CampSet line");
            break;
        default: break;
        }
        if (!fileIsPresent(fileName))
            return refuse(number, line, "the listed file \"" + fileName + "\" is not in " + folderText);
        result.statements.push_back(ManifestStatement{number, line, name, fileName});
    }

    if (!campPak)
        return refuse(0, "",
                      "no CampPak line; the mission's name comes from it (e.g. CampPak RT_RCDATA \"Aurelmark.pak\")");
    if (!campInI)
        return refuse(0, "",
                      "no CampInI line; the mission's marker comes from it (e.g. CampInI RT_RCDATA \"ARMK.ini\")");
    if (!campSet)
        result.warnings.push_back(ManifestFault{
            0, "", "no CampSet line: the mission installs no campaign (e.g. CampSet RT_RCDATA \"Aurelmark.set\")"});
    const MissionIdentity identity = DeriveIdentity(lines);
    result.missionName = Narrow(identity.missionName);
    result.missionMarker = Narrow(identity.missionMarker);
    // A file already at a mission file's name (the game's, or the player's)
    // is saved under the marker, "-" and that name, in its own folder: that
    // name must fit too.
    for (const ManifestStatement& statement : result.statements) {
        const KeyRule* rule = RuleFor(ClassifyEntry(Widen(statement.name)));
        const std::size_t backupName = result.missionMarker.size() + 1 + statement.fileName.size();
        if (rule && backupName > kLongestName)
            return refuse(statement.line, statement.text,
                          "a file already there is saved as " + result.missionMarker + "-" + statement.fileName + ", " +
                              std::to_string(backupName) + " characters; Windows allows " +
                              std::to_string(kLongestName) + ": shorten the marker (the CampInI file name)");
    }
    return result;
}

std::string DescribeFault(const std::string& manifestPath, const ManifestFault& fault) {
    if (fault.line == 0) return manifestPath + ": " + fault.why;
    return manifestPath + ":" + std::to_string(fault.line) + ": " + fault.why + "\n  line: " + fault.lineText;
}

std::string DescribeWarning(const std::string& manifestPath, const ManifestFault& warning) {
    return DescribeFault(manifestPath, ManifestFault{warning.line, warning.lineText, "warning: " + warning.why});
}

}  // namespace brunvald
