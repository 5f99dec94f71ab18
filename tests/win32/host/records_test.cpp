// The game folder and the registry records on the real registry of the test
// prefix. These keys have fixed places under HKLM, so whatever was there
// before a test is copied aside and put back afterwards.
#include <gtest/gtest.h>

#include <optional>

#include "core/game_folders.h"
#include "core/registry_records.h"
#include "host/win32/win32_host.h"
#include "test_support.h"

namespace brunvald::test {
namespace {

using win32::Win32Host;

constexpr wchar_t kAppPaths[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Emperor.exe";
constexpr wchar_t kMaker[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Vantorel";
constexpr wchar_t kUninstall[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

// Copies a key (if present) into the test branch and restores it when done.
class SavedKey {
public:
    SavedKey(const TestRegistryBranch& branch, const wchar_t* path, const Text& slot)
        : branch_(branch), path_(path), slot_(slot) {
        unique_hkey original;
        existed_ = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path_, 0, KEY_READ, original.put()) == ERROR_SUCCESS;
        if (existed_) {
            unique_hkey copy = branch_.Create(slot_);
            ::RegCopyTreeW(original.get(), nullptr, copy.get());
        }
    }
    ~SavedKey() {
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, path_);
        ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, path_);
        if (existed_) {
            unique_hkey restored;
            unique_hkey copy;
            if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, path_, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  restored.put(), nullptr) == ERROR_SUCCESS &&
                ::RegOpenKeyExW(branch_.key(), W(slot_), 0, KEY_READ, copy.put()) == ERROR_SUCCESS)
                ::RegCopyTreeW(copy.get(), nullptr, restored.get());
        }
    }

private:
    const TestRegistryBranch& branch_;
    const wchar_t* path_;
    Text slot_;
    bool existed_ = false;
};

void SetText(const wchar_t* keyPath, const wchar_t* name, DWORD type, const std::wstring& text) {
    unique_hkey key;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(),
                                nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(::RegSetValueExW(key.get(), name, 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                               static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
}

std::wstring ReadText(const std::wstring& keyPath, const wchar_t* name) {
    unique_hkey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return L"<no key>";
    wchar_t data[512] = {};
    DWORD size = sizeof data - sizeof(wchar_t);
    DWORD type = 0;
    if (::RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) !=
        ERROR_SUCCESS)
        return L"<no value>";
    return type == REG_SZ ? std::wstring(data) : L"<not REG_SZ>";
}

// The DWORD value, or nothing when it is missing or of another type.
std::optional<DWORD> ReadNumber(const std::wstring& keyPath, const wchar_t* name) {
    DWORD data = 0, size = sizeof data, type = 0;
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, keyPath.c_str(), name, RRF_RT_ANY, &type, &data, &size) != ERROR_SUCCESS ||
        type != REG_DWORD)
        return std::nullopt;
    return data;
}

bool KeyExists(const std::wstring& path) {
    unique_hkey key;
    return ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

class Records : public ::testing::Test {
protected:
    TestRegistryBranch branch;
    SavedKey appPaths{branch, kAppPaths, u"saved-app-paths"};
    SavedKey maker{branch, kMaker, u"saved-maker"};
    Win32Host host;
};

TEST_F(Records, LocateGameFolderTable) {
    struct Case {
        const char* what;
        bool createKey;
        const wchar_t* value;  // null: no "Path" value
        DWORD type;
        const char16_t* expected;
    };
    const Case cases[] = {
        {"no final backslash", true, L"C:\\Spiele\\Der erste Kaiser", REG_SZ, u"C:\\Spiele\\Der erste Kaiser\\"},
        {"final backslash", true, L"C:\\Spiele\\Kaiser\\", REG_SZ, u"C:\\Spiele\\Kaiser\\"},
        {"expandable text as stored", true, L"%ProgramFiles%\\Kaiser", REG_EXPAND_SZ, u"%ProgramFiles%\\Kaiser\\"},
        {"empty value", true, L"", REG_SZ, u""},
        {"missing value", true, nullptr, REG_SZ, u""},
        {"missing key", false, nullptr, REG_SZ, u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kAppPaths);
        ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, kAppPaths);
        if (c.createKey) {
            SetText(kAppPaths, L"Andere", REG_SZ, L"x");
            if (c.value) SetText(kAppPaths, L"Path", c.type, c.value);
        }
        EXPECT_EQ(LocateGameFolder(host), Text(c.expected));
    }
}

