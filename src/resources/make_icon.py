#!/usr/bin/python3
"""Draws the application's icon: a radical sign over a fraction whose two
places are handle markers, on a sheet of paper. One description of the
shapes gives both the scalable SVG and the PNGs (drawn with PIL at eight
times the size and scaled down), so every size shows the same picture.

usage: make_icon.py APP_ID OUT_THEME_DIR
writes OUT_THEME_DIR/scalable/apps/APP_ID.svg and
OUT_THEME_DIR/NxN/apps/APP_ID.png for every size in SIZES.
"""
import os
import sys

from PIL import Image, ImageDraw

SIZES = (16, 24, 32, 48, 64, 128, 256)
UNITS = 256  # the drawing's own square, in which every shape is given

PAPER = (250, 250, 244)
FRAME = (24, 24, 96)  # the marker's frame colour
INK = (16, 16, 16)
CENTRE = (220, 0, 0)  # the marker's centre colour

# The sheet: a rounded square with a frame.
SHEET = dict(box=(16, 16, 240, 240), radius=36, frame=10)
# The radical sign and its bar, one stroke with round ends and joins.
RADICAL = dict(points=[(46, 146), (72, 132), (104, 204), (138, 58), (214, 58)], width=16)
# The fraction bar under the radical's bar.
FRACTION_BAR = (148, 128, 212, 138)
# The fraction's two places, drawn as handle markers: frame, white, centre.
MARKERS = [(180, 96), (180, 172)]
MARKER_HALF, MARKER_FRAME, MARKER_CENTRE_HALF = 20, 6, 7


def hexcolour(c):
    return "#%02x%02x%02x" % c


def svg():
    x0, y0, x1, y1 = SHEET["box"]
    f = SHEET["frame"]
    out = ['<?xml version="1.0" encoding="UTF-8"?>',
           '<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" viewBox="0 0 %d %d">'
           % (UNITS, UNITS, UNITS, UNITS),
           # The frame is painted as the outer rounded square, the paper
           # inside it as a second one, exactly as the bitmaps are.
           '  <rect x="%d" y="%d" width="%d" height="%d" rx="%d" fill="%s"/>'
           % (x0, y0, x1 - x0, y1 - y0, SHEET["radius"], hexcolour(FRAME)),
           '  <rect x="%d" y="%d" width="%d" height="%d" rx="%d" fill="%s"/>'
           % (x0 + f, y0 + f, x1 - x0 - 2 * f, y1 - y0 - 2 * f, SHEET["radius"] - f,
              hexcolour(PAPER)),
           '  <polyline points="%s" fill="none" stroke="%s" stroke-width="%d" '
           'stroke-linecap="round" stroke-linejoin="round"/>'
           % (" ".join("%d,%d" % p for p in RADICAL["points"]), hexcolour(INK), RADICAL["width"]),
           '  <rect x="%d" y="%d" width="%d" height="%d" fill="%s"/>'
           % (FRACTION_BAR[0], FRACTION_BAR[1], FRACTION_BAR[2] - FRACTION_BAR[0],
              FRACTION_BAR[3] - FRACTION_BAR[1], hexcolour(INK))]
    for cx, cy in MARKERS:
        h, m, c = MARKER_HALF, MARKER_FRAME, MARKER_CENTRE_HALF
        out.append('  <rect x="%d" y="%d" width="%d" height="%d" fill="%s"/>'
                   % (cx - h, cy - h, 2 * h, 2 * h, hexcolour(FRAME)))
        out.append('  <rect x="%d" y="%d" width="%d" height="%d" fill="#ffffff"/>'
                   % (cx - h + m, cy - h + m, 2 * (h - m), 2 * (h - m)))
        out.append('  <rect x="%d" y="%d" width="%d" height="%d" fill="%s"/>'
                   % (cx - c, cy - c, 2 * c, 2 * c, hexcolour(CENTRE)))
    out.append("</svg>")
    return "\n".join(out) + "\n"


def bitmap(size):
    scale = size * 8 / UNITS
    big = Image.new("RGBA", (size * 8, size * 8), (0, 0, 0, 0))
    d = ImageDraw.Draw(big)

    # PIL's boxes include their last row and column, and its points are
    # pixel indices, where the SVG's are edges.
    def box(b):
        return [round(b[0] * scale), round(b[1] * scale), round(b[2] * scale) - 1,
                round(b[3] * scale) - 1]
    x0, y0, x1, y1 = SHEET["box"]
    f = SHEET["frame"]
    d.rounded_rectangle(box((x0, y0, x1, y1)), radius=round(SHEET["radius"] * scale),
                        fill=FRAME)
    d.rounded_rectangle(box((x0 + f, y0 + f, x1 - f, y1 - f)),
                        radius=round((SHEET["radius"] - f) * scale), fill=PAPER)
    pts = [(x * scale - 0.5, y * scale - 0.5) for x, y in RADICAL["points"]]
    w = RADICAL["width"] * scale
    d.line(pts, fill=INK, width=round(w), joint="curve")
    for x, y in (pts[0], pts[-1]):  # round ends, as the SVG's
        d.ellipse((x - w / 2, y - w / 2, x + w / 2, y + w / 2), fill=INK)
    d.rectangle(box(FRACTION_BAR), fill=INK)
    for cx, cy in MARKERS:
        h, m, c = MARKER_HALF, MARKER_FRAME, MARKER_CENTRE_HALF
        d.rectangle(box((cx - h, cy - h, cx + h, cy + h)), fill=FRAME)
        d.rectangle(box((cx - h + m, cy - h + m, cx + h - m, cy + h - m)), fill=(255, 255, 255))
        d.rectangle(box((cx - c, cy - c, cx + c, cy + c)), fill=CENTRE)
    return big.resize((size, size), Image.BOX)


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    app_id, theme = sys.argv[1], sys.argv[2]
    scalable = os.path.join(theme, "scalable", "apps")
    os.makedirs(scalable, exist_ok=True)
    with open(os.path.join(scalable, app_id + ".svg"), "w") as f:
        f.write(svg())
    for size in SIZES:
        folder = os.path.join(theme, "%dx%d" % (size, size), "apps")
        os.makedirs(folder, exist_ok=True)
        bitmap(size).save(os.path.join(folder, app_id + ".png"), optimize=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
