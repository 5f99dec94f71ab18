#include "host/win32/win32_host.h"

#include <sddl.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/host_rules.h"
#include "host/unique_handle.h"
#include "host/win32/dll_search.h"
#include "host/win32/version_text.h"
#include "host/win32/win32_text.h"

namespace brunvald::win32 {

namespace {

// The resource type of the payload: a type *named* "RT_RCDATA", not the
// numbered standard type for raw data.
const Text kPayloadType = u"RT_RCDATA";

constexpr DWORD kNormalAttribute = FILE_ATTRIBUTE_NORMAL;  // 0x80

bool HasAttribute(DWORD attributes, DWORD bit) { return (attributes & bit) != 0; }

// The path as the error message shows it: made absolute by the platform.
Text FullPath(const Text& path) {
    const DWORD needed = ::GetFullPathNameW(W(path), 0, nullptr, nullptr);
    if (needed == 0) return path;
    std::vector<wchar_t> buffer(needed);
    const DWORD length = ::GetFullPathNameW(W(path), needed, buffer.data(), nullptr);
    if (length == 0 || length >= needed) return path;
    return ToText(buffer.data(), length);
}

// The file-creation error; `operation` is the call that failed. Plain text
// pointers, so that nothing between the failed call and the reading of its
// code can change the thread's last error.
[[noreturn]] void ThrowCannotCreate(const char16_t* operation, const Text& path, DWORD code) {
    const Text fullPath = FullPath(path);
    throw HostError(FileCreateErrorMessage(fullPath, SystemMessageText(code)),
                    {operation, fullPath, code});
}

// The resource error, with the name as passed.
[[noreturn]] void ThrowResourceNotFound(const Text& typeName, const Text& name) {
    throw HostError(ResourceNotFoundMessage(name), {u"FindResourceW", typeName + u'/' + name, 0});
}

// A resource of the own module, or null data when there is none.
struct FoundResource {
    const std::uint8_t* data = nullptr;
    DWORD size = 0;
    bool found = false;
};

FoundResource FindOwnResource(const Text& typeName, const Text& name) {
    // The executable's module: its resources are the payload, also when this
    // code runs inside a test program.
    HMODULE self = ::GetModuleHandleW(nullptr);
    HRSRC info = ::FindResourceW(self, W(name), W(typeName));
    if (!info) return {};
    // The data of a loaded module stay mapped as long as the module, that is
    // the whole process: there is nothing to free (FreeResource is a no-op on
    // every 32-bit Windows).
    HGLOBAL loaded = ::LoadResource(self, info);
    const void* data = loaded ? ::LockResource(loaded) : nullptr;
    if (!data) return {};
    return {static_cast<const std::uint8_t*>(data), ::SizeofResource(self, info), true};
}

// Where `size` bytes at `address` of the program's image lie in its file: the
// section holding them maps its raw data from PointerToRawData. False when no
// section's raw data in the file holds them all.
bool OffsetInOwnFile(const void* address, std::size_t size, std::uint64_t* offset) {
    const auto* base = reinterpret_cast<const std::uint8_t*>(::GetModuleHandleW(nullptr));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const auto at = reinterpret_cast<std::uintptr_t>(address);
    if (at < reinterpret_cast<std::uintptr_t>(base)) return false;
    const std::uint64_t rva = at - reinterpret_cast<std::uintptr_t>(base);
    const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
    for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
        if (rva < section->VirtualAddress) continue;
        const std::uint64_t into = rva - section->VirtualAddress;
        if (into + size > section->SizeOfRawData) continue;
        *offset = section->PointerToRawData + into;
        return true;
    }
    return false;
}

// A resource's bytes, piece by piece, read from the program's own file
// through one buffer. Read this way, the payload passes through the system's
// file cache and is never touched in the mapped image, so it never becomes
// part of the process's resident memory. Where the file cannot be opened or
// read, the rest comes from the mapped resource: the bytes are the same.
class PayloadPieces {
public:
    explicit PayloadPieces(const FoundResource& resource)
        : resource_(resource), buffer_(new std::uint8_t[kExtractPieceSize]) {
        std::uint64_t offset = 0;
        if (resource.size == 0 || !OffsetInOwnFile(resource.data, resource.size, &offset)) return;
        const Text path = ExecutablePath();
        if (path.empty()) return;
        // The loader holds the file open for reading; writing it is refused
        // to everyone while the program runs.
        unique_hfile file(::CreateFileW(W(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        LARGE_INTEGER position;
        position.QuadPart = static_cast<LONGLONG>(offset);
        if (file && ::SetFilePointerEx(file.get(), position, nullptr, FILE_BEGIN)) file_ = std::move(file);
    }

    bool Done() const { return done_ >= resource_.size; }

    // The next piece of at most kExtractPieceSize bytes; valid until the next call.
    Bytes Next() {
        const DWORD wanted =
            static_cast<DWORD>(std::min<std::size_t>(resource_.size - done_, kExtractPieceSize));
        const std::uint8_t* from = resource_.data + done_;
        if (file_ && ReadExactly(wanted)) from = buffer_.get();
        else file_.reset();
        done_ += wanted;
        return Bytes(from, wanted);
    }

private:
    bool ReadExactly(DWORD wanted) {
        DWORD got = 0;
        while (got < wanted) {
            DWORD read = 0;
            if (!::ReadFile(file_.get(), buffer_.get() + got, wanted - got, &read, nullptr) || read == 0)
                return false;
            got += read;
        }
        return true;
    }

    FoundResource resource_;
    std::unique_ptr<std::uint8_t[]> buffer_;
    unique_hfile file_;
    std::size_t done_ = 0;
};

// Creates or truncates a file for our writing, the way every created file of
// the installer is opened: no sharing, the normal attribute. Windows refuses
// CREATE_ALWAYS with the normal attribute over a read-only, hidden or system
// file (access denied); the same refusal is made here before the call, so it
// holds on every platform the program runs on, also where the file system
// lets a privileged user through (Wine run as root, for one). Empty on
// failure, with the last error set.
bool RefusedOverProtectedFile(const Text& path) {
    const DWORD attributes = ::GetFileAttributesW(W(path));
    const DWORD protectedBits = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    if (attributes != INVALID_FILE_ATTRIBUTES && !HasAttribute(attributes, FILE_ATTRIBUTE_DIRECTORY) &&
        HasAttribute(attributes, protectedBits)) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return true;
    }
    return false;
}

unique_hfile CreateTargetFile(const Text& path) {
    if (RefusedOverProtectedFile(path)) return unique_hfile();
    return unique_hfile(::CreateFileW(W(path), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      CREATE_ALWAYS, kNormalAttribute, nullptr));
}

// Creates the self-removal script for our writing, as CreateTargetFile does,
// but with the access list of ScriptAccessDescriptor. An access list given to
// CreateFileW applies only to a file it makes, so a file already there is
// deleted first and the new one must be new (CREATE_NEW): one made by someone
// else in between is refused, never written into. Empty on failure, with the
// last error set.
unique_hfile CreateScriptFile(const Text& path) {
    if (RefusedOverProtectedFile(path)) return unique_hfile();
    const unique_hlocal descriptor = ScriptAccessDescriptor();
    if (!descriptor) return unique_hfile();
    if (!::DeleteFileW(W(path)) && ::GetLastError() != ERROR_FILE_NOT_FOUND) return unique_hfile();
    SECURITY_ATTRIBUTES security{sizeof security, descriptor.get(), FALSE};
    return unique_hfile(::CreateFileW(W(path), GENERIC_READ | GENERIC_WRITE, 0, &security, CREATE_NEW,
                                      kNormalAttribute, nullptr));
}

// Writes everything in pieces of at most kExtractPieceSize bytes to the file
// opened at path. A failed write, or one that stores nothing, raises; what
// was written stays.
void WriteAll(HANDLE file, const Text& path, const std::uint8_t* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const DWORD piece = static_cast<DWORD>(std::min(size - done, kExtractPieceSize));
        DWORD written = 0;
        const BOOL wrote = ::WriteFile(file, data + done, piece, &written, nullptr);
        if (!wrote || written == 0) {
            const DWORD code = wrote ? 0 : ::GetLastError();
            throw HostError(StreamWriteErrorMessage(), {u"WriteFile", FullPath(path), code});
        }
        done += written;
    }
}

// A folder exists at path; links are followed to their target.
bool FolderExists(const Text& path) {
    const DWORD attributes = ::GetFileAttributesW(W(path));
    if (attributes == INVALID_FILE_ATTRIBUTES || !HasAttribute(attributes, FILE_ATTRIBUTE_DIRECTORY))
        return false;
    if (!HasAttribute(attributes, FILE_ATTRIBUTE_REPARSE_POINT)) return true;
    // A link: ask its target. Backup semantics let CreateFileW open folders.
    unique_hfile target(::CreateFileW(W(path), 0,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION information{};
    return target && ::GetFileInformationByHandle(target.get(), &information) &&
           HasAttribute(information.dwFileAttributes, FILE_ATTRIBUTE_DIRECTORY);
}

// The path, made absolute, is the root of a volume ("C:\\", "\\\\server\\share\\",
// or the folder a volume is mounted on).
bool IsVolumeRoot(const Text& path) {
    const Text full = WithSeparator(FullPath(path));
    wchar_t volume[MAX_PATH + 1];
    if (!::GetVolumePathNameW(W(full), volume, MAX_PATH + 1)) return false;
    const Text root = WithSeparator(ToText(volume));
    return ::CompareStringOrdinal(W(root), -1, W(full), -1, TRUE) == CSTR_EQUAL;
}

// shell32 is needed only at the very end of an uninstall (the self-removal
// script), so it is not imported: the
// loader would map it, and what it needs, before the window could appear.
// Loaded at first use, from the system folder alone. Null when it cannot be.
template <typename F>
F ShellFunction(const char* name) {
    static const unique_hmodule shell = LoadSystemLibrary(L"shell32.dll");
    return shell ? reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(shell.get(), name)))
                 : nullptr;
}

#ifndef _WIN64
static_assert(sizeof(PROCESSENTRY32W) == 556, "the 32-bit layout of the process entry");
#endif

}  // namespace

unique_hlocal ScriptAccessDescriptor() {
    // D: the access list, P: protected, then full access (FA) for the
    // Administrators group (BA) and for SYSTEM (SY).
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;FA;;;BA)(A;;FA;;;SY)",
                                                                SDDL_REVISION_1, &descriptor, nullptr))
        return unique_hlocal();
    return unique_hlocal(descriptor);
}

