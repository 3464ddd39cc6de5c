// A long seeded stream of random user events sent to the real controls of
// the main window: keys of every kind to whatever has the focus and to the
// typing box, presses, drags and releases with every button wherever they
// land (canvas, keyboard picture, image workspace), every check box, list
// and button, File > New, Open and Save with dialogs that answer names or
// Cancel, image mode on and off. After every event the program's
// invariants must hold, and every saved file must open again to the tables
// that were saved.
//
// QUILLMARK_SOAK_EVENTS (default 100000) and QUILLMARK_SOAK_SECONDS
// (default 150) bound the run, whichever comes first; QUILLMARK_SOAK_SEED
// picks the stream. The test fails when the time bound cut the run below
// 20,000 events, so it cannot pass by doing little.

#include "app/mainpanel.h"
#include "app/selectioncontroller.h"
#include "app/widgets.h"
#include "filehelpers.h"
#include "files/expcodec.h"
#include "scriptedplatform.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

using namespace quill;

namespace {

long long envNumber(const char* name, long long fallback) {
    const char* v = std::getenv(name);
    if (!v || !*v)
        return fallback;
    char* end = nullptr;
    const long long n = std::strtoll(v, &end, 10);
    return (end && *end == 0 && n > 0) ? n : fallback;
}

// Dialogs answered by the stream, message boxes only counted.
class SoakPlatform : public test::ScriptedPlatform {
public:
    std::function<std::optional<QString>(const FileDialogRequest&, bool save)> answer;
    long long messageCount = 0; // " :-  file saved" confirmations; failures are not counted
    long long dialogCount = 0;

    void messageBox(QWidget*, const MessageBoxRequest& r) override {
        if (r.icon != MessageIcon::Critical)
            ++messageCount;
    }
    std::optional<QString> getSaveFileName(QWidget*, const FileDialogRequest& r) override {
        ++dialogCount;
        return answer(r, true);
    }
    // The save question, answered by the stream.
    std::function<SaveAnswer()> question;
    long long questionCount = 0;
    SaveAnswer lastAnswer = SaveAnswer::Cancel;
    long long openDialogCount = 0;

