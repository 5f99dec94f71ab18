// RegistryAccess on the real registry: HKEY_LOCAL_MACHINE, full access for
// opened keys, no view flag (a 32-bit process sees the 32-bit view of
// SOFTWARE).
#pragma once

#include "host/host_ops.h"

namespace brunvald::win32 {

class Win32RegistryAccess final : public RegistryAccess {
public:
    bool KeyExists(const Text& path) override;
    std::unique_ptr<RegistryKey> OpenKey(const Text& path, bool create) override;
    bool DeleteKeyTree(const Text& path) override;
};

}  // namespace brunvald::win32
