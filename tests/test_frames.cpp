// The canvas repaints only where a frame differs from the last one. Whatever
// the user does, the picture must be exactly the one a complete clear and
// repaint gives: after each step of a long random session the incremental
// picture is compared, pixel for pixel, with a forced full repaint.

#include "app/canvasview.h"
#include "app/mainpanel.h"
#include "app/selectioncontroller.h"
#include "app/widgets.h"
#include "edit/hotspot.h"
#include "edit/keycodes.h"
#include "render/layers.h"
#include "scriptedplatform.h"

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QPixmap>
#include <QRadioButton>
#include <QScreen>
#include <gtest/gtest.h>
#include <random>
#include <string>

using namespace quill;

namespace {

// Where two pictures differ, for the failure message.
QString firstDifference(const QImage& a, const QImage& b) {
    if (a.size() != b.size())
        return QStringLiteral("sizes differ");
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y))
                return QStringLiteral("(%1, %2): %3 vs %4")
                    .arg(x)
                    .arg(y)
                    .arg(a.pixel(x, y), 8, 16)
                    .arg(b.pixel(x, y), 8, 16);
    return {};
}

} // namespace

// One step of a random editing session: what a user might do next, through
// the window's own handlers. Returns which kind of step it was.
class RandomSession {
public:
    RandomSession(MainPanel& window, unsigned seed) : w(window), rng(seed) {}

    int step() {
        int action = pick(18);
        switch (action) {
        case 0: // a new line, either way, any width
            (pick(2) ? w.optH : w.optV)->setChecked(true);
            w.cboLine->setCurrentIndex(pick(7));
            w.cmdLine_Click();
            break;
        case 1: { // type a few characters and commit
            w.cboFont->setCurrentIndex(pick(7));
            w.cboFsize->setCurrentIndex(pick(5));
            w.chkText->setValue(1);
            const int n = pick(5);
            for (int i = 0; i < n; ++i)
                w.Picture4_KeyPress(static_cast<std::int16_t>(33 + pick(90)));
            if (pick(4) != 0)
                w.Picture4_KeyPress(13);
            break;
        }
        case 2: // a caret tick draws straight onto the canvas
            w.Timer2_Timer();
            break;
        case 3:
        case 4:
        case 5: { // drag a handle a few steps
            std::int16_t x = 0, y = 0;
            anyHandle(x, y);
            w.Form_MouseDown(1, 0, x, y);
            const int moves = 1 + pick(4);
            for (int i = 0; i < moves; ++i) {
                x = static_cast<std::int16_t>(x + pick(81) - 40);
                y = static_cast<std::int16_t>(y + pick(81) - 40);
                w.Form_MouseMove(1, 0, x, y);
            }
            w.Form_MouseUp(1, 0, x, y);
            break;
        }
        case 6: { // delete something
            std::int16_t x = 0, y = 0;
            anyHandle(x, y);
            w.DelObject = VbTrue;
            w.Form_MouseDown(1, 0, x, y);
            w.Form_MouseUp(1, 0, x, y);
            break;
        }
        case 7:
            w.chkGrid->setValue(pick(3));
            break;
        case 8:
            w.chkMarkers->setValue(pick(3));
            break;
        case 9:
            if (pick(6) == 0)
                w.New_Click();
            break;
        case 10: // the line being typed, left open
            w.chkText->setValue(1);
            w.Picture4_KeyPress(static_cast<std::int16_t>(33 + pick(90)));
            break;
        case 11: // a pointer move with no button held
            w.Form_MouseMove(0, 0, pick(1280), pick(800));
            break;
        case 12: // an extra pass of the items over the picture
            w.DrawItems();
            w.DrawMarkers();
            w.canvas.refresh();
            break;
        case 14: { // Shift+click on a handle, or a band over part of the canvas
            std::int16_t x = 0, y = 0;
            anyHandle(x, y);
            const bool band = pick(2) == 0;
            w.Form_MouseDown(1, band ? pick(2) : 1, x, y);
            if (band)
                for (int i = 0; i < 3; ++i)
                    w.Form_MouseMove(1, 0, x + pick(600) - 200, y + pick(400) - 100);
            w.Form_MouseUp(1, 0, x, y);
            break;
        }
        case 15: { // arrows, with Shift now and then
            const std::int16_t keys[] = {vk::Left, vk::Right, vk::Up, vk::Down};
            for (int i = 1 + pick(3); i > 0; --i)
                w.Picture4_KeyDown(keys[pick(4)], static_cast<std::int16_t>(pick(2)));
            break;
        }
        case 16: { // a command on the selection
            SelectionController& s = *w.selection;
            QAction* const commands[] = {
                s.mnuSelectAll,    s.mnuDuplicate,
                s.mnuDelete,       s.mnuAlignBy[static_cast<std::size_t>(pick(7))],
                s.mnuCentreOnLine, s.mnuSelectAll};
            commands[pick(6)]->trigger();
            break;
        }
        case 17:
            w.selection->Deselect_Click();
            break;
        default:
            w.chkText->setValue(0);
            break;
        }
        return action;
    }

private:
    int pick(int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); }
    // A handle of some item, or an arbitrary point.
    void anyHandle(std::int16_t& x, std::int16_t& y) {
        const Expression& e = w.expression;
        if (e.textRowCount() > 0 && pick(3) == 0) {
            const auto r = static_cast<std::size_t>(pick(e.textRowCount()));
            x = e.TextItems.markerX[r];
            y = e.TextItems.markerY[r];
        } else if (e.hLineRowCount() > 0 && pick(2) == 0) {
            const auto r = static_cast<std::size_t>(pick(e.hLineRowCount()));
            x = pick(2) ? e.HLines.midX[r] : e.HLines.x2[r];
            y = e.HLines.y[r];
        } else if (e.vLineRowCount() > 0) {
            const auto r = static_cast<std::size_t>(pick(e.vLineRowCount()));
            x = e.VLines.x[r];
            y = pick(2) ? e.VLines.midY[r] : e.VLines.y1[r];
        } else {
            x = static_cast<std::int16_t>(pick(1280));
            y = static_cast<std::int16_t>(pick(800));
        }
    }

    MainPanel& w;
    std::mt19937 rng;
};

