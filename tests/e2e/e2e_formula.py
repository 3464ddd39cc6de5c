#!/usr/bin/python3
"""Edit > Insert Formula and the selection in the real editor, with real X
input.

In the X session of e2e_run.py (Xvfb 1920 x 1080, openbox): Ctrl+M opens
"Insert Formula"; a formula typed into it with xdotool (backslashes, braces,
carets and all) is refused while it has an unknown command (Return adds
nothing), then, corrected, added with Return. The expression saved through
the real dialog must hold exactly the bytes the command-line exporter writes
for the same formula with -o OUT.exp (so the items lie where the layout put
them, from the spot where new items appear); Ctrl+Z then takes the whole
formula away in one step.

Then the selection, by mouse: the formula inserted again is selected, and a
drag of one of its handles moves every item by the same offset (the saved
file is the exporter's with that offset); a rubber band and the arrow keys,
a Shift+click and Delete, Shift+clicks and Align > Centre on Line (the text's
ink centred over the bar, as the exporter draws it), each checked in the
saved file and undone in one step by Ctrl+Z; Select All, Set Image, Outline
Selection and Save Image, whose bitmap must be the exporter's --outline of
the rectangle drawn on the screen. Last, a second editor is worked with the
keyboard alone from its start: Tab into the canvas (its focus mark shows),
the arrows, Tab through the items, Delete, Ctrl+Tab and Centre on Line, Tab
on to Set Image, Outline Selection and Save Image, checked the same way.

usage: e2e_formula.py EDITOR EXPORTER ARTEFACT_DIR
"""

import os
import struct
import subprocess
import sys

from PIL import Image, ImageChops

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e_run  # noqa: E402
from e2e_run import CMD_SET_IMAGE, Failure, exp_bytes, first_difference  # noqa: E402
from e2e_run import save_through_dialog  # noqa: E402

FORMULA = r"x = \frac{-b \pm \sqrt{b^2-4ac}}{2a}"
SMALL_FORMULA = r"y = \frac{a+b}{2}"
BLUE = (0, 0, 255)
TITLE = "Insert Formula"
EMPTY = bytes(6)  # an expression with nothing ever added


def run(s, exporter):
    s.start()
    wid = s.wait_window("Corvel Quillmark V4.3")
    s.calibrate(wid)

    expected_path = os.path.join(s.art, "expected.exp")
    done = subprocess.run([exporter, "--formula", FORMULA, "-o", expected_path, "--force"],
                          env=s.env, capture_output=True, text=True)
    if done.returncode != 0:
        raise Failure("the exporter could not typeset the formula: " + done.stderr)
    with open(expected_path, "rb") as f:
        expected = f.read()

    # A misspelt command: the dialog says so and Return adds nothing.
    s.keys("ctrl+m")
    s.wait_window(TITLE)
    s.type(FORMULA.replace(r"\frac", r"\fract"))
    s.screenshot("formula-refused")
    s.keys("Return")
    s.keys("ctrl+a")
    s.type(FORMULA)
    s.screenshot("formula-typed")
    s.keys("Return")
    s.wait_window_gone(TITLE)
    s.wait("the main window's focus", lambda: s.xdo("getactivewindow") == wid)
    s.screenshot("formula-added")

    saved = os.path.join(s.art, "formula.exp")
    save_through_dialog(s, lambda: s.menu("s"), saved, "Save Expression", "formula-saved",
                        "the saved formula")
    with open(saved, "rb") as f:
        got = f.read()
    if got != expected:
        raise Failure("the saved expression (%d bytes) is not the exporter's (%d bytes)" %
                      (len(got), len(expected)))
    s.say("the inserted formula is the exporter's expression: %d bytes" % len(got))

    s.keys("ctrl+z")
    undone = os.path.join(s.art, "undone.exp")
    save_through_dialog(s, lambda: s.menu("s"), undone, "Save Expression", "undone-saved",
                        "the expression after undo")
    with open(undone, "rb") as f:
        after = f.read()
    if after != EMPTY:
        raise Failure("Ctrl+Z did not give back the empty expression: %s" % after[:32].hex())
    s.say("Ctrl+Z took the formula away")

    by_mouse(s, exporter, wid, parse_exp(expected))
    s.menu("x")
    s.wait("the editor to exit", lambda: s.app.poll() is not None, check_app=False)
    by_keyboard(s, exporter)
    for log in ("editor.log", "editor2.log"):
        with open(os.path.join(s.art, log), errors="replace") as f:
            if any(sign in f.read() for sign in ("ERROR: AddressSanitizer", "runtime error:")):
                raise Failure("a sanitizer report in " + log)


