// The seam between the installer logic and Windows. Every file, resource,
// registry, process, message-box and pause action of the logic is one of these
// operations. The Win32 implementation lives in host/win32; the
// native tests use a fake that keeps Windows' rules.
//
// Portable: no Windows header here. Texts are UTF-16.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace brunvald {

using Text = std::u16string;
using Bytes = std::span<const std::uint8_t>;

// Where an error arose, for whoever has to trace it: the platform call that
// failed, the file, resource or registry value it was given, and the
// platform's error code (0 where the call sets none). Never shown to the
// player; empty parts are unknown.
struct ErrorOrigin {
    Text operation;
    Text path;
    std::uint32_t code = 0;
};

// The one error type of the system. It carries the German message that the
// top level shows in the error box, and where the error arose. Raised by the
// host operations that the contracts name; the logic lets it pass to the
// handler that is running, which also writes it to the trace (WriteTrace).
class HostError {
public:
    explicit HostError(Text message, ErrorOrigin origin = {})
        : message_(std::move(message)), origin_(std::move(origin)) {}
    const Text& message() const noexcept { return message_; }
    const ErrorOrigin& origin() const noexcept { return origin_; }

private:
    Text message_;
    ErrorOrigin origin_;
};

// A file's size and the time of its last write (in the platform's units).
struct FileStamp {
    std::uint64_t size = 0;
    std::uint64_t lastWrite = 0;
    bool operator==(const FileStamp&) const = default;
};

// Message box flags the system uses.
inline constexpr unsigned kIconError = 0x10;
inline constexpr unsigned kIconExclamation = 0x30;

// One open key of the registry, closed when the object goes. It stays the
// key it was opened as: once that key is deleted, reads find nothing and
// writes fail, even if a key of the same name is created again.
class RegistryKey {
public:
    virtual ~RegistryKey() = default;

    // Empty text for a missing value or one of size 0. Raises
    // "Ungültiger Datentyp für '%s'" for a value that is not text and
    // "Fehler beim Holen der Daten für '%s'" for a failed read.
    virtual Text ReadText(const Text& valueName) = 0;
    // Stores REG_SZ; raises "Fehler beim Setzen der Daten für '%s'".
    virtual void WriteText(const Text& valueName, const Text& text) = 0;
    // Stores REG_DWORD; raises "Fehler beim Setzen der Daten für '%s'".
    virtual void WriteNumber(const Text& valueName, std::uint32_t number) = 0;
};

// One use of the registry, always in HKEY_LOCAL_MACHINE with no explicit view
// flag. Every path names a key below that root ("SOFTWARE\..."); an empty
// path names none. Nothing here raises.
class RegistryAccess {
public:
    virtual ~RegistryAccess() = default;

    // True when the key can be opened for reading (0x20009).
    [[nodiscard]] virtual bool KeyExists(const Text& path) = 0;
    // The key with full access, created first (with every missing key above
    // it) when create is set; null when it cannot be opened or created.
    [[nodiscard]] virtual std::unique_ptr<RegistryKey> OpenKey(const Text& path, bool create) = 0;
    // Deletes the key with all subkeys and values; false when the key is
    // missing or will not go.
    [[nodiscard]] virtual bool DeleteKeyTree(const Text& path) = 0;
};

// A `bool` result here and in RegistryAccess says whether the platform did
// it. Every caller looks at it
// ([[nodiscard]]); a caller that has nothing to do on failure says why where
// it casts the result away.
class HostOps {
public:
    virtual ~HostOps() = default;

    // --- Files and resources -------------------------------------------

