#include "edit/hotspot.h"

#include <array>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <utility>

using namespace quill;

namespace {

constexpr std::int16_t Lo = std::numeric_limits<std::int16_t>::min();
constexpr std::int16_t Hi = std::numeric_limits<std::int16_t>::max();

void addText(Expression& e, std::int16_t mx, std::int16_t my, std::int16_t height = 50) {
    e.AddTextItem("Arial", VbFalse, VbFalse, 100, "ab", 30, 100, mx, my, height);
}

Hit hitAt(const Expression& e, int x, int y, Hit before = {}) {
    findHotspot(e, static_cast<std::int16_t>(x), static_cast<std::int16_t>(y), before);
    return before;
}

// One handle of each kind sits at (hx, hy): a press offset by (dx, dy)
// grabs it exactly when both offsets are at most 3 pixels.
TEST(FindHotspot, SevenPixelSquareAroundEveryKindOfHandle) {
    const struct {
        int dx, dy;
        bool grabs;
    } offsets[] = {
        {0, 0, true},   {3, 3, true},  {-3, -3, true}, {3, -3, true},
        {-3, 3, true},  {4, 0, false}, {-4, 0, false}, {0, 4, false},
        {0, -4, false}, {4, 3, false}, {3, 4, false},  {-4, -4, false},
    };
    const struct { int hx, hy; } places[] = {{100, 200}, {Hi, Hi}, {Lo, Lo}, {Hi, Lo}};
    for (const auto& p : places) {
        const auto hx = static_cast<std::int16_t>(p.hx), hy = static_cast<std::int16_t>(p.hy);
        // The other handles of the lines point away from the edge, at least
        // 400 pixels from the one under test.
        const std::int16_t awayX = hx > 0 ? -400 : 400, awayY = hy > 0 ? -400 : 400;
        for (int kind = 1; kind <= 3; ++kind) {
            Expression e;
            if (kind == 1)
                addText(e, hx, hy);
            else if (kind == 2)
                e.AddHLine(hy, hx, static_cast<std::int16_t>(hx + 2 * awayX), 2);
            else
                e.AddVLine(hx, hy, static_cast<std::int16_t>(hy + 2 * awayY), 2);
            for (const auto& o : offsets) {
                const int px = p.hx + o.dx, py = p.hy + o.dy;
                if (px < Lo || px > Hi || py < Lo || py > Hi)
                    continue;
                const Hit h = hitAt(e, px, py, Hit{0, 9, 9});
                SCOPED_TRACE(testing::Message()
                             << "kind " << kind << " handle (" << p.hx << "," << p.hy
                             << ") offset (" << o.dx << "," << o.dy << ")");
                EXPECT_EQ(h.kind, o.grabs ? kind : 0);
                EXPECT_EQ(h.row, o.grabs ? 0 : 9);
                EXPECT_EQ(h.handle, o.grabs && kind != 1 ? 1 : 9);
            }
        }
    }
}

TEST(FindHotspot, LastMatchWins) {
    Expression e;
    addText(e, 100, 100); // text row 0
    addText(e, 101, 99);  // text row 1, same spot
    Hit h = hitAt(e, 100, 100, Hit{0, 0, 3});
    EXPECT_EQ(h.kind, 1);
    EXPECT_EQ(h.row, 1);
    EXPECT_EQ(h.handle, 3) << "a text hit leaves the handle alone";
    h = hitAt(e, 300, 300, Hit{2, 5, 2});
    EXPECT_EQ(h.kind, 0);
    EXPECT_EQ(h.row, 5) << "a miss leaves row and handle alone";
    EXPECT_EQ(h.handle, 2);
    for (int i = 0; i < 3; ++i)
        addText(e, 500, 500);    // later text rows elsewhere
    e.AddHLine(100, 98, 300, 1); // hline row 0: first end at (98, 100)
    h = hitAt(e, 100, 100);
    EXPECT_EQ(h.kind, 2) << "a line beats a text item of a higher row";
    EXPECT_EQ(h.row, 0);
    e.AddHLine(101, 300, 102, 1); // hline row 1: second end at (102, 101)
    h = hitAt(e, 100, 100);
    EXPECT_EQ(h.kind, 2);
    EXPECT_EQ(h.row, 1);
    EXPECT_EQ(h.handle, 3);
    e.AddVLine(99, 600, 100, 1); // vline row 0: second end at (99, 100)
    h = hitAt(e, 100, 100);
    EXPECT_EQ(h.kind, 3) << "vertical beats horizontal";
    EXPECT_EQ(h.row, 0);
    EXPECT_EQ(h.handle, 3);
}

TEST(FindHotspot, FirstMatchingHandleOfAShortLine) {
    Expression e;
    e.AddHLine(50, 100, 106, 1);  // midX 103
    e.AddVLine(500, 100, 106, 1); // midY 103
    const struct {
        int x, y, kind, handle;
    } cases[] = {
        {101, 50, 2, 1},  {103, 50, 2, 1},  {104, 50, 2, 2},  {106, 50, 2, 2},  {109, 50, 2, 3},
        {500, 101, 3, 1}, {500, 103, 3, 1}, {500, 104, 3, 2}, {500, 109, 3, 3},
    };
    for (const auto& c : cases) {
        const Hit h = hitAt(e, c.x, c.y);
        EXPECT_EQ(h.kind, c.kind) << c.x << "," << c.y;
        EXPECT_EQ(h.handle, c.handle) << c.x << "," << c.y;
    }
}

TEST(FindHotspot, DeadRowsAndUnflaggedTablesAreNeverHit) {
    Expression e;
    addText(e, 10, 10);
    addText(e, 10, 10);
    e.AddHLine(10, 10, 90, 1);
    ASSERT_TRUE(deleteHit(e, 2, 0));
    ASSERT_TRUE(deleteHit(e, 1, 1));
    Hit h = hitAt(e, 10, 10);
    EXPECT_EQ(h.kind, 1);
    EXPECT_EQ(h.row, 0);
    ASSERT_TRUE(deleteHit(e, 1, 0));
    EXPECT_EQ(hitAt(e, 10, 10).kind, 0);

    // Live rows left in columns whose table is flagged empty (a file that
    // said so) are not looked at.
    Expression f;
    addText(f, 10, 10);
    f.AddHLine(20, 20, 40, 1);
    f.AddVLine(30, 30, 50, 1);
    f.textItemsExist = f.hLinesExist = f.vLinesExist = VbFalse;
    for (auto [x, y] : {std::pair{10, 10}, std::pair{20, 20}, std::pair{30, 30}})
        EXPECT_EQ(hitAt(f, x, y).kind, 0);
    Expression before = f;
    moveHandle(f, 2, 0, 1, 0, 0);
    EXPECT_FALSE(deleteHit(f, 3, 0));
    EXPECT_EQ(f, before);
}

TEST(FindHotspot, DamagedTablesAreNotOverrun) {
    Expression e;
    e.textItemsExist = e.hLinesExist = e.vLinesExist = VbTrue;
    e.lastTextItem = e.lastHLine = e.lastVLine = 5;
    // The first column agrees with the last-row index, the others are short.
    e.TextItems.fontName.assign(6, "Arial");
    e.TextItems.x.assign(2, 0);
    e.TextItems.y.assign(2, 0);
    e.TextItems.markerX.assign(2, 7);
    e.TextItems.markerY.assign(2, 7);
    e.TextItems.height.assign(2, 0);
    e.TextItems.live.assign(2, VbTrue);
    e.HLines.midX.assign(3, 0);
    e.VLines.x.assign(6, 0);
    e.VLines.midY.assign(6, 0);
    e.VLines.live.assign(6, VbTrue);
    e.lastHLine = 40000;
    const Hit h = hitAt(e, 7, 7);
    EXPECT_EQ(h.kind, 1);
    EXPECT_EQ(h.row, 1);
    const Expression before = e;
    for (std::int16_t kind = 1; kind <= 3; ++kind) {
        moveHandle(e, kind, 4, 2, 1, 1);
        EXPECT_FALSE(deleteHit(e, kind, 4));
    }
    EXPECT_EQ(e, before);
    e.lastTextItem = -1;
    EXPECT_EQ(hitAt(e, 7, 7).kind, 0);
}

// Line moves, run for both orientations: "along" is x for a horizontal line
// and y for a vertical one.
TEST(MoveHandle, LineTable) {
    const struct {
        int end1, end2, handle, along, across, want1, want2, wantMid, wantAcross;
    } cases[] = {
        {26, 114, 2, 100, 180, 56, 144, 100, 180}, // middle 70 -> 100
        {26, 114, 3, 117, 999, 26, 117, 72, 160},  // 71.5 -> 72
        {26, 114, 3, 115, 999, 26, 115, 70, 160},  // 70.5 -> 70
        {26, 114, 1, 27, 0, 27, 114, 70, 160},
        {26, 114, 1, 29, 0, 29, 114, 72, 160},    // 71.5 -> 72
        {-2, -20, 1, -31, 0, -31, -20, -26, 160}, // -25.5 -> -26
        {26, 114, 1, 200, 0, 200, 114, 157, 160}, // past the other end
        {26, 114, 1, 203, 0, 203, 114, 158, 160}, // 158.5 -> 158
        {26, 114, 3, -3, 0, 26, -3, 12, 160},     // 11.5 -> 12
        {26, 115, 2, 72, 160, 28, 117, 72, 160},  // middle follows the pointer
        // Ends summing to odd: the rounded midpoint is always even, so an
        // odd pointer position aims at the even neighbour above it.
        {26, 115, 2, 71, 160, 28, 117, 72, 160},
        {26, 115, 2, 69, 160, 26, 115, 70, 160},
        // At the 16-bit edges a dragged line stops whole; ends clamp.
        {32000, 32700, 2, Hi, 5, 32067, Hi, 32417, 5},
        {-32000, -32700, 2, Lo, 5, -32068, Lo, -32418, 5},
        {Lo, Hi, 2, 100, 5, Lo, Hi, 0, 5},
        {0, Hi, 1, Lo, 0, Lo, Hi, 0, 160}, // -0.5 -> 0
        {Hi, 0, 3, Hi, 0, Hi, Hi, Hi, 160},
    };
    for (int kind : {2, 3}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::Message()
                         << "kind " << kind << " ends " << c.end1 << "," << c.end2 << " handle "
                         << c.handle << " to " << c.along);
            Expression e;
            auto s = [](int v) { return static_cast<std::int16_t>(v); };
            e.AddHLine(160, 0, 0, 1);
            e.AddVLine(160, 0, 0, 1);
            e.AddHLine(160, s(c.end1), s(c.end2), 3);
            e.AddVLine(160, s(c.end1), s(c.end2), 3);
            const Expression before = e;
            if (kind == 2)
                moveHandle(e, 2, 1, s(c.handle), s(c.along), s(c.across));
            else
                moveHandle(e, 3, 1, s(c.handle), s(c.across), s(c.along));
            const auto& h = e.HLines;
            const auto& v = e.VLines;
            const std::array<int, 5> got =
                kind == 2 ? std::array<int, 5>{h.x1[1], h.x2[1], h.midX[1], h.y[1], h.width[1]}
                          : std::array<int, 5>{v.y1[1], v.y2[1], v.midY[1], v.x[1], v.width[1]};
            EXPECT_EQ(got, (std::array{c.want1, c.want2, c.wantMid, c.wantAcross, 3}));
            EXPECT_EQ(e.TextItems, before.TextItems);
            EXPECT_TRUE(kind == 2 ? e.VLines == before.VLines : e.HLines == before.HLines);
        }
    }
}