# --- expression files as tables -----------------------------------------------

def parse_exp(data):
    """Every row of an expression file: text rows as lists [font, bold,
    italic, size, text, x, y, markerX, markerY, height, live]; line rows as
    the six values in file order (midX, y, x1, x2 / x, midY, y1, y2; width,
    live)."""
    pos = 0

    def take(fmt):
        nonlocal pos
        v = struct.unpack_from(fmt, data, pos)
        pos += struct.calcsize(fmt)
        return v

    def string():
        nonlocal pos
        (n,) = take("<h")
        pos += n
        return data[pos - n:pos].decode("latin-1")
    flags = take("<3h")
    texts, h, v = [], [], []
    if flags[0]:
        (last,) = take("<i")
        for _ in range(last + 1):
            font = string()
            head = list(take("<3h"))
            text = string()
            texts.append([font] + head + [text] + list(take("<6h")))
    for table, flag in ((h, flags[1]), (v, flags[2])):
        if flag:
            (last,) = take("<i")
            table.extend(list(take("<6h")) for _ in range(last + 1))
    return texts, h, v


def as_bytes(tables):
    return exp_bytes(*[[tuple(r) for r in t] for t in tables])


def midpoint(a, b):
    """The rounded middle of two ends, a half to the even neighbour."""
    low = (a + b) // 2
    return low if (a + b) % 2 == 0 or low % 2 == 0 else low + 1


def moved(tables, items, dx, dy):
    """The tables with `items` ((kind, row), kind "T", "H" or "V") moved as
    wholes: every coordinate by the offset, a line's middle the midpoint of
    its ends."""
    texts, h, v = (list(map(list, t)) for t in tables)
    for kind, r in items:
        if kind == "T":
            for c, d in ((5, dx), (6, dy), (7, dx), (8, dy)):
                texts[r][c] += d
        elif kind == "H":
            h[r][1] += dy
            h[r][2] += dx
            h[r][3] += dx
            h[r][0] = midpoint(h[r][2], h[r][3])
        else:
            v[r][0] += dx
            v[r][2] += dy
            v[r][3] += dy
            v[r][1] = midpoint(v[r][2], v[r][3])
    return texts, h, v


def deleted(tables, items):
    texts, h, v = (list(map(list, t)) for t in tables)
    for kind, r in items:
        row = {"T": texts, "H": h, "V": v}[kind][r]
        row[-1] = 0
    return texts, h, v


def handles(tables, kind, r):
    texts, h, v = tables
    if kind == "T":
        return [(texts[r][7], texts[r][8])]
    if kind == "H":
        return [(h[r][2], h[r][1]), (h[r][0], h[r][1]), (h[r][3], h[r][1])]
    return [(v[r][0], v[r][2]), (v[r][0], v[r][1]), (v[r][0], v[r][3])]


def all_items(tables):
    return [(k, r) for k, t in zip("THV", tables) for r in range(len(t)) if t[r][-1]]


def by_position(tables):
    """Live items left to right by their leftmost handle, then top to bottom
    by their topmost one, as Tab walks them."""
    def key(item):
        hs = handles(tables, *item)
        return (min(x for x, _ in hs), min(y for _, y in hs), "THV".index(item[0]), item[1])
    return sorted(all_items(tables), key=key)


def fraction_bar(tables):
    """The longest horizontal line: the fraction's bar."""
    h = tables[1]
    return max(range(len(h)), key=lambda r: abs(h[r][3] - h[r][2]))


def over_and_under(tables):
    """The text rows of the numerator and the denominator that stand
    furthest from the bar: among the texts whose handles lie within the
    bar's length, the highest handle and the lowest (a text's handle is at
    its lower left corner, so even a numerator's may lie below the bar)."""
    texts, h, _ = tables
    bar = h[fraction_bar(tables)]
    x1, x2 = min(bar[2], bar[3]), max(bar[2], bar[3])
    within = [r for r in range(len(texts)) if x1 <= texts[r][7] <= x2]
    return (min(within, key=lambda r: texts[r][8]), max(within, key=lambda r: texts[r][8]))


