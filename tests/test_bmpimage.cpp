// The exported picture in memory: grey packing, the RLE4 code, the bitmap
// file's bytes, the outline's area and the capture, checked byte for byte.

#include "export/bmpimage.h"
#include "export/capture.h"
#include "export/halves.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using namespace quill;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes hex(const std::string& text) {
    Bytes out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == ' ')
            continue;
        out.push_back(static_cast<std::uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
        ++i;
    }
    return out;
}

CapturedImage image(std::int32_t w, std::int32_t h, std::vector<std::int32_t> colours) {
    return CapturedImage{w, h, std::move(colours)};
}

// One packed row of data bytes, as wide as they are (two pixels a byte).
PackedImage oneRow(const Bytes& data) {
    PackedImage p;
    p.width = static_cast<std::int32_t>(2 * data.size());
    p.height = 1;
    p.rowBytes = 4 * ((p.width + 7) / 8);
    p.bytes = data;
    p.bytes.resize(static_cast<std::size_t>(p.rowBytes), 0);
    return p;
}

// The 4 x 2 picture: top row white, black, 0x808080, white; bottom row white.
CapturedImage fourByTwo() {
    return image(4, 2,
                 {0xFFFFFF, 0x000000, 0x808080, 0xFFFFFF, //
                  0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF});
}

