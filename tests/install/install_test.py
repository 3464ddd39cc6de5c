#!/usr/bin/python3
"""The installed programs, as a user gets them.

install BUILD_DIR ARTEFACT_DIR
    Installs the build into a scratch prefix with DESTDIR and checks the
    installed files: the file list, the desktop entry (desktop-file-validate,
    which must say nothing at all), the application ID spelt the same in the
    names and contents of the desktop entry, icon, MIME package and AppStream
    file, the MIME type (update-mime-database into a scratch data folder,
    then xdg-mime query filetype), the AppStream file (appstreamcli validate
    --pedantic, with the licence, homepage, release and content rating), the
    release against the changelog (dpkg-parsechangelog), the copyright file
    (parsed as a machine-readable debian/copyright file, with a licence of
    its own for every bundled font), the manual pages (man --warnings, and
    every option of --help in them and the other way round), the icon (the
    SVG rendered by rsvg-convert against the PNGs). Runs the installed
    exporter, which must find its fonts in ../share and draw what the build
    tree's exporter draws, and the installed editor in a real X session with
    a scratch home folder and an expression file as its argument: the file's
    items are on the canvas, the window has the icon and the desktop entry's
    window class, and Save's dialog starts in the documents folder.

package PACKAGE_BUILD ARTEFACT_DIR
package --make SOURCE_DIR PACKAGE_BUILD ARTEFACT_DIR
    Makes the Debian package with CPack from PACKAGE_BUILD, an optimised
    build with the hardening flags (with --make, configures and builds it
    there first), runs lintian on it (no error, warning, info or pedantic
    tag that is not overridden with its reason), checks its file list,
    fields, Depends and description with dpkg-deb, unpacks it with dpkg -x
    into a scratch root and runs the exporter from there.
"""

import os
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

from debian.copyright import Copyright, MachineReadableFormatError
from fontTools.ttLib import TTFont
from PIL import Image, ImageChops, ImageStat

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "e2e"))
import e2e_run  # noqa: E402  (the X session and the expected file bytes)

APP_ID = "io.github.corvel.quillmark"
MIME_TYPE = "application/x-corvel-quillmark-expression"
ICON_SIZES = (16, 24, 32, 48, 64, 128, 256)
DOC = "usr/share/doc/corvel-quillmark/"
SHARE = "usr/share/corvel-quillmark/"
INSTALLED = sorted(
    ["usr/bin/corvel-quillmark", "usr/bin/corvel-quillmark-export"] +
    [SHARE + n for n in (
        "MathSymbols.ttf", "MathSymbolsBold.ttf", "Zidezir.ttf", "CorvelSans.ttf",
        "CorvelSansBold.ttf", "CorvelSansItalic.ttf", "CorvelSansBoldItalic.ttf",
        "CorvelSerif.ttf", "CorvelSerifBold.ttf", "CorvelSerifItalic.ttf",
        "CorvelSerifBoldItalic.ttf", "CorvelMono.ttf", "CorvelMath.otf",
        "CorvelMathRelations.otf", "CorvelMathExtra.otf", "CorvelMathGreek.otf",
        "CorvelMathLarge.otf", "CorvelMathDelimiters.otf", "CorvelMathPieces.otf",
        "CorvelMathAlphabets.otf", "marker.bmp", "KBnorm465.bmp", "KBshift465.bmp",
        "splash-logo.png", "Tvx4_3.qch")] +
    ["usr/share/icons/hicolor/%dx%d/apps/%s.png" % (s, s, APP_ID) for s in ICON_SIZES] +
    ["usr/share/icons/hicolor/scalable/apps/%s.svg" % APP_ID,
     "usr/share/applications/%s.desktop" % APP_ID,
     "usr/share/mime/packages/%s.xml" % APP_ID,
     "usr/share/metainfo/%s.metainfo.xml" % APP_ID,
     "usr/share/man/man1/corvel-quillmark.1.gz",
     "usr/share/man/man1/corvel-quillmark-export.1.gz",
     DOC + "copyright", DOC + "changelog.gz",
     "usr/share/lintian/overrides/corvel-quillmark"])
# What the programs need besides the libraries they link: Qt's plugins and
# the fonts of the window's labels.
DEPENDS_NAMED = {"libc6", "libstdc++6", "libqt6core6", "libqt6gui6", "libqt6widgets6",
                 "libqt6help6", "qt6-qpa-plugins", "libqt6sql6-sqlite", "fonts-liberation"}

