// Typesetting formulas, checked on the ink the canvas draws for each item:
// fraction parts centred on their bar, the bar spanning the wider part and
// clearing them, one baseline per row, no ink of two items overlapping unless
// the layout joins them (a root's sign and its bar, pieces of a tall sign),
// scripts smaller and raised or lowered, nested parts smaller, one rule
// thickness a formula, primes touching their base, delimiters covering what
// they enclose, array columns aligned, accents and limits centred; and the
// weight of the symbols' strokes and the space around binary signs.

#include "cli/offscreencanvas.h"
#include "formula/formulalayout.h"
#include "formula/formulasymbols.h"
#include "render/fontface.h"
#include "render/layers.h"
#include "render/textcache.h"

#include <QFontMetrics>
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>

using namespace quill;
using namespace quill::formula;

namespace {

// The formula's own reference to an item, not the editor's.
using quill::formula::ItemRef;

const char* const Formulas[] = {
    "x = \\frac{-b \\pm \\sqrt{b^2-4ac}}{2a}",
    "\\frac{1}{2}",
    "\\frac{a+b}{c}",
    "\\frac{1}{x+y+z}",
    "\\frac{\\frac{a}{b}}{\\frac{c}{d}}",
    "\\frac{1}{1+\\frac{1}{1+\\frac{1}{x}}}",
    "\\sqrt{2}",
    "\\sqrt{\\frac{a}{b}}",
    "\\sqrt{x^2+y^2}",
    "\\sqrt{1+\\sqrt{1+\\sqrt{x}}}",
    "\\sqrt{\\frac{1}{\\frac{2}{3}}}",
    "x^2 + y^2 = z^2",
    "a_{ij} = a_{ji}",
    "x_1^2 + x_2^2",
    "e^{i\\pi} + 1 = 0",
    "e^{x^2}",
    "f^2 + f_1",
    "\\sum_{i=1}^{n} i = \\frac{n(n+1)}{2}",
    "\\prod_{k=1}^{\\infty} \\frac{1}{1-q^k}",
    "\\sum_{n=0}^{\\infty} \\frac{x^n}{n!}",
    "\\int_0^1 x^2 \\, dx = \\frac{1}{3}",
    "\\alpha^2 + \\beta^2 \\ne \\gamma^2",
    "\\Gamma(n) = (n-1)!",
    "\\text{if } x \\in \\mathbb{R} \\text{ then } x^2 \\ge 0",
    "f(x) = \\frac{\\sqrt{x}}{x^{3/2}}",
    "\\frac{\\partial f}{\\partial x}",
    "\\nabla \\cdot E = \\frac{\\rho}{\\epsilon_0}",
    "\\forall x \\exists y : x < y",
    "A \\subseteq B \\Leftrightarrow A \\cup B = B",
    "P(A|B) = \\frac{P(B|A) P(A)}{P(B)}",
    "\\frac{a}{b}^2",
    "f\\Gamma = V\\nabla", // italic overhangs next to another face
    "\\sqrt[3]{x+1} + \\sqrt{\\sqrt{\\sqrt{\\sqrt{\\sqrt{\\sqrt{\\sqrt{x}}}}}}}",
    "f'(x) + g''(y) + x'^2 + \\alpha'_1",
    "\\lim_{n \\to \\infty} \\left(1 + \\frac{1}{n}\\right)^n = \\max_{x \\in X} f(x)",
    "\\begin{pmatrix} a & b \\\\ c & d \\end{pmatrix} \\begin{array}{lcr} x & 1 & 100 \\\\ "
    "\\hline xyz & 22 & 3 \\end{array}",
    "|x| = \\begin{cases} x & x \\ge 0 \\\\ -x & x < 0 \\end{cases}",
    "\\begin{aligned} a &= b + c \\\\ d + e &\\le f \\end{aligned}",
    "\\left[ \\sum_{i=1}^n x_i \\right] \\left\\{ \\begin{matrix} 1 \\\\ 2 \\\\ 3 \\\\ 4 "
    "\\\\ 5 \\\\ 6 \\\\ 7 \\\\ 8 \\end{matrix} \\right. \\Big( \\bigl|",
    "\\hat{x} + \\tilde{A} + \\vec{v} + \\bar{1} + \\widehat{xyz} + \\dot{\\alpha}",
    "\\overbrace{a+b+c}^{3} + \\underbrace{x+y}_{2} + \\overline{AB} + \\underline{n}",
    "\\binom{n}{k} + \\dfrac{1}{2} + \\tfrac{1}{2} + \\mathbf{v} \\not\\prec \\mathcal{L}",
    "\\text{if } \\sin^2 \\theta + \\cos^2 \\theta = 1",
};

// An item's ink as the canvas draws it: its pixels with their coverage.
struct Ink {
    QRect box;
    std::vector<std::pair<QPoint, int>> pixels;
};

CanvasFont canvasFont(const PlacedText& t) {
    CanvasFont f;
    f.face = faceName(t.face);
    f.bold = t.bold;
    f.italic = t.italic;
    f.pixelSize = pointsToPixels(t.points);
    return f;
}

Ink textInk(const PlacedText& t) {
    Ink ink;
    const auto run = TextCache::render(canvasFont(t), t.text);
    const QPoint at = QPoint(t.x, t.y) + run->offset;
    for (int y = 0; y < run->mask.height(); ++y)
        for (int x = 0; x < run->mask.width(); ++x)
            if (const int a = run->mask.constScanLine(y)[x]; a > 0) {
                ink.pixels.push_back({at + QPoint(x, y), a});
                if (a >= 128)
                    ink.box |= QRect(at + QPoint(x, y), QSize(1, 1));
            }
    return ink;
}

Ink barInk(const PlacedBar& b) {
    Ink ink;
    ink.box = hLineBar(static_cast<std::int16_t>(b.x1), static_cast<std::int16_t>(b.x2),
                       static_cast<std::int16_t>(b.y), static_cast<std::int16_t>(b.width));
    for (int y = ink.box.top(); y <= ink.box.bottom(); ++y)
        for (int x = ink.box.left(); x <= ink.box.right(); ++x)
            ink.pixels.push_back({QPoint(x, y), 255});
    return ink;
}

Ink stemInk(const PlacedVBar& v) {
    Ink ink;
    ink.box = vLineBar(static_cast<std::int16_t>(v.x), static_cast<std::int16_t>(v.y1),
                       static_cast<std::int16_t>(v.y2), static_cast<std::int16_t>(v.width));
    for (int y = ink.box.top(); y <= ink.box.bottom(); ++y)
        for (int x = ink.box.left(); x <= ink.box.right(); ++x)
            ink.pixels.push_back({QPoint(x, y), 255});
    return ink;
}

class FormulaGeometry : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        cli::registerProgramFonts(QStringLiteral(QUILLMARK_TEST_PROGRAM_DIR));
    }

    struct Drawn {
        TypesetFormula f;
        std::vector<Ink> texts, bars, stems;
        QRect of(const std::vector<ItemRef>& refs) const {
            QRect r;
            for (const ItemRef& i : refs) {
                const auto k = static_cast<std::size_t>(i.index);
                r |= !i.bar ? texts[k].box : i.vertical ? stems[k].box : bars[k].box;
            }
            return r;
        }
    };

    Drawn draw(const char* line, int points) {
        Drawn d;
        d.f = m_typesetter.typeset(line, points);
        for (const PlacedText& t : d.f.texts)
            d.texts.push_back(textInk(t));
        for (const PlacedBar& b : d.f.bars)
            d.bars.push_back(barInk(b));
        for (const PlacedVBar& v : d.f.vbars)
            d.stems.push_back(stemInk(v));
        return d;
    }

    void check(const char* line, int points);

    Typesetter m_typesetter;
};

