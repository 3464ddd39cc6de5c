#include "formula/formulalayout.h"

#include "mathsymbolsunicode.h"
#include "render/fontface.h"
#include "render/layers.h"
#include "render/surface.h"

#include <QFontMetrics>
#include <QFontMetricsF>
#include <QRectF>
#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <unordered_map>

namespace quill::formula {

std::string faceName(Face face) {
    switch (face) {
    case Face::Variable:
        return "Zidezir";
    case Face::Symbol:
        return "MathSymbols";
    case Face::Text:
        return "Arial";
    }
    return "Arial";
}

namespace {

// The symbol face draws the radical sign for "$".
constexpr unsigned char RadicalCode = '$';
// Large operators are drawn this much larger than their row.
constexpr double LargeOperatorScale = 1.4;
// Scripts are this much of their base's size, never under the smallest size.
constexpr double ScriptScale = 0.7;
// A bar is about this thick for its size (the radical sign's own stroke).
constexpr double BarThicknessEm = 0.047;
// The largest formula placed: far inside the canvas's 16-bit coordinates.
constexpr int MaxFormulaPixels = 20000;

int clampPoints(int p) {
    return std::clamp(p, MinFormulaPoints, MaxFormulaPoints);
}

int scriptPoints(int p) {
    return std::max(MinFormulaPoints, static_cast<int>(std::lround(p * ScriptScale)));
}

// The line width from the list nearest to a bar of `em * BarThicknessEm`.
int barWidthFor(double em) {
    const double want = em * BarThicknessEm;
    int best = FormulaBarWidths[0];
    for (const int w : FormulaBarWidths)
        if (std::abs(w - want) < std::abs(best - want))
            best = w;
    return best;
}

struct FontInfo {
    QFontMetricsF fm;
    int ascent = 0; // as the canvas puts the baseline below a text's top
    int height = 0; // as text entry measures a line
    double em = 0;  // the pixel size
    double xHeight = 0;
    double axis = 0; // height of the maths axis above the baseline
    explicit FontInfo(const QFont& f) : fm(f) {}
};

// A text piece: one text item, its baseline at `base` (y grows downwards).
struct TPiece {
    int id = 0;
    Face face = Face::Variable;
    int points = 0;
    std::string text;
    double x = 0;
    double base = 0;
    double advance = 0;
};

// A bar piece: one horizontal line, painted from `left` to `right`, its top
// row at `top`, `width` rows thick.
struct BPiece {
    int id = 0;
    double left = 0, right = 0, top = 0;
    int width = 0;
    bool vertical = false; // then a stem from `top` to `bottom`, left..right wide
    double bottom = 0;
};

// A laid-out part: origin on its baseline at its left edge; h and d are the
// ink's reach above and below the baseline, il and ir its left and right.
struct Box {
    double w = 0, h = 0, d = 0, il = 0, ir = 0;
    bool ink = false;
    std::vector<TPiece> t;
    std::vector<BPiece> b;

    void addInk(double left, double right, double above, double below) {
        if (!ink) {
            il = left, ir = right, h = above, d = below;
            ink = true;
            return;
        }
        il = std::min(il, left), ir = std::max(ir, right);
        h = std::max(h, above), d = std::max(d, below);
    }
    // Puts `c` with its origin at (dx, dy) of this box (dy downwards).
    void place(Box&& c, double dx, double dy) {
        for (TPiece& p : c.t) {
            p.x += dx, p.base += dy;
            t.push_back(std::move(p));
        }
        for (BPiece& p : c.b) {
            p.left += dx, p.right += dx, p.top += dy, p.bottom += dy;
            b.push_back(p);
        }
        if (c.ink)
            addInk(c.il + dx, c.ir + dx, c.h - dy, c.d + dy);
    }
    std::vector<ItemRef> refs() const {
        std::vector<ItemRef> r;
        for (const TPiece& p : t)
            r.push_back({false, p.id});
        for (const BPiece& p : b)
            r.push_back({true, p.id});
        return r;
    }
};

// The face and the typed code that draw a symbol: the variable face for
// the characters it has, else the symbol face's code for the character.
struct Glyph {
    Face face = Face::Variable;
    unsigned char code = '?';
};
Glyph glyphOf(const Node& n) {
    if (n.font == FontStyle::Math && n.ch < 0x80 && n.ch >= 0x20)
        return {Face::Variable, static_cast<unsigned char>(n.ch)};
    const char32_t want = n.font == FontStyle::Blackboard ? (n.ch == 'C'   ? U'\u2102'
                                                             : n.ch == 'N' ? U'\u2115'
                                                             : n.ch == 'R' ? U'\u211D'
                                                                           : U'\u2124')
                                                          : n.ch;
    for (int c = 0x20; c < 256; ++c)
        if (MathSymbolsUnicode[c] == want)
            return {Face::Symbol, static_cast<unsigned char>(c)};
    return {};
}

bool isBig(SymbolClass c) {
    return c == SymbolClass::LargeOperator || c == SymbolClass::Integral;
}

} // namespace

struct Typesetter::Impl {
    std::map<std::pair<int, int>, std::unique_ptr<FontInfo>> fonts;
    int nextId = 0;
    std::vector<std::vector<int>> rows;
    std::vector<FractionParts> fractions;
    std::vector<ScriptParts> scripts;
    std::vector<RootParts> roots;

