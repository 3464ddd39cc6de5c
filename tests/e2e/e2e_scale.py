#!/usr/bin/python3
"""The canvas and the image workspace pixel for pixel on scaled screens.

Starts the built editor in a real X session (Xvfb at 1920 x 1080, openbox)
three times, with QT_SCREEN_SCALE_FACTORS unset, 1.5 and 2, each opening the
same expression file from its command line, and with the grid switched on
by a click. The canvas below the tool strip must show on the screen exactly
the pixels it shows at scale 1: one to one at 1.5, each pixel a 2 x 2 block
at 2. Then "Se&t Image", "Set O&utline", the same outline dragged on the
workspace (in screen pixels, so many per canvas pixel) and "Save &Image"
through the real dialog: the bitmap's bytes must be the same at every scale.

usage: e2e_scale.py EDITOR ARTEFACT_DIR
"""

import os
import subprocess
import sys

from PIL import Image

import e2e_run
from e2e_run import Failure

# Canvas pixels of the items, all inside what the window shows at scale 2
# (960 x 540 device independent pixels).
TEXTS = [("Arial", 0, 0, 100, "x+y", 34, 112, 30, 200, 92, -1),
         ("MathSymbols", 0, 0, 75, "abS#", 334, 152, 330, 220, 70, -1),
         ("Zidezir", 0, 0, 50, "f(x)=2x", 84, 262, 80, 300, 40, -1)]
HLINES = [(200, 340, 60, 340, 6, -1)]
VLINES = [(600, 250, 140, 360, 4, -1)]
EXPRESSION = e2e_run.exp_bytes(TEXTS, HLINES, VLINES)
TOOL_STRIP_H = 97  # canvas rows 0..96 lie under the tool strip
COMPARED = (0, TOOL_STRIP_H, 880, 420)  # canvas pixels, left, top, right, bottom
OUTLINE = ((20, 120), (700, 400))  # canvas pixels of the outline's corners
CHK_GRID = (408 + 128 + 28, 8 + 16 + 16)  # the strip's own (scaled) pixels


class ScaledSession(e2e_run.Session):
    """The editor started with a file and a screen scale."""

    def __init__(self, editor, artefacts, scale, argument):
        super().__init__(editor, artefacts)
        self.scale = scale
        self.argument = argument

    def spawn(self, args, **kw):
        if args and args[0] == self.editor:
            args = list(args) + [self.argument]
            env = dict(kw.get("env") or os.environ)
            if self.scale != 1:
                env["QT_SCREEN_SCALE_FACTORS"] = str(self.scale)
            kw["env"] = env
        return super().spawn(args, **kw)

    def place_canvas(self, wid):
        """The canvas pixel scale (the nearest whole number to the screen's
        scale, a half going down) and the canvas origin on the screen: the
        first white row below the tool strip on the far right is canvas row
        97."""
        self.k = 1 if self.scale <= 1.5 else round(self.scale)
        x, y = self.origin(wid)
        col = min(e2e_run.SCREEN_W - 4, x + 1900)

        def white_row():
            img = self.grab()
            for row in range(y + TOOL_STRIP_H, min(e2e_run.SCREEN_H, y + 500)):
                if img.getpixel((col, row)) == (255, 255, 255):
                    return row
            return None
        first = self.wait("the canvas below the tool strip", white_row)
        self.cx, self.cy = x, first - TOOL_STRIP_H * self.k
        # The tool strip follows the screen's scale, fractional or not.
        self.strip = (x, first - round(TOOL_STRIP_H * self.scale))
        self.say("scale %s: canvas pixels %d screen pixels wide, origin (%d, %d)" %
                 (self.scale, self.k, self.cx, self.cy))

    def at(self, x, y):
        return self.cx + x * self.k, self.cy + y * self.k

    def click_strip(self, x, y):
        self.xdo("mousemove", "--sync", round(self.strip[0] + x * self.scale),
                 round(self.strip[1] + y * self.scale))
        self.xdo("click", 1)

    def canvas_pixels(self, img, box):
        """The canvas pixels of box as the screen shows them, or None when
        a canvas pixel is not one uniform block of k x k screen pixels."""
        left, top = self.at(box[0], box[1])
        w, h = box[2] - box[0], box[3] - box[1]
        area = img.crop((left, top, left + w * self.k, top + h * self.k))
        if self.k == 1:
            return area
        small = area.resize((w, h), Image.NEAREST)
        if small.resize(area.size, Image.NEAREST).tobytes() != area.tobytes():
            return None
        return small


