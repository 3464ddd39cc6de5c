#include "export/clipboardpicture.h"

#include "export/pictureformats.h"
#include "files/expcodec.h"

namespace quill {

namespace {

const QString& pngType() {
    static const QString t = QStringLiteral("image/png");
    return t;
}
const QString& bmpType() {
    static const QString t = QStringLiteral("image/bmp");
    return t;
}
const QString& expressionType() {
    static const QString t = QString::fromLatin1(ExpressionMimeType);
    return t;
}

} // namespace

ClipboardPainter::ClipboardPainter(QSize screen) : m_canvas(screen) {}

CapturedImage ClipboardPainter::fitted(const Expression& expr) {
    ExportArea area = m_canvas.fitted(expr, ClipboardFitMargin);
    if (!area.ok)
        return {};
    return std::move(area.captured);
}

PictureMimeData::PictureMimeData(ClipboardPicture picture) : m_picture(std::move(picture)) {}

QStringList PictureMimeData::formats() const {
    QStringList f;
    if (m_picture.captured.width > 0 && m_picture.captured.height > 0)
        f << pngType() << bmpType();
    f << expressionType();
    return f;
}

bool PictureMimeData::hasFormat(const QString& mimeType) const {
    return formats().contains(mimeType);
}

QByteArray PictureMimeData::pngBytes() const {
    if (!m_png)
        m_png =
            quill::pngBytes(m_picture.captured, m_picture.pixelsPerMetre, false, m_picture.expFile);
    return *m_png;
}

QByteArray PictureMimeData::bmpBytes() const {
    if (!m_bmp) {
        BitmapHeader header;
        header.xPixelsPerMetre = header.yPixelsPerMetre = m_picture.pixelsPerMetre;
        const std::vector<std::uint8_t> file = bitmapFileFromCapture(m_picture.captured, header);
        m_bmp = QByteArray(reinterpret_cast<const char*>(file.data()),
                           static_cast<qsizetype>(file.size()));
    }
    return *m_bmp;
}

QVariant PictureMimeData::retrieveData(const QString& mimeType, QMetaType) const {
    if (!hasFormat(mimeType))
        return {};
    if (mimeType == expressionType())
        return m_picture.expFile;
    if (mimeType == pngType())
        return pngBytes();
    return bmpBytes();
}

std::optional<Expression> expressionFromClipboard(const QMimeData* data) {
    if (!data)
        return std::nullopt;
    QByteArray bytes;
    if (data->hasFormat(expressionType())) {
        bytes = data->data(expressionType());
    } else if (data->hasFormat(pngType())) {
        const ExtractResult r = extractExpression(data->data(pngType()));
        if (!r.ok)
            return std::nullopt;
        bytes = r.expFile;
    } else {
        return std::nullopt;
    }
    DecodeResult decoded =
        decodeExpression(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                         static_cast<std::size_t>(bytes.size()), Expression{});
    if (!decoded.ok)
        return std::nullopt;
    return std::move(decoded.expression);
}

} // namespace quill