    FontInfo& font(Face face, int points) {
        auto& slot = fonts[{static_cast<int>(face), points}];
        if (!slot) {
            CanvasFont cf;
            cf.face = faceName(face);
            cf.pixelSize = pointsToPixels(points);
            const QFont qf = makeQFont(cf);
            slot = std::make_unique<FontInfo>(qf);
            slot->ascent = QFontMetrics(qf).ascent();
            slot->height = roundHalfEven16(slot->fm.height());
            slot->em = cf.pixelSize;
            slot->xHeight = slot->fm.xHeight();
            const QRectF plus = slot->fm.tightBoundingRect(QStringLiteral("+"));
            slot->axis = plus.isEmpty() ? slot->xHeight / 2 : -(plus.top() + plus.bottom()) / 2;
        }
        return *slot;
    }
    FontInfo& mathFont(int points) { return font(Face::Variable, points); }

    Box textBox(Face face, int points, const std::string& text) {
        FontInfo& f = font(face, points);
        const QString s = fromLatin1(text);
        Box box;
        TPiece p;
        p.id = nextId++;
        p.face = face;
        p.points = points;
        p.text = text;
        p.advance = f.fm.horizontalAdvance(s);
        box.w = p.advance;
        const QRectF ink = f.fm.tightBoundingRect(s);
        if (!ink.isEmpty())
            box.addInk(ink.left(), ink.right(), -ink.top(), ink.bottom());
        box.t.push_back(std::move(p));
        return box;
    }

    // A large operator, larger than its row and centred on the row's axis.
    Box bigSymbol(unsigned char code, int points, int level) {
        const int size = level == 0
                             ? std::min(MaxFormulaPoints,
                                        static_cast<int>(std::lround(points * LargeOperatorScale)))
                             : points;
        Box g = textBox(Face::Symbol, size, std::string(1, static_cast<char>(code)));
        Box box;
        const double axis = mathFont(points).axis;
        const double dy = g.ink ? -axis - (g.d - g.h) / 2 : 0;
        box.w = g.w;
        box.place(std::move(g), 0, dy);
        return box;
    }

    SymbolClass classOf(const Node& n) const {
        if (n.kind == Node::Kind::Symbol)
            return n.cls;
        if (n.kind == Node::Kind::Scripts && n.parts[0].size() == 1 &&
            n.parts[0][0].kind == Node::Kind::Symbol)
            return n.parts[0][0].cls;
        return SymbolClass::Ordinary;
    }

    // Space between two neighbours, in eighteenths of an em.
    static int spacing(SymbolClass l, SymbolClass r, int level) {
        using C = SymbolClass;
        const bool lOp = isBig(l), rOp = isBig(r);
        if ((lOp && (r == C::Ordinary || rOp)) ||
            (rOp && (l == C::Ordinary || lOp || l == C::Close)))
            return 3;
        if (level > 0)
            return 0;
        if (l == C::Relation && r == C::Relation)
            return 0;
        if (r == C::Relation && l != C::Open && l != C::Punctuation)
            return 5;
        if (l == C::Relation && r != C::Close && r != C::Punctuation)
            return 5;
        if (l == C::Binary || r == C::Binary)
            return 4;
        if (l == C::Punctuation)
            return 3;
        return 0;
    }

