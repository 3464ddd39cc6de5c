// Editing through the main window: keys sent to the typing box and to the
// window, mouse events on the canvas and the "Line" group's Draw button, with
// the results read back from the tables and from the canvas pixels.

#include "app/mainpanel.h"
#include "app/platform/qtplatform.h"
#include "app/widgets.h"
#include "render/fontface.h"
#include "scriptedplatform.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

using namespace quill;

namespace {

constexpr BgrColour CaretBlue = 0xFFC0C0;
constexpr BgrColour MarkerCentre = 0x0000DC; // the red centre of marker.bmp
constexpr BgrColour GridBlue = 0xFF0000;

// Half to even, as every fractional value the window stores is rounded.
std::int16_t rounded(double v) {
    return static_cast<std::int16_t>(std::nearbyint(v));
}

// The font list in order: face applied, bold, italic; and the size list.
const struct {
    const char* face;
    bool bold, italic;
} Fonts[] = {{"Arial", false, false},  {"MathSymbols", false, false}, {"MathSymbols", true, false},
             {"Arial", true, false},   {"Arial", false, true},        {"Arial", true, true},
             {"Zidezir", false, false}};
constexpr int Points[] = {25, 50, 75, 100, 150, 200, 250};

QFontMetricsF metricsOf(int font, int size) {
    CanvasFont canvasFont;
    canvasFont.face = Fonts[font].face;
    canvasFont.bold = Fonts[font].bold;
    canvasFont.italic = Fonts[font].italic;
    canvasFont.pixelSize = pointsToPixels(Points[size]);
    return QFontMetricsF(makeQFont(canvasFont));
}

using Pair16 = std::pair<std::int16_t, std::int16_t>;

const Qt::MouseButton AllButtons[] = {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton};

// The handles of one row: kind 1 text item, 2 horizontal, 3 vertical line;
// a line's in the order first end, middle, second end.
std::vector<QPoint> handlesOf(const Expression& e, int kind, std::size_t r = 0) {
    if (kind == 1)
        return {{e.TextItems.markerX[r], e.TextItems.markerY[r]}};
    if (kind == 2) {
        const auto& h = e.HLines;
        return {{h.x1[r], h.y[r]}, {h.midX[r], h.y[r]}, {h.x2[r], h.y[r]}};
    }
    const auto& v = e.VLines;
    return {{v.x[r], v.y1[r]}, {v.x[r], v.midY[r]}, {v.x[r], v.y2[r]}};
}

class EditingWindow : public ::testing::Test {
protected:
    void SetUp() override { reopen(); }

    // A fresh window, shown and active, with the caret timer stopped: the
    // tests tick it by hand.
    void reopen() {
        w.reset();
        w = test::openActiveMainPanel(platform);
        ASSERT_TRUE(w);
    }

    static void key(QWidget* to, QEvent::Type type, int k, const QString& text = {},
                    Qt::KeyboardModifiers mods = Qt::NoModifier, bool autoRepeat = false) {
        QKeyEvent e(type, k, mods, text, autoRepeat);
        QApplication::sendEvent(to, &e);
    }
    void typeKey(int k, const QString& text = {}, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        key(w->Picture4, QEvent::KeyPress, k, text, mods);
        key(w->Picture4, QEvent::KeyRelease, k, text, mods);
    }
    // Characters as a keyboard delivers them; '\b' is Backspace, '\r' Enter.
    void typeText(const char16_t* s) {
        for (const QChar c : QString::fromUtf16(s)) {
            const int k = c == QLatin1Char('\b')   ? int(Qt::Key_Backspace)
                          : c == QLatin1Char('\r') ? int(Qt::Key_Return)
                                                   : int(c.toUpper().unicode());
            typeKey(k, QString(c));
        }
    }

    void mouse(QEvent::Type type, Qt::MouseButton b, QPointF at, Qt::MouseButtons held) {
        QMouseEvent e(type, at, w->canvasView->mapToGlobal(at), b, held, Qt::NoModifier);
        QApplication::sendEvent(w->canvasView, &e);
    }
    void press(QPointF at, Qt::MouseButton b = Qt::LeftButton) {
        mouse(QEvent::MouseButtonPress, b, at, b);
    }
    void moveTo(QPointF at, Qt::MouseButtons held) {
        mouse(QEvent::MouseMove, Qt::NoButton, at, held);
    }
    void release(QPointF at, Qt::MouseButton b = Qt::LeftButton) {
        mouse(QEvent::MouseButtonRelease, b, at, Qt::NoButton);
    }

    void clickDraw(bool vertical) {
        QTest::mouseClick(vertical ? w->optV : w->optH, Qt::LeftButton);
        ASSERT_EQ(w->optV->isChecked(), vertical);
        QTest::mouseClick(w->cmdLine, Qt::LeftButton);
    }

