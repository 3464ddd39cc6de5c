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

# Formula commands: the name a formula line gives a symbol of the face
# ("\alpha"), the symbol it draws and how it sits between its neighbours:
#   ord  an ordinary symbol (letters, signs standing alone)
#   bin  a binary operator: a medium space each side, none where it is unary
#   rel  a relation or arrow: a thick space each side
#   op   a large operator: drawn larger, its limits above and below
#   lim  a large operator whose limits stay beside it as scripts (integral)
# The formula typesetter's table of names is generated from this list at
# build time (make_formula_symbols.py), so the two never disagree; each
# symbol must be one the face draws for a typeable code.
# fmt: off
COMMANDS = [
    ("alpha", "\u03B1", "ord"), ("beta", "\u03B2", "ord"), ("gamma", "\u03B3", "ord"),
    ("delta", "\u03B4", "ord"), ("epsilon", "\u03B5", "ord"), ("zeta", "\u03B6", "ord"),
    ("eta", "\u03B7", "ord"), ("theta", "\u03B8", "ord"), ("vartheta", "\u03D1", "ord"),
    ("iota", "\u03B9", "ord"), ("kappa", "\u03BA", "ord"), ("lambda", "\u03BB", "ord"),
    ("mu", "\u03BC", "ord"), ("nu", "\u03BD", "ord"), ("xi", "\u03BE", "ord"),
    ("pi", "\u03C0", "ord"), ("varpi", "\u03D6", "ord"), ("rho", "\u03C1", "ord"),
    ("sigma", "\u03C3", "ord"), ("tau", "\u03C4", "ord"), ("upsilon", "\u03C5", "ord"),
    ("phi", "\u03C6", "ord"), ("varphi", "\u03D5", "ord"), ("chi", "\u03C7", "ord"),
    ("psi", "\u03C8", "ord"), ("omega", "\u03C9", "ord"),
    ("Gamma", "\u0393", "ord"), ("Delta", "\u0394", "ord"), ("Theta", "\u0398", "ord"),
    ("Lambda", "\u039B", "ord"), ("Xi", "\u039E", "ord"), ("Pi", "\u03A0", "ord"),
    ("Sigma", "\u03A3", "ord"), ("Upsilon", "\u03D2", "ord"), ("Phi", "\u03A6", "ord"),
    ("Psi", "\u03A8", "ord"), ("Omega", "\u03A9", "ord"),
    ("pm", "\u00B1", "bin"), ("times", "\u00D7", "bin"), ("div", "\u00F7", "bin"),
    ("cdot", "\u00B7", "bin"), ("circ", "\u2218", "bin"), ("cup", "\u222A", "bin"),
    ("cap", "\u2229", "bin"), ("wedge", "\u2227", "bin"), ("land", "\u2227", "bin"),
    ("vee", "\u2228", "bin"), ("lor", "\u2228", "bin"),
    ("le", "\u2264", "rel"), ("leq", "\u2264", "rel"), ("ge", "\u2265", "rel"),
    ("geq", "\u2265", "rel"), ("ne", "\u2260", "rel"), ("neq", "\u2260", "rel"),
    ("approx", "\u2248", "rel"), ("equiv", "\u2261", "rel"), ("propto", "\u221D", "rel"),
    ("in", "\u2208", "rel"), ("notin", "\u2209", "rel"), ("subset", "\u2282", "rel"),
    ("supset", "\u2283", "rel"), ("subseteq", "\u2286", "rel"), ("supseteq", "\u2287", "rel"),
    ("to", "\u2192", "rel"), ("rightarrow", "\u2192", "rel"), ("Rightarrow", "\u21D2", "rel"),
    ("implies", "\u21D2", "rel"), ("Leftrightarrow", "\u21D4", "rel"),
    ("iff", "\u21D4", "rel"),
    ("infty", "\u221E", "ord"), ("partial", "\u2202", "ord"), ("nabla", "\u2207", "ord"),
    ("forall", "\u2200", "ord"), ("exists", "\u2203", "ord"), ("neg", "\u00AC", "ord"),
    ("lnot", "\u00AC", "ord"), ("emptyset", "\u2205", "ord"), ("degree", "\u00B0", "ord"),
    ("prime", "\u2032", "ord"), ("dprime", "\u2033", "ord"),
    ("sum", "\u2211", "op"), ("prod", "\u220F", "op"), ("int", "\u222B", "lim"),
    ("mathbb{N}", "\u2115", "ord"), ("mathbb{Z}", "\u2124", "ord"),
    ("mathbb{R}", "\u211D", "ord"), ("mathbb{C}", "\u2102", "ord"),
]
# fmt: on

COMMAND_CLASSES = ("ord", "bin", "rel", "op", "lim")


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
    names = [c[0] for c in COMMANDS]
    if len(set(names)) != len(names):
        raise AssertionError("a formula command is named twice")
    drawn = {s.char for s in SYMBOLS}
    for name, char, cls in COMMANDS:
        if char not in drawn:
            raise AssertionError(f"formula command \\{name} names a symbol the face does not draw")
        if cls not in COMMAND_CLASSES:
            raise AssertionError(f"formula command \\{name} has no known class")


def command_code(char):
    """The typed code whose symbol is `char`."""
    for s in SYMBOLS:
        if s.char == char:
            return s.code
    raise KeyError(char)


_check()

if __name__ == "__main__":
    for s in SYMBOLS:
        print(f"{s.code:3d}  {key_char(s.code)!r:6} U+{ord(s.char):04X} {s.char}  {s.name}")
