// ExtractResource, FileHoldsResource and the file operations against real
// files in a temporary folder.
#include <gtest/gtest.h>

#include <vector>

#include "host/win32/win32_host.h"
#include "test_support.h"
#include "tests/shared/host_rule_cases.h"

// After windows.h, which it needs.
#include <psapi.h>

namespace brunvald::test {
namespace {

using win32::Win32Host;

// The message that ExtractResource raises, or "" when none.
std::string ExtractError(Win32Host& host, const Text& name, const Text& target) {
    try {
        host.ExtractResource(name, target);
        return "";
    } catch (const HostError& error) {
        return Utf8(error.message());
    }
}

// The table of Windows' rules that the fake host keeps for the run tests.
TEST(HostRulesTable, TheWin32HostKeepsTheRulesTheFakeIsTestedWith) {
    for (const host_rules::Case& c : host_rules::Cases()) {
        Win32Host host;
        TempFolder folder;
        host_rules::RunCase(host, folder / u"", c, [](const Text& path) {
            ASSERT_TRUE(::SetFileAttributesW(W(path), FILE_ATTRIBUTE_READONLY));
        });
    }
}

// Where the error that ExtractResource raises arose.
ErrorOrigin ExtractErrorOrigin(Win32Host& host, const Text& name, const Text& target) {
    try {
        host.ExtractResource(name, target);
    } catch (const HostError& error) {
        return error.origin();
    }
    ADD_FAILURE() << "no error";
    return {};
}

// Each error names the call that failed, what it was given (the full path of
// a file) and the platform's code, for the trace.
TEST(ExtractResource, ErrorsCarryTheOperationPathAndCode) {
    Win32Host host;
    TempFolder folder;
    const Text readOnly = folder / u"geschützt.dat";
    WriteText(readOnly, "alt");
    ASSERT_TRUE(::SetFileAttributesW(W(readOnly), FILE_ATTRIBUTE_READONLY));
    struct Case {
        const char* name;
        Text resource, target;
        Text operation, path;
        std::uint32_t code;
    };
    const Case cases[] = {
        {"missing resource", u"Fehlt", folder / u"neu.txt", u"FindResourceW", u"RT_RCDATA/Fehlt", 0},
        {"read-only target", u"SHORTTEXT", readOnly, u"CreateFileW", readOnly, ERROR_ACCESS_DENIED},
        {"missing folder", u"SHORTTEXT", folder / u"fehlt\\datei.bin", u"CreateFileW",
         folder / u"fehlt\\datei.bin", ERROR_PATH_NOT_FOUND},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ErrorOrigin origin = ExtractErrorOrigin(host, c.resource, c.target);
        EXPECT_EQ(Utf8(origin.operation), Utf8(c.operation));
        EXPECT_EQ(Utf8(origin.path), Utf8(c.path));
        EXPECT_EQ(origin.code, c.code);
    }
}

struct PayloadCase {
    const char16_t* resource;
    const char* fixture;
};

class ExtractSizes : public ::testing::TestWithParam<PayloadCase> {};

// Sizes on both sides of the 61,440-byte piece, empty and several pieces with
// a remainder: every byte in place, nothing lost, nothing added.
TEST_P(ExtractSizes, WritesTheResourceByteForByte) {
    Win32Host host;
    TempFolder folder;
    const Text target = folder / u"out.bin";
    WriteText(target, std::string(300000, 'x'));  // longer than every payload

    ASSERT_EQ(ExtractError(host, GetParam().resource, target), "");
    const ByteVector expected = Fixture(GetParam().fixture);
    const auto written = ReadBytes(target);
    ASSERT_TRUE(written);
    ASSERT_EQ(written->size(), expected.size());
    EXPECT_TRUE(*written == expected);
    EXPECT_TRUE(host.FileHoldsResource(GetParam().resource, target));
}

INSTANTIATE_TEST_SUITE_P(Pieces, ExtractSizes,
                         ::testing::Values(PayloadCase{u"EMPTY", "empty.bin"},
                                           PayloadCase{u"ONEBYTE", "one_byte.bin"},
                                           PayloadCase{u"PIECE", "piece.bin"},
                                           PayloadCase{u"PIECEPLUS", "piece_plus.bin"},
                                           PayloadCase{u"BIG", "big.bin"}),
                         [](const ::testing::TestParamInfo<PayloadCase>& info) {
                             std::string name;
                             for (const char16_t* p = info.param.resource; *p; ++p)
                                 name += static_cast<char>(*p);
                             return name;
                         });

TEST(ExtractResource, FindsTheNameInAnyLetterCaseAndReplacesLongerContent) {
    Win32Host host;
    TempFolder folder;
    const Text target = folder / u"kurz.txt";
    WriteText(target, "a much longer former content that must not survive");
    ASSERT_EQ(ExtractError(host, u"ShortText", target), "");
    EXPECT_EQ(ReadBytes(target), ByteVector({'k', 'u', 'r', 'z'}));
}

TEST(ExtractResource, MissingResourceRaisesAndLeavesTheTargetUntouched) {
    Win32Host host;
    TempFolder folder;
    const Text existing = folder / u"alt.txt";
    WriteText(existing, "alt");
    EXPECT_EQ(ExtractError(host, u"Fehlt", existing), "Ressource Fehlt nicht gefunden");
    EXPECT_EQ(ReadBytes(existing), ByteVector({'a', 'l', 't'}));

    const Text absent = folder / u"neu.txt";
    EXPECT_EQ(ExtractError(host, u"Fehlt", absent), "Ressource Fehlt nicht gefunden");
    EXPECT_FALSE(Exists(absent));
}

TEST(ExtractResource, NumberedRawDataTypeIsNotTheNamedType) {
    Win32Host host;
    TempFolder folder;
    EXPECT_EQ(ExtractError(host, u"NUMBERED", folder / u"x.bin"), "Ressource NUMBERED nicht gefunden");
    EXPECT_FALSE(Exists(folder / u"x.bin"));
}

// CREATE_ALWAYS with the normal attribute is refused for a read-only and for a
// hidden file; the message carries the platform's German text.
TEST(ExtractResource, ProtectedTargetRaisesTheCreationErrorWithTheSystemText) {
    struct Case {
        DWORD attribute;
        const char* name;
    };
    for (const Case& c : {Case{FILE_ATTRIBUTE_READONLY, "readonly"}, Case{FILE_ATTRIBUTE_HIDDEN, "hidden"}}) {
        SCOPED_TRACE(c.name);
        Win32Host host;
        TempFolder folder;
        const Text target = folder / u"geschützt.dat";
        WriteText(target, "alt");
        ASSERT_TRUE(::SetFileAttributesW(W(target), c.attribute));
        EXPECT_EQ(ExtractError(host, u"SHORTTEXT", target),
                  "Datei \"" + Utf8(target) + "\" kann nicht erstellt werden. Zugriff verweigert.");
        EXPECT_EQ(ReadBytes(target), ByteVector({'a', 'l', 't'}));
    }
}

TEST(ExtractResource, MissingFolderRaisesAndIsNeverCreated) {
    Win32Host host;
    TempFolder folder;
    const Text target = folder / u"fehlt\\datei.bin";
    const std::string message = ExtractError(host, u"SHORTTEXT", target);
    EXPECT_EQ(message.rfind("Datei \"" + Utf8(target) + "\" kann nicht erstellt werden. ", 0), 0u)
        << message;
    EXPECT_GT(message.size(), ("Datei \"" + Utf8(target) + "\" kann nicht erstellt werden. ").size())
        << "the system's text is missing";
    EXPECT_FALSE(Exists(folder / u"fehlt"));
}

TEST(ExtractResource, ErrorShowsTheFullyExpandedPath) {
    Win32Host host;
    TempFolder folder;
    const Text target = folder / u"sub\\..\\fehlt\\x.bin";
    const std::string message = ExtractError(host, u"SHORTTEXT", target);
    EXPECT_EQ(message.rfind("Datei \"" + Utf8(folder / u"fehlt\\x.bin") + "\"", 0), 0u) << message;
}

// How many of the resource's pages are in the process's working set
// (resident in the process, as opposed to only in the system's file cache).
// Only pages at least 64 KB inside the resource count: touching a page of the
// mapped file may map its cached neighbours within the same 64 KB with it
// (Linux's fault-around), so reading the resource directory or a resource
// next to this one could bring in pages near its ends.
std::size_t ResidentPages(const std::uint8_t* data, std::size_t size) {
    constexpr std::uintptr_t kPage = 4096;
    constexpr std::uintptr_t kMargin = 65536;
    const std::uintptr_t first = (reinterpret_cast<std::uintptr_t>(data) + kMargin + kPage - 1) & ~(kPage - 1);
    const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(data) + size - kMargin) & ~(kPage - 1);
    std::vector<PSAPI_WORKING_SET_EX_INFORMATION> pages;
    for (std::uintptr_t page = first; page < end; page += kPage) {
        PSAPI_WORKING_SET_EX_INFORMATION entry{};
        entry.VirtualAddress = reinterpret_cast<void*>(page);
        pages.push_back(entry);
    }
    EXPECT_GE(pages.size(), 16u) << "the resource is too small to tell";
    EXPECT_TRUE(::QueryWorkingSetEx(::GetCurrentProcess(), pages.data(),
                                    static_cast<DWORD>(pages.size() * sizeof pages[0])));
    std::size_t resident = 0;
    for (const auto& entry : pages) resident += entry.VirtualAttributes.Valid ? 1 : 0;
    return resident;
}

// The payload goes from the program's own file to the target through one
// buffer: none of the resource's pages in the mapped image becomes resident
// in the process, so a mission of any size costs the installer one piece of
// memory. Written from the mapped resource instead, every page would be.
// (Under Wine this also needs the program's resource section to start on a
// page in its file: otherwise the loader reads it into private memory.)
TEST(ExtractResource, ReadsTheProgramFileAndLeavesTheMappedResourceOutOfTheProcess) {
    HMODULE self = ::GetModuleHandleW(nullptr);
    HRSRC info = ::FindResourceW(self, L"UNTOUCHED", L"RT_RCDATA");
    ASSERT_NE(info, nullptr);
    const auto* data = static_cast<const std::uint8_t*>(::LockResource(::LoadResource(self, info)));
    const std::size_t size = ::SizeofResource(self, info);
    ASSERT_EQ(ResidentPages(data, size), 0u) << "another test read the resource's pages";

    Win32Host host;
    TempFolder folder;
    const Text target = folder / u"out.bin";
    ASSERT_EQ(ExtractError(host, u"Untouched", target), "");
    const auto written = ReadBytes(target);
    ASSERT_TRUE(written);
    EXPECT_TRUE(*written == Fixture("untouched.bin"));
    EXPECT_TRUE(host.FileHoldsResource(u"UNTOUCHED", target));
    EXPECT_EQ(ResidentPages(data, size), 0u);

    // The query does see a page of the resource once it is read.
    const volatile std::uint8_t* middle = data + size / 2;
    EXPECT_EQ(*middle, Fixture("untouched.bin")[size / 2]);
    EXPECT_GE(ResidentPages(data, size), 1u);
}

TEST(LoadResourceData, GivesTheBytesOrRaisesWithTheNameAsPassed) {
    Win32Host host;
    const Bytes data = host.LoadResourceData(u"rt_rcdata", u"big");
    EXPECT_TRUE(ByteVector(data.begin(), data.end()) == Fixture("big.bin"));
    try {
        host.LoadResourceData(u"China", u"TTF");
        ADD_FAILURE() << "no error raised";
    } catch (const HostError& error) {
        EXPECT_EQ(Utf8(error.message()), "Ressource TTF nicht gefunden");
    }
}

TEST(FileHoldsResource, TellsTheMissionFileFromAnyOther) {
    Win32Host host;
    TempFolder folder;
    const Text path = folder / u"big.bin";
    ByteVector bytes = Fixture("big.bin");

    struct Case {
        const char* what;
        ByteVector content;
        bool expected;
    };
    ByteVector changedLast = bytes;
    changedLast.back() ^= 1;
    ByteVector changedFirstPiece = bytes;
    changedFirstPiece[61439] ^= 0x80;
    ByteVector shorter(bytes.begin(), bytes.end() - 1);
    ByteVector longer = bytes;
    longer.push_back(0);
    const Case cases[] = {
        {"same", bytes, true},
        {"last byte differs", changedLast, false},
        {"end of first piece differs", changedFirstPiece, false},
        {"one byte short", shorter, false},
        {"one byte more", longer, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteBytes(path, c.content);
        EXPECT_EQ(host.FileHoldsResource(u"BIG", path), c.expected);
    }
    EXPECT_FALSE(host.FileHoldsResource(u"BIG", folder / u"fehlt.bin"));
    EXPECT_FALSE(host.FileHoldsResource(u"FEHLT", path));
    EXPECT_FALSE(host.FileHoldsResource(u"BIG", folder.path()));
}

TEST(RenameFile, NeverReplacesAnExistingFile) {
    Win32Host host;
    TempFolder folder;
    WriteText(folder / u"a.txt", "A");
    WriteText(folder / u"b.txt", "B");
    EXPECT_FALSE(host.RenameFile(folder / u"a.txt", folder / u"b.txt"));
    EXPECT_EQ(ReadBytes(folder / u"a.txt"), ByteVector({'A'}));
    EXPECT_EQ(ReadBytes(folder / u"b.txt"), ByteVector({'B'}));

    EXPECT_FALSE(host.RenameFile(folder / u"fehlt.txt", folder / u"c.txt"));
    EXPECT_FALSE(Exists(folder / u"c.txt"));

    EXPECT_TRUE(host.RenameFile(folder / u"a.txt", folder / u"MARK-a.txt"));
    EXPECT_FALSE(Exists(folder / u"a.txt"));
    EXPECT_EQ(ReadBytes(folder / u"MARK-a.txt"), ByteVector({'A'}));
}

TEST(RemoveFile, DeletesWritableFilesOnly) {
    Win32Host host;
    TempFolder folder;
    WriteText(folder / u"weg.txt", "x");
    EXPECT_TRUE(host.RemoveFile(folder / u"weg.txt"));
    EXPECT_FALSE(Exists(folder / u"weg.txt"));

    WriteText(folder / u"bleibt.txt", "x");
    ::SetFileAttributesW(W(folder / u"bleibt.txt"), FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(host.RemoveFile(folder / u"bleibt.txt"));
    EXPECT_TRUE(Exists(folder / u"bleibt.txt"));

    EXPECT_FALSE(host.RemoveFile(folder / u"fehlt.txt"));
    MakeFolder(folder / u"ordner");
    EXPECT_FALSE(host.RemoveFile(folder / u"ordner"));
    EXPECT_TRUE(Exists(folder / u"ordner"));
}

TEST(FileIsPresent, OnlyFilesCount) {
    Win32Host host;
    TempFolder folder;
    WriteText(folder / u"datei.txt", "x");
    WriteText(folder / u"versteckt.txt", "x");
    ::SetFileAttributesW(W(folder / u"versteckt.txt"), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);
    MakeFolder(folder / u"ordner");

    struct Case {
        Text path;
        bool expected;
    };
    const Case cases[] = {
        {folder / u"datei.txt", true},
        {folder / u"DATEI.TXT", true},
        {folder / u"versteckt.txt", true},
        {folder / u"ordner", false},
        {folder / u"ordner\\", false},
        {folder / u"fehlt.txt", false},
        {folder / u"fehlt\\datei.txt", false},
        {Text(), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Utf8(c.path));
        EXPECT_EQ(host.FileIsPresent(c.path), c.expected);
    }

    // Held open without any sharing by someone else: still a file.
    unique_hfile locked(::CreateFileW(W(folder / u"datei.txt"), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(locked);
    EXPECT_TRUE(host.FileIsPresent(folder / u"datei.txt"));
}

TEST(FolderIsPresent, OnlyFoldersCountWithOrWithoutTheFinalSeparator) {
    Win32Host host;
    TempFolder folder;
    WriteText(folder / u"datei.txt", "x");
    MakeFolder(folder / u"Aurelmark");
    struct Case {
        Text path;
        bool expected;
    };
    const Case cases[] = {
        {folder / u"Aurelmark", true},
        {folder / u"AURELMARK\\", true},
        // The campaign folder as the runs spell it: Windows drops the dot.
        {folder / u"Aurelmark.\\", true},
        {folder / u"datei.txt", false},
        {folder / u"fehlt\\", false},
        {Text(), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Utf8(c.path));
        EXPECT_EQ(host.FolderIsPresent(c.path), c.expected);
    }
}

// The install journal's file: read whole, replaced in one step, flushed or
// not.
TEST(ReplaceFileAtomically, ReplacesTheContentAndLeavesNothingBeside) {
    Win32Host host;
    TempFolder folder;
    const Text path = folder / u"Brunvald-ARMK.journal";
    std::vector<std::uint8_t> read;
    EXPECT_EQ(host.ReadWholeFile(path, read), HostOps::FileRead::Missing);
    EXPECT_EQ(host.ReadWholeFile(folder / u"fehlt\\x.journal", read), HostOps::FileRead::Missing);

    for (const HostOps::Flush flush : {HostOps::Flush::ToMedium, HostOps::Flush::No}) {
        for (const std::string& content : {std::string("erste Fassung, die l\xc3\xa4nger ist"), std::string("zweite"),
                                           std::string(70000, 'z'), std::string()}) {
            SCOPED_TRACE(content.size());
            SCOPED_TRACE(flush == HostOps::Flush::ToMedium ? "flushed" : "not flushed");
            const std::vector<std::uint8_t> bytes(content.begin(), content.end());
            host.ReplaceFileAtomically(path, Bytes(bytes.data(), bytes.size()), flush);
            ASSERT_EQ(host.ReadWholeFile(path, read), HostOps::FileRead::Read);
            EXPECT_EQ(read, bytes);
            EXPECT_FALSE(Exists(path + u".new"));
        }
    }

    // A ".new" left by a process killed while it wrote is simply replaced.
    WriteText(path + u".new", "abgebrochen");
    const std::vector<std::uint8_t> last = {'o', 'k'};
    host.ReplaceFileAtomically(path, Bytes(last.data(), last.size()), HostOps::Flush::No);
    ASSERT_EQ(host.ReadWholeFile(path, read), HostOps::FileRead::Read);
    EXPECT_EQ(read, last);
    EXPECT_FALSE(Exists(path + u".new"));

    // A folder of that name is no file: it cannot be read.
    MakeFolder(folder / u"ordner");
    EXPECT_EQ(host.ReadWholeFile(folder / u"ordner", read), HostOps::FileRead::Failed);
}

TEST(ReplaceFileAtomically, MissingFolderRaisesTheCreationError) {
    Win32Host host;
    TempFolder folder;
    const std::vector<std::uint8_t> bytes = {'x'};
    for (const HostOps::Flush flush : {HostOps::Flush::ToMedium, HostOps::Flush::No}) {
        try {
            host.ReplaceFileAtomically(folder / u"fehlt\\j.journal", Bytes(bytes.data(), bytes.size()), flush);
            ADD_FAILURE() << "no error raised";
        } catch (const HostError& error) {
            EXPECT_NE(Utf8(error.message()).find("kann nicht erstellt werden"), std::string::npos)
                << Utf8(error.message());
        }
    }
    EXPECT_FALSE(Exists(folder / u"fehlt"));
}

std::string MakeFoldersError(Win32Host& host, const Text& path) {
    try {
        host.MakeFolders(path);
        return "";
    } catch (const HostError& error) {
        return Utf8(error.message());
    }
}

TEST(MakeFolders, CreatesEveryMissingLevelAndAcceptsExistingOnes) {
    Win32Host host;
    TempFolder folder;
    const Text deep = folder / u"Campaigns\\Neue Mission\\Karten\\";
    EXPECT_TRUE(host.MakeFolders(deep));
    EXPECT_TRUE(Attributes(deep) & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_TRUE(Exists(folder / u"Campaigns\\Neue Mission"));

    // Everything there already: true, nothing changed.
    WriteText(deep + u"karte.map", "x");
    EXPECT_TRUE(host.MakeFolders(deep));
    EXPECT_TRUE(host.MakeFolders(folder / u"Campaigns"));
    EXPECT_TRUE(Exists(deep + u"karte.map"));

    // A file in the way: no folder, no error.
    WriteText(folder / u"datei", "x");
    EXPECT_FALSE(host.MakeFolders(folder / u"datei\\unter\\"));
    EXPECT_FALSE(Exists(folder / u"datei\\unter"));
}

TEST(MakeFolders, EmptyPathRaises) {
    Win32Host host;
    EXPECT_EQ(MakeFoldersError(host, Text()), "Verzeichnis kann nicht erstellt werden");
}

// What the uninstall relies on when it removes the campaign folder: a
// player's file anywhere in it keeps the folder (the shared table has the
// plain cases), here a hidden one.
TEST(RemoveEmptyFolder, KeepsAFolderWithAHiddenFile) {
    Win32Host host;
    TempFolder folder;
    const Text campaign = folder / u"Mission mit Leerzeichen\\";
    MakeFolder(campaign);
    WriteText(campaign + u"spielstand.sav", "s");
    ::SetFileAttributesW(W(campaign + u"spielstand.sav"), FILE_ATTRIBUTE_HIDDEN);
    EXPECT_FALSE(host.RemoveEmptyFolder(campaign));
    EXPECT_TRUE(Exists(campaign + u"spielstand.sav"));
    ::SetFileAttributesW(W(campaign + u"spielstand.sav"), FILE_ATTRIBUTE_NORMAL);
    ASSERT_TRUE(::DeleteFileW(W(campaign + u"spielstand.sav")));
    EXPECT_TRUE(host.RemoveEmptyFolder(campaign));
    EXPECT_FALSE(Exists(campaign));
}

TEST(CopyInstaller, ReplacesAnExistingCopy) {
    Win32Host host;
    TempFolder folder;
    WriteText(folder / u"quelle.exe", "neu");
    WriteText(folder / u"ziel.exe", "alte Kopie, länger");
    EXPECT_TRUE(host.CopyInstaller(folder / u"quelle.exe", folder / u"ziel.exe"));
    EXPECT_EQ(ReadBytes(folder / u"ziel.exe"), ByteVector({'n', 'e', 'u'}));
    EXPECT_FALSE(host.CopyInstaller(folder / u"fehlt.exe", folder / u"ziel2.exe"));
    EXPECT_FALSE(Exists(folder / u"ziel2.exe"));
}

TEST(ResetAttributes, GoesOneLevelDeepAndLeavesTheFolderAbove) {
    Win32Host host;
    TempFolder top;
    const Text game = top / u"Spiel\\";
    MakeFolder(game.substr(0, game.size() - 1));
    const Text data = game + u"Data\\";
    MakeFolder(data.substr(0, data.size() - 1));
    MakeFolder(data + u"Unter");
    WriteText(data + u"schreibgeschützt.txt", "x");
    WriteText(data + u"versteckt.txt", "x");
    WriteText(data + u"Unter\\tiefer.txt", "x");
    ::SetFileAttributesW(W(data + u"schreibgeschützt.txt"), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
    ::SetFileAttributesW(W(data + u"versteckt.txt"), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    ::SetFileAttributesW(W(data + u"Unter\\tiefer.txt"), FILE_ATTRIBUTE_READONLY);
    ::SetFileAttributesW(W(data + u"Unter"), FILE_ATTRIBUTE_READONLY);
    ::SetFileAttributesW(W(data.substr(0, data.size() - 1)), FILE_ATTRIBUTE_HIDDEN);
    ::SetFileAttributesW(W(game.substr(0, game.size() - 1)), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    // As the platform keeps them (Wine keeps no read-only bit on a folder).
    const DWORD above = Attributes(game.substr(0, game.size() - 1));
    ASSERT_TRUE(above & FILE_ATTRIBUTE_HIDDEN);

    host.ResetAttributes(data);

    const DWORD kept = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    EXPECT_EQ(Attributes(data.substr(0, data.size() - 1)) & kept, 0u);
    EXPECT_EQ(Attributes(data + u"schreibgeschützt.txt") & kept, 0u);
    EXPECT_EQ(Attributes(data + u"versteckt.txt") & kept, 0u);
    EXPECT_EQ(Attributes(data + u"Unter") & kept, 0u);
    EXPECT_TRUE(Attributes(data + u"Unter") & FILE_ATTRIBUTE_DIRECTORY);
    // "..", the folder that holds the data folder, keeps its attributes.
    EXPECT_EQ(Attributes(game.substr(0, game.size() - 1)), above);
    // A level deeper: unchanged.
    EXPECT_TRUE(Attributes(data + u"Unter\\tiefer.txt") & FILE_ATTRIBUTE_READONLY);

    // Writable now: it can be replaced.
    WriteText(data + u"schreibgeschützt.txt", "neu");
}

// A game whose "Path" is a drive's root, or climbs there: the root's hidden
// and system files keep their attributes.
TEST(ResetAttributes, LeavesADrivesRootAsItIs) {
    Win32Host host;
    const Text probe = u"C:\\brunvald-root-probe.txt";
    WriteText(probe, "x");
    const DWORD set = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY;
    for (const Text& root : {Text(u"C:\\"), Text(u"C:\\windows\\..\\")}) {
        SCOPED_TRACE(Utf8(root));
        ::SetFileAttributesW(W(probe), set);
        host.ResetAttributes(root);
        EXPECT_EQ(Attributes(probe) & set, set);
    }
    ::SetFileAttributesW(W(probe), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(W(probe));
}

TEST(ResetAttributes, MissingFolderIsPassedOverInSilence) {
    Win32Host host;
    TempFolder top;
    host.ResetAttributes(top / u"Cities\\");
    EXPECT_FALSE(Exists(top / u"Cities"));
}

}  // namespace
}  // namespace brunvald::test
