"""The typesetter's maths faces: which glyph of TeX Gyre Termes Math each
byte code of each face draws.

A text item holds 8-bit characters, so a face can draw at most 188 glyphs:
the codes 33 to 126 and 161 to 255 without 173 (the soft hyphen, which text
layout may leave undrawn); the control codes and the spaces are never used.
Codes are given in list order, so expression files that hold typeset items
keep drawing the same glyphs only if these lists change by appending at the
end of a face, never by inserting, removing or reordering.

Each entry of FACES is (enum name, family name, file name, glyph names).
make_math_fonts.py builds one font a face and the typesetter's tables from
them; a symbol of formulanames.py whose glyph no list holds yet goes after
the end of EXTRA, with a note in the build's output (add it to a list).

  MATH        signs, binary operators, delimiters, punctuation, dots, primes
              (with their forms for scripts) and accents
  RELATIONS   relations
  EXTRA       arrows and ordinary symbols
  GREEK       Greek: italic, upright, bold and bold italic
  LARGE       large operators and integrals in all their sizes, radical sizes
  DELIMITERS  the larger sizes of delimiters
  PIECES      what taller delimiters and radicals, wide braces, arrows and
              accents are assembled from, and wide accents
  ALPHABETS   calligraphic, fraktur and double-struck letters
"""

# fmt: off
MATH = [
    "plus", "minus", "equal", "less", "greater", "parenleft", "parenright", "bracketleft",
    "bracketright", "braceleft", "braceright", "bar", "slash", "backslash", "exclam",
    "question", "semicolon", "colon", "comma", "period", "asteriskmath", "at", "quotedblright",
    "numbersign", "dollar", "percent", "ampersand", "underscore", "plusminus", "minusplus",
    "multiply", "divide", "uni22C5", "uni22C6", "uni2218", "bulletoperator", "circleplus",
    "uni2296", "circlemultiply", "circledivide", "circledot", "union", "intersection",
    "uni2294", "uni2293", "uni228E", "logicaland", "logicalor", "uni2216", "uni2240",
    "uni22C4", "uni25B3", "uni25BD", "uni25C1", "uni25B7", "dagger", "daggerdbl", "uni2A3F",
    "uni2214", "uni22C9", "uni22CA", "uni22CB", "uni22CC", "uni229E", "uni229F", "uni22A0",
    "uni22A1", "uni229B", "uni229A", "uni22BA", "uni22BB", "uni22BC", "uni22CF", "uni22CE",
    "uni22C7", "uni22B2", "uni22B3", "uni22B4", "uni22B5", "uni25EF", "ellipsis", "uni22EF",
    "periodcentered", "uni27E8", "uni27E9", "uni230A", "uni230B", "uni2308", "uni2309",
    "dblverticalbar", "uni27E6", "uni27E7", "uni27EE", "uni27EF", "uni231C", "uni231D",
    "uni231E", "uni231F", "uni2034", "minute.st", "uni2033.st", "uni2034.st", "minute.sts",
    "uni2033.sts", "uni2034.sts", "primereversed.st", "uni0300", "uni0301", "circumflexcmb",
    "tildecomb", "uni0304", "brevecmb", "uni0307", "uni0308", "uni030A", "caroncmb", "uni20D7",
    "uni20D6", "uni20E1", "uni0338",
]

RELATIONS = [
    "lessequal", "greaterequal", "notequal", "uni2A7D", "uni2A7E", "equivalence",
    "approxequal", "uni224A", "similar", "similar_equal", "uni2245", "proportional",
    "lessmuch", "greatermuch", "uni2272", "uni2273", "uni227A", "uni227B", "uni2AAF",
    "uni2AB0", "element", "suchthat", "uni2209", "propersubset", "propersuperset",
    "reflexsubset", "reflexsuperset", "uni228A", "uni228B", "uni2291", "uni2292", "divides",
    "uni2224", "parallel", "uni2226", "uni27C2", "uni22A2", "uni22A3", "uni22A8", "uni224D",
    "uni2250", "uni22C8", "uni2323", "uni2322", "uni2254", "uni226E", "uni226F", "uni2270",
    "uni2271", "uni2241", "uni2247", "uni2288", "uni2289", "uni2266", "uni2267", "uni2A87",
    "uni2A88", "uni2268", "uni2269", "uni2A95", "uni2A96", "uni2A85", "uni2A86", "uni2276",
    "uni2277", "uni22DA", "uni22DB", "uni22D8", "uni22D9", "uni227E", "uni227F", "uni2280",
    "uni2281", "uni22E0", "uni22E1", "uni225C", "uni2256", "uni2257", "uni2253", "uni2252",
    "uni223D", "uni22CD", "uni226C", "uni228F", "uni2290", "uni22D0", "uni22D1", "uni22A9",
    "uni22AC", "uni22AD", "uni22AE", "uni22AF", "uni22EA", "uni22EB", "uni2255", "uni22B8",
    "therefore", "because",
    # Signs \not makes of a relation.
    "uni220C", "uni2244", "uni2249", "uni2262", "uni226D", "uni2274", "uni2275", "uni2278",
    "uni2279", "uni2284", "uni2285", "uni22E2", "uni22E3", "uni22EC", "uni22ED",
]

