#pragma once
// A drawing surface: a retained picture with the drawing state the program
// relies on (foreground colour, pen width, font, drawing position), and the
// operations it draws with. The canvas, the image workspace and the symbol
// keyboard box are each one of these, shown by a widget.
//
// Drawing goes straight into the picture, except inside a frame: between
// beginFrame() (which clears, like cls()) and endFrame() the operations are
// recorded, and endFrame() compares the record with the previous frame's.
// Where the two differ, and wherever anything was drawn outside a frame
// since, the picture is cleared and every recorded operation that reaches
// there is painted again, in order; elsewhere the picture already holds
// exactly those pixels. The result is always the picture a full clear and
// repaint would give, at the cost of what changed.
//
// Outside frames the surface remembers where it drew since it was last
// cleared, so clearing only has to whiten that, and it reports the area
// changed since the last refresh, so the window repaints only that.
//
// The parts: surface.cpp holds the state and the drawing operations and
// runs the frames; framerecord.h the record of a frame and its comparison
// with the last; surfacepaint.cpp the painting of recorded operations into
// the picture; coverage.h what later drawing covers, so that a crowded
// repaint can leave it out; textcomposite.h the compositing of rendered
// text.

#include "render/colour.h"
#include "render/fontface.h"
#include "render/framerecord.h"
#include "render/rects.h"
#include "render/textcache.h"

#include <QFontMetricsF>
#include <QImage>
#include <QLine>
#include <QRect>
#include <QRegion>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QPainter;

namespace quill {

class Surface {
public:
    explicit Surface(QSize size = QSize(1, 1), BgrColour background = BgrWhite);
    ~Surface();
    Surface(const Surface&) = delete;
    Surface& operator=(const Surface&) = delete;

    // Resizing keeps the top-left part of the picture and fills the rest
    // with the background.
    void resize(QSize size);
    QSize size() const { return m_image.size(); }
    const QImage& image() const;

    // Drawing state.
    BgrColour backColor() const { return m_background; }
    // The next clear fills the whole surface with the new colour.
    void setBackColor(BgrColour c) {
        if (c != m_background) {
            m_inked.addAll();
            m_lastValid = false;
        }
        m_background = c;
    }
    BgrColour foreColor() const { return m_foreground; }
    void setForeColor(BgrColour c) { m_foreground = c; }
    int drawWidth() const { return m_penWidth; }
    void setDrawWidth(int w) { m_penWidth = w < 1 ? 1 : w; }
    double currentX() const { return m_currentX; }
    double currentY() const { return m_currentY; }
    void setCurrentPos(double x, double y) {
        m_currentX = x;
        m_currentY = y;
    }

    const std::string& fontName() const { return m_font.face; }
    bool fontBold() const { return m_font.bold; }
    bool fontItalic() const { return m_font.italic; }
    double fontSize() const { return pixelsToPoints(m_font.pixelSize); } // as applied
    void setFontName(const std::string& face);
    void setFontBold(bool b);
    void setFontItalic(bool i);
    void setFontSize(double points);
    const CanvasFont& font() const { return m_font; }

    // Fills with the background; the drawing position becomes (0, 0).
    void cls();
    // A clear that starts a frame (see above). Frames nest: an inner
    // beginFrame() clears the record, and only the outermost endFrame()
    // paints.
    void beginFrame();
    void endFrame();
    // The next frame paints everything, as if nothing were on the surface.
    void invalidate() { m_lastValid = false; }
    bool inFrame() const { return m_frameDepth > 0; }
    // Every pixel the last finished frame may have drawn on (its operations'
    // bounds together), whether or not it had to paint them again.
    QRect lastFrameBounds() const;
    // Bytes of rendered text the current (or, after it ended, the last)
    // frame keeps alive.
    std::size_t framePinnedBytes() const { return m_framePinnedBytes; }
    // How many bytes of rendered text one frame may keep alive; text past
    // that is drawn without keeping its rendering. A text drawn many times
    // counts once. By default as much as the text cache holds, so that an
    // expression whose text fits the cache is always composited.
    void setFramePinnedBudget(std::size_t bytes) { m_framePinnedBudget = bytes; }
    // A repaint of the whole surface works out which drawing later drawing
    // covers (and leaves it out) only when the frame's operations together
    // reach more than this many times the surface's pixels; below that,
    // painting everything costs less than the working out.
    void setCoverageFromOverdraw(double times) { m_coverageFromOverdraw = times; }
    // Draws text with its top-left corner at the drawing position, in the
    // foreground colour, without painting the background between glyphs.
    void print(const std::string& text);
    // Every pixel print(text) may draw at the current position and font,
    // not clipped to the surface: exactly the rendered ink of a text the
    // cache holds, a generous box around one too large for it. Renders
    // the text into the cache if it is not there yet, as print() would.
    QRect printBounds(const std::string& text);
    // Width and height of a string in the current font, in pixels.
    double textWidth(const std::string& text);
    double textHeight(const std::string& text);
    // Where print() inks `text` in `font` with its top-left corner at `at`:
    // the rendered text's box or, for text too large to keep rendered, the
    // glyphs' bounding box. Empty for text without ink.
    QRect textInk(const CanvasFont& font, const std::string& text, QPoint at);

