// ShapedPicture: the region of the committed picture, in place before the
// window is first visible, the fast and the slow way alike, and the drag.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>

#include "ui/shaped_picture.h"
#include "ui/main_window.h"
#include "region_support.h"
#include "ui_test_support.h"

namespace brunvald::ui::test {
namespace {

// The runs the fixture script computed from Pillow's pixels.
std::vector<RowRun> PillowRuns() {
    std::ifstream in(FixturePath("picture.runs"));
    std::vector<RowRun> runs;
    for (RowRun r{}; in >> r.y >> r.left >> r.right;) runs.push_back(r);
    return runs;
}

// The committed picture, decoded from the test program's resources.
png::DecodeResult DecodedPicture() {
    const HRSRC found = ::FindResourceW(nullptr, MAKEINTRESOURCEW(101), MAKEINTRESOURCEW(10));
    const void* bytes = ::LockResource(::LoadResource(nullptr, found));
    return png::Decode({static_cast<const std::uint8_t*>(bytes), ::SizeofResource(nullptr, found)});
}

std::int64_t PixelCount(const std::vector<RowRun>& runs) {
    std::int64_t n = 0;
    for (const RowRun& r : runs) n += r.right - r.left;
    return n;
}

// The region at the moment the window is about to be revealed (-1: not yet).
int g_regionWhenRevealed = -1;
LRESULT CALLBACK ProbeRegionAtReveal(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_WINDOWPOSCHANGING && (reinterpret_cast<const WINDOWPOS*>(lParam)->flags & SWP_SHOWWINDOW) &&
        g_regionWhenRevealed < 0) {
        unique_hrgn probe(::CreateRectRgn(0, 0, 0, 0));
        g_regionWhenRevealed = ::GetWindowRgn(hwnd, probe.get());
    }
    return Subclass::Forward(hwnd, message, wParam, lParam);
}

// Catches the move command before the system would start its move loop.
std::vector<std::pair<WPARAM, LPARAM>> g_commands;
LRESULT CALLBACK CatchSysCommand(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SYSCOMMAND) {
        g_commands.emplace_back(wParam, lParam);
        return 0;
    }
    return Subclass::Forward(hwnd, message, wParam, lParam);
}

class RegionTest : public WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        Make();
    }
};

// What the window shows is cut exactly as Pillow's pixels say, and the
// region is there before the window first becomes visible.
TEST_F(RegionTest, WindowRegionOfTheCommittedPictureMatchesPillow) {
    const std::vector<RowRun> expected = PillowRuns();
    ASSERT_FALSE(expected.empty()) << "fixture " << FixturePath("picture.runs");

    unique_hrgn before(::CreateRectRgn(0, 0, 0, 0));
    EXPECT_EQ(::GetWindowRgn(window->hwnd(), before.get()), ERROR) << "no region before the first show";

    g_regionWhenRevealed = -1;
    {
        const Subclass probe(window->hwnd(), &ProbeRegionAtReveal);
        window->ShowCentred();
    }
    EXPECT_EQ(g_regionWhenRevealed, COMPLEXREGION);

    unique_hrgn region(::CreateRectRgn(0, 0, 0, 0));
    ASSERT_EQ(::GetWindowRgn(window->hwnd(), region.get()), COMPLEXREGION);
    const std::vector<RowRun> rows = RegionRows(region.get());
    EXPECT_EQ(rows.size(), expected.size());
    EXPECT_EQ(PixelCount(rows), PixelCount(expected));
    EXPECT_EQ(rows, expected);
    std::cout << "window region: " << rows.size() << " row rectangles, " << PixelCount(rows) << " pixels\n";

    // The portable runs of our own decoder say the same.
    const png::DecodeResult decoded = DecodedPicture();
    ASSERT_TRUE(decoded.ok());
    EXPECT_EQ(ShapeRuns(decoded.image), expected);
}

TEST_F(RegionTest, ShowingAgainKeepsTheFirstRegion) {
    window->ShowCentred();
    ::ShowWindow(window->hwnd(), SW_HIDE);
    // A marker region: a rebuild would replace it with the picture's.
    ::SetWindowRgn(window->hwnd(), ::CreateRectRgn(0, 0, 10, 10), FALSE);
    ::ShowWindow(window->hwnd(), SW_SHOW);
    unique_hrgn region(::CreateRectRgn(0, 0, 0, 0));
    ASSERT_EQ(::GetWindowRgn(window->hwnd(), region.get()), SIMPLEREGION);
    RECT box;
    ::GetRgnBox(region.get(), &box);
    EXPECT_EQ(box.right, 10);
    EXPECT_TRUE(window->shapedPicture().initializedRegion());
}

