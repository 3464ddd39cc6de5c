#include "files/recoveryfile.h"

#include "files/expcodec.h"
#include "files/filename.h"

#include <cstring>

namespace quill {

namespace {

constexpr char Tag[8] = {'C', 'Q', 'M', 'R', 'E', 'C', 'V', '1'};

void putLittle(std::vector<std::uint8_t>& out, std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

std::uint64_t little(const std::uint8_t* p, int bytes) {
    std::uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = v << 8 | p[i];
    return v;
}

RecoveryRead refused(const QString& why) {
    RecoveryRead r;
    r.why = why;
    return r;
}

} // namespace

std::vector<std::uint8_t> encodeRecoveryFile(const Expression& expr, const RecoveryNote& note) {
    EncodeResult encoded = encodeExpression(expr);
    if (!encoded.ok)
        return {};
    std::vector<std::uint8_t> out = std::move(encoded.bytes);
    const std::size_t expBytes = out.size();
    const QByteArray name = encodeFileName(note.belongsTo);
    out.reserve(expBytes + static_cast<std::size_t>(name.size()) + RecoveryTrailerBytes);
    out.insert(out.end(), name.begin(), name.end());
    putLittle(out, static_cast<std::uint64_t>(note.writtenAtMs), 8);
    putLittle(out, expBytes, 4);
    putLittle(out, static_cast<std::uint64_t>(name.size()), 4);
    out.insert(out.end(), std::begin(Tag), std::end(Tag));
    return out;
}

RecoveryRead decodeRecoveryFile(std::span<const std::uint8_t> data, const Expression& current) {
    const std::size_t size = data.size();
    if (size < RecoveryTrailerBytes ||
        std::memcmp(data.data() + size - sizeof Tag, Tag, sizeof Tag) != 0)
        return refused(QStringLiteral("its note of where it belongs is missing or damaged"));
    const std::uint8_t* trailer = data.data() + size - RecoveryTrailerBytes;
    const std::uint64_t expBytes = little(trailer + 8, 4);
    const std::uint64_t nameBytes = little(trailer + 12, 4);
    if (expBytes + nameBytes + RecoveryTrailerBytes != size)
        return refused(QStringLiteral("its note of where it belongs does not fit the file"));
    DecodeResult decoded =
        decodeExpression(data.first(static_cast<std::size_t>(expBytes)), current);
    if (!decoded.ok)
        return refused(QStringLiteral("it is not an expression file: %1")
                           .arg(QString::fromStdString(decoded.message)));
    if (decoded.bytesRead != expBytes)
        return refused(QStringLiteral("the expression ends %1 bytes before its note")
                           .arg(expBytes - decoded.bytesRead));
    RecoveryRead r;
    r.ok = true;
    r.expression = std::move(decoded.expression);
    r.note.belongsTo = decodeFileName(QByteArray(
        reinterpret_cast<const char*>(data.data() + expBytes), static_cast<qsizetype>(nameBytes)));
    r.note.writtenAtMs = static_cast<qint64>(little(trailer, 8));
    return r;
}

RecoveryRead readRecoveryFile(const QString& path, const Expression& current) {
    const BoundedRead read = readRegularFile(path, MaxRecoveryFileBytes);
    switch (read.outcome) {
    case BoundedRead::Outcome::Ok:
        break;
    case BoundedRead::Outcome::TooLarge:
        return refused(QStringLiteral("the file is larger than an expression can be"));
    case BoundedRead::Outcome::NotAFile:
        return refused(QStringLiteral("it is %1, not a file").arg(read.error));
    case BoundedRead::Outcome::Failed:
        return refused(read.error);
    }
    return decodeRecoveryFile(
        std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(read.bytes.constData()),
                                      static_cast<std::size_t>(read.bytes.size())),
        current);
}

} // namespace quill
