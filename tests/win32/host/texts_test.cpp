// Code pages, the version block, the script file and short paths. The
// expectations assume the German locale the test runner sets (ANSI 1252,
// OEM 850, German system messages).
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/win32/win32_host.h"
#include "host/win32/win32_text.h"
#include "test_support.h"

#include <sddl.h>

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

// The elevated interpreter re-reads the script while it waits: only the
// Administrators group and SYSTEM may change it, whatever the folder allows.
// Wine 8 keeps no access list of a file (GetFileSecurityW and GetSecurityInfo
// report one made from the Unix mode, also for an open handle created with
// another), so the descriptor that the script is created with is read back.
TEST(ScriptAccessDescriptor, LetsOnlyAdministratorsAndSystemIn) {
    const unique_hlocal descriptor = win32::ScriptAccessDescriptor();
    ASSERT_TRUE(descriptor);
    ASSERT_TRUE(::IsValidSecurityDescriptor(descriptor.get()));
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(::GetSecurityDescriptorControl(descriptor.get(), &control, &revision));
    EXPECT_TRUE(control & SE_DACL_PROTECTED) << "the folder's entries would be inherited";
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    ASSERT_TRUE(::GetSecurityDescriptorDacl(descriptor.get(), &present, &dacl, &defaulted));
    ASSERT_TRUE(present && dacl) << "no access list: everyone may do everything";

    // S-1-5-32-544 (Administrators) and S-1-5-18 (SYSTEM), full access each,
    // and nobody else.
    const std::vector<std::pair<std::string, ACCESS_MASK>> expected = {
        {"S-1-5-32-544", FILE_ALL_ACCESS}, {"S-1-5-18", FILE_ALL_ACCESS}};
    std::vector<std::pair<std::string, ACCESS_MASK>> entries;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        ASSERT_TRUE(::GetAce(dacl, i, &ace));
        ASSERT_EQ(static_cast<ACE_HEADER*>(ace)->AceType, ACCESS_ALLOWED_ACE_TYPE);
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        wchar_t* sid = nullptr;
        ASSERT_TRUE(::ConvertSidToStringSidW(&allowed->SidStart, &sid));
        unique_hlocal sidOwner(sid);
        entries.emplace_back(Utf8(T(std::wstring(sid))), allowed->Mask);
    }
    EXPECT_EQ(entries, expected);
}

// A script of another make already there is replaced by a new file (the
// access list applies only to a file that CreateFileW makes).
TEST(WriteScriptFile, ReplacesAScriptOfAnotherMakeWithANewFile) {
    Win32Host host;
    TempFolder folder;
    const Text path = folder / u"des.bat";
    WriteText(path, "vorher, und laenger als das Neue");
    ASSERT_EQ(ScriptError(host, path, {u":Label1"}), "");
    EXPECT_EQ(ReadBytes(path), ByteVector({':', 'L', 'a', 'b', 'e', 'l', '1', '\r', '\n'}));
}

TEST(WriteScriptFile, UnwritableFolderRaisesTheCreationError) {
    Win32Host host;
    TempFolder folder;
    const Text path = folder / u"fehlt\\des.bat";
    const std::string message = ScriptError(host, path, {u":Label1"});
    EXPECT_EQ(message.rfind("Datei \"" + Utf8(path) + "\" kann nicht erstellt werden. ", 0), 0u) << message;
}

// Windows refuses the best-fit flag and the question for a replaced character
// for UTF-8 and GB18030 and then writes nothing (Wine lets them pass, so only
// the way of asking can be checked here).
TEST(ConversionAskFor, AsksEachCodePageTheWayWindowsAccepts) {
    struct Case {
        unsigned codePage;
        unsigned long flags;
        bool asksDefaultUsed;
    };
    const Case cases[] = {
        {850, 0x400, true},     // WC_NO_BEST_FIT_CHARS
        {437, 0x400, true},
        {1252, 0x400, true},
        {932, 0x400, true},
        {65001, 0x80, false},   // WC_ERR_INVALID_CHARS
        {54936, 0x80, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.codePage);
        const win32::ConversionAsk ask = win32::ConversionAskFor(c.codePage);
        EXPECT_EQ(ask.flags, c.flags);
        EXPECT_EQ(ask.asksDefaultUsed, c.asksDefaultUsed);
    }
}

// The code pages the script can be written in: a legacy OEM code page, and
// UTF-8 (Windows' option "use Unicode UTF-8 for worldwide language support"),
// which refuses the flags a legacy code page is asked with.
TEST(EncodeLines, WritesEachCodePageOrRefuses) {
    struct Case {
        unsigned codePage;
        Text line;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {850, u"del \"C:\\Ä ö\\a.exe\"", "del \"C:\\\x8E \x94\\a.exe\"\r\n"},
        {850, u"del \"C:\\Игры\\a.exe\"", std::nullopt},
        {65001, u"del \"C:\\Ä ö\\a.exe\"", "del \"C:\\\xC3\x84 \xC3\xB6\\a.exe\"\r\n"},
        {65001, u"del \"C:\\Игры\\a.exe\"", "del \"C:\\\xD0\x98\xD0\xB3\xD1\x80\xD1\x8B\\a.exe\"\r\n"},
        {65001, u"ping -n 2 127.0.0.1 >nul", "ping -n 2 127.0.0.1 >nul\r\n"},
        {65001, Text(u"del \"C:\\") + char16_t(0xD800) + u".exe\"", std::nullopt},  // a lone surrogate
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.codePage);
        SCOPED_TRACE(Utf8(c.line));
        EXPECT_EQ(win32::EncodeLines({c.line}, c.codePage), c.expected);
    }
}

// Run by host.script.utf8_oem_code_page in a Unicode-only locale, where the
// ANSI and the OEM code page are UTF-8 (65001); skipped in the German one.
TEST(Utf8OemCodePage, TheScriptIsWrittenInUtf8) {
    if (!std::getenv("BRUNVALD_EXPECT_UTF8_OEM")) GTEST_SKIP() << "needs the UTF-8 locale of its own test";
    ASSERT_EQ(::GetOEMCP(), 65001u);
    Win32Host host;
    TempFolder folder;
    const Text path = folder / u"des.bat";
    ASSERT_EQ(ScriptError(host, path, {u":fast", u"del \"C:\\Spiele\\Ä\\Brunvald.exe\""}), "");
    const std::string expected = ":fast\r\ndel \"C:\\Spiele\\\xC3\x84\\Brunvald.exe\"\r\n";
    EXPECT_EQ(ReadBytes(path), ByteVector(expected.begin(), expected.end()));
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