    Box layoutRow(const Row& row, int points, int level) {
        struct Atom {
            const Node* node;
            SymbolClass cls;
            double spaceBefore; // pixels of explicit space before it
        };
        const double em = mathFont(points).em;
        std::vector<Atom> atoms;
        atoms.reserve(row.size());
        double pending = 0;
        for (const Node& n : row) {
            if (n.kind == Node::Kind::Space) {
                pending += n.space * em / 18.0;
                continue;
            }
            atoms.push_back({&n, classOf(n), pending});
            pending = 0;
        }
        // A binary sign with nothing to join on its left, or before a
        // relation or a closing sign, is unary: an ordinary symbol.
        using C = SymbolClass;
        for (std::size_t i = 0; i < atoms.size(); ++i) {
            if (atoms[i].cls != C::Binary)
                continue;
            const bool leftOk =
                i > 0 && (atoms[i - 1].cls == C::Ordinary || atoms[i - 1].cls == C::Close);
            const bool rightOk = i + 1 < atoms.size() && atoms[i + 1].cls != C::Relation &&
                                 atoms[i + 1].cls != C::Close && atoms[i + 1].cls != C::Punctuation;
            if (!leftOk || !rightOk)
                atoms[i].cls = C::Ordinary;
        }

        Box box;
        double x = 0;
        bool prevInk = false;
        double prevInkRight = 0;
        auto put = [&](Box&& b) {
            // Never let two neighbours' ink touch (an italic letter's
            // overhang next to a symbol of another face).
            if (prevInk && b.ink)
                x = std::max(x, prevInkRight - b.il + 1.0);
            if (b.ink) {
                prevInk = true;
                prevInkRight = b.ir + x;
            }
            const double w = b.w;
            box.place(std::move(b), x, 0);
            x += w;
        };

        std::string run;
        Face runFace = Face::Variable;
        auto flush = [&] {
            if (!run.empty())
                put(textBox(runFace, points, run));
            run.clear();
        };
        for (std::size_t i = 0; i < atoms.size(); ++i) {
            const Atom& a = atoms[i];
            const Node& n = *a.node;
            const int mu = i > 0 ? spacing(atoms[i - 1].cls, a.cls, level) : 0;
            const bool simple = n.kind == Node::Kind::Symbol && !isBig(n.cls);
            const Glyph g = simple ? glyphOf(n) : Glyph{};
            if (simple && !run.empty() && runFace == g.face && mu == 0 && a.spaceBefore == 0) {
                run += static_cast<char>(g.code);
                continue;
            }
            flush();
            x += a.spaceBefore + mu * em / 18.0;
            if (simple) {
                run = std::string(1, static_cast<char>(g.code));
                runFace = g.face;
                continue;
            }
            put(layoutNode(n, points, level));
        }
        flush();
        x += pending;
        box.w = std::max(box.w, x);
        // Everything set on this row's own baseline shares it.
        std::vector<int> same;
        for (const TPiece& p : box.t)
            if (p.base == 0)
                same.push_back(p.id);
        if (same.size() > 1)
            rows.push_back(std::move(same));
        return box;
    }

    Box layoutNode(const Node& n, int points, int level) {
        switch (n.kind) {
        case Node::Kind::Symbol: {
            const Glyph g = glyphOf(n);
            if (isBig(n.cls))
                return bigSymbol(g.code, points, level);
            return textBox(g.face, points, std::string(1, static_cast<char>(g.code)));
        }
        case Node::Kind::Text:
            return textBox(Face::Text, points, n.text);
        case Node::Kind::Space: {
            Box b;
            b.w = n.space * mathFont(points).em / 18.0;
            return b;
        }
        case Node::Kind::Group:
            return layoutRow(n.parts[0], points, level);
        case Node::Kind::Fraction:
            return fraction(n, points, level);
        case Node::Kind::Root:
            return root(n, points, level);
        case Node::Kind::Scripts:
            return scriptsBox(n, points, level);
        default:
            return Box{};
        }
    }

