#include "render/surface.h"

#include "render/largepages.h"
#include "render/rects.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace quill {

namespace {
int roundPixel(double v) {
    return static_cast<int>(std::floor(v + 0.5));
}
// Past this many rectangles, or this share of the surface, an area is
// treated as the whole surface.
constexpr std::size_t MaxAreaRects = 256;
constexpr double WholeSurfaceShare = 0.6;
// Text is cached as a rendered mask only up to these sizes.
constexpr int MaxCachedPixelSize = 1024;
constexpr double MaxCachedTextPixels = 16.0 * 1024 * 1024;
// Frame serials are unique across surfaces, so a run's stamp can never be
// mistaken for another surface's frame.
std::uint64_t newFrameSerial() {
    static std::uint64_t last = 0;
    return ++last;
}
} // namespace

void Surface::Area::add(const QRect& r, const QRect& bounds) {
    if (all)
        return;
    if (!rects.empty() && rects.back().contains(r))
        return;
    rects.push_back(r);
    pixels += static_cast<long long>(r.width()) * r.height();
    const auto whole = static_cast<long long>(bounds.width()) * bounds.height();
    if (rects.size() > MaxAreaRects ||
        static_cast<double>(pixels) > WholeSurfaceShare * static_cast<double>(whole))
        addAll();
}

Surface::Surface(QSize size, BgrColour background)
    : m_image(largePagePicture(size.expandedTo(QSize(1, 1)), QImage::Format_RGB32)),
      m_background(background) {
    m_imageRect = m_image.rect();
    m_image.fill(bgrToRgb(m_background));
    m_damage.addAll();
}

Surface::~Surface() {
    endPainting();
}

const QImage& Surface::image() const {
    endPainting();
    return m_image;
}

QPainter& Surface::painter() {
    if (!m_painter)
        m_painter = std::make_unique<QPainter>(&m_image);
    return *m_painter;
}

void Surface::endPainting() const {
    m_painter.reset();
}

void Surface::touched(const QRect& r) {
    const QRect c = r.intersected(m_imageRect);
    if (c.isEmpty())
        return;
    m_inked.add(c, m_imageRect);
    m_damage.add(c, m_imageRect);
}

