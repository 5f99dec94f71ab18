#include "host/win32/version_text.h"

#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/unique_handle.h"
#include "host/win32/dll_search.h"
#include "host/host_rules.h"
#include "host/win32/win32_text.h"

namespace brunvald::win32 {

namespace {

// `operation` is a plain text pointer: nothing between the failed call and
// the reading of its code may change the thread's last error.
[[noreturn]] void ThrowSystemError(const char16_t* operation, const Text& path, DWORD code) {
    throw HostError(SystemErrorMessage(code, code != 0 ? SystemMessageText(code) : Text()),
                    {operation, path, code});
}

// version.dll's three functions, from a copy loaded out of the system folder.
// Never imported: a version.dll beside the program would be taken first.
struct VersionFunctions {
    using SizeFn = DWORD(WINAPI*)(LPCWSTR, LPDWORD);
    using InfoFn = BOOL(WINAPI*)(LPCWSTR, DWORD, DWORD, LPVOID);
    using QueryFn = BOOL(WINAPI*)(LPCVOID, LPCWSTR, LPVOID*, PUINT);
    unique_hmodule module;
    SizeFn size = nullptr;
    InfoFn info = nullptr;
    QueryFn query = nullptr;
};

template <typename F>
F Lookup(HMODULE module, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

VersionFunctions LoadVersionFunctions() {
    VersionFunctions f;
    f.module = LoadSystemLibrary(L"version.dll");
    if (!f.module) {
        const DWORD code = ::GetLastError();
        ThrowSystemError(u"LoadLibraryExW", u"version.dll", code);
    }
    f.size = Lookup<VersionFunctions::SizeFn>(f.module.get(), "GetFileVersionInfoSizeW");
    f.info = Lookup<VersionFunctions::InfoFn>(f.module.get(), "GetFileVersionInfoW");
    f.query = Lookup<VersionFunctions::QueryFn>(f.module.get(), "VerQueryValueW");
    if (!f.size || !f.info || !f.query) {
        const DWORD code = ::GetLastError();
        ThrowSystemError(u"GetProcAddress", u"version.dll", code);
    }
    return f;
}

}  // namespace

Text ExecutablePath() {
    // Grow until the whole path fits: a result that fills the buffer exactly
    // may have been cut.
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return {};
        if (length < buffer.size() || buffer.size() >= 0x10000) return ToText(buffer.data(), length);
        buffer.resize(buffer.size() * 2);
    }
}

Text FileVersionText(const Text& path) {
    const VersionFunctions version = LoadVersionFunctions();

    DWORD handle = 0;
    const DWORD size = version.size(W(path), &handle);
    if (size == 0) ThrowSystemError(u"GetFileVersionInfoSizeW", path, ::GetLastError());
    // Owned by the vector: released on every path, errors included.
    std::vector<std::uint8_t> block(size);
    if (!version.info(W(path), handle, size, block.data()))
        ThrowSystemError(u"GetFileVersionInfoW", path, ::GetLastError());

    void* fixed = nullptr;
    UINT length = 0;
    if (!version.query(block.data(), L"\\", &fixed, &length))
        ThrowSystemError(u"VerQueryValueW", path, ::GetLastError());
    // Only the two file-version fields are read; a fixed part too short to
    // hold them is treated as a failed query rather than read past its end.
    if (!fixed || length < offsetof(VS_FIXEDFILEINFO, dwFileVersionLS) + sizeof(DWORD))
        ThrowSystemError(u"VerQueryValueW", path, ::GetLastError());
    const auto* info = static_cast<const VS_FIXEDFILEINFO*>(fixed);
    return FormatVersionText(info->dwFileVersionMS, info->dwFileVersionLS);
}

}  // namespace brunvald::win32
