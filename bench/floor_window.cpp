// The floor of the start-up benchmark: the least a Win32 program can do to
// put a window of the installer's size on the screen. One class, one popup
// window of 500 x 425 pixels in the middle of the screen, shown at once, and
// a message loop that ends when the window is closed. No resources, no
// region, no fonts: everything the installer does beyond this is its own
// start-up cost.
//
// Built a second time with BENCH_FLOOR_CONTROLS (bench-floor-controls.exe):
// the same window with three push buttons, linked with the installer's
// application manifest (visual-style common controls). It measures what the
// platform charges for those two before any of the installer's own work.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace {

constexpr int kWidth = 500;   // the installer window's client size
constexpr int kHeight = 425;

LRESULT CALLBACK FloorProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        ::PostQuitMessage(0);
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    WNDCLASSEXW type{};
    type.cbSize = sizeof type;
    type.lpfnWndProc = FloorProc;
    type.hInstance = instance;
    type.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    type.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    type.lpszClassName = L"BenchFloor";
    if (!::RegisterClassExW(&type)) return 1;

    const int x = (::GetSystemMetrics(SM_CXSCREEN) - kWidth) / 2;
    const int y = (::GetSystemMetrics(SM_CYSCREEN) - kHeight) / 2;
    // The same styles as the installer's window; it is destroyed by the
    // default handling of WM_CLOSE.
    const HWND window = ::CreateWindowExW(WS_EX_APPWINDOW, L"BenchFloor", L"",
                                          WS_POPUP | WS_CLIPCHILDREN | WS_SYSMENU | WS_MINIMIZEBOX,
                                          x, y, kWidth, kHeight, nullptr, nullptr, instance, nullptr);
    if (!window) return 1;
#ifdef BENCH_FLOOR_CONTROLS
    // Three buttons where the installer has its three.
    const wchar_t* const captions[] = {L"Installieren", L"Deinstallieren", L"Beenden"};
    for (int i = 0; i < 3; ++i) {
        if (!::CreateWindowExW(0, L"BUTTON", captions[i], WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
                               40 + i * 150, 370, 140, 33, window,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(101 + i)), instance, nullptr))
            return 1;
    }
#endif
    ::ShowWindow(window, SW_SHOW);
    ::UpdateWindow(window);

    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return 0;
}
