#include "test_support.h"

#include <stdexcept>

namespace brunvald::test {

std::string Utf8(const Text& text) {
    const int units = static_cast<int>(text.size());
    const int length = ::WideCharToMultiByte(CP_UTF8, 0, W(text), units, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
    if (length > 0) ::WideCharToMultiByte(CP_UTF8, 0, W(text), units, out.data(), length, nullptr, nullptr);
    return out;
}

TempFolder::TempFolder() {
    static unsigned counter = 0;
    wchar_t temp[MAX_PATH + 1];
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, temp);
    if (length == 0) throw std::runtime_error("no temporary folder");
    path_ = T(std::wstring(temp, length)) + u"brunvald-host-" +
            T(std::to_wstring(::GetCurrentProcessId())) + u"-" + T(std::to_wstring(++counter));
    RemoveTree(path_);
    MakeFolder(path_);
    path_ += u"\\";
}

TempFolder::~TempFolder() { RemoveTree(path_.substr(0, path_.size() - 1)); }

void RemoveTree(const Text& folder) {
    WIN32_FIND_DATAW entry;
    unique_find search(::FindFirstFileW(W(folder + u"\\*"), &entry));
    if (search) {
        do {
            const std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..") continue;
            const Text child = folder + u"\\" + T(name);
            ::SetFileAttributesW(W(child), FILE_ATTRIBUTE_NORMAL);
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(child);
            else
                ::DeleteFileW(W(child));
        } while (::FindNextFileW(search.get(), &entry));
    }
    search.reset();
    ::SetFileAttributesW(W(folder), FILE_ATTRIBUTE_NORMAL);
    ::RemoveDirectoryW(W(folder));
}

void WriteBytes(const Text& path, const ByteVector& bytes) {
    unique_hfile file(::CreateFileW(W(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) throw std::runtime_error("cannot create " + Utf8(path));
    DWORD written = 0;
    if (!bytes.empty() &&
        (!::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
         written != bytes.size()))
        throw std::runtime_error("cannot write " + Utf8(path));
}

void WriteText(const Text& path, const std::string& text) {
    WriteBytes(path, ByteVector(text.begin(), text.end()));
}

std::optional<ByteVector> ReadBytes(const Text& path) {
    unique_hfile file(::CreateFileW(W(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return std::nullopt;
    ByteVector bytes;
    std::uint8_t piece[8192];
    DWORD read = 0;
    while (::ReadFile(file.get(), piece, sizeof piece, &read, nullptr) && read > 0)
        bytes.insert(bytes.end(), piece, piece + read);
    return bytes;
}

DWORD Attributes(const Text& path) { return ::GetFileAttributesW(W(path)); }
bool Exists(const Text& path) { return Attributes(path) != INVALID_FILE_ATTRIBUTES; }

void MakeFolder(const Text& path) {
    if (!::CreateDirectoryW(W(path), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS)
        throw std::runtime_error("cannot create folder " + Utf8(path));
}

ByteVector Fixture(const std::string& name) {
    // The build tree seen through Wine's drive for the Unix root.
    std::string unixPath = std::string(BRUNVALD_FIXTURE_DIR) + "/" + name;
    std::wstring path = L"Z:";
    for (char c : unixPath) path += (c == '/') ? L'\\' : static_cast<wchar_t>(c);
    auto bytes = ReadBytes(T(path));
    if (!bytes) throw std::runtime_error("fixture missing: " + unixPath);
    return *bytes;
}

TestRegistryBranch::TestRegistryBranch()
    : path_(u"SOFTWARE\\BrunvaldTest\\" + T(std::to_wstring(::GetCurrentProcessId()))) {
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, W(path_));
    ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, W(path_));
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, W(path_), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                          key_.put(), nullptr) != ERROR_SUCCESS)
        throw std::runtime_error("cannot create the test registry branch");
}

TestRegistryBranch::~TestRegistryBranch() {
    key_.reset();
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, W(path_));
    ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, W(path_));
    // The shared parent goes too once no other test run uses it.
    ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\BrunvaldTest");
}

unique_hkey TestRegistryBranch::Create(const Text& relative) const {
    unique_hkey key;
    if (::RegCreateKeyExW(key_.get(), W(relative), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(),
                          nullptr) != ERROR_SUCCESS)
        throw std::runtime_error("cannot create test key " + Utf8(relative));
    return key;
}

bool TestRegistryBranch::KeyExists(const Text& relative) const {
    unique_hkey key;
    return ::RegOpenKeyExW(key_.get(), W(relative), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

Text OwnPath() {
    wchar_t buffer[32768];
    const DWORD length = ::GetModuleFileNameW(nullptr, buffer, 32768);
    return T(std::wstring(buffer, length));
}

unique_handle StartSelf(const std::wstring& arguments, const Text& exePath) {
    Text program = OwnPath();
    if (!exePath.empty()) {
        if (!::CopyFileW(W(program), W(exePath), FALSE))
            throw std::runtime_error("cannot copy the test program");
        program = exePath;
    }
    std::wstring commandLine = L"\"" + std::wstring(W(program)) + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(W(program), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &process))
        throw std::runtime_error("cannot start " + Utf8(program));
    unique_handle thread(process.hThread);
    return unique_handle(process.hProcess);
}

}  // namespace brunvald::test
