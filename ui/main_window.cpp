#include "ui/main_window.h"

#include <windowsx.h>

#include <algorithm>
#include <array>

#include "host/win32/win32_text.h"
#include "ui/error_box.h"
#include "ui/resource_ids.h"

#ifndef BRUNVALD_TITLE_FACE
#error "BRUNVALD_TITLE_FACE must name the family of the embedded title font"
#endif

namespace brunvald::ui {

namespace {

// The family of the font the program carries as "China"/"TTF"; a build
// setting, because it is whatever font the build embeds.
const Text kTitleFace = u"" BRUNVALD_TITLE_FACE;
const Text kFallbackFace = u"Calibri";
const Text kStoredFace = u"Tahoma";

unique_hfont MakeFont(const Text& face, std::int32_t pixelHeight) {
    LOGFONTW font{};
    font.lfHeight = -pixelHeight;  // character height, without internal leading
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfOutPrecision = OUT_DEFAULT_PRECIS;
    font.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    font.lfQuality = DEFAULT_QUALITY;
    font.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
    const std::size_t length = std::min<std::size_t>(face.size(), LF_FACESIZE - 1);
    std::copy_n(face.data(), length, reinterpret_cast<char16_t*>(font.lfFaceName));
    return unique_hfont(::CreateFontIndirectW(&font));
}

// The window's picture: the PNG in the program's resources. Empty when it is
// missing; the window then has no shape.
std::span<const std::uint8_t> PictureFile(HINSTANCE instance) {
    const HRSRC found = ::FindResourceW(instance, MAKEINTRESOURCEW(BRUNVALD_RES_PICTURE), MAKEINTRESOURCEW(10));
    if (!found) return {};
    const HGLOBAL loaded = ::LoadResource(instance, found);  // not a handle to free
    const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
    if (!bytes) return {};
    return {static_cast<const std::uint8_t*>(bytes), ::SizeofResource(instance, found)};
}

unique_hbitmap LoadButtonImage(HINSTANCE instance, int id) {
    return unique_hbitmap(static_cast<HBITMAP>(
        ::LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
}

// The platform's lower case for one unit of the program's title.
char16_t LowerUnit(char16_t unit) {
    wchar_t buffer[1] = {static_cast<wchar_t>(unit)};
    ::CharLowerBuffW(buffer, 1);
    return static_cast<char16_t>(buffer[0]);
}

bool KeyDown(int key) { return (::GetKeyState(key) & 0x8000) != 0; }

}  // namespace

MainWindow::MainWindow(HostOps& host, ProgramState& state, WindowHandlers handlers, HINSTANCE instance)
    : host_(host), state_(state), handlers_(handlers), instance_(instance) {
    prgNameBlack_.text = u"PrgNameBlack";
    prgNameBlack_.box = stored::kPrgNameBlack;
    prgNameYellow_.text = u"PrgNameYellow";
    prgNameYellow_.box = stored::kPrgNameYellow;
    fontFace_ = kStoredFace;
}

MainWindow::~MainWindow() {
    // Destroy the window while the parts its messages reach still exist.
    window_.reset();
}

bool MainWindow::RegisterWindowClass() const {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_DBLCLKS;  // a double click on the picture drags too
    windowClass.lpfnWndProc = &MainWindow::WindowProc;
    windowClass.hInstance = instance_;
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kClassName;
    if (::RegisterClassExW(&windowClass) != 0) return true;
    // A second window in the same process (the tests) finds it registered.
    return ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

bool MainWindow::Create() {
    if (window_) return true;
    if (!RegisterWindowClass()) return false;

    picture_ = std::make_unique<ShapedPicture>(PictureFile(instance_));
    windowFont_ = MakeFont(fontFace_, fontHeight_);

    // A popup: no border, no caption. It still has the system menu and the
    // minimize box so that its taskbar button behaves as for any window.
    constexpr DWORD kStyle = WS_POPUP | WS_CLIPCHILDREN | WS_SYSMENU | WS_MINIMIZEBOX;
    const HWND created = ::CreateWindowExW(WS_EX_APPWINDOW, kClassName, L"", kStyle, 0, 0, kClientWidth,
                                           kClientHeight, nullptr, nullptr, instance_, this);
    if (!created) return false;  // WM_NCCREATE took ownership, WM_NCDESTROY gave it back
    progressBar_.SetParent(created);

    // Creation order is the tab order.
    const bool buttons =
        installieren_.Create(created, kIdInstallieren, L"Installieren", stored::kInstallieren, true,
                             LoadButtonImage(instance_, BRUNVALD_RES_BTN_INSTALL)) &&
        deinstallieren_.Create(created, kIdDeinstallieren, L"Deinstallieren", stored::kDeinstallieren, false,
                               LoadButtonImage(instance_, BRUNVALD_RES_BTN_UNINSTALL)) &&
        beenden_.Create(created, kIdBeenden, L"Beenden", stored::kBeenden, true,
                          LoadButtonImage(instance_, BRUNVALD_RES_BTN_CLOSE));
    if (!buttons) {
        window_.reset();
        return false;
    }
    return true;
}

AfterHandler MainWindow::FormCreate() {
    AfterHandler next = AfterHandler::KeepWindow;
    try {
        if (handlers_.formCreate) next = handlers_.formCreate(host_, *this, state_);
    } catch (const HostError& error) {
        ShowHostError(error);
    }
    ApplyRunReadiness();
    Conclude(next);
    return next;
}

void MainWindow::ApplyRunReadiness() {
    // Without the data of the completed start-up no run may begin: the action
    // buttons refuse the click (and the handlers check it again).
    const BOOL ready = state_.readyForRun ? TRUE : FALSE;
    if (installieren_.hwnd()) ::EnableWindow(installieren_.hwnd(), ready);
    if (deinstallieren_.hwnd()) ::EnableWindow(deinstallieren_.hwnd(), ready);
}

void MainWindow::ShowCentred() {
    if (shown_ || !window_) return;
    shown_ = true;
    const Rect desktop = Box(::GetSystemMetrics(SM_XVIRTUALSCREEN), ::GetSystemMetrics(SM_YVIRTUALSCREEN),
                             ::GetSystemMetrics(SM_CXVIRTUALSCREEN), ::GetSystemMetrics(SM_CYVIRTUALSCREEN));
    const Point origin = CenteredOrigin(desktop);
    ::SetWindowPos(hwnd(), nullptr, origin.x, origin.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    // The show event (WM_SHOWWINDOW) puts the region in place before the
    // window becomes visible.
    ::ShowWindow(hwnd(), SW_SHOW);
    ::UpdateWindow(hwnd());
    ::SetForegroundWindow(hwnd());
    FocusFirstButton();
    SetIcons();
}

void MainWindow::SetIcons() const {
    // Only the taskbar button shows them (the window has no caption), so
    // they are loaded once the picture is on the screen rather than before.
    // Shared icons belong to the system, which frees them with the module.
    const auto load = [this](int width, int height) {
        return reinterpret_cast<LPARAM>(::LoadImageW(instance_, L"MAINICON", IMAGE_ICON, ::GetSystemMetrics(width),
                                                     ::GetSystemMetrics(height), LR_SHARED));
    };
    ::SendMessageW(hwnd(), WM_SETICON, ICON_BIG, load(SM_CXICON, SM_CYICON));
    ::SendMessageW(hwnd(), WM_SETICON, ICON_SMALL, load(SM_CXSMICON, SM_CYSMICON));
}

int MainWindow::RunMessageLoop() {
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (PreTranslateMessage(message)) continue;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return 0;  // every way out of the program ends with 0
}

bool MainWindow::PreTranslateMessage(const MSG& message) {
    if (message.message != WM_KEYDOWN || !window_) return false;
    if (message.hwnd != hwnd() && !::IsChild(hwnd(), message.hwnd)) return false;
    const bool modifiers = KeyDown(VK_CONTROL) || KeyDown(VK_MENU);
    switch (message.wParam) {
    case VK_TAB:
        if (modifiers) return false;
        MoveFocus(KeyDown(VK_SHIFT));
        // The keyboard is in use: show focus rectangles from now on.
        ::SendMessageW(hwnd(), WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
        return true;
    case VK_RETURN: {
        if (modifiers || KeyDown(VK_SHIFT)) return false;
        const HWND focus = ::GetFocus();
        for (const ImageButton* b : {&installieren_, &deinstallieren_, &beenden_}) {
            if (b->hwnd() == focus && b->IsVisible() && b->IsEnabled()) {
                ::SendMessageW(hwnd(), WM_COMMAND, MAKEWPARAM(b->id(), BN_CLICKED),
                               reinterpret_cast<LPARAM>(b->hwnd()));
                return true;
            }
        }
        return true;  // there is no default button
    }
    case VK_ESCAPE:
        return true;  // nor a cancel button: Esc does nothing
    default:
        return false;
    }
}

std::size_t MainWindow::FocusCandidates(std::array<HWND, 3>& candidates) const {
    std::size_t count = 0;
    for (const ImageButton* b : {&installieren_, &deinstallieren_, &beenden_})
        if (b->IsVisible() && b->IsEnabled()) candidates[count++] = b->hwnd();
    return count;
}

void MainWindow::FocusFirstButton() {
    std::array<HWND, 3> candidates{};
    const std::size_t count = FocusCandidates(candidates);
    if (count == 0) return;
    const auto end = candidates.begin() + count;
    if (std::find(candidates.begin(), end, ::GetFocus()) == end) ::SetFocus(candidates[0]);
}

void MainWindow::MoveFocus(bool backwards) {
    std::array<HWND, 3> candidates{};
    const std::size_t count = FocusCandidates(candidates);
    if (count == 0) return;
    const HWND focus = ::GetFocus();
    std::size_t next = backwards ? count - 1 : 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (candidates[i] == focus) {
            next = backwards ? (i + count - 1) % count : (i + 1) % count;
            break;
        }
    }
    ::SetFocus(candidates[next]);
}

AfterHandler MainWindow::StartRun(RunProcedure run) {
    // A run works on the data start-up left; without all of it, none starts.
    if (running_ || !state_.readyForRun || !run) return AfterHandler::KeepWindow;
    running_ = true;
    AfterHandler next = AfterHandler::KeepWindow;
    try {
        next = run(host_, *this, state_);
    } catch (const HostError& error) {
        // The run ends early; the window goes back to waiting.
        ShowHostError(error);
    }
    running_ = false;
    return next;
}

// The window is destroyed at once, inside the handler that decided it: what
// is still queued for it (a click posted during the run) finds no window and
// is dropped, and the message loop ends on the quit that WM_DESTROY posts.
void MainWindow::Conclude(AfterHandler next) {
    if (next == AfterHandler::CloseWindow && window_) ::DestroyWindow(hwnd());
}

AfterHandler MainWindow::InstallierenClick() { return StartRun(handlers_.installRun); }

AfterHandler MainWindow::DeinstallierenClick() { return StartRun(handlers_.uninstallRun); }

void MainWindow::BeendenClick() {
    if (window_) ::SendMessageW(hwnd(), WM_CLOSE, 0, 0);
}

void MainWindow::ShowHostError(const HostError& error) { ShowErrorBox(host_, error, &LowerUnit); }

// --- InstallerWindow --------------------------------------------------------

void MainWindow::SetTitleText(const Text& text) {
    prgNameBlack_.text = text;
    prgNameYellow_.text = text;
    RedrawLabels();
}

void MainWindow::SetUpWindow(InstallerMode mode) {
    // The mode's button before anything that can fail: the window is created
    // showing Installieren, and a set-up that the missing font ends must not
    // leave it in uninstall mode, where one click would run a full install.
    if (mode == InstallerMode::Uninstall) {
        deinstallieren_.SetVisible(true);
        installieren_.SetVisible(false);
    }

    // The title font, from memory, for this process only. Raises the
    // resource error when the program carries no font, before anything below
    // has changed: the window then keeps its first look.
    const Bytes font = host_.LoadResourceData(u"China", u"TTF");
    DWORD fontsAdded = 0;
    titleFont_.reset(::AddFontMemResourceEx(const_cast<std::uint8_t*>(font.data()),
                                            static_cast<DWORD>(font.size()), nullptr, &fontsAdded));

    // The window's font: the embedded face at 10 pt, or Calibri at the first
    // height when the platform would not register the font.
    if (titleFont_) {
        fontFace_ = kTitleFace;
        fontHeight_ = kTitleFontHeight;
    } else {
        fontFace_ = kFallbackFace;
    }
    windowFont_ = MakeFont(fontFace_, fontHeight_);

    // The two title labels take the window's face at their own size of
    // 11 pt: black below as the shadow, yellow on top.
    prgNameBlack_.ownLook = true;
    prgNameBlack_.colour = RGB(0, 0, 0);
    prgNameBlack_.font = MakeFont(fontFace_, kLabelFontHeight);
    prgNameYellow_.ownLook = true;
    prgNameYellow_.colour = RGB(255, 255, 0);
    prgNameYellow_.font = MakeFont(fontFace_, kLabelFontHeight);

    // The places of the set-up window: the shadow label 2 px left of and below
    // the top one, and the action button of either mode at one place.
    prgNameYellow_.box = placed::kPrgNameYellow;
    prgNameBlack_.box = placed::kPrgNameBlack;
    installieren_.SetBounds(placed::kActionButton);
    deinstallieren_.SetBounds(placed::kActionButton);
    beenden_.SetBounds(placed::kBeenden);

    RedrawLabels();
}

void MainWindow::ShowProgressBar() { progressBar_.SetVisible(true); }

unsigned MainWindow::ProgressPercent() const { return progressBar_.Percent(); }

void MainWindow::SetProgressPercent(unsigned percent) {
    progressBar_.SetPercent(static_cast<std::uint16_t>(std::min<unsigned>(percent, 0xFFFF)));
}

std::uintptr_t MainWindow::NativeHandle() const { return reinterpret_cast<std::uintptr_t>(hwnd()); }

const ImageButton& MainWindow::button(ButtonId id) const {
    switch (id) {
    case kIdInstallieren: return installieren_;
    case kIdDeinstallieren: return deinstallieren_;
    default: return beenden_;
    }
}

void MainWindow::RedrawLabels() {
    if (window_) ::InvalidateRect(hwnd(), nullptr, FALSE);
}

// --- Painting -----------------------------------------------------------------

void MainWindow::PaintClient(HDC dc) const {
    // Bottom to top: the picture, the shadow label, the top label, the bar.
    if (picture_) picture_->Paint(dc);
    const COLORREF windowText = ::GetSysColor(COLOR_WINDOWTEXT);
    for (const TitleLabel* label : {&prgNameBlack_, &prgNameYellow_}) {
        const HFONT font = label->ownLook ? label->font.get() : windowFont_.get();
        PaintTitleText(dc, label->text, label->box, font, label->ownLook ? label->colour : windowText);
    }
    if (progressBar_.Visible()) progressBar_.PaintAt(dc, progressBar_.bounds().left, progressBar_.bounds().top);
}

void MainWindow::PaintArea(HDC dc, const RECT& area) const {
    const std::int32_t width = area.right - area.left, height = area.bottom - area.top;
    if (width <= 0 || height <= 0) return;
    // Composed off screen and copied once, so nothing flickers. The buffer
    // holds only the part to paint: showing the bar, for one, repaints a
    // strip, and a buffer of the whole window for it would add as much
    // memory again as the picture takes.
    const Dib buffer = CreateDib32(width, height);
    unique_hdc memory(::CreateCompatibleDC(dc));
    if (!buffer || !memory) return;
    unique_select_object selected(memory.get(), buffer.bitmap.get());
    // Client coordinates: the buffer's first pixel is the part's top-left one.
    ::SetViewportOrgEx(memory.get(), -area.left, -area.top, nullptr);
    const RECT all{0, 0, kClientWidth, kClientHeight};
    ::FillRect(memory.get(), &all, ::GetSysColorBrush(COLOR_BTNFACE));
    PaintClient(memory.get());
    ::BitBlt(dc, area.left, area.top, width, height, memory.get(), area.left, area.top, SRCCOPY);
}

void MainWindow::OnPaint() {
    const unique_paint_dc paint(hwnd());
    if (!paint) return;
    PaintArea(paint.get(), paint.paint().rcPaint);
}

// --- Messages -----------------------------------------------------------------

void MainWindow::OnShowWindow(bool shown) {
    if (shown && picture_) picture_->WindowShown(hwnd());
}

void MainWindow::OnMousePress(std::int32_t x, std::int32_t y) {
    // The labels and the visible bar lie above the picture and take the
    // presses on their own areas.
    if (prgNameBlack_.box.contains(x, y) || prgNameYellow_.box.contains(x, y)) return;
    if (progressBar_.Visible() && progressBar_.bounds().contains(x, y)) return;
    if (picture_) picture_->MousePress(hwnd());
}

void MainWindow::OnCommand(int id) {
    switch (id) {
    case kIdInstallieren: Conclude(InstallierenClick()); break;
    case kIdDeinstallieren: Conclude(DeinstallierenClick()); break;
    case kIdBeenden: BeendenClick(); break;
    default: break;
    }
}

void MainWindow::OnDrawItem(const DRAWITEMSTRUCT& item) {
    for (const ImageButton* b : {&installieren_, &deinstallieren_, &beenden_})
        if (b->hwnd() == item.hwndItem) b->Draw(item);
}

void MainWindow::OnDestroy() {
    // FormDestroy has nothing to undo outside the process; closing the window
    // ends the message loop.
    ::PostQuitMessage(0);
}

LRESULT CALLBACK MainWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    MainWindow* self = nullptr;
    if (message == WM_NCCREATE) {
        self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->window_.reset(window);
    } else {
        self = reinterpret_cast<MainWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    }
    if (!self) return ::DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        (void)self->window_.release();  // the window is gone; nothing left to destroy
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
    return self->HandleMessage(message, wParam, lParam);
}

LRESULT MainWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    const HWND window = hwnd();
    switch (message) {
    case WM_PAINT:
        OnPaint();
        return 0;
    case WM_ERASEBKGND:
        return 1;  // WM_PAINT covers every pixel
    case WM_SHOWWINDOW:
        OnShowWindow(wParam != FALSE);
        break;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK:
        OnMousePress(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        return 0;
    case WM_XBUTTONDOWN:
    case WM_XBUTTONDBLCLK:
        OnMousePress(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        return TRUE;
    case WM_SETFOCUS:
        FocusFirstButton();
        return 0;
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED) OnCommand(LOWORD(wParam));
        return 0;
    case WM_DRAWITEM:
        OnDrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    case WM_DESTROY:
        OnDestroy();
        return 0;
    default:
        break;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace brunvald::ui
