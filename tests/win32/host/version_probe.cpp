// Prints the host's version text for this very program, as UTF-8.
//   version_probe            hardened as the installer is, then the code
//                            behind Win32Host::BuildVersionText
//   version_probe --plain [NAME...]
//                            LoadLibraryW of each NAME (version.dll when none
//                            is given) without any hardening: the control
//                            that shows a planted DLL would load
// Exit code 0 when the text was read (or every plain load succeeded), 1 when
// an error was raised or a load failed.
//
// The probe imports kernel32 and msvcrt only, on purpose: Wine's own user32
// imports version.dll, and with the override that makes Wine prefer a DLL
// beside the program (as Windows does for DLLs that are not KnownDLLs) any
// GUI program would pull in the planted DLL through user32 before its first
// line runs. On Windows, user32 is a KnownDLL whose dependencies come from
// the system folder; the installer's own import table is checked separately.
#include <string>
#include <vector>

#include "host/unique_handle.h"
#include "host/win32/dll_search.h"
#include "host/win32/version_text.h"

namespace {

void Print(const brunvald::Text& text) {
    const int units = static_cast<int>(text.size());
    const auto* wide = reinterpret_cast<const wchar_t*>(text.c_str());
    const int length = ::WideCharToMultiByte(CP_UTF8, 0, wide, units, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
    if (length > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, wide, units, bytes.data(), length, nullptr, nullptr);
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()),
                &written, nullptr);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc > 1 && std::wstring(argv[1]) == L"--plain") {
        std::vector<std::wstring> names(argv + 2, argv + argc);
        if (names.empty()) names.push_back(L"version.dll");
        bool all = true;
        for (const std::wstring& name : names) {
            brunvald::unique_hmodule plain(::LoadLibraryW(name.c_str()));
            all = all && plain;
        }
        Print(all ? u"loaded" : u"not loaded");
        return all ? 0 : 1;
    }
    brunvald::win32::HardenDllSearch();
    try {
        Print(brunvald::win32::FileVersionText(brunvald::win32::ExecutablePath()));
        return 0;
    } catch (const brunvald::HostError& error) {
        Print(error.message());
        return 1;
    }
}
