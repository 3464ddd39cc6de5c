#include "render/surface.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

namespace quill {

namespace {
int roundPixel(double v) { return static_cast<int>(std::floor(v + 0.5)); }
} // namespace

Surface::Surface(QSize size, BgrColour background)
    : m_image(size.expandedTo(QSize(1, 1)), QImage::Format_RGB32), m_background(background) {
    m_image.fill(bgrToRgb(m_background));
    m_damage = m_image.rect();
}

Surface::~Surface() { endPainting(); }

const QImage& Surface::image() const {
    endPainting();
    return m_image;
}

QPainter& Surface::painter() {
    if (!m_painter)
        m_painter = std::make_unique<QPainter>(&m_image);
    return *m_painter;
}

void Surface::endPainting() const { m_painter.reset(); }

void Surface::touched(const QRect& r) {
    const QRect c = r.intersected(m_image.rect());
    if (c.isEmpty())
        return;
    m_inked |= c;
    m_damage |= c;
}

void Surface::resize(QSize size) {
    size = size.expandedTo(QSize(1, 1));
    if (size == m_image.size())
        return;
    endPainting();
    QImage next(size, QImage::Format_RGB32);
    next.fill(bgrToRgb(m_background));
    {
        QPainter p(&next);
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.drawImage(0, 0, m_image);
    }
    m_image = std::move(next);
    m_inked = m_inked.intersected(m_image.rect());
    m_damage = m_image.rect();
}

void Surface::setFontName(const std::string& face) {
    if (m_font.face != face) {
        m_font.face = face;
        m_metrics.reset();
    }
}
void Surface::setFontBold(bool b) {
    if (m_font.bold != b) {
        m_font.bold = b;
        m_metrics.reset();
    }
}
void Surface::setFontItalic(bool i) {
    if (m_font.italic != i) {
        m_font.italic = i;
        m_metrics.reset();
    }
}
void Surface::setFontSize(double points) {
    const int px = pointsToPixels(points);
    if (m_font.pixelSize != px) {
        m_font.pixelSize = px;
        m_metrics.reset();
    }
}

QFontMetricsF& Surface::metrics() {
    if (!m_metrics)
        m_metrics.emplace(makeQFont(m_font));
    return *m_metrics;
}

void Surface::cls() {
    if (!m_inked.isEmpty()) {
        // Only what was drawn since the last clear differs from the
        // background, so whitening that box whitens the whole surface.
        endPainting();
        const QRgb bg = bgrToRgb(m_background);
        const QRect r = m_inked;
        if (r == m_image.rect()) {
            m_image.fill(bg);
        } else {
            for (int y = r.top(); y <= r.bottom(); ++y) {
                auto* line = reinterpret_cast<QRgb*>(m_image.scanLine(y));
                std::fill(line + r.left(), line + r.right() + 1, bg);
            }
        }
        m_damage |= r;
        m_inked = QRect();
    }
    m_currentX = 0;
    m_currentY = 0;
}

void Surface::print(const std::string& text) {
    if (text.empty())
        return;
    const auto run = m_textCache.run(m_font, text);
    if (run->mask.isNull())
        return;
    const QPoint at(roundPixel(m_currentX) + run->offset.x(), roundPixel(m_currentY) + run->offset.y());
    QPainter& p = painter();
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    if (m_foreground == BgrBlack) {
        p.drawImage(at, run->mask);
    } else {
        QImage tinted = run->mask;
        {
            QPainter t(&tinted);
            t.setCompositionMode(QPainter::CompositionMode_SourceIn);
            t.fillRect(tinted.rect(), bgrToQColor(m_foreground));
        }
        p.drawImage(at, tinted);
    }
    touched(QRect(at, run->mask.size()));
}

double Surface::textWidth(const std::string& text) {
    return metrics().horizontalAdvance(fromLatin1(text));
}

double Surface::textHeight(const std::string&) {
    // The height of a single line: the font's ascent plus descent, whatever
    // the characters (an empty string has the same height).
    return metrics().height();
}

void Surface::fillRect(const QRect& r, BgrColour colour) {
    const QRect c = r.intersected(m_image.rect());
    if (c.isEmpty())
        return;
    QPainter& p = painter();
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.fillRect(c, QColor(bgrToRgb(colour)));
    touched(c);
}

void Surface::line(int x1, int y1, int x2, int y2) {
    const int w = m_penWidth;
    const int lo = w / 2;
    if (y1 == y2 || x1 == x2) {
        // Axis-aligned: a band w pixels thick centred on the line.
        if (y1 == y2)
            fillRect(QRect(QPoint(std::min(x1, x2), y1 - lo), QPoint(std::max(x1, x2), y1 - lo + w - 1)),
                     m_foreground);
        else
            fillRect(QRect(QPoint(x1 - lo, std::min(y1, y2)), QPoint(x1 - lo + w - 1, std::max(y1, y2))),
                     m_foreground);
        return;
    }
    QPainter& p = painter();
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(bgrToQColor(m_foreground), w, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(x1, y1, x2, y2);
    touched(QRect(QPoint(std::min(x1, x2), std::min(y1, y2)), QPoint(std::max(x1, x2), std::max(y1, y2)))
                .adjusted(-w, -w, w, w));
}

void Surface::box(int x1, int y1, int x2, int y2, BgrColour colour) {
    const int l = std::min(x1, x2), r = std::max(x1, x2), t = std::min(y1, y2), b = std::max(y1, y2);
    fillRect(QRect(QPoint(l, t), QPoint(r, t)), colour);
    fillRect(QRect(QPoint(l, b), QPoint(r, b)), colour);
    fillRect(QRect(QPoint(l, t), QPoint(l, b)), colour);
    fillRect(QRect(QPoint(r, t), QPoint(r, b)), colour);
}

void Surface::fillBox(double x1, double y1, double x2, double y2, BgrColour colour) {
    const int l = roundPixel(std::min(x1, x2)), r = roundPixel(std::max(x1, x2));
    const int t = roundPixel(std::min(y1, y2)), b = roundPixel(std::max(y1, y2));
    const int grow = (m_penWidth - 1) / 2;
    fillRect(QRect(QPoint(l - grow, t - grow), QPoint(r + grow, b + grow)), colour);
}

void Surface::blit(const QImage& source, const QRect& sourceRect, QPoint dest) {
    const QRect target(dest, sourceRect.size());
    if (target.intersected(m_image.rect()).isEmpty())
        return;
    QPainter& p = painter();
    p.setCompositionMode(QPainter::CompositionMode_Source);
    if (source.isNull()) {
        // An empty picture copies as black, like a blank memory bitmap.
        p.fillRect(target, Qt::black);
    } else {
        if (!source.rect().contains(sourceRect))
            p.fillRect(target, Qt::black); // parts beyond the source are blank
        p.drawImage(dest, source, sourceRect);
    }
    touched(target);
}

long Surface::point(int x, int y) const {
    if (x < 0 || y < 0 || x >= m_image.width() || y >= m_image.height())
        return -1;
    endPainting();
    return static_cast<long>(rgbToBgr(m_image.pixel(x, y)));
}

void Surface::refresh() {
    endPainting();
    const QRect damage = m_damage;
    m_damage = QRect();
    if (m_refresh && !damage.isEmpty())
        m_refresh(damage);
}

} // namespace quill