EXTRA = [
    "arrowleft", "arrowright", "arrowboth", "arrowdblleft", "arrowdblright", "arrowdblboth",
    "uni27F5", "uni27F6", "uni27F7", "uni27F8", "uni27F9", "uni27FA", "uni21A6", "uni27FC",
    "arrowup", "arrowdown", "arrowupdn", "arrowdblup", "arrowdbldown", "uni21D5", "uni2197",
    "uni2198", "uni2199", "uni2196", "uni21A9", "uni21AA", "uni21BC", "uni21C0", "uni21BD",
    "uni21C1", "uni21CC", "uni21DD", "uni21C9", "uni21C7", "uni21C6", "uni21C4", "uni21CB",
    "uni21A0", "uni219E", "uni21A3", "uni21A2", "uni219A", "uni219B", "uni21CD", "uni21CF",
    "uni21AE", "uni21CE", "uni21BE", "uni21BF", "uni21C2", "uni21C3", "uni21B0", "uni21B1",
    "uni21B7", "uni21B6", "uni21BA", "uni21BB", "uni21DA", "uni21DB", "uni21AD", "uni21AB",
    "uni21AC", "infinity", "partialdiff", "nabla", "universal", "existential", "uni2204",
    "logicalnot", "emptyset", "uni2300", "uni2220", "uni2221", "uni2113", "uni210F",
    "dotlessi", "dotlessj", "aleph", "uni2136", "uni2137", "uni211C", "uni2111", "weierstrass",
    "uni22A4", "uni22A5", "minute", "primereversed", "degree", "H22073", "diamondsuitwhite",
    "heartsuitwhite", "club", "spade", "musicflatsign", "uni266E", "musicsharpsign", "radical",
    "uni22EE", "uni22F1", "uni2033", "uni2201", "filledbox", "lozenge", "uni2127", "eth",
    "section", "paragraph", "sterling", "yen", "Euro", "copyright", "registered", "checkmark",
    "uni2720", "uni2222", "triagup", "triagdn", "uni25C0", "uni25B6", "uni22F0",
]

GREEK = [
    "u1D6FC", "u1D6FD", "u1D6FE", "u1D6FF", "u1D700", "u1D701", "u1D702", "u1D703", "u1D704",
    "u1D705", "u1D706", "u1D707", "u1D708", "u1D709", "u1D70A", "u1D70B", "u1D70C", "u1D70D",
    "u1D70E", "u1D70F", "u1D710", "u1D711", "u1D712", "u1D713", "u1D714", "u1D716", "u1D717",
    "u1D718", "u1D719", "u1D71A", "u1D71B", "u1D715", "u1D6A4", "u1D6A5", "Gamma", "Delta",
    "Theta", "Lambda", "Xi", "Pi", "Sigma", "Upsilon", "Phi", "Psi", "Omega", "u1D6E4",
    "u1D6E5", "u1D6E9", "u1D6EC", "u1D6EF", "u1D6F1", "u1D6F4", "u1D6F6", "u1D6F7", "u1D6F9",
    "u1D6FA", "alpha", "beta", "gamma", "delta", "epsilon", "zeta", "eta", "theta", "iota",
    "kappa", "lambda", "mu", "nu", "xi", "omicron", "pi", "rho", "uni03C2", "sigma", "tau",
    "upsilon", "phi", "chi", "psi", "omega", "uni03F5", "uni03D1", "uni03F0", "uni03D5",
    "uni03F1", "uni03D6", "u1D6C2", "u1D6C3", "u1D6C4", "u1D6C5", "u1D6C6", "u1D6C7", "u1D6C8",
    "u1D6C9", "u1D6CA", "u1D6CB", "u1D6CC", "u1D6CD", "u1D6CE", "u1D6CF", "u1D6D0", "u1D6D1",
    "u1D6D2", "u1D6D3", "u1D6D4", "u1D6D5", "u1D6D6", "u1D6D7", "u1D6D8", "u1D6D9", "u1D6DA",
    "u1D6DC", "u1D6DD", "u1D6DE", "u1D6DF", "u1D6E0", "u1D6E1", "u1D6AA", "u1D6AB", "u1D6AF",
    "u1D6B2", "u1D6B5", "u1D6B7", "u1D6BA", "u1D6BC", "u1D6BD", "u1D6BF", "u1D6C0", "u1D736",
    "u1D737", "u1D738", "u1D739", "u1D73A", "u1D73B", "u1D73C", "u1D73D", "u1D73E", "u1D73F",
    "u1D740", "u1D741", "u1D742", "u1D743", "u1D744", "u1D745", "u1D746", "u1D747", "u1D748",
    "u1D749", "u1D74A", "u1D74B", "u1D74C", "u1D74D", "u1D74E", "u1D750", "u1D751", "u1D752",
    "u1D753", "u1D754", "u1D755", "u1D71E", "u1D71F", "u1D723", "u1D726", "u1D729", "u1D72B",
    "u1D72E", "u1D730", "u1D731", "u1D733", "u1D734", "u1D6DB", "u1D74F",
]

