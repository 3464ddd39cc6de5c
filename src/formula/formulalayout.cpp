#include "formula/formulalayout.h"

#include "formula/layoutengine.h"
#include "render/fontface.h"
#include "render/layers.h"
#include "render/surface.h"

#include <QFontMetrics>
#include <QRectF>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <unordered_map>

namespace quill::formula {

std::string faceName(Face face) {
    return std::string(faceNameOf(face));
}

namespace detail {

namespace {

// The largest formula placed: far inside the canvas's 16-bit coordinates.
constexpr int MaxFormulaPixels = 20000;
// Latin-1 words measured are forgotten past this many (typing a formula
// measures a new word on many keystrokes).
constexpr std::size_t MaxWordsKept = 4096;

// Rounding that moves every value alike, so that parts placed a whole
// number of pixels apart stay that far apart.
int snap(double v) {
    return static_cast<int>(std::floor(v + 0.5));
}

int clampPoints(int p) {
    return std::clamp(p, MinFormulaPoints, MaxFormulaPoints);
}

// The space between neighbours, in eighteenths of an em (TeX's table: thin
// 3, medium 4, thick 5; the medium and thick ones, and most thin ones, only
// in display and text style).
int spacing(Atom l, Atom r, bool scriptStyle) {
    // Rows: left atom; columns: right atom. Negative: only outside scripts.
    static constexpr int Table[8][8] = {
        //         Ord Op  Bin Rel Open Close Punct Inner
        /* Ord */ {0, 3, -4, -5, 0, 0, 0, -3},
        /* Op  */ {3, 3, 0, -5, 0, 0, 0, -3},
        /* Bin */ {-4, -4, 0, 0, -4, 0, 0, -4},
        /* Rel */ {-5, -5, 0, 0, -5, 0, 0, -5},
        /* Open */ {0, 0, 0, 0, 0, 0, 0, 0},
        /* Close */ {0, 3, -4, -5, 0, 0, 0, -3},
        /* Punct */ {-3, -3, 0, -3, -3, -3, -3, -3},
        /* Inner */ {-3, 3, -4, -5, -3, 0, -3, -3},
    };
    const int v = Table[static_cast<int>(l)][static_cast<int>(r)];
    if (v < 0)
        return scriptStyle ? 0 : -v;
    return v;
}

Atom atomOf(SymbolClass c) {
    switch (c) {
    case SymbolClass::Binary:
        return Atom::Bin;
    case SymbolClass::Relation:
        return Atom::Rel;
    case SymbolClass::LargeOperator:
    case SymbolClass::Integral:
        return Atom::Op;
    case SymbolClass::Open:
        return Atom::Open;
    case SymbolClass::Close:
        return Atom::Close;
    case SymbolClass::Punctuation:
        return Atom::Punct;
    case SymbolClass::Inner:
        return Atom::Inner;
    default:
        return Atom::Ord;
    }
}

// UTF-8 text as the program's 8-bit characters; what Latin-1 lacks
// becomes "?".
std::string latin1Of(const std::string& utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        if (b < 0x80) {
            out += static_cast<char>(b);
            ++i;
        } else if ((b >> 5) == 6 && i + 1 < utf8.size()) {
            const unsigned c =
                ((b & 0x1Fu) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu);
            out += c < 0x100 ? static_cast<char>(c) : '?';
            i += 2;
        } else {
            out += '?';
            ++i;
            while (i < utf8.size() && (static_cast<unsigned char>(utf8[i]) >> 6) == 2)
                ++i;
        }
    }
    return out;
}

} // namespace

Style Style::sup() const {
    switch (style) {
    case MathStyle::Display:
    case MathStyle::Text:
        return {MathStyle::Script, cramped};
    default:
        return {MathStyle::ScriptScript, cramped};
    }
}

Style Style::num() const {
    switch (style) {
    case MathStyle::Display:
        return {MathStyle::Text, cramped};
    case MathStyle::Text:
        return {MathStyle::Script, cramped};
    default:
        return {MathStyle::ScriptScript, cramped};
    }
}

void Box::addInk(double left, double right, double above, double below) {
    if (!ink) {
        il = left, ir = right, ih = above, id = below;
        ink = true;
        return;
    }
    il = std::min(il, left), ir = std::max(ir, right);
    ih = std::max(ih, above), id = std::max(id, below);
}

void Box::place(Box&& c, double dx, double dy) {
    for (TPiece& p : c.t) {
        p.x += dx, p.base += dy;
        t.push_back(std::move(p));
    }
    for (BPiece& p : c.b) {
        p.left += dx, p.right += dx, p.top += dy;
        b.push_back(p);
    }
    if (c.ink)
        addInk(c.il + dx, c.ir + dx, c.ih - dy, c.id + dy);
}

void Box::grow(const Box& c, double dy) {
    h = std::max(h, c.h - dy);
    d = std::max(d, c.d + dy);
}

std::vector<ItemRef> Box::refs() const {
    std::vector<ItemRef> r;
    r.reserve(t.size() + b.size());
    for (const TPiece& p : t)
        r.push_back({false, p.id});
    for (const BPiece& p : b)
        r.push_back({true, p.id});
    return r;
}

void Engine::reset() {
    m_nextId = 0;
    account = TypesetFormula{};
}

FaceSize& Engine::faceSize(const Glyph& g, int points) {
    FaceSize& f = m_faces[{static_cast<int>(g.face), g.bold, g.italic, points}];
    if (!f.fm) {
        CanvasFont cf;
        cf.face = faceName(g.face);
        cf.bold = g.bold;
        cf.italic = g.italic;
        cf.pixelSize = pointsToPixels(points);
        const QFont qf = makeQFont(cf);
        f.fm = std::make_unique<QFontMetricsF>(qf);
        f.ascent = QFontMetrics(qf).ascent();
        f.height = roundHalfEven16(f.fm->height());
    }
    return f;
}

int Engine::pointsOf(Style s) const {
    const MathConstants& c = mathConstants();
    switch (s.style) {
    case MathStyle::Display:
    case MathStyle::Text:
        return m_points;
    case MathStyle::Script:
        return clampPoints(
            static_cast<int>(std::lround(m_points * c.scriptPercentScaleDown / 100.0)));
    case MathStyle::ScriptScript:
        return clampPoints(
            static_cast<int>(std::lround(m_points * c.scriptScriptPercentScaleDown / 100.0)));
    }
    return m_points;
}

double Engine::emOf(Style s) const {
    return pointsToPixels(pointsOf(s));
}

double Engine::axis(Style s) const {
    return units(s, mathConstants().axisHeight);
}

Box Engine::layout(const Row& r, int points) {
    m_points = clampPoints(points);
    // One rule thickness for the whole formula: the list's width nearest
    // the maths font's fraction rule at the formula's size.
    const double want = mathConstants().fractionRuleThickness * pointsToPixels(m_points) / 1000.0;
    m_rule = FormulaBarWidths[0];
    for (const int w : FormulaBarWidths)
        if (std::abs(w - want) < std::abs(m_rule - want))
            m_rule = w;
    if (m_words.size() > MaxWordsKept)
        m_words.clear();
    return row(r, Style{MathStyle::Display, false});
}

Box Engine::glyphBox(const Glyph& g, int points) {
    const GlyphBox& gb = boxOf(g);
    const double s = pointsToPixels(points) / static_cast<double>(unitsPerEm(g));
    Box b;
    b.w = gb.advance * s;
    b.h = gb.yMax * s;
    b.d = -gb.yMin * s;
    if (gb.xMax > gb.xMin && gb.yMax > gb.yMin)
        b.addInk(gb.xMin * s, gb.xMax * s, gb.yMax * s, -gb.yMin * s);
    b.single = true;
    b.italic = gb.italic * s;
    if (gb.accent != NoAccent)
        b.accentX = gb.accent * s;
    TPiece p;
    p.id = nextId();
    p.glyph = g;
    p.points = points;
    p.text = std::string(1, static_cast<char>(g.code));
    b.t.push_back(std::move(p));
    return b;
}

Box Engine::word(const Glyph& face, const std::string& latin1, int points) {
    if (latin1.size() == 1) {
        Glyph g = face;
        g.code = static_cast<unsigned char>(latin1[0]);
        Box b = glyphBox(g, points);
        b.single = false;
        b.italic = 0;
        return b;
    }
    std::string key;
    key.reserve(latin1.size() + 8);
    key += static_cast<char>(face.face);
    key += static_cast<char>((face.bold ? 2 : 0) | (face.italic ? 1 : 0));
    key += std::to_string(points);
    key += '\n';
    key += latin1;
    auto it = m_words.find(key);
    if (it == m_words.end()) {
        // Measured as the canvas lays it out, kerning and all.
        const QFontMetricsF& fm = *faceSize(face, points).fm;
        const QString s = fromLatin1(latin1);
        Box m;
        m.w = fm.horizontalAdvance(s);
        const QRectF ink = fm.tightBoundingRect(s);
        if (!ink.isEmpty()) {
            m.addInk(ink.left(), ink.right(), -ink.top(), ink.bottom());
            m.h = m.ih, m.d = m.id;
        }
        it = m_words.emplace(std::move(key), std::move(m)).first;
    }
    Box b = it->second;
    TPiece p;
    p.id = nextId();
    p.glyph = face;
    p.points = points;
    p.text = latin1;
    b.t.push_back(std::move(p));
    return b;
}

Box Engine::rule(double left, double right, double top) {
    Box b;
    BPiece p;
    p.id = nextId();
    p.left = left;
    p.right = right;
    p.top = top;
    p.thickness = m_rule;
    b.b.push_back(p);
    b.addInk(left, right, -top, top + m_rule);
    return b;
}

Box Engine::symbol(const Node& n, Style s) {
    const int points = pointsOf(s);
    Glyph g;
    bool found = glyphFor(n.ch, n.font, g);
    // Primes and the like have forms drawn for script sizes.
    if (found && s.script())
        scriptGlyphFor(n.ch, s.style == MathStyle::Script ? 1 : 2, g);
    if (!found) {
        // A character no face draws (none should be asked for): its
        // Latin-1 form, or a question mark.
        g = textFaceFor(FontStyle::Roman);
        g.code = n.ch < 0x100 && n.ch >= 0x21 ? static_cast<unsigned char>(n.ch) : '?';
    }
    Box b = glyphBox(g, points);
    if (n.negated) {
        // \not: the long solidus over the symbol's middle.
        Glyph slash;
        if (glyphFor(U'\u0338', FontStyle::Math, slash)) {
            Box over = glyphBox(slash, points);
            const double dx = b.inkCentre() - over.inkCentre();
            const Box keep = b;
            account.joins.push_back({{false, b.t[0].id}, {false, over.t[0].id}});
            b.place(std::move(over), dx, 0);
            b.w = keep.w, b.h = std::max(keep.h, b.ih), b.d = std::max(keep.d, b.id);
            b.single = false;
        }
    }
    return b;
}

Box Engine::node(const Node& n, Style s, Atom& atom) {
    atom = Atom::Ord;
    switch (n.kind) {
    case Node::Kind::Symbol: {
        atom = atomOf(n.cls);
        if (n.cls == SymbolClass::LargeOperator || n.cls == SymbolClass::Integral)
            return largeOperator(n, s);
        if (n.bigSize > 0) {
            // \big, \Big, \bigg, \Bigg: the size of a delimiter around
            // 1.02, 1.53, 2.04 and 2.55 ems centred on the axis.
            const double half = 0.51 * n.bigSize * emOf(s) / 2;
            return delimiterFor(n.ch, axis(s) + half, half - axis(s), s);
        }
        return symbol(n, s);
    }
    case Node::Kind::Text: {
        const Glyph face = textFaceFor(n.font == FontStyle::Math ? FontStyle::Roman : n.font);
        return word(face, latin1Of(n.text), pointsOf(s));
    }
    case Node::Kind::Group:
        return row(n.parts[0], s);
    case Node::Kind::Fraction:
        atom = Atom::Inner;
        return fraction(n, s);
    case Node::Kind::Root:
        return radical(n, s);
    case Node::Kind::Scripts:
        return scriptsBox(n, s, atom);
    case Node::Kind::Delimited:
        atom = Atom::Inner;
        return delimited(n, s);
    case Node::Kind::Array:
        return array(n, s);
    case Node::Kind::Accent:
        return accent(n, s);
    case Node::Kind::OverUnder:
        // \overset{!}{=} is a relation, \underset{k}{\max} an operator.
        if ((n.overUnder == OverUnderKind::Over || n.overUnder == OverUnderKind::Under) &&
            !n.parts.empty() && n.parts[0].size() == 1) {
            const Node& base = n.parts[0][0];
            if (base.kind == Node::Kind::Symbol)
                atom = atomOf(base.cls);
            else if (base.kind == Node::Kind::Operator)
                atom = base.cls == SymbolClass::LargeOperator ? Atom::Op : atomOf(base.cls);
        }
        return overUnder(n, s);
    case Node::Kind::Operator:
        // \sin, \lim: an operator; \bmod a binary sign, the "mod" of
        // \pmod an ordinary word.
        atom = n.cls == SymbolClass::LargeOperator ? Atom::Op : atomOf(n.cls);
        return word(textFaceFor(FontStyle::Roman), latin1Of(n.text), pointsOf(s));
    case Node::Kind::Space:
    case Node::Kind::StyleChange:
        break;
    }
    return Box{};
}

Box Engine::row(const Row& r, Style s, bool afterOrd) {
    struct Item {
        Box box;
        Atom atom;
        double kern; // explicit space before it
        Style style;
    };
    std::vector<Item> items;
    items.reserve(r.size());
    double kern = 0;
    Style cur = s;
    if (afterOrd)
        items.push_back({Box{}, Atom::Ord, 0, cur});
    for (const Node& n : r) {
        if (n.kind == Node::Kind::Space) {
            kern += n.space * emOf(cur) / 18.0;
            continue;
        }
        if (n.kind == Node::Kind::StyleChange) {
            cur = Style{n.style, false};
            continue;
        }
        Atom atom = Atom::Ord;
        Box b = node(n, cur, atom);
        items.push_back({std::move(b), atom, kern, cur});
        kern = 0;
    }
    // A binary sign with nothing to combine on one side is an ordinary one.
    for (std::size_t i = 0; i < items.size(); ++i) {
        Atom& a = items[i].atom;
        const Atom prev = i > 0 ? items[i - 1].atom : Atom::Open;
        if (a == Atom::Bin && (prev == Atom::Bin || prev == Atom::Op || prev == Atom::Rel ||
                               prev == Atom::Open || prev == Atom::Punct))
            a = Atom::Ord;
        if ((a == Atom::Rel || a == Atom::Close || a == Atom::Punct) && i > 0 &&
            items[i - 1].atom == Atom::Bin)
            items[i - 1].atom = Atom::Ord;
    }
    if (!items.empty() && items.back().atom == Atom::Bin)
        items.back().atom = Atom::Ord;

    Box out;
    double x = 0;
    std::size_t run = SIZE_MAX; // the text item the last glyph went into
    for (std::size_t i = 0; i < items.size(); ++i) {
        Item& it = items[i];
        double gap = it.kern;
        if (i > 0)
            gap += spacing(items[i - 1].atom, it.atom, it.style.script()) * emOf(it.style) / 18.0;
        x += gap;
        Box& b = it.box;
        const double width = b.w;
        const double italic = b.single ? b.italic : 0;
        const bool oneGlyph =
            b.single && b.t.size() == 1 && b.b.empty() && b.t[0].base == 0 && b.t[0].x == 0;
        out.h = std::max(out.h, b.h), out.d = std::max(out.d, b.d);
        // A glyph right after one of the same face and size, with nothing
        // between them, joins its text item.
        TPiece* last = run < out.t.size() ? &out.t[run] : nullptr;
        if (oneGlyph && last && gap == 0 && last->glyph.face == b.t[0].glyph.face &&
            last->glyph.bold == b.t[0].glyph.bold && last->glyph.italic == b.t[0].glyph.italic &&
            last->points == b.t[0].points) {
            last->text += b.t[0].text;
            if (b.ink)
                out.addInk(b.il + x, b.ir + x, b.ih, b.id);
        } else {
            out.place(std::move(b), x, 0);
            run = oneGlyph ? out.t.size() - 1 : SIZE_MAX;
        }
        x += width;
        // A character's italic correction follows it (a slanted letter
        // before an upright one).
        if (italic > 0) {
            x += italic;
            run = SIZE_MAX;
        }
    }
    out.w = x + kern;
    // The text items set on this row's own baseline share it.
    std::vector<int> same;
    for (const TPiece& p : out.t)
        if (p.base == 0)
            same.push_back(p.id);
    if (same.size() > 1)
        account.baselineRows.push_back(std::move(same));
    return out;
}

} // namespace detail