    SaveAnswer askSave(QWidget*, const SaveQuestion&) override {
        ++questionCount;
        return lastAnswer = question();
    }
    std::optional<QString> getOpenFileName(QWidget*, const FileDialogRequest& r) override {
        ++dialogCount;
        ++openDialogCount;
        return answer(r, false);
    }
    void showHelp(const QString&, const QString&) override {}
};

// Whether a middle handle is the midpoint of its ends, a half rounded to
// the even neighbour.
bool middleOfEnds(int mid, int a, int b) {
    const int sum = a + b;
    if (sum % 2 == 0)
        return mid == sum / 2;
    const int below = sum >= 0 ? sum / 2 : -((1 - sum) / 2); // the half, rounded down
    return mid == (below % 2 == 0 ? below : below + 1);
}

bool isVbBool(int v) {
    return v == 0 || v == -1;
}

bool typeable(unsigned char c) {
    return (c >= 32 && c <= 126) || c == 163 || c == 172;
}

// The first broken invariant of the window, or an empty string.
std::string brokenInvariant(MainPanel& w) {
    std::ostringstream why;
    const Expression& e = w.expression;
    auto tableShape = [&](const char* name, VbBool exists, std::int32_t last,
                          std::initializer_list<std::size_t> columns) {
        if (!isVbBool(exists)) {
            why << name << " exists flag " << exists;
            return false;
        }
        if (exists == VbFalse)
            return true;
        if (last < 0 || last > 32767) {
            why << name << " last index " << last;
            return false;
        }
        for (std::size_t n : columns)
            if (n != static_cast<std::size_t>(last) + 1) {
                why << name << " has a column of " << n << " rows, last index " << last;
                return false;
            }
        return true;
    };
    const TextItemTable& t = e.TextItems;
    if (!tableShape("TextItems", e.textItemsExist, e.lastTextItem,
                    {t.fontName.size(), t.fontBold.size(), t.fontItalic.size(), t.fontSize.size(),
                     t.text.size(), t.x.size(), t.y.size(), t.markerX.size(), t.markerY.size(),
                     t.height.size(), t.live.size()}))
        return why.str();
    const HLineTable& h = e.HLines;
    if (!tableShape(
            "HLines", e.hLinesExist, e.lastHLine,
            {h.midX.size(), h.y.size(), h.x1.size(), h.x2.size(), h.width.size(), h.live.size()}))
        return why.str();
    const VLineTable& v = e.VLines;
    if (!tableShape(
            "VLines", e.vLinesExist, e.lastVLine,
            {v.x.size(), v.midY.size(), v.y1.size(), v.y2.size(), v.width.size(), v.live.size()}))
        return why.str();

    auto widthOk = [](int width) {
        for (int ok : {3, 6, 9, 12, 18, 24, 30})
            if (width == ok)
                return true;
        return false;
    };
    for (std::int32_t r = 0; r < e.hLineRowCount(); ++r) {
        const auto i = static_cast<std::size_t>(r);
        if (!middleOfEnds(h.midX[i], h.x1[i], h.x2[i]))
            why << "HLines row " << r << ": midX " << h.midX[i] << " for ends " << h.x1[i] << ", "
                << h.x2[i];
        else if (!isVbBool(h.live[i]) || !widthOk(h.width[i]))
            why << "HLines row " << r << ": live " << h.live[i] << ", width " << h.width[i];
        if (!why.str().empty())
            return why.str();
    }
    for (std::int32_t r = 0; r < e.vLineRowCount(); ++r) {
        const auto i = static_cast<std::size_t>(r);
        if (!middleOfEnds(v.midY[i], v.y1[i], v.y2[i]))
            why << "VLines row " << r << ": midY " << v.midY[i] << " for ends " << v.y1[i] << ", "
                << v.y2[i];
        else if (!isVbBool(v.live[i]) || !widthOk(v.width[i]))
            why << "VLines row " << r << ": live " << v.live[i] << ", width " << v.width[i];
        if (!why.str().empty())
            return why.str();
    }
    for (std::int32_t r = 0; r < e.textRowCount(); ++r) {
        const auto i = static_cast<std::size_t>(r);
        // Created with the text 5 pixels right of and above its handle's
        // corner, moved with 4; either way the sums are exact, not wrapped.
        const int dx = t.x[i] - t.markerX[i];
        const int dy = t.y[i] - (t.markerY[i] - t.height[i]);
        if (!((dx == 5 && dy == 5) || (dx == 4 && dy == 4)))
            why << "TextItems row " << r << ": text at (" << t.x[i] << ", " << t.y[i]
                << ") for handle (" << t.markerX[i] << ", " << t.markerY[i] << "), height "
                << t.height[i];
        else if (!isVbBool(t.fontBold[i]) || !isVbBool(t.fontItalic[i]) || !isVbBool(t.live[i]))
            why << "TextItems row " << r << ": a flag is not -1 or 0";
        else if (t.height[i] <= 0)
            why << "TextItems row " << r << ": height " << t.height[i];
        if (!why.str().empty())
            return why.str();
        for (unsigned char c : t.text[i])
            if (!typeable(c))
                return "TextItems row " + std::to_string(r) + ": character code " +
                       std::to_string(c);
    }

    // The selection holds live rows only.
    for (const ItemRef item : w.selection->current().items())
        if (!isLiveItem(e, item))
            return "the selection holds " + std::to_string(item.kind) + " row " +
                   std::to_string(item.row) + ", which is not a live item";

    // Between actions the undo history holds every change: the state at
    // its place is the expression.
    if (w.canvasButtonDown == VbFalse && !(w.expression == w.history.current()))
        return "the expression has a change the undo history did not record";

    if (w.chkText->value() != 1 && !w.textString.empty())
        return "textString \"" + w.textString + "\" outside text mode";
    for (unsigned char c : w.textString)
        if (!typeable(c))
            return "textString holds character code " + std::to_string(c);
    for (VbBool b :
         {w.DelObject, w.refocusTypingBox, w.mathSymbolsFont, w.keyboardShifted, w.canvasButtonDown,
          w.imageSet, w.outlineArmed, w.outlineDragging, w.outlineSet, w.timerState})
        if (!isVbBool(b))
            return "a window flag holds " + std::to_string(b);
    const int font = w.cboFont->currentIndex();
    if (w.mathSymbolsFont != toVb(font == 1 || font == 2))
        return "mathSymbolsFont " + std::to_string(w.mathSymbolsFont) + " with font choice " +
               std::to_string(font);
    const bool keyboardShown = w.chkShowKB->value() == 1 && w.mathSymbolsFont != VbFalse;
    if (w.Picture3->isVisible() != keyboardShown)
        return "the keyboard picture is " +
               std::string(w.Picture3->isVisible() ? "shown" : "hidden") + " with Show Keyboard " +
               std::to_string(w.chkShowKB->value());
    if (w.Picture6->isVisible() != (w.imageSet != VbFalse))
        return "the image workspace does not follow image mode";
    // Image mode locks the drawing controls and unlocks the image tools.
    const bool drawing = w.imageSet == VbFalse;
    for (QWidget* c : std::initializer_list<QWidget*>{w.cmdLine, w.optH, w.optV, w.cboLine,
                                                      w.cboFont, w.cboFsize, w.chkMarkers,
                                                      w.chkShowKB, w.chkGrid, w.chkText})
        if (c->isEnabled() != drawing)
            return c->objectName().toStdString() + " enabled out of step with image mode";
    for (QWidget* c : std::initializer_list<QWidget*>{w.cmdSetOutline, w.cmdSavim})
        if (c->isEnabled() == drawing)
            return c->objectName().toStdString() + " enabled out of step with image mode";
    return {};
}

// Tables that a file says it holds must come back exactly.
std::string differsFromSaved(const Expression& now, const Expression& saved) {
    if (now.textItemsExist != saved.textItemsExist || now.hLinesExist != saved.hLinesExist ||
        now.vLinesExist != saved.vLinesExist)
        return "exists flags differ";
    if (saved.textItemsExist &&
        (now.TextItems != saved.TextItems || now.lastTextItem != saved.lastTextItem))
        return "TextItems differ";
    if (saved.hLinesExist && (now.HLines != saved.HLines || now.lastHLine != saved.lastHLine))
        return "HLines differ";
    if (saved.vLinesExist && (now.VLines != saved.VLines || now.lastVLine != saved.lastVLine))
        return "VLines differ";
    return {};
}

class Soak {
public:
    Soak(std::uint32_t seed) : rng(seed) {}

