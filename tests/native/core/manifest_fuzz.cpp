// libFuzzer entry for the manifest, the whole way the program takes it: the
// resource's bytes decoded (UTF-8, UTF-16 LE/BE by their marks, else
// Windows-1252), split into lines, each line split into name and file name,
// each name classified, and the mission's identity taken from all lines.
//
// Any bytes must get through without a read or write out of bounds, a leak
// or undefined behaviour. Beyond that the checks below hold properties that
// do not depend on how the code computes its result: lines never hold a
// break or NUL, well-formed text re-encodes to the very bytes it came from,
// and the identity follows the lines that name "CampPak" and "CampInI". The
// builder's check (core/manifest_check.h) takes the same bytes.
// Seeds: tests/fuzz/corpus/manifest.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

#include "core/manifest.h"
#include "core/manifest_check.h"
#include "core/mission_files.h"
#include "host/host_rules.h"
#include "tests/native/core/windows1252.h"

namespace {

using brunvald::Bytes;
using brunvald::Text;

void Require(bool condition) {
    if (!condition) __builtin_trap();
}

bool StartsWith(const std::uint8_t* data, std::size_t size, std::initializer_list<std::uint8_t> mark) {
    if (size < mark.size()) return false;
    std::size_t i = 0;
    for (std::uint8_t byte : mark)
        if (data[i++] != byte) return false;
    return true;
}

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// UTF-8 of text that holds only paired surrogates; false on a lone one.
bool EncodeUtf8(const Text& text, std::vector<std::uint8_t>& out) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (IsLowSurrogate(text[i])) return false;
        if (IsHighSurrogate(text[i])) {
            if (i + 1 == text.size() || !IsLowSurrogate(text[i + 1])) return false;
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<std::uint8_t>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<std::uint8_t>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<std::uint8_t>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<std::uint8_t>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<std::uint8_t>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<std::uint8_t>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<std::uint8_t>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<std::uint8_t>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<std::uint8_t>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<std::uint8_t>(0x80 | (cp & 0x3F)));
        }
    }
    return true;
}

// The decoded text against the bytes it came from, by encoding.
void CheckDecodedText(const std::uint8_t* data, std::size_t size, const Text& text) {
    if (StartsWith(data, size, {0xEF, 0xBB, 0xBF})) {
        const std::size_t body = size - 3;
        // Every unit stands for at least one byte (a pair for four).
        Require(text.size() <= body);
        std::vector<std::uint8_t> again;
        // UTF-8 cannot carry a surrogate: the decoder may only pair them.
        Require(EncodeUtf8(text, again));
        if (text.find(char16_t{0xFFFD}) == Text::npos)
            Require(again == std::vector<std::uint8_t>(data + 3, data + size));
        return;
    }
    const bool little = StartsWith(data, size, {0xFF, 0xFE});
    const bool big = !little && StartsWith(data, size, {0xFE, 0xFF});
    if (little || big) {
        const std::size_t body = size - 2;
        Require(text.size() == body / 2 + body % 2);
        for (std::size_t i = 0; i + 1 < body; i += 2) {
            const std::uint8_t first = data[2 + i], second = data[3 + i];
            const char16_t expected =
                static_cast<char16_t>(big ? (first << 8) | second : (second << 8) | first);
            Require(text[i / 2] == expected);
        }
        if (body % 2) Require(text.back() == 0xFFFD);
        return;
    }
    // Windows-1252: one unit per byte, ASCII as it is.
    Require(text.size() == size);
    for (std::size_t i = 0; i < size; ++i)
        if (data[i] < 0x80) Require(text[i] == data[i]);
}

bool Contains(const Text& text, std::u16string_view part) { return text.find(part) != Text::npos; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Bytes bytes(data, size);
    const Text text = brunvald::DecodeManifestText(bytes, brunvald::testing::DecodeWindows1252);
    CheckDecodedText(data, size, text);

    const brunvald::ResourceManifest lines = brunvald::DecodeManifest(bytes, brunvald::testing::DecodeWindows1252);
    Require(lines == brunvald::SplitManifestLines(text));

    // The lines are the text up to its first NUL, cut at the breaks: their
    // units appear in order in that part and hold no break of their own.
    const std::size_t end = std::min(text.find(u'\0'), text.size());
    std::size_t at = 0;
    for (const Text& line : lines) {
        Require(line.find_first_of(std::u16string_view(u"\r\n\0", 3)) == Text::npos);
        Require(text.compare(at, line.size(), line) == 0);
        at += line.size();
        // One CR, one LF or one CRLF follows each line but the last.
        if (at < end && text[at] == u'\r') ++at;
        if (at < end && text[at] == u'\n') ++at;
    }
    Require(at == end);

    for (const Text& line : lines) {
        const brunvald::ManifestEntry entry = brunvald::ParseEntry(line);
        const std::size_t blank = line.find(u' ');
        // The name is trimmed text from before the first blank; no blank, no name.
        Require(entry.resourceName.size() <= (blank == Text::npos ? 0 : blank));
        if (!entry.resourceName.empty()) {
            Require(entry.resourceName.front() > u' ' && entry.resourceName.back() > u' ');
            Require(Contains(line.substr(0, blank), entry.resourceName));
        }
        // The file name is a stretch of the line that ends one unit before it.
        Require(entry.fileName.size() < line.size() || line.empty());
        if (!entry.fileName.empty())
            Require(line.compare(line.size() - 1 - entry.fileName.size(), entry.fileName.size(),
                                 entry.fileName) == 0);
        const brunvald::EntryKind kind = brunvald::ClassifyEntry(entry.resourceName);
        if (kind == brunvald::EntryKind::Maps) Require(Contains(entry.resourceName, u"Maps"));
        if (kind == brunvald::EntryKind::CampPak) Require(entry.resourceName == u"CampPak");
    }

    const brunvald::MissionIdentity identity = brunvald::DeriveIdentity(lines);
    const Text* lastPak = nullptr;
    const Text* lastIni = nullptr;
    for (const Text& line : lines) {
        if (Contains(line, u"CampPak")) lastPak = &line;
        if (Contains(line, u"CampInI")) lastIni = &line;
    }
    Require(identity.hasCampPak == (lastPak != nullptr));
    if (lastPak) {
        Require(identity.missionName.size() < lastPak->size());
        Require(Contains(*lastPak, identity.missionName));
        Require(identity.displayName == u"Vantorel Mission : " + identity.missionName);
        Require(identity.titleText == u"Vantorel Mission\r\n" + identity.missionName);
    } else {
        Require(identity.missionName.empty() && identity.displayName.empty());
    }
    if (lastIni) Require(Contains(*lastIni, identity.missionMarker));
    else Require(identity.missionMarker.empty());

    // The builder's check of the same bytes (every listed file present): a
    // refusal by line shows that line, and what it accepts the installer
    // writes under the names given, none of them a device.
    const brunvald::ManifestCheck check =
        brunvald::CheckManifest(bytes, [](const std::string&) { return true; }, "mission");
    Require(check.fault.has_value() == check.statements.empty());
    if (check.fault) {
        Require(check.fault->line == 0 || !check.fault->lineText.empty());
        Require(check.warnings.empty());
    }
    for (const brunvald::ManifestStatement& statement : check.statements) {
        Require(statement.line >= 1 && statement.line <= lines.size());
        Require(!statement.fileName.empty() && statement.fileName.size() <= 255);
        Require(brunvald::UnfitFileName(Text(statement.fileName.begin(), statement.fileName.end())) ==
                brunvald::UnfitName::None);
    }
    return 0;
}
