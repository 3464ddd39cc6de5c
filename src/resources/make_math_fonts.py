#!/usr/bin/python3
"""Builds the typesetter's faces and the C++ tables it reads them by.

  CorvelMath*.otf        the maths faces of mathfaces.py, from TeX Gyre Termes
                         Math (fonts-texgyre-math): signs, relations, arrows,
                         Greek, large operators, the growing sizes of
                         delimiters and radicals and the pieces they are
                         assembled from, calligraphic, fraktur and
                         double-struck letters, each on byte codes of its own
  CorvelSerif*.ttf       family "Corvel Serif" in four styles: Liberation Serif
                         (fonts-liberation) unchanged but for its names, for
                         \\text, \\mathrm, \\mathbf and named functions
  CorvelMono.ttf         family "Corvel Mono": Liberation Mono renamed, for
                         \\mathtt and \\texttt
  CorvelMath-LICENSE.txt, CorvelSerif-LICENSE.txt: the licences of the sources

and HEADER, the tables the typesetter is compiled with: which face and byte
code draws each character in each font style, every glyph's box (advance,
ink, italic correction, the x accents over it centre on) in the faces a formula uses, the
growing glyphs' sizes and assembly pieces, the fonts' maths constants and
the Unicode character of every code of the new faces (for the reading text
of SVG pictures).

The build stops when TeX Gyre Termes Math lacks a character of
formulanames.py, so every symbol name draws.

usage: make_math_fonts.py OUTPUT_FOLDER HEADER
(OUTPUT_FOLDER already holds make_fonts.py's Zidezir.ttf and CorvelSans.ttf)
"""

import os
import sys

from fontTools import subset
from fontTools.pens.basePen import BasePen
from fontTools.pens.boundsPen import BoundsPen
from fontTools.pens.t2CharStringPen import T2CharStringPen
from fontTools.pens.transformPen import TransformPen
from fontTools.ttLib import TTFont

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from formulanames import NAMES, NEGATIONS  # noqa: E402
from make_fonts import LIBERATION, LIBERATION_LICENCE, GPL2, _rename, _set_cmap, _write_licence  # noqa: E402
import mathfaces  # noqa: E402

TERMES = "/usr/share/texmf/fonts/opentype/public/tex-gyre-math/texgyretermes-math.otf"
TERMES_LICENCE = "/usr/share/doc/fonts-texgyre-math/copyright"

# The band of a glyph (ems above its baseline) whose ink an accent centres on.
ACCENT_BAND = (0.225, 0.45)

# Vertical metrics of the maths faces, per 1000 units: Zidezir's (Liberation
# Serif's), so that text items of every face at one size put their baseline
# the same distance below their top.
ASCENT, DESCENT, LINE_GAP = 891, 216, 42

SERIF_STYLES = (
    ("Regular", "LiberationSerif-Regular.ttf", "CorvelSerif.ttf", False, False),
    ("Bold", "LiberationSerif-Bold.ttf", "CorvelSerifBold.ttf", True, False),
    ("Italic", "LiberationSerif-Italic.ttf", "CorvelSerifItalic.ttf", False, True),
    ("Bold Italic", "LiberationSerif-BoldItalic.ttf", "CorvelSerifBoldItalic.ttf", True, True),
)

# The program's FontStyle values (src/formula/formulaparser.h).
STYLES = ("Math", "Roman", "Italic", "Bold", "BoldItalic", "Sans", "Mono", "Calligraphic",
          "Blackboard", "Fraktur")

# Characters the parser takes as they are and the glyphs that set them in a
# formula; the rest go by the font's own character map.
PLAIN = {"-": "minus", "*": "asteriskmath", "'": "minute", '"': "quotedblright"}
PLAIN_SIGNS = "+-=<>()[]{}|/\\!?;:,.*@\"'#$%&_"

