"""Reads the symbol keyboard's layout as the editor knows it, the file the
quillmark-keyboard-layout tool writes:

    size WIDTH HEIGHT KEYSIZE
    key INDEX ROW COLUMN XFROM XTO YFROM YTO CELLLEFT CELLTOP NORMALCODE SHIFTEDCODE
    shift XFROM XTO YFROM YTO

with one "key" line a key. make_keyboard.py draws the keyboard pictures from
it and help/make_help.py the help's symbols page.
"""

from typing import List, NamedTuple

KEY_COUNT = 48


class Key(NamedTuple):
    index: int
    row: int
    column: int
    x_from: int
    x_to: int
    y_from: int
    y_to: int
    cell_left: int
    cell_top: int
    normal: int
    shifted: int


class Range(NamedTuple):
    x_from: int
    x_to: int
    y_from: int
    y_to: int


class Layout(NamedTuple):
    size: tuple  # width, height, key size
    keys: List[Key]
    shift: Range


def read_layout(path):
    """The layout in the file at path; ValueError when it is incomplete."""
    keys, shift, size = [], None, None
    with open(path, encoding="ascii") as f:
        for line in f:
            parts = line.split()
            if not parts:
                continue
            values = [int(v) for v in parts[1:]]
            if parts[0] == "size":
                size = tuple(values[:3])
            elif parts[0] == "key":
                keys.append(Key(*values[:11]))
            elif parts[0] == "shift":
                shift = Range(*values[:4])
    if size is None or shift is None or len(keys) != KEY_COUNT:
        raise ValueError(f"{path}: incomplete keyboard layout")
    return Layout(size, keys, shift)
