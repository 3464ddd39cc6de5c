#pragma once

#include <QString>

// Runs corvel-quillmark-export (found beside the benchmark) once per format
// on 100 typical expressions written to `fastDir`, each fitted to its ink,
// and once more for BMP with the outputs in `diskDir`, and prints the time
// per expression and the program's start-up as "name: value unit" lines.
void runCliBenchmarks(const QString& fastDir, const QString& diskDir, bool quick);
