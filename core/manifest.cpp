#include "core/manifest.h"

#include <algorithm>
#include <initializer_list>

namespace brunvald {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool StartsWith(Bytes bytes, std::initializer_list<std::uint8_t> mark) {
    if (bytes.size() < mark.size()) return false;
    std::size_t i = 0;
    for (std::uint8_t byte : mark)
        if (bytes[i++] != byte) return false;
    return true;
}

void AppendCodePoint(Text& text, char32_t codePoint) {
    if (codePoint < 0x10000) {
        text.push_back(static_cast<char16_t>(codePoint));
        return;
    }
    codePoint -= 0x10000;
    text.push_back(static_cast<char16_t>(0xD800 + (codePoint >> 10)));
    text.push_back(static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF)));
}

// The sequence length a lead byte announces and the range its second byte
// must lie in (which rules out overlong forms, surrogates and values beyond
// U+10FFFF); length 0 for a byte that cannot start a sequence.
struct Utf8Lead {
    std::size_t length;
    std::uint8_t secondLow;
    std::uint8_t secondHigh;
};

Utf8Lead ClassifyLead(std::uint8_t byte) {
    if (byte < 0x80) return {1, 0, 0};
    if (byte >= 0xC2 && byte <= 0xDF) return {2, 0x80, 0xBF};
    if (byte == 0xE0) return {3, 0xA0, 0xBF};
    if (byte == 0xED) return {3, 0x80, 0x9F};
    if (byte >= 0xE1 && byte <= 0xEF) return {3, 0x80, 0xBF};
    if (byte == 0xF0) return {4, 0x90, 0xBF};
    if (byte >= 0xF1 && byte <= 0xF3) return {4, 0x80, 0xBF};
    if (byte == 0xF4) return {4, 0x80, 0x8F};
    return {0, 0, 0};
}

Text DecodeUtf8(Bytes bytes) {
    static constexpr std::uint8_t kLeadMask[5] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    Text text;
    text.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        const Utf8Lead lead = ClassifyLead(bytes[i]);
        if (lead.length == 0) {
            text.push_back(kReplacement);
            ++i;
            continue;
        }
        char32_t codePoint = bytes[i] & kLeadMask[lead.length];
        std::size_t taken = 1;  // bytes of this sequence found valid so far
        for (; taken < lead.length && i + taken < bytes.size(); ++taken) {
            const std::uint8_t byte = bytes[i + taken];
            const std::uint8_t low = taken == 1 ? lead.secondLow : 0x80;
            const std::uint8_t high = taken == 1 ? lead.secondHigh : 0xBF;
            if (byte < low || byte > high) break;
            codePoint = (codePoint << 6) | (byte & 0x3F);
        }
        if (taken == lead.length)
            AppendCodePoint(text, codePoint);
        else
            text.push_back(kReplacement);  // one for the whole broken stretch
        i += taken;
    }
    return text;
}

Text DecodeUtf16(Bytes bytes, bool bigEndian) {
    Text text;
    text.reserve(bytes.size() / 2 + 1);
    std::size_t i = 0;
    for (; i + 1 < bytes.size(); i += 2) {
        const unsigned first = bytes[i], second = bytes[i + 1];
        text.push_back(static_cast<char16_t>(bigEndian ? (first << 8) | second
                                                       : (second << 8) | first));
    }
    if (i < bytes.size()) text.push_back(kReplacement);  // a lone last byte
    return text;
}

bool IsBlankOrControl(char16_t unit) { return unit <= u' '; }

