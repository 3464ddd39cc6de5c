// The main window: its state after start-up, the canvas repaint read back
// from the retained picture, the font choice, the window commands and the
// start-up order of splash and main window.

#include "app/mainpanel.h"
#include "app/module1.h"
#include "app/splash.h"
#include "app/widgets.h"
#include "scriptedplatform.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QGroupBox>
#include <QHash>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QStyleOption>
#include <QTest>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

using namespace quill;

namespace {

constexpr QRgb White = 0xFFFFFFFF;
constexpr QRgb Black = 0xFF000000;
constexpr QRgb GridBlue = 0xFF0000FF;

QRect inkBox(const QImage& img, QRect within = QRect()) {
    if (within.isNull())
        within = img.rect();
    QRect box;
    for (int y = within.top(); y <= within.bottom(); ++y)
        for (int x = within.left(); x <= within.right(); ++x)
            if (img.pixel(x, y) != White)
                box |= QRect(x, y, 1, 1);
    return box;
}

bool allWhite(const QImage& img) {
    return inkBox(img).isEmpty();
}

// A marker picture with every pixel distinct, so a copy that is off by a
// pixel, mirrored or partly covered shows.
QImage patternMarker() {
    QImage img(9, 9, QImage::Format_RGB32);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 9; ++x)
            img.setPixel(x, y, qRgb(20 + 25 * x, 20 + 25 * y, 90));
    return img;
}

bool blockEquals(const QImage& canvas, QPoint topLeft, const QImage& block) {
    return canvas.copy(QRect(topLeft, block.size())) == block;
}

// The grid as drawn with a one-pixel pen on the 1280 x 800 screen.
bool onThinGrid(int x, int y) {
    return (x >= 50 && x % 50 == 0 && y >= 90) || (y >= 120 && (y - 120) % 50 == 0);
}

QStringList strings(std::initializer_list<const char*> texts) {
    QStringList out;
    for (const char* t : texts)
        out << QString::fromLatin1(t);
    return out;
}

template <typename Pred> bool waitFor(Pred done, int ms = 3000) {
    QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired())
        QTest::qWait(10);
    return done();
}

class Window : public ::testing::Test {
protected:
    void SetUp() override {
        panel = std::make_unique<MainPanel>(platform);
        panel->Form_Load();
    }
    QImage canvas() const { return panel->canvas.image(); }
    QRgb px(int x, int y) const { return panel->canvas.image().pixel(x, y); }
    std::int16_t textHeight100() {
        panel->canvas.setFontName("Arial");
        panel->canvas.setFontBold(false);
        panel->canvas.setFontItalic(false);
        panel->canvas.setFontSize(100);
        return roundHalfEven16(panel->canvas.textHeight(""));
    }
    void addText(const char* text, std::int16_t x, std::int16_t y, std::int16_t mx,
                 std::int16_t my) {
        panel->expression.AddTextItem("Arial", VbFalse, VbFalse, 100, text, x, y, mx, my, 149);
    }

    test::ScriptedPlatform platform;
    std::unique_ptr<MainPanel> panel;
};

} // namespace

// --- Start-up --------------------------------------------------------------

TEST_F(Window, StartsWithEveryControlLaidOutCaptionedAndEnabledAsStored) {
    MainPanel& p = *panel;
    auto caption = [](QWidget* w) -> QString {
        if (auto* b = qobject_cast<QAbstractButton*>(w))
            return b->text();
        if (auto* g = qobject_cast<QGroupBox*>(w))
            return g->title();
        if (auto* l = qobject_cast<QLabel*>(w))
            return l->text();
        return QString();
    };
    const struct {
        const char* name;
        QWidget* w;
        QWidget* parent;
        const char* caption;
        const char* toolTip;
        bool enabled;
        bool shown;
        QRect twips; // position and size as stored; null: not checked here
    } controls[] = {
        {"frameLine", p.frameLine, p.Picture1, "Line", "", true, true, QRect(0, 0, 2655, 975)},
        {"optH", p.optH, p.frameLine, "H&orizontal", "Select Line Orientation", true, true,
         QRect(120, 240, 1095, 195)},
        {"optV", p.optV, p.frameLine, "&Vertical", "Select Line Orientation", true, true,
         QRect(120, 480, 855, 375)},
        {"cboLine", p.cboLine, p.frameLine, "", "Select Line Width", true, true,
         QRect(1200, 360, 615, 315)},
        {"cmdLine", p.cmdLine, p.frameLine, "&Draw", "Draw the Line", true, true,
         QRect(1800, 360, 735, 375)},
        {"frameText", p.frameText, p.Picture1, "Text", "", true, true, QRect(2640, 120, 3495, 855)},
        {"cboFont", p.cboFont, p.frameText, "", "Select  Font", true, true,
         QRect(120, 240, 1695, 315)},
        {"cboFsize", p.cboFsize, p.frameText, "", "Select Font Size", true, true,
         QRect(1800, 240, 735, 315)},
        {"chkText", p.chkText, p.frameText, "&Text", "Enter Text", true, true,
         QRect(2520, 240, 855, 375)},
        {"frameTools", p.frameTools, p.Picture1, "Tools", "", true, true,
         QRect(6120, 120, 2895, 855)},
        {"chkShowKB", p.chkShowKB, p.frameTools, "Show Keyboard",
         "Show math symbols keyboard layout", true, true, QRect(120, 240, 1095, 495)},
        {"chkMarkers", p.chkMarkers, p.frameTools, "Show Markers", "", true, true,
         QRect(1080, 240, 975, 495)},
        {"chkGrid", p.chkGrid, p.frameTools, "Show Grid", "Show the drawing grid", true, true,
         QRect(1920, 240, 855, 495)},
        {"frameImage", p.frameImage, p.Picture1, "Image Tools", "", true, true,
         QRect(9000, 120, 2775, 855)},
        {"cmdSetImage", p.cmdSetImage, p.frameImage, "Se&t Image", "Start thesave image process",
         true, true, QRect(120, 240, 615, 495)},
        {"cmdSetOutline", p.cmdSetOutline, p.frameImage, "Set O&utline", "Set the required outline",
         false, true, QRect(720, 240, 735, 495)},
        {"cmdSavim", p.cmdSavim, p.frameImage, "Save &Image", "Save image to file", false, true,
         QRect(2040, 240, 615, 495)},
        {"cboSizeRed", p.cboSizeRed, p.frameImage, "", "select image size reduction", true, true,
         QRect(1440, 360, 615, 315)},
        {"Picture4", p.Picture4, p.Picture1, "", "", true, true, QRect(9120, 1200, 135, 135)},
        {"Label1", p.Label1, p.Picture1, "Preparing save image data....", "", true, false,
         QRect(120, 1080, 3735, 255)},
        {"ProgressBar1", p.ProgressBar1, p.Picture1, "", "", true, false, QRect()},
        {"Picture3", p.Picture3, p.canvasView, "", "", true, false, QRect()},
        {"Picture6", p.Picture6, p.canvasView, "", "", true, false, QRect()},
    };
    for (const auto& c : controls) {
        SCOPED_TRACE(c.name);
        ASSERT_NE(c.w, nullptr);
        EXPECT_EQ(c.w->parentWidget(), c.parent);
        EXPECT_EQ(caption(c.w), QString::fromLatin1(c.caption));
        EXPECT_EQ(c.w->toolTip(), QString::fromLatin1(c.toolTip));
        EXPECT_EQ(c.w->isEnabled(), c.enabled);
        EXPECT_EQ(c.w->isVisibleTo(&p), c.shown);
        if (!c.twips.isNull()) {
            EXPECT_EQ(c.w->geometry(), QRect(c.twips.x() / 15, c.twips.y() / 15,
                                             c.twips.width() / 15, c.twips.height() / 15));
        }
    }
    // Sized to the screen by Form_Load.
    EXPECT_EQ(p.Picture1->geometry(), QRect(0, 0, 1280, 97));
    EXPECT_EQ(p.Picture6->geometry(), QRect(0, 96, 1280, 704));
    EXPECT_EQ(p.picture6Surface.size(), QSize(1280, 704));
    EXPECT_EQ(p.Picture3->size(), QSize(465, 141));

    p.ensurePolished(); // the tool strip's style sheet has its say
    for (QWidget* bold : {static_cast<QWidget*>(p.cmdLine), static_cast<QWidget*>(p.chkText)}) {
        EXPECT_EQ(bold->font().family(), QStringLiteral("Arial"));
        EXPECT_TRUE(bold->font().bold());
    }
    EXPECT_EQ(p.Label1->font().family(), QStringLiteral("MS Sans Serif"));
}

