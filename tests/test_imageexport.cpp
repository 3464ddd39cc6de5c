// Image export in the main window: image mode and its controls, the outline
// dragged on the workspace, and Save Image from the button to the file on
// disk, read back by decoders written elsewhere.

#include "app/mainpanel.h"
#include "app/widgets.h"
#include "bmpdecoders.h"
#include "export/workspacecapture.h"
#include "filehelpers.h"
#include "scriptedplatform.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

using namespace quill;
using namespace quill::test;

namespace {

class ImageExport : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        w = openActiveMainPanel(platform);
        ASSERT_TRUE(w);
    }

    QString at(const char* name) const { return tmp.filePath(QString::fromLatin1(name)); }

    void mouse(QEvent::Type type, QPoint p, Qt::MouseButtons held) {
        QMouseEvent e(type, QPointF(p), w->Picture6->mapToGlobal(QPointF(p)),
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, held,
                      Qt::NoModifier);
        QApplication::sendEvent(w->Picture6, &e);
    }
    void press(QPoint p) { mouse(QEvent::MouseButtonPress, p, Qt::LeftButton); }
    void move(QPoint p) { mouse(QEvent::MouseMove, p, Qt::LeftButton); }
    void release(QPoint p) { mouse(QEvent::MouseButtonRelease, p, Qt::NoButton); }
    void dragOutline(QPoint from, QPoint to) {
        press(from);
        move((from + to) / 2);
        move(to);
        release(to);
    }
    void saveImage(const std::optional<QString>& answer) {
        platform.dialogAnswers.push_back(answer);
        QTest::mouseClick(w->cmdSavim, Qt::LeftButton);
    }

    // The grey values a decoder must show for the area of the workspace's
    // canvas copy inside corners (x1, y1) < (x2, y2): the upper half of
    // green, black off the copy.
    GreyPicture expectedFromCopy(int x1, int y1, int x2, int y2) const {
        GreyPicture p;
        p.width = x2 - x1 - 2;
        p.height = y2 - y1 - 2;
        const QImage& copy = w->picture6Copy;
        for (int y = y1 + 1; y <= y2 - 2; ++y)
            for (int x = x1 + 1; x <= x2 - 2; ++x) {
                const int g = copy.rect().contains(x, y) ? qGreen(copy.pixel(x, y)) >> 4 : 0;
                p.grey.push_back(static_cast<std::uint8_t>(0x11 * g));
            }
        return p;
    }

    QTemporaryDir tmp;
    ScriptedPlatform platform;
    std::unique_ptr<MainPanel> w;
};

// The picture with a one-pixel frame in `colour` between two corners,
// clipped to the picture.
QImage withFrame(QImage picture, QPoint a, QPoint b, QRgb colour) {
    const QRect r(QPoint(std::min(a.x(), b.x()), std::min(a.y(), b.y())),
                  QPoint(std::max(a.x(), b.x()), std::max(a.y(), b.y())));
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if ((x == r.left() || x == r.right() || y == r.top() || y == r.bottom()) &&
                picture.rect().contains(x, y))
                picture.setPixel(x, y, colour);
    return picture;
}