GREEK_LOWER = [chr(c) for c in range(0x3B1, 0x3CA)]
GREEK_VARIANTS = ["\u03F5", "\u03D1", "\u03F0", "\u03D5", "\u03F1", "\u03D6"]
# The capitals whose letter differs from a Latin one (the others are Latin).
GREEK_CAPS = [c for c in "\u0393\u0394\u0398\u039B\u039E\u03A0\u03A3\u03A5\u03A6\u03A8\u03A9"]


def greek_alphabet(caps, lower):
    """Upright Greek -> the maths alphanumeric letter whose capital Alpha is
    `caps` and small alpha `lower` (partial, then the variant letters, follow
    omega there)."""
    m = {c: caps + (ord(c) - 0x391) for c in GREEK_CAPS}
    m.update({c: lower + (ord(c) - 0x3B1) for c in GREEK_LOWER})
    m.update({c: lower + 26 + i for i, c in enumerate(GREEK_VARIANTS)})
    m["\u2202"] = lower + 25
    return m


# Maths alphanumerics that Unicode keeps in the Letterlike Symbols block.
LETTERLIKE = {
    "Calligraphic": {"B": 0x212C, "E": 0x2130, "F": 0x2131, "H": 0x210B, "I": 0x2110,
                     "L": 0x2112, "M": 0x2133, "R": 0x211B, "e": 0x212F, "g": 0x210A,
                     "o": 0x2134},
    "Fraktur": {"C": 0x212D, "H": 0x210C, "I": 0x2111, "R": 0x211C, "Z": 0x2128},
    "Blackboard": {"C": 0x2102, "H": 0x210D, "N": 0x2115, "P": 0x2119, "Q": 0x211A,
                   "R": 0x211D, "Z": 0x2124},
}
ALPHABET_START = {"Calligraphic": (0x1D49C, 0x1D4B6), "Fraktur": (0x1D504, 0x1D51E),
                  "Blackboard": (0x1D538, 0x1D552)}


def alphabet_char(style, letter):
    if letter in LETTERLIKE[style]:
        return LETTERLIKE[style][letter]
    caps, lower = ALPHABET_START[style]
    if letter.isupper():
        return caps + ord(letter) - ord("A")
    return lower + ord(letter) - ord("a")


def wanted_characters():
    """(character, style) -> Termes code point, for everything a formula may
    ask of the maths faces. Latin letters and digits in the text-like styles
    go to Zidezir and the Corvel faces by rule (in the typesetter), not here."""
    want = {}
    for _name, ch, _cls in NAMES:
        want[(ch, "Math")] = ord(ch)
    for _ch, negated in NEGATIONS:
        want[(negated, "Math")] = ord(negated)
    for ch in PLAIN_SIGNS:
        want[(ch, "Math")] = ord(ch)
    want[("\u2212", "Math")] = 0x2212
    want[("\u2032", "Math")] = 0x2032
    want[("\u2033", "Math")] = 0x2033
    want[("\u2034", "Math")] = 0x2034
    # Accents, arrows over a base and the stroke of \not.
    for u in (0x300, 0x301, 0x302, 0x303, 0x304, 0x306, 0x307, 0x308, 0x30A, 0x30C, 0x20D6,
              0x20D7, 0x20E1, 0x338):
        want[(chr(u), "Math")] = u
    want[("\u0131", "Math")] = 0x1D6A4
    want[("\u0237", "Math")] = 0x1D6A5
    italic = greek_alphabet(0x1D6E2, 0x1D6FC)
    bold = greek_alphabet(0x1D6A8, 0x1D6C2)
    bold_italic = greek_alphabet(0x1D71C, 0x1D736)
    for ch in GREEK_LOWER + GREEK_VARIANTS + ["\u2202"]:
        want[(ch, "Math")] = italic[ch]
        want[(ch, "Italic")] = italic[ch]
        want[(ch, "Roman")] = ord(ch)
        want[(ch, "Bold")] = bold[ch]
        want[(ch, "BoldItalic")] = bold_italic[ch]
    for ch in GREEK_CAPS:
        want[(ch, "Math")] = ord(ch)
        want[(ch, "Roman")] = ord(ch)
        want[(ch, "Italic")] = italic[ch]
        want[(ch, "Bold")] = bold[ch]
        want[(ch, "BoldItalic")] = bold_italic[ch]
    want[("\u2202", "Roman")] = 0x2202
    for style in ALPHABET_START:
        for letter in "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz":
            want[(letter, style)] = alphabet_char(style, letter)
    for d in "0123456789":
        want[(d, "Blackboard")] = 0x1D7D8 + int(d)
    return want


