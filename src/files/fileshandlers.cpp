// File > Save and File > Open of expression files.

#include "app/mainpanel.h"
#include "app/widgets.h"
#include "files/expfile.h"

namespace quill {

namespace {
FileDialogRequest expressionDialog(Platform& platform) {
    FileDialogRequest r;
    r.initialFolder = platform.programFile(QStringLiteral("\\Expressions"));
    r.filter = QStringLiteral("Expression Files (*.exp)|*.exp");
    return r;
}
} // namespace

void MainPanel::Save_Click() {
    FileDialogRequest request = expressionDialog(m_platform);
    request.confirmOverwrite = true;
    const std::optional<QString> path = m_platform.getSaveFileName(this, request);
    if (!path)
        return; // cancelled
    // The name is used exactly as chosen. The file is replaced only once the
    // new one is complete; a failed write leaves the old file as it was.
    const FileResult result = saveExpressionFile(*path, expression);
    if (result.ok)
        changeTracker.markKept();
    if (result.ok)
        m_platform.messageBox(this, {*path + QStringLiteral(" :-  file saved"),
                                     QStringLiteral("Save Expression"), MessageIcon::Information});
    // A failure says nothing; either way typing goes on.
    Picture4->setFocus();
}

void MainPanel::Open_Click() {
    if (imageSet != VbFalse)
        LeaveImageMode();
    FileDialogRequest request = expressionDialog(m_platform);
    request.hideReadOnly = true;
    const std::optional<QString> path = m_platform.getOpenFileName(this, request);
    if (!path)
        return; // cancelled
    LoadResult result = loadExpressionFile(*path, expression);
    Picture4->setFocus();
    if (!result.ok)
        return; // refused as a whole: the expression on screen stays as it was
    expression = std::move(result.expression);
    expressionReplaced();
    Redraw();
}

} // namespace quill
