// Protection against DLLs planted beside the executable.
//
// The installer starts from a downloads folder, and its uninstalling copy
// runs from the game's data folder, where mod loaders put proxy DLLs named
// like system DLLs (version.dll, winmm.dll, dinput8.dll, ...). Windows looks
// beside the executable before the system folder for every DLL that is not a
// KnownDLL. So the import table names only KnownDLLs (and comctl32, which the
// application manifest redirects), and every other system DLL is loaded at
// run time from the system folder alone, through LoadSystemLibrary.
#pragma once

#include "host/unique_handle.h"

namespace brunvald::win32 {

// Removes the application folder and the current folder from the search for
// DLLs that are loaded later (SetDefaultDllDirectories with the system folder
// only, where the platform has it; SetDllDirectoryW(L"") otherwise). Call it
// first thing in WinMain. True when the strict search order is in force.
bool HardenDllSearch() noexcept;

// Loads, from the system folder, the system DLLs that the platform's own DLLs
// load by name after the program has started: delay-loaded imports (a
// built-in gdi32 or comctl32 reaching msimg32, ole32 and their own imports),
// and what the theme, shell, COM and security functions pull in on Windows.
// Once a module is in the process, every later request by that name finds it
// and searches no folder, so a DLL of that name beside the program is never
// picked up: also on a loader without SetDefaultDllDirectories, where the
// application folder stays in the search, and under Wine, whose built-in DLLs
// look in the program's folder for their delay-loaded imports. A DLL the
// platform does not have is passed over. Call it right after HardenDllSearch;
// the modules stay loaded for the life of the process.
void PreloadSystemDlls() noexcept;

// Loads a system DLL by its bare file name (e.g. L"version.dll") from the
// system folder only. Empty on failure, with the last error set.
unique_hmodule LoadSystemLibrary(const wchar_t* fileName) noexcept;

}  // namespace brunvald::win32