    std::mt19937 rng;
    int pick(int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); }
    bool chance(int percent) { return pick(100) < percent; }

    SoakPlatform platform;
    std::unique_ptr<MainPanel> w;
    QTemporaryDir tmp;
    std::deque<std::string> recent; // the last events, for a failure report
    std::map<QString, Expression> savedFiles;
    // The expression as last saved, opened or cleared: while the window's
    // differs from it, New and Open must ask before letting it go.
    Expression kept;
    QString pendingSave; // the name the save dialog answered, if any
    bool pendingCancel = false;
    QWidget* grabbed = nullptr;
    Qt::MouseButtons held;
    long long saves = 0, opens = 0;
    // What the stream achieved, counted from the outside.
    long long keyboardPresses = 0, workspacePresses = 0, imageSaves = 0;
    long long textItemsAdded = 0, linesAdded = 0, deletions = 0, imageModes = 0, typed = 0;

    struct Counts {
        std::int32_t text = 0, h = 0, v = 0;
        long long dead = 0;
        std::size_t typed = 0;
        VbBool imageSet = 0;
    };
    Counts counts() const {
        const Expression& e = w->expression;
        Counts c{e.textRowCount(),     e.hLineRowCount(), e.vLineRowCount(), 0,
                 w->textString.size(), w->imageSet};
        auto dead = [&c](const std::vector<VbBool>& live, std::int32_t n) {
            for (std::int32_t i = 0; i < n; ++i)
                c.dead += live[static_cast<std::size_t>(i)] == VbFalse;
        };
        dead(e.TextItems.live, c.text);
        dead(e.HLines.live, c.h);
        dead(e.VLines.live, c.v);
        return c;
    }
    void countEffects(const Counts& was) {
        const Counts now = counts();
        textItemsAdded += std::max(0, now.text - was.text);
        linesAdded += std::max(0, now.h - was.h) + std::max(0, now.v - was.v);
        if (now.text >= was.text && now.h >= was.h && now.v >= was.v)
            deletions += std::max(0LL, now.dead - was.dead);
        typed += now.typed > was.typed;
        imageModes += was.imageSet == VbFalse && now.imageSet != VbFalse;
    }

    void note(std::string s) {
        recent.push_back(std::move(s));
        if (recent.size() > 12)
            recent.pop_front();
    }

    QString file(int i) const { return tmp.filePath(QStringLiteral("soak%1.exp").arg(i)); }

    std::optional<QString> answer(const FileDialogRequest& request, bool save) {
        const int r = pick(10);
        if (request.filter.contains(QStringLiteral("*.bmp"))) {
            if (r < 7)
                return pendingSave = tmp.filePath(QStringLiteral("soak%1.bmp").arg(pick(3)));
            return std::nullopt;
        }
        if (save) {
            if (r < 6)
                return pendingSave = file(pick(4));
            if (r < 7)
                return pendingSave = tmp.filePath(QStringLiteral("no folder/x.exp"));
            return std::nullopt;
        }
        lastOpen = std::nullopt;
        if (r < 6 && !savedFiles.empty()) {
            auto it = savedFiles.begin();
            std::advance(it, pick(static_cast<int>(savedFiles.size())));
            lastOpen = it->first;
        } else if (r < 7) {
            lastOpen = tmp.filePath(QStringLiteral("missing.exp"));
        } else if (r < 8) {
            lastOpen = tmp.filePath(QStringLiteral("short.exp"));
        }
        return lastOpen;
    }
    std::optional<QString> lastOpen;

