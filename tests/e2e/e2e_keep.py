#!/usr/bin/python3
"""End-to-end run: nothing lost, nothing silent.

The real editor in a real X session (Xvfb with openbox, as e2e_run.py
starts it), driven with xdotool: Open of a named pipe comes back at once
with its message and the window goes on answering; Save and Save Image onto
a really full file system (a small tmpfs) show their message and leave the
old files byte for byte and nothing else; a name typed without an extension
is saved with ".exp", and the overwrite question comes for that name; with
unsaved changes the window's close button, File > New, File > Open and
File > Exit ask "Save the changes to this expression?", and Save, Discard
and Cancel each do what they say; without changes nothing asks. The end of
the desktop session asks too: a tiny X session manager (tinysm) ends it.

The tmpfs is mounted as root, or, for anyone else, in a user and mount
namespace the run starts itself again in (unshare).

usage: e2e_keep.py EDITOR ARTEFACT_DIR TINYSM
"""

import os
import select
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e_run as E  # noqa: E402
from e2e_run import Failure  # noqa: E402

QUESTION = "Corvel Quillmark"  # the save question's title
MAIN = "Corvel Quillmark V4.3"
NEW_LINE = [(26, 160), (70, 160), (114, 160)]  # a new horizontal line's handles
CHK_MARKERS = (487, 40)


class TinyDisk:
    """A tmpfs of a few pages, filled up but for what is put in it first."""

    def __init__(self):
        self.path = tempfile.mkdtemp(prefix="qm-e2e-full-")
        subprocess.run(["mount", "-t", "tmpfs", "-o", "size=64k,nr_inodes=16,mode=0755",
                        "tmpfs", self.path], check=True, capture_output=True)

    def fill(self):
        with open(os.path.join(self.path, "filler"), "wb", buffering=0) as f:
            try:
                while f.write(b"f" * 4096):
                    pass
            except OSError:
                pass

    def names(self):
        return sorted(os.listdir(self.path))

    def remove(self):
        subprocess.run(["umount", self.path], capture_output=True)
        os.rmdir(self.path)