TEST_F(Window, StartsWithListsChecksAndColoursAsStored) {
    MainPanel& p = *panel;
    const QStringList percentages = strings({"25", "50", "75", "100", "150", "200", "250"});
    const struct {
        const char* name;
        QComboBox* box;
        QStringList items;
        int selected;
    } lists[] = {
        {"cboLine", p.cboLine, percentages, 3},
        {"cboFont", p.cboFont,
         strings({"Arial", "Math Symbols", "Math Symbols Bold", "Arial Bold", "Arial Italic",
                  "Arial Italic Bold", "Zidezir"}),
         0},
        {"cboFsize", p.cboFsize, percentages, 3},
        {"cboSizeRed", p.cboSizeRed, strings({"1", "2", "4", "8", "16", "32"}), 0},
    };
    for (const auto& l : lists) {
        SCOPED_TRACE(l.name);
        QStringList items;
        for (int i = 0; i < l.box->count(); ++i)
            items << l.box->itemText(i);
        EXPECT_EQ(items, l.items);
        EXPECT_EQ(l.box->currentIndex(), l.selected);
    }

    const struct {
        const char* name;
        VbCheckBox* box;
        int value;
        QColor text; // 0x00BBGGRR as stored; invalid: the default
    } checks[] = {
        {"chkText", p.chkText, 0, QColor()},
        {"chkShowKB", p.chkShowKB, 0, QColor(0, 128, 0)},
        {"chkMarkers", p.chkMarkers, 1, QColor(255, 0, 0)},
        {"chkGrid", p.chkGrid, 0, QColor(0, 0, 255)},
    };
    p.ensurePolished();
    for (const auto& c : checks) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.box->value(), c.value);
        if (!c.text.isValid())
            continue;
        // The stored colour, or a darker shade of it where that is too
        // light to read on the tool strip.
        const QColor shown = c.box->palette().color(QPalette::WindowText);
        EXPECT_EQ(shown.hsvHue(), c.text.hsvHue());
        EXPECT_LE(shown.value(), c.text.value());
        // And the caption really shows in it: its ink has that hue.
        const QImage shot = c.box->grab().toImage().convertToFormat(QImage::Format_RGB32);
        int inColour = 0;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x) {
                const QColor q(shot.pixel(x, y));
                inColour +=
                    q.hsvSaturation() > 100 && std::abs(q.hsvHue() - c.text.hsvHue()) < 20 ? 1 : 0;
            }
        EXPECT_GT(inColour, 20);
    }
    EXPECT_TRUE(p.optH->isChecked());
    EXPECT_FALSE(p.optV->isChecked());
}