# An expression in the three faces of the program's own fonts and a line:
# the exporter draws it right only when it has found those fonts.
TEXTS = [("MathSymbols", 0, 0, 100, "abg#", 34, 112, 30, 200, 92, -1),
         ("MathSymbols", -1, 0, 75, "SW", 434, 112, 430, 200, 92, -1),
         ("Zidezir", 0, 0, 100, "f(x)=2x", 34, 262, 30, 350, 92, -1)]
HLINES = [(200, 400, 60, 340, 12, -1)]
EXPRESSION = e2e_run.exp_bytes(TEXTS, HLINES, [])


class Failure(Exception):
    pass


def run(args, **kw):
    r = subprocess.run(args, capture_output=True, text=True, **kw)
    return r.returncode, r.stdout, r.stderr


def check(condition, message):
    if not condition:
        raise Failure(message)


def say(text):
    print(text, flush=True)


def clean_env():
    env = dict(os.environ)
    for name in ("XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION",
                 "GNOME_DESKTOP_SESSION_ID", "DISPLAY", "WAYLAND_DISPLAY"):
        env.pop(name, None)
    env.setdefault("ASAN_OPTIONS", "detect_leaks=0")
    return env


def file_list(root):
    out = []
    for folder, _, files in os.walk(root):
        for f in files:
            out.append(os.path.relpath(os.path.join(folder, f), root))
    return sorted(out)


def check_list(got, what):
    missing = sorted(set(INSTALLED) - set(got))
    extra = sorted(set(got) - set(INSTALLED))
    check(not missing and not extra, "%s: missing %s, unexpected %s" % (what, missing, extra))
    say("%s: the %d expected files" % (what, len(got)))


# --- the exporter ------------------------------------------------------------

def export_with(exe, work, name):
    exp = os.path.join(work, name + ".exp")
    with open(exp, "wb") as f:
        f.write(EXPRESSION)
    out = os.path.join(work, name + ".png")
    code, _, err = run([exe, "--format", "png", "-o", out, exp], env=clean_env())
    check(code == 0, "%s failed with status %d: %s" % (exe, code, err))
    with open(out, "rb") as f:
        return f.read()


def check_exporter(installed, build_dir, work):
    """The installed exporter draws byte for byte what the build tree's
    draws; with its fonts missing the symbols would come out in another
    face."""
    want = export_with(os.path.join(build_dir, "bin", "corvel-quillmark-export"), work, "built")
    got = export_with(installed, work, "installed")
    check(got == want, "%s draws the expression differently from the build tree's exporter "
          "(are its fonts found?)" % installed)
    say("%s: the same picture as the build tree's exporter" % installed)


# --- desktop files -------------------------------------------------------------

def check_desktop_entry(root):
    path = os.path.join(root, "usr/share/applications/%s.desktop" % APP_ID)
    code, out, err = run(["desktop-file-validate", path])
    check(code == 0 and not (out + err).strip(), "desktop-file-validate: " + out + err)
    with open(path) as f:
        entry = f.read()
    for line in ("Exec=corvel-quillmark %f", "MimeType=%s;" % MIME_TYPE,
                 "Categories=Education;Math;", "StartupWMClass=corvel-quillmark"):
        check(line in entry.splitlines(), "the desktop entry lacks " + line)
    say("desktop entry: valid, nothing to remark")


def check_application_id(root):
    """One lower-case reverse-DNS ID, spelt the same in the names and the
    contents of the desktop entry, the icons, the MIME package and the
    AppStream file."""
    check(re.fullmatch(r"[a-z][a-z0-9]*(\.[a-z][a-z0-9_]*){2,}", APP_ID), "ID " + APP_ID)
    named = {}  # what each file calls the program
    with open(os.path.join(root, "usr/share/applications/%s.desktop" % APP_ID)) as f:
        named["desktop entry's Icon"] = re.search(r"^Icon=(.*)$", f.read(), re.M).group(1)
    mime = ET.parse(os.path.join(root, "usr/share/mime/packages/%s.xml" % APP_ID))
    named["MIME type's icon"] = mime.find(
        ".//{http://www.freedesktop.org/standards/shared-mime-info}icon").get("name")
    meta = ET.parse(os.path.join(root, "usr/share/metainfo/%s.metainfo.xml" % APP_ID))
    named["AppStream id"] = meta.findtext("id")
    named["AppStream launchable"] = re.sub(r"\.desktop$", "", meta.findtext("launchable"))
    icons = [f for f in file_list(os.path.join(root, "usr/share/icons"))]
    for icon in icons:
        named["icon " + icon] = os.path.splitext(os.path.basename(icon))[0]
    wrong = {k: v for k, v in named.items() if v != APP_ID}
    check(not wrong, "not spelt %s: %s" % (APP_ID, wrong))
    say("application ID %s in the names and contents of %d files" % (APP_ID, len(named)))