TEST_F(ImageExport, SetImageFreezesTheCanvasWithoutAidsAndSwapsTheControls) {
    QTest::mouseClick(w->cmdLine, Qt::LeftButton); // a line with its markers
    w->chkGrid->setValue(1);
    ASSERT_EQ(w->chkMarkers->value(), 1);
    const auto redraws = w->redrawCount;
    QTest::mouseClick(w->cmdSetImage, Qt::LeftButton);

    EXPECT_EQ(w->imageSet, VbTrue);
    EXPECT_EQ(w->chkMarkers->value(), 0);
    EXPECT_EQ(w->chkGrid->value(), 0);
    EXPECT_EQ(w->redrawCount, redraws + 3) << "each box's handler, then the image's own";
    EXPECT_TRUE(w->Picture6->isVisible());
    EXPECT_EQ(w->Picture6->geometry(), QRect(0, 96, 1280, 704));
    // The copy is the canvas below the tool strip, now without grid or
    // markers: black line, white elsewhere, and what the workspace shows.
    const QImage expected = w->canvas.image().copy(0, 96, 1280, 704);
    EXPECT_EQ(w->picture6Copy, expected);
    EXPECT_EQ(w->picture6Surface.image(), expected);
    int black = 0, other = 0;
    for (int y = 0; y < expected.height(); ++y)
        for (int x = 0; x < expected.width(); ++x) {
            const QRgb c = expected.pixel(x, y) & 0xFFFFFF;
            black += c == 0;
            other += c != 0 && c != 0xFFFFFF;
        }
    EXPECT_GT(black, 0);
    EXPECT_EQ(other, 0) << "no blue grid, no marker";

    QWidget* const drawing[] = {w->cmdLine,  w->optH,       w->optV,      w->cboLine, w->cboFont,
                                w->cboFsize, w->chkMarkers, w->chkShowKB, w->chkGrid, w->chkText};
    for (QWidget* c : drawing)
        EXPECT_FALSE(c->isEnabled()) << c->objectName().toStdString();
    for (QWidget* c : {static_cast<QWidget*>(w->cmdSetOutline), static_cast<QWidget*>(w->cmdSavim),
                       static_cast<QWidget*>(w->cboSizeRed)})
        EXPECT_TRUE(c->isEnabled()) << c->objectName().toStdString();

    QTest::mouseClick(w->cmdSetImage, Qt::LeftButton);
    EXPECT_EQ(w->imageSet, VbFalse);
    EXPECT_FALSE(w->Picture6->isVisible());
    for (QWidget* c : drawing)
        EXPECT_TRUE(c->isEnabled()) << c->objectName().toStdString();
    for (QWidget* c : {static_cast<QWidget*>(w->cmdSetOutline), static_cast<QWidget*>(w->cmdSavim),
                       static_cast<QWidget*>(w->cboSizeRed)})
        EXPECT_FALSE(c->isEnabled()) << c->objectName().toStdString();
    EXPECT_EQ(w->chkMarkers->value(), 0);
    EXPECT_EQ(w->chkGrid->value(), 0);
}

TEST_F(ImageExport, TheOutlineFollowsTheDragOverAnUnchangedCopy) {
    w->expression.AddTextItem("Arial", VbFalse, VbFalse, 72, "x+1", 60, 150, 55, 240, 90);
    w->Redraw();
    QTest::mouseClick(w->cmdSetImage, Qt::LeftButton);
    const QImage copy = w->picture6Copy;

    // Not armed yet: a drag draws nothing, a press clears the outline.
    w->outlineSet = VbTrue;
    dragOutline(QPoint(10, 10), QPoint(200, 100));
    EXPECT_EQ(w->outlineSet, VbFalse);
    EXPECT_EQ(w->picture6Surface.image(), copy);

    QTest::mouseClick(w->cmdSetOutline, Qt::LeftButton);
    EXPECT_EQ(w->picture6Surface.image(), copy) << "arming draws nothing";
    press(QPoint(10, 10));
    EXPECT_EQ(w->outlineSet, VbFalse);
    // Each move shows exactly the copy with one blue frame, wherever the
    // earlier frames were; the copy itself never changes.
    const QPoint moves[] = {{110, 60}, {300, 200}, {40, 30}, {5, 400}, {1500, -20}, {110, 60}};
    for (const QPoint to : moves) {
        move(to);
        ASSERT_EQ(w->picture6Surface.image(), withFrame(copy, QPoint(10, 10), to, qRgb(0, 0, 255)))
            << to.x() << "," << to.y();
        EXPECT_EQ(w->outlineSet, VbTrue);
    }
    release(QPoint(110, 60));
    EXPECT_EQ(w->picture6Copy, copy);
    EXPECT_EQ(std::tuple(w->outlineX1, w->outlineY1, w->outlineX2, w->outlineY2),
              std::tuple(10, 10, 110, 60));
    // Moving without a button held after the release changes nothing.
    const QImage shown = w->picture6Surface.image();
    move(QPoint(400, 400));
    EXPECT_EQ(w->picture6Surface.image(), shown);

    // A click without a move: the frame stays on the screen but no outline
    // is set, and Save Image says so.
    press(QPoint(30, 30));
    release(QPoint(30, 30));
    EXPECT_EQ(w->picture6Surface.image(), shown);
    EXPECT_EQ(w->outlineSet, VbFalse);
    saveImage(at("never.bmp"));
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(std::tuple(platform.messages[0].text, platform.messages[0].title,
                         platform.messages[0].icon),
              std::tuple(QStringLiteral("Outline must be set first."), QStringLiteral("Outline"),
                         MessageIcon::Exclamation));
    EXPECT_TRUE(platform.saveDialogs.empty());
    EXPECT_FALSE(QFile::exists(at("never.bmp")));
    EXPECT_EQ(w->picture6Surface.image(), shown);
}