class SessionManager:
    """quillmark-tinysm: ends the desktop session on request and reports
    what its client does, one event a line."""

    def __init__(self, program, env):
        self.proc = subprocess.Popen([program], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     env=env)
        self.pending = b""  # read, not yet taken as lines
        first = self.event()
        if not first or not first.startswith("SESSION_MANAGER="):
            raise Failure("tinysm did not start: %r" % first)
        self.address = first.split("=", 1)[1]

    def event(self, timeout=E.STEP_TIMEOUT):
        """The next line, read straight from the pipe (a buffered reader
        would hide lines it has read ahead from select)."""
        fd = self.proc.stdout.fileno()
        while b"\n" not in self.pending:
            if not select.select([fd], [], [], timeout)[0]:
                return None
            chunk = os.read(fd, 4096)
            if not chunk:
                return None
            self.pending += chunk
        line, self.pending = self.pending.split(b"\n", 1)
        return line.decode().strip()

    def expect(self, *events):
        for want in events:
            got = self.event()
            if got != want:
                raise Failure("session manager: %r, expected %r" % (got, want))

    def end_session(self):
        self.proc.stdin.write(b"shutdown\n")
        self.proc.stdin.flush()

    def stop(self):
        """Closing its input ends it, and it takes its socket away."""
        self.proc.stdin.close()
        try:
            self.proc.wait(10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()


class Session(E.Session):
    """The e2e session, with the editor in the desktop session of tinysm,
    which runs with the session's scratch home."""

    def __init__(self, editor, artefacts, tinysm):
        super().__init__(editor, artefacts)
        try:
            self.manager = SessionManager(tinysm, self.base_env)
        except Failure:
            self.stop()
            raise

    def spawn(self, args, **kw):
        if args[0] == self.editor:
            kw["env"] = dict(kw["env"], SESSION_MANAGER=self.manager.address)
        return super().spawn(args, **kw)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def question(s, answer, app_may_end=False):
    """Waits for the save question and answers it with the keyboard:
    Save is the default button, Tab moves to Discard, Escape is Cancel.
    With app_may_end the answer lets the editor exit, which may come before
    the question is seen to close."""
    s.wait_window(QUESTION)
    s.screenshot("question-" + answer)
    if answer == "save":
        s.keys("Return")
    elif answer == "discard":
        s.keys("Tab", "space")
    else:
        s.keys("Escape")
    s.wait_window_gone(QUESTION, app_may_end)


def message(s, title, shot):
    """Waits for a message box, keeps its picture and closes it."""
    s.wait_window(title)
    s.screenshot(shot)
    s.keys("Return")
    s.wait_window_gone(title)


def confirm_overwrite(s, shot):
    """The save dialog's question before it replaces a file (a second
    window titled "Save As"): Yes."""
    s.wait("the overwrite question",
           lambda: len(s.xdo("search", "--onlyvisible", "--name", "^Save As$").split()) == 2)
    s.screenshot(shot)
    s.keys("alt+y")
    s.wait_window_gone("Save As")


def refused(s, dialog, path, title, shot):
    """Answers a file dialog with path (an existing file is replaced) and
    waits for the message that refuses it (which may share the dialog's
    title), then closes it."""
    dlg = s.wait_window(dialog)
    s.type(path)
    s.keys("Return")
    if dialog == "Save As" and os.path.exists(path):
        confirm_overwrite(s, shot + "-overwrite")
    box = s.wait("the %s message" % title, lambda: s.find_window(title) not in (None, dlg) and
                 s.find_window(title))
    s.wait("the message to take the focus", lambda: s.xdo("getactivewindow") == box)
    s.screenshot(shot)
    s.keys("Return")
    s.wait_window_gone(title)


def main_focus(s, wid):
    s.wait("the main window's focus", lambda: s.xdo("getactivewindow") == wid)


def no_question(s):
    if s.find_window(QUESTION):
        raise Failure("the save question came without unsaved changes")


def draw_line(s):
    s.keys("alt+d")
    s.wait_markers("a new line", NEW_LINE)


def run(s, disk, how):
    s.start()
    s.say("a tmpfs mounted " + how)
    wid = s.wait_window(MAIN)
    s.calibrate(wid)
    s.manager.expect("registered")  # the editor is in the desktop session

    # Open of a named pipe no one writes to: its message at once, and the
    # window goes on answering. Nothing changed yet, so nothing asks.
    fifo = os.path.join(s.art, "pipe.exp")
    os.mkfifo(fifo)
    s.menu("o")
    refused(s, "Open", fifo, "Open", "fifo-message")
    main_focus(s, wid)
    draw_line(s)
    s.say("Open of a pipe told why at once; the window answers")

    # The window's close button, with a change: asked; Cancel keeps it.
    frame = s.origin(wid)
    s.xdo("mousemove", "--sync", E.SCREEN_W - 10, frame[1] // 2)
    s.xdo("click", 1)
    question(s, "cancel")
    main_focus(s, wid)
    s.wait_markers("the line still there", NEW_LINE)
    if s.app.poll() is not None:
        raise Failure("the editor ended after Cancel")
    s.say("close button: asked, Cancel kept the window")

    # Save onto a full disk: the message, the old file byte for byte,
    # nothing left behind.
    old = bytes(6)
    with open(os.path.join(disk.path, "drawing.exp"), "wb") as f:
        f.write(old)
    with open(os.path.join(disk.path, "picture.bmp"), "wb") as f:
        f.write(b"BM old picture")
    disk.fill()
    s.menu("s")
    refused(s, "Save As", os.path.join(disk.path, "drawing.exp"), "Save", "full-disk-save")
    if read(os.path.join(disk.path, "drawing.exp")) != old:
        raise Failure("a failed Save changed the old file")
    if disk.names() != ["drawing.exp", "filler", "picture.bmp"]:
        raise Failure("a failed Save left files behind: %s" % disk.names())

    # Save Image onto the full disk, likewise.
    main_focus(s, wid)
    s.click(*E.CMD_SET_IMAGE)
    s.wait_markers("image mode", [], NEW_LINE)
    s.click(*E.CMD_SET_OUTLINE)
    s.drag((10, 140), (200, 200), steps=4)
    s.wait("the outline", lambda: s.grab().getpixel(s.at(200, 200)) == (0, 0, 255))
    s.keys("alt+i")
    refused(s, "Save As", os.path.join(disk.path, "picture.bmp"), "Save Image",
            "full-disk-save-image")
    if read(os.path.join(disk.path, "picture.bmp")) != b"BM old picture":
        raise Failure("a failed Save Image changed the old file")
    if disk.names() != ["drawing.exp", "filler", "picture.bmp"]:
        raise Failure("a failed Save Image left files behind: %s" % disk.names())
    main_focus(s, wid)
    s.click(*E.CMD_SET_IMAGE)  # back to drawing, markers shown again
    s.click(*CHK_MARKERS)
    s.wait_markers("the markers again", NEW_LINE)
    s.say("full disk: both saves told why, old files intact, nothing left behind")

    # File > New with a change: Save, through the dialog, a name typed
    # without an extension: it gets ".exp"; then New goes on.
    kept = os.path.join(s.art, "kept")
    main_focus(s, wid)
    s.menu("n")
    question(s, "save")
    s.file_dialog("Save As", kept)
    message(s, "Save Expression", "saved-with-extension")
    s.wait_markers("New went on", [], NEW_LINE)
    if os.path.exists(kept) or not os.path.exists(kept + ".exp"):
        raise Failure("a name without an extension was not saved with .exp")
    if read(kept + ".exp")[:6] != b"\x00\x00\xff\xff\x00\x00":
        raise Failure("kept.exp does not hold the line")
    s.say("New: asked, Save wrote kept.exp, the canvas was cleared")

    # The same name typed again: the overwrite question is about kept.exp.
    main_focus(s, wid)
    draw_line(s)
    s.menu("s")
    s.wait_window("Save As")
    s.type(kept)
    s.keys("Return")
    confirm_overwrite(s, "overwrite-question")
    message(s, "Save Expression", "overwritten")

    # Saved, so New asks nothing.
    main_focus(s, wid)
    s.menu("n")
    s.wait_markers("New without a question", [], NEW_LINE)
    no_question(s)

    # File > Open with a change: Discard, then the file is opened.
    draw_line(s)
    s.drag((70, 160), (300, 300))
    s.wait_markers("the line moved", [(300, 300)], NEW_LINE)
    s.menu("o")
    question(s, "discard")
    s.file_dialog("Open", kept + ".exp")
    s.wait_markers("kept.exp opened", NEW_LINE, [(300, 300)])
    s.say("Open: asked, Discard let the change go and opened the file")

    # File > Exit with a change: Cancel keeps the program; Save onto the
    # full disk fails, so Exit does not go on; Discard ends the program.
    main_focus(s, wid)
    s.drag((70, 160), (300, 300))
    s.wait_markers("the line moved", [(300, 300)], NEW_LINE)
    s.menu("x")
    question(s, "cancel")
    main_focus(s, wid)
    s.menu("x")
    question(s, "save")
    refused(s, "Save As", os.path.join(disk.path, "drawing.exp"), "Save", "exit-save-failed")
    if s.app.poll() is not None:
        raise Failure("Exit went on after a failed Save")
    main_focus(s, wid)
    s.wait_markers("the expression still there", [(300, 300)])
    s.say("Exit: Cancel stayed, a failed Save stayed")

    # The desktop session ends: asked with the session manager's leave;
    # Cancel stops the logout, Discard lets it end the program.
    sm = s.manager
    sm.end_session()
    sm.expect("interact-request")
    question(s, "cancel")
    sm.expect("interact-done cancel=1", "save-done", "cancelled")
    main_focus(s, wid)
    s.wait_markers("the expression still there", [(300, 300)])
    sm.end_session()
    sm.expect("interact-request")
    question(s, "discard", app_may_end=True)
    sm.expect("interact-done cancel=0", "save-done", "die")
    s.wait("the editor to exit", lambda: s.app.poll() is not None, check_app=False)
    if s.app.returncode != 0:
        raise Failure("the editor exited with status %s" % s.app.returncode)
    no_question(s)
    if read(os.path.join(disk.path, "drawing.exp")) != old:
        raise Failure("the failed Save on Exit changed the old file")
    E.check_log(s)
    s.say("session end: asked, Cancel stopped the logout, Discard ended the program")


def main():
    if len(sys.argv) != 4:
        print(__doc__)
        return 2
    if os.geteuid() != 0 and not os.environ.get("QUILLMARK_IN_USER_NAMESPACE"):
        # Mounting needs root: run again in a namespace of our own.
        env = dict(os.environ, QUILLMARK_IN_USER_NAMESPACE="1")
        args = ["unshare", "--user", "--map-root-user", "--mount", sys.executable] + sys.argv
        try:
            return subprocess.run(args, env=env).returncode
        except FileNotFoundError:
            print("not root and no unshare: cannot mount a tmpfs")
            return 1
    art = sys.argv[2]
    shutil.rmtree(art, ignore_errors=True)
    os.makedirs(art)
    try:
        s = Session(sys.argv[1], art, sys.argv[3])
    except Failure as e:
        print("FAIL: %s" % e)
        return 1
    disk = None
    try:
        disk = TinyDisk()
        run(s, disk, "in a user and mount namespace"
            if os.environ.get("QUILLMARK_IN_USER_NAMESPACE") else "as root")
        s.say("PASS")
        return 0
    except (Failure, subprocess.CalledProcessError) as e:
        s.say("FAIL: %s" % e)
        return 1
    finally:
        s.stop()
        s.manager.stop()
        if disk:
            disk.remove()


if __name__ == "__main__":
    sys.exit(main())
