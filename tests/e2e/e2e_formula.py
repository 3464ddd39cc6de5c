#!/usr/bin/python3
"""Edit > Insert Formula in the real editor, with real X input.

In the X session of e2e_run.py (Xvfb 1920 x 1080, openbox): Ctrl+M opens
"Insert Formula"; a formula typed into it with xdotool (backslashes, braces,
carets and all) is refused while it has an unknown command (Return adds
nothing), then, corrected, added with Return. The expression saved through
the real dialog must hold exactly the bytes the command-line exporter writes
for the same formula with -o OUT.exp (so the items lie where the layout put
them, from the spot where new items appear); Ctrl+Z then takes the whole
formula away in one step.

usage: e2e_formula.py EDITOR EXPORTER ARTEFACT_DIR
"""

import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e_run  # noqa: E402
from e2e_run import Failure, save_through_dialog  # noqa: E402

FORMULA = r"x = \frac{-b \pm \sqrt{b^2-4ac}}{2a}"
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
    with open(os.path.join(s.art, "editor.log"), errors="replace") as f:
        if any(sign in f.read() for sign in ("ERROR: AddressSanitizer", "runtime error:")):
            raise Failure("a sanitizer report in editor.log")


def main():
    return e2e_run.run_session(__doc__, 3, lambda s: run(s, os.path.abspath(sys.argv[2])))


if __name__ == "__main__":
    sys.exit(main())
