// File > Save and File > Open in the main window: the dialogs asked for, the
// confirmation, what a refused or failed file leaves behind, and a round trip
// of an expression built with the window's own keys, mouse and buttons.

#include "app/mainpanel.h"
#include "app/widgets.h"
#include "filehelpers.h"
#include "scriptedplatform.h"
#include "tinyfs.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <tuple>

using namespace quill;
using quill::test::readAll;
using quill::test::writeFile;

namespace {

QByteArray hex(const char* h) {
    return QByteArray::fromHex(h);
}

// Records what the window looked like when the open dialog came up.
class RecordingPlatform : public test::ScriptedPlatform {
public:
    std::optional<QString> getOpenFileName(QWidget* parent,
                                           const FileDialogRequest& request) override {
        if (auto* w = qobject_cast<MainPanel*>(parent)) {
            imageSetAtDialog = w->imageSet;
            workspaceShownAtDialog = w->Picture6->isVisible();
        }
        return ScriptedPlatform::getOpenFileName(parent, request);
    }
    VbBool imageSetAtDialog = 99;
    bool workspaceShownAtDialog = true;
};

class FilesWindow : public ::testing::Test {
public:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        w = test::openActiveMainPanel(platform);
        ASSERT_TRUE(w);
    }

    QString at(const char* name) const { return tmp.filePath(QString::fromLatin1(name)); }

    void save(const QString& path) {
        platform.dialogAnswers.emplace_back(path);
        w->mnuSave->trigger();
    }
    void open(const QString& path) {
        platform.dialogAnswers.emplace_back(path);
        w->mnuOpen->trigger();
    }

    // Checks "Text", types the line and Enter.
    void typeLine(const QString& s) {
        QTest::mouseClick(w->chkText, Qt::LeftButton);
        ASSERT_EQ(w->chkText->value(), 1);
        for (const QChar c : s + QLatin1Char('\r')) {
            const int k = c == QLatin1Char('\r') ? int(Qt::Key_Return) : int(c.toUpper().unicode());
            QKeyEvent down(QEvent::KeyPress, k, Qt::NoModifier, QString(c));
            QKeyEvent up(QEvent::KeyRelease, k, Qt::NoModifier, QString(c));
            QApplication::sendEvent(w->Picture4, &down);
            QApplication::sendEvent(w->Picture4, &up);
        }
    }
    void mouse(QEvent::Type type, QPoint at, Qt::MouseButtons held) {
        QMouseEvent e(type, QPointF(at), w->canvasView->mapToGlobal(QPointF(at)),
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, held,
                      Qt::NoModifier);
        QApplication::sendEvent(w->canvasView, &e);
    }
    void drag(QPoint from, QPoint to) {
        mouse(QEvent::MouseButtonPress, from, Qt::LeftButton);
        mouse(QEvent::MouseMove, to, Qt::LeftButton);
        mouse(QEvent::MouseButtonRelease, to, Qt::NoButton);
    }
    void drawLine(bool vertical, int widthIndex) {
        QTest::mouseClick(vertical ? w->optV : w->optH, Qt::LeftButton);
        w->cboLine->setCurrentIndex(widthIndex);
        QTest::mouseClick(w->cmdLine, Qt::LeftButton);
    }

    QTemporaryDir tmp;
    RecordingPlatform platform;
    std::unique_ptr<MainPanel> w;
};