constexpr int NoOwner = 1 << 30;

double centreX(const QRect& r) {
    return (r.left() + r.right() + 1) / 2.0;
}

// How far apart two boxes are (0 when they touch or overlap).
int distance(const QRect& a, const QRect& b) {
    const int dx = std::max({0, b.left() - a.right() - 1, a.left() - b.right() - 1});
    const int dy = std::max({0, b.top() - a.bottom() - 1, a.top() - b.bottom() - 1});
    return std::max(dx, dy);
}

bool holds(const std::vector<ItemRef>& refs, ItemRef item) {
    return std::find(refs.begin(), refs.end(), item) != refs.end();
}

int largestPoints(const TypesetFormula& f, const std::vector<ItemRef>& refs) {
    int p = 0;
    for (const ItemRef& r : refs)
        if (!r.bar)
            p = std::max(p, f.texts[static_cast<std::size_t>(r.index)].points);
    return p;
}

// Every check of the layout, on one formula at one size.
void FormulaGeometry::check(const char* line, int points) {
    const MathConstants& k = mathConstants();
    {
        const double em = pointsToPixels(points);
        {
            SCOPED_TRACE(std::string(line) + " at " + std::to_string(points) + " pt");
            const Drawn d = draw(line, points);
            ASSERT_TRUE(d.f.ok) << d.f.message;

            // Every item inside the bounds, which start at (0, 0), and drawn
            // whole: a glyph's ink as tall as the face says, however far
            // past the line a tall sign reaches.
            EXPECT_EQ(d.f.bounds.topLeft(), QPoint(0, 0));
            for (std::size_t i = 0; i < d.f.texts.size(); ++i) {
                const PlacedText& t = d.f.texts[i];
                EXPECT_TRUE(d.f.bounds.contains(QPoint(t.x, t.y)));
                EXPECT_TRUE(d.f.bounds.contains(d.texts[i].box)) << "tall ink inside too";
                if (t.text.size() == 1) {
                    const GlyphBox& g =
                        boxOf({t.face, t.bold, t.italic, static_cast<unsigned char>(t.text[0])});
                    const double scale =
                        pointsToPixels(t.points) /
                        static_cast<double>(unitsPerEm({t.face, t.bold, t.italic, 0}));
                    EXPECT_NEAR(d.texts[i].box.height(), (g.yMax - g.yMin) * scale, 2.0)
                        << "item " << i << " drawn whole";
                }
                EXPECT_GE(t.points, MinFormulaPoints);
                EXPECT_LE(t.points, MaxFormulaPoints);
                // The baseline the canvas puts under the text's top.
                const int ascent = QFontMetrics(makeQFont(canvasFont(t))).ascent();
                EXPECT_EQ(t.baseline, t.y + ascent);
            }

            // One rule thickness for the whole formula.
            for (const Ink& bar : d.bars)
                EXPECT_NEAR(bar.box.height(), d.bars[0].box.height(), 1.0);

            for (const FractionParts& fr : d.f.fractions) {
                const QRect num = d.of(fr.numerator), den = d.of(fr.denominator);
                ASSERT_FALSE(num.isNull());
                ASSERT_FALSE(den.isNull());
                EXPECT_LT(num.bottom(), den.top());
                // Parts of a fraction inside it are smaller than its own
                // parts' other items, down to the smallest size.
                const int outer = largestPoints(d.f, fr.numerator);
                std::vector<const FractionParts*> inside;
                for (const FractionParts& inner : d.f.fractions)
                    if (inner.bar >= 0 && (holds(fr.numerator, {true, inner.bar}) ||
                                           holds(fr.denominator, {true, inner.bar})))
                        inside.push_back(&inner);
                std::vector<ItemRef> own;
                for (const auto* part : {&fr.numerator, &fr.denominator})
                    for (const ItemRef& r : *part)
                        if (std::none_of(inside.begin(), inside.end(), [&](const auto* in) {
                                return holds(in->numerator, r) || holds(in->denominator, r);
                            }))
                            own.push_back(r);
                for (const FractionParts* inner : inside) {
                    const int p = largestPoints(d.f, inner->numerator);
                    const int o = largestPoints(d.f, own);
                    if (o > 0) {
                        EXPECT_TRUE(p < o || p == MinFormulaPoints) << p << " in " << o;
                    }
                }
                if (fr.bar < 0)
                    continue;
                const QRect bar = d.bars[static_cast<std::size_t>(fr.bar)].box;
                EXPECT_NEAR(centreX(num), centreX(bar), 1.0);
                EXPECT_NEAR(centreX(den), centreX(bar), 1.0);
                EXPECT_LE(bar.left(), std::min(num.left(), den.left()));
                EXPECT_GE(bar.right(), std::max(num.right(), den.right()));
                EXPECT_LT(num.bottom(), bar.top());
                EXPECT_GT(den.top(), bar.bottom());
                EXPECT_TRUE(std::count(FormulaBarWidths.begin(), FormulaBarWidths.end(),
                                       d.f.bars[static_cast<std::size_t>(fr.bar)].width));
                // In display style (parts at the formula's size) the parts
                // clear the bar by the face's gaps.
                if (outer == points && largestPoints(d.f, fr.denominator) == points) {
                    EXPECT_GE(bar.top() - num.bottom() - 1,
                              std::floor(k.fractionNumDisplayStyleGapMin * em / 1000) - 1);
                    EXPECT_GE(den.top() - bar.bottom() - 1,
                              std::floor(k.fractionDenomDisplayStyleGapMin * em / 1000) - 1);
                }
            }

            for (const auto& row : d.f.baselineRows) {
                const PlacedText& first = d.f.texts[static_cast<std::size_t>(row[0])];
                for (const int i : row) {
                    const PlacedText& t = d.f.texts[static_cast<std::size_t>(i)];
                    const int ascent = QFontMetrics(makeQFont(canvasFont(t))).ascent();
                    EXPECT_NEAR(t.y + ascent,
                                first.y + QFontMetrics(makeQFont(canvasFont(first))).ascent(), 1)
                        << t.text << " and " << first.text;
                }
            }

            for (const ScriptParts& s : d.f.scripts) {
                const QRect base = d.of(s.base), sup = d.of(s.sup), sub = d.of(s.sub);
                if (s.base.empty())
                    continue;
                // Smaller than their base, but for a base already at the
                // size of scripts of scripts.
                const int basePts = largestPoints(d.f, s.base);
                const int smallest = std::max(
                    MinFormulaPoints,
                    static_cast<int>(std::lround(points * k.scriptScriptPercentScaleDown / 100.0)));
                for (const auto* part : {&s.sup, &s.sub}) {
                    const int p = largestPoints(d.f, *part);
                    if (!part->empty() && p > 0) {
                        EXPECT_LE(p, basePts);
                        if (basePts > smallest) {
                            EXPECT_LT(p, basePts);
                        }
                    }
                }
                if (s.limits) {
                    if (!sup.isNull()) {
                        EXPECT_LT(sup.bottom(), base.top());
                        EXPECT_NEAR(centreX(sup), centreX(base), 1.0);
                    }
                    if (!sub.isNull()) {
                        EXPECT_GT(sub.top(), base.bottom());
                        EXPECT_NEAR(centreX(sub), centreX(base), 1.0);
                    }
                    continue;
                }
                const double baseMid = (base.top() + base.bottom()) / 2.0;
                if (!sup.isNull()) {
                    EXPECT_LT((sup.top() + sup.bottom()) / 2.0, baseMid) << "raised";
                    EXPECT_GT(sup.left(), base.left());
                }
                if (!sub.isNull()) {
                    EXPECT_GT((sub.top() + sub.bottom()) / 2.0, baseMid);
                    EXPECT_GT(sub.left(), base.left());
                }
                if (!sup.isNull() && !sub.isNull()) {
                    EXPECT_LT(sup.bottom(), sub.top());
                }
                // A prime touches its base.
                if (s.prime) {
                    const QRect prime = d.of({s.sup[0]});
                    EXPECT_LE(distance(prime, base), 1)
                        << "prime " << prime.x() << "," << prime.y() << " base " << base.right();
                }
            }

            for (const RootParts& r : d.f.roots) {
                const QRect sign = d.of(r.sign);
                const QRect bar = d.bars[static_cast<std::size_t>(r.bar)].box;
                const QRect body = d.of(r.body);
                EXPECT_LE(bar.left(), sign.right()) << "the bar joins the sign";
                EXPECT_NEAR(bar.top(), sign.top(), 1.0) << "at the sign's top";
                EXPECT_LT(bar.bottom(), body.top());
                EXPECT_GE(bar.right(), body.right());
                EXPECT_GT(body.left(), sign.left());
                EXPECT_GE(sign.bottom(), body.bottom() - 2) << "the sign reaches down the body";
                // A root inside it has a smaller sign.
                for (const RootParts& inner : d.f.roots) {
                    if (holds(r.body, {true, inner.bar})) {
                        EXPECT_GT(sign.height(), d.of(inner.sign).height());
                    }
                }
            }

            // A delimiter covers what it encloses, but for the tenth TeX
            // lets it fall short.
            for (const DelimiterParts& dp : d.f.delimiters) {
                const QRect inside = d.of(dp.contents);
                if (inside.isNull())
                    continue;
                const double slack = 0.05 * inside.height() + 1;
                for (const auto& one : dp.delimiters) {
                    if (one.empty())
                        continue;
                    const QRect delim = d.of(one);
                    EXPECT_LE(delim.top(), inside.top() + slack);
                    EXPECT_GE(delim.bottom(), inside.bottom() - slack);
                }
            }

            // Array columns aligned as their letters say.
            for (const ArrayParts& a : d.f.arrays) {
                for (int c = 0; c < a.columns; ++c) {
                    std::vector<double> at;
                    for (std::size_t i = static_cast<std::size_t>(c); i < a.cells.size();
                         i += static_cast<std::size_t>(a.columns)) {
                        const QRect cell = d.of(a.cells[i]);
                        if (cell.isNull())
                            continue;
                        const char how = a.align[static_cast<std::size_t>(c)];
                        at.push_back(how == 'l'   ? cell.left()
                                     : how == 'r' ? cell.right()
                                                  : centreX(cell));
                    }
                    for (const double x : at)
                        EXPECT_NEAR(x, at[0], 1.0) << "column " << c << " " << a.align;
                }
            }

            // An accent centred over its base: a letter's ink between a
            // quarter and half an em above its baseline, a longer base's ink.
            for (const AccentParts& ac : d.f.accents) {
                const QRect mark = d.of(ac.accent);
                double centre = centreX(d.of(ac.base));
                if (ac.base.size() == 1 && !ac.base[0].bar &&
                    d.f.texts[static_cast<std::size_t>(ac.base[0].index)].text.size() == 1) {
                    const auto bi = static_cast<std::size_t>(ac.base[0].index);
                    const PlacedText& t = d.f.texts[bi];
                    const double e = pointsToPixels(t.points);
                    int lo = 1 << 20, hi = -(1 << 20);
                    for (const auto& [p, a] : d.texts[bi].pixels)
                        if (a >= 128 && p.y() <= t.baseline - 0.225 * e &&
                            p.y() >= t.baseline - 0.45 * e)
                            lo = std::min(lo, p.x()), hi = std::max(hi, p.x());
                    if (lo <= hi)
                        centre = (lo + hi + 1) / 2.0;
                }
                EXPECT_NEAR(centreX(mark), centre, 1.0)
                    << "accent over " << d.f.texts[static_cast<std::size_t>(ac.base[0].index)].text;
            }

            // Pieces of a tall or wide sign join without a seam: every row
            // (column) across the pieces stacked (set side by side) has ink.
            for (const auto& group : d.f.joins) {
                std::vector<const Ink*> pieces;
                for (const ItemRef& r : group)
                    if (!r.bar)
                        pieces.push_back(&d.texts[static_cast<std::size_t>(r.index)]);
                if (pieces.size() < 2)
                    continue;
                QRect all;
                for (const Ink* p : pieces)
                    all |= p->box;
                const bool stacked = pieces[0]->box.top() != pieces[1]->box.top();
                const int first = stacked ? all.top() : all.left();
                const int last = stacked ? all.bottom() : all.right();
                std::vector<bool> inked(static_cast<std::size_t>(last - first + 1), false);
                for (const Ink* p : pieces)
                    for (const auto& [at, a] : p->pixels)
                        if (a >= 128)
                            inked[static_cast<std::size_t>((stacked ? at.y() : at.x()) - first)] =
                                true;
                EXPECT_EQ(std::count(inked.begin(), inked.end(), false), 0) << "a seam";
            }

            // No pixel inked by two items, except where the layout joins
            // them, or a prime touches its base.
            // Ids: texts from 0, bars from -1 down, stems from -1000 down.
            auto id = [](const ItemRef& r) {
                return !r.bar ? r.index : r.vertical ? -1000 - r.index : -1 - r.index;
            };
            std::set<std::pair<int, int>> joined;
            auto join = [&](const std::vector<ItemRef>& group) {
                for (const ItemRef& a : group)
                    for (const ItemRef& b : group)
                        joined.insert({id(a), id(b)});
            };
            for (const auto& group : d.f.joins)
                join(group);
            for (const ScriptParts& sp : d.f.scripts)
                if (sp.prime)
                    for (const ItemRef& b : sp.base)
                        join({b, sp.sup[0]});
            // Owner of each pixel, over the bounds with room for fringes.
            const QRect area = d.f.bounds.adjusted(-64, -64, 64, 64);
            std::vector<int> owner(static_cast<std::size_t>(area.width()) * area.height(), NoOwner);
            auto mark = [&](const Ink& ink, int who) {
                for (const auto& [p, a] : ink.pixels) {
                    if (a < 96)
                        continue;
                    ASSERT_TRUE(area.contains(p));
                    int& o = owner[static_cast<std::size_t>(p.y() - area.top()) * area.width() +
                                   (p.x() - area.left())];
                    if (o != NoOwner && o != who) {
                        const bool meant = joined.count({o, who}) > 0;
                        EXPECT_TRUE(meant) << "items " << o << " and " << who << " overlap at "
                                           << p.x() << "," << p.y();
                        if (!meant)
                            return;
                    }
                    o = who;
                }
            };
            for (std::size_t i = 0; i < d.texts.size(); ++i)
                mark(d.texts[i], static_cast<int>(i));
            for (std::size_t i = 0; i < d.bars.size(); ++i)
                mark(d.bars[i], -1 - static_cast<int>(i));
            for (std::size_t i = 0; i < d.stems.size(); ++i)
                mark(d.stems[i], -1000 - static_cast<int>(i));
        }
    }
}

