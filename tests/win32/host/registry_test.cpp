// Win32RegistryAccess against the registry of the test prefix, in a private
// branch under HKLM\SOFTWARE\BrunvaldTest that is removed after each test.
#include <gtest/gtest.h>

#include "host/win32/win32_registry.h"
#include "test_support.h"

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
    Text Absolute(const Text& relative) const { return u"\\" + branch.path() + u"\\" + relative; }
};

TEST_F(Registry, ReadRegistryTextTable) {
    unique_hkey key = branch.Create(u"Werte");
    const wchar_t text[] = L"C:\\Spiele\\Kaiser";
    SetRaw(key.get(), L"Text", REG_SZ, text, sizeof text);
    const wchar_t expand[] = L"%WINDIR%\\Kaiser";
    SetRaw(key.get(), L"Expand", REG_EXPAND_SZ, expand, sizeof expand);
    const wchar_t inner[] = L"vor\0nach";
    SetRaw(key.get(), L"InnerNul", REG_SZ, inner, sizeof inner);
    SetRaw(key.get(), L"NoTerminator", REG_SZ, L"abc", 3 * sizeof(wchar_t));
    SetRaw(key.get(), L"OddSize", REG_SZ, L"abc", 5);
    SetRaw(key.get(), L"Empty", REG_SZ, L"", sizeof(wchar_t));
    SetRaw(key.get(), L"ZeroBytes", REG_SZ, L"", 0);

    Win32RegistryAccess access;
    ASSERT_TRUE(access.OpenRegistryKey(Absolute(u"Werte"), false));
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
        EXPECT_EQ(access.ReadRegistryText(c.name), Text(c.expected));
    }
}

TEST_F(Registry, ReadingANumberOrBinaryValueRaisesTheTypeError) {
    unique_hkey key = branch.Create(u"Werte");
    const DWORD number = 1;
    SetRaw(key.get(), L"Zahl", REG_DWORD, &number, sizeof number);
    SetRaw(key.get(), L"Roh", REG_BINARY, "ab", 2);
    Win32RegistryAccess access;
    ASSERT_TRUE(access.OpenRegistryKey(Absolute(u"Werte"), false));
    EXPECT_EQ(ErrorOf([&] { access.ReadRegistryText(u"Zahl"); }), "Ungültiger Datentyp für 'Zahl'");
    EXPECT_EQ(ErrorOf([&] { access.ReadRegistryText(u"Roh"); }), "Ungültiger Datentyp für 'Roh'");
}

TEST_F(Registry, WithoutAnOpenKeyReadsGiveEmptyTextAndWritesRaise) {
    Win32RegistryAccess access;
    EXPECT_EQ(access.ReadRegistryText(u"Path"), Text());
    EXPECT_FALSE(access.OpenRegistryKey(Absolute(u"Fehlt"), false));
    EXPECT_EQ(access.OpenKeyForTesting(), nullptr);
    EXPECT_EQ(access.ReadRegistryText(u"Path"), Text());
    EXPECT_EQ(ErrorOf([&] { access.WriteRegistryText(u"CampExists", u"1"); }),
              "Fehler beim Setzen der Daten für 'CampExists'");

    EXPECT_EQ(ErrorOf([&] { access.WriteRegistryNumber(u"NoModify", 1); }),
              "Fehler beim Setzen der Daten für 'NoModify'");

    ASSERT_TRUE(access.OpenRegistryKey(Absolute(u"Neu"), true));
    access.CloseRegistryKey();
    EXPECT_EQ(ErrorOf([&] { access.WriteRegistryText(u"CampExists", u"1"); }),
              "Fehler beim Setzen der Daten für 'CampExists'");
    EXPECT_EQ(ErrorOf([&] { access.WriteRegistryNumber(u"NoModify", 1); }),
              "Fehler beim Setzen der Daten für 'NoModify'");
}

TEST_F(Registry, WriteRegistryNumberStoresADword) {
    Win32RegistryAccess access;
    ASSERT_TRUE(access.OpenRegistryKey(Absolute(u"Uninstall\\Zahlen"), true));
    access.WriteRegistryNumber(u"EstimatedSize", 0xFFFFFFFFu);
    access.WriteRegistryNumber(u"NoModify", 1);
    access.WriteRegistryText(u"War Text", u"x");
    access.WriteRegistryNumber(u"War Text", 0);

    unique_hkey key;
    ASSERT_EQ(::RegOpenKeyExW(branch.key(), L"Uninstall\\Zahlen", 0, KEY_READ, key.put()), ERROR_SUCCESS);
    struct Case {
        const wchar_t* name;
        DWORD expected;
    };
    for (const Case& c : {Case{L"EstimatedSize", 0xFFFFFFFFu}, Case{L"NoModify", 1}, Case{L"War Text", 0}}) {
        DWORD type = 0, data = 12345, size = sizeof data;
        ASSERT_EQ(::RegQueryValueExW(key.get(), c.name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size),
                  ERROR_SUCCESS);
        EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
        EXPECT_EQ(size, sizeof(DWORD));
        EXPECT_EQ(data, c.expected);
    }
}