TEST_F(FilesWindow, SaveAsksForAnExpressionFileAndConfirms) {
    const QString folder = platform.folder + QStringLiteral("/Expressions");
    const QString filter = QStringLiteral("Expression Files (*.exp)|*.exp");
    // Right after start-up nothing has been added: six zero bytes.
    for (const char* name : {"first.exp", "no extension", "two.dots.exp"}) {
        SCOPED_TRACE(name);
        const auto redraws = w->redrawCount;
        save(at(name));
        EXPECT_EQ(readAll(at(name)), hex("000000000000"));
        EXPECT_FALSE(QFile::exists(at(name) + QStringLiteral(".exp")));
        ASSERT_EQ(platform.messages.size(), 1u);
        const MessageBoxRequest& m = platform.messages[0];
        EXPECT_EQ(std::tuple(m.text, m.title, m.icon),
                  std::tuple(at(name) + QStringLiteral(" :-  file saved"),
                             QStringLiteral("Save Expression"), MessageIcon::Information));
        ASSERT_EQ(platform.saveDialogs.size(), 1u);
        const FileDialogRequest& d = platform.saveDialogs[0];
        EXPECT_EQ(std::tuple(d.initialFolder, d.filter, d.confirmOverwrite, d.hideReadOnly,
                             d.defaultSuffix),
                  std::tuple(folder, filter, true, false, QStringLiteral("exp")));
        EXPECT_EQ(w->redrawCount, redraws) << "saving does not repaint";
        platform.messages.clear();
        platform.saveDialogs.clear();
    }
    // Cancel: no file, no message.
    platform.dialogAnswers.emplace_back(std::nullopt);
    w->mnuSave->trigger();
    EXPECT_EQ(platform.saveDialogs.size(), 1u);
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_EQ(QDir(tmp.path()).entryList(QDir::Files).size(), 3);

    // One horizontal line of the start-up width, saved over a longer file.
    writeFile(at("first.exp"), QByteArray(300, 'x'));
    QTest::mouseClick(w->cmdLine, Qt::LeftButton);
    save(at("first.exp"));
    EXPECT_EQ(readAll(at("first.exp")), hex("0000ffff0000"
                                            "00000000"
                                            "4600a0001a0072000c00ffff"));
    EXPECT_EQ(platform.messages.size(), 1u);
}

TEST_F(FilesWindow, FailedSaveKeepsTheOldFileAndSaysWhy) {
    const QString old = at("old.exp");
    writeFile(old, hex("0000ffff0000"
                       "00000000"
                       "4600a0001a0072000c00ffff"));
    // A text longer than a file can hold cannot be stored.
    w->expression.AddTextItem("Arial", VbFalse, VbFalse, 25, std::string(32768, ' '), 30, 100, 25,
                              133, 38);
    w->changeTracker.markChanged();
    save(old);
    w->expression.TextItems.text[0] = "fits";
    save(at("missing folder/new.exp"));
    const QString reasons[] = {QStringLiteral("more than the 32767 a file can hold"),
                               QStringLiteral("No such file or directory")};
    ASSERT_EQ(platform.messages.size(), std::size(reasons));
    for (std::size_t i = 0; i < std::size(reasons); ++i) {
        const MessageBoxRequest& m = platform.messages[i];
        EXPECT_EQ(std::tuple(m.title, m.icon),
                  std::tuple(QStringLiteral("Save"), MessageIcon::Critical));
        EXPECT_TRUE(m.text.contains(i == 0 ? old : at("missing folder/new.exp")) &&
                    m.text.contains(reasons[i]))
            << m.text.toStdString();
    }
    EXPECT_TRUE(w->changeTracker.hasUnsavedChanges());
    EXPECT_EQ(readAll(old), hex("0000ffff0000"
                                "00000000"
                                "4600a0001a0072000c00ffff"));
    EXPECT_EQ(QDir(tmp.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("old.exp")});
}

