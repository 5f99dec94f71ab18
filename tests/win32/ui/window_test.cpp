// MainWindow: its parts per mode, the guard against runs on missing data, the
// error box, the title font, the keyboard, the labels and the buttons' faces.
#include <gtest/gtest.h>

#include <memory>

#include "ui/main_window.h"
#include "ui_test_support.h"

namespace brunvald::ui::test {
namespace {

Rect WindowRectIn(HWND child, HWND parent) {
    RECT r;
    ::GetWindowRect(child, &r);
    ::MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
    return {r.left, r.top, r.right, r.bottom};
}

Text WindowText(HWND window) {
    wchar_t buffer[64] = {};
    ::GetWindowTextW(window, buffer, 64);
    return win32::ToText(buffer);
}

class WindowTest : public WindowFixture {
protected:
    void Click(MainWindow::ButtonId id) {
        const HWND button = window->button(id).hwnd();
        ::SendMessageW(window->hwnd(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    }
};

TEST_F(WindowTest, IsAHiddenFramelessPopupWithItsOwnTaskbarButton) {
    MainWindow& w = Make();
    wchar_t className[16] = {};
    ::GetClassNameW(w.hwnd(), className, 16);
    EXPECT_STREQ(className, L"TMain");
    EXPECT_FALSE(::IsWindowVisible(w.hwnd()));
    const LONG_PTR style = ::GetWindowLongPtrW(w.hwnd(), GWL_STYLE);
    const LONG_PTR exStyle = ::GetWindowLongPtrW(w.hwnd(), GWL_EXSTYLE);
    EXPECT_TRUE(style & WS_POPUP);
    EXPECT_FALSE(style & (WS_CAPTION | WS_THICKFRAME | WS_BORDER));
    EXPECT_TRUE(exStyle & WS_EX_APPWINDOW);
    EXPECT_EQ(WindowText(w.hwnd()), u"");
    RECT client;
    ::GetClientRect(w.hwnd(), &client);
    EXPECT_EQ(client.right, 500);
    EXPECT_EQ(client.bottom, 425);
    // The taskbar button's icons come with the showing.
    w.ShowCentred();
    EXPECT_NE(::SendMessageW(w.hwnd(), WM_GETICON, ICON_BIG, 0), 0);
    EXPECT_NE(::SendMessageW(w.hwnd(), WM_GETICON, ICON_SMALL, 0), 0);
}

// Each mode shows its action button and Beenden, at the places of the set-up;
// before the set-up the places of the window as created hold.
TEST_F(WindowTest, ButtonsPerModeWithTheirTextsAndPlaces) {
    struct Case {
        const char* name;
        bool setUp;
        InstallerMode mode;
        bool installVisible, uninstallVisible;
        Rect install, uninstall, close;
    };
    const Case cases[] = {
        {"before set-up", false, InstallerMode::Install, true, false, stored::kInstallieren, stored::kDeinstallieren,
         stored::kBeenden},
        {"install mode", true, InstallerMode::Install, true, false, placed::kActionButton, placed::kActionButton,
         placed::kBeenden},
        {"uninstall mode", true, InstallerMode::Uninstall, false, true, placed::kActionButton, placed::kActionButton,
         placed::kBeenden},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MainWindow& w = Make();
        if (c.setUp) w.SetUpWindow(c.mode);
        const ImageButton& install = w.button(MainWindow::kIdInstallieren);
        const ImageButton& uninstall = w.button(MainWindow::kIdDeinstallieren);
        const ImageButton& close = w.button(MainWindow::kIdBeenden);
        EXPECT_EQ(WindowText(install.hwnd()), u"Installieren");
        EXPECT_EQ(WindowText(uninstall.hwnd()), u"Deinstallieren");
        EXPECT_EQ(WindowText(close.hwnd()), u"Beenden");
        EXPECT_EQ(install.IsVisible(), c.installVisible);
        EXPECT_EQ(uninstall.IsVisible(), c.uninstallVisible);
        EXPECT_TRUE(close.IsVisible());
        EXPECT_EQ(WindowRectIn(install.hwnd(), w.hwnd()), c.install);
        EXPECT_EQ(WindowRectIn(uninstall.hwnd(), w.hwnd()), c.uninstall);
        EXPECT_EQ(WindowRectIn(close.hwnd(), w.hwnd()), c.close);
        // Tab order: Installieren, Deinstallieren, Beenden.
        EXPECT_EQ(::GetWindow(install.hwnd(), GW_HWNDNEXT), uninstall.hwnd());
        EXPECT_EQ(::GetWindow(uninstall.hwnd(), GW_HWNDNEXT), close.hwnd());
        window.reset();
    }
}

// No run may start on the data of an unfinished start-up: the action buttons
// are disabled, and a click that arrives anyway starts nothing.
TEST_F(WindowTest, NoRunStartsWhenTheStateIsNotReady) {
    for (const bool ready : {false, true}) {
        SCOPED_TRACE(ready ? "ready" : "not ready");
        g_calls = {};
        state.readyForRun = ready;
        MainWindow& w = Make();
        EXPECT_EQ(w.FormCreate(), AfterHandler::KeepWindow);
        EXPECT_EQ(g_calls.formCreate, 1);
        EXPECT_EQ(w.button(MainWindow::kIdInstallieren).IsEnabled(), ready);
        EXPECT_EQ(w.button(MainWindow::kIdDeinstallieren).IsEnabled(), ready);
        EXPECT_TRUE(w.button(MainWindow::kIdBeenden).IsEnabled());
        Click(MainWindow::kIdInstallieren);
        Click(MainWindow::kIdDeinstallieren);
        EXPECT_EQ(g_calls.install, ready ? 1 : 0);
        EXPECT_EQ(g_calls.uninstall, ready ? 1 : 0);
        window.reset();
    }
}

AfterHandler FailingStartUp(HostOps&, InstallerWindow& window, ProgramState& state) {
    window.SetTitleText(u"Aurelmark Mission\r\nDrachenfels");
    state.readyForRun = false;
    throw HostError(u"Ressource RCRES nicht gefunden");
}

AfterHandler FailingRun(HostOps&, InstallerWindow&, ProgramState&) {
    throw HostError(u"Stream-Schreibfehler", {u"WriteFile", u"C:\\Spiele\\Data\\karte.map", 112});
}

// An error during start-up goes to the error box (full stop added, the
// program's title as caption); the window keeps what the completed steps did
// and still opens.
TEST_F(WindowTest, StartUpErrorIsShownAndTheWindowStillOpens) {
    MainWindow& w = Make({&FailingStartUp, &CountInstall, &CountUninstall});
    EXPECT_EQ(w.FormCreate(), AfterHandler::KeepWindow);
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].text, u"Ressource RCRES nicht gefunden.");
    EXPECT_EQ(host.boxes[0].caption, u"Brunvald");
    EXPECT_EQ(host.boxes[0].flags, 0x10u);
    EXPECT_EQ(host.traces, std::vector<Text>{u"Brunvald: Ressource RCRES nicht gefunden"});
    EXPECT_EQ(w.prgNameYellow().text, u"Aurelmark Mission\r\nDrachenfels");
    EXPECT_FALSE(w.button(MainWindow::kIdInstallieren).IsEnabled());
    w.ShowCentred();
    EXPECT_TRUE(::IsWindowVisible(w.hwnd()));
}

// An error that ends a run early shows the box and leaves the window waiting;
// where it arose goes to the trace, never into the box.
TEST_F(WindowTest, RunErrorIsShownAndTheWindowStays) {
    MainWindow& w = Make({&CountFormCreate, &FailingRun, &FailingRun});
    EXPECT_EQ(w.FormCreate(), AfterHandler::KeepWindow);
    Click(MainWindow::kIdInstallieren);
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].text, u"Stream-Schreibfehler.");
    EXPECT_EQ(host.traces,
              std::vector<Text>{u"Brunvald: Stream-Schreibfehler (WriteFile \"C:\\Spiele\\Data\\karte.map\", code 112)"});
    EXPECT_TRUE(::IsWindow(w.hwnd()));
}