    // A point on the canvas below the tool strip, often on or near a handle.
    QPoint canvasPoint() {
        const Expression& e = w->expression;
        const QSize size = w->canvasView->size();
        auto jitter = [&] { return pick(9) - 4; };
        if (w->Picture3->isVisible() && chance(35)) // a key of the keyboard picture
            return w->Picture3->geometry().topLeft() + QPoint(pick(470), pick(145));
        const int r = pick(10);
        if (r < 2 && e.textRowCount() > 0) {
            const auto i = static_cast<std::size_t>(pick(e.textRowCount()));
            return {e.TextItems.markerX[i] + jitter(), e.TextItems.markerY[i] + jitter()};
        }
        if (r < 5 && e.hLineRowCount() > 0) {
            const auto i = static_cast<std::size_t>(pick(e.hLineRowCount()));
            const int x = std::array{e.HLines.x1[i], e.HLines.midX[i], e.HLines.x2[i]}[pick(3)];
            return {x + jitter(), e.HLines.y[i] + jitter()};
        }
        if (r < 7 && e.vLineRowCount() > 0) {
            const auto i = static_cast<std::size_t>(pick(e.vLineRowCount()));
            const int y = std::array{e.VLines.y1[i], e.VLines.midY[i], e.VLines.y2[i]}[pick(3)];
            return {e.VLines.x[i] + jitter(), y + jitter()};
        }
        // Anywhere, a little beyond the edges too (a drag leaving the window).
        return {pick(size.width() + 40) - 20, 97 + pick(size.height() - 60)};
    }

    void sendMouse(QWidget* target, QEvent::Type type, QPoint canvasPos, Qt::MouseButton button,
                   Qt::KeyboardModifiers mods = Qt::NoModifier) {
        const QPoint local = target->mapFrom(w->canvasView, canvasPos);
        QMouseEvent e(type, QPointF(local), QPointF(target->mapToGlobal(local)), button, held,
                      mods);
        QApplication::sendEvent(target, &e);
    }

    // The widget of the canvas a press at this point reaches.
    QWidget* widgetAt(QPoint p) {
        QWidget* c = w->canvasView->childAt(p);
        if (c == w->Picture3 || c == w->Picture6)
            return c;
        return c ? nullptr : w->canvasView; // tool strip controls are clicked on their own
    }

    void mouseEvent() {
        static const Qt::MouseButton buttons[] = {Qt::LeftButton, Qt::RightButton,
                                                  Qt::MiddleButton};
        const QPoint p = canvasPoint();
        const int r = pick(10);
        if (r < 3 && !grabbed) { // press
            QWidget* target = widgetAt(p);
            if (!target)
                return;
            const Qt::MouseButton b = buttons[pick(3)];
            held |= b;
            grabbed = target;
            keyboardPresses += target == w->Picture3;
            workspacePresses += target == w->Picture6;
            // Shift or Ctrl with a press selects.
            const int m = pick(20);
            const Qt::KeyboardModifiers mods = m == 0   ? Qt::ShiftModifier
                                               : m == 1 ? Qt::ControlModifier
                                                        : Qt::NoModifier;
            note("press " + std::to_string(int(b)) + (mods ? " with a modifier" : "") + " on " +
                 target->objectName().toStdString() + " at " + std::to_string(p.x()) + "," +
                 std::to_string(p.y()));
            sendMouse(target, QEvent::MouseButtonPress, p, b, mods);
        } else if (r < 5 && grabbed) { // release
            const Qt::MouseButton b = held & Qt::LeftButton    ? Qt::LeftButton
                                      : held & Qt::RightButton ? Qt::RightButton
                                                               : Qt::MiddleButton;
            held &= ~Qt::MouseButtons(b);
            QWidget* target = grabbed;
            grabbed = nullptr;
            note("release at " + std::to_string(p.x()) + "," + std::to_string(p.y()));
            sendMouse(target, QEvent::MouseButtonRelease, p, b);
            held = Qt::NoButton;
        } else { // move, dragging when a button is held
            QWidget* target = grabbed ? grabbed : widgetAt(p);
            if (!target)
                return;
            note("move to " + std::to_string(p.x()) + "," + std::to_string(p.y()));
            sendMouse(target, QEvent::MouseMove, p, Qt::NoButton);
        }
    }

    struct Key {
        int key;
        QString text;
    };

    Key randomKey() {
        const int r = pick(20);
        if (r < 8) { // printable, including the two 8-bit ones and some it refuses
            static const QString extra = QStringLiteral("£¬éü€\t");
            if (pick(10) == 0) {
                const QChar c = extra[pick(static_cast<int>(extra.size()))];
                return {c == QLatin1Char('\t') ? int(Qt::Key_Tab) : int(Qt::Key_unknown),
                        QString(c)};
            }
            const QChar c(32 + pick(95));
            return {c.isLetter() ? int(c.toUpper().unicode()) : int(c.unicode()), QString(c)};
        }
        static const Key special[] = {
            {Qt::Key_Return, QStringLiteral("\r")},
            {Qt::Key_Enter, QStringLiteral("\r")},
            {Qt::Key_Backspace, QStringLiteral("\b")},
            {Qt::Key_Delete, QString()},
            {Qt::Key_Delete, QString()},
            {Qt::Key_Left, QString()},
            {Qt::Key_Right, QString()},
            {Qt::Key_Up, QString()},
            {Qt::Key_Down, QString()},
            {Qt::Key_Escape, QStringLiteral("\x1b")},
            {Qt::Key_Tab, QStringLiteral("\t")},
            {Qt::Key_Backtab, QString()},
            {Qt::Key_Home, QString()},
            {Qt::Key_End, QString()},
            {Qt::Key_PageDown, QString()},
            {Qt::Key_Shift, QString()},
            {Qt::Key_Control, QString()},
            {Qt::Key_F1, QString()},
            {Qt::Key_Insert, QString()},
        };
        return special[pick(static_cast<int>(std::size(special)))];
    }

