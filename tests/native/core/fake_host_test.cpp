// The fake host keeps the Windows rules the logic relies on; if it drifted,
// the run tests would pass against a world that does not exist.
#include "tests/native/core/fake_host.h"

#include <functional>

#include <gtest/gtest.h>

#include "tests/shared/host_rule_cases.h"
#include "tests/shared/registry_rule_cases.h"

namespace brunvald {
namespace {

using testing::FakeHost;
using testing::ValueType;

std::string Raised(const std::function<void()>& action) {
    try {
        action();
        return "";
    } catch (const HostError& error) {
        return testing::Utf8(error.message());
    }
}

// The table of Windows' rules that the Win32 host passes under Wine.
TEST(FakeHostFiles, KeepsTheRulesOfTheSharedTable) {
    for (const host_rules::Case& c : host_rules::Cases()) {
        FakeHost host;
        host.AddResource(u"SHORTTEXT", "kurz");
        const Text folder = u"C:\\Regeln\\";
        host.AddFolder(folder);
        host_rules::RunCase(host, folder, c, [&](const Text& path) { host.SetReadOnly(path, true); });
    }
}

TEST(FakeHostFiles, NamesIgnoreCaseAndTrailingDots) {
    FakeHost host;
    host.AddFile(u"C:\\Game\\Data\\Pic.jpg", "x");
    host.AddFolder(u"C:\\Game\\Campaigns");
    for (const Text path : {u"c:\\GAME\\data\\pic.JPG", u"C:/Game/Data/Pic.jpg", u"C:\\Game\\\\Data\\Pic.jpg",
                            u"C:\\Game\\Data.\\Pic.jpg", u"C:\\Game\\X\\..\\Data\\Pic.jpg"})
        EXPECT_TRUE(host.FileIsPresent(path)) << testing::Utf8(path);
    EXPECT_FALSE(host.FileIsPresent(u"C:\\Game\\Data"));  // a folder is no file
    host.AddResource(u"CAMPSET", "set");
    host.MakeFolders(u"C:\\Game\\Campaigns\\Aurelmark.\\");
    host.ExtractResource(u"CampSet", u"C:\\Game\\Campaigns\\Aurelmark.\\Aurelmark.set");
    EXPECT_EQ(host.FileBytes(u"C:\\Game\\Campaigns\\Aurelmark\\Aurelmark.set"), "set");
}

TEST(FakeHostFiles, RenameRemoveCopy) {
    FakeHost host;
    host.AddFile(u"C:\\G\\a", "A");
    host.AddFile(u"C:\\G\\b", "B");
    EXPECT_FALSE(host.RenameFile(u"C:\\G\\a", u"C:\\G\\B"));  // onto an existing name
    EXPECT_EQ(host.FileBytes(u"C:\\G\\a"), "A");
    EXPECT_EQ(host.FileBytes(u"C:\\G\\b"), "B");
    EXPECT_FALSE(host.RenameFile(u"C:\\G\\missing", u"C:\\G\\c"));
    EXPECT_TRUE(host.RenameFile(u"C:\\G\\a", u"C:\\G\\c"));
    EXPECT_FALSE(host.HasFile(u"C:\\G\\a"));
    host.SetReadOnly(u"C:\\G\\b", true);
    EXPECT_FALSE(host.RemoveFile(u"C:\\G\\b"));
    EXPECT_FALSE(host.CopyInstaller(u"C:\\G\\c", u"C:\\G\\b"));
    EXPECT_FALSE(host.CopyInstaller(u"C:\\G\\c", u"c:\\g\\C"));  // onto itself
    EXPECT_FALSE(host.CopyInstaller(u"C:\\G\\c", u"C:\\Nowhere\\c"));
    EXPECT_TRUE(host.CopyInstaller(u"C:\\G\\c", u"C:\\G\\d"));
    EXPECT_EQ(host.FileBytes(u"C:\\G\\d"), "A");
    EXPECT_TRUE(host.RemoveFile(u"C:\\G\\D"));
}

TEST(FakeHostFiles, ExtractResourceErrors) {
    FakeHost host;
    host.AddResource(u"CampMod", "new");
    host.AddFile(u"C:\\G\\ro.txt", "old", true);
    host.AddFile(u"C:\\G\\rw.txt", "much longer old content");
    EXPECT_EQ(Raised([&] { host.ExtractResource(u"campmod", u"C:\\G\\ro.txt"); }),
              "Datei \"C:\\G\\ro.txt\" kann nicht erstellt werden. Zugriff verweigert.");
    EXPECT_EQ(host.FileBytes(u"C:\\G\\ro.txt"), "old");
    EXPECT_EQ(Raised([&] { host.ExtractResource(u"Missing", u"C:\\G\\rw.txt"); }),
              "Ressource Missing nicht gefunden");
    EXPECT_EQ(host.FileBytes(u"C:\\G\\rw.txt"), "much longer old content");
    EXPECT_NE(Raised([&] { host.ExtractResource(u"CampMod", u"C:\\G\\No\\x.txt"); }), "");
    EXPECT_FALSE(host.HasFolder(u"C:\\G\\No"));
    host.ExtractResource(u"CampMod", u"C:\\G\\rw.txt");
    EXPECT_EQ(host.FileBytes(u"C:\\G\\rw.txt"), "new");
    EXPECT_TRUE(host.FileHoldsResource(u"CAMPMOD", u"c:\\g\\RW.TXT"));
    EXPECT_FALSE(host.FileHoldsResource(u"CampMod", u"C:\\G\\ro.txt"));
    EXPECT_EQ(Raised([&] { host.MakeFolders(u""); }), "Verzeichnis kann nicht erstellt werden");
}

TEST(FakeHostFiles, ResetAttributesOneLevelDeep) {
    FakeHost host;
    host.AddFile(u"C:\\G\\Camp\\A\\a.set", "a", true);
    host.AddFile(u"C:\\G\\Camp\\A\\Deep\\x", "x");
    host.AddFile(u"C:\\G\\Camp\\AB\\b.set", "b");
    host.ResetAttributes(u"C:\\G\\Camp\\");
    EXPECT_TRUE(host.IsReadOnly(u"C:\\G\\Camp\\A\\a.set"));  // one level deep only
    host.ResetAttributes(u"C:\\G\\Camp\\A\\");
    EXPECT_FALSE(host.IsReadOnly(u"C:\\G\\Camp\\A\\a.set"));
}

// The table of Windows' registry rules that the Win32 host passes under Wine.
TEST(FakeHostRegistry, KeepsTheRulesOfTheSharedTable) {
    for (const registry_rules::Case& c : registry_rules::Cases()) {
        FakeHost host;
        const Text base = u"SOFTWARE\\Regeln";
        host.AddKey(base);
        const auto registry = host.StartRegistryAccess();
        registry_rules::RunCase(*registry, base, c);
    }
}

TEST(FakeHostRegistry, PathsValuesAndDeletion) {
    FakeHost host;
    host.SetValue(u"SOFTWARE\\Maker", u"Num", u"1", ValueType::Dword);
    host.SetValue(u"SOFTWARE\\Maker\\Sub\\Deeper", u"x", u"y");
    auto registry = host.StartRegistryAccess();
    EXPECT_EQ(host.registryAccessesLive, 1);
    EXPECT_EQ(registry->OpenKey(u"SOFTWARE\\Nothing", false), nullptr);
    auto maker = registry->OpenKey(u"software\\MAKER", false);
    ASSERT_NE(maker, nullptr);
    EXPECT_EQ(host.registryKeysOpen, 1);
    EXPECT_EQ(Raised([&] { maker->ReadText(u"num"); }), "Ungültiger Datentyp für 'num'");
    EXPECT_EQ(maker->ReadText(u"missing"), u"");
    EXPECT_TRUE(registry->KeyExists(u"SOFTWARE\\Maker\\Sub\\Deeper"));
    auto sub = registry->OpenKey(u"SOFTWARE\\Maker\\Sub", false);
    ASSERT_NE(sub, nullptr);
    EXPECT_TRUE(registry->KeyExists(u"SOFTWARE\\MAKER\\SUB\\deeper"));
    EXPECT_TRUE(registry->KeyExists(u"SOFTWARE\\Maker"));
    sub->WriteText(u"Name", Text(u"a\0b", 3));
    EXPECT_EQ(sub->ReadText(u"NAME"), u"a");  // ends at its first NUL
    sub.reset();
    maker.reset();
    EXPECT_EQ(host.registryKeysOpen, 0);
    EXPECT_TRUE(registry->DeleteKeyTree(u"SOFTWARE\\Maker"));
    EXPECT_FALSE(host.HasKey(u"SOFTWARE\\Maker\\Sub\\Deeper"));
    EXPECT_TRUE(host.HasKey(u"SOFTWARE"));
    EXPECT_FALSE(registry->DeleteKeyTree(u"SOFTWARE\\Maker"));
    registry.reset();
    EXPECT_EQ(host.registryAccessesLive, 0);
}

// A key that refuses full access exists, but neither opens nor is created
// over; an empty path names no key, not the root; a path with a leading "\"
// is refused loudly, as the logic never means one.
TEST(FakeHostRegistry, DeniedKeysEmptyPathAndLeadingSeparator) {
    FakeHost host;
    host.SetValue(u"SOFTWARE\\Geschuetzt", u"v", u"x");
    host.DenyFullAccess(u"SOFTWARE\\Geschuetzt");
    const auto registry = host.StartRegistryAccess();
    EXPECT_TRUE(registry->KeyExists(u"SOFTWARE\\Geschuetzt"));
    EXPECT_EQ(registry->OpenKey(u"SOFTWARE\\Geschuetzt", false), nullptr);
    EXPECT_EQ(registry->OpenKey(u"SOFTWARE\\Geschuetzt", true), nullptr);
    EXPECT_FALSE(registry->DeleteKeyTree(u"SOFTWARE\\Geschuetzt"));
    EXPECT_EQ(host.Value(u"SOFTWARE\\Geschuetzt", u"v")->text, u"x");

    EXPECT_FALSE(registry->KeyExists(u""));
    EXPECT_EQ(registry->OpenKey(u"", false), nullptr);
    EXPECT_EQ(registry->OpenKey(u"", true), nullptr);
    EXPECT_FALSE(registry->DeleteKeyTree(u""));
    EXPECT_TRUE(host.HasKey(u"SOFTWARE\\Geschuetzt"));

    EXPECT_THROW((void)registry->KeyExists(u"\\SOFTWARE\\Geschuetzt"), std::invalid_argument);
    EXPECT_THROW((void)registry->OpenKey(u"\\SOFTWARE\\Neu", true), std::invalid_argument);
    EXPECT_THROW((void)registry->DeleteKeyTree(u"\\SOFTWARE\\Geschuetzt"), std::invalid_argument);
    EXPECT_FALSE(host.HasKey(u"\\SOFTWARE\\Neu"));
    EXPECT_TRUE(host.HasKey(u"SOFTWARE\\Geschuetzt"));
}

TEST(FakeHostProgram, FindsARunningProcessByFileNameInAnyLetterCase) {
    FakeHost host;
    host.runningProcesses = {u"C:\\x\\EMPEROR.exe"};
    EXPECT_TRUE(host.IsProcessRunning(u"Emperor.exe"));
}

}  // namespace
}  // namespace brunvald
