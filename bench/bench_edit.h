#pragma once

namespace quill {
class MainPanel;
}

// Undo and redo, each with its repaint, on the expression open in the
// window (the largest one after the scale group): of a one-row step (a
// drag) and of File > New; Copy of a full-screen outline in image mode and
// of the picture fitted to the ink, and the picture formats a receiving
// program asks for. Prints "name: value unit" lines.
void runEditBenchmarks(quill::MainPanel& w, bool quick);
