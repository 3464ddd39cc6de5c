#include "export/pictureformats.h"

#include "export/deflateruns.h"
#include "export/readingorder.h"
#include "files/expcodec.h"
#include "files/expfile.h"
#include "formula/mathfont.h"
#include "mathsymbolsunicode.h"
#include "render/fontface.h"
#include "render/glyphoutlines.h"
#include "render/layers.h"

#include <QBuffer>
#include <QFileInfo>
#include <QFontMetrics>
#include <QImage>
#include <QImageReader>
#include <QPainterPath>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <zlib.h>

namespace quill {

// --- PNG ----------------------------------------------------------------------

namespace {

// A picture with an embedded expression is larger than the expression by
// its pixels; this bounds what --extract reads.
constexpr qint64 MaxPngBytes = MaxExpFileBytes * 2;

void putU32(QByteArray& out, std::uint32_t v) {
    const char b[4] = {static_cast<char>(v >> 24), static_cast<char>(v >> 16),
                       static_cast<char>(v >> 8), static_cast<char>(v)};
    out.append(b, 4);
}

void putChunk(QByteArray& out, const char (&type)[5], const QByteArray& data) {
    putU32(out, static_cast<std::uint32_t>(data.size()));
    const qsizetype start = out.size();
    out.append(type, 4);
    out.append(data);
    const auto* bytes = reinterpret_cast<const Bytef*>(out.constData() + start);
    putU32(out, static_cast<std::uint32_t>(crc32(0, bytes, static_cast<uInt>(data.size() + 4))));
}

// A zlib compressor kept for the thread's next pictures: setting one up
// costs more than coding a picture of a formula, so it is reset instead.
class Deflater {
public:
    Deflater(int level, int strategy) {
        m_ready = deflateInit2(&m_z, level, Z_DEFLATED, 15, 8, strategy) == Z_OK;
    }
    ~Deflater() {
        if (m_ready)
            deflateEnd(&m_z);
    }
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;

