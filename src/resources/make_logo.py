#!/usr/bin/python3
"""Draws the 282 x 63 splash logo: a quill nib over a blue band, with a
small formula beside the product's name."""
import sys
from PIL import Image, ImageDraw, ImageFont

W, H = 282, 63
FONT_DIRS = [
    "/usr/share/fonts/truetype/liberation/",
    "/usr/share/fonts/truetype/dejavu/",
]


def font(names, size):
    for d in FONT_DIRS:
        for n in names:
            try:
                return ImageFont.truetype(d + n, size)
            except OSError:
                pass
    return ImageFont.load_default()


def logo():
    img = Image.new("RGB", (W, H), (255, 255, 255))
    d = ImageDraw.Draw(img)
    # A band that fades from deep blue to white.
    for x in range(W):
        t = x / (W - 1)
        c = (int(20 + 235 * t), int(40 + 215 * t), int(120 + 135 * t))
        d.line([(x, 0), (x, 5)], fill=c)
        d.line([(x, H - 6), (x, H - 1)], fill=c)
    # The quill: a slanted nib with its slit.
    nib = [(16, 52), (30, 12), (44, 8), (40, 22), (24, 52)]
    d.polygon(nib, fill=(30, 45, 130))
    d.line([(20, 52), (36, 16)], fill=(255, 255, 255), width=1)
    d.ellipse([(15, 50), (21, 56)], fill=(200, 20, 20))
    title = font(["LiberationSans-Bold.ttf", "DejaVuSans-Bold.ttf"], 22)
    d.text((56, 12), "Corvel Quillmark", font=title, fill=(20, 30, 90))
    formula = font(["LiberationSerif-Italic.ttf", "DejaVuSerif-Italic.ttf"], 15)
    d.text((58, 38), "x = (-b \u00b1 \u221a\u0394) / 2a", font=formula, fill=(90, 90, 90))
    return img


if __name__ == "__main__":
    logo().save(sys.argv[1], format="PNG")
