#!/usr/bin/python3
"""Regenerates the user's guide's screenshots in docs/ from one end-to-end
run of the built editor (tests/e2e/e2e_run.py, in Xvfb with openbox):
parts of the screen at chosen steps, halved and reduced to a small palette,
and the exported bitmap itself.

usage: scripts/screenshots.py [EDITOR]     (default build/bin/corvel-quillmark)
"""
import glob
import os
import shutil
import subprocess
import sys
import tempfile

from PIL import Image

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DOCS = os.path.join(ROOT, "docs")

# (output name, e2e step, screen area to keep, scale)
SHOTS = [
    ("compose.png", "edited", (0, 0, 1160, 760), 0.5),
    ("symbol-keyboard.png", "symbols-typed", (0, 0, 1920, 340), 0.5),
    ("export-outline.png", "outline", (0, 0, 1920, 620), 0.5),
]


def small(img, colours=64):
    return img.convert("RGB").quantize(colors=colours, method=Image.MEDIANCUT)


def step(art, name):
    found = sorted(glob.glob(os.path.join(art, "[0-9][0-9]-%s.png" % name)))
    if not found:
        raise SystemExit("the end-to-end run left no screenshot of step %r" % name)
    return Image.open(found[-1])


def main():
    editor = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build/bin/corvel-quillmark")
    work = tempfile.mkdtemp(prefix="qm-shots-")
    try:
        art = os.path.join(work, "e2e")
        r = subprocess.run(["/usr/bin/python3", os.path.join(ROOT, "tests/e2e/e2e_run.py"), editor,
                            art])
        if r.returncode != 0:
            raise SystemExit("the end-to-end run failed; see its output above")
        os.makedirs(DOCS, exist_ok=True)
        for name, shot, box, scale in SHOTS:
            img = step(art, shot).crop(box)
            img = img.resize((round(img.width * scale), round(img.height * scale)), Image.LANCZOS)
            small(img).save(os.path.join(DOCS, name), optimize=True)
            print("docs/" + name)
        # The picture Save Image wrote, as it is (16 greys), in PNG.
        bitmap = Image.open(os.path.join(art, "e2e image.bmp"))
        small(bitmap, 16).save(os.path.join(DOCS, "exported-image.png"), optimize=True)
        print("docs/exported-image.png")
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
