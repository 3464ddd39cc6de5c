#include "app/formuladialog.h"

#include "formula/formulafit.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

namespace quill {

namespace {
// The preview's area; a larger result is shown scaled down to fit.
constexpr int PreviewWidth = 640;
constexpr int PreviewHeight = 220;
} // namespace

FormulaDialog::FormulaDialog(int points, QSize canvas, QWidget* parent)
    : QDialog(parent), m_points(points), m_canvas(canvas) {
    setWindowTitle(QStringLiteral("Insert Formula"));
    auto* layout = new QVBoxLayout(this);
    auto* prompt = new QLabel(QStringLiteral("&Formula:"), this);
    lineFormula = new QLineEdit(this);
    lineFormula->setPlaceholderText(QStringLiteral("x = \\frac{-b \\pm \\sqrt{b^2-4ac}}{2a}"));
    prompt->setBuddy(lineFormula);
    picPreview = new QLabel(this);
    picPreview->setFixedSize(PreviewWidth, PreviewHeight);
    picPreview->setAlignment(Qt::AlignCenter);
    picPreview->setAutoFillBackground(true);
    QPalette white = picPreview->palette();
    white.setColor(QPalette::Window, Qt::white);
    picPreview->setPalette(white);
    picPreview->setFrameShape(QFrame::StyledPanel);
    lblError = new QLabel(this);
    lblError->setWordWrap(true);
    QPalette red = lblError->palette();
    red.setColor(QPalette::WindowText, QColor(0x9a, 0x20, 0x20));
    lblError->setPalette(red);
    buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(prompt);
    layout->addWidget(lineFormula);
    layout->addWidget(picPreview);
    layout->addWidget(lblError);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(lineFormula, &QLineEdit::textChanged, this, [this] { lineFormula_Change(); });
    lineFormula_Change();
}

void FormulaDialog::lineFormula_Change() {
    const QByteArray line = lineFormula->text().toUtf8();
    m_result = m_typesetter.typeset(
        std::string_view(line.constData(), static_cast<std::size_t>(line.size())), m_points);
    const bool hasItems =
        m_result.ok && !(m_result.texts.empty() && m_result.bars.empty() && m_result.vbars.empty());
    const std::string tooLarge =
        hasItems ? formula::formulaFitProblem(m_result.bounds.size(), formula::NewItemSpot,
                                              m_canvas, m_points)
                 : std::string();
    lblError->setText(QString::fromStdString(m_result.ok ? tooLarge : m_result.message));
    QImage picture = hasItems ? formula::renderFormula(m_result) : QImage();
    if (!picture.isNull() &&
        (picture.width() > picPreview->width() || picture.height() > picPreview->height()))
        picture = picture.scaled(picPreview->size() - QSize(4, 4), Qt::KeepAspectRatio,
                                 Qt::SmoothTransformation);
    picPreview->setPixmap(picture.isNull() ? QPixmap() : QPixmap::fromImage(picture));
    buttons->button(QDialogButtonBox::Ok)->setEnabled(hasItems && tooLarge.empty());
}

} // namespace quill