// File > Save onto a disk that is really full: the system's reason instead
// of "file saved", the old file as it was, the expression untouched and
// typing can go on; with room made, the same Save confirms.
TEST_F(FilesWindow, SaveOntoAFullDiskSaysWhyAndKeepsTheOldFile) {
    QUILLMARK_TINYFS_OR_RERUN();
    std::cout << "[ full disk ] " << test::TinyFilesystem::how() << "\n";
    test::TinyFilesystem fs(16, 16);
    ASSERT_TRUE(fs.ok()) << fs.error();
    const QByteArray old = hex("000000000000");
    writeFile(fs.at("drawing.exp"), old);
    ASSERT_GT(fs.fill(), 0);
    QTest::mouseClick(w->cmdLine, Qt::LeftButton);
    typeLine(QStringLiteral("a+b"));
    const Expression before = w->expression;

    w->cboLine->setFocus();
    save(fs.at("drawing.exp"));
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(std::tuple(platform.messages[0].title, platform.messages[0].icon),
              std::tuple(QStringLiteral("Save"), MessageIcon::Critical));
    EXPECT_TRUE(platform.messages[0].text.contains(fs.at("drawing.exp")) &&
                platform.messages[0].text.contains(QString::fromLocal8Bit(std::strerror(ENOSPC))))
        << platform.messages[0].text.toStdString();
    platform.messages.clear();
    EXPECT_EQ(readAll(fs.at("drawing.exp")), old);
    EXPECT_EQ(QDir(fs.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              (QStringList{QStringLiteral("drawing.exp"), QStringLiteral("filler")}));
    EXPECT_EQ(w->expression, before);
    EXPECT_EQ(QApplication::focusWidget(), w->Picture4);

    ASSERT_TRUE(QFile::remove(fs.at("filler")));
    save(fs.at("drawing.exp"));
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, fs.at("drawing.exp") + QStringLiteral(" :-  file saved"));
    EXPECT_EQ(readAll(fs.at("drawing.exp")).left(6), hex("ffffffff0000"));
}

TEST_F(FilesWindow, OpenLeavesImageModeBeforeItsDialog) {
    QWidget* drawing[] = {w->cmdLine,  w->optH,       w->optV,      w->cboLine, w->cboFont,
                          w->cboFsize, w->chkMarkers, w->chkShowKB, w->chkGrid, w->chkText};
    QWidget* imageTools[] = {w->cmdSetOutline, w->cmdSavim, w->cboSizeRed};
    // Image mode as "Set Image" leaves it: the workspace over the canvas,
    // the drawing controls locked and the image tools free.
    w->imageSet = VbTrue;
    w->Picture6->show();
    for (QWidget* c : drawing)
        c->setEnabled(false);
    for (QWidget* c : imageTools)
        c->setEnabled(true);
    platform.dialogAnswers.emplace_back(std::nullopt);
    w->mnuOpen->trigger();

    EXPECT_EQ(platform.imageSetAtDialog, VbFalse);
    EXPECT_FALSE(platform.workspaceShownAtDialog);
    EXPECT_EQ(w->imageSet, VbFalse);
    EXPECT_FALSE(w->Picture6->isVisible());
    for (QWidget* c : drawing)
        EXPECT_TRUE(c->isEnabled()) << c->metaObject()->className();
    for (QWidget* c : imageTools)
        EXPECT_FALSE(c->isEnabled()) << c->metaObject()->className();
    ASSERT_EQ(platform.openDialogs.size(), 1u);
    const FileDialogRequest& d = platform.openDialogs[0];
    EXPECT_EQ(std::tuple(d.initialFolder, d.filter, d.confirmOverwrite, d.hideReadOnly),
              std::tuple(platform.folder + QStringLiteral("/Expressions"),
                         QStringLiteral("Expression Files (*.exp)|*.exp"), false, true));
    EXPECT_TRUE(platform.messages.empty());
}