Text TrimControls(const Text& text) {
    std::size_t begin = 0, end = text.size();
    while (begin < end && IsBlankOrControl(text[begin])) ++begin;
    while (end > begin && IsBlankOrControl(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

// The part from position p + 12 (counting from 1) to the end, p being the
// position of the first blank or 0: the file name with its closing quote.
Text RawPart(const Text& line) {
    const std::size_t blank = line.find(u' ');
    const std::size_t p = blank == Text::npos ? 0 : blank + 1;
    const std::size_t start = p + 11;
    return start < line.size() ? line.substr(start) : Text();
}

// Drops the last `count` units; empty when there are no more than that.
Text DropLast(const Text& text, std::size_t count) {
    return text.size() > count ? text.substr(0, text.size() - count) : Text();
}

bool Contains(const Text& text, std::u16string_view part) {
    return text.find(part) != Text::npos;
}

}  // namespace

std::span<const KeyRule> KeyRules() {
    namespace key = manifest_key;
    using F = TargetFolder;
    static constexpr KeyRule kRules[] = {
        {key::kMaps, true, EntryKind::Maps, F::Cities},
        {key::kCampPak, false, EntryKind::CampPak, F::Campaigns},
        {key::kCampSet, false, EntryKind::CampSet, F::Campaign},
        {key::kCampMap, false, EntryKind::CampMap, F::Campaign},
        {key::kCampMod, false, EntryKind::CampMod, F::Model},
        {key::kCampTR1, false, EntryKind::TreeImage, F::Model},
        {key::kCampTR2, false, EntryKind::TreeImage, F::Model},
        {key::kCampMsg, false, EntryKind::CampMsg, F::Model},
        {key::kCampEng, false, EntryKind::CampEng, F::Game},
        {key::kGaiaPic, false, EntryKind::GaiaPic, F::Data},
        {key::kMainPic, false, EntryKind::MainPic, F::Data},
    };
    return kRules;
}

const KeyRule* RuleFor(EntryKind kind) {
    for (const KeyRule& rule : KeyRules())
        if (rule.kind == kind) return &rule;
    return nullptr;
}

EntryKind ClassifyEntry(const Text& name) {
    for (const KeyRule& rule : KeyRules())
        if (rule.matchesAnywhere ? Contains(name, rule.key) : name == rule.key) return rule.kind;
    return EntryKind::Other;
}

Text DecodeManifestText(Bytes bytes, const AnsiDecoder& decodeAnsi) {
    if (StartsWith(bytes, {0xEF, 0xBB, 0xBF})) return DecodeUtf8(bytes.subspan(3));
    if (StartsWith(bytes, {0xFF, 0xFE})) return DecodeUtf16(bytes.subspan(2), false);
    if (StartsWith(bytes, {0xFE, 0xFF})) return DecodeUtf16(bytes.subspan(2), true);
    return decodeAnsi(bytes);
}

ResourceManifest SplitManifestLines(const Text& text) {
    const std::size_t end = std::min(text.find(u'\0'), text.size());
    ResourceManifest lines;
    std::size_t pos = 0;
    while (pos < end) {
        std::size_t stop = pos;
        while (stop < end && text[stop] != u'\r' && text[stop] != u'\n') ++stop;
        lines.push_back(text.substr(pos, stop - pos));
        pos = stop;
        if (pos < end && text[pos] == u'\r') ++pos;
        if (pos < end && text[pos] == u'\n') ++pos;
    }
    return lines;
}

ResourceManifest DecodeManifest(Bytes bytes, const AnsiDecoder& decodeAnsi) {
    return SplitManifestLines(DecodeManifestText(bytes, decodeAnsi));
}

ResourceManifest LoadManifest(HostOps& host) {
    const Bytes bytes = host.LoadResourceData(u"RT_RCDATA", u"RCRES");
    return DecodeManifest(bytes, [&host](Bytes ansi) { return host.DecodeAnsi(ansi); });
}

ManifestEntry ParseEntry(const Text& line) {
    const std::size_t blank = line.find(u' ');
    ManifestEntry entry;
    if (blank != Text::npos) entry.resourceName = TrimControls(line.substr(0, blank + 1));
    entry.fileName = DropLast(RawPart(line), 1);
    return entry;
}

MissionIdentity DeriveIdentity(const ResourceManifest& manifest) {
    MissionIdentity identity;
    for (const Text& line : manifest) {
        if (Contains(line, manifest_key::kCampPak)) {
            // The closing quote and a four-unit extension such as ".pak".
            identity.missionName = DropLast(RawPart(line), 5);
            identity.displayName = u"Vantorel Mission : " + identity.missionName;
            identity.titleText = u"Vantorel Mission\r\n" + identity.missionName;
            identity.hasCampPak = true;
        }
        if (Contains(line, manifest_key::kCampInI))
            identity.missionMarker = DropLast(RawPart(line), 5);
    }
    return identity;
}

}  // namespace brunvald
