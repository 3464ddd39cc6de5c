#pragma once
// File names as the system stores them: bytes. Most are UTF-8, but any
// byte string but NUL and '/' is a valid name, so a name is decoded as
// UTF-8 where it is valid, and each byte of an invalid sequence becomes a
// lone surrogate U+DC80..U+DCFF that encodes back to that same byte. A
// name read from the system and written back is thus the same bytes,
// whatever they are. (Qt's own QFile::decodeName turns such bytes into
// U+FFFD, and the name can then no longer be found.)

#include <QByteArray>
#include <QString>

namespace quill {

QString decodeFileName(const QByteArray& bytes);
QByteArray encodeFileName(const QString& name);

} // namespace quill
