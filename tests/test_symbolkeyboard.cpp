// The symbol keyboard in the main window (clicks on its picture, the shift
// key, the "Show Keyboard" box and its message, its place) and the resource
// files behind it: the three fonts and the two keyboard pictures the build
// generates into the program folder.

#include "app/mainpanel.h"
#include "app/widgets.h"
#include "edit/keyboardtable.h"
#include "render/fontface.h"
#include "scriptedplatform.h"

#include <QApplication>
#include <QComboBox>
#include <QFontDatabase>
#include <QFontInfo>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainterPath>
#include <QRawFont>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <set>
#include <string>

using namespace quill;

namespace {

// Records, with every message box, the state the window was in while it
// was open.
class WatchingPlatform : public test::ScriptedPlatform {
public:
    void messageBox(QWidget* parent, const MessageBoxRequest& request) override {
        if (whileOpen)
            whileOpen();
        ScriptedPlatform::messageBox(parent, request);
    }
    std::function<void()> whileOpen;
};

class SymbolKeyboard : public ::testing::Test {
protected:
    void SetUp() override {
        w = test::openActiveMainPanel(platform);
        ASSERT_TRUE(w);
    }

    void showKeyboard() {
        w->cboFont->setCurrentIndex(1); // Math Symbols
        w->chkShowKB->setValue(1);
        ASSERT_TRUE(w->Picture3->isVisible());
    }