# --- the saved file and the pictures ------------------------------------------

def save_and_check(s, name, tables, what):
    path = os.path.join(s.art, name)
    save_through_dialog(s, lambda: s.menu("s"), path, "Save Expression", name, what)
    with open(path, "rb") as f:
        got = f.read()
    want = as_bytes(tables)
    if got != want:
        raise Failure("%s: the saved file differs from the expected tables: %s" %
                      (what, first_difference(got, want)))
    s.say("%s: saved as expected" % what)
    return path


def workspace_ink(s, exporter, exp_path, columns, rows):
    """The columns holding ink, as the exporter draws the file, among
    `columns` (first, last) in canvas `rows` (first, last)."""
    png = os.path.join(s.art, "ink.png")
    subprocess.run([exporter, "--format", "png", "--outline", "-1,-1,1920,984", "-o", png,
                    "--force", exp_path], env=s.env, check=True, capture_output=True)
    img = Image.open(png).convert("L")
    px = img.load()
    inked = [x for x in range(columns[0], columns[1] + 1)
             if any(px[x, y - 96] < 255 for y in range(rows[0], rows[1] + 1))]
    if not inked:
        raise Failure("no ink in columns %s, rows %s" % (columns, rows))
    return inked[0], inked[-1]


def check_centred(s, exporter, exp_path, tables, text_row, above):
    """The text's ink, all there is between the bar and the text's far edge
    (above or below the bar), is centred on the fraction bar (a half pixel
    either way)."""
    texts, h, _ = tables
    bar = h[fraction_bar(tables)]
    half = bar[4] // 2 + 1
    t = texts[text_row]
    rows = (t[6], bar[1] - half) if above else (bar[1] + half, t[6] + t[9])
    left, right = workspace_ink(s, exporter, exp_path, (min(bar[2], bar[3]) - 6,
                                                        max(bar[2], bar[3]) + 6), rows)
    if abs((left + right) - (bar[2] + bar[3])) > 1:
        raise Failure("the text's ink %d..%d is not centred on the bar %d..%d" %
                      (left, right, bar[2], bar[3]))
    s.say("ink %d..%d centred on the bar from %d to %d" % (left, right, bar[2], bar[3]))


def frame_of(s, colour):
    """Where `colour` is on the workspace part of the screen, in workspace
    pixels (x1, y1, x2, y2), or None."""
    img = s.grab().crop((s.cx, s.cy + 96, min(1920, s.cx + 1920), min(1080, s.cy + 1080)))
    bands = [band.point(lambda v, c=c: 255 if v == c else 0)
             for band, c in zip(img.split(), colour)]
    box = ImageChops.multiply(ImageChops.multiply(bands[0], bands[1]), bands[2]).getbbox()
    return (box[0], box[1], box[2] - 1, box[3] - 1) if box else None


def blue_frame(s):
    """The outline on the screen."""
    return frame_of(s, BLUE)


def outline_and_save_image(s, exporter, exp_path, name, start_image, outline, handle):
    """Set Image, Outline Selection and Save Image (started as given); the
    bitmap must be the exporter's --outline of the frame on the screen.
    `handle`: a selected item's handle, marked in the highlight colour,
    which image mode leaves out."""
    highlight = s.grab().getpixel(s.at(*handle))
    start_image()
    s.wait("image mode", lambda: blue_frame(s) is None and frame_of(s, highlight) is None)
    outline()
    frame = s.wait("the outline round the selection", lambda: blue_frame(s))
    s.screenshot(name + "-outline")
    bmp = os.path.join(s.art, name + ".bmp")
    save_through_dialog(s, lambda: s.keys("alt+i"), bmp, "Save Image", name + "-saved",
                        "the bitmap of the outline")
    want = os.path.join(s.art, name + "-exporter.bmp")
    subprocess.run([exporter, "--outline", "%d,%d,%d,%d" % frame, "-o", want, "--force",
                    exp_path], env=s.env, check=True, capture_output=True)
    with open(bmp, "rb") as a, open(want, "rb") as b:
        if a.read() != b.read():
            raise Failure("Save Image after Outline Selection is not the exporter's "
                          "--outline %d,%d,%d,%d" % frame)
    s.say("outline %s: Save Image wrote the exporter's bitmap" % (frame,))


