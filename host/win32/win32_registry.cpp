#include "host/win32/win32_registry.h"

#include <vector>

#include "host/host_rules.h"
#include "host/win32/win32_text.h"

namespace brunvald::win32 {

namespace {

// Read access only: STANDARD_RIGHTS_READ | KEY_QUERY_VALUE |
// KEY_ENUMERATE_SUB_KEYS. A key that may not be read counts as absent.
constexpr REGSAM kExistsAccess = 0x20009;

// Deletes base\relative with every subkey below it. Subkeys go from the last
// index down, so deleting one never shifts the index of those still to come.
bool DeleteKeyTree(HKEY base, const Text& relative, REGSAM access) {
    // An empty name would name the base key itself: its subkeys would all be
    // wiped by the walk below before the deletion of the base key failed.
    // No caller means that, so nothing is touched.
    if (relative.empty()) return false;

    unique_hkey key;
    if (::RegOpenKeyExW(base, W(relative), 0, access, key.put()) == ERROR_SUCCESS) {
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
                    DeleteKeyTree(key.get(), ToText(name.data(), length), access);
                }
            }
        }
    }
    key.reset();

    // No view flag: the key is deleted in the view the program runs in, the
    // same one every other registry call of the program uses.
    return ::RegDeleteKeyExW(base, W(relative), 0, 0) == ERROR_SUCCESS;
}

}  // namespace

Win32RegistryAccess::KeyPath Win32RegistryAccess::Resolve(const Text& path) const {
    if (!path.empty() && path.front() == u'\\') return {root_, path.substr(1)};
    return {openKey_ ? openKey_.get() : root_, path};
}

bool Win32RegistryAccess::RegistryKeyExists(const Text& path) {
    const KeyPath key = Resolve(path);
    unique_hkey probe;
    return ::RegOpenKeyExW(key.base, W(key.relative), 0, kExistsAccess, probe.put()) ==
           ERROR_SUCCESS;
}

bool Win32RegistryAccess::OpenRegistryKey(const Text& path, bool mayCreate) {
    const KeyPath key = Resolve(path);
    unique_hkey opened;
    LONG status;
    if (mayCreate && !key.relative.empty()) {
        DWORD disposition = 0;
        status = ::RegCreateKeyExW(key.base, W(key.relative), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                   access_, nullptr, opened.put(), &disposition);
    } else {
        status = ::RegOpenKeyExW(key.base, W(key.relative), 0, access_, opened.put());
    }
    if (status != ERROR_SUCCESS) return false;
    // The new key may be relative to the old one, so the old one is closed
    // only now.
    openKey_ = std::move(opened);
    openPath_ = (key.base == root_ ? Text(u"HKLM") : openPath_) + u'\\' + key.relative;
    return true;
}

Text Win32RegistryAccess::ReadRegistryText(const Text& valueName) {
    if (!openKey_) return {};
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (::RegQueryValueExW(openKey_.get(), W(valueName), nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS ||
        size == 0)
        return {};

    // Room for an odd byte count and for a terminator the value may lack.
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 2, L'\0');
    DWORD read = size;
    const LONG status = ::RegQueryValueExW(openKey_.get(), W(valueName), nullptr, &type,
                                           reinterpret_cast<BYTE*>(buffer.data()), &read);
    if (status != ERROR_SUCCESS)
        throw HostError(RegistryReadErrorMessage(valueName),
                        {u"RegQueryValueExW", openPath_ + u'\\' + valueName, static_cast<std::uint32_t>(status)});
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        throw HostError(RegistryTypeErrorMessage(valueName),
                        {u"RegQueryValueExW: type " + DecimalText(type), openPath_ + u'\\' + valueName, 0});

    // The text ends at its first NUL; environment references stay as stored.
    std::size_t length = 0;
    const std::size_t units = read / sizeof(wchar_t);
    while (length < units && buffer[length] != L'\0') ++length;
    return ToText(buffer.data(), length);
}

void Win32RegistryAccess::SetValue(const Text& valueName, DWORD type, const void* data, DWORD size) {
    // With no key open there is nothing to write into; the platform call
    // would fail the same way.
    const LONG status =
        openKey_ ? ::RegSetValueExW(openKey_.get(), W(valueName), 0, type, static_cast<const BYTE*>(data), size)
                 : ERROR_INVALID_HANDLE;
    if (status != ERROR_SUCCESS)
        throw HostError(RegistryWriteErrorMessage(valueName),
                        {u"RegSetValueExW", openPath_ + u'\\' + valueName, static_cast<std::uint32_t>(status)});
}

void Win32RegistryAccess::WriteRegistryText(const Text& valueName, const Text& text) {
    SetValue(valueName, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(char16_t)));
}

void Win32RegistryAccess::WriteRegistryNumber(const Text& valueName, std::uint32_t number) {
    const DWORD value = number;
    SetValue(valueName, REG_DWORD, &value, sizeof value);
}

void Win32RegistryAccess::CloseRegistryKey() {
    openKey_.reset();
    openPath_.clear();
}

bool Win32RegistryAccess::DeleteRegistryKey(const Text& path) {
    const KeyPath key = Resolve(path);
    return DeleteKeyTree(key.base, key.relative, access_);
}

}  // namespace brunvald::win32