TEST_F(ImageExport, SaveImageWritesTheAreaInsideTheOutlineAsTheDecodersShowIt) {
    w->expression.AddTextItem("Arial", VbFalse, VbTrue, 72, "f(x)=y", 60, 150, 55, 240, 90);
    w->expression.AddHLine(300, 40, 500, 4);
    w->Redraw();
    QTest::mouseClick(w->cmdSetImage, Qt::LeftButton);
    QTest::mouseClick(w->cmdSetOutline, Qt::LeftButton);
    // Dragged from the bottom right to the top left, past the right edge.
    dragOutline(QPoint(1290, 260), QPoint(30, 20));
    w->cboSizeRed->setCurrentIndex(3);
    saveImage(at("eq1.bmp"));

    ASSERT_EQ(platform.saveDialogs.size(), 1u);
    const FileDialogRequest& d = platform.saveDialogs[0];
    EXPECT_EQ(std::tuple(d.initialFolder, d.filter, d.confirmOverwrite, d.title, d.defaultSuffix),
              std::tuple(platform.folder + QStringLiteral("/Images"),
                         QStringLiteral("Image Files (*.bmp)|*.bmp|PNG Image (*.png)|*.png|"
                                        "SVG Image (*.svg)|*.svg"),
                         true, QString(), QStringLiteral("bmp")));
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(std::tuple(platform.messages[0].text, platform.messages[0].title,
                         platform.messages[0].icon),
              std::tuple(at("eq1.bmp") + QStringLiteral(" :-  file saved"),
                         QStringLiteral("Save Image"), MessageIcon::Information));
    EXPECT_TRUE(w->Picture4->hasFocus());
    EXPECT_EQ(w->imageSet, VbTrue);
    EXPECT_EQ(w->outlineSet, VbTrue);
    EXPECT_FALSE(w->ProgressBar1->isVisible());
    EXPECT_FALSE(w->Label1->isVisible());
    // The frame is painted white over the blue one.
    EXPECT_EQ(w->picture6Surface.image(),
              withFrame(w->picture6Copy, QPoint(1290, 260), QPoint(30, 20), qRgb(255, 255, 255)));

    const QByteArray file = readAll(at("eq1.bmp"));
    ASSERT_GE(file.size(), 118);
    EXPECT_EQ(file.mid(38, 8), QByteArray::fromHex("2076000020760000")); // 30240 twice
    const GreyPicture want = expectedFromCopy(30, 20, 1290, 260);
    EXPECT_EQ(want.width, 1258);
    EXPECT_EQ(firstDifference(decodeWithBmptopnm(at("eq1.bmp")), want), "");
    EXPECT_EQ(firstDifference(decodeWithImageMagick(at("eq1.bmp")), want), "");
    EXPECT_EQ(firstDifference(decodeWithQt(at("eq1.bmp")), want), "");

    // Saved again over a longer file, with a factor typed into the size
    // field: its resolution, and nothing of the old file left.
    writeFile(at("eq1.bmp"), QByteArray(4 * file.size(), 'x'));
    w->cboSizeRed->lineEdit()->clear();
    QTest::keyClicks(w->cboSizeRed->lineEdit(), QStringLiteral("3"));
    EXPECT_EQ(w->sizeReductionPosition(), -1);
    // Choosing the entry the list still shows selects it again.
    w->cboSizeRed->activated(w->cboSizeRed->currentIndex());
    EXPECT_EQ(w->sizeReductionPosition(), w->cboSizeRed->currentIndex());
    w->cboSizeRed->lineEdit()->clear();
    QTest::keyClicks(w->cboSizeRed->lineEdit(), QStringLiteral("4"));
    EXPECT_EQ(w->sizeReductionPosition(), 2);
    saveImage(at("eq1.bmp"));
    const QByteArray again = readAll(at("eq1.bmp"));
    EXPECT_EQ(again.size(), file.size());
    EXPECT_EQ(again.mid(38, 8), QByteArray::fromHex("103b0000103b0000")); // 15120 twice
    EXPECT_EQ(again.mid(46), file.mid(46));
    EXPECT_EQ(platform.messages.size(), 2u);
}

