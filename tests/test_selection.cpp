// The selection: which presses select, add, remove or clear; moving the
// selection by a handle and by the arrow keys, kept on the canvas, one undo
// step each; deleting, cutting, duplicating and copying it; aligning by the
// items' ink, checked on pixels painted apart; the outline round its ink
// against the exporter's; the keyboard's walk through the controls and the
// items; accessible names; and the selection's marks, which never reach a
// picture.

#include "app/mainpanel.h"
#include "app/selectioncontroller.h"
#include "app/widgets.h"
#include "export/capture.h"
#include "export/expressioncanvas.h"
#include "export/pictureformats.h"
#include "files/expcodec.h"
#include "render/fontface.h"
#include "render/layers.h"
#include "scriptedplatform.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTest>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using namespace quill;

namespace {

constexpr ItemRef T0{hitkind::Text, 0}, T1{hitkind::Text, 1}, H{hitkind::HLine, 0},
    V{hitkind::VLine, 0};

std::string nameOf(ItemRef i) {
    return (i.kind == hitkind::Text    ? "T"
            : i.kind == hitkind::HLine ? "H"
                                       : "V") +
           std::to_string(i.row);
}

std::string names(const std::vector<ItemRef>& items) {
    std::string out;
    for (const ItemRef i : items)
        out += (out.empty() ? "" : " ") + nameOf(i);
    return out;
}

Selection selectionOf(const std::vector<ItemRef>& items) {
    Selection s;
    for (const ItemRef i : items)
        s.add(i);
    return s;
}

// Where an item's pixels fall, painted alone as the exporter paints it: its
// ink box in canvas pixels.
QRect paintedInk(const Expression& e, ItemRef item) {
    ExpressionCanvas canvas(QSize(1280, 800));
    const ExportArea fit = canvas.fitted(selectedItems(e, selectionOf({item})), 0);
    return fit.ok ? fit.rect.translated(0, WorkspaceTop) : QRect();
}

class SelectionWindow : public ::testing::Test {
protected:
    void SetUp() override {
        w = test::openActiveMainPanel(platform);
        ASSERT_TRUE(w);
        QGuiApplication::clipboard()->clear();
    }

    // Two text items, a horizontal and a vertical line:
    //   T0 handle (200, 300), T1 (400, 300);
    //   H ends (150, 500) and (351, 500), middle 250 (250.5 to the even);
    //   V ends (700, 400) and (700, 600), middle 500.
    void addItems() {
        Expression& e = w->expression;
        e.AddTextItem("Arial", VbFalse, VbFalse, 100, "ab", 205, 255, 200, 300, 50);
        e.AddTextItem("Arial", VbFalse, VbFalse, 100, "cd", 405, 255, 400, 300, 50);
        e.AddHLine(500, 150, 351, 12);
        e.AddVLine(700, 400, 600, 6);
        w->expressionChanged();
        w->Redraw();
    }
    void select(const std::vector<ItemRef>& items) { w->selection->select(selectionOf(items)); }
    std::string selected() const { return names(w->selection->current().items()); }

    void mouse(QEvent::Type type, QPointF at, Qt::MouseButtons held,
               Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QMouseEvent e(type, at, w->canvasView->mapToGlobal(at),
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, held, mods);
        QApplication::sendEvent(w->canvasView, &e);
    }
    // A press, moves along `path` and a release at its end (or where it
    // began).
    void drag(QPointF from, const std::vector<QPointF>& path,
              Qt::KeyboardModifiers mods = Qt::NoModifier) {
        mouse(QEvent::MouseButtonPress, from, Qt::LeftButton, mods);
        for (const QPointF& p : path)
            mouse(QEvent::MouseMove, p, Qt::LeftButton, mods);
        mouse(QEvent::MouseButtonRelease, path.empty() ? from : path.back(), Qt::NoButton, mods);
    }
    static void key(QWidget* to, int k, Qt::KeyboardModifiers mods = Qt::NoModifier,
                    QEvent::Type type = QEvent::KeyPress, bool autoRepeat = false) {
        QKeyEvent e(type, k, mods, QString(), autoRepeat);
        QApplication::sendEvent(to, &e);
    }
    static void tap(QWidget* to, int k, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        key(to, k, mods);
        key(to, k, mods, QEvent::KeyRelease);
    }
    QColor highlight() const { return w->canvasView->palette().color(QPalette::Highlight); }
    bool highlighted(QPoint p) const { return QColor(w->canvas.image().pixel(p)) == highlight(); }

