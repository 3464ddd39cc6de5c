"""Builds the help project of Corvel Quillmark, ready for qhelpgenerator.

    make_help.py [--formulas EXPORTER EXAMPLES] PAGES_DIR SYMBOLTABLE_DIR LAYOUT_FILE OUT_DIR [PICTURE...]

Copies the written pages (PAGES_DIR, every .htm, .css and picture) and the
pictures named after OUT_DIR into OUT_DIR/html, writes the generated page
html/symbols.htm from the symbol table (SYMBOLTABLE_DIR/symboltable.py) and
the symbol keyboard's layout as the editor knows it (LAYOUT_FILE, written by
the keyboard_layout tool: one "key INDEX ROW COLUMN XFROM XTO YFROM YTO
CELLLEFT CELLTOP NORMALCODE SHIFTEDCODE" line a key, and a "shift" line),
and writes OUT_DIR/Tvx4_3.qhp, the project that lists every file, the table
of contents and the index.

With --formulas, the formula page (html/formulas.htm) gets its examples and
its lists of names: each line of EXAMPLES (blank lines and lines starting
with "#" aside) is typeset by EXPORTER, the command-line exporter, into a
picture beside the page, and the names of symbols and functions come from
formulanames.py (in SYMBOLTABLE_DIR), the table the formula reader's names
are generated from.

Before writing the project it checks the pages: every link and picture must
lead to a file of the help (and to an anchor that exists), and every page
must be reachable from the start page. Any fault ends the build.
"""

import html
import os
import shutil
import subprocess
import sys
from html.parser import HTMLParser
from posixpath import dirname, join, normpath

START_PAGE = "html/corv1nzi.htm"
NAMESPACE = "com.corvel.quillmark.tvx43"
VIRTUAL_FOLDER = "doc"
PROJECT = "Tvx4_3.qhp"

# The table of contents, in reading order. The generated page comes after
# the symbol keyboard's page.
CONTENTS = [
    "html/typing.htm",
    "html/keyboard.htm",
    "html/symbols.htm",
    "html/handles.htm",
    "html/lines.htm",
    "html/files.htm",
    "html/export.htm",
    "html/edit.htm",
    "html/formulas.htm",
    "html/reference.htm",
]

# Index entries: keyword, page (with an optional #anchor).
KEYWORDS = [
    ("text item", "html/typing.htm"),
    ("typing", "html/typing.htm"),
    ("font", "html/typing.htm"),
    ("size", "html/typing.htm"),
    ("Math Symbols", "html/keyboard.htm"),
    ("symbol keyboard", "html/keyboard.htm"),
    ("shift key", "html/keyboard.htm"),
    ("symbols, table of", "html/symbols.htm"),
    ("character codes", "html/symbols.htm"),
    ("handle", "html/handles.htm"),
    ("marker", "html/handles.htm"),
    ("moving items", "html/handles.htm"),
    ("deleting items", "html/handles.htm"),
    ("line", "html/lines.htm"),
    ("line width", "html/lines.htm"),
    ("expression file", "html/files.htm"),
    ("save", "html/files.htm"),
    ("open", "html/files.htm"),
    ("new", "html/files.htm"),
    ("image", "html/export.htm"),
    ("outline", "html/export.htm"),
    ("size reduction", "html/export.htm"),
    ("bitmap", "html/export.htm"),
    ("undo", "html/edit.htm"),
    ("redo", "html/edit.htm"),
    ("copy", "html/edit.htm"),
    ("paste", "html/edit.htm"),
    ("clipboard", "html/edit.htm"),
    ("formula", "html/formulas.htm"),
    ("Insert Formula", "html/formulas.htm"),
    ("symbol names", "html/formulas.htm#names"),
    ("matrix", "html/formulas.htm#arrays"),
    ("cases", "html/formulas.htm#arrays"),
    ("delimiters", "html/formulas.htm#delimiters"),
    ("fraction", "html/formulas.htm#fractions"),
    ("root", "html/formulas.htm#fractions"),
    ("named functions", "html/formulas.htm#functions"),
    ("accents", "html/formulas.htm#accents"),
    ("spaces in formulas", "html/formulas.htm#spaces"),
    ("keys", "html/reference.htm"),
    ("mouse", "html/reference.htm"),
]

PAGE_SUFFIXES = (".htm", ".html")
COPIED_SUFFIXES = PAGE_SUFFIXES + (".css", ".png", ".jpg", ".gif", ".bmp", ".svg")


def fail(message):
    sys.exit("make_help.py: " + message)


def load_symbols(symboltable_dir):
    sys.path.insert(0, symboltable_dir)
    try:
        import symboltable  # noqa: E402
    finally:
        sys.path.pop(0)
    return symboltable


