// The window's geometry as plain numbers: where its parts lie before and after
// SetUpWindow, where the window opens, where a button's image and a label's
// text go. Device pixels for 96 dots per inch, relative to the client area.
// Portable: no Windows header, so the rules are unit-tested natively.
#pragma once

#include <cstdint>

namespace brunvald::ui {

struct Rect {
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
    constexpr std::int32_t width() const noexcept { return right - left; }
    constexpr std::int32_t height() const noexcept { return bottom - top; }
    constexpr bool contains(std::int32_t x, std::int32_t y) const noexcept {
        return x >= left && x < right && y >= top && y < bottom;
    }
    friend constexpr bool operator==(const Rect&, const Rect&) = default;
};

struct Point {
    std::int32_t x = 0, y = 0;
    friend constexpr bool operator==(const Point&, const Point&) = default;
};

constexpr Rect Box(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height) {
    return {left, top, left + width, top + height};
}

inline constexpr std::int32_t kClientWidth = 500;
inline constexpr std::int32_t kClientHeight = 425;

// The picture's own size; its last 5 rows lie below the client area and are
// transparent.
inline constexpr std::int32_t kPictureWidth = 500;
inline constexpr std::int32_t kPictureHeight = 430;

inline constexpr std::int32_t kLabelWidth = 305;
inline constexpr std::int32_t kLabelHeight = 50;

inline constexpr std::int32_t kButtonImageWidth = 146;
inline constexpr std::int32_t kButtonImageHeight = 34;

// Positions of the window as created, which hold until SetUpWindow runs (and
// stay when it cannot: a program without its title font still shows every
// part).
namespace stored {
inline constexpr Rect kPrgNameBlack = Box(98, 291, kLabelWidth, kLabelHeight);
inline constexpr Rect kPrgNameYellow = Box(98, 292, kLabelWidth, kLabelHeight);
inline constexpr Rect kInstallieren = Box(45, 370, 145, 33);
inline constexpr Rect kDeinstallieren = Box(65, 358, 125, 33);
inline constexpr Rect kBeenden = Box(312, 370, 145, 33);
}  // namespace stored

// Positions SetUpWindow gives. The shadow layer lies 2 px left of and 2 px
// below the top layer; the two action buttons share one place.
namespace placed {
inline constexpr Rect kPrgNameBlack = Box(96, 293, kLabelWidth, kLabelHeight);
inline constexpr Rect kPrgNameYellow = Box(98, 291, kLabelWidth, kLabelHeight);
inline constexpr Rect kActionButton = Box(45, 364, 145, 33);
inline constexpr Rect kBeenden = Box(315, 364, 145, 33);
}  // namespace placed

inline constexpr Rect kProgressBar = Box(41, 348, 416, 8);

// Fonts, as character heights in pixels (negative LOGFONT heights).
inline constexpr std::int32_t kStoredFontHeight = 11;  // "Tahoma", the font as created
inline constexpr std::int32_t kTitleFontHeight = 13;   // 10 pt, when the title font registered
inline constexpr std::int32_t kLabelFontHeight = 15;   // 11 pt

// Where the window opens: centred on the desktop of all monitors, but never
// left of its left edge nor above its top edge.
constexpr Point CenteredOrigin(const Rect& desktop) {
    std::int32_t x = desktop.left + desktop.width() / 2 - kClientWidth / 2;
    std::int32_t y = desktop.top + desktop.height() / 2 - kClientHeight / 2;
    if (x < desktop.left) x = desktop.left;
    if (y < desktop.top) y = desktop.top;
    return {x, y};
}

// How far a label's text block moves down in its box: the block is centred
// vertically, a block taller than the box moving up by the same rule.
constexpr std::int32_t LabelTextShift(std::int32_t blockHeight) {
    return (kLabelHeight - blockHeight) / 2;  // truncates toward zero
}

// Where a button's image goes in the face's content area. Without visual
// styles a pressed button shows it one pixel further right and down.
constexpr Point ButtonImageOrigin(const Rect& content, bool pressedOffset) {
    const std::int32_t shift = pressedOffset ? 1 : 0;
    return {content.left + (content.width() - kButtonImageWidth + 1) / 2 + shift,
            content.top + (content.height() - kButtonImageHeight + 1) / 2 + shift};
}

}  // namespace brunvald::ui