TEST_F(FilesWindow, SaveThenOpenGivesBackTheExpressionBuiltInTheWindow) {
    // A file with vertical lines only, made first.
    drawLine(true, 6);
    drag(QPoint(60, 150), QPoint(500, 400));
    save(at("vertical.exp"));
    w->New_Click();

    typeLine(QString::fromUtf16(u"x\u00A3\u00AC y"));
    typeLine(QString());
    drawLine(false, 0);
    drawLine(false, 4);
    drawLine(true, 2);
    drag(QPoint(70, 160), QPoint(300, 500)); // the newer horizontal line
    drag(QPoint(60, 194), QPoint(61, 250));  // stretch the vertical one
    QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
    QApplication::sendEvent(w->Picture4, &del);
    mouse(QEvent::MouseButtonPress, QPoint(70, 160), Qt::LeftButton); // the older one goes
    mouse(QEvent::MouseButtonRelease, QPoint(70, 160), Qt::NoButton);
    ASSERT_EQ(w->expression.HLines.live[0], VbFalse);
    const Expression saved = w->expression;
    save(at("drawing.exp"));
    EXPECT_EQ(readAll(at("drawing.exp")).left(6), hex("ffffffffffff"));

    // Open replaces the tables and nothing else.
    w->New_Click();
    w->cboFont->setCurrentIndex(4);
    w->chkText->setValue(1);
    w->textString = "typing";
    const auto hit = std::tuple(w->hitKind, w->hitRow, w->hitHandle, w->Xloc, w->Yloc);
    w->cboLine->setFocus();
    auto redraws = w->redrawCount;
    open(at("drawing.exp"));
    EXPECT_EQ(w->expression, saved);
    EXPECT_GT(w->redrawCount, redraws);
    EXPECT_EQ(QApplication::focusWidget(), w->Picture4);
    EXPECT_EQ(w->textString, "typing");
    EXPECT_EQ(w->chkText->value(), 1);
    EXPECT_EQ(w->cboFont->currentIndex(), 4);
    EXPECT_EQ(std::tuple(w->hitKind, w->hitRow, w->hitHandle, w->Xloc, w->Yloc), hit);
    EXPECT_EQ(platform.messages.size(), 2u);
    // Handles of the opened tables are shown and can be grabbed.
    EXPECT_EQ(w->canvas.point(300, 500), 0x0000DC);
    mouse(QEvent::MouseButtonPress, QPoint(300, 500), Qt::LeftButton);
    EXPECT_EQ(std::tuple(w->hitKind, w->hitRow, w->hitHandle), std::tuple(2, 1, 2));
    mouse(QEvent::MouseButtonRelease, QPoint(300, 500), Qt::NoButton);

    // A file without text items or horizontal lines leaves those empty,
    // whatever was on the canvas.
    open(at("vertical.exp"));
    EXPECT_EQ(w->expression.textItemsExist, VbFalse);
    EXPECT_EQ(w->expression.hLinesExist, VbFalse);
    EXPECT_EQ(w->expression.vLinesExist, VbTrue);
    EXPECT_EQ(w->expression.lastVLine, 0);
    EXPECT_EQ(w->expression.VLines.x[0], 500);
    EXPECT_EQ(w->expression.VLines.width[0], 30);
    EXPECT_EQ(w->canvas.point(300, 500), 0xFFFFFF);
    EXPECT_EQ(w->canvas.point(500, 400), 0x0000DC);
    // New lines go after the opened rows, or start a table of their own.
    drawLine(true, 3);
    drawLine(false, 3);
    EXPECT_EQ(w->expression.lastVLine, 1);
    EXPECT_EQ(w->expression.hLinesExist, VbTrue);
    EXPECT_EQ(w->expression.lastHLine, 0);
}

