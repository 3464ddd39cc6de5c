#include "app/keyboardaccess.h"

#include "app/mainpanel.h"
#include "app/widgets.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <initializer_list>
#include <iterator>

namespace quill {

namespace {

// A tool tip as a name: the stored ones have a doubled blank here and there.
QString asName(QString text) {
    return text.simplified();
}

QString captionOf(QWidget* w) {
    QString text;
    if (auto* b = qobject_cast<QAbstractButton*>(w))
        text = b->text();
    else if (auto* g = qobject_cast<QGroupBox*>(w))
        text = g->title();
    else if (auto* l = qobject_cast<QLabel*>(w))
        text = l->text();
    return text.remove(QLatin1Char('&')).simplified();
}

} // namespace

void setUpKeyboardAccess(MainPanel& w) {
    // The tool strip left to right, the typing box, then the canvas; Tab
    // from the canvas goes round to the first control.
    QWidget* const order[] = {w.optH,       w.optV,     w.cboLine,     w.cmdLine,
                              w.cboFont,    w.cboFsize, w.chkText,     w.chkShowKB,
                              w.chkMarkers, w.chkGrid,  w.cmdSetImage, w.cmdSetOutline,
                              w.cboSizeRed, w.cmdSavim, w.Picture4,    w.canvasView};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        QWidget::setTabOrder(order[i], order[i + 1]);
    // The typing box takes the focus from the program, never from Tab: Tab
    // pressed there moves on to the canvas.
    w.Picture4->setFocusPolicy(Qt::ClickFocus);

    // Names where Qt finds none of its own, descriptions everywhere.
    const std::pair<QWidget*, const char*> own[] = {{w.Picture4, "Typing box"},
                                                    {w.canvasView, "Canvas"},
                                                    {w.Picture3, "Symbol keyboard"},
                                                    {w.Picture6, "Image workspace"},
                                                    {w.ProgressBar1, "Image capture progress"},
                                                    {w.Picture1, "Tool strip"}};
    const std::pair<QWidget*, const char*> described[] = {
        {w.Picture4, "Takes the keys of the line being typed"},
        {w.canvasView,
         "The expression. Tab selects the next item, arrows move the selection, Delete removes "
         "it"},
        {w.Picture3, "The symbol each key gives in the symbol font; click a key to type it"},
        {w.Picture6, "The frozen copy of the canvas; drag the outline of the picture here"},
        {w.ProgressBar1, "How much of the image has been captured"},
        {w.Picture1, "The controls of the Line, Text, Tools and Image Tools groups"}};
    for (const auto& [widget, name] : own)
        widget->setAccessibleName(QString::fromLatin1(name));
    for (const auto& [widget, text] : described)
        widget->setAccessibleDescription(QString::fromLatin1(text));
    // A list's name is its tool tip. Under X11 a list's accessible name is
    // its current entry, and assistive technology names it by the label
    // whose buddy it is: a label of its own, never shown, carries the name.
    for (QComboBox* list : {w.cboLine, w.cboFont, w.cboFsize, w.cboSizeRed}) {
        const QString name = asName(list->toolTip());
        list->setAccessibleName(name);
        list->setAccessibleDescription(name);
        auto* label = new QLabel(name, list->parentWidget());
        label->setObjectName(list->objectName() + QStringLiteral("Label"));
        label->setBuddy(list);
        label->setAccessibleDescription(name);
        label->hide();
    }
    for (QWidget* c : std::initializer_list<QWidget*>{
             w.optH, w.optV, w.cmdLine, w.chkText, w.chkShowKB, w.chkMarkers, w.chkGrid,
             w.cmdSetImage, w.cmdSetOutline, w.cmdSavim, w.frameLine, w.frameText, w.frameTools,
             w.frameImage, w.Label1}) {
        const QString tip = asName(c->toolTip());
        c->setAccessibleDescription(tip.isEmpty() ? captionOf(c) : tip);
    }
}

} // namespace quill
