#!/usr/bin/python3
"""End-to-end run: nothing lost when the editor is killed.

The real editor in a real X session (Xvfb with openbox, as e2e_run.py
starts it), driven with xdotool: a line and a typed text, then the
recovery file must appear in $XDG_STATE_HOME/corvel-quillmark/recovery;
kill -9; the next editor asks "Recover the unsaved expression ...?":
Later keeps the file, Recover gives back the expression (File > Save
through the real dialog writes the very bytes the recovery file holds) and
Save removes the recovery file; another change, kill -9, and Discard
removes it. Two editors running at the same time: the second is not
offered the first one's file. A clean exit leaves the folder empty.

usage: e2e_recovery.py EDITOR ARTEFACT_DIR
"""

import glob
import os
import signal
import struct
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e_run as E  # noqa: E402
from e2e_run import Failure  # noqa: E402

MAIN = "Corvel Quillmark V4.3"
QUESTION = "Corvel Quillmark"  # the recovery question's title
NEW_LINE = [(26, 160), (70, 160), (114, 160)]  # a new horizontal line's handles


def folder(s):
    return os.path.join(s.env["XDG_STATE_HOME"], "corvel-quillmark", "recovery")


def recovery_files(s):
    return sorted(f for f in glob.glob(os.path.join(folder(s), "*.exp"))
                  if not os.path.basename(f).startswith("damaged-"))


def expression_part(path):
    """The .exp bytes at the start of a recovery file, by its trailer."""
    with open(path, "rb") as f:
        data = f.read()
    if len(data) < 24 or data[-8:] != b"CQMRECV1":
        return None
    exp_bytes, name_bytes = struct.unpack("<II", data[-16:-8])
    if exp_bytes + name_bytes + 24 != len(data):
        return None
    return data[:exp_bytes]


def start_editor(s, name):
    log = open(os.path.join(s.art, "editor-%s.log" % name), "w")
    p = s.spawn([s.editor], env=s.env, cwd=s.art, stdout=log, stderr=log)
    s.app = p
    return p


def kill_hard(s, p):
    os.kill(p.pid, signal.SIGKILL)
    p.wait()
    s.say("editor killed with SIGKILL")


def answer_question(s, keys, shot):
    s.wait_window(QUESTION)
    s.screenshot(shot)
    s.keys(*keys)
    s.wait_window_gone(QUESTION)


def main_window(s):
    wid = s.wait_window(MAIN)
    s.calibrate(wid)
    return wid


def change_and_wait_for_file(s, what, typed=None):
    """A new line (and a typed text), then the recovery file holding it."""
    s.keys("alt+d")
    s.wait_markers("a new line", NEW_LINE)
    if typed:
        s.click(*E.CHK_TEXT)
        s.wait_caret(True)
        s.type(typed)
        s.keys("Return")
    changed = time.monotonic()
    marker = typed.encode("latin-1") if typed else None

    def written():
        files = recovery_files(s)
        if len(files) != 1:
            return None
        part = expression_part(files[0])
        if part is None or (marker and marker not in part):
            return None
        return files[0]
    path = s.wait("the recovery file with " + what, written)
    s.say("recovery file %s written %.1f s after the last change"
          % (os.path.basename(path), time.monotonic() - changed))
    return path


def run(s):
    s.start()
    main_window(s)
    path = change_and_wait_for_file(s, "a line and a text", "x+1")
    expected = expression_part(path)
    kill_hard(s, s.app)
    if recovery_files(s) != [path]:
        raise Failure("the recovery file did not outlive the editor")

    # Later: the file stays, and a clean exit of this editor adds nothing.
    later = start_editor(s, "later")
    answer_question(s, ["Escape"], "question-later")
    main_window(s)
    s.menu("x")
    s.wait("the editor to exit", lambda: later.poll() is not None, check_app=False)
    if recovery_files(s) != [path] or expression_part(path) != expected:
        raise Failure("Later did not keep the recovery file as it was")
    s.say("Later kept the recovery file")

    # Recover (the default button): the expression comes back; File > Save
    # writes exactly its bytes, and removes the recovery file.
    recovered = start_editor(s, "recover")
    answer_question(s, ["Return"], "question-recover")
    main_window(s)
    s.wait_markers("the recovered line", NEW_LINE)
    s.screenshot("recovered")
    saved = os.path.join(s.art, "recovered.exp")
    E.save_through_dialog(s, lambda: s.menu("s"), saved, "Save Expression", "recovered-saved",
                          "the saved file")
    with open(saved, "rb") as f:
        if f.read() != expected:
            raise Failure("the recovered expression is not the one left behind")
    s.wait("Save to remove the recovery file", lambda: not recovery_files(s))
    s.say("Recover gave back the expression; Save removed the recovery file")

    # Discard removes it.
    change_and_wait_for_file(s, "another line")
    kill_hard(s, recovered)
    discard = start_editor(s, "discard")
    answer_question(s, ["alt+d"], "question-discard")
    main_window(s)
    s.wait("Discard to remove the recovery file", lambda: not recovery_files(s))
    s.say("Discard removed the recovery file")

    # Two editors at once: the second is not offered the first one's file.
    own = change_and_wait_for_file(s, "a line in the first of two editors")
    second = start_editor(s, "second")
    s.wait("the second main window",
           lambda: len(s.xdo("search", "--onlyvisible", "--name", "^%s$" % MAIN).split()) == 2)
    shown = time.monotonic()
    s.wait("a while after the second window came up", lambda: time.monotonic() - shown > 3)
    if s.find_window(QUESTION):
        s.screenshot("second-asked")
        raise Failure("the second editor was offered the first one's recovery file")
    s.screenshot("two-editors")
    second.terminate()
    second.wait()
    if recovery_files(s) != [own]:
        raise Failure("the first editor's recovery file did not stay its own")
    s.say("a second editor running at the same time was not offered the first one's file")

    # A clean exit with Discard: nothing of the first editor is left.
    s.app = discard
    wid = s.wait_window(MAIN)
    s.calibrate(wid)
    s.menu("x")
    answer_question(s, ["Tab", "space"], "exit-discard")
    s.wait("the editor to exit", lambda: discard.poll() is not None, check_app=False)
    left = os.listdir(folder(s)) if os.path.isdir(folder(s)) else []
    if left:
        raise Failure("left in the recovery folder after a clean exit: %s" % left)
    s.say("a clean exit left the recovery folder empty")


def main():
    return E.run_session(__doc__, 2, run)


if __name__ == "__main__":
    sys.exit(main())
