#pragma once

#include <QString>

// Typesetting a formula line of 200 characters (warm: the fonts measured
// once before), and the exporter's --formula to a PNG in one process against
// the same expression read from an .exp file in one process. Prints
// "name: value unit" lines.
void runFormulaBenchmarks(const QString& dir, bool quick);