class _Segments(BasePen):
    """An outline as straight segments (curves cut into short pieces)."""

    def __init__(self, glyphset):
        super().__init__(glyphset)
        self.segments = []
        self._at = self._start = None

    def _moveTo(self, pt):
        self._at = self._start = pt

    def _lineTo(self, pt):
        self.segments.append((self._at, pt))
        self._at = pt

    def _curveToOne(self, p1, p2, p3):
        p0 = self._at
        for i in range(1, 13):
            t = i / 12
            u = 1 - t
            x = u**3 * p0[0] + 3 * u * u * t * p1[0] + 3 * u * t * t * p2[0] + t**3 * p3[0]
            y = u**3 * p0[1] + 3 * u * u * t * p1[1] + 3 * u * t * t * p2[1] + t**3 * p3[1]
            self._lineTo((x, y))

    def _closePath(self):
        if self._at != self._start:
            self._lineTo(self._start)

    _endPath = _closePath


def accent_attachment(glyphset, glyph, units_per_em, dx=0):
    """Where an accent over the glyph centres: the middle of its ink between
    a quarter and a half of an em above the baseline (about the upper half of
    an x), so that over a slanted letter it sits over the letter's body, not
    its foot. None for a glyph with no ink there."""
    pen = _Segments(glyphset)
    glyphset[glyph].draw(pen)
    y0, y1 = ACCENT_BAND[0] * units_per_em, ACCENT_BAND[1] * units_per_em
    xs = []
    for (ax, ay), (bx, by) in pen.segments:
        if ay > by:
            ax, ay, bx, by = bx, by, ax, ay
        if by < y0 or ay > y1:
            continue
        for y in (max(ay, y0), min(by, y1)):
            xs.append(ax if by == ay else ax + (bx - ax) * (y - ay) / (by - ay))
    if not xs:
        return None
    return round((min(xs) + max(xs)) / 2) + dx


class Termes:
    """The source font, with its maths tables read once."""

    def __init__(self, path):
        self.font = TTFont(path)
        self.cmap = self.font.getBestCmap()
        self.glyphs = self.font.getGlyphSet()
        self.order = set(self.font.getGlyphOrder())
        math = self.font["MATH"].table
        self.constants = math.MathConstants
        info = math.MathGlyphInfo
        ic = info.MathItalicsCorrectionInfo
        self.italic = dict(zip(ic.Coverage.glyphs, (v.Value for v in ic.ItalicsCorrection)))
        mv = math.MathVariants
        self.script_forms = {}  # glyph -> [script form, scriptscript form]
        gsub = self.font["GSUB"].table
        for record in gsub.FeatureList.FeatureRecord:
            if record.FeatureTag != "ssty":
                continue
            for index in record.Feature.LookupListIndex:
                lookup = gsub.LookupList.Lookup[index]
                for st in lookup.SubTable:
                    st = getattr(st, "ExtSubTable", st)
                    for g, alternates in getattr(st, "alternates", {}).items():
                        self.script_forms[g] = list(alternates)
        self.min_overlap = mv.MinConnectorOverlap
        self.vertical = dict(zip(mv.VertGlyphCoverage.glyphs, mv.VertGlyphConstruction))
        self.horizontal = dict(zip(mv.HorizGlyphCoverage.glyphs, mv.HorizGlyphConstruction))

    def spacing_shift(self, glyph):
        """How far a glyph without advance moves right to stand on its own
        advance (0 for the others). Combining accents have none and ink left
        of their origin, which text layout measures wrongly; they become
        ordinary glyphs as wide as their ink."""
        if self.glyphs[glyph].width != 0:
            return 0
        pen = BoundsPen(self.glyphs)
        self.glyphs[glyph].draw(pen)
        return -round(pen.bounds[0]) if pen.bounds else 0

    def glyph_for(self, codepoint):
        if chr(codepoint) in PLAIN and codepoint < 0x80:
            return PLAIN[chr(codepoint)]
        return self.cmap.get(codepoint)

    def box(self, glyph):
        pen = BoundsPen(self.glyphs)
        self.glyphs[glyph].draw(pen)
        x0, y0, x1, y1 = [round(v) for v in pen.bounds or (0, 0, 0, 0)]
        width = self.glyphs[glyph].width
        dx = self.spacing_shift(glyph)
        if dx:
            x0, x1, width = x0 + dx, x1 + dx, x1 - x0
        accent = accent_attachment(self.glyphs, glyph, 1000, dx)
        return (width, x0, y0, x1, y1, self.italic.get(glyph, 0), accent)


