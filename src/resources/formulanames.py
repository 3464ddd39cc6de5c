"""The names of the formula language's symbols: what "\\alpha", "\\le" or
"\\bigcup" in a formula line stands for.

Each entry is (name, character, class):
  name       the command without its backslash
  character  the Unicode character of the symbol, as mathematics writes it
             (Greek letters as their ordinary letters: the typesetter sets
             lowercase Greek italic and uppercase Greek upright, as books do)
  class      how the symbol sits between its neighbours:
    ord    an ordinary symbol
    bin    a binary operator: a medium space each side, none where it is unary
    rel    a relation or an arrow: a thick space each side
    op     a large operator: larger in display style, limits above and below there
    int    an integral: larger in display style, its limits beside it as scripts
    open   an opening delimiter
    close  a closing delimiter
    punct  punctuation: a thin space after it
    inner  dots between terms (\\cdots, \\ldots): a thin space each side

FUNCTIONS lists the named functions (\\sin, \\lim) and NEGATIONS the single
characters \\not gives.

The parser's tables are generated from these lists at build time
(make_formula_symbols.py), the help's formula page lists them, and the build
of the formula fonts refuses to go on when a character listed here has no
glyph, so every name draws.

Characters that need no command (letters, digits, + - = < > ( ) [ ] | / ! ?
; : , . ' * " @) are the parser's own; a few escapes stand for characters the
language otherwise uses itself (\\{ \\} \\% \\$ \\& \\# \\_), and are listed here
under their own names with a leading non-letter.
"""