def run_at(editor, art, scale, exp_path, reference):
    """Returns the canvas pixels shown with the grid on and the bytes
    Save Image writes."""
    folder = os.path.join(art, "scale-%s" % scale)
    os.makedirs(folder, exist_ok=True)
    s = ScaledSession(editor, folder, scale, exp_path)
    try:
        s.start()
        wid = s.wait_window("Corvel Quillmark V4.3")
        s.place_canvas(wid)
        # The file's items, with their markers.
        handle = (TEXTS[0][7], TEXTS[0][8])

        def marker_shown():
            got = s.canvas_pixels(s.grab(), (handle[0] - 4, handle[1] - 4,
                                             handle[0] + 5, handle[1] + 5))
            return got is not None and got.tobytes() == s.marker.tobytes()
        s.wait("the opened file's first marker", marker_shown)
        s.click_strip(*CHK_GRID)
        grid_blue = (0, 0, 255)
        s.wait("the grid", lambda: (s.canvas_pixels(s.grab(), (850, 200, 851, 201)) or
                                    Image.new("RGB", (1, 1))).getpixel((0, 0)) == grid_blue)
        s.screenshot("grid")
        shown = s.canvas_pixels(s.grab(), COMPARED)
        if shown is None:
            raise Failure("at scale %s a canvas pixel is not a whole block of %d x %d screen "
                          "pixels" % (scale, s.k, s.k))
        shown.save(os.path.join(folder, "canvas.png"))
        if reference is not None and shown.tobytes() != reference.tobytes():
            diff = [(x, y) for y in range(shown.height) for x in range(shown.width)
                    if shown.getpixel((x, y)) != reference.getpixel((x, y))]
            raise Failure("at scale %s the canvas differs from scale 1's at %d pixels, first "
                          "at canvas (%d, %d)" % (scale, len(diff), diff[0][0] + COMPARED[0],
                                                  diff[0][1] + COMPARED[1]))
        s.say("canvas: %dx%d pixels as at scale 1" % shown.size)

        # Image mode: Set Image, Set Outline, the outline, Save Image.
        s.click_strip(*e2e_run.CMD_SET_IMAGE)
        s.wait("image mode without markers", lambda: not marker_shown())
        s.keys("alt+u")
        c1, c2 = OUTLINE
        s.drag(c1, c2, steps=10)
        blue = (0, 0, 255)
        s.wait("the blue outline", lambda: all(
            s.grab().getpixel(s.at(*p)) == blue for p in (c1, c2, (c1[0], c2[1]))))
        s.screenshot("outline")
        bmp_path = os.path.join(folder, "scaled.bmp")
        e2e_run.save_through_dialog(s, lambda: s.keys("alt+i"), bmp_path, "Save Image",
                                    "image-saved", "the bitmap file")
        with open(bmp_path, "rb") as f:
            data = f.read()
        s.say("Save Image: %d bytes" % len(data))
        return shown, data
    finally:
        s.stop()


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    editor, art = sys.argv[1], os.path.abspath(sys.argv[2])
    os.makedirs(art, exist_ok=True)
    exp_path = os.path.join(art, "scaled.exp")
    with open(exp_path, "wb") as f:
        f.write(EXPRESSION)
    try:
        reference, saved = run_at(editor, art, 1, exp_path, None)
        for scale in (1.5, 2):
            _, data = run_at(editor, art, scale, exp_path, reference)
            if data != saved:
                raise Failure("Save Image at scale %s wrote %d bytes other than scale 1's %d "
                              "(first difference %s)" % (scale, len(data), len(saved),
                                                         e2e_run.first_difference(data, saved)))
            print("scale %s: the canvas and Save Image's bytes as at scale 1" % scale, flush=True)
    except Failure as e:
        print("FAIL: %s" % e, flush=True)
        return 1
    print("PASS", flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
