#include "bench_scale.h"

#include "app/mainpanel.h"
#include "app/recoverycontroller.h"
#include "app/widgets.h"
#include "bench_platform.h"
#include "edit/tables.h"
#include "files/expfile.h"
#include "render/fontface.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFontMetricsF>
#include <QMouseEvent>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

using namespace quill;

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2.0;
}

constexpr double FrameMs = 1000.0 / 60.0;
constexpr double OpenGoalMs = 500.0;
// What a recovery write may take of the window's thread.
constexpr double RecoveryGoalMs = 5.0;
constexpr int CanvasWidth = 1920;
constexpr int CanvasHeight = 1080;
constexpr int StripHeight = 96;

// Short pieces of mathematics, as typed; in the symbol faces the same
// keys give symbols.
const char* const MathStrings[] = {
    "x",
    "y",
    "a+b",
    "f(x)",
    "2n+1",
    "dx",
    "lim",
    "y=mx+c",
    "(a+b)",
    "sin",
    "e",
    "ij",
    "1/2",
    "x^2",
    "n!",
    "a-b",
    "cos",
    "log",
    "k=1",
    "pq",
    "z",
    "3.14",
    "a<b",
    "[x]",
    "{n}",
    "u+v",
    "2",
    "0",
    "tan",
    "\xA3"
    "5",
    "a\xAC",
    "x,y,z",
};

// Every row a file can hold: text of every font and size spread over the
// canvas below the tool strip, and as many horizontal and vertical lines.
Expression largestExpression() {
    // Text heights as the editor measures them when an item is made.
    std::vector<std::int16_t> heights;
    for (const FontChoice& f : FontTable) {
        for (const int size : FontSizeTable) {
            CanvasFont cf;
            cf.face = std::string(f.face);
            cf.bold = f.bold;
            cf.italic = f.italic;
            cf.pixelSize = pointsToPixels(size);
            const double h = QFontMetricsF(makeQFont(cf)).height();
            heights.push_back(static_cast<std::int16_t>(std::lround(h)));
        }
    }
    std::mt19937 rng(13);
    auto spread = [&rng](int lo, int hi) {
        return static_cast<std::int16_t>(lo + rng() % (hi - lo));
    };
    Expression e;
    for (std::int32_t i = 0; i < MaxTableRows; ++i) {
        const auto fi = static_cast<std::size_t>(i) % FontTable.size();
        const auto si = static_cast<std::size_t>(i / 7) % FontSizeTable.size();
        const FontChoice& f = FontTable[fi];
        const std::int16_t h = heights[fi * FontSizeTable.size() + si];
        const std::int16_t x = spread(0, CanvasWidth);
        const std::int16_t y = spread(StripHeight, CanvasHeight);
        e.AddTextItem(std::string(f.face), toVb(f.bold), toVb(f.italic),
                      static_cast<std::int16_t>(FontSizeTable[si]),
                      MathStrings[static_cast<std::size_t>(rng()) % std::size(MathStrings)], x, y,
                      static_cast<std::int16_t>(x - 5), static_cast<std::int16_t>(y + h - 5), h);
    }
    for (std::int32_t i = 0; i < MaxTableRows; ++i) {
        const auto w = LineWidthTable[static_cast<std::size_t>(i) % LineWidthTable.size()];
        const std::int16_t x1 = spread(0, CanvasWidth - 60);
        const auto x2 = static_cast<std::int16_t>(x1 + 20 + rng() % 400);
        e.AddHLine(spread(StripHeight, CanvasHeight), x1, x2, w);
        const std::int16_t y1 = spread(StripHeight, CanvasHeight - 60);
        const auto y2 = static_cast<std::int16_t>(y1 + 20 + rng() % 300);
        e.AddVLine(spread(0, CanvasWidth), y1, y2, w);
    }
    return e;
}

void sendMouse(QWidget* view, QEvent::Type type, QPointF p, Qt::MouseButton button,
               Qt::MouseButtons buttons) {
    QMouseEvent e(type, p, view->mapToGlobal(p), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(view, &e);
}

} // namespace