def give_advance(font, glyph, dx):
    """Moves a glyph's outline `dx` units right and gives it its ink's width."""
    glyphs = font.getGlyphSet()
    bounds = BoundsPen(glyphs)
    glyphs[glyph].draw(bounds)
    x0, _, x1, _ = bounds.bounds
    width = round(x1 - x0)
    charstrings = font["CFF "].cff.topDictIndex[0].CharStrings
    old = charstrings[glyph]
    pen = T2CharStringPen(width, glyphs)
    glyphs[glyph].draw(TransformPen(pen, (1, 0, 0, 1, dx, 0)))
    charstrings[glyph] = pen.getCharString(private=old.private, globalSubrs=old.globalSubrs)
    font["hmtx"][glyph] = (width, round(x0) + dx)


def build_math_face(termes, termes_path, family, code_of, out_path):
    font = TTFont(termes_path)
    options = subset.Options()
    options.layout_features = []
    options.name_IDs = ["*"]
    options.name_languages = ["*"]
    options.notdef_outline = True
    options.glyph_names = True
    options.drop_tables += ["MATH", "GSUB", "GPOS", "GDEF", "FFTM", "DSIG"]
    sub = subset.Subsetter(options)
    sub.populate(glyphs=list(code_of))
    sub.subset(font)
    for glyph in code_of:
        dx = termes.spacing_shift(glyph)
        if dx:
            give_advance(font, glyph, dx)
    _set_cmap(font, {code: glyph for glyph, code in code_of.items()})
    note = ("Mathematical glyphs of TeX Gyre Termes Math on byte codes of their own, "
            "renamed for Corvel Quillmark's formulas.")
    _rename(font, family, "Regular", note)
    ps = family.replace(" ", "") + "-Regular"
    cff = font["CFF "].cff
    cff.fontNames = [ps]
    top = cff.topDictIndex[0]
    top.FullName = family
    top.FamilyName = family
    os2, hhea = font["OS/2"], font["hhea"]
    os2.achVendID = "CQMK"
    # Installable embedding: the licence lets anyone modify and pass the
    # font on, so the source's "preview and print, editable" flags would
    # only hold back what it allows.
    os2.fsType = 0
    os2.usWeightClass = 400
    os2.fsSelection = (os2.fsSelection & ~((1 << 0) | (1 << 5))) | (1 << 6)
    os2.sTypoAscender, os2.sTypoDescender, os2.sTypoLineGap = ASCENT, -DESCENT, LINE_GAP
    os2.usWinAscent, os2.usWinDescent = ASCENT + LINE_GAP, DESCENT
    hhea.ascent, hhea.descent, hhea.lineGap = ASCENT, -DESCENT, LINE_GAP
    font["head"].macStyle = 0
    font.save(out_path)


def build_renamed_face(source, family, style, out_path, note):
    font = TTFont(source)
    _rename(font, family, style, note)
    font["OS/2"].achVendID = "CQMK"
    font.save(out_path)