def check_mime(root, work):
    data = os.path.join(work, "mime-data")
    os.makedirs(os.path.join(data, "mime", "packages"))
    shutil.copy(os.path.join(root, "usr/share/mime/packages/%s.xml" % APP_ID),
                os.path.join(data, "mime", "packages"))
    env = clean_env()
    env["XDG_DATA_HOME"] = data
    env["XDG_DATA_DIRS"] = data + ":/usr/share"
    code, out, err = run(["update-mime-database", os.path.join(data, "mime")], env=env)
    check(code == 0 and not err.strip(), "update-mime-database: " + out + err)
    sample = os.path.join(work, "sample.exp")
    with open(sample, "wb") as f:
        f.write(EXPRESSION)
    code, out, err = run(["xdg-mime", "query", "filetype", sample], env=env)
    check(code == 0 and out.strip() == MIME_TYPE,
          "xdg-mime query filetype gives %r (%s)" % (out.strip(), err.strip()))
    say("xdg-mime: %s" % out.strip())


def check_appstream(root, homepage):
    path = os.path.join(root, "usr/share/metainfo/%s.metainfo.xml" % APP_ID)
    code, out, err = run(["appstreamcli", "validate", "--pedantic", "--no-net", "--no-color", path])
    remarks = [line for line in (out + err).splitlines() if re.match(r"^[EWIP]: ", line)]
    check(code == 0 and not remarks, "appstreamcli validate --pedantic: " + out + err)
    meta = ET.parse(path)
    check(meta.findtext("project_license", "").startswith("MIT"),
          "project_license: %r" % meta.findtext("project_license"))
    check(meta.findtext("url[@type='homepage']") == homepage,
          "homepage %r, the package says %r" % (meta.findtext("url[@type='homepage']"), homepage))
    release = meta.find("releases/release")
    check(release is not None and release.get("date"), "no release with its date")
    say("AppStream: valid with --pedantic; %s, release %s of %s" %
        (meta.findtext("project_license"), release.get("version"), release.get("date")))
    return release.get("version"), release.get("date")


def check_changelog(root, release):
    """The release the AppStream file names is the changelog's latest."""
    changelog = os.path.join(root, DOC + "changelog.gz")
    plain = os.path.join(os.path.dirname(root), "changelog")
    with open(plain, "wb") as f:
        f.write(subprocess.run(["gzip", "-dc", changelog], capture_output=True,
                               check=True).stdout)
    fields = {}
    for name in ("Version", "Timestamp"):
        code, out, err = run(["dpkg-parsechangelog", "-l", plain, "-S", name])
        check(code == 0, "dpkg-parsechangelog: " + err)
        fields[name] = out.strip()
    date = subprocess.run(["date", "-u", "-d", "@" + fields["Timestamp"], "+%Y-%m-%d"],
                          capture_output=True, text=True, check=True).stdout.strip()
    check((fields["Version"], date) == release, "the changelog's latest release is %s of %s, "
          "the AppStream file's %s of %s" % ((fields["Version"], date) + release))
    say("changelog: release %s of %s" % (fields["Version"], date))
    return fields["Version"]


def font_families(paths):
    return sorted({TTFont(p)["name"].getBestFamilyName() for p in paths})


def check_copyright(root, homepage):
    """A machine-readable copyright file: every bundled font is named in a
    paragraph of its own under a licence other than the program's, every
    licence named has its text, and the source is the homepage."""
    with open(os.path.join(root, DOC + "copyright"), encoding="utf-8") as f:
        try:
            c = Copyright(f, strict=True)
        except MachineReadableFormatError as e:
            raise Failure("the copyright file is not machine-readable: %s" % e)
    check(c.header.source == homepage, "Source: %r" % c.header.source)
    texts = {p.license.synopsis for p in c.all_license_paragraphs()}
    files = list(c.all_files_paragraphs())
    for p in files:
        check(p.license.text.strip() or p.license.synopsis in texts,
              "no text of the licence %s" % p.license.synopsis)
    fonts = [f for f in file_list(root) if re.search(r"\.(ttf|otf)$", f)]
    check(fonts, "no fonts installed")
    for font in fonts:
        covering = c.find_files_paragraph(font)
        check(covering is not None and covering.files != ("*",) and
              covering.license.synopsis != "Expat",
              "%s has no paragraph with its licence in the copyright file" % font)
    say("copyright: machine-readable; %d fonts under %s" % (
        len(fonts), sorted({c.find_files_paragraph(f).license.synopsis for f in fonts})))