bool runScaleBenchmarks(MainPanel& w, BenchPlatform& platform, const QString& tempDir, bool quick) {
    const QString path = QDir(tempDir).filePath(QStringLiteral("largest.exp"));
    {
        const FileResult saved = saveExpressionFile(path, largestExpression());
        if (!saved.ok) {
            std::fprintf(stderr, "scale: save failed: %s\n", qPrintable(saved.message));
            return false;
        }
    }
    std::printf("scale_file_size: %.2f MB\n", static_cast<double>(QFile(path).size()) / 1e6);
    std::fflush(stdout);

    // Open, from an empty canvas with nothing rendered yet, up to the
    // moment the canvas shows the whole expression.
    const int opens = quick ? 1 : 5;
    std::vector<double> openMs;
    for (int r = 0; r < opens; ++r) {
        w.expression = Expression{};
        w.canvas.textCache().clear();
        w.Redraw();
        QCoreApplication::processEvents();
        platform.openAnswer = path;
        const auto t0 = Clock::now();
        const std::uint64_t before = w.redrawCount;
        w.Open_Click();
        QCoreApplication::processEvents();
        openMs.push_back(msSince(t0));
        if (w.redrawCount == before || w.expression.lastTextItem != MaxTableRows - 1) {
            std::fprintf(stderr, "scale: the file did not open\n");
            return false;
        }
    }
    platform.openAnswer.clear();
    const double open = median(openMs);
    std::printf("scale_open_to_first_paint_ms: %.1f ms\n", open);
    std::printf("scale_open_to_first_paint_vs_goal: %.2f x\n", open / OpenGoalMs);
    std::fflush(stdout);

    QWidget* view = w.canvasView;
    const int reps = quick ? 15 : 101;

    // A pointer moving over the canvas with no button held: a full Redraw
    // of an unchanged expression.
    std::vector<double> moveMs;
    for (int i = 0; i < reps; ++i) {
        const QPointF p(300 + (i * 37) % 1300, 200 + (i * 23) % 700);
        const auto t0 = Clock::now();
        sendMouse(view, QEvent::MouseMove, p, Qt::NoButton, Qt::NoButton);
        moveMs.push_back(msSince(t0));
    }
    const double move = median(moveMs);
    std::printf("scale_pointer_move_ms: %.3f ms\n", move);
    std::printf("scale_pointer_move_vs_frame: %.2f x\n", move / FrameMs);

    // A drag step: the handle of a 250-point text item near the middle of
    // the canvas, high in the table, moved a few pixels at a time.
    const Expression& e = w.expression;
    int row = -1;
    for (int r = e.lastTextItem; r >= 0 && row < 0; --r) {
        const auto u = static_cast<std::size_t>(r);
        if (e.TextItems.fontSize[u] != 250 || std::abs(e.TextItems.markerX[u] - 900) > 300 ||
            std::abs(e.TextItems.markerY[u] - 600) > 200)
            continue;
        const QPointF at(e.TextItems.markerX[u], e.TextItems.markerY[u]);
        sendMouse(view, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
        if (w.hitKind == 1 && w.hitRow == r)
            row = r;
        else
            sendMouse(view, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
    }
    if (row < 0) {
        std::fprintf(stderr, "scale: no text handle to grab\n");
        return false;
    }
    const QPointF start(e.TextItems.markerX[static_cast<std::size_t>(row)],
                        e.TextItems.markerY[static_cast<std::size_t>(row)]);
    std::vector<double> dragMs;
    for (int i = 1; i <= reps; ++i) {
        // Out and back along a short diagonal, 3 pixels a step.
        const int k = i % 40 < 20 ? i % 40 : 40 - i % 40;
        const QPointF p = start + QPointF(3 * k, 2 * k);
        const auto t0 = Clock::now();
        sendMouse(view, QEvent::MouseMove, p, Qt::NoButton, Qt::LeftButton);
        dragMs.push_back(msSince(t0));
    }
    sendMouse(view, QEvent::MouseButtonRelease, start, Qt::LeftButton, Qt::NoButton);
    const double drag = median(dragMs);
    std::printf("scale_drag_step_ms: %.3f ms\n", drag);
    std::printf("scale_drag_step_vs_frame: %.2f x\n", drag / FrameMs);
    std::printf("scale_text_cache_entries: %zu entries\n", w.canvas.textCache().entryCount());
    std::printf("scale_text_cache_memory: %.1f MiB\n",
                static_cast<double>(w.canvas.textCache().bytesUsed()) / (1024.0 * 1024.0));
    std::fflush(stdout);

    // A recovery write of the largest expression: what the window's thread
    // spends on it (the copy of the tables handed to the writer), and the
    // whole write (coding, the atomic write and its sync) on the writer's.
    {
        RecoveryController recovery(w, platform,
                                    QDir(tempDir).filePath(QStringLiteral("recovery")));
        std::vector<double> windowMs, totalMs;
        for (int i = 0; i < (quick ? 5 : 21); ++i) {
            w.expressionChanged(); // a change not yet kept
            const auto t0 = Clock::now();
            recovery.writeNow();
            windowMs.push_back(msSince(t0));
            recovery.flush();
            totalMs.push_back(msSince(t0));
        }
        const double window = median(windowMs);
        std::printf("recovery_write_window_thread_ms: %.3f ms\n", window);
        std::printf("recovery_write_window_thread_vs_goal: %.2f x\n", window / RecoveryGoalMs);
        std::printf("recovery_write_total_ms: %.1f ms\n", median(totalMs));
        std::fflush(stdout);
    }

    QFile::remove(path);
    return true;
}
