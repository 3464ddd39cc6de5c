#include "export/expressioncanvas.h"

#include "edit/tables.h"
#include "export/bmpimage.h"
#include "export/pictureformats.h"
#include "export/workspacecapture.h"
#include "render/glyphoutlines.h"
#include "render/layers.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>
#include <algorithm>
#include <cstring>

namespace quill {

void registerProgramFonts(const QString& folder) {
    static QStringList done; // a font file is registered once per process
    if (done.contains(folder))
        return;
    done << folder;
    for (const std::string_view name : ProgramFontFiles) {
        const QString path = QDir(folder).filePath(
            QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
        if (QFileInfo::exists(path))
            registerCanvasFont(path);
    }
}

namespace {

// A pixel packs to white only at the top grey level. Green sits at the same
// bits in a QRgb as in a stored colour, so the level reads straight off it.
bool inked(QRgb p) {
    return greyLevel(static_cast<std::int32_t>(p & 0xFFFFFFu)) != 15;
}

} // namespace

std::optional<QRect> greyInkBounds(const QImage& picture, std::optional<QRect> within) {
    if (picture.format() != QImage::Format_RGB32 && picture.format() != QImage::Format_ARGB32)
        return greyInkBounds(picture.convertToFormat(QImage::Format_RGB32), within);
    const QRect area = within ? within->intersected(picture.rect()) : picture.rect();
    if (area.isEmpty())
        return std::nullopt;
    const int x0 = area.left(), x1 = area.right();
    int top = -1, bottom = -1, left = x1 + 1, right = x0 - 1;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(picture.constScanLine(y));
        // Whether the row has ink at all: one pass that ANDs every pixel,
        // which the compiler vectorises; most rows are blank.
        QRgb all = ~QRgb(0);
        for (int x = x0; x <= x1; ++x)
            all &= row[x];
        if (!inked(all))
            continue;
        if (top < 0)
            top = y;
        bottom = y;
        int x = x0;
        while (x < left && !inked(row[x]))
            ++x;
        left = std::min(left, x);
        x = x1;
        while (x > right && !inked(row[x]))
            --x;
        right = std::max(right, x);
    }
    if (top < 0)
        return std::nullopt;
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

ExpressionCanvas::ExpressionCanvas(QSize screen)
    : m_surface(QSize(1, 1), BgrWhite), m_screen(screen) {}

QRect ExpressionCanvas::workspaceRect() const {
    // As the editor's image workspace: the canvas from the tool strip down,
    // at least one row.
    const int top = std::min(WorkspaceTop, m_screen.height() - 1);
    return QRect(0, top, m_screen.width(), std::max(1, m_screen.height() - top));
}

QRect ExpressionCanvas::itemsBounds(const Expression& expr) {
    return ItemsBounds(m_surface, expr);
}

QImage ExpressionCanvas::paint(const Expression& expr, const QRect& area) {
    // The surface grows to take each area, so that exporting many
    // expressions one after another seldom makes a new picture; but a wide
    // area after a tall one does not make it both wide and tall.
    const QSize now = m_surface.size();
    if (now.width() < area.width() || now.height() < area.height()) {
        const QSize grown = now.expandedTo(area.size());
        const long long need = static_cast<long long>(area.width()) * area.height();
        const long long kept = static_cast<long long>(grown.width()) * grown.height();
        m_surface.resize(kept <= std::max(2 * need, 4LL << 20) ? grown : area.size());
    }
    // The editor's repaint with the grid and markers switched off and no
    // line being typed: the foreground goes black and the items are drawn,
    // lines under text, the area's corner at the surface's.
    m_surface.beginFrame();
    m_surface.setForeColor(BgrBlack);
    DrawItems(m_surface, expr, area.topLeft());
    m_surface.endFrame();
    const QImage& img = m_surface.image();
    return QImage(img.constBits(), area.width(), area.height(), img.bytesPerLine(), img.format());
}

ExportArea ExpressionCanvas::fitted(const Expression& expr, int margin) {
    ExportArea a;
    const QRect workspace = workspaceRect();
    // Only where the items draw can there be ink; it is painted with the
    // margin around it, so that a box inside the workspace is taken
    // straight from the picture.
    const QRect area = itemsBounds(expr).intersected(workspace);
    if (!area.isEmpty()) {
        const QRect painted = area.adjusted(-margin, -margin, margin, margin);
        const QImage picture = paint(expr, painted);
        const QPoint corner = painted.topLeft();
        if (const std::optional<QRect> ink = greyInkBounds(picture, area.translated(-corner))) {
            // The box in the picture's pixels, and in the workspace's.
            const QRect box = ink->adjusted(-margin, -margin, margin, margin);
            a.rect = box.translated(corner - workspace.topLeft());
            if (static_cast<long long>(box.width()) * box.height() > MaxAreaPixels) {
                a.message = QStringLiteral("the fitted area of %1 x %2 pixels is too large")
                                .arg(box.width())
                                .arg(box.height());
                return a;
            }
            // Nothing is drawn in the workspace outside `area`, so the
            // margin is white there already.
            const QRect inWorkspace = workspace.translated(-corner);
            if (inWorkspace.contains(box)) {
                OutlineArea inside;
                inside.left = box.left();
                inside.top = box.top();
                inside.width = box.width();
                inside.height = box.height();
                a.captured = captureOutline(picture, inside);
                a.ok = true;
                return a;
            }
            // The margin is white even where it reaches past the workspace:
            // the box is captured from a white picture of its own size that
            // holds the workspace's part of it.
            QImage boxed(box.size(), QImage::Format_RGB32);
            boxed.fill(Qt::white);
            const QRect source = box.intersected(inWorkspace).intersected(picture.rect());
            for (int y = source.top(); y <= source.bottom(); ++y)
                std::memcpy(boxed.scanLine(y - box.top()) +
                                static_cast<std::ptrdiff_t>(source.left() - box.left()) * 4,
                            picture.constScanLine(y) +
                                static_cast<std::ptrdiff_t>(source.left()) * 4,
                            static_cast<std::size_t>(source.width()) * 4);
            OutlineArea whole;
            whole.width = box.width();
            whole.height = box.height();
            a.captured = captureOutline(boxed, whole);
            a.ok = true;
            return a;
        }
    }
    a.message = QStringLiteral("empty area: nothing is drawn in the %1 x %2 workspace")
                    .arg(workspace.width())
                    .arg(workspace.height());
    return a;
}

ExportArea ExpressionCanvas::outlined(const Expression& expr, const std::array<int, 4>& c) {
    ExportArea a;
    const OutlineArea inside = outlineArea(c[0], c[1], c[2], c[3]);
    if (inside.empty()) {
        a.message = QStringLiteral("empty area: the outline %1,%2,%3,%4 encloses no pixels")
                        .arg(c[0])
                        .arg(c[1])
                        .arg(c[2])
                        .arg(c[3]);
        return a;
    }
    if (static_cast<long long>(inside.width) * inside.height > MaxAreaPixels) {
        a.message = QStringLiteral("the outline's area of %1 x %2 pixels is too large")
                        .arg(inside.width)
                        .arg(inside.height);
        return a;
    }
    a.rect = QRect(inside.left, inside.top, inside.width, inside.height);
    // Only the part inside the workspace is painted; the rest of the
    // outline lies off the picture, as it does on the editor's.
    const QRect workspace = workspaceRect();
    const QRect area = a.rect.translated(workspace.topLeft()).intersected(workspace);
    OutlineArea inPicture = inside;
    QImage picture;
    if (!area.isEmpty()) {
        picture = paint(expr, area);
        inPicture.left = inside.left + workspace.left() - area.left();
        inPicture.top = inside.top + workspace.top() - area.top();
    }
    a.captured = captureOutline(picture, inPicture);
    a.ok = true;
    return a;
}

} // namespace quill