    test::ScriptedPlatform platform;
    std::unique_ptr<MainPanel> w;
};

} // namespace

// --------------------------------------------------------------- pressing

TEST_F(SelectionWindow, PressesSelectAddRemoveOrClear) {
    const auto Shift = Qt::ShiftModifier, Ctrl = Qt::ControlModifier, None = Qt::NoModifier;
    const struct {
        const char* name;
        std::vector<ItemRef> before;
        Qt::KeyboardModifiers mods;
        QPointF at;
        std::vector<QPointF> path;
        const char* after;
        bool moves; // the items' rows change (a plain drag of one item)
    } cases[] = {
        {"Shift+click on a handle adds its item", {}, Shift, {201, 299}, {}, "T0", false},
        {"Ctrl+click on a line's end adds the line", {T0}, Ctrl, {150, 500}, {}, "T0 H0", false},
        {"Shift+click on a selected item takes it out",
         {T0, H},
         Shift,
         {200, 300},
         {},
         "H0",
         false},
        {"Shift+drag on a handle selects and moves nothing",
         {},
         Shift,
         {200, 300},
         {{260, 340}},
         "T0",
         false},
        {"a click on empty canvas clears", {T0, H}, None, {900, 700}, {}, "", false},
        {"a band selects the items whose handles all lie inside it",
         {T1},
         None,
         {100, 250},
         {{200, 400}, {380, 560}},
         "T0 H0",
         false},
        {"a band drawn backwards, leaving out a line's end",
         {},
         None,
         {380, 560},
         {{180, 250}},
         "T0",
         false},
        {"Shift adds what a band holds", {V}, Shift, {100, 250}, {{380, 560}}, "T0 H0 V0", false},
        {"a plain press on another item clears and drags that item alone",
         {T0},
         None,
         {400, 300},
         {{420, 310}},
         "",
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        w->New_Click();
        addItems();
        select(c.before);
        const Expression before = w->expression;
        drag(c.at, c.path, c.mods);
        EXPECT_EQ(selected(), c.after);
        if (!c.moves) {
            EXPECT_EQ(w->expression, before);
            continue;
        }
        // As a single drag always went: the handle to the pointer, the text
        // 4 pixels right of it.
        const auto& t = w->expression.TextItems;
        EXPECT_EQ(std::vector<int>({t.markerX[1], t.markerY[1], t.x[1], t.y[1], t.x[0]}),
                  std::vector<int>({420, 310, 424, 264, 205}));
    }
}

// ----------------------------------------------------------------- moving

TEST_F(SelectionWindow, DraggingTheSelectionMovesEveryItemByOneOffset) {
    const QRect canvas = w->selection->visibleCanvas();
    ASSERT_EQ(canvas.top(), 97) << "below the tool strip";
    ASSERT_EQ(canvas.bottomRight(),
              QPoint(w->canvasView->width() - 1, w->canvasView->height() - 1));
    const struct {
        const char* name;
        std::vector<ItemRef> selection;
        QPointF grab;
        std::vector<QPointF> path;
        QPoint offset;        // of every selected item, but a stretched line
        bool stretch = false; // a line's end stretched: H alone changes
    } cases[] = {
        {"a text handle carries the selection; the pointer rounds half to even",
         {T0, H, V},
         {200, 300},
         {{215, 311}, {230.5, 321.5}},
         {30, 22}},
        {"the grabbed handle lands under the pointer", {T0, T1}, {198, 300}, {{199, 300}}, {-1, 0}},
        {"a line's middle carries the selection", {T0, H}, {250, 500}, {{260, 490}}, {10, -10}},
        {"an odd offset of a line whose ends sum odd", {H}, {250, 500}, {{251, 500}}, {1, 0}},
        {"a selected line's end stretches that line alone",
         {T0, H},
         {351, 500},
         {{381, 520}},
         {},
         true},
        {"stops where a handle meets the left edge", {T0, T1}, {400, 300}, {{50, 300}}, {-200, 0}},
        {"stops below the tool strip", {T0, H}, {200, 300}, {{200, 20}}, {0, -203}},
        {"stops at the right and the bottom edge",
         {V},
         {700, 500},
         {{5000, 5000}},
         canvas.bottomRight() - QPoint(700, 500)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        w->New_Click();
        addItems();
        select(c.selection);
        const Expression before = w->expression;
        const std::size_t steps = w->history.undoSteps();
        drag(c.grab, c.path);
        Expression expected = before;
        if (c.stretch)
            moveHandle(expected, hitkind::HLine, 0, 3, 381, 520);
        else
            for (const ItemRef i : c.selection)
                translateItem(expected, i, c.offset.x(), c.offset.y());
        EXPECT_EQ(w->expression, expected);
        const auto& t = w->expression.TextItems;
        EXPECT_EQ(t.x[0] - t.markerX[0], 5) << "a text keeps its place beside its handle";
        EXPECT_EQ(w->expression.HLines.midX[0],
                  midpoint16(w->expression.HLines.x1[0], w->expression.HLines.x2[0]));
        EXPECT_EQ(w->history.undoSteps(), steps + 1);
        w->Undo_Click();
        EXPECT_EQ(w->expression, before) << "one undo takes the drag back";
    }

    // An item already off the canvas may come back, but goes no further.
    w->New_Click();
    addItems();
    translateItem(w->expression, T1, -500, 0); // handle at x -100
    w->expressionChanged();
    select({T0, T1});
    const Expression off = w->expression;
    drag({200, 300}, {{150, 300}});
    EXPECT_EQ(w->expression, off);
    drag({200, 300}, {{250, 300}});
    EXPECT_EQ(w->expression.TextItems.markerX[1], -50);
}

TEST_F(SelectionWindow, ArrowsNudgeTheSelectionARunAtATime) {
    enum Target { Box, Canvas };
    const auto Shift = Qt::ShiftModifier;
    struct Press {
        int key;
        Qt::KeyboardModifiers mods = Qt::NoModifier;
    };
    const struct {
        const char* name;
        std::vector<ItemRef> selection;
        Target target;
        std::vector<Press> keys;
        QPoint offset;
        std::size_t steps;
        int keyboardDx = 0;
        int t0Moved = 0; // T0 moved this far beforehand
    } cases[] = {
        {"one run is one step",
         {T0, H},
         Box,
         {{Qt::Key_Left}, {Qt::Key_Left}, {Qt::Key_Down, Shift}},
         {-2, 10},
         1},
        {"another key ends a run",
         {T0},
         Box,
         {{Qt::Key_Right}, {Qt::Key_Home}, {Qt::Key_Right}},
         {2, 0},
         2},
        {"on the canvas", {V}, Canvas, {{Qt::Key_Up}, {Qt::Key_Up, Shift}}, {0, -11}, 1},
        {"nothing selected: the keyboard's picture moves", {}, Box, {{Qt::Key_Left}}, {}, 0, -50},
        {"stopped at the edge", {T0}, Box, {{Qt::Key_Left, Shift}}, {-8, 0}, 1, 0, -192},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        w->New_Click();
        addItems();
        if (c.t0Moved != 0) {
            translateItem(w->expression, T0, c.t0Moved, 0);
            w->expressionChanged();
        }
        select(c.selection);
        QWidget* to = c.target == Box ? static_cast<QWidget*>(w->Picture4) : w->canvasView;
        to->setFocus();
        const Expression before = w->expression;
        const std::size_t steps = w->history.undoSteps();
        const std::int16_t keyboardX = w->keyboardOffsetX;
        for (const Press& p : c.keys)
            QTest::keyClick(to, Qt::Key(p.key), p.mods);
        Expression expected = before;
        for (const ItemRef i : c.selection)
            translateItem(expected, i, c.offset.x(), c.offset.y());
        EXPECT_EQ(w->expression, expected);
        EXPECT_EQ(w->history.undoSteps(), steps + c.steps);
        EXPECT_EQ(w->keyboardOffsetX - keyboardX, c.keyboardDx);
        if (c.steps == 1) {
            w->Undo_Click();
            EXPECT_EQ(w->expression, before) << "one undo takes the whole run back";
        }
    }
    // At the edge, a further press moves nothing and records nothing.
    const std::size_t steps = w->history.undoSteps();
    translateItem(w->expression, T0, -w->expression.TextItems.markerX[0], 0);
    w->expressionChanged();
    const Expression atEdge = w->expression;
    QTest::keyClick(w->Picture4, Qt::Key_Left);
    EXPECT_EQ(w->expression, atEdge);
    EXPECT_EQ(w->history.undoSteps(), steps + 1);
}

// ------------------------------------------------ deleting and copying

TEST_F(SelectionWindow, DeleteCutDuplicateCopyAndPasteTakeTheSelection) {
    enum Command { MenuDelete, DeleteKey, DeleteClick, FieldDelete, Cut, Duplicate, Copy };
    const struct {
        const char* name;
        Command command;
        std::vector<ItemRef> selection;
        std::vector<ItemRef> dead;
        const char* after;
        std::vector<ItemRef> clipboard; // the items Copy or Cut put there
    } cases[] = {
        {"Edit > Delete", MenuDelete, {T0, H}, {T0, H}, "", {}},
        {"Delete pressed and released", DeleteKey, {T0, H}, {T0, H}, "", {}},
        {"Delete held and a click: that item alone", DeleteClick, {T0, H}, {V}, "T0 H0", {}},
        {"Delete in the size field's text", FieldDelete, {T0}, {}, "T0", {}},
        {"Cut", Cut, {T1}, {T1}, "", {T1}},
        {"Duplicate: copies 16 down and right, selected", Duplicate, {T0, V}, {}, "T2 V1", {}},
        {"Copy: the selected items alone", Copy, {H, T1}, {}, "T1 H0", {T1, H}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        w->New_Click();
        addItems();
        select(c.selection);
        const Expression before = w->expression;
        switch (c.command) {
        case MenuDelete:
            w->selection->mnuDelete->trigger();
            break;
        case DeleteKey:
            tap(w->Picture4, Qt::Key_Delete);
            break;
        case DeleteClick:
            key(w->Picture4, Qt::Key_Delete);
            key(w->Picture4, Qt::Key_Delete, Qt::NoModifier, QEvent::KeyRelease, true);
            key(w->Picture4, Qt::Key_Delete, Qt::NoModifier, QEvent::KeyPress, true);
            drag({700, 500}, {});
            key(w->Picture4, Qt::Key_Delete, Qt::NoModifier, QEvent::KeyRelease);
            break;
        case FieldDelete:
            QTest::mouseClick(w->cmdSetImage, Qt::LeftButton); // the field takes keys then
            w->cboSizeRed->lineEdit()->setFocus();
            tap(w->cboSizeRed->lineEdit(), Qt::Key_Delete);
            QTest::mouseClick(w->cmdSetImage, Qt::LeftButton);
            break;
        case Cut:
            QTest::keyClick(w->Picture4, Qt::Key_X, Qt::ControlModifier);
            break;
        case Duplicate:
            QTest::keyClick(w->Picture4, Qt::Key_D, Qt::ControlModifier);
            break;
        case Copy:
            QTest::keyClick(w->Picture4, Qt::Key_C, Qt::ControlModifier);
            break;
        }
        Expression expected = before;
        deleteItems(expected, selectionOf(c.dead));
        if (c.command == Duplicate) {
            Selection copies;
            ASSERT_TRUE(appendCopies(expected, selectionOf(c.selection), {16, 16}, copies));
        }
        EXPECT_EQ(w->expression, expected);
        EXPECT_EQ(selected(), c.after);
        if (!(w->expression == before)) {
            w->Undo_Click();
            EXPECT_EQ(w->expression, before) << "one undo";
            w->Redo_Click();
            EXPECT_EQ(w->expression, expected);
        }
        if (!c.clipboard.empty()) {
            const QMimeData* d = QGuiApplication::clipboard()->mimeData();
            ASSERT_TRUE(d);
            const QByteArray bytes = d->data(QString::fromLatin1(ExpressionMimeType));
            const DecodeResult got =
                decodeExpression(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                 static_cast<std::size_t>(bytes.size()), Expression{});
            ASSERT_TRUE(got.ok);
            EXPECT_EQ(got.expression, selectedItems(before, selectionOf(c.clipboard)));
            // Pasted, they come back selected.
            const RowCounts rows = nextAppendRows(w->expression);
            w->Paste_Click();
            Selection pasted;
            pasted.selectAppended(rows, w->expression);
            EXPECT_EQ(w->selection->current(), pasted);
            EXPECT_EQ(pasted.size(), c.clipboard.size());
        }
    }
}

// --------------------------------------------------------------- lining up

TEST_F(SelectionWindow, AlignLinesTheItemsUpByTheirInk) {
    // What a side of the ink is, for each alignment; Centre and Middle by
    // the doubled centre, within the half pixel that rounds.
    const struct {
        Alignment how;
        int (*side)(const QRect&);
        bool centred;
    } cases[] = {
        {Alignment::Left, [](const QRect& r) { return r.left(); }, false},
        {Alignment::Right, [](const QRect& r) { return r.right(); }, false},
        {Alignment::Centre, [](const QRect& r) { return r.left() + r.right(); }, true},
        {Alignment::Top, [](const QRect& r) { return r.top(); }, false},
        {Alignment::Bottom, [](const QRect& r) { return r.bottom(); }, false},
        {Alignment::Middle, [](const QRect& r) { return r.top() + r.bottom(); }, true},
    };
    auto setUp = [&] {
        w->New_Click();
        Expression& e = w->expression;
        e.AddTextItem("Arial", VbFalse, VbFalse, 100, "Wg", 205, 255, 200, 300, 50);
        e.AddTextItem("Zidezir", VbFalse, VbTrue, 50, "x", 505, 405, 500, 450, 40);
        e.AddHLine(600, 300, 461, 9);
        e.AddVLine(800, 200, 331, 6);
        w->expressionChanged();
        select({T0, T1, H, V});
    };
    const std::vector<ItemRef> items{T0, T1, H, V};
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.how));
        setUp();
        int outer = c.how == Alignment::Right || c.how == Alignment::Bottom ? -100000 : 100000;
        QRect all;
        for (const ItemRef i : items) {
            const QRect r = paintedInk(w->expression, i);
            all |= r;
            outer = c.how == Alignment::Right || c.how == Alignment::Bottom
                        ? std::max(outer, c.side(r))
                        : std::min(outer, c.side(r));
        }
        if (c.centred)
            outer = c.side(all);
        const Expression before = w->expression;
        w->selection->mnuAlignBy[static_cast<std::size_t>(c.how)]->trigger();
        for (const ItemRef i : items) {
            SCOPED_TRACE(nameOf(i));
            const int got = c.side(paintedInk(w->expression, i));
            if (c.centred)
                EXPECT_LE(std::abs(got - outer), 1);
            else
                EXPECT_EQ(got, outer);
        }
        w->Undo_Click();
        EXPECT_EQ(w->expression, before);
    }

    // Baseline: the text items on the leftmost one's; lines stay.
    setUp();
    const Expression before = w->expression;
    w->selection->mnuAlignBy[static_cast<std::size_t>(Alignment::Baseline)]->trigger();
    const auto& t = w->expression.TextItems;
    auto ascent = [](const char* face, bool italic, int points) {
        CanvasFont f;
        f.face = face;
        f.italic = italic;
        f.pixelSize = pointsToPixels(points);
        return QFontMetrics(makeQFont(f)).ascent();
    };
    EXPECT_EQ(t.y[0], 255);
    EXPECT_EQ(t.y[1] + ascent("Zidezir", true, 50), 255 + ascent("Arial", false, 100));
    EXPECT_EQ(w->expression.HLines, before.HLines);
    EXPECT_EQ(w->expression.VLines, before.VLines);

    // Centre on Line: each text's ink centred over the bar.
    setUp();
    select({T0, T1, H});
    w->selection->mnuCentreOnLine->trigger();
    for (const ItemRef i : {T0, T1}) {
        const QRect r = paintedInk(w->expression, i);
        EXPECT_LE(std::abs(r.left() + r.right() - (300 + 461)), 1) << nameOf(i);
    }
    EXPECT_EQ(w->expression.HLines, before.HLines);
}

