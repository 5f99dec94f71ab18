// The window at other resolutions. The program declares no DPI awareness and
// lays everything out in pixels for 96 dpi with fixed pixel font heights:
// where the system scales unaware programs (Windows), the whole window is
// scaled as one picture; where it does not (Wine), nothing moves relative to
// the picture. Either way every part stays on the picture.
//
// run_at_dpi.cmake runs this test with the prefix's LogPixels set to 96, 120
// and 144 and names the value in BRUNVALD_TEST_DPI.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "ui/main_window.h"
#include "ui_test_support.h"

namespace brunvald::ui::test {
namespace {

// The resolution the system is set to, as a per-monitor aware thread sees it.
UINT SystemDpi() {
    using SetContext = DPI_AWARENESS_CONTEXT(WINAPI*)(DPI_AWARENESS_CONTEXT);
    using GetDpi = UINT(WINAPI*)();
    const HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
    const auto setContext =
        reinterpret_cast<SetContext>(reinterpret_cast<void*>(::GetProcAddress(user32, "SetThreadDpiAwarenessContext")));
    const auto getDpi = reinterpret_cast<GetDpi>(reinterpret_cast<void*>(::GetProcAddress(user32, "GetDpiForSystem")));
    if (!setContext || !getDpi) return 0;
    const DPI_AWARENESS_CONTEXT previous = setContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE);
    const UINT dpi = getDpi();
    setContext(previous);
    return dpi;
}

std::int32_t CellHeight(HFONT font) {
    unique_hdc dc(::CreateCompatibleDC(nullptr));
    unique_select_object selected(dc.get(), font);
    TEXTMETRICW metrics{};
    ::GetTextMetricsW(dc.get(), &metrics);
    return metrics.tmHeight - metrics.tmInternalLeading;
}

class Dpi : public WindowFixture {};

TEST_F(Dpi, EveryPartStaysOnThePicture) {
    if (const char* expected = std::getenv("BRUNVALD_TEST_DPI")) {
        EXPECT_EQ(SystemDpi(), static_cast<UINT>(std::atoi(expected))) << "the prefix's LogPixels took effect";
    }
    std::cout << "system dpi " << SystemDpi() << "\n";

    Make();
    window->SetTitleText(u"Vantorel Mission\r\nAurelmark");
    window->SetUpWindow(InstallerMode::Install);
    window->ShowCentred();
    PumpMessages();

    RECT client;
    ::GetClientRect(window->hwnd(), &client);
    EXPECT_EQ(client.right, kClientWidth);
    EXPECT_EQ(client.bottom, kClientHeight);

    // The region is the picture's, unscaled.
    unique_hrgn region(::CreateRectRgn(0, 0, 0, 0));
    ASSERT_EQ(::GetWindowRgn(window->hwnd(), region.get()), COMPLEXREGION);
    RECT box;
    ::GetRgnBox(region.get(), &box);
    EXPECT_LE(box.right, 482);
    EXPECT_LE(box.bottom, 418);

    // The buttons lie on the panel where the set-up put them.
    const Rect panel{13, 211, 482, 418};
    for (const auto id : {MainWindow::kIdInstallieren, MainWindow::kIdBeenden}) {
        RECT r;
        ::GetWindowRect(window->button(id).hwnd(), &r);
        ::MapWindowPoints(HWND_DESKTOP, window->hwnd(), reinterpret_cast<POINT*>(&r), 2);
        EXPECT_EQ(r.right - r.left, 145);
        EXPECT_EQ(r.bottom - r.top, 33);
        EXPECT_TRUE(panel.contains(r.left, r.top) && panel.contains(r.right - 1, r.bottom - 1));
    }

    // The labels' characters keep their 15 pixels, and their ink stays in
    // their boxes: the two-line title fits the 50-pixel box.
    EXPECT_EQ(CellHeight(window->prgNameYellow().font.get()), kLabelFontHeight);
    Canvas withText(kClientWidth, kClientHeight), withoutText(kClientWidth, kClientHeight);
    window->PaintClient(withText.dc());
    window->SetTitleText(u"");
    window->PaintClient(withoutText.dc());
    int ink = 0, outside = 0, topRows = 0;
    const Rect& yellow = placed::kPrgNameYellow;
    for (std::int32_t y = 0; y < kClientHeight; ++y)
        for (std::int32_t x = 0; x < kClientWidth; ++x) {
            if (withText.At(x, y) == withoutText.At(x, y)) continue;
            ++ink;
            if (!yellow.contains(x, y) && !placed::kPrgNameBlack.contains(x, y)) ++outside;
            if (y == yellow.top || y == placed::kPrgNameBlack.bottom - 1) ++topRows;
        }
    EXPECT_GT(ink, 200);
    EXPECT_EQ(outside, 0);
    EXPECT_EQ(topRows, 0) << "nothing clipped at the boxes' edges";
}

}  // namespace
}  // namespace brunvald::ui::test