    void keyEvent() {
        // The arrow keys walk the keyboard picture off the window in a long
        // run; a person moves it back into sight.
        const QRect kb = w->Picture3->geometry();
        if (w->Picture3->isVisible() && !w->canvasView->rect().contains(kb) && chance(50)) {
            const QRect view = w->canvasView->rect();
            const int key = kb.left() < view.left()     ? Qt::Key_Right
                            : kb.right() > view.right() ? Qt::Key_Left
                            : kb.top() < 97             ? Qt::Key_Down
                                                        : Qt::Key_Up;
            note("arrow " + std::to_string(key) + " to bring the keyboard back");
            QTest::keyClick(w->Picture4, Qt::Key(key));
            return;
        }
        Key k = randomKey();
        const bool release = chance(35);
        Qt::KeyboardModifiers mods = Qt::NoModifier;
        if (chance(5))
            mods = chance(50) ? Qt::ShiftModifier : Qt::ControlModifier;
        QWidget* target = w->Picture4;
        const int r = pick(10);
        if (r < 3 && QApplication::focusWidget())
            target = QApplication::focusWidget();
        else if (r < 4)
            target = w.get(); // the window itself
        // A list's own popup would need a person to close it.
        if (qobject_cast<QComboBox*>(target) || qobject_cast<QComboBox*>(target->parentWidget())) {
            if (k.key == Qt::Key_Space || k.key == Qt::Key_F4)
                return;
            mods &= ~Qt::KeyboardModifiers(Qt::AltModifier);
        }
        note(std::string(release ? "key up " : "key ") + std::to_string(k.key) + " to " +
             target->objectName().toStdString());
        QKeyEvent e(release ? QEvent::KeyRelease : QEvent::KeyPress, k.key, mods, k.text);
        QApplication::sendEvent(target, &e);
    }

    void clickControl() {
        QAbstractButton* controls[] = {
            w->chkText, w->chkShowKB, w->chkMarkers,  w->chkGrid,       w->cmdLine,
            w->optH,    w->optV,      w->cmdSetImage, w->cmdSetOutline, w->cmdSavim,
            w->cmdLine, w->chkText,   w->chkText,     w->chkText,       w->chkShowKB};
        QAbstractButton* c = controls[pick(static_cast<int>(std::size(controls)))];
        if (w->mathSymbolsFont != VbFalse && w->chkShowKB->value() == 0 && chance(30))
            c = w->chkShowKB; // a person who chose a symbol font wants its keyboard
        note("click " + c->objectName().toStdString());
        if (c != w->cmdSavim) {
            QTest::mouseClick(c, Qt::LeftButton);
            return;
        }
        pendingSave.clear();
        const long long messages = platform.messageCount;
        const bool outline = w->outlineSet != VbFalse;
        QTest::mouseClick(c, Qt::LeftButton);
        if (outline && platform.messageCount != messages && !pendingSave.isEmpty()) {
            ++imageSaves;
            failure = bitmapDiffersFromWorkspace(pendingSave);
        }
    }

