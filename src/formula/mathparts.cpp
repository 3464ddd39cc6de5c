// The constructions of a formula, laid out by TeX's rules for mathematics
// (The TeXbook, appendix G) with the maths constants of the program's faces:
// large operators, fractions, radicals, scripts and limits, delimiters that
// grow, arrays, accents and marks over and under.

#include "formula/layoutengine.h"
#include "render/fontface.h"

#include <algorithm>
#include <cmath>

namespace quill::formula::detail {

namespace {

// An integral in display style is at least this tall (units of 1000 an em):
// the size books set it at, about twice its size in text.
constexpr int DisplayIntegralMinHeight = 2000;
// TeX's \delimiterfactor and \delimitershortfall: a delimiter may fall short
// of covering its contents by a tenth, and by half an em at most.
constexpr double DelimiterFactor = 0.901;
constexpr double DelimiterShortfallEm = 0.5;
// TeX's \nulldelimiterspace: the room an empty delimiter takes.
constexpr double NullDelimiterEm = 0.12;
// TeX's radical signs (ems): its sizes, then growing by a step. A sign is
// chosen at least as tall as the first of them that holds the body, give or
// take the face's finer sizes (a share of it).
constexpr double RadicalSizesEm[] = {1.0, 1.2, 1.8, 2.4, 3.0};
constexpr double RadicalStepEm = 0.6;
constexpr double RadicalStepShare = 0.95;
// Where TeX puts scripts (ems; Computer Modern's shifts, which books set
// scripts by): superscripts up in display style, in other styles, cramped;
// subscripts down alone and below a superscript.
constexpr double SupShiftDisplayEm = 0.413, SupShiftEm = 0.363, SupShiftCrampedEm = 0.289;
constexpr double SubShiftEm = 0.15, SubShiftWithSupEm = 0.247;

int snap(double v) {
    return static_cast<int>(std::floor(v + 0.5));
}

bool isPrime(const Row& r) {
    if (r.empty() || r[0].kind != Node::Kind::Symbol)
        return false;
    const char32_t c = r[0].ch;
    return c == U'\u2032' || c == U'\u2033' || c == U'\u2034' || c == U'\u2035' || c == '\'';
}

double inkWidth(const Box& b) {
    return b.ink ? b.ir - b.il : 0;
}

} // namespace

// --- Large operators ---------------------------------------------------------

Box Engine::largeOperator(const Node& n, Style s) {
    const int points = pointsOf(s);
    Glyph g;
    if (!glyphFor(n.ch, n.font, g))
        return symbol(n, s);
    Box glyph = glyphBox(g, points);
    const Construction* c = verticalConstruction(n.ch);
    if (s.display() && c) {
        const int least = n.cls == SymbolClass::Integral ? DisplayIntegralMinHeight
                                                         : mathConstants().displayOperatorMinHeight;
        glyph = tallGlyph(*c, least * pointsToPixels(points) / 1000.0, points, false);
    }
    // Centred on the axis. Its advance already holds its italic correction:
    // a subscript beside it goes that much to the left (scriptsBox()).
    const double dy = (glyph.h - glyph.d) / 2 - axis(s);
    Box out;
    out.w = glyph.w;
    out.h = glyph.h - dy;
    out.d = glyph.d + dy;
    out.italic = glyph.italic;
    out.place(std::move(glyph), 0, dy);
    return out;
}

// --- Fractions ----------------------------------------------------------------

Box Engine::fraction(const Node& n, Style outer) {
    const MathConstants& k = mathConstants();
    const Style s = n.hasStyle ? Style{n.style, outer.cramped} : outer;
    Box num = row(n.parts[0], s.num());
    Box den = row(n.parts[1], s.den());
    const double a = axis(s);
    const double theta = n.bar ? ruleThickness() : 0;
    const bool d = s.display();
    double u = 0, v = 0;
    if (n.bar) {
        u = units(s, d ? k.fractionNumeratorDisplayStyleShiftUp : k.fractionNumeratorShiftUp);
        v = units(s,
                  d ? k.fractionDenominatorDisplayStyleShiftDown : k.fractionDenominatorShiftDown);
        const double numGap =
            units(s, d ? k.fractionNumDisplayStyleGapMin : k.fractionNumeratorGapMin);
        const double denGap =
            units(s, d ? k.fractionDenomDisplayStyleGapMin : k.fractionDenominatorGapMin);
        // The parts clear the bar by their gaps.
        if ((u - num.d) - (a + theta / 2) < numGap)
            u = numGap + a + theta / 2 + num.d;
        if ((a - theta / 2) - (den.h - v) < denGap)
            v = denGap - a + theta / 2 + den.h;
    } else {
        u = units(s, d ? k.stackTopDisplayStyleShiftUp : k.stackTopShiftUp);
        v = units(s, d ? k.stackBottomDisplayStyleShiftDown : k.stackBottomShiftDown);
        const double gap = units(s, d ? k.stackDisplayStyleGapMin : k.stackGapMin);
        const double clear = (u - num.d) - (den.h - v);
        if (clear < gap) {
            u += (gap - clear) / 2;
            v += (gap - clear) / 2;
        }
    }
    const bool delimited = n.open != 0 || n.close != 0;
    const double pad = delimited ? 0 : NullDelimiterEm * emOf(s);
    const double width = std::max({num.w, den.w, inkWidth(num), inkWidth(den)});
    // The parts centred on the bar by their ink.
    const double centre = pad + width / 2;
    FractionParts parts;
    parts.numerator = num.refs();
    parts.denominator = den.refs();
    Box box;
    box.w = width + 2 * pad;
    box.grow(num, -u);
    box.grow(den, v);
    const double numX = centre - num.inkCentre(), denX = centre - den.inkCentre();
    box.place(std::move(num), numX, -u);
    box.place(std::move(den), denX, v);
    if (n.bar) {
        Box bar = rule(pad, pad + width, -(a + theta / 2));
        parts.bar = bar.b[0].id;
        box.grow(bar, 0);
        box.place(std::move(bar), 0, 0);
    }
    account.fractions.push_back(std::move(parts));
    if (!delimited)
        return box;
    // \binom: delimiters that cover the stack.
    Box left = delimiterFor(n.open, box.h, box.d, s);
    Box right = delimiterFor(n.close, box.h, box.d, s);
    Box out;
    out.grow(left, 0);
    out.grow(right, 0);
    out.grow(box, 0);
    double x = 0;
    for (Box* part : {&left, &box, &right}) {
        const double w = part->w;
        out.place(std::move(*part), x, 0);
        x += w;
    }
    out.w = x;
    return out;
}

// --- Radicals -----------------------------------------------------------------

Box Engine::radical(const Node& n, Style s) {
    const MathConstants& k = mathConstants();
    const int points = pointsOf(s);
    Box body = row(n.parts[0], s.cramp());
    const double theta = ruleThickness();
    double gap = units(s, s.display() ? k.radicalDisplayStyleVerticalGap : k.radicalVerticalGap);
    const double need = body.h + body.d + gap + theta;
    // The sign from its sizes, or assembled past the largest: at least the
    // next of TeX's own radical sizes, so that a sign reaches as far below
    // its body as a book's does and nested signs grow as they do there.
    Box sign;
    if (const Construction* c = verticalConstruction(U'\u221A')) {
        const double em = pointsToPixels(points);
        double step = 0;
        for (const double size : RadicalSizesEm)
            if ((step = size * em) >= need)
                break;
        while (step < need)
            step += RadicalStepEm * em;
        sign = tallGlyph(*c, std::max(need, step * RadicalStepShare), points, true);
    } else {
        Node n2;
        n2.ch = U'\u221A';
        sign = symbol(n2, s);
    }
    const double total = sign.h + sign.d;
    if (total > need)
        gap += (total - need) / 2;
    // The rule over the body; the sign's top stroke meets it middle to
    // middle, a whole number of pixels from it so that rounding keeps the
    // join.
    const double ruleTop = -(body.h + gap + theta);
    const double stroke = k.radicalRuleThickness * pointsToPixels(points) / 1000.0;
    const double signBase = ruleTop + snap((theta - stroke) / 2 + sign.h);

    RootParts parts;
    parts.sign = sign.refs();
    parts.body = body.refs();
    Box out;
    double signX = 0;
    if (n.hasIndex) {
        // The index in the sign's crook: raised by a share of the sign's
        // height, the sign tucked under it.
        Box index = row(n.parts[1], Style{MathStyle::ScriptScript, false});
        parts.index = index.refs();
        const double before = units(s, k.radicalKernBeforeDegree);
        const double after = units(s, k.radicalKernAfterDegree);
        const double raise = k.radicalDegreeBottomRaisePercent / 100.0 * total;
        double indexX = before;
        signX = before + index.w + after;
        if (signX < 0) {
            indexX -= signX;
            signX = 0;
        }
        const double indexBase = signBase + sign.d - raise;
        out.grow(index, indexBase);
        out.place(std::move(index), indexX, indexBase);
    }
    signX = std::floor(signX);
    const double signW = sign.w;
    const double ruleLeft = signX + std::floor(std::min(sign.w, sign.ink ? sign.ir - 1 : sign.w));
    out.grow(sign, signBase);
    out.place(std::move(sign), signX, signBase);
    const double bodyX = signX + signW;
    const double bodyW = body.w;
    out.grow(body, 0);
    out.place(std::move(body), bodyX, 0);
    Box bar = rule(ruleLeft, bodyX + bodyW, ruleTop);
    parts.bar = bar.b[0].id;
    account.joins.push_back(parts.sign);
    account.joins.back().push_back({true, parts.bar});
    out.place(std::move(bar), 0, 0);
    out.h = std::max(out.h, -ruleTop + units(s, k.radicalExtraAscender));
    out.w = bodyX + bodyW;
    account.roots.push_back(std::move(parts));
    return out;
}

// --- Scripts and limits -----------------------------------------------------------

Box Engine::scriptsBox(const Node& n, Style s, Atom& atom) {
    const MathConstants& k = mathConstants();
    const Row& baseRow = n.parts[0];
    const Node* one = baseRow.size() == 1 ? &baseRow[0] : nullptr;
    atom = Atom::Ord;
    Box base;
    if (one)
        base = node(*one, s, atom);
    else if (!baseRow.empty())
        base = row(baseRow, s);
    const bool bigSymbol =
        one && one->kind == Node::Kind::Symbol &&
        (one->cls == SymbolClass::LargeOperator || one->cls == SymbolClass::Integral);
    const bool op = bigSymbol || (one && one->kind == Node::Kind::Operator);
    bool above = false;
    if (op) {
        const bool displayLimits = one->kind == Node::Kind::Operator
                                       ? one->displayLimits
                                       : one->cls == SymbolClass::LargeOperator;
        above =
            n.limits == Limits::Above || (n.limits == Limits::Auto && displayLimits && s.display());
    }

    std::optional<Box> sup, sub;
    if (n.hasSup)
        sup = row(n.parts[1], s.sup());
    if (n.hasSub)
        sub = row(n.parts[2], s.sub());
    ScriptParts parts;
    parts.base = base.refs();
    if (sup)
        parts.sup = sup->refs();
    if (sub)
        parts.sub = sub->refs();
    parts.limits = above;
    parts.prime = n.hasSup && isPrime(n.parts[1]);
    const bool prime = parts.prime;
    account.scripts.push_back(std::move(parts));
    if (above)
        return limits(std::move(base), std::move(sup), std::move(sub), s, base.italic);

    // Where the scripts go across: a character's superscript after its
    // italic correction, its subscript without it; an operator's width holds
    // its correction, which a subscript takes back.
    const bool character = base.single;
    double delta = character || op ? base.italic : 0;
    double width = base.w;
    if (op && sub)
        width -= delta;
    if (character && !sub) {
        width += delta;
        delta = 0;
    }
    if (op && !sub)
        delta = 0;

    // Where they go up and down.
    double u = 0, v = 0;
    if (!character) {
        u = base.h - units(s.sup(), k.superscriptBaselineDropMax);
        v = base.d + units(s.sub(), k.subscriptBaselineDropMin);
    }
    const double em = emOf(s);
    if (sup) {
        const double shift = s.cramped     ? SupShiftCrampedEm
                             : s.display() ? SupShiftDisplayEm
                                           : SupShiftEm;
        u = std::max({u, shift * em, sup->d + units(s, k.superscriptBottomMin)});
    }
    if (sub && !sup)
        v = std::max({v, SubShiftEm * em, sub->h - units(s, k.subscriptTopMax)});
    if (sub && sup) {
        v = std::max(v, SubShiftWithSupEm * em);
        const double gap = (u - sup->d) - (sub->h - v);
        const double least = units(s, k.subSuperscriptGapMin);
        if (gap < least) {
            v += least - gap;
            const double lift = units(s, k.superscriptBottomMaxWithSubscript) - (u - sup->d);
            if (lift > 0) {
                u += lift;
                v -= lift;
            }
        }
    }
    // A prime hangs from the top of its base, no higher than its foot at the
    // base's top (a subscript below it moves down instead).
    if (prime && base.ink && !sup->t.empty()) {
        const TPiece& p = sup->t[0];
        const GlyphBox& g = boxOf(p.glyph);
        const double foot = g.yMin * pointsToPixels(p.points) / unitsPerEm(p.glyph) - p.base;
        if (u + foot > base.ih) {
            const double down = u + foot - base.ih;
            u -= down;
            if (sub) {
                const double gap = (u - sup->d) - (sub->h - v);
                const double least = units(s, k.subSuperscriptGapMin);
                if (gap < least)
                    v += least - gap;
            }
        }
    }
    Box out;
    out.grow(base, 0);
    double right = width;
    out.place(std::move(base), 0, 0);
    if (sup) {
        double x = width + delta;
        // A prime touches its base (overlapping its edge by a pixel, so
        // that neither rounding nor the edges' grey leave a gap).
        if (prime && out.ink && sup->ink)
            x = out.ir - sup->il - 1;
        right = std::max(right, x + sup->w);
        out.grow(*sup, -u);
        out.place(std::move(*sup), x, -u);
    }
    if (sub) {
        right = std::max(right, width + sub->w);
        out.grow(*sub, v);
        out.place(std::move(*sub), width, v);
    }
    out.w = right + (n.hasSup || n.hasSub ? units(s, k.spaceAfterScript) : 0);
    return out;
}

Box Engine::limits(Box&& base, std::optional<Box>&& sup, std::optional<Box>&& sub, Style s,
                   double italic) {
    const MathConstants& k = mathConstants();
    // Limits centred on the operator's ink, the upper one half its italic
    // correction to the right, the lower one as much to the left.
    const double centre = base.inkCentre();
    Box out;
    out.grow(base, 0);
    double left = 0, right = base.w;
    auto extend = [&](const Box& b, double x) {
        left = std::min({left, x, b.ink ? x + b.il : x});
        right = std::max({right, x + b.w, b.ink ? x + b.ir : x});
    };
    const double baseTop = base.h, baseBottom = base.d;
    out.place(std::move(base), 0, 0);
    if (sup) {
        const double rise =
            std::max(units(s, k.upperLimitBaselineRiseMin), units(s, k.upperLimitGapMin) + sup->d);
        const double y = -(baseTop + rise);
        const double x = centre + italic / 2 - sup->inkCentre();
        extend(*sup, x);
        out.grow(*sup, y);
        out.place(std::move(*sup), x, y);
    }
    if (sub) {
        const double drop =
            std::max(units(s, k.lowerLimitBaselineDropMin), units(s, k.lowerLimitGapMin) + sub->h);
        const double y = baseBottom + drop;
        const double x = centre - italic / 2 - sub->inkCentre();
        extend(*sub, x);
        out.grow(*sub, y);
        out.place(std::move(*sub), x, y);
    }
    if (left < 0) {
        Box shifted;
        shifted.h = out.h, shifted.d = out.d;
        shifted.place(std::move(out), -left, 0);
        out = std::move(shifted);
        right -= left;
    }
    out.w = right;
    return out;
}

// --- Growing glyphs -------------------------------------------------------------

Box Engine::tallGlyph(const Construction& c, double size, int points, bool assemble) {
    const double em = pointsToPixels(points);
    const auto variants = variantsOf(c);
    for (const Variant& v : variants)
        if (v.size * em / 1000.0 >= size)
            return glyphBox({v.face, false, false, v.code}, points);
    const auto parts = partsOf(c);
    if (!assemble || parts.empty()) {
        const Variant& v = variants.back();
        return glyphBox({v.face, false, false, v.code}, points);
    }
    return assembly(parts, size, points, true);
}

Box Engine::wideGlyph(char32_t ch, double width, int points, bool atMost) {
    Glyph g;
    const Construction* c = horizontalConstruction(ch);
    if (!c) {
        glyphFor(ch, FontStyle::Math, g);
        return glyphBox(g, points);
    }
    const double em = pointsToPixels(points);
    const auto variants = variantsOf(c[0]);
    if (atMost) {
        // The widest size no wider than `width`.
        const Variant* best = &variants.front();
        for (const Variant& v : variants)
            if (v.size * em / 1000.0 <= width)
                best = &v;
        return glyphBox({best->face, false, false, best->code}, points);
    }
    for (const Variant& v : variants)
        if (v.size * em / 1000.0 >= width)
            return glyphBox({v.face, false, false, v.code}, points);
    const auto parts = partsOf(*c);
    if (parts.empty()) {
        const Variant& v = variants.back();
        return glyphBox({v.face, false, false, v.code}, points);
    }
    return assembly(parts, width, points, false);
}

Box Engine::assembly(std::span<const Part> parts, double size, int points, bool vertical) {
    const MathConstants& k = mathConstants();
    const double scale = pointsToPixels(points) / 1000.0;
    const double target = size / scale;
    const double least = k.minConnectorOverlap;
    // As few repeats of the extenders as reach the size with the least
    // overlap at each join.
    std::vector<const Part*> seq;
    double full = 0;
    for (int repeats = 0; repeats < 1000; ++repeats) {
        seq.clear();
        full = 0;
        for (const Part& p : parts)
            for (int i = 0, n = p.extender ? repeats : 1; i < n; ++i) {
                seq.push_back(&p);
                full += p.full;
            }
        if (!seq.empty() && full - (static_cast<double>(seq.size()) - 1) * least >= target)
            break;
    }
    // The same overlap at every join, no more than the connectors allow.
    double overlap = least;
    if (seq.size() > 1) {
        double most = 1e9;
        for (std::size_t i = 0; i + 1 < seq.size(); ++i)
            most = std::min<double>(most, std::min(seq[i]->end, seq[i + 1]->start));
        overlap = std::clamp((full - target) / (static_cast<double>(seq.size()) - 1), least,
                             std::max(least, most));
    }
    // Whole pixels between the pieces, each overlapping the last by a
    // pixel at least.
    Box out;
    double exact = 0;
    int at = 0;
    double lastFar = 0; // the last piece's ink edge away from the start
    for (std::size_t i = 0; i < seq.size(); ++i) {
        Box g = glyphBox({seq[i]->face, false, false, seq[i]->code}, points);
        if (i > 0) {
            exact += (seq[i - 1]->full - overlap) * scale;
            const double nearEdge = vertical ? -g.id : g.il;
            at = std::min(snap(exact), static_cast<int>(std::floor(lastFar - nearEdge - 1)));
        }
        lastFar = at + (vertical ? g.ih : g.ir);
        if (vertical) {
            out.w = std::max(out.w, g.w);
            out.grow(g, -at);
            out.place(std::move(g), 0, -at);
        } else {
            out.grow(g, 0);
            out.w = at + g.w;
            out.place(std::move(g), at, 0);
        }
    }
    account.joins.push_back(out.refs());
    return out;
}

// --- Delimiters -----------------------------------------------------------------

Box Engine::delimiter(char32_t ch, double size, Style s) {
    if (ch == 0) {
        Box b;
        b.w = NullDelimiterEm * emOf(s);
        return b;
    }
    const int points = pointsOf(s);
    Box glyph;
    if (const Construction* c = verticalConstruction(ch)) {
        glyph = tallGlyph(*c, size, points, true);
    } else {
        Node n;
        n.ch = ch;
        glyph = symbol(n, s);
    }
    // Centred on the axis.
    const double dy = (glyph.h - glyph.d) / 2 - axis(s);
    Box out;
    out.w = glyph.w;
    out.h = glyph.h - dy;
    out.d = glyph.d + dy;
    out.place(std::move(glyph), 0, dy);
    return out;
}

Box Engine::delimiterFor(char32_t ch, double height, double depth, Style s) {
    const double reach = std::max(height - axis(s), depth + axis(s));
    const double size = std::max(2 * reach * DelimiterFactor,
                                 2 * reach - DelimiterShortfallEm * pointsToPixels(m_points));
    return delimiter(ch, size, s);
}

Box Engine::delimited(const Node& n, Style s) {
    std::vector<Box> inner;
    double height = 0, depth = 0;
    DelimiterParts parts;
    for (const Row& r : n.parts) {
        inner.push_back(row(r, s));
        height = std::max(height, inner.back().h);
        depth = std::max(depth, inner.back().d);
        const auto refs = inner.back().refs();
        parts.contents.insert(parts.contents.end(), refs.begin(), refs.end());
    }
    Box out;
    double x = 0;
    for (std::size_t i = 0; i < n.delims.size(); ++i) {
        Box d = delimiterFor(n.delims[i], height, depth, s);
        parts.delimiters.push_back(d.refs());
        out.grow(d, 0);
        const double w = d.w;
        out.place(std::move(d), x, 0);
        x += w;
        if (i < inner.size()) {
            const double iw = inner[i].w;
            out.grow(inner[i], 0);
            out.place(std::move(inner[i]), x, 0);
            x += iw;
        }
    }
    out.w = x;
    account.delimiters.push_back(std::move(parts));
    return out;
}

// --- Arrays ---------------------------------------------------------------------

Box Engine::array(const Node& n, Style s) {
    const int columns = std::max(1, n.columns);
    const int rowCount = n.rows();
    const double em = pointsToPixels(m_points);
    Style cell{MathStyle::Text, false};
    std::string align(static_cast<std::size_t>(columns), 'c');
    double colGap = em, outer = 0, strut = 1.0, rowGap = 0;
    switch (n.arrayKind) {
    case ArrayKind::Matrix:
        break;
    case ArrayKind::SmallMatrix:
        cell = Style{MathStyle::Script, false};
        colGap = 5 * em / 18;
        strut = 0.75;
        break;
    case ArrayKind::Cases:
        align.assign(align.size(), 'l');
        strut = 1.2;
        break;
    case ArrayKind::Aligned:
        cell = Style{MathStyle::Display, false};
        for (int c = 0; c < columns; ++c)
            align[static_cast<std::size_t>(c)] = c % 2 == 0 ? 'r' : 'l';
        rowGap = 0.3 * em;
        break;
    case ArrayKind::Array:
        for (int c = 0; c < columns && c < static_cast<int>(n.align.size()); ++c)
            align[static_cast<std::size_t>(c)] = n.align[static_cast<std::size_t>(c)];
        outer = em / 2;
        break;
    }
    if (n.hasStyle)
        cell = Style{n.style, false};

    // The cells; in aligned, a right-hand cell starts after an empty atom,
    // so that its relation keeps its space.
    std::vector<Box> cells;
    cells.reserve(n.parts.size());
    std::vector<double> colW(static_cast<std::size_t>(columns), 0);
    std::vector<double> rowH(static_cast<std::size_t>(rowCount), 0);
    std::vector<double> rowD(static_cast<std::size_t>(rowCount), 0);
    const double strutH = 0.7 * 1.2 * emOf(cell) * strut, strutD = 0.3 * 1.2 * emOf(cell) * strut;
    for (int r = 0; r < rowCount; ++r) {
        for (int c = 0; c < columns; ++c) {
            const Row& content = n.parts[static_cast<std::size_t>(r * columns + c)];
            cells.push_back(row(content, cell, n.arrayKind == ArrayKind::Aligned && c % 2 == 1));
            const Box& b = cells.back();
            colW[static_cast<std::size_t>(c)] = std::max(colW[static_cast<std::size_t>(c)], b.w);
            rowH[static_cast<std::size_t>(r)] =
                std::max({rowH[static_cast<std::size_t>(r)], b.h, strutH});
            rowD[static_cast<std::size_t>(r)] =
                std::max({rowD[static_cast<std::size_t>(r)], b.d, strutD});
        }
    }
    // Columns across.
    std::vector<double> colX(static_cast<std::size_t>(columns), 0);
    double x = outer;
    for (int c = 0; c < columns; ++c) {
        if (c > 0)
            x += n.arrayKind == ArrayKind::Aligned && c % 2 == 1 ? 0 : colGap;
        colX[static_cast<std::size_t>(c)] = x;
        x += colW[static_cast<std::size_t>(c)];
    }
    const double width = x + outer;
    // Rows down, with the horizontal lines between them.
    const double theta = ruleThickness();
    auto linesAt = [&](int r) {
        return r < static_cast<int>(n.hlines.size()) ? n.hlines[static_cast<std::size_t>(r)] : 0;
    };
    std::vector<double> baseY(static_cast<std::size_t>(rowCount), 0);
    std::vector<double> ruleY;
    double y = 0;
    for (int r = 0; r <= rowCount; ++r) {
        for (int l = 0; l < linesAt(r); ++l) {
            if (l > 0)
                y += 0.2 * em;
            ruleY.push_back(y);
            y += theta;
        }
        if (r == rowCount)
            break;
        if (r > 0 && linesAt(r) == 0)
            y += rowGap;
        y += rowH[static_cast<std::size_t>(r)];
        baseY[static_cast<std::size_t>(r)] = y;
        y += rowD[static_cast<std::size_t>(r)];
    }
    // The whole centred on the axis.
    const double top = -(y / 2 + axis(s));
    Box out;
    out.w = width;
    out.h = -top;
    out.d = y + top;
    ArrayParts parts;
    parts.columns = columns;
    parts.align = align;
    for (int r = 0; r < rowCount; ++r) {
        for (int c = 0; c < columns; ++c) {
            Box& b = cells[static_cast<std::size_t>(r * columns + c)];
            parts.cells.push_back(b.refs());
            const double cw = colW[static_cast<std::size_t>(c)];
            const double cx = colX[static_cast<std::size_t>(c)];
            const char a = align[static_cast<std::size_t>(c)];
            // Cells line up by their ink; but the left edge of an aligned
            // right-hand cell is its box's, where the space before its
            // relation begins.
            double dx = cx;
            if (n.arrayKind == ArrayKind::Aligned && a == 'l')
                dx = cx;
            else if (a == 'l')
                dx = cx - b.inkLeft();
            else if (a == 'r')
                dx = cx + cw - b.inkRight();
            else
                dx = cx + cw / 2 - b.inkCentre();
            out.place(std::move(b), dx, top + baseY[static_cast<std::size_t>(r)]);
        }
    }
    for (const double ry : ruleY)
        out.place(rule(0, width, top + ry), 0, 0);
    account.arrays.push_back(std::move(parts));
    return out;
}

// --- Accents and marks over and under -----------------------------------------------

Box Engine::accent(const Node& n, Style s) {
    const MathConstants& k = mathConstants();
    const Row& r = n.parts[0];
    Atom ignored;
    Box base = r.size() == 1 ? node(r[0], s.cramp(), ignored) : row(r, s.cramp());
    const int points = pointsOf(s);
    Box mark;
    if (n.wide) {
        mark = wideGlyph(n.ch, std::max(base.w, inkWidth(base)), points, true);
    } else {
        Glyph g;
        if (!glyphFor(n.ch, FontStyle::Math, g))
            return base;
        mark = glyphBox(g, points);
    }
    // The accent's own attachment over the base's: a letter's given one (a
    // slanted letter's lies right of its middle), else the ink's middle.
    const double baseAt =
        base.single && !std::isnan(base.accentX) ? base.accentX : base.inkCentre();
    const double markAt = !std::isnan(mark.accentX) ? mark.accentX : mark.inkCentre();
    // The accents are drawn for a base as tall as an x; a taller base lifts them.
    const double lift = std::max(0.0, base.h - units(s, k.accentBaseHeight));
    AccentParts parts;
    parts.accent = mark.refs();
    parts.base = base.refs();
    Box out;
    out.w = base.w;
    out.grow(base, 0);
    out.grow(mark, -lift);
    out.place(std::move(base), 0, 0);
    out.place(std::move(mark), baseAt - markAt, -lift);
    account.accents.push_back(std::move(parts));
    return out;
}

Box Engine::overUnder(const Node& n, Style s) {
    const MathConstants& k = mathConstants();
    const int points = pointsOf(s);
    const double theta = ruleThickness();
    const OverUnderKind kind = n.overUnder;
    const bool cramped = kind == OverUnderKind::Overline || kind == OverUnderKind::OverRightArrow ||
                         kind == OverUnderKind::OverLeftArrow ||
                         kind == OverUnderKind::OverLeftRightArrow;
    Box body = row(n.parts[0], cramped ? s.cramp() : s);
    Box out;
    out.w = body.w;
    out.grow(body, 0);
    const double bodyW = body.w, bodyH = body.h, bodyD = body.d;
    const double centre = body.inkCentre();
    out.place(std::move(body), 0, 0);
    std::optional<Box> note;
    if (n.parts.size() > 1) {
        const bool over = kind == OverUnderKind::OverBrace || kind == OverUnderKind::Over;
        note = row(n.parts[1], over ? s.sup() : s.sub());
    }
    auto put = [&](Box&& b, double x, double y) {
        out.grow(b, y);
        out.place(std::move(b), x, y);
    };
    switch (kind) {
    case OverUnderKind::Overline: {
        const double top = -(bodyH + units(s, k.overbarVerticalGap) + theta);
        put(rule(0, bodyW, top), 0, 0);
        out.h = std::max(out.h, -top + units(s, k.overbarExtraAscender));
        break;
    }
    case OverUnderKind::Underline: {
        const double top = bodyD + units(s, k.underbarVerticalGap);
        put(rule(0, bodyW, top), 0, 0);
        out.d = std::max(out.d, top + theta + units(s, k.underbarExtraDescender));
        break;
    }
    case OverUnderKind::OverBrace:
    case OverUnderKind::UnderBrace: {
        const bool over = kind == OverUnderKind::OverBrace;
        Box brace = wideGlyph(over ? U'\u23DE' : U'\u23DF', bodyW, points, false);
        const double braceX = centre - brace.inkCentre();
        // The brace clears the body, the note clears the brace.
        const double braceY = over ? -(bodyH + units(s, k.stretchStackGapBelowMin)) - brace.id
                                   : bodyD + units(s, k.stretchStackGapAboveMin) + brace.ih;
        const double braceTop = braceY - brace.ih, braceBottom = braceY + brace.id;
        put(std::move(brace), braceX, braceY);
        if (note) {
            const double y = over ? braceTop - units(s, k.stretchStackGapAboveMin) - note->d
                                  : braceBottom + units(s, k.stretchStackGapBelowMin) + note->h;
            const double x = centre - note->inkCentre();
            put(std::move(*note), x, y);
        }
        break;
    }
    case OverUnderKind::OverRightArrow:
    case OverUnderKind::OverLeftArrow:
    case OverUnderKind::OverLeftRightArrow: {
        const char32_t ch = kind == OverUnderKind::OverRightArrow  ? U'\u20D7'
                            : kind == OverUnderKind::OverLeftArrow ? U'\u20D6'
                                                                   : U'\u20E1';
        Box arrow = wideGlyph(ch, bodyW, points, false);
        const double lift = std::max(0.0, bodyH - units(s, k.accentBaseHeight));
        put(std::move(arrow), centre - arrow.inkCentre(), -lift);
        break;
    }
    case OverUnderKind::Over:
        if (note) {
            const double rise = std::max(units(s, k.upperLimitBaselineRiseMin),
                                         units(s, k.upperLimitGapMin) + note->d);
            put(std::move(*note), centre - note->inkCentre(), -(bodyH + rise));
        }
        break;
    case OverUnderKind::Under:
        if (note) {
            const double drop = std::max(units(s, k.lowerLimitBaselineDropMin),
                                         units(s, k.lowerLimitGapMin) + note->h);
            put(std::move(*note), centre - note->inkCentre(), bodyD + drop);
        }
        break;
    }
    // Whatever reaches left of the body moves everything right.
    if (out.ink && out.il < 0) {
        Box shifted;
        shifted.h = out.h, shifted.d = out.d;
        const double by = -out.il;
        shifted.w = out.w + 2 * by;
        shifted.place(std::move(out), by, 0);
        out = std::move(shifted);
    }
    out.w = std::max(out.w, out.ink ? out.ir : 0);
    return out;
}

} // namespace quill::formula::detail