    // A line between two points in the foreground colour and pen width.
    void line(int x1, int y1, int x2, int y2);
    // An unfilled rectangle, one pixel wide, corners inclusive.
    void box(int x1, int y1, int x2, int y2, BgrColour colour);
    // A filled rectangle between two corners (inclusive), grown by the pen
    // width around its edge as a thick border would be.
    void fillBox(double x1, double y1, double x2, double y2, BgrColour colour);
    // Many filled rectangles of one colour, each as fillRect() would fill
    // it, in turn: `rects(put)` calls put(rect) for each. A frame adds
    // them to one run without the checks of a call each; `put` is forced
    // inline into the caller's loop, which the compiler otherwise leaves
    // as a call per piece.
    template <typename Rects> void fillEach(BgrColour colour, Rects&& rects) {
        const QRgb rgb = bgrToRgb(colour);
        RunAppender run(*this);
        rects([&](const QRect& r) __attribute__((always_inline)) {
            if (!run.isOpen()) {
                fillRect(r, colour);
                run.open(DrawOp::Kind::Fill, rgb, QRect(), 0);
                return;
            }
            const QRect b = clipped(r, m_imageRect);
            if (!b.isEmpty())
                run.add(b, b);
        });
    }
    // Many copies of one block, likewise: `places(put)` calls put(dest).
    template <typename Places>
    void blitEach(const QImage& source, const QRect& sourceRect, Places&& places) {
        const qint64 key = source.cacheKey();
        const QSize size = sourceRect.size();
        RunAppender run(*this);
        places([&](QPoint dest) __attribute__((always_inline)) {
            if (!run.isOpen()) {
                blit(source, sourceRect, dest);
                run.open(DrawOp::Kind::Copy, 0, sourceRect, key);
                return;
            }
            const QRect piece(dest, size);
            const QRect b = clipped(piece, m_imageRect);
            if (!b.isEmpty())
                run.add(piece, b);
        });
    }
    // A filled rectangle of exact pixels.
    void fillRect(const QRect& r, BgrColour colour);
    // Plain copy of a block of pixels (no transparency).
    void blit(const QImage& source, const QRect& sourceRect, QPoint dest);

    // Colour of a pixel as 0x00BBGGRR, or -1 outside the surface.
    long point(int x, int y) const;

    // Shows the retained picture now: hands the changed area to the viewer.
    void refresh();
    void setRefreshHandler(std::function<void(const QRegion&)> handler) {
        m_refresh = std::move(handler);
    }

    TextCache& textCache() { return m_textCache; }

private:
    // Adds pieces to the frame's last operation, a run, keeping its bounds
    // and the frame's area in registers until it is destroyed.
    class RunAppender {
    public:
        explicit RunAppender(Surface& surface) : m_surface(surface) {}
        ~RunAppender() { flush(); }
        RunAppender(const RunAppender&) = delete;
        RunAppender& operator=(const RunAppender&) = delete;
        bool isOpen() const { return m_op != nullptr; }
        // Takes the frame's last operation if it is a run these pieces
        // belong to (a fill of `colour`, a copy of `block` of picture `key`).
        void open(DrawOp::Kind kind, QRgb colour, const QRect& block, qint64 key) {
            DrawOp* op = m_surface.openRun(kind);
            if (op == nullptr || op->colour != colour || op->rect != block || op->sourceKey != key)
                return;
            m_op = op;
            m_left = op->bounds.left();
            m_top = op->bounds.top();
            m_right = op->bounds.right();
            m_bottom = op->bounds.bottom();
        }
        // As FrameRecord::appendPiece.
        [[gnu::always_inline]] void add(const QRect& piece, const QRect& bounds) {
            m_surface.m_frame.pieces.push_back(piece);
            m_area += static_cast<double>(bounds.width()) * bounds.height();
            ++m_count;
            m_left = std::min(m_left, bounds.left());
            m_top = std::min(m_top, bounds.top());
            m_right = std::max(m_right, bounds.right());
            m_bottom = std::max(m_bottom, bounds.bottom());
        }

    private:
        void flush() {
            if (m_op == nullptr)
                return;
            m_op->count += m_count;
            m_op->bounds = QRect(QPoint(m_left, m_top), QPoint(m_right, m_bottom));
            m_surface.m_frame.area += m_area;
        }
        Surface& m_surface;
        DrawOp* m_op = nullptr;
        std::uint32_t m_count = 0;
        double m_area = 0;
        int m_left = 0, m_top = 0, m_right = 0, m_bottom = 0;
    };

