// corvel-quillmark-bench: the editor's performance figures, one per line as
// "name: value unit".
//
//   corvel-quillmark-bench [--quick]
//
// Repaints of a 1920 x 1080 canvas (empty, 60 items, 1,000 items), each
// beside a plain clear of the same canvas; one drag step through the
// window; the resident memory of the started editor; Save and Open of a
// full-size expression file; Save Image of a full-screen outline; the
// command-line exporter on 100 expressions.

#include "app/mainpanel.h"
#include "app/widgets.h"
#include "bench_cli.h"
#include "bench_edit.h"
#include "bench_export.h"
#include "bench_files.h"
#include "bench_formula.h"
#include "bench_platform.h"
#include "bench_scale.h"
#include "bench_selection.h"
#include "bench_timing.h"
#include "edit/tables.h"

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMouseEvent>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

using namespace quill;

namespace {

const char* const Texts[] = {"x",      "a+b",   "f(x)", "2n+1", "dx", "lim",
                             "y=mx+c", "(a+b)", "sin",  "e",    "ij", "1/2"};

// Text items of 25 to 150 points in all seven fonts, and lines, spread over
// a 1920 x 1080 canvas below the tool strip.
void fillExpression(Expression& e, int items, unsigned seed) {
    std::mt19937 rng(seed);
    const int sizes[] = {25, 50, 75, 100, 150};
    const int lines = items / 3;
    for (int i = 0; i < items - lines; ++i) {
        const FontChoice& f = FontTable[static_cast<std::size_t>(i) % FontTable.size()];
        const int size = sizes[static_cast<std::size_t>(i) % 5];
        const auto x = static_cast<std::int16_t>(rng() % 1700);
        const auto y = static_cast<std::int16_t>(120 + rng() % 800);
        const auto h = static_cast<std::int16_t>(size * 4 / 3 * 115 / 100);
        e.AddTextItem(std::string(f.face), toVb(f.bold), toVb(f.italic),
                      static_cast<std::int16_t>(size),
                      Texts[static_cast<std::size_t>(i) % std::size(Texts)], x, y,
                      static_cast<std::int16_t>(x - 4), static_cast<std::int16_t>(y + h - 4), h);
    }
    for (int i = 0; i < lines; ++i) {
        const auto a = static_cast<std::int16_t>(100 + rng() % 1500);
        const auto b = static_cast<std::int16_t>(150 + rng() % 800);
        const auto w = LineWidthTable[static_cast<std::size_t>(i) % LineWidthTable.size()];
        if (i % 2 == 0)
            e.AddHLine(b, a, static_cast<std::int16_t>(a + 60 + rng() % 300), w);
        else
            e.AddVLine(a, b, static_cast<std::int16_t>(b + 40 + rng() % 100), w);
    }
}

// Redraw as the pointer moves over an unchanged expression (the common
// case: only what differs from the last frame is painted, here nothing), and
// Redraw forced to paint everything (as after File > New, Open or a
// resize), each beside a plain clear of the same canvas.
void redrawFigures(MainPanel& w, const char* name, int items, int reps) {
    w.expression = Expression{};
    if (items > 0)
        fillExpression(w.expression, items, 7);
    w.Redraw(); // first paint renders every text once
    const double redraw = timeMs(reps, [&] { w.Redraw(); }).median;
    const Timing full = timeMs(reps, [&] {
        w.canvas.invalidate();
        w.Redraw();
    });
    QImage plain(1920, 1080, QImage::Format_RGB32);
    plain.fill(Qt::black);
    const Timing clear = timeMs(reps, [&] { plain.fill(Qt::white); });
    std::printf("clear_1920x1080_ms: %.3f ms\n", clear.median);
    std::printf("redraw_%s_ms: %.3f ms\n", name, redraw);
    std::printf("redraw_%s_vs_clear: %.2f x\n", name, redraw / clear.median);
    std::printf("redraw_full_%s_ms: %.3f ms\n", name, full.median);
    std::printf("redraw_full_%s_vs_clear: %.2f x\n", name, full.median / clear.median);
    std::printf("redraw_full_%s_best_vs_clear: %.2f x\n", name, full.best / clear.best);
    std::printf("text_cache_%s_entries: %zu entries\n", name, w.canvas.textCache().entryCount());
    std::printf("text_cache_%s_memory: %.1f MiB\n", name,
                static_cast<double>(w.canvas.textCache().bytesUsed()) / (1024.0 * 1024.0));
}

// One drag step as the user feels it: a mouse-move event through the
// window with a handle grabbed, the row update, Redraw and the repaint.
void dragFigures(MainPanel& w, const char* name, int items, int reps) {
    w.expression = Expression{};
    fillExpression(w.expression, items, 7);
    w.Redraw();
    // Grab the middle handle of the first horizontal line.
    const std::int16_t hx = w.expression.HLines.midX[0], hy = w.expression.HLines.y[0];
    QWidget* view = w.canvasView;
    const QPointF start(hx, hy);
    QMouseEvent press(QEvent::MouseButtonPress, start, view->mapToGlobal(start), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view, &press);
    if (w.hitKind != 2) {
        std::fprintf(stderr, "drag benchmark: the press grabbed nothing\n");
        return;
    }
    int step = 0;
    const Timing moves = timeMs(reps, [&] {
        ++step;
        const QPointF p(hx + (step % 200), hy + (step % 50));
        QMouseEvent move(QEvent::MouseMove, p, view->mapToGlobal(p), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(view, &move);
    });
    const double ms = moves.median;
    QMouseEvent release(QEvent::MouseButtonRelease, start, view->mapToGlobal(start), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(view, &release);
    std::printf("drag_step_%s_ms: %.3f ms\n", name, ms);
    std::printf("drag_%s_moves_per_second: %.0f moves/s\n", name, 1000.0 / ms);
}

// Starts the real editor, waits until its main window is up, and reads its
// resident memory.
void memoryFigure() {
    const QString exe =
        QCoreApplication::applicationDirPath() + QStringLiteral("/corvel-quillmark");
    if (!QFile::exists(exe)) {
        std::fprintf(stderr, "editor not found next to the benchmark\n");
        return;
    }
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!env.contains(QStringLiteral("QT_QPA_PLATFORM")))
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    p.setProcessEnvironment(env);
    p.start(exe, {});
    if (!p.waitForStarted(5000))
        return;
    QThread::msleep(4500); // the splash stays three seconds
    QFile status(QStringLiteral("/proc/%1/status").arg(p.processId()));
    long kb = -1;
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("VmRSS:"))
                kb = line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    p.kill();
    p.waitForFinished(3000);
    if (kb >= 0)
        std::printf("editor_resident_memory_empty_canvas: %.1f MiB\n",
                    static_cast<double>(kb) / 1024.0);
}

} // namespace

