#pragma once
// The undo history of the expression: every state the user's actions left
// behind, from the oldest kept to the newest, with a place in between that
// undo and redo move.
//
// A state is not stored whole: the largest expression holds 32,768 rows in
// each table, and a thousand copies of that would not fit in memory. Each
// step keeps only what it changed: the rows that differ between the state
// before and the state after it (with their old and their new values) and
// each table's exists flag, last-row index and number of rows. Undo writes
// the old values back, redo the new ones, so every column, deleted rows and
// the rows a cleared table still holds included, comes back exactly.
//
// The history keeps a copy of the state at its place, which is what a new
// step is compared with. Every change to the expression must therefore be
// recorded before the next undo or redo, which act on the expression given
// to them on the assumption that it is that state.

#include "model/expression.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <utility>
#include <vector>

namespace quill {

class History {
public:
    using Revision = std::uint64_t;

    // The memory all steps together may take; the oldest go first.
    static constexpr std::size_t DefaultMemoryBound = 256u * 1024u * 1024u;

    explicit History(std::size_t memoryBound = DefaultMemoryBound);

    // Forgets every step; `state` (with its change revision) is where the
    // history starts.
    void reset(const Expression& state, Revision revision);

    // The expression has become `state` through one user action. Clears
    // the steps that could have been redone. A state equal to the current
    // one is recorded all the same when its revision differs (File > New on
    // an empty canvas is a step the user can undo), else nothing happens.
    void record(const Expression& state, Revision revision);

    // The same, but the last step grows to reach `state` instead, so that a
    // run of small changes (the arrow keys nudging items) is undone in one
    // step. A new step is recorded when the last one cannot grow: there is
    // none to undo, there are steps to redo, or it or this change alters a
    // table's size, exists flag or last index.
    void extendLast(const Expression& state, Revision revision);

    bool canUndo() const { return m_place > 0; }
    bool canRedo() const { return m_place < m_steps.size(); }

    // Brings `expr`, which must be the current state, back to the state
    // before the last step (undo) or after the next one (redo). Returns the
    // revision of the state brought back; false when there is no step.
    bool undo(Expression& expr, Revision& revision);
    bool redo(Expression& expr, Revision& revision);

    // Steps that can be undone, and that can be redone.
    std::size_t undoSteps() const { return m_place; }
    std::size_t redoSteps() const { return m_steps.size() - m_place; }
    // What the steps take, as counted against the bound.
    std::size_t memoryUsed() const { return m_memoryUsed; }
    std::size_t memoryBound() const { return m_memoryBound; }
    // The state at the history's place.
    const Expression& current() const { return m_current; }

private:
    struct TextRow {
        std::string fontName;
        std::string text;
        std::int16_t values[9] = {}; // bold, italic, size, x, y, markerX, markerY, height, live
        bool operator==(const TextRow&) const = default;
    };
    struct LineRow {
        std::int16_t values[6] = {};
        bool operator==(const LineRow&) const = default;
    };
    struct Shape {
        VbBool exists = VbFalse;
        std::int32_t last = 0;
        std::uint32_t rows = 0;
    };
    template <typename Row> struct TableChange {
        Shape before, after;
        std::vector<std::pair<std::uint32_t, Row>> oldRows; // rows of `before` that differ
        std::vector<std::pair<std::uint32_t, Row>> newRows; // rows of `after` that differ
    };
    struct Step {
        TableChange<TextRow> text;
        TableChange<LineRow> hLines;
        TableChange<LineRow> vLines;
        Revision revisionBefore = 0;
        Revision revisionAfter = 0;
        std::size_t bytes = 0;
    };

    static Step difference(const Expression& before, const Expression& after);
    static bool keepsShapes(const Step& step);
    // `into` followed by `next` as one step.
    static void merge(Step& into, Step&& next);
    static std::size_t stepBytes(const Step& step);
    static void apply(Expression& expr, const Step& step, bool forward);
    void dropOldest();

    std::size_t m_memoryBound;
    std::size_t m_memoryUsed = 0;
    std::deque<Step> m_steps;
    std::size_t m_place = 0; // steps before it are done, from it on undone
    Expression m_current;
    Revision m_revision = 0;
};

} // namespace quill
