#include "host/win32/win32_registry.h"

#include <memory>
#include <vector>

#include "host/host_rules.h"
#include "host/unique_handle.h"
#include "host/win32/win32_text.h"

namespace brunvald::win32 {

namespace {

const HKEY kRoot = HKEY_LOCAL_MACHINE;
// Read access only: STANDARD_RIGHTS_READ | KEY_QUERY_VALUE |
// KEY_ENUMERATE_SUB_KEYS. A key that may not be read counts as absent.
constexpr REGSAM kExistsAccess = 0x20009;
// What an opened key, and the walk of a deletion, asks for.
constexpr REGSAM kFullAccess = KEY_ALL_ACCESS;

// Deletes base\relative with every subkey below it. Subkeys go from the last
// index down, so deleting one never shifts the index of those still to come.
bool DeleteTree(HKEY base, const Text& relative) {
    // An empty name would name the base key itself: its subkeys would all be
    // wiped by the walk below before the deletion of the base key failed.
    // No caller means that, so nothing is touched.
    if (relative.empty()) return false;

    unique_hkey key;
    if (::RegOpenKeyExW(base, W(relative), 0, kFullAccess, key.put()) == ERROR_SUCCESS) {
        DWORD subKeys = 0;
        DWORD maxNameLength = 0;
        if (::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subKeys, &maxNameLength,
                               nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr) == ERROR_SUCCESS) {
            std::vector<wchar_t> name(maxNameLength + 1);
            for (DWORD index = subKeys; index-- > 0;) {
                DWORD length = static_cast<DWORD>(name.size());
                if (::RegEnumKeyExW(key.get(), index, name.data(), &length, nullptr, nullptr,
                                    nullptr, nullptr) == ERROR_SUCCESS) {
                    DeleteTree(key.get(), ToText(name.data(), length));
                }
            }
        }
    }
    key.reset();

    // No view flag: the key is deleted in the view the program runs in, the
    // same one every other registry call of the program uses.
    return ::RegDeleteKeyExW(base, W(relative), 0, 0) == ERROR_SUCCESS;
}

// The key's handle with full access. The platform keeps it bound to the key
// it was opened as, so after that key is deleted every read or write through
// it fails with ERROR_KEY_DELETED.
class Win32RegistryKey final : public RegistryKey {
public:
    Win32RegistryKey(unique_hkey key, const Text& path)
        : key_(std::move(key)), origin_(u"HKLM\\" + path + u'\\') {}

    Text ReadText(const Text& valueName) override {
        DWORD type = REG_NONE;
        DWORD size = 0;
        if (::RegQueryValueExW(key_.get(), W(valueName), nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
            size == 0)
            return {};

        // Room for an odd byte count and for a terminator the value may lack.
        std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 2, L'\0');
        DWORD read = size;
        const LONG status = ::RegQueryValueExW(key_.get(), W(valueName), nullptr, &type,
                                               reinterpret_cast<BYTE*>(buffer.data()), &read);
        if (status != ERROR_SUCCESS)
            throw HostError(RegistryReadErrorMessage(valueName),
                            {u"RegQueryValueExW", origin_ + valueName, static_cast<std::uint32_t>(status)});
        if (type != REG_SZ && type != REG_EXPAND_SZ)
            throw HostError(RegistryTypeErrorMessage(valueName),
                            {u"RegQueryValueExW: type " + DecimalText(type), origin_ + valueName, 0});

        // The text ends at its first NUL; environment references stay as stored.
        std::size_t length = 0;
        const std::size_t units = read / sizeof(wchar_t);
        while (length < units && buffer[length] != L'\0') ++length;
        return ToText(buffer.data(), length);
    }

    void WriteText(const Text& valueName, const Text& text) override {
        SetValue(valueName, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(char16_t)));
    }

    void WriteNumber(const Text& valueName, std::uint32_t number) override {
        const DWORD value = number;
        SetValue(valueName, REG_DWORD, &value, sizeof value);
    }

private:
    void SetValue(const Text& valueName, DWORD type, const void* data, DWORD size) {
        const LONG status =
            ::RegSetValueExW(key_.get(), W(valueName), 0, type, static_cast<const BYTE*>(data), size);
        if (status != ERROR_SUCCESS)
            throw HostError(RegistryWriteErrorMessage(valueName),
                            {u"RegSetValueExW", origin_ + valueName, static_cast<std::uint32_t>(status)});
    }

    unique_hkey key_;
    Text origin_;  // "HKLM\<path>\", the start of an error's origin
};

}  // namespace

bool Win32RegistryAccess::KeyExists(const Text& path) {
    unique_hkey probe;
    return !path.empty() &&
           ::RegOpenKeyExW(kRoot, W(path), 0, kExistsAccess, probe.put()) == ERROR_SUCCESS;
}

std::unique_ptr<RegistryKey> Win32RegistryAccess::OpenKey(const Text& path, bool create) {
    if (path.empty()) return nullptr;
    unique_hkey key;
    LONG status;
    if (create) {
        DWORD disposition = 0;
        status = ::RegCreateKeyExW(kRoot, W(path), 0, nullptr, REG_OPTION_NON_VOLATILE, kFullAccess,
                                   nullptr, key.put(), &disposition);
    } else {
        status = ::RegOpenKeyExW(kRoot, W(path), 0, kFullAccess, key.put());
    }
    if (status != ERROR_SUCCESS) return nullptr;
    return std::make_unique<Win32RegistryKey>(std::move(key), path);
}

bool Win32RegistryAccess::DeleteKeyTree(const Text& path) {
    return DeleteTree(kRoot, path);
}

}  // namespace brunvald::win32
