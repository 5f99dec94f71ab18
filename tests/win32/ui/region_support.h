// The window's region the slow way and a region read back as rows: what the
// region test and the region benchmark hold the installer's way against. Not
// part of the installer.
#pragma once

#include <cstdint>
#include <vector>

#include "host/unique_handle.h"
#include "ui/gdi_util.h"
#include "ui/shape_runs.h"

namespace brunvald::ui::test {

// The picture composited over white in a 32-bit DIB: the pixels the window's
// outline is cut from, as a bitmap the slow way can read.
Dib CreateWorkBitmap(const png::Image& picture);

// The region of the work bitmap the slow way: GetPixel for every pixel of a
// bitmap selected into a memory DC, CreateRectRgn and CombineRgn(RGN_OR) for
// every run.
unique_hrgn BuildShapeRegionSlow(HBITMAP work, std::int32_t width, std::int32_t height);

// The rectangles a region holds, as the system reports them (GetRegionData),
// one row each, sorted by row and left edge.
std::vector<RowRun> RegionRows(HRGN region);

}  // namespace brunvald::ui::test