TEST(GreyLevel, IsTheUpperHalfOfGreenAndBlackWithoutColour) {
    const struct {
        std::int32_t colour;
        int level;
    } cases[] = {{0xFFFFFF, 15}, {0x000000, 0},  {0x808080, 8},  {0x0000FF, 0},
                 {0x00FF00, 15}, {0xFF0000, 0},  {0x00EFFF, 14}, {0x001000, 1},
                 {-1, 0},        {0x00F000, 15}, {0xFF0FFF, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(greyLevel(c.colour), c.level) << std::hex << c.colour;
}

TEST(PackImage, PutsTheBottomRowFirstTwoPixelsAByteAndFillsTheHeader) {
    BitmapHeader header;
    const PackedImage p = packImage(fourByTwo(), header);
    EXPECT_EQ(p.rowBytes, 4);
    EXPECT_EQ(p.bytes, hex("FF FF 00 00 F0 8F 00 00"));
    EXPECT_EQ(header.width, 4);
    EXPECT_EQ(header.height, 2);
    EXPECT_EQ(header.imageSize, 8u);
}

TEST(PackImage, RowsArePaddedToFourBytesAndAnOddLastPixelTakesTheUpperHalf) {
    const struct {
        std::int32_t width;
        std::int32_t rowBytes;
        const char* row; // the packed row of white pixels with a no-colour point first
    } cases[] = {
        {1, 4, "F0 00 00 00"},
        {2, 4, "0F 00 00 00"},
        {5, 4, "0F FF F0 00"},
        {8, 4, "0F FF FF FF"},
        {9, 8, "0F FF FF FF F0 00 00 00"},
        {16, 8, "0F FF FF FF FF FF FF FF"},
    };
    for (const auto& c : cases) {
        std::vector<std::int32_t> colours(static_cast<std::size_t>(c.width), 0xFFFFFF);
        if (c.width > 1)
            colours[0] = -1;
        BitmapHeader header;
        const PackedImage p = packImage(image(c.width, 1, colours), header);
        EXPECT_EQ(p.rowBytes, c.rowBytes) << c.width;
        EXPECT_EQ(p.bytes, hex(c.row)) << c.width;
        EXPECT_EQ(header.imageSize, static_cast<std::uint32_t>(c.rowBytes)) << c.width;
    }
}

TEST(EncodeRle4, OneRowCodesFollowTheRunAndLiteralRules) {
    const struct {
        const char* data;
        const char* code;
    } cases[] = {
        {"FF FF FF FF", "08 FF 00 01"},
        {"FF FF FF", "06 FF 00 01"},
        {"12 34 56", "00 06 12 34 56 00 00 01"},
        {"12 34 34 34 34", "02 12 08 34 00 01"},
        {"12 34 34 56", "02 12 04 34 02 56 00 01"},
        {"12 12 34 56 78", "04 12 00 06 34 56 78 00 00 01"},
        {"12 34 56 78 78 9A", "00 0C 12 34 56 78 78 9A 00 01"},
        {"12 34 56 78 78 78 78 9A", "00 06 12 34 56 00 08 78 02 9A 00 01"},
        {"FF FF 00 00", "04 FF 04 00 00 01"},
        {"F0", "02 F0 00 01"},
        {"12 34", "00 04 12 34 00 01"},
        {"12 34 56 56 56 78 9A", "00 0E 12 34 56 56 56 78 9A 00 00 01"},
        {"12 34 34 34 56 56 56 56", "02 12 06 34 08 56 00 01"},
        {"12 34 56 56 56 56", "00 04 12 34 08 56 00 01"},
        {"12 34 56 56 78 78 78 78", "00 08 12 34 56 56 08 78 00 01"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(encodeRle4(oneRow(hex(c.data))).rleData, hex(c.code)) << c.data;
}

TEST(EncodeRle4, LongRunsAndLongLiteralStretchesAreSplitAt127Bytes) {
    EXPECT_EQ(encodeRle4(oneRow(Bytes(300, 0xFF))).rleData, hex("FE FF FE FF 5C FF 00 01"));
    EXPECT_EQ(encodeRle4(oneRow(Bytes(127, 0x00))).rleData, hex("FE 00 00 01"));
    EXPECT_EQ(encodeRle4(oneRow(Bytes(128, 0x00))).rleData, hex("FE 00 02 00 00 01"));

    // 128 different bytes: an absolute run of 127 bytes, padded, then the
    // last byte alone as an encoded run of its two pixels.
    Bytes literal(128);
    for (std::size_t i = 0; i < literal.size(); ++i)
        literal[i] = static_cast<std::uint8_t>(i);
    Bytes want = {0x00, 0xFE};
    want.insert(want.end(), literal.begin(), literal.begin() + 127);
    want.insert(want.end(), {0x00, 0x02, 0x7F, 0x00, 0x01});
    EXPECT_EQ(encodeRle4(oneRow(literal)).rleData, want);

    // 254 different bytes: two absolute runs of 127, each padded.
    Bytes twoStretches(254);
    for (std::size_t i = 0; i < twoStretches.size(); ++i)
        twoStretches[i] = static_cast<std::uint8_t>(i);
    const Bytes code = encodeRle4(oneRow(twoStretches)).rleData;
    ASSERT_EQ(code.size(), 2 * (2 + 127 + 1) + 2u);
    EXPECT_EQ(code[129], 0x00); // pad of the first stretch
    EXPECT_EQ(code[130], 0x00);
    EXPECT_EQ(code[131], 0xFE);
    EXPECT_EQ(code[132], 127);
}

TEST(EncodeRle4, EveryRowEndsItsLineAndOnlyTheLastEndsTheBitmap) {
    BitmapHeader header;
    const Rle4Code code = encodeRle4(packImage(fourByTwo(), header));
    EXPECT_EQ(code.rleData, hex("04 FF 00 00 00 04 F0 8F 00 01"));
    EXPECT_EQ(code.rleLength(), 10);
    // Rows of an odd width carry the empty lower half of their last byte;
    // the padding bytes past the pixels are not coded.
    const Rle4Code odd =
        encodeRle4(packImage(image(3, 3, std::vector<std::int32_t>(9, 0xFFFFFF)), header));
    EXPECT_EQ(odd.rleData, hex("00 04 FF F0 00 00 00 04 FF F0 00 00 00 04 FF F0 00 01"));
    EXPECT_TRUE(encodeRle4(packImage(image(0, 5, {}), header)).rleData.empty());
}

TEST(BitmapFile, FourByTwoPictureGivesTheWholeFileForEveryListPosition) {
    const std::string head = "42 4D 80 00 00 00 00 00 00 00 76 00 00 00"
                             "28 00 00 00 04 00 00 00 02 00 00 00 01 00 04 00 02 00 00 00 "
                             "0A 00 00 00";
    std::string palette;
    for (int n = 0; n < 16; ++n) {
        char b[16];
        std::snprintf(b, sizeof b, "%02X %02X %02X 00 ", 0x11 * n, 0x11 * n, 0x11 * n);
        palette += b;
    }
    const std::string pixels = "04 FF 00 00 00 04 F0 8F 00 01";
    const struct {
        int position;
        const char* resolution;
    } cases[] = {{0, "C4 0E 00 00"}, {1, "88 1D 00 00"}, {2, "10 3B 00 00"},  {3, "20 76 00 00"},
                 {4, "40 EC 00 00"}, {5, "80 D8 01 00"}, {-1, "00 00 00 00"}, {6, "00 00 00 00"}};
    for (const auto& c : cases) {
        const std::string res = std::string(c.resolution) + " ";
        const Bytes want = hex(head + res + res + "00 00 00 00 00 00 00 00 " + palette + pixels);
        const Bytes file = bitmapFileFromCapture(fourByTwo(), c.position);
        EXPECT_EQ(file.size(), 128u);
        EXPECT_EQ(file, want) << c.position;

        // Built step by step, through the header record, it is the same.
        BitmapHeader header;
        header.xPixelsPerMetre = header.yPixelsPerMetre = pixelsPerMetre(c.position);
        const Rle4Code code = encodeRle4(packImage(fourByTwo(), header));
        EXPECT_EQ(bitmapFileBytes(header, code), want) << c.position;
        EXPECT_EQ(header.fileSize, 128u);
        EXPECT_EQ(header.imageSize, 10u);
    }
}

TEST(BitmapFile, ValuesGoOutLowByteFirst) {
    Bytes out;
    longToBytes(out, 0x01D880u);
    shortToBytes(out, 0xBEEF);
    longToBytes(out, 0xFFFFFFFFu);
    EXPECT_EQ(out, hex("80 D8 01 00 EF BE FF FF FF FF"));
}

TEST(OutlineArea, LiesInsideTheFrameWhicheverWayItWasDragged) {
    const struct {
        int x1, y1, x2, y2;
        OutlineArea area;
    } cases[] = {
        {10, 20, 110, 70, {11, 21, 98, 48}}, {110, 70, 10, 20, {11, 21, 98, 48}},
        {110, 20, 10, 70, {11, 21, 98, 48}}, {10, 10, 110, 60, {11, 11, 98, 48}},
        {-5, -5, 4, 4, {-4, -4, 7, 7}},      {10, 10, 13, 13, {11, 11, 1, 1}},
        {10, 10, 12, 40, {11, 11, 0, 28}},   {10, 10, 10, 10, {11, 11, -2, -2}},
    };
    for (const auto& c : cases) {
        const OutlineArea a = outlineArea(c.x1, c.y1, c.x2, c.y2);
        EXPECT_EQ(a.left, c.area.left) << c.x1 << "," << c.y1;
        EXPECT_EQ(a.top, c.area.top) << c.x1 << "," << c.y1;
        EXPECT_EQ(a.width, c.area.width) << c.x1 << "," << c.y1;
        EXPECT_EQ(a.height, c.area.height) << c.x1 << "," << c.y1;
        EXPECT_EQ(a.empty(), c.area.width <= 0 || c.area.height <= 0);
    }
}

// A picture whose pixel (x, y) is 0xFF000000 | y << 12 | x (0xAARRGGBB):
// the captured colour tells where it came from.
struct Picture {
    std::int32_t width, height;
    std::vector<std::uint32_t> pixels;
    Picture(std::int32_t w, std::int32_t h)
        : width(w), height(h), pixels(static_cast<std::size_t>(w * h)) {
        for (std::int32_t y = 0; y < h; ++y)
            for (std::int32_t x = 0; x < w; ++x)
                pixels[static_cast<std::size_t>(y * w + x)] =
                    0xFF000000u | static_cast<std::uint32_t>(y) << 12 |
                    static_cast<std::uint32_t>(x) << 16 | 0x5Au;
    }
    PixelRows rows() const {
        return {reinterpret_cast<const std::uint8_t*>(pixels.data()), width * 4, width, height};
    }
};

TEST(Capture, TakesTheDisplayedColoursAndMinusOneOutsideThePicture) {
    const Picture pic(20, 10);
    const struct {
        OutlineArea area;
    } cases[] = {{{3, 2, 5, 4}},   {{-3, -2, 8, 5}}, {{15, 7, 10, 6}},
                 {{-5, 3, 40, 2}}, {{25, 0, 3, 3}},  {{0, -9, 20, 30}}};
    for (const auto& c : cases) {
        const CapturedImage img = capturePixels(pic.rows(), c.area);
        ASSERT_EQ(img.width, c.area.width);
        ASSERT_EQ(img.height, c.area.height);
        for (std::int32_t y = 0; y < img.height; ++y)
            for (std::int32_t x = 0; x < img.width; ++x) {
                const std::int32_t px = c.area.left + x, py = c.area.top + y;
                const bool inside = px >= 0 && px < pic.width && py >= 0 && py < pic.height;
                // 0xAARRGGBB red px, green y << 4, blue 0x5A becomes 0x00BBGGRR.
                const std::int32_t want = inside ? (0x5A << 16 | py << 12 | px) : -1;
                ASSERT_EQ(img.colour(x, y), want) << x << "," << y;
            }
    }
    EXPECT_TRUE(capturePixels(pic.rows(), {0, 0, 0, 5}).colours.empty());
}

TEST(Capture, TheProgressBarClimbsByOneRowsShareWhileBelowTheLastStep) {
    const struct {
        std::int32_t height;
        std::vector<float> values;
    } cases[] = {{3, {33.333332f, 66.666664f, 66.666664f}},
                 {1, {0.0f}},
                 {2, {50.0f, 50.0f}},
                 {4, {25.0f, 50.0f, 75.0f, 75.0f}}};
    for (const auto& c : cases) {
        float bar = 0;
        for (std::size_t row = 0; row < c.values.size(); ++row) {
            bar = progressAfterRow(bar, c.height);
            EXPECT_FLOAT_EQ(bar, c.values[row]) << c.height << " row " << row;
        }
    }
    // The capture reports the bar only when its whole part changes.
    const Picture pic(4, 4);
    std::vector<float> heard;
    capturePixels(pic.rows(), {0, -1000, 2, 3000}, [&](float v) { heard.push_back(v); });
    EXPECT_LE(heard.size(), 100u);
    EXPECT_GE(heard.size(), 99u);
    ASSERT_FALSE(heard.empty());
    EXPECT_GE(heard.back(), 99.0f);
    EXPECT_LT(heard.back(), 100.0f);
}

TEST(BitmapFile, WholePipelineAgreesWithTheStepsForRandomPictures) {
    std::mt19937 rng(7);
    // The last rounds are large enough for the halves to be coded apart.
    for (int round = 0; round < 44; ++round) {
        const bool large = round >= 40;
        const auto w = static_cast<std::int32_t>(large ? 500 + rng() % 300 : 1 + rng() % 90);
        const auto h = static_cast<std::int32_t>(large ? 520 + rng() % 5 : 1 + rng() % 6);
        std::vector<std::int32_t> colours(static_cast<std::size_t>(w * h));
        for (auto& c : colours)
            c = rng() % 5 == 0 ? -1 : static_cast<std::int32_t>(rng() % 3 * 0x7000);
        const CapturedImage img = image(w, h, colours);
        BitmapHeader header;
        header.xPixelsPerMetre = header.yPixelsPerMetre = pixelsPerMetre(2);
        const Bytes steps = bitmapFileBytes(header, encodeRle4(packImage(img, header)));
        EXPECT_EQ(bitmapFileFromCapture(img, 2), steps) << w << "x" << h;
    }
}

// Big pictures are coded and captured in two halves on two threads: each
// half runs once, whichever thread gets to it, and is over on return.
TEST(Halves, EachHalfRunsOnceAndIsDoneOnReturn) {
    for (int round = 0; round < 2000; ++round) {
        std::atomic<int> mine{0}, other{0};
        const bool slowOther = round % 2 == 0; // else the caller finishes first
        runInHalves([&] { ++mine; },
                    [&] {
                        if (slowOther)
                            std::this_thread::sleep_for(std::chrono::microseconds(20));
                        ++other;
                    });
        ASSERT_EQ(mine.load(), 1) << round;
        ASSERT_EQ(other.load(), 1) << round;
    }
    EXPECT_THROW(runInHalves([] {}, [] { throw std::runtime_error("half failed"); }),
                 std::runtime_error);
    // Two callers at once share one helper thread: neither loses a half.
    std::atomic<int> halves{0};
    auto caller = [&] {
        for (int round = 0; round < 2000; ++round)
            runInHalves([&] { ++halves; },
                        [&] {
                            std::this_thread::sleep_for(std::chrono::microseconds(round % 3));
                            ++halves;
                        });
    };
    std::thread second(caller);
    caller();
    second.join();
    EXPECT_EQ(halves.load(), 8000);
}

} // namespace
