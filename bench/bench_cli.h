#pragma once

#include <QString>

// Runs corvel-quillmark-export (found beside the benchmark) once per format
// on 1,000 typical expressions written to `fastDir`, each fitted to its ink,
// and once more for BMP with the outputs in `diskDir`, and prints the time
// per expression, PNG and SVG against BMP, the program's start-up, and one
// expression in one process beside ImageMagick drawing one line of text, as
// "name: value unit" lines.
void runCliBenchmarks(const QString& fastDir, const QString& diskDir, bool quick);