struct Typesetter::Impl {
    detail::Engine engine;
};

Typesetter::Typesetter() : m_impl(std::make_unique<Impl>()) {}
Typesetter::~Typesetter() = default;

TypesetFormula Typesetter::typeset(std::string_view line, int points) {
    ParseResult parsed = parseFormula(line);
    if (!parsed.ok) {
        TypesetFormula r;
        r.message = parsed.message;
        r.position = parsed.position;
        return r;
    }
    return typeset(parsed.row, points);
}

TypesetFormula Typesetter::typeset(const Row& row, int points) {
    using namespace detail;
    Engine& e = m_impl->engine;
    e.reset();
    TypesetFormula out;
    Box box = e.layout(row, points);

    // Whole pixels: every baseline, left end and rule edge rounded alike, so
    // parts laid out whole pixels apart (a sign and its bar, the pieces of
    // a tall delimiter) stay so.
    std::unordered_map<int, ItemRef> where;
    QRect bounds;
    for (const TPiece& p : box.t) {
        const FaceSize& f = e.faceSize(p.glyph, p.points);
        PlacedText t;
        t.face = p.glyph.face;
        t.bold = p.glyph.bold;
        t.italic = p.glyph.italic;
        t.points = p.points;
        t.text = p.text;
        t.baseline = snap(p.base);
        t.x = snap(p.x);
        t.y = t.baseline - f.ascent;
        t.height = f.height;
        // The line's box and the glyphs' ink, which tall signs take far
        // past the line.
        double advance = 0, top = 0, bottom = 0, left = 0, right = 0;
        const double scale = pointsToPixels(p.points) / static_cast<double>(unitsPerEm(p.glyph));
        for (const char c : p.text) {
            Glyph g = p.glyph;
            g.code = static_cast<unsigned char>(c);
            const GlyphBox& gb = boxOf(g);
            left = std::min(left, advance + gb.xMin * scale);
            right = std::max(right, advance + gb.xMax * scale);
            top = std::max(top, gb.yMax * scale);
            bottom = std::max(bottom, -gb.yMin * scale);
            advance += gb.advance * scale;
        }
        bounds |= QRect(t.x, t.y, std::max(1, static_cast<int>(std::ceil(advance))),
                        std::max(1, t.height));
        bounds |= QRect(QPoint(t.x + static_cast<int>(std::floor(left)) - 1,
                               t.baseline - static_cast<int>(std::ceil(top)) - 1),
                        QPoint(t.x + static_cast<int>(std::ceil(right)) + 1,
                               t.baseline + static_cast<int>(std::ceil(bottom)) + 1));
        where[p.id] = {false, static_cast<int>(out.texts.size())};
        out.texts.push_back(std::move(t));
    }
    for (const BPiece& p : box.b) {
        const int top = snap(p.top);
        const int left = snap(p.left);
        const int right = std::max(left + 1, snap(p.right));
        PlacedBar b;
        b.width = p.thickness;
        b.y = top + p.thickness / 2;
        b.x1 = left + 6;
        b.x2 = right - 1 - 6;
        bounds |= QRect(QPoint(left, top), QPoint(right - 1, top + p.thickness - 1));
        where[p.id] = {true, static_cast<int>(out.bars.size())};
        out.bars.push_back(b);
    }
    if (bounds.width() > MaxFormulaPixels || bounds.height() > MaxFormulaPixels) {
        out = TypesetFormula{};
        out.message = "the formula is too large to place: " + std::to_string(bounds.width()) +
                      " x " + std::to_string(bounds.height()) + " pixels";
        return out;
    }
    const int dx = -bounds.left(), dy = -bounds.top();
    for (PlacedText& t : out.texts)
        t.x += dx, t.y += dy, t.baseline += dy;
    for (PlacedBar& b : out.bars)
        b.x1 += dx, b.x2 += dx, b.y += dy;
    out.bounds = bounds.translated(dx, dy);

    auto mapped = [&](const std::vector<ItemRef>& refs) {
        std::vector<ItemRef> r;
        r.reserve(refs.size());
        for (const ItemRef& x : refs)
            r.push_back(where.at(x.index));
        return r;
    };
    for (const auto& ids : e.account.baselineRows) {
        std::vector<int> r;
        for (const int id : ids)
            r.push_back(where.at(id).index);
        out.baselineRows.push_back(std::move(r));
    }
    for (const FractionParts& f : e.account.fractions)
        out.fractions.push_back(
            {f.bar < 0 ? -1 : where.at(f.bar).index, mapped(f.numerator), mapped(f.denominator)});
    for (const ScriptParts& s : e.account.scripts)
        out.scripts.push_back({mapped(s.base), mapped(s.sup), mapped(s.sub), s.limits, s.prime});
    for (const RootParts& r : e.account.roots)
        out.roots.push_back(
            {mapped(r.sign), where.at(r.bar).index, mapped(r.body), mapped(r.index)});
    for (const DelimiterParts& d : e.account.delimiters) {
        DelimiterParts m;
        for (const auto& one : d.delimiters)
            m.delimiters.push_back(mapped(one));
        m.contents = mapped(d.contents);
        out.delimiters.push_back(std::move(m));
    }
    for (const ArrayParts& a : e.account.arrays) {
        ArrayParts m{a.columns, a.align, {}};
        for (const auto& cell : a.cells)
            m.cells.push_back(mapped(cell));
        out.arrays.push_back(std::move(m));
    }
    for (const AccentParts& a : e.account.accents)
        out.accents.push_back({mapped(a.accent), mapped(a.base)});
    for (const auto& j : e.account.joins)
        out.joins.push_back(mapped(j));
    out.ok = true;
    return out;
}

