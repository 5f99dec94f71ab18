// Measures the two ways of building the window's region from the committed
// picture: the row runs in memory handed over in parts of 64 runs, and a
// GetPixel per pixel with a CombineRgn per run. Prints the median of several
// rounds; asserts nothing (run it by hand, under Wine or on Windows):
//
//   scripts/wine-run build/win32/tests/win32/ui/brunvald_region_benchmark.exe
#include <algorithm>
#include <cstdio>
#include <vector>

#include "region_support.h"
#include "ui/shaped_picture.h"

namespace {

using namespace brunvald;
using namespace brunvald::ui;
using namespace brunvald::ui::test;

double Seconds() {
    LARGE_INTEGER counter, frequency;
    ::QueryPerformanceCounter(&counter);
    ::QueryPerformanceFrequency(&frequency);
    return double(counter.QuadPart) / double(frequency.QuadPart);
}

template <typename F>
double MedianMilliseconds(int rounds, F&& f) {
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        const double start = Seconds();
        f();
        times.push_back((Seconds() - start) * 1000.0);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace

int wmain() {
    const HRSRC found = ::FindResourceW(nullptr, MAKEINTRESOURCEW(101), MAKEINTRESOURCEW(10));
    if (!found) {
        std::puts("the picture resource is missing");
        return 1;
    }
    const void* bytes = ::LockResource(::LoadResource(nullptr, found));
    const png::DecodeResult decoded =
        png::Decode({static_cast<const std::uint8_t*>(bytes), ::SizeofResource(nullptr, found)});
    if (!decoded.ok()) {
        std::printf("decode failed: %s\n", png::Describe(decoded.error));
        return 1;
    }
    const Dib work = CreateWorkBitmap(decoded.image);

    std::size_t runCount = 0;
    const double decode = MedianMilliseconds(21, [&] { (void)png::Decode({static_cast<const std::uint8_t*>(bytes), ::SizeofResource(nullptr, found)}); });
    // Ours as the window makes it: the picture composited over white row by
    // row, its runs, a region made of them. The slow way reads a ready bitmap.
    const double runs = MedianMilliseconds(51, [&] { runCount = ShapeRuns(decoded.image).size(); });
    const double fast = MedianMilliseconds(51, [&] { (void)RegionFromRuns(ShapeRuns(decoded.image)); });
    const double slow = MedianMilliseconds(5, [&] { (void)BuildShapeRegionSlow(work.bitmap.get(), work.width, work.height); });
    const bool same = ::EqualRgn(RegionFromRuns(ShapeRuns(decoded.image)).get(),
                                 BuildShapeRegionSlow(work.bitmap.get(), work.width, work.height).get()) != FALSE;

    std::printf("picture %dx%d, %u row runs\n", work.width, work.height, unsigned(runCount));
    std::printf("decode PNG                         %9.3f ms\n", decode);
    std::printf("row runs (portable)                %9.3f ms\n", runs);
    std::printf("runs + region from them            %9.3f ms\n", fast);
    std::printf("GetPixel + CombineRgn per run      %9.3f ms\n", slow);
    std::printf("speed-up                           %9.1f x\n", slow / fast);
    std::printf("same region                        %s\n", same ? "yes" : "NO");
    return same ? 0 : 1;
}
