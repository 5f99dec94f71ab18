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
//
// And a third time with BENCH_FLOOR_SHAPED (bench-floor-shaped.exe): the
// controls, plus the window's picture and region made ready beforehand, so
// that nothing is decoded or computed: picture.bmp (the picture as a plain
// bitmap) and shape.txt (the region's rectangles, "left top right bottom"
// per line) beside the program, both written by bench/run.py from the
// committed picture. The region is set before the window is shown and the
// picture painted on WM_PAINT, as the installer does. What the installer
// takes beyond this is its own work: decoding, checks, fonts, labels.
//
// And with BENCH_FLOOR_SHELL32 as well (bench-floor-shell32.exe): the shaped
// floor that imports shell32.dll, as the installer did before it loaded
// shell32 only where it needs it: what that import costs at start.
//
// And with BENCH_FLOOR_NO_IME as well (bench-floor-no-ime.exe): the shaped
// floor with the input method turned off before its window is created, as
// the installer does (it takes no text): the floor for the installer's own
// work when neither has an input method.
#if (defined(BENCH_FLOOR_SHELL32) || defined(BENCH_FLOOR_NO_IME)) && !defined(BENCH_FLOOR_SHAPED)
#define BENCH_FLOOR_SHAPED
#endif
#if defined(BENCH_FLOOR_SHAPED) && !defined(BENCH_FLOOR_CONTROLS)
#define BENCH_FLOOR_CONTROLS
#endif

#include "host/unique_handle.h"

#ifdef BENCH_FLOOR_SHELL32
#include <shellapi.h>
#endif
#ifdef BENCH_FLOOR_NO_IME
#include <imm.h>
#endif

#include <cstdio>
#include <string>
#include <vector>

namespace {

using namespace brunvald;

constexpr int kWidth = 500;   // the installer window's client size
constexpr int kHeight = 425;

#ifdef BENCH_FLOOR_SHAPED
unique_hbitmap g_picture;

std::wstring BesideProgram(const wchar_t* name) {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    folder.resize(folder.find_last_of(L'\\') + 1);
    return folder + name;
}

// The region from its rectangles; empty when the file is missing or empty.
unique_hrgn LoadShape() {
    std::FILE* file = _wfopen(BesideProgram(L"shape.txt").c_str(), L"r");
    if (!file) return unique_hrgn();
    std::vector<RECT> rects;
    RECT r{};
    while (std::fscanf(file, "%ld %ld %ld %ld", &r.left, &r.top, &r.right, &r.bottom) == 4) rects.push_back(r);
    std::fclose(file);
    if (rects.empty()) return unique_hrgn();
    std::vector<char> data(sizeof(RGNDATAHEADER) + rects.size() * sizeof(RECT));
    auto* region = reinterpret_cast<RGNDATA*>(data.data());
    region->rdh.dwSize = sizeof(RGNDATAHEADER);
    region->rdh.iType = RDH_RECTANGLES;
    region->rdh.nCount = DWORD(rects.size());
    region->rdh.nRgnSize = DWORD(rects.size() * sizeof(RECT));
    region->rdh.rcBound = {0, 0, kWidth, kHeight};
    for (size_t i = 0; i < rects.size(); ++i) reinterpret_cast<RECT*>(region->Buffer)[i] = rects[i];
    return unique_hrgn(::ExtCreateRegion(nullptr, DWORD(data.size()), region));
}

void PaintPicture(HWND window) {
    unique_paint_dc paint(window);
    if (!paint || !g_picture) return;
    unique_hdc memory(::CreateCompatibleDC(paint.get()));
    unique_select_object selected(memory.get(), g_picture.get());
    ::BitBlt(paint.get(), 0, 0, kWidth, kHeight, memory.get(), 0, 0, SRCCOPY);
}
#endif

LRESULT CALLBACK FloorProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
#ifdef BENCH_FLOOR_SHAPED
    if (message == WM_PAINT) {
        PaintPicture(window);
        return 0;
    }
#endif
    if (message == WM_DESTROY) {
        ::PostQuitMessage(0);
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
#ifdef BENCH_FLOOR_NO_IME
    ::ImmDisableIME(static_cast<DWORD>(-1));
#endif
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
#ifdef BENCH_FLOOR_SHAPED
    g_picture.reset(static_cast<HBITMAP>(::LoadImageW(nullptr, BesideProgram(L"picture.bmp").c_str(), IMAGE_BITMAP,
                                                      0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION)));
    unique_hrgn shape = LoadShape();
    if (!g_picture || !shape) return 1;
    // The window owns the region once it is set.
    if (::SetWindowRgn(window, shape.get(), FALSE)) (void)shape.release();
#endif
#ifdef BENCH_FLOOR_SHELL32
    // Referred to, never called: the import alone is measured.
    static auto volatile shellExecute = &::ShellExecuteW;
    (void)shellExecute;
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
