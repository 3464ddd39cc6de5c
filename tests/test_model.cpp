// The expression tables: appends, deletes, clears, and the 16-bit rules.

#include "model/expression.h"
#include "model/vbtypes.h"

#include <gtest/gtest.h>

using namespace quill;

TEST(Rounding, HalvesGoToTheEvenNeighbour) {
    struct Case {
        double in;
        std::int16_t out;
    };
    const Case cases[] = {{70.5, 70},       {71.5, 72},       {0.5, 0},         {1.5, 2},
                          {-0.5, 0},        {-1.5, -2},       {-2.5, -2},       {2.4999, 2},
                          {2.5001, 3},      {99.75, 100},     {24.75, 25},      {133.0, 133},
                          {32767.4, 32767}, {32767.5, 32767}, {40000.0, 32767}, {-32768.5, -32768},
                          {-1e9, -32768}};
    for (const Case& c : cases)
        EXPECT_EQ(roundHalfEven16(c.in), c.out) << c.in;
}

TEST(Rounding, MidpointsOfEndsRoundHalfToEven) {
    struct Case {
        std::int16_t a, b, mid;
    };
    const Case cases[] = {{26, 114, 70},
                          {26, 115, 70},
                          {27, 116, 72},
                          {1, 4, 2},
                          {1, 6, 4},
                          {100, 50, 75},
                          {-3, 0, -2},
                          {-5, 0, -2},
                          {32767, 32767, 32767},
                          {32767, 32766, 32766},
                          {-32768, -32768, -32768},
                          {-32768, 32767, 0},
                          {30000, 30001, 30000}};
    for (const Case& c : cases)
        EXPECT_EQ(midpoint16(c.a, c.b), c.mid) << c.a << " " << c.b;
}

TEST(Rounding, SaturationKeepsValuesInSixteenBits) {
    EXPECT_EQ(saturate16(40000), 32767);
    EXPECT_EQ(saturate16(-40000), -32768);
    EXPECT_EQ(add16(32767, 50), 32767);
    EXPECT_EQ(add16(-32768, -50), -32768);
    EXPECT_EQ(add16(100, -50), 50);
}

TEST(Expression, FirstHorizontalLineIsRowZeroWithItsMiddle) {
    Expression e;
    ASSERT_TRUE(e.AddHLine(160, 26, 114, 12));
    EXPECT_EQ(e.hLinesExist, VbTrue);
    EXPECT_EQ(e.lastHLine, 0);
    EXPECT_EQ(e.HLines.midX[0], 70);
    EXPECT_EQ(e.HLines.y[0], 160);
    EXPECT_EQ(e.HLines.x1[0], 26);
    EXPECT_EQ(e.HLines.x2[0], 114);
    EXPECT_EQ(e.HLines.width[0], 12);
    EXPECT_EQ(e.HLines.live[0], VbTrue);
    EXPECT_EQ(e.textItemsExist, VbFalse);
    EXPECT_EQ(e.vLinesExist, VbFalse);
}

TEST(Expression, VerticalLineMiddleAndColumns) {
    Expression e;
    e.AddVLine(60, 106, 194, 30);
    EXPECT_EQ(e.VLines.x[0], 60);
    EXPECT_EQ(e.VLines.midY[0], 150);
    EXPECT_EQ(e.VLines.y1[0], 106);
    EXPECT_EQ(e.VLines.y2[0], 194);
    EXPECT_EQ(e.VLines.width[0], 30);
}

TEST(Expression, DeletedRowsStayAndAppendsGoAfterTheHighestRow) {
    Expression e;
    for (int i = 0; i < 3; ++i)
        e.AddTextItem("Arial", VbFalse, VbFalse, 100, "t" + std::to_string(i), 30, 100, 25, 228,
                      133);
    e.TextItems.live[1] = VbFalse;
    e.AddTextItem("Arial", VbTrue, VbFalse, 50, "new", 30, 100, 25, 160, 67);
    EXPECT_EQ(e.lastTextItem, 3);
    EXPECT_EQ(e.TextItems.rows(), 4u);
    EXPECT_EQ(e.TextItems.text[1], "t1");
    EXPECT_EQ(e.TextItems.live[1], VbFalse);
    EXPECT_EQ(e.TextItems.text[3], "new");
    EXPECT_EQ(e.TextItems.live[3], VbTrue);
    // every row deleted: the table still exists and appends continue
    for (auto& l : e.TextItems.live)
        l = VbFalse;
    EXPECT_EQ(e.textItemsExist, VbTrue);
    e.AddTextItem("Arial", VbFalse, VbFalse, 25, "", 30, 100, 25, 128, 33);
    EXPECT_EQ(e.lastTextItem, 4);
}

TEST(Expression, ClearEmptiesEveryTableAndTheNextAppendIsRowZero) {
    Expression e;
    for (int i = 0; i < 5; ++i) {
        e.AddHLine(160, 26, 114, 12);
        e.AddVLine(60, 106, 194, 12);
        e.AddTextItem("Arial", VbFalse, VbFalse, 100, "x", 30, 100, 25, 228, 133);
    }
    e.ClearExpression();
    EXPECT_EQ(e.textItemsExist, VbFalse);
    EXPECT_EQ(e.hLinesExist, VbFalse);
    EXPECT_EQ(e.vLinesExist, VbFalse);
    EXPECT_EQ(e.lastHLine, 4); // left stale, meaningless while the flag is False
    EXPECT_EQ(e.HLines.rows(), 1u);
    EXPECT_EQ(e.TextItems.text[0], "");
    EXPECT_EQ(e.textRowCount(), 0);
    e.AddVLine(1, 2, 3, 4);
    EXPECT_EQ(e.lastVLine, 0);
    EXPECT_EQ(e.VLines.rows(), 1u);
    EXPECT_EQ(e.VLines.x[0], 1);
    EXPECT_EQ(e.hLineRowCount(), 0);
}

TEST(Expression, TablesStopAtTheSixteenBitRowLimit) {
    Expression e;
    for (int i = 0; i < MaxTableRows; ++i)
        ASSERT_TRUE(e.AddHLine(static_cast<std::int16_t>(i % 1000), 0, 10, 3));
    EXPECT_EQ(e.lastHLine, 32767);
    const Expression before = e;
    EXPECT_FALSE(e.AddHLine(1, 2, 3, 4));
    EXPECT_TRUE(e == before) << "a refused append changes nothing";
    EXPECT_EQ(e.hLineRowCount(), 32768);
    // the other tables are independent
    EXPECT_TRUE(e.AddVLine(1, 2, 3, 4));
}

TEST(Expression, RowCountNeverRunsPastTheColumns) {
    Expression e;
    e.AddTextItem("Arial", VbFalse, VbFalse, 100, "x", 30, 100, 25, 228, 133);
    e.lastTextItem = 50; // an inconsistent index must not lead readers astray
    EXPECT_EQ(e.textRowCount(), 1);
    e.lastTextItem = -7;
    EXPECT_EQ(e.textRowCount(), 0);
}