TEST_F(Records, LocateGameFolderRaisesForANumber) {
    unique_hkey key;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kAppPaths, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(),
                                nullptr),
              ERROR_SUCCESS);
    const DWORD number = 1;
    ::RegSetValueExW(key.get(), L"Path", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
    try {
        LocateGameFolder(host);
        ADD_FAILURE() << "no error raised";
    } catch (const HostError& error) {
        EXPECT_EQ(Utf8(error.message()), "Ungültiger Datentyp für 'Path'");
    }
}

TEST_F(Records, WrittenAndRemovedOnTheRealRegistry) {
    const std::wstring entry = std::wstring(kUninstall) + L"\\Brunvald Testmission Ä";
    const std::wstring neighbour = std::wstring(kUninstall) + L"\\Brunvald Nachbar";
    SetText(neighbour.c_str(), L"DisplayName", REG_SZ, L"Nachbar");
    MissionIdentity identity;
    identity.missionName = u"Testmission";
    identity.missionMarker = u"TM";
    identity.displayName = u"Brunvald Testmission Ä";

    // A mission without files of its own: it places nothing, 0 KB.
    WriteUninstallRecord(host, identity, u"C:\\Spiele\\Der erste Kaiser\\", MissionModel{});
    WriteMakerRecord(host, identity);
    EXPECT_EQ(ReadText(entry, L"Publisher"), L"©Vantorel");
    EXPECT_EQ(ReadText(entry, L"DisplayIcon"), L"C:\\Spiele\\Der erste Kaiser\\Data\\Brunvald.exe");
    EXPECT_EQ(ReadText(entry, L"DisplayVersion"), L"1.2.6593.65535");
    EXPECT_EQ(ReadNumber(entry, L"EstimatedSize"), std::optional<DWORD>(0));
    EXPECT_EQ(ReadNumber(entry, L"NoModify"), std::optional<DWORD>(1));
    EXPECT_EQ(ReadNumber(entry, L"NoRepair"), std::optional<DWORD>(1));
    EXPECT_EQ(ReadText(entry, L"DisplayName"), L"Brunvald Testmission Ä");
    EXPECT_NE(ReadText(entry, L"UninstallString").find(L"C:\\Spiele\\Der erste Kaiser\\Data\\"),
              std::wstring::npos);
    EXPECT_EQ(ReadText(kMaker, L"CampMarker"), L"TM");
    EXPECT_EQ(ReadText(kMaker, L"CampBuild"), L"1.2.6593.65535");
    EXPECT_FALSE(ReadRecordedMission(host, u"TM").otherMission);
    EXPECT_TRUE(ReadRecordedMission(host, u"XY").otherMission);

    static bool missingReported;
    missingReported = false;
    EXPECT_EQ(RemoveRecords(host, identity.displayName, [](HostOps&) { missingReported = true; }), u"");
    EXPECT_FALSE(missingReported);
    EXPECT_FALSE(KeyExists(entry));
    EXPECT_FALSE(KeyExists(kMaker));
    EXPECT_TRUE(KeyExists(neighbour));
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, neighbour.c_str());
    ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, neighbour.c_str());
}

// An empty display name would make the entry's path the key of the whole list.
TEST_F(Records, EmptyDisplayNameNeverTouchesTheListOfInstalledPrograms) {
    const std::wstring neighbour = std::wstring(kUninstall) + L"\\Brunvald Nachbar";
    SetText(neighbour.c_str(), L"DisplayName", REG_SZ, L"Nachbar");
    MissionIdentity identity;
    identity.missionMarker = u"TM";

    WriteUninstallRecord(host, identity, u"C:\\Spiele\\", MissionModel{});
    EXPECT_EQ(ReadText(kUninstall, L"Publisher"), L"<no value>");
    EXPECT_EQ(RemoveRecords(host, u"", [](HostOps&) {}), u"");
    EXPECT_TRUE(KeyExists(kUninstall));
    EXPECT_TRUE(KeyExists(neighbour));
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, neighbour.c_str());
    ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, neighbour.c_str());
}

}  // namespace
}  // namespace brunvald::test
