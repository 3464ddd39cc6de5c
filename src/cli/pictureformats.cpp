#include "cli/pictureformats.h"

#include "cli/offscreencanvas.h"
#include "files/expcodec.h"
#include "files/expfile.h"
#include "render/fontface.h"
#include "render/layers.h"

#include <QBuffer>
#include <QFontMetrics>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <cerrno>

namespace quill::cli {

namespace {
// A picture with an embedded expression is larger than the expression by
// its pixels; this bounds what --extract reads.
constexpr qint64 MaxPngBytes = MaxExpFileBytes * 2;
} // namespace

QByteArray pngBytes(const CapturedImage& image, std::int32_t pixelsPerMetre, bool transparent,
                    const QByteArray& expFile) {
    QImage img(image.width, image.height, QImage::Format_Indexed8);
    QList<QRgb> palette;
    for (int n = 0; n < 16; ++n)
        palette << (transparent ? qRgba(0, 0, 0, 255 - 0x11 * n)
                                : qRgb(0x11 * n, 0x11 * n, 0x11 * n));
    img.setColorTable(palette);
    for (std::int32_t y = 0; y < image.height; ++y) {
        uchar* row = img.scanLine(y);
        const std::int32_t* colours =
            image.colours.data() +
            static_cast<std::size_t>(y) * static_cast<std::size_t>(image.width);
        for (std::int32_t x = 0; x < image.width; ++x)
            row[x] = greyLevel(colours[x]);
    }
    img.setDotsPerMeterX(pixelsPerMetre);
    img.setDotsPerMeterY(pixelsPerMetre);
    img.setText(QString::fromLatin1(ExpressionTextKey), QString::fromLatin1(expFile.toBase64()));
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (!writer.write(img))
        return QByteArray();
    return out;
}

ExtractResult extractExpression(const QString& pngPath) {
    ExtractResult r;
    // Read as any input is: regular files only, never blocking, the name's
    // bytes as given.
    BoundedRead file = readRegularFile(pngPath, MaxPngBytes);
    if (file.outcome != BoundedRead::Outcome::Ok) {
        r.message = file.outcome == BoundedRead::Outcome::TooLarge
                        ? QStringLiteral("not a PNG picture (larger than %1 MiB)")
                              .arg(MaxPngBytes / (1024 * 1024))
                    : file.outcome == BoundedRead::Outcome::NotAFile
                        ? QStringLiteral("is %1, not a PNG picture").arg(file.error)
                    : file.errorCode == ENOENT ? QStringLiteral("no such file")
                                               : file.error;
        return r;
    }
    return extractExpression(file.bytes);
}

ExtractResult extractExpression(const QByteArray& png) {
    ExtractResult r;
    QBuffer buffer;
    buffer.setData(png);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    if (reader.format() != "png") {
        r.message = QStringLiteral("not a PNG picture");
        return r;
    }
    // Our pictures carry their text before the pixel data, so the header
    // read gives it; otherwise the whole picture is read for text after it.
    QString text = reader.text(QString::fromLatin1(ExpressionTextKey));
    if (text.isEmpty()) {
        const QImage img = reader.read();
        text = img.text(QString::fromLatin1(ExpressionTextKey));
    }
    if (text.isEmpty()) {
        r.message = QStringLiteral("no expression embedded in this picture");
        return r;
    }
    const auto decoded = QByteArray::fromBase64Encoding(
        text.toLatin1(), QByteArray::Base64Encoding | QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded) {
        r.message = QStringLiteral("the embedded expression is damaged (not base64)");
        return r;
    }
    const QByteArray& bytes = decoded.decoded;
    const DecodeResult check =
        decodeExpression(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                         static_cast<std::size_t>(bytes.size()), Expression{});
    if (!check.ok) {
        r.message = QStringLiteral("the embedded expression is damaged (%1)")
                        .arg(QString::fromStdString(check.message));
        return r;
    }
    r.ok = true;
    r.expFile = bytes;
    return r;
}

namespace {

// Text of the program's 8-bit character set for XML: escaped, with the
// control codes XML cannot hold left out.
QString xmlText(const std::string& s) {
    QString out;
    out.reserve(static_cast<qsizetype>(s.size()));
    for (const char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '&':
            out += QLatin1String("&amp;");
            break;
        case '<':
            out += QLatin1String("&lt;");
            break;
        case '>':
            out += QLatin1String("&gt;");
            break;
        case '"':
            out += QLatin1String("&quot;");
            break;
        default:
            if (c >= 0x20 && c != 0x7F)
                out += QChar(static_cast<char16_t>(c));
        }
    }
    return out;
}

QString num(double v) {
    return QString::number(v, 'g', 10);
}

} // namespace