TEST_F(ImageExport, CancelEmptyOutlineAndFailedWritesLeaveEverythingAsItWas) {
    QTest::mouseClick(w->cmdSetImage, Qt::LeftButton);
    QTest::mouseClick(w->cmdSetOutline, Qt::LeftButton);
    dragOutline(QPoint(100, 100), QPoint(400, 300));

    saveImage(std::nullopt); // Cancel
    EXPECT_EQ(platform.saveDialogs.size(), 1u);
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_TRUE(w->Picture4->hasFocus());
    EXPECT_EQ(w->imageSet, VbTrue);

    // A folder that does not exist, and a write that fails part way over an
    // old file: the old file stays byte for byte, no other file appears,
    // and a message names the file and the system's reason.
    saveImage(at("gone/new.bmp"));
    const QByteArray old("BM old picture");
    writeFile(at("old.bmp"), old);
    {
        const FileSizeLimit limit(200);
        ASSERT_TRUE(limit.active());
        saveImage(at("old.bmp"));
    }
    const std::pair<QString, QString> told[] = {
        {at("gone/new.bmp"), QStringLiteral("No such file or directory")},
        {at("old.bmp"), QStringLiteral("File too large")}};
    ASSERT_EQ(platform.messages.size(), std::size(told));
    for (std::size_t i = 0; i < std::size(told); ++i) {
        const MessageBoxRequest& m = platform.messages[i];
        EXPECT_EQ(std::tuple(m.title, m.icon),
                  std::tuple(QStringLiteral("Save Image"), MessageIcon::Critical));
        EXPECT_TRUE(m.text.contains(told[i].first) && m.text.contains(told[i].second))
            << m.text.toStdString();
    }
    platform.messages.clear();
    EXPECT_EQ(readAll(at("old.bmp")), old);
    EXPECT_EQ(QDir(tmp.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("old.bmp")});
    EXPECT_EQ(w->imageSet, VbTrue);
    EXPECT_TRUE(w->Picture6->isVisible());
    EXPECT_TRUE(w->Picture4->hasFocus());

    // An outline with nothing inside: a message of its own, no dialog.
    dragOutline(QPoint(50, 50), QPoint(52, 90));
    const auto dialogs = platform.saveDialogs.size();
    saveImage(at("empty.bmp"));
    EXPECT_EQ(platform.saveDialogs.size(), dialogs);
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].title, QStringLiteral("Outline"));
    EXPECT_EQ(platform.messages[0].icon, MessageIcon::Exclamation);
    EXPECT_FALSE(QFile::exists(at("empty.bmp")));
}

