// A HostOps in memory that keeps Windows' rules where the installer relies on
// them: file and key names compared without regard to letter case, a rename
// onto an existing name fails, a read-only file cannot be replaced, a file
// needs its folder, registry values are typed. Every action with an effect
// outside the process is also written to a log, so tests can compare the
// order of what a run did.
//
// A path of MAX_PATH (260) units or more cannot be created or renamed to, as
// for a program that has not opted into long paths.
//
// Paths are made comparable as Windows does it for the runs' paths: "/" is
// "\", empty, "." and ".." segments are resolved, and a segment loses its
// trailing dots and blanks ("Campaigns\Aurelmark.\" is Campaigns\Aurelmark).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "host/host_ops.h"

namespace brunvald::testing {

// What an operation throws when the process is killed at that moment.
struct ProcessKilled {};

std::string Utf8(const Text& text);
Bytes AsBytes(const std::string& bytes);
std::vector<std::uint8_t> ToBytes(const std::string& bytes);

enum class ValueType { Sz, ExpandSz, Dword };

struct RegistryValue {
    Text name;  // as written
    ValueType type = ValueType::Sz;
    Text text;
};

struct MessageBoxCall {
    Text text;
    Text caption;
    unsigned flags = 0;
};

class FakeHost final : public HostOps {
public:
    static constexpr std::size_t kMaxPath = 260;

    FakeHost();
    ~FakeHost() override;

    // --- Setting the scene ----------------------------------------------
    void AddFolder(const Text& path);  // with every missing parent
    // The folder with everything in it goes to `to` (the player moves the
    // game); file names keep their spelling below the folder.
    void MoveFolder(const Text& from, const Text& to);
    void AddFile(const Text& path, const std::string& bytes, bool readOnly = false);
    void SetReadOnly(const Text& path, bool readOnly);
    void AddResource(const Text& name, const std::string& bytes,
                     const Text& type = u"RT_RCDATA");
    void RemoveResource(const Text& name, const Text& type = u"RT_RCDATA");
    void AddKey(const Text& path);
    void SetValue(const Text& keyPath, const Text& name, const Text& text,
                  ValueType type = ValueType::Sz);
    // The key exists but refuses full access (as HKLM keys do for a process
    // without administrator rights).
    void DenyFullAccess(const Text& keyPath);

    std::vector<Text> runningProcesses;
    Text programPath = u"C:\\Downloads\\Brunvald.exe";
    Text commandLine = u"\"C:\\Downloads\\Brunvald.exe\"";
    Text versionText = u"1.2.6593.38686";
    bool versionFails = false;
    std::map<Text, Text> shortForms;  // comparable path -> short form
    // ExtractResource into this path (comparable) writes half and fails.
    std::set<Text> streamFailures;
    // RegistryKey::WriteText and WriteNumber of these value names fail.
    std::set<Text> failingValueWrites;
    // RemoveFile and RenameFileOver of these paths (comparable) report
    // success and change nothing, as Wine does on a medium that cannot be
    // written.
    std::set<Text> falseSuccesses;
    // ReadWholeFile of these paths (comparable) fails.
    std::set<Text> unreadableFiles;
    // The process is killed at the operation with an effect outside it that
    // has this number (counting from 1 for the host's life; negative: never).
    // A write killed part way leaves half of its bytes; an atomic replace
    // killed leaves its ".new" file and the old content.
    long killAt = -1;
    long effects = 0;  // such operations begun so far
    // Counts an operation with an outside effect; true when the process is
    // killed at it (the caller then leaves what a kill leaves and throws).
    bool KilledNow();

    // --- Looking at the outcome ---------------------------------------------
    bool HasFile(const Text& path) const;
    bool HasFolder(const Text& path) const;
    std::string FileBytes(const Text& path) const;  // "" when missing
    bool IsReadOnly(const Text& path) const;
    // Every file as "<path as written>=<bytes>", sorted by comparable path.
    std::vector<std::string> FileListing() const;
    // Every file below the folder as "<comparable path relative to it>=<bytes>",
    // sorted: the same for a folder moved elsewhere.
    std::vector<std::string> FilesBelow(const Text& folder) const;
    bool HasKey(const Text& path) const;
    const RegistryValue* Value(const Text& keyPath, const Text& name) const;
    // "name=text" for every value of the key, in the order they were first written.
    std::vector<std::string> ValuesOf(const Text& keyPath) const;

    std::vector<std::string> log;
    std::vector<MessageBoxCall> messageBoxes;
    std::vector<unsigned> pauses;
    std::vector<Text> resetFolders;
    int pendingMessageCalls = 0;
    std::vector<Text> traces;  // every WriteTrace line
    int registryAccessesStarted = 0;
    int registryAccessesLive = 0;
    int registryKeysOpen = 0;  // RegistryKey objects not yet destroyed
    std::vector<std::vector<Text>> scripts;  // lines of each WriteScriptFile
    std::vector<Text> openedHidden;
    std::uintptr_t lastOwner = 0;

    // --- HostOps ------------------------------------------------------------
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

    // The comparable form of a path (upper-case, resolved as described above).
    static Text Comparable(const Text& path);

    struct Key {
        Text path;  // as first created
        std::vector<RegistryValue> values;
        bool denyFullAccess = false;
        std::uint64_t identity = 0;  // a key created again after a deletion is another key
    };
    std::map<Text, Key> keys;  // comparable key path -> key
    std::uint64_t keysCreated = 0;

private:
    // A clock that advances at every write, for the files' write times.
    static std::uint64_t NextWriteTime();
    struct File {
        Text path;  // as written
        std::vector<std::uint8_t> bytes;
        bool readOnly = false;
        // Set where the file is written; a rename or a move keeps it.
        std::uint64_t lastWrite = NextWriteTime();
    };
    const std::vector<std::uint8_t>* FindResource(const Text& type, const Text& name) const;
    void RaiseCannotCreate(const Text& path, const Text& reason);
    bool ParentExists(const Text& comparable) const;
    // Moves the file to its new name (a rename; `to` as written).
    void MoveEntry(std::map<Text, File>::iterator file, const Text& to);

    std::map<Text, File> files_;    // comparable path -> file
    std::set<Text> folders_;        // comparable paths
    std::map<Text, std::vector<std::uint8_t>> resources_;  // "TYPE/NAME" -> bytes
};

}  // namespace brunvald::testing
