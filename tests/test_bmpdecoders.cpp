// Exported bitmap files read back by three decoders nobody here wrote
// (netpbm's bmptopnm, the strictest; ImageMagick's convert; Qt's BMP
// reader) must show exactly the captured grey levels.

#include "bmpdecoders.h"
#include "export/bmpimage.h"
#include "export/workspacecapture.h"
#include "files/atomicwrite.h"
#include "model/expression.h"
#include "render/layers.h"
#include "render/surface.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <random>

using namespace quill;
using namespace quill::test;

namespace {

// A colour of grey level `level` with random red, blue and low green bits,
// or now and then -1 (no colour) for level 0.
std::int32_t colourOfLevel(int level, std::mt19937& rng) {
    if (level == 0 && rng() % 4 == 0)
        return -1;
    return static_cast<std::int32_t>((rng() & 0xFF0FFFu) | static_cast<unsigned>(level) << 12);
}

CapturedImage fromLevels(std::int32_t w, std::int32_t h, const std::vector<int>& levels,
                         std::mt19937& rng) {
    CapturedImage img{w, h, {}};
    for (int l : levels)
        img.colours.push_back(colourOfLevel(l, rng));
    return img;
}

// One row of pixels that pack to the given data bytes.
CapturedImage fromBytes(const std::vector<std::uint8_t>& bytes, std::int32_t width,
                        std::mt19937& rng) {
    std::vector<int> levels;
    for (std::int32_t x = 0; x < width; ++x) {
        const std::uint8_t b = bytes[static_cast<std::size_t>(x / 2)];
        levels.push_back(x % 2 == 0 ? b >> 4 : b & 0xF);
    }
    return fromLevels(width, 1, levels, rng);
}

struct Decoders : ::testing::Test {
    QTemporaryDir tmp;
    int files = 0;

    // Writes the capture as a bitmap file and holds every decoder's
    // picture of it to the captured grey levels.
    void roundTrip(const CapturedImage& img, const std::string& what) {
        ASSERT_TRUE(tmp.isValid());
        const QString path = tmp.filePath(QStringLiteral("image%1.bmp").arg(files++));
        const std::vector<std::uint8_t> bytes = bitmapFileFromCapture(img, files % 7);
        ASSERT_TRUE(writeFileAtomically(path, bytes).ok);
        const GreyPicture want = expectedGreys(img);
        EXPECT_EQ(firstDifference(decodeWithBmptopnm(path), want), "") << "bmptopnm, " << what;
        EXPECT_EQ(firstDifference(decodeWithImageMagick(path), want), "") << "convert, " << what;
        EXPECT_EQ(firstDifference(decodeWithQt(path), want), "") << "Qt, " << what;
    }
};

TEST_F(Decoders, ShowTheWorkedExamplesExactly) {
    std::mt19937 rng(1);
    // The 4 x 2 picture: white, black, 0x808080, white over a white row.
    roundTrip(
        CapturedImage{
            4, 2, {0xFFFFFF, 0, 0x808080, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF}},
        "4 x 2");
    const std::vector<std::vector<std::uint8_t>> rows = {
        {0xFF, 0xFF, 0xFF, 0xFF},
        {0xFF, 0xFF, 0xFF},
        {0x12, 0x34, 0x56},
        {0x12, 0x34, 0x34, 0x34, 0x34},
        {0x12, 0x34, 0x34, 0x56},
        {0x12, 0x12, 0x34, 0x56, 0x78},
        {0x12, 0x34, 0x56, 0x78, 0x78, 0x9A},
        {0x12, 0x34, 0x56, 0x78, 0x78, 0x78, 0x78, 0x9A},
        {0xFF, 0xFF, 0x00, 0x00},
    };
    for (const auto& r : rows)
        roundTrip(fromBytes(r, static_cast<std::int32_t>(2 * r.size()), rng), "row example");
    roundTrip(fromBytes({0xF0}, 1, rng), "one white pixel");
    roundTrip(fromBytes(std::vector<std::uint8_t>(300, 0xFF), 600, rng), "600 white pixels");
    std::vector<std::uint8_t> literal(128);
    for (std::size_t i = 0; i < literal.size(); ++i)
        literal[i] = static_cast<std::uint8_t>(i * 37 + 11);
    roundTrip(fromBytes(literal, 256, rng), "128-byte literal stretch");
    roundTrip(fromBytes(literal, 255, rng), "255 pixels of a literal stretch");
}

TEST_F(Decoders, ShowRandomPicturesOfEveryWidthKind) {
    std::mt19937 rng(20240611);
    std::vector<std::int32_t> widths = {1,   2,   3,   4,   5,   7,   8,   9,   16, 17,
                                        127, 128, 253, 254, 255, 256, 257, 299, 300};
    for (int i = 0; i < 9; ++i)
        widths.push_back(static_cast<std::int32_t>(1 + rng() % 300));
    for (std::int32_t w : widths) {
        const auto h = static_cast<std::int32_t>(1 + rng() % 9);
        std::vector<int> levels;
        for (std::int32_t y = 0; y < h; ++y) {
            const unsigned kind = rng() % 4;
            const int single = static_cast<int>(rng() % 16);
            int level = static_cast<int>(rng() % 16);
            int left = 0;
            for (std::int32_t x = 0; x < w; ++x) {
                switch (kind) {
                case 0: // noise
                    level = static_cast<int>(rng() % 16);
                    break;
                case 1: // one colour
                    level = single;
                    break;
                case 2: // runs of a few pixels, long enough to pair up or not
                    if (left-- <= 0) {
                        level = static_cast<int>(rng() % 16);
                        left = static_cast<int>(rng() % 8);
                    }
                    break;
                default: // long runs, up to past 127 bytes
                    if (left-- <= 0) {
                        level = static_cast<int>(rng() % 16);
                        left = static_cast<int>(rng() % 300);
                    }
                    break;
                }
                levels.push_back(level);
            }
        }
        roundTrip(fromLevels(w, h, levels, rng), "random " + std::to_string(w) + " wide");
    }
    // Every grey level, in both halves of a byte.
    std::vector<int> all;
    for (int a = 0; a < 16; ++a)
        for (int b = 0; b < 16; ++b)
            all.insert(all.end(), {a, b});
    roundTrip(fromLevels(32, 16, all, rng), "every pair of levels");
}

TEST_F(Decoders, ShowACaptureOfADrawnExpression) {
    Surface canvas(QSize(640, 300));
    canvas.cls();
    Expression e;
    e.AddTextItem("Arial", VbFalse, VbFalse, 48, "f(x) = x+1", 30, 40, 25, 95, 60);
    e.AddTextItem("Arial", VbTrue, VbTrue, 36, "dx", 300, 150, 295, 195, 45);
    e.AddHLine(130, 20, 320, 3);
    e.AddVLine(400, 20, 260, 5);
    DrawItems(canvas, e);
    // Corners dragged from bottom right to top left, part of the area off
    // the picture's right edge.
    const CapturedImage img = captureOutline(canvas.image(), outlineArea(700, 280, 10, 15));
    ASSERT_EQ(img.width, 688);
    ASSERT_EQ(img.height, 263);
    int greys = 0;
    std::vector<bool> seen(16);
    for (std::int32_t c : img.colours)
        if (!seen[greyLevel(c)]) {
            seen[greyLevel(c)] = true;
            ++greys;
        }
    EXPECT_GE(greys, 4); // text edges give grey levels between black and white
    roundTrip(img, "drawn expression");
}

} // namespace
