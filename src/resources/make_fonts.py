#!/usr/bin/python3
"""Builds the editor's fonts from TrueType fonts of Debian packages.

  MathSymbols.ttf      family "MathSymbols", regular: every typeable code
                       draws the symbol symboltable.py gives it, from
                       DejaVu Sans (fonts-dejavu-core)
  MathSymbolsBold.ttf  family "MathSymbols", bold: the same from DejaVu Sans Bold
  Zidezir.ttf          family "Zidezir": the text face for expressions, Latin
                       letters in serif italic (variables), digits and signs
                       upright (numbers and operators), from Liberation Serif
                       Italic and Regular (fonts-liberation); "-" draws a minus
  CorvelSans*.ttf      family "Corvel Sans" in four styles: what the canvas
                       draws "Arial" with, and any character another face
                       lacks; Liberation Sans (fonts-liberation), which has
                       Arial's metrics, unchanged but for its names. The
                       canvas needs no font of the system, so a picture
                       comes out the same on every machine.

Each face is renamed as its licence requires (no "Bitstream", "Vera", "DejaVu"
or "Liberation" in its names), and the licence of its source is written
beside it (MathSymbols-LICENSE.txt, Zidezir-LICENSE.txt, CorvelSans-LICENSE.txt).

usage: make_fonts.py OUTPUT_FOLDER [FONT_FOLDER]
"""

import os
import sys

from fontTools import subset
from fontTools.pens.ttGlyphPen import TTGlyphPen
from fontTools.ttLib import TTFont

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from symboltable import SYMBOLS, TYPEABLE_CODES, key_char  # noqa: E402

DEJAVU = "/usr/share/fonts/truetype/dejavu"
LIBERATION = "/usr/share/fonts/truetype/liberation"
DEJAVU_LICENCE = "/usr/share/doc/fonts-dejavu-core/copyright"
LIBERATION_LICENCE = "/usr/share/doc/fonts-liberation/copyright"
GPL2 = "/usr/share/common-licenses/GPL-2"

# Name table entries that may name the source face; all are replaced or dropped.
_DROPPED_NAMES = (7, 8, 9, 11, 12, 16, 17, 18, 21, 22)


def _subset(path, unicodes):
    options = subset.Options()
    options.layout_features = []  # no ligatures or substitutions between symbols
    options.name_IDs = ["*"]
    options.name_languages = ["*"]
    options.notdef_outline = True
    options.glyph_names = True
    options.hinting = False
    options.drop_tables += ["DSIG", "kern", "GPOS", "GSUB", "GDEF", "FFTM", "hdmx", "LTSH", "VDMX"]
    font = TTFont(path)
    sub = subset.Subsetter(options)
    sub.populate(unicodes=unicodes)
    sub.subset(font)
    return font


def _set_cmap(font, code_to_glyph):
    """Replaces the character map with one that maps exactly code_to_glyph."""
    from fontTools.ttLib.tables._c_m_a_p import CmapSubtable

    cmap = font["cmap"]
    cmap.tables = []
    for platform_id, encoding_id in ((0, 3), (3, 1)):
        table = CmapSubtable.newSubtable(4)
        table.platformID = platform_id
        table.platEncID = encoding_id
        table.language = 0
        table.cmap = dict(code_to_glyph)
        cmap.tables.append(table)
    os2 = font["OS/2"]
    os2.usFirstCharIndex = min(code_to_glyph)
    os2.usLastCharIndex = max(code_to_glyph)
    os2.recalcUnicodeRanges(font)
    os2.ulCodePageRange1 = 1  # Latin 1
    os2.ulCodePageRange2 = 0


def _rename(font, family, style, copyright_note):
    """Replaces every name that may name the source face with the new ones."""
    full = family if style == "Regular" else f"{family} {style}"
    ps = f"{family.replace(' ', '')}-{style.replace(' ', '')}"
    name = font["name"]
    for rec in list(name.names):
        if rec.nameID in (1, 2, 3, 4, 6) or rec.nameID in _DROPPED_NAMES:
            name.removeNames(nameID=rec.nameID)
    for name_id, text in (
        (1, family),
        (2, style),
        (3, f"Corvel Quillmark: {full}"),
        (4, full),
        (6, ps),
        (10, copyright_note),
    ):
        name.setName(text, name_id, 3, 1, 0x409)
        name.setName(text, name_id, 1, 0, 0)


def _set_names(font, family, bold, copyright_note):
    _rename(font, family, "Bold" if bold else "Regular", copyright_note)

    os2 = font["OS/2"]
    head = font["head"]
    os2.usWeightClass = 700 if bold else 400
    # fsSelection: bit 0 italic, bit 5 bold, bit 6 regular; the faces are
    # the upright regular and bold members of their families.
    os2.fsSelection = (os2.fsSelection & ~((1 << 0) | (1 << 5) | (1 << 6))) | (
        (1 << 5) if bold else (1 << 6)
    )
    head.macStyle = 1 if bold else 0  # bit 0 bold, bit 1 italic
    os2.achVendID = "CQMK"
    if "post" in font:
        font["post"].italicAngle = 0


# The sans-serif face's files: (style, Liberation Sans file).
SANS_STYLES = (
    ("Regular", "LiberationSans-Regular.ttf"),
    ("Bold", "LiberationSans-Bold.ttf"),
    ("Italic", "LiberationSans-Italic.ttf"),
    ("Bold Italic", "LiberationSans-BoldItalic.ttf"),
)


def sans_file_name(style):
    return "CorvelSans" + ("" if style == "Regular" else style.replace(" ", "")) + ".ttf"


