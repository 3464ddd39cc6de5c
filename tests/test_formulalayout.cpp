// Typesetting formulas, checked on the ink the canvas draws for each item:
// fraction parts centred on their bar, the bar spanning the wider part, one
// baseline per row, no ink of two items overlapping unless the layout joins
// them (a root's sign and its bar), scripts smaller and raised or lowered.

#include "cli/offscreencanvas.h"
#include "formula/formulalayout.h"
#include "render/fontface.h"
#include "render/layers.h"
#include "render/textcache.h"

#include <QFontMetrics>
#include <algorithm>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>

using namespace quill;
using namespace quill::formula;

namespace {

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
};

// An item's ink as the canvas draws it: its pixels with their coverage.
struct Ink {
    QRect box;
    std::vector<std::pair<QPoint, int>> pixels;
};

CanvasFont canvasFont(const PlacedText& t) {
    CanvasFont f;
    f.face = faceName(t.face);
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

    Typesetter m_typesetter;
};

constexpr int NoOwner = 1 << 30;

double centreX(const QRect& r) {
    return (r.left() + r.right() + 1) / 2.0;
}

TEST_F(FormulaGeometry, TableOfFormulas) {
    for (const int points : {50, 100, 250}) {
        for (const char* line : Formulas) {
            SCOPED_TRACE(std::string(line) + " at " + std::to_string(points) + " pt");
            const Drawn d = draw(line, points);
            ASSERT_TRUE(d.f.ok) << d.f.message;

            // Every item inside the bounds, which start at (0, 0).
            EXPECT_EQ(d.f.bounds.topLeft(), QPoint(0, 0));
            for (const PlacedText& t : d.f.texts) {
                EXPECT_TRUE(d.f.bounds.contains(QPoint(t.x, t.y)));
                EXPECT_GE(t.points, MinFormulaPoints);
                EXPECT_LE(t.points, MaxFormulaPoints);
                // The baseline the canvas puts under the text's top.
                const int ascent = QFontMetrics(makeQFont(canvasFont(t))).ascent();
                EXPECT_EQ(t.baseline, t.y + ascent);
            }

            for (const FractionParts& fr : d.f.fractions) {
                const QRect bar = d.bars[static_cast<std::size_t>(fr.bar)].box;
                const QRect num = d.of(fr.numerator), den = d.of(fr.denominator);
                ASSERT_FALSE(num.isNull());
                ASSERT_FALSE(den.isNull());
                EXPECT_NEAR(centreX(num), centreX(bar), 1.0);
                EXPECT_NEAR(centreX(den), centreX(bar), 1.0);
                EXPECT_LE(bar.left(), std::min(num.left(), den.left()));
                EXPECT_GE(bar.right(), std::max(num.right(), den.right()));
                EXPECT_LT(num.bottom(), bar.top());
                EXPECT_GT(den.top(), bar.bottom());
                EXPECT_TRUE(std::count(FormulaBarWidths.begin(), FormulaBarWidths.end(),
                                       d.f.bars[static_cast<std::size_t>(fr.bar)].width));
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
                auto sizeOf = [&](const std::vector<ItemRef>& refs) {
                    int p = 0;
                    for (const ItemRef& r : refs)
                        if (!r.bar)
                            p = std::max(p, d.f.texts[static_cast<std::size_t>(r.index)].points);
                    return p;
                };
                const int basePts = sizeOf(s.base);
                for (const auto* part : {&s.sup, &s.sub}) {
                    if (!part->empty() && basePts > MinFormulaPoints && sizeOf(*part) > 0) {
                        EXPECT_LT(sizeOf(*part), basePts);
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
                    EXPECT_LT(sup.bottom(), baseMid) << "raised clear of the base's middle";
                    EXPECT_GT(sup.left(), base.left());
                }
                if (!sub.isNull()) {
                    EXPECT_GT((sub.top() + sub.bottom()) / 2.0, baseMid);
                    EXPECT_GT(sub.left(), base.left());
                }
                if (!sup.isNull() && !sub.isNull()) {
                    EXPECT_LT(sup.bottom(), sub.top());
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
            }

            // No pixel inked by two items, except where a root's bar meets
            // its sign.
            // Ids: texts from 0, bars from -1 down, stems from -1000 down.
            std::set<std::pair<int, int>> joined;
            for (const RootParts& r : d.f.roots)
                for (const ItemRef& part : r.sign)
                    joined.insert({part.index, -1 - r.bar});
            // Owner of each pixel, over the bounds with room for fringes.
            const QRect area = d.f.bounds.adjusted(-64, -64, 64, 64);
            std::vector<int> owner(static_cast<std::size_t>(area.width()) * area.height(), NoOwner);
            auto mark = [&](const Ink& ink, int id) {
                for (const auto& [p, a] : ink.pixels) {
                    if (a < 96)
                        continue;
                    ASSERT_TRUE(area.contains(p));
                    int& o = owner[static_cast<std::size_t>(p.y() - area.top()) * area.width() +
                                   (p.x() - area.left())];
                    if (o != NoOwner && o != id) {
                        const auto pair = std::minmax(o, id);
                        const bool meant = joined.count({pair.second, pair.first}) ||
                                           joined.count({pair.first, pair.second});
                        EXPECT_TRUE(meant) << "items " << o << " and " << id << " overlap at "
                                           << p.x() << "," << p.y();
                        if (!meant)
                            return;
                    }
                    o = id;
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
