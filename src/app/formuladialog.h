#pragma once
// Edit > Insert Formula: a line to type a formula in, a preview of what it
// typesets to and, when it is not a formula, what is wrong and where. OK is
// available only while the line typesets to something.

#include "formula/formulalayout.h"

#include <QDialog>

class QDialogButtonBox;
class QLabel;
class QLineEdit;

namespace quill {

class FormulaDialog : public QDialog {
public:
    // `points` is the size the formula is set at (the size list's choice).
    FormulaDialog(int points, QWidget* parent = nullptr);

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
    formula::Typesetter m_typesetter;
    formula::TypesetFormula m_result;
};

} // namespace quill