def latin_boxes(path):
    """Code (32..255) -> glyph box of a TrueType face that maps Latin-1."""
    font = TTFont(path)
    cmap = font.getBestCmap()
    gs = font.getGlyphSet()
    upem = font["head"].unitsPerEm
    boxes = {}
    for code in range(32, 256):
        glyph = cmap.get(code)
        if glyph is None:
            continue
        pen = BoundsPen(gs)
        gs[glyph].draw(pen)
        b = pen.bounds or (0, 0, 0, 0)
        boxes[code] = (gs[glyph].width, *[round(v) for v in b], 0,
                       accent_attachment(gs, glyph, upem))
    return upem, boxes


def borrow_italic_corrections(zidezir_boxes, termes):
    """Zidezir's italic letters take the italic corrections of Termes's maths
    italic letters (the same Times design), scaled to Zidezir's units."""
    scale = 2048 / 1000
    for code in list(zidezir_boxes):
        ch = chr(code)
        if not ("a" <= ch <= "z" or "A" <= ch <= "Z"):
            continue
        u = 0x210E if ch == "h" else (0x1D434 + ord(ch) - 65 if ch.isupper()
                                        else 0x1D44E + ord(ch) - 97)
        italic = termes.box(termes.cmap[u])[5]
        adv, x0, y0, x1, y1, _, accent = zidezir_boxes[code]
        zidezir_boxes[code] = (adv, x0, y0, x1, y1, round(italic * scale), accent)


def cxx_boxes(name, boxes):
    lines = [f"inline constexpr GlyphBox {name}[256] = {{"]
    for code in range(256):
        b = boxes.get(code)
        if b is None:
            lines.append("    {},")
            continue
        adv, x0, y0, x1, y1, italic, accent = b
        acc = "NoAccent" if accent is None else str(accent)
        lines.append(f"    {{{adv}, {x0}, {y0}, {x1}, {y1}, {italic}, {acc}}}, // {code}")
    lines.append("};")
    return lines


def cxx_unicode(name, table):
    values = [table.get(code, 0) for code in range(256)]
    lines = [f"inline constexpr char32_t {name}[256] = {{"]
    for row in range(0, 256, 8):
        lines.append("    " + ", ".join(f"0x{v:04X}" for v in values[row:row + 8]) + ",")
    lines.append("};")
    return lines


def write_if_changed(path, text):
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    if os.path.exists(path):
        with open(path, encoding="utf-8") as f:
            if f.read() == text:
                return
    with open(path + ".tmp", "w", encoding="utf-8") as f:
        f.write(text)
    os.replace(path + ".tmp", path)


