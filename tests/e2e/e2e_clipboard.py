#!/usr/bin/python3
"""Undo, redo, copy and paste in the real editor, with real X input and the
real X clipboard.

In the X session of e2e_run.py (Xvfb 1920 x 1080, openbox): a line is
typed and committed, a line drawn and dragged; Ctrl+Z puts it back and
Ctrl+Y and Ctrl+Shift+Z carry it again. Ctrl+C outside image mode must put
on the clipboard, as `xclip` reads it, a PNG whose pixels are the
command-line exporter's picture fitted to the ink (8 white pixels around
it), carrying the expression file that the clipboard also offers on its
own. In image mode with an outline, Ctrl+C must give a PNG whose grey
levels are those of the bitmap Save Image writes for that outline (decoded
by netpbm). A second editor started beside the first pastes with Ctrl+V,
then a PNG put on the clipboard by xclip; its saved file must hold the
first editor's live items after its own.

usage: e2e_clipboard.py EDITOR EXPORTER ARTEFACT_DIR
"""

import io
import os
import struct
import subprocess
import sys

from PIL import Image

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e_run  # noqa: E402
from e2e_run import (CHK_TEXT, CMD_SET_IMAGE, CMD_SET_OUTLINE, Failure,  # noqa: E402
                     commit_line, save_through_dialog)

EXP_TYPE = "application/x-corvel-quillmark-expression"


def clipboard(s, target):
    r = subprocess.run(["xclip", "-selection", "clipboard", "-t", target, "-o"], env=s.env,
                       capture_output=True, timeout=30)
    return r.stdout if r.returncode == 0 else None


def targets(s):
    out = clipboard(s, "TARGETS")
    return out.decode(errors="replace").split() if out else []


def live_items(exp):
    """The live rows of an expression file, in table and row order."""
    pos = 0

    def take(fmt):
        nonlocal pos
        v = struct.unpack_from(fmt, exp, pos)
        pos += struct.calcsize(fmt)
        return v

    def string():
        (n,) = take("<h")
        nonlocal pos
        b = exp[pos:pos + n]
        pos += n
        return b.decode("latin-1")
    flags = take("<3h")
    items = []
    if flags[0]:
        (last,) = take("<i")
        for _ in range(last + 1):
            font = string()
            bold, italic, size = take("<3h")
            text = string()
            rest = take("<6h")
            if rest[5]:
                items.append(("T", font, bold, italic, size, text) + rest[:5])
    for kind, flag in (("H", flags[1]), ("V", flags[2])):
        if flag:
            (last,) = take("<i")
            for _ in range(last + 1):
                row = take("<6h")
                if row[5]:
                    items.append((kind,) + row[:5])
    return items


def greys(img):
    return list(img.convert("L").getdata())


def check_hugs_ink(png):
    img = Image.open(io.BytesIO(png)).convert("L")
    w, h = img.size
    px = img.load()

    def inked(box):
        x0, y0, x1, y1 = box
        return any(px[x, y] < 0xFF for y in range(y0, y1) for x in range(x0, x1))
    for name, box in (("top", (0, 0, w, 8)), ("bottom", (0, h - 8, w, h)),
                      ("left", (0, 0, 8, h)), ("right", (w - 8, 0, w, h))):
        if inked(box):
            raise Failure("ink in the %s margin of the copied picture" % name)
    for name, box in (("top", (8, 8, w - 8, 9)), ("bottom", (8, h - 9, w - 8, h - 8)),
                      ("left", (8, 8, 9, h - 8)), ("right", (w - 9, 8, w - 8, h - 8))):
        if not inked(box):
            raise Failure("no ink on the %s edge inside the margin: the box does not hug" % name)


