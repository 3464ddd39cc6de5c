#pragma once
// The selection in the main window: which items are selected, how presses,
// drags, keys and the Edit menu's commands change it and act on it, and its
// marks on the canvas.
//
// The window's handlers ask it first: a press on the canvas may add or
// remove an item, start a rubber band or carry every selected item; the
// arrow keys nudge the selection; Tab on the canvas selects the next item.
// Plain presses on handles of items that are not selected, drags of a
// line's end handles and Delete-clicks stay the window's own. Every change
// to the expression it makes goes through MainPanel::expressionChanged, so
// it is one undo step and counts as a change not yet in a file.

#include "edit/selection.h"

#include <QObject>
#include <QRect>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

class QAction;
class QKeyEvent;
class QMenu;

namespace quill {

class MainPanel;

class SelectionController : public QObject {
    Q_OBJECT
public:
    // Adds the selection's commands to the panel's Edit menu and takes the
    // canvas's keys. The panel must have built its controls.
    explicit SelectionController(MainPanel& panel);
    ~SelectionController() override;

    const Selection& current() const { return m_selection; }
    bool empty() const { return m_selection.empty(); }
    // The selected items as an expression of their own (what Copy takes).
    Expression selectedExpression() const;

    // Forgets the selection (New, Open); the caller repaints.
    void clear();
    // The rows appended since the tables held `before` become the
    // selection (Paste, Insert Formula); the caller repaints.
    void selectAppended(RowCounts before);
    // Replaces the selection and repaints.
    void select(const Selection& items);

    // --- The mouse on the canvas ------------------------------------------
    // A press, after the hit test; `deleted` when it deleted the hit item.
    // True when the selection takes the press, so that no handle is dragged.
    bool press(int shift, bool deleted);
    // A move with the button held: true when the selection took it.
    bool drag(std::int16_t x, std::int16_t y);
    // The button went up, or another went down: ends what the press began.
    // True when it moved the selection (a change to record).
    bool release();

    // --- Keys -------------------------------------------------------------
    // The arrow keys: moves the selection by (dx, dy), kept on the canvas.
    // False, doing nothing, when there is no selection to move (the keys
    // then move the symbol keyboard's picture) or in image mode.
    bool nudge(int dx, int dy);
    // Delete released in the typing box or on the canvas: with no click
    // since it went down, it deletes the selection.
    void deleteKeyReleased();
    // Tab on the canvas: selects (or, with `extend`, adds) the next or
    // previous item by position. False when there is none, so that the
    // focus moves on.
    bool tab(bool forward, bool extend);

    // --- Commands ---------------------------------------------------------
    void SelectAll_Click();
    void Deselect_Click();
    void Delete_Click();
    void Cut_Click();
    void Duplicate_Click();
    void Align_Click(Alignment how);
    void CentreOnLine_Click();
    void OutlineSelection_Click();
    void OutlineAll_Click();

    // The last layer of a repaint (not in image mode): selected handles,
    // the frame round the selection and the rubber band.
    void draw();
    // Greys the commands that can do nothing now.
    void updateActions();

    // Where items may be moved: the part of the canvas the window shows
    // below the tool strip.
    QRect visibleCanvas() const;

    // Duplicate's offset, down and right.
    static constexpr int DuplicateOffset = 16;
    // Outline Selection's margin round the ink.
    static constexpr int OutlineMargin = 8;

    QAction* mnuCut = nullptr;
    QAction* mnuDuplicate = nullptr;
    QAction* mnuDelete = nullptr;
    QAction* mnuSelectAll = nullptr;
    QMenu* mnuAlign = nullptr;
    std::array<QAction*, 7> mnuAlignBy{}; // in the order of Alignment
    QAction* mnuCentreOnLine = nullptr;
    QAction* mnuOutlineSelection = nullptr;
    QAction* mnuOutlineAll = nullptr;

protected:
    // Any input other than the arrow keys and modifiers ends a run of
    // nudges, so that the next one is a step of its own.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildActions();
    // Keys for the typing box and the canvas, before the window's own
    // handling; true when taken.
    bool keyDown(QKeyEvent* e);
    // The selection changed.
    void changed();
    bool editable() const;
    // The selected rows, brought up to date with the tables.
    void prune();
    QRect selectionBox();
    std::vector<ItemInk> inksOf(const std::vector<ItemRef>& items, bool baselines);
    // Moves each item by its offset as one change.
    void moveEach(const std::vector<ItemInk>& items, const std::vector<QPoint>& offsets);
    void outlineItems(const std::vector<ItemRef>& items);

    MainPanel& m_panel;
    Selection m_selection;

    enum class Gesture { None, Toggle, Move, Band };
    Gesture m_gesture = Gesture::None;
    // A rubber band: where it began, what was selected before it (Shift),
    // and its rectangle now.
    QPoint m_bandFrom;
    Selection m_bandBase;
    QRect m_band;
    // Moving the selection: the grabbed handle at the press, the offsets
    // allowed, the offset applied so far.
    QPoint m_moveFrom;
    OffsetBounds m_moveBounds;
    QPoint m_moved;

    bool m_deletePending = false; // Delete down, no press on the canvas since
    bool m_tabFromStart = false;  // the last Tab left the canvas
    // The last nudge, while the run it belongs to goes on.
    bool m_nudgeRun = false;
    std::size_t m_nudgeSteps = 0;
    std::uint64_t m_nudgeRevision = 0;
    // The frame round the selection, for the expression's revision.
    std::optional<QRect> m_box;
    std::uint64_t m_boxRevision = 0;
};

} // namespace quill