def on_white(img):
    white = Image.new("RGBA", img.size, (255, 255, 255, 255))
    white.alpha_composite(img.convert("RGBA"))
    return white.convert("RGB")


def check_icon(root, work):
    """Every PNG shows the scalable picture: the SVG rendered by rsvg-convert
    at that size, both laid on white, differ by a few levels at most."""
    theme = os.path.join(root, "usr/share/icons/hicolor")
    svg = os.path.join(theme, "scalable/apps/%s.svg" % APP_ID)
    for size in ICON_SIZES:
        rendered_path = os.path.join(work, "icon-%d.png" % size)
        r = subprocess.run(["rsvg-convert", "-w", str(size), "-h", str(size), "-o",
                            rendered_path, svg], capture_output=True)
        check(r.returncode == 0, "rsvg-convert: " + r.stderr.decode(errors="replace"))
        png = Image.open(os.path.join(theme, "%dx%d/apps/%s.png" % (size, size, APP_ID)))
        check(png.size == (size, size), "the %d px icon is %s" % (size, png.size))
        diff = ImageChops.difference(on_white(png), on_white(Image.open(rendered_path)))
        mean = max(ImageStat.Stat(diff).mean)
        check(mean < 6, "the %d px icon differs from the SVG by %.1f per channel" % (size, mean))
    say("icon: the SVG renders, and every PNG shows it")


def options_in(text):
    return set(re.findall(r"(?<![\w-])(--?[a-z][a-z-]*)", text))


def check_man_page(root, program):
    page = os.path.join(root, "usr/share/man/man1/%s.1.gz" % program)
    env = clean_env()
    env.update(MANWIDTH="100", LC_ALL="C.UTF-8", MAN_KEEP_FORMATTING="")
    code, text, err = run(["man", "--warnings", "-l", page], env=env)
    check(code == 0 and not err.strip(), "man --warnings -l %s: %s" % (page, err))
    text = re.sub(".\b", "", text)  # any overstrike left
    code, helptext, err = run([os.path.join(root, "usr/bin", program), "--help"], env=env)
    check(code == 0, "%s --help: status %d %s" % (program, code, err))
    in_help, in_man = options_in(helptext), options_in(text)
    check(in_help, "no options found in %s --help" % program)
    check(in_help <= in_man, "%s(1) lacks %s of --help" % (program, sorted(in_help - in_man)))
    check(in_man <= in_help, "%s --help lacks %s of the manual page" %
          (program, sorted(in_man - in_help)))
    say("%s(1): no warnings; the same %d options as --help" % (program, len(in_help)))


# --- the editor in a real X session -----------------------------------------------

class InstalledSession(e2e_run.Session):
    """The end-to-end session, with the installed editor started with a
    file argument after one of Qt's own options, which must be left to Qt,
    and a scratch home folder."""

    def __init__(self, editor, artefacts, resources, home, argument):
        super().__init__(editor, artefacts, resources)
        self.home = home
        self.argument = argument

    def spawn(self, args, **kw):
        if args and args[0] == self.editor:
            args = list(args) + ["-style", "Fusion", self.argument]
            env = dict(kw.get("env") or os.environ)
            env["HOME"] = self.home
            kw["env"] = env
        return super().spawn(args, **kw)


