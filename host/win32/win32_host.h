// HostOps on the real Win32 API: files, the program's own resources, the
// process list, message boxes and the registry.
#pragma once

#include <cstdint>

#include "host/host_ops.h"
#include "host/unique_handle.h"
#include "host/win32/win32_registry.h"

namespace brunvald::win32 {

class Win32Host final : public HostOps {
public:
    Win32Host() = default;

    Bytes LoadResourceData(const Text& typeName, const Text& name) override;
    void ExtractResource(const Text& resourceName, const Text& targetPath) override;
    bool FileHoldsResource(const Text& resourceName, const Text& path) override;
    bool StampOfFile(const Text& path, FileStamp& stamp) override;
    bool RenameFile(const Text& from, const Text& to) override;
    bool RenameFileOver(const Text& from, const Text& to) override;
    bool RemoveFile(const Text& path) override;
    bool FileIsPresent(const Text& path) override;
    bool FolderIsPresent(const Text& path) override;
    FileRead ReadWholeFile(const Text& path, std::vector<std::uint8_t>& bytes) override;
    void ReplaceFileAtomically(const Text& path, Bytes bytes, Flush flush) override;
    bool MakeFolders(const Text& path) override;
    bool RemoveEmptyFolder(const Text& path) override;
    std::vector<Text> FileNamesMatching(const Text& folder, const Text& pattern) override;
    bool CopyInstaller(const Text& source, const Text& target) override;
    void ResetAttributes(const Text& folder) override;

    bool IsProcessRunning(const Text& exeName) override;
    Text ProgramPath() override;
    Text CommandLineText() override;
    int ShowMessageBox(const Text& text, const Text& caption, unsigned flags) override;
    void ProcessPendingMessages() override;
    void WriteTrace(const Text& line) override;
    void Pause(unsigned milliseconds) override;

    std::unique_ptr<RegistryAccess> StartRegistryAccess() override;

    Text DecodeAnsi(Bytes bytes) override;
    Text BuildVersionText() override;

    void WriteScriptFile(const Text& path, const std::vector<Text>& lines) override;
    void OpenHidden(const Text& path, std::uintptr_t ownerWindow) override;
    Text ShortPathForm(const Text& path) override;
};

// The security descriptor WriteScriptFile creates the self-removal script
// with: a protected access list (nothing inherited from the folder) that lets
// only the Administrators group and SYSTEM in, with full access. The elevated
// command interpreter re-reads the script line by line while it waits, often
// in a folder that ordinary users can write. Empty on failure, with the last
// error set.
unique_hlocal ScriptAccessDescriptor();

// The largest piece ExtractResource hands to one WriteFile call.
inline constexpr std::size_t kExtractPieceSize = 61440;

}  // namespace brunvald::win32
