#pragma once
// The expression: everything the user has placed on the canvas, held as
// three tables of parallel, 0-based columns (text items, horizontal lines,
// vertical lines), each with an exists flag and a last-row index.
//
// Rows are never removed: deleting an item clears its `live` value, and a
// row index keeps naming the same row until the tables are cleared or
// replaced (New, Open).

#include "model/vbtypes.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quill {

// Walking the rows uses a 16-bit signed counter, so a table holds at most
// this many rows (indices 0..32767). An append beyond it is refused.
inline constexpr std::int32_t MaxTableRows = 32768;

struct TextItemTable {
    std::vector<std::string> fontName; // face name as applied, 8-bit
    std::vector<VbBool> fontBold;
    std::vector<VbBool> fontItalic;
    std::vector<std::int16_t> fontSize; // whole points
    std::vector<std::string> text;      // one byte per character
    std::vector<std::int16_t> x;        // top-left corner of the text
    std::vector<std::int16_t> y;
    std::vector<std::int16_t> markerX; // the item's handle
    std::vector<std::int16_t> markerY;
    std::vector<std::int16_t> height; // text height when created
    std::vector<VbBool> live;

    std::size_t rows() const { return fontName.size(); }
    // Re-dimensions every column to `n` rows; new rows are zero/empty.
    // Without `preserve` the old contents are discarded first.
    void redim(std::size_t n, bool preserve);
    bool operator==(const TextItemTable&) const = default;
};

// Horizontal lines: middle handle (midX, y), end handles (x1, y), (x2, y).
struct HLineTable {
    std::vector<std::int16_t> midX;
    std::vector<std::int16_t> y;
    std::vector<std::int16_t> x1;
    std::vector<std::int16_t> x2;
    std::vector<std::int16_t> width;
    std::vector<VbBool> live;

    std::size_t rows() const { return midX.size(); }
    void redim(std::size_t n, bool preserve);
    bool operator==(const HLineTable&) const = default;
};

// Vertical lines: middle handle (x, midY), end handles (x, y1), (x, y2).
struct VLineTable {
    std::vector<std::int16_t> x;
    std::vector<std::int16_t> midY;
    std::vector<std::int16_t> y1;
    std::vector<std::int16_t> y2;
    std::vector<std::int16_t> width;
    std::vector<VbBool> live;

    std::size_t rows() const { return x.size(); }
    void redim(std::size_t n, bool preserve);
    bool operator==(const VLineTable&) const = default;
};

struct Expression {
    TextItemTable TextItems;
    HLineTable HLines;
    VLineTable VLines;

    VbBool textItemsExist = VbFalse;
    VbBool hLinesExist = VbFalse;
    VbBool vLinesExist = VbFalse;
    std::int32_t lastTextItem = 0;
    std::int32_t lastHLine = 0;
    std::int32_t lastVLine = 0;

    // Appends a live row. Return false (and change nothing) when the table
    // already holds MaxTableRows rows.
    bool AddTextItem(const std::string& fontName, VbBool bold, VbBool italic, std::int16_t size,
                     const std::string& text, std::int16_t x, std::int16_t y, std::int16_t markerX,
                     std::int16_t markerY, std::int16_t height);
    // Note the argument order: y first. midX is the rounded midpoint.
    bool AddHLine(std::int16_t y, std::int16_t x1, std::int16_t x2, std::int16_t width);
    bool AddVLine(std::int16_t x, std::int16_t y1, std::int16_t y2, std::int16_t width);
    // Empties all three tables: one zeroed row each, flags False; the
    // last-row indices are left as they were.
    void ClearExpression();

    // Number of rows a reader may walk: last + 1 while the flag is set, else 0.
    // Bounded by the columns' real size so a reader can never run past them.
    std::int32_t textRowCount() const;
    std::int32_t hLineRowCount() const;
    std::int32_t vLineRowCount() const;

    bool operator==(const Expression&) const = default;
};

} // namespace quill
