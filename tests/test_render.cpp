// The drawing surface and the repaint layers, read back pixel by pixel.

#include "cli/offscreencanvas.h"
#include "edit/tables.h"
#include "model/expression.h"
#include "model/vbtypes.h"
#include "render/bytescan.h"
#include "render/coverage.h"
#include "render/fontface.h"
#include "render/glyphoutlines.h"
#include "render/layers.h"
#include "render/surface.h"
#include "render/textcache.h"
#include "render/textcomposite.h"

#include <QFontMetrics>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <array>
#include <cmath>
#include <gtest/gtest.h>
#include <numeric>
#include <random>
#include <string>
#include <thread>
#include <vector>

using namespace quill;

namespace {

constexpr QRgb White = 0xFFFFFFFF;
constexpr QRgb Black = 0xFF000000;

// Bounding box of every pixel that is not `background`.
QRect inkBounds(const QImage& img, QRgb background = White) {
    QRect box;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (img.pixel(x, y) != background)
                box |= QRect(x, y, 1, 1);
    return box;
}

int countOther(const QImage& img, QRgb expected) {
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            n += img.pixel(x, y) != expected ? 1 : 0;
    return n;
}

// A 9 x 9 picture with every pixel distinct, so a misplaced or mirrored
// copy cannot pass for the original.
QImage patternPicture(int w = 9, int h = 9) {
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, qRgb(20 + 25 * x, 20 + 25 * y, 90));
    return img;
}

void useArial(Surface& s, double points) {
    installFontSubstitutions();
    s.setFontName("Arial");
    s.setFontBold(false);
    s.setFontItalic(false);
    s.setFontSize(points);
}

} // namespace