TEST(MoveHandle, TextHandleJumpsToThePointer) {
    Expression e;
    addText(e, 25, 95 + 115, 115);
    Hit h = hitAt(e, 23, 210); // pressed 2 px left of the handle
    ASSERT_EQ(h.kind, 1);
    moveHandle(e, h, 24, 210); // then 1 px right
    const auto& t = e.TextItems;
    EXPECT_EQ(t.markerX[0], 24);
    EXPECT_EQ(t.markerY[0], 210);
    EXPECT_EQ(t.x[0], 28);
    EXPECT_EQ(t.y[0], 99);
    EXPECT_EQ(t.height[0], 115);

    const struct {
        int X, Y, height, wantX, wantY;
    } edges[] = {
        {Hi, Hi, 100, Hi, 32671}, {32765, 0, 100, Hi, -96}, {Lo, Lo, 100, -32764, Lo},
        {0, Hi, -10, 4, Hi},      {0, Lo, Hi, 4, Lo},
    };
    for (const auto& c : edges) {
        Expression f;
        addText(f, 0, 0, static_cast<std::int16_t>(c.height));
        deleteHit(f, 1, 0); // a dead row moves all the same
        moveHandle(f, 1, 0, 7, static_cast<std::int16_t>(c.X), static_cast<std::int16_t>(c.Y));
        EXPECT_EQ(f.TextItems.markerX[0], c.X);
        EXPECT_EQ(f.TextItems.markerY[0], c.Y);
        EXPECT_EQ(f.TextItems.x[0], c.wantX) << c.X << "," << c.Y;
        EXPECT_EQ(f.TextItems.y[0], c.wantY) << c.X << "," << c.Y;
    }
}

