#include "ui/image_button.h"

#include <uxtheme.h>
#include <vssym32.h>

#include "host/win32/dll_search.h"
#include "ui/gdi_util.h"

namespace brunvald::ui {

namespace {

// The visual-styles API, loaded from the system folder when first needed.
// Importing uxtheme.dll would let a copy planted beside the program load
// first; without it (or without an active style) the classic face is drawn.
struct UxTheme {
    unique_hmodule module;
    decltype(&::OpenThemeData) openThemeData = nullptr;
    decltype(&::CloseThemeData) closeThemeData = nullptr;
    decltype(&::DrawThemeBackground) drawThemeBackground = nullptr;
    decltype(&::GetThemeBackgroundContentRect) getThemeBackgroundContentRect = nullptr;
    decltype(&::IsThemeBackgroundPartiallyTransparent) isPartiallyTransparent = nullptr;
    decltype(&::DrawThemeParentBackground) drawThemeParentBackground = nullptr;

    bool usable() const noexcept {
        return openThemeData && closeThemeData && drawThemeBackground && getThemeBackgroundContentRect &&
               isPartiallyTransparent && drawThemeParentBackground;
    }

    static const UxTheme& Get() {
        static const UxTheme theme = Load();
        return theme;
    }

private:
    template <typename F>
    static void Bind(HMODULE module, const char* name, F& target) {
        target = reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
    }
    static UxTheme Load() {
        UxTheme theme;
        theme.module = win32::LoadSystemLibrary(L"uxtheme.dll");
        if (!theme.module) return theme;
        const HMODULE m = theme.module.get();
        Bind(m, "OpenThemeData", theme.openThemeData);
        Bind(m, "CloseThemeData", theme.closeThemeData);
        Bind(m, "DrawThemeBackground", theme.drawThemeBackground);
        Bind(m, "GetThemeBackgroundContentRect", theme.getThemeBackgroundContentRect);
        Bind(m, "IsThemeBackgroundPartiallyTransparent", theme.isPartiallyTransparent);
        Bind(m, "DrawThemeParentBackground", theme.drawThemeParentBackground);
        return theme;
    }
};

struct theme_traits {
    using pointer = HTHEME;
    static pointer invalid() noexcept { return nullptr; }
    static bool is_valid(pointer value) noexcept { return value != nullptr; }
    static void close(pointer value) noexcept { UxTheme::Get().closeThemeData(value); }
};
using unique_htheme = unique_any<theme_traits>;

unique_htheme OpenButtonTheme(HWND window) {
    const UxTheme& ux = UxTheme::Get();
    if (!ux.usable()) return {};
    return unique_htheme(ux.openThemeData(window, L"Button"));
}

Rect FromRECT(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }

}  // namespace

bool ImageButton::Create(HWND parent, int id, const wchar_t* text, const Rect& bounds, bool visible,
                         unique_hbitmap image) {
    image_ = std::move(image);
    id_ = id;
    if (image_) {
        BITMAP info{};
        ::GetObjectW(image_.get(), sizeof info, &info);
        imageSize_ = {info.bmWidth, info.bmHeight};
        unique_hdc dc(::CreateCompatibleDC(nullptr));
        if (dc && info.bmHeight > 0) {
            unique_select_object selected(dc.get(), image_.get());
            key_ = ::GetPixel(dc.get(), 0, info.bmHeight - 1);
        }
    }
    const DWORD style = WS_CHILD | WS_TABSTOP | BS_OWNERDRAW | (visible ? WS_VISIBLE : 0);
    window_ = ::CreateWindowExW(0, L"BUTTON", text, style, bounds.left, bounds.top, bounds.width(), bounds.height(),
                                parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(parent, GWLP_HINSTANCE)), nullptr);
    if (!window_) return false;
    // Hot tracking for the styled face: the button reports hover to nobody
    // when it draws itself, so watch the mouse here.
    ::SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    originalProc_ = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ImageButton::SubclassProc)));
    return true;
}

LRESULT CALLBACK ImageButton::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<ImageButton*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self) return ::DefWindowProcW(window, message, wParam, lParam);
    const WNDPROC original = self->originalProc_;
    switch (message) {
    case WM_MOUSEMOVE:
        if (!self->hot_) {
            self->hot_ = true;
            TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, window, 0};
            ::TrackMouseEvent(&track);
            ::InvalidateRect(window, nullptr, FALSE);
        }
        break;
    case WM_MOUSELEAVE:
        self->hot_ = false;
        ::InvalidateRect(window, nullptr, FALSE);
        break;
    case WM_NCDESTROY:
        // Hand the window back to the button class before it goes.
        ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
        ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        self->window_ = nullptr;
        break;
    default:
        break;
    }
    return ::CallWindowProcW(original, window, message, wParam, lParam);
}

