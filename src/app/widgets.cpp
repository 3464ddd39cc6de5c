#include "app/widgets.h"

#include "app/platform/platform.h"
#include "render/pixelcopy.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEngine>
#include <QPainter>
#include <QStyleFactory>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <algorithm>
#include <cmath>
#include <memory>

namespace quill {

VbCheckBox::VbCheckBox(const QString& text, QWidget* parent) : QCheckBox(text, parent) {
    setTristate(false);
    connect(this, &QCheckBox::stateChanged, this, [this](int) { Q_EMIT valueChanged(); });
}

int VbCheckBox::value() const {
    switch (checkState()) {
    case Qt::Checked:
        return 1;
    case Qt::PartiallyChecked:
        return 2;
    default:
        return 0;
    }
}

void VbCheckBox::setValue(int v) {
    // Qt repaints a check box whose state is set, changed or not; a repaint
    // sets some boxes to what they already are on every redraw.
    const Qt::CheckState state = v == 1   ? Qt::Checked
                                 : v == 2 ? Qt::PartiallyChecked
                                          : Qt::Unchecked;
    if (state != checkState())
        setCheckState(state);
}

void VbCheckBox::nextCheckState() {
    setCheckState(value() == 0 ? Qt::Checked : Qt::Unchecked);
}

void VbCheckBox::paintEvent(QPaintEvent*) {
    // Like a plain check box, but a caption too long for the box wraps onto
    // a second line instead of being cut off.
    QStylePainter p(this);
    QStyleOptionButton opt;
    initStyleOption(&opt);
    const QString caption = opt.text;
    opt.text.clear();
    p.drawControl(QStyle::CE_CheckBox, opt);
    const QRect textRect = style()->subElementRect(QStyle::SE_CheckBoxContents, &opt, this);
    p.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    p.drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextWordWrap | Qt::TextShowMnemonic,
               caption);
    if (hasFocus()) {
        QStyleOptionFocusRect fr;
        fr.initFrom(this);
        fr.rect = textRect;
        p.drawPrimitive(QStyle::PE_FrameFocusRect, fr);
    }
}

SurfaceView::SurfaceView(Surface& surface, QWidget* parent) : QWidget(parent), m_surface(surface) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setMouseTracking(true);
    m_surface.setRefreshHandler(
        [this](const QRegion& r) { repaint(placementOnScreen().viewRegion(r)); });
}

void SurfaceView::showPixelForPixel(QPoint anchor) {
    m_pixelForPixel = true;
    m_anchor = anchor;
    update();
}

SurfaceView::Placement SurfaceView::placement(const QTransform& viewToScreen) const {
    Placement pl;
    pl.viewToScreen = viewToScreen;
    pl.pixelForPixel = m_pixelForPixel;
    if (!m_pixelForPixel) {
        pl.pictureToScreen = viewToScreen;
        return pl;
    }
    const double scale = canvasPixelScale(viewToScreen.m11());
    const QPointF a = viewToScreen.map(QPointF(m_anchor));
    pl.pictureToScreen = QTransform(scale, 0, 0, scale, std::round(a.x()) - m_anchor.x() * scale,
                                    std::round(a.y()) - m_anchor.y() * scale);
    return pl;
}

SurfaceView::Placement SurfaceView::placementOnScreen() const {
    const double ratio = devicePixelRatioF();
    const QPointF offset(mapTo(window(), QPoint(0, 0)));
    return placement(QTransform(ratio, 0, 0, ratio, offset.x() * ratio, offset.y() * ratio));
}

QPointF SurfaceView::Placement::toPicture(QPointF viewPoint) const {
    if (!pixelForPixel)
        return viewPoint;
    return pictureToScreen.inverted().map(viewToScreen.map(viewPoint));
}

