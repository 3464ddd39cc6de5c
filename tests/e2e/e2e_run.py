#!/usr/bin/python3
"""End-to-end run of the real editor in a real X session.

Starts Xvfb (1920 x 1080) with openbox as its window manager, starts the
built editor in it and drives it with xdotool as a person would: text mode,
typing on the keyboard and by clicks on the symbol keyboard, Enter,
dragging by handles, lines, File > Save through the real dialog and message
box, File > New, File > Open, image export (a bitmap, then a PNG picked by
the dialog's type list), Help, File > Exit. The saved file's bytes are
compared with the bytes the expected tables give, and the saved bitmaps,
decoded by netpbm, with the screen's pixels inside the outline.

Every step waits for what it needs (a window, a file, a marker on the screen)
with a bounded poll instead of relying on a fixed sleep. A screenshot of each
step is kept in the artefact folder.

usage: e2e_run.py EDITOR ARTEFACT_DIR
Environment: QUILLMARK_E2E_DISPLAY=N uses display :N instead of letting Xvfb
pick a free one.
"""

import os
import select
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time

from PIL import Image

SCREEN_W, SCREEN_H = 1920, 1080
TOOL_STRIP_H = 97  # the tool strip covers canvas rows 0..96
STEP_TIMEOUT = 30.0  # seconds any one wait may take (the sanitised build is slow)
CARET = (0xC0, 0xC0, 0xFF)  # 0xFFC0C0 as 0x00BBGGRR


class Failure(Exception):
    pass