# --- by mouse -----------------------------------------------------------------

def by_mouse(s, exporter, wid, formula):
    s.keys("ctrl+m")
    s.wait_window(TITLE)
    s.type(FORMULA)
    s.keys("Return")
    s.wait_window_gone(TITLE)
    s.wait("the main window's focus", lambda: s.xdo("getactivewindow") == wid)

    # The inserted formula is selected: a drag of one handle carries it all.
    mx, my = formula[0][0][7], formula[0][0][8]
    s.drag((mx, my), (mx + 200, my + 150))
    tables = moved(formula, all_items(formula), 200, 150)
    save_and_check(s, "dragged.exp", tables, "the formula dragged by one handle")

    texts, h, _ = tables
    bar = fraction_bar(tables)
    x1, x2 = min(h[bar][2], h[bar][3]), max(h[bar][2], h[bar][3])
    below = over_and_under(tables)[1]  # the denominator

    # A click on empty canvas clears; a rubber band round the bar and what
    # stands above it; three Right and a Shift+Down, one step.
    s.click(1700, 900)
    band = (x1 - 5, 110, x2 + 5, h[bar][1] + 3)
    inside = [i for i in all_items(tables) if all(
        band[0] <= x <= band[2] and band[1] <= y <= band[3] for x, y in handles(tables, *i))]
    if ("H", bar) not in inside or len(inside) < 3:
        raise Failure("the band %s holds %s" % (band, inside))
    s.drag(band[:2], band[2:])
    s.keys("Right", "Right", "Right", "shift+Down")
    save_and_check(s, "nudged.exp", moved(tables, inside, 3, 10), "the band nudged by arrows")
    s.keys("ctrl+z")
    save_and_check(s, "nudge-undone.exp", tables, "the arrows undone")

    # Shift+click adds the text below the bar; Delete removes the selection.
    s.drag(band[:2], band[2:])
    s.xdo("keydown", "shift")
    s.click(*handles(tables, "T", below)[0])
    s.xdo("keyup", "shift")
    s.keys("Delete")
    save_and_check(s, "deleted.exp", deleted(tables, inside + [("T", below)]),
                   "the band and a Shift+click deleted")
    s.keys("ctrl+z")
    save_and_check(s, "delete-undone.exp", tables, "the deletion undone")

    # The text below the bar, Shift+clicked, nudged off its centre; a
    # Shift+click on the bar's middle; Edit > Align > Centre on Line puts it
    # back in the middle. Ctrl+Z takes back the centring alone.
    s.click(1700, 900)
    s.xdo("keydown", "shift")
    s.click(*handles(tables, "T", below)[0])
    s.xdo("keyup", "shift")
    s.keys(*(["Right"] * 7))
    off = moved(tables, [("T", below)], 7, 0)
    s.xdo("keydown", "shift")
    s.click(*handles(tables, "H", bar)[1])
    s.xdo("keyup", "shift")
    s.keys("alt+e", "l", "o")
    path = os.path.join(s.art, "centred.exp")
    save_through_dialog(s, lambda: s.menu("s"), path, "Save Expression", "centred",
                        "the text centred on its bar")
    with open(path, "rb") as f:
        centred = parse_exp(f.read())
    dx = centred[0][below][5] - off[0][below][5]
    if dx == 0 or centred != moved(off, [("T", below)], dx, 0):
        raise Failure("Centre on Line did not move the text across alone")
    check_centred(s, exporter, path, centred, below, False)
    s.keys("ctrl+z")
    save_and_check(s, "centre-undone.exp", off, "Centre on Line undone")
    s.keys("ctrl+z")
    kept = save_and_check(s, "off-centre-undone.exp", tables, "the nudge off centre undone")

    # Everything selected, Set Image, Outline Selection, Save Image.
    s.keys("ctrl+a")
    outline_and_save_image(s, exporter, kept, "mouse", lambda: s.click(*CMD_SET_IMAGE),
                           lambda: s.keys("alt+e", "o"), handles(tables, "T", 0)[0])
    s.click(*CMD_SET_IMAGE)


# --- by keyboard alone ----------------------------------------------------------