TEST_F(Window, CoversTheScreenWithCaptionMenusAndCaretTimer) {
    MainPanel& p = *panel;
    EXPECT_EQ(p.windowTitle(), QStringLiteral("Corvel Quillmark V4.3"));
    EXPECT_EQ(p.geometry().topLeft(), QPoint(0, 0));
    EXPECT_EQ(p.size(), QSize(1280, 800));
    EXPECT_EQ(p.canvas.size(), QSize(1280, 800));

    const QList<QAction*> bar = p.menuBar()->actions();
    ASSERT_EQ(bar.size(), 3);
    EXPECT_EQ(bar[0]->text(), QStringLiteral("&File"));
    EXPECT_EQ(bar[1]->text(), QStringLiteral("&Edit"));
    EXPECT_EQ(bar[2]->text(), QStringLiteral("&Help"));
    EXPECT_EQ(bar[2]->menu(), nullptr) << "Help has no submenu";
    ASSERT_NE(bar[0]->menu(), nullptr);
    QStringList file;
    for (QAction* a : bar[0]->menu()->actions())
        file << (a->isSeparator() ? QStringLiteral("-") : a->text());
    EXPECT_EQ(file, strings({"&New", "&Open", "&Save", "-", "E&xit"}));
    EXPECT_EQ(p.mnuHelp, bar[2]);
    ASSERT_EQ(bar[1]->menu(), p.mnuEdit);
    QStringList edit;
    for (QAction* a : p.mnuEdit->actions())
        edit << (a->isSeparator()
                     ? QStringLiteral("-")
                     : a->text() + QLatin1Char(' ') + QKeySequence::listToString(a->shortcuts()));
    EXPECT_EQ(edit, strings({"&Undo Ctrl+Z", "&Redo Ctrl+Shift+Z; Ctrl+Y", "-", "Cu&t Ctrl+X",
                             "&Copy Ctrl+C", "&Paste Ctrl+V", "&Duplicate Ctrl+D", "D&elete Del",
                             "-", "Select &All Ctrl+A", "A&lign ", "-", "&Outline Selection ",
                             "Outli&ne All ", "-", "Insert &Formula... Ctrl+M"}));
    // A menu's access key opens that menu only: no other menu or control
    // of the window has it.
    QStringList captions;
    for (QAction* a : bar)
        captions << a->text();
    for (const QAbstractButton* b : p.findChildren<QAbstractButton*>())
        captions << b->text();
    auto key = [](const QString& c) {
        const qsizetype amp = c.indexOf(QLatin1Char('&'));
        return amp >= 0 && amp + 1 < c.size() ? c[amp + 1].toLower() : QChar();
    };
    for (QAction* menu : bar) {
        QStringList sharing;
        for (const QString& c : captions)
            if (c != menu->text() && key(c) == key(menu->text()))
                sharing << c;
        EXPECT_TRUE(sharing.isEmpty()) << menu->text().toStdString() << " shares its key with "
                                       << sharing.join(QLatin1String(", ")).toStdString();
    }

    // Help opens the help file at its start page, every time it is chosen.
    p.mnuHelp->trigger();
    p.mnuHelp->trigger();
    const std::pair<QString, QString> help(test::buildProgramFolder() +
                                               QStringLiteral("/Tvx4_3.qch"),
                                           QStringLiteral("html\\corv1nzi.htm"));
    ASSERT_EQ(platform.helpRequests.size(), 2u);
    EXPECT_EQ(platform.helpRequests[0], help);
    EXPECT_EQ(platform.helpRequests[1], help);

    EXPECT_EQ(p.Timer2->interval(), 500);
    EXPECT_TRUE(p.Timer2->isActive());
    EXPECT_FALSE(p.Timer2->isSingleShot());
}

TEST_F(Window, StartsWithFontsPicturesStateAndOneCleanRedraw) {
    MainPanel& p = *panel;
    const QString folder = test::buildProgramFolder();
    QStringList fonts;
    for (const char* name :
         {"MathSymbols.ttf",          "MathSymbolsBold.ttf",       "Zidezir.ttf",
          "CorvelSans.ttf",           "CorvelSansBold.ttf",        "CorvelSansItalic.ttf",
          "CorvelSansBoldItalic.ttf", "CorvelSerif.ttf",           "CorvelSerifBold.ttf",
          "CorvelSerifItalic.ttf",    "CorvelSerifBoldItalic.ttf", "CorvelMono.ttf",
          "CorvelMath.otf",           "CorvelMathRelations.otf",   "CorvelMathExtra.otf",
          "CorvelMathGreek.otf",      "CorvelMathLarge.otf",       "CorvelMathDelimiters.otf",
          "CorvelMathPieces.otf",     "CorvelMathAlphabets.otf"})
        fonts << folder + QLatin1Char('/') + QLatin1String(name);
    EXPECT_EQ(platform.registeredFonts, fonts);

    // marker.bmp is there: the marker is a copy of it.
    const QImage marker =
        QImage(folder + QStringLiteral("/marker.bmp")).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(marker.size(), QSize(9, 9));
    EXPECT_EQ(p.MarkerDC, marker);
    // So are the keyboard pictures.
    const std::pair<const QImage*, const char*> keyboards[] = {
        {&p.KeyboardNormalDC, "/KBnorm465.bmp"}, {&p.KeyboardShiftDC, "/KBshift465.bmp"}};
    for (const auto& [kb, file] : keyboards) {
        const QImage picture =
            QImage(folder + QString::fromLatin1(file)).convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(picture.size(), QSize(465, 140));
        EXPECT_EQ(*kb, picture) << file;
    }
    EXPECT_NE(p.KeyboardNormalDC, p.KeyboardShiftDC);
    EXPECT_TRUE(platform.messages.empty());

    EXPECT_EQ(p.refocusTypingBox, VbFalse) << "reset after the lists' handlers set it";
    EXPECT_EQ(p.expression.textItemsExist, VbFalse);
    EXPECT_EQ(p.expression.hLinesExist, VbFalse);
    EXPECT_EQ(p.expression.vLinesExist, VbFalse);
    EXPECT_EQ(p.DelObject, VbFalse);
    EXPECT_EQ(p.keyboardOffsetX, 0);
    EXPECT_EQ(p.keyboardOffsetY, 0);
    EXPECT_EQ(p.outlineDragging, VbFalse);
    EXPECT_EQ(p.mathSymbolsFont, VbFalse);
    EXPECT_EQ(p.imageSet, VbFalse);
    EXPECT_TRUE(p.textString.empty());
    // The size and font lists' handlers each redrew, then the first Redraw.
    EXPECT_EQ(p.redrawCount, 3u);
    EXPECT_TRUE(allWhite(canvas()));
    EXPECT_TRUE(allWhite(p.picture6Surface.image()));

    // The lists' handlers do set it; only start-up clears it afterwards.
    p.cboFsize->setCurrentIndex(2);
    EXPECT_EQ(p.refocusTypingBox, VbTrue);
}