    // In a frame, the last recorded operation if it is a run of `kind`.
    DrawOp* openRun(DrawOp::Kind kind) {
        if (!inFrame() || m_frame.ops.empty())
            return nullptr;
        DrawOp& last = m_frame.ops.back();
        return last.kind == kind && last.isRun() ? &last : nullptr;
    }
    // Draws an operation now, or records it while a frame is open.
    void restartFrame();
    void submit(DrawOp op);
    void commitFrame();
    // The frame is what the picture shows now.
    void finishFrame();

    // Painting recorded operations into the picture (surfacepaint.cpp).
    void paintRegion(const QRegion& region);
    void paintEverything();
    // Part of paintRegion (all of it, or a slice of its rows), with a list
    // of its own to note what shows there.
    struct ShownPiece;
    void paintRects(const QRegion& region, std::vector<ShownPiece>& shown);
    // Paints the frame's operations from `first` on over the picture.
    void paintOver(std::size_t first);
    // Moves the picture's pixels by `d`; what moves in from outside is left
    // as it was, for the caller to paint.
    void shiftPixels(QPoint d);
    // `whole`: part of a repaint of everything.
    void play(const DrawOp& op, const QRect& clip, bool whole = false);
    void copyPixels(const QImage& source, const QRect& sourceRect, QPoint dest, const QRect& clip);
    void paintLine(const QLine& l, int width, QRgb colour, const QRect& clip);
    void paintPlainText(const PlainText& t, QRgb colour, const QRect& clip);
    void fillPixels(const QRect& r, QRgb colour); // no bookkeeping
    // The picture's pixels to paint into: while paintEverything paints on
    // two threads, the pointer it took beforehand (QImage::bits() may copy
    // the picture and counts its calls, so only one thread calls it).
    uchar* pixelsToPaint();

    QPainter& painter();
    void printUncached(const std::string& text);
    QRect uncachedBounds(const std::string& text);
    // The run the last frame drew for the text printed at the same place in
    // its order, if that was this text in this font; saves looking it up.
    const TextRun* remembered(const std::string& text) const;
    void notePrinted(const TextRun* run) {
        if (inFrame())
            m_frame.printed.push_back(run);
    }
    void endPainting() const;
    void touched(const QRect& r);
    QFontMetricsF& metrics();

    QImage m_image;
    QRect m_imageRect; // m_image.rect(), asked for with every operation
    mutable std::unique_ptr<QPainter> m_painter;
    BgrColour m_background;
    BgrColour m_foreground = BgrBlack;
    int m_penWidth = 1;
    double m_currentX = 0;
    double m_currentY = 0;
    CanvasFont m_font;
    std::optional<QFontMetricsF> m_metrics;
    // Where the surface may differ from its background (everything drawn
    // since the last clear), and what changed since the last refresh. Each
    // is a list of rectangles until it grows large enough that "all of it"
    // is cheaper to handle.
    struct Area {
        std::vector<QRect> rects;
        long long pixels = 0;
        bool all = false;
        void add(const QRect& r, const QRect& bounds);
        void addAll() {
            all = true;
            rects.clear();
        }
        void reset() {
            rects.clear();
            pixels = 0;
            all = false;
        }
        bool empty() const { return !all && rects.empty(); }
    };
    Area m_inked;
    Area m_damage;
    int m_frameDepth = 0;
    FrameRecord m_frame; // the frame being recorded
    FrameRecord m_last;  // what the picture shows, when m_lastValid
    bool m_lastValid = false;
    // Outside a frame, m_frame.sources holds the one picture being copied
    // now; in a frame, m_lastSourceKey is the cacheKey() of its last one.
    qint64 m_lastSourceKey = 0;
    std::size_t m_framePinnedBytes = 0;
    std::size_t m_framePinnedBudget = std::size_t(256) * 1024 * 1024;
    std::uint64_t m_frameSerial = 0; // changes whenever a frame record starts afresh
    double m_coverageFromOverdraw = 32;
    // What a repaint draws, kept for its room: in order for a region, and
    // per band of rows for everything.
    struct ShownPiece {
        QRect piece; // of a run; else the operation's bounds
        std::uint32_t op;
    };
    std::vector<ShownPiece> m_shown, m_shownOther; // one for each thread
    std::vector<std::vector<Piece>> m_bands;
    uchar* m_paintBits = nullptr;
    // A whole repaint paints its bands on two threads on a surface worth
    // halving (the editor's canvas always is) whose operations together
    // cover it this many times over: below that, a thread takes longer to
    // start than it would save.
    static constexpr double SplitPaintOverdraw = 2;
    std::function<void(const QRegion&)> m_refresh;
    TextCache m_textCache;
};

} // namespace quill
