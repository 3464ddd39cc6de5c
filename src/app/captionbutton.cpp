#include "app/captionbutton.h"

#include <QStyleOptionButton>
#include <QStylePainter>

namespace quill {

CaptionButton::CaptionButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {}

void CaptionButton::paintEvent(QPaintEvent*) {
    QStylePainter p(this);
    QStyleOptionButton opt;
    initStyleOption(&opt);
    const QString caption = opt.text;
    opt.text.clear();
    p.drawControl(QStyle::CE_PushButton, opt);
    QRect textRect = style()->subElementRect(QStyle::SE_PushButtonContents, &opt, this);
    if (isDown())
        textRect.translate(1, 1);
    p.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    p.drawText(textRect, Qt::AlignCenter | Qt::TextWordWrap | Qt::TextShowMnemonic, caption);
}

} // namespace quill
