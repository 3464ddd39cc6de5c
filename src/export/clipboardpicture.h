#pragma once
// What Edit > Copy puts on the clipboard and what Edit > Paste takes from
// it: a picture of the expression in the exporter's 16 grey levels, as a
// PNG that carries the expression file and as the bitmap Save Image would
// write, and the expression file itself.

#include "export/bmpimage.h"
#include "export/expressioncanvas.h"
#include "model/expression.h"

#include <QByteArray>
#include <QMimeData>
#include <QSize>
#include <QStringList>
#include <optional>

class QImage;

namespace quill {

// The clipboard type of an expression file's bytes.
inline constexpr char ExpressionMimeType[] = "application/x-corvel-quillmark-expression";

// The picture is fitted with this many white pixels around the ink.
inline constexpr int ClipboardFitMargin = 8;

struct ClipboardPicture {
    CapturedImage captured;          // no pixels when there is nothing to show
    std::int32_t pixelsPerMetre = 0; // the size reduction, as the bitmap stores it
    QByteArray expFile;              // the whole expression
};

// Paints expressions as the command-line exporter does, as a canvas of the
// screen's size shows them, on a surface kept from one copy to the next.
class ClipboardPainter {
public:
    explicit ClipboardPainter(QSize screen);
    QSize screen() const { return m_canvas.screen(); }

    // The tightest box around the ink of every live item with the margin
    // of white around it; no pixels when nothing is inked.
    CapturedImage fitted(const Expression& expr);

private:
    ExpressionCanvas m_canvas;
};

// The clipboard's offer for a picture. The picture formats are made only
// when someone asks for them, so copying costs little more than the
// capture; an image without pixels offers the expression alone.
class PictureMimeData : public QMimeData {
    Q_OBJECT
public:
    explicit PictureMimeData(ClipboardPicture picture);

    QStringList formats() const override;
    bool hasFormat(const QString& mimeType) const override;

    const ClipboardPicture& picture() const { return m_picture; }
    QByteArray pngBytes() const;
    QByteArray bmpBytes() const;

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override;

private:
    ClipboardPicture m_picture;
    mutable std::optional<QByteArray> m_png;
    mutable std::optional<QByteArray> m_bmp;
};

// The expression a clipboard offer carries: its own type, or a PNG with
// the expression embedded. Nothing for anything else, or when what it
// carries is not a whole expression file.
std::optional<Expression> expressionFromClipboard(const QMimeData* data);

} // namespace quill
