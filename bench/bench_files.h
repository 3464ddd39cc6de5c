#pragma once

#include <QString>

// Times Save and Open of a full-size expression (32,768 text items and
// 32,768 lines of each kind) in `tempDir`, and prints one line per figure:
// "name: value unit".
void runFileBenchmarks(const QString& tempDir);
