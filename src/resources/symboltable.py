"""What the symbol face "MathSymbols" draws for every character a user can type.

This table is the one source for the symbol fonts (make_fonts.py), the symbol
keyboard pictures (make_keyboard.py) and the help pages: change a symbol here
and all of them follow at the next build.

Every typeable code (32 to 126, 163 "£" and 172 "¬") has one entry:
  code  the character code typed (the program's 8-bit character set)
  char  the Unicode symbol the face draws for it
  name  a short English name of the symbol

The design: letters give Greek lower and upper case in the correspondence
long used by symbol fonts (a alpha, b beta, g gamma, d delta, p pi, s sigma,
S Sigma, W Omega ...). The capitals whose Greek letter looks just like the
Latin one, V (final sigma, of no use in expressions) and o (omicron) give
symbols instead, by shape or initial where one fits (A for all, E there
exists, I integral, O empty set, V nabla, C N R Z the number sets). Digits stay digits; the punctuation and shifted keys give the
operators, relations, arrows and set and logic signs, with the most used ones
on keys that the on-screen keyboard shows.
"""

from typing import NamedTuple


class Symbol(NamedTuple):
    code: int
    char: str
    name: str


# fmt: off
_TABLE = [
    (32, " ", "space"),
    (33, "\u00B1", "plus-minus"),              # !
    (34, "\u2033", "double prime"),            # "
    (35, "\u2260", "not equal to"),            # #
    (36, "\u221A", "square root"),             # $
    (37, "\u221D", "proportional to"),         # %
    (38, "\u2229", "intersection"),            # &
    (39, "\u2032", "prime"),                   # '
    (40, "(", "left parenthesis"),
    (41, ")", "right parenthesis"),
    (42, "\u00D7", "multiplication sign"),     # *
    (43, "+", "plus"),
    (44, ",", "comma"),
    (45, "\u2212", "minus"),                   # -
    (46, ".", "full stop"),
    (47, "\u00F7", "division sign"),           # /
    (48, "0", "zero"),
    (49, "1", "one"),
    (50, "2", "two"),
    (51, "3", "three"),
    (52, "4", "four"),
    (53, "5", "five"),
    (54, "6", "six"),
    (55, "7", "seven"),
    (56, "8", "eight"),
    (57, "9", "nine"),
    (58, "\u00B7", "dot operator"),            # :
    (59, "\u2208", "element of"),              # ;
    (60, "\u2282", "subset of"),               # <
    (61, "=", "equals"),
    (62, "\u2283", "superset of"),             # >
    (63, "\u2261", "identical to"),            # ?
    (64, "\u00B0", "degree"),                  # @
    (65, "\u2200", "for all"),                 # A
    (66, "\u21D4", "if and only if"),          # B
    (67, "\u2102", "complex numbers"),         # C
    (68, "\u0394", "capital delta"),           # D
    (69, "\u2203", "there exists"),            # E
    (70, "\u03A6", "capital phi"),             # F
    (71, "\u0393", "capital gamma"),           # G
    (72, "\u21D2", "implies"),                 # H
    (73, "\u222B", "integral"),                # I
    (74, "\u03D1", "theta symbol"),            # J
    (75, "\u2211", "summation"),               # K
    (76, "\u039B", "capital lambda"),          # L
    (77, "\u220F", "product"),                 # M
    (78, "\u2115", "natural numbers"),         # N
    (79, "\u2205", "empty set"),               # O
    (80, "\u03A0", "capital pi"),              # P
    (81, "\u0398", "capital theta"),           # Q
    (82, "\u211D", "real numbers"),            # R
    (83, "\u03A3", "capital sigma"),           # S
    (84, "\u2192", "right arrow"),             # T
    (85, "\u03D2", "capital upsilon"),         # U
    (86, "\u2207", "nabla"),                   # V
    (87, "\u03A9", "capital omega"),           # W
    (88, "\u039E", "capital xi"),              # X
    (89, "\u03A8", "capital psi"),             # Y
    (90, "\u2124", "integers"),                # Z
    (91, "\u2264", "less than or equal to"),   # [
    (92, "\u222A", "union"),                   # backslash
    (93, "\u2265", "greater than or equal to"),  # ]
    (94, "\u2227", "logical and"),             # ^
    (95, "\u2228", "logical or"),              # _
    (96, "\u2202", "partial derivative"),      # `
    (97, "\u03B1", "alpha"),
    (98, "\u03B2", "beta"),
    (99, "\u03C7", "chi"),
    (100, "\u03B4", "delta"),
    (101, "\u03B5", "epsilon"),
    (102, "\u03C6", "phi"),
    (103, "\u03B3", "gamma"),
    (104, "\u03B7", "eta"),
    (105, "\u03B9", "iota"),
    (106, "\u03D5", "phi symbol"),
    (107, "\u03BA", "kappa"),
    (108, "\u03BB", "lambda"),
    (109, "\u03BC", "mu"),
    (110, "\u03BD", "nu"),
    (111, "\u2218", "ring operator"),          # o
    (112, "\u03C0", "pi"),
    (113, "\u03B8", "theta"),
    (114, "\u03C1", "rho"),
    (115, "\u03C3", "sigma"),
    (116, "\u03C4", "tau"),
    (117, "\u03C5", "upsilon"),
    (118, "\u03D6", "pi symbol"),
    (119, "\u03C9", "omega"),
    (120, "\u03BE", "xi"),
    (121, "\u03C8", "psi"),
    (122, "\u03B6", "zeta"),
    (123, "\u2286", "subset of or equal to"),    # {
    (124, "\u2209", "not an element of"),        # |
    (125, "\u2287", "superset of or equal to"),  # }
    (126, "\u2248", "almost equal to"),          # ~
    (163, "\u221E", "infinity"),               # pound sign
    (172, "\u00AC", "not"),                    # not sign
]
# fmt: on

SYMBOLS = [Symbol(code, char, name) for code, char, name in _TABLE]

TYPEABLE_CODES = list(range(32, 127)) + [163, 172]

_BY_CODE = {s.code: s for s in SYMBOLS}


def symbol_for(code):
    """The entry for a typed character code (int) or one-character string."""
    if isinstance(code, str):
        code = ord(code.encode("latin-1"))
    return _BY_CODE[code]


def key_char(code):
    """The character the user types for a code, as text ("£" for 163)."""
    return bytes([code]).decode("latin-1")


def _check():
    codes = [s.code for s in SYMBOLS]
    if codes != TYPEABLE_CODES:
        raise AssertionError("symbol table must list every typeable code once, in order")
    chars = [s.char for s in SYMBOLS]
    if len(set(chars)) != len(chars):
        raise AssertionError("two codes give the same symbol")


_check()

if __name__ == "__main__":
    for s in SYMBOLS:
        print(f"{s.code:3d}  {key_char(s.code)!r:6} U+{ord(s.char):04X} {s.char}  {s.name}")