def by_keyboard(s, exporter):
    applog = open(os.path.join(s.art, "editor2.log"), "w")
    s.app = s.spawn([s.editor], env=s.env, cwd=s.art, stdout=applog, stderr=applog)
    wid = s.wait_window("Corvel Quillmark V4.3")
    s.calibrate(wid)
    expected_path = os.path.join(s.art, "small-expected.exp")
    subprocess.run([exporter, "--formula", SMALL_FORMULA, "-o", expected_path, "--force"],
                   env=s.env, check=True, capture_output=True)
    with open(expected_path, "rb") as f:
        formula = parse_exp(f.read())

    s.keys("ctrl+m")
    s.wait_window(TITLE)
    s.type(SMALL_FORMULA)
    s.keys("Return")
    s.wait_window_gone(TITLE)
    s.wait("the main window's focus", lambda: s.xdo("getactivewindow") == wid)

    # Tab into the canvas: its focus mark shows.
    def mark():
        return s.grab().getpixel(s.at(0, 400)) != (255, 255, 255)
    if mark():
        raise Failure("a focus mark on the canvas before Tab")
    s.keys("Tab")
    s.wait("the canvas's focus mark", mark)
    s.screenshot("keyboard-canvas-focus")

    def into_canvas():
        s.wait("the main window's focus", lambda: s.xdo("getactivewindow") == wid)
        if not mark():  # the focus went back to the typing box
            s.keys("Tab")
            s.wait("the canvas's focus mark", mark)

    s.keys("Right", "Right", "Right", "Right", "shift+Up")
    save_and_check(s, "keys-nudged.exp", moved(formula, all_items(formula), 4, -10),
                   "the inserted formula nudged by arrows")
    into_canvas()
    s.keys("ctrl+z")
    save_and_check(s, "keys-nudge-undone.exp", formula, "the arrows undone")

    # Tab through the items: the second by position goes with Delete.
    order = by_position(formula)
    into_canvas()
    s.keys("Escape", "Tab", "Tab", "Delete")
    save_and_check(s, "keys-deleted.exp", deleted(formula, [order[1]]),
                   "the second item by position deleted")
    into_canvas()
    s.keys("ctrl+z")
    save_and_check(s, "keys-delete-undone.exp", formula, "the deletion undone")

    # Tab to the numerator (after the bar by position) and nudge it off its
    # centre; Shift+Tab to the bar, Ctrl+Tab adds the numerator again;
    # Centre on Line puts it back.
    bar = order.index(("H", fraction_bar(formula)))
    numerator = order[bar + 1]
    if numerator != ("T", over_and_under(formula)[0]):
        raise Failure("the item after the bar by position is not the numerator: %s" % order)
    into_canvas()
    s.keys("Escape", *(["Tab"] * (bar + 2)), *(["Left"] * 6))
    s.keys("shift+Tab", "ctrl+Tab", "alt+e", "l", "o")
    path = os.path.join(s.art, "keys-centred.exp")
    save_through_dialog(s, lambda: s.menu("s"), path, "Save Expression", "keys-centred",
                        "the numerator centred by keys")
    with open(path, "rb") as f:
        centred = parse_exp(f.read())
    off = moved(formula, [numerator], -6, 0)
    dx = centred[0][numerator[1]][5] - off[0][numerator[1]][5]
    if dx == 0 or centred != moved(off, [numerator], dx, 0):
        raise Failure("Centre on Line did not move the numerator across alone")
    check_centred(s, exporter, path, centred, numerator[1], True)
    into_canvas()
    s.keys("ctrl+z")
    save_and_check(s, "keys-centre-undone.exp", off, "Centre on Line undone")
    s.keys("ctrl+z")
    kept = save_and_check(s, "keys-off-centre-undone.exp", formula, "the nudge undone")

    # Select All on the canvas, Tab past the last item on to the tool strip
    # and along it to Set Image; Outline Selection; Save Image.
    into_canvas()
    s.keys("ctrl+a")
    outline_and_save_image(s, exporter, kept, "keys",
                           lambda: s.keys("Tab", *(["Tab"] * 9), "space"),
                           lambda: s.keys("alt+e", "o"), handles(formula, "T", 0)[0])
    s.keys("alt+f", "x")
    s.wait("the second editor to exit", lambda: s.app.poll() is not None, check_app=False)


def main():
    return e2e_run.run_session(__doc__, 3, lambda s: run(s, os.path.abspath(sys.argv[2])))


if __name__ == "__main__":
    sys.exit(main())
