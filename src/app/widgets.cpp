#include "app/widgets.h"

#include "render/pixelcopy.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEngine>
#include <QPainter>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <algorithm>
#include <cmath>

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
    m_surface.setRefreshHandler([this](const QRegion& r) { repaint(r); });
}

namespace {
// Where the window's picture is a plain image in memory at the picture's
// own scale and format (Qt's raster backing store), the canvas's pixels are
// copied into it directly, streamed past the cache; anything else goes
// through the painter. False if it did not copy.
bool copyStraight(QPainter& p, const QImage& img, const QRegion& region) {
    QPaintEngine* engine = p.paintEngine();
    QPaintDevice* device = engine != nullptr ? engine->paintDevice() : nullptr;
    if (device == nullptr || device->devType() != QInternal::Image ||
        img.format() != QImage::Format_RGB32)
        return false;
    auto* target = static_cast<QImage*>(device);
    const QImage::Format f = target->format();
    if ((f != QImage::Format_RGB32 && f != QImage::Format_ARGB32 &&
         f != QImage::Format_ARGB32_Premultiplied) ||
        !target->isDetached() || target->devicePixelRatio() != 1.0 || img.devicePixelRatio() != 1.0)
        return false;
    const QTransform t = p.deviceTransform();
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
    if (!copyStraight(p, img, e->region())) {
        // Qt's raster engine hands a copy of 96 rows or more to its thread
        // pool and waits for it; the copy itself is far quicker than that
        // hand-over when the machine is busy, so it goes in strips on this
        // thread.
        constexpr int StripRows = 64;
        for (const QRect& r : e->region())
            for (int y = r.top(); y <= r.bottom(); y += StripRows) {
                const QRect strip(r.left(), y, r.width(), std::min(StripRows, r.bottom() + 1 - y));
                p.drawImage(strip.topLeft(), img, strip);
            }
    }
    // Beyond the retained picture (a window larger than the screen): white.
    const QRegion outside = e->region().subtracted(QRegion(img.rect()));
    for (const QRect& o : outside)
        p.fillRect(o, bgrToQColor(m_surface.backColor()));
}

void SurfaceView::mousePressEvent(QMouseEvent* e) {
    if (onMouseDown)
        onMouseDown(e->button(), e->modifiers(), e->position().x(), e->position().y());
    e->accept();
}

void SurfaceView::mouseMoveEvent(QMouseEvent* e) {
    if (onMouseMove)
        onMouseMove(e->buttons(), e->modifiers(), e->position().x(), e->position().y());
    e->accept();
}

void SurfaceView::mouseReleaseEvent(QMouseEvent* e) {
    if (onMouseUp)
        onMouseUp(e->button(), e->modifiers(), e->position().x(), e->position().y());
    e->accept();
}

void SurfaceView::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    if (onResize)
        onResize();
}

ToolStrip::ToolStrip(QWidget* parent) : QFrame(parent) {
    setAutoFillBackground(true);
    setFrameShape(QFrame::NoFrame);
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