TEST_F(FormulaGeometry, TableOfFormulas) {
    for (const int points : {50, 100, 250})
        for (const char* line : Formulas)
            check(line, points);
}

// The width of a glyph's strokes where it is thinnest: at every inked pixel
// the shortest run of ink through it (across, down or along a diagonal), and
// of those the fifth smallest share, the hairlines and bars that show a
// glyph's weight beside its thicker swells.
double thinStroke(const PlacedText& t) {
    const auto run = TextCache::render(canvasFont(t), t.text);
    const QImage& m = run->mask;
    const int w = m.width(), h = m.height();
    auto inked = [&](int x, int y) {
        return x >= 0 && y >= 0 && x < w && y < h && m.constScanLine(y)[x] >= 128;
    };
    std::vector<double> widths;
    const int steps[4][2] = {{1, 0}, {0, 1}, {1, 1}, {1, -1}};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (!inked(x, y))
                continue;
            double least = 1e9;
            for (const auto& st : steps) {
                int n = 1;
                for (int i = 1; inked(x + i * st[0], y + i * st[1]); ++i)
                    ++n;
                for (int i = 1; inked(x - i * st[0], y - i * st[1]); ++i)
                    ++n;
                least = std::min(least, n * (st[0] && st[1] ? std::sqrt(2.0) : 1.0));
            }
            widths.push_back(least);
        }
    if (widths.empty())
        return 0;
    std::nth_element(widths.begin(), widths.begin() + static_cast<long>(widths.size() / 5),
                     widths.end());
    return widths[widths.size() / 5];
}

