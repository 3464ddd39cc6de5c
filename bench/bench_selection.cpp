#include "bench_selection.h"

#include "app/mainpanel.h"
#include "app/selectioncontroller.h"
#include "app/widgets.h"
#include "bench_timing.h"
#include "edit/keycodes.h"

#include <QApplication>
#include <QCoreApplication>
#include <QMouseEvent>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
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
    const Expression& e = w.expression;
    const std::size_t stepsBefore = w.history.undoSteps();

    // 1,000 text items around the middle of the canvas, one of them 250
    // points, whose handle is grabbed.
    Selection chosen;
    int grabbed = -1;
    for (int r = 0; r <= e.lastTextItem && chosen.size() < 1000; ++r) {
        const auto u = static_cast<std::size_t>(r);
        if (std::abs(e.TextItems.markerX[u] - 900) > 500 ||
            std::abs(e.TextItems.markerY[u] - 600) > 300)
            continue;
        chosen.add({hitkind::Text, r});
        if (grabbed < 0 && e.TextItems.fontSize[u] == 250)
            grabbed = r;
    }
    s.select(chosen);
    QCoreApplication::processEvents();
    QWidget* view = w.canvasView;
    const auto g = static_cast<std::size_t>(grabbed);
    const QPointF start(e.TextItems.markerX[g], e.TextItems.markerY[g]);
    sendMouse(view, QEvent::MouseButtonPress, start, Qt::LeftButton, Qt::LeftButton);
    int i = 0;
    const Timing drag = timeMs(reps, [&] {
        // Out and back along a short diagonal, 3 pixels a step.
        ++i;
        const int k = i % 40 < 20 ? i % 40 : 40 - i % 40;
        sendMouse(view, QEvent::MouseMove, start + QPointF(3 * k, 2 * k), Qt::NoButton,
                  Qt::LeftButton);
        QCoreApplication::processEvents();
    });
    sendMouse(view, QEvent::MouseButtonRelease, start, Qt::LeftButton, Qt::NoButton);
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
    // all of them, recorded as one undo step together.
    int press = 0;
    const Timing nudge = timeMs(quick ? 9 : 31, [&] {
        w.Picture4_KeyDown(press++ % 2 ? vk::Left : vk::Right, 0);
        QCoreApplication::processEvents();
    });
    figure("selection_nudge_all_largest", nudge, CommandGoalMs, "goal");

    // Back as it was: the drag and the run of nudges are a step each.
    while (w.history.undoSteps() > stepsBefore)
        w.Undo_Click();
    s.Deselect_Click();
    QCoreApplication::processEvents();
}
