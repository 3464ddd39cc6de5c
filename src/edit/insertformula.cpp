// Edit > Insert Formula: the dialog, and the typeset formula's items added
// where new items appear, as one change.

#include "app/formuladialog.h"
#include "app/mainpanel.h"
#include "app/widgets.h"
#include "edit/tables.h"

#include <QAction>
#include <QComboBox>
#include <QMenu>

namespace quill {

QAction* addInsertFormulaAction(QMenu* menu, MainPanel* panel) {
    QAction* a = menu->addAction(QStringLiteral("Insert &Formula..."));
    a->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
    QObject::connect(a, &QAction::triggered, panel, [panel] { panel->InsertFormula_Click(); });
    return a;
}

void MainPanel::InsertFormula_Click() {
    if (imageSet != VbFalse || canvasButtonDown != VbFalse || formulaDialog)
        return;
    const int position = cboFsize->currentIndex();
    const int points = position >= 0 && position < static_cast<int>(FontSizeTable.size())
                           ? FontSizeTable[static_cast<std::size_t>(position)]
                           : 100;
    auto* dialog = new FormulaDialog(points, canvas.image().size(), this);
    formulaDialog = dialog;
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::ApplicationModal);
    // The dialog itself sends these, so it is there while they run.
    connect(dialog, &QDialog::accepted, this, [this, dialog] { InsertFormula(dialog->result()); });
    connect(dialog, &QDialog::finished, this, [this] { Picture4->setFocus(); });
    dialog->open();
}

bool MainPanel::InsertFormula(const formula::TypesetFormula& typeset) {
    if (imageSet != VbFalse || canvasButtonDown != VbFalse || !typeset.ok)
        return false;
    if (typeset.texts.empty() && typeset.bars.empty() && typeset.vbars.empty())
        return false;
    if (!formula::addToExpression(typeset, expression))
        return false; // would not fit: the expression stays as it was
    expressionChanged();
    chkMarkers->setValue(1); // its click handler redraws when it changes
    Redraw();
    return true;
}

} // namespace quill