LARGE = [
    "summation", "summation.v1", "product", "product.v1", "uni2210", "uni2210.v1", "uni22C3",
    "uni22C3.v1", "uni22C2", "uni22C2.v1", "uni2A06", "uni2A06.v1", "uni22C1", "uni22C1.v1",
    "uni22C0", "uni22C0.v1", "uni2A01", "uni2A01.v1", "uni2A02", "uni2A02.v1", "uni2A00",
    "uni2A00.v1", "uni2A04", "uni2A04.v1", "integral", "integral.v1", "integral.v2",
    "integral.v3", "integral.v4", "integral.v5", "integral.v6", "uni222C", "uni222C.v1",
    "uni222C.v2", "uni222C.v3", "uni222C.v4", "uni222C.v5", "uni222C.v6", "uni222D",
    "uni222D.v1", "uni222D.v2", "uni222D.v3", "uni222D.v4", "uni222D.v5", "uni222D.v6",
    "contourintegral", "contourintegral.v1", "contourintegral.v2", "contourintegral.v3",
    "contourintegral.v4", "contourintegral.v5", "contourintegral.v6", "uni222F", "uni222F.v1",
    "uni222F.v2", "uni222F.v3", "uni222F.v4", "uni222F.v5", "uni222F.v6", "uni2230",
    "uni2230.v1", "uni2230.v2", "uni2230.v3", "uni2230.v4", "uni2230.v5", "uni2230.v6",
    "uni2A0C", "uni2A0C.v1", "uni2A0C.v2", "uni2A0C.v3", "uni2A0C.v4", "uni2A0C.v5",
    "uni2A0C.v6", "uni2A05", "uni2A05.v1", "radical.v1", "radical.v2", "radical.v3",
    "radical.v4", "radical.v5", "radical.v6",
]

