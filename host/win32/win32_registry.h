// RegistryAccess on the real registry: HKEY_LOCAL_MACHINE, full access, no
// view flag (a 32-bit process sees the 32-bit view of SOFTWARE).
#pragma once

#include "host/host_ops.h"
#include "host/unique_handle.h"

namespace brunvald::win32 {

class Win32RegistryAccess final : public RegistryAccess {
public:
    Win32RegistryAccess() = default;
    // The destructor ends the access: the open key is closed by its owner.

    bool RegistryKeyExists(const Text& path) override;
    bool OpenRegistryKey(const Text& path, bool mayCreate) override;
    Text ReadRegistryText(const Text& valueName) override;
    void WriteRegistryText(const Text& valueName, const Text& text) override;
    void WriteRegistryNumber(const Text& valueName, std::uint32_t number) override;
    void CloseRegistryKey() override;
    bool DeleteRegistryKey(const Text& path) override;

    // The open key, for tests: null when none is open.
    HKEY OpenKeyForTesting() const noexcept { return openKey_.get(); }

private:
    struct KeyPath {
        HKEY base;
        Text relative;
    };
    // "\..." is taken from the root (the "\" dropped); any other path from
    // the open key, or from the root when none is open.
    KeyPath Resolve(const Text& path) const;
    // RegSetValueExW into the open key; raises the write error.
    void SetValue(const Text& valueName, DWORD type, const void* data, DWORD size);

    HKEY root_ = HKEY_LOCAL_MACHINE;
    REGSAM access_ = KEY_ALL_ACCESS;
    unique_hkey openKey_;
    Text openPath_;  // "HKLM\..." of the open key, for the origin of an error
};

}  // namespace brunvald::win32