# fmt: off
NAMES = [
    # Greek, lower case (italic in a formula)
    ("alpha", "\u03B1", "ord"), ("beta", "\u03B2", "ord"), ("gamma", "\u03B3", "ord"),
    ("delta", "\u03B4", "ord"), ("epsilon", "\u03F5", "ord"), ("varepsilon", "\u03B5", "ord"),
    ("zeta", "\u03B6", "ord"), ("eta", "\u03B7", "ord"), ("theta", "\u03B8", "ord"),
    ("vartheta", "\u03D1", "ord"), ("iota", "\u03B9", "ord"), ("kappa", "\u03BA", "ord"),
    ("varkappa", "\u03F0", "ord"), ("lambda", "\u03BB", "ord"), ("mu", "\u03BC", "ord"),
    ("nu", "\u03BD", "ord"), ("xi", "\u03BE", "ord"), ("omicron", "\u03BF", "ord"),
    ("pi", "\u03C0", "ord"), ("varpi", "\u03D6", "ord"), ("rho", "\u03C1", "ord"),
    ("varrho", "\u03F1", "ord"), ("sigma", "\u03C3", "ord"), ("varsigma", "\u03C2", "ord"),
    ("tau", "\u03C4", "ord"), ("upsilon", "\u03C5", "ord"), ("phi", "\u03D5", "ord"),
    ("varphi", "\u03C6", "ord"), ("chi", "\u03C7", "ord"), ("psi", "\u03C8", "ord"),
    ("omega", "\u03C9", "ord"),
    # Greek, upper case (upright)
    ("Gamma", "\u0393", "ord"), ("Delta", "\u0394", "ord"), ("Theta", "\u0398", "ord"),
    ("Lambda", "\u039B", "ord"), ("Xi", "\u039E", "ord"), ("Pi", "\u03A0", "ord"),
    ("Sigma", "\u03A3", "ord"), ("Upsilon", "\u03A5", "ord"), ("Phi", "\u03A6", "ord"),
    ("Psi", "\u03A8", "ord"), ("Omega", "\u03A9", "ord"),

    # Binary operators
    ("pm", "\u00B1", "bin"), ("mp", "\u2213", "bin"), ("times", "\u00D7", "bin"),
    ("div", "\u00F7", "bin"), ("cdot", "\u22C5", "bin"), ("ast", "\u2217", "bin"),
    ("star", "\u22C6", "bin"), ("circ", "\u2218", "bin"), ("bullet", "\u2219", "bin"),
    ("oplus", "\u2295", "bin"), ("ominus", "\u2296", "bin"), ("otimes", "\u2297", "bin"),
    ("oslash", "\u2298", "bin"), ("odot", "\u2299", "bin"), ("cup", "\u222A", "bin"),
    ("cap", "\u2229", "bin"), ("sqcup", "\u2294", "bin"), ("sqcap", "\u2293", "bin"),
    ("uplus", "\u228E", "bin"), ("wedge", "\u2227", "bin"), ("land", "\u2227", "bin"),
    ("vee", "\u2228", "bin"), ("lor", "\u2228", "bin"), ("setminus", "\u2216", "bin"),
    ("wr", "\u2240", "bin"), ("diamond", "\u22C4", "bin"), ("bigtriangleup", "\u25B3", "bin"),
    ("bigtriangledown", "\u25BD", "bin"), ("triangleleft", "\u25C1", "bin"),
    ("triangleright", "\u25B7", "bin"), ("dagger", "\u2020", "bin"), ("ddagger", "\u2021", "bin"),
    ("amalg", "\u2A3F", "bin"),
    ("dotplus", "\u2214", "bin"), ("ltimes", "\u22C9", "bin"), ("rtimes", "\u22CA", "bin"),
    ("leftthreetimes", "\u22CB", "bin"), ("rightthreetimes", "\u22CC", "bin"),
    ("boxplus", "\u229E", "bin"), ("boxminus", "\u229F", "bin"), ("boxtimes", "\u22A0", "bin"),
    ("boxdot", "\u22A1", "bin"), ("circledast", "\u229B", "bin"), ("circledcirc", "\u229A", "bin"),
    ("intercal", "\u22BA", "bin"), ("veebar", "\u22BB", "bin"), ("barwedge", "\u22BC", "bin"),
    ("curlywedge", "\u22CF", "bin"), ("curlyvee", "\u22CE", "bin"),
    ("divideontimes", "\u22C7", "bin"), ("centerdot", "\u22C5", "bin"),
    ("smallsetminus", "\u2216", "bin"), ("lhd", "\u22B2", "bin"), ("rhd", "\u22B3", "bin"),
    ("unlhd", "\u22B4", "bin"), ("unrhd", "\u22B5", "bin"), ("bigcirc", "\u25EF", "bin"),

    # Relations
    ("le", "\u2264", "rel"), ("leq", "\u2264", "rel"), ("ge", "\u2265", "rel"),
    ("geq", "\u2265", "rel"), ("ne", "\u2260", "rel"), ("neq", "\u2260", "rel"),
    ("leqslant", "\u2A7D", "rel"), ("geqslant", "\u2A7E", "rel"),
    ("equiv", "\u2261", "rel"), ("approx", "\u2248", "rel"), ("approxeq", "\u224A", "rel"),
    ("sim", "\u223C", "rel"), ("simeq", "\u2243", "rel"), ("cong", "\u2245", "rel"),
    ("propto", "\u221D", "rel"), ("ll", "\u226A", "rel"), ("gg", "\u226B", "rel"),
    ("lesssim", "\u2272", "rel"), ("gtrsim", "\u2273", "rel"),
    ("prec", "\u227A", "rel"), ("succ", "\u227B", "rel"), ("preceq", "\u2AAF", "rel"),
    ("succeq", "\u2AB0", "rel"), ("in", "\u2208", "rel"), ("ni", "\u220B", "rel"),
    ("owns", "\u220B", "rel"), ("notin", "\u2209", "rel"), ("subset", "\u2282", "rel"),
    ("supset", "\u2283", "rel"), ("subseteq", "\u2286", "rel"), ("supseteq", "\u2287", "rel"),
    ("subsetneq", "\u228A", "rel"), ("supsetneq", "\u228B", "rel"),
    ("sqsubseteq", "\u2291", "rel"), ("sqsupseteq", "\u2292", "rel"),
    ("mid", "\u2223", "rel"), ("nmid", "\u2224", "rel"), ("parallel", "\u2225", "rel"),
    ("nparallel", "\u2226", "rel"), ("perp", "\u27C2", "rel"), ("vdash", "\u22A2", "rel"),
    ("dashv", "\u22A3", "rel"), ("models", "\u22A8", "rel"), ("asymp", "\u224D", "rel"),
    ("doteq", "\u2250", "rel"), ("bowtie", "\u22C8", "rel"), ("smile", "\u2323", "rel"),
    ("frown", "\u2322", "rel"), ("coloneqq", "\u2254", "rel"),
    ("nless", "\u226E", "rel"), ("ngtr", "\u226F", "rel"), ("nleq", "\u2270", "rel"),
    ("ngeq", "\u2271", "rel"), ("nsim", "\u2241", "rel"), ("ncong", "\u2247", "rel"),
    ("nsubseteq", "\u2288", "rel"), ("nsupseteq", "\u2289", "rel"),
    ("lt", "<", "rel"), ("gt", ">", "rel"), ("leqq", "\u2266", "rel"), ("geqq", "\u2267", "rel"),
    ("lneq", "\u2A87", "rel"), ("gneq", "\u2A88", "rel"), ("lneqq", "\u2268", "rel"),
    ("gneqq", "\u2269", "rel"), ("eqslantless", "\u2A95", "rel"), ("eqslantgtr", "\u2A96", "rel"),
    ("lessapprox", "\u2A85", "rel"), ("gtrapprox", "\u2A86", "rel"), ("lessgtr", "\u2276", "rel"),
    ("gtrless", "\u2277", "rel"), ("lesseqgtr", "\u22DA", "rel"), ("gtreqless", "\u22DB", "rel"),
    ("lll", "\u22D8", "rel"), ("ggg", "\u22D9", "rel"), ("precsim", "\u227E", "rel"),
    ("succsim", "\u227F", "rel"), ("nprec", "\u2280", "rel"), ("nsucc", "\u2281", "rel"),
    ("npreceq", "\u22E0", "rel"), ("nsucceq", "\u22E1", "rel"),
    ("triangleq", "\u225C", "rel"), ("eqcirc", "\u2256", "rel"), ("circeq", "\u2257", "rel"),
    ("risingdotseq", "\u2253", "rel"), ("fallingdotseq", "\u2252", "rel"),
    ("backsim", "\u223D", "rel"), ("backsimeq", "\u22CD", "rel"), ("thicksim", "\u223C", "rel"),
    ("thickapprox", "\u2248", "rel"), ("varpropto", "\u221D", "rel"), ("between", "\u226C", "rel"),
    ("sqsubset", "\u228F", "rel"), ("sqsupset", "\u2290", "rel"), ("Subset", "\u22D0", "rel"),
    ("Supset", "\u22D1", "rel"), ("Vdash", "\u22A9", "rel"), ("vDash", "\u22A8", "rel"),
    ("nvdash", "\u22AC", "rel"), ("nvDash", "\u22AD", "rel"), ("nVdash", "\u22AE", "rel"),
    ("nVDash", "\u22AF", "rel"), ("vartriangleleft", "\u22B2", "rel"),
    ("vartriangleright", "\u22B3", "rel"), ("trianglelefteq", "\u22B4", "rel"),
    ("trianglerighteq", "\u22B5", "rel"), ("ntriangleleft", "\u22EA", "rel"),
    ("ntriangleright", "\u22EB", "rel"), ("shortmid", "\u2223", "rel"),
    ("shortparallel", "\u2225", "rel"), ("nshortmid", "\u2224", "rel"),
    ("nshortparallel", "\u2226", "rel"), ("eqqcolon", "\u2255", "rel"),
    ("multimap", "\u22B8", "rel"), ("therefore", "\u2234", "rel"), ("because", "\u2235", "rel"),

    # Arrows (relations)
    ("leftarrow", "\u2190", "rel"), ("gets", "\u2190", "rel"), ("rightarrow", "\u2192", "rel"),
    ("to", "\u2192", "rel"), ("leftrightarrow", "\u2194", "rel"),
    ("Leftarrow", "\u21D0", "rel"), ("Rightarrow", "\u21D2", "rel"),
    ("Leftrightarrow", "\u21D4", "rel"), ("longleftarrow", "\u27F5", "rel"),
    ("longrightarrow", "\u27F6", "rel"), ("longleftrightarrow", "\u27F7", "rel"),
    ("Longleftarrow", "\u27F8", "rel"), ("Longrightarrow", "\u27F9", "rel"),
    ("Longleftrightarrow", "\u27FA", "rel"), ("implies", "\u27F9", "rel"),
    ("impliedby", "\u27F8", "rel"), ("iff", "\u27FA", "rel"),
    ("mapsto", "\u21A6", "rel"), ("longmapsto", "\u27FC", "rel"),
    ("uparrow", "\u2191", "rel"), ("downarrow", "\u2193", "rel"),
    ("updownarrow", "\u2195", "rel"), ("Uparrow", "\u21D1", "rel"),
    ("Downarrow", "\u21D3", "rel"), ("Updownarrow", "\u21D5", "rel"),
    ("nearrow", "\u2197", "rel"), ("searrow", "\u2198", "rel"), ("swarrow", "\u2199", "rel"),
    ("nwarrow", "\u2196", "rel"), ("hookleftarrow", "\u21A9", "rel"),
    ("hookrightarrow", "\u21AA", "rel"), ("leftharpoonup", "\u21BC", "rel"),
    ("rightharpoonup", "\u21C0", "rel"), ("leftharpoondown", "\u21BD", "rel"),
    ("rightharpoondown", "\u21C1", "rel"), ("rightleftharpoons", "\u21CC", "rel"),
    ("leadsto", "\u21DD", "rel"),
    ("rightrightarrows", "\u21C9", "rel"), ("leftleftarrows", "\u21C7", "rel"),
    ("leftrightarrows", "\u21C6", "rel"), ("rightleftarrows", "\u21C4", "rel"),
    ("leftrightharpoons", "\u21CB", "rel"), ("twoheadrightarrow", "\u21A0", "rel"),
    ("twoheadleftarrow", "\u219E", "rel"), ("rightarrowtail", "\u21A3", "rel"),
    ("leftarrowtail", "\u21A2", "rel"), ("nleftarrow", "\u219A", "rel"),
    ("nrightarrow", "\u219B", "rel"), ("nLeftarrow", "\u21CD", "rel"),
    ("nRightarrow", "\u21CF", "rel"), ("nleftrightarrow", "\u21AE", "rel"),
    ("nLeftrightarrow", "\u21CE", "rel"), ("upharpoonright", "\u21BE", "rel"),
    ("restriction", "\u21BE", "rel"), ("upharpoonleft", "\u21BF", "rel"),
    ("downharpoonright", "\u21C2", "rel"), ("downharpoonleft", "\u21C3", "rel"),
    ("Lsh", "\u21B0", "rel"), ("Rsh", "\u21B1", "rel"), ("curvearrowright", "\u21B7", "rel"),
    ("curvearrowleft", "\u21B6", "rel"), ("circlearrowleft", "\u21BA", "rel"),
    ("circlearrowright", "\u21BB", "rel"), ("Lleftarrow", "\u21DA", "rel"),
    ("Rrightarrow", "\u21DB", "rel"), ("leftrightsquigarrow", "\u21AD", "rel"),
    ("rightsquigarrow", "\u21DD", "rel"), ("looparrowleft", "\u21AB", "rel"),
    ("looparrowright", "\u21AC", "rel"),

    # Ordinary symbols
    ("infty", "\u221E", "ord"), ("partial", "\u2202", "ord"), ("nabla", "\u2207", "ord"),
    ("forall", "\u2200", "ord"), ("exists", "\u2203", "ord"), ("nexists", "\u2204", "ord"),
    ("neg", "\u00AC", "ord"), ("lnot", "\u00AC", "ord"), ("emptyset", "\u2205", "ord"),
    ("varnothing", "\u2300", "ord"), ("angle", "\u2220", "ord"), ("measuredangle", "\u2221", "ord"),
    ("ell", "\u2113", "ord"), ("hbar", "\u210F", "ord"), ("hslash", "\u210F", "ord"),
    ("imath", "\u0131", "ord"), ("jmath", "\u0237", "ord"), ("aleph", "\u2135", "ord"),
    ("beth", "\u2136", "ord"), ("gimel", "\u2137", "ord"), ("Re", "\u211C", "ord"),
    ("Im", "\u2111", "ord"), ("wp", "\u2118", "ord"), ("top", "\u22A4", "ord"),
    ("bot", "\u22A5", "ord"), ("prime", "\u2032", "ord"), ("backprime", "\u2035", "ord"),
    ("degree", "\u00B0", "ord"), ("triangle", "\u25B3", "ord"), ("Box", "\u25A1", "ord"),
    ("diamondsuit", "\u2662", "ord"), ("heartsuit", "\u2661", "ord"),
    ("clubsuit", "\u2663", "ord"), ("spadesuit", "\u2660", "ord"), ("flat", "\u266D", "ord"),
    ("natural", "\u266E", "ord"), ("sharp", "\u266F", "ord"), ("surd", "\u221A", "ord"),
    ("vdots", "\u22EE", "ord"), ("ddots", "\u22F1", "ord"),
    ("dprime", "\u2033", "ord"), ("complement", "\u2201", "ord"), ("square", "\u25A1", "ord"),
    ("blacksquare", "\u25A0", "ord"), ("lozenge", "\u25CA", "ord"), ("mho", "\u2127", "ord"),
    ("eth", "\u00F0", "ord"), ("S", "\u00A7", "ord"), ("P", "\u00B6", "ord"),
    ("pounds", "\u00A3", "ord"), ("yen", "\u00A5", "ord"), ("euro", "\u20AC", "ord"),
    ("copyright", "\u00A9", "ord"), ("circledR", "\u00AE", "ord"),
    ("checkmark", "\u2713", "ord"), ("maltese", "\u2720", "ord"),
    ("sphericalangle", "\u2222", "ord"), ("triangledown", "\u25BD", "ord"),
    ("blacktriangle", "\u25B2", "ord"), ("blacktriangledown", "\u25BC", "ord"),
    ("blacktriangleleft", "\u25C0", "ord"), ("blacktriangleright", "\u25B6", "ord"),
    ("iddots", "\u22F0", "ord"),

    # Dots between terms
    ("ldots", "\u2026", "inner"), ("dots", "\u2026", "inner"), ("cdots", "\u22EF", "inner"),
    ("dotsc", "\u2026", "inner"), ("dotso", "\u2026", "inner"), ("dotsb", "\u22EF", "inner"),
    ("dotsm", "\u22EF", "inner"), ("dotsi", "\u22EF", "inner"),

    # Punctuation
    ("colon", ":", "punct"), ("cdotp", "\u00B7", "punct"),

    # Large operators
    ("sum", "\u2211", "op"), ("prod", "\u220F", "op"), ("coprod", "\u2210", "op"),
    ("bigcup", "\u22C3", "op"), ("bigcap", "\u22C2", "op"), ("bigsqcup", "\u2A06", "op"),
    ("bigvee", "\u22C1", "op"), ("bigwedge", "\u22C0", "op"), ("bigoplus", "\u2A01", "op"),
    ("bigotimes", "\u2A02", "op"), ("bigodot", "\u2A00", "op"), ("biguplus", "\u2A04", "op"),
    ("int", "\u222B", "int"), ("iint", "\u222C", "int"), ("iiint", "\u222D", "int"),
    ("oint", "\u222E", "int"), ("oiint", "\u222F", "int"), ("oiiint", "\u2230", "int"),
    ("iiiint", "\u2A0C", "int"), ("intop", "\u222B", "int"), ("bigsqcap", "\u2A05", "op"),

    # Delimiters
    ("langle", "\u27E8", "open"), ("rangle", "\u27E9", "close"),
    ("lfloor", "\u230A", "open"), ("rfloor", "\u230B", "close"),
    ("lceil", "\u2308", "open"), ("rceil", "\u2309", "close"),
    ("lvert", "|", "open"), ("rvert", "|", "close"), ("lVert", "\u2016", "open"),
    ("rVert", "\u2016", "close"), ("vert", "|", "ord"), ("Vert", "\u2016", "ord"),
    ("|", "\u2016", "ord"), ("lbrace", "{", "open"), ("rbrace", "}", "close"),
    ("{", "{", "open"), ("}", "}", "close"), ("lbrack", "[", "open"), ("rbrack", "]", "close"),
    ("backslash", "\\", "ord"), ("llbracket", "\u27E6", "open"), ("rrbracket", "\u27E7", "close"),
    ("lgroup", "\u27EE", "open"), ("rgroup", "\u27EF", "close"), ("ulcorner", "\u231C", "open"),
    ("urcorner", "\u231D", "close"), ("llcorner", "\u231E", "open"), ("lrcorner", "\u231F", "close"),

    # Escaped characters
    ("%", "%", "ord"), ("$", "$", "ord"), ("&", "&", "ord"), ("#", "#", "ord"),
    ("_", "_", "ord"),
]
# fmt: on

