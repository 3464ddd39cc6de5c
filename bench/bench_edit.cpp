#include "bench_edit.h"

#include "app/mainpanel.h"
#include "export/clipboardpicture.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

using namespace quill;

namespace {

using Clock = std::chrono::steady_clock;
constexpr double FrameMs = 1000.0 / 60.0;

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

// The median time of `act`, with the events it leaves (the window's
// repaint) handled, over `reps` runs.
double timeMs(int reps, const std::function<void()>& act) {
    std::vector<double> ms;
    for (int i = 0; i < reps; ++i) {
        const auto t0 = Clock::now();
        act();
        QCoreApplication::processEvents();
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    return median(ms);
}

void figure(const char* name, double ms, double goalMs, const char* goalName) {
    std::printf("%s_ms: %.3f ms\n", name, ms);
    std::printf("%s_vs_%s: %.2f x\n", name, goalName, ms / goalMs);
    std::fflush(stdout);
}

} // namespace

void runEditBenchmarks(MainPanel& w, bool quick) {
    const int reps = quick ? 9 : 51;
    if (w.imageSet != VbFalse)
        w.cmdSetImage_Click();
    std::printf("edit_rows: %d text items, %d horizontal, %d vertical lines\n",
                w.expression.textRowCount(), w.expression.hLineRowCount(),
                w.expression.vLineRowCount());

    // A one-row step: a handle moved and let go.
    const auto row = static_cast<std::size_t>(w.expression.lastTextItem / 2);
    auto oneRowStep = [&] {
        w.expression.TextItems.markerX[row] =
            static_cast<std::int16_t>(w.expression.TextItems.markerX[row] + 3);
        w.expression.TextItems.x[row] =
            static_cast<std::int16_t>(w.expression.TextItems.x[row] + 3);
        w.expressionChanged();
        w.Redraw();
    };
    const double record = timeMs(reps, oneRowStep);
    std::printf("edit_record_drag_step_ms: %.3f ms\n", record);
    std::vector<double> undo, redo;
    for (int i = 0; i < reps; ++i) {
        undo.push_back(timeMs(1, [&] { w.Undo_Click(); }));
        redo.push_back(timeMs(1, [&] { w.Redo_Click(); }));
    }
    figure("edit_undo_drag_step_largest", median(undo), FrameMs, "frame");
    figure("edit_redo_drag_step_largest", median(redo), FrameMs, "frame");

    // File > New: its undo brings every row back.
    w.New_Click();
    QCoreApplication::processEvents();
    undo.clear();
    redo.clear();
    for (int i = 0; i < (quick ? 3 : 11); ++i) {
        undo.push_back(timeMs(1, [&] { w.Undo_Click(); }));
        redo.push_back(timeMs(1, [&] { w.Redo_Click(); }));
    }
    figure("edit_undo_new_largest", median(undo), FrameMs, "frame");
    figure("edit_redo_new_largest", median(redo), FrameMs, "frame");
    // The tables alone, without the repaint of every item that follows.
    std::vector<double> tables;
    for (int i = 0; i < (quick ? 3 : 11); ++i) {
        History::Revision r = 0;
        auto t0 = Clock::now();
        w.history.undo(w.expression, r);
        tables.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        w.history.redo(w.expression, r);
    }
    w.Undo_Click();
    std::printf("edit_undo_new_largest_tables_only_ms: %.3f ms\n", median(tables));
    std::printf("edit_history_steps: %zu steps\n", w.history.undoSteps());
    std::printf("edit_history_memory: %.2f MiB\n",
                static_cast<double>(w.history.memoryUsed()) / (1024.0 * 1024.0));

    // Copy of an outline round the whole workspace.
    w.cmdSetImage_Click();
    const QSize ws = w.picture6Surface.size();
    w.outlineX1 = -1;
    w.outlineY1 = -1;
    w.outlineX2 = static_cast<std::int16_t>(ws.width() + 1);
    w.outlineY2 = static_cast<std::int16_t>(ws.height() + 1);
    w.outlineSet = VbTrue;
    QClipboard* clipboard = QGuiApplication::clipboard();
    const double copy = timeMs(reps, [&] { w.Copy_Click(); });
    figure("edit_copy_full_screen_outline", copy, 20.0, "goal");
    const auto* offer = qobject_cast<const PictureMimeData*>(clipboard->mimeData());
    if (offer) {
        std::printf("edit_copy_full_screen_size: %d x %d px\n", offer->picture().captured.width,
                    offer->picture().captured.height);
        // What a program that pastes asks for, made on its request.
        const double png = timeMs(quick ? 3 : 9, [&] {
            const PictureMimeData fresh(offer->picture());
            (void)fresh.pngBytes();
        });
        const double bmp = timeMs(quick ? 3 : 9, [&] {
            const PictureMimeData fresh(offer->picture());
            (void)fresh.bmpBytes();
        });
        std::printf("edit_copy_full_screen_png_on_request_ms: %.1f ms\n", png);
        std::printf("edit_copy_full_screen_bmp_on_request_ms: %.1f ms\n", bmp);
    }
    w.cmdSetImage_Click();

    // Copy outside image mode: the expression painted off screen, fitted.
    const double first = timeMs(1, [&] { w.Copy_Click(); });
    const double again = timeMs(quick ? 3 : 9, [&] { w.Copy_Click(); });
    std::printf("edit_copy_fitted_largest_first_ms: %.1f ms\n", first);
    std::printf("edit_copy_fitted_largest_again_ms: %.1f ms\n", again);
    std::fflush(stdout);
}
