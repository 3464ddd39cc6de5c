// Edit > Insert Formula in the main window: the dialog's line, preview and
// message, OK adding the typeset items where new items appear as one undo
// step with the markers on, and nothing added on Cancel, for a bad line or
// while an image is set.

#include "app/formuladialog.h"
#include "app/mainpanel.h"
#include "app/widgets.h"
#include "scriptedplatform.h"

#include <QAction>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

using namespace quill;

namespace {

class InsertFormula : public ::testing::Test {
protected:
    void SetUp() override {
        w = test::openActiveMainPanel(platform);
        ASSERT_TRUE(w);
    }
    // Opens the dialog by its key, as a user does, and types the line.
    FormulaDialog* openAndType(const QString& line) {
        QTest::keyClick(w.get(), Qt::Key_M, Qt::ControlModifier);
        FormulaDialog* d = w->formulaDialog;
        if (d) {
            d->lineFormula->selectAll();
            QTest::keyClicks(d->lineFormula, line);
        }
        return d;
    }
    QPushButton* ok(FormulaDialog* d) { return d->buttons->button(QDialogButtonBox::Ok); }

    test::ScriptedPlatform platform;
    std::unique_ptr<MainPanel> w;
};

TEST_F(InsertFormula, OkAddsTheTypesetItemsAsOneStepWithMarkersOn) {
    w->chkMarkers->setValue(0);
    w->cboFsize->setCurrentIndex(1); // 50 points
    const Expression before = w->expression;
    FormulaDialog* d = openAndType(QStringLiteral("x = \\frac{-b \\pm \\sqrt{b^2-4ac}}{2a}"));
    ASSERT_TRUE(d);
    EXPECT_TRUE(d->isVisible());
    EXPECT_EQ(d->points(), 50);
    EXPECT_TRUE(d->lblError->text().isEmpty());
    EXPECT_FALSE(d->picPreview->pixmap().isNull());
    ASSERT_TRUE(ok(d)->isEnabled());
    const formula::TypesetFormula f = d->result();
    EXPECT_EQ(w->expression, before) << "typing in the dialog adds nothing yet";
    QTest::mouseClick(ok(d), Qt::LeftButton);
    QCoreApplication::processEvents();

    Expression expected = before;
    ASSERT_TRUE(formula::addToExpression(f, expected, QPoint(30, 100)));
    EXPECT_EQ(w->expression, expected);
    EXPECT_EQ(w->expression.TextItems.fontSize[0], 50);
    EXPECT_EQ(w->chkMarkers->value(), 1);
    EXPECT_FALSE(w->formulaDialog);

    w->Undo_Click();
    EXPECT_EQ(w->expression, before) << "one undo takes the whole formula away";
    w->Redo_Click();
    EXPECT_EQ(w->expression, expected);
}

TEST_F(InsertFormula, ABadLineSaysWhyAndCannotBeAdded) {
    const Expression before = w->expression;
    FormulaDialog* d = openAndType(QStringLiteral("x + \\fract{a}{b}"));
    ASSERT_TRUE(d);
    EXPECT_EQ(d->lblError->text(), QStringLiteral("unknown command \\fract at 5"));
    EXPECT_FALSE(ok(d)->isEnabled());
    EXPECT_TRUE(d->picPreview->pixmap().isNull());
    // Fixed, the line typesets again.
    d->lineFormula->setText(QStringLiteral("x + \\frac{a}{b}"));
    EXPECT_TRUE(d->lblError->text().isEmpty());
    EXPECT_TRUE(ok(d)->isEnabled());
    // Cancel adds nothing.
    QTest::mouseClick(d->buttons->button(QDialogButtonBox::Cancel), Qt::LeftButton);
    QCoreApplication::processEvents();
    EXPECT_EQ(w->expression, before);
    EXPECT_FALSE(w->history.canUndo());
}

TEST_F(InsertFormula, NothingWhileAnImageIsSet) {
    w->cmdSetImage_Click();
    ASSERT_NE(w->imageSet, VbFalse);
    w->updateEditMenu();
    EXPECT_FALSE(w->mnuInsertFormula->isEnabled());
    w->InsertFormula_Click();
    EXPECT_FALSE(w->formulaDialog);
    formula::Typesetter t;
    EXPECT_FALSE(w->InsertFormula(t.typeset("x^2", 100)));
    EXPECT_EQ(w->expression.textItemsExist, VbFalse);
}

} // namespace