TEST(WindowStartUp, EmptyListsGetNoSelectionAndRunNoHandler) {
    test::ScriptedPlatform platform;
    MainPanel p(platform);
    for (QComboBox* box : {p.cboLine, p.cboFont, p.cboFsize, p.cboSizeRed})
        box->clear();
    const double sizeBefore = p.canvas.fontSize();
    p.Form_Load();
    for (QComboBox* box : {p.cboLine, p.cboFont, p.cboFsize, p.cboSizeRed})
        EXPECT_EQ(box->currentIndex(), -1);
    EXPECT_EQ(p.redrawCount, 1u) << "only Form_Load's own Redraw";
    EXPECT_EQ(p.refocusTypingBox, VbFalse);
    EXPECT_EQ(p.canvas.fontSize(), sizeBefore) << "no size chosen: the canvas keeps its own";
}

// --- The repaint -------------------------------------------------------------

// Markers are plain copies centred on the handles, put on after all lines
// and text in a fixed order: each horizontal line's middle, first and
// second end, then the vertical lines likewise, then the text items.
// Overlapping markers show the order.
TEST_F(Window, MarkersAreCopiedCentredOverEverythingInTableOrder) {
    MainPanel& p = *panel;
    const QImage marker = patternMarker();
    p.MarkerDC = marker;
    p.expression.AddHLine(160, 26, 114, 12);
    p.expression.AddHLine(300, 246, 254, 3); // a cluster of overlapping handles
    p.expression.AddHLine(304, 250, 262, 1);
    p.expression.AddVLine(252, 296, 310, 1);
    p.expression.AddVLine(600, 250, 400, 3);
    addText("", 30, 100, 251, 301);
    addText("M", 800, 300, 0, 0);
    p.chkMarkers->setValue(0);
    QImage expected = canvas();
    // The second text item's handle goes on its ink.
    const QRect ink = inkBox(expected, QRect(700, 250, 500, 250));
    ASSERT_FALSE(ink.isEmpty());
    QPoint onInk;
    for (int x = ink.left(); x <= ink.right() && onInk.isNull(); ++x)
        if (expected.pixel(x, ink.center().y()) == Black)
            onInk = QPoint(x + 4, ink.center().y());
    ASSERT_FALSE(onInk.isNull());
    p.expression.TextItems.markerX[1] = static_cast<std::int16_t>(onInk.x());
    p.expression.TextItems.markerY[1] = static_cast<std::int16_t>(onInk.y());

    const QPoint order[] = {{70, 160},  {26, 160},  {114, 160}, {250, 300}, {246, 300}, {254, 300},
                            {256, 304}, {250, 304}, {262, 304}, {252, 303}, {252, 296}, {252, 310},
                            {600, 325}, {600, 250}, {600, 400}, {251, 301}, onInk};
    for (const QPoint h : order)
        for (int y = 0; y < 9; ++y)
            for (int x = 0; x < 9; ++x)
                expected.setPixel(h.x() - 4 + x, h.y() - 4 + y, marker.pixel(x, y));
    p.chkMarkers->setValue(1);
    EXPECT_EQ(canvas(), expected);
    EXPECT_TRUE(blockEquals(canvas(), onInk - QPoint(4, 4), marker));
}

// Lines go under text whatever the rows' order, and a bar is black even
// when the foreground colour is not.
TEST_F(Window, TextIsDrawnOverLinesInTheForegroundColour) {
    MainPanel& p = *panel;
    addText("H", 100, 200, 0, 0);
    p.expression.AddHLine(270, 60, 300, 12); // across the H's strokes
    p.canvas.cls();
    p.canvas.setForeColor(0x0000FF);
    p.DrawItems();
    const QImage img = canvas();
    int red = 0;
    for (int y = 264; y <= 275; ++y)
        for (int x = 54; x <= 306; ++x) {
            const QRgb c = img.pixel(x, y);
            red += c == qRgb(255, 0, 0) ? 1 : 0;
            EXPECT_EQ(qGreen(c), 0);
            EXPECT_EQ(qBlue(c), 0);
        }
    EXPECT_GT(red, 100) << "the H's strokes cross the bar in red";
    EXPECT_EQ(img.pixel(56, 270), Black);

    // Under Redraw the text is black even just after the blue grid.
    p.chkMarkers->setValue(0);
    p.chkGrid->setValue(1);
    const QImage redrawn = canvas();
    for (int y = 264; y <= 275; ++y)
        for (int x = 54; x <= 306; ++x)
            EXPECT_EQ(redrawn.pixel(x, y), Black) << x << "," << y;
}

TEST_F(Window, DeletedRowsLeaveNoTrace) {
    MainPanel& p = *panel;
    auto fill = [&](bool withMiddleRows) {
        for (int i = 0; i < 3; ++i) {
            if (i == 1 && !withMiddleRows)
                continue;
            const auto d = static_cast<std::int16_t>(200 * i);
            p.expression.AddHLine(static_cast<std::int16_t>(200 + d / 4),
                                  static_cast<std::int16_t>(40 + d),
                                  static_cast<std::int16_t>(150 + d), 12);
            p.expression.AddVLine(static_cast<std::int16_t>(100 + d), 450, 600, 6);
            p.expression.AddTextItem("Arial", VbFalse, VbFalse, 50, "Wg",
                                     static_cast<std::int16_t>(60 + d), 620,
                                     static_cast<std::int16_t>(55 + d), 680, 75);
        }
    };
    fill(true);
    p.expression.HLines.live[1] = VbFalse;
    p.expression.VLines.live[1] = VbFalse;
    p.expression.TextItems.live[1] = VbFalse;
    p.Redraw();
    const QImage withDeleted = canvas();

    p.expression.ClearExpression();
    fill(false);
    p.Redraw();
    EXPECT_EQ(canvas(), withDeleted);

    // The middle rows would have shown, had they been live.
    p.expression.ClearExpression();
    fill(true);
    p.Redraw();
    EXPECT_NE(canvas(), withDeleted);

    // A table whose every row is deleted still exists and draws nothing.
    for (std::size_t i = 0; i < 3; ++i) {
        p.expression.HLines.live[i] = VbFalse;
        p.expression.VLines.live[i] = VbFalse;
        p.expression.TextItems.live[i] = VbFalse;
    }
    p.Redraw();
    EXPECT_TRUE(allWhite(canvas()));
    EXPECT_EQ(p.expression.hLinesExist, VbTrue);
}

