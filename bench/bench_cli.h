#pragma once

#include <QString>

// Runs corvel-quillmark-export (found beside the benchmark) once per format
// on 100 typical expressions written to `tempDir`, each fitted to its ink,
// and prints the time per expression and the program's start-up as
// "name: value unit" lines.
void runCliBenchmarks(const QString& tempDir, bool quick);
