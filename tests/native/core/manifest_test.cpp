// Decoding and splitting of the manifest, the split of one line and the
// mission's identity.
#include "core/manifest.h"

#include <gtest/gtest.h>

#include "host/host_rules.h"
#include "tests/native/core/fake_host.h"
#include "tests/native/core/windows1252.h"

namespace brunvald {
namespace {

using testing::AsBytes;
using testing::Utf8;
using testing::DecodeWindows1252;
using namespace std::string_literals;

ResourceManifest Decode(const std::string& bytes) {
    return DecodeManifest(AsBytes(bytes), DecodeWindows1252);
}

std::string Utf16(const std::u16string& text, bool bigEndian) {
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char16_t unit : text) {
        const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
        bytes += bigEndian ? std::string{high, low} : std::string{low, high};
    }
    return bytes;
}

const ResourceManifest kTwoLines = {u"MainPic RT_RCDATA \"a.jpg\"", u"CampInI RT_RCDATA \"ÄRMK.ini\""};

TEST(ManifestDecoding, MarksSelectTheEncoding) {
    const std::u16string text = u"MainPic RT_RCDATA \"a.jpg\"\r\nCampInI RT_RCDATA \"ÄRMK.ini\"";
    struct Case {
        const char* name;
        std::string bytes;
    };
    const Case cases[] = {
        {"ANSI", "MainPic RT_RCDATA \"a.jpg\"\r\nCampInI RT_RCDATA \"\xC4RMK.ini\""},
        {"UTF-8 mark", "\xEF\xBB\xBFMainPic RT_RCDATA \"a.jpg\"\r\nCampInI RT_RCDATA \"\xC3\x84RMK.ini\""},
        {"UTF-16 LE mark", Utf16(text, false)},
        {"UTF-16 BE mark", Utf16(text, true)},
    };
    for (const Case& c : cases) EXPECT_EQ(Decode(c.bytes), kTwoLines) << c.name;
}

TEST(ManifestDecoding, WithoutAMarkTheAnsiDecoderDecides) {
    int calls = 0;
    const AnsiDecoder counting = [&calls](Bytes bytes) {
        ++calls;
        return Text(bytes.size(), u'?');
    };
    EXPECT_EQ(DecodeManifestText(AsBytes("\xEF\xBB" "x"), counting), u"???");
    EXPECT_EQ(DecodeManifestText(AsBytes("\xFF" "x"), counting), u"??");
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(DecodeManifestText(AsBytes("\xEF\xBB\xBF"), counting), u"");
    EXPECT_EQ(calls, 2);
}

TEST(ManifestDecoding, MalformedInputBecomesReplacementCharacters) {
    struct Case {
        const char* name;
        std::string bytes;
        Text text;
    };
    const Case cases[] = {
        {"lone continuation", "\xEF\xBB\xBF" "a\x80" "b", u"a\uFFFDb"},
        {"overlong slash", "\xEF\xBB\xBF\xC0\xAF", u"\uFFFD\uFFFD"},
        {"truncated three-byte at end", "\xEF\xBB\xBF" "a\xE2\x82", u"a\uFFFD"},
        {"truncated then ASCII", "\xEF\xBB\xBF\xE2\x82" "b", u"\uFFFDb"},
        {"encoded surrogate", "\xEF\xBB\xBF\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
        {"beyond U+10FFFF", "\xEF\xBB\xBF\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"four-byte character", "\xEF\xBB\xBF\xF0\x9F\x98\x80", u"\U0001F600"},
        {"lead byte F5", "\xEF\xBB\xBF\xF5" "a", u"\uFFFDa"},
        {"odd UTF-16 LE", "\xFF\xFE" "a\0b"s, u"a\uFFFD"},
        {"odd UTF-16 BE", "\xFE\xFF\0a\0"s, u"a\uFFFD"},
        {"lone surrogate passes", std::string("\xFF\xFE\x00\xD8", 4), Text(1, char16_t(0xD800))},
        {"only a UTF-16 mark", "\xFF\xFE", u""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DecodeManifestText(AsBytes(c.bytes), DecodeWindows1252), c.text) << c.name;
}

TEST(ManifestDecoding, LineBreaks) {
    struct Case {
        const char* name;
        Text text;
        ResourceManifest lines;
    };
    const Case cases[] = {
        {"CR LF", u"a\r\nb", {u"a", u"b"}},
        {"lone LF", u"a\nb", {u"a", u"b"}},
        {"lone CR", u"a\rb", {u"a", u"b"}},
        {"LF CR is a line and an empty one", u"a\n\rb", {u"a", u"", u"b"}},
        {"CR CR", u"a\r\rb", {u"a", u"", u"b"}},
        {"final break adds no line", u"a\r\nb\r\n", {u"a", u"b"}},
        {"final LF CR adds one empty line", u"a\n\r", {u"a", u""}},
        {"empty lines inside stay", u"a\r\n\r\n\r\nb", {u"a", u"", u"", u"b"}},
        {"NUL ends the text", Text(u"a\r\nb\0c\r\nd", 9), {u"a", u"b"}},
        {"NUL at the start", Text(u"\0a", 2), {}},
        {"empty text", u"", {}},
        {"a single break", u"\r\n", {u""}},
        {"blanks are no breaks", u" a \t", {u" a \t"}},
    };
    for (const Case& c : cases) EXPECT_EQ(SplitManifestLines(c.text), c.lines) << c.name;
}

TEST(ManifestDecoding, LoadManifestReadsRcresAndReportsItsAbsence) {
    testing::FakeHost host;
    EXPECT_THROW(
        {
            try {
                LoadManifest(host);
            } catch (const HostError& error) {
                EXPECT_EQ(error.message(), u"Ressource RCRES nicht gefunden");
                throw;
            }
        },
        HostError);
    host.AddResource(u"rcres", "CampPak RT_RCDATA \"X.pak\"\nCampInI RT_RCDATA \"\xC4.ini\"",
                     u"rt_rcdata");
    EXPECT_EQ(LoadManifest(host),
              (ResourceManifest{u"CampPak RT_RCDATA \"X.pak\"", u"CampInI RT_RCDATA \"Ä.ini\""}));
}

TEST(ManifestEntries, ParseEntryOffsets) {
    struct Case {
        Text line, resourceName, fileName;
    };
    const Case cases[] = {
        {u"MainPic RT_RCDATA \"China_FE_MainMenu.jpg\"", u"MainPic", u"China_FE_MainMenu.jpg"},
        {u"CampSet RT_RCDATA \"Aurelmark.set\"", u"CampSet", u"Aurelmark.set"},
        {u"", u"", u""},
        // Only the first blank counts: a file name may hold blanks.
        {u"Maps_01 RT_RCDATA \"Neue Stadt.map\"", u"Maps_01", u"Neue Stadt.map"},
        // A leading blank is the first blank: p = 1.
        {u" MainPic RT_RCDATA \"x.jpg\"", u"", u"RCDATA \"x.jpg"},
        // No blank: p = 0, the file name runs from position 12.
        {u"MainPicRT_RCDATA\"x.jpg\"", u"", u"CDATA\"x.jpg"},
        // Just the key and the type word: nothing from position p + 12 on.
        {u"CampMod RT_RCDATA", u"CampMod", u""},
        {u"CampMod RT_RCDATA \"", u"CampMod", u""},
        {u"CampMod RT_RCDATA \"x", u"CampMod", u""},
        {u"CampMod RT_RCDATA \"xy", u"CampMod", u"x"},
        // A type word three units shorter costs the name three units.
        {u"CampMod RT_RCD \"Models.txt\"", u"CampMod", u"els.txt"},
        // Anything after the closing quote keeps the quote in the name.
        {u"CampMod RT_RCDATA \"Models.txt\" ", u"CampMod", u"Models.txt\""},
        // Units up to 32 are trimmed from the name, on both ends.
        {u"\tMainPic RT_RCDATA \"x.jpg\"", u"MainPic", u"x.jpg"},
        {u"Main\x01 RT_RCDATA \"x.jpg\"", u"Main", u"x.jpg"},
        {u"A B", u"A", u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Utf8(c.line));
        const ManifestEntry entry = ParseEntry(c.line);
        EXPECT_EQ(entry.resourceName, c.resourceName);
        EXPECT_EQ(entry.fileName, c.fileName);
    }
}

TEST(ManifestEntries, Classification) {
    struct Case {
        Text name;
        EntryKind kind;
    };
    const Case cases[] = {
        {u"Maps_01", EntryKind::Maps},     {u"xMapsy", EntryKind::Maps},
        {u"maps_01", EntryKind::Other},    {u"CampPak", EntryKind::CampPak},
        {u"CampSet", EntryKind::CampSet},  {u"CampMap", EntryKind::CampMap},
        {u"CampMod", EntryKind::CampMod},  {u"CampTR1", EntryKind::TreeImage},
        {u"CampTR2", EntryKind::TreeImage}, {u"CampTR3", EntryKind::Other},
        {u"CampMsg", EntryKind::CampMsg},  {u"CampEng", EntryKind::CampEng},
        {u"GaiaPic", EntryKind::GaiaPic},  {u"MainPic", EntryKind::MainPic},
        {u"MAINPIC", EntryKind::Other},    {u"MainPic2", EntryKind::Other},
        {u"CampInI", EntryKind::Other},    {u"", EntryKind::Other},
    };
    for (const Case& c : cases) EXPECT_EQ(ClassifyEntry(c.name), c.kind) << Utf8(c.name);
}

TEST(ManifestIdentity, Derivation) {
    struct Case {
        const char* name;
        ResourceManifest manifest;
        Text missionName, missionMarker;
        bool hasCampPak;
    };
    const Case cases[] = {
        {"both lines",
         {u"CampPak RT_RCDATA \"Aurelmark.pak\"", u"CampInI RT_RCDATA \"ARMK.ini\""},
         u"Aurelmark", u"ARMK", true},
        {"last match wins",
         {u"CampPak RT_RCDATA \"First.pak\"", u"CampInI RT_RCDATA \"ONE.ini\"",
          u"CampPak RT_RCDATA \"Second.pak\"", u"CampInI RT_RCDATA \"TWO.ini\""},
         u"Second", u"TWO", true},
        {"raw of five units or fewer gives empty fields",
         {u"CampPak RT_RCDATA \".pak\"", u"CampInI RT_RCDATA \"a.in"},
         u"", u"", true},
        {"six units leave one",
         {u"CampPak RT_RCDATA \"x.pak\"", u"CampInI RT_RCDATA \"Y.ini\""},
         u"x", u"Y", true},
        {"key inside a file name counts",
         {u"CampPak RT_RCDATA \"Real.pak\"", u"MainPic RT_RCDATA \"CampPakBild.jpg\"",
          u"Maps_01 RT_RCDATA \"CampInIx.map\""},
         u"CampPakBild", u"CampInIx", true},
        {"search is case-sensitive",
         {u"camppak RT_RCDATA \"A.pak\"", u"CAMPINI RT_RCDATA \"B.ini\""},
         u"", u"", false},
        {"no lines", {}, u"", u"", false},
        {"one line holds both keys",
         {u"CampPak RT_RCDATA \"CampInI.pak\""},
         u"CampInI", u"CampInI", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const MissionIdentity identity = DeriveIdentity(c.manifest);
        EXPECT_EQ(identity.missionName, c.missionName);
        EXPECT_EQ(identity.missionMarker, c.missionMarker);
        EXPECT_EQ(identity.hasCampPak, c.hasCampPak);
        if (c.hasCampPak) {
            EXPECT_EQ(identity.displayName, u"Vantorel Mission : " + c.missionName);
            EXPECT_EQ(identity.titleText, u"Vantorel Mission\r\n" + c.missionName);
        } else {
            EXPECT_EQ(identity.displayName, u"");
            EXPECT_EQ(identity.titleText, u"");
        }
    }
}

}  // namespace
}  // namespace brunvald