    // The saved bitmap, decoded here on its own, must hold the grey levels
    // of the workspace inside the outline: the area one pixel inside the
    // lesser corner and two inside the greater, 0 where it leaves the
    // workspace.
    std::string bitmapDiffersFromWorkspace(const QString& path) {
        const QByteArray file = test::readAll(path);
        const auto* d = reinterpret_cast<const std::uint8_t*>(file.constData());
        const auto n = static_cast<std::size_t>(file.size());
        auto u32 = [d](std::size_t at) {
            return std::uint32_t(d[at]) | std::uint32_t(d[at + 1]) << 8 |
                   std::uint32_t(d[at + 2]) << 16 | std::uint32_t(d[at + 3]) << 24;
        };
        auto u16 = [d](std::size_t at) { return int(d[at]) | int(d[at + 1]) << 8; };
        if (n < 118 || d[0] != 'B' || d[1] != 'M' || u32(2) != n || u32(10) != 118 ||
            u32(14) != 40 || u16(26) != 1 || u16(28) != 4 || u32(30) != 2 || u32(34) != n - 118)
            return "a saved bitmap's header does not describe it";
        const std::uint32_t ppm = u32(38);
        if (u32(42) != ppm || ppm == 0 || ppm % 3780 != 0 || (ppm / 3780 & (ppm / 3780 - 1)) ||
            ppm / 3780 > 32)
            return "a saved bitmap's resolution is " + std::to_string(ppm);
        for (std::size_t i = 0; i < 16; ++i)
            if (u32(54 + 4 * i) != 0x111111u * i)
                return "a saved bitmap's palette is not the 16 greys";
        const int x1 = std::min(w->outlineX1, w->outlineX2) + 1;
        const int y1 = std::min(w->outlineY1, w->outlineY2) + 1;
        const int width = std::abs(w->outlineX2 - w->outlineX1) - 2;
        const int height = std::abs(w->outlineY2 - w->outlineY1) - 2;
        if (int(u32(18)) != width || int(u32(22)) != height)
            return "a saved bitmap is " + std::to_string(u32(18)) + " x " +
                   std::to_string(u32(22)) + " for an outline of " + std::to_string(width) + " x " +
                   std::to_string(height);
        // RLE4: (count, byte) runs, (0, count, bytes, pad) literals, (0, 0)
        // end of line, (0, 1) end of bitmap; rows bottom-up.
        const QImage& ws = w->picture6Surface.image();
        std::size_t at = 118;
        int row = 0, x = 0;
        std::string bad;
        auto put = [&](int level) {
            if (x < width && bad.empty()) {
                const QPoint p(x1 + x, y1 + height - 1 - row);
                const int want = ws.rect().contains(p) ? qGreen(ws.pixel(p)) >> 4 : 0;
                if (level != want)
                    bad = "a saved bitmap's pixel (" + std::to_string(x) + ", " +
                          std::to_string(height - 1 - row) + ") has level " +
                          std::to_string(level) + ", the workspace " + std::to_string(want);
            }
            ++x;
        };
        while (true) {
            if (at + 2 > n)
                return "a saved bitmap's pixel data ends early";
            const int a = d[at], b = d[at + 1];
            at += 2;
            if (a > 0) {
                for (int i = 0; i < a; ++i)
                    put(i % 2 ? b & 15 : b >> 4);
            } else if (b == 0 || b == 1) {
                if (x < width || x > width + 1)
                    return "a saved bitmap's row " + std::to_string(row) + " carries " +
                           std::to_string(x) + " pixels";
                ++row;
                x = 0;
                if (b == 1)
                    break;
            } else if (b == 2) {
                return "a saved bitmap uses a delta";
            } else {
                const std::size_t bytes = (static_cast<std::size_t>(b) + 1) / 2;
                if (at + bytes > n)
                    return "a saved bitmap's literal run ends early";
                for (int i = 0; i < b; ++i)
                    put(i % 2 ? d[at + i / 2] & 15 : d[at + i / 2] >> 4);
                at += bytes + (bytes % 2);
            }
        }
        if (row != height || at != n)
            return "a saved bitmap holds " + std::to_string(row) + " rows";
        return bad;
    }

