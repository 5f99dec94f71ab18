// The pure rules of the host: paths, name matching, version text, the error
// box and the message texts; and the test's own Windows-1252 decoder, which
// stands for the platform's ANSI code page in the fake host.
#include "host/host_rules.h"

#include <gtest/gtest.h>

#include "tests/native/core/fake_host.h"
#include "tests/native/core/windows1252.h"

namespace brunvald {
namespace {

using testing::AsBytes;
using testing::Utf8;
using testing::DecodeWindows1252;

TEST(HostRules, PathPieces) {
    struct Case {
        Text path, folder, file, withSeparator;
    };
    const Case cases[] = {
        {u"C:\\Spiele\\Data\\Brunvald.exe", u"C:\\Spiele\\Data\\", u"Brunvald.exe",
         u"C:\\Spiele\\Data\\Brunvald.exe\\"},
        {u"C:Brunvald.exe", u"C:", u"Brunvald.exe", u"C:Brunvald.exe\\"},
        {u"Brunvald.exe", u"", u"Brunvald.exe", u"Brunvald.exe\\"},
        {u"C:\\Spiele\\", u"C:\\Spiele\\", u"", u"C:\\Spiele\\"},
        {u"D:\\a:b\\c", u"D:\\a:b\\", u"c", u"D:\\a:b\\c\\"},
        {u"", u"", u"", u"\\"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Utf8(c.path));
        EXPECT_EQ(FolderPart(c.path), c.folder);
        EXPECT_EQ(FileNamePart(c.path), c.file);
        EXPECT_EQ(WithSeparator(c.path), c.withSeparator);
    }
}

// The folder of the running program, as the self-removal forms it to put its
// script there.
TEST(HostRules, ProgramFolder) {
    EXPECT_EQ(WithSeparator(FolderPart(u"D:\\Downloads\\Brunvald (1).exe")), u"D:\\Downloads\\");
    EXPECT_EQ(WithSeparator(FolderPart(u"E:Brunvald.exe")), u"E:\\");
}

TEST(HostRules, SamePathTextIgnoresAsciiCaseAndSeparatorSpelling) {
    struct Case {
        Text a, b;
        bool same;
    };
    const Case cases[] = {
        {u"C:\\Spiele\\Data\\Brunvald.exe", u"c:\\spiele\\data\\BRUNVALD.EXE", true},
        {u"C:\\Spiele\\Data\\Brunvald.exe", u"C:/Spiele/Data/Brunvald.exe", true},
        {u"C:\\Spiele\\\\Data\\Brunvald.exe", u"C:\\Spiele\\Data\\Brunvald.exe", true},
        {u"C:\\Spiele\\Data\\Brunvald (1).exe", u"C:\\Spiele\\Data\\Brunvald.exe", false},
        {u"C:\\Spiele Ä\\Brunvald.exe", u"C:\\Spiele ä\\Brunvald.exe", false},  // only a-z
        {u"\\\\server\\share\\x", u"\\server\\share\\x", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Utf8(c.a) + " vs " + Utf8(c.b));
        EXPECT_EQ(SamePathText(c.a, c.b), c.same);
    }
}

TEST(HostRules, ProcessNameMatching) {
    struct Case {
        Text field;
        bool matches;
    };
    const Case cases[] = {
        {u"Emperor.exe", true},
        {u"EMPEROR.EXE", true},
        {u"eMpErOr.ExE", true},
        {u"C:\\Games\\Kaiser\\Emperor.exe", true},
        {u"D:emperor.exe", true},
        {u"MyEmperor.exe", false},
        {u"Emperor.exe.bak", false},
        {u"Emperor.ex", false},
        {u"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Utf8(c.field));
        EXPECT_EQ(ProcessNameMatches(c.field, u"Emperor.exe"), c.matches);
    }
    // Only a-z are folded: a letter with a diacritic must match in its case.
    EXPECT_TRUE(ProcessNameMatches(u"kÄse.exe", u"KÄSE.EXE"));
    EXPECT_FALSE(ProcessNameMatches(u"käse.exe", u"KÄSE.EXE"));
    // The whole-text test catches a name that itself ends in a separator.
    EXPECT_TRUE(ProcessNameMatches(u"odd\\", u"ODD\\"));
}

TEST(HostRules, ExeFieldIsReadUpToNulOrWhole) {
    char16_t field[260];
    std::fill(std::begin(field), std::end(field), u'x');
    EXPECT_EQ(FieldText(field, 260).size(), 260u);
    field[3] = u'\0';
    EXPECT_EQ(FieldText(field, 260), u"xxx");
}

TEST(HostRules, VersionText) {
    struct Case {
        std::uint32_t ms, ls;
        Text text;
    };
    const Case cases[] = {
        {0x00010000, 0x00000000, u"1.0.0.0"},
        {0x00010002, 0x00000007, u"1.2.0.7"},
        {0x00010002, 0x19C1971E, u"1.2.6593.38686"},
        {0xFFFFFFFF, 0xFFFFFFFF, u"65535.65535.65535.65535"},
        {0x00000000, 0x00000000, u"0.0.0.0"},
        {0x000A0064, 0x03E82710, u"10.100.1000.10000"},
    };
    for (const Case& c : cases) EXPECT_EQ(FormatVersionText(c.ms, c.ls), c.text) << Utf8(c.text);
}

TEST(HostRules, ErrorBoxTextAppendsFullStopAfterUnitsAboveDot) {
    struct Case {
        Text message, shown;
    };
    const Case cases[] = {
        {u"Stream-Schreibfehler", u"Stream-Schreibfehler."},
        {u"Zugriff verweigert.", u"Zugriff verweigert."},
        {u"Fehler beim Setzen der Daten für 'CampExists'", u"Fehler beim Setzen der Daten für 'CampExists'"},
        {u"Ende!", u"Ende!"},               // "!" sorts before "."
        {u"Pfad 1/", u"Pfad 1/."},          // "/" sorts after "."
        {u"Zeile\r\n", u"Zeile\r\n"},
        {u"Größe ß", u"Größe ß."},
        {u"", u""},
    };
    for (const Case& c : cases) EXPECT_EQ(ErrorBoxText(c.message), c.shown) << Utf8(c.message);
}

TEST(HostRules, ErrorBoxCaption) {
    struct Case {
        Text programPath, caption;
    };
    const Case cases[] = {
        {u"C:\\Spiele\\Data\\BrunVald.EXE", u"Brunvald"},
        {u"C:\\Downloads\\Brunvald (1).exe", u"Brunvald (1)"},
        {u"C:\\x.y\\SETUP.Mission.exe", u"Setup"},
        {u"C:\\Downloads\\ÄRGER.exe", u"Ärger"},
        {u"C:\\Downloads\\äRGER.exe", u"ärger"},  // the first unit keeps its case
        {u"C:\\Downloads\\.exe", u""},
        {u"C:\\Downloads\\NOEXT", u"Noext"},
        {u"C:\\Downloads\\A×B.exe", u"A×b"},  // U+00D7 is no letter
    };
    for (const Case& c : cases) EXPECT_EQ(ErrorBoxCaption(c.programPath), c.caption) << Utf8(c.programPath);
    auto keep = [](char16_t unit) { return unit; };
    EXPECT_EQ(ErrorBoxCaption(u"C:\\A\\BRUN.exe", keep), u"BRUN");
}

TEST(HostRules, MessageTexts) {
    EXPECT_EQ(ResourceNotFoundMessage(u"CampMod"), u"Ressource CampMod nicht gefunden");
    EXPECT_EQ(FileCreateErrorMessage(u"C:\\G\\x.txt", u"Zugriff verweigert."),
              u"Datei \"C:\\G\\x.txt\" kann nicht erstellt werden. Zugriff verweigert.");
    EXPECT_EQ(StreamWriteErrorMessage(), u"Stream-Schreibfehler");
    EXPECT_EQ(MakeFoldersErrorMessage(), u"Verzeichnis kann nicht erstellt werden");
    EXPECT_EQ(RegistryTypeErrorMessage(u"Path"), u"Ungültiger Datentyp für 'Path'");
    EXPECT_EQ(RegistryReadErrorMessage(u"Path"), u"Fehler beim Holen der Daten für 'Path'");
    EXPECT_EQ(RegistryWriteErrorMessage(u"CampName"), u"Fehler beim Setzen der Daten für 'CampName'");
    EXPECT_EQ(SystemErrorMessage(1813, u"Nicht gefunden. "),
              u"Systemfehler.  Code: 1813.\r\nNicht gefunden. ");
    EXPECT_EQ(SystemErrorMessage(5, u"Zugriff verweigert.", u" (x)"),
              u"Systemfehler.  Code: 5.\r\nZugriff verweigert. (x)");
    EXPECT_EQ(SystemErrorMessage(0, u"egal"),
              u"Ein Aufruf einer Betriebssystemfunktion ist fehlgeschlagen");
    EXPECT_EQ(SystemErrorMessage(4294967295u, u""), u"Systemfehler.  Code: 4294967295.\r\n");
}

// The trace line: the message, then what is known of where it arose.
TEST(HostRules, ErrorTraceLine) {
    struct Case {
        HostError error;
        Text line;
    };
    const Case cases[] = {
        {HostError(u"Stream-Schreibfehler", {u"WriteFile", u"C:\\Spiele\\Data\\a.pak", 112}),
         u"Brunvald: Stream-Schreibfehler (WriteFile \"C:\\Spiele\\Data\\a.pak\", code 112)"},
        {HostError(u"Ressource X nicht gefunden", {u"FindResourceW", u"RT_RCDATA/X", 0}),
         u"Brunvald: Ressource X nicht gefunden (FindResourceW \"RT_RCDATA/X\")"},
        {HostError(u"Fehler beim Setzen der Daten für 'A'", {u"RegSetValueExW", u"", 5}),
         u"Brunvald: Fehler beim Setzen der Daten für 'A' (RegSetValueExW, code 5)"},
        {HostError(u"Datei", {u"", u"C:\\x", 2}), u"Brunvald: Datei (\"C:\\x\", code 2)"},
        {HostError(u"Verzeichnis kann nicht erstellt werden"),
         u"Brunvald: Verzeichnis kann nicht erstellt werden"},
    };
    for (const Case& c : cases) EXPECT_EQ(Utf8(ErrorTraceLine(c.error)), Utf8(c.line));
}

TEST(HostRules, Windows1252) {
    const std::string bytes = "A\x80\x81\x8A\x9F\xA0\xC4\xE4\xFF";
    const Text expected = {u'A', 0x20AC, 0x0081, 0x0160, 0x0178, 0x00A0, 0x00C4, 0x00E4, 0x00FF};
    EXPECT_EQ(DecodeWindows1252(AsBytes(bytes)), expected);
    EXPECT_EQ(DecodeWindows1252(AsBytes(std::string("\0x", 2))), Text(u"\0x", 2));
}

}  // namespace
}  // namespace brunvald