def main():
    if len(sys.argv) != 3:
        raise SystemExit(__doc__)
    out, header = sys.argv[1], sys.argv[2]
    os.makedirs(out, exist_ok=True)
    termes = Termes(TERMES)

    # Every formula symbol must have a glyph.
    missing = [f"\\{n} (U+{ord(c):04X})" for n, c, _ in NAMES if ord(c) not in termes.cmap]
    missing += [f"\\not (U+{ord(c):04X})" for _, c in NEGATIONS if ord(c) not in termes.cmap]
    if missing:
        raise SystemExit("TeX Gyre Termes Math has no glyph for " + ", ".join(missing))

    faces = [(enum, family, file, list(glyphs)) for enum, family, file, glyphs in mathfaces.FACES]
    listed = {g for _, _, _, glyphs in faces for g in glyphs}
    want = wanted_characters()
    extra = faces[2][3]
    for key in sorted(want, key=lambda k: (want[k], k[1])):
        glyph = termes.glyph_for(want[key])
        if glyph is None:
            raise SystemExit(f"TeX Gyre Termes Math has no glyph for U+{want[key]:04X}")
        if glyph not in listed:
            print(f"make_math_fonts: {glyph} (U+{want[key]:04X}) is not in mathfaces.py yet; "
                  f"it goes after the end of EXTRA")
            extra.append(glyph)
            listed.add(glyph)
    for _, _, _, glyphs in faces:
        for g in glyphs:
            if g not in termes.order:
                raise SystemExit(f"mathfaces.py names {g}, which TeX Gyre Termes Math lacks")

    where = {}  # glyph -> (face enum, code)
    for enum, family, file, glyphs in faces:
        code_of = mathfaces.codes_of(glyphs)
        for g, c in code_of.items():
            where.setdefault(g, (enum, c))
        build_math_face(termes, TERMES, family, code_of, os.path.join(out, file))

    for style, source, file, _, _ in SERIF_STYLES:
        build_renamed_face(os.path.join(LIBERATION, source), "Corvel Serif", style,
                           os.path.join(out, file),
                           "Liberation Serif, renamed for Corvel Quillmark's formulas.")
    build_renamed_face(os.path.join(LIBERATION, "LiberationMono-Regular.ttf"), "Corvel Mono",
                       "Regular", os.path.join(out, "CorvelMono.ttf"),
                       "Liberation Mono, renamed for Corvel Quillmark's formulas.")
    _write_licence(
        os.path.join(out, "CorvelMath-LICENSE.txt"),
        "CorvelMath.otf, CorvelMathRelations.otf, CorvelMathExtra.otf, CorvelMathGreek.otf,\n"
        "CorvelMathLarge.otf, CorvelMathDelimiters.otf, CorvelMathPieces.otf and\n"
        "CorvelMathAlphabets.otf are modified versions of\n"
        "TeX Gyre Termes Math (texgyretermes-math.otf of the Debian package\n"
        "fonts-texgyre-math): subsets of its glyphs on other character codes, renamed\n"
        "as the licence below asks of derived works. src/resources/make_math_fonts.py\n"
        "of Corvel Quillmark makes them from that font, which is their source.\n"
        "Copyright (C) 2006-2018 Bogusław Jackowski and Janusz M. Nowacki; licence: the\n"
        "GUST Font License (the LaTeX Project Public License 1.3c or later, with the\n"
        "request to rename), as the Debian package states it:",
        [TERMES_LICENCE],
    )
    _write_licence(
        os.path.join(out, "CorvelSerif-LICENSE.txt"),
        "CorvelSerif.ttf, CorvelSerifBold.ttf, CorvelSerifItalic.ttf,\n"
        "CorvelSerifBoldItalic.ttf and CorvelMono.ttf are the Liberation Serif and\n"
        "Liberation Mono fonts (Debian package fonts-liberation) with their names\n"
        "changed, as the licence below requires of modified versions;\n"
        "src/resources/make_math_fonts.py of Corvel Quillmark makes them from those\n"
        "fonts, which are their source. Licence and copyright of the original fonts,\n"
        "then the GNU GPL v2:",
        [LIBERATION_LICENCE, GPL2],
    )

    # --- the tables -----------------------------------------------------------
    lines = [
        "// Generated by src/resources/make_math_fonts.py; do not edit.",
        "#pragma once",
        "",
        '#include "formula/mathfont.h"',
        "",
        "namespace quill::formula::tables {",
        "",
    ]
    c = termes.constants
    lines.append("inline constexpr MathConstants Constants{")
    for field in MATH_CONSTANT_FIELDS:
        value = getattr(c, field)
        lines.append(f"    {getattr(value, 'Value', value)}, // {field}")
    lines.append(f"    {termes.min_overlap}, // MinConnectorOverlap")
    lines.append("};")
    lines.append("")

    # The Unicode character each glyph stands for: its own, or for sizes and
    # pieces of a growing glyph, that glyph's.
    reverse = {}
    for u, g in sorted(termes.cmap.items()):
        reverse.setdefault(g, u)
    for g, cons in list(termes.vertical.items()) + list(termes.horizontal.items()):
        for r in cons.MathGlyphVariantRecord or []:
            reverse.setdefault(r.VariantGlyph, reverse.get(g, 0))
        for p in cons.GlyphAssembly.PartRecords if cons.GlyphAssembly else []:
            reverse.setdefault(p.glyph, reverse.get(g, 0))
    # Greek set in italic says its letter, not the maths italic one (a search
    # for α finds it); bold and the other alphabets keep their own.
    for (ch, style), u in want.items():
        glyph = termes.glyph_for(u)
        if style in ("Math", "Roman", "Italic") and reverse.get(glyph, 0) >= 0x1D400:
            reverse[glyph] = ord(ch)
    for glyph, u in (("minute", 0x2032), ("uni2033", 0x2033), ("uni2034", 0x2034),
                     ("primereversed", 0x2035)):
        for size in (".st", ".sts"):
            reverse.setdefault(glyph + size, u)

    face_rows = []
    for enum, family, file, glyphs in faces:
        code_of = mathfaces.codes_of(glyphs)
        boxes = {code: termes.box(g) for g, code in code_of.items()}
        lines += cxx_boxes(f"{enum}Boxes", boxes)
        lines += cxx_unicode(f"{enum}Unicode", {code: reverse.get(g, 0) for g, code in code_of.items()})
        lines.append("")
        face_rows.append(f"    {{Face::{enum}, false, false, 1000, {enum}Boxes, {enum}Unicode}},")

    latin = [("Variable", False, False, "Zidezir.ttf"), ("Text", False, False, "CorvelSans.ttf"),
             ("Mono", False, False, "CorvelMono.ttf")]
    latin += [("Serif", bold, italic, file) for _, _, file, bold, italic in SERIF_STYLES]
    for enum, bold, italic, file in latin:
        upem, boxes = latin_boxes(os.path.join(out, file))
        if enum == "Variable":
            borrow_italic_corrections(boxes, termes)
        name = f"{enum}{'Bold' if bold else ''}{'Italic' if italic else ''}Boxes"
        lines += cxx_boxes(name, boxes)
        lines.append("")
        face_rows.append(f"    {{Face::{enum}, {str(bold).lower()}, {str(italic).lower()}, "
                         f"{upem}, {name}, nullptr}},")
    lines.append("inline constexpr FaceMetrics Faces[] = {")
    lines += face_rows
    lines.append("};")
    lines.append("")

    # Characters: sorted by (character, style) for look-up by halving.
    rows = []
    for (ch, style), u in want.items():
        enum, code = where[termes.glyph_for(u)]
        rows.append((ord(ch), STYLES.index(style), enum, code))
    rows.sort()
    lines.append(f"inline constexpr CharGlyph CharGlyphs[{len(rows)}] = {{")
    for u, s, enum, code in rows:
        lines.append(f"    {{0x{u:04X}, FontStyle::{STYLES[s]}, Face::{enum}, {code}}},")
    lines.append("};")
    lines.append("")

    # Forms drawn for script sizes (primes), by character and script level.
    rows = []
    for (ch, style), u in want.items():
        if style != "Math":
            continue
        for level, form in enumerate(termes.script_forms.get(termes.glyph_for(u), []), 1):
            if form in where:
                enum, code = where[form]
                rows.append((ord(ch), level, enum, code))
    rows.sort()
    lines.append(f"inline constexpr ScriptGlyph ScriptGlyphs[{len(rows)}] = {{")
    for u, level, enum, code in rows:
        lines.append(f"    {{0x{u:04X}, {level}, Face::{enum}, {code}}},")
    lines.append("};")
    lines.append("")

    # Growing glyphs: their sizes and assembly pieces, by the character.
    variants, parts, cons_rows = [], [], {"Vertical": [], "Horizontal": []}
    for kind, table in (("Vertical", termes.vertical), ("Horizontal", termes.horizontal)):
        by_char = {}
        for g, cons in table.items():
            u = reverse.get(g)
            if u is None or u >= 0x1D400 or g not in where:
                continue
            vs = [(r.VariantGlyph, r.AdvanceMeasurement) for r in cons.MathGlyphVariantRecord or []
                  if r.VariantGlyph in where]
            ps = []
            if cons.GlyphAssembly:
                ps = [(p.glyph, p.StartConnectorLength, p.EndConnectorLength, p.FullAdvance,
                       p.PartFlags & 1) for p in cons.GlyphAssembly.PartRecords]
                if any(p[0] not in where for p in ps):
                    ps = []
            if len(vs) <= 1 and not ps:
                continue
            by_char[u] = (vs, ps)
        for u in sorted(by_char):
            vs, ps = by_char[u]
            first_v, first_p = len(variants), len(parts)
            for g, size in vs:
                enum, code = where[g]
                variants.append(f"    {{Face::{enum}, {code}, {size}}}, // {g}")
            for g, start, end, full, ext in ps:
                enum, code = where[g]
                parts.append(f"    {{Face::{enum}, {code}, {start}, {end}, {full}, "
                             f"{'true' if ext else 'false'}}}, // {g}")
            cons_rows[kind].append(f"    {{0x{u:04X}, {first_v}, {len(vs)}, {first_p}, {len(ps)}}},")
    lines.append(f"inline constexpr Variant Variants[{len(variants)}] = {{")
    lines += variants
    lines.append("};")
    lines.append(f"inline constexpr Part Parts[{len(parts)}] = {{")
    lines += parts
    lines.append("};")
    for kind in ("Vertical", "Horizontal"):
        rows = cons_rows[kind]
        lines.append(f"inline constexpr Construction {kind}Constructions[{len(rows)}] = {{")
        lines += rows
        lines.append("};")
    lines += ["", "} // namespace quill::formula::tables", ""]
    write_if_changed(header, "\n".join(lines))


