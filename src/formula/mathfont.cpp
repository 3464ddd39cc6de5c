#include "formula/mathfont.h"

#include "formula/mathglyphs.h"

#include <algorithm>
#include <array>

namespace quill::formula {

namespace {

constexpr std::array<std::string_view, FaceCount> FaceNames{"Zidezir",
                                                            "MathSymbols",
                                                            "Arial",
                                                            "Corvel Serif",
                                                            "Corvel Mono",
                                                            "Corvel Math",
                                                            "Corvel Math Relations",
                                                            "Corvel Math Extra",
                                                            "Corvel Math Greek",
                                                            "Corvel Math Large",
                                                            "Corvel Math Delimiters",
                                                            "Corvel Math Pieces",
                                                            "Corvel Math Alphabets"};

constexpr bool charsSorted() {
    for (std::size_t i = 1; i < std::size(tables::CharGlyphs); ++i) {
        const CharGlyph& a = tables::CharGlyphs[i - 1];
        const CharGlyph& b = tables::CharGlyphs[i];
        if (a.ch > b.ch || (a.ch == b.ch && a.style >= b.style))
            return false;
    }
    return true;
}
static_assert(charsSorted(), "the generated character table must be sorted");

template <std::size_t N> constexpr bool constructionsSorted(const Construction (&c)[N]) {
    for (std::size_t i = 1; i < N; ++i)
        if (c[i - 1].ch >= c[i].ch)
            return false;
    return true;
}
static_assert(constructionsSorted(tables::VerticalConstructions));
static_assert(constructionsSorted(tables::HorizontalConstructions));

// The metrics of a face in a style: four slots a face (bold, italic).
const FaceMetrics* metricsOf(Face face, bool bold, bool italic) {
    static const auto slots = [] {
        std::array<const FaceMetrics*, FaceCount * 4> s{};
        for (const FaceMetrics& m : tables::Faces)
            s[static_cast<std::size_t>(m.face) * 4 + (m.bold ? 2 : 0) + (m.italic ? 1 : 0)] = &m;
        return s;
    }();
    const std::size_t base = static_cast<std::size_t>(face) * 4;
    const FaceMetrics* m = slots[base + (bold ? 2 : 0) + (italic ? 1 : 0)];
    return m ? m : slots[base];
}

const GlyphBox EmptyBox{};

bool isLatinLetter(char32_t c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

const CharGlyph* findChar(char32_t ch, FontStyle style) {
    const auto* begin = std::begin(tables::CharGlyphs);
    const auto* end = std::end(tables::CharGlyphs);
    const auto* it =
        std::lower_bound(begin, end, std::pair{ch, style},
                         [](const CharGlyph& g, const std::pair<char32_t, FontStyle>& k) {
                             return g.ch < k.first || (g.ch == k.first && g.style < k.second);
                         });
    return it != end && it->ch == ch && it->style == style ? it : nullptr;
}

template <std::size_t N>
const Construction* findConstruction(const Construction (&c)[N], char32_t ch) {
    const auto* it = std::lower_bound(std::begin(c), std::end(c), ch,
                                      [](const Construction& x, char32_t k) { return x.ch < k; });
    return it != std::end(c) && it->ch == ch ? it : nullptr;
}

} // namespace

std::string_view faceNameOf(Face face) {
    return FaceNames[static_cast<std::size_t>(face)];
}

const MathConstants& mathConstants() {
    return tables::Constants;
}

Glyph textFaceFor(FontStyle style) {
    switch (style) {
    case FontStyle::Bold:
        return {Face::Serif, true, false, 0};
    case FontStyle::Italic:
        return {Face::Serif, false, true, 0};
    case FontStyle::BoldItalic:
        return {Face::Serif, true, true, 0};
    case FontStyle::Sans:
        return {Face::Text, false, false, 0};
    case FontStyle::Mono:
        return {Face::Mono, false, false, 0};
    default:
        return {Face::Serif, false, false, 0};
    }
}

bool glyphFor(char32_t ch, FontStyle style, Glyph& out) {
    const bool digit = ch >= '0' && ch <= '9';
    // Latin letters and digits in the text-like styles: the Latin-1 faces,
    // whose byte code is the character.
    if (isLatinLetter(ch) || digit) {
        switch (style) {
        case FontStyle::Math:
            out = {Face::Variable, false, false, static_cast<unsigned char>(ch)};
            return true;
        case FontStyle::Calligraphic:
        case FontStyle::Fraktur:
        case FontStyle::Blackboard:
            break;
        default:
            out = textFaceFor(style);
            out.code = static_cast<unsigned char>(ch);
            return true;
        }
    }
    const CharGlyph* g = findChar(ch, style);
    if (!g && style != FontStyle::Math)
        return glyphFor(ch, FontStyle::Math, out);
    if (!g)
        return false;
    out = {g->face, false, false, g->code};
    return true;
}

bool scriptGlyphFor(char32_t ch, int level, Glyph& out) {
    for (const ScriptGlyph& g : tables::ScriptGlyphs)
        if (g.ch == ch && g.level == level) {
            out = {g.face, false, false, g.code};
            return true;
        }
    return false;
}

const GlyphBox& boxOf(const Glyph& g) {
    const FaceMetrics* m = metricsOf(g.face, g.bold, g.italic);
    return m ? m->boxes[g.code] : EmptyBox;
}

int unitsPerEm(const Glyph& g) {
    const FaceMetrics* m = metricsOf(g.face, g.bold, g.italic);
    return m ? m->unitsPerEm : 1000;
}

const Construction* verticalConstruction(char32_t ch) {
    return findConstruction(tables::VerticalConstructions, ch);
}

const Construction* horizontalConstruction(char32_t ch) {
    return findConstruction(tables::HorizontalConstructions, ch);
}

std::span<const Variant> variantsOf(const Construction& c) {
    return std::span<const Variant>(tables::Variants).subspan(c.firstVariant, c.variants);
}

std::span<const Part> partsOf(const Construction& c) {
    return std::span<const Part>(tables::Parts).subspan(c.firstPart, c.parts);
}

char32_t unicodeOf(std::string_view face, unsigned char code) {
    for (std::size_t i = 0; i < FaceNames.size(); ++i) {
        if (FaceNames[i] != face)
            continue;
        const FaceMetrics* m = metricsOf(static_cast<Face>(i), false, false);
        return m && m->unicode ? m->unicode[code] : 0;
    }
    return 0;
}

} // namespace quill::formula