    void chooseFromList() {
        QComboBox* lists[] = {w->cboFont, w->cboFsize, w->cboLine, w->cboSizeRed};
        QComboBox* c = lists[pick(4)];
        if (!c->isEnabled())
            return;
        static const int keys[] = {Qt::Key_Up,  Qt::Key_Down,   Qt::Key_Home,
                                   Qt::Key_End, Qt::Key_PageUp, Qt::Key_PageDown};
        const int key = keys[pick(static_cast<int>(std::size(keys)))];
        note("list " + c->objectName().toStdString() + " key " + std::to_string(key));
        if (c == w->cboFont && chance(40)) { // one of the symbol fonts, by keys
            note("a symbol font");
            for (int k : {int(Qt::Key_Home), int(Qt::Key_Down), int(Qt::Key_Down)}) {
                if (k == Qt::Key_Down && c->currentIndex() == 1 && chance(50))
                    break;
                QKeyEvent e(QEvent::KeyPress, k, Qt::NoModifier);
                QApplication::sendEvent(c, &e);
            }
            return;
        }
        if (c == w->cboSizeRed && chance(20)) { // typed into its edit field
            QTest::keyClick(c->lineEdit(), char('0' + pick(10)));
            return;
        }
        QKeyEvent e(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(c, &e);
    }

    void fileCommand() {
        const int r = pick(10);
        const Expression before = w->expression;
        const bool unkept = !(before == kept);
        const long long questions = platform.questionCount;
        const long long messages = platform.messageCount;
        // After the command: was it asked, did it go on, and was the
        // expression saved by the question's Save.
        auto outcome = [&](const char* command) {
            const bool asked = platform.questionCount != questions;
            if (unkept && !asked)
                failure = std::string(command) + " let unsaved changes go without asking";
            const bool savedFirst = asked && platform.lastAnswer == SaveAnswer::Save &&
                                    platform.messageCount != messages;
            if (savedFirst)
                noteSaved(before);
            return !asked || platform.lastAnswer == SaveAnswer::Discard || savedFirst;
        };
        if (r < 3) {
            note("File > New");
            pendingSave.clear();
            w->mnuNew->trigger();
            if (outcome("File > New")) {
                if (w->expression.textItemsExist != VbFalse ||
                    w->expression.hLinesExist != VbFalse || w->expression.vLinesExist != VbFalse)
                    failure = "File > New left items";
                else if (!w->selection->empty())
                    failure = "File > New left a selection";
                kept = w->expression;
            } else if (!(w->expression == before)) {
                failure = "a File > New that did not go on changed the expression";
            }
        } else if (r < 7) {
            pendingSave.clear();
            note("File > Save");
            w->mnuSave->trigger();
            if (platform.messageCount != messages && !pendingSave.isEmpty())
                noteSaved(before);
        } else {
            note("File > Open");
            const long long opensAsked = platform.openDialogCount;
            pendingSave.clear();
            lastOpen = std::nullopt;
            w->mnuOpen->trigger();
            const std::optional<QString> chosen = lastOpen;
            if (!outcome("File > Open")) {
                if (!(w->expression == before))
                    failure = "a File > Open that did not go on changed the expression";
            } else if (platform.openDialogCount == opensAsked) {
                failure = "File > Open asked for no file";
            } else if (chosen && savedFiles.count(*chosen)) {
                ++opens;
                if (const std::string diff = differsFromSaved(w->expression, savedFiles[*chosen]);
                    !diff.empty())
                    failure = "an opened file gives other tables than were saved: " + diff;
                else if (!w->selection->empty())
                    failure = "File > Open left a selection";
                kept = w->expression;
            } else if (chosen && !(w->expression == before)) {
                failure = "a missing or broken file changed the expression";
            }
        }
    }

    // Undo, redo, copy, paste and the selection's commands by their keys,
    // to whatever has the focus, a button held or not.
    void editCommand() {
        static const std::pair<Qt::Key, Qt::KeyboardModifiers> chords[] = {
            {Qt::Key_Z, Qt::ControlModifier}, {Qt::Key_Z, Qt::ControlModifier},
            {Qt::Key_Y, Qt::ControlModifier}, {Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier},
            {Qt::Key_C, Qt::ControlModifier}, {Qt::Key_V, Qt::ControlModifier},
            {Qt::Key_A, Qt::ControlModifier}, {Qt::Key_X, Qt::ControlModifier},
            {Qt::Key_D, Qt::ControlModifier}, {Qt::Key_Tab, Qt::ControlModifier},
        };
        const auto& [key, mods] = chords[pick(static_cast<int>(std::size(chords)))];
        QWidget* focus = QApplication::focusWidget();
        note("edit key " + std::to_string(key) + (mods & Qt::ShiftModifier ? " with Shift" : ""));
        QTest::keyClick(focus ? focus : w.get(), key, mods);
    }

    // The selection's menu commands, greyed or not.
    void selectionCommand() {
        SelectionController& s = *w->selection;
        QAction* const commands[] = {
            s.mnuDelete,     s.mnuSelectAll,        s.mnuAlignBy[0], s.mnuAlignBy[1],
            s.mnuAlignBy[2], s.mnuAlignBy[3],       s.mnuAlignBy[4], s.mnuAlignBy[5],
            s.mnuAlignBy[6], s.mnuCentreOnLine,     s.mnuDuplicate,  s.mnuCut,
            s.mnuOutlineAll, s.mnuOutlineSelection, s.mnuSelectAll,  s.mnuOutlineSelection};
        QAction* a = commands[pick(static_cast<int>(std::size(commands)))];
        note("Edit > " + a->text().toStdString());
        a->trigger();
    }

    // A File > Save, on its own or for the question, wrote `saved`.
    void noteSaved(const Expression& saved) {
        ++saves;
        savedFiles[pendingSave] = saved;
        kept = saved;
        const QByteArray bytes = test::readAll(pendingSave);
        const DecodeResult d =
            decodeExpression(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                             static_cast<std::size_t>(bytes.size()), Expression{});
        if (!d.ok)
            failure = "a saved file does not open again: " + d.message;
        else if (const std::string diff = differsFromSaved(d.expression, saved); !diff.empty())
            failure = "a saved file reads back different: " + diff;
    }

    std::string failure;

    void step() {
        const int r = pick(1000);
        if (r < 420)
            mouseEvent();
        else if (r < 720)
            keyEvent();
        else if (r < 820)
            clickControl();
        else if (r < 900)
            chooseFromList();
        else if (r < 930) {
            note("caret tick");
            w->Timer2_Timer();
        } else if (r < 945) {
            editCommand();
        } else if (r < 960) {
            selectionCommand();
        } else if (r < 990) {
            if (grabbed) // a command from the keyboard while a button is held
                return;
            fileCommand();
        } else if (r < 993) {
            note("Help");
            w->mnuHelp->trigger();
        } else {
            // Picture6 and the outline come with image mode; a drag on it
            // goes through the mouse stream. Here the window is resized.
            const QSize s = w->size();
            note("resize");
            w->resize(s.width() - 1 + pick(3), s.height() - 1 + pick(3));
        }
    }
};

} // namespace