void ImageButton::SetBounds(const Rect& bounds) {
    if (window_)
        ::SetWindowPos(window_, nullptr, bounds.left, bounds.top, bounds.width(), bounds.height(),
                       SWP_NOZORDER | SWP_NOACTIVATE);
}

void ImageButton::SetVisible(bool visible) {
    if (window_) ::ShowWindow(window_, visible ? SW_SHOWNA : SW_HIDE);
}

bool ImageButton::IsVisible() const {
    return window_ && (::GetWindowLongPtrW(window_, GWL_STYLE) & WS_VISIBLE) != 0;
}

bool ImageButton::IsEnabled() const { return window_ && ::IsWindowEnabled(window_); }

Rect ImageButton::ClassicContentArea(const Rect& button, bool focused) {
    // Inside the classic frame (two pixels of edge); with the focus, the whole
    // button less the one-pixel outline the focused face adds.
    const std::int32_t inset = focused ? 1 : 2;
    return {button.left + inset, button.top + inset, button.right - inset, button.bottom - inset};
}

void ImageButton::DrawImage(HDC dc, Point origin, bool disabled) const {
    if (!image_) return;
    unique_hdc source(::CreateCompatibleDC(dc));
    if (!source) return;
    {
        unique_select_object selected(source.get(), image_.get());
        ::GdiTransparentBlt(dc, origin.x, origin.y, imageSize_.cx, imageSize_.cy, source.get(), 0, 0,
                            imageSize_.cx, imageSize_.cy, key_);
    }
    if (!disabled) return;
    // The caption is part of the image, so a button that refuses clicks says
    // so by veiling it half with the face colour.
    const Dib veil = CreateDib32(1, 1);
    if (!veil) return;
    veil.bits[0] = DibPixel(::GetSysColor(COLOR_BTNFACE));
    ::GdiFlush();
    unique_select_object selected(source.get(), veil.bitmap.get());
    const BLENDFUNCTION half{AC_SRC_OVER, 0, 128, 0};
    ::GdiAlphaBlend(dc, origin.x, origin.y, imageSize_.cx, imageSize_.cy, source.get(), 0, 0, 1, 1, half);
}

void ImageButton::Draw(const DRAWITEMSTRUCT& item) const {
    HDC dc = item.hDC;
    const Rect button = FromRECT(item.rcItem);
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    const bool focused = (item.itemState & ODS_FOCUS) != 0;
    const bool disabled = (item.itemState & ODS_DISABLED) != 0;
    const bool showFocus = focused && (item.itemState & ODS_NOFOCUSRECT) == 0;

    if (const unique_htheme theme = OpenButtonTheme(item.hwndItem)) {
        const UxTheme& ux = UxTheme::Get();
        const int state = disabled  ? PBS_DISABLED
                          : pressed ? PBS_PRESSED
                          : hot_    ? PBS_HOT
                          : focused ? PBS_DEFAULTED
                                    : PBS_NORMAL;
        RECT face = item.rcItem;
        if (ux.isPartiallyTransparent(theme.get(), BP_PUSHBUTTON, state))
            ux.drawThemeParentBackground(item.hwndItem, dc, &face);
        ux.drawThemeBackground(theme.get(), dc, BP_PUSHBUTTON, state, &face, nullptr);
        RECT content = face;
        ux.getThemeBackgroundContentRect(theme.get(), dc, BP_PUSHBUTTON, state, &face, &content);
        DrawImage(dc, ButtonImageOrigin(FromRECT(content), false), disabled);
        if (showFocus) ::DrawFocusRect(dc, &content);
        return;
    }

    // The classic face: a focused button gets a one-pixel dark outline and the
    // frame inside it; a pressed one draws flat and shifts the image.
    RECT face = item.rcItem;
    if (focused) {
        const unique_hbrush outline(::CreateSolidBrush(::GetSysColor(COLOR_WINDOWFRAME)));
        ::FrameRect(dc, &face, outline.get());
        ::InflateRect(&face, -1, -1);
    }
    UINT frameState = DFCS_BUTTONPUSH;
    if (pressed) frameState |= DFCS_PUSHED;
    if (disabled) frameState |= DFCS_INACTIVE;
    ::DrawFrameControl(dc, &face, DFC_BUTTON, frameState);
    DrawImage(dc, ButtonImageOrigin(ClassicContentArea(button, focused), pressed), disabled);
    if (showFocus) {
        RECT focus = item.rcItem;
        ::InflateRect(&focus, -4, -4);
        ::DrawFocusRect(dc, &focus);
    }
}

}  // namespace brunvald::ui