def check_editor(root, work, art):
    home = os.path.join(work, "home")
    os.makedirs(home)
    exp = os.path.join(work, "opened at start.exp")
    with open(exp, "wb") as f:
        f.write(EXPRESSION)
    s = InstalledSession(os.path.join(root, "usr/bin/corvel-quillmark"), art,
                         os.path.join(root, "usr/share/corvel-quillmark"), home, exp)
    try:
        s.start()
        wid = s.wait_window("Corvel Quillmark V4.3")
        s.calibrate(wid)

        def items_shown():
            img = s.grab()
            line = all(img.getpixel(s.at(x, y)) == (0, 0, 0)
                       for x in (100, 160, 300) for y in (396, 400, 404))
            text = e2e_run.ink_columns(s.canvas_image(img, (30, 100, 800, 360))) > 150
            return line and text
        s.wait("the file's items on the canvas", items_shown)
        s.screenshot("opened-from-command-line")
        s.say("the file named on the command line is on the canvas")
        icon = subprocess.run(["xprop", "-id", wid, "_NET_WM_ICON"], env=s.env,
                              capture_output=True, text=True).stdout
        check("_NET_WM_ICON(CARDINAL)" in icon, "the main window has no icon: " + icon[:80])
        # The desktop finds the window's entry by its class.
        wm_class = subprocess.run(["xprop", "-id", wid, "WM_CLASS"], env=s.env,
                                  capture_output=True, text=True).stdout
        check('"corvel-quillmark"' in wm_class, "WM_CLASS %s lacks the desktop entry's "
              "StartupWMClass corvel-quillmark" % wm_class.strip())

        # A bare name typed into Save's dialog lands in the folder it starts in.
        documents = os.path.join(home, "Documents", "Corvel Quillmark", "Expressions")
        target = os.path.join(documents, "probe.exp")
        s.menu("s")
        s.file_dialog("Save As", "probe.exp")
        s.wait_window("Save Expression")
        s.keys("Return")
        s.wait_window_gone("Save Expression")
        s.wait("probe.exp in the documents folder", lambda: os.path.exists(target))
        with open(target, "rb") as f:
            check(f.read() == EXPRESSION, "the saved expression differs from the opened one")
        s.say("Save's dialog started in %s" % documents)
        s.wait("the main window's focus", lambda: s.xdo("getactivewindow") == wid)
        s.menu("x")
        s.wait("the editor to exit", lambda: s.app.poll() is not None, check_app=False)
        check(s.app.returncode == 0, "the editor exited with status %s" % s.app.returncode)
        e2e_run.check_log(s)
    except e2e_run.Failure as e:
        raise Failure(str(e))
    finally:
        s.stop()


# --- the two commands ---------------------------------------------------------------

def homepage_of(build_dir):
    """The homepage the build was configured with, from the package's
    configuration (one place: the top CMakeLists.txt)."""
    with open(os.path.join(build_dir, "CPackConfig.cmake")) as f:
        m = re.search(r'set\(CPACK_DEBIAN_PACKAGE_HOMEPAGE "([^"]*)"\)', f.read())
    check(m, "no CPACK_DEBIAN_PACKAGE_HOMEPAGE in " + build_dir)
    return m.group(1)


def install(build_dir, art):
    work = tempfile.mkdtemp(prefix="qm-install-")
    try:
        root = os.path.join(work, "root")
        env = dict(os.environ, DESTDIR=root)
        code, out, err = run(["cmake", "--install", build_dir, "--prefix", "/usr"], env=env)
        check(code == 0, "cmake --install: " + out + err)
        check_list(file_list(root), "installed into a scratch prefix")
        homepage = homepage_of(build_dir)
        check_desktop_entry(root)
        check_application_id(root)
        check_mime(root, work)
        release = check_appstream(root, homepage)
        check_changelog(root, release)
        check_copyright(root, homepage)
        check_icon(root, work)
        for program in ("corvel-quillmark", "corvel-quillmark-export"):
            check_man_page(root, program)
        check_exporter(os.path.join(root, "usr/bin/corvel-quillmark-export"), build_dir, work)
        check_editor(root, work, art)
    finally:
        shutil.rmtree(work, ignore_errors=True)


def make_package_build(source_dir, build_dir):
    """An optimised build with the hardening flags, made or brought up to
    date here when no such build was named."""
    for args in (["cmake", "-S", source_dir, "-B", build_dir, "-DCMAKE_BUILD_TYPE=RelWithDebInfo",
                  "-DQUILLMARK_TESTS=OFF", "-DQUILLMARK_BENCH=OFF", "-DQUILLMARK_HARDENING=ON"],
                 ["cmake", "--build", build_dir, "-j2"]):
        say(" ".join(args))
        code, out, err = run(args)
        check(code == 0, "%s: %s" % (" ".join(args), (out + err)[-4000:]))


