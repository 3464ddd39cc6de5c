// Image mode, the outline and Save Image: the frozen copy of the canvas in
// the workspace Picture6, the rectangle dragged on it, and the capture of
// the pixels inside that the bitmap file is made from.

#include "app/mainpanel.h"
#include "app/selectioncontroller.h"
#include "app/widgets.h"
#include "edit/keycodes.h"
#include "edit/tables.h"
#include "export/pictureformats.h"
#include "export/workspacecapture.h"
#include "files/atomicwrite.h"
#include "files/expcodec.h"
#include "model/vbtypes.h"

#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <array>
#include <cstring>

namespace quill {

namespace {

int buttonCode(Qt::MouseButton b) {
    return b == Qt::LeftButton ? 1 : b == Qt::RightButton ? 2 : b == Qt::MiddleButton ? 4 : 0;
}

int buttonsCode(Qt::MouseButtons b) {
    return (b & Qt::LeftButton ? 1 : 0) | (b & Qt::RightButton ? 2 : 0) |
           (b & Qt::MiddleButton ? 4 : 0);
}

// The frame with corners (x1, y1) and (x2, y2), both included.
QRect frameOf(int x1, int y1, int x2, int y2) {
    return QRect(QPoint(std::min(x1, x2), std::min(y1, y2)),
                 QPoint(std::max(x1, x2), std::max(y1, y2)));
}

// The four one-pixel edges of a frame.
std::array<QRect, 4> frameEdges(const QRect& frame) {
    return {QRect(frame.left(), frame.top(), frame.width(), 1),
            QRect(frame.left(), frame.bottom(), frame.width(), 1),
            QRect(frame.left(), frame.top(), 1, frame.height()),
            QRect(frame.right(), frame.top(), 1, frame.height())};
}

} // namespace

void MainPanel::connectImageExport() {
    Picture6->onMouseDown = [this](Qt::MouseButton b, Qt::KeyboardModifiers m, double x, double y) {
        Picture6_MouseDown(buttonCode(b), shiftMask(m), x, y);
    };
    Picture6->onMouseMove = [this](Qt::MouseButtons b, Qt::KeyboardModifiers m, double x,
                                   double y) {
        Picture6_MouseMove(buttonsCode(b), shiftMask(m), x, y);
    };
    Picture6->onMouseUp = [this](Qt::MouseButton b, Qt::KeyboardModifiers m, double x, double y) {
        Picture6_MouseUp(buttonCode(b), shiftMask(m), x, y);
    };
    // Text typed into the size-reduction field leaves no entry selected
    // until one is chosen again from the list. It stays as typed: it is not
    // completed to an entry, never added to the list, and a field left with
    // the text of an entry ("8") does not choose that entry.
    cboSizeRed->setCompleter(nullptr);
    cboSizeRed->setInsertPolicy(QComboBox::NoInsert);
    if (QLineEdit* edit = cboSizeRed->lineEdit()) {
        disconnect(edit, &QLineEdit::editingFinished, cboSizeRed, nullptr);
        connect(edit, &QLineEdit::textEdited, this, [this] { sizeRedTyped = true; });
    }
    connect(cboSizeRed, &QComboBox::currentIndexChanged, this, [this] { sizeRedTyped = false; });
    connect(cboSizeRed, &QComboBox::activated, this, [this] { sizeRedTyped = false; });
}

int MainPanel::sizeReductionPosition() const {
    return sizeRedTyped ? sizeReductionPositionOfText(cboSizeRed->currentText().toStdString())
                        : cboSizeRed->currentIndex();
}

// --- Image mode ------------------------------------------------------------

void MainPanel::cmdSetImage_Click() {
    if (imageSet != VbFalse) {
        LeaveImageMode();
        return;
    }
    imageSet = VbTrue;
    // Each box's own handler runs as it changes and redraws without it.
    chkMarkers->setValue(0);
    chkGrid->setValue(0);
    Redraw();

    // The copy lies exactly over the canvas it shows: Picture6 sits at
    // (0, 96) of the client area.
    const QSize size = picture6Surface.size();
    picture6Copy = QImage(size, QImage::Format_RGB32);
    picture6Copy.fill(Qt::white);
    const QRect from = QRect(QPoint(0, 96), size).intersected(canvas.image().rect());
    if (!from.isEmpty()) {
        const QImage block = canvas.image().copy(from);
        for (int y = 0; y < block.height(); ++y)
            std::memcpy(picture6Copy.scanLine(from.top() - 96 + y) + 4 * from.left(),
                        block.constScanLine(y), static_cast<std::size_t>(4 * block.width()));
    }
    picture6Surface.blit(picture6Copy, picture6Copy.rect(), QPoint(0, 0));
    outlineOnWorkspace.reset();
    picture6Surface.refresh();
    Picture6->show();

    for (QWidget* w :
         std::initializer_list<QWidget*>{cmdLine, optH, optV, cboLine, cboFont, cboFsize,
                                         chkMarkers, chkShowKB, chkGrid, chkText})
        w->setEnabled(false);
    cmdSetOutline->setEnabled(true);
    cmdSavim->setEnabled(true);
    cboSizeRed->setEnabled(true);
}

void MainPanel::LeaveImageMode() {
    imageSet = VbFalse;
    Picture6->hide();
    for (QWidget* w :
         std::initializer_list<QWidget*>{cmdLine, optH, optV, cboLine, cboFont, cboFsize,
                                         chkMarkers, chkShowKB, chkGrid, chkText})
        w->setEnabled(true);
    cmdSetOutline->setEnabled(false);
    cmdSavim->setEnabled(false);
    cboSizeRed->setEnabled(false);
    if (!selection->empty())
        Redraw(); // the selection's marks show again
    else
        updateEditMenu();
}

// --- The outline -----------------------------------------------------------

void MainPanel::cmdSetOutline_Click() {
    outlineArmed = VbTrue;
}

void MainPanel::Picture6_MouseDown(int, int, double x, double y) {
    if (outlineArmed == VbFalse) {
        outlineSet = VbFalse;
        return;
    }
    outlineX1 = outlineX2 = roundHalfEven16(x);
    outlineY1 = outlineY2 = roundHalfEven16(y);
    outlineDragging = VbTrue;
    outlineSet = VbFalse;
}

void MainPanel::Picture6_MouseMove(int, int, double x, double y) {
    if (outlineArmed == VbFalse || outlineDragging == VbFalse)
        return;
    outlineX2 = roundHalfEven16(x);
    outlineY2 = roundHalfEven16(y);
    DrawOutline();
}

void MainPanel::Picture6_MouseUp(int, int, double, double) {
    outlineDragging = VbFalse;
}

void MainPanel::DrawOutline() {
    // Only the last frame's pixels differ from the copy, so putting those
    // back restores the whole workspace.
    if (outlineOnWorkspace) {
        for (const QRect& edge : frameEdges(*outlineOnWorkspace)) {
            const QRect r = edge.intersected(picture6Copy.rect());
            if (!r.isEmpty())
                picture6Surface.blit(picture6Copy, r, r.topLeft());
        }
    }
    picture6Surface.setForeColor(BgrBlue);
    picture6Surface.box(outlineX1, outlineY1, outlineX2, outlineY2, BgrBlue);
    outlineOnWorkspace = frameOf(outlineX1, outlineY1, outlineX2, outlineY2);
    outlineSet = VbTrue;
    picture6Surface.refresh();
    updateEditMenu();
}

// --- Save Image ------------------------------------------------------------

void MainPanel::cmdSavIm_Click() {
    imageHeader = BitmapHeader{};
    if (outlineSet == VbFalse) {
        m_platform.messageBox(this, {QStringLiteral("Outline must be set first."),
                                     QStringLiteral("Outline"), MessageIcon::Exclamation});
        return;
    }
    // Corners in any order; the area lies one pixel inside the lesser corner
    // and two inside the greater.
    const OutlineArea area = outlineArea(outlineX1, outlineY1, outlineX2, outlineY2);
    if (area.empty()) {
        m_platform.messageBox(
            this, {QStringLiteral("The outline has no room inside it. Drag a larger outline."),
                   QStringLiteral("Outline"), MessageIcon::Exclamation});
        return;
    }
    // A factor typed into the field counts when it is one of the list's;
    // anything else would store a meaningless resolution.
    if (sizeReductionPosition() < 0) {
        m_platform.messageBox(this,
                              {QStringLiteral("The size reduction must be 1, 2, 4, 8, 16 or 32."),
                               QStringLiteral("Size Reduction"), MessageIcon::Exclamation});
        cboSizeRed->setFocus();
        return;
    }
    // The frame lies on the same pixels as the blue one: painting it white
    // keeps the frame out of the picture.
    picture6Surface.setForeColor(BgrWhite);
    picture6Surface.box(outlineX1, outlineY1, outlineX2, outlineY2, BgrWhite);
    outlineOnWorkspace = frameOf(outlineX1, outlineY1, outlineX2, outlineY2);
    picture6Surface.refresh();

    // The label and the bar show a capture slow enough to be watched; a
    // quicker one is over before they could be seen, and painting them
    // would cost more than the capture itself. Once shown, a new value
    // paints the bar at once, so the bar moves only when the capture has
    // taken long enough since it last moved for anyone to see it.
    CaptureProgressView progress;
    progress.show = [this](float value) {
        ProgressBar1->setValue(static_cast<int>(value));
        ProgressBar1->show();
        Label1->show();
        Label1->repaint();
    };
    progress.move = [this](float value) { ProgressBar1->setValue(static_cast<int>(value)); };
    // The strip shows again where they were by the time the dialog is up.
    progress.hide = [this] {
        Label1->hide();
        ProgressBar1->hide();
    };
    captureOutline(picture6Surface.image(), area, pixelColours, progress);
    startSave();
}

void MainPanel::startSave() {
    const int position = sizeReductionPosition();
    imageHeader.xPixelsPerMetre = imageHeader.yPixelsPerMetre = pixelsPerMetre(position);

    FileDialogRequest request;
    request.initialFolder = m_platform.imagesFolder();
    request.filter = QString::fromLatin1(SaveImageFilters);
    request.confirmOverwrite = true;
    // A name typed without an extension gets the chosen type's: ".bmp" at first.
    request.defaultSuffix = QStringLiteral("bmp");
    QString chosenFilter = QStringLiteral("Image Files (*.bmp)");
    request.selectedFilter = &chosenFilter;
    const std::optional<QString> path = m_platform.getSaveFileName(this, request);
    if (path) {
        // The old file is replaced only once every byte of the new one is
        // on the disk; a failure leaves it as it was and says why.
        const SaveImageTarget target = saveImageTarget(*path, chosenFilter);
        if (target.path != *path && QFileInfo::exists(target.path)) {
            // The dialog asked about the name as typed, not about this one.
            m_platform.messageBox(
                this, {target.path + QStringLiteral(" already exists. To replace it, type the "
                                                    "name with its extension."),
                       QStringLiteral("Save Image"), MessageIcon::Exclamation});
            Picture4->setFocus();
            return;
        }
        std::vector<std::uint8_t> bytes;
        auto take = [&bytes](const QByteArray& b) {
            bytes.assign(reinterpret_cast<const std::uint8_t*>(b.constData()),
                         reinterpret_cast<const std::uint8_t*>(b.constData()) + b.size());
        };
        switch (target.format) {
        case PictureFormat::Bmp:
            bytes = bitmapFileFromCapture(pixelColours, imageHeader);
            break;
        case PictureFormat::Png: {
            const EncodeResult exp = encodeExpression(expression);
            if (exp.ok)
                take(pngBytes(pixelColours, imageHeader.xPixelsPerMetre, false,
                              QByteArray(reinterpret_cast<const char*>(exp.bytes.data()),
                                         static_cast<qsizetype>(exp.bytes.size()))));
            break;
        }
        case PictureFormat::Svg: {
            const OutlineArea a = outlineArea(outlineX1, outlineY1, outlineX2, outlineY2);
            take(svgBytes(expression, QRect(a.left, a.top, a.width, a.height),
                          imageHeader.xPixelsPerMetre / pixelsPerMetre(0), false));
            break;
        }
        }
        const FileResult written =
            bytes.empty()
                ? FileResult{false,
                             QStringLiteral("Could not save \"%1\": the picture could not be made")
                                 .arg(target.path),
                             {}}
                : writeFileAtomically(target.path, bytes);
        if (written.ok)
            m_platform.messageBox(this, {target.path + QStringLiteral(" :-  file saved"),
                                         QStringLiteral("Save Image"), MessageIcon::Information});
        else
            m_platform.messageBox(
                this, {written.message, QStringLiteral("Save Image"), MessageIcon::Critical});
    }
    Picture4->setFocus();
}

} // namespace quill