    long pixel(int x, int y) const { return w->canvas.point(x, y); }
    static QWidget* focused() { return QApplication::focusWidget(); }

    test::ScriptedPlatform platform;
    std::unique_ptr<MainPanel> w;
};

// --------------------------------------------------------------- typing

// Types a line with the caret blinking after it, then commits it with Enter.
TEST_F(EditingWindow, TypedLineBlinksAndEnterCommitsIt) {
    const struct {
        int fontBefore, font, size;
        const char16_t* keys;
        std::string text;
    } cases[] = {
        {-1, 0, 3, u"ab\bc", "ac"}, // Arial 100
        {-1, 0, 3, u"", ""},        {-1, 4, 0, u"x\b\b\bq\u00A3\u00AC", "q\xA3\xAC"},
        {4, 3, 6, u"Z~ ", "Z~ "}, // Arial Bold right after Arial Italic
        {-1, 5, 4, u"W", "W"},      {-1, 2, 1, u"s", "s"},
        {-1, 6, 0, u"k", "k"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "font " << c.font << ", size " << Points[c.size] << ", "
                                        << QString::fromUtf16(c.keys).toStdString());
        reopen();
        w->chkMarkers->setValue(0); // the commit switches markers on again
        if (c.fontBefore >= 0)
            w->cboFont->setCurrentIndex(c.fontBefore);
        w->cboFont->setCurrentIndex(c.font);
        w->cboFsize->setCurrentIndex(c.size);
        QTest::mouseClick(w->chkText, Qt::LeftButton);
        ASSERT_EQ(w->chkText->value(), 1);
        EXPECT_EQ(focused(), w->Picture4);
        typeText(c.keys);
        EXPECT_EQ(w->textString, c.text);

        // The caret: a bar S/2 wide and S/12 high standing on the bottom of
        // the line, from 10 pixels before its end; light blue, then white.
        const QFontMetricsF m = metricsOf(c.font, c.size);
        const double W = m.horizontalAdvance(QString::fromLatin1(c.text.data())), H = m.height();
        const double S = w->canvas.fontSize(); // the size as applied, in points
        const double right = W + 20 + S / 2, top = H + 100 - S / 12, bottom = H + 100;
        const int midX = rounded(W + 20 + S / 4), midY = rounded(H + 100 - S / 24);
        for (const VbBool phase : {VbTrue, VbFalse, VbTrue}) {
            w->Timer2_Timer();
            EXPECT_EQ(w->timerState, phase);
            EXPECT_EQ(pixel(midX, midY), phase ? CaretBlue : BgrWhite);
            EXPECT_EQ(pixel(rounded(right) + 3, midY), BgrWhite);
            EXPECT_EQ(pixel(midX, rounded(top) - 3), BgrWhite);
            EXPECT_EQ(pixel(midX, rounded(bottom) + 3), BgrWhite);
        }
        typeKey(Qt::Key_Escape, QStringLiteral("\x1b"));
        EXPECT_EQ(pixel(midX, midY), CaretBlue) << "an ignored key does not repaint";

        typeText(u"\r");
        const std::int16_t h = rounded(H);
        const auto& t = w->expression.TextItems;
        ASSERT_EQ(w->expression.textItemsExist, VbTrue);
        ASSERT_EQ(w->expression.lastTextItem, 0);
        EXPECT_EQ(
            std::tuple(t.fontName[0], t.fontBold[0], t.fontItalic[0], t.fontSize[0], t.text[0]),
            std::tuple(std::string(Fonts[c.font].face), toVb(Fonts[c.font].bold),
                       toVb(Fonts[c.font].italic), std::int16_t(Points[c.size]), c.text));
        EXPECT_EQ(std::vector<int>({t.x[0], t.y[0], t.markerX[0], t.markerY[0], t.height[0],
                                    t.live[0], w->Theight}),
                  std::vector<int>({30, 100, 25, h + 95, h, VbTrue, h}));
        EXPECT_TRUE(w->textString.empty());
        EXPECT_EQ(w->chkText->value(), 0);
        EXPECT_EQ(w->chkMarkers->value(), 1);
        EXPECT_EQ(focused(), w->Picture4);
        EXPECT_EQ(pixel(25, h + 95), MarkerCentre);
        EXPECT_EQ(pixel(midX, midY), BgrWhite);

        // Text mode is off now: no characters, no caret; the phase goes on.
        typeText(u"ab\r");
        w->Timer2_Timer();
        EXPECT_EQ(w->timerState, VbFalse);
        w->Timer2_Timer();
        EXPECT_EQ(pixel(midX, midY), BgrWhite);
        EXPECT_TRUE(w->textString.empty());
        EXPECT_EQ(w->expression.lastTextItem, 0);
    }
}

TEST_F(EditingWindow, TypingBoxTakesOnlyTheCharactersOfTheProgramsSet) {
    const auto Shift = Qt::ShiftModifier;
    const struct {
        const char* name;
        bool textMode;
        const char16_t* before;
        int key;
        const char16_t* text;
        Qt::KeyboardModifiers mods;
        std::string after;
        bool movesOn = false; // the focus moves on to the canvas (back: the size field)
    } cases[] = {
        {"letter", true, u"q", Qt::Key_A, u"a", {}, "qa"},
        {"tilde, 126", true, u"q", Qt::Key_AsciiTilde, u"~", Shift, "q~"},
        {"pound sign from Shift+3 (UK)", true, u"q", Qt::Key_sterling, u"\u00A3", Shift, "q\xA3"},
        {"not sign from Shift+` (UK)", true, u"q", Qt::Key_notsign, u"\u00AC", Shift, "q\xAC"},
        {"e acute", true, u"q", Qt::Key_Eacute, u"\u00E9", {}, "q"},
        {"Escape", true, u"q", Qt::Key_Escape, u"\x1b", {}, "q"},
        {"Tab", true, u"q", Qt::Key_Tab, u"\t", {}, "q", true},
        {"Shift+Tab", true, u"q", Qt::Key_Backtab, u"", Shift, "q", true},
        {"Ctrl+A", true, u"q", Qt::Key_A, u"\x01", Qt::ControlModifier, "q"},
        {"Delete", true, u"q", Qt::Key_Delete, u"\x7f", {}, "q"},
        {"Backspace", true, u"qr", Qt::Key_Backspace, u"\b", {}, "q"},
        {"Backspace on an empty line", true, u"", Qt::Key_Backspace, u"\b", {}, ""},
        {"letter, text mode off", false, u"", Qt::Key_A, u"a", {}, ""},
        {"pound sign, text mode off", false, u"", Qt::Key_sterling, u"\u00A3", Shift, ""},
        {"Tab, text mode off", false, u"", Qt::Key_Tab, u"\t", {}, "", true},
        {"Backspace, text mode off", false, u"", Qt::Key_Backspace, u"\b", {}, ""},
        {"Enter, text mode off", false, u"", Qt::Key_Return, u"\r", {}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        w->chkText->setValue(0); // leaving text mode discards the line
        ASSERT_TRUE(w->textString.empty());
        w->chkText->setValue(c.textMode ? 1 : 0);
        w->Picture4->setFocus();
        typeText(c.before);
        const auto redraws = w->redrawCount;
        typeKey(c.key, QString::fromUtf16(c.text), c.mods);
        EXPECT_EQ(w->textString, c.after);
        // Every accepted key repaints, Backspace on an empty line too.
        const bool accepted =
            c.textMode && (c.after.size() != std::char_traits<char16_t>::length(c.before) ||
                           c.key == Qt::Key_Backspace);
        EXPECT_EQ(w->redrawCount - redraws, accepted ? 1u : 0u);
        // Tab leads on to the next control, the canvas (back: the last of the
        // tool strip); no other key moves the focus out of the typing box.
        QWidget* const next =
            c.key == Qt::Key_Backtab ? static_cast<QWidget*>(w->cboSizeRed) : w->canvasView;
        EXPECT_EQ(focused(), c.movesOn ? next : static_cast<QWidget*>(w->Picture4));
    }
    EXPECT_EQ(w->expression.textItemsExist, VbFalse);
}

// A choice from a list runs its handler once, even when it is the entry
// the list already shows; a change from code runs it only when the
// selection really changes.
TEST_F(EditingWindow, ListChoiceHandsTheFocusBackAtTheNextCaretTick) {
    enum Way { ArrowKey, PopupSame, PopupOther, CodeSame, CodeOther };
    const struct {
        Way way;
        const char* name;
    } ways[] = {{ArrowKey, "arrow key on the closed list"},
                {PopupSame, "the shown entry chosen from the open list"},
                {PopupOther, "another entry chosen from the open list"},
                {CodeSame, "the shown entry selected from code"},
                {CodeOther, "another entry selected from code"}};
    for (const auto& way : ways) {
        for (const bool textMode : {true, false}) {
            for (const bool fontList : {true, false}) {
                SCOPED_TRACE(std::string(fontList ? "font list, " : "size list, ") + way.name +
                             (textMode ? ", text mode" : ", text mode off"));
                reopen();
                QComboBox* list = fontList ? w->cboFont : w->cboFsize;
                if (textMode) {
                    w->chkText->setValue(1);
                    typeText(u"ab");
                }
                w->refocusTypingBox = VbFalse;
                list->setFocus();
                const int index = list->currentIndex();
                const int other = index == 0 ? 1 : index - 1;
                const auto redraws = w->redrawCount;
                switch (way.way) {
                case ArrowKey:
                    QTest::keyClick(list, index == 0 ? Qt::Key_Down : Qt::Key_Up);
                    break;
                case PopupSame:
                case PopupOther: {
                    list->showPopup();
                    QAbstractItemView* view = list->view();
                    ASSERT_TRUE(view->isVisible());
                    if (way.way == PopupOther)
                        QTest::keyClick(view, index == 0 ? Qt::Key_Down : Qt::Key_Up);
                    QTest::keyClick(view, Qt::Key_Return);
                    EXPECT_FALSE(view->isVisible());
                    break;
                }
                case CodeSame:
                    list->setCurrentIndex(index);
                    break;
                case CodeOther:
                    list->setCurrentIndex(other);
                    break;
                }
                const bool same = way.way == PopupSame || way.way == CodeSame;
                EXPECT_EQ(list->currentIndex(), same ? index : other);
                if (way.way == CodeSame) {
                    EXPECT_EQ(w->redrawCount, redraws) << "nothing changed, nothing runs";
                    EXPECT_EQ(w->refocusTypingBox, VbFalse);
                    continue;
                }
                EXPECT_EQ(w->redrawCount, redraws + 1) << "the handler runs exactly once";
                EXPECT_EQ(w->refocusTypingBox, VbTrue);
                if (way.way != CodeOther) {
                    EXPECT_NE(focused(), list);
                    EXPECT_NE(focused(), w->Picture4);
                }
                w->Timer2_Timer();
                EXPECT_EQ(focused() == w->Picture4, textMode);
                EXPECT_EQ(w->refocusTypingBox, textMode ? VbFalse : VbTrue);
                if (textMode) {
                    // The next letter goes into the line, not into a list's
                    // type-to-search.
                    const int font = w->cboFont->currentIndex();
                    QTest::keyClick(focused(), Qt::Key_Z);
                    EXPECT_EQ(w->textString, "abz");
                    EXPECT_EQ(w->cboFont->currentIndex(), font);
                }
            }
        }
    }
}

// ------------------------------------------------------- window keys

TEST_F(EditingWindow, DeleteArmsDeleteOnClickWhileHeld) {
    // Box: the typing box; Window: a list has the focus and passes the key
    // on to the window; Canvas: a button released on the canvas.
    enum Where { Box, Window, Canvas };
    struct Step {
        Where where;
        QEvent::Type type;
        int key;
        bool autoRepeat;
        VbBool armed;
    };
    const auto Down = QEvent::KeyPress, Up = QEvent::KeyRelease, None = QEvent::None;
    const struct {
        const char* name;
        std::vector<Step> steps;
    } cases[] = {
        {"held in the typing box, then released",
         {{Box, Down, Qt::Key_Delete, false, VbTrue},
          {Box, Up, Qt::Key_Delete, true, VbTrue},
          {Box, Down, Qt::Key_Delete, true, VbTrue},
          {Box, Up, Qt::Key_Delete, false, VbFalse}}},
        {"any other key released in the typing box",
         {{Box, Down, Qt::Key_Delete, false, VbTrue}, {Box, Up, Qt::Key_Shift, false, VbFalse}}},
        {"other keys do not arm",
         {{Box, Down, Qt::Key_Backspace, false, VbFalse},
          {Window, Down, Qt::Key_A, false, VbFalse}}},
        {"pressed and released at window level",
         {{Window, Down, Qt::Key_Delete, false, VbTrue},
          {Window, Up, Qt::Key_Delete, false, VbTrue},
          {Canvas, None, 0, false, VbFalse}}},
        {"a button release disarms while the key is held; a repeat arms again",
         {{Box, Down, Qt::Key_Delete, false, VbTrue},
          {Canvas, None, 0, false, VbFalse},
          {Box, Down, Qt::Key_Delete, true, VbTrue}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        w->DelObject = VbFalse;
        int n = 0;
        for (const Step& s : c.steps) {
            SCOPED_TRACE(++n);
            if (s.where == Canvas)
                release(QPointF(600, 600));
            else
                key(s.where == Box ? static_cast<QWidget*>(w->Picture4) : w->cboLine, s.type, s.key,
                    {}, Qt::NoModifier, s.autoRepeat);
            EXPECT_EQ(w->DelObject, s.armed);
        }
    }
}

// A real Delete keystroke carries the text U+007F, which a focused list
// takes for its type-to-search. Delete arms delete-on-click all the same,
// whatever control has the focus (or none), and a text item's handle
// clicked while it is held goes.
TEST_F(EditingWindow, DeleteArmsWhateverControlHasTheFocus) {
    std::vector<QPointer<QWidget>> controls{nullptr}; // none: the window itself
    for (QWidget* c : w->findChildren<QWidget*>())
        if (c->focusPolicy() != Qt::NoFocus && c->isVisible() && c->isEnabled())
            controls.emplace_back(c);
    for (QComboBox* list : {w->cboLine, w->cboFont, w->cboFsize, w->cboSizeRed})
        ASSERT_NE(std::find(controls.begin(), controls.end(), list), controls.end());
    for (const QPointer<QWidget>& control : controls) {
        w->New_Click();
        w->chkText->setValue(1);
        typeText(u"ab\r");
        if (control)
            control->setFocus();
        else if (QWidget* f = focused())
            f->clearFocus();
        QWidget* to = focused() ? focused() : w.get();
        SCOPED_TRACE(to->objectName().isEmpty() ? to->metaObject()->className()
                                                : to->objectName().toStdString());
        w->DelObject = VbFalse;
        // Held down: the key repeats.
        const QString del = QStringLiteral("\x7f");
        QTest::sendKeyEvent(QTest::Press, to, Qt::Key_Delete, del, Qt::NoModifier);
        ASSERT_EQ(w->DelObject, VbTrue);
        if (to != w->Picture4) { // the typing box disarms on any release
            QTest::sendKeyEvent(QTest::Release, to, Qt::Key_Delete, del, Qt::NoModifier);
            QTest::sendKeyEvent(QTest::Press, to, Qt::Key_Delete, del, Qt::NoModifier);
        }
        const QPoint handle = handlesOf(w->expression, 1).front();
        press(handle);
        release(handle);
        EXPECT_EQ(w->expression.TextItems.live[0], VbFalse);
        QTest::sendKeyEvent(QTest::Release, to, Qt::Key_Delete, del, Qt::NoModifier);
    }
}

// Keys pressed in the window's own dialogs and message boxes are theirs:
// Delete in the Save dialog's name field or in a message box arms nothing,
// and the next click on a handle deletes nothing.
TEST_F(EditingWindow, DeleteInTheWindowsDialogsArmsNothing) {
    w->chkText->setValue(1);
    typeText(u"ab\r");
    const QPoint handle = handlesOf(w->expression, 1).front();
    QtPlatform desktop;
    const std::pair<const char*, std::function<void()>> dialogs[] = {
        {"save dialog", [&] { desktop.getSaveFileName(w.get(), {}); }},
        {"message box",
         [&] {
             desktop.messageBox(w.get(), {QStringLiteral("Saved"), QStringLiteral("Save"),
                                          MessageIcon::Information});
         }},
    };
    for (const auto& [name, show] : dialogs) {
        SCOPED_TRACE(name);
        QString pressedIn;
        QTimer::singleShot(0, [&] {
            QWidget* dialog = QApplication::activeModalWidget();
            if (!dialog)
                return;
            QWidget* to = dialog->focusWidget() ? dialog->focusWidget() : dialog;
            pressedIn = QString::fromLatin1(to->metaObject()->className());
            QTest::keyClick(to, Qt::Key_Delete);
            dialog->close();
        });
        show();
        EXPECT_FALSE(pressedIn.isEmpty()) << "no dialog came up";
        EXPECT_EQ(w->DelObject, VbFalse) << pressedIn.toStdString();
        press(handle);
        release(handle);
        EXPECT_EQ(w->expression.TextItems.live[0], VbTrue);
    }
}

TEST_F(EditingWindow, ArrowKeysMoveTheSymbolKeyboardBy50) {
    w->cboFont->setCurrentIndex(1); // Math Symbols
    w->chkShowKB->setValue(1);
    ASSERT_TRUE(w->Picture3->isVisible());
    const struct {
        int key, dx, dy;
    } arrows[] = {{Qt::Key_Left, -50, 0},
                  {Qt::Key_Right, 50, 0},
                  {Qt::Key_Up, 0, -50},
                  {Qt::Key_Down, 0, 50}};
    for (const bool textMode : {false, true}) {
        w->chkText->setValue(textMode ? 1 : 0);
        for (const auto& a : arrows) {
            SCOPED_TRACE(testing::Message() << a.key << (textMode ? " in text mode" : ""));
            const std::int16_t x = w->keyboardOffsetX, y = w->keyboardOffsetY;
            const QPoint at = w->Picture3->pos();
            const auto redraws = w->redrawCount;
            typeKey(a.key);
            key(w.get(), QEvent::KeyPress, a.key); // at window level: nothing
            EXPECT_EQ(std::pair(w->keyboardOffsetX, w->keyboardOffsetY),
                      Pair16(x + a.dx, y + a.dy));
            EXPECT_EQ(w->Picture3->pos(), at + QPoint(a.dx, a.dy));
            EXPECT_EQ(w->redrawCount - redraws, 1u);
            EXPECT_TRUE(w->textString.empty());
        }
    }
    // The offsets stop at the 16-bit limits.
    w->keyboardOffsetX = 32767 - 20;
    w->keyboardOffsetY = -32768 + 49;
    typeKey(Qt::Key_Right);
    typeKey(Qt::Key_Up);
    EXPECT_EQ(std::pair(w->keyboardOffsetX, w->keyboardOffsetY), Pair16(32767, -32768));
    typeKey(Qt::Key_Right);
    EXPECT_EQ(w->keyboardOffsetX, 32767);
}

// --------------------------------------------------------------- mouse

// Any button picks by the last matching handle; the pointer is rounded half
// to even before the 7 x 7 test.
TEST_F(EditingWindow, PressPicksTheHandleUnderThePointer) {
    EXPECT_EQ(std::pair(w->Xloc, w->Yloc), Pair16(400, 500));
    using Setup = std::function<void(Expression&)>;
    const auto text = [](std::int16_t mx) {
        return
            [mx](Expression& e) { e.AddTextItem("Arial", 0, 0, 100, "ab", 204, 250, mx, 300, 54); };
    };
    const struct {
        const char* name;
        Setup setup;
        QPointF at;
        std::int16_t kind, row, handle;
    } cases[] = {
        {"3 right, 3 below", text(200), {203, 303}, 1, 0, 9},
        {"3 left, 3 above", text(200), {197, 297}, 1, 0, 9},
        {"4 right", text(200), {204, 300}, 0, 9, 9},
        {"4 above", text(200), {200, 296}, 0, 9, 9},
        {"202.5 rounds to 202", text(200), {202.5, 300}, 1, 0, 9},
        {"203.5 rounds to 204", text(200), {203.5, 300}, 0, 9, 9},
        {"a line over a text item",
         [&](Expression& e) {
             e.AddHLine(300, 150, 202, 12);
             text(200)(e);
         },
         {201, 301},
         2,
         0,
         3},
        {"a vertical over a horizontal line",
         [](Expression& e) {
             e.AddVLine(60, 106, 194, 12);
             e.AddHLine(150, 16, 104, 12);
         },
         {60, 150},
         3,
         0,
         2},
        {"the higher of two text rows",
         [&](Expression& e) {
             text(200)(e);
             text(201)(e);
         },
         {200, 300},
         1,
         1,
         9},
        {"a deleted row is passed over",
         [&](Expression& e) {
             text(200)(e);
             text(200)(e);
             e.TextItems.live[1] = VbFalse;
         },
         {200, 300},
         1,
         0,
         9},
        {"first end over middle on a short line",
         [](Expression& e) { e.AddHLine(200, 100, 106, 3); },
         {101, 200},
         2,
         0,
         1},
        {"middle over second end",
         [](Expression& e) { e.AddHLine(200, 100, 106, 3); },
         {105, 200},
         2,
         0,
         2},
        {"short vertical line",
         [](Expression& e) { e.AddVLine(300, 200, 205, 3); },
         {301, 201.5},
         3,
         0,
         1},
    };
    for (const auto& c : cases) {
        for (const Qt::MouseButton b : AllButtons) {
            SCOPED_TRACE(testing::Message() << c.name << ", button " << b);
            w->New_Click();
            c.setup(w->expression);
            w->chkMarkers->setValue(b == Qt::MiddleButton ? 0 : 1); // the hit test ignores markers
            w->hitRow = 9;
            w->hitHandle = 9;
            const auto redraws = w->redrawCount;
            press(c.at, b);
            EXPECT_EQ(std::tuple(w->hitKind, w->hitRow, w->hitHandle),
                      std::tuple(c.kind, c.row, c.handle));
            EXPECT_EQ(std::pair(w->Xloc, w->Yloc), std::pair(rounded(c.at.x()), rounded(c.at.y())));
            EXPECT_EQ(w->canvasButtonDown, VbTrue);
            EXPECT_EQ(w->redrawCount, redraws) << "a press does not repaint";
            release(c.at, b);
            EXPECT_EQ(w->canvasButtonDown, VbFalse);
            EXPECT_EQ(w->redrawCount - redraws, 1u);
            EXPECT_EQ(w->hitKind, c.kind) << "the hit outlives the release";
        }
    }
}

TEST_F(EditingWindow, DraggingAHandleMovesOrStretchesTheItem) {
    const struct {
        const char* name;
        int kind; // 1 text item, 2 horizontal line, 3 vertical line
        QPointF from;
        std::vector<QPointF> path;
        std::vector<int> expected; // text: markerX, markerY, x, y; lines: the first four columns
    } cases[] = {
        {"text handle jumps to the pointer", 1, {23, 145}, {{24, 145}}, {24, 145, 28, 99}},
        {"text item carried", 1, {25, 145}, {{300, 200}, {400.5, 301.5}}, {400, 302, 404, 256}},
        {"middle of a horizontal line", 2, {70, 160}, {{85, 180}, {100, 200}}, {100, 200, 56, 144}},
        {"second end to 117", 2, {114, 160}, {{117, 163}}, {72, 160, 26, 117}},
        {"second end to 115", 2, {114, 160}, {{115, 150}}, {70, 160, 26, 115}},
        {"first end past the second", 2, {26, 160}, {{200, 160}}, {157, 160, 200, 114}},
        {"middle of a vertical line", 3, {60, 150}, {{90, 180}}, {90, 180, 136, 224}},
        {"first end of a vertical line", 3, {62, 106}, {{75, 106.5}}, {60, 150, 106, 194}},
        {"second end of a vertical line", 3, {60, 194}, {{20, 197}}, {60, 152, 106, 197}},
    };
    for (const auto& c : cases) {
        for (const Qt::MouseButton b : AllButtons) {
            SCOPED_TRACE(testing::Message() << c.name << ", button " << b);
            w->New_Click();
            if (c.kind == 1)
                w->expression.AddTextItem("Arial", 0, 0, 100, "ab", 30, 100, 25, 145, 50);
            else
                clickDraw(c.kind == 3);
            press(c.from, b);
            for (const QPointF& p : c.path) {
                const auto redraws = w->redrawCount;
                moveTo(p, b);
                EXPECT_EQ(w->redrawCount - redraws, 1u) << "every move repaints";
                EXPECT_EQ(std::pair(w->Xloc, w->Yloc), std::pair(rounded(p.x()), rounded(p.y())));
            }
            release(c.path.back(), b);
            const Expression& e = w->expression;
            const std::vector<int> got =
                c.kind == 1   ? std::vector<int>{e.TextItems.markerX[0], e.TextItems.markerY[0],
                                                 e.TextItems.x[0], e.TextItems.y[0]}
                : c.kind == 2 ? std::vector<int>{e.HLines.midX[0], e.HLines.y[0], e.HLines.x1[0],
                                                 e.HLines.x2[0]}
                              : std::vector<int>{e.VLines.x[0], e.VLines.midY[0], e.VLines.y1[0],
                                                 e.VLines.y2[0]};
            EXPECT_EQ(got, c.expected);
            for (const QPoint& h : handlesOf(e, c.kind))
                EXPECT_EQ(pixel(h.x(), h.y()), MarkerCentre)
                    << "marker at " << h.x() << "," << h.y();
            // Moving without a button repaints and moves nothing.
            const Expression after = w->expression;
            const auto redraws = w->redrawCount;
            moveTo(QPointF(700, 700), Qt::NoButton);
            EXPECT_EQ(w->expression, after);
            EXPECT_EQ(w->redrawCount - redraws, 1u);
        }
    }
    // A press on empty canvas drags nothing, but the pointer is followed.
    const Expression before = w->expression;
    press(QPointF(600, 600), Qt::RightButton);
    moveTo(QPointF(610.5, 619.5), Qt::RightButton);
    EXPECT_EQ(w->hitKind, 0);
    EXPECT_EQ(std::pair(w->Xloc, w->Yloc), Pair16(610, 620));
    EXPECT_EQ(w->expression, before);
}

TEST_F(EditingWindow, PressWithDeleteHeldDeletesAtTheNextRepaint) {
    for (const bool keyReleasedElsewhere : {false, true}) {
        for (const int kind : {1, 2, 3}) {
            for (const Qt::MouseButton b : AllButtons) {
                SCOPED_TRACE(testing::Message()
                             << "kind " << kind << ", button " << b
                             << (keyReleasedElsewhere ? ", key released at window level" : ""));
                w->New_Click();
                if (kind == 1) {
                    w->chkText->setValue(1);
                    typeText(u"ab\r");
                } else {
                    clickDraw(kind == 3);
                }
                const QPoint handle = handlesOf(w->expression, kind).front();
                const QPoint drag =
                    kind == 2 ? QPoint(40, 0) : QPoint(0, 40); // an end moves along its line
                if (keyReleasedElsewhere) {
                    // Down and up while a list has the focus: armed until
                    // the next button release.
                    key(w->cboLine, QEvent::KeyPress, Qt::Key_Delete);
                    key(w->cboLine, QEvent::KeyRelease, Qt::Key_Delete);
                } else {
                    key(w->Picture4, QEvent::KeyPress, Qt::Key_Delete);
                }
                ASSERT_EQ(w->DelObject, VbTrue);
                press(handle, b);
                EXPECT_EQ(w->hitKind, kind);
                const auto& e = w->expression;
                EXPECT_EQ(kind == 1   ? e.TextItems.live[0]
                          : kind == 2 ? e.HLines.live[0]
                                      : e.VLines.live[0],
                          VbFalse);
                EXPECT_EQ(pixel(handle.x(), handle.y()), MarkerCentre) << "not repainted yet";
                // The dead row stays grabbed and follows the pointer, unseen.
                moveTo(handle + drag, b);
                EXPECT_EQ(pixel(handle.x(), handle.y()), BgrWhite);
                EXPECT_EQ(pixel(handle.x() + drag.x(), handle.y() + drag.y()), BgrWhite);
                EXPECT_EQ(handlesOf(e, kind).front(), handle + drag);
                release(handle + drag, b);
                EXPECT_EQ(w->DelObject, VbFalse);
                press(handle + drag, b);
                EXPECT_EQ(w->hitKind, 0) << "a deleted item cannot be grabbed";
                release(handle + drag, b);
            }
        }
    }
}

// --------------------------------------------------------------- lines

TEST_F(EditingWindow, DrawAddsALineOfTheChosenWidthAtTheStartPlace) {
    w->chkGrid->setValue(1);
    const std::int16_t widths[] = {3, 6, 9, 12, 18, 24, 30};
    for (int index = 0; index < 7; ++index) {
        for (const bool vertical : {false, true}) {
            SCOPED_TRACE(testing::Message()
                         << "width index " << index << (vertical ? " vertical" : " horizontal"));
            w->cboLine->setFocus();
            w->cboLine->setCurrentIndex(index);
            const auto redraws = w->redrawCount;
            clickDraw(vertical);
            EXPECT_EQ(w->redrawCount - redraws, 1u);
            EXPECT_EQ(focused(), w->Picture4);
            // One line of each orientation per width: row `index`.
            const auto r = static_cast<std::size_t>(index);
            const auto& v = w->expression.VLines;
            const auto& h = w->expression.HLines;
            if (vertical) {
                ASSERT_EQ(w->expression.lastVLine, index);
                EXPECT_EQ(
                    std::vector<int>({v.x[r], v.midY[r], v.y1[r], v.y2[r], v.width[r], v.live[r]}),
                    std::vector<int>({60, 150, 106, 194, widths[index], VbTrue}));
                EXPECT_EQ(pixel(60, 194 + 5), BgrBlack) << "painted 6 past the end handle";
            } else {
                ASSERT_EQ(w->expression.lastHLine, index);
                EXPECT_EQ(
                    std::vector<int>({h.midX[r], h.y[r], h.x1[r], h.x2[r], h.width[r], h.live[r]}),
                    std::vector<int>({70, 160, 26, 114, widths[index], VbTrue}));
                EXPECT_EQ(pixel(114 + 5, 160), BgrBlack);
            }
            // A new line leaves the pen 3 wide: the grid of the repaint that
            // shows the line is 3 pixels wide, the next repaint's 1 again.
            EXPECT_EQ(
                std::vector<long>({pixel(48, 400), pixel(49, 400), pixel(51, 400), pixel(52, 400)}),
                std::vector<long>({BgrWhite, GridBlue, GridBlue, BgrWhite}));
            moveTo(QPointF(700, 700), Qt::NoButton);
            EXPECT_EQ(std::vector<long>({pixel(49, 400), pixel(50, 400), pixel(51, 400)}),
                      std::vector<long>({BgrWhite, GridBlue, BgrWhite}));
        }
    }
    w->NewVLine();
    EXPECT_EQ(w->canvas.drawWidth(), 3);
}

TEST_F(EditingWindow, TwoDrawsAtOnePlaceCanBePulledApart) {
    for (const int kind : {2, 3}) {
        SCOPED_TRACE(kind == 3 ? "vertical" : "horizontal");
        w->New_Click();
        clickDraw(kind == 3);
        clickDraw(kind == 3);
        const auto start = handlesOf(w->expression, kind, 0);
        ASSERT_EQ(handlesOf(w->expression, kind, 1), start);
        press(start[1]); // the shared middle grabs the newer line
        EXPECT_EQ(w->hitRow, 1);
        moveTo(QPointF(400, 400), Qt::LeftButton);
        release(QPointF(400, 400));
        press(start[0]); // the older one is still there and is stretched
        EXPECT_EQ(std::pair(w->hitRow, w->hitHandle), Pair16(0, 1));
        moveTo(start[0] - QPoint(10, 10), Qt::LeftButton);
        release(start[0] - QPoint(10, 10));
        const auto older = handlesOf(w->expression, kind, 0),
                   newer = handlesOf(w->expression, kind, 1);
        EXPECT_EQ(newer[1], QPoint(400, 400));
        EXPECT_EQ(older, (kind == 3 ? std::vector<QPoint>{{60, 96}, {60, 145}, {60, 194}}
                                    : std::vector<QPoint>{{16, 160}, {65, 160}, {114, 160}}));
        for (const QPoint& p : {older[0], older[1], older[2], newer[0], newer[1], newer[2]})
            EXPECT_EQ(pixel(p.x(), p.y()), MarkerCentre);
    }
}

} // namespace
