#pragma once

namespace quill {
class MainPanel;
}

// The selection on the expression open in the window (the largest one):
// one step of dragging 1,000 selected items, against a 60 Hz frame; Select
// All and a nudge of every item, each against 50 ms. Prints one line per
// figure, "name: value unit", and leaves the expression as it found it.
void runSelectionBenchmarks(quill::MainPanel& w, bool quick);