    Box fraction(const Node& n, int points, int level) {
        const FontInfo& f = mathFont(points);
        const double em = f.em;
        Box num = layoutRow(n.parts[0], points, level);
        Box den = layoutRow(n.parts[1], points, level);
        const int t = barWidthFor(em);
        const double gap = t;
        const double ext = std::max(2.0, 0.06 * em);
        const double pad = 0.1 * em;
        const double barTop = -f.axis - t / 2.0;
        const double numW = num.ink ? num.ir - num.il : 0;
        const double denW = den.ink ? den.ir - den.il : 0;
        const double barLen = std::max(numW, denW) + 2 * ext;
        const double centre = pad + barLen / 2;
        auto dxFor = [&](const Box& b) { return centre - (b.ink ? (b.il + b.ir) / 2 : b.w / 2); };
        const double numBase = barTop - gap - (num.ink ? num.d : 0);
        const double denBase = barTop + t + gap + (den.ink ? den.h : 0);

        FractionParts parts;
        parts.numerator = num.refs();
        parts.denominator = den.refs();
        Box box;
        box.w = barLen + 2 * pad;
        const double numDx = dxFor(num), denDx = dxFor(den);
        box.place(std::move(num), numDx, numBase);
        box.place(std::move(den), denDx, denBase);
        BPiece bar;
        bar.id = nextId++;
        bar.left = pad;
        bar.right = pad + barLen;
        bar.top = barTop;
        bar.width = t;
        box.b.push_back(bar);
        box.addInk(bar.left, bar.right, -barTop, barTop + t);
        parts.bar = bar.id;
        fractions.push_back(std::move(parts));
        return box;
    }

    Box root(const Node& n, int points, int level) {
        const FontInfo& f = mathFont(points);
        const double em = f.em;
        Box body = layoutRow(n.parts[0], points, level);
        const double bodyH = body.ink ? body.h : f.xHeight;
        const double bodyD = body.ink ? std::max(0.0, body.d) : 0;
        const double clearance = std::max(3.0, 0.1 * em);
        // The sign grows with what it covers: the smallest size whose sign
        // reaches from below the contents to above them.
        const std::string sign(1, static_cast<char>(RadicalCode));
        // The sign's height grows with its pixel size: measured once at the
        // row's size and scaled, so only the size drawn is ever loaded.
        const QRectF r0 =
            font(Face::Symbol, points).fm.tightBoundingRect(QString(QChar(char16_t(RadicalCode))));
        const double perPixel = r0.height() / pointsToPixels(points);
        auto need = [&](int s) {
            return bodyH + bodyD + clearance + barWidthFor(pointsToPixels(s)) + 2;
        };
        int size = points;
        while (size < MaxFormulaPoints && perPixel * pointsToPixels(size) < need(size))
            ++size;
        const FontInfo& sf = font(Face::Symbol, size);
        const QRectF r = sf.fm.tightBoundingRect(QString(QChar(char16_t(RadicalCode))));
        const int t = barWidthFor(sf.em);
        const double top = -bodyH - clearance - t; // the bar's top
        // A sign that cannot grow enough reaches down to the contents' foot
        // and a stem rises from its top to the bar.
        const bool stem = r.height() + 2 < bodyH + bodyD + clearance + t;
        const double signTop = stem ? bodyD - r.height() : top;
        const double signBase = signTop - r.top();

        Box g = textBox(Face::Symbol, size, sign);
        RootParts parts;
        parts.sign = g.t[0].id;
        Box box;
        box.place(std::move(g), 0, signBase);
        const double bodyX = r.right() + 0.08 * em - (body.ink ? body.il : 0);
        const double bodyRight = body.ink ? bodyX + body.ir : bodyX + body.w;
        parts.body = body.refs();
        box.place(std::move(body), bodyX, 0);
        BPiece bar;
        bar.id = nextId++;
        // Reaches back over the sign's top stroke so the two join.
        bar.left = std::floor(r.right()) - t;
        bar.right = std::max(bar.left + 1, bodyRight + 0.08 * em);
        bar.top = top;
        bar.width = t;
        box.b.push_back(bar);
        box.addInk(bar.left, bar.right, -top, top + t);
        if (stem) {
            BPiece v;
            v.id = nextId++;
            v.vertical = true;
            v.right = std::floor(r.right());
            v.left = v.right - t;
            v.top = top;
            v.bottom = signTop + t;
            box.b.push_back(v);
            parts.stem = v.id;
        }
        box.w = bar.right + 0.05 * em;
        parts.bar = bar.id;
        roots.push_back(std::move(parts));
        return box;
    }

