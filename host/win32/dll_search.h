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

// Turns the input method off for every thread of the process: the window
// takes no text. Without it, showing a window loads no COM (Wine's input
// method sets COM up at a thread's first window activation, through a
// delay-loaded import looked for beside the program), which lets
// PreloadComDlls wait until the window is shown. Call it before the first
// window is created, as Windows requires.
void DisableInputMethod() noexcept;

// The preloads load, from the system folder, the system DLLs that the
// platform's own DLLs load by name after the program has started, so that
// every later request by that name finds the module in the process and
// searches no folder: a DLL of that name beside the program is never picked
// up. A DLL the platform does not have is passed over; the modules stay
// loaded for the life of the process.
//
// PreloadSystemDlls: what Wine's built-in DLLs load as delay-loaded imports
// (they look beside the program whatever the search order) while the window
// is made and shown. Where strictSearch is false (HardenDllSearch's result: a
// loader without SetDefaultDllDirectories, which keeps the application folder
// in the search), also what Windows' theme, shell, COM and security functions
// load by name. Call it right after HardenDllSearch and DisableInputMethod.
void PreloadSystemDlls(bool strictSearch) noexcept;

// PreloadComDlls: COM, which Wine's built-in DLLs load as delay-loaded
// imports (the shell at the end of an uninstall). Call it once the window is
// shown, before the first message is handled; not later, because every
// handler can reach code that needs COM.
void PreloadComDlls() noexcept;

// Loads a system DLL by its bare file name (e.g. L"version.dll") from the
// system folder only. Empty on failure, with the last error set.
unique_hmodule LoadSystemLibrary(const wchar_t* fileName) noexcept;

}  // namespace brunvald::win32