// -------------------------------------------------------------- outlining

TEST_F(SelectionWindow, OutlineSelectionIsTheExportersFitOfTheItemsInk) {
    addItems();
    ExpressionCanvas exporter(QSize(1280, 800));
    const struct {
        const char* name;
        std::vector<ItemRef> selection; // nothing: Outline All
    } cases[] = {{"one text item", {T1}}, {"a text item and a line", {T0, H}}, {"Outline All", {}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        select(c.selection);
        QTest::mouseClick(w->cmdSetImage, Qt::LeftButton);
        ASSERT_NE(w->imageSet, VbFalse);
        w->outlineSet = VbFalse;
        (c.selection.empty() ? w->selection->mnuOutlineAll : w->selection->mnuOutlineSelection)
            ->trigger();
        EXPECT_NE(w->outlineSet, VbFalse);
        const Selection chosen = c.selection.empty() ? Selection{} : selectionOf(c.selection);
        const ExportArea fit = exporter.fitted(
            c.selection.empty() ? w->expression : selectedItems(w->expression, chosen),
            SelectionController::OutlineMargin);
        ASSERT_TRUE(fit.ok);
        const OutlineArea area =
            outlineArea(w->outlineX1, w->outlineY1, w->outlineX2, w->outlineY2);
        EXPECT_EQ(QRect(area.left, area.top, area.width, area.height), fit.rect);
        EXPECT_LT(w->outlineX1, w->outlineX2) << "dragged from the top left";
        // The blue frame, as a drag draws it.
        EXPECT_EQ(w->picture6Surface.image().pixel(w->outlineX1, w->outlineY2), 0xFF0000FFu);
        QTest::mouseClick(w->cmdSetImage, Qt::LeftButton);
    }
}

// ------------------------------------------------------ keyboard alone

TEST_F(SelectionWindow, TabWalksTheControlsThenTheCanvasAndItsItems) {
    addItems();
    const QList<QWidget*> chain{w->optH,     w->cboLine,     w->cmdLine,    w->cboFont,
                                w->cboFsize, w->chkText,     w->chkShowKB,  w->chkMarkers,
                                w->chkGrid,  w->cmdSetImage, w->cboSizeRed, w->canvasView};
    w->optH->setFocus();
    QList<QWidget*> got{QApplication::focusWidget()};
    for (int i = 0; i < chain.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        got << QApplication::focusWidget();
        if (QApplication::focusWidget() == w->canvasView)
            break;
    }
    auto objectNames = [](const QList<QWidget*>& ws) {
        QStringList n;
        for (QWidget* x : ws)
            n << (x ? x->objectName() : QStringLiteral("-"));
        return n.join(QLatin1Char(' ')).toStdString();
    };
    EXPECT_EQ(objectNames(got), objectNames(chain));
    // The typing box is no stop, but Tab leads on from it.
    w->Picture4->setFocus();
    QTest::keyClick(w->Picture4, Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), w->cboSizeRed);
    w->Picture4->setFocus();
    QTest::keyClick(w->Picture4, Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), w->canvasView);

    // The focus mark shows on the screen.
    auto markShown = [&] {
        QCoreApplication::sendPostedEvents();
        const QPoint at = w->canvasView->mapTo(w.get(), QPoint(0, 200));
        const QImage shot =
            w->canvasView->screen()->grabWindow(w->winId(), at.x(), at.y(), 1, 1).toImage();
        return QColor(shot.pixel(0, 0)) == highlight();
    };
    EXPECT_TRUE(markShown());

    // On the canvas, the items left to right by their leftmost handle; past
    // the last, on to the first control; back in, from the first again.
    const struct {
        int key;
        Qt::KeyboardModifiers mods;
        const char* selection;
        QWidget* focus;
    } steps[] = {
        {Qt::Key_Tab, Qt::NoModifier, "H0", w->canvasView},
        {Qt::Key_Tab, Qt::NoModifier, "T0", w->canvasView},
        {Qt::Key_Tab, Qt::ControlModifier, "T0 T1", w->canvasView},
        {Qt::Key_Tab, Qt::NoModifier, "V0", w->canvasView},
        {Qt::Key_Backtab, Qt::ShiftModifier, "T1", w->canvasView},
        {Qt::Key_Tab, Qt::NoModifier, "V0", w->canvasView},
        {Qt::Key_Tab, Qt::NoModifier, "V0", w->optH},
        {Qt::Key_Backtab, Qt::ShiftModifier, "V0", w->canvasView},
        {Qt::Key_Tab, Qt::NoModifier, "H0", w->canvasView},
        {Qt::Key_Escape, Qt::NoModifier, "", w->canvasView},
        {Qt::Key_A, Qt::ControlModifier, "T0 T1 H0 V0", w->canvasView},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(testing::Message() << "key " << s.key << " to " << s.selection);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(s.key), s.mods);
        EXPECT_EQ(selected(), s.selection);
        EXPECT_EQ(QApplication::focusWidget(), s.focus);
    }
    EXPECT_TRUE(markShown());
    w->optH->setFocus();
    EXPECT_FALSE(markShown());

    // Ctrl+A selects nothing while a line is typed; Esc clears from the
    // typing box too.
    tap(w->Picture4, Qt::Key_Escape);
    w->chkText->setValue(1);
    QTest::keyClick(w->Picture4, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(selected(), "");
    w->chkText->setValue(0);
    QTest::keyClick(w->Picture4, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(selected(), "T0 T1 H0 V0");
}

TEST_F(SelectionWindow, EveryControlHasAnAccessibleNameAndDescription) {
    for (QWidget* c : w->findChildren<QWidget*>()) {
        if (c->objectName().isEmpty() || c->objectName().startsWith(QLatin1String("qt_")))
            continue;
        SCOPED_TRACE(c->objectName().toStdString());
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(c);
        ASSERT_TRUE(a);
        EXPECT_FALSE(a->text(QAccessible::Name).trimmed().isEmpty());
        EXPECT_FALSE(a->text(QAccessible::Description).trimmed().isEmpty());
        if (auto* b = qobject_cast<QAbstractButton*>(c)) {
            EXPECT_EQ(a->text(QAccessible::Name), b->text().remove(QLatin1Char('&')));
        }
        if (qobject_cast<QComboBox*>(c)) {
            // A list is named by its label (its own name is its entry here).
            QStringList labels;
            for (const auto& [label, relation] : a->relations(QAccessible::Label))
                labels << label->text(QAccessible::Name);
            EXPECT_TRUE(labels.contains(c->toolTip().simplified()))
                << labels.join(QLatin1Char('|')).toStdString();
        }
        if (!c->toolTip().isEmpty()) {
            EXPECT_EQ(a->text(QAccessible::Description), c->toolTip().simplified());
        }
    }
}

// ------------------------------------------------------------------- marks

TEST_F(SelectionWindow, MarksShowWithoutMarkersButNeverInAPicture) {
    addItems();
    w->chkMarkers->setValue(0);
    select({T0, H});
    for (const QPoint p : {QPoint(200, 300), QPoint(150, 500), QPoint(250, 500), QPoint(351, 500)})
        EXPECT_TRUE(highlighted(p)) << p.x() << "," << p.y();
    for (const QPoint p : {QPoint(400, 300), QPoint(700, 500)})
        EXPECT_FALSE(highlighted(p)) << p.x() << "," << p.y();
    // A dashed frame round the selection: some of its left edge is drawn.
    int dashes = 0;
    const QRect ink = paintedInk(w->expression, T0) | paintedInk(w->expression, H);
    const int left = std::min(ink.left(), 150 - 4) - 3; // the ink or H's end marker, 3 clear
    for (int y = 250; y < 520; ++y)
        dashes += highlighted(QPoint(left, y)) ? 1 : 0;
    EXPECT_GT(dashes, 50);
    EXPECT_LT(dashes, 200);

    QTest::mouseClick(w->cmdSetImage, Qt::LeftButton);
    const QImage& copy = w->picture6Copy;
    for (int y = 0; y < copy.height(); ++y)
        for (int x = 0; x < copy.width(); ++x)
            ASSERT_NE(copy.pixel(x, y), highlight().rgb()) << x << "," << y;
    QTest::mouseClick(w->cmdSetImage, Qt::LeftButton);
    EXPECT_TRUE(highlighted(QPoint(200, 300))) << "back after image mode";

    // New and Open forget it.
    w->New_Click();
    EXPECT_EQ(selected(), "");
    addItems();
    select({T0});
    platform.dialogAnswers.emplace_back(std::nullopt);
    w->Open_Click(); // cancelled: kept
    EXPECT_EQ(selected(), "T0");
}

// ------------------------------------------------------ the parts alone

TEST(SelectionItems, OffsetBoundsKeepEveryCarryingHandleOnTheCanvas) {
    const QRect canvas(0, 97, 1000, 600); // x 0..999, y 97..696
    const struct {
        const char* name;
        std::function<void(Expression&)> items;
        QPoint wanted, allowed;
    } cases[] = {
        {"a text handle inside",
         [](Expression& e) { e.AddTextItem("Arial", 0, 0, 100, "a", 105, 50, 100, 200, 155); },
         {-150, 900},
         {-100, 496}},
        {"a line's middle, its ends summing odd",
         [](Expression& e) { e.AddHLine(300, 0, 3, 3); }, // middle 2 (1.5 to the even)
         {-5, 0},
         {-1, 0}},
        {"a vertical line's middle at the bottom",
         [](Expression& e) { e.AddVLine(500, 680, 713, 3); },
         {0, 40},
         {0, 0}},
        {"off the canvas already: back, not further",
         [](Expression& e) { e.AddTextItem("Arial", 0, 0, 100, "a", 1205, 50, 1200, 50, 45); },
         {50, -5},
         {0, 0}},
        {"off the canvas already, coming back",
         [](Expression& e) { e.AddTextItem("Arial", 0, 0, 100, "a", 1205, 50, 1200, 50, 45); },
         {-300, 100},
         {-300, 100}},
        {"the 16-bit edge of a far line end",
         [](Expression& e) { e.AddHLine(300, -31000, 32760, 3); }, // middle 880
         {20, 0},
         {7, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Expression e;
        c.items(e);
        Selection all;
        all.selectAll(e);
        EXPECT_EQ(offsetBounds(e, all, canvas).clamp(c.wanted), c.allowed);
    }
}

TEST(SelectionItems, AlignmentOffsetsRoundHalfToEven) {
    const std::vector<ItemInk> inks{
        {T0, QRect(QPoint(10, 20), QPoint(20, 30)), 28},
        {T1, QRect(QPoint(4, 50), QPoint(9, 61)), 59},
        {H, QRect(QPoint(30, 5), QPoint(32, 8)), std::nullopt},
    };
    const struct {
        Alignment how;
        std::vector<QPoint> offsets;
    } cases[] = {
        {Alignment::Left, {{-6, 0}, {0, 0}, {-26, 0}}},
        {Alignment::Right, {{12, 0}, {23, 0}, {0, 0}}},
        // The centre of all (4..32) is 18; of 4..9 it is 6.5: 11.5 to 12.
        {Alignment::Centre, {{3, 0}, {12, 0}, {-13, 0}}},
        {Alignment::Top, {{0, -15}, {0, -45}, {0, 0}}},
        {Alignment::Bottom, {{0, 31}, {0, 0}, {0, 53}}},
        // 5..61 centres on 33; 20..30 on 25 (8); 50..61 on 55.5 (-22.5 to
        // -22); 5..8 on 6.5 (26.5 to 26).
        {Alignment::Middle, {{0, 8}, {0, -22}, {0, 26}}},
        // T1, the leftmost text item, gives the baseline; lines stay.
        {Alignment::Baseline, {{0, 31}, {0, 0}, {0, 0}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.how));
        EXPECT_EQ(alignmentOffsets(inks, c.how), c.offsets);
    }
}
