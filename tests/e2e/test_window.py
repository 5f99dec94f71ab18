"""The window as it appears on the Xvfb screen: its region read back from the
window equals the runs computed from the picture by Pillow, and the screen
shows the picture exactly inside that region and the untouched desktop
outside it."""

import sys
import unittest

import harness
from harness import E2ECase, Driver

# Parts drawn over the picture: the two title labels (their boxes) and the
# buttons (their child windows, taken from the driver's report).
LABEL_BOXES = [(96, 291, 96 + 305 + 2, 293 + 50)]


def inside(rects, x, y):
    return any(l <= x < r and t <= y < b for l, t, r, b in rects)


class Window(E2ECase):
    def test_region_and_screen_match_the_picture(self):
        self.game()
        exe = self.installer_copy()
        background = self.w.grab()
        d = Driver(self.w, ["run", "--timeout", "40", "--wait-input", "--click", "Beenden", exe])
        try:
            shown = d.wait_for("main_visible", 30)
            d.wait_for("waiting", 10)
            shot = self.w.grab_stable()
            d.go_on()
            report = d.report(30)
        finally:
            d.kill()
        self.assertEndedCleanly(report)

        # The region, rectangle for rectangle.
        picture = harness.picture_pixels()
        runs = harness.region_runs(picture)
        expected = harness.coalesce_bands(runs)
        region = shown["region"]
        self.assertIsNotNone(region, "the window has no region")
        got = [tuple(r) for r in region["rects"]]
        self.assertEqual(got, expected)
        self.assertEqual(region["pixels"], harness.pixel_count(runs))
        sys.stderr.write("region: %d one-row runs, %d rectangles after band merging, %d pixels\n"
                         % (len(runs), len(expected), harness.pixel_count(runs)))

        # Centred on the screen (all of Xvfb's one monitor).
        left, top, right, bottom = shown["rect"]
        sw, sh = shot.size
        self.assertEqual((right - left, bottom - top), (500, 425))
        self.assertLessEqual(abs(left - (sw - 500) // 2), 1)
        self.assertLessEqual(abs(top - (sh - 425) // 2), 1)

        # The screen, pixel for pixel: the picture inside the region (except
        # where the labels and buttons are drawn over it), the desktop outside.
        ox, oy = shown["client"][0], shown["client"][1]
        covered = LABEL_BOXES + [tuple(c["rect"]) for c in shown["children"] if c["visible"]]
        in_region = set()
        for l, t, r, b in runs:
            in_region.update((x, t) for x in range(l, r))
        pic, scr, bg = picture.load(), shot.load(), background.load()
        wrong_outside, wrong_inside, checked_inside = [], [], 0
        for y in range(425):
            for x in range(500):
                sx, sy = ox + x, oy + y
                if (x, y) in in_region:
                    if inside(covered, x, y):
                        continue
                    checked_inside += 1
                    if scr[sx, sy] != pic[x, y][:3]:
                        wrong_inside.append((x, y, scr[sx, sy], pic[x, y][:3]))
                elif scr[sx, sy] != bg[sx, sy]:
                    wrong_outside.append((x, y, scr[sx, sy], bg[sx, sy]))
        self.assertEqual(wrong_outside[:10], [], "%d pixels outside the region were drawn" % len(wrong_outside))
        self.assertEqual(wrong_inside[:10], [], "%d pixels of the picture differ on screen" % len(wrong_inside))
        self.assertGreater(checked_inside, 100000)


if __name__ == "__main__":
    unittest.main()