// --- Files and resources ---------------------------------------------------

Bytes Win32Host::LoadResourceData(const Text& typeName, const Text& name) {
    const FoundResource resource = FindOwnResource(typeName, name);
    if (!resource.found)
        ThrowResourceNotFound(typeName, name);
    return Bytes(resource.data, resource.size);
}

void Win32Host::ExtractResource(const Text& resourceName, const Text& targetPath) {
    // Looked up before the file is created: a missing resource leaves the
    // target as it was.
    const FoundResource resource = FindOwnResource(kPayloadType, resourceName);
    if (!resource.found)
        ThrowResourceNotFound(kPayloadType, resourceName);
    PayloadPieces pieces(resource);
    unique_hfile file = CreateTargetFile(targetPath);
    if (!file) ThrowCannotCreate(u"CreateFileW", targetPath, ::GetLastError());
    while (!pieces.Done()) {
        const Bytes piece = pieces.Next();
        WriteAll(file.get(), targetPath, piece.data(), piece.size());
    }
}

bool Win32Host::FileHoldsResource(const Text& resourceName, const Text& path) {
    const FoundResource resource = FindOwnResource(kPayloadType, resourceName);
    if (!resource.found) return false;
    unique_hfile file(::CreateFileW(W(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart != resource.size) return false;

    // Compared piece by piece: a file of any size costs two pieces of memory.
    PayloadPieces pieces(resource);
    std::unique_ptr<std::uint8_t[]> piece(new std::uint8_t[kExtractPieceSize]);
    while (!pieces.Done()) {
        const Bytes expected = pieces.Next();
        DWORD compared = 0;
        while (compared < expected.size()) {
            DWORD read = 0;
            if (!::ReadFile(file.get(), piece.get(), static_cast<DWORD>(expected.size()) - compared, &read,
                            nullptr) || read == 0)
                return false;
            if (std::memcmp(piece.get(), expected.data() + compared, read) != 0) return false;
            compared += read;
        }
    }
    // Nothing may follow (the file could have grown since its size was read).
    DWORD extra = 0;
    std::uint8_t probe;
    return ::ReadFile(file.get(), &probe, 1, &extra, nullptr) && extra == 0;
}

bool Win32Host::StampOfFile(const Text& path, FileStamp& stamp) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(W(path), GetFileExInfoStandard, &data) ||
        HasAttribute(data.dwFileAttributes, FILE_ATTRIBUTE_DIRECTORY))
        return false;
    stamp.size = (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
    stamp.lastWrite = (std::uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) | data.ftLastWriteTime.dwLowDateTime;
    return true;
}

bool Win32Host::RenameFile(const Text& from, const Text& to) {
    return ::MoveFileW(W(from), W(to)) != FALSE;
}

bool Win32Host::RenameFileOver(const Text& from, const Text& to) {
    // Windows refuses to replace a read-only file; refused here as well, so
    // it holds where the file system lets a privileged user through.
    const DWORD attributes = ::GetFileAttributesW(W(to));
    if (attributes != INVALID_FILE_ATTRIBUTES && HasAttribute(attributes, FILE_ATTRIBUTE_READONLY)) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    // Written through: the game's file is back under its name on the medium
    // before the journal drops the record of its backup.
    return ::MoveFileExW(W(from), W(to), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

bool Win32Host::RemoveFile(const Text& path) {
    if (::DeleteFileW(W(path))) return true;
    // A symbolic link or junction to a folder is removed as a folder; the
    // folder it points to is not touched.
    const DWORD attributes = ::GetFileAttributesW(W(path));
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        HasAttribute(attributes, FILE_ATTRIBUTE_REPARSE_POINT) &&
        HasAttribute(attributes, FILE_ATTRIBUTE_DIRECTORY))
        return ::RemoveDirectoryW(W(path)) != FALSE;
    return false;
}

bool Win32Host::FileIsPresent(const Text& path) {
    const DWORD attributes = ::GetFileAttributesW(W(path));
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD code = ::GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ||
            code == ERROR_INVALID_NAME)
            return false;
        // A locked or exclusively opened file refuses its attributes; the
        // directory entry still tells what it is.
        WIN32_FIND_DATAW entry;
        unique_find search(::FindFirstFileW(W(path), &entry));
        return search && !HasAttribute(entry.dwFileAttributes, FILE_ATTRIBUTE_DIRECTORY);
    }
    if (!HasAttribute(attributes, FILE_ATTRIBUTE_REPARSE_POINT))
        return !HasAttribute(attributes, FILE_ATTRIBUTE_DIRECTORY);
    // A link: one to a folder is no file; one to a file counts when its
    // target can be opened, or is merely held open by someone else.
    if (HasAttribute(attributes, FILE_ATTRIBUTE_DIRECTORY)) return false;
    unique_hfile target(::CreateFileW(W(path), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (target) return true;
    return ::GetLastError() == ERROR_SHARING_VIOLATION;
}

bool Win32Host::FolderIsPresent(const Text& path) {
    Text folder = path;
    while (folder.size() > 3 && folder.back() == u'\\') folder.pop_back();
    return !folder.empty() && FolderExists(folder);
}

HostOps::FileRead Win32Host::ReadWholeFile(const Text& path, std::vector<std::uint8_t>& bytes) {
    bytes.clear();
    unique_hfile file(::CreateFileW(W(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD code = ::GetLastError();
        return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ? FileRead::Missing
                                                                             : FileRead::Failed;
    }
    // The journal is a few kilobytes; anything far larger is not one.
    constexpr LONGLONG kLargest = 16 * 1024 * 1024;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart > kLargest) return FileRead::Failed;
    bytes.resize(static_cast<std::size_t>(size.QuadPart));
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD read = 0;
        const DWORD piece = static_cast<DWORD>(std::min(bytes.size() - done, kExtractPieceSize));
        if (!::ReadFile(file.get(), bytes.data() + done, piece, &read, nullptr) || read == 0) {
            bytes.clear();
            return FileRead::Failed;
        }
        done += read;
    }
    return FileRead::Read;
}

void Win32Host::ReplaceFileAtomically(const Text& path, Bytes bytes, Flush flush) {
    const Text fresh = path + u".new";
    const bool toMedium = flush == Flush::ToMedium;
    {
        unique_hfile file = CreateTargetFile(fresh);
        if (!file) ThrowCannotCreate(u"CreateFileW", fresh, ::GetLastError());
        WriteAll(file.get(), fresh, bytes.data(), bytes.size());
        // On the medium before the rename makes it the file at path. A flush
        // also waits for whatever the file system must write before it (on
        // some, every file closed since the last one), so it is asked for
        // only where a power cut must not lose the content.
        if (toMedium && !::FlushFileBuffers(file.get()))
            ThrowCannotCreate(u"FlushFileBuffers", fresh, ::GetLastError());
    }
    const DWORD how = MOVEFILE_REPLACE_EXISTING | (toMedium ? MOVEFILE_WRITE_THROUGH : 0);
    if (!::MoveFileExW(W(fresh), W(path), how)) ThrowCannotCreate(u"MoveFileExW", path, ::GetLastError());
}

bool Win32Host::MakeFolders(const Text& path) {
    if (path.empty()) throw HostError(MakeFoldersErrorMessage(), {u"CreateDirectoryW", path, 0});
    Text folder = path;
    if (folder.back() == u'\\') folder.pop_back();
    if (FolderExists(folder)) return true;
    const Text parent = FolderPart(folder);
    // A drive ("C:"), a root ("C:\\" after the cut) or a name without a
    // parent part is created directly; everything else parent first.
    if (folder.size() < 3 || parent == folder) return ::CreateDirectoryW(W(folder), nullptr) != FALSE;
    const bool parentMade = MakeFolders(parent);
    return parentMade && ::CreateDirectoryW(W(folder), nullptr) != FALSE;
}

bool Win32Host::RemoveEmptyFolder(const Text& path) {
    Text folder = path;
    while (folder.size() > 3 && folder.back() == u'\\') folder.pop_back();
    return !folder.empty() && ::RemoveDirectoryW(W(folder)) != FALSE;
}

std::vector<Text> Win32Host::FileNamesMatching(const Text& folder, const Text& pattern) {
    std::vector<Text> names;
    WIN32_FIND_DATAW entry;
    unique_find search(::FindFirstFileW(W(folder + pattern), &entry));
    if (!search) return names;
    do {
        if (!HasAttribute(entry.dwFileAttributes, FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(FieldText(reinterpret_cast<const char16_t*>(entry.cFileName), MAX_PATH));
    } while (::FindNextFileW(search.get(), &entry));
    return names;
}

bool Win32Host::CopyInstaller(const Text& source, const Text& target) {
    return ::CopyFileW(W(source), W(target), FALSE) != FALSE;
}

void Win32Host::ResetAttributes(const Text& folder) {
    // A drive's root (a game whose "Path" names one, or climbs there) holds
    // the system's hidden and system files: left as they are.
    if (IsVolumeRoot(folder)) return;
    // What has the normal attribute already (a plain folder, or a file with
    // nothing set) is left alone: setting it again would change nothing, and
    // under Wine each setting opens and closes the entry (0.14 ms, where
    // reading the attributes takes 0.01 ms).
    const auto makeNormal = [](const Text& path, DWORD attributes) {
        if (attributes == FILE_ATTRIBUTE_DIRECTORY || attributes == FILE_ATTRIBUTE_NORMAL) return;
        ::SetFileAttributesW(W(path), kNormalAttribute);
    };
    makeNormal(folder, ::GetFileAttributesW(W(folder)));
    WIN32_FIND_DATAW entry;
    unique_find search(::FindFirstFileW(W(folder + u"*.*"), &entry));
    if (!search) return;
    // One level deep. "." is the folder itself, done above; ".." is the folder
    // above, which is not ours (its read-only attribute is what makes
    // Explorer show a folder's localised name).
    do {
        const Text name = ToText(entry.cFileName);
        if (name == u"." || name == u"..") continue;
        makeNormal(folder + name, entry.dwFileAttributes);
    } while (::FindNextFileW(search.get(), &entry));
}

// --- Processes, program and user ---------------------------------------------

bool Win32Host::IsProcessRunning(const Text& exeName) {
    // A snapshot that cannot be taken lists no process: Process32FirstW
    // fails on the invalid handle.
    unique_hfile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    bool running = false;
    PROCESSENTRY32W entry;
    std::memset(&entry, 0, sizeof entry);
    entry.dwSize = sizeof entry;
    // Every entry is visited, also after a match.
    for (BOOL fetched = ::Process32FirstW(snapshot.get(), &entry); fetched;
         fetched = ::Process32NextW(snapshot.get(), &entry)) {
        const Text exeField =
            FieldText(reinterpret_cast<const char16_t*>(entry.szExeFile), MAX_PATH);
        if (ProcessNameMatches(exeField, exeName)) running = true;
    }
    return running;
}

Text Win32Host::ProgramPath() { return ExecutablePath(); }

Text Win32Host::CommandLineText() { return ToText(::GetCommandLineW()); }

int Win32Host::ShowMessageBox(const Text& text, const Text& caption, unsigned flags) {
    // Owned by the program's active window, which it disables while shown.
    // With no active window, the box is task-modal: every top-level window of
    // this thread takes no input until it is dismissed.
    HWND owner = ::GetActiveWindow();
    UINT style = MB_OK | (flags & MB_ICONMASK);
    if (!owner) style |= MB_TASKMODAL;
    return ::MessageBoxW(owner, W(text), W(caption), style);
}

void Win32Host::ProcessPendingMessages() {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            // Not ours to act on: put it back for the main loop, and stop.
            ::PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

void Win32Host::WriteTrace(const Text& line) { ::OutputDebugStringW(W(line + u"\n")); }

void Win32Host::Pause(unsigned milliseconds) { ::Sleep(milliseconds); }

std::unique_ptr<RegistryAccess> Win32Host::StartRegistryAccess() {
    return std::make_unique<Win32RegistryAccess>();
}

// --- Texts of the platform ----------------------------------------------------

Text Win32Host::DecodeAnsi(Bytes bytes) {
    if (bytes.empty()) return {};
    const char* source = reinterpret_cast<const char*>(bytes.data());
    const int sourceLength = static_cast<int>(bytes.size());
    const int length = ::MultiByteToWideChar(CP_ACP, 0, source, sourceLength, nullptr, 0);
    if (length <= 0) return {};
    std::vector<wchar_t> buffer(static_cast<std::size_t>(length));
    const int written =
        ::MultiByteToWideChar(CP_ACP, 0, source, sourceLength, buffer.data(), length);
    return ToText(buffer.data(), written > 0 ? static_cast<std::size_t>(written) : 0);
}

Text Win32Host::BuildVersionText() { return FileVersionText(ExecutablePath()); }

// --- Self-removal -------------------------------------------------------------

void Win32Host::WriteScriptFile(const Text& path, const std::vector<Text>& lines) {
    // The command interpreter reads a batch file in the OEM code page. A
    // character that has no place there would become "?" (a wildcard for
    // "del") or a look-alike letter naming another file: such a script is
    // refused before anything is written.
    const std::optional<std::string> content = EncodeLines(lines, ::GetOEMCP());
    if (!content) ThrowCannotCreate(u"WideCharToMultiByte (OEM code page)", path, ERROR_NO_UNICODE_TRANSLATION);
    unique_hfile file = CreateScriptFile(path);
    if (!file) ThrowCannotCreate(u"CreateFileW", path, ::GetLastError());
    WriteAll(file.get(), path, reinterpret_cast<const std::uint8_t*>(content->data()), content->size());
}

void Win32Host::OpenHidden(const Text& path, std::uintptr_t ownerWindow) {
    const auto execute = ShellFunction<decltype(&::ShellExecuteW)>("ShellExecuteW");
    if (execute)
        execute(reinterpret_cast<HWND>(ownerWindow), L"open", W(path), nullptr, nullptr, SW_HIDE);
}

Text Win32Host::ShortPathForm(const Text& path) {
    const DWORD needed = ::GetShortPathNameW(W(path), nullptr, 0);
    if (needed == 0) return {};
    std::vector<wchar_t> buffer(needed);
    const DWORD length = ::GetShortPathNameW(W(path), buffer.data(), needed);
    if (length == 0 || length >= needed) return {};
    Text shortPath = ToText(buffer.data(), length);
    // A volume without short names hands the long path back unchanged; that
    // only matters when the long path is not plain ASCII.
    if (shortPath == path) {
        for (char16_t unit : shortPath)
            if (unit > 0x7F) return {};
    }
    return shortPath;
}

}  // namespace brunvald::win32
