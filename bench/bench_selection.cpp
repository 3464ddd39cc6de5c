#include "bench_selection.h"

#include "app/mainpanel.h"
#include "app/selectioncontroller.h"
#include "app/widgets.h"
#include "bench_timing.h"
#include "edit/keycodes.h"
#include "edit/selection.h"

#include <QApplication>
#include <QCoreApplication>
#include <QMouseEvent>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

using namespace quill;

namespace {

constexpr double FrameMs = 1000.0 / 60.0;
constexpr double CommandGoalMs = 50.0;

void sendMouse(QWidget* view, QEvent::Type type, QPointF p, Qt::MouseButton button,
               Qt::MouseButtons buttons) {
    QMouseEvent e(type, p, view->mapToGlobal(p), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(view, &e);
}

void figure(const char* name, const Timing& t, double goalMs, const char* goalName) {
    std::printf("%s_ms: %.3f ms\n", name, t.median);
    std::printf("%s_best_ms: %.3f ms\n", name, t.best);
    std::printf("%s_vs_%s: %.2f x\n", name, goalName, t.median / goalMs);
    std::fflush(stdout);
}

} // namespace

void runSelectionBenchmarks(MainPanel& w, bool quick) {
    const int reps = quick ? 15 : 101;
    SelectionController& s = *w.selection;
    Expression& e = w.expression;
    const std::size_t stepsBefore = w.history.undoSteps();

    // The largest file spreads its items over the whole canvas and past its
    // edges, where nothing selected may go further: no nudge of every item
    // could move at all. Each item is first moved, as a whole, to keep its
    // carrying handle 40 pixels inside the part of the canvas the window
    // shows (one step, taken back at the end).
    const QRect inside = s.visibleCanvas().adjusted(40, 40, -40, -40);
    Selection all;
    all.selectAll(e);
    for (const ItemRef item : all.items()) {
        const QPoint h = carryingHandle(e, item);
        translateItem(e, item, std::clamp(h.x(), inside.left(), inside.right()) - h.x(),
                      std::clamp(h.y(), inside.top(), inside.bottom()) - h.y());
    }
    w.Redraw();
    w.expressionChanged();
    QCoreApplication::processEvents();

    // 1,000 items around the middle of the canvas: a vertical line, whose
    // middle handle a press grabs (with 196,608 line handles on the canvas,
    // a press almost always finds a line; the newest vertical one wins), and
    // 999 text items of every font and size.
    Selection chosen;
    std::optional<QPoint> grab;
    for (int r = e.lastVLine; r >= 0 && !grab; --r) {
        const auto u = static_cast<std::size_t>(r);
        const QPoint h(e.VLines.x[u], e.VLines.midY[u]);
        std::int16_t row = -1, handle = 0;
        if (std::abs(h.x() - 900) < 300 && std::abs(h.y() - 500) < 200 &&
            findHotspot(e, static_cast<std::int16_t>(h.x()), static_cast<std::int16_t>(h.y()), row,
                        handle) == hitkind::VLine &&
            row == r && handle == 2) {
            grab = h;
            chosen.add({hitkind::VLine, r});
        }
    }
    for (int r = 0; r <= e.lastTextItem && chosen.size() < 1000; ++r) {
        const auto u = static_cast<std::size_t>(r);
        if (std::abs(e.TextItems.markerX[u] - 900) < 500 &&
            std::abs(e.TextItems.markerY[u] - 550) < 300)
            chosen.add({hitkind::Text, r});
    }
    if (!grab) {
        std::fprintf(stderr, "selection: no handle to grab\n");
        return;
    }
    s.select(chosen);
    QCoreApplication::processEvents();
    QWidget* view = w.canvasView;
    const QPointF start(*grab);
    const Expression beforeDrag = e;
    sendMouse(view, QEvent::MouseButtonPress, start, Qt::LeftButton, Qt::LeftButton);
    int i = 0;
    const Timing drag = timeMs(reps, [&] {
        // Out and back along a short diagonal, 3 pixels a step.
        ++i;
        const int k = i % 40 < 20 ? i % 40 : 40 - i % 40;
        sendMouse(view, QEvent::MouseMove, start + QPointF(3 * k + 3, 2 * k + 2), Qt::NoButton,
                  Qt::LeftButton);
        QCoreApplication::processEvents();
    });
    sendMouse(view, QEvent::MouseButtonRelease, start, Qt::LeftButton, Qt::NoButton);
    if (s.current().size() != chosen.size() || e == beforeDrag) {
        std::fprintf(stderr, "selection: the drag did not carry the selection\n");
        return;
    }
    std::printf("selection_drag_items: %zu items\n", s.current().size());
    figure("selection_drag_1000_step", drag, FrameMs, "frame");

    // Select All, from nothing selected.
    std::vector<double> selectAllMs;
    for (int r = 0; r < (quick ? 5 : 21); ++r) {
        s.Deselect_Click();
        QCoreApplication::processEvents();
        selectAllMs.push_back(timeMs(1, [&] {
                                  s.SelectAll_Click();
                                  QCoreApplication::processEvents();
                              }).median);
    }
    std::sort(selectAllMs.begin(), selectAllMs.end());
    const Timing selectAll{selectAllMs[selectAllMs.size() / 2], selectAllMs.front()};
    std::printf("selection_select_all_items: %zu items\n", s.current().size());
    figure("selection_select_all_largest", selectAll, CommandGoalMs, "goal");

    // A nudge of every item: the right and left arrows in turn, each moving
    // all of them (a run of presses, so one undo step together), with Shift
    // (10 pixels) and without (1 pixel).
    const Expression before = e;
    for (const std::int16_t shift : {std::int16_t{1}, std::int16_t{0}}) {
        int press = 0;
        const Timing nudge = timeMs(quick ? 9 : 31, [&] {
            w.Picture4_KeyDown(press++ % 2 ? vk::Left : vk::Right, shift);
            QCoreApplication::processEvents();
        });
        w.Picture4_KeyDown(vk::Right, shift);
        if (e == before) {
            std::fprintf(stderr, "selection: the arrows moved nothing\n");
            return;
        }
        figure(shift ? "selection_nudge10_all_largest" : "selection_nudge1_all_largest", nudge,
               CommandGoalMs, "goal");
        w.Picture4_KeyDown(vk::Left, shift);
    }

    // Back as it was.
    while (w.history.undoSteps() > stepsBefore)
        w.Undo_Click();
    s.Deselect_Click();
    QCoreApplication::processEvents();
}
