// Helpers for the host tests: temporary folders, raw file access and a
// private registry branch, all through the plain API so that the code under
// test never checks itself.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/host_ops.h"
#include "host/unique_handle.h"

namespace brunvald::test {

using ByteVector = std::vector<std::uint8_t>;

inline const wchar_t* W(const Text& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }
inline Text T(const std::wstring& text) {
    return Text(reinterpret_cast<const char16_t*>(text.c_str()), text.size());
}
// Readable failure output: the text as UTF-8.
std::string Utf8(const Text& text);

// A fresh folder under the temporary folder, removed with everything in it
// (attributes cleared first) when the object goes.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // Ends in "\".
    const Text& path() const { return path_; }
    Text operator/(const Text& name) const { return path_ + name; }

private:
    Text path_;
};

void RemoveTree(const Text& folder);  // folder without trailing "\"

void WriteBytes(const Text& path, const ByteVector& bytes);
void WriteText(const Text& path, const std::string& text);
std::optional<ByteVector> ReadBytes(const Text& path);
DWORD Attributes(const Text& path);
bool Exists(const Text& path);
void MakeFolder(const Text& path);

// A payload file as the resource compiler read it (build tree through Z:).
ByteVector Fixture(const std::string& name);

// The registry branch HKLM\SOFTWARE\BrunvaldTest\<process id>, created fresh
// and deleted with everything below it when the object goes.
class TestRegistryBranch {
public:
    TestRegistryBranch();
    ~TestRegistryBranch();
    // Without leading "\", e.g. "SOFTWARE\BrunvaldTest\1234".
    const Text& path() const { return path_; }
    HKEY key() const { return key_.get(); }
    // Creates branch\relative and returns it.
    unique_hkey Create(const Text& relative) const;
    bool KeyExists(const Text& relative) const;

private:
    Text path_;
    unique_hkey key_;
};

// Starts this test program again with the given arguments (after a copy to
// another name when exePath is given). The process handle is owned.
unique_handle StartSelf(const std::wstring& arguments, const Text& exePath = Text());
Text OwnPath();

}  // namespace brunvald::test
