#pragma once

#include <QString>

class BenchPlatform;
namespace quill {
class MainPanel;
}

// The largest expression a file can hold (32,768 rows in each table, text
// of every font and size over the whole canvas): Open up to the first
// complete paint, a pointer move, a drag step, and the file's size. Prints
// one line per figure, "name: value unit". The file goes into `tempDir`.
// Leaves the expression open in the window; false if it could not be made.
bool runScaleBenchmarks(quill::MainPanel& w, BenchPlatform& platform, const QString& tempDir,
                        bool quick);