// Symbols are drawn at the weight of the minus beside them (in text style,
// at the largest size, where a pixel is a small share of a stroke). The
// integral, a swelling stroke with no hairline in the face's Times design
// (as in TeX's own fonts), has the weight of a letter's stem instead.
TEST_F(FormulaGeometry, SymbolsHaveTheWeightOfTheMinus) {
    auto stroke = [&](const char* formula) {
        const TypesetFormula f = m_typesetter.typeset(std::string("\\textstyle ") + formula, 250);
        EXPECT_TRUE(f.ok) << formula;
        return f.ok ? thinStroke(f.texts.at(0)) : 0.0;
    };
    const double minus = stroke("-");
    ASSERT_GT(minus, 3);
    for (const char* symbol : {"\\pm", "\\times", "\\div", "=", "\\ne", "\\le", "\\ge", "\\in",
                               "\\to", "\\forall", "\\sum", "\\sqrt{}"}) {
        const double s = stroke(symbol);
        EXPECT_NEAR(s / minus, 1.0, 0.2) << symbol << ": " << s << " px against " << minus;
    }
    const double stem = stroke("l"), integral = stroke("\\int");
    EXPECT_NEAR(integral / stem, 1.0, 0.2) << integral << " px against " << stem;
}

// Every symbol the language names, and every sign \not makes of one, has a
// glyph of the formula faces (a missing one would be drawn as a stand-in).
TEST_F(FormulaGeometry, EverySymbolHasItsGlyph) {
    std::vector<char32_t> chars;
    for (const NamedSymbol& s : NamedSymbols)
        chars.push_back(s.ch);
    for (const Negation& n : Negations)
        chars.push_back(n.negated);
    for (const char32_t ch : chars) {
        Glyph g;
        EXPECT_TRUE(glyphFor(ch, FontStyle::Math, g))
            << "U+" << std::hex << static_cast<unsigned>(ch);
    }
}