namespace {
// The whole pixels that the rectangles of `region`, mapped by `map`, touch.
QRegion mapOutward(const QRegion& region, const QTransform& map) {
    QRegion out;
    for (const QRect& r : region) {
        const QRectF m = map.mapRect(QRectF(r));
        const int left = static_cast<int>(std::floor(m.left()));
        const int top = static_cast<int>(std::floor(m.top()));
        out += QRect(QPoint(left, top), QPoint(static_cast<int>(std::ceil(m.right())) - 1,
                                               static_cast<int>(std::ceil(m.bottom())) - 1));
    }
    return out;
}
} // namespace

QRegion SurfaceView::Placement::pictureRegion(const QRegion& viewRegion) const {
    if (!pixelForPixel)
        return viewRegion;
    return mapOutward(viewRegion, viewToScreen * pictureToScreen.inverted());
}

QRegion SurfaceView::Placement::viewRegion(const QRegion& pictureRegion) const {
    if (!pixelForPixel)
        return pictureRegion;
    return mapOutward(pictureRegion, pictureToScreen * viewToScreen.inverted());
}

namespace {
// Where the window's picture is a plain image in memory in the picture's
// format (Qt's raster backing store) and the picture lies on it one to one
// (`toScreen`), the canvas's pixels are copied into it directly, streamed
// past the cache; anything else goes through the painter. False if it did
// not copy.
bool copyStraight(QPainter& p, const QTransform& toScreen, const QImage& img,
                  const QRegion& region) {
    QPaintEngine* engine = p.paintEngine();
    QPaintDevice* device = engine != nullptr ? engine->paintDevice() : nullptr;
    if (device == nullptr || device->devType() != QInternal::Image ||
        img.format() != QImage::Format_RGB32)
        return false;
    auto* target = static_cast<QImage*>(device);
    const QImage::Format f = target->format();
    if ((f != QImage::Format_RGB32 && f != QImage::Format_ARGB32 &&
         f != QImage::Format_ARGB32_Premultiplied) ||
        !target->isDetached() || img.devicePixelRatio() != 1.0)
        return false;
    const QTransform& t = toScreen;
    if (t.type() > QTransform::TxTranslate || t.dx() != std::floor(t.dx()) ||
        t.dy() != std::floor(t.dy()))
        return false;
    // Never outside what the painter itself may paint: the region, within
    // the picture, within the window's part for this widget.
    const QPoint shift(static_cast<int>(t.dx()), static_cast<int>(t.dy()));
    QRegion area = (region & img.rect()).translated(shift) & target->rect();
    const QRegion clip = engine->systemClip();
    if (!clip.isEmpty())
        area &= clip;
    uchar* const bits = target->bits();
    const qsizetype stride = target->bytesPerLine();
    for (const QRect& c : area)
        for (int y = c.top(); y <= c.bottom(); ++y)
            copyPixelsStreamed(reinterpret_cast<const QRgb*>(img.constScanLine(y - shift.y())) +
                                   c.left() - shift.x(),
                               reinterpret_cast<QRgb*>(bits + y * stride) + c.left(), c.width());
    finishStreamedCopies();
    return true;
}
} // namespace

void SurfaceView::paintEvent(QPaintEvent* e) {
    QPainter p(this);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    const QImage& img = m_surface.image();
    // From here on the painter works in picture pixels.
    const Placement pl = placement(p.deviceTransform());
    if (pl.pixelForPixel)
        p.setWorldTransform(pl.pictureToScreen * pl.viewToScreen.inverted());
    const QRegion region = pl.pictureRegion(e->region());
    if (!copyStraight(p, pl.pictureToScreen, img, region)) {
        // Qt's raster engine hands a copy of 96 rows or more to its thread
        // pool and waits for it; the copy itself is far quicker than that
        // hand-over when the machine is busy, so it goes in strips on this
        // thread.
        constexpr int StripRows = 64;
        for (const QRect& r : region)
            for (int y = r.top(); y <= r.bottom(); y += StripRows) {
                const QRect strip(r.left(), y, r.width(), std::min(StripRows, r.bottom() + 1 - y));
                p.drawImage(strip.topLeft(), img, strip);
            }
    }
    // Beyond the retained picture (a window larger than the screen): white.
    const QRegion outside = region.subtracted(QRegion(img.rect()));
    for (const QRect& o : outside)
        p.fillRect(o, bgrToQColor(m_surface.backColor()));
}

