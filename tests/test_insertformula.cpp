// Edit > Insert Formula in the main window: the dialog's line, preview and
// message, OK adding the typeset items where new items appear as one undo
// step with the markers on, and nothing added on Cancel, for a bad line,
// for a formula wider than the canvas (which the exporter draws whole) or
// while an image is set.

#include "app/formuladialog.h"
#include "app/mainpanel.h"
#include "app/widgets.h"
#include "cli/exportcommand.h"
#include "export/bmpimage.h"
#include "export/expressioncanvas.h"
#include "scriptedplatform.h"

#include <QAction>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
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

// A formula wider than the canvas: the dialog says by how much and keeps OK
// disabled, the preview showing it scaled down; the exporter's canvas grows
// and its picture holds the whole formula, pixel for pixel as the formula
// draws on a picture of its own.
TEST_F(InsertFormula, AFormulaWiderThanTheCanvasIsRefusedAndExportedWhole) {
    w->cboFsize->setCurrentIndex(3); // 100 points
    const QString line = QStringLiteral("x_1 + x_2 + x_3 + x_4 + x_5 + x_6 + x_7 + x_8 + x_9 = S");
    FormulaDialog* d = openAndType(line);
    ASSERT_TRUE(d);
    const formula::TypesetFormula f = d->result();
    ASSERT_TRUE(f.ok);
    const QSize canvas = w->canvas.image().size();
    const int over = 30 + f.bounds.width() - canvas.width();
    ASSERT_GT(over, 0) << "the formula must be wider than the canvas";
    ASSERT_LE(100 + f.bounds.height(), canvas.height());
    EXPECT_EQ(d->lblError->text(),
              QStringLiteral("At 100 points the formula is %1 x %2 pixels, %3 pixels too wide for "
                             "the %4 x %5 canvas: choose a smaller size.")
                  .arg(f.bounds.width())
                  .arg(f.bounds.height())
                  .arg(over)
                  .arg(canvas.width())
                  .arg(canvas.height()));
    EXPECT_FALSE(ok(d)->isEnabled());
    ASSERT_FALSE(d->picPreview->pixmap().isNull());
    EXPECT_LE(d->picPreview->pixmap().width(), d->picPreview->width());
    const Expression before = w->expression;
    QTest::keyClick(d->lineFormula, Qt::Key_Return);
    QCoreApplication::processEvents();
    EXPECT_EQ(w->expression, before) << "Return adds nothing while OK is disabled";
    // The window is taken apart at the end with the dialog still open.

    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString png = tmp.filePath(QStringLiteral("wide.png"));
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    EXPECT_EQ(cli::runExportCommand({QStringLiteral("--formula"), line, QStringLiteral("--format"),
                                     QStringLiteral("png"), QStringLiteral("-o"), png},
                                    test::buildProgramFolder(), out, err),
              0);
    std::fclose(out);
    std::fclose(err);
    const QImage exported(png);
    ASSERT_FALSE(exported.isNull());
    const QImage own = formula::renderFormula(f);
    const std::optional<QRect> ink = inkBounds(exported), ownInk = inkBounds(own);
    ASSERT_TRUE(ink && ownInk);
    ASSERT_EQ(ink->size(), ownInk->size());
    EXPECT_GT(ink->width(), canvas.width() - 30);
    for (int y = 0; y < ink->height(); ++y)
        for (int x = 0; x < ink->width(); ++x) {
            const QRgb a = exported.pixel(ink->topLeft() + QPoint(x, y));
            const QRgb b = own.pixel(ownInk->topLeft() + QPoint(x, y));
            ASSERT_EQ(greyLevel(static_cast<std::int32_t>(a & 0xFFFFFF)),
                      greyLevel(static_cast<std::int32_t>(b & 0xFFFFFF)))
                << "at " << x << ", " << y;
        }
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