int main(int argc, char** argv) {
    bool quick = false;
    const char* only = nullptr; // --only=NAME runs one group, for profiling
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0)
            quick = true;
        else if (std::strncmp(argv[i], "--only=", 7) == 0)
            only = argv[i] + 7;
    }
    auto wanted = [only](const char* name) {
        return only == nullptr || std::strcmp(only, name) == 0;
    };
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
    QApplication app(argc, argv);
    const int reps = quick ? 15 : 101;

    BenchPlatform platform;
    MainPanel w(platform);
    w.Form_Load();
    w.show();
    w.resize(1920, 1080);
    QCoreApplication::processEvents();

    if (wanted("redraw")) {
        redrawFigures(w, "empty", 0, reps);
        redrawFigures(w, "60_items", 60, reps);
    }
    if (wanted("redraw") || wanted("redraw1000"))
        redrawFigures(w, "1000_items", 1000, reps);
    if (wanted("drag")) {
        dragFigures(w, "60_items", 60, quick ? 100 : 1000);
        dragFigures(w, "1000_items", 1000, quick ? 100 : 500);
    }
    std::fflush(stdout);
    if (wanted("memory"))
        memoryFigure();
    if (wanted("export")) {
        // Files go to memory where there is a tmpfs, so the figures measure
        // the program and not the disk; the synced disk write is timed apart.
        QTemporaryDir disk;
        QTemporaryDir shm(QStringLiteral("/dev/shm/quillmark-bench-XXXXXX"));
        const QString fast = shm.isValid() ? shm.path() : disk.path();
        if (disk.isValid()) {
            const int exportReps = quick ? 7 : 31;
            w.expression = Expression{};
            fillExpression(w.expression, 12, 3);
            w.Redraw();
            runExportBenchmarks(w, &platform.saveAnswer, fast, disk.path(), "expression_12_items",
                                false, exportReps);
            w.expression = Expression{};
            fillExpression(w.expression, 60, 7);
            w.Redraw();
            runExportBenchmarks(w, &platform.saveAnswer, fast, disk.path(), "expression_60_items",
                                false, exportReps);
            runExportBenchmarks(w, &platform.saveAnswer, fast, disk.path(), "noise", true,
                                exportReps);
        }
    }
    if (wanted("files")) {
        QTemporaryDir dir;
        if (dir.isValid())
            runFileBenchmarks(dir.path());
    }
    if (wanted("cli")) {
        // As for Save Image: the outputs go to memory where there is a tmpfs,
        // and one run goes to the disk with its syncs.
        QTemporaryDir disk;
        QTemporaryDir shm(QStringLiteral("/dev/shm/quillmark-bench-XXXXXX"));
        if (disk.isValid())
            runCliBenchmarks(shm.isValid() ? shm.path() : disk.path(), disk.path(), quick);
    }
    if (wanted("formula")) {
        QTemporaryDir disk;
        QTemporaryDir shm(QStringLiteral("/dev/shm/quillmark-bench-XXXXXX"));
        if (disk.isValid())
            runFormulaBenchmarks(shm.isValid() ? shm.path() : disk.path(), quick);
    }
    if (wanted("scale")) {
        QTemporaryDir disk;
        QTemporaryDir shm(QStringLiteral("/dev/shm/quillmark-bench-XXXXXX"));
        if (disk.isValid() && runScaleBenchmarks(w, platform, disk.path(), quick)) {
            runSelectionBenchmarks(w, quick);
            // A full-screen Save Image of the same expression.
            runExportBenchmarks(w, &platform.saveAnswer, shm.isValid() ? shm.path() : disk.path(),
                                disk.path(), "scale_full_screen", false, quick ? 3 : 9);
            runEditBenchmarks(w, quick);
        }
        w.expression = Expression{};
        w.Redraw();
    }
    return 0;
}