def build_sans_face(source, style, out_path):
    """Liberation Sans renamed: outlines, hinting, kerning and metrics stay."""
    font = TTFont(source)
    _rename(font, "Corvel Sans", style, "Liberation Sans, renamed for Corvel Quillmark's canvas.")
    font["OS/2"].achVendID = "CQMK"
    font.save(out_path)


def build_symbol_face(source, bold, out_path):
    font = _subset(source, [ord(s.char) for s in SYMBOLS])
    source_cmap = font.getBestCmap()
    code_to_glyph = {}
    for s in SYMBOLS:
        glyph = source_cmap.get(ord(s.char))
        if glyph is None:
            raise SystemExit(f"{source} has no glyph for {s.name} (U+{ord(s.char):04X})")
        code_to_glyph[s.code] = glyph
    _set_cmap(font, code_to_glyph)
    _set_names(
        font,
        "MathSymbols",
        bold,
        "Mathematical symbols on the ordinary character codes, made from DejaVu Sans.",
    )
    font.save(out_path)


def _copy_glyph(src_font, dst_font, src_name, dst_name):
    """Copies one outline, components resolved, and its advance width."""
    pen = TTGlyphPen(None)
    src_font.getGlyphSet()[src_name].draw(pen)
    glyph = pen.glyph()
    glyph.recalcBounds(dst_font["glyf"])
    dst_font["glyf"][dst_name] = glyph
    advance, _ = src_font["hmtx"][src_name]
    dst_font["hmtx"][dst_name] = (advance, getattr(glyph, "xMin", 0))


def build_text_face(italic_source, upright_source, out_path):
    typeable = [ord(key_char(c)) for c in TYPEABLE_CODES]
    latin1 = list(range(0x20, 0x7F)) + list(range(0xA0, 0x100)) + [0x2212]
    font = _subset(italic_source, latin1)
    upright = _subset(upright_source, latin1)
    cmap = font.getBestCmap()
    up_cmap = upright.getBestCmap()
    # Variables are italic; digits, signs and brackets stand upright.
    for code in typeable:
        ch = chr(code)
        if ch.isalpha():
            continue
        if ch == " ":
            continue
        source_code = 0x2212 if ch == "-" else code
        _copy_glyph(upright, font, up_cmap[source_code], cmap[code])
    # Composite glyphs may now refer to changed components; accented letters
    # are not typeable, but keep them consistent by resolving their bounds.
    for name in font.getGlyphOrder():
        g = font["glyf"][name]
        if g.isComposite():
            g.recalcBounds(font["glyf"])
    code_map = {c: g for c, g in cmap.items() if c < 0x100}
    _set_cmap(font, code_map)
    _set_names(
        font,
        "Zidezir",
        False,
        "Serif italic letters with upright digits and signs for typeset expressions, "
        "made from Liberation Serif.",
    )
    font.save(out_path)


def _write_licence(out_path, title, parts):
    with open(out_path, "w", encoding="utf-8") as out:
        out.write(title + "\n\n")
        for part in parts:
            with open(part, encoding="utf-8", errors="replace") as f:
                out.write(f.read())
            out.write("\n\n")


def main():
    if len(sys.argv) < 2:
        raise SystemExit(__doc__)
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    build_symbol_face(os.path.join(DEJAVU, "DejaVuSans.ttf"), False,
                      os.path.join(out, "MathSymbols.ttf"))
    build_symbol_face(os.path.join(DEJAVU, "DejaVuSans-Bold.ttf"), True,
                      os.path.join(out, "MathSymbolsBold.ttf"))
    build_text_face(os.path.join(LIBERATION, "LiberationSerif-Italic.ttf"),
                    os.path.join(LIBERATION, "LiberationSerif-Regular.ttf"),
                    os.path.join(out, "Zidezir.ttf"))
    for style, source in SANS_STYLES:
        build_sans_face(os.path.join(LIBERATION, source), style,
                        os.path.join(out, sans_file_name(style)))
    _write_licence(
        os.path.join(out, "CorvelSans-LICENSE.txt"),
        "CorvelSans.ttf, CorvelSansBold.ttf, CorvelSansItalic.ttf and\n"
        "CorvelSansBoldItalic.ttf are the Liberation Sans fonts (Debian package\n"
        "fonts-liberation) with their names changed, as the licence below requires of\n"
        "modified versions; src/resources/make_fonts.py of Corvel Quillmark makes them\n"
        "from those fonts, which are their source. Licence and copyright of the\n"
        "original fonts, then the GNU GPL v2:",
        [LIBERATION_LICENCE, GPL2],
    )
    _write_licence(
        os.path.join(out, "MathSymbols-LICENSE.txt"),
        "MathSymbols.ttf and MathSymbolsBold.ttf are modified versions of DejaVu Sans and\n"
        "DejaVu Sans Bold (Debian package fonts-dejavu-core), renamed as the licence\n"
        "below requires. Their licence and copyright:",
        [DEJAVU_LICENCE],
    )
    _write_licence(
        os.path.join(out, "Zidezir-LICENSE.txt"),
        "Zidezir.ttf is a modified version of the Liberation Serif fonts (Debian package\n"
        "fonts-liberation), renamed as the licence below requires; it is made by\n"
        "src/resources/make_fonts.py of Corvel Quillmark from those fonts, which is its\n"
        "source. Licence and copyright of the original fonts, then the GNU GPL v2:",
        [LIBERATION_LICENCE, GPL2],
    )


if __name__ == "__main__":
    main()
