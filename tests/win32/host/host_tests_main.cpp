// The host test program. Besides running the tests it serves as its own
// helper process for the tests that need a second one:
//   --child-wait              stays alive (up to a minute) until killed
//   --child-end-program FILE  makes a window, registers it with the host and
//                             calls EndProgram; the window's WM_DESTROY writes
//                             FILE, and code after EndProgram would write FILE.after
//   --child-preload strict|loose NAME...
//                             preloads the system DLLs as the installer does
//                             with the strict search order in force or not;
//                             the exit code is how many NAMEs are then loaded
#include <gtest/gtest.h>

#include <string>

#include "host/win32/dll_search.h"
#include "host/win32/win32_host.h"
#include "test_support.h"

namespace {

std::wstring g_marker;

LRESULT CALLBACK MarkerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) brunvald::test::WriteText(brunvald::test::T(g_marker), "destroyed");
    return ::DefWindowProcW(window, message, wParam, lParam);
}

int EndProgramChild(const std::wstring& marker) {
    g_marker = marker;
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = MarkerWindowProc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"BrunvaldEndProgramProbe";
    if (!::RegisterClassExW(&windowClass)) return 10;
    HWND window = ::CreateWindowExW(0, windowClass.lpszClassName, L"probe", WS_OVERLAPPED, 0, 0, 10, 10,
                                    nullptr, nullptr, windowClass.hInstance, nullptr);
    if (!window) return 11;
    brunvald::win32::Win32Host host;
    host.SetMainWindow(window);
    host.EndProgram();
    // Never reached; if it were, the parent would see this file.
    brunvald::test::WriteText(brunvald::test::T(marker + L".after"), "after");
    return 12;
}

int PreloadChild(int argc, wchar_t** argv) {
    brunvald::win32::PreloadSystemDlls(std::wstring(argv[2]) == L"strict");
    int loaded = 0;
    for (int i = 3; i < argc; ++i) loaded += ::GetModuleHandleW(argv[i]) != nullptr;
    return loaded;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc > 1 && std::wstring(argv[1]) == L"--child-wait") {
        ::Sleep(60000);
        return 0;
    }
    if (argc > 2 && std::wstring(argv[1]) == L"--child-end-program") return EndProgramChild(argv[2]);
    if (argc > 2 && std::wstring(argv[1]) == L"--child-preload") return PreloadChild(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
