#pragma once
// The typesetter's inner workings, shared by its source files: boxes of
// laid-out parts and the engine that lays out a formula tree by TeX's rules
// for mathematics, with the maths constants of the program's faces.
//
// Coordinates are pixels, x to the right and y downwards; a box's origin is
// the left end of its baseline.

#include "formula/formulalayout.h"
#include "formula/mathfont.h"

#include <QFontMetricsF>
#include <cmath>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <tuple>
#include <unordered_map>
#include <vector>

namespace quill::formula::detail {

// A style and whether it is cramped (superscripts raised less).
struct Style {
    MathStyle style = MathStyle::Display;
    bool cramped = false;

    bool display() const { return style == MathStyle::Display; }
    bool script() const { return style == MathStyle::Script || style == MathStyle::ScriptScript; }
    Style cramp() const { return {style, true}; }
    // The style of a superscript, a subscript, a fraction's numerator and
    // its denominator.
    Style sup() const;
    Style sub() const { return {sup().style, true}; }
    Style num() const;
    Style den() const { return {num().style, true}; }
};

// TeX's atom classes, for the spacing between neighbours.
enum class Atom : std::uint8_t { Ord, Op, Bin, Rel, Open, Close, Punct, Inner };

// One text item: `text` in `glyph`'s face at `points`, its baseline's left
// end at (x, base).
struct TPiece {
    int id = 0;
    Glyph glyph;
    int points = 0;
    std::string text;
    double x = 0, base = 0;
};

// One rule, `thickness` whole pixels from `top`, from `left` to `right`.
struct BPiece {
    int id = 0;
    double left = 0, right = 0, top = 0;
    int thickness = 0;
};

struct Box {
    double w = 0, h = 0, d = 0; // width, height above and depth below the baseline
    // The ink: left, right, and its reach above and below the baseline.
    bool ink = false;
    double il = 0, ir = 0, ih = 0, id = 0;
    // A box of one character: its italic correction and the x its accents
    // centre on (NaN: the middle of its width).
    bool single = false;
    double italic = 0;
    double accentX = std::numeric_limits<double>::quiet_NaN();
    std::vector<TPiece> t;
    std::vector<BPiece> b;

    void addInk(double left, double right, double above, double below);
    // Puts `c` with its origin at (dx, dy) of this box; the box's own
    // width, height and depth are left to the caller.
    void place(Box&& c, double dx, double dy);
    // The ink of `c` placed at (dx, dy) stretches this box's height and depth.
    void grow(const Box& c, double dy);
    std::vector<ItemRef> refs() const;
    double inkLeft() const { return ink ? il : 0; }
    double inkRight() const { return ink ? ir : w; }
    double inkCentre() const { return ink ? (il + ir) / 2 : w / 2; }
};

// A font at a size as the canvas draws it: what placing its text items needs.
struct FaceSize {
    int ascent = 0; // the baseline below a text item's top
    int height = 0; // the line's height, as text entry measures it
    std::unique_ptr<QFontMetricsF> fm;
};

class Engine {
public:
    // Lays out `row` for a formula of `points`, in display style.
    Box layout(const Row& row, int points);
    void reset();

    // The account of what the layout did (TypesetFormula's, by piece ids
    // rather than item indices).
    TypesetFormula account;

    // A face at a size, measured once.
    FaceSize& faceSize(const Glyph& g, int points);

private:
    int m_points = 100; // the formula's size
    int m_rule = 6;     // the thickness of every rule of the formula
    int m_nextId = 0;
    std::map<std::tuple<int, bool, bool, int>, FaceSize> m_faces;
    // Words measured with their kerning, by face, size and text.
    std::unordered_map<std::string, Box> m_words;

    int pointsOf(Style s) const;
    double emOf(Style s) const;
    // A maths constant (units of 1000 an em) in pixels at a style's size.
    double units(Style s, int value) const { return value * emOf(s) / 1000.0; }
    double axis(Style s) const;
    double ruleThickness() const { return m_rule; }

    // A row of atoms with TeX's spaces between them; `afterOrd`: as if an
    // empty atom came first (an aligned column's right-hand cells).
    Box row(const Row& row, Style s, bool afterOrd = false);
    Box node(const Node& n, Style s, Atom& atom);
    Box glyphBox(const Glyph& g, int points);
    Box symbol(const Node& n, Style s);
    Box word(const Glyph& face, const std::string& latin1, int points);
    Box largeOperator(const Node& n, Style s);
    Box fraction(const Node& n, Style s);
    Box radical(const Node& n, Style s);
    Box scriptsBox(const Node& n, Style s, Atom& atom);
    Box limits(Box&& base, std::optional<Box>&& sup, std::optional<Box>&& sub, Style s,
               double italic);
    Box delimited(const Node& n, Style s);
    Box array(const Node& n, Style s);
    Box accent(const Node& n, Style s);
    Box overUnder(const Node& n, Style s);
    Box rule(double left, double right, double top);
    // A delimiter at least `size` pixels tall centred on the axis, from its
    // sizes or assembled from its pieces; null delimiter for 0.
    Box delimiter(char32_t ch, double size, Style s);
    // A delimiter covering what reaches `height` above and `depth` below
    // the baseline, as TeX sizes \left and \right.
    Box delimiterFor(char32_t ch, double height, double depth, Style s);
    // A vertical glyph at least `size` pixels tall (its bottom at the
    // baseline when assembled), or the largest size when `assemble` is false.
    Box tallGlyph(const Construction& c, double size, int points, bool assemble);
    // A horizontal glyph at least `width` pixels wide, or with `atMost`
    // the widest size no wider.
    Box wideGlyph(char32_t ch, double width, int points, bool atMost);
    // Pieces joined into a glyph at least `size` pixels tall (bottom at the
    // baseline) or wide (from the origin).
    Box assembly(std::span<const Part> parts, double size, int points, bool vertical);
    int nextId() { return m_nextId++; }
};

} // namespace quill::formula::detail