TEST(Soak, RandomEventsKeepEveryInvariant) {
    const long long events = envNumber("QUILLMARK_SOAK_EVENTS", 100000);
    const long long seconds = envNumber("QUILLMARK_SOAK_SECONDS", 150);
    const auto seed = static_cast<std::uint32_t>(envNumber("QUILLMARK_SOAK_SEED", 20261208));
    const long long minimum = std::min<long long>(events, 20000);

    Soak soak(seed);
    ASSERT_TRUE(soak.tmp.isValid());
    test::writeFile(soak.tmp.filePath(QStringLiteral("short.exp")), QByteArray("\xff\xff", 2));
    // A small screen keeps each repaint cheap, so that many events fit.
    soak.platform.screen.widthTwips = 640 * 15;
    soak.platform.screen.heightTwips = 480 * 15;
    soak.platform.answer = [&soak](const FileDialogRequest& q, bool save) {
        return soak.answer(q, save);
    };
    soak.platform.question = [&soak] {
        const int r = soak.pick(10);
        return r < 3 ? SaveAnswer::Save : r < 7 ? SaveAnswer::Discard : SaveAnswer::Cancel;
    };
    soak.w = test::openActiveMainPanel(soak.platform);
    ASSERT_TRUE(soak.w);
    soak.kept = soak.w->expression;

    QElapsedTimer clock;
    clock.start();
    long long ran = 0, undoChecks = 0, withSelection = 0;
    while (ran < events && clock.elapsed() < seconds * 1000) {
        const Soak::Counts was = soak.counts();
        // Now and then, an action that made one step of the history must be
        // taken back by one undo exactly, and made again by one redo.
        std::optional<Expression> recorded;
        const std::size_t steps = soak.w->history.undoSteps();
        if (soak.chance(20))
            recorded = soak.w->history.current();
        soak.step();
        soak.countEffects(was);
        ++ran;
        MainPanel& w = *soak.w;
        if (recorded && soak.failure.empty() && w.canvasButtonDown == VbFalse &&
            w.imageSet == VbFalse && w.history.undoSteps() == steps + 1) {
            const Expression after = w.expression;
            w.Undo_Click();
            if (!(w.expression == *recorded))
                soak.failure = "one undo did not give back the tables before the last action";
            else if (const std::string broken = brokenInvariant(w); !broken.empty())
                soak.failure = "after an undo: " + broken;
            w.Redo_Click();
            if (!(w.expression == after))
                soak.failure = "one redo did not give back the tables after the last action";
            ++undoChecks;
        }
        withSelection += w.selection->empty() ? 0 : 1;
        if (soak.failure.empty())
            soak.failure = brokenInvariant(*soak.w);
        if (!soak.failure.empty()) {
            std::string trail;
            for (const std::string& s : soak.recent)
                trail += "\n  " + s;
            FAIL() << "after event " << ran << " (seed " << seed << "): " << soak.failure
                   << "\nlast hit: kind " << w.hitKind << ", row " << w.hitRow << ", handle "
                   << w.hitHandle << "; last events:" << trail;
        }
        if (ran % 64 == 0)
            QApplication::processEvents(); // timers, deferred deletes, repaints
    }
    const MainPanel& w = *soak.w;
    std::printf(
        "soak: %lld events in %.1f s (seed %u): %lld characters typed, %lld text items "
        "and %lld lines added, %lld deleted, %lld presses on the symbol keyboard, image "
        "mode entered %lld times, %lld presses on the workspace, %lld images and %lld saves "
        "and %lld opens checked, %lld actions undone and redone, %lld events with items "
        "selected; %d text items, %d + %d lines at the end, %zu selected\n",
        ran, double(clock.elapsed()) / 1000.0, seed, soak.typed, soak.textItemsAdded,
        soak.linesAdded, soak.deletions, soak.keyboardPresses, soak.imageModes,
        soak.workspacePresses, soak.imageSaves, soak.saves, soak.opens, undoChecks, withSelection,
        w.expression.textRowCount(), w.expression.hLineRowCount(), w.expression.vLineRowCount(),
        w.selection->current().size());
    EXPECT_GE(ran, minimum) << "the time bound cut the run short";
    EXPECT_GT(soak.saves, 0);
    EXPECT_GT(soak.opens, 0);
    EXPECT_GT(undoChecks, 0);
    EXPECT_GT(withSelection, 0);
}
