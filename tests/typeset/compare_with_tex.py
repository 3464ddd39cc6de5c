#!/usr/bin/python3
"""Typesets a set of formulas with corvel-quillmark-export and with TeX at the
same em size and compares the size of their ink.

Each formula of FORMULAS (formulas.txt beside this script by default) is
exported at 100 points (an em of 133 pixels) and set by latex in display
style at 10 points, drawn by dvipng at 961 dots an inch (10 points = 133
pixels). For each, the ink's height and width (the box round the pixels
darker than middle grey) are compared: ours divided by TeX's. The goal:

  heights within 15 % of TeX's for nine formulas in ten, within 25 % for all;
  widths within 20 % for all.

Prints one line a formula and a summary; exits 1 when the goal is missed or
a formula cannot be set, 2 when latex or dvipng is missing. With --sheet,
also writes a contact sheet: each formula, ours on the left and TeX's on the
right, at the same scale.

usage: compare_with_tex.py EXPORTER [--formulas FILE] [--work DIR] [--sheet OUT.png]
"""

import argparse
import math
import os
import shutil
import subprocess
import sys
import tempfile

from PIL import Image, ImageDraw, ImageFont

POINTS = 100
DPI = 961  # 10 TeX points (1/72.27 inch) come out as 133 pixels, one em at 100 points
HEIGHT_CLOSE, HEIGHT_ALL, WIDTH_ALL = 0.15, 0.25, 0.20
CLOSE_SHARE = 0.9


def read_formulas(path):
    with open(path, encoding="utf-8") as f:
        lines = [line.strip() for line in f]
    return [line for line in lines if line and not line.startswith("#")]


def ink_box(image):
    """The box (left, top, right, bottom) of pixels darker than middle grey."""
    grey = image.convert("L").point(lambda v: 255 if v < 128 else 0)
    return grey.getbbox()


def export_ours(exporter, formulas, work):
    paths = []
    for n, formula in enumerate(formulas, 1):
        out = os.path.join(work, f"ours-{n}.png")
        done = subprocess.run([exporter, "--formula", formula, "--size", str(POINTS), "--format",
                               "png", "--force", "-o", out],
                              capture_output=True, text=True, timeout=120)
        paths.append(out if done.returncode == 0 else None)
        if done.returncode != 0:
            print(f"exporter refused {formula!r}: {done.stderr.strip()}")
    return paths


def typeset_tex(formulas, work):
    body = "\n\\newpage\n".join(f"$\\displaystyle {f}$" for f in formulas)
    tex = ("\\documentclass[10pt]{article}\n\\usepackage{amsmath,amssymb}\n"
           "\\pagestyle{empty}\n\\begin{document}\n" + body + "\n\\end{document}\n")
    with open(os.path.join(work, "formulas.tex"), "w", encoding="utf-8") as f:
        f.write(tex)
    done = subprocess.run(["latex", "-interaction=nonstopmode", "-halt-on-error", "formulas.tex"],
                          cwd=work, capture_output=True, text=True, timeout=300)
    if done.returncode != 0:
        raise SystemExit("latex failed:\n" + done.stdout[-2000:])
    done = subprocess.run(["dvipng", "-q", "-D", str(DPI), "-T", "tight", "-bg", "White", "-fg",
                           "Black", "-o", "tex-%d.png", "formulas.dvi"],
                          cwd=work, capture_output=True, text=True, timeout=300)
    if done.returncode != 0:
        raise SystemExit("dvipng failed:\n" + done.stderr)
    return [os.path.join(work, f"tex-{n}.png") for n in range(1, len(formulas) + 1)]


def contact_sheet(rows, out_path):
    """rows: (formula, our image, TeX's image); both halves at half size."""
    scale = 0.5
    pad, label = 16, 22
    halves = []
    for formula, ours, theirs in rows:
        a = ours.convert("L")
        b = theirs.convert("L")
        a = a.resize((max(1, int(a.width * scale)), max(1, int(a.height * scale))), Image.LANCZOS)
        b = b.resize((max(1, int(b.width * scale)), max(1, int(b.height * scale))), Image.LANCZOS)
        halves.append((formula, a, b))
    col = max(max(a.width, b.width) for _, a, b in halves) + 2 * pad
    height = sum(label + max(a.height, b.height) + 2 * pad for _, a, b in halves)
    sheet = Image.new("L", (2 * col + 2, height), 255)
    draw = ImageDraw.Draw(sheet)
    try:
        font = ImageFont.truetype("/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf", 14)
    except OSError:
        font = ImageFont.load_default()
    y = 0
    draw.line([(col, 0), (col, height)], fill=128, width=2)
    for formula, a, b in halves:
        draw.text((pad, y + 4), formula, fill=96, font=font)
        row_h = max(a.height, b.height)
        sheet.paste(a, (pad, y + label + pad + (row_h - a.height) // 2))
        sheet.paste(b, (col + 2 + pad, y + label + pad + (row_h - b.height) // 2))
        y += label + row_h + 2 * pad
        draw.line([(0, y - 1), (2 * col + 2, y - 1)], fill=200)
    sheet.save(out_path)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("exporter")
    parser.add_argument("--formulas", default=os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                                           "formulas.txt"))
    parser.add_argument("--work")
    parser.add_argument("--sheet")
    args = parser.parse_args()
    for tool in ("latex", "dvipng"):
        if shutil.which(tool) is None:
            print(f"{tool} is not installed (scripts/setup.sh installs it)")
            return 2
    formulas = read_formulas(args.formulas)
    work = args.work or tempfile.mkdtemp(prefix="typeset-vs-tex-")
    os.makedirs(work, exist_ok=True)
    ours = export_ours(args.exporter, formulas, work)
    theirs = typeset_tex(formulas, work)

    failed = 0
    close = 0
    rows = []
    print(f"{'height':>7} {'width':>7}  formula")
    for formula, a, b in zip(formulas, ours, theirs):
        if a is None:
            failed += 1
            continue
        ia, ib = Image.open(a), Image.open(b)
        box_a, box_b = ink_box(ia), ink_box(ib)
        h = (box_a[3] - box_a[1]) / (box_b[3] - box_b[1])
        w = (box_a[2] - box_a[0]) / (box_b[2] - box_b[0])
        near = abs(h - 1) <= HEIGHT_CLOSE
        close += near
        bad = abs(h - 1) > HEIGHT_ALL or abs(w - 1) > WIDTH_ALL
        failed += bad
        mark = "  MISS" if bad else ("" if near else "  (height past 15 %)")
        print(f"{h:7.3f} {w:7.3f}  {formula}{mark}")
        rows.append((formula, ia.crop(box_a), ib.crop(box_b)))
    need = math.ceil(CLOSE_SHARE * len(formulas))
    print(f"\n{len(formulas)} formulas: heights within 15 % for {close} (goal {need}), "
          f"{failed} past 25 % in height or 20 % in width or not set (goal 0)")
    if args.sheet and rows:
        contact_sheet(rows, args.sheet)
        print(f"contact sheet: {args.sheet}")
    return 0 if failed == 0 and close >= need and len(formulas) >= 30 else 1


if __name__ == "__main__":
    sys.exit(main())