// A refused file changes nothing on screen and says, in one message box,
// which file and why.
TEST_F(FilesWindow, RefusedFileChangesNothingOnScreenAndSaysWhy) {
    enum Kind { File, Missing, Fifo, Folder };
    const struct {
        const char* name;
        QByteArray bytes;
        const char* reason;
        Kind kind = File;
    } cases[] = {
        {"shorter than its header", hex("ffff0000"), "the file ends inside its 6-byte header"},
        {"section cut short",
         hex("0000ffff0000"
             "00000000"
             "4600a0001a0072000c00"),
         "the file ends inside the horizontal lines table"},
        {"last index 40000",
         hex("0000ffff0000"
             "409c0000") +
             QByteArray(12 * 40001, '\0'),
         "the horizontal lines table announces 40001 rows"},
        {"negative row count",
         hex("00000000ffff"
             "feffffff"),
         "a row count is negative"},
        {"string count past the end",
         hex("ffff00000000"
             "00000000"
             "0001") +
             QByteArray(30, 'A'),
         "the file ends inside the text items table"},
        {"no such file", QByteArray(), "No such file or directory", Missing},
        // A pipe no one writes to: opening it must not wait for a writer.
        {"a pipe", QByteArray(), "it is a named pipe (FIFO), not a file", Fifo},
        {"a folder.exp", QByteArray(), "it is a folder, not a file", Folder},
    };
    QTest::mouseClick(w->cmdLine, Qt::LeftButton);
    typeLine(QStringLiteral("kept"));
    const Expression before = w->expression;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = at(c.name);
        if (c.kind == File) {
            writeFile(path, c.bytes);
        } else if (c.kind == Fifo) {
            ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else if (c.kind == Folder) {
            ASSERT_TRUE(QDir(tmp.path()).mkdir(QString::fromLatin1(c.name)));
        }
        w->cboLine->setFocus();
        const auto redraws = w->redrawCount;
        const auto revision = w->changeTracker.current();
        open(path);
        EXPECT_EQ(w->expression, before);
        EXPECT_EQ(w->redrawCount, redraws);
        EXPECT_EQ(QApplication::focusWidget(), w->Picture4);
        EXPECT_EQ(w->changeTracker.current(), revision);
        EXPECT_TRUE(w->changeTracker.hasUnsavedChanges());
        ASSERT_EQ(platform.messages.size(), 1u);
        const MessageBoxRequest m = platform.messages[0];
        platform.messages.clear();
        EXPECT_EQ(std::tuple(m.title, m.icon),
                  std::tuple(QStringLiteral("Open"), MessageIcon::Critical));
        EXPECT_TRUE(m.text.contains(path) && m.text.contains(QLatin1String(c.reason)))
            << m.text.toStdString();
    }
    EXPECT_EQ(platform.openDialogs.size(), std::size(cases));
}

} // namespace

