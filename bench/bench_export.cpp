#include "bench_export.h"

#include "app/mainpanel.h"
#include "bench_timing.h"
#include "export/bmpimage.h"
#include "export/workspacecapture.h"
#include "files/atomicwrite.h"

#include <QFileInfo>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

using namespace quill;

namespace {

void printFigure(const char* what, const char* name, Timing t, Timing copy) {
    std::printf("%s_%s_ms: %.3f ms\n", what, name, t.median);
    std::printf("%s_%s_vs_memcpy: %.2f x\n", what, name, t.median / copy.median);
    std::printf("%s_%s_best_vs_memcpy: %.2f x\n", what, name, t.best / copy.best);
}

} // namespace

void runExportBenchmarks(MainPanel& w, QString* saveAnswer, const QString& fastDir,
                         const QString& diskDir, const char* name, bool noise, int reps) {
    if (w.imageSet != VbFalse)
        w.LeaveImageMode();
    w.cmdSetImage_Click();
    const QSize size = w.picture6Surface.size();
    if (noise) {
        // Every pixel a random grey level: the worst case for the code.
        QImage random(size, QImage::Format_RGB32);
        std::mt19937 rng(5);
        for (int y = 0; y < size.height(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(random.scanLine(y));
            for (int x = 0; x < size.width(); ++x) {
                const int g = static_cast<int>(rng() % 16) * 0x11;
                row[x] = qRgb(g, g, g);
            }
        }
        w.picture6Copy = random;
        w.picture6Surface.blit(random, random.rect(), QPoint(0, 0));
    }
    // The outline round the whole workspace.
    w.cmdSetOutline_Click();
    w.Picture6_MouseDown(1, 0, 0, 0);
    w.Picture6_MouseMove(1, 0, size.width() - 1, size.height() - 1);
    w.Picture6_MouseUp(1, 0, size.width() - 1, size.height() - 1);
    const OutlineArea area = outlineArea(0, 0, size.width() - 1, size.height() - 1);

    const QString path = fastDir + QStringLiteral("/export.bmp");
    const QString diskPath = diskDir + QStringLiteral("/export.bmp");
    *saveAnswer = path;

    // One memcpy of the captured pixels, into memory already touched.
    const std::size_t bytes =
        static_cast<std::size_t>(area.width) * static_cast<std::size_t>(area.height) * 4;
    std::vector<std::uint8_t> from(bytes, 1), to(bytes, 2);
    const Timing copy = timeMs(reps, [&] {
        std::memcpy(to.data(), from.data(), bytes);
        asm volatile("" : : "r"(to.data()) : "memory");
    });

    const Timing window = timeMs(reps, [&] { w.cmdSavIm_Click(); });
    const auto fileBytes = QFileInfo(path).size();

    CapturedImage captured;
    std::vector<std::uint8_t> file;
    const Timing capture =
        timeMs(reps, [&] { captureOutline(w.picture6Surface.image(), area, captured); });
    const Timing encode = timeMs(reps, [&] { file = bitmapFileFromCapture(captured, 0); });
    const Timing write = timeMs(reps, [&] { writeFileAtomically(path, file); });
    const Timing disk = timeMs(reps, [&] { writeFileAtomically(diskPath, file); });
    CapturedImage reused;
    const Timing pipeline = timeMs(reps, [&] {
        captureOutline(w.picture6Surface.image(), area, reused);
        writeFileAtomically(path, bitmapFileFromCapture(reused, 0));
    });

    std::printf("memcpy_captured_pixels_ms: %.3f ms\n", copy.median);
    printFigure("save_image", name, window, copy);
    std::printf("save_image_%s_file_size: %lld bytes\n", name, static_cast<long long>(fileBytes));
    printFigure("export_pipeline", name, pipeline, copy);
    std::printf("export_capture_%s_ms: %.3f ms\n", name, capture.median);
    std::printf("export_pack_encode_%s_ms: %.3f ms\n", name, encode.median);
    std::printf("export_write_%s_ms: %.3f ms\n", name, write.median);
    std::printf("export_write_disk_synced_%s_ms: %.3f ms\n", name, disk.median);
    std::fflush(stdout);
    w.LeaveImageMode();
    *saveAnswer = QString();
}