    Box scriptsBox(const Node& n, int points, int level) {
        const FontInfo& f = mathFont(points);
        const double em = f.em, xh = f.xHeight;
        const int sp = scriptPoints(points);
        const double emS = mathFont(sp).em;
        const bool limits = n.parts[0].size() == 1 && n.parts[0][0].kind == Node::Kind::Symbol &&
                            n.parts[0][0].cls == SymbolClass::LargeOperator && level == 0;
        Box base = layoutRow(n.parts[0], points, level);
        std::optional<Box> sup, sub;
        if (n.hasSup)
            sup = layoutRow(n.parts[1], sp, level + 1);
        if (n.hasSub)
            sub = layoutRow(n.parts[2], sp, level + 1);

        ScriptParts parts;
        parts.limits = limits;
        parts.base = base.refs();
        if (sup)
            parts.sup = sup->refs();
        if (sub)
            parts.sub = sub->refs();
        scripts.push_back(parts);

        Box box;
        if (limits) {
            // Limits centred above and below the operator.
            const double gap = 0.12 * em;
            const double centre = base.ink ? (base.il + base.ir) / 2 : base.w / 2;
            double left = 0;
            auto inkW = [](const Box& b) { return b.ink ? b.ir - b.il : b.w; };
            double widest = inkW(base);
            if (sup)
                widest = std::max(widest, inkW(*sup));
            if (sub)
                widest = std::max(widest, inkW(*sub));
            const double shift = widest / 2 - (centre - (base.ink ? base.il : 0));
            left = std::max(0.0, shift);
            auto dxFor = [&](const Box& b) {
                return left + centre - (b.ink ? (b.il + b.ir) / 2 : b.w / 2);
            };
            const double baseTop = base.ink ? -base.h : 0, baseBottom = base.ink ? base.d : 0;
            if (sup) {
                const double dx = dxFor(*sup);
                const double dy = baseTop - gap - (sup->ink ? sup->d : 0);
                box.place(std::move(*sup), dx, dy);
            }
            if (sub) {
                const double dx = dxFor(*sub);
                const double dy = baseBottom + gap + (sub->ink ? sub->h : 0);
                box.place(std::move(*sub), dx, dy);
            }
            const double baseW = base.w;
            box.place(std::move(base), left, 0);
            box.w = std::max({box.ink ? box.ir : 0.0, left + baseW});
            box.w += 0.05 * em;
            return box;
        }

        const double baseH = base.ink ? base.h : 0, baseD = base.ink ? base.d : 0;
        double u = 0, v = 0;
        if (sup) {
            u = std::max(baseH - 0.36 * emS, 0.85 * xh);
            if (sup->ink)
                u = std::max(u, sup->d + 0.3 * xh);
        }
        if (sub) {
            v = std::max(baseD + 0.1 * emS, 0.3 * xh);
            if (sub->ink)
                v = std::max(v, sub->h - 0.85 * xh);
        }
        if (sup && sub && sup->ink && sub->ink) {
            const double between = (u - sup->d) - (sub->h - v);
            const double want = 0.25 * xh;
            if (between < want)
                v += want - between;
        }
        const double baseW = base.w;
        const double baseRight = base.ink ? std::max(base.w, base.ir) : base.w;
        double w = baseW;
        if (sup) {
            const double dx = baseRight + 0.06 * em - (sup->ink ? std::min(0.0, sup->il) : 0);
            w = std::max(w, dx + sup->w);
            box.place(std::move(*sup), dx, -u);
        }
        if (sub) {
            const double dx = baseW + 0.02 * em - (sub->ink ? std::min(0.0, sub->il) : 0);
            w = std::max(w, dx + sub->w);
            box.place(std::move(*sub), dx, v);
        }
        box.place(std::move(base), 0, 0);
        box.w = w + 0.05 * em;
        return box;
    }

    void reset() {
        nextId = 0;
        rows.clear();
        fractions.clear();
        scripts.clear();
        roots.clear();
    }
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
    Impl& m = *m_impl;
    m.reset();
    TypesetFormula out;
    Box box = m.layoutRow(row, clampPoints(points), 0);