def load_layout(symboltable_dir, path):
    """The keyboard as rows of keys, left to right, and the shift key's ranges."""
    sys.path.insert(0, symboltable_dir)
    try:
        from keyboardlayout import read_layout  # noqa: E402
    finally:
        sys.path.pop(0)
    try:
        layout = read_layout(path)
    except (OSError, ValueError) as e:
        fail("%s holds no keyboard layout (%s)" % (path, e))
    rows = {}
    for k in layout.keys:
        rows.setdefault(k.row, []).append(k)
    return [sorted(rows[r], key=lambda k: k.column) for r in sorted(rows)], layout.shift


def key_label(code, symbols):
    text = symbols.key_char(code)
    return "blank" if text == " " else text


def symbol_cell(code, symbols):
    char = symbols.symbol_for(code).char
    return "&nbsp;" if char.isspace() else html.escape(char)


def keyboard_table(rows, shift, shifted, symbols, caption, key_size=30):
    """One layout as rows of keys, each showing its symbol over its key.

    Each key spans two columns, so that rows can start half a key apart as on
    the picture; the keyboard's shift key fills the gap before the row it
    lies in.
    """
    half = key_size // 2
    out = ["<h3>%s</h3>" % html.escape(caption),
           '<table border="0" cellspacing="2" cellpadding="3">']
    for row in rows:
        cells = []
        lead = row[0].cell_left // half
        if lead and row[0].y_from == shift.y_from:
            cells.append('<td class="kb" colspan="%d"><b>Shift</b></td>' % lead)
        elif lead:
            cells.append('<td colspan="%d"></td>' % lead)
        for key in row:
            code = key.shifted if shifted else key.normal
            cells.append(
                '<td class="kb" colspan="2" width="30"><span style="font-size:15pt">%s</span><br>'
                '<span style="font-size:8pt">%s</span></td>'
                % (symbol_cell(code, symbols), html.escape(key_label(code, symbols))))
        out.append("<tr>" + "".join(cells) + "</tr>")
    out.append("</table>")
    return "\n".join(out)


def symbols_page(symbols, rows, shift):
    parts = [
        '<html>\n<head>\n<meta http-equiv="Content-Type" content="text/html; charset=utf-8">',
        "<title>Table of symbols</title>",
        '<link rel="stylesheet" type="text/css" href="help.css">\n</head>\n<body>',
        '<p class="nav"><a href="corv1nzi.htm">Contents</a></p>',
        "<h1>Table of symbols</h1>",
        "<p>With <b>Math Symbols</b> or <b>Math Symbols Bold</b> chosen, every "
        "character you type is drawn as a symbol. This page shows the symbol of every "
        "key, first on the two layouts of the <a href=\"keyboard.htm\">symbol keyboard</a>, "
        "then for every character code in order. The same table makes the symbol fonts "
        "and the keyboard pictures.</p>",
        '<h2 id="layouts"><a name="layouts"></a>The keyboard layouts</h2>',
        "<p>Each key shows its symbol above the key you press for it. Click the keyboard's "
        "<b>Shift</b> key to switch between the two layouts.</p>",
        keyboard_table(rows, shift, False, symbols, "Normal layout"),
        keyboard_table(rows, shift, True, symbols, "Shifted layout"),
        '<h2 id="codes"><a name="codes"></a>Every character and its symbol</h2>',
        "<p>Some symbols have no key on the symbol keyboard; type them on your own keyboard "
        "with the key in the second column.</p>",
        '<table border="1" cellspacing="0" cellpadding="3">',
        "<tr><th>Code</th><th>Key</th><th>Symbol</th><th>Name</th><th>On the symbol keyboard</th></tr>",
    ]
    where = {}
    for row in rows:
        for key in row:
            for layout, code in (("normal", key.normal), ("shifted", key.shifted)):
                if layout not in where.setdefault(code, []):
                    where[code].append(layout)
    for entry in symbols.SYMBOLS:
        parts.append(
            '<tr><td>%d</td><td class="key">%s</td><td class="sym">%s</td><td>%s</td><td>%s</td></tr>'
            % (entry.code, html.escape(key_label(entry.code, symbols)),
               symbol_cell(entry.code, symbols), html.escape(entry.name),
               ", ".join(where.get(entry.code, [])) or "&mdash;"))
    parts += ["</table>",
              '<p>See also: <a href="keyboard.htm">The symbol keyboard</a>, '
              '<a href="typing.htm">Typing a line and the fonts</a>.</p>',
              "</body>\n</html>\n"]
    return "\n".join(parts)