class Session:
    def __init__(self, editor, artefacts, resources=None):
        self.editor = os.path.abspath(editor)
        # The editor's pictures: beside it, or where an installed one has them.
        self.folder = resources or os.path.dirname(self.editor)
        self.art = os.path.abspath(artefacts)
        self.procs = []
        self.display = None
        self.shot_no = 0
        self.log = open(os.path.join(self.art, "run.log"), "w")
        self.marker = Image.open(os.path.join(self.folder, "marker.bmp")).convert("RGB")
        # A home and runtime folder of the run's own, removed by stop(): what
        # earlier runs left in the user's (a session manager's or a window
        # manager's files, a stale lock) cannot reach this one.
        self.scratch = tempfile.mkdtemp(prefix="qm-e2e-home-")
        self.base_env = dict(os.environ)
        self.base_env.update({
            "HOME": self.scratch,
            "XDG_CONFIG_HOME": os.path.join(self.scratch, ".config"),
            "XDG_DATA_HOME": os.path.join(self.scratch, ".local", "share"),
            "XDG_CACHE_HOME": os.path.join(self.scratch, ".cache"),
            "XDG_STATE_HOME": os.path.join(self.scratch, ".local", "state"),
            "XDG_RUNTIME_DIR": os.path.join(self.scratch, "runtime"),
            "ICEAUTHORITY": os.path.join(self.scratch, ".ICEauthority"),
            "XAUTHORITY": os.path.join(self.scratch, ".Xauthority"),
        })
        os.mkdir(self.base_env["XDG_RUNTIME_DIR"], 0o700)

    # --- processes -------------------------------------------------------

    def say(self, text):
        line = "[%7.2f] %s" % (time.monotonic() - self.t0, text)
        print(line, flush=True)
        self.log.write(line + "\n")
        self.log.flush()

    def start(self):
        self.t0 = time.monotonic()
        fixed = os.environ.get("QUILLMARK_E2E_DISPLAY")
        xlog = open(os.path.join(self.art, "xvfb.log"), "w")
        args = ["Xvfb", "-screen", "0", "%dx%dx24" % (SCREEN_W, SCREEN_H), "-nolisten", "tcp",
                # No reset when the last client leaves: during a reset new
                # connections are refused.
                "-noreset"]
        if fixed:
            self.display = ":" + fixed
            self.spawn(args[:1] + [self.display] + args[1:], stdout=xlog, stderr=xlog)
        else:
            r, w = os.pipe()
            self.spawn(args + ["-displayfd", str(w)], pass_fds=(w,), stdout=xlog, stderr=xlog)
            os.close(w)
            number = self.read_line(r)
            os.close(r)
            self.display = ":" + number
        self.env = dict(self.base_env)
        self.env["DISPLAY"] = self.display
        # A plain X desktop: Qt's own dialogs, no settings of the user's.
        for name in ("QT_QPA_PLATFORM", "QT_QPA_PLATFORMTHEME", "XDG_CURRENT_DESKTOP",
                     "DESKTOP_SESSION", "WAYLAND_DISPLAY", "GNOME_DESKTOP_SESSION_ID",
                     "KDE_FULL_SESSION", "QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS"):
            self.env.pop(name, None)
        self.env["QT_QPA_PLATFORM"] = "xcb"
        self.env.setdefault("ASAN_OPTIONS", "detect_leaks=0")
        self.wait("X server %s" % self.display,
                  lambda: subprocess.run(["xdpyinfo"], env=self.env, capture_output=True)
                  .returncode == 0)
        self.say("X server on %s" % self.display)
        wmlog = open(os.path.join(self.art, "openbox.log"), "w")
        self.spawn(["openbox", "--sm-disable"], env=self.env, stdout=wmlog, stderr=wmlog)
        self.wait("window manager", self.wm_running)
        self.say("openbox running")
        applog = open(os.path.join(self.art, "editor.log"), "w")
        self.app = self.spawn([self.editor], env=self.env, cwd=self.art, stdout=applog,
                              stderr=applog)

    def spawn(self, args, **kw):
        p = subprocess.Popen(args, start_new_session=True, **kw)
        self.procs.append(p)
        return p

    def read_line(self, fd):
        deadline = time.monotonic() + STEP_TIMEOUT
        data = b""
        while not data.endswith(b"\n"):
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([fd], [], [], left)[0]:
                raise Failure("Xvfb did not report its display")
            chunk = os.read(fd, 16)
            if not chunk:
                raise Failure("Xvfb ended before reporting its display")
            data += chunk
        return data.decode().strip()

    def wm_running(self):
        r = subprocess.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], env=self.env,
                           capture_output=True, text=True)
        return r.returncode == 0 and "window id" in r.stdout

    def stop(self):
        for p in reversed(self.procs):
            if p.poll() is None:
                try:
                    os.killpg(p.pid, signal.SIGTERM)
                except ProcessLookupError:
                    pass
                try:
                    p.wait(10)
                except subprocess.TimeoutExpired:
                    os.killpg(p.pid, signal.SIGKILL)
                    p.wait()
        shutil.rmtree(self.scratch, ignore_errors=True)
        grab = os.path.join(self.art, ".grab.png")
        if os.path.exists(grab):
            os.remove(grab)

    # --- waiting ---------------------------------------------------------

    def wait(self, what, condition, timeout=STEP_TIMEOUT, check_app=True):
        deadline = time.monotonic() + timeout
        while True:
            if check_app and hasattr(self, "app") and self.app.poll() is not None:
                raise Failure("the editor ended (status %s) while waiting for %s" %
                              (self.app.returncode, what))
            value = condition()
            if value:
                return value
            if time.monotonic() > deadline:
                self.screenshot("timeout")
                raise Failure("timed out waiting for " + what)
            time.sleep(0.1)

    # --- X helpers -------------------------------------------------------

    def xdo(self, *args):
        r = subprocess.run(["xdotool"] + [str(a) for a in args], env=self.env,
                           capture_output=True, text=True)
        if r.returncode != 0 and args[0] not in ("search", "getactivewindow"):
            raise Failure("xdotool %s: %s" % (" ".join(map(str, args)), r.stderr.strip()))
        return r.stdout.strip() if r.returncode == 0 else ""

    def find_window(self, title):
        ids = self.xdo("search", "--onlyvisible", "--name", "^%s$" % title)
        return ids.split()[-1] if ids else None

    def wait_window(self, title):
        wid = self.wait('window "%s"' % title, lambda: self.find_window(title))
        self.wait('window "%s" to take the focus' % title,
                  lambda: self.xdo("getactivewindow") == wid)
        return wid

    def wait_window_gone(self, title, app_may_end=False):
        """With app_may_end, the answer given in the window lets the editor
        exit: its end counts as the window gone, and the log says which
        was seen first."""
        if not app_may_end:
            self.wait('window "%s" to close' % title, lambda: self.find_window(title) is None)
            return
        ended = self.wait('window "%s" to close or the editor to end' % title,
                          lambda: ("the editor ended" if self.app.poll() is not None else
                                   self.find_window(title) is None and "the window closed"),
                          check_app=False)
        self.say('window "%s": %s first' % (title, ended))

    def origin(self, wid):
        r = subprocess.run(["xwininfo", "-id", wid], env=self.env, capture_output=True,
                           text=True, check=True)
        x = y = None
        for line in r.stdout.splitlines():
            line = line.strip()
            if line.startswith("Absolute upper-left X:"):
                x = int(line.split(":")[1])
            elif line.startswith("Absolute upper-left Y:"):
                y = int(line.split(":")[1])
        return x, y

    def grab(self):
        path = os.path.join(self.art, ".grab.png")
        subprocess.run(["import", "-window", "root", path], env=self.env, check=True,
                       capture_output=True)
        return Image.open(path).convert("RGB")

    def screenshot(self, name):
        self.shot_no += 1
        path = os.path.join(self.art, "%02d-%s.png" % (self.shot_no, name))
        subprocess.run(["import", "-window", "root", path], env=self.env, capture_output=True)
        self.say("screenshot " + os.path.basename(path))
        return path

    # --- the canvas --------------------------------------------------------

    def calibrate(self, wid):
        """Finds the canvas origin on the screen: the window's client area
        holds the menu bar, then the canvas, whose first 97 rows the tool
        strip covers; the first white row on the far right is canvas row 97.
        Waits until the window has painted that far: the row above is the
        strip's (a window still being painted may show white there), and
        two grabs in a row agree."""
        cx, cy = self.origin(wid)
        col = min(SCREEN_W - 4, cx + 1900)
        white = (255, 255, 255)
        last = [None]

        def white_row():
            img = self.grab()
            found = None
            for y in range(cy + TOOL_STRIP_H, min(SCREEN_H, cy + 300)):
                if img.getpixel((col, y)) == white:
                    if img.getpixel((col, y - 1)) != white:
                        found = y
                    break
            settled = found is not None and found == last[0]
            last[0] = found
            return found if settled else None
        first = self.wait("the canvas below the tool strip", white_row)
        self.cx, self.cy = cx, first - TOOL_STRIP_H
        self.say("canvas origin at (%d, %d)" % (self.cx, self.cy))

    def at(self, x, y):
        return self.cx + x, self.cy + y

    def canvas_image(self, img, box=(0, 97, 1200, 900)):
        return img.crop((self.cx + box[0], self.cy + box[1], self.cx + box[2], self.cy + box[3]))

    def marker_at(self, img, hx, hy):
        x0, y0 = self.at(hx - 4, hy - 4)
        for dy in range(9):
            for dx in range(9):
                if img.getpixel((x0 + dx, y0 + dy)) != self.marker.getpixel((dx, dy)):
                    return False
        return True

    def wait_markers(self, what, present=(), absent=()):
        def check():
            img = self.grab()
            return (all(self.marker_at(img, x, y) for x, y in present) and
                    not any(self.marker_at(img, x, y) for x, y in absent))
        self.wait(what, check)

    def caret_seen(self, img):
        crop = self.canvas_image(img, (0, 97, 1500, 500))
        return CARET in set(crop.getdata())

    def wait_caret(self, shown):
        """Text mode shows a caret that blinks once a second; off, none for
        more than a blink period."""
        if shown:
            self.wait("the caret", lambda: self.caret_seen(self.grab()))
            return
        since = [time.monotonic()]

        def gone():
            if self.caret_seen(self.grab()):
                since[0] = time.monotonic()
            return time.monotonic() - since[0] > 1.2
        self.wait("no caret", gone)

    # --- input -------------------------------------------------------------

    def click(self, x, y, button=1):
        sx, sy = self.at(x, y)
        self.xdo("mousemove", "--sync", sx, sy)
        self.xdo("click", button)

    def drag(self, start, end, steps=8, button=1):
        sx, sy = self.at(*start)
        ex, ey = self.at(*end)
        self.xdo("mousemove", "--sync", sx, sy)
        self.xdo("mousedown", button)
        for i in range(1, steps + 1):
            self.xdo("mousemove", "--sync", sx + (ex - sx) * i // steps,
                     sy + (ey - sy) * i // steps)
        self.xdo("mouseup", button)

    def keys(self, *names):
        self.xdo("key", "--delay", 60, *names)

    def type(self, text):
        self.xdo("type", "--delay", 80, text)

    def menu(self, letter):
        """File menu by its access keys."""
        box = (self.cx, self.cy, self.cx + 120, self.cy + 80)  # below "File"
        closed = self.grab().crop(box)
        self.keys("alt+f")
        self.wait("the File menu", lambda: self.grab().crop(box) != closed)
        self.keys(letter)

    def file_dialog(self, title, path):
        self.wait_window(title)
        self.screenshot("dialog-" + title.replace(" ", "-").lower())
        self.type(path)
        self.keys("Return")
        self.wait_window_gone(title)


# --- expected file bytes -------------------------------------------------

def exp_bytes(texts, hlines, vlines):
    def s16(v):
        return struct.pack("<h", v)

    def string(s):
        b = s.encode("latin-1")
        return s16(len(b)) + b
    out = b"".join(s16(-1 if t else 0) for t in (texts, hlines, vlines))
    if texts:
        out += struct.pack("<i", len(texts) - 1)
        for (font, bold, italic, size, text, x, y, mx, my, h, live) in texts:
            out += (string(font) + s16(bold) + s16(italic) + s16(size) + string(text) +
                    b"".join(s16(v) for v in (x, y, mx, my, h, live)))
    for table in (hlines, vlines):
        if table:
            out += struct.pack("<i", len(table) - 1)
            for row in table:
                out += b"".join(s16(v) for v in row)
    return out


def first_difference(a, b):
    for i in range(min(len(a), len(b))):
        if a[i] != b[i]:
            return "byte %d: %02x, expected %02x" % (i, a[i], b[i])
    return "length %d, expected %d" % (len(a), len(b))


# --- the run -----------------------------------------------------------------

# Click positions of tool-strip controls, in canvas pixels: the centre of
# each from its stored place (1/1440 inch, 15 to the pixel) in its frame.
CHK_TEXT = (176 + 168 + 20, 8 + 16 + 12)
CBO_FONT = (176 + 8 + 50, 8 + 16 + 10)
CHK_SHOW_KB = (408 + 8 + 10, 8 + 16 + 16)
CMD_SET_IMAGE = (600 + 8 + 20, 8 + 16 + 16)
CMD_SET_OUTLINE = (600 + 48 + 24, 8 + 16 + 16)
CBO_SIZE_RED = (600 + 96 + 15, 8 + 24 + 10)



def commit_line(s, what):
    """Enter: the line becomes a text item with its handle at
    (25, height + 95); text mode ends, markers are on. Gives the height."""
    s.keys("Return")
    s.wait_caret(False)
    img = s.grab()
    heights = [h for h in range(20, 400) if s.marker_at(img, 25, 95 + h)]
    if len(heights) != 1:
        raise Failure("the handle of the new %s was not found below (25, 95)" % what)
    s.say("%s: text height %d" % (what, heights[0]))
    return heights[0]


def keyboard_left(s, wid):
    """The symbol keyboard's home: the window's outer width - 474."""
    r = subprocess.run(["xprop", "-id", wid, "_NET_FRAME_EXTENTS"], env=s.env,
                       capture_output=True, text=True)
    extents = [0, 0, 0, 0]
    if "=" in r.stdout:
        extents = [int(v) for v in r.stdout.split("=")[1].split(",")]
    info = subprocess.run(["xwininfo", "-id", wid], env=s.env, capture_output=True,
                          text=True).stdout
    width = int(info.split("Width:")[1].split()[0])
    return width + extents[0] + extents[1] - 474


def keyboard_shown(s, left, picture):
    img = s.grab()
    x0, y0 = s.at(left, 96)
    return img.crop((x0, y0, x0 + 465, y0 + 140)).tobytes() == picture.tobytes()


def symbol_line(s, wid):
    """Typical use, steps 1 to 3 with the symbol keyboard: "Math Symbols",
    "Show Keyboard", "&Text", then keys typed and keys clicked on the
    keyboard picture, one of them shifted, and Enter."""
    normal = Image.open(os.path.join(s.folder, "KBnorm465.bmp")).convert("RGB")
    shifted = Image.open(os.path.join(s.folder, "KBshift465.bmp")).convert("RGB")
    box = (s.cx + 150, s.cy + 20, s.cx + 330, s.cy + 200)  # the list and its popup
    closed = s.grab().crop(box)
    s.click(*CBO_FONT)
    s.wait("the font list", lambda: s.grab().crop(box) != closed)
    s.keys("Down", "Return")  # "Arial" -> "Math Symbols"
    s.wait("the font list to close", lambda: s.grab().crop(box).getpixel((5, 150)) == (255,) * 3)
    s.click(*CHK_SHOW_KB)
    left = keyboard_left(s, wid)
    s.wait("the symbol keyboard at (%d, 96)" % left, lambda: keyboard_shown(s, left, normal))
    s.screenshot("symbol-keyboard")
    s.click(*CHK_TEXT)
    s.wait_caret(True)

    def key(x, y):
        s.click(left + x, 96 + y)
    s.type("x")
    key(50, 45)  # q
    key(10, 100)  # the shift key
    s.wait("the shifted keyboard", lambda: keyboard_shown(s, left, shifted))
    key(50, 45)  # Q
    key(65, 15)  # the shifted 2 key: a backslash
    key(10, 100)
    s.wait("the normal keyboard again", lambda: keyboard_shown(s, left, normal))
    key(400, 75)  # #
    key(100, 30)  # between two rows: nothing
    s.type("=1")
    s.wait("the typed symbols", lambda: ink_columns(
        s.canvas_image(s.grab(), (30, 100, 700, 300))) > 100)
    s.screenshot("symbols-typed")
    height = commit_line(s, "symbol line")
    s.drag((25, 95 + height), (900, 400))
    s.wait_markers("the symbol line's handle at (900, 400)", [(900, 400)], [(25, 95 + height)])
    s.screenshot("symbols-dragged")
    return ("MathSymbols", 0, 0, 100, "xqQ\\#=1", 904, 404 - height, 900, 400, height, -1)


def export_image(s):
    """Step 7: "Se&t Image", "Set O&utline", an outline dragged on the
    workspace, "Save &Image" through the real dialog and message box; the
    bitmap's pixels must be the grey levels of the screen inside the
    outline."""
    s.click(*CMD_SET_IMAGE)
    # Image mode switches markers off.
    s.wait_markers("image mode without markers", [], [(300, 400), (436, 700), (700, 500)])
    s.screenshot("image-set")
    s.click(*CMD_SET_OUTLINE)
    corner1, corner2 = (280, 240), (1300, 480)  # canvas pixels
    s.drag(corner1, corner2, steps=12)
    blue = (0, 0, 255)
    s.wait("the blue outline", lambda: all(
        s.grab().getpixel(s.at(*p)) == blue for p in (corner1, corner2, (corner1[0], corner2[1]))))
    s.screenshot("outline")
    # Size reduction "4", the third entry, picked with the arrow keys.
    box = (s.cx + 680, s.cy + 25, s.cx + 760, s.cy + 60)
    before = s.grab().crop(box)
    s.click(*CBO_SIZE_RED)
    s.keys("Down", "Down")
    s.wait("the size reduction 4", lambda: s.grab().crop(box) != before)
    bmp_path = os.path.join(s.art, "e2e image.bmp")
    save_through_dialog(s, lambda: s.keys("alt+i"), bmp_path, "Save Image",
                        "image-saved-message", "the bitmap file")
    screen = s.grab()  # the outline is painted white over by now
    s.screenshot("image-saved")
    check_bitmap(s, bmp_path, screen, corner1, corner2, 4 * 3780)

    # A factor typed into the size field, one of the list's, is the one
    # stored. The click goes beside the first one: the pointer is still
    # there, and a move to where it already is keeps "mousemove --sync"
    # waiting.
    s.click(CBO_SIZE_RED[0] - 6, CBO_SIZE_RED[1])
    s.keys("ctrl+a")
    s.type("8")
    s.keys("Return")
    typed_path = os.path.join(s.art, "e2e typed size.bmp")
    save_through_dialog(s, lambda: s.keys("alt+i"), typed_path, "Save Image",
                        "typed-size-saved-message", "the bitmap with a typed size")
    s.screenshot("typed-size-saved")
    check_bitmap(s, typed_path, s.grab(), corner1, corner2, 8 * 3780)
    save_png_by_type(s, bmp_path)


def save_png_by_type(s, bmp_path):
    """Save Image again, with "PNG Image (*.png)" picked in the dialog's
    type list and a bare name typed: the editor writes NAME.png, whose
    pixels (decoded by netpbm's pngtopnm) are the bitmap's."""
    png_path = os.path.join(s.art, "e2e picture.png")
    if os.path.exists(png_path):
        os.remove(png_path)
    s.keys("alt+i")
    wid = s.wait_window("Save As")
    x, y = s.origin(wid)
    width, height = (int(v) for v in subprocess.run(
        ["xdotool", "getwindowgeometry", "--shell", wid], env=s.env, capture_output=True,
        text=True, check=True).stdout.split("WIDTH=")[1].replace("HEIGHT=", "").split()[:2])
    # "Files of type" is the dialog's bottom row, the name field the one
    # above it; both start a little right of the labels.
    s.xdo("mousemove", x + width // 2, y + height - 28)
    s.xdo("click", 1)
    s.keys("Down", "Return")
    s.xdo("mousemove", x + width // 2, y + height - 51)
    s.xdo("click", 1)
    s.screenshot("dialog-png-type")
    s.type(os.path.join(s.art, "e2e picture"))
    s.keys("Return")
    s.wait_window_gone("Save As")
    s.wait_window("Save Image")
    s.screenshot("png-saved-message")
    s.keys("Return")
    s.wait_window_gone("Save Image")
    s.wait("the PNG file", lambda: os.path.exists(png_path))
    png = subprocess.run(["pngtopnm", png_path], capture_output=True, check=True).stdout
    bmp = subprocess.run(["bmptopnm", bmp_path], capture_output=True, check=True).stdout
    as_grey = []
    for data in (png, bmp):
        path = os.path.join(s.art, ".decoded.pnm")
        with open(path, "wb") as f:
            f.write(data)
        as_grey.append(Image.open(path).convert("L").tobytes())
    if as_grey[0] != as_grey[1]:
        raise Failure("the PNG saved by type does not hold the bitmap's pixels")
    s.say("PNG by the dialog's type list: %s, the bitmap's pixels" % os.path.basename(png_path))


def help_again(s, wid):
    """Help shows the viewer in front; Help again while it is minimised
    brings it back in front."""
    s.keys("alt+h")
    viewer = s.wait_window("Corvel Quillmark Help")
    s.xdo("windowminimize", viewer)
    s.wait("the help viewer minimised", lambda: map_state(s, viewer) == "IsUnMapped")
    s.xdo("windowactivate", wid)
    s.wait("the main window's focus", lambda: s.xdo("getactivewindow") == wid)
    s.keys("alt+h")
    s.wait("the help viewer back in front", lambda: map_state(s, viewer) == "IsViewable"
           and s.xdo("getactivewindow") == viewer)
    s.screenshot("help-again")
    s.xdo("windowactivate", wid)


def map_state(s, wid):
    r = subprocess.run(["xwininfo", "-id", wid], env=s.env, capture_output=True, text=True)
    for line in r.stdout.splitlines():
        if line.strip().startswith("Map State:"):
            return line.split(":")[1].strip()
    return None


def save_through_dialog(s, start, path, message_title, shot, what):
    """Saves to path through the real file dialog (opened by start), then
    closes the message box that confirms it and waits for the file."""
    if os.path.exists(path):
        os.remove(path)
    start()
    s.file_dialog("Save As", path)
    s.wait_window(message_title)
    s.screenshot(shot)
    s.keys("Return")
    s.wait_window_gone(message_title)
    s.wait(what, lambda: os.path.exists(path))


def check_bitmap(s, path, screen, corner1, corner2, pixels_per_metre):
    with open(path, "rb") as f:
        data = f.read()
    width = corner2[0] - corner1[0] - 2
    height = corner2[1] - corner1[1] - 2
    (magic, size, offset, info, w, h, planes, bits, compression, image_size, xppm,
     yppm) = struct.unpack("<2sIxxxxIIiiHHIIii", data[:46])
    got = (magic, size, offset, info, w, h, planes, bits, compression, image_size, xppm, yppm)
    want = (b"BM", len(data), 118, 40, width, height, 1, 4, 2, len(data) - 118,
            pixels_per_metre, pixels_per_metre)
    if got != want:
        raise Failure("bitmap header %s, expected %s" % (got, want))
    palette = data[54:118]
    if palette != b"".join(bytes([17 * n] * 3 + [0]) for n in range(16)):
        raise Failure("the bitmap's palette is not the 16 greys")
    # Decoded by netpbm, not by the program's own code.
    pgm = subprocess.run(["bmptopnm", path], capture_output=True, check=True).stdout
    pgm_path = os.path.join(s.art, "e2e image.pgm")
    with open(pgm_path, "wb") as f:
        f.write(pgm)
    decoded = Image.open(pgm_path).convert("L")
    if decoded.size != (width, height):
        raise Failure("bmptopnm gives %s, expected %dx%d" % (decoded.size, width, height))
    # Workspace point (x, y) shows canvas point (x, y + 96); the capture
    # starts one pixel inside the outline's first corner.
    x0, y0 = s.at(corner1[0] + 1, corner1[1] + 1)
    area = screen.crop((x0, y0, x0 + width, y0 + height))
    area.save(os.path.join(s.art, "e2e image-screen-area.png"))
    bad = 0
    first = None
    dp, sp = decoded.load(), area.load()
    levels = set()
    for y in range(height):
        for x in range(width):
            level = sp[x, y][1] >> 4
            levels.add(level)
            if dp[x, y] != 17 * level:
                bad += 1
                first = first or (x, y, dp[x, y], sp[x, y])
    if bad:
        raise Failure("%d bitmap pixels differ from the screen's grey levels; first %s" %
                      (bad, first))
    if not {0, 15} <= levels:
        raise Failure("the captured area holds no black ink and white paper: %s" % levels)
    s.say("bitmap: %dx%d, %d bytes, every pixel the screen's grey level" %
          (width, height, len(data)))


def run(s):
    s.start()
    wid = s.wait_window("Corvel Quillmark V4.3")
    s.say("main window %s" % wid)
    s.calibrate(wid)
    s.screenshot("started")

    # 1. "&Text": the caret starts to blink after (30, 100).
    s.click(*CHK_TEXT)
    s.wait_caret(True)
    s.screenshot("text-mode")

    # 2. A line on the physical keyboard, with a correction.
    s.type("Qx+1")
    s.keys("BackSpace")
    s.type("2")
    s.wait("the typed line", lambda: ink_columns(s.canvas_image(s.grab(), (30, 100, 600, 300)))
           > 100)
    s.screenshot("typed")

    # 3. Enter commits it.
    height = commit_line(s, "text line")
    texts = [("Arial", 0, 0, 100, "Qx+2", 304, 404 - height, 300, 400, height, -1)]
    s.screenshot("committed")

    # 4. Drag the item by its handle.
    s.drag((25, 95 + height), (300, 400))
    s.wait_markers("the text item's handle at (300, 400)", [(300, 400)], [(25, 95 + height)])
    s.screenshot("text-dragged")

    # 5. "&Draw": a horizontal line at y 160 from 26 to 114; drag it by its
    # middle, then stretch its right end (436.5 rounds to 436).
    s.keys("alt+d")
    s.wait_markers("the new line's handles", [(26, 160), (70, 160), (114, 160)])
    s.screenshot("line-drawn")
    s.drag((70, 160), (400, 700))
    s.wait_markers("the line moved", [(356, 700), (400, 700), (444, 700)])
    s.drag((444, 700), (517, 700))
    s.wait_markers("the line stretched", [(356, 700), (436, 700), (517, 700)])
    s.screenshot("line-stretched")

    # A vertical line: "&Vertical", "&Draw", stretch its top end below its
    # bottom one, then carry it by its middle.
    s.keys("alt+v", "alt+d")
    s.wait_markers("the vertical line", [(60, 106), (60, 150), (60, 194)])
    s.drag((60, 106), (60, 300))
    s.wait_markers("the vertical line stretched", [(60, 300), (60, 247), (60, 194)])
    s.drag((60, 247), (700, 500))
    s.wait_markers("the vertical line moved", [(700, 553), (700, 500), (700, 447)])

    # One more horizontal line, deleted by a click on its handle while
    # Delete is held; the row stays in the table, dead.
    s.keys("alt+o", "alt+d")
    s.wait_markers("the second horizontal line", [(26, 160), (70, 160), (114, 160)])
    sx, sy = s.at(70, 160)
    s.xdo("mousemove", "--sync", sx, sy)
    s.xdo("keydown", "Delete")
    s.xdo("click", 1)
    s.xdo("keyup", "Delete")
    s.wait_markers("the second line deleted", [], [(26, 160), (70, 160), (114, 160)])
    s.screenshot("edited")

    # Steps 1 to 4 again with the symbol keyboard.
    texts.append(symbol_line(s, wid))
    before_save = s.canvas_image(s.grab())

    # 6. File > Save through the real dialog and message box.
    exp_path = os.path.join(s.art, "e2e expression.exp")
    save_through_dialog(s, lambda: s.menu("s"), exp_path, "Save Expression", "saved-message",
                        "the saved file")
    with open(exp_path, "rb") as f:
        saved = f.read()
    expected = exp_bytes(texts, [(436, 700, 356, 517, 12, -1), (70, 160, 26, 114, 12, 0)],
                         [(700, 500, 553, 447, 12, -1)])
    if saved != expected:
        raise Failure("the saved file differs from the expected tables: " +
                      first_difference(saved, expected))
    s.say("saved file: %d bytes as expected" % len(saved))

    # File > New empties the canvas; File > Open brings the expression back,
    # pixel for pixel.
    s.wait("the main window's focus", lambda: s.xdo("getactivewindow") == wid)
    s.menu("n")
    s.wait_markers("an empty canvas", [], [(300, 400), (400, 700), (700, 500)])
    s.screenshot("new")
    s.menu("o")
    s.file_dialog("Open", exp_path)
    s.wait("the expression opened again",
           lambda: s.canvas_image(s.grab()) == before_save)
    s.screenshot("opened")

    # 7. Image export. The access keys need the main window to have the
    # focus back from the Open dialog.
    s.wait("the main window's focus", lambda: s.xdo("getactivewindow") == wid)
    export_image(s)
    help_again(s, wid)

    # File > Exit ends the program cleanly; the help viewer goes with it.
    s.wait("the main window's focus", lambda: s.xdo("getactivewindow") == wid)
    s.menu("x")
    s.wait("the editor to exit", lambda: s.app.poll() is not None, check_app=False)
    if s.app.returncode != 0:
        raise Failure("the editor exited with status %s" % s.app.returncode)
    check_log(s)
    # The program keeps no settings: nothing in the user's folders for them.
    for folder in ("XDG_CONFIG_HOME", "XDG_DATA_HOME"):
        for root, _, files in os.walk(s.env[folder]):
            if files:
                raise Failure("the editor left settings behind: %s" %
                              os.path.join(root, files[0]))
    return True


def check_log(s):
    with open(os.path.join(s.art, "editor.log"), errors="replace") as f:
        log = f.read()
    for sign in ("ERROR: AddressSanitizer", "runtime error:", "ERROR: LeakSanitizer"):
        if sign in log:
            raise Failure("the editor's log holds a sanitizer report (see editor.log)")


def ink_columns(img):
    """Columns holding black ink."""
    w, h = img.size
    px = img.load()
    return sum(1 for x in range(w) if any(px[x, y] == (0, 0, 0) for y in range(h)))


def run_session(doc, nargs, run):
    """The main() of an end-to-end script: argv is EDITOR, nargs - 2 more
    arguments and the artefacts folder (last); run(session) does the work."""
    if len(sys.argv) != nargs + 1:
        print(doc)
        return 2
    art = sys.argv[-1]
    shutil.rmtree(art, ignore_errors=True)
    os.makedirs(art)
    s = Session(sys.argv[1], art)
    try:
        run(s)
        s.say("PASS")
        return 0
    except Failure as e:
        s.say("FAIL: %s" % e)
        return 1
    finally:
        s.stop()


def main():
    return run_session(__doc__, 2, run)


if __name__ == "__main__":
    sys.exit(main())
