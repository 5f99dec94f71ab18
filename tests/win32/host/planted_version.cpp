// A stand-in for a proxy DLL that a mod loader puts beside the game's
// executables under the name of a system DLL (version.dll, msimg32.dll, ...;
// the tests copy it under each name). Loading it leaves a marker file beside
// it, named after its own file with ".loaded" appended ("msimg32.dll.loaded"),
// so a test can tell whether a program ever loaded it. Its exports are those
// of version.dll and fail, as a broken proxy's would; under any other name it
// lacks what its callers look for.
#include <string>

#include "host/unique_handle.h"

namespace {

void LeaveMarker(HINSTANCE self) {
    wchar_t path[MAX_PATH];
    const DWORD length = ::GetModuleFileNameW(self, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    const std::wstring marker = std::wstring(path, length) + L".loaded";
    brunvald::unique_hfile file(::CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr,
                                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (file) ::WriteFile(file.get(), "loaded", 6, &written, nullptr);
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) LeaveMarker(self);
    return TRUE;
}

__declspec(dllexport) DWORD WINAPI GetFileVersionInfoSizeW(LPCWSTR, LPDWORD handle) {
    if (handle) *handle = 0;
    ::SetLastError(ERROR_ACCESS_DENIED);
    return 0;
}

__declspec(dllexport) BOOL WINAPI GetFileVersionInfoW(LPCWSTR, DWORD, DWORD, LPVOID) {
    ::SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

__declspec(dllexport) BOOL WINAPI VerQueryValueW(LPCVOID, LPCWSTR, LPVOID*, PUINT) {
    ::SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

}  // extern "C"