    // Appends the zlib stream of `data` to `out`; false when zlib fails.
    bool append(const std::uint8_t* data, std::size_t size, QByteArray& out) {
        if (!m_ready || deflateReset(&m_z) != Z_OK)
            return false;
        m_buffer.resize(deflateBound(&m_z, static_cast<uLong>(size)));
        m_z.next_in = const_cast<Bytef*>(data);
        m_z.avail_in = static_cast<uInt>(size);
        m_z.next_out = m_buffer.data();
        m_z.avail_out = static_cast<uInt>(m_buffer.size());
        if (deflate(&m_z, Z_FINISH) != Z_STREAM_END)
            return false;
        out.append(reinterpret_cast<const char*>(m_buffer.data()),
                   static_cast<qsizetype>(m_z.total_out));
        return true;
    }

private:
    z_stream m_z{};
    bool m_ready = false;
    std::vector<std::uint8_t> m_buffer;
};

// One row of captured colours as grey levels, two pixels a byte (the
// bitmap's packing, whose loops the compiler vectorises the same way).
void subtractRow(const std::uint8_t* __restrict row, const std::uint8_t* __restrict above,
                 std::size_t n, std::uint8_t* __restrict out) {
    for (std::size_t k = 0; k < n; ++k)
        out[k] = static_cast<std::uint8_t>(row[k] - above[k]);
}

} // namespace

QByteArray pngBytes(const CapturedImage& image, std::int32_t pixelsPerMetre, bool transparent,
                    const QByteArray& expFile) {
    if (image.width <= 0 || image.height <= 0)
        return QByteArray();
    const auto width = static_cast<std::size_t>(image.width);
    const auto height = static_cast<std::size_t>(image.height);
    const std::size_t rowBytes = (width + 1) / 2;

    QByteArray out;
    out.append("\x89PNG\r\n\x1A\n", 8);
    QByteArray ihdr;
    putU32(ihdr, static_cast<std::uint32_t>(width));
    putU32(ihdr, static_cast<std::uint32_t>(height));
    ihdr.append("\x04\x03\x00\x00\x00", 5); // 4 bits, palette, deflate, adaptive, no interlace
    putChunk(out, "IHDR", ihdr);
    QByteArray plte, trns;
    for (int n = 0; n < 16; ++n) {
        const char v = transparent ? '\0' : static_cast<char>(0x11 * n);
        plte.append(v).append(v).append(v);
        trns.append(static_cast<char>(255 - 0x11 * n));
    }
    putChunk(out, "PLTE", plte);
    if (transparent)
        putChunk(out, "tRNS", trns);
    if (pixelsPerMetre > 0) {
        QByteArray phys;
        putU32(phys, static_cast<std::uint32_t>(pixelsPerMetre));
        putU32(phys, static_cast<std::uint32_t>(pixelsPerMetre));
        phys.append('\x01'); // per metre
        putChunk(out, "pHYs", phys);
    }
    // The expression before the pixels, where a reader finds it without
    // decoding the picture.
    const QByteArray text = expFile.toBase64();
    QByteArray ztxt(ExpressionTextKey);
    ztxt.append('\0').append('\0'); // end of keyword, deflate
    thread_local Deflater textCoder(Z_DEFAULT_COMPRESSION, Z_DEFAULT_STRATEGY);
    if (!textCoder.append(reinterpret_cast<const std::uint8_t*>(text.constData()),
                          static_cast<std::size_t>(text.size()), ztxt))
        return QByteArray();
    putChunk(out, "zTXt", ztxt);

    // Two pixels a byte; every row filtered as the difference from the row
    // above ("Up"), which turns the white and the unchanged rows of a text
    // picture into runs of zeros, coded as runs (deflateRuns): smaller than
    // any other filter and zlib strategy tried on such pictures, and quicker.
    // Every byte is written below: the buffer only grows, never cleared.
    thread_local std::vector<std::uint8_t> raw, rows;
    const std::size_t rawSize = height * (rowBytes + 1);
    if (raw.size() < rawSize)
        raw.resize(rawSize);
    rows.assign(2 * rowBytes, 0); // this row and the one above, packed
    std::uint8_t* current = rows.data();
    std::uint8_t* above = rows.data() + rowBytes;
    for (std::size_t y = 0; y < height; ++y) {
        packGreyRow(image.colours.data() + y * width, width, current);
        std::uint8_t* to = raw.data() + y * (rowBytes + 1);
        to[0] = 2; // Up
        subtractRow(current, above, rowBytes, to + 1);
        std::swap(current, above);
    }
    thread_local std::vector<std::uint8_t> coded;
    coded.clear();
    deflateRuns(raw.data(), rawSize, coded);
    putChunk(out, "IDAT",
             QByteArray::fromRawData(reinterpret_cast<const char*>(coded.data()),
                                     static_cast<qsizetype>(coded.size())));
    putChunk(out, "IEND", QByteArray());
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

// --- SVG ----------------------------------------------------------------------

QString itemUnicodeText(const std::string& face, const std::string& text) {
    const bool symbols = face == "MathSymbols";
    const bool zidezir = face == "Zidezir";
    QString out;
    out.reserve(static_cast<qsizetype>(text.size()));
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        char32_t u = c;
        if (symbols && MathSymbolsUnicode[c] != 0)
            u = MathSymbolsUnicode[c];
        else if (zidezir && c == '-')
            u = U'\u2212';
        else if (const char32_t m = formula::unicodeOf(face, c); m != 0)
            u = m;                               // the formula faces' glyphs on their codes
        if (u < 0x20 || (u >= 0x7F && u < 0xA0)) // controls: nothing to read
            continue;
        if (u > 0xFFFF)
            out += QString::fromUcs4(&u, 1);
        else
            out += QChar(static_cast<char16_t>(u));
    }
    return out;
}

namespace {

// Text for XML, escaped.
void appendXml(QString& s, const QString& text) {
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '&':
            s += QLatin1String("&amp;");
            break;
        case '<':
            s += QLatin1String("&lt;");
            break;
        case '>':
            s += QLatin1String("&gt;");
            break;
        case '"':
            s += QLatin1String("&quot;");
            break;
        default:
            s += c;
        }
    }
}

// A coordinate with at most two decimals (a hundredth of a pixel is far
// below what any renderer shows), no trailing zeros.
void appendCoord(QString& s, double v) {
    auto hundredths = static_cast<long long>(std::llround(v * 100.0));
    if (hundredths < 0) {
        s += QLatin1Char('-');
        hundredths = -hundredths;
    }
    s += QString::number(hundredths / 100);
    const auto frac = static_cast<int>(hundredths % 100);
    if (frac != 0) {
        s += QLatin1Char('.');
        s += QLatin1Char(static_cast<char>('0' + frac / 10));
        if (frac % 10 != 0)
            s += QLatin1Char(static_cast<char>('0' + frac % 10));
    }
}