    void click(QPointF at, Qt::MouseButton b = Qt::LeftButton) {
        QMouseEvent e(QEvent::MouseButtonPress, at, w->Picture3->mapToGlobal(at), b, b,
                      Qt::NoModifier);
        QApplication::sendEvent(w->Picture3, &e);
        QMouseEvent up(QEvent::MouseButtonRelease, at, w->Picture3->mapToGlobal(at), b,
                       Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(w->Picture3, &up);
    }

    void pressKey(QWidget* to, int k, const QString& text = {}) {
        QKeyEvent down(QEvent::KeyPress, k, Qt::NoModifier, text);
        QApplication::sendEvent(to, &down);
        QKeyEvent up(QEvent::KeyRelease, k, Qt::NoModifier, text);
        QApplication::sendEvent(to, &up);
    }

    QImage shownPicture() const { return w->picture3Surface.image().copy(0, 0, 465, 140); }
    QPoint homePlace() const { return QPoint(w->frameGeometry().width() - 474, 96); }

    WatchingPlatform platform;
    std::unique_ptr<MainPanel> w;
};

TEST_F(SymbolKeyboard, KeyClicksAppendTheirCharacterInTextMode) {
    showKeyboard();
    w->chkText->setValue(1);
    w->cboFsize->setFocus(); // every click gives the focus back to the typing box
    const struct {
        double x, y;
        Qt::MouseButton button;
        const char* appended;
        bool shiftedAfter;
    } steps[] = {
        {50, 45, Qt::LeftButton, "q", false},
        {10, 100, Qt::LeftButton, "", true}, // the shift key
        {50, 45, Qt::RightButton, "Q", true},
        {65, 15, Qt::MiddleButton, "\\", true},
        {230, 100, Qt::LeftButton, "n", true},
        {100, 30, Qt::LeftButton, "", true}, // between rows 0 and 1
        {45, 45, Qt::LeftButton, "", true},  // left of row 1
        {400, 75, Qt::LeftButton, "#", true},
        {15, 15, Qt::LeftButton, "\xAC", true},
        {105, 15, Qt::LeftButton, "\xA3", true},
        {44.5, 100, Qt::LeftButton, "", false}, // 44 after rounding: the shift key
        {400, 45, Qt::LeftButton, "]", false},
        // Positions round half to even before the look-up.
        {0.5, 15, Qt::LeftButton, "", false},   // 0: the border
        {1.5, 15, Qt::LeftButton, "`", false},  // 2
        {45.5, 45, Qt::LeftButton, "q", false}, // 46
        {29.5, 15, Qt::LeftButton, "1", false}, // 30
        {389.5, 15, Qt::LeftButton, "", false}, // 390: right of row 0
        {200, 120, Qt::LeftButton, "", false},  // the band below the keys
    };
    std::string expected;
    for (const auto& s : steps) {
        SCOPED_TRACE(testing::Message() << "click at (" << s.x << ", " << s.y << ")");
        const auto redraws = w->redrawCount;
        const bool shiftClick = s.shiftedAfter != (w->keyboardShifted != VbFalse);
        click(QPointF(s.x, s.y), s.button);
        expected += s.appended;
        EXPECT_EQ(w->textString, expected);
        EXPECT_EQ(w->keyboardShifted, toVb(s.shiftedAfter));
        EXPECT_EQ(w->redrawCount - redraws, (*s.appended || shiftClick) ? 1u : 0u);
        EXPECT_EQ(shownPicture(), s.shiftedAfter ? w->KeyboardShiftDC : w->KeyboardNormalDC);
        EXPECT_EQ(QApplication::focusWidget(), w->Picture4);
        w->cboFsize->setFocus();
    }

    // The typing box has the focus back: typing and Enter go on with the
    // same line, which becomes one text item.
    w->Picture4->setFocus();
    pressKey(QApplication::focusWidget(), Qt::Key_Z, QStringLiteral("z"));
    pressKey(QApplication::focusWidget(), Qt::Key_Return, QStringLiteral("\r"));
    ASSERT_EQ(w->expression.textItemsExist, VbTrue);
    EXPECT_EQ(w->expression.TextItems.text[0], expected + "z");
    EXPECT_EQ(w->expression.TextItems.fontName[0], "MathSymbols");
}

TEST_F(SymbolKeyboard, OutOfTextModeOnlyTheShiftKeyWorks) {
    showKeyboard();
    ASSERT_EQ(w->chkText->value(), 0);
    for (const QPointF at :
         {QPointF(50, 45), QPointF(10, 100), QPointF(50, 45), QPointF(400, 75), QPointF(10, 100)}) {
        const VbBool shifted = w->keyboardShifted;
        click(at);
        EXPECT_TRUE(w->textString.empty());
        EXPECT_EQ(QApplication::focusWidget(), w->Picture4);
        const bool onShift = at.x() < 45;
        EXPECT_EQ(w->keyboardShifted != shifted, onShift);
        EXPECT_EQ(shownPicture(),
                  w->keyboardShifted != VbFalse ? w->KeyboardShiftDC : w->KeyboardNormalDC);
    }
}

TEST_F(SymbolKeyboard, ShowKeyboardWithoutASymbolFontWarnsOnceAndStaysHidden) {
    for (const int font : {0, 4, 6}) { // Arial, Arial Italic, Zidezir
        SCOPED_TRACE(testing::Message() << "font " << font);
        platform.messages.clear();
        w->cboFont->setCurrentIndex(font);
        int valueWhileOpen = -1;
        platform.whileOpen = [&] { valueWhileOpen = w->chkShowKB->value(); };
        w->chkShowKB->setValue(1);
        ASSERT_EQ(platform.messages.size(), 1u) << "the second, unchecked run is silent";
        EXPECT_EQ(platform.messages[0].text, QStringLiteral("Applies to Math Symbols font only"));
        EXPECT_EQ(platform.messages[0].title, QStringLiteral("Keyboard"));
        EXPECT_EQ(platform.messages[0].icon, MessageIcon::Exclamation);
        EXPECT_EQ(valueWhileOpen, 1) << "the box is cleared after the message is closed";
        EXPECT_EQ(w->chkShowKB->value(), 0);
        EXPECT_TRUE(w->Picture3->isHidden());
    }
    // With a symbol font the box shows the keyboard and asks nothing;
    // unchecking it hides the keyboard at once.
    platform.messages.clear();
    for (const int font : {1, 2}) {
        w->cboFont->setCurrentIndex(font);
        w->cboFsize->setFocus();
        w->chkShowKB->setValue(1);
        EXPECT_FALSE(w->Picture3->isHidden());
        EXPECT_EQ(w->Picture3->pos(), homePlace());
        EXPECT_EQ(QApplication::focusWidget(), w->Picture4);
        w->chkShowKB->setValue(0);
        EXPECT_TRUE(w->Picture3->isHidden());
    }
    EXPECT_TRUE(platform.messages.empty());
}

TEST_F(SymbolKeyboard, ArrowsMoveItAndTheShiftStateOutlastsHiding) {
    showKeyboard();
    ASSERT_EQ(w->Picture3->pos(), homePlace());
    pressKey(w->Picture4, Qt::Key_Left);
    pressKey(w->Picture4, Qt::Key_Left);
    pressKey(w->Picture4, Qt::Key_Down);
    EXPECT_EQ(w->Picture3->pos(), homePlace() + QPoint(-100, 50));

    click(QPointF(10, 100)); // shift, at the moved place
    ASSERT_EQ(w->keyboardShifted, VbTrue);
    w->chkShowKB->setValue(0);
    w->cboFont->setCurrentIndex(0);
    w->cboFont->setCurrentIndex(2);
    w->chkShowKB->setValue(1);
    EXPECT_EQ(w->keyboardShifted, VbTrue);
    EXPECT_EQ(shownPicture(), w->KeyboardShiftDC);
    EXPECT_EQ(w->Picture3->pos(), homePlace() + QPoint(-100, 50));
}

// --- The fonts -----------------------------------------------------------------

// Every character a user can type: 32 to 126, 163 and 172.
QString typeableText() {
    QString s;
    for (int c = 32; c <= 126; ++c)
        s += QChar(c);
    s += QChar(163);
    s += QChar(172);
    return s;
}

QString programFile(const char* name) {
    return test::buildProgramFolder() + QLatin1Char('/') + QString::fromLatin1(name);
}

TEST_F(SymbolKeyboard, FontsLoadUnderTheirFamiliesAndBoldPicksTheBoldFile) {
    const QStringList families = QFontDatabase::families();
    EXPECT_TRUE(families.contains(QStringLiteral("MathSymbols")));
    EXPECT_TRUE(families.contains(QStringLiteral("Zidezir")));
    // Arial, and any face the program does not have, is the program's own
    // sans-serif face, never a font of the system.
    const struct {
        const char* face;
        bool bold;
        bool italic;
        const char* family;
        const char* file;
        const char* style;
    } faces[] = {
        {"MathSymbols", false, false, "MathSymbols", "MathSymbols.ttf", "Regular"},
        {"MathSymbols", true, false, "MathSymbols", "MathSymbolsBold.ttf", "Bold"},
        {"Zidezir", false, false, "Zidezir", "Zidezir.ttf", "Regular"},
        {"Arial", false, false, "Corvel Sans", "CorvelSans.ttf", "Regular"},
        {"Arial", true, false, "Corvel Sans", "CorvelSansBold.ttf", "Bold"},
        {"Arial", false, true, "Corvel Sans", "CorvelSansItalic.ttf", "Italic"},
        {"Arial", true, true, "Corvel Sans", "CorvelSansBoldItalic.ttf", "Bold Italic"},
        {"Courier New", false, false, "Corvel Sans", "CorvelSans.ttf", "Regular"},
        // The faces of typeset formulas.
        {"Corvel Serif", false, false, "Corvel Serif", "CorvelSerif.ttf", "Regular"},
        {"Corvel Serif", true, false, "Corvel Serif", "CorvelSerifBold.ttf", "Bold"},
        {"Corvel Serif", false, true, "Corvel Serif", "CorvelSerifItalic.ttf", "Italic"},
        {"Corvel Serif", true, true, "Corvel Serif", "CorvelSerifBoldItalic.ttf", "Bold Italic"},
        {"Corvel Mono", false, false, "Corvel Mono", "CorvelMono.ttf", "Regular"},
        {"Corvel Math", false, false, "Corvel Math", "CorvelMath.otf", "Regular"},
        {"Corvel Math Relations", false, false, "Corvel Math Relations", "CorvelMathRelations.otf",
         "Regular"},
        {"Corvel Math Extra", false, false, "Corvel Math Extra", "CorvelMathExtra.otf", "Regular"},
        {"Corvel Math Greek", false, false, "Corvel Math Greek", "CorvelMathGreek.otf", "Regular"},
        {"Corvel Math Large", false, false, "Corvel Math Large", "CorvelMathLarge.otf", "Regular"},
        {"Corvel Math Delimiters", false, false, "Corvel Math Delimiters",
         "CorvelMathDelimiters.otf", "Regular"},
        {"Corvel Math Pieces", false, false, "Corvel Math Pieces", "CorvelMathPieces.otf",
         "Regular"},
        {"Corvel Math Alphabets", false, false, "Corvel Math Alphabets", "CorvelMathAlphabets.otf",
         "Regular"}};
    for (const auto& f : faces) {
        SCOPED_TRACE(f.file);
        CanvasFont canvasFont;
        canvasFont.face = f.face;
        canvasFont.bold = f.bold;
        canvasFont.italic = f.italic;
        canvasFont.pixelSize = 100;
        const QFont font = makeQFont(canvasFont);
        EXPECT_EQ(QFontInfo(font).family(), QString::fromLatin1(f.family)) << "not a substitute";
        const QRawFont loaded = QRawFont::fromFont(font);
        const QRawFont file(programFile(f.file), 100);
        ASSERT_TRUE(file.isValid());
        EXPECT_EQ(file.familyName(), QString::fromLatin1(f.family));
        // The very file: its name table, with the face's own style name.
        EXPECT_EQ(loaded.fontTable("name"), file.fontTable("name"));
        EXPECT_EQ(loaded.styleName(), QString::fromLatin1(f.style));
    }
}

TEST(SymbolFonts, EveryTypeableCodeHasAGlyphOfItsOwn) {
    const QString text = typeableText();
    for (const char* name : {"MathSymbols.ttf", "MathSymbolsBold.ttf", "Zidezir.ttf"}) {
        SCOPED_TRACE(name);
        const QRawFont font(programFile(name), 60);
        ASSERT_TRUE(font.isValid());
        const QList<quint32> glyphs = font.glyphIndexesForString(text);
        ASSERT_EQ(glyphs.size(), text.size());
        std::set<quint32> distinct;
        for (qsizetype i = 0; i < text.size(); ++i) {
            SCOPED_TRACE(testing::Message() << "code " << int(text[i].unicode()));
            EXPECT_NE(glyphs[i], 0u) << "no glyph: the empty box";
            distinct.insert(glyphs[i]);
            if (text[i] != QLatin1Char(' ')) {
                EXPECT_FALSE(font.pathForGlyph(glyphs[i]).isEmpty()) << "a glyph with no ink";
            }
        }
        if (QString::fromLatin1(name).startsWith(QStringLiteral("MathSymbols"))) {
            EXPECT_EQ(distinct.size(), static_cast<std::size_t>(text.size()))
                << "two codes share a symbol";
        }
    }
}

// --- The keyboard pictures --------------------------------------------------------

QImage loadPicture(const char* name) {
    return QImage(programFile(name)).convertToFormat(QImage::Format_RGB32);
}

TEST(KeyboardPictures, KeysLieOnTheGridOfTheKeyTable) {
    const QImage normal = loadPicture("KBnorm465.bmp");
    const QImage shifted = loadPicture("KBshift465.bmp");
    ASSERT_EQ(normal.size(), QSize(465, 140));
    ASSERT_EQ(shifted.size(), QSize(465, 140));

    for (const QImage* img : {&normal, &shifted}) {
        const QRgb line = img->pixel(0, 15); // left edge of row 0
        const QRgb background = img->pixel(464, 139);
        const QRgb face = img->pixel(28, 28); // inside key 0
        ASSERT_NE(line, background);
        ASSERT_NE(face, background);
        ASSERT_NE(line, face);
        int keys = 0;
        for (int i = 0; i < KeyboardNormalKeys; ++i) {
            SCOPED_TRACE(testing::Message() << "key " << i);
            const KeyboardKeyBox k = keyboardKeyBox(i);
            const int l = k.cellLeft, t = k.cellTop, r = l + 30, b = t + 30;
            // The cell's edges are grid lines, its corners inside the face...
            for (int d = 0; d <= 30; ++d) {
                EXPECT_EQ(img->pixel(l + d, t), line);
                EXPECT_EQ(img->pixel(l + d, b), line);
                EXPECT_EQ(img->pixel(l, t + d), line);
                EXPECT_EQ(img->pixel(r, t + d), line);
            }
            EXPECT_EQ(img->pixel(l + 1, b - 1), face);
            EXPECT_EQ(img->pixel(r - 1, b - 1), face);
            EXPECT_EQ(img->pixel(r - 1, t + 1), face);
            // ... and its middle holds the symbol.
            int ink = 0;
            for (int y = t + 6; y < b - 3; ++y)
                for (int x = l + 6; x < r - 3; ++x)
                    ink += qGray(img->pixel(x, y)) < 96 ? 1 : 0;
            EXPECT_GT(ink, 3);
            ++keys;
        }
        EXPECT_EQ(keys, 48);
        // Right of each row's last key and in the band below: background.
        const int rowEnds[] = {391, 406, 421, 376};
        for (int row = 0; row < 4; ++row)
            for (int x = rowEnds[row]; x < 465; ++x)
                EXPECT_EQ(img->pixel(x, row * 30 + 15), background) << x;
        for (int x = 0; x < 465; ++x)
            EXPECT_EQ(img->pixel(x, 130), background) << x;
        // The shift key's cell, on the line x 45 it shares with row 3.
        for (int y = 90; y <= 120; ++y) {
            EXPECT_EQ(img->pixel(0, y), line);
            EXPECT_EQ(img->pixel(45, y), line);
        }
    }

    // A key looks the same in both pictures exactly when it gives the same
    // character in both layouts; the shift key is shown held when shifted.
    for (int i = 0; i < KeyboardNormalKeys; ++i) {
        const KeyboardKeyBox k = keyboardKeyBox(i);
        const QRect cell(k.cellLeft, k.cellTop, 31, 31);
        const bool same = keyboardChars[static_cast<std::size_t>(i)] ==
                          keyboardChars[static_cast<std::size_t>(i + KeyboardNormalKeys)];
        EXPECT_EQ(normal.copy(cell) == shifted.copy(cell), same) << "key " << i;
    }
    EXPECT_LT(qGray(shifted.pixel(3, 117)), qGray(normal.pixel(3, 117)) - 60);
}

// Without the program's files the window still starts: blank pictures of
// their size and no message.
TEST(KeyboardPictures, MissingFilesGiveBlankPicturesSilently) {
    QTemporaryDir empty;
    ASSERT_TRUE(empty.isValid());
    test::ScriptedPlatform platform;
    platform.folder = empty.path();
    MainPanel w(platform);
    w.Form_Load();
    for (const QImage* kb : {&w.KeyboardNormalDC, &w.KeyboardShiftDC}) {
        ASSERT_EQ(kb->size(), QSize(465, 140));
        QImage black(465, 140, QImage::Format_RGB32);
        black.fill(Qt::black);
        EXPECT_EQ(*kb, black);
    }
    w.cboFont->setCurrentIndex(1);
    w.chkShowKB->setValue(1);
    EXPECT_FALSE(w.Picture3->isHidden());
    EXPECT_TRUE(platform.messages.empty());
}

} // namespace