# Named functions, set upright as words: (name, text as set, limits).
# "limits": in display style their subscript goes below them, as under \lim.
# fmt: off
FUNCTIONS = [
    ("arccos", "arccos", False), ("arcsin", "arcsin", False), ("arctan", "arctan", False),
    ("arg", "arg", False), ("cos", "cos", False), ("cosh", "cosh", False), ("cot", "cot", False),
    ("coth", "coth", False), ("csc", "csc", False), ("deg", "deg", False), ("det", "det", True),
    ("dim", "dim", False), ("exp", "exp", False), ("gcd", "gcd", True), ("hom", "hom", False),
    ("inf", "inf", True), ("injlim", "inj lim", True), ("ker", "ker", False), ("lg", "lg", False),
    ("lim", "lim", True), ("liminf", "lim inf", True), ("limsup", "lim sup", True),
    ("ln", "ln", False), ("log", "log", False), ("max", "max", True), ("min", "min", True),
    ("Pr", "Pr", True), ("projlim", "proj lim", True), ("sec", "sec", False), ("sin", "sin", False),
    ("sinh", "sinh", False), ("sup", "sup", True), ("tan", "tan", False), ("tanh", "tanh", False),
]
# fmt: on

# \not before a symbol: the single character that says "not" it, where
# Unicode has one; any other symbol after \not is drawn struck through.
# fmt: off
NEGATIONS = [
    ("=", "\u2260"), ("<", "\u226E"), (">", "\u226F"), ("|", "\u2224"),
    ("\u2264", "\u2270"), ("\u2265", "\u2271"), ("\u2208", "\u2209"), ("\u220B", "\u220C"),
    ("\u2282", "\u2284"), ("\u2283", "\u2285"), ("\u2286", "\u2288"), ("\u2287", "\u2289"),
    ("\u223C", "\u2241"), ("\u2245", "\u2247"), ("\u2261", "\u2262"), ("\u2248", "\u2249"),
    ("\u2243", "\u2244"), ("\u2223", "\u2224"), ("\u2225", "\u2226"), ("\u2203", "\u2204"),
    ("\u227A", "\u2280"), ("\u227B", "\u2281"), ("\u2291", "\u22E2"), ("\u2292", "\u22E3"),
    ("\u22A2", "\u22AC"), ("\u22A8", "\u22AD"), ("\u22A9", "\u22AE"), ("\u22B2", "\u22EA"),
    ("\u22B3", "\u22EB"), ("\u22B4", "\u22EC"), ("\u22B5", "\u22ED"), ("\u224D", "\u226D"),
    ("\u2190", "\u219A"), ("\u2192", "\u219B"), ("\u2194", "\u21AE"), ("\u21D0", "\u21CD"),
    ("\u21D2", "\u21CF"), ("\u21D4", "\u21CE"), ("\u2272", "\u2274"), ("\u2273", "\u2275"),
    ("\u2276", "\u2278"), ("\u2277", "\u2279"),
]
# fmt: on

CLASSES = ("ord", "bin", "rel", "op", "int", "open", "close", "punct", "inner")


def _check():
    names = [n for n, _, _ in NAMES]
    if len(set(names)) != len(names):
        dup = sorted({n for n in names if names.count(n) > 1})
        raise AssertionError(f"formula names listed twice: {dup}")
    for name, char, cls in NAMES:
        if len(char) != 1:
            raise AssertionError(f"\\{name} must stand for one character")
        if cls not in CLASSES:
            raise AssertionError(f"\\{name} has no known class: {cls}")
    functions = [n for n, _, _ in FUNCTIONS]
    if len(set(functions)) != len(functions) or set(functions) & set(names):
        raise AssertionError("a function is listed twice or shares its name with a symbol")
    negated = [c for c, _ in NEGATIONS]
    if len(set(negated)) != len(negated):
        raise AssertionError("a symbol has two negations")


_check()