void SurfaceView::mousePressEvent(QMouseEvent* e) {
    if (onMouseDown) {
        const QPointF at = placementOnScreen().toPicture(e->position());
        onMouseDown(e->button(), e->modifiers(), at.x(), at.y());
    }
    e->accept();
}

void SurfaceView::mouseMoveEvent(QMouseEvent* e) {
    if (onMouseMove) {
        const QPointF at = placementOnScreen().toPicture(e->position());
        onMouseMove(e->buttons(), e->modifiers(), at.x(), at.y());
    }
    e->accept();
}

void SurfaceView::mouseReleaseEvent(QMouseEvent* e) {
    if (onMouseUp) {
        const QPointF at = placementOnScreen().toPicture(e->position());
        onMouseUp(e->button(), e->modifiers(), at.x(), at.y());
    }
    e->accept();
}

void SurfaceView::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    if (onResize)
        onResize();
}

QPalette toolStripPalette() {
    QPalette pal(QColor(239, 239, 239));
    const std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("Fusion")));
    if (fusion)
        pal = fusion->standardPalette();
    // Every colour counts as set, so that none follows the desktop's scheme
    // when it changes.
    pal.setResolveMask(~QPalette::ResolveMask(0));
    return pal;
}

namespace {
double luminance(const QColor& c) {
    auto linear = [](double v) {
        return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
}
} // namespace

double contrastRatio(const QColor& a, const QColor& b) {
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor readableOn(const QColor& colour, const QColor& background, double ratio) {
    QColor c = colour.toRgb();
    for (int step = 0; step < 256 && contrastRatio(c, background) < ratio; ++step)
        c = QColor(c.red() * 255 / 256, c.green() * 255 / 256, c.blue() * 255 / 256);
    return c;
}

ToolStrip::ToolStrip(QWidget* parent) : QFrame(parent) {
    setAutoFillBackground(true);
    setFrameShape(QFrame::NoFrame);
    setPalette(toolStripPalette());
}

bool ToolStrip::event(QEvent* e) {
    if (e->type() == QEvent::Polish) {
        // Under a style sheet (the strip's fonts) a control takes the
        // application's palette, not its parent's: each is given the strip's
        // before it is polished, over the colours it set itself.
        const QPalette strip = toolStripPalette();
        for (QWidget* w : findChildren<QWidget*>()) {
            QPalette own = w->palette().resolve(strip);
            own.setResolveMask(~QPalette::ResolveMask(0)); // every colour set
            w->setPalette(own);
        }
    }
    return QFrame::event(e);
}
void ToolStrip::mousePressEvent(QMouseEvent* e) {
    e->accept();
}
void ToolStrip::mouseMoveEvent(QMouseEvent* e) {
    e->accept();
}
void ToolStrip::mouseReleaseEvent(QMouseEvent* e) {
    e->accept();
}

TypingBox::TypingBox(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled, false);
}

bool TypingBox::event(QEvent* e) {
    // Tab and Backtab are keys of the window like any other here (they never
    // enter the line), and then move the focus on, as from any control.
    if (e->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(e);
        if ((k->key() == Qt::Key_Tab || k->key() == Qt::Key_Backtab) &&
            !(k->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
            keyPressEvent(k);
            focusNextPrevChild(k->key() == Qt::Key_Tab && !(k->modifiers() & Qt::ShiftModifier));
            return true;
        }
    }
    return QWidget::event(e);
}

void TypingBox::keyPressEvent(QKeyEvent* e) {
    if (onKeyDown)
        onKeyDown(e);
    e->accept();
}

void TypingBox::keyReleaseEvent(QKeyEvent* e) {
    if (onKeyUp)
        onKeyUp(e);
    e->accept();
}

void TypingBox::paintEvent(QPaintEvent*) {}

} // namespace quill