namespace {

// What each user action does to the flag of unsaved changes, from a state
// just saved that holds a horizontal line (handle at 70, 160) and a text
// item. A change moves the revision on by exactly one.
TEST_F(FilesWindow, WhichActionsCountAsChanges) {
    const auto press = [](FilesWindow& t, QPoint p) {
        t.mouse(QEvent::MouseButtonPress, p, Qt::LeftButton);
    };
    const auto release = [](FilesWindow& t, QPoint p) {
        t.mouse(QEvent::MouseButtonRelease, p, Qt::NoButton);
    };
    const auto armDelete = [](FilesWindow& t) {
        QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
        QApplication::sendEvent(t.w->Picture4, &del);
    };
    const QPoint handle(70, 160);
    const struct {
        const char* name;
        std::function<void(FilesWindow&)> act;
        int revisions;
        bool unsaved;
    } cases[] = {
        {"typing before Enter",
         [](FilesWindow& t) {
             QTest::mouseClick(t.w->chkText, Qt::LeftButton);
             QTest::keyClicks(t.w->Picture4, QStringLiteral("ab"));
         },
         0, false},
        {"Enter commits the line", [](FilesWindow& t) { t.typeLine(QStringLiteral("ab")); }, 1,
         true},
        {"Draw adds a line", [](FilesWindow& t) { t.drawLine(true, 2); }, 1, true},
        {"a drag that moves", [&](FilesWindow& t) { t.drag(handle, QPoint(300, 400)); }, 1, true},
        {"a drag that stretches",
         [&](FilesWindow& t) { t.drag(QPoint(114, 160), QPoint(300, 160)); }, 1, true},
        {"a drag back to where it started",
         [&](FilesWindow& t) {
             press(t, handle);
             t.mouse(QEvent::MouseMove, QPoint(300, 400), Qt::LeftButton);
             t.mouse(QEvent::MouseMove, handle, Qt::LeftButton);
             release(t, handle);
         },
         0, false},
        {"a click on a handle",
         [&](FilesWindow& t) {
             press(t, handle);
             release(t, handle);
         },
         0, false},
        {"a drag on the empty canvas",
         [](FilesWindow& t) { t.drag(QPoint(700, 600), QPoint(800, 650)); }, 0, false},
        {"a deletion",
         [&](FilesWindow& t) {
             armDelete(t);
             press(t, handle);
             release(t, handle);
         },
         1, true},
        {"a deletion and a drag in one press",
         [&](FilesWindow& t) {
             armDelete(t);
             t.drag(handle, QPoint(400, 400));
         },
         1, true},
        {"Delete and a click on nothing",
         [&](FilesWindow& t) {
             armDelete(t);
             t.drag(QPoint(700, 600), QPoint(700, 600));
         },
         0, false},
        {"fonts, sizes, widths and orientation",
         [](FilesWindow& t) {
             t.w->cboFont->setCurrentIndex(4);
             t.w->cboFsize->setCurrentIndex(1);
             t.w->cboLine->setCurrentIndex(0);
             QTest::mouseClick(t.w->optV, Qt::LeftButton);
         },
         0, false},
        {"grid, markers, keyboard and image mode",
         [](FilesWindow& t) {
             QTest::mouseClick(t.w->chkGrid, Qt::LeftButton);
             QTest::mouseClick(t.w->chkShowKB, Qt::LeftButton);
             QTest::mouseClick(t.w->chkMarkers, Qt::LeftButton);
             QTest::mouseClick(t.w->cmdSetImage, Qt::LeftButton);
             QTest::mouseClick(t.w->cmdSetImage, Qt::LeftButton);
         },
         0, false},
        {"a change, then New",
         [](FilesWindow& t) {
             t.drawLine(false, 1);
             t.w->mnuNew->trigger();
         },
         2, false}, // New's tables are a kept state of their own, for undo
        {"a change, then Save",
         [](FilesWindow& t) {
             t.drawLine(false, 1);
             t.save(t.at("again.exp"));
         },
         1, false},
        {"a change, then Open",
         [](FilesWindow& t) {
             t.drawLine(false, 1);
             t.open(t.at("kept.exp"));
         },
         2, false},
        {"a change, then a cancelled Save",
         [](FilesWindow& t) {
             t.drawLine(false, 1);
             t.platform.dialogAnswers.emplace_back(std::nullopt);
             t.w->mnuSave->trigger();
         },
         1, true},
        {"a change, then a failed Save",
         [](FilesWindow& t) {
             t.drawLine(false, 1);
             t.save(t.at("no folder/x.exp"));
         },
         1, true},
        {"a change, then a refused Open",
         [](FilesWindow& t) {
             t.drawLine(false, 1);
             t.open(t.at("no such.exp"));
         },
         1, true},
    };
    QTest::mouseClick(w->cmdLine, Qt::LeftButton);
    typeLine(QStringLiteral("x"));
    save(at("kept.exp"));
    const Expression start = w->expression;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        w->expression = start;
        w->chkText->setValue(0);
        w->textString.clear();
        w->expressionReplaced();
        w->Redraw();
        ASSERT_FALSE(w->changeTracker.hasUnsavedChanges());
        const auto revision = w->changeTracker.current();
        c.act(*this);
        EXPECT_EQ(w->changeTracker.current() - revision, ChangeTracker::Revision(c.revisions));
        EXPECT_EQ(w->changeTracker.hasUnsavedChanges(), c.unsaved);
        if (w->imageSet != VbFalse)
            w->LeaveImageMode();
    }
}