    // The bytes of the program's own resource, matched without regard to
    // case; valid for the life of the process. Raises
    // "Ressource %s nicht gefunden" with the name as passed.
    virtual Bytes LoadResourceData(const Text& typeName, const Text& name) = 0;
    // Writes the "RT_RCDATA" resource of that name into the target file
    // (CREATE_ALWAYS, pieces of at most 61,440 bytes). The resource is looked
    // up first, so a missing one leaves the target untouched. Raises the
    // resource error, "Datei \"%s\" kann nicht erstellt werden. %s" or
    // "Stream-Schreibfehler".
    virtual void ExtractResource(const Text& resourceName, const Text& targetPath) = 0;
    // True when the file at path holds exactly the bytes of the "RT_RCDATA"
    // resource of that name (false for a missing file or resource). Lets the
    // uninstall run tell the mission's own files from the game's.
    [[nodiscard]] virtual bool FileHoldsResource(const Text& resourceName, const Text& path) = 0;
    // The file's size and the time of its last write; false for a missing
    // file or a folder. Tells a file from its later changes without reading
    // it: whoever writes to the file, or replaces it, changes the stamp.
    [[nodiscard]] virtual bool StampOfFile(const Text& path, FileStamp& stamp) = 0;
    // MoveFileW: fails when the source is missing or the target exists.
    [[nodiscard]] virtual bool RenameFile(const Text& from, const Text& to) = 0;
    // MoveFileExW with MOVEFILE_REPLACE_EXISTING: the file at `to`, if any,
    // is replaced in one step, so a failure leaves both files as they were.
    // Fails when the source is missing, or when `to` is a folder, read-only
    // or held open.
    [[nodiscard]] virtual bool RenameFileOver(const Text& from, const Text& to) = 0;
    // DeleteFileW; a link to a folder is removed with RemoveDirectoryW.
    [[nodiscard]] virtual bool RemoveFile(const Text& path) = 0;
    [[nodiscard]] virtual bool FileIsPresent(const Text& path) = 0;
    // A folder (or a link to one) exists at path; a final "\\" is allowed.
    [[nodiscard]] virtual bool FolderIsPresent(const Text& path) = 0;
    // Creates the folder and every missing parent. Raises
    // "Verzeichnis kann nicht erstellt werden" for an empty path.
    [[nodiscard]] virtual bool MakeFolders(const Text& path) = 0;
    // RemoveDirectoryW (a final "\\" is allowed): only an empty folder goes.
    // Fails when the folder is missing, holds anything, or will not go.
    [[nodiscard]] virtual bool RemoveEmptyFolder(const Text& path) = 0;
    // The names (without folder) of the files in folder (ending in "\\")
    // that match the pattern's wildcards ("*" and "?"), in no set order;
    // folders are left out. Empty when there are none or the folder cannot
    // be read.
    virtual std::vector<Text> FileNamesMatching(const Text& folder, const Text& pattern) = 0;
    // CopyFileW(source, target, FALSE).
    [[nodiscard]] virtual bool CopyInstaller(const Text& source, const Text& target) = 0;
    // The whole content of a small file (the install journal). Missing when
    // nothing of that name exists; Failed when something does but cannot be
    // read as a file.
    enum class FileRead { Missing, Read, Failed };
    [[nodiscard]] virtual FileRead ReadWholeFile(const Text& path, std::vector<std::uint8_t>& bytes) = 0;
    // How far ReplaceFileAtomically carries the new content before the rename.
    enum class Flush : bool {
        No,        // into the system's cache: a process killed at any moment
                   // leaves the old or the new content, a power cut may not
        ToMedium,  // onto the medium first: a power cut leaves one of them too
    };
    // Replaces the file's content in one step: the bytes go to path + ".new"
    // and that file is renamed over path, so either the old or the new
    // content is found at path, never a part. Raises the file-creation error
    // or "Stream-Schreibfehler"; a kill may leave the ".new" file behind.
    virtual void ReplaceFileAtomically(const Text& path, Bytes bytes, Flush flush) = 0;
    // The folder and its direct entries get the normal attribute; "." and
    // ".." are passed over (the folder above is not touched), and a volume's
    // root is left as it is. Never reports.
    virtual void ResetAttributes(const Text& folder) = 0;

    // --- Processes, program and user -----------------------------------

    [[nodiscard]] virtual bool IsProcessRunning(const Text& exeName) = 0;
    virtual Text ProgramPath() = 0;
    virtual Text CommandLineText() = 0;
    // Modal, one OK button; the owner is the program's active window.
    virtual int ShowMessageBox(const Text& text, const Text& caption, unsigned flags) = 0;
    virtual void ProcessPendingMessages() = 0;
    // One line for a supporter, where the platform keeps such lines (the
    // debugger output channel, which a debugger or DebugView shows); nothing
    // the player sees.
    virtual void WriteTrace(const Text& line) = 0;
    virtual void Pause(unsigned milliseconds) = 0;

    // --- Registry ------------------------------------------------------

    virtual std::unique_ptr<RegistryAccess> StartRegistryAccess() = 0;

    // --- Texts of the platform -----------------------------------------

    // Decodes 8-bit text in the system's ANSI code page.
    virtual Text DecodeAnsi(Bytes bytes) = 0;
    // The installer's fixed file version "a.b.c.d". Raises the system error
    // "Systemfehler.  Code: %d.\r\n%s%s" when the version block cannot be read.
    virtual Text BuildVersionText() = 0;

    // --- Self-removal ---------------------------------------------------

    // Creates or truncates the file and writes every line followed by CR LF,
    // in the OEM code page that the command interpreter reads. Raises the
    // file-creation error.
    virtual void WriteScriptFile(const Text& path, const std::vector<Text>& lines) = 0;
    // ShellExecuteW(owner, "open", path, null, null, SW_HIDE); not tested.
    virtual void OpenHidden(const Text& path, std::uintptr_t ownerWindow) = 0;
    // The short 8.3 form of an existing path, or empty when the volume has
    // none.
    virtual Text ShortPathForm(const Text& path) = 0;
};

}  // namespace brunvald
