// Win32RegistryAccess against the registry of the test prefix, in a private
// branch under HKLM\SOFTWARE\BrunvaldTest that is removed after each test.
#include <gtest/gtest.h>

#include "host/win32/win32_registry.h"
#include "test_support.h"
#include "tests/shared/registry_rule_cases.h"

namespace brunvald::test {
namespace {

using win32::Win32RegistryAccess;

void SetRaw(HKEY key, const wchar_t* name, DWORD type, const void* data, DWORD size) {
    ASSERT_EQ(::RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
}

template <typename F>
std::string ErrorOf(F&& call) {
    try {
        call();
        return "";
    } catch (const HostError& error) {
        return Utf8(error.message());
    }
}

class Registry : public ::testing::Test {
protected:
    TestRegistryBranch branch;
    Win32RegistryAccess access;
    // A key of the branch as the installer names it: from HKEY_LOCAL_MACHINE.
    Text Path(const Text& relative) const { return branch.path() + u"\\" + relative; }
};

// The table of Windows' registry rules that the fake host also passes.
TEST_F(Registry, KeepsTheRulesOfTheSharedTable) {
    int index = 0;
    for (const registry_rules::Case& c : registry_rules::Cases()) {
        const Text base = u"Fall " + T(std::to_wstring(++index));
        branch.Create(base);
        registry_rules::RunCase(access, Path(base), c);
    }
}

TEST_F(Registry, ReadTextTable) {
    unique_hkey raw = branch.Create(u"Werte");
    const wchar_t text[] = L"C:\\Spiele\\Kaiser";
    SetRaw(raw.get(), L"Text", REG_SZ, text, sizeof text);
    const wchar_t expand[] = L"%WINDIR%\\Kaiser";
    SetRaw(raw.get(), L"Expand", REG_EXPAND_SZ, expand, sizeof expand);
    const wchar_t inner[] = L"vor\0nach";
    SetRaw(raw.get(), L"InnerNul", REG_SZ, inner, sizeof inner);
    SetRaw(raw.get(), L"NoTerminator", REG_SZ, L"abc", 3 * sizeof(wchar_t));
    SetRaw(raw.get(), L"OddSize", REG_SZ, L"abc", 5);
    SetRaw(raw.get(), L"Empty", REG_SZ, L"", sizeof(wchar_t));
    SetRaw(raw.get(), L"ZeroBytes", REG_SZ, L"", 0);

    const auto key = access.OpenKey(Path(u"Werte"), false);
    ASSERT_NE(key, nullptr);
    struct Case {
        const char16_t* name;
        const char16_t* expected;
    };
    const Case cases[] = {
        {u"Text", u"C:\\Spiele\\Kaiser"},
        {u"text", u"C:\\Spiele\\Kaiser"},  // value names ignore case in the registry
        {u"Expand", u"%WINDIR%\\Kaiser"},  // returned as stored
        {u"InnerNul", u"vor"},
        {u"NoTerminator", u"abc"},
        {u"OddSize", u"ab"},
        {u"Empty", u""},
        {u"ZeroBytes", u""},
        {u"Fehlt", u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Utf8(c.name));
        EXPECT_EQ(key->ReadText(c.name), Text(c.expected));
    }
}

TEST_F(Registry, ReadingANumberOrBinaryValueRaisesTheTypeError) {
    unique_hkey raw = branch.Create(u"Werte");
    const DWORD number = 1;
    SetRaw(raw.get(), L"Zahl", REG_DWORD, &number, sizeof number);
    SetRaw(raw.get(), L"Roh", REG_BINARY, "ab", 2);
    const auto key = access.OpenKey(Path(u"Werte"), false);
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(ErrorOf([&] { key->ReadText(u"Zahl"); }), "Ungültiger Datentyp für 'Zahl'");
    EXPECT_EQ(ErrorOf([&] { key->ReadText(u"Roh"); }), "Ungültiger Datentyp für 'Roh'");
}

// A missing key gives no key object and is not created; a key deleted while
// held reads empty text and raises the write error, naming the call, the
// value and the platform's code for a supporter.
TEST_F(Registry, AMissingKeyGivesNoKeyAndADeletedOneTakesNoWrites) {
    EXPECT_EQ(access.OpenKey(Path(u"Fehlt"), false), nullptr);
    EXPECT_FALSE(branch.KeyExists(u"Fehlt"));

    const auto key = access.OpenKey(Path(u"Neu"), true);
    ASSERT_NE(key, nullptr);
    key->WriteText(u"Path", u"C:\\Kaiser");
    ASSERT_TRUE(access.DeleteKeyTree(Path(u"Neu")));
    EXPECT_EQ(key->ReadText(u"Path"), Text());
    EXPECT_EQ(ErrorOf([&] { key->WriteText(u"CampExists", u"1"); }),
              "Fehler beim Setzen der Daten für 'CampExists'");
    EXPECT_EQ(ErrorOf([&] { key->WriteNumber(u"NoModify", 1); }),
              "Fehler beim Setzen der Daten für 'NoModify'");
    try {
        key->WriteText(u"CampExists", u"1");
        ADD_FAILURE() << "no error raised";
    } catch (const HostError& error) {
        EXPECT_EQ(error.origin().operation, u"RegSetValueExW");
        EXPECT_EQ(error.origin().path, u"HKLM\\" + Path(u"Neu\\CampExists"));
        EXPECT_EQ(error.origin().code, static_cast<std::uint32_t>(ERROR_KEY_DELETED));
    }
    EXPECT_FALSE(branch.KeyExists(u"Neu"));
}

TEST_F(Registry, WriteNumberStoresADword) {
    const auto key = access.OpenKey(Path(u"Uninstall\\Zahlen"), true);
    ASSERT_NE(key, nullptr);
    key->WriteNumber(u"EstimatedSize", 0xFFFFFFFFu);
    key->WriteNumber(u"NoModify", 1);
    key->WriteText(u"War Text", u"x");
    key->WriteNumber(u"War Text", 0);

    unique_hkey raw;
    ASSERT_EQ(::RegOpenKeyExW(branch.key(), L"Uninstall\\Zahlen", 0, KEY_READ, raw.put()), ERROR_SUCCESS);
    struct Case {
        const wchar_t* name;
        DWORD expected;
    };
    for (const Case& c : {Case{L"EstimatedSize", 0xFFFFFFFFu}, Case{L"NoModify", 1}, Case{L"War Text", 0}}) {
        DWORD type = 0, data = 12345, size = sizeof data;
        ASSERT_EQ(::RegQueryValueExW(raw.get(), c.name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size),
                  ERROR_SUCCESS);
        EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
        EXPECT_EQ(size, sizeof(DWORD));
        EXPECT_EQ(data, c.expected);
    }
}

TEST_F(Registry, WriteTextStoresRegSzWithOneTerminator) {
    const auto key = access.OpenKey(Path(u"Uninstall\\Neue Mission"), true);
    ASSERT_NE(key, nullptr);
    key->WriteText(u"Publisher", u"©Vantorel");
    key->WriteText(u"Leer", u"");
    const DWORD number = 7;
    SetRaw(branch.Create(u"Uninstall\\Neue Mission").get(), L"War Zahl", REG_DWORD, &number, sizeof number);
    key->WriteText(u"War Zahl", u"jetzt Text");

    unique_hkey raw;
    ASSERT_EQ(::RegOpenKeyExW(branch.key(), L"Uninstall\\Neue Mission", 0, KEY_READ, raw.put()),
              ERROR_SUCCESS);
    struct Case {
        const wchar_t* name;
        std::wstring expected;
    };
    for (const Case& c : {Case{L"Publisher", L"©Vantorel"}, Case{L"Leer", L""},
                          Case{L"War Zahl", L"jetzt Text"}}) {
        DWORD type = 0;
        wchar_t data[64] = {};
        DWORD size = sizeof data;
        ASSERT_EQ(::RegQueryValueExW(raw.get(), c.name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size),
                  ERROR_SUCCESS);
        EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
        EXPECT_EQ(size, (c.expected.size() + 1) * sizeof(wchar_t));
        EXPECT_EQ(std::wstring(data), c.expected);
    }
}

// Every path counts from HKEY_LOCAL_MACHINE, whatever key is held; a failed
// opening leaves the keys already held as they were.
TEST_F(Registry, OpenKeyTakesEveryPathFromTheRootAndAFailureLeavesHeldKeysAlone) {
    branch.Create(u"Eltern\\Kind");
    const auto parent = access.OpenKey(Path(u"Eltern"), false);
    ASSERT_NE(parent, nullptr);
    const auto child = access.OpenKey(Path(u"Eltern\\Kind"), false);
    ASSERT_NE(child, nullptr);
    child->WriteText(u"Wo", u"Kind");
    parent->WriteText(u"Wo", u"Eltern");

    // "Kind" alone is a key below the root, not below the held parent.
    EXPECT_EQ(access.OpenKey(u"Kind", false), nullptr);
    EXPECT_EQ(access.OpenKey(Path(u"Fehlt"), false), nullptr);
    child->WriteText(u"Noch", u"da");
    EXPECT_FALSE(branch.KeyExists(u"Eltern\\Kind\\Fehlt"));
    EXPECT_FALSE(branch.KeyExists(u"Fehlt"));

    // Created on request, with the missing key above it.
    ASSERT_NE(access.OpenKey(Path(u"Anderswo\\Tief"), true), nullptr);
    EXPECT_TRUE(branch.KeyExists(u"Anderswo\\Tief"));

    Win32RegistryAccess check;
    const auto again = check.OpenKey(Path(u"Eltern\\Kind"), false);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->ReadText(u"Wo"), u"Kind");
    EXPECT_EQ(again->ReadText(u"Noch"), u"da");
    const auto parentAgain = check.OpenKey(Path(u"Eltern"), false);
    ASSERT_NE(parentAgain, nullptr);
    EXPECT_EQ(parentAgain->ReadText(u"Wo"), u"Eltern");
}

TEST_F(Registry, KeyExistsCountsFromTheRootAndLeavesHeldKeysAlone) {
    branch.Create(u"Da\\Unter");
    const auto held = access.OpenKey(Path(u"Da"), false);
    ASSERT_NE(held, nullptr);

    EXPECT_TRUE(access.KeyExists(Path(u"Da")));
    EXPECT_TRUE(access.KeyExists(Path(u"Da\\Unter")));
    EXPECT_FALSE(access.KeyExists(u"Unter"));  // not below the held key
    EXPECT_FALSE(access.KeyExists(Path(u"Fehlt")));
    EXPECT_FALSE(access.KeyExists(u"Fehlt"));
    held->WriteText(u"Noch", u"offen");
    const auto again = access.OpenKey(Path(u"Da"), false);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->ReadText(u"Noch"), u"offen");
}

TEST_F(Registry, DeleteKeyTreeRemovesADeepTreeAndNothingElse) {
    for (const char16_t* path : {u"Weg\\a\\b\\c\\d", u"Weg\\a\\zwei", u"Weg\\x", u"Weg\\y\\z", u"Bleibt\\k"}) {
        unique_hkey key = branch.Create(path);
        SetRaw(key.get(), L"Wert", REG_SZ, L"v", 2 * sizeof(wchar_t));
    }
    const auto held = access.OpenKey(Path(u"Bleibt"), false);
    ASSERT_NE(held, nullptr);

    EXPECT_TRUE(access.DeleteKeyTree(Path(u"Weg")));
    EXPECT_FALSE(branch.KeyExists(u"Weg"));
    EXPECT_TRUE(branch.KeyExists(u"Bleibt\\k"));
    held->WriteText(u"Noch", u"da");

    EXPECT_FALSE(access.DeleteKeyTree(u"k"));  // not below the held key
    EXPECT_TRUE(branch.KeyExists(u"Bleibt\\k"));
    EXPECT_TRUE(access.DeleteKeyTree(Path(u"Bleibt\\k")));
    EXPECT_FALSE(branch.KeyExists(u"Bleibt\\k"));
    EXPECT_TRUE(branch.KeyExists(u"Bleibt"));

    EXPECT_FALSE(access.DeleteKeyTree(Path(u"Fehlt")));
}

// An empty path would name HKEY_LOCAL_MACHINE itself: no key opens, none
// counts as present, and nothing below the root is touched.
TEST_F(Registry, AnEmptyPathNamesNoKey) {
    branch.Create(u"Liste\\Eintrag A");
    branch.Create(u"Liste\\Eintrag B");
    EXPECT_FALSE(access.DeleteKeyTree(u""));
    EXPECT_TRUE(branch.KeyExists(u"Liste\\Eintrag A"));
    EXPECT_TRUE(branch.KeyExists(u"Liste\\Eintrag B"));
    EXPECT_FALSE(access.KeyExists(u""));
    EXPECT_EQ(access.OpenKey(u"", false), nullptr);
    EXPECT_EQ(access.OpenKey(u"", true), nullptr);
}

}  // namespace
}  // namespace brunvald::test
