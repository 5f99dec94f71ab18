// The host test program. Besides running the tests it serves as its own
// helper process for the tests that need a second one:
//   --child-wait              stays alive (up to a minute) until killed
//   --child-preload strict|loose|com NAME...
//                             preloads the system DLLs as the installer does
//                             before its window, with the strict search order
//                             in force or not, or COM as it does after; the
//                             exit code is how many NAMEs are then loaded
//   --child-show-window on|off
//                             shows and activates a window with the input
//                             method on or turned off first; the exit code is
//                             1 when COM (ole32.dll) was loaded by then
#include <gtest/gtest.h>

#include <string>

#include "host/win32/dll_search.h"

namespace {

int PreloadChild(int argc, wchar_t** argv) {
    const std::wstring mode = argv[2];
    if (mode == L"com") {
        brunvald::win32::PreloadComDlls();
    } else {
        brunvald::win32::PreloadSystemDlls(mode == L"strict");
    }
    int loaded = 0;
    for (int i = 3; i < argc; ++i) loaded += ::GetModuleHandleW(argv[i]) != nullptr;
    return loaded;
}

int ShowWindowChild(const std::wstring& inputMethod) {
    if (inputMethod == L"off") brunvald::win32::DisableInputMethod();
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = ::DefWindowProcW;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"BrunvaldShowChild";
    ::RegisterClassW(&windowClass);
    HWND window = ::CreateWindowExW(0, windowClass.lpszClassName, L"", WS_POPUP, 0, 0, 64, 64, nullptr, nullptr,
                                    windowClass.hInstance, nullptr);
    ::ShowWindow(window, SW_SHOW);
    ::SetForegroundWindow(window);
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
    const int comLoaded = ::GetModuleHandleW(L"ole32.dll") != nullptr;
    ::DestroyWindow(window);
    return comLoaded;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc > 1 && std::wstring(argv[1]) == L"--child-wait") {
        ::Sleep(60000);
        return 0;
    }
    if (argc > 2 && std::wstring(argv[1]) == L"--child-preload") return PreloadChild(argc, argv);
    if (argc > 2 && std::wstring(argv[1]) == L"--child-show-window") return ShowWindowChild(argv[2]);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