// "Show Grid" draws only when checked (1), "Show Markers" whenever not
// unchecked (1 or greyed 2); each change redraws at once.
TEST_F(Window, GridAndMarkerSwitchValues) {
    MainPanel& p = *panel;
    p.MarkerDC = patternMarker();
    p.expression.AddHLine(760, 1100, 1200, 1); // a short line low on the right
    const QRect lineArea(1080, 740, 140, 40);
    const struct {
        int grid, markers;
        bool gridDrawn, markersDrawn;
    } cases[] = {
        {1, 1, true, true},  {2, 1, false, true}, {0, 1, false, true},
        {1, 0, true, false}, {0, 2, false, true}, {2, 2, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "grid " << c.grid << ", markers " << c.markers);
        const auto before = p.redrawCount;
        const bool changes = p.chkGrid->value() != c.grid || p.chkMarkers->value() != c.markers;
        p.chkGrid->setValue(c.grid);
        p.chkMarkers->setValue(c.markers);
        if (changes) {
            EXPECT_GT(p.redrawCount, before);
        }
        const QImage img = canvas();
        int wrong = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) {
                if (lineArea.contains(x, y))
                    continue;
                const QRgb want = c.gridDrawn && onThinGrid(x, y) ? GridBlue : White;
                if (img.pixel(x, y) != want && ++wrong <= 3)
                    ADD_FAILURE() << "pixel (" << x << "," << y << ")";
            }
        EXPECT_EQ(wrong, 0);
        EXPECT_EQ(blockEquals(img, QPoint(1146, 756), p.MarkerDC), c.markersDrawn);
    }
}

// The pen width is canvas state: adding a line leaves it at 3, so the grid
// of the next repaint is 3 pixels wide; drawing the lines resets it to 1.
TEST_F(Window, GridIsThreeWideInTheRepaintAfterALineIsAdded) {
    MainPanel& p = *panel;
    p.chkGrid->setValue(1);
    auto gridWidthAt = [&](int x, int y) { // width of the vertical grid line at x, on row y
        int w = 0;
        for (int dx = -3; dx <= 3; ++dx)
            w += px(x + dx, y) == GridBlue ? 1 : 0;
        return w;
    };
    EXPECT_EQ(gridWidthAt(400, 450), 1) << "start-up";
    const struct {
        const char* what;
        std::function<void()> add;
    } adders[] = {
        {"NewHLine", [&] { p.NewHLine(); }},
        {"NewVLine", [&] { p.NewVLine(); }},
    };
    for (const auto& a : adders) {
        SCOPED_TRACE(a.what);
        a.add();
        p.Redraw();
        EXPECT_EQ(gridWidthAt(400, 450), 3);
        EXPECT_EQ(px(25, 469), GridBlue);
        EXPECT_EQ(px(25, 471), GridBlue);
        p.Redraw();
        EXPECT_EQ(gridWidthAt(400, 450), 1);
        EXPECT_EQ(px(25, 469), White);
    }
    p.optV->setChecked(true);
    p.cmdLine->click(); // adds and repaints
    EXPECT_EQ(gridWidthAt(400, 450), 3);
}

// The typed line is drawn where Enter will leave it: at (30, 100), top-left,
// in the font chosen in the lists.
TEST_F(Window, TypedLineIsDrawnWhereItsItemWillStay) {
    MainPanel& p = *panel;
    p.chkMarkers->setValue(0);
    p.textString = "Hg";
    p.Redraw();
    const QImage typed = canvas();
    const QRect ink = inkBox(typed);
    ASSERT_FALSE(ink.isEmpty());
    EXPECT_GE(ink.left(), 28);
    EXPECT_GE(ink.top(), 100) << "the line hangs from y 100";
    EXPECT_LT(ink.top(), 100 + textHeight100() / 2);

    p.textString.clear();
    addText("Hg", 30, 100, 25, 244);
    p.Redraw();
    EXPECT_EQ(canvas(), typed);

    // Text items move with their position, pixel for pixel.
    p.expression.TextItems.x[0] = 60;
    p.expression.TextItems.y[0] = 140;
    p.Redraw();
    EXPECT_EQ(inkBox(canvas()), ink.translated(30, 40));

    // The typed line takes the list's font.
    p.expression.ClearExpression();
    p.textString = "Hg";
    p.cboFont->setCurrentIndex(3); // "Arial Bold"
    EXPECT_NE(canvas(), typed);
}

// --- Font choice ---------------------------------------------------------------

