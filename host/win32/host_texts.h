// Interim: the German texts and pure rules the Win32 host needs, until the
// shared builders in host/host_rules.h are in place.
#pragma once

#include <cstdint>

#include "host/host_ops.h"

namespace brunvald::win32 {

Text ResourceNotFoundMessage(const Text& name);
Text FileCreateErrorMessage(const Text& fullPath, const Text& systemText);
Text StreamWriteErrorMessage();
Text MakeFoldersErrorMessage();
Text RegistryTypeErrorMessage(const Text& valueName);
Text RegistryReadErrorMessage(const Text& valueName);
Text RegistryWriteErrorMessage(const Text& valueName);
Text SystemErrorMessage(std::uint32_t code, const Text& systemText);
Text FormatVersionText(std::uint32_t versionMS, std::uint32_t versionLS);
bool ProcessNameMatches(const Text& exeField, const Text& exeName);

}  // namespace brunvald::win32