void appendPathData(QString& s, const QPainterPath& path) {
    const int n = path.elementCount();
    for (int i = 0; i < n; ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        switch (e.type) {
        case QPainterPath::MoveToElement:
            s += QLatin1Char('M');
            break;
        case QPainterPath::LineToElement:
            s += QLatin1Char('L');
            break;
        case QPainterPath::CurveToElement:
            s += QLatin1Char('C');
            break;
        case QPainterPath::CurveToDataElement:
            s += QLatin1Char(' ');
            break;
        }
        appendCoord(s, e.x);
        s += QLatin1Char(' ');
        appendCoord(s, e.y);
    }
    if (n > 0)
        s += QLatin1Char('Z');
}

} // namespace

QByteArray svgBytes(const Expression& expr, const QRect& area, int reductionFactor,
                    bool transparent) {
    const int factor = reductionFactor < 1 ? 1 : reductionFactor;
    auto num = [](double v) { return QString::number(v, 'g', 10); };
    QString s;
    s += QLatin1String("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
    s += QStringLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" "
                        "width=\"%1px\" height=\"%2px\" viewBox=\"%3 %4 %5 %6\" role=\"img\"")
             .arg(num(double(area.width()) / factor), num(double(area.height()) / factor))
             .arg(area.left())
             .arg(area.top())
             .arg(area.width())
             .arg(area.height());
    const qsizetype rootEnd = s.size(); // the picture's reading text goes here
    s += QLatin1String(">\n");
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
    // What the picture says: the texts it shows, in reading order among
    // everything it shows (bars hold fractions and radicals together).
    std::vector<ReadingItem> shownItems;
    std::vector<QString> shownTexts; // empty for a bar
    const QRectF shownArea(area);
    auto shown = [&](const QRectF& box, const QString& text) {
        if (box.intersects(shownArea)) {
            shownItems.push_back({box, text.isEmpty()});
            shownTexts.push_back(text);
        }
    };
    auto bar = [&](QRect r) {
        r.translate(0, -WorkspaceTop);
        shown(QRectF(r), QString());
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
            const QFont qf = makeQFont(font);
            // The canvas puts the text's top-left at (x, y): its baseline
            // lies the font's ascent below. The outlines come from the very
            // fonts and layout the canvas draws with.
            const int ascent = QFontMetrics(qf).ascent();
            const QPainterPath glyphs = canvasTextOutline(
                qf, fromLatin1(t.text[r]), QPointF(t.x[r], t.y[r] - WorkspaceTop + ascent));
            const QString said = itemUnicodeText(t.fontName[r], t.text[r]);
            if (!said.trimmed().isEmpty())
                shown(glyphs.boundingRect(), said.trimmed());
            s += QLatin1String("<path role=\"img\" aria-label=\"");
            appendXml(s, said);
            s += QLatin1String("\" fill=\"#000000\" stroke=\"none\" d=\"");
            appendPathData(s, glyphs);
            s += QLatin1String("\"><title>");
            appendXml(s, said);
            s += QLatin1String("</title></path>\n");
        }
    s += QLatin1String("</g>\n</svg>\n");
    QStringList read;
    for (const std::size_t i : readingOrder(shownItems))
        if (!shownTexts[i].isEmpty())
            read << shownTexts[i];
    if (!read.isEmpty()) {
        QString label = QLatin1String(" aria-label=\"");
        appendXml(label, read.join(QLatin1Char(' ')));
        label += QLatin1Char('"');
        s.insert(rootEnd, label);
    }
    return s.toUtf8();
}

// --- Save Image's choice ---------------------------------------------------------

SaveImageTarget saveImageTarget(const QString& chosenPath, const QString& chosenFilter) {
    struct Kind {
        PictureFormat format;
        QLatin1String extension;
    };
    const Kind kinds[] = {{PictureFormat::Bmp, QLatin1String(".bmp")},
                          {PictureFormat::Png, QLatin1String(".png")},
                          {PictureFormat::Svg, QLatin1String(".svg")}};
    for (const Kind& k : kinds)
        if (chosenPath.endsWith(k.extension, Qt::CaseInsensitive))
            return {chosenPath, k.format};
    for (const Kind& k : kinds) {
        if (k.format != PictureFormat::Bmp &&
            chosenFilter.contains(QLatin1Char('*') + k.extension, Qt::CaseInsensitive))
            return {chosenPath + k.extension, k.format};
    }
    // A bitmap's name is kept as typed unless it has no extension at all.
    if (QFileInfo(chosenPath).suffix().isEmpty())
        return {chosenPath + QLatin1String(".bmp"), PictureFormat::Bmp};
    return {chosenPath, PictureFormat::Bmp};
}

} // namespace quill
