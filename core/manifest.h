// The manifest RCRES: its decoding into lines, the split of one line into a
// ManifestEntry, the mission's identity and the keys the runs recognise.
//
// The decoder takes arbitrary bytes (it is fuzzed): every input decodes to
// some text without reading out of bounds.
#pragma once

#include <functional>
#include <span>
#include <string_view>

#include "core/program_state.h"
#include "host/host_ops.h"

namespace brunvald {

// Keys of resourceName; exact, case-sensitive matches except "Maps", which
// matches anywhere inside the name.
namespace manifest_key {
inline constexpr std::u16string_view kMaps = u"Maps";
inline constexpr std::u16string_view kCampPak = u"CampPak";
inline constexpr std::u16string_view kCampSet = u"CampSet";
inline constexpr std::u16string_view kCampMap = u"CampMap";
inline constexpr std::u16string_view kCampMod = u"CampMod";
inline constexpr std::u16string_view kCampTR1 = u"CampTR1";
inline constexpr std::u16string_view kCampTR2 = u"CampTR2";
inline constexpr std::u16string_view kCampMsg = u"CampMsg";
inline constexpr std::u16string_view kCampEng = u"CampEng";
inline constexpr std::u16string_view kGaiaPic = u"GaiaPic";
inline constexpr std::u16string_view kMainPic = u"MainPic";
inline constexpr std::u16string_view kCampInI = u"CampInI";
}  // namespace manifest_key

// Where a key's file goes (the folders of InstallPaths; Campaign is the
// folder that the CampSet entry names).
enum class TargetFolder { Cities, Campaigns, Campaign, Model, Game, Data };

// The one table of the keys: how each matches, what it is and where its
// file goes. Both runs, the install journal and the start-up's mission model
// read it. Whatever the key, a file already at the target is saved under its
// backup name first. CampInI has no row: it
// only names the mission.
struct KeyRule {
    std::u16string_view key;
    bool matchesAnywhere;  // "Maps": anywhere inside resourceName
    EntryKind kind;
    TargetFolder folder;
};
std::span<const KeyRule> KeyRules();
// The row of a kind; null for EntryKind::Other.
const KeyRule* RuleFor(EntryKind kind);

// The kind of the first row that matches; Other when none does.
EntryKind ClassifyEntry(const Text& resourceName);

// Decodes 8-bit text in the system's ANSI code page.
using AnsiDecoder = std::function<Text(Bytes)>;

// The text of the manifest's bytes: a UTF-8, UTF-16 LE or UTF-16 BE mark
// selects that encoding (the mark is skipped), anything else is ANSI.
// Malformed UTF-8 becomes one U+FFFD per maximal ill-formed subsequence (the
// Unicode recommendation); a lone last byte of UTF-16 becomes one U+FFFD.
// Unpaired UTF-16 surrogates pass through as they are.
Text DecodeManifestText(Bytes bytes, const AnsiDecoder& decodeAnsi);

// Lines end at CR, LF or the end; after a line one CR and then one LF are
// skipped. A NUL ends the text; a break at the very end adds no empty line.
ResourceManifest SplitManifestLines(const Text& text);

ResourceManifest DecodeManifest(Bytes bytes, const AnsiDecoder& decodeAnsi);

// The resource "RCRES" of type "RT_RCDATA", decoded and split. Raises the
// resource-not-found error when it is missing.
ResourceManifest LoadManifest(HostOps& host);

// Splits `Name RT_RCDATA "file"` by fixed offsets from the first blank.
ManifestEntry ParseEntry(const Text& line);

// missionName / displayName / titleText from the last line containing
// "CampPak", missionMarker from the last line containing "CampInI".
MissionIdentity DeriveIdentity(const ResourceManifest& manifest);

}  // namespace brunvald
