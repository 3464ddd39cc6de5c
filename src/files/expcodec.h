#pragma once
// The .exp byte layout: a plain dump of the three expression tables.
//
//   header      int16 textItemsExist, int16 hLinesExist, int16 vLinesExist
//   TextItems   (only if its flag is non-zero) int32 lastTextItem, then
//               lastTextItem + 1 records:
//                 str fontName, int16 bold, int16 italic, int16 size,
//                 str text, int16 x, y, markerX, markerY, height, live
//   HLines      (only if its flag is non-zero) int32 lastHLine, then
//               records of int16 midX, y, x1, x2, width, live
//   VLines      (only if its flag is non-zero) int32 lastVLine, then
//               records of int16 x, midY, y1, y2, width, live
//
// Integers are little-endian two's complement; a string is an int16 byte
// count followed by that many bytes (one byte per character, 8-bit codes).
// Every row is stored, deleted ones included. Nothing follows the last
// section. This file has no Qt in it, so the fuzzer can build it alone.

#include "model/expression.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace quill {

// A string count is a signed 16-bit value.
inline constexpr std::size_t MaxExpStringBytes = 32767;

// Smallest record of each section: a text item with two empty strings, and
// a line (six int16 values).
inline constexpr std::size_t MinTextRecordBytes = 22;
inline constexpr std::size_t LineRecordBytes = 12;
inline constexpr std::size_t ExpHeaderBytes = 6;

struct EncodeResult {
    bool ok = false;
    std::string message;             // why the expression cannot be stored
    std::vector<std::uint8_t> bytes; // the whole file, when ok
};

struct DecodeResult {
    bool ok = false;
    std::string message; // why the file was refused
    // When ok: the expression the file describes. Tables whose flag is 0 in
    // the file keep the columns and last-row index of `current`, with the
    // flag 0. When not ok: default-constructed, not to be used.
    Expression expression;
    std::size_t bytesRead = 0; // header plus sections; later bytes are ignored
};

// The file image of `expr`. Refused (ok false, no bytes) when a table that
// is present cannot be written faithfully: a last-row index outside
// 0..32767, a column shorter than last + 1 rows, or a string longer than
// 32767 bytes.
EncodeResult encodeExpression(const Expression& expr);

// Reads a whole file image. The file is taken as a whole or refused: a
// short header or section, a last-row index outside 0..32767, or a string
// count that is negative or runs past the end gives ok false. Memory used
// stays proportional to `data.size()` whatever the counts announce.
// A non-zero flag in the file is taken as -1 (True).
DecodeResult decodeExpression(std::span<const std::uint8_t> data, const Expression& current);

inline DecodeResult decodeExpression(const std::uint8_t* data, std::size_t size,
                                     const Expression& current) {
    return decodeExpression(std::span<const std::uint8_t>(data, size), current);
}

} // namespace quill