# The MATH table's constants, in the order of the MathConstants struct
# (src/formula/mathfont.h).
MATH_CONSTANT_FIELDS = (
    "ScriptPercentScaleDown", "ScriptScriptPercentScaleDown", "DelimitedSubFormulaMinHeight",
    "DisplayOperatorMinHeight", "AxisHeight", "AccentBaseHeight", "FlattenedAccentBaseHeight",
    "SubscriptShiftDown", "SubscriptTopMax", "SubscriptBaselineDropMin", "SuperscriptShiftUp",
    "SuperscriptShiftUpCramped", "SuperscriptBottomMin", "SuperscriptBaselineDropMax",
    "SubSuperscriptGapMin", "SuperscriptBottomMaxWithSubscript", "SpaceAfterScript",
    "UpperLimitGapMin", "UpperLimitBaselineRiseMin", "LowerLimitGapMin",
    "LowerLimitBaselineDropMin", "StackTopShiftUp", "StackTopDisplayStyleShiftUp",
    "StackBottomShiftDown", "StackBottomDisplayStyleShiftDown", "StackGapMin",
    "StackDisplayStyleGapMin", "StretchStackTopShiftUp", "StretchStackBottomShiftDown",
    "StretchStackGapAboveMin", "StretchStackGapBelowMin", "FractionNumeratorShiftUp",
    "FractionNumeratorDisplayStyleShiftUp", "FractionDenominatorShiftDown",
    "FractionDenominatorDisplayStyleShiftDown", "FractionNumeratorGapMin",
    "FractionNumDisplayStyleGapMin", "FractionRuleThickness", "FractionDenominatorGapMin",
    "FractionDenomDisplayStyleGapMin", "OverbarVerticalGap", "OverbarRuleThickness",
    "OverbarExtraAscender", "UnderbarVerticalGap", "UnderbarRuleThickness",
    "UnderbarExtraDescender", "RadicalVerticalGap", "RadicalDisplayStyleVerticalGap",
    "RadicalRuleThickness", "RadicalExtraAscender", "RadicalKernBeforeDegree",
    "RadicalKernAfterDegree", "RadicalDegreeBottomRaisePercent",
)


if __name__ == "__main__":
    main()