TEST_F(Window, FontAndSizeListsSetTheCanvasFont) {
    MainPanel& p = *panel;
    const struct {
        int index;
        const char* face;
        bool bold, italic, symbols;
    } fonts[] = {
        {0, "Arial", false, false, false},     {1, "MathSymbols", false, false, true},
        {2, "MathSymbols", true, false, true}, {3, "Arial", true, false, false},
        {4, "Arial", false, true, false},      {5, "Arial", true, true, false},
        {6, "Zidezir", false, false, false},   {4, "Arial", false, true, false},
        {3, "Arial", true, false, false}, // "Arial Bold" after "Arial Italic": not italic
    };
    for (const auto& f : fonts) {
        SCOPED_TRACE(testing::Message() << "font " << f.index);
        p.cboFont->setCurrentIndex(f.index);
        EXPECT_EQ(p.canvas.fontName(), f.face);
        EXPECT_EQ(p.canvas.fontBold(), f.bold);
        EXPECT_EQ(p.canvas.fontItalic(), f.italic);
        EXPECT_EQ(p.mathSymbolsFont, f.symbols ? VbTrue : VbFalse);
    }
    const int points[] = {25, 50, 75, 100, 150, 200, 250};
    for (int i : {0, 1, 2, 3, 4, 5, 6, 2}) {
        SCOPED_TRACE(testing::Message() << "size " << i);
        p.cboFsize->setCurrentIndex(i);
        EXPECT_EQ(roundHalfEven16(p.canvas.fontSize()), points[i]);
    }

    // No selection leaves the canvas font as it was.
    p.cboFsize->setCurrentIndex(4);
    p.cboFont->setCurrentIndex(2);
    p.cboFsize->setCurrentIndex(-1);
    p.cboFont->setCurrentIndex(-1);
    p.Redraw();
    EXPECT_EQ(roundHalfEven16(p.canvas.fontSize()), 150);
    EXPECT_EQ(p.canvas.fontName(), "MathSymbols");
    EXPECT_TRUE(p.canvas.fontBold());
    EXPECT_EQ(p.mathSymbolsFont, VbTrue);
}

TEST_F(Window, OnlySymbolFontsKeepTheKeyboardShown) {
    MainPanel& p = *panel;
    for (int index = 0; index < 7; ++index) {
        SCOPED_TRACE(testing::Message() << "font " << index);
        p.cboFont->setCurrentIndex(1);
        p.chkShowKB->setValue(1);
        ASSERT_FALSE(p.Picture3->isHidden()) << "shown with Math Symbols";
        p.cboFont->setCurrentIndex(index);
        const bool symbols = index == 1 || index == 2;
        EXPECT_EQ(p.chkShowKB->value(), symbols ? 1 : 0);
        EXPECT_EQ(p.Picture3->isHidden(), !symbols);
        if (symbols) { // at its home place, showing the keyboard picture
            EXPECT_EQ(p.Picture3->pos(), QPoint(p.frameGeometry().width() - 474, 96));
            EXPECT_EQ(p.picture3Surface.image().copy(0, 0, 465, 140), p.KeyboardNormalDC);
        }
    }
    EXPECT_TRUE(platform.messages.empty())
        << "switching the keyboard off by a font choice is silent";
}

// --- Window commands ---------------------------------------------------------------

TEST_F(Window, NewEmptiesTheExpressionButKeepsTheTypedLine) {
    MainPanel& p = *panel;
    p.expression.AddHLine(160, 26, 114, 12);
    p.expression.AddVLine(60, 106, 194, 6);
    addText("xy", 300, 300, 295, 444);
    p.Redraw();
    auto count = p.redrawCount;
    p.mnuNew->trigger();
    EXPECT_EQ(p.redrawCount, count + 1);
    EXPECT_EQ(p.expression.hLinesExist, VbFalse);
    EXPECT_EQ(p.expression.vLinesExist, VbFalse);
    EXPECT_EQ(p.expression.textItemsExist, VbFalse);
    EXPECT_TRUE(allWhite(canvas()));
    count = p.redrawCount;
    p.mnuNew->trigger(); // on an empty canvas
    EXPECT_EQ(p.redrawCount, count + 1);
    EXPECT_TRUE(allWhite(canvas()));

    p.chkText->setValue(1);
    p.textString = "ab";
    p.expression.AddHLine(400, 26, 114, 12);
    p.Redraw();
    p.mnuNew->trigger();
    EXPECT_EQ(p.textString, "ab");
    EXPECT_EQ(p.chkText->value(), 1);
    const QRect ink = inkBox(canvas());
    ASSERT_FALSE(ink.isEmpty()) << "the typed line is drawn again";
    EXPECT_TRUE(QRect(28, 100, 200, 160).contains(ink));
}

// The window shows the retained picture after every repaint, including
// where a repaint removed something.
TEST_F(Window, ScreenShowsTheCanvasAfterEveryRedraw) {
    MainPanel& p = *panel;
    p.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&p));
    auto expectScreenMatches = [&](const char* step) {
        SCOPED_TRACE(step);
        const QImage shot = p.QWidget::screen()->grabWindow(p.winId()).toImage().convertToFormat(
            QImage::Format_RGB32);
        const QImage picture = canvas();
        const QPoint origin = p.canvasView->mapTo(&p, QPoint(0, 0));
        const QRect shown = QRect(QPoint(0, p.Picture1->height()), p.canvasView->size())
                                .intersected(picture.rect())
                                .intersected(shot.rect().translated(-origin));
        ASSERT_GT(shown.height(), 200);
        int wrong = 0;
        for (int y = shown.top(); y <= shown.bottom(); ++y)
            for (int x = shown.left(); x <= shown.right(); ++x)
                if (shot.pixel(origin + QPoint(x, y)) != picture.pixel(x, y) && ++wrong <= 3)
                    ADD_FAILURE() << "canvas pixel (" << x << "," << y << ")";
        EXPECT_EQ(wrong, 0);
    };
    addText("Wg", 150, 200, 145, 344);
    p.expression.AddHLine(400, 50, 500, 24);
    p.Redraw();
    expectScreenMatches("items added");
    p.expression.TextItems.x[0] = 400;
    p.expression.TextItems.markerX[0] = 395;
    p.expression.HLines.y[0] = 300;
    p.Redraw();
    expectScreenMatches("items moved");
    p.expression.TextItems.live[0] = VbFalse;
    p.Redraw();
    expectScreenMatches("text deleted");
    p.chkGrid->setValue(1);
    expectScreenMatches("grid on");
    p.chkGrid->setValue(0);
    expectScreenMatches("grid off");
    for (std::int16_t i = 0; i < 40; ++i) // many small pieces at once
        p.expression.AddVLine(static_cast<std::int16_t>(100 + 12 * i),
                              static_cast<std::int16_t>(150 + 5 * i),
                              static_cast<std::int16_t>(180 + 5 * i), 3);
    p.Redraw();
    expectScreenMatches("many lines");
    p.mnuNew->trigger();
    expectScreenMatches("File > New");
}