TEST_F(WindowTest, BeendenClosesTheWindowWithoutAMessage) {
    MainWindow& w = Make();
    EXPECT_EQ(w.FormCreate(), AfterHandler::KeepWindow);
    const HWND handle = w.hwnd();
    Click(MainWindow::kIdBeenden);
    EXPECT_FALSE(::IsWindow(handle));
    EXPECT_EQ(w.hwnd(), nullptr);
    EXPECT_TRUE(host.boxes.empty());
    MSG quit;
    EXPECT_TRUE(::PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "the message loop ends";
    EXPECT_EQ(quit.wParam, 0u);
}

AfterHandler RefusingStartUp(HostOps& host, InstallerWindow&, ProgramState&) {
    ++g_calls.formCreate;
    host.ShowMessageBox(u"Es konnte keine <Der erste Kaiser> Installation gefunden werden!", u"Fehler", 0x10);
    return AfterHandler::CloseWindow;
}

// A refusal closes the window before it was ever shown and says so, so that
// the program ends without showing it; the message loop would end at once.
TEST_F(WindowTest, RefusalClosesTheWindowUnseen) {
    MainWindow& w = Make({&RefusingStartUp, &CountInstall, &CountUninstall});
    const HWND handle = w.hwnd();
    EXPECT_EQ(w.FormCreate(), AfterHandler::CloseWindow);
    EXPECT_EQ(host.boxes.size(), 1u);
    EXPECT_FALSE(::IsWindow(handle));
    EXPECT_EQ(w.hwnd(), nullptr);
    w.ShowCentred();
    EXPECT_EQ(w.hwnd(), nullptr) << "nothing brings the window back";
    MSG quit;
    EXPECT_TRUE(::PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(quit.wParam, 0u);
}

// A run that ends the program presses both action buttons again while it
// works: posted, as clicks that wait in the queue, and sent, as a message box
// of the run dispatches them. None starts a run, neither inside this one nor
// after the window has closed.
AfterHandler ClosingRunPressingAgain(HostOps&, InstallerWindow& window, ProgramState&) {
    if (++g_calls.install > 1) return AfterHandler::CloseWindow;  // a second run: the test fails
    const HWND main = reinterpret_cast<HWND>(window.NativeHandle());
    for (const int id : {MainWindow::kIdInstallieren, MainWindow::kIdDeinstallieren}) {
        const HWND button = ::GetDlgItem(main, id);
        const WPARAM click = MAKEWPARAM(id, BN_CLICKED);
        ::PostMessageW(main, WM_COMMAND, click, reinterpret_cast<LPARAM>(button));
        ::PostMessageW(button, BM_CLICK, 0, 0);
        ::SendMessageW(main, WM_COMMAND, click, reinterpret_cast<LPARAM>(button));
    }
    return AfterHandler::CloseWindow;
}

bool g_loopStuck = false;
void CALLBACK EndStuckLoop(HWND, UINT, UINT_PTR, DWORD) {
    g_loopStuck = true;
    ::PostQuitMessage(1);
}

TEST_F(WindowTest, RunThatEndsTheProgramClosesTheWindowAndTheLoop) {
    MainWindow& w = Make({&CountFormCreate, &ClosingRunPressingAgain, &CountUninstall});
    EXPECT_EQ(w.FormCreate(), AfterHandler::KeepWindow);
    w.ShowCentred();
    PumpMessages();
    const HWND handle = w.hwnd();
    Click(MainWindow::kIdInstallieren);
    EXPECT_FALSE(::IsWindow(handle)) << "closed inside the click's handler";
    EXPECT_EQ(w.hwnd(), nullptr);

    // Only a guard against a loop that never ends: it fails the test.
    g_loopStuck = false;
    const UINT_PTR guard = ::SetTimer(nullptr, 0, 20000, &EndStuckLoop);
    EXPECT_EQ(w.RunMessageLoop(), 0);
    ::KillTimer(nullptr, guard);
    EXPECT_FALSE(g_loopStuck) << "the message loop went on after the window closed";
    EXPECT_EQ(g_calls.install, 1);
    EXPECT_EQ(g_calls.uninstall, 0);
    EXPECT_TRUE(host.boxes.empty());
}

TEST_F(WindowTest, TitleFontFromMemoryOrCalibriWhenItCannotBeRegistered) {
    {
        MainWindow& w = Make();
        EXPECT_EQ(w.fontFace(), u"Tahoma");
        EXPECT_EQ(w.fontHeight(), 11);
        w.SetUpWindow(InstallerMode::Install);
        EXPECT_EQ(w.fontFace(), u"" BRUNVALD_TITLE_FACE);
        EXPECT_EQ(w.fontHeight(), 13);
        // The registered face is the one the labels get (11 pt).
        LOGFONTW font{};
        ::GetObjectW(w.prgNameYellow().font.get(), sizeof font, &font);
        EXPECT_EQ(win32::ToText(font.lfFaceName), u"" BRUNVALD_TITLE_FACE);
        EXPECT_EQ(font.lfHeight, -15);
        unique_hdc dc(::CreateCompatibleDC(nullptr));
        unique_select_object selected(dc.get(), w.prgNameYellow().font.get());
        wchar_t face[LF_FACESIZE] = {};
        ::GetTextFaceW(dc.get(), LF_FACESIZE, face);
        EXPECT_EQ(win32::ToText(face), u"" BRUNVALD_TITLE_FACE) << "the private font is in use";
        window.reset();
    }
    {
        host.fontBytes = {'n', 'o', ' ', 'f', 'o', 'n', 't'};  // registration returns 0
        MainWindow& w = Make();
        w.SetUpWindow(InstallerMode::Uninstall);
        EXPECT_EQ(w.fontFace(), u"Calibri");
        EXPECT_EQ(w.fontHeight(), 11);
        EXPECT_TRUE(w.prgNameYellow().ownLook);
        EXPECT_TRUE(w.button(MainWindow::kIdDeinstallieren).IsVisible()) << "the rest of the set-up still runs";
    }
}

// A program without the font resource: the set-up raises the resource error
// before it changes the font, the labels or the places, and the window keeps
// its first look there. The mode's button is in place already: in uninstall
// mode the Installieren of the created window showed, and one click on it ran
// a full install.
TEST_F(WindowTest, MissingFontResourceRaisesAndChangesNothing) {
    for (const InstallerMode mode : {InstallerMode::Install, InstallerMode::Uninstall}) {
        SCOPED_TRACE(mode == InstallerMode::Install ? "install mode" : "uninstall mode");
        host.missing.insert(u"TTF");
        MainWindow& w = Make();
        try {
            w.SetUpWindow(mode);
            ADD_FAILURE() << "no error raised";
        } catch (const HostError& error) {
            EXPECT_EQ(error.message(), u"Ressource TTF nicht gefunden");
        }
        EXPECT_EQ(w.fontFace(), u"Tahoma");
        EXPECT_FALSE(w.prgNameYellow().ownLook);
        EXPECT_EQ(w.prgNameYellow().box, stored::kPrgNameYellow);
        EXPECT_EQ(w.button(MainWindow::kIdInstallieren).IsVisible(), mode == InstallerMode::Install);
        EXPECT_EQ(w.button(MainWindow::kIdDeinstallieren).IsVisible(), mode == InstallerMode::Uninstall);
        window.reset();
    }
}

// Without a CampPak line nobody sets the title: the labels keep their names,
// black below and yellow above, at the set-up's places.
TEST_F(WindowTest, LabelsKeepTheirNamesWithoutATitle) {
    MainWindow& w = Make();
    w.SetUpWindow(InstallerMode::Install);
    EXPECT_EQ(w.prgNameBlack().text, u"PrgNameBlack");
    EXPECT_EQ(w.prgNameYellow().text, u"PrgNameYellow");
    EXPECT_EQ(w.prgNameBlack().colour, RGB(0, 0, 0));
    EXPECT_EQ(w.prgNameYellow().colour, RGB(255, 255, 0));
    EXPECT_EQ(w.prgNameBlack().box, placed::kPrgNameBlack);
    EXPECT_EQ(w.prgNameYellow().box, placed::kPrgNameYellow);

    // What the labels add to the picture: the difference to a painting
    // without text, only inside their boxes, yellow ink above dark ink.
    Canvas withText(kClientWidth, kClientHeight), withoutText(kClientWidth, kClientHeight);
    w.PaintClient(withText.dc());
    w.SetTitleText(u"");
    w.PaintClient(withoutText.dc());
    int changed = 0, yellowish = 0, darkish = 0, outsideBoxes = 0;
    for (std::int32_t y = 0; y < kClientHeight; ++y) {
        for (std::int32_t x = 0; x < kClientWidth; ++x) {
            const COLORREF c = withText.At(x, y);
            if (c == withoutText.At(x, y)) continue;
            ++changed;
            if (!placed::kPrgNameBlack.contains(x, y) && !placed::kPrgNameYellow.contains(x, y)) ++outsideBoxes;
            if (GetRValue(c) > 180 && GetGValue(c) > 180 && GetBValue(c) < 100) ++yellowish;
            if (GetRValue(c) < 40 && GetGValue(c) < 40 && GetBValue(c) < 40) ++darkish;
        }
    }
    EXPECT_GT(changed, 200);
    EXPECT_GT(yellowish, 30) << "the top layer is drawn";
    EXPECT_GT(darkish, 30) << "the shadow layer is drawn";
    EXPECT_EQ(outsideBoxes, 0);
}

// A repaint of a part composes that part alone, each pixel as the paint of
// the whole client has it, and leaves the rest of the target as it was: the
// bar's strip, a rectangle across the labels and the picture's edge, the
// last pixel, the whole client.
TEST_F(WindowTest, PaintingAPartDrawsItAsThePaintOfTheWhole) {
    MainWindow& w = Make();
    w.SetUpWindow(InstallerMode::Install);
    w.SetTitleText(u"Vantorel Mission : Aurelmark");
    w.ShowProgressBar();
    w.SetProgressPercent(41);
    const RECT client{0, 0, kClientWidth, kClientHeight};
    Canvas whole(kClientWidth, kClientHeight);
    w.PaintArea(whole.dc(), client);

    const COLORREF untouched = RGB(255, 0, 255);
    for (const RECT& part : {ToRECT(kProgressBar), RECT{3, 10, 260, 90}, RECT{kClientWidth - 1, kClientHeight - 1,
                                                                          kClientWidth, kClientHeight},
                             client}) {
        SCOPED_TRACE(testing::Message() << part.left << "," << part.top << " - " << part.right << ","
                                        << part.bottom);
        Canvas canvas(kClientWidth, kClientHeight, untouched);
        w.PaintArea(canvas.dc(), part);
        int wrongInside = 0, paintedOutside = 0;
        for (std::int32_t y = 0; y < kClientHeight; ++y) {
            for (std::int32_t x = 0; x < kClientWidth; ++x) {
                const bool inside = x >= part.left && x < part.right && y >= part.top && y < part.bottom;
                if (inside && canvas.At(x, y) != whole.At(x, y)) ++wrongInside;
                if (!inside && canvas.At(x, y) != untouched) ++paintedOutside;
            }
        }
        EXPECT_EQ(wrongInside, 0);
        EXPECT_EQ(paintedOutside, 0);
    }
}

// A line far wider than 305 pixels is clipped at both sides of the box and
// never wraps; a single "&" is not drawn.
TEST_F(WindowTest, LabelTextIsCentredAndClippedToItsBox) {
    const Rect box = Box(100, 100, kLabelWidth, kLabelHeight);
    const unique_hfont font(::CreateFontW(-15, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Tahoma"));
    Canvas wide(600, 300, RGB(255, 255, 255));
    PaintTitleText(wide.dc(), Text(200, u'W'), box, font.get(), RGB(0, 0, 0));
    bool leftEdge = false, rightEdge = false, outside = false;
    int minY = 1000, maxY = -1;
    for (std::int32_t y = 0; y < 300; ++y)
        for (std::int32_t x = 0; x < 600; ++x)
            if (wide.At(x, y) != RGB(255, 255, 255)) {
                if (!box.contains(x, y)) outside = true;
                if (x < box.left + 3) leftEdge = true;
                if (x >= box.right - 3) rightEdge = true;
                minY = std::min(minY, y);
                maxY = std::max(maxY, y);
            }
    EXPECT_FALSE(outside);
    EXPECT_TRUE(leftEdge && rightEdge) << "the centred line runs over both sides";
    // One line, centred vertically: about as far from the top as the bottom.
    EXPECT_LT(maxY - minY, 20) << "no second line: the text did not wrap";
    EXPECT_NEAR((minY - box.top) - (box.bottom - 1 - maxY), 0, 8);

    Canvas amp(600, 300, RGB(255, 255, 255)), plain(600, 300, RGB(255, 255, 255));
    PaintTitleText(amp.dc(), u"A&BC", box, font.get(), RGB(0, 0, 0));
    PaintTitleText(plain.dc(), u"ABC", box, font.get(), RGB(0, 0, 0));
    int ampInk = 0, plainInk = 0;
    for (std::int32_t y = box.top; y < box.bottom; ++y)
        for (std::int32_t x = box.left; x < box.right; ++x) {
            ampInk += amp.At(x, y) != RGB(255, 255, 255);
            plainInk += plain.At(x, y) != RGB(255, 255, 255);
        }
    EXPECT_GT(ampInk, plainInk) << "B is underlined";
    EXPECT_LT(ampInk, plainInk + 40) << "and the & itself is not drawn";
}

// Enter clicks the focused button, Esc does nothing, Tab walks the visible
// buttons in order.
TEST_F(WindowTest, KeyboardLikeADialogWithoutDefaultButton) {
    MainWindow& w = Make();
    EXPECT_EQ(w.FormCreate(), AfterHandler::KeepWindow);
    w.ShowCentred();
    PumpMessages();
    const HWND install = w.button(MainWindow::kIdInstallieren).hwnd();
    const HWND close = w.button(MainWindow::kIdBeenden).hwnd();
    EXPECT_EQ(::GetFocus(), install);

    auto key = [&](HWND target, WPARAM vk) {
        MSG message{target, WM_KEYDOWN, vk, 0, 0, {}};
        return w.PreTranslateMessage(message);
    };
    EXPECT_TRUE(key(install, VK_ESCAPE));
    EXPECT_TRUE(::IsWindow(w.hwnd()));
    EXPECT_EQ(g_calls.install, 0);

    EXPECT_TRUE(key(install, VK_RETURN));
    EXPECT_EQ(g_calls.install, 1);

    EXPECT_TRUE(key(install, VK_TAB));
    EXPECT_EQ(::GetFocus(), close) << "the hidden Deinstallieren is skipped";
    EXPECT_TRUE(key(close, VK_TAB));
    EXPECT_EQ(::GetFocus(), install) << "and round again";

    EXPECT_FALSE(key(install, 'A')) << "other keys go their usual way";
    ::SetFocus(close);
    EXPECT_TRUE(key(close, VK_RETURN));
    EXPECT_FALSE(::IsWindow(install)) << "Enter on Beenden closed the window";
}

// The buttons' faces: the image's top row and left column are the key
// colour and show the face; the image's own pixels start at (1, 1).
TEST_F(WindowTest, ButtonImageLeavesItsKeyColourUndrawn) {
    MainWindow& w = Make();
    w.SetUpWindow(InstallerMode::Install);
    for (const auto id : {MainWindow::kIdInstallieren, MainWindow::kIdBeenden}) {
        for (const UINT state : {0u, UINT(ODS_SELECTED), UINT(ODS_FOCUS), UINT(ODS_DISABLED)}) {
            SCOPED_TRACE(testing::Message() << "button " << id << " state " << state);
            Canvas canvas(145, 33, RGB(255, 0, 255));
            DRAWITEMSTRUCT item{};
            item.CtlType = ODT_BUTTON;
            item.CtlID = id;
            item.itemAction = ODA_DRAWENTIRE;
            item.itemState = state;
            item.hwndItem = w.button(id).hwnd();
            item.hDC = canvas.dc();
            item.rcItem = {0, 0, 145, 33};
            w.button(id).Draw(item);
            const COLORREF key = RGB(206, 178, 82);
            for (std::int32_t x = 0; x < 145; ++x) EXPECT_NE(canvas.At(x, 0), key) << "top row, x " << x;
            for (std::int32_t y = 0; y < 33; ++y) EXPECT_NE(canvas.At(0, y), key) << "left column, y " << y;
            for (std::int32_t y = 0; y < 33; ++y)
                for (std::int32_t x = 0; x < 145; ++x)
                    ASSERT_NE(canvas.At(x, y), RGB(255, 0, 255)) << "every pixel is drawn: " << x << "," << y;
            // The plate's light-gold line is the image's row 1, below the face.
            EXPECT_NE(canvas.At(10, 1), canvas.At(10, 0));
        }
    }
}

// A disabled button (start-up did not complete) veils its caption, so the
// user sees that it refuses clicks.
TEST_F(WindowTest, DisabledButtonLooksDisabled) {
    MainWindow& w = Make();
    auto draw = [&](UINT state) {
        auto canvas = std::make_unique<Canvas>(145, 33);
        DRAWITEMSTRUCT item{};
        item.CtlType = ODT_BUTTON;
        item.itemState = state;
        item.hwndItem = w.button(MainWindow::kIdInstallieren).hwnd();
        item.hDC = canvas->dc();
        item.rcItem = {0, 0, 145, 33};
        w.button(MainWindow::kIdInstallieren).Draw(item);
        return canvas;
    };
    const auto normal = draw(0), disabled = draw(ODS_DISABLED);
    int differing = 0;
    for (std::int32_t y = 1; y < 33; ++y)
        for (std::int32_t x = 1; x < 145; ++x) differing += normal->At(x, y) != disabled->At(x, y);
    EXPECT_GT(differing, 145 * 33 / 2);
}

}  // namespace
}  // namespace brunvald::ui::test
