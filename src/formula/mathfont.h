#pragma once
// The faces a formula is set in, and what the typesetter knows of their
// glyphs: which face and byte code draws a character in a font style, each
// glyph's box, the growing sizes and assembly pieces of delimiters,
// radicals, large operators, braces and wide accents, and the maths font's
// constants. All of it comes from tables that make_math_fonts.py writes at
// build time from the very fonts the canvas draws with (no font is opened
// here); sizes are in the face's design units.

#include "formula/formulaparser.h"

#include <cstdint>
#include <limits>
#include <span>
#include <string_view>

namespace quill::formula {

// The faces of a typeset formula's text items.
enum class Face : std::uint8_t {
    Variable,       // Zidezir: Latin letters in italic, digits upright
    Symbol,         // MathSymbols: the symbol keyboard's face (not used by typesetting)
    Text,           // Arial, drawn in Corvel Sans: \mathsf
    Serif,          // Corvel Serif, in four styles: \text, \mathrm, \mathbf, named functions
    Mono,           // Corvel Mono: \mathtt, \texttt
    Math,           // Corvel Math: signs, binary operators, delimiters, accents
    MathRelations,  // Corvel Math Relations
    MathExtra,      // Corvel Math Extra: arrows and ordinary symbols
    MathGreek,      // Corvel Math Greek: Greek in every style
    MathLarge,      // Corvel Math Large: large operators in all sizes, radical sizes
    MathDelimiters, // Corvel Math Delimiters: the larger sizes of delimiters
    MathPieces,     // Corvel Math Pieces: what taller and wider signs are assembled from
    MathAlphabets,  // Corvel Math Alphabets: calligraphic, fraktur, double-struck
};
inline constexpr int FaceCount = 13;

// The face's name as text items store it.
std::string_view faceNameOf(Face face);

// One glyph: a byte code of a face in a style (only Serif has bold and italic).
struct Glyph {
    Face face = Face::Math;
    bool bold = false;
    bool italic = false;
    unsigned char code = 0;
    bool operator==(const Glyph&) const = default;
};

inline constexpr std::int16_t NoAccent = std::numeric_limits<std::int16_t>::min();

// A glyph's box in design units: its advance, its ink (y up), its italic
// correction and the x its accents centre on (NoAccent: none given).
struct GlyphBox {
    std::int16_t advance = 0, xMin = 0, yMin = 0, xMax = 0, yMax = 0, italic = 0, accent = NoAccent;
};

struct FaceMetrics {
    Face face;
    bool bold;
    bool italic;
    int unitsPerEm;
    const GlyphBox* boxes;   // by byte code
    const char32_t* unicode; // by byte code; null for Latin-1 faces
};

struct CharGlyph {
    char32_t ch;
    FontStyle style;
    Face face;
    unsigned char code;
};

// A form of a character drawn for script sizes (level 1) or scripts of
// scripts (2): primes, heavier and placed for superscripts.
struct ScriptGlyph {
    char32_t ch;
    std::uint8_t level;
    Face face;
    unsigned char code;
};

// A growing glyph's ready-made sizes, smallest first (`size` its height or
// width in units of 1000 an em), and the pieces it is assembled from past
// the largest, bottom (or left) first.
struct Variant {
    Face face;
    unsigned char code;
    std::int16_t size;
};
struct Part {
    Face face;
    unsigned char code;
    std::int16_t start, end, full; // connector lengths and the full advance
    bool extender;                 // repeated as often as needed
};
struct Construction {
    char32_t ch;
    std::uint16_t firstVariant, variants, firstPart, parts;
};

// The maths font's constants (OpenType MATH), in units of 1000 an em.
struct MathConstants {
    std::int16_t scriptPercentScaleDown, scriptScriptPercentScaleDown, delimitedSubFormulaMinHeight,
        displayOperatorMinHeight, axisHeight, accentBaseHeight, flattenedAccentBaseHeight,
        subscriptShiftDown, subscriptTopMax, subscriptBaselineDropMin, superscriptShiftUp,
        superscriptShiftUpCramped, superscriptBottomMin, superscriptBaselineDropMax,
        subSuperscriptGapMin, superscriptBottomMaxWithSubscript, spaceAfterScript, upperLimitGapMin,
        upperLimitBaselineRiseMin, lowerLimitGapMin, lowerLimitBaselineDropMin, stackTopShiftUp,
        stackTopDisplayStyleShiftUp, stackBottomShiftDown, stackBottomDisplayStyleShiftDown,
        stackGapMin, stackDisplayStyleGapMin, stretchStackTopShiftUp, stretchStackBottomShiftDown,
        stretchStackGapAboveMin, stretchStackGapBelowMin, fractionNumeratorShiftUp,
        fractionNumeratorDisplayStyleShiftUp, fractionDenominatorShiftDown,
        fractionDenominatorDisplayStyleShiftDown, fractionNumeratorGapMin,
        fractionNumDisplayStyleGapMin, fractionRuleThickness, fractionDenominatorGapMin,
        fractionDenomDisplayStyleGapMin, overbarVerticalGap, overbarRuleThickness,
        overbarExtraAscender, underbarVerticalGap, underbarRuleThickness, underbarExtraDescender,
        radicalVerticalGap, radicalDisplayStyleVerticalGap, radicalRuleThickness,
        radicalExtraAscender, radicalKernBeforeDegree, radicalKernAfterDegree,
        radicalDegreeBottomRaisePercent, minConnectorOverlap;
};

const MathConstants& mathConstants();

// The glyph for a character in a font style; a style that has no glyph for
// it falls back to the formula's own (Math). False when no face draws it.
bool glyphFor(char32_t ch, FontStyle style, Glyph& out);
// The form drawn for scripts, where the font has one (`out` is left alone
// otherwise).
bool scriptGlyphFor(char32_t ch, int level, Glyph& out);
// The face, bold and italic flags that set \text-like words in a style.
Glyph textFaceFor(FontStyle style);

const GlyphBox& boxOf(const Glyph& g);
int unitsPerEm(const Glyph& g);

// The sizes and pieces of a character that grows vertically (delimiters,
// radicals, large operators) or horizontally (braces, wide accents, arrows);
// null for one that does not.
const Construction* verticalConstruction(char32_t ch);
const Construction* horizontalConstruction(char32_t ch);
std::span<const Variant> variantsOf(const Construction& c);
std::span<const Part> partsOf(const Construction& c);

// The Unicode character a code of a face draws, for reading text; 0 for a
// face or code this does not know.
char32_t unicodeOf(std::string_view face, unsigned char code);

} // namespace quill::formula