// A repaint of the canvas, of a part of it or of the whole, repaints
// nothing on the tool strip: not the boxes a repaint sets to what they
// already are, nor the strip over the canvas's top.
TEST_F(Window, RepaintsLeaveTheToolStripAlone) {
    MainPanel& p = *panel;
    p.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&p));
    addText("Wg", 150, 200, 145, 344);
    p.Redraw();
    QCoreApplication::processEvents();
    struct StripPaints : QObject {
        QWidget* strip = nullptr;
        int count = 0;
        bool eventFilter(QObject* o, QEvent* e) override {
            if (e->type() == QEvent::Paint && o->isWidgetType() &&
                (o == strip || strip->isAncestorOf(static_cast<QWidget*>(o))))
                ++count;
            return false;
        }
    } paints;
    paints.strip = p.Picture1;
    qApp->installEventFilter(&paints);
    p.expression.TextItems.x[0] = 400;
    p.expression.TextItems.markerX[0] = 395;
    p.Redraw();
    p.canvas.invalidate();
    p.Redraw();
    QCoreApplication::processEvents();
    qApp->removeEventFilter(&paints);
    EXPECT_EQ(paints.count, 0);
}

// The style option a control paints itself with (initStyleOption is
// protected; a pointer to it taken through a subclass is not).
struct OpenGroupBox : QGroupBox {
    using QGroupBox::initStyleOption;
};
struct OpenPushButton : QPushButton {
    using QPushButton::initStyleOption;
};
struct OpenCheckBox : QCheckBox {
    using QCheckBox::initStyleOption;
};
struct OpenRadioButton : QRadioButton {
    using QRadioButton::initStyleOption;
};
struct OpenComboBox : QComboBox {
    using QComboBox::initStyleOption;
};
template <typename Option, typename Widget>
Option paintedWith(const Widget* w, void (Widget::*init)(Option*) const) {
    Option o;
    (w->*init)(&o);
    return o;
}

// Where a control's caption ink lies, drawn in a colour of its own.
QRect captionInk(QWidget* w) {
    const QPalette before = w->palette();
    QPalette pal = before;
    for (const auto group : {QPalette::Active, QPalette::Inactive})
        for (const auto role : {QPalette::WindowText, QPalette::ButtonText})
            pal.setColor(group, role, QColor(255, 0, 255));
    w->setPalette(pal);
    const QImage img = w->grab().toImage().convertToFormat(QImage::Format_ARGB32);
    w->setPalette(before);
    QRect ink;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QColor c = QColor::fromRgba(img.pixel(x, y));
            if (c.alpha() > 0 && c.hsvSaturation() > 60 && std::abs(c.hsvHue() - 300) < 25)
                ink |= QRect(x, y, 1, 1);
        }
    return ink;
}

// On a desktop with a dark colour scheme the tool strip keeps its light
// palette: every caption stands out from what lies behind it at 4.5:1 at
// least, as the screen shows it. Every caption's ink lies inside its
// control's contents, clear of its frame, every control inside its group's
// frame, and every entry of a list fits the list's field.
TEST(ToolStrip, CaptionsReadableOnADarkDesktopAndInsideTheirControls) {
    const QPalette desktop = QApplication::palette();
    QPalette dark(QColor(45, 45, 45), QColor(25, 25, 25));
    for (const auto role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text})
        dark.setColor(role, QColor(230, 230, 230));
    dark.setColor(QPalette::Base, QColor(30, 30, 30));
    QApplication::setPalette(dark);
    struct Restore {
        QPalette palette;
        ~Restore() { QApplication::setPalette(palette); }
    } restore{desktop};

    test::ScriptedPlatform platform;
    MainPanel p(platform);
    p.Form_Load();
    p.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&p));
    // Disabled captions are greyed on purpose; here every one is enabled.
    for (QWidget* w : p.Picture1->findChildren<QWidget*>())
        w->setEnabled(true);
    QCoreApplication::processEvents();
    EXPECT_LT(contrastRatio(p.palette().color(QPalette::Window), QColor(Qt::black)), 4.5)
        << "the window follows the desktop's dark scheme";
    const QImage strip = p.Picture1->grab().toImage().convertToFormat(QImage::Format_RGB32);

    const struct {
        QWidget* w;
        QStyle::SubElement contents; // SE_CustomBase: a group box
    } captions[] = {
        {p.frameLine, QStyle::SE_CustomBase},
        {p.frameText, QStyle::SE_CustomBase},
        {p.frameTools, QStyle::SE_CustomBase},
        {p.frameImage, QStyle::SE_CustomBase},
        {p.optH, QStyle::SE_RadioButtonContents},
        {p.optV, QStyle::SE_RadioButtonContents},
        {p.cmdLine, QStyle::SE_PushButtonContents},
        {p.chkText, QStyle::SE_CheckBoxContents},
        {p.chkShowKB, QStyle::SE_CheckBoxContents},
        {p.chkMarkers, QStyle::SE_CheckBoxContents},
        {p.chkGrid, QStyle::SE_CheckBoxContents},
        {p.cmdSetImage, QStyle::SE_PushButtonContents},
        {p.cmdSetOutline, QStyle::SE_PushButtonContents},
        {p.cmdSavim, QStyle::SE_PushButtonContents},
    };
    for (const auto& c : captions) {
        QWidget* w = c.w;
        SCOPED_TRACE(w->objectName().toStdString());
        QRect text; // where the caption belongs, in the control
        if (auto* g = qobject_cast<QGroupBox*>(w)) {
            const auto opt = paintedWith(g, &OpenGroupBox::initStyleOption);
            text =
                g->style()->subControlRect(QStyle::CC_GroupBox, &opt, QStyle::SC_GroupBoxLabel, g);
            EXPECT_LE(QFontMetrics(g->font()).horizontalAdvance(g->title()), text.width());
            EXPECT_TRUE(g->rect().contains(text));
            // Its controls lie inside its frame, clear of the border.
            const QRect inner = g->style()->subControlRect(QStyle::CC_GroupBox, &opt,
                                                           QStyle::SC_GroupBoxContents, g);
            for (QWidget* inside : g->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
                if (inside->isVisibleTo(g)) { // a list's name label is never shown
                    EXPECT_TRUE(inner.contains(inside->geometry()))
                        << inside->objectName().toStdString() << " is not inside the frame";
                }
        } else {
            QStyleOptionButton opt;
            if (auto* r = qobject_cast<QRadioButton*>(w))
                opt = paintedWith(r, &OpenRadioButton::initStyleOption);
            else if (auto* b = qobject_cast<QCheckBox*>(w))
                opt = paintedWith(b, &OpenCheckBox::initStyleOption);
            else
                opt = paintedWith(qobject_cast<QPushButton*>(w), &OpenPushButton::initStyleOption);
            text = w->style()->subElementRect(c.contents, &opt, w);
            const QRect ink = captionInk(w);
            EXPECT_FALSE(ink.isEmpty());
            EXPECT_TRUE(text.contains(ink))
                << "the caption's ink " << ink.x() << "," << ink.y() << " " << ink.width() << "x"
                << ink.height() << " leaves its place " << text.x() << "," << text.y() << " "
                << text.width() << "x" << text.height();
        }

        // On the screen: the most common colour behind, the ink against it.
        const QRect shown = text.translated(w->mapTo(p.Picture1, QPoint(0, 0))) & strip.rect();
        QHash<QRgb, int> counts;
        for (int y = shown.top(); y <= shown.bottom(); ++y)
            for (int x = shown.left(); x <= shown.right(); ++x)
                ++counts[strip.pixel(x, y)];
        QRgb behind = 0;
        for (auto it = counts.cbegin(); it != counts.cend(); ++it)
            if (it.value() > counts.value(behind))
                behind = it.key();
        double best = 1;
        for (auto it = counts.cbegin(); it != counts.cend(); ++it)
            best = std::max(best, contrastRatio(QColor(it.key()), QColor(behind)));
        EXPECT_GE(best, 4.5);
    }

    for (QComboBox* list : {p.cboLine, p.cboFont, p.cboFsize, p.cboSizeRed}) {
        SCOPED_TRACE(list->objectName().toStdString());
        const auto opt = paintedWith(list, &OpenComboBox::initStyleOption);
        const QRect field = list->style()->subControlRect(QStyle::CC_ComboBox, &opt,
                                                          QStyle::SC_ComboBoxEditField, list);
        const QFontMetrics fm(list->font());
        for (int i = 0; i < list->count(); ++i)
            EXPECT_LE(fm.horizontalAdvance(list->itemText(i)), field.width())
                << "\"" << list->itemText(i).toStdString() << "\"";
        EXPECT_LE(fm.height(), field.height());
    }
}