bool addToExpression(const TypesetFormula& formula, Expression& expr, QPoint topLeft) {
    if (!formula.ok)
        return false;
    const auto room = [](VbBool exists, std::int32_t last, std::size_t want) {
        const std::int64_t used = exists == VbTrue ? static_cast<std::int64_t>(last) + 1 : 0;
        return used + static_cast<std::int64_t>(want) <= MaxTableRows;
    };
    if (!room(expr.textItemsExist, expr.lastTextItem, formula.texts.size()) ||
        !room(expr.hLinesExist, expr.lastHLine, formula.bars.size()) ||
        !room(expr.vLinesExist, expr.lastVLine, formula.vbars.size()))
        return false;
    const Expression before = expr;
    const auto x0 = static_cast<std::int16_t>(topLeft.x());
    const auto y0 = static_cast<std::int16_t>(topLeft.y());
    for (const PlacedBar& b : formula.bars) {
        if (!expr.AddHLine(add16(y0, b.y), add16(x0, b.x1), add16(x0, b.x2),
                           static_cast<std::int16_t>(b.width))) {
            expr = before;
            return false;
        }
    }
    for (const PlacedVBar& v : formula.vbars) {
        if (!expr.AddVLine(add16(x0, v.x), add16(y0, v.y1), add16(y0, v.y2),
                           static_cast<std::int16_t>(v.width))) {
            expr = before;
            return false;
        }
    }
    for (const PlacedText& t : formula.texts) {
        const std::int16_t x = add16(x0, t.x);
        const std::int16_t y = add16(y0, t.y);
        const auto h = static_cast<std::int16_t>(t.height);
        if (!expr.AddTextItem(faceName(t.face), t.bold ? VbTrue : VbFalse,
                              t.italic ? VbTrue : VbFalse, static_cast<std::int16_t>(t.points),
                              t.text, x, y, add16(x, -5), add16(y, h - 5), h)) {
            expr = before;
            return false;
        }
    }
    return true;
}

QImage renderFormula(const TypesetFormula& formula, int margin) {
    if (!formula.ok)
        return QImage();
    const QSize size = formula.bounds.size() + QSize(2 * margin, 2 * margin);
    Expression expr;
    if (!addToExpression(formula, expr, QPoint(margin, margin)))
        return QImage();
    Surface surface(size, BgrWhite);
    surface.beginFrame();
    surface.setForeColor(BgrBlack);
    DrawItems(surface, expr);
    surface.endFrame();
    return surface.image().copy();
}

} // namespace quill::formula