// Text typed into the size field stays what was typed, however the typing
// ends: it is not completed to an entry and never added to the list. A
// typed factor counts when it is one of the list's six, blanks around it
// allowed; anything else refuses Save Image with a message naming the six,
// and nothing is asked or written.
TEST_F(ImageExport, ATypedSizeCountsOnlyWhenItIsOneOfTheSix) {
    QTest::mouseClick(w->cmdSetImage, Qt::LeftButton);
    QTest::mouseClick(w->cmdSetOutline, Qt::LeftButton);
    dragOutline(QPoint(10, 20), QPoint(30, 40));
    const struct {
        const char* typed;
        bool enter;             // else the click on Save Image ends the typing
        const char* resolution; // the stored pair, or null: refused
    } cases[] = {{"3", false, nullptr},
                 {"8", false, "2076000020760000"},
                 {" 16 ", true, "40ec000040ec0000"},
                 {"x", false, nullptr},
                 {"x9", true, nullptr}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << '"' << c.typed << '"' << (c.enter ? " and Enter" : ""));
        QFile::remove(at("typed.bmp"));
        platform.messages.clear();
        const auto dialogs = platform.saveDialogs.size();
        w->cboSizeRed->setCurrentIndex(2);
        w->cboSizeRed->setFocus();
        w->cboSizeRed->lineEdit()->selectAll();
        QTest::keyClicks(w->cboSizeRed, QString::fromLatin1(c.typed));
        if (c.enter)
            QTest::keyClick(w->cboSizeRed, Qt::Key_Return);
        if (c.resolution) {
            saveImage(at("typed.bmp"));
            EXPECT_EQ(readAll(at("typed.bmp")).mid(38, 8).toHex(), QByteArray(c.resolution));
        } else {
            QTest::mouseClick(w->cmdSavim, Qt::LeftButton);
            EXPECT_EQ(platform.saveDialogs.size(), dialogs);
            EXPECT_FALSE(QFile::exists(at("typed.bmp")));
            ASSERT_EQ(platform.messages.size(), 1u);
            const MessageBoxRequest& m = platform.messages[0];
            EXPECT_EQ(std::tuple(m.text, m.title, m.icon),
                      std::tuple(QStringLiteral("The size reduction must be 1, 2, 4, 8, 16 or 32."),
                                 QStringLiteral("Size Reduction"), MessageIcon::Exclamation));
        }
        EXPECT_EQ(w->cboSizeRed->currentText(), QString::fromLatin1(c.typed));
        EXPECT_EQ(w->cboSizeRed->count(), 6);
    }
}

TEST_F(ImageExport, TheOutlineOutlivesLeavingImageMode) {
    QTest::mouseClick(w->cmdSetImage, Qt::LeftButton);
    QTest::mouseClick(w->cmdSetOutline, Qt::LeftButton);
    dragOutline(QPoint(10, 20), QPoint(110, 70));
    QTest::mouseClick(w->cmdSetImage, Qt::LeftButton);
    QTest::mouseClick(w->cmdSetImage, Qt::LeftButton);
    EXPECT_EQ(w->picture6Surface.image(), w->picture6Copy) << "a fresh copy shows no frame";
    EXPECT_EQ(w->outlineSet, VbTrue);
    // Still armed: a new drag draws at once.
    dragOutline(QPoint(10, 20), QPoint(110, 70));
    EXPECT_NE(w->picture6Surface.image(), w->picture6Copy);
    saveImage(at("again.bmp"));
    const QByteArray file = readAll(at("again.bmp"));
    ASSERT_GE(file.size(), 26);
    EXPECT_EQ(file.mid(18, 8), QByteArray::fromHex("6200000030000000")); // 98 x 48
}

} // namespace

// Save Image shows its label and bar only for a capture that runs past its
// quiet time, moves the bar at most once a step from then on, and takes
// them away when the capture ends; what is captured is the same either way.
TEST(CaptureProgress, ShowsOnlyACaptureThatRunsPastItsQuietTime) {
    QImage picture(300, 200, QImage::Format_RGB32);
    picture.fill(qRgb(0x12, 0x34, 0x56));
    const OutlineArea area = outlineArea(0, 0, 299, 199);
    const CapturedImage plain = captureOutline(picture, area);
    const struct {
        int quietMs, stepMs;
        std::vector<std::string> calls;
    } cases[] = {
        {0, 0, {"show", "move", "hide"}}, // every later row with a new whole value moves it
        {0, 1000000, {"show", "hide"}},
        {1000000, 0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.quietMs << " " << c.stepMs);
        std::vector<std::string> calls;
        float shownAt = -1;
        CaptureProgressView view;
        view.quietMs = c.quietMs;
        view.stepMs = c.stepMs;
        view.show = [&](float value) {
            calls.push_back("show");
            shownAt = value;
        };
        view.move = [&](float) {
            if (calls.back() != "move")
                calls.push_back("move");
        };
        view.hide = [&] { calls.push_back("hide"); };
        CapturedImage into;
        captureOutline(picture, area, into, view);
        EXPECT_EQ(calls, c.calls);
        if (!c.calls.empty()) {
            EXPECT_GE(shownAt, 1.0f);
            EXPECT_LT(shownAt, 2.0f); // the first row that gives the bar a new whole value
        }
        EXPECT_EQ(into.colours, plain.colours);
    }
}