// A line's bar runs 6 pixels past each end handle, `width` pixels thick
// centred on the line (an even width puts the extra row before it), black
// whatever the foreground colour, and the pen width is 1 afterwards.
TEST(LineBars, CoverExactlyTheirPixels) {
    const struct {
        const char* what;
        bool horizontal;
        std::int16_t at, end1, end2, width;
        QRect covered; // inclusive corners
    } cases[] = {
        {"h 26..114 width 12", true, 160, 26, 114, 12, QRect(QPoint(20, 154), QPoint(120, 165))},
        {"h width 3", true, 160, 26, 114, 3, QRect(QPoint(20, 159), QPoint(120, 161))},
        {"h width 1", true, 160, 26, 114, 1, QRect(QPoint(20, 160), QPoint(120, 160))},
        {"h width 30", true, 160, 26, 114, 30, QRect(QPoint(20, 145), QPoint(120, 174))},
        {"h dragged past itself", true, 160, 100, 50, 12, QRect(QPoint(56, 154), QPoint(94, 165))},
        {"h ends 14 apart, crossed", true, 200, 64, 50, 3, QRect(QPoint(56, 199), QPoint(58, 201))},
        {"v 106..194 width 12", false, 60, 106, 194, 12, QRect(QPoint(54, 100), QPoint(65, 200))},
        {"v width 3", false, 60, 106, 194, 3, QRect(QPoint(59, 100), QPoint(61, 200))},
        {"v dragged past itself", false, 60, 100, 50, 3, QRect(QPoint(59, 56), QPoint(61, 94))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Surface s(QSize(260, 260));
        Expression e;
        if (c.horizontal)
            e.AddHLine(c.at, c.end1, c.end2, c.width);
        else
            e.AddVLine(c.at, c.end1, c.end2, c.width);
        s.setForeColor(0x0000FF); // red: the bars must not take it
        s.setDrawWidth(7);
        DrawItems(s, e);
        EXPECT_EQ(s.drawWidth(), 1);
        const QImage& img = s.image();
        int wrong = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (img.pixel(x, y) != (c.covered.contains(x, y) ? Black : White) && ++wrong <= 3)
                    ADD_FAILURE() << "pixel (" << x << "," << y << ")";
        EXPECT_EQ(wrong, 0);
    }
}

// The canvas is cleared on every repaint by whitening only what was drawn
// since the last clear; whatever mix of drawing came before, the result
// must be a completely white surface.
TEST(SurfaceClear, LeavesEveryPixelWhiteAfterAnyDrawing) {
    installFontSubstitutions();
    Surface s(QSize(640, 480));
    std::mt19937 rng(160114);
    auto uni = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    const QImage pattern = patternPicture();
    const std::array<std::string, 6> words{"Hg", "x", "W_|", "(\xA3\xAC)", "MMMMMMMM", "j"};
    const std::array<std::string, 3> faces{"Arial", "MathSymbols", "Zidezir"};
    const std::array<int, 4> sizes{25, 100, 150, 250};
    // Few, many and very many drawing calls between two clears.
    const std::array<int, 3> opsPerRound{3, 40, 400};
    for (int round = 0; round < 12; ++round) {
        if (round == 7)
            s.resize(QSize(700, 500)); // resizing keeps the picture
        const int ops = opsPerRound[static_cast<std::size_t>(round) % opsPerRound.size()];
        const int w = s.size().width(), h = s.size().height();
        for (int i = 0; i < ops; ++i) {
            const auto colour = static_cast<BgrColour>(uni(0, 0xFFFFFE));
            s.setForeColor(colour);
            s.setDrawWidth(uni(1, 30));
            switch (uni(0, 7)) {
            case 0:
                s.setFontName(faces[static_cast<std::size_t>(uni(0, 2))]);
                s.setFontBold(uni(0, 1) == 1);
                s.setFontItalic(uni(0, 1) == 1);
                s.setFontSize(sizes[static_cast<std::size_t>(uni(0, 3))]);
                s.setCurrentPos(uni(-150, w), uni(-200, h));
                s.print(words[static_cast<std::size_t>(uni(0, 5))]);
                break;
            case 1:
                s.fillRect(QRect(uni(-60, w), uni(-60, h), uni(1, 120), uni(1, 120)), colour);
                break;
            case 2: {
                const int y = uni(-20, h + 20);
                s.line(uni(-50, w + 50), y, uni(-50, w + 50), y);
                break;
            }
            case 3: {
                const int x = uni(-20, w + 20);
                s.line(x, uni(-50, h + 50), x, uni(-50, h + 50));
                break;
            }
            case 4:
                s.line(uni(-50, w + 50), uni(-50, h + 50), uni(-50, w + 50), uni(-50, h + 50));
                break;
            case 5:
                s.box(uni(-20, w + 20), uni(-20, h + 20), uni(-20, w + 20), uni(-20, h + 20),
                      colour);
                break;
            case 6:
                s.fillBox(uni(-20, w) + 0.5, uni(-20, h) + 0.25, uni(-20, w) + 0.75, uni(-20, h),
                          colour);
                break;
            default: {
                const bool blank = uni(0, 4) == 0; // a picture that failed to load
                const QRect from = uni(0, 1) == 0 ? QRect(0, 0, 9, 9) : QRect(3, 3, 12, 12);
                s.blit(blank ? QImage() : pattern, from, QPoint(uni(-10, w), uni(-10, h)));
                break;
            }
            }
            if (uni(0, 9) == 0)
                s.refresh();
            if (uni(0, 9) == 0)
                (void)s.point(uni(0, w - 1), uni(0, h - 1)); // reading ends any painting
        }
        ASSERT_GT(countOther(s.image(), White), 0) << "round " << round << " drew nothing";
        s.cls();
        EXPECT_EQ(countOther(s.image(), White), 0) << "round " << round << " (" << ops << " calls)";
        EXPECT_EQ(s.currentX(), 0.0);
        EXPECT_EQ(s.currentY(), 0.0);
    }
}

TEST(SurfaceClear, FillsWithTheCurrentBackgroundColour) {
    Surface s(QSize(200, 120));
    s.fillRect(QRect(10, 10, 20, 20), BgrBlack);
    s.setBackColor(0x00FFFF); // yellow
    s.cls();
    EXPECT_EQ(countOther(s.image(), qRgb(255, 255, 0)), 0);
}

// Point sizes render as on a 96-dpi screen: 100 points is a 133-pixel
// font, read back as 99.75 points, which rounds to the size chosen.
TEST(SurfaceText, PointSizesRenderAtNinetySixDpi) {
    Surface s(QSize(400, 300));
    useArial(s, 100);
    EXPECT_DOUBLE_EQ(s.fontSize(), 99.75);
    const double lineHeight = s.textHeight("Hg");
    EXPECT_GT(lineHeight, 140.0);
    EXPECT_LT(lineHeight, 160.0);
    EXPECT_DOUBLE_EQ(s.textHeight(""), lineHeight) << "an empty line is one line high";
    s.setCurrentPos(50, 50);
    s.print("H");
    const QRect ink = inkBounds(s.image());
    EXPECT_GE(ink.height(), 86) << "cap height of a 133-pixel Arial";
    EXPECT_LE(ink.height(), 100);

    for (int points : {25, 50, 75, 100, 150, 200, 250}) {
        s.setFontSize(points);
        const double applied = s.fontSize();
        const double pixels = applied * 96.0 / 72.0;
        EXPECT_DOUBLE_EQ(pixels, std::round(pixels)) << points << " pt: a whole pixel size";
        EXPECT_LE(std::abs(applied - points), 0.375) << points;
        EXPECT_EQ(roundHalfEven16(applied), points);
    }
}

// Text is printed with its top-left corner (not its baseline, nor its ink)
// at the drawing position, so text of one font shares a baseline.
TEST(SurfaceText, TopLeftCornerAtTheDrawingPosition) {
    for (int points : {25, 100, 250}) {
        for (const char* text : {"A", "a", "x", "g", "Hg", "_"}) {
            SCOPED_TRACE(testing::Message() << points << " pt \"" << text << "\"");
            Surface s(QSize(900, 500));
            useArial(s, points);
            s.setCurrentPos(100, 80);
            s.print(text);
            const QFontMetricsF fm(makeQFont(s.font()));
            const QRectF expected =
                fm.tightBoundingRect(QString::fromLatin1(text)).translated(100, 80 + fm.ascent());
            const QRect ink = inkBounds(s.image());
            EXPECT_NEAR(ink.left(), expected.left(), 2.0);
            EXPECT_NEAR(ink.top(), expected.top(), 2.0);
            EXPECT_NEAR(ink.bottom() + 1, expected.bottom(), 2.0);
        }
    }
}

// Printing lays ink of the foreground colour and leaves the pixels between
// the strokes as they were.
TEST(SurfaceText, InkOnlyInTheForegroundColour) {
    Surface s(QSize(300, 240));
    s.fillRect(QRect(0, 0, 300, 240), 0xFF0000); // blue ground
    useArial(s, 100);
    s.setForeColor(0x0000FF); // red
    s.setCurrentPos(40, 20);
    s.print("O");
    const QImage& img = s.image();
    const QRect ink = inkBounds(img, qRgb(0, 0, 255));
    ASSERT_FALSE(ink.isEmpty());
    EXPECT_EQ(img.pixel(ink.center()), qRgb(0, 0, 255)) << "the inside of the O stays blue";
    int solid = 0;
    for (int y = ink.top(); y <= ink.bottom(); ++y)
        for (int x = ink.left(); x <= ink.right(); ++x) {
            const QRgb p = img.pixel(x, y);
            solid += p == qRgb(255, 0, 0) ? 1 : 0;
            EXPECT_EQ(qGreen(p), 0) << "only red and blue mix here, at (" << x << "," << y << ")";
            EXPECT_EQ(qRed(p) + qBlue(p), 255) << "(" << x << "," << y << ")";
        }
    EXPECT_GT(solid, 500);
}

// Reading a pixel gives its colour as 0x00BBGGRR, and -1 off the surface.
TEST(SurfacePoint, ColourAsStoredOrMinusOneOutside) {
    Surface s(QSize(50, 40));
    s.fillRect(QRect(3, 4, 1, 1), 0x123456);
    EXPECT_EQ(s.point(3, 4), 0x123456L);
    EXPECT_EQ(s.image().pixel(3, 4), qRgb(0x56, 0x34, 0x12));
    EXPECT_EQ(s.point(0, 0), 0xFFFFFFL);
    EXPECT_EQ(s.point(49, 39), 0xFFFFFFL);
    for (const QPoint p :
         {QPoint(-1, 0), QPoint(0, -1), QPoint(50, 0), QPoint(0, 40), QPoint(-5000, 9000)})
        EXPECT_EQ(s.point(p.x(), p.y()), -1L) << p.x() << "," << p.y();
}

// Sizes and lengths no list offers can still come from a file: they must
// draw what falls on the surface without rendering the whole text first.
TEST(SurfaceText, HugeTextDrawsOnlyWhatFallsOnTheSurface) {
    Surface s(QSize(400, 300));
    s.setFontName("Arial");
    s.setFontSize(32767);
    s.setCurrentPos(-500, -200);
    s.print("Hello");
    s.setFontSize(250);
    s.setCurrentPos(0, 0);
    s.print(std::string(32767, 'W'));
    EXPECT_GT(countOther(s.image(), White), 0);
    s.cls();
    EXPECT_EQ(countOther(s.image(), White), 0);
    EXPECT_EQ(s.textCache().entryCount(), 0u);
}

// Cached text is the text QPainter draws straight into a picture, pixel for
// pixel and the antialiased edges included, for every face and style of the
// font list and every listed size. QPainter does not draw large text (drawn
// as outlines) quite the same at every height on a picture: a few dozen
// edge pixels come out up to four grey levels apart from one height to the
// next. So a pixel may differ by that much, and only a few may differ at
// all; a pixel of ink lost, added or moved differs by far more.
TEST(SurfaceText, CachedTextIsWhatQPainterDraws) {
    constexpr int Tolerance = 4;
    installFontSubstitutions();
    const std::string text = "Hg x+y=(a)";
    for (const FontChoice& choice : FontTable) {
        for (const int points : FontSizeTable) {
            for (const QPoint at : {QPoint(30, 100), QPoint(57, 13)}) {
                SCOPED_TRACE(testing::Message() << choice.listText << " " << points << " pt at ("
                                                << at.x() << ", " << at.y() << ")");
                CanvasFont font{std::string(choice.face), choice.bold, choice.italic,
                                pointsToPixels(points)};
                const QFont qf = makeQFont(font);
                const QFontMetrics fm(qf);
                const QSize size(at.x() + fm.horizontalAdvance(fromLatin1(text)) + font.pixelSize,
                                 at.y() + fm.height() + font.pixelSize / 2);
                Surface s(size);
                s.setFontName(font.face);
                s.setFontBold(font.bold);
                s.setFontItalic(font.italic);
                s.setFontSize(points);
                ASSERT_EQ(s.font(), font);
                s.setCurrentPos(at.x(), at.y());
                s.print(text);

                QImage want(size, QImage::Format_RGB32);
                want.fill(White);
                {
                    QPainter p(&want);
                    p.setFont(qf);
                    p.setPen(Qt::black);
                    p.setRenderHint(QPainter::TextAntialiasing, true);
                    p.drawText(at + QPoint(0, fm.ascent()), fromLatin1(text));
                }
                const QImage& got = s.image();
                int worst = 0, ink = 0, differ = 0;
                QPoint where;
                for (int y = 0; y < want.height(); ++y) {
                    const auto* g = reinterpret_cast<const QRgb*>(got.constScanLine(y));
                    const auto* w = reinterpret_cast<const QRgb*>(want.constScanLine(y));
                    for (int x = 0; x < want.width(); ++x) {
                        ink += (w[x] != White || g[x] != White) ? 1 : 0;
                        const int d = std::max({std::abs(qRed(g[x]) - qRed(w[x])),
                                                std::abs(qGreen(g[x]) - qGreen(w[x])),
                                                std::abs(qBlue(g[x]) - qBlue(w[x]))});
                        differ += d != 0 ? 1 : 0;
                        if (d > worst) {
                            worst = d;
                            where = QPoint(x, y);
                        }
                    }
                }
                ASSERT_GT(ink, 100);
                EXPECT_LE(worst, Tolerance)
                    << "at (" << where.x() << ", " << where.y() << "): cached "
                    << qRed(got.pixel(where)) << ", drawn " << qRed(want.pixel(where));
                EXPECT_LE(differ, ink / 200) << differ << " of " << ink << " pixels differ";
            }
        }
    }
}

// Rendering a text gives the same pixels whatever was rendered before and
// on whichever thread. Qt loads the outlines of large text (more than 64
// pixels) from a font face that its glyph cache leaves moved by the last
// small glyph's subpixel position, which put lone letters a few grey levels
// apart. A table of texts in every face and style of the list, and in faces
// Qt slants or emboldens itself, at sizes across the list and either side
// of 64 pixels, is rendered on one thread in order and, at the same time,
// on another in a shuffled order with a small text of the same face before
// each: every mask is the same. The outline of large text is also exactly
// Qt's on a thread that has drawn no small text, so that it keeps the
// pixels it always had there.
TEST(SurfaceText, TextHasTheSamePixelsWhateverWasDrawnBeforeOnAnyThread) {
    installFontSubstitutions();
    cli::registerProgramFonts(QStringLiteral(QUILLMARK_TEST_PROGRAM_DIR));
    std::vector<CanvasFont> faces;
    for (const FontChoice& c : FontTable)
        faces.push_back({std::string(c.face), c.bold, c.italic, 0});
    faces.push_back({"Zidezir", true, true, 0});
    faces.push_back({"MathSymbols", false, true, 0});
    const int pixelSizes[] = {33, 64, 65, 67, 100, 133, 200, 267, 333};
    const char* const texts[] = {"x", "y", "z", "f(x)=3x-2.5", "Hg", "(a+b)", "$I#S"};
    std::vector<std::pair<CanvasFont, std::string>> cases;
    for (CanvasFont font : faces)
        for (const int px : pixelSizes)
            for (const char* text : texts) {
                font.pixelSize = px;
                cases.emplace_back(font, text);
            }
    const std::size_t n = cases.size();
    std::vector<std::shared_ptr<const TextRun>> inOrder(n), shuffled(n);
    std::vector<std::size_t> order(n);
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::shuffle(order.begin(), order.end(), std::mt19937(32));
    std::thread first([&] {
        for (std::size_t i = 0; i < n; ++i)
            inOrder[i] = TextCache::render(cases[i].first, cases[i].second);
    });
    std::thread second([&] {
        const char* const small[] = {"0123", "ab)", "1+2", "v w", "="};
        for (std::size_t k = 0; k < n; ++k) {
            const std::size_t i = order[k];
            CanvasFont before = cases[i].first;
            before.pixelSize = 25 + static_cast<int>(k % 30);
            TextCache::render(before, small[k % std::size(small)]);
            shuffled[i] = TextCache::render(cases[i].first, cases[i].second);
        }
    });
    first.join();
    second.join();
    // Qt's outline of the large texts, on a thread that draws no small text
    // (so that its font faces stay where they were), beside the canvas's.
    std::vector<std::string> outlineDiffers(n);
    std::thread outlinesOnly([&] {
        for (std::size_t i = 0; i < n; ++i) {
            const auto& [font, text] = cases[i];
            if (font.pixelSize <= 64)
                continue;
            const QFont qf = makeQFont(font);
            QPainterPath qt;
            qt.addText(QPointF(0, 0), qf, fromLatin1(text));
            const QPainterPath ours = canvasTextOutline(qf, fromLatin1(text), QPointF(0, 0));
            if (ours.elementCount() != qt.elementCount())
                outlineDiffers[i] = std::to_string(ours.elementCount()) + " elements, Qt's " +
                                    std::to_string(qt.elementCount());
            for (int k = 0; k < ours.elementCount() && outlineDiffers[i].empty(); ++k) {
                const QPainterPath::Element a = ours.elementAt(k), b = qt.elementAt(k);
                if (a.type != b.type || a.x != b.x || a.y != b.y)
                    outlineDiffers[i] = "element " + std::to_string(k) + " at (" +
                                        std::to_string(a.x) + ", " + std::to_string(a.y) +
                                        "), Qt's at (" + std::to_string(b.x) + ", " +
                                        std::to_string(b.y) + ")";
            }
        }
    });
    outlinesOnly.join();
    for (std::size_t i = 0; i < n; ++i) {
        const auto& [font, text] = cases[i];
        SCOPED_TRACE(testing::Message()
                     << font.face << (font.bold ? " bold" : "") << (font.italic ? " italic" : "")
                     << " " << font.pixelSize << " px \"" << text << '"');
        ASSERT_FALSE(inOrder[i]->mask.isNull());
        EXPECT_EQ(inOrder[i]->offset, shuffled[i]->offset);
        EXPECT_TRUE(inOrder[i]->mask == shuffled[i]->mask) << "rendered apart";
        EXPECT_EQ(outlineDiffers[i], "");
    }
}

// A repaint leaves out whatever later opaque drawing (fills, copies, the
// solid part of text) covers completely. The picture must be exactly that
// of drawing every operation in order: dense overlapping text of every
// face and size, bars, thin diagonal lines and copies, on a surface whose
// size is no multiple of the tiles the repaint counts coverage in; then
// again after one item has moved, which repaints only part of the frame.
TEST(SurfaceFrames, LeavingOutCoveredDrawingChangesNoPixel) {
    installFontSubstitutions();
    const QImage marker = patternPicture();
    const char* const texts[] = {"x", "a+b", "W", "f(x)", "2n+1", "lim", "\xA3", "MM"};
    auto scene = [&](Surface& s, int moved, bool lines, int k) { // k: spread k times
        std::mt19937 rng(11);
        auto pick = [&rng](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
        for (int i = 0; i < 400; ++i) {
            const int dx = i == 200 ? moved : 0;
            switch (pick(5)) {
            case 0:
            case 1: {
                const FontChoice& f = FontTable[static_cast<std::size_t>(pick(7))];
                s.setFontName(std::string(f.face));
                s.setFontBold(f.bold);
                s.setFontItalic(f.italic);
                s.setFontSize(FontSizeTable[static_cast<std::size_t>(pick(7))]);
                s.setForeColor(pick(4) == 0 ? BgrBlue : BgrBlack);
                s.setCurrentPos(k * (pick(420) - 60 + dx), k * (pick(300) - 60));
                s.print(texts[pick(8)]);
                break;
            }
            case 2:
                s.fillRect(QRect(k * (pick(400) - 10 + dx), k * (pick(290) - 10), 1 + pick(60),
                                 1 + pick(12)),
                           pick(2) ? BgrBlack : BgrBlue);
                break;
            case 3:
                s.blit(marker, QRect(0, 0, 9, 9),
                       QPoint(k * (pick(400) - 4 + dx), k * (pick(290) - 4)));
                break;
            default: {
                s.setForeColor(BgrBlue);
                s.setDrawWidth(1 + pick(3));
                const int x1 = k * (pick(397) + dx), y1 = k * pick(283), x2 = k * pick(397),
                          y2 = k * pick(283);
                if (lines)
                    s.line(x1, y1, x2, y2);
                s.setDrawWidth(1);
                break;
            }
            }
        }
    };
    // The first frame paints everything, working out what is covered or,
    // below its limit of overdraw, painting every operation band by band
    // (in one band when there are lines, which the painter draws; on a
    // surface as large as the editor's, the bands' two halves on two
    // threads).
    const struct {
        double coverageFrom;
        bool lines;
        int spread;
    } cases[] = {{0.0, true, 1}, {1e9, true, 1}, {1e9, false, 1}, {1e9, false, 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.coverageFrom << (c.lines ? " with" : " without")
                                        << " lines, spread " << c.spread);
        // Both pictures come from one surface, so that both use the same
        // rendered text.
        Surface s(QSize(397, 283) * c.spread);
        s.setCoverageFromOverdraw(c.coverageFrom);
        std::vector<QImage> framed;
        for (const int moved : {0, 23}) { // the second frame repaints what changed
            s.beginFrame();
            scene(s, moved, c.lines, c.spread);
            s.endFrame();
            framed.push_back(s.image().copy());
        }
        for (const int moved : {0, 23}) {
            s.cls();
            scene(s, moved, c.lines, c.spread); // outside a frame: drawn at once
            const QImage& a = framed[moved == 0 ? 0 : 1];
            ASSERT_EQ(a, s.image()) << "moved " << moved << ": " << countOther(a, White)
                                    << " inked vs " << countOther(s.image(), White);
        }
    }
}

// Two repaints are made without painting what lies under the change:
// drawing added at the end of the last frame goes over the picture, and a
// frame whose every operation moved by one offset moves the picture and
// paints the strips it uncovers. Items reach past every edge, some wholly
// outside until the move brings them in, and fills are kept clipped. The
// picture must be what drawing the frame afresh gives.
TEST(SurfaceFrames, DrawingAddedOrMovedAsOneGivesTheFullRepaint) {
    installFontSubstitutions();
    const QImage marker = patternPicture();
    const char* const texts[] = {"x", "a+b", "W", "f(x)", "lim"};
    const QSize size(300, 200);
    // Every kind of operation, 12 pixels past the edges and more; `added`
    // draws some more at the end.
    // `stays`: the kind of an item in the middle of the order and of the
    // surface that does not move (0 text, 1 fill, 2 copy), or -1.
    auto scene = [&](Surface& s, QPoint d, bool added, int stays) {
        std::mt19937 rng(5);
        auto pick = [&rng](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
        for (int i = 0; i < 120; ++i) {
            if (i == 60 && stays == 0) {
                s.setFontName("Arial");
                s.setFontSize(50);
                s.setCurrentPos(140, 80);
                s.print("k");
            } else if (i == 60 && stays == 1) {
                s.fillRect(QRect(140, 90, 30, 6), BgrBlack);
            } else if (i == 60 && stays == 2) {
                s.blit(marker, QRect(0, 0, 9, 9), QPoint(146, 96));
            }
            const QPoint at =
                QPoint(pick(size.width() + 40) - 20, pick(size.height() + 40) - 20) + d;
            switch (pick(3)) {
            case 0:
                s.setFontName("Arial");
                s.setFontSize(25 + 25 * pick(3));
                s.setCurrentPos(at.x() - 10, at.y() - 20);
                s.print(texts[pick(5)]);
                break;
            case 1:
                s.fillEach(pick(2) ? BgrBlack : BgrBlue, [&](auto&& put) {
                    put(QRect(at, QSize(1 + pick(60), 1 + pick(9))));
                    put(QRect(at + QPoint(5, 9), QSize(3, 12)));
                });
                break;
            default:
                s.blitEach(marker, QRect(0, 0, 9, 9), [&](auto&& put) {
                    put(at - QPoint(4, 4));
                    put(at + QPoint(8, 3));
                });
                break;
            }
        }
        if (added) {
            s.fillEach(0x30C060, [&](auto&& put) {
                for (int i = 0; i < 30; ++i)
                    put(QRect(pick(size.width() + 20) - 10, pick(size.height() + 20) - 10, 9, 9));
            });
            s.setCurrentPos(pick(200), pick(150));
            s.print("z");
        }
    };
    const struct {
        const char* name;
        QPoint d;
        bool added;
        int stays;
    } cases[] = {
        {"drawing added at the end", {}, true, -1},
        {"everything one pixel right", {1, 0}, false, -1},
        {"everything three left and seven down", {-3, 7}, false, -1},
        {"everything 15 up", {0, -15}, false, -1},
        {"everything moved but a text", {4, 4}, false, 0},
        {"everything moved but a fill", {4, 4}, false, 1},
        {"everything moved but a copy", {4, 4}, false, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Surface s(size);
        s.beginFrame();
        scene(s, {}, false, c.stays);
        s.endFrame();
        s.beginFrame();
        scene(s, c.d, c.added, c.stays);
        s.endFrame();
        const QImage repainted = s.image().copy();
        s.cls();
        scene(s, c.d, c.added, c.stays); // outside a frame: drawn at once
        ASSERT_EQ(repainted, s.image())
            << countOther(repainted, White) << " inked vs " << countOther(s.image(), White);
    }
}

// A frame can change a great many pieces of a run at once (every handle's
// mark recoloured, or one more mark before all the others): past a few
// dozen the repaint keeps only the rectangle round them, which must still
// reach the last of them, far from the rest.
TEST(SurfaceFrames, ManyChangedPiecesAreRepaintedToTheLast) {
    const struct {
        const char* name;
        BgrColour colour[2];
        int extra[2]; // marks before the row of 100
        int lastY[2];
    } cases[] = {
        {"every piece recoloured", {BgrBlack, BgrBlue}, {0, 0}, {180, 180}},
        {"one more piece first, the last one moved", {BgrBlack, BgrBlack}, {0, 1}, {180, 185}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Surface s(QSize(300, 200));
        auto scene = [&](int k) {
            s.fillEach(c.colour[k], [&](auto&& put) {
                for (int i = 0; i < c.extra[k]; ++i)
                    put(QRect(0, 40, 9, 9));
                for (int i = 0; i < 100; ++i)
                    put(QRect(i % 50, 5 + i / 50, 9, 9));
                put(QRect(280, c.lastY[k], 9, 9));
            });
        };
        for (int k = 0; k < 2; ++k) {
            s.beginFrame();
            scene(k);
            s.endFrame();
        }
        const QImage repainted = s.image().copy();
        s.cls();
        scene(1);
        ASSERT_EQ(repainted, s.image());
    }
}

// A repaint reuses the text the last one drew at the same place in its
// order, without looking it up; once the text cache has been cleared (the
// faces may have changed since) the text is rendered again.
TEST(SurfaceFrames, TextIsRenderedAgainAfterTheCacheIsCleared) {
    Surface s(QSize(200, 100));
    useArial(s, 24);
    auto frame = [&s] {
        s.beginFrame();
        s.setCurrentPos(10, 10);
        s.print("a+b");
        s.endFrame();
    };
    frame();
    frame();
    EXPECT_EQ(s.textCache().misses(), 1u);
    s.textCache().clear();
    frame();
    EXPECT_EQ(s.textCache().misses(), 2u);
    EXPECT_EQ(s.textCache().entryCount(), 1u);
}

// The cache forgets the text used least recently; a repaint that draws a
// text it holds counts as a use, and one it has forgotten, or let go of
// when cleared, is taken back.
TEST(TextCache, ForgetsTheLeastRecentlyUsedAndTakesBackWhatIsStillDrawn) {
    installFontSubstitutions();
    CanvasFont font;
    font.face = "Arial";
    font.pixelSize = 40;
    const char* const texts[] = {"a", "bb", "ccc", "dddd"};
    std::size_t sizes[4] = {};
    {
        TextCache measure;
        for (int i = 0; i < 4; ++i) {
            const std::size_t before = measure.bytesUsed();
            measure.run(font, texts[i]);
            sizes[i] = measure.bytesUsed() - before;
        }
    }
    TextCache cache(sizes[0] + sizes[1] + sizes[2] + sizes[3] / 2); // room for three
    const auto a = cache.run(font, texts[0]);
    cache.run(font, texts[1]);
    cache.run(font, texts[2]);
    cache.keep(a);             // drawn again: "bb" is now the oldest
    cache.run(font, texts[3]); // makes room by forgetting "bb"
    const std::size_t misses = cache.misses();
    EXPECT_EQ(cache.run(font, texts[0]), a);
    cache.run(font, texts[3]);
    EXPECT_EQ(cache.misses(), misses);
    cache.run(font, texts[1]); // forgotten: rendered again, forgetting "ccc"
    EXPECT_EQ(cache.misses(), misses + 1);
    const auto c = cache.run(font, texts[2]);
    EXPECT_EQ(cache.misses(), misses + 2);
    cache.clear(); // lets go of "ccc" too
    cache.keep(c);
    EXPECT_EQ(cache.entryCount(), 1u);
    EXPECT_EQ(cache.run(font, texts[2]), c);
    EXPECT_EQ(cache.misses(), misses + 2);
}

// Text is composited by steps worked out when it was rendered; each span
// must come out as reading its coverage byte by byte does, whatever lies
// beneath (blending rounds differently at a span's end than in its body).
TEST(SurfaceText, CompositedStepsMatchTheCoverageByteByByte) {
    std::mt19937 rng(11);
    QImage beneath(1400, 260, QImage::Format_RGB32);
    for (int y = 0; y < beneath.height(); ++y)
        for (int x = 0; x < beneath.width(); ++x)
            beneath.setPixel(x, y, 0xFF000000u | (rng() & 0xFFFFFFu));
    for (const FontChoice& f : FontTable)
        for (const int points : {8, 25, 75, 150})
            for (const char* text : {"x", "y=mx+c", "(a+b)", "ij W|1/2"}) {
                CanvasFont font;
                font.face = std::string(f.face);
                font.bold = f.bold;
                font.italic = f.italic;
                font.pixelSize = pointsToPixels(points);
                const auto run = TextCache::render(font, text);
                ASSERT_LE(run->maskSize.width() + 3, beneath.width());
                ASSERT_LE(run->maskSize.height() + 3, beneath.height());
                for (const QRgb colour : {Black, QRgb(0xFF3366CC)}) {
                    const QPoint at(3, 3);
                    QImage stepped = beneath.copy();
                    compositeMask(stepped, *run, at, colour, stepped.rect(), true);
                    QImage bytewise = beneath.copy();
                    for (int my = 0; my < run->maskSize.height(); ++my) {
                        auto* row =
                            reinterpret_cast<QRgb*>(bytewise.scanLine(at.y() + my)) + at.x();
                        const uchar* mask = run->mask.constScanLine(my);
                        for (auto i = run->rowStart[static_cast<std::size_t>(my)];
                             i < run->rowStart[static_cast<std::size_t>(my) + 1]; ++i) {
                            const auto [begin, end] = run->spans[i];
                            compositeCoverageRow(row + begin, mask + begin, end - begin, colour);
                        }
                    }
                    ASSERT_TRUE(stepped == bytewise)
                        << f.face << " " << points << " pt \"" << text << "\"";
                }
            }
}

// The byte search behind the text ink and the coverage of covered drawing
// goes sixteen bytes at a time: it must find what a plain loop would,
// wherever a line starts and ends.
TEST(ByteScan, FindsWhatAPlainLoopWould) {
    std::mt19937 rng(3);
    const uchar kinds[] = {0, 255, 1, 77};
    for (int round = 0; round < 400; ++round) {
        const int n = static_cast<int>(rng() % 70);
        std::vector<uchar> line(static_cast<std::size_t>(n) + 1, 9);
        for (int x = 0; x < n;) { // runs of one kind, as ink and coverage come
            const uchar kind = kinds[rng() % 4];
            for (int run = 1 + static_cast<int>(rng() % 20); run > 0 && x < n; --run)
                line[static_cast<std::size_t>(x++)] = kind;
        }
        const int from = static_cast<int>(rng() % (static_cast<unsigned>(n) + 1));
        SCOPED_TRACE(testing::Message() << "round " << round << ": [" << from << ", " << n << ")");
        for (const uchar value : {uchar(0), uchar(255)}) {
            int equal = from, other = from;
            while (equal < n && line[static_cast<std::size_t>(equal)] != value)
                ++equal;
            while (other < n && line[static_cast<std::size_t>(other)] == value)
                ++other;
            EXPECT_EQ(firstByte<true>(line.data(), from, n, value), equal) << int(value);
            EXPECT_EQ(firstByte<false>(line.data(), from, n, value), other) << int(value);
        }
    }
}

// What a repaint leaves out rests on the coverage's answers: they must be a
// pixel-by-pixel record's, for rectangles anywhere on or off its area and
// across the words its rows are kept in.
TEST(Coverage, AnswersAsAPixelByPixelRecordWould) {
    std::mt19937 rng(17);
    auto pick = [&rng](int lo, int hi) { return lo + static_cast<int>(rng() % unsigned(hi - lo)); };
    for (int round = 0; round < 300; ++round) {
        const QRect area(pick(-20, 20), pick(-5, 5), pick(1, 200), pick(1, 12));
        Coverage coverage(area);
        std::vector<char> set(static_cast<std::size_t>(area.width() * area.height()), 0);
        auto isSet = [&](int x, int y) {
            return set[static_cast<std::size_t>((y - area.top()) * area.width() + x - area.left())];
        };
        auto randomRect = [&] {
            const int w = pick(0, 3) == 0 ? pick(60, 150) : pick(1, 12);
            return QRect(pick(area.left() - 10, area.right() + 5),
                         pick(area.top() - 3, area.bottom() + 2), w, pick(1, 6));
        };
        for (int step = 0; step < 40; ++step) {
            const QRect r = randomRect();
            const bool added = coverage.addRect(r);
            const QRect c = r.intersected(area);
            bool fresh = false; // the repaint shows what covers anything new
            for (int y = c.top(); y <= c.bottom() && !c.isEmpty(); ++y)
                for (int x = c.left(); x <= c.right(); ++x) {
                    char& bit = set[static_cast<std::size_t>((y - area.top()) * area.width() + x -
                                                             area.left())];
                    fresh = fresh || bit == 0;
                    bit = 1;
                }
            ASSERT_EQ(added, fresh) << "round " << round << ", step " << step;
            for (int q = 0; q < 8; ++q) {
                const QRect query = randomRect();
                const QRect on = query.intersected(area);
                bool all = true;
                for (int y = on.top(); y <= on.bottom() && !on.isEmpty(); ++y)
                    for (int x = on.left(); x <= on.right(); ++x)
                        all = all && isSet(x, y) != 0;
                ASSERT_EQ(coverage.covers(query), all)
                    << "round " << round << ", step " << step << ": " << query.x() << ","
                    << query.y() << " " << query.width() << "x" << query.height();
            }
            ASSERT_EQ(coverage.complete(), std::count(set.begin(), set.end(), 0) == 0)
                << "round " << round << ", step " << step;
        }
    }
}
