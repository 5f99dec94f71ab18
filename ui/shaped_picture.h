// ShapedPicture: the window's picture, which also cuts the window's outline
// from itself and lets the user drag the frameless window by it. Win32 only.
#pragma once

#include <cstdint>
#include <span>

#include "host/unique_handle.h"
#include "ui/gdi_util.h"
#include "ui/png/png_decoder.h"
#include "ui/shape_runs.h"

namespace brunvald::ui {

// One region from row runs (window coordinates), handed to the system in
// parts of a few dozen runs. Empty for no runs.
unique_hrgn RegionFromRuns(std::span<const RowRun> runs);

class ShapedPicture {
public:
    // Decodes the PNG picture straight into the bitmap the window paints and
    // makes there its look over the button face and its outline; keeps no
    // other copy of the picture. A picture that cannot be decoded leaves the
    // window without picture and shape.
    explicit ShapedPicture(std::span<const std::uint8_t> png);

    ShapedPicture(const ShapedPicture&) = delete;
    ShapedPicture& operator=(const ShapedPicture&) = delete;

    // A press of any mouse button on the picture moves the window.
    bool dragsWindow = true;
    // Called at every show of the window, after the region.
    void (*onShown)(ShapedPicture& sender) = nullptr;

    // The window's show event: the region the first time, then onShown.
    void WindowShown(HWND window);
    // A mouse button went down on the picture (not on a label, the bar or a
    // button): starts the system's window move as a caption press would.
    void MousePress(HWND window);

    // Paints the picture at the window's top-left corner, drawn over the
    // button face as the window shows it.
    void Paint(HDC dc) const;

    bool initializedRegion() const noexcept { return regionMade_; }

private:
    void ApplyShapeRegion(HWND window);

    Dib screenPicture_;  // the picture over the button face, for painting
    unique_hrgn region_;  // the outline, until the window takes it
    bool regionMade_ = false;
};

}  // namespace brunvald::ui