TEST_F(Registry, WriteRegistryTextStoresRegSzWithOneTerminator) {
    Win32RegistryAccess access;
    ASSERT_TRUE(access.OpenRegistryKey(Absolute(u"Uninstall\\Neue Mission"), true));
    access.WriteRegistryText(u"Publisher", u"©Vantorel");
    access.WriteRegistryText(u"Leer", u"");
    const DWORD number = 7;
    SetRaw(access.OpenKeyForTesting(), L"War Zahl", REG_DWORD, &number, sizeof number);
    access.WriteRegistryText(u"War Zahl", u"jetzt Text");

    unique_hkey key;
    ASSERT_EQ(::RegOpenKeyExW(branch.key(), L"Uninstall\\Neue Mission", 0, KEY_READ, key.put()),
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
        ASSERT_EQ(::RegQueryValueExW(key.get(), c.name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size),
                  ERROR_SUCCESS);
        EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
        EXPECT_EQ(size, (c.expected.size() + 1) * sizeof(wchar_t));
        EXPECT_EQ(std::wstring(data), c.expected);
    }
}

TEST_F(Registry, OpenRegistryKeyResolvesPathsAndKeepsTheKeyOnFailure) {
    branch.Create(u"Eltern\\Kind");
    Win32RegistryAccess access;
    // Without an open key a relative path starts at the root.
    ASSERT_TRUE(access.OpenRegistryKey(branch.path() + u"\\Eltern", false));
    HKEY parent = access.OpenKeyForTesting();
    // Relative to the open key.
    ASSERT_TRUE(access.OpenRegistryKey(u"Kind", false));
    access.WriteRegistryText(u"Wo", u"Kind");
    EXPECT_NE(access.OpenKeyForTesting(), parent);

    // A failed opening, relative or absolute, keeps the open key.
    HKEY child = access.OpenKeyForTesting();
    EXPECT_FALSE(access.OpenRegistryKey(u"Fehlt", false));
    EXPECT_FALSE(access.OpenRegistryKey(Absolute(u"Fehlt"), false));
    EXPECT_EQ(access.OpenKeyForTesting(), child);
    access.WriteRegistryText(u"Noch", u"da");
    EXPECT_FALSE(branch.KeyExists(u"Eltern\\Kind\\Fehlt"));
    EXPECT_FALSE(branch.KeyExists(u"Fehlt"));

    // "\" at the start: from the root again, created on request.
    ASSERT_TRUE(access.OpenRegistryKey(Absolute(u"Anderswo\\Tief"), true));
    EXPECT_TRUE(branch.KeyExists(u"Anderswo\\Tief"));

    Win32RegistryAccess check;
    ASSERT_TRUE(check.OpenRegistryKey(Absolute(u"Eltern\\Kind"), false));
    EXPECT_EQ(check.ReadRegistryText(u"Wo"), u"Kind");
    EXPECT_EQ(check.ReadRegistryText(u"Noch"), u"da");
}

TEST_F(Registry, RegistryKeyExistsLeavesTheOpenKeyAlone) {
    branch.Create(u"Da\\Unter");
    Win32RegistryAccess access;
    ASSERT_TRUE(access.OpenRegistryKey(Absolute(u"Da"), false));
    HKEY open = access.OpenKeyForTesting();

    EXPECT_TRUE(access.RegistryKeyExists(Absolute(u"Da")));
    EXPECT_TRUE(access.RegistryKeyExists(u"Unter"));  // relative to the open key
    EXPECT_FALSE(access.RegistryKeyExists(Absolute(u"Fehlt")));
    EXPECT_FALSE(access.RegistryKeyExists(u"Fehlt"));
    EXPECT_EQ(access.OpenKeyForTesting(), open);
}

TEST_F(Registry, DeleteRegistryKeyRemovesADeepTreeAndNothingElse) {
    for (const char16_t* path : {u"Weg\\a\\b\\c\\d", u"Weg\\a\\zwei", u"Weg\\x", u"Weg\\y\\z", u"Bleibt\\k"}) {
        unique_hkey key = branch.Create(path);
        SetRaw(key.get(), L"Wert", REG_SZ, L"v", 2 * sizeof(wchar_t));
    }
    Win32RegistryAccess access;
    ASSERT_TRUE(access.OpenRegistryKey(Absolute(u"Bleibt"), false));
    HKEY open = access.OpenKeyForTesting();

    EXPECT_TRUE(access.DeleteRegistryKey(Absolute(u"Weg")));
    EXPECT_FALSE(branch.KeyExists(u"Weg"));
    EXPECT_TRUE(branch.KeyExists(u"Bleibt\\k"));
    EXPECT_EQ(access.OpenKeyForTesting(), open);

    // Relative to the open key.
    EXPECT_TRUE(access.DeleteRegistryKey(u"k"));
    EXPECT_FALSE(branch.KeyExists(u"Bleibt\\k"));
    EXPECT_TRUE(branch.KeyExists(u"Bleibt"));

    EXPECT_FALSE(access.DeleteRegistryKey(Absolute(u"Fehlt")));
}

// An empty path names the base key itself; its subkeys must survive.
TEST_F(Registry, DeleteRegistryKeyRefusesAnEmptyPath) {
    branch.Create(u"Liste\\Eintrag A");
    branch.Create(u"Liste\\Eintrag B");
    Win32RegistryAccess access;
    ASSERT_TRUE(access.OpenRegistryKey(Absolute(u"Liste"), false));
    EXPECT_FALSE(access.DeleteRegistryKey(u""));
    EXPECT_TRUE(branch.KeyExists(u"Liste\\Eintrag A"));
    EXPECT_TRUE(branch.KeyExists(u"Liste\\Eintrag B"));
}

}  // namespace
}  // namespace brunvald::test