def run(s, exporter):
    s.start()
    wid = s.wait_window("Corvel Quillmark V4.3")
    s.calibrate(wid)

    # A committed line and a dragged horizontal line.
    s.click(*CHK_TEXT)
    s.wait_caret(True)
    s.type("a+b=c")
    height = commit_line(s, "text line")
    s.drag((25, 95 + height), (300, 300))
    s.wait_markers("the text item moved", [(300, 300)])
    s.keys("alt+d")
    new_line = [(26, 160), (70, 160), (114, 160)]
    s.wait_markers("the new line", new_line)
    s.drag((70, 160), (400, 500))
    moved = [(356, 500), (400, 500), (444, 500)]
    s.wait_markers("the line dragged", moved, new_line)

    # Undo puts it back where it was drawn, redo carries it again.
    s.keys("ctrl+z")
    s.wait_markers("Ctrl+Z: the drag undone", new_line, moved)
    s.screenshot("undone")
    s.keys("ctrl+y")
    s.wait_markers("Ctrl+Y: the drag redone", moved, new_line)
    s.keys("ctrl+z", "ctrl+shift+z")
    s.wait_markers("Ctrl+Shift+Z: the drag redone", moved, new_line)

    # Copy outside image mode: the exporter's fitted picture.
    s.keys("ctrl+c")
    s.wait("the clipboard to offer the picture",
           lambda: {"image/png", "image/bmp", EXP_TYPE} <= set(targets(s)))
    png = clipboard(s, "image/png")
    exp = clipboard(s, EXP_TYPE)
    if not png or not exp:
        raise Failure("the clipboard gave no PNG or no expression")
    with open(os.path.join(s.art, "copied-fitted.png"), "wb") as f:
        f.write(png)
    exp_path = os.path.join(s.art, "copied.exp")
    with open(exp_path, "wb") as f:
        f.write(exp)
    if len(live_items(exp)) != 2:
        raise Failure("the copied expression holds %d live items, not 2" % len(live_items(exp)))
    picture = Image.open(io.BytesIO(png))
    if picture.info.get("Corvel-Quillmark-Expression", "").encode() == b"":
        raise Failure("the copied PNG carries no expression")
    exported = os.path.join(s.art, "exported.png")
    subprocess.run([exporter, "--format", "png", "--screen", "1920x1080", "--force", "-o",
                    exported, exp_path], check=True, capture_output=True,
                   env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
    reference = Image.open(exported)
    if picture.size != reference.size or greys(picture) != greys(reference):
        raise Failure("the copied picture (%dx%d) is not the exporter's (%dx%d)" %
                      (picture.size + reference.size))
    check_hugs_ink(png)
    s.say("copy outside image mode: %dx%d, the exporter's picture" % picture.size)

    # Copy in image mode with an outline: what Save Image writes.
    s.click(*CMD_SET_IMAGE)
    s.wait_markers("image mode", [], [(300, 300), (400, 500)])
    s.click(*CMD_SET_OUTLINE)
    corner1, corner2 = (200, 180), (900, 620)
    s.drag(corner1, corner2, steps=10)
    s.wait("the blue outline", lambda: s.grab().getpixel(s.at(*corner2)) == (0, 0, 255))
    before = clipboard(s, "image/png")
    s.keys("ctrl+c")
    s.wait("the outline's picture on the clipboard",
           lambda: (clipboard(s, "image/png") or before) != before)
    outlined = clipboard(s, "image/png")
    with open(os.path.join(s.art, "copied-outline.png"), "wb") as f:
        f.write(outlined)
    bmp_path = os.path.join(s.art, "saved.bmp")
    save_through_dialog(s, lambda: s.keys("alt+i"), bmp_path, "Save Image", "image-saved",
                        "the bitmap file")
    pnm = subprocess.run(["bmptopnm", bmp_path], check=True, capture_output=True).stdout
    saved = Image.open(io.BytesIO(pnm))
    copied = Image.open(io.BytesIO(outlined))
    if copied.size != saved.size or greys(copied) != greys(saved):
        raise Failure("the copied picture (%dx%d) differs from the saved bitmap (%dx%d)" %
                      (copied.size + saved.size))
    if clipboard(s, "image/bmp") != open(bmp_path, "rb").read():
        raise Failure("the clipboard's bitmap is not the file Save Image wrote")
    s.say("copy in image mode: %dx%d, the saved bitmap's pixels" % copied.size)

    # A second editor pastes what the first one copied.
    applog = open(os.path.join(s.art, "editor2.log"), "w")
    second = s.spawn([s.editor], env=s.env, cwd=s.art, stdout=applog, stderr=applog)
    wid2 = s.wait("the second editor's window",
                  lambda: next((w for w in s.xdo("search", "--onlyvisible", "--name",
                                                 "^Corvel Quillmark V4.3$").split()
                                if w != wid), None))
    s.wait("the second editor to take the focus", lambda: s.xdo("getactivewindow") == wid2)
    s.calibrate(wid2)
    s.keys("alt+v", "alt+d")  # a vertical line of its own first
    s.wait_markers("the second editor's line", [(60, 106), (60, 150), (60, 194)])
    s.keys("ctrl+v")
    # What is pasted is selected, its handles marked in the highlight
    # colour; Esc clears the selection and the markers show.
    s.wait_markers("the pasted items selected", [], [(300, 300), (400, 500)])
    s.screenshot("pasted")
    s.keys("Escape")
    s.wait_markers("the pasted items", [(300, 300), (400, 500)])
    # A PNG that carries an expression, put on the clipboard by another
    # program, pastes too.
    with open(os.path.join(s.art, "copied-fitted.png"), "rb") as f:
        subprocess.Popen(["xclip", "-selection", "clipboard", "-t", "image/png", "-i"],
                         stdin=f, env=s.env, start_new_session=True).wait(30)
    s.wait("xclip to own the clipboard", lambda: targets(s) and EXP_TYPE not in targets(s))
    s.keys("ctrl+v")
    pasted_path = os.path.join(s.art, "pasted.exp")
    s.wait("the main window's focus", lambda: s.xdo("getactivewindow") == wid2)
    save_through_dialog(s, lambda: s.menu("s"), pasted_path, "Save Expression", "pasted-saved",
                        "the pasted expression")
    with open(pasted_path, "rb") as f:
        got = live_items(f.read())
    copied_items = live_items(exp)
    own = [("V", 60, 150, 106, 194)]
    want = [i for i in copied_items * 2 if i[0] == "T"] + \
           [i for i in copied_items * 2 if i[0] == "H"]
    got_own = [i[:5] for i in got if i[0] == "V"]
    got_rest = [i for i in got if i[0] != "V"]
    if got_rest != want or got_own != own:
        raise Failure("the second editor's items %r are not %r and %r" % (got, own, want))
    s.say("pasted twice into the second editor: %d items" % len(got))
    if second.poll() is not None:
        raise Failure("the second editor ended")
    for log in ("editor.log", "editor2.log"):
        with open(os.path.join(s.art, log), errors="replace") as f:
            if any(sign in f.read() for sign in ("ERROR: AddressSanitizer", "runtime error:")):
                raise Failure("a sanitizer report in " + log)


def main():
    return e2e_run.run_session(__doc__, 3, lambda s: run(s, os.path.abspath(sys.argv[2])))


if __name__ == "__main__":
    sys.exit(main())
