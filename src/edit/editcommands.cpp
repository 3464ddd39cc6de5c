// The Edit menu: undo and redo of changes to the expression, and copy and
// paste of the expression through the clipboard.

#include "app/mainpanel.h"
#include "app/selectioncontroller.h"
#include "app/widgets.h"
#include "edit/pasteitems.h"
#include "export/expressioncanvas.h"
#include "export/workspacecapture.h"
#include "files/expcodec.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>

namespace quill {

void MainPanel::recordHistoryStep(bool extendsLastStep) {
    if (extendsLastStep)
        history.extendLast(expression, changeTracker.current());
    else
        history.record(expression, changeTracker.current());
    m_hasLiveItem = hasLiveItem(expression);
    updateEditMenu();
}

void MainPanel::updateEditMenu() {
    if (!mnuUndo)
        return;
    // The tables change only outside image mode and between drags.
    const bool editable = imageSet == VbFalse && canvasButtonDown == VbFalse;
    mnuUndo->setEnabled(editable && history.canUndo());
    mnuRedo->setEnabled(editable && history.canRedo());
    mnuCopy->setEnabled((imageSet != VbFalse && outlineSet != VbFalse) || m_hasLiveItem);
    mnuPaste->setEnabled(editable && m_clipboardHasExpression);
    if (mnuInsertFormula)
        mnuInsertFormula->setEnabled(editable);
    if (selection)
        selection->updateActions();
}

void MainPanel::clipboardChanged(bool lookInside) {
    const QClipboard* clipboard = QGuiApplication::clipboard();
    const QMimeData* offer = clipboard ? clipboard->mimeData() : nullptr;
    if (!offer)
        m_clipboardHasExpression = false;
    else if (offer->hasFormat(QString::fromLatin1(ExpressionMimeType)))
        m_clipboardHasExpression = true;
    else if (!offer->hasFormat(QStringLiteral("image/png")))
        m_clipboardHasExpression = false;
    else
        // Whether a picture carries an expression takes reading it, which
        // waits for the program that offers it: only when the menu opens.
        m_clipboardHasExpression = !lookInside || expressionFromClipboard(offer).has_value();
    updateEditMenu();
}

void MainPanel::Undo_Click() {
    stepHistory(&History::undo);
}

void MainPanel::Redo_Click() {
    stepHistory(&History::redo);
}

void MainPanel::stepHistory(bool (History::*step)(Expression&, History::Revision&)) {
    if (imageSet != VbFalse || canvasButtonDown != VbFalse)
        return;
    History::Revision revision = 0;
    if (!(history.*step)(expression, revision))
        return;
    changeTracker.restore(revision);
    m_hasLiveItem = hasLiveItem(expression);
    Redraw(); // brings the Edit menu up to date
    Q_EMIT expressionTouched();
}

ClipboardPicture MainPanel::clipboardPicture() {
    ClipboardPicture picture;
    const EncodeResult file = encodeExpression(expression);
    if (file.ok)
        picture.expFile = QByteArray(reinterpret_cast<const char*>(file.bytes.data()),
                                     static_cast<qsizetype>(file.bytes.size()));
    picture.pixelsPerMetre = pixelsPerMetre(sizeReductionPosition());
    if (imageSet != VbFalse && outlineSet != VbFalse) {
        // The pixels Save Image would take: the area inside the outline, of
        // the frozen copy the outline is drawn over.
        const OutlineArea area = outlineArea(outlineX1, outlineY1, outlineX2, outlineY2);
        if (!area.empty() && static_cast<long long>(area.width) * area.height <= MaxAreaPixels)
            captureOutline(picture6Copy, area, picture.captured);
        return picture;
    }
    const QSize screenSize = canvas.image().size();
    if (!m_clipboardPainter || m_clipboardPainter->screen() != screenSize)
        m_clipboardPainter = std::make_unique<ClipboardPainter>(screenSize);
    if (selection && !selection->empty()) {
        // The selected items alone, as a picture and as a file of their own.
        const Expression chosen = selection->selectedExpression();
        const EncodeResult part = encodeExpression(chosen);
        picture.expFile = part.ok ? QByteArray(reinterpret_cast<const char*>(part.bytes.data()),
                                               static_cast<qsizetype>(part.bytes.size()))
                                  : QByteArray();
        picture.captured = m_clipboardPainter->fitted(chosen);
        return picture;
    }
    picture.captured = m_clipboardPainter->fitted(expression);
    return picture;
}

void MainPanel::Copy_Click() {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return;
    clipboard->setMimeData(new PictureMimeData(clipboardPicture()));
}

void MainPanel::Paste_Click() {
    if (imageSet != VbFalse || canvasButtonDown != VbFalse)
        return;
    const QClipboard* clipboard = QGuiApplication::clipboard();
    const std::optional<Expression> pasted =
        expressionFromClipboard(clipboard ? clipboard->mimeData() : nullptr);
    // Anything else on the clipboard, or nothing to add: nothing happens.
    if (!pasted || !hasLiveItem(*pasted))
        return;
    const RowCounts before = nextAppendRows(expression);
    if (!appendLiveItems(expression, *pasted))
        return;                        // would not fit: the expression stays as it was
    selection->selectAppended(before); // what is pasted is selected
    Redraw();
    expressionChanged();
}

} // namespace quill