QByteArray svgBytes(const Expression& expr, const QRect& area, int reductionFactor,
                    bool transparent) {
    const int factor = reductionFactor < 1 ? 1 : reductionFactor;
    QString s;
    s += QLatin1String("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
    s += QStringLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" "
                        "width=\"%1px\" height=\"%2px\" viewBox=\"%3 %4 %5 %6\" "
                        "xml:space=\"preserve\">\n")
             .arg(num(double(area.width()) / factor), num(double(area.height()) / factor))
             .arg(area.left())
             .arg(area.top())
             .arg(area.width())
             .arg(area.height());
    if (!transparent)
        s += QStringLiteral("<rect id=\"background\" x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" "
                            "fill=\"#ffffff\" stroke=\"none\"/>\n")
                 .arg(area.left())
                 .arg(area.top())
                 .arg(area.width())
                 .arg(area.height());
    s += QLatin1String("<g id=\"items\">\n");
    // The canvas's drawing order: horizontal bars, vertical bars, then text.
    // Coordinates move up by the tool strip, into workspace pixels.
    auto bar = [&](QRect r) {
        r.translate(0, -WorkspaceTop);
        s += QStringLiteral("<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" fill=\"#000000\" "
                            "stroke=\"none\"/>\n")
                 .arg(r.left())
                 .arg(r.top())
                 .arg(r.width())
                 .arg(r.height());
    };
    const auto& h = expr.HLines;
    if (expr.hLinesExist == VbTrue)
        for (std::int32_t i = 0; i < expr.hLineRowCount(); ++i) {
            const auto r = static_cast<std::size_t>(i);
            if (h.live[r] != 0)
                bar(hLineBar(h.x1[r], h.x2[r], h.y[r], h.width[r]));
        }
    const auto& v = expr.VLines;
    if (expr.vLinesExist == VbTrue)
        for (std::int32_t i = 0; i < expr.vLineRowCount(); ++i) {
            const auto r = static_cast<std::size_t>(i);
            if (v.live[r] != 0)
                bar(vLineBar(v.x[r], v.y1[r], v.y2[r], v.width[r]));
        }
    const auto& t = expr.TextItems;
    if (expr.textItemsExist == VbTrue)
        for (std::int32_t i = 0; i < expr.textRowCount(); ++i) {
            const auto r = static_cast<std::size_t>(i);
            if (t.live[r] == 0)
                continue;
            CanvasFont font;
            font.face = t.fontName[r];
            font.bold = t.fontBold[r] != 0;
            font.italic = t.fontItalic[r] != 0;
            font.pixelSize = pointsToPixels(t.fontSize[r]);
            // The canvas puts the text's top-left at (x, y): its baseline
            // lies the font's ascent below.
            const int ascent = QFontMetrics(makeQFont(font)).ascent();
            // Built by joining, not by arg(): the texts may hold '%'.
            s += QLatin1String("<text x=\"") + QString::number(t.x[r]) + QLatin1String("\" y=\"") +
                 QString::number(t.y[r] - WorkspaceTop + ascent) +
                 QLatin1String("\" font-family=\"") + xmlText(font.face) +
                 QLatin1String("\" font-size=\"") + QString::number(font.pixelSize) +
                 QLatin1String("px\" font-weight=\"") +
                 (font.bold ? QLatin1String("bold") : QLatin1String("normal")) +
                 QLatin1String("\" font-style=\"") +
                 (font.italic ? QLatin1String("italic") : QLatin1String("normal")) +
                 QLatin1String("\" fill=\"#000000\">") + xmlText(t.text[r]) +
                 QLatin1String("</text>\n");
        }
    s += QLatin1String("</g>\n</svg>\n");
    return s.toUtf8();
}

} // namespace quill::cli
