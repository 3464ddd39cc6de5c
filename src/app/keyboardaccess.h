#pragma once
// The main window for the keyboard alone and for assistive technology: Tab
// and Shift+Tab walk through every enabled control of the tool strip in the
// order they stand, then the canvas, and never stop at the invisible typing
// box; every control has an accessible name and description.

namespace quill {

class MainPanel;

// Sets the tab order, the focus policies and the accessible names and
// descriptions. Names come from captions (Qt gives a button's caption
// without its access key) or, for a control without one, its tool tip;
// descriptions from the tool tip, or the caption where there is none.
void setUpKeyboardAccess(MainPanel& panel);

} // namespace quill
