#pragma once
// A recovery file: the unsaved expression as an ordinary .exp file, with a
// note of where it belongs and when it was written after it, so that Open
// reads it as any expression file (an .exp reader stops after the last
// section).
//
//   .exp bytes      E bytes, exactly what Save would write
//   file name       P bytes, the file it was last saved to or opened from
//                   (as the system stores the name); none when never saved
//   int64           when it was written, ms since 1970 UTC
//   uint32 E, uint32 P
//   "CQMRECV1"      8 bytes
//
// Integers are little-endian. The expression is read back with the same
// reader as any .exp file, and must take exactly its E bytes.

#include "files/expfile.h"
#include "model/expression.h"

#include <QDateTime>
#include <QString>
#include <cstdint>
#include <span>
#include <vector>

namespace quill {

struct RecoveryNote {
    QString belongsTo; // empty: the expression was never saved or opened
    qint64 writtenAtMs = 0;
};

// Bytes after the expression and the name.
inline constexpr std::size_t RecoveryTrailerBytes = 24;
// Open refuses a recovery file larger than an expression file may be, with
// room for the note.
inline constexpr qint64 MaxRecoveryFileBytes = MaxExpFileBytes + 65536;

// The recovery file of `expr`; empty when the expression cannot be stored
// (see encodeExpression).
std::vector<std::uint8_t> encodeRecoveryFile(const Expression& expr, const RecoveryNote& note);

struct RecoveryRead {
    bool ok = false;
    QString why; // why it was refused, when not ok
    Expression expression;
    RecoveryNote note;
};

// Reads a recovery file's bytes; `current` as for decodeExpression.
RecoveryRead decodeRecoveryFile(std::span<const std::uint8_t> data, const Expression& current);

// Reads the recovery file at `path` as Open reads a file: regular files
// only, bounded in size.
RecoveryRead readRecoveryFile(const QString& path, const Expression& current);

} // namespace quill
