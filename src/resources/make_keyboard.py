#!/usr/bin/python3
"""Draws the symbol keyboard pictures KBnorm465.bmp and KBshift465.bmp.

Each key shows, large, the glyph its character has in the MathSymbols face
(drawn with the built MathSymbols.ttf, so the picture shows exactly what the
key types) and, small in its top-left corner, the key's own character, so that
the key can be found on the physical keyboard. The shifted picture shows the
shifted characters and the shift key held down.

The key grid and the characters come from the editor itself
(keyboard_layout, built from the editor's keyboard table), the symbols from
symboltable.py; nothing of either is repeated here.

usage: make_keyboard.py LAYOUT_FILE MATHSYMBOLS_TTF LABEL_TTF OUTPUT_FOLDER
"""

import os
import sys

from PIL import Image, ImageDraw, ImageFont

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from keyboardlayout import read_layout  # noqa: E402
from symboltable import key_char, symbol_for  # noqa: E402

BACKGROUND = (196, 202, 212)
GRID = (64, 70, 82)
KEY_FACE = (252, 252, 250)
SYMBOL = (0, 0, 0)
LABEL = (84, 90, 104)
SHIFT_UP = (226, 230, 236)
SHIFT_HELD = (64, 70, 82)
SHIFT_HELD_TEXT = (255, 255, 255)

SYMBOL_PX = 20  # largest symbol size; big operators shrink to fit
SYMBOL_BOX = 21  # a symbol's ink fits in this square
LABEL_PX = 9


def _fit_symbol(font_path, text):
    """The symbol's font at the largest size up to SYMBOL_PX whose ink fits."""
    for px in range(SYMBOL_PX, 8, -1):
        font = ImageFont.truetype(font_path, px)
        left, top, right, bottom = font.getbbox(text)
        if right - left <= SYMBOL_BOX and bottom - top <= SYMBOL_BOX:
            return font
    return ImageFont.truetype(font_path, 9)


def _draw_centred(draw, font, text, cx, cy, fill):
    left, top, right, bottom = font.getbbox(text)
    x = cx - (left + right) / 2
    y = cy - (top + bottom) / 2
    draw.text((round(x), round(y)), text, font=font, fill=fill)


def draw_keyboard(size, keys, shift, symbol_font, label_font_path, shifted):
    width, height, key_size = size
    img = Image.new("RGB", (width, height), BACKGROUND)
    draw = ImageDraw.Draw(img)
    label_font = ImageFont.truetype(label_font_path, LABEL_PX)

    for key in keys:
        left, top = key.cell_left, key.cell_top
        right, bottom = left + key_size, top + key_size
        draw.rectangle((left, top, right, bottom), fill=KEY_FACE, outline=GRID)
        code = key.shifted if shifted else key.normal
        # The symbol sits a little right of and below the centre, clear of
        # the corner label.
        text = key_char(code)
        _draw_centred(draw, _fit_symbol(symbol_font, text), text,
                      left + key_size / 2 + 2, top + key_size / 2 + 2, SYMBOL)
        draw.text((left + 2, top + 1), key_char(code), font=label_font, fill=LABEL)
        symbol_for(code)  # every key's character must have a symbol

    # The shift key: its cell lies on the grid lines around its range.
    left, top = shift.x_from - 1, shift.y_from - 1
    right, bottom = shift.x_to + 1, shift.y_to + 1
    face, ink = (SHIFT_HELD, SHIFT_HELD_TEXT) if shifted else (SHIFT_UP, SYMBOL)
    draw.rectangle((left, top, right, bottom), fill=face, outline=GRID)
    arrow_font = ImageFont.truetype(label_font_path, 13)
    _draw_centred(draw, arrow_font, "\u21E7", (left + right) / 2, top + 10, ink)
    _draw_centred(draw, label_font, "Shift", (left + right) / 2, top + 22, ink)
    return img


def main():
    if len(sys.argv) != 5:
        raise SystemExit(__doc__)
    layout, symbol_font, label_font, out = sys.argv[1:]
    try:
        size, keys, shift = read_layout(layout)
    except ValueError as e:
        raise SystemExit(str(e))
    os.makedirs(out, exist_ok=True)
    for name, shifted in (("KBnorm465.bmp", False), ("KBshift465.bmp", True)):
        img = draw_keyboard(size, keys, shift, symbol_font, label_font, shifted)
        img.save(os.path.join(out, name), format="BMP")


if __name__ == "__main__":
    main()
