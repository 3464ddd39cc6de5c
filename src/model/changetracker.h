#pragma once
// Whether the expression has changes that are not in a file.
//
// Every change to the expression gets a new revision number; saving,
// opening and clearing record the current revision as the one the user
// has kept. The expression has unsaved changes while the current revision
// differs from the kept one. Undo and redo restore the revision of the
// state they bring back, so undoing back to the saved state means no
// unsaved changes again.

#include <cstdint>

namespace quill {

class ChangeTracker {
public:
    using Revision = std::uint64_t;

    // A change was made: returns its new revision.
    Revision markChanged() { return m_current = ++m_last; }
    // The current state is in a file now (saved, opened) or is the empty
    // expression of a fresh start or New.
    void markKept() { m_kept = m_current; }
    // Brings back the revision of an earlier or later state (undo, redo).
    void restore(Revision r) { m_current = r; }

    Revision current() const { return m_current; }
    bool hasUnsavedChanges() const { return m_current != m_kept; }

private:
    Revision m_current = 0;
    Revision m_kept = 0;
    Revision m_last = 0; // never reused, so a restored revision stays unique
};

} // namespace quill