def check_lintian(deb, art):
    """lintian as a distribution runs it, with the info and pedantic tags:
    every tag is fixed or overridden in the package with its reason."""
    code, out, err = run(["lintian", "--display-info", "--pedantic", "--show-overrides", "--no-cfg",
                          "--fail-on", "none", deb])
    with open(os.path.join(art, "lintian.txt"), "w") as f:
        f.write(out + err)
    check(code == 0, "lintian failed to run: " + err)
    tags = [line for line in out.splitlines() if re.match(r"^[EWIP]: ", line)]
    check(not tags, "lintian:\n" + "\n".join(tags))
    overridden = [line for line in out.splitlines() if line.startswith("O: ")]
    say("lintian: no tags; %d overridden, each with its reason" % len(overridden))


def check_description(deb, root):
    """The description names the faces the package really ships."""
    description = run(["dpkg-deb", "-f", deb, "Description"])[1]
    fonts = [os.path.join(root, f) for f in file_list(root) if re.search(r"\.(ttf|otf)$", f)]
    families = font_families(fonts)
    missing = [f for f in families if f not in description.replace("\n", " ")]
    check(not missing, "the package's description does not name %s: %s" % (missing, description))
    say("description: names %s" % ", ".join(families))


def package(build_dir, art, source_dir=None):
    if source_dir:
        make_package_build(source_dir, build_dir)
    work = tempfile.mkdtemp(prefix="qm-package-")
    try:
        code, out, err = run(["cpack", "-G", "DEB", "-B", work, "--config",
                              os.path.join(build_dir, "CPackConfig.cmake")])
        check(code == 0, "cpack: " + out + err)
        debs = [f for f in os.listdir(work) if f.endswith(".deb")]
        check(len(debs) == 1, "cpack made %s" % debs)
        deb = os.path.join(work, debs[0])
        shutil.copy(deb, art)
        arch = run(["dpkg", "--print-architecture"])[1].strip()
        check(re.fullmatch(r"corvel-quillmark_[0-9.]+_%s\.deb" % arch, debs[0]),
              "package file name " + debs[0])
        check_lintian(deb, art)
        code, listing, err = run(["dpkg-deb", "-c", deb])
        check(code == 0, "dpkg-deb -c: " + err)
        files = sorted(line.split()[-1].lstrip("./") for line in listing.splitlines()
                       if not line.startswith("d"))
        check_list(files, debs[0])
        fields = {}
        for name in ("Package", "Architecture", "Depends", "Maintainer", "Description", "Homepage"):
            fields[name] = run(["dpkg-deb", "-f", deb, name])[1].strip()
        check(fields["Package"] == "corvel-quillmark", "Package: " + fields["Package"])
        check(fields["Architecture"] == arch, "Architecture: " + fields["Architecture"])
        check(fields["Maintainer"] and fields["Description"], "Maintainer or Description empty")
        check(fields["Homepage"] == homepage_of(build_dir), "Homepage: " + fields["Homepage"])
        depends = {d.split()[0] for alt in fields["Depends"].split(",") for d in alt.split("|")
                   if d.strip()}
        check(DEPENDS_NAMED <= depends, "Depends lacks %s: %s" %
              (sorted(DEPENDS_NAMED - depends), fields["Depends"]))
        # Computed, not written by hand: versions taken from the libraries.
        check(re.search(r"libqt6widgets6 \(>= [0-9]", fields["Depends"]),
              "Depends holds no library versions: " + fields["Depends"])
        say("%s: Depends: %s" % (debs[0], fields["Depends"]))
        root = os.path.join(work, "root")
        code, out, err = run(["dpkg", "-x", deb, root])
        check(code == 0, "dpkg -x: " + err)
        check_description(deb, root)
        check_exporter(os.path.join(root, "usr/bin/corvel-quillmark-export"), build_dir, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)


def main():
    args = sys.argv[1:]
    source_dir = None
    if len(args) == 5 and args[0] == "package" and args[1] == "--make":
        source_dir = os.path.abspath(args[2])
        args = [args[0]] + args[3:]
    if len(args) != 3 or args[0] not in ("install", "package"):
        print(__doc__)
        return 2
    build_dir, art = os.path.abspath(args[1]), os.path.abspath(args[2])
    shutil.rmtree(art, ignore_errors=True)
    os.makedirs(art)
    try:
        if args[0] == "install":
            install(build_dir, art)
        else:
            package(build_dir, art, source_dir)
    except Failure as e:
        print("FAIL: %s" % e, flush=True)
        return 1
    print("PASS", flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
