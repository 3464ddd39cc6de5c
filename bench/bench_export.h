#pragma once

#include <QString>

namespace quill {
class MainPanel;
}

// Times Save Image for an outline round the whole workspace of a 1920 x
// 1080 screen: through the window (the button, the capture with its
// progress bar, packing, coding and the atomic write, the dialog answered
// with a file in `fastDir`), and the core pipeline alone, each beside one
// memcpy of the captured pixels. `fastDir` should lie in memory (tmpfs),
// where syncing costs nothing, so that these figures are the program's own
// work; the atomic write to `diskDir`, sync included, is timed on its own.
// The window must be loaded, show the expression to export on its canvas
// and answer its save dialog with `*saveAnswer`. Prints one line per
// figure: "name: value unit".
void runExportBenchmarks(quill::MainPanel& w, QString* saveAnswer, const QString& fastDir,
                         const QString& diskDir, const char* name, bool noise, int reps);
