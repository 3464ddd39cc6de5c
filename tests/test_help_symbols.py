"""The symbols page of the built help file against the built symbol font.

    test_help_symbols.py HELP_QCH MATHSYMBOLS_TTF SOURCE_TTF LAYOUT_FILE

Reads html/symbols.htm out of the compiled help file and checks it against
the font the editor draws with, not against the table the page was made
from: the list of codes must be exactly the codes the font maps, each code's
key must be that character, and each symbol shown must be the very glyph the
font draws for the code (the symbol face takes its glyphs from SOURCE_TTF,
so the symbol's glyph there must be the code's glyph in the face). The two
keyboard layouts on the page must show, key by key, the characters of the
editor's keyboard table (LAYOUT_FILE, written by the keyboard_layout tool).
"""

import sqlite3
import sys
import zlib
from html.parser import HTMLParser

from fontTools.ttLib import TTFont

faults = []


def fault(message):
    faults.append(message)


def read_page(qch, name):
    db = sqlite3.connect("file:%s?mode=ro" % qch, uri=True)
    row = db.execute(
        "SELECT d.Data FROM FileNameTable n JOIN FileDataTable d ON n.FileId = d.Id "
        "WHERE n.Name = ?", (name,)).fetchone()
    if row is None:
        sys.exit("%s holds no %s" % (qch, name))
    data = bytes(row[0])
    # Stored compressed: a 4-byte big-endian length, then a zlib stream.
    return zlib.decompress(data[4:]).decode("utf-8")


class Tables(HTMLParser):
    """Every table of a page as rows of cells, a cell as its lines of text."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.tables = []
        self._cell = None

    def handle_starttag(self, tag, attrs):
        if tag == "table":
            self.tables.append([])
        elif tag == "tr":
            self.tables[-1].append([])
        elif tag in ("td", "th"):
            self._cell = [""]
            self._kb = ("class", "kb") in attrs
        elif tag == "br" and self._cell is not None:
            self._cell.append("")

    def handle_endtag(self, tag):
        if tag in ("td", "th") and self._cell is not None:
            self.tables[-1][-1].append(([t for t in self._cell], self._kb))
            self._cell = None

    def handle_data(self, data):
        if self._cell is not None:
            self._cell[-1] += data


def key_text(code):
    return "blank" if code == 32 else bytes([code]).decode("latin-1")


def main(argv):
    qch, face_path, source_path, layout_path = argv[1:5]
    face = TTFont(face_path).getBestCmap()
    source = TTFont(source_path).getBestCmap()

    def check_symbol(code, shown, where):
        symbol = shown.strip("\u00a0 ")
        want = face.get(code)
        got = source.get(ord(symbol)) if len(symbol) == 1 else ("space" if not symbol else None)
        if want is None or got != want:
            fault("%s: code %d shows %r, the font draws glyph %s" % (where, code, symbol, want))

    parser = Tables()
    parser.feed(read_page(qch, "html/symbols.htm"))
    keyboards = [t for t in parser.tables if t and any(kb for row in t for _, kb in row)]
    codes_table = [t for t in parser.tables if t and t[0][0][0] == ["Code"]]
    if len(keyboards) != 2 or len(codes_table) != 1:
        sys.exit("symbols.htm: expected two keyboard tables and one table of codes")

    # Every code the font maps, once, in order, with its key and its glyph.
    rows = codes_table[0][1:]
    shown_codes = [int(r[0][0][0]) for r in rows]
    if shown_codes != sorted(face):
        fault("codes listed %s, the font maps %s" % (shown_codes, sorted(face)))
    for r in rows:
        code = int(r[0][0][0])
        if r[1][0][0] != key_text(code):
            fault("code %d: key shown %r" % (code, r[1][0][0]))
        check_symbol(code, r[2][0][0], "table of codes")

    # The two layouts, key by key, as the editor's keyboard table has them.
    layout = []
    with open(layout_path, encoding="ascii") as f:
        for line in f:
            fields = line.split()
            if fields and fields[0] == "key":
                layout.append((int(fields[2]), int(fields[3]), int(fields[10]), int(fields[11])))
    layout.sort()
    for which, table in (("normal", keyboards[0]), ("shifted", keyboards[1])):
        keys = [cell for row in table for cell, kb in row if kb and cell != ["Shift"]]
        want = [k[2] if which == "normal" else k[3] for k in layout]
        if len(keys) != len(want):
            fault("%s layout: %d keys shown, %d in the editor" % (which, len(keys), len(want)))
            continue
        for n, (cell, code) in enumerate(zip(keys, want)):
            if len(cell) != 2 or cell[1] != key_text(code):
                fault("%s layout key %d: shows %r, the editor types %r"
                      % (which, n, cell, key_text(code)))
            else:
                check_symbol(code, cell[0], "%s layout key %d" % (which, n))

    if faults:
        print("\n".join(faults))
        return 1
    print("symbols page matches the font: %d codes, %d keys in each layout"
          % (len(rows), len(layout)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
