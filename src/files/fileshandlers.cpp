// File > Save and File > Open of expression files.

#include "app/mainpanel.h"
#include "app/widgets.h"
#include "files/expfile.h"

namespace quill {

namespace {
FileDialogRequest expressionDialog(Platform& platform) {
    FileDialogRequest r;
    r.initialFolder = platform.expressionsFolder();
    r.filter = QStringLiteral("Expression Files (*.exp)|*.exp");
    return r;
}
} // namespace

void MainPanel::Save_Click() {
    SaveExpression();
}

bool MainPanel::SaveExpression() {
    FileDialogRequest request = expressionDialog(m_platform);
    request.confirmOverwrite = true;
    // A name typed without an extension gets ".exp", so that Open lists it.
    request.defaultSuffix = QStringLiteral("exp");
    const std::optional<QString> path = m_platform.getSaveFileName(this, request);
    if (!path) {
        Picture4->setFocus();
        return false; // cancelled
    }
    // The file is replaced only once the new one is complete; a failed
    // write leaves the old file as it was.
    const FileResult result = saveExpressionFile(*path, expression);
    if (result.ok) {
        changeTracker.markKept();
        Q_EMIT expressionKept(*path);
        m_platform.messageBox(this, {*path + QStringLiteral(" :-  file saved"),
                                     QStringLiteral("Save Expression"), MessageIcon::Information});
    } else {
        m_platform.messageBox(this,
                              {result.message, QStringLiteral("Save"), MessageIcon::Critical});
    }
    Picture4->setFocus();
    return result.ok;
}

void MainPanel::Open_Click() {
    if (!ConfirmDiscardChanges())
        return;
    if (imageSet != VbFalse)
        LeaveImageMode();
    FileDialogRequest request = expressionDialog(m_platform);
    request.hideReadOnly = true;
    const std::optional<QString> path = m_platform.getOpenFileName(this, request);
    if (!path) {
        Picture4->setFocus();
        return; // cancelled
    }
    OpenExpressionFile(*path);
}

bool MainPanel::OpenExpressionFile(const QString& path) {
    LoadResult result = loadExpressionFile(path, expression);
    if (!result.ok) {
        // Refused as a whole: the expression on screen stays as it was.
        m_platform.messageBox(this,
                              {result.message, QStringLiteral("Open"), MessageIcon::Critical});
        Picture4->setFocus();
        return false;
    }
    expression = std::move(result.expression);
    Picture4->setFocus();
    Redraw();
    expressionReplaced();
    Q_EMIT expressionKept(path);
    return true;
}

} // namespace quill