DELIMITERS = [
    "parenleft.v1", "parenleft.v2", "parenleft.v3", "parenleft.v4", "parenleft.v5",
    "parenleft.v6", "parenright.v1", "parenright.v2", "parenright.v3", "parenright.v4",
    "parenright.v5", "parenright.v6", "bracketleft.v1", "bracketleft.v2", "bracketleft.v3",
    "bracketleft.v4", "bracketleft.v5", "bracketleft.v6", "bracketright.v1", "bracketright.v2",
    "bracketright.v3", "bracketright.v4", "bracketright.v5", "bracketright.v6", "braceleft.v1",
    "braceleft.v2", "braceleft.v3", "braceleft.v4", "braceleft.v5", "braceleft.v6",
    "braceright.v1", "braceright.v2", "braceright.v3", "braceright.v4", "braceright.v5",
    "braceright.v6", "divides.v1", "divides.v2", "divides.v3", "divides.v4", "divides.v5",
    "divides.v6", "parallel.v1", "parallel.v2", "parallel.v3", "parallel.v4", "parallel.v5",
    "parallel.v6", "uni27E8.v1", "uni27E8.v2", "uni27E8.v3", "uni27E8.v4", "uni27E8.v5",
    "uni27E8.v6", "uni27E9.v1", "uni27E9.v2", "uni27E9.v3", "uni27E9.v4", "uni27E9.v5",
    "uni27E9.v6", "uni230A.v1", "uni230A.v2", "uni230A.v3", "uni230A.v4", "uni230A.v5",
    "uni230A.v6", "uni230B.v1", "uni230B.v2", "uni230B.v3", "uni230B.v4", "uni230B.v5",
    "uni230B.v6", "uni2308.v1", "uni2308.v2", "uni2308.v3", "uni2308.v4", "uni2308.v5",
    "uni2308.v6", "uni2309.v1", "uni2309.v2", "uni2309.v3", "uni2309.v4", "uni2309.v5",
    "uni2309.v6", "slash.v1", "slash.v2", "slash.v3", "slash.v4", "slash.v5", "slash.v6",
    "backslash.v1", "backslash.v2", "backslash.v3", "backslash.v4", "backslash.v5",
    "backslash.v6", "uni27E6.v1", "uni27E6.v2", "uni27E6.v3", "uni27E6.v4", "uni27E6.v5",
    "uni27E6.v6", "uni27E7.v1", "uni27E7.v2", "uni27E7.v3", "uni27E7.v4", "uni27E7.v5",
    "uni27E7.v6", "uni27EE.v1", "uni27EE.v2", "uni27EE.v3", "uni27EE.v4", "uni27EE.v5",
    "uni27EE.v6", "uni27EF.v1", "uni27EF.v2", "uni27EF.v3", "uni27EF.v4", "uni27EF.v5",
    "uni27EF.v6", "arrowup.v1", "arrowdown.v1", "arrowupdn.v1", "arrowdblup.v1",
    "arrowdbldown.v1", "uni21D5.v1",
]

PIECES = [
    "uni239D", "uni239C", "uni239B", "uni23A0", "uni239F", "uni239E", "uni23A3", "uni23A2",
    "uni23A1", "uni23A6", "uni23A5", "uni23A4", "uni23A9", "braceleft.ex", "uni23A8",
    "uni23A7", "uni23AD", "braceright.ex", "uni23AC", "uni23AB", "divides.bt", "divides.ex",
    "divides.tp", "parallel.bt", "parallel.ex", "parallel.tp", "uni23B7", "radical.ex",
    "radical.tp", "uni27E6.bt", "uni27E6.ex", "uni27E6.tp", "uni27E7.bt", "uni27E7.ex",
    "uni27E7.tp", "uni27EE.bt", "uni27EE.ex", "uni27EE.tp", "uni27EF.bt", "uni27EF.ex",
    "uni27EF.tp", "arrowup.bt", "arrowup.ex", "arrowup.tp", "arrowdown.bt", "arrowdown.ex",
    "arrowdown.tp", "arrowupdn.bt", "arrowupdn.ex", "arrowupdn.tp", "arrowdblup.bt",
    "arrowdblup.ex", "arrowdblup.tp", "arrowdbldown.bt", "arrowdbldown.ex", "arrowdbldown.tp",
    "uni21D5.bt", "uni21D5.ex", "uni21D5.tp", "uni23DE", "uni23DE.h1", "uni23DE.h2",
    "uni23DE.h3", "uni23DE.h4", "uni23DE.h5", "uni23DE.h6", "uni23DE.lft", "uni23DE.ex",
    "uni23DE.md", "uni23DE.rt", "uni23DF", "uni23DF.h1", "uni23DF.h2", "uni23DF.h3",
    "uni23DF.h4", "uni23DF.h5", "uni23DF.h6", "uni23DF.lft", "uni23DF.ex", "uni23DF.md",
    "uni23DF.rt", "uni20D7.h1", "uni20D7.lft", "uni20D7.ex", "uni20D7.rt", "uni20D6.h1",
    "uni20D6.lft", "uni20D6.ex", "uni20D6.rt", "uni20E1.h1", "uni20E1.lft", "uni20E1.ex",
    "uni20E1.rt", "circumflexcmb.h1", "circumflexcmb.h2", "circumflexcmb.h3",
    "circumflexcmb.h4", "circumflexcmb.h5", "circumflexcmb.h6", "tildecomb.h1", "tildecomb.h2",
    "tildecomb.h3", "tildecomb.h4", "tildecomb.h5", "tildecomb.h6",
]

