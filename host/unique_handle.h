// Move-only owners for Windows handles, in the manner of wil's unique_any.
//
// Every handle the program takes is held by one of these from the moment it is
// returned until it is given back, so no path (early return, error raised,
// loop left) can leak or double-close it. Nobody else calls CloseHandle,
// RegCloseKey, DeleteObject, FindClose, ... by hand.
//
// Win32 only: this header includes <windows.h>.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <type_traits>
#include <utility>

namespace brunvald {

// ---------------------------------------------------------------------------
// The generic owner. Traits supply:
//   using pointer = ...;                the raw handle type
//   static pointer invalid() noexcept;  the value meaning "holds nothing"
//   static bool is_valid(pointer) noexcept;
//   static void close(pointer) noexcept;
// ---------------------------------------------------------------------------
template <typename Traits>
class unique_any {
public:
    using pointer = typename Traits::pointer;
    using traits = Traits;

    unique_any() noexcept : value_(Traits::invalid()) {}
    explicit unique_any(pointer value) noexcept : value_(value) {}

    unique_any(const unique_any&) = delete;
    unique_any& operator=(const unique_any&) = delete;

    unique_any(unique_any&& other) noexcept : value_(other.release()) {}
    unique_any& operator=(unique_any&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }

    ~unique_any() { reset(); }

    pointer get() const noexcept { return value_; }
    explicit operator bool() const noexcept { return Traits::is_valid(value_); }

    // Gives up ownership without closing.
    [[nodiscard]] pointer release() noexcept {
        pointer value = value_;
        value_ = Traits::invalid();
        return value;
    }

    // Closes what is held (if anything) and takes the new value.
    void reset(pointer value = Traits::invalid()) noexcept {
        pointer old = value_;
        value_ = value;
        if (Traits::is_valid(old)) Traits::close(old);
    }

    // For out-parameters: closes what is held, then hands out the slot.
    pointer* put() noexcept {
        reset();
        return &value_;
    }
    // The slot itself, without closing (for APIs that read and write it).
    pointer* addressof() noexcept { return &value_; }

    void swap(unique_any& other) noexcept { std::swap(value_, other.value_); }

private:
    pointer value_;
};

template <typename Traits>
void swap(unique_any<Traits>& a, unique_any<Traits>& b) noexcept {
    a.swap(b);
}

// Traits for handles whose "nothing" is null.
template <typename Pointer, auto Close>
struct null_handle_traits {
    using pointer = Pointer;
    static pointer invalid() noexcept { return nullptr; }
    static bool is_valid(pointer value) noexcept { return value != nullptr; }
    static void close(pointer value) noexcept { Close(value); }
};

// Traits for handles whose failure value is INVALID_HANDLE_VALUE (files,
// searches, snapshots). Null is treated as "nothing" too: it is never a handle
// these functions return, and closing it would only fail.
template <auto Close>
struct invalid_handle_traits {
    using pointer = HANDLE;
    static pointer invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static bool is_valid(pointer value) noexcept {
        return value != INVALID_HANDLE_VALUE && value != nullptr;
    }
    static void close(pointer value) noexcept { Close(value); }
};

namespace handle_detail {
// Small adapters where the platform's close function has another shape.
inline void close_handle(HANDLE h) noexcept { ::CloseHandle(h); }
inline void reg_close_key(HKEY key) noexcept { ::RegCloseKey(key); }
inline void find_close(HANDLE h) noexcept { ::FindClose(h); }
inline void free_library(HMODULE module) noexcept { ::FreeLibrary(module); }
inline void local_free(HLOCAL memory) noexcept { ::LocalFree(memory); }
template <typename T>
inline void delete_object(T object) noexcept {
    ::DeleteObject(reinterpret_cast<HGDIOBJ>(object));
}
inline void delete_dc(HDC dc) noexcept { ::DeleteDC(dc); }
inline void destroy_window(HWND window) noexcept { ::DestroyWindow(window); }
inline void destroy_icon(HICON icon) noexcept { ::DestroyIcon(icon); }
inline void remove_font_mem(HANDLE font) noexcept { ::RemoveFontMemResourceEx(font); }
}  // namespace handle_detail

// Kernel objects whose failure value is null (processes, threads, events).
using unique_handle = unique_any<null_handle_traits<HANDLE, &handle_detail::close_handle>>;
// Kernel objects whose failure value is INVALID_HANDLE_VALUE: CreateFileW,
// CreateToolhelp32Snapshot.
using unique_hfile = unique_any<invalid_handle_traits<&handle_detail::close_handle>>;
// FindFirstFileW.
using unique_find = unique_any<invalid_handle_traits<&handle_detail::find_close>>;
using unique_hkey = unique_any<null_handle_traits<HKEY, &handle_detail::reg_close_key>>;
using unique_hmodule = unique_any<null_handle_traits<HMODULE, &handle_detail::free_library>>;
// Memory the platform allocated for us, e.g. FormatMessageW's buffer.
using unique_hlocal = unique_any<null_handle_traits<HLOCAL, &handle_detail::local_free>>;

// GDI objects freed with DeleteObject. Never let one of these die while it is
// still selected into a DC: hold the selection in a unique_select_object
// declared after it, so the selection is undone first.
template <typename T>
using unique_gdi = unique_any<null_handle_traits<T, &handle_detail::delete_object<T>>>;
using unique_hbitmap = unique_gdi<HBITMAP>;
using unique_hfont = unique_gdi<HFONT>;
using unique_hrgn = unique_gdi<HRGN>;
using unique_hbrush = unique_gdi<HBRUSH>;
using unique_hpen = unique_gdi<HPEN>;

// A memory DC from CreateCompatibleDC.
using unique_hdc = unique_any<null_handle_traits<HDC, &handle_detail::delete_dc>>;
using unique_hwnd = unique_any<null_handle_traits<HWND, &handle_detail::destroy_window>>;
using unique_hicon = unique_any<null_handle_traits<HICON, &handle_detail::destroy_icon>>;
// A private font from AddFontMemResourceEx.
using unique_font_mem = unique_any<null_handle_traits<HANDLE, &handle_detail::remove_font_mem>>;

// ---------------------------------------------------------------------------
// DCs that belong to a window (GetDC / ReleaseDC): the release needs the window
// too, so this owner holds both.
// ---------------------------------------------------------------------------
class unique_window_dc {
public:
    unique_window_dc() noexcept = default;
    unique_window_dc(HWND window, HDC dc) noexcept : window_(window), dc_(dc) {}
    // GetDC(window); check the result with operator bool.
    static unique_window_dc get(HWND window) noexcept { return {window, ::GetDC(window)}; }

