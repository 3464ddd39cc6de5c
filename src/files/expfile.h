#pragma once
// Saving and opening .exp files on disk. Save writes through a temporary
// file in the target's folder and replaces the old file only once the new
// one is complete; Open reads the whole file and builds a new expression,
// leaving the caller's expression alone unless the file was accepted.

#include "files/atomicwrite.h"
#include "model/expression.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QtGlobal>

namespace quill {

// Open refuses anything larger: a real expression is a few megabytes at
// most, and this bounds what a hostile or mistaken file can cost.
inline constexpr qint64 MaxExpFileBytes = qint64(256) * 1024 * 1024;

// Reads an opened file to its end, in pieces, stopping once it holds more
// than `limit` bytes, so that neither a large file nor a device or a file
// that grows while it is read can make it read without end.
struct BoundedRead {
    enum class Outcome { Ok, TooLarge, NotAFile, Failed } outcome = Outcome::Failed;
    QByteArray bytes;  // the whole file when Ok
    QString error;     // the system's or the device's message when Failed;
                       // what the name is instead when NotAFile ("a folder",
                       // "a named pipe (FIFO)", "a socket", "a device")
    int errorCode = 0; // the system's error number, when it gave one
};
BoundedRead readFileUpTo(QFile& file, qint64 limit);

// Reads the regular file `path` (see files/filename.h for names that are
// not UTF-8) as readFileUpTo does. Anything else at that name, a folder, a
// named pipe, a socket or a device, is refused as NotAFile without waiting
// on it: the name is opened without blocking and checked on the open
// descriptor, so a pipe with no writer cannot hold the caller.
BoundedRead readRegularFile(const QString& path, qint64 limit);

struct LoadResult {
    bool ok = false;
    QString message;       // names the file and says why; empty when ok
    Expression expression; // the expression to show; meaningful only when ok
};

// Writes `expr` to `path`, under exactly that name (no extension added).
// On failure the file that was at `path` before, if any, is unchanged and
// no temporary file is left behind.
FileResult saveExpressionFile(const QString& path, const Expression& expr);

// Reads `path`. Tables that the file leaves out keep the columns of
// `current` (with their flag False), as a freshly opened file should.
LoadResult loadExpressionFile(const QString& path, const Expression& current);

} // namespace quill