ALPHABETS = [
    "u1D49C", "uni212C", "u1D49E", "u1D49F", "uni2130", "uni2131", "u1D4A2", "uni210B",
    "uni2110", "u1D4A5", "u1D4A6", "uni2112", "uni2133", "u1D4A9", "u1D4AA", "u1D4AB",
    "u1D4AC", "uni211B", "u1D4AE", "u1D4AF", "u1D4B0", "u1D4B1", "u1D4B2", "u1D4B3", "u1D4B4",
    "u1D4B5", "u1D4B6", "u1D4B7", "u1D4B8", "u1D4B9", "uni212F", "u1D4BB", "uni210A", "u1D4BD",
    "u1D4BE", "u1D4BF", "u1D4C0", "u1D4C1", "u1D4C2", "u1D4C3", "uni2134", "u1D4C5", "u1D4C6",
    "u1D4C7", "u1D4C8", "u1D4C9", "u1D4CA", "u1D4CB", "u1D4CC", "u1D4CD", "u1D4CE", "u1D4CF",
    "u1D504", "u1D505", "uni212D", "u1D507", "u1D508", "u1D509", "u1D50A", "uni210C",
    "uni2111", "u1D50D", "u1D50E", "u1D50F", "u1D510", "u1D511", "u1D512", "u1D513", "u1D514",
    "uni211C", "u1D516", "u1D517", "u1D518", "u1D519", "u1D51A", "u1D51B", "u1D51C", "uni2128",
    "u1D51E", "u1D51F", "u1D520", "u1D521", "u1D522", "u1D523", "u1D524", "u1D525", "u1D526",
    "u1D527", "u1D528", "u1D529", "u1D52A", "u1D52B", "u1D52C", "u1D52D", "u1D52E", "u1D52F",
    "u1D530", "u1D531", "u1D532", "u1D533", "u1D534", "u1D535", "u1D536", "u1D537", "u1D538",
    "u1D539", "uni2102", "u1D53B", "u1D53C", "u1D53D", "u1D53E", "uni210D", "u1D540", "u1D541",
    "u1D542", "u1D543", "u1D544", "uni2115", "u1D546", "uni2119", "uni211A", "uni211D",
    "u1D54A", "u1D54B", "u1D54C", "u1D54D", "u1D54E", "u1D54F", "u1D550", "uni2124", "u1D552",
    "u1D553", "u1D554", "u1D555", "u1D556", "u1D557", "u1D558", "u1D559", "u1D55A", "u1D55B",
    "u1D55C", "u1D55D", "u1D55E", "u1D55F", "u1D560", "u1D561", "u1D562", "u1D563", "u1D564",
    "u1D565", "u1D566", "u1D567", "u1D568", "u1D569", "u1D56A", "u1D56B", "u1D7D8", "u1D7D9",
    "u1D7DA", "u1D7DB", "u1D7DC", "u1D7DD", "u1D7DE", "u1D7DF", "u1D7E0", "u1D7E1",
]

# fmt: on

FACES = (
    ("Math", "Corvel Math", "CorvelMath.otf", MATH),
    ("MathRelations", "Corvel Math Relations", "CorvelMathRelations.otf", RELATIONS),
    ("MathExtra", "Corvel Math Extra", "CorvelMathExtra.otf", EXTRA),
    ("MathGreek", "Corvel Math Greek", "CorvelMathGreek.otf", GREEK),
    ("MathLarge", "Corvel Math Large", "CorvelMathLarge.otf", LARGE),
    ("MathDelimiters", "Corvel Math Delimiters", "CorvelMathDelimiters.otf", DELIMITERS),
    ("MathPieces", "Corvel Math Pieces", "CorvelMathPieces.otf", PIECES),
    ("MathAlphabets", "Corvel Math Alphabets", "CorvelMathAlphabets.otf", ALPHABETS),
)

# The byte codes a face may use, in the order glyphs take them.
CODES = [c for c in list(range(33, 127)) + list(range(161, 256)) if c != 173]


def codes_of(glyphs):
    """Glyph name -> byte code for one face's list."""
    if len(glyphs) > len(CODES):
        raise SystemExit(f"a face holds at most {len(CODES)} glyphs, not {len(glyphs)}")
    if len(set(glyphs)) != len(glyphs):
        raise SystemExit("a glyph is listed twice in one face")
    return dict(zip(glyphs, CODES))
