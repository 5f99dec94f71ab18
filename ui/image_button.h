// The window's image buttons: owner-drawn BUTTON children that show the
// platform's push-button face for their state and one 146 × 34 picture that
// carries the caption. The window text holds the same caption for screen
// readers and UI automation. Win32 only.
#pragma once

#include "host/unique_handle.h"
#include "ui/window_layout.h"

namespace brunvald::ui {

class ImageButton {
public:
    ImageButton() = default;
    ImageButton(const ImageButton&) = delete;
    ImageButton& operator=(const ImageButton&) = delete;

    // Creates the child window. `image` is the picture (the button keeps it);
    // its bottom-left pixel is the key colour left undrawn. False when the
    // window cannot be created.
    bool Create(HWND parent, int id, const wchar_t* text, const Rect& bounds, bool visible, unique_hbitmap image);

    HWND hwnd() const noexcept { return window_; }
    int id() const noexcept { return id_; }

    void SetBounds(const Rect& bounds);
    void SetVisible(bool visible);
    bool IsVisible() const;
    bool IsEnabled() const;

    // WM_DRAWITEM for this button.
    void Draw(const DRAWITEMSTRUCT& item) const;

    // Where the image lands for a face whose content area is `content`
    // (exposed for tests: the classic face's content area for the state).
    static Rect ClassicContentArea(const Rect& button, bool focused);

private:
    static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void DrawImage(HDC dc, Point origin, bool disabled) const;

    HWND window_ = nullptr;  // a child: the parent window destroys it
    int id_ = 0;
    unique_hbitmap image_;
    COLORREF key_ = 0;
    SIZE imageSize_{};
    WNDPROC originalProc_ = nullptr;
    bool hot_ = false;  // the mouse is over the button (for the styled face)
};

}  // namespace brunvald::ui