TEST_F(Window, ResizingRedraws) {
    MainPanel& p = *panel;
    p.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&p));
    const auto before = p.redrawCount;
    p.resize(900, 600);
    EXPECT_TRUE(waitFor([&] { return p.redrawCount > before; }));
    const auto after = p.redrawCount;
    p.resize(1280, 800);
    EXPECT_TRUE(waitFor([&] { return p.redrawCount > after; }));
}

// --- Start-up order ------------------------------------------------------------

// The splash comes first; its timer loads and shows the main window, and
// only then is the splash unloaded.
TEST(StartUpOrder, SplashThenMainWindowThenSplashUnloaded) {
    test::ScriptedPlatform platform;
    Module1 module(platform);
    module.Main();
    frmSplash* splash = module.splash();
    ASSERT_NE(splash, nullptr);
    EXPECT_EQ(splash->logo->size(), QSize(282, 63));
    EXPECT_EQ(splash->lblProductName->text(), QStringLiteral("Corvel Quillmark"));
    EXPECT_EQ(splash->lblProductName->font().family(), QStringLiteral("Arial"));
    EXPECT_EQ(splash->lblVersion->text(), QStringLiteral("Version 4.3"));
    EXPECT_EQ(splash->lblVersion->font().family(), QStringLiteral("MS Sans Serif"));
    EXPECT_TRUE(splash->isVisible());
    EXPECT_EQ(module.mainPanel(), nullptr);
    EXPECT_TRUE(splash->tmrShow->isActive());
    EXPECT_EQ(splash->tmrShow->interval(), 3000);
    EXPECT_TRUE(splash->tmrShow->isSingleShot());
    // Centred on the 1280 x 800 screen.
    EXPECT_NEAR(splash->x(), (1280 - splash->width()) / 2, 1);
    EXPECT_NEAR(splash->y(), (800 - splash->height()) / 2, 1);

    bool splashUpWhileLoading = false;
    const auto show = splash->showMainWindow;
    splash->showMainWindow = [&] {
        splashUpWhileLoading = splash->isVisible();
        show();
    };
    QPointer<frmSplash> watch(splash);
    splash->tmrShow_Timer();
    EXPECT_TRUE(splashUpWhileLoading);
    ASSERT_NE(module.mainPanel(), nullptr);
    EXPECT_TRUE(module.mainPanel()->isVisible());
    EXPECT_GE(module.mainPanel()->redrawCount, 1u) << "Form_Load ran";
    EXPECT_FALSE(splash->tmrShow->isActive());
    EXPECT_FALSE(splash->isVisible());
    EXPECT_TRUE(waitFor([&] { return watch.isNull(); }, 1000)) << "the splash is unloaded";
    EXPECT_EQ(module.splash(), nullptr);
}

TEST(StartUpOrder, TheSplashTimerOpensTheMainWindowOnce) {
    test::ScriptedPlatform platform;
    Module1 module(platform);
    module.Main();
    module.splash()->tmrShow->setInterval(30); // instead of three seconds
    EXPECT_TRUE(
        waitFor([&] { return module.mainPanel() != nullptr && module.splash() == nullptr; }));
    ASSERT_NE(module.mainPanel(), nullptr);
    MainPanel* first = module.mainPanel();
    EXPECT_TRUE(first->isVisible());
    QTest::qWait(100);
    EXPECT_EQ(module.mainPanel(), first);
}
