// Code pages, the version block, the script file and short paths. The
// expectations assume the German locale the test runner sets (ANSI 1252,
// OEM 850, German system messages).
#include <gtest/gtest.h>

#include "host/win32/win32_host.h"
#include "host/win32/win32_text.h"
#include "test_support.h"

namespace brunvald::test {
namespace {

using win32::Win32Host;

TEST(Locale, IsTheGermanOneTheExpectationsAssume) {
    EXPECT_EQ(::GetACP(), 1252u);
    EXPECT_EQ(::GetOEMCP(), 850u);
}

TEST(DecodeAnsi, UsesTheAnsiCodePage) {
    Win32Host host;
    struct Case {
        ByteVector bytes;
        Text expected;
    };
    const Case cases[] = {
        {{}, u""},
        {{'C', 'a', 'm', 'p'}, u"Camp"},
        {{0xC4, 0xD6, 0xDC, 0xDF, 0xE4}, u"ÄÖÜßä"},
        {{0x80, 0xA9, 0x96}, u"€©–"},  // 1252's own letters, not Latin-1 controls
        {{'a', 0x00, 'b'}, Text(u"a\0b", 3)},
    };
    for (const Case& c : cases) EXPECT_EQ(host.DecodeAnsi(Bytes(c.bytes.data(), c.bytes.size())), c.expected);
}

TEST(BuildVersionText, ReadsTheFixedFileVersionOfThisProgram) {
    Win32Host host;
    // The version block of this program: FILEVERSION 1,2,6593,65535 while its
    // version strings say 1.2.0.0.
    EXPECT_EQ(host.BuildVersionText(), u"1.2.6593.65535");
}

TEST(SystemMessageText, IsThePlatformsGermanText) {
    EXPECT_EQ(win32::SystemMessageText(ERROR_ACCESS_DENIED), u"Zugriff verweigert.");
}

std::string ScriptError(Win32Host& host, const Text& path, const std::vector<Text>& lines) {
    try {
        host.WriteScriptFile(path, lines);
        return "";
    } catch (const HostError& error) {
        return Utf8(error.message());
    }
}

TEST(WriteScriptFile, WritesOemLinesWithCrLfAndReplacesOldContent) {
    Win32Host host;
    TempFolder folder;
    const Text path = folder / u"des.bat";
    WriteText(path, std::string(500, 'x'));
    ASSERT_EQ(ScriptError(host, path, {u":Label1", u"del \"C:\\Spiele\\Ä ö\\Brunvald.exe\""}), "");
    const std::string expected =
        ":Label1\r\n"
        "del \"C:\\Spiele\\\x8E \x94\\Brunvald.exe\"\r\n";  // Ä = 0x8E, ö = 0x94 in 850
    EXPECT_EQ(ReadBytes(path), ByteVector(expected.begin(), expected.end()));

    ASSERT_EQ(ScriptError(host, path, {u"", u"x"}), "");
    EXPECT_EQ(ReadBytes(path), ByteVector({'\r', '\n', 'x', '\r', '\n'}));
}

// A character without a place in the OEM code page would be written as "?"
// or as a look-alike: a "del" could then hit another file. Nothing is written.
TEST(WriteScriptFile, RefusesTextTheCodePageCannotHold) {
    Win32Host host;
    TempFolder folder;
    const Text path = folder / u"des.bat";
    for (const Text& line : {Text(u"del \"C:\\Игры\\a.exe\""), Text(u"del \"C:\\Spiele\\ł.exe\"")}) {
        SCOPED_TRACE(Utf8(line));
        const std::string message = ScriptError(host, path, {u":Label1", line});
        EXPECT_EQ(message.rfind("Datei \"" + Utf8(path) + "\" kann nicht erstellt werden. ", 0), 0u)
            << message;
        EXPECT_FALSE(Exists(path));
    }
}

TEST(WriteScriptFile, UnwritableFolderRaisesTheCreationError) {
    Win32Host host;
    TempFolder folder;
    const Text path = folder / u"fehlt\\des.bat";
    const std::string message = ScriptError(host, path, {u":Label1"});
    EXPECT_EQ(message.rfind("Datei \"" + Utf8(path) + "\" kann nicht erstellt werden. ", 0), 0u) << message;
}

TEST(ShortPathForm, GivesAnAsciiFormOfAnExistingPathOrNothing) {
    Win32Host host;
    TempFolder folder;
    const Text longFolder = folder / u"Der erste Kaiser Ä";
    MakeFolder(longFolder);
    const Text file = longFolder + u"\\Brunvald.exe";
    WriteText(file, "x");

    const Text shortForm = host.ShortPathForm(file);
    ASSERT_FALSE(shortForm.empty());
    for (char16_t unit : shortForm) EXPECT_LT(unit, 0x80) << Utf8(shortForm);
    // It names the same file.
    wchar_t longName[MAX_PATH] = {};
    const DWORD length = ::GetLongPathNameW(W(shortForm), longName, MAX_PATH);
    EXPECT_EQ(T(std::wstring(longName, length)), file);

    EXPECT_EQ(host.ShortPathForm(folder / u"fehlt.exe"), Text());
}

}  // namespace
}  // namespace brunvald::test