// The region from the runs of the picture (in parts of 64 runs) and one
// CombineRgn per run from GetPixel on the picture over white are the same: on the
// committed picture and on a picture with an opaque corner, half-transparent
// pixels and runs to the last column.
TEST(ShapeRegion, FastAndSlowMethodsAgree) {
    png::Image odd;
    odd.width = 9;
    odd.height = 5;
    for (std::uint32_t y = 0; y < odd.height; ++y)
        for (std::uint32_t x = 0; x < odd.width; ++x) {
            const std::uint8_t a = static_cast<std::uint8_t>((x * 37 + y * 91) % 4 == 0 ? 0 : (x + y) % 3 == 0 ? 255 : 97);
            odd.rgba.insert(odd.rgba.end(), {std::uint8_t(x * 20), std::uint8_t(y * 40), 7, a});
        }
    odd.rgba[(4 * 9 + 0) * 4 + 3] = 255;  // opaque bottom-left: its colour is the key

    const png::DecodeResult decoded = DecodedPicture();
    ASSERT_TRUE(decoded.ok());

    for (const png::Image* picture : {&decoded.image, static_cast<const png::Image*>(&odd)}) {
        const Dib work = CreateWorkBitmap(*picture);
        ASSERT_TRUE(work);
        const unique_hrgn fast = RegionFromRuns(ShapeRuns(*picture));
        const unique_hrgn slow = BuildShapeRegionSlow(work.bitmap.get(), work.width, work.height);
        ASSERT_TRUE(fast);
        ASSERT_TRUE(slow);
        EXPECT_TRUE(::EqualRgn(fast.get(), slow.get()));
        EXPECT_EQ(RegionRows(fast.get()), RegionRows(slow.get()));
    }
}

TEST(ShapeRegion, NoPixelInGivesNoRegion) {
    png::Image clear;
    clear.width = 4;
    clear.height = 3;
    clear.rgba.assign(4 * 3 * 4, 0);
    EXPECT_FALSE(RegionFromRuns(ShapeRuns(clear)));
    EXPECT_FALSE(RegionFromRuns({}));
}

// Presses on the picture start the system move; presses on the labels or the
// shown bar do not, nor any press when dragging is off.
TEST_F(RegionTest, PressOnThePictureStartsTheSystemMove) {
    const HWND w = window->hwnd();
    window->SetUpWindow(InstallerMode::Install);
    const Subclass catcher(w, &CatchSysCommand);

    const LPARAM onPanel = MAKELPARAM(30, 250), onLabel = MAKELPARAM(150, 310), onBar = MAKELPARAM(100, 351);
    struct Case {
        const char* name;
        UINT message;
        WPARAM keys;
        LPARAM where;
        bool barShown, allowDrag, moves;
    };
    const Case cases[] = {
        {"left press", WM_LBUTTONDOWN, MK_LBUTTON, onPanel, false, true, true},
        {"right press", WM_RBUTTONDOWN, MK_RBUTTON, onPanel, false, true, true},
        {"middle press", WM_MBUTTONDOWN, MK_MBUTTON, onPanel, false, true, true},
        {"left double click", WM_LBUTTONDBLCLK, MK_LBUTTON, onPanel, false, true, true},
        {"right double click", WM_RBUTTONDBLCLK, MK_RBUTTON, onPanel, false, true, true},
        {"x button", WM_XBUTTONDOWN, MAKEWPARAM(0, XBUTTON1), onPanel, false, true, true},
        {"on the dragon", WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(120, 100), false, true, true},
        {"on a label", WM_LBUTTONDOWN, MK_LBUTTON, onLabel, false, true, false},
        {"on the hidden bar's place", WM_LBUTTONDOWN, MK_LBUTTON, onBar, false, true, true},
        {"on the shown bar", WM_LBUTTONDOWN, MK_LBUTTON, onBar, true, true, false},
        {"dragging off", WM_LBUTTONDOWN, MK_LBUTTON, onPanel, false, false, false},
    };
    for (const Case& c : cases) {
        g_commands.clear();
        if (c.barShown) window->ShowProgressBar();
        window->shapedPicture().dragsWindow = c.allowDrag;
        ::SendMessageW(w, c.message, c.keys, c.where);
        if (c.moves) {
            ASSERT_EQ(g_commands.size(), 1u) << c.name;
            EXPECT_EQ(g_commands[0].first, 0xF012u) << c.name;
            EXPECT_EQ(g_commands[0].second, 0) << c.name;
        } else {
            EXPECT_TRUE(g_commands.empty()) << c.name;
        }
    }
}

}  // namespace
}  // namespace brunvald::ui::test