    // Whole pixels: every baseline and bar top rounded once, so items that
    // share a baseline in the layout share it on the canvas too.
    std::unordered_map<int, ItemRef> where;
    QRect bounds;
    for (const TPiece& p : box.t) {
        const FontInfo& f = m.font(p.face, p.points);
        PlacedText t;
        t.face = p.face;
        t.points = p.points;
        t.text = p.text;
        t.baseline = static_cast<int>(std::lround(p.base));
        t.x = static_cast<int>(std::lround(p.x));
        t.y = t.baseline - f.ascent;
        t.height = f.height;
        bounds |= QRect(t.x, t.y, std::max(1, static_cast<int>(std::lround(p.advance))),
                        std::max(1, t.height));
        where[p.id] = {false, static_cast<int>(out.texts.size())};
        out.texts.push_back(std::move(t));
    }
    for (const BPiece& p : box.b) {
        const int top = static_cast<int>(std::lround(p.top));
        const int left = static_cast<int>(std::lround(p.left));
        const int right = std::max(left, static_cast<int>(std::lround(p.right)) - 1);
        if (p.vertical) {
            const int w = right - left + 1;
            const int bottom = std::max(top, static_cast<int>(std::lround(p.bottom)) - 1);
            PlacedVBar v;
            v.width = w;
            v.x = left + w / 2;
            v.y1 = top + 6;
            v.y2 = bottom - 6;
            bounds |= QRect(QPoint(left, top), QPoint(right, bottom));
            where[p.id] = {true, static_cast<int>(out.vbars.size()), true};
            out.vbars.push_back(v);
            continue;
        }
        PlacedBar b;
        b.width = p.width;
        b.y = top + p.width / 2;
        b.x1 = left + 6;
        b.x2 = right - 6;
        bounds |= QRect(QPoint(left, top), QPoint(right, top + p.width - 1));
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
    for (PlacedVBar& v : out.vbars)
        v.x += dx, v.y1 += dy, v.y2 += dy;
    out.bounds = bounds.translated(dx, dy);

    auto mapped = [&](const std::vector<ItemRef>& refs) {
        std::vector<ItemRef> r;
        r.reserve(refs.size());
        for (const ItemRef& x : refs)
            r.push_back(where.at(x.index));
        return r;
    };
    for (const auto& ids : m.rows) {
        std::vector<int> r;
        for (const int id : ids)
            r.push_back(where.at(id).index);
        out.baselineRows.push_back(std::move(r));
    }
    for (const FractionParts& f : m.fractions)
        out.fractions.push_back(
            {where.at(f.bar).index, mapped(f.numerator), mapped(f.denominator)});
    for (const ScriptParts& s : m.scripts)
        out.scripts.push_back({mapped(s.base), mapped(s.sup), mapped(s.sub), s.limits});
    for (const RootParts& r : m.roots)
        out.roots.push_back({where.at(r.sign).index, where.at(r.bar).index, mapped(r.body),
                             r.stem < 0 ? -1 : where.at(r.stem).index});
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
    for (const PlacedBar& b : formula.bars) {
        if (!expr.AddHLine(add16(static_cast<std::int16_t>(topLeft.y()), b.y),
                           add16(static_cast<std::int16_t>(topLeft.x()), b.x1),
                           add16(static_cast<std::int16_t>(topLeft.x()), b.x2),
                           static_cast<std::int16_t>(b.width))) {
            expr = before;
            return false;
        }
    }
    for (const PlacedVBar& v : formula.vbars) {
        if (!expr.AddVLine(add16(static_cast<std::int16_t>(topLeft.x()), v.x),
                           add16(static_cast<std::int16_t>(topLeft.y()), v.y1),
                           add16(static_cast<std::int16_t>(topLeft.y()), v.y2),
                           static_cast<std::int16_t>(v.width))) {
            expr = before;
            return false;
        }
    }
    for (const PlacedText& t : formula.texts) {
        const std::int16_t x = add16(static_cast<std::int16_t>(topLeft.x()), t.x);
        const std::int16_t y = add16(static_cast<std::int16_t>(topLeft.y()), t.y);
        const auto h = static_cast<std::int16_t>(t.height);
        if (!expr.AddTextItem(faceName(t.face), VbFalse, VbFalse,
                              static_cast<std::int16_t>(t.points), t.text, x, y, add16(x, -5),
                              add16(y, h - 5), h)) {
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
