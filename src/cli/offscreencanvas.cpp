#include "cli/offscreencanvas.h"

#include "edit/tables.h"
#include "export/bmpimage.h"
#include "render/fontface.h"
#include "render/glyphoutlines.h"
#include "render/layers.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <fontconfig/fontconfig.h>

namespace quill::cli {

void useProgramFontsOnly() {
    // An empty configuration: no font folders, no rules. Installed as the
    // current one, it is the one Qt finds, so the system's is never read.
    if (FcConfig* empty = FcConfigCreate())
        FcConfigSetCurrent(empty);
}

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

OffscreenCanvas::OffscreenCanvas(QSize screen) : m_canvas(screen, BgrWhite) {}

void OffscreenCanvas::paint(const Expression& expr) {
    // The editor's repaint with the grid and markers switched off and no
    // line being typed: the foreground goes black and the items are drawn,
    // lines under text.
    m_canvas.beginFrame();
    m_canvas.setForeColor(BgrBlack);
    DrawItems(m_canvas, expr);
    m_canvas.endFrame();
}

QImage OffscreenCanvas::workspace() const {
    const QImage& img = m_canvas.image();
    const int height = std::max(1, img.height() - WorkspaceTop);
    const int top = std::min(WorkspaceTop, img.height() - 1);
    return QImage(img.constScanLine(top), img.width(), std::min(height, img.height() - top),
                  img.bytesPerLine(), img.format());
}

QRect OffscreenCanvas::paintedArea() const {
    return m_canvas.lastFrameBounds().translated(0, -WorkspaceTop).intersected(workspace().rect());
}

namespace {

// A pixel packs to white only at the top grey level. Green sits at the same
// bits in a QRgb as in a stored colour, so the level reads straight off it.
bool inked(QRgb p) {
    return greyLevel(static_cast<std::int32_t>(p & 0xFFFFFFu)) != 15;
}

} // namespace

std::optional<QRect> inkBounds(const QImage& workspace, std::optional<QRect> within) {
    if (workspace.format() != QImage::Format_RGB32 && workspace.format() != QImage::Format_ARGB32)
        return inkBounds(workspace.convertToFormat(QImage::Format_RGB32), within);
    const QRect area = within ? within->intersected(workspace.rect()) : workspace.rect();
    if (area.isEmpty())
        return std::nullopt;
    const int x0 = area.left(), x1 = area.right();
    int top = -1, bottom = -1, left = x1 + 1, right = x0 - 1;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(workspace.constScanLine(y));
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

} // namespace quill::cli