class LinkParser(HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.links = []
        self.anchors = set()
        self.title = ""
        self._in_title = False

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        for attr in ("href", "src"):
            if a.get(attr):
                self.links.append(a[attr])
        for attr in ("id", "name"):
            if tag != "meta" and a.get(attr):
                self.anchors.add(a[attr])
        if tag == "title":
            self._in_title = True

    def handle_endtag(self, tag):
        if tag == "title":
            self._in_title = False

    def handle_data(self, data):
        if self._in_title:
            self.title += data


def check_pages(out_dir, files):
    """Every link leads to a file of the help; every page is reachable."""
    pages = {}
    for f in files:
        if f.endswith(PAGE_SUFFIXES):
            p = LinkParser()
            with open(os.path.join(out_dir, f), encoding="utf-8") as fh:
                p.feed(fh.read())
            if not p.title.strip():
                fail("%s has no title" % f)
            pages[f] = p
    faults = []
    targets = {}
    for f, p in pages.items():
        targets[f] = set()
        for link in p.links:
            if "://" in link or link.startswith("mailto:"):
                faults.append("%s: link leaves the help: %s" % (f, link))
                continue
            path, _, anchor = link.partition("#")
            target = normpath(join(dirname(f), path)) if path else f
            if target not in files:
                faults.append("%s: dead link %s" % (f, link))
                continue
            if anchor and (target not in pages or anchor not in pages[target].anchors):
                faults.append("%s: no anchor %s" % (f, link))
            targets[f].add(target)
    if START_PAGE not in pages:
        faults.append("the start page %s is missing" % START_PAGE)
    else:
        seen, todo = {START_PAGE}, [START_PAGE]
        while todo:
            for t in targets[todo.pop()]:
                if t in pages and t not in seen:
                    seen.add(t)
                    todo.append(t)
        for f in sorted(set(pages) - seen):
            faults.append("%s cannot be reached from the start page" % f)
    for c in CONTENTS + [k[1].partition("#")[0] for k in KEYWORDS]:
        if c not in pages:
            faults.append("contents or index name a missing page %s" % c)
    if faults:
        fail("\n  ".join(["the help pages have faults:"] + faults))
    return {f: p.title.strip() for f, p in pages.items()}


def project(files, titles):
    e = html.escape
    toc = ['      <section title="%s" ref="%s">' % (e(titles[START_PAGE]), START_PAGE)]
    for c in CONTENTS:
        toc.append('        <section title="%s" ref="%s"/>' % (e(titles[c]), c))
    toc.append("      </section>")
    keywords = ['      <keyword name="%s" ref="%s"/>' % (e(k), r) for k, r in KEYWORDS]
    file_lines = ["      <file>%s</file>" % e(f) for f in sorted(files)]
    return "\n".join([
        '<?xml version="1.0" encoding="UTF-8"?>',
        '<QtHelpProject version="1.0">',
        "  <namespace>%s</namespace>" % NAMESPACE,
        "  <virtualFolder>%s</virtualFolder>" % VIRTUAL_FOLDER,
        "  <filterSection>",
        "    <toc>", *toc, "    </toc>",
        "    <keywords>", *keywords, "    </keywords>",
        "    <files>", *file_lines, "    </files>",
        "  </filterSection>",
        "</QtHelpProject>",
        ""])


FORMULA_PAGE = "formulas.htm"
EXAMPLES_MARK = "<!-- formula examples -->"
NAMES_MARK = "<!-- formula names -->"


def read_examples(path):
    with open(path, encoding="utf-8") as f:
        lines = [line.strip() for line in f]
    return [line for line in lines if line and not line.startswith("#")]


def formula_pictures(exporter, examples, html_out):
    """Typesets the examples into formula-example-N.png, one process for all."""
    args = [exporter, "--size", "50", "--format", "png", "--force",
            "-o", os.path.join(html_out, "formula-example.png")]
    for e in examples:
        args += ["--formula", e]
    done = subprocess.run(args, capture_output=True, text=True)
    if done.returncode != 0:
        fail("the exporter could not typeset the formula examples:\n" + done.stderr)
    names = ["formula-example-%d.png" % (i + 1) for i in range(len(examples))]
    if len(examples) == 1:
        os.replace(os.path.join(html_out, "formula-example.png"),
                   os.path.join(html_out, names[0]))
    return names


# The formula page's tables of names, by how the symbols sit in a formula.
NAME_GROUPS = [
    ("ord", "Letters and ordinary symbols"),
    ("bin", "Binary operators"),
    ("rel", "Relations and arrows"),
    ("op", "Large operators (limits above and below in display)"),
    ("int", "Integrals (limits beside them)"),
    ("open", "Opening delimiters"),
    ("close", "Closing delimiters"),
    ("punct", "Punctuation"),
    ("inner", "Dots"),
]


def names_table(entries, columns=4):
    rows = ['<table border="1" cellspacing="0" cellpadding="4">',
            "<tr>" + "<th>Name</th><th>Symbol</th>" * columns + "</tr>"]
    for i in range(0, len(entries), columns):
        cells = []
        for name, char in entries[i:i + columns]:
            shown = "\\" + name
            cells.append('<td><kbd>%s</kbd></td><td class="sym">%s</td>'
                         % (html.escape(shown), html.escape(char)))
        rows.append("<tr>" + "".join(cells) + "</tr>")
    rows.append("</table>")
    return "\n".join(rows)


def formula_page(text, examples, pictures, names_dir):
    """The page with its examples' pictures and the names of formulanames.py."""
    sys.path.insert(0, names_dir)
    try:
        import formulanames  # noqa: E402
    finally:
        sys.path.pop(0)

    rows = ['<table border="1" cellspacing="0" cellpadding="4">',
            "<tr><th>Formula line</th><th>Result (50 points)</th></tr>"]
    for e, pic in zip(examples, pictures):
        rows.append('<tr><td><kbd>%s</kbd></td><td><img src="%s" alt="%s"></td></tr>'
                    % (html.escape(e), pic, html.escape(e)))
    rows.append("</table>")
    names = []
    for cls, heading in NAME_GROUPS:
        entries = [(n, c) for n, c, k in formulanames.NAMES if k == cls]
        if entries:
            names.append("<h3>%s</h3>" % html.escape(heading))
            names.append(names_table(entries))
    names.append('<h3 id="functions"><a name="functions"></a>Named functions</h3>')
    names.append('<table border="1" cellspacing="0" cellpadding="4">'
                 "<tr><th>Name</th><th>Set as</th><th>Name</th><th>Set as</th>"
                 "<th>Name</th><th>Set as</th></tr>")
    functions = formulanames.FUNCTIONS
    for i in range(0, len(functions), 3):
        cells = []
        for name, shown, limits in functions[i:i + 3]:
            cells.append("<td><kbd>\\%s</kbd></td><td>%s%s</td>"
                         % (html.escape(name), html.escape(shown),
                            " (limits below)" if limits else ""))
        names.append("<tr>" + "".join(cells) + "</tr>")
    names.append("</table>")
    if EXAMPLES_MARK not in text or NAMES_MARK not in text:
        fail(FORMULA_PAGE + " lacks its marks for the examples and the names")
    return text.replace(EXAMPLES_MARK, "\n".join(rows)).replace(NAMES_MARK, "\n".join(names))


def main(argv):
    argv = list(argv)
    formulas = None
    if len(argv) > 3 and argv[1] == "--formulas":
        formulas = (argv[2], argv[3])
        del argv[1:4]
    if len(argv) < 5:
        fail("usage: make_help.py PAGES_DIR SYMBOLTABLE_DIR LAYOUT_FILE OUT_DIR [PICTURE...]")
    pages_dir, symboltable_dir, layout_file, out_dir = argv[1:5]
    symbols = load_symbols(symboltable_dir)
    rows, shift = load_layout(symboltable_dir, layout_file)

    html_out = os.path.join(out_dir, "html")
    if os.path.isdir(html_out):
        shutil.rmtree(html_out)
    os.makedirs(html_out)
    files = set()
    for name in sorted(os.listdir(pages_dir)):
        if name.lower().endswith(COPIED_SUFFIXES):
            shutil.copyfile(os.path.join(pages_dir, name), os.path.join(html_out, name))
            files.add("html/" + name)
    for picture in argv[5:]:
        name = os.path.basename(picture)
        shutil.copyfile(picture, os.path.join(html_out, name))
        files.add("html/" + name)
    page = os.path.join(html_out, FORMULA_PAGE)
    if os.path.exists(page):
        if formulas is None:
            fail(FORMULA_PAGE + " needs --formulas EXPORTER EXAMPLES for its pictures")
        examples = read_examples(formulas[1])
        pictures = formula_pictures(formulas[0], examples, html_out)
        files.update("html/" + p for p in pictures)
        with open(page, encoding="utf-8") as f:
            text = f.read()
        with open(page, "w", encoding="utf-8") as f:
            f.write(formula_page(text, examples, pictures, symboltable_dir))
    with open(os.path.join(html_out, "symbols.htm"), "w", encoding="utf-8") as f:
        f.write(symbols_page(symbols, rows, shift))
    files.add("html/symbols.htm")

    titles = check_pages(out_dir, files)
    with open(os.path.join(out_dir, PROJECT), "w", encoding="utf-8") as f:
        f.write(project(files, titles))


if __name__ == "__main__":
    main(sys.argv)
