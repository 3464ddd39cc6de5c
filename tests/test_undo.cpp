// Undo, redo, copy and paste in the main window: a session of every kind of
// change walked back and forth, what undo leaves alone, the clipboard's
// pictures against Save Image and the exporter, and pasting.

#include "app/mainpanel.h"
#include "app/selectioncontroller.h"
#include "app/widgets.h"
#include "cli/exportcommand.h"
#include "edit/history.h"
#include "filehelpers.h"
#include "files/expcodec.h"
#include "scriptedplatform.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QComboBox>
#include <QImageReader>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

using namespace quill;

namespace {

QByteArray fileBytes(const Expression& e) {
    const EncodeResult r = encodeExpression(e);
    return r.ok ? QByteArray(reinterpret_cast<const char*>(r.bytes.data()),
                             static_cast<qsizetype>(r.bytes.size()))
                : QByteArray("not encodable");
}

// The live rows of an expression, one line each, in table and row order.
std::vector<std::string> liveItems(const Expression& e) {
    std::vector<std::string> out;
    const auto& t = e.TextItems;
    for (int i = 0; i < e.textRowCount(); ++i)
        if (t.live[i])
            out.push_back("T " + t.fontName[i] + ' ' + t.text[i] + ' ' +
                          std::to_string(t.fontSize[i]) + ' ' + std::to_string(t.fontBold[i]) +
                          std::to_string(t.fontItalic[i]) + ' ' + std::to_string(t.x[i]) + ',' +
                          std::to_string(t.y[i]) + ' ' + std::to_string(t.markerX[i]) + ',' +
                          std::to_string(t.markerY[i]) + ' ' + std::to_string(t.height[i]));
    for (int i = 0; i < e.hLineRowCount(); ++i)
        if (e.HLines.live[i])
            out.push_back("H " + std::to_string(e.HLines.midX[i]) + ' ' +
                          std::to_string(e.HLines.y[i]) + ' ' + std::to_string(e.HLines.x1[i]) +
                          ' ' + std::to_string(e.HLines.x2[i]) + ' ' +
                          std::to_string(e.HLines.width[i]));
    for (int i = 0; i < e.vLineRowCount(); ++i)
        if (e.VLines.live[i])
            out.push_back("V " + std::to_string(e.VLines.x[i]) + ' ' +
                          std::to_string(e.VLines.midY[i]) + ' ' + std::to_string(e.VLines.y1[i]) +
                          ' ' + std::to_string(e.VLines.y2[i]) + ' ' +
                          std::to_string(e.VLines.width[i]));
    return out;
}

class UndoWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        w = test::openActiveMainPanel(platform);
        ASSERT_TRUE(w);
        QGuiApplication::clipboard()->clear();
    }

    QString at(const char* name) const { return tmp.filePath(QString::fromLatin1(name)); }

    void key(QWidget* to, int k, Qt::KeyboardModifiers mods = Qt::NoModifier,
             const QString& text = QString()) {
        QKeyEvent down(QEvent::KeyPress, k, mods, text);
        QKeyEvent up(QEvent::KeyRelease, k, mods, text);
        QApplication::sendEvent(to, &down);
        QApplication::sendEvent(to, &up);
    }
    // A shortcut as the keyboard gives it, to whatever has the focus.
    void chord(Qt::Key k, Qt::KeyboardModifiers mods = Qt::ControlModifier) {
        QWidget* focus = QApplication::focusWidget();
        QTest::keyClick(focus ? focus : w.get(), k, mods);
    }
    void typeLine(const QString& s) {
        QTest::mouseClick(w->chkText, Qt::LeftButton);
        for (const QChar c : s)
            key(w->Picture4, c.toUpper().unicode(), Qt::NoModifier, QString(c));
        key(w->Picture4, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    }
    void mouse(QEvent::Type type, QPoint p, Qt::MouseButtons held) {
        QMouseEvent e(type, QPointF(p), w->canvasView->mapToGlobal(QPointF(p)),
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, held,
                      Qt::NoModifier);
        QApplication::sendEvent(w->canvasView, &e);
    }
    void drag(QPoint from, QPoint to) {
        mouse(QEvent::MouseButtonPress, from, Qt::LeftButton);
        mouse(QEvent::MouseMove, (from + to) / 2, Qt::LeftButton);
        mouse(QEvent::MouseMove, to, Qt::LeftButton);
        mouse(QEvent::MouseButtonRelease, to, Qt::NoButton);
    }
    void drawLine(bool vertical, int widthIndex) {
        QTest::mouseClick(vertical ? w->optV : w->optH, Qt::LeftButton);
        w->cboLine->setCurrentIndex(widthIndex);
        QTest::mouseClick(w->cmdLine, Qt::LeftButton);
    }
    // A click with Delete held.
    void deleteAt(QPoint p) {
        QKeyEvent down(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
        QKeyEvent up(QEvent::KeyRelease, Qt::Key_Delete, Qt::NoModifier);
        QApplication::sendEvent(w->Picture4, &down);
        mouse(QEvent::MouseButtonPress, p, Qt::LeftButton);
        mouse(QEvent::MouseButtonRelease, p, Qt::NoButton);
        QApplication::sendEvent(w->Picture4, &up);
    }
    void save(const QString& path) {
        platform.dialogAnswers.emplace_back(path);
        w->mnuSave->trigger();
    }
    void open(const QString& path) {
        platform.dialogAnswers.emplace_back(path);
        w->mnuOpen->trigger();
    }
    QPoint textHandle(int row) const {
        return {w->expression.TextItems.markerX[row], w->expression.TextItems.markerY[row]};
    }
    void setImageWithOutline(QPoint a, QPoint b) {
        QTest::mouseClick(w->cmdSetImage, Qt::LeftButton);
        QTest::mouseClick(w->cmdSetOutline, Qt::LeftButton);
        auto m = [&](QEvent::Type type, QPoint p, Qt::MouseButtons held) {
            QMouseEvent e(type, QPointF(p), w->Picture6->mapToGlobal(QPointF(p)),
                          type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, held,
                          Qt::NoModifier);
            QApplication::sendEvent(w->Picture6, &e);
        };
        m(QEvent::MouseButtonPress, a, Qt::LeftButton);
        m(QEvent::MouseMove, b, Qt::LeftButton);
        m(QEvent::MouseButtonRelease, b, Qt::NoButton);
    }
    QByteArray clip(const char* type) const {
        const QMimeData* d = QGuiApplication::clipboard()->mimeData();
        return d ? d->data(QString::fromLatin1(type)) : QByteArray();
    }

    QTemporaryDir tmp;
    test::ScriptedPlatform platform;
    std::unique_ptr<MainPanel> w;
};

// Every kind of change, one after the other; after k undos the tables (and
// so the bytes a save writes) are those of step n-k, and redo walks forward
// again through the same states.
TEST_F(UndoWindow, UndoAndRedoWalkASessionOfEveryKindOfChange) {
    struct Step {
        const char* what;
        std::function<void()> act;
    };
    const std::vector<Step> session = {
        {"Enter commits a line", [&] { typeLine(QStringLiteral("a+b")); }},
        {"Draw a horizontal line", [&] { drawLine(false, 2); }},
        {"Draw a vertical line", [&] { drawLine(true, 5); }},
        {"drag a text item's handle",
         [&] {
             drag(textHandle(0), {300, 400});
         }},
        {"drag a line's end handle",
         [&] {
             drag({114, 160}, {250, 180});
         }},
        {"delete the vertical line by a click",
         [&] {
             deleteAt({60, 150});
         }},
        {"a run of arrow presses moves everything",
         [&] {
             w->selection->SelectAll_Click();
             for (const Qt::Key k : {Qt::Key_Right, Qt::Key_Right, Qt::Key_Down})
                 key(w->Picture4, k, Qt::NoModifier, QString());
             w->selection->Deselect_Click();
         }},
        {"Enter commits an empty line", [&] { typeLine(QString()); }},
        {"paste a copy of the whole expression",
         [&] {
             chord(Qt::Key_C);
             chord(Qt::Key_V);
         }},
        {"New", [&] { w->mnuNew->trigger(); }},
        {"Draw a line on the new canvas", [&] { drawLine(false, 0); }},
        {"Open a file with horizontal lines only", [&] { open(at("lines.exp")); }},
        {"Open a file with every table", [&] { open(at("saved.exp")); }},
        {"drag an opened text item",
         [&] {
             drag(textHandle(0), {500, 300});
         }},
    };
    Expression linesOnly;
    linesOnly.AddHLine(300, 10, 90, 6);
    linesOnly.AddHLine(310, 10, 90, 6);
    linesOnly.HLines.live[0] = VbFalse;
    test::writeFile(at("lines.exp"), fileBytes(linesOnly));

    std::vector<Expression> states{w->expression};
    std::vector<ChangeTracker::Revision> revisions{w->changeTracker.current()};
    for (std::size_t i = 0; i < session.size(); ++i) {
        SCOPED_TRACE(session[i].what);
        session[i].act();
        ASSERT_NE(w->expression, states.back()) << "the step changed nothing";
        EXPECT_EQ(w->history.undoSteps(), i + 1);
        if (i == 3 || i + 1 == session.size())
            save(at("saved.exp"));
        states.push_back(w->expression);
        revisions.push_back(w->changeTracker.current());
    }
    const std::string typed = w->textString;
    const int font = w->cboFont->currentIndex();

    const std::size_t n = session.size();
    for (std::size_t k = 1; k <= n; ++k) {
        SCOPED_TRACE("undo " + std::to_string(k));
        chord(Qt::Key_Z);
        ASSERT_EQ(w->expression, states[n - k]); // every column, stale rows too
        EXPECT_EQ(fileBytes(w->expression), fileBytes(states[n - k]));
        EXPECT_EQ(w->changeTracker.current(), revisions[n - k]);
        EXPECT_TRUE(w->changeTracker.hasUnsavedChanges()) << "only the last state is saved";
    }
    EXPECT_FALSE(w->mnuUndo->isEnabled());
    chord(Qt::Key_Z);
    EXPECT_EQ(w->expression, states[0]) << "nothing left to undo";
    for (std::size_t k = 1; k <= n; ++k) {
        SCOPED_TRACE("redo " + std::to_string(k));
        if (k % 2)
            chord(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        else
            chord(Qt::Key_Y);
        ASSERT_EQ(w->expression, states[k]);
        EXPECT_EQ(w->changeTracker.current(), revisions[k]);
        EXPECT_EQ(w->changeTracker.hasUnsavedChanges(), k < n) << "back at the saved state";
    }
    EXPECT_FALSE(w->mnuRedo->isEnabled());
    EXPECT_EQ(w->textString, typed);
    EXPECT_EQ(w->cboFont->currentIndex(), font);

    // A new change after undoing ends the redo steps.
    chord(Qt::Key_Z);
    chord(Qt::Key_Z);
    drawLine(true, 1);
    EXPECT_FALSE(w->history.canRedo());
    EXPECT_FALSE(w->mnuRedo->isEnabled());
    chord(Qt::Key_Z);
    EXPECT_EQ(w->expression, states[n - 2]);
}

// Undo leaves the line being typed, the lists, the check boxes and the
// symbol keyboard as they are; in image mode and during a drag it does
// nothing at all.
TEST_F(UndoWindow, UndoTouchesOnlyTheTablesAndWaitsOutImageModeAndDrags) {
    drawLine(false, 3);
    drawLine(false, 4);
    const Expression two = w->expression;
    w->cboFont->setCurrentIndex(1); // a symbol font, so the keyboard can show
    w->chkShowKB->setValue(1);
    QTest::mouseClick(w->chkText, Qt::LeftButton);
    for (const QChar c : QStringLiteral("xy"))
        key(w->Picture4, c.toUpper().unicode(), Qt::NoModifier, QString(c));
    const auto controls = [&] {
        return std::tuple(w->textString, w->cboFont->currentIndex(), w->cboFsize->currentIndex(),
                          w->cboLine->currentIndex(), w->chkText->value(), w->chkShowKB->value(),
                          w->chkMarkers->value(), w->chkGrid->value(), w->keyboardShifted,
                          w->Picture3->isVisible());
    };
    const auto before = controls();
    chord(Qt::Key_Z);
    EXPECT_EQ(w->expression.lastHLine, 0);
    EXPECT_EQ(controls(), before);

    // During a drag: the press has grabbed the first line.
    chord(Qt::Key_Y);
    mouse(QEvent::MouseButtonPress, {70, 160}, Qt::LeftButton);
    mouse(QEvent::MouseMove, {90, 200}, Qt::LeftButton);
    EXPECT_FALSE(w->mnuUndo->isEnabled());
    const Expression dragging = w->expression;
    w->Undo_Click();
    EXPECT_EQ(w->expression, dragging);
    mouse(QEvent::MouseButtonRelease, {90, 200}, Qt::NoButton);
    EXPECT_TRUE(w->mnuUndo->isEnabled());
    chord(Qt::Key_Z);
    EXPECT_EQ(w->expression, two);

    key(w->Picture4, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QTest::mouseClick(w->cmdSetImage, Qt::LeftButton);
    const Expression inImage = w->expression;
    EXPECT_FALSE(w->mnuUndo->isEnabled());
    w->Undo_Click();
    w->Redo_Click();
    EXPECT_EQ(w->expression, inImage);
    QTest::mouseClick(w->cmdSetImage, Qt::LeftButton);
    EXPECT_TRUE(w->mnuUndo->isEnabled());
}

// A History bounded smaller than the steps recorded drops the oldest, at
// the largest expression a file can hold, and still brings back exactly
// the states it keeps; a thousand one-row steps fit in the real bound and
// undo exactly; steps that a new change ends no longer count.
TEST(History, HoldsItsBoundAtTheLargestExpression) {
    Expression big;
    auto v = [](int x) { return static_cast<std::int16_t>(x); };
    for (int i = 0; i < MaxTableRows; ++i) {
        big.AddTextItem("Zidezir", VbFalse, i % 2 ? VbTrue : VbFalse, v(25 + i % 226),
                        "f(x) = " + std::to_string(i), v(i % 1900), v(100 + i % 900), 0, 0, 40);
        big.AddHLine(v(100 + i % 900), v(i % 1800), v(i % 1800 + 50), v(1 + i % 7));
        big.AddVLine(v(i % 1900), 100, v(100 + i % 800), v(1 + i % 5));
    }
    History h;
    h.record(big, 1);
    Expression e = big;
    for (int step = 0; step < 1000; ++step) {
        e.TextItems.x[static_cast<std::size_t>(step * 31)] = static_cast<std::int16_t>(step);
        h.record(e, 2 + static_cast<History::Revision>(step));
    }
    EXPECT_EQ(h.undoSteps(), 1001u);
    EXPECT_LT(h.memoryUsed(), 16u * 1024 * 1024) << "one-row steps stay small";
    // Undone, they give back the first state, rows that begin a block of
    // 256 compared rows (7936, 15872, ...) included.
    History::Revision r = 0;
    for (int step = 0; step < 1000; ++step)
        ASSERT_TRUE(h.undo(e, r));
    EXPECT_TRUE(e == big) << "a row is left changed after every step was undone";

    // Each step between the largest and an empty expression holds every row.
    const std::size_t bound = 4 * 1024 * 1024 * 5;
    History small(bound);
    Expression empty;
    for (int i = 0; i < 12; ++i)
        small.record(i % 2 ? empty : big, 1 + static_cast<History::Revision>(i));
    EXPECT_LE(small.memoryUsed(), bound);
    EXPECT_GE(small.undoSteps(), 2u);
    EXPECT_LT(small.undoSteps(), 12u);
    Expression walk = small.current();
    std::size_t undone = 0;
    while (small.undo(walk, r)) {
        EXPECT_EQ(walk, r % 2 ? big : empty) << "revision " << r;
        ++undone;
    }
    EXPECT_EQ(undone, small.redoSteps());
    EXPECT_EQ(r, 12 - undone);

    // Open the largest expression, undo that, make a small change; again and
    // again. The steps a change ends give their memory back, so the small
    // changes are all kept.
    History cycles(bound);
    Expression drawn;
    for (int i = 0; i < 8; ++i) {
        cycles.record(big, 100 + 2 * static_cast<History::Revision>(i));
        walk = big;
        ASSERT_TRUE(cycles.undo(walk, r)) << "cycle " << i << ": the step just made is gone";
        drawn.AddHLine(100, v(10 * i), v(10 * i + 50), 3);
        cycles.record(drawn, 101 + 2 * static_cast<History::Revision>(i));
    }
    EXPECT_EQ(cycles.undoSteps(), 8u);
    EXPECT_LT(cycles.memoryUsed(), bound / 8);
}

// Copy in image mode with an outline: the bitmap is byte for byte the file
// Save Image writes, and the PNG shows the same grey levels and carries the
// expression.
TEST_F(UndoWindow, CopyInImageModeGivesWhatSaveImageWrites) {
    typeLine(QStringLiteral("x^2"));
    drawLine(false, 6);
    drag({114, 160}, {400, 170});
    w->cboSizeRed->setCurrentIndex(2);
    setImageWithOutline({5, 10}, {460, 150});
    ASSERT_TRUE(w->mnuCopy->isEnabled());
    chord(Qt::Key_C);
    platform.dialogAnswers.emplace_back(at("saved.bmp"));
    QTest::mouseClick(w->cmdSavim, Qt::LeftButton);
    const QByteArray saved = test::readAll(at("saved.bmp"));
    ASSERT_FALSE(saved.isEmpty());
    EXPECT_EQ(clip("image/bmp"), saved);

    const QImage bmp = QImage::fromData(saved, "BMP").convertToFormat(QImage::Format_RGB32);
    QImage png = QImage::fromData(clip("image/png"), "PNG");
    EXPECT_EQ(png.format(), QImage::Format_Indexed8);
    EXPECT_EQ(png.dotsPerMeterX(), 4 * 3780);
    png = png.convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(png.size(), QSize(460 - 5 - 2, 150 - 10 - 2));
    EXPECT_EQ(png, bmp);
    EXPECT_EQ(clip(ExpressionMimeType), fileBytes(w->expression));
}

// Outside image mode the picture is what the exporter fits to the ink.
TEST_F(UndoWindow, CopyOutsideImageModeIsTheExportersFittedPicture) {
    EXPECT_FALSE(w->mnuCopy->isEnabled()) << "nothing to copy yet";
    typeLine(QStringLiteral("a/b"));
    drawLine(true, 3);
    deleteAt({60, 150});
    drawLine(true, 3);
    drag({60, 106}, {60, 700});
    drawLine(false, 1);
    ASSERT_TRUE(w->mnuCopy->isEnabled());
    chord(Qt::Key_C);

    save(at("e.exp"));
    cli::ExportOptions o;
    o.screen = w->canvas.size();
    o.format = cli::ImageFormat::Png;
    o.inputs << at("e.exp");
    cli::Exporter exporter(o);
    QStringList errors;
    ASSERT_TRUE(exporter.exportFile(at("e.exp"), errors))
        << errors.join(QLatin1Char(' ')).toStdString();
    EXPECT_EQ(clip("image/png"), test::readAll(at("e.png")));
    EXPECT_EQ(clip(ExpressionMimeType), test::readAll(at("e.exp")));
    // The box hugs the ink: ink in each outermost row and column but eight.
    const QImage p = QImage::fromData(clip("image/png")).convertToFormat(QImage::Format_RGB32);
    auto inkIn = [&](QRect r) {
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                if (qGreen(p.pixel(x, y)) >> 4 != 15)
                    return true;
        return false;
    };
    const QRect all = p.rect();
    EXPECT_FALSE(inkIn(all.adjusted(0, 0, 0, 8 - all.height())));
    EXPECT_FALSE(inkIn(all.adjusted(0, all.height() - 8, 0, 0)));
    EXPECT_FALSE(inkIn(all.adjusted(0, 0, 8 - all.width(), 0)));
    EXPECT_FALSE(inkIn(all.adjusted(all.width() - 8, 0, 0, 0)));
    EXPECT_TRUE(inkIn(all.adjusted(8, 8, -8, 8 - all.height() + 1)));
    EXPECT_TRUE(inkIn(all.adjusted(8, all.height() - 9, -8, -8)));
    EXPECT_TRUE(inkIn(all.adjusted(8, 8, 8 - all.width() + 1, -8)));
    EXPECT_TRUE(inkIn(all.adjusted(all.width() - 9, 8, -8, -8)));
}

// Paste adds the live items of what the clipboard carries, at their saved
// places after the rows already there, as one step; anything else on the
// clipboard does nothing. A focused size-reduction field keeps its own
// copy, paste and undo.
TEST_F(UndoWindow, PasteAddsTheLiveItemsOfAnExpressionOrOfAPictureCarryingOne) {
    typeLine(QStringLiteral("sum"));
    drawLine(false, 2);
    drawLine(true, 2);
    drag({60, 106}, {80, 90});
    deleteAt({70, 160}); // the horizontal line, by its middle
    const std::vector<std::string> copied = liveItems(w->expression);
    ASSERT_EQ(copied.size(), 2u);
    chord(Qt::Key_C);
    const QByteArray png = clip("image/png");

    test::ScriptedPlatform platform2;
    auto second = test::openActiveMainPanel(platform2);
    ASSERT_TRUE(second);
    second->expression.AddVLine(500, 400, 600, 3);
    second->expressionChanged();
    const std::vector<std::string> own = liveItems(second->expression);
    ASSERT_TRUE(second->mnuPaste->isEnabled());
    second->mnuPaste->trigger();
    std::vector<std::string> expected = copied;
    expected.insert(expected.end(), own.begin(), own.end());
    std::sort(expected.begin(), expected.end());
    std::vector<std::string> got = liveItems(second->expression);
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, expected);
    EXPECT_EQ(second->expression.lastVLine, 1) << "after the row already there";
    EXPECT_EQ(second->history.undoSteps(), 2u);
    second->mnuUndo->trigger();
    EXPECT_EQ(liveItems(second->expression), own);

    // A picture that carries the expression pastes the same items.
    auto* pictureOnly = new QMimeData;
    pictureOnly->setData(QStringLiteral("image/png"), png);
    QGuiApplication::clipboard()->setMimeData(pictureOnly);
    second->mnuPaste->trigger();
    got = liveItems(second->expression);
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, expected);

    // Anything else: nothing happens, no step.
    const Expression now = second->expression;
    const std::size_t steps = second->history.undoSteps();
    const QImage decoded = QImage::fromData(png).convertToFormat(QImage::Format_RGB32);
    const QImage plainPicture = QImage(decoded.constBits(), decoded.width(), decoded.height(),
                                       decoded.bytesPerLine(), decoded.format())
                                    .copy(); // the pixels without the text
    QByteArray plainPng;
    QBuffer buffer(&plainPng);
    buffer.open(QIODevice::WriteOnly);
    plainPicture.save(&buffer, "PNG");
    QByteArray damaged = fileBytes(w->expression);
    damaged.chop(3);
    for (const auto& [type, bytes] : std::vector<std::pair<QString, QByteArray>>{
             {QStringLiteral("image/png"), plainPng},
             {QString::fromLatin1(ExpressionMimeType), damaged},
             {QStringLiteral("text/plain"), "x+1"}}) {
        SCOPED_TRACE(type.toStdString());
        auto* other = new QMimeData;
        other->setData(type, bytes);
        QGuiApplication::clipboard()->setMimeData(other);
        second->Paste_Click();
        EXPECT_EQ(second->expression, now);
        EXPECT_EQ(second->history.undoSteps(), steps);
        // The menu, as it opens, greys Paste unless the type is one it takes.
        Q_EMIT second->mnuEdit->aboutToShow();
        EXPECT_EQ(second->mnuPaste->isEnabled(), type == QString::fromLatin1(ExpressionMimeType));
    }
    second.reset();

    // The size-reduction field's own keys, while it has the focus.
    w->activateWindow();
    QTest::mouseClick(w->cmdSetImage, Qt::LeftButton);
    QLineEdit* field = w->cboSizeRed->lineEdit();
    ASSERT_TRUE(field);
    field->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return field->hasFocus(); }));
    const QString shown = field->text();
    field->selectAll();
    chord(Qt::Key_C);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), shown);
    EXPECT_FALSE(QGuiApplication::clipboard()->mimeData()->hasFormat(
        QString::fromLatin1(ExpressionMimeType)));
    QTest::keyClicks(field, QStringLiteral("7"));
    EXPECT_EQ(field->text(), QStringLiteral("7"));
    chord(Qt::Key_Z);
    EXPECT_EQ(field->text(), shown);
    QTest::keyClicks(field, QStringLiteral("7"));
    field->selectAll();
    chord(Qt::Key_V);
    EXPECT_EQ(field->text(), shown);
}

} // namespace