void Surface::resize(QSize size) {
    size = size.expandedTo(QSize(1, 1));
    if (size == m_image.size())
        return;
    endPainting();
    QImage next = largePagePicture(size, QImage::Format_RGB32);
    next.fill(bgrToRgb(m_background));
    {
        QPainter p(&next);
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.drawImage(0, 0, m_image);
    }
    m_image = std::move(next);
    m_imageRect = m_image.rect();
    m_inked.addAll();
    m_damage.addAll();
    m_lastValid = false;
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

// Forgets everything recorded for the frame so far: a frame starts, or a
// clear inside one starts it again.
void Surface::restartFrame() {
    m_frame.clear();
    m_frame.generation = m_textCache.generation();
    m_framePinnedBytes = 0;
    m_frameSerial = newFrameSerial();
}

void Surface::cls() {
    if (inFrame()) {
        restartFrame();
    } else if (m_inked.all || !m_last.ops.empty()) {
        // The last frame's drawing is not among the areas remembered here.
        endPainting();
        m_image.fill(bgrToRgb(m_background));
        m_damage.addAll();
        const std::uint64_t generation = m_last.generation;
        m_last.clear();
        m_last.generation = generation;
        m_lastValid = false;
        m_inked.reset();
    } else {
        // Only what was drawn since the last clear differs from the
        // background, so whitening that whitens the whole surface.
        const QRgb bg = bgrToRgb(m_background);
        for (const QRect& r : m_inked.rects) {
            fillPixels(r, bg);
            m_damage.add(r, m_imageRect);
        }
        m_inked.reset();
    }
    m_currentX = 0;
    m_currentY = 0;
}

void Surface::beginFrame() {
    ++m_frameDepth;
    restartFrame();
    m_currentX = 0;
    m_currentY = 0;
}

void Surface::endFrame() {
    if (m_frameDepth == 0)
        return;
    if (--m_frameDepth == 0)
        commitFrame();
}

QRect Surface::lastFrameBounds() const {
    QRect all;
    if (m_lastValid)
        for (const DrawOp& op : m_last.ops)
            all |= op.bounds;
    return all;
}

void Surface::submit(DrawOp op) {
    op.bounds = clipped(op.bounds, m_imageRect);
    if (inFrame()) {
        if (op.bounds.isEmpty())
            return;
        if (op.kind == DrawOp::Kind::Fill || op.kind == DrawOp::Kind::Copy) {
            const QRect piece =
                op.kind == DrawOp::Kind::Fill ? op.bounds : QRect(op.at, op.rect.size());
            if (!m_frame.ops.empty()) {
                DrawOp& last = m_frame.ops.back();
                if (last.isRun() && last.sameRunAs(op)) {
                    m_frame.appendPiece(last, piece, op.bounds);
                    return;
                }
            }
            op.first = static_cast<std::uint32_t>(m_frame.pieces.size());
            op.count = 1;
            m_frame.pieces.push_back(piece);
        }
        m_frame.area += static_cast<double>(op.bounds.width()) * op.bounds.height();
        if (op.kind == DrawOp::Kind::Line || op.kind == DrawOp::Kind::PlainText)
            m_frame.painterDrawn = true;
        m_frame.ops.push_back(std::move(op));
        return;
    }
    if (!op.bounds.isEmpty()) {
        play(op, m_imageRect);
        endPainting();
        touched(op.bounds);
    }
    m_frame.sources.clear();
}

// The region to paint for a list of changed rectangles: disjoint pieces,
// so no pixel is painted twice, or the one rectangle around them when
// there are too many to merge cheaply.
static QRegion regionOf(const std::vector<QRect>& rects, std::size_t maxRects) {
    QRegion region;
    if (rects.size() > maxRects) {
        QRect around;
        for (const QRect& r : rects)
            around |= r;
        return QRegion(around);
    }
    for (const QRect& r : rects)
        region += r;
    return region;
}

void Surface::commitFrame() {
    constexpr std::size_t MaxChangedRects = 64;
    ChangedArea changed(MaxChangedRects);
    const bool everything = !m_lastValid || m_inked.all;
    // The picture shows the last frame exactly when nothing was drawn
    // outside frames since. Two changes can then be made without painting
    // what lies under them: drawing added at the frame's end goes on top,
    // and a frame whose every operation moved by one offset is the picture
    // moved, with only the strips it uncovers painted.
    if (!everything && m_inked.rects.empty()) {
        if (const std::optional<std::size_t> from = appendedTo(m_frame, m_last)) {
            endPainting();
            paintOver(*from);
            finishFrame();
            return;
        }
        if (const std::optional<QPoint> d = shiftOf(m_frame, m_last, m_imageRect)) {
            endPainting();
            shiftPixels(*d);
            paintRegion(QRegion(m_imageRect).subtracted(m_imageRect.translated(*d)));
            m_damage.addAll();
            finishFrame();
            return;
        }
    }
    if (!everything) {
        addChanges(m_frame, m_last, m_imageRect, changed);
        for (const QRect& r : m_inked.rects)
            changed.add(r);
    }

    endPainting();
    const double whole = static_cast<double>(m_imageRect.width()) * m_imageRect.height();
    if (everything && m_frame.area <= m_coverageFromOverdraw * whole)
        paintEverything();
    else
        paintRegion(everything          ? QRegion(m_imageRect)
                    : changed.tooMany() ? QRegion(changed.around())
                                        : regionOf(changed.rects(), MaxChangedRects));
    finishFrame();
}

void Surface::finishFrame() {
    endPainting();
    std::swap(m_last, m_frame);
    m_frame.clear();
    m_last.sources.clear();
    m_lastValid = true;
    m_inked.reset();
}

namespace {
// Text far larger than any the tool strip offers (a size or a length read
// from a file) is drawn straight onto the surface, clipped to it, instead of
// being rendered whole into the cache. A glyph is at most about two pixel
// sizes wide and 1.2 high.
bool cacheable(const CanvasFont& font, const std::string& text) {
    const double px = font.pixelSize;
    const double roughPixels = static_cast<double>(text.size()) * 2.4 * px * px;
    return font.pixelSize <= MaxCachedPixelSize && roughPixels <= MaxCachedTextPixels;
}
} // namespace

const TextRun* Surface::remembered(const std::string& text) const {
    const std::size_t k = m_frame.printed.size();
    if (!inFrame() || k >= m_last.printed.size() || m_last.generation != m_textCache.generation())
        return nullptr;
    // The next prints will most likely ask for the runs after this one:
    // start fetching them, so that comparing with them finds them at hand.
    if (k + 2 < m_last.printed.size()) {
        const char* next = reinterpret_cast<const char*>(m_last.printed[k + 2]);
        __builtin_prefetch(next);
        __builtin_prefetch(next + 64);
        __builtin_prefetch(next + 128);
    }
    const TextRun* run = m_last.printed[k];
    return run != nullptr && run->text == text && run->font == m_font ? run : nullptr;
}

void Surface::print(const std::string& text) {
    if (text.empty())
        return;
    if (!cacheable(m_font, text)) {
        notePrinted(nullptr);
        printUncached(text);
        return;
    }
    // A repaint prints the same texts in the same order as the last one,
    // mostly: try the run printed at the same place before looking up.
    std::shared_ptr<const TextRun> held;
    const TextRun* run = remembered(text);
    if (run == nullptr) {
        held = m_textCache.run(m_font, text);
        run = held.get();
    }
    if (run->maskSize.isEmpty()) { // nothing drawn, or no memory for it
        notePrinted(nullptr);
        return;
    }
    // A frame keeps its rendered text alive until the next one; past a
    // budget (only a file with a great many huge items gets there) the
    // rest of the frame's text is drawn without keeping its rendering.
    if (inFrame() && run->pinnedInFrame != m_frameSerial) {
        const std::size_t bytes = run->maskBytes;
        if (m_framePinnedBytes + bytes > m_framePinnedBudget) {
            notePrinted(nullptr);
            printUncached(text);
            return;
        }
        m_framePinnedBytes += bytes;
        run->pinnedInFrame = m_frameSerial;
        if (!held) {
            held = run->shared_from_this();
            m_textCache.keep(held); // used now, as a look-up would count it
        }
        m_frame.runs.push_back(std::move(held));
    }
    notePrinted(run);
    const QPoint at(roundPixel(m_currentX) + run->offset.x(),
                    roundPixel(m_currentY) + run->offset.y());
    if (inFrame()) {
        // As submit() records it, but built in place: a repaint records
        // tens of thousands of texts.
        const QRect bounds = clipped(QRect(at, run->maskSize), m_imageRect);
        if (bounds.isEmpty())
            return;
        DrawOp& op = m_frame.ops.emplace_back();
        op.kind = DrawOp::Kind::Text;
        op.bounds = bounds;
        op.colour = bgrToRgb(m_foreground);
        op.at = at;
        op.run = run;
        m_frame.area += static_cast<double>(bounds.width()) * bounds.height();
        return;
    }
    DrawOp op;
    op.kind = DrawOp::Kind::Text;
    op.bounds = QRect(at, run->maskSize);
    op.colour = bgrToRgb(m_foreground);
    op.at = at;
    op.run = run;
    submit(std::move(op));
}

QRect Surface::printBounds(const std::string& text) {
    if (text.empty())
        return QRect();
    if (!cacheable(m_font, text))
        return uncachedBounds(text);
    const std::shared_ptr<const TextRun> run = m_textCache.run(m_font, text);
    if (run->maskSize.isEmpty())
        return QRect();
    return QRect(
        QPoint(roundPixel(m_currentX) + run->offset.x(), roundPixel(m_currentY) + run->offset.y()),
        run->maskSize);
}

QRect Surface::uncachedBounds(const std::string& text) {
    // Where the glyphs go is not worth working out exactly: take the
    // advance box with a generous margin.
    const QFontMetricsF& fm = metrics();
    const double margin = m_font.pixelSize;
    const double x = std::floor(m_currentX + 0.5), top = std::floor(m_currentY + 0.5);
    return QRectF(x - margin, top - margin, fm.horizontalAdvance(fromLatin1(text)) + 2 * margin,
                  fm.height() + 2 * margin)
        .toAlignedRect();
}

void Surface::printUncached(const std::string& text) {
    const QFontMetricsF& fm = metrics();
    auto plain = std::make_shared<PlainText>();
    plain->text = text;
    plain->font = m_font;
    plain->baseline =
        QPointF(std::floor(m_currentX + 0.5), std::floor(m_currentY + 0.5) + fm.ascent());
    DrawOp op;
    op.kind = DrawOp::Kind::PlainText;
    op.bounds = uncachedBounds(text);
    op.colour = bgrToRgb(m_foreground);
    op.plain = plain.get();
    if (inFrame())
        m_frame.plain.push_back(std::move(plain));
    submit(std::move(op));
}

QRect Surface::textInk(const CanvasFont& font, const std::string& text, QPoint at) {
    if (text.empty())
        return {};
    if (!cacheable(font, text)) {
        const QFontMetrics fm(makeQFont(font));
        return fm.boundingRect(fromLatin1(text)).translated(at + QPoint(0, fm.ascent()));
    }
    const std::shared_ptr<const TextRun> run = m_textCache.run(font, text);
    return QRect(at + run->offset, run->maskSize);
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
    // A frame's fills come in long runs of one colour: add to the run
    // without building an operation.
    if (DrawOp* run = openRun(DrawOp::Kind::Fill);
        run != nullptr && run->colour == bgrToRgb(colour)) {
        const QRect b = clipped(r, m_imageRect);
        if (!b.isEmpty())
            m_frame.appendPiece(*run, b, b);
        return;
    }
    DrawOp op;
    op.kind = DrawOp::Kind::Fill;
    op.bounds = r;
    op.colour = bgrToRgb(colour);
    submit(std::move(op));
}

void Surface::line(int x1, int y1, int x2, int y2) {
    const int w = m_penWidth;
    const int lo = w / 2;
    if (y1 == y2 || x1 == x2) {
        // Axis-aligned: a band w pixels thick centred on the line.
        if (y1 == y2)
            fillRect(
                QRect(QPoint(std::min(x1, x2), y1 - lo), QPoint(std::max(x1, x2), y1 - lo + w - 1)),
                m_foreground);
        else
            fillRect(
                QRect(QPoint(x1 - lo, std::min(y1, y2)), QPoint(x1 - lo + w - 1, std::max(y1, y2))),
                m_foreground);
        return;
    }
    DrawOp op;
    op.kind = DrawOp::Kind::Line;
    op.bounds = QRect(QPoint(std::min(x1, x2), std::min(y1, y2)),
                      QPoint(std::max(x1, x2), std::max(y1, y2)))
                    .adjusted(-w, -w, w, w);
    op.colour = bgrToRgb(m_foreground);
    op.rect = QRect(QPoint(x1, y1), QPoint(x2, y2));
    op.width = static_cast<std::int16_t>(std::min(w, 32767));
    submit(std::move(op));
}

void Surface::box(int x1, int y1, int x2, int y2, BgrColour colour) {
    const int l = std::min(x1, x2), r = std::max(x1, x2), t = std::min(y1, y2),
              b = std::max(y1, y2);
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
    const qint64 key = source.cacheKey();
    // Markers: one long run of copies of the same block.
    if (DrawOp* run = openRun(DrawOp::Kind::Copy);
        run != nullptr && run->sourceKey == key && run->rect == sourceRect) {
        const QRect piece(dest, sourceRect.size());
        const QRect b = clipped(piece, m_imageRect);
        if (!b.isEmpty())
            m_frame.appendPiece(*run, piece, b);
        return;
    }
    DrawOp op;
    op.kind = DrawOp::Kind::Copy;
    op.bounds = QRect(dest, sourceRect.size());
    op.rect = sourceRect;
    op.at = dest;
    op.sourceKey = key;
    if (m_frame.sources.empty() || m_lastSourceKey != op.sourceKey) {
        m_frame.sources.push_back(source);
        m_lastSourceKey = op.sourceKey;
    }
    op.source = static_cast<std::uint32_t>(m_frame.sources.size() - 1);
    submit(std::move(op));
}

long Surface::point(int x, int y) const {
    if (x < 0 || y < 0 || x >= m_image.width() || y >= m_image.height())
        return -1;
    endPainting();
    return static_cast<long>(rgbToBgr(m_image.pixel(x, y)));
}

void Surface::refresh() {
    if (inFrame())
        return; // the frame's outermost end shows it
    endPainting();
    if (m_damage.empty())
        return;
    constexpr std::size_t MaxShownRects = 16;
    const QRegion changed =
        m_damage.all ? QRegion(m_imageRect) : regionOf(m_damage.rects, MaxShownRects);
    m_damage.reset();
    if (m_refresh)
        m_refresh(changed);
}

} // namespace quill