// New, Open, File > Exit and closing the window ask about unsaved changes,
// and each answer does what it says; without changes nothing asks.
TEST_F(FilesWindow, CommandsAskBeforeLettingChangesGo) {
    enum class Command { New, Open, Exit, Close };
    enum class Answer { Saved, SaveCancelled, SaveFailed, Discard, Cancel };
    writeFile(at("other.exp"), hex("0000ffff0000"
                                   "00000000"
                                   "4600a0001a0072000c00ffff"));
    int round = 0;
    for (const Command command : {Command::New, Command::Open, Command::Exit, Command::Close}) {
        for (const Answer answer : {Answer::Saved, Answer::SaveCancelled, Answer::SaveFailed,
                                    Answer::Discard, Answer::Cancel}) {
            SCOPED_TRACE(::testing::Message()
                         << "command " << int(command) << ", answer " << int(answer));
            ++round;
            w->show();
            w->New_Click();
            drawLine(true, 1); // a change
            const Expression changed = w->expression;
            const QString target = at("answer.exp");
            QFile::remove(target);
            platform.questions.clear();
            platform.saveDialogs.clear();
            platform.openDialogs.clear();
            platform.messages.clear();
            switch (answer) {
            case Answer::Saved:
                platform.saveAnswers.push_back(SaveAnswer::Save);
                platform.dialogAnswers.emplace_back(target);
                break;
            case Answer::SaveCancelled:
                platform.saveAnswers.push_back(SaveAnswer::Save);
                platform.dialogAnswers.emplace_back(std::nullopt);
                break;
            case Answer::SaveFailed:
                platform.saveAnswers.push_back(SaveAnswer::Save);
                platform.dialogAnswers.emplace_back(at("no folder/answer.exp"));
                break;
            case Answer::Discard:
                platform.saveAnswers.push_back(SaveAnswer::Discard);
                break;
            case Answer::Cancel:
                platform.saveAnswers.push_back(SaveAnswer::Cancel);
                break;
            }
            const bool goesOn = answer == Answer::Saved || answer == Answer::Discard;
            bool closed = false;
            switch (command) {
            case Command::New:
                w->mnuNew->trigger();
                break;
            case Command::Open:
                platform.dialogAnswers.emplace_back(at("other.exp"));
                w->mnuOpen->trigger();
                break;
            case Command::Exit:
                w->mnuExit->trigger();
                closed = !w->isVisible();
                break;
            case Command::Close:
                closed = w->close();
                break;
            }
            ASSERT_EQ(platform.questions.size(), 1u);
            EXPECT_EQ(platform.questions[0].text,
                      QStringLiteral("Save the changes to this expression?"));
            EXPECT_EQ(platform.saveDialogs.size(), answer <= Answer::SaveFailed ? 1u : 0u);
            EXPECT_EQ(QFile::exists(target), answer == Answer::Saved);
            if (answer == Answer::Saved) {
                EXPECT_EQ(readAll(target).left(6), hex("00000000ffff"));
            }
            EXPECT_EQ(platform.dialogAnswers.size(), command == Command::Open && !goesOn ? 1u : 0u)
                << "the dialogs that should come came";
            switch (command) {
            case Command::New:
                EXPECT_EQ(w->expression.vLinesExist, goesOn ? VbFalse : VbTrue);
                break;
            case Command::Open:
                EXPECT_EQ(platform.openDialogs.size(), goesOn ? 1u : 0u);
                EXPECT_EQ(w->expression.vLinesExist, goesOn ? VbFalse : VbTrue);
                break;
            case Command::Exit:
            case Command::Close:
                EXPECT_EQ(closed, goesOn);
                EXPECT_EQ(w->expression, changed);
                break;
            }
            platform.dialogAnswers.clear();
        }
    }
    EXPECT_EQ(round, 20);

    // Without changes (just saved, opened or cleared) nothing asks.
    w->show();
    drawLine(false, 1);
    save(at("answer.exp"));
    platform.questions.clear();
    w->mnuNew->trigger();
    open(at("other.exp"));
    EXPECT_TRUE(w->close());
    w->show();
    w->mnuExit->trigger();
    EXPECT_TRUE(platform.questions.empty());
}

} // namespace
