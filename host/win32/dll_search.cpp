#include "host/win32/dll_search.h"

#include <cstddef>
#include <string>

namespace brunvald::win32 {

namespace {

// Not declared for the Windows 7 target of the build, and missing on a
// Windows 7 without its 2011 loader update: looked up at run time.
constexpr DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);

// imm32 is not imported: with the import, Wine picked up a version.dll
// planted beside the program at start. user32 has loaded it in any case.
using ImmDisableImeFn = BOOL(WINAPI*)(DWORD);
constexpr DWORD kAllThreads = static_cast<DWORD>(-1);  // ImmDisableIME: every thread of the process

HMODULE Kernel32() noexcept { return ::GetModuleHandleW(L"kernel32.dll"); }

// Measured under Wine: the DLLs that a whole install and a whole uninstall
// load by name after the program's first line. Wine's built-in DLLs look for
// their delay-loaded imports beside the program whatever the search order, so
// these are loaded on every system.
//
// The theme and the common controls' drawing: loaded while the window is
// made and shown, so loading them first costs start-up next to nothing.
constexpr const wchar_t* kLoadedByTheWindow[] = {L"uxtheme.dll", L"msimg32.dll"};
// COM: the shell loads it at the end of an uninstall. The only thing that
// would load it sooner is the input method at a window's first activation,
// which DisableInputMethod turns off; so it is loaded after the window is on
// the screen rather than before (about 3.5 ms under Wine).
constexpr const wchar_t* kLoadedForCom[] = {L"rpcrt4.dll", L"combase.dll", L"ole32.dll"};

// Known on Windows: what the window, theme, shell, COM and security functions
// load by name there (the set that established installers preload). Windows'
// own DLLs load them through the default search, so where the strict search
// order is in force they are found in the system folder alone; only a loader
// without it looks beside the program first. They are loaded only there,
// because mapping them all delays the window's first appearance.
// comctl32 is in neither list: the application manifest redirects it to the
// side-by-side version 6, which a load from the system folder would bypass.
constexpr const wchar_t* kLoadedLaterWithoutStrictSearch[] = {
    L"version.dll", L"dwmapi.dll",  L"oleacc.dll",  L"apphelp.dll",  L"userenv.dll",
    L"propsys.dll", L"setupapi.dll", L"clbcatq.dll", L"cryptbase.dll", L"ntmarta.dll",
};

// Kept loaded on purpose: the module must stay for every later request by
// name.
template <std::size_t N>
void LoadAndKeep(const wchar_t* const (&names)[N]) noexcept {
    for (const wchar_t* name : names) static_cast<void>(LoadSystemLibrary(name).release());
}

}  // namespace

bool HardenDllSearch() noexcept {
    if (HMODULE kernel = Kernel32()) {
        auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
            reinterpret_cast<void*>(::GetProcAddress(kernel, "SetDefaultDllDirectories")));
        if (setDefault && setDefault(kSearchSystem32)) return true;
    }
    // Older loader: at least take the current folder out of the search.
    ::SetDllDirectoryW(L"");
    return false;
}

void DisableInputMethod() noexcept {
    // Kept loaded for the life of the process, like the preloaded DLLs.
    HMODULE imm = LoadSystemLibrary(L"imm32.dll").release();
    if (!imm) return;
    auto disable = reinterpret_cast<ImmDisableImeFn>(reinterpret_cast<void*>(::GetProcAddress(imm, "ImmDisableIME")));
    if (disable) disable(kAllThreads);
}

void PreloadSystemDlls(bool strictSearch) noexcept {
    LoadAndKeep(kLoadedByTheWindow);
    if (!strictSearch) LoadAndKeep(kLoadedLaterWithoutStrictSearch);
}

void PreloadComDlls() noexcept { LoadAndKeep(kLoadedForCom); }

unique_hmodule LoadSystemLibrary(const wchar_t* fileName) noexcept {
    unique_hmodule module(::LoadLibraryExW(fileName, nullptr, kSearchSystem32));
    if (module || ::GetLastError() != ERROR_INVALID_PARAMETER) return module;

    // A loader without the search flags rejects them as an invalid parameter:
    // name the file by its full path in the system folder instead, and let its
    // own dependencies be searched from there.
    wchar_t folder[MAX_PATH];
    const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return module;
    std::wstring path(folder, length);
    if (path.back() != L'\\') path += L'\\';
    path += fileName;
    module.reset(::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    return module;
}

}  // namespace brunvald::win32
