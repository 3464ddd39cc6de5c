// The .exp codec: exact bytes, round trips, and refusal of broken files.

#include "files/expcodec.h"

#include <climits>
#include <cstdint>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

using namespace quill;

namespace {

using Bytes = std::vector<std::uint8_t>;

// Builds file images by hand, independently of the encoder.
struct FileImage {
    Bytes b;
    FileImage& i16(int v) {
        b.push_back(static_cast<std::uint8_t>(v & 0xFF));
        b.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
        return *this;
    }
    FileImage& i32(long long v) {
        for (int k = 0; k < 4; ++k)
            b.push_back(static_cast<std::uint8_t>((v >> (8 * k)) & 0xFF));
        return *this;
    }
    FileImage& str(const std::string& s) {
        i16(static_cast<int>(s.size()));
        b.insert(b.end(), s.begin(), s.end());
        return *this;
    }
    FileImage& zeros(std::size_t n) {
        b.insert(b.end(), n, 0);
        return *this;
    }
};

DecodeResult decode(const Bytes& b, const Expression& current = {}) {
    return decodeExpression(b, current);
}

Bytes encode(const Expression& e) {
    EncodeResult r = encodeExpression(e);
    EXPECT_TRUE(r.ok) << r.message;
    return r.bytes;
}

std::int16_t anyI16(std::mt19937& rng) {
    return static_cast<std::int16_t>(std::uniform_int_distribution<int>(-32768, 32767)(rng));
}

// Strings as the program types them: codes 32..126, 163 and 172, often empty.
std::string anyText(std::mt19937& rng) {
    std::string s(std::uniform_int_distribution<int>(0, 3)(rng) == 0
                      ? 0
                      : std::uniform_int_distribution<std::size_t>(1, 12)(rng),
                  ' ');
    std::uniform_int_distribution<int> pick(0, 96);
    for (char& c : s) {
        const int k = pick(rng);
        c = static_cast<char>(k == 95 ? 163 : k == 96 ? 172 : 32 + k);
    }
    return s;
}

// A random expression: each table present or not, rows deleted at random,
// stored middles that disagree with the ends (a reader must not recompute
// them), and sometimes a table that was filled and then cleared.
Expression randomExpression(std::mt19937& rng) {
    Expression e;
    std::uniform_int_distribution<int> rows(1, 40), coin(0, 3);
    const int nText = coin(rng) ? rows(rng) : 0;
    for (int i = 0; i < nText; ++i)
        e.AddTextItem(anyText(rng), coin(rng) ? VbFalse : VbTrue, coin(rng) ? VbFalse : VbTrue,
                      anyI16(rng), anyText(rng), anyI16(rng), anyI16(rng), anyI16(rng), anyI16(rng),
                      anyI16(rng));
    const int nH = coin(rng) ? rows(rng) : 0;
    for (int i = 0; i < nH; ++i) {
        e.AddHLine(anyI16(rng), anyI16(rng), anyI16(rng), anyI16(rng));
        if (coin(rng) == 0)
            e.HLines.midX.back() = anyI16(rng);
    }
    const int nV = coin(rng) ? rows(rng) : 0;
    for (int i = 0; i < nV; ++i) {
        e.AddVLine(anyI16(rng), anyI16(rng), anyI16(rng), anyI16(rng));
        if (coin(rng) == 0)
            e.VLines.midY.back() = anyI16(rng);
    }
    for (auto* live : {&e.TextItems.live, &e.HLines.live, &e.VLines.live})
        for (auto& v : *live)
            if (coin(rng) == 0)
                v = VbFalse;
    if (coin(rng) == 0) { // filled, then cleared: stale columns, flag False
        e.AddVLine(1, 2, 3, 4);
        e.ClearExpression();
    }
    return e;
}

// What Open should give: tables saved in the file replace the current ones,
// the others keep the current columns with their flag False.
Expression afterOpen(const Expression& saved, const Expression& current) {
    Expression want = saved;
    if (!saved.textItemsExist) {
        want.TextItems = current.TextItems;
        want.lastTextItem = current.lastTextItem;
    }
    if (!saved.hLinesExist) {
        want.HLines = current.HLines;
        want.lastHLine = current.lastHLine;
    }
    if (!saved.vLinesExist) {
        want.VLines = current.VLines;
        want.lastVLine = current.lastVLine;
    }
    return want;
}

Expression threeSections() {
    Expression e;
    e.AddTextItem("Arial", VbTrue, VbFalse, 25, "a+b", 30, 100, 25, 120, 25);
    e.AddTextItem("MathSymbols", VbFalse, VbFalse, 40, "", -3, 7, -8, 40, 37);
    e.AddHLine(160, 26, 114, 12);
    e.AddHLine(-5, 300, -300, 1);
    e.AddVLine(70, 20, 80, 3);
    return e;
}

TEST(ExpCodec, EmptyExpressionIsSixZeroBytes) {
    const Bytes zeros(6, 0);
    EXPECT_EQ(encode(Expression{}), zeros);

    Expression cleared = threeSections();
    cleared.ClearExpression();
    EXPECT_EQ(encode(cleared), zeros);

    // Opening it empties every table of whatever was shown.
    const DecodeResult r = decode(zeros, threeSections());
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(r.bytesRead, 6u);
    EXPECT_EQ(r.expression.textItemsExist, VbFalse);
    EXPECT_EQ(r.expression.hLinesExist, VbFalse);
    EXPECT_EQ(r.expression.vLinesExist, VbFalse);
}

TEST(ExpCodec, SingleHorizontalLineIsTwentyTwoBytes) {
    const Bytes want = {0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46,
                        0x00, 0xA0, 0x00, 0x1A, 0x00, 0x72, 0x00, 0x0C, 0x00, 0xFF, 0xFF};
    Expression e;
    e.AddHLine(160, 26, 114, 12);
    EXPECT_EQ(encode(e), want);

    const DecodeResult r = decode(want);
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(r.expression, e);
}

TEST(ExpCodec, TextRecordFieldOrderAndEightBitCharacters) {
    Expression e;
    e.AddTextItem("Arial", VbTrue, VbFalse, 25, "\xA3x\xAC", 30, 100, 25, 120, 25);
    const Bytes want = FileImage{}
                           .i16(-1)
                           .i16(0)
                           .i16(0)
                           .i32(0)
                           .str("Arial")
                           .i16(-1)
                           .i16(0)
                           .i16(25)
                           .str("\xA3x\xAC")
                           .i16(30)
                           .i16(100)
                           .i16(25)
                           .i16(120)
                           .i16(25)
                           .i16(-1)
                           .b;
    EXPECT_EQ(encode(e), want);
    EXPECT_EQ(decode(want).expression, e);
}

TEST(ExpCodec, RandomTablesRoundTrip) {
    std::mt19937 rng(20240611);
    for (int round = 0; round < 300; ++round) {
        const Expression saved = randomExpression(rng);
        const Expression current = randomExpression(rng);
        const Bytes file = encode(saved);
        const DecodeResult r = decode(file, current);
        ASSERT_TRUE(r.ok) << "round " << round << ": " << r.message;
        EXPECT_EQ(r.bytesRead, file.size());
        ASSERT_EQ(r.expression, afterOpen(saved, current)) << "round " << round;
        ASSERT_EQ(encode(r.expression), file) << "round " << round;
    }
}

TEST(ExpCodec, DeletedRowsComeBackAndAppendsGoAfterThem) {
    Expression e = threeSections();
    for (auto* live : {&e.TextItems.live, &e.HLines.live, &e.VLines.live})
        for (auto& v : *live)
            v = VbFalse;
    DecodeResult r = decode(encode(e));
    ASSERT_TRUE(r.ok) << r.message;
    Expression& opened = r.expression;
    EXPECT_EQ(opened.HLines.x2[1], -300); // a deleted row keeps its coordinates
    EXPECT_EQ(opened.HLines.live[1], VbFalse);

    ASSERT_TRUE(opened.AddTextItem("Arial", 0, 0, 25, "z", 30, 100, 25, 120, 25));
    ASSERT_TRUE(opened.AddHLine(160, 26, 114, 12));
    EXPECT_EQ(opened.lastTextItem, 2);
    EXPECT_EQ(opened.lastHLine, 2);
    EXPECT_EQ(opened.TextItems.live, (std::vector<VbBool>{0, 0, -1}));
}

TEST(ExpCodec, SectionsLeftOutOfTheFileAreEmptyAfterOpen) {
    // Flags other than 0 and -1 mean present; they are taken as -1.
    const Bytes onlyV =
        FileImage{}.i16(0).i16(0).i16(5).i32(0).i16(70).i16(50).i16(20).i16(80).i16(3).i16(-1).b;
    const DecodeResult r = decode(onlyV, threeSections());
    ASSERT_TRUE(r.ok) << r.message;
    Expression opened = r.expression;
    EXPECT_EQ(opened.textItemsExist, VbFalse);
    EXPECT_EQ(opened.hLinesExist, VbFalse);
    EXPECT_EQ(opened.vLinesExist, VbTrue);
    EXPECT_EQ(opened.vLineRowCount(), 1);
    EXPECT_EQ(opened.hLineRowCount(), 0);
    EXPECT_EQ(opened.VLines.midY[0], 50); // stored, not recomputed from 20 and 80

    // The next text item starts the table afresh.
    ASSERT_TRUE(opened.AddTextItem("Arial", 0, 0, 25, "z", 30, 100, 25, 120, 25));
    EXPECT_EQ(opened.lastTextItem, 0);
    EXPECT_EQ(opened.TextItems.rows(), 1u);
}

// Any non-zero flag announces its section, in each of the three tables:
// the rows are read and the table is present (True) afterwards.
TEST(ExpCodec, OddFlagsStillAnnounceTheirSection) {
    const Bytes textRow = FileImage{}
                              .i32(0)
                              .str("Arial")
                              .i16(0)
                              .i16(-1)
                              .i16(50)
                              .str("odd")
                              .i16(30)
                              .i16(100)
                              .i16(25)
                              .i16(162)
                              .i16(67)
                              .i16(-1)
                              .b;
    const Bytes lineRow = FileImage{}.i32(0).i16(70).i16(160).i16(26).i16(114).i16(12).i16(-1).b;
    for (const int table : {0, 1, 2}) {
        for (const int flag : {1, 5, -2, 32767, -32768}) {
            SCOPED_TRACE("table " + std::to_string(table) + ", flag " + std::to_string(flag));
            FileImage file;
            for (int t = 0; t < 3; ++t)
                file.i16(t == table ? flag : 0);
            const Bytes& row = table == 0 ? textRow : lineRow;
            file.b.insert(file.b.end(), row.begin(), row.end());
            const DecodeResult r = decode(file.b, threeSections());
            ASSERT_TRUE(r.ok) << r.message;
            EXPECT_EQ(r.bytesRead, file.b.size());
            const Expression& e = r.expression;
            EXPECT_EQ(std::vector<VbBool>({e.textItemsExist, e.hLinesExist, e.vLinesExist}),
                      std::vector<VbBool>({VbBool(table == 0 ? VbTrue : VbFalse),
                                           VbBool(table == 1 ? VbTrue : VbFalse),
                                           VbBool(table == 2 ? VbTrue : VbFalse)}));
            if (table == 0) {
                ASSERT_EQ(e.textRowCount(), 1);
                EXPECT_EQ(e.TextItems.text[0], "odd");
                EXPECT_EQ(e.TextItems.height[0], 67);
            } else if (table == 1) {
                ASSERT_EQ(e.hLineRowCount(), 1);
                EXPECT_EQ(e.HLines.x2[0], 114);
            } else {
                ASSERT_EQ(e.vLineRowCount(), 1);
                EXPECT_EQ(e.VLines.y2[0], 114);
            }
        }
    }
}

TEST(ExpCodec, BytesAfterTheLastSectionAreIgnored) {
    const Bytes valid = encode(threeSections());
    Bytes longer = valid;
    longer.insert(longer.end(), {0xFF, 0x7F, 0x00, 0x80, 0x01});
    const DecodeResult r = decode(longer);
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(r.bytesRead, valid.size());
    EXPECT_EQ(r.expression, threeSections());
}

TEST(ExpCodec, EveryTruncationIsRefused) {
    const Bytes valid = encode(threeSections());
    for (std::size_t n = 0; n < valid.size(); ++n) {
        const DecodeResult r = decode(Bytes(valid.begin(), valid.begin() + long(n)));
        EXPECT_FALSE(r.ok) << "cut at " << n;
        EXPECT_FALSE(r.message.empty()) << "cut at " << n;
    }
}

TEST(ExpCodec, HostileFilesAreRefused) {
    const auto header = [](int t, int h, int v) { return FileImage{}.i16(t).i16(h).i16(v); };
    const struct {
        const char* name;
        Bytes file;
    } cases[] = {
        {"HLines last -1", header(0, -1, 0).i32(-1).zeros(10).b},
        {"HLines last 32768", header(0, -1, 0).i32(32768).zeros(10).b},
        {"VLines last 2^31-1", header(0, 0, -1).i32(INT32_MAX).zeros(10).b},
        {"TextItems last 2^31-1", header(-1, 0, 0).i32(INT32_MAX).zeros(10).b},
        {"HLines last -2^31", header(0, -1, 0).i32(INT32_MIN).zeros(10).b},
        {"two line rows announced, one present", header(0, -1, 0).i32(1).zeros(12).b},
        {"text rows announced beyond the file", header(-1, 0, 0).i32(32767).zeros(4000).b},
        {"font name count past the end", header(-1, 0, 0).i32(0).i16(100).zeros(30).b},
        {"text count past the end",
         header(-1, 0, 0).i32(0).str("Arial").zeros(6).i16(32767).zeros(100).b},
        {"negative font name count", header(-1, 0, 0).i32(0).i16(-1).zeros(40).b},
        {"negative text count", header(-1, 0, 0).i32(0).str("A").zeros(6).i16(-32768).zeros(40).b},
        {"announced section missing", header(0, -1, -1).i32(0).zeros(12).b},
    };
    for (const auto& c : cases) {
        const DecodeResult r = decode(c.file, threeSections());
        EXPECT_FALSE(r.ok) << c.name;
        EXPECT_FALSE(r.message.empty()) << c.name;
    }
}

TEST(ExpCodec, ExpressionsAFileCannotHoldAreNotEncoded) {
    Expression e;
    e.AddTextItem("Arial", 0, 0, 25, std::string(32767, 'x'), 30, 100, 25, 120, 25);
    const EncodeResult longest = encodeExpression(e);
    ASSERT_TRUE(longest.ok) << longest.message;
    EXPECT_EQ(decode(longest.bytes).expression, e);

    const auto refused = [](const char* name, auto change) {
        Expression x = threeSections();
        change(x);
        const EncodeResult r = encodeExpression(x);
        EXPECT_FALSE(r.ok) << name;
        EXPECT_FALSE(r.message.empty()) << name;
        EXPECT_TRUE(r.bytes.empty()) << name;
    };
    refused("text too long", [](Expression& x) { x.TextItems.text[1].assign(32768, 'y'); });
    refused("font name too long",
            [](Expression& x) { x.TextItems.fontName[0].assign(40000, 'y'); });
    refused("last row beyond the columns", [](Expression& x) { x.lastHLine = 5; });
    refused("negative last row", [](Expression& x) { x.lastVLine = -1; });
    refused("a short column", [](Expression& x) { x.VLines.width.clear(); });
}

} // namespace
