#pragma once
// Edit > Insert Formula: a line to type a formula in, a preview of what it
// typesets to and, when it is not a formula, what is wrong and where. OK is
// available only while the line typesets to something that fits the canvas
// where new items appear; a formula too large for it is still previewed,
// scaled down, with how much too large it is.

#include "formula/formulalayout.h"

#include <QDialog>

class QDialogButtonBox;
class QLabel;
class QLineEdit;

namespace quill {

class FormulaDialog : public QDialog {
public:
    // `points` is the size the formula is set at (the size list's choice),
    // `canvas` the size of the canvas it goes on.
    FormulaDialog(int points, QSize canvas, QWidget* parent = nullptr);

    // The typeset result of the line as it stands.
    const formula::TypesetFormula& result() const { return m_result; }
    int points() const { return m_points; }

    QLineEdit* lineFormula = nullptr;
    QLabel* picPreview = nullptr;
    QLabel* lblError = nullptr;
    QDialogButtonBox* buttons = nullptr;

private:
    void lineFormula_Change();

    int m_points;
    QSize m_canvas;
    formula::Typesetter m_typesetter;
    formula::TypesetFormula m_result;
};

} // namespace quill