    unique_window_dc(const unique_window_dc&) = delete;
    unique_window_dc& operator=(const unique_window_dc&) = delete;
    unique_window_dc(unique_window_dc&& other) noexcept
        : window_(std::exchange(other.window_, nullptr)), dc_(std::exchange(other.dc_, nullptr)) {}
    unique_window_dc& operator=(unique_window_dc&& other) noexcept {
        if (this != &other) {
            reset();
            window_ = std::exchange(other.window_, nullptr);
            dc_ = std::exchange(other.dc_, nullptr);
        }
        return *this;
    }
    ~unique_window_dc() { reset(); }

    HDC get() const noexcept { return dc_; }
    HWND window() const noexcept { return window_; }
    explicit operator bool() const noexcept { return dc_ != nullptr; }
    void reset() noexcept {
        if (dc_) ::ReleaseDC(window_, dc_);
        window_ = nullptr;
        dc_ = nullptr;
    }

private:
    HWND window_ = nullptr;
    HDC dc_ = nullptr;
};

// BeginPaint / EndPaint for one WM_PAINT.
class unique_paint_dc {
public:
    explicit unique_paint_dc(HWND window) noexcept : window_(window) {
        dc_ = ::BeginPaint(window_, &paint_);
    }
    unique_paint_dc(const unique_paint_dc&) = delete;
    unique_paint_dc& operator=(const unique_paint_dc&) = delete;
    ~unique_paint_dc() {
        if (dc_) ::EndPaint(window_, &paint_);
    }

    HDC get() const noexcept { return dc_; }
    const PAINTSTRUCT& paint() const noexcept { return paint_; }
    explicit operator bool() const noexcept { return dc_ != nullptr; }

private:
    HWND window_;
    PAINTSTRUCT paint_{};
    HDC dc_ = nullptr;
};

// SelectObject that puts the previous object back when it goes out of scope.
// Declare it after the owner of the selected object, so the object is
// deselected before it is deleted.
class unique_select_object {
public:
    unique_select_object() noexcept = default;
    unique_select_object(HDC dc, HGDIOBJ object) noexcept
        : dc_(dc), previous_(::SelectObject(dc, object)) {
        // SelectObject fails with null (or HGDI_ERROR for regions): nothing to undo.
        if (previous_ == nullptr || previous_ == HGDI_ERROR) {
            dc_ = nullptr;
            previous_ = nullptr;
        }
    }
    unique_select_object(const unique_select_object&) = delete;
    unique_select_object& operator=(const unique_select_object&) = delete;
    unique_select_object(unique_select_object&& other) noexcept
        : dc_(std::exchange(other.dc_, nullptr)), previous_(std::exchange(other.previous_, nullptr)) {}
    unique_select_object& operator=(unique_select_object&& other) noexcept {
        if (this != &other) {
            reset();
            dc_ = std::exchange(other.dc_, nullptr);
            previous_ = std::exchange(other.previous_, nullptr);
        }
        return *this;
    }
    ~unique_select_object() { reset(); }

    explicit operator bool() const noexcept { return dc_ != nullptr; }
    void reset() noexcept {
        if (dc_) ::SelectObject(dc_, previous_);
        dc_ = nullptr;
        previous_ = nullptr;
    }

private:
    HDC dc_ = nullptr;
    HGDIOBJ previous_ = nullptr;
};

}  // namespace brunvald