TEST(CanvasFrames, IncrementalRepaintMatchesAFullRepaint) {
    test::ScriptedPlatform platform;
    MainPanel w(platform);
    w.Form_Load();
    w.Timer2->stop();
    RandomSession session(w, 20261207);
    for (int step = 0; step < 400; ++step) {
        const int action = session.step();
        // What the incremental repaints produced ...
        w.Redraw();
        const QImage incremental = w.canvas.image().copy();
        // ... against painting everything afresh, the frame round the
        // selection (kept from repaint to repaint, moved with the items)
        // worked out anew too: it is kept for one revision of the tables.
        w.changeTracker.markChanged();
        w.canvas.invalidate();
        w.Redraw();
        const QImage full = w.canvas.image();
        ASSERT_EQ(incremental, full) << "step " << step << ", action " << action << ": "
                                     << firstDifference(incremental, full).toStdString();
    }
}

// A handler's repaint can run a whole repaint of its own in the middle
// (choosing a font that is not a symbol font switches "Show Keyboard" off,
// and its handler repaints). The picture the handlers leave must be the one
// a single repaint of the final state gives, not only after the next one.
TEST(CanvasFrames, HandlersLeaveThePictureOfOneRepaint) {
    const struct {
        const char* name;
        bool item, grid, line;
    } cases[] = {{"a large text item, then the typed line", true, false, false},
                 {"the typed line alone", false, false, false},
                 {"the grid, a line, a large text item and the typed line", true, true, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::ScriptedPlatform platform;
        MainPanel w(platform);
        w.Form_Load();
        w.Timer2->stop();
        w.chkGrid->setValue(c.grid ? 1 : 0);
        if (c.item) { // "Big", Arial 250
            w.cboFsize->setCurrentIndex(6);
            w.chkText->setValue(1);
            for (const char k : std::string("Big\r"))
                w.Picture4_KeyPress(k);
        }
        w.cboFsize->setCurrentIndex(3);
        w.cboFont->setCurrentIndex(1); // Math Symbols
        w.chkShowKB->setValue(1);
        w.chkText->setValue(1);
        for (const char k : std::string("abc"))
            w.Picture4_KeyPress(k);
        if (c.line)
            w.cmdLine_Click();
        w.cboFont->setCurrentIndex(4); // Arial Italic
        ASSERT_EQ(w.chkShowKB->value(), 0);
        const QImage left = w.canvas.image().copy();
        w.canvas.invalidate();
        w.Redraw();
        const QImage single = w.canvas.image();
        EXPECT_EQ(left, single) << firstDifference(left, single).toStdString();
    }
}

// What the window system shows of the canvas: its part of the window's
// backing store, as flushed to the screen, read back through the screen
// (a grab of the widget would paint it afresh and hide what never arrived).
QImage canvasOnScreen(MainPanel& w) {
    QCoreApplication::sendPostedEvents();
    QWidget* v = w.canvasView;
    const QPoint origin = v->mapTo(v->window(), QPoint(0, 0));
    return v->screen()
        ->grabWindow(v->window()->winId(), origin.x(), origin.y(), v->width(), v->height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

// The first pixel, within the part of the canvas no other widget covers,
// where the screen differs from the canvas's picture. While the canvas has
// the keyboard focus, its focus mark lies over the picture's edges.
QString firstDifferenceShown(MainPanel& w) {
    const QImage shown = canvasOnScreen(w);
    const QImage& picture = w.canvas.image();
    QRegion visible = w.canvasView->visibleRegion();
    if (w.canvasView->hasFocus()) {
        const QRect frame = static_cast<CanvasView*>(w.canvasView)->focusMarkFrame();
        visible -= QRegion(frame) - QRegion(frame.adjusted(2, 2, -2, -2));
    }
    if (visible.isEmpty())
        return QStringLiteral("the canvas is not shown");
    for (const QRect& area : visible) {
        const QRect r = area.intersected(picture.rect());
        for (int y = r.top(); y <= r.bottom(); ++y) {
            const auto* a = reinterpret_cast<const QRgb*>(shown.constScanLine(y));
            const auto* b = reinterpret_cast<const QRgb*>(picture.constScanLine(y));
            for (int x = r.left(); x <= r.right(); ++x)
                if (a[x] != b[x])
                    return QStringLiteral("(%1, %2): shown %3, picture %4")
                        .arg(x)
                        .arg(y)
                        .arg(a[x], 8, 16)
                        .arg(b[x], 8, 16);
        }
    }
    return {};
}

// Every change to the canvas's picture must reach the screen, clears
// included: a repaint that draws nothing new still has to show the area it
// whitened, or an old caret stays visible.
TEST(CanvasFrames, TheScreenShowsThePictureAfterEveryStep) {
    test::ScriptedPlatform platform;
    auto w = test::openActiveMainPanel(platform);
    ASSERT_TRUE(w);
    // Enter on an empty canvas while the caret shows.
    w->chkMarkers->setValue(0);
    w->chkText->setValue(1);
    w->Timer2_Timer();
    ASSERT_EQ(firstDifferenceShown(*w).toStdString(), "") << "the caret";
    w->Picture4_KeyPress(13);
    ASSERT_EQ(firstDifferenceShown(*w).toStdString(), "") << "Enter with the caret shown";

    RandomSession session(*w, 20261208);
    for (int step = 0; step < 150; ++step) {
        const int action = session.step();
        ASSERT_EQ(firstDifferenceShown(*w).toStdString(), "")
            << "step " << step << ", action " << action;
    }
}

// Frames nest: a repaint that starts inside another (a handler run by a
// check box that the outer repaint changed) completes first, and the outer
// one's drawing lands on top of it.
TEST(CanvasFrames, NestedFramesPaintOnceAtTheOutermostEnd) {
    Surface s(QSize(300, 200));
    Expression e;
    e.AddHLine(50, 20, 120, 12);
    s.beginFrame();
    s.beginFrame();
    DrawItems(s, e);
    s.endFrame();
    EXPECT_EQ(s.image().pixel(70, 50), 0xFFFFFFFFu) << "nothing shows before the outer frame ends";
    e.AddVLine(200, 20, 120, 6);
    DrawItems(s, e);
    s.endFrame();
    EXPECT_EQ(s.image().pixel(70, 50), 0xFF000000u);
    EXPECT_EQ(s.image().pixel(200, 100), 0xFF000000u);
}

// A file can hold thousands of huge text items. A frame keeps the rendering
// of its text alive only up to a budget; the rest is drawn all the same.
TEST(CanvasFrames, HugeTextItemsDoNotPinUnboundedMemory) {
    constexpr std::size_t MiB = 1024 * 1024;
    Surface s(QSize(1280, 800));
    s.setFramePinnedBudget(8 * MiB);
    Expression e;
    // One huge text drawn 400 times keeps one rendering alive.
    for (int i = 0; i < 400; ++i)
        e.AddTextItem("Arial", VbFalse, VbFalse, 250, std::string(12, 'W'),
                      static_cast<std::int16_t>(i % 40 - 300),
                      static_cast<std::int16_t>(100 + i % 7), 0, 0, 333);
    s.beginFrame();
    DrawItems(s, e);
    EXPECT_GT(s.framePinnedBytes(), 0u);
    EXPECT_LT(s.framePinnedBytes(), 2 * MiB) << "a text drawn many times counted more than once";
    s.endFrame();
    // Many distinct huge texts reach the budget and stop there.
    e = Expression{};
    for (int i = 0; i < 400; ++i)
        e.AddTextItem("Arial", VbFalse, VbFalse, 250,
                      std::string(12, static_cast<char>('A' + i % 26)),
                      static_cast<std::int16_t>(i % 40 - 300),
                      static_cast<std::int16_t>(100 + i % 7), 0, 0, 333);
    s.beginFrame();
    DrawItems(s, e);
    EXPECT_LE(s.framePinnedBytes(), 8 * MiB);
    EXPECT_GT(s.framePinnedBytes(), 4 * MiB) << "the budget was not reached";
    s.endFrame();
    // The last items, past the budget, are on the picture too.
    QImage full = s.image().copy();
    s.invalidate();
    s.beginFrame();
    DrawItems(s, e);
    s.endFrame();
    EXPECT_EQ(full, s.image());
    EXPECT_NE(full.pixel(5, 200), 0xFFFFFFFFu);
}