// TeX's spaces around a sign: a binary sign between two terms gets a medium
// space each side, also after a closing bracket; one that begins a term is a
// sign of the term and gets none; a relation gets a thick space.
TEST_F(FormulaGeometry, SpacesAroundSigns) {
    struct Case {
        const char* formula;
        char32_t sign;
        double left, right; // eighteenths of an em the ink is apart at least, or -1: close
    };
    const Case cases[] = {
        {"(a+b)-c", U'\u2212', 4, 4}, {"a-b", U'\u2212', 4, 4},          {"a=-b", U'\u2212', 5, -1},
        {"a+b=c", '=', 5, 5},         {"\\sin x + \\sin(x)", '+', 4, 4},
    };
    const int points = 100;
    const double mu = pointsToPixels(points) / 18.0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.formula);
        const Drawn d = draw(c.formula, points);
        ASSERT_TRUE(d.f.ok) << d.f.message;
        Glyph g;
        ASSERT_TRUE(glyphFor(c.sign, FontStyle::Math, g));
        std::size_t at = d.f.texts.size();
        for (std::size_t i = 0; i < d.f.texts.size(); ++i)
            if (d.f.texts[i].face == g.face &&
                d.f.texts[i].text.find(static_cast<char>(g.code)) != std::string::npos)
                at = i;
        ASSERT_LT(at, d.f.texts.size());
        ASSERT_EQ(d.f.texts[at].text.size(), 1u) << "the sign shares its item with a neighbour";
        ASSERT_TRUE(at > 0 && at + 1 < d.f.texts.size());
        const QRect sign = d.texts[at].box;
        const int left = sign.left() - d.texts[at - 1].box.right() - 1;
        const int right = d.texts[at + 1].box.left() - sign.right() - 1;
        for (const auto& [gap, want] : {std::pair{left, c.left}, std::pair{right, c.right}}) {
            if (want < 0) {
                EXPECT_LT(gap, 3 * mu) << "a sign of its term";
            } else {
                EXPECT_GE(gap, want * mu - 1);
            }
        }
    }
}