TEST(MoveHandle, OutOfTableRequestsChangeNothing) {
    Expression e;
    addText(e, 10, 10);
    e.AddHLine(20, 20, 40, 1);
    e.AddVLine(30, 30, 50, 1);
    const Expression before = e;
    // Unknown kinds and rows are refused by deleting too; unknown handles
    // of a real row are only a move's concern.
    const struct {
        int kind, row, handle;
        bool realRow;
    } cases[] = {
        {0, 0, 1, false},  {4, 0, 1, false}, {-1, 0, 1, false}, {1, 1, 0, false},
        {1, -1, 0, false}, {2, 1, 2, false}, {3, Hi, 2, false}, {3, Lo, 2, false},
        {2, 0, 0, true},   {2, 0, 4, true},  {3, 0, -1, true},
    };
    for (const auto& c : cases) {
        moveHandle(e, static_cast<std::int16_t>(c.kind), static_cast<std::int16_t>(c.row),
                   static_cast<std::int16_t>(c.handle), 500, 500);
        if (!c.realRow) {
            EXPECT_FALSE(
                deleteHit(e, static_cast<std::int16_t>(c.kind), static_cast<std::int16_t>(c.row)));
        }
        EXPECT_EQ(e, before) << c.kind << "/" << c.row << "/" << c.handle;
    }
}

TEST(DeleteHit, ClearsOnlyTheLiveValue) {
    for (std::int16_t kind = 1; kind <= 3; ++kind) {
        Expression e;
        for (int i = 0; i < 3; ++i) {
            addText(e, 10, 10);
            e.AddHLine(20, 20, 40, 1);
            e.AddVLine(30, 30, 50, 1);
        }
        Expression want = e;
        (kind == 1   ? want.TextItems.live
         : kind == 2 ? want.HLines.live
                     : want.VLines.live)[1] = VbFalse;
        EXPECT_TRUE(deleteHit(e, Hit{kind, 1, 0}));
        EXPECT_EQ(e, want);
        EXPECT_TRUE(deleteHit(e, kind, 1)) << "deleting a dead row again is harmless";
        EXPECT_EQ(e, want);
    }
}

TEST(PointerToPixel, RoundsHalfToEvenAndClamps) {
    const struct {
        double v;
        int want;
    } cases[] = {
        {70.5, 70}, {71.5, 72}, {70.51, 71}, {-1.5, -2}, {1e9, Hi}, {-1e9, Lo}, {std::nan(""), 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(pointerToPixel(c.v), c.want) << c.v;
}

} // namespace