// Limits go above and below a large operator or \lim-like name in display
// style (or asked by \limits), beside it otherwise and for integrals.
TEST_F(FormulaGeometry, WhereLimitsGo) {
    const std::pair<const char*, bool> cases[] = {
        {"\\sum_{i=1}^n x", true},
        {"\\lim_{n \\to \\infty} x", true},
        {"\\max_x f", true},
        {"\\int_0^1 x", false},
        {"\\int\\limits_0^1 x", true},
        {"\\sum\\nolimits_i x", false},
        {"\\textstyle \\lim_{n} x", false},
        {"\\sin_x y", false},
    };
    for (const auto& [formula, below] : cases) {
        const TypesetFormula f = m_typesetter.typeset(formula, 100);
        ASSERT_TRUE(f.ok) << formula;
        ASSERT_EQ(f.scripts.size(), 1u) << formula;
        EXPECT_EQ(f.scripts[0].limits, below) << formula;
    }
}

} // namespace

namespace {

// What cannot be placed whole is not placed at all: a formula far wider than
// the canvas's coordinates reach, or more items than the tables can take.
TEST_F(FormulaGeometry, WhatCannotBePlacedWholeIsRefused) {
    const TypesetFormula wide = m_typesetter.typeset(std::string(300, 'W'), 250);
    EXPECT_FALSE(wide.ok);
    EXPECT_EQ(wide.message.rfind("the formula is too large to place: ", 0), 0u) << wide.message;
    EXPECT_TRUE(wide.texts.empty());

    const TypesetFormula f = m_typesetter.typeset("\\frac{a}{b} + c", 100);
    ASSERT_TRUE(f.ok);
    Expression nearlyFull;
    for (int i = 0; i + 1 < MaxTableRows; ++i)
        nearlyFull.AddTextItem("Arial", VbFalse, VbFalse, 25, "a", 0, 0, 0, 0, 25);
    const Expression before = nearlyFull;
    EXPECT_FALSE(addToExpression(f, nearlyFull));
    EXPECT_EQ(nearlyFull, before);
}

} // namespace
