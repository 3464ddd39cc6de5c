// Recovery of unsaved work: the recovery file's bytes, the recovery folder
// and its locks, the writer on a full disk, and the window's controller:
// when it writes, what removes the file, and what start-up offers.

#include "app/mainpanel.h"
#include "app/recoverycontroller.h"
#include "app/widgets.h"
#include "filehelpers.h"
#include "files/expcodec.h"
#include "files/expfile.h"
#include "files/filename.h"
#include "files/recoveryfile.h"
#include "files/recoverystore.h"
#include "files/recoverywriter.h"
#include "scriptedplatform.h"
#include "tinyfs.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <iostream>
#include <optional>
#include <sys/stat.h>
#include <tuple>
#include <vector>

using namespace quill;
using quill::test::readAll;
using quill::test::writeFile;

namespace {

// Every table, a deleted row of each.
Expression sample(int lines = 2) {
    Expression e;
    e.AddTextItem("Zidezir", VbFalse, VbFalse, 100, "f(x)=3x-2.5", 60, 150, 55, 270, 120);
    e.AddTextItem("MathSymbols", VbTrue, VbFalse, 50, "ab", 300, 300, 295, 360, 60);
    e.TextItems.live[1] = VbFalse;
    for (int i = 0; i < lines; ++i) {
        e.AddHLine(static_cast<std::int16_t>(200 + i % 500), 40, 300, 6);
        e.AddVLine(static_cast<std::int16_t>(400 + i % 500), 120, 240, 3);
    }
    e.HLines.live[0] = VbFalse;
    e.VLines.live[0] = VbFalse;
    return e;
}

QByteArray bytesOf(const std::vector<std::uint8_t>& v) {
    return QByteArray(reinterpret_cast<const char*>(v.data()), static_cast<qsizetype>(v.size()));
}

std::vector<std::uint8_t> vectorOf(const QByteArray& b) {
    return std::vector<std::uint8_t>(b.begin(), b.end());
}

RecoveryRead decode(const QByteArray& b) {
    return decodeRecoveryFile(
        std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(b.constData()),
                                      static_cast<std::size_t>(b.size())),
        Expression{});
}

const qint64 March4 = QDateTime(QDate(2026, 3, 4), QTime(5, 6)).toMSecsSinceEpoch();

// The recovery file an editor that no longer runs left behind: written
// through a store of its own that goes without a clean exit, as a killed
// editor's does (the system lets go of its lock).
QString leaveBehind(const QString& folder, const Expression& e, const QString& belongsTo,
                    qint64 writtenAtMs, const QDateTime& modified) {
    RecoveryStore dead(folder);
    EXPECT_TRUE(dead.write(encodeRecoveryFile(e, {belongsTo, writtenAtMs})).ok);
    QFile f(dead.ownFile());
    EXPECT_TRUE(f.open(QIODevice::ReadWrite));
    EXPECT_TRUE(f.setFileTime(modified, QFileDevice::FileModificationTime));
    return dead.ownFile();
}

QStringList entries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

} // namespace

// A recovery file is the .exp file Save would write with a note after it:
// Open reads it as an expression, and the note comes back as written, a
// file name that is not UTF-8 byte for byte. A file that is cut short or
// whose note does not fit is refused with a reason.
TEST(RecoveryFile, IsTheSavedBytesWithANoteThatComesBack) {
    QTemporaryDir tmp;
    const Expression e = sample();
    const RecoveryNote note{decodeFileName(QByteArray("/home/u/\xff\xfe eq1.exp")), March4};
    const QByteArray file = bytesOf(encodeRecoveryFile(e, note));
    const QByteArray exp = bytesOf(encodeExpression(e).bytes);
    EXPECT_EQ(file.left(exp.size()), exp);
    writeFile(tmp.filePath(QStringLiteral("r.exp")), file);
    const LoadResult opened = loadExpressionFile(tmp.filePath(QStringLiteral("r.exp")), {});
    ASSERT_TRUE(opened.ok) << opened.message.toStdString();
    EXPECT_EQ(opened.expression, e);

    const RecoveryRead read = decode(file);
    ASSERT_TRUE(read.ok) << read.why.toStdString();
    EXPECT_EQ(read.expression, e);
    EXPECT_EQ(encodeFileName(read.note.belongsTo), QByteArray("/home/u/\xff\xfe eq1.exp"));
    EXPECT_EQ(read.note.writtenAtMs, March4);

    // The expression's length as the note says it, at the trailer's end.
    const qsizetype lengthAt = file.size() - 16;
    auto withLength = [&](int delta) {
        QByteArray b = file;
        b[lengthAt] = static_cast<char>(static_cast<unsigned char>(b[lengthAt]) + delta);
        return b;
    };
    QByteArray longer = file; // a stray byte inside the expression's share
    longer.insert(exp.size(), 'x');
    longer[lengthAt + 1] = static_cast<char>(static_cast<unsigned char>(longer[lengthAt + 1]) + 1);
    const struct {
        const char* what;
        QByteArray bytes;
    } damaged[] = {
        {"cut by a byte", file.chopped(1)},
        {"cut inside the expression", file.mid(exp.size() / 2)},
        {"the tag changed", QByteArray(file).replace(file.size() - 1, 1, "2")},
        {"the expression's length one more", withLength(1)},
        {"the expression's length one less", withLength(-1)},
        {"a byte the expression does not take", longer},
        {"nothing", QByteArray()},
        {"a bare expression file", exp},
    };
    for (const auto& d : damaged) {
        SCOPED_TRACE(d.what);
        const RecoveryRead r = decode(d.bytes);
        EXPECT_FALSE(r.ok);
        EXPECT_FALSE(r.why.isEmpty());
    }
}

// Editors running at the same time never see each other's recovery files,
// however many there are; an editor gone without a clean exit leaves its
// file behind for the next, and one that holds it keeps the others off it.
// A clean exit takes the file, the lock and the folders made for them away.
TEST(RecoveryStore, RunningEditorsKeepTheirOwnAndADeadOnesIsLeftBehind) {
    QTemporaryDir tmp;
    const QString folder = tmp.filePath(QStringLiteral("state/corvel-quillmark/recovery"));
    RecoveryStore first(folder), second(folder);
    EXPECT_TRUE(first.leftBehind().empty());
    EXPECT_FALSE(QFileInfo::exists(tmp.filePath(QStringLiteral("state"))))
        << "made before anything was written";
    const QByteArray one("first"), two("second"), three("third");
    ASSERT_TRUE(first.write(vectorOf(one)).ok);
    ASSERT_TRUE(second.write(vectorOf(two)).ok);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(folder).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_TRUE(first.leftBehind().empty());
    EXPECT_TRUE(second.leftBehind().empty());
    EXPECT_FALSE(second.claim(first.ownFile()).has_value());

    QString deadFile;
    {
        RecoveryStore third(folder);
        ASSERT_TRUE(third.write(vectorOf(three)).ok);
        deadFile = third.ownFile();
    }
    const auto left = second.leftBehind();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].file, deadFile);
    std::optional<RecoveryStore::Claim> claim = second.claim(deadFile);
    ASSERT_TRUE(claim.has_value());
    EXPECT_FALSE(first.claim(deadFile).has_value()) << "claimed twice";
    ASSERT_TRUE(second.adopt(std::move(*claim)));
    EXPECT_EQ(readAll(second.ownFile()), three);
    EXPECT_FALSE(QFileInfo::exists(deadFile));
    EXPECT_TRUE(first.leftBehind().empty());

    second.close();
    EXPECT_EQ(entries(folder).size(), 2u) << entries(folder).join(QLatin1Char(' ')).toStdString();
    first.close();
    EXPECT_FALSE(QFileInfo::exists(tmp.filePath(QStringLiteral("state"))));
}

// A recovery write that does not fit on the disk fails, is reported, and
// leaves the previous recovery file byte for byte, with nothing beside it.
TEST(FullDisk, ARecoveryWriteLeavesThePreviousRecoveryFileIntact) {
    QUILLMARK_TINYFS_OR_RERUN();
    std::cout << "[ full disk ] " << test::TinyFilesystem::how() << "\n";
    test::TinyFilesystem fs(64, 32);
    ASSERT_TRUE(fs.ok()) << fs.error();
    RecoveryStore store(fs.at("recovery"));
    std::vector<FileResult> told;
    {
        RecoveryWriter writer(store, [&told](const FileResult& r) { told.push_back(r); });
        writer.write(sample(), {QStringLiteral("/x/eq1.exp"), March4});
        writer.flush();
        ASSERT_EQ(told.size(), 1u);
        ASSERT_TRUE(told[0].ok) << told[0].message.toStdString();
        const QByteArray before = readAll(store.ownFile());
        ASSERT_GT(fs.fill(), 0);
        writer.write(sample(3000), {QStringLiteral("/x/eq1.exp"), March4 + 1});
        writer.flush();
        ASSERT_EQ(told.size(), 2u);
        EXPECT_FALSE(told[1].ok);
        EXPECT_TRUE(told[1].message.contains(QStringLiteral("No space left on device")))
            << told[1].message.toStdString();
        EXPECT_EQ(readAll(store.ownFile()), before);
        const QString name = QFileInfo(store.ownFile()).completeBaseName();
        EXPECT_EQ(entries(fs.at("recovery")),
                  (QStringList{name + QStringLiteral(".exp"), name + QStringLiteral(".lock")}));
    }
}

namespace {

// Members are public: the tests' tables act on the fixture.
class Recovery : public ::testing::Test {
public:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        platform.recovery = tmp.filePath(QStringLiteral("recovery"));
        w = test::openActiveMainPanel(platform);
        ASSERT_TRUE(w);
        makeController();
    }
    void makeController() {
        c = std::make_unique<RecoveryController>(*w, platform, platform.recovery);
        c->clock = [this] { return now; };
    }
    // One change through the window: a new line.
    void draw() { w->cmdLine_Click(); }
    // The recovery file once the writer is done: what it holds, or nothing.
    std::optional<RecoveryRead> onDisk() {
        c->flush();
        if (!QFileInfo::exists(c->store().ownFile()))
            return std::nullopt;
        return readRecoveryFile(c->store().ownFile(), Expression{});
    }
    QString at(const char* name) const { return tmp.filePath(QString::fromLatin1(name)); }

    QTemporaryDir tmp;
    test::ScriptedPlatform platform;
    std::unique_ptr<MainPanel> w;
    std::unique_ptr<RecoveryController> c;
    qint64 now = 0;
};

} // namespace

// A change is written once the editor has been quiet for a second, and
// while changes go on no sooner than two seconds after the last write, so
// that the file is never more than two seconds behind the last change;
// nothing is written while the expression is its saved state.
TEST_F(Recovery, WritesAQuietSecondAfterAChangeAtMostEveryTwoSecondsWhileUnsaved) {
    const struct {
        const char* what;
        qint64 at;
        std::function<void(Recovery&)> act;
        int due;   // ms until the next write, -1 none
        int lines; // horizontal lines the file holds; -1: no file
    } steps[] = {
        {"start", 0, [](Recovery&) {}, -1, -1},
        {"a line", 0, [](Recovery& t) { t.draw(); }, 1000, -1},
        {"a quiet second", 1000, [](Recovery& t) { t.c->writeNow(); }, -1, 1},
        {"a line soon after", 1100, [](Recovery& t) { t.draw(); }, 1900, 1},
        {"and another", 1300, [](Recovery& t) { t.draw(); }, 1900, 1},
        {"two seconds after the write", 3000, [](Recovery& t) { t.c->writeNow(); }, -1, 3},
        {"a line long after", 9000, [](Recovery& t) { t.draw(); }, 1000, 3},
        {"written", 10000, [](Recovery& t) { t.c->writeNow(); }, -1, 4},
        {"saved", 10500,
         [](Recovery& t) {
             t.platform.dialogAnswers.emplace_back(t.at("eq1.exp"));
             t.w->Save_Click();
         },
         -1, -1},
        {"nothing to write", 12000, [](Recovery& t) { t.c->writeNow(); }, -1, -1},
        {"an undo", 20000, [](Recovery& t) { t.w->Undo_Click(); }, 1000, -1},
        {"a redo back to the saved state", 20100, [](Recovery& t) { t.w->Redo_Click(); }, -1, -1},
        {"an undo again", 30000, [](Recovery& t) { t.w->Undo_Click(); }, 1000, -1},
        {"written", 31000, [](Recovery& t) { t.c->writeNow(); }, -1, 3},
        {"the redo removes it", 32000, [](Recovery& t) { t.w->Redo_Click(); }, -1, -1},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(testing::Message() << s.what << " at " << s.at << " ms");
        now = s.at;
        s.act(*this);
        EXPECT_EQ(c->dueInMs(), s.due);
        const std::optional<RecoveryRead> file = onDisk();
        ASSERT_EQ(file.has_value(), s.lines >= 0);
        if (file) {
            ASSERT_TRUE(file->ok) << file->why.toStdString();
            EXPECT_EQ(file->expression.HLines.rows(), static_cast<std::size_t>(s.lines));
        }
    }
    // The file notes where the expression was saved.
    draw();
    c->writeNow();
    const std::optional<RecoveryRead> file = onDisk();
    ASSERT_TRUE(file && file->ok);
    EXPECT_EQ(file->expression, w->expression);
    EXPECT_EQ(file->note.belongsTo, at("eq1.exp"));
}

// What lets the unsaved expression go takes its recovery file away: Save,
// Discard in the unsaved-changes question (before New, Open or Exit), Open
// after saving, and a clean exit, which also takes away the lock and the
// folder made for them. An exit with changes nobody let go (the session
// ended without leave to ask) writes them and keeps the file.
TEST_F(Recovery, WhatLetsTheChangesGoRemovesTheFileAndAnUnaskedExitKeepsIt) {
    writeFile(at("old.exp"), bytesOf(encodeExpression(sample()).bytes));
    const struct {
        const char* what;
        std::function<void(Recovery&)> act;
        bool fileAfterExit;
    } cases[] = {
        {"Save",
         [](Recovery& t) {
             t.platform.dialogAnswers.emplace_back(t.at("saved.exp"));
             t.w->Save_Click();
         },
         false},
        {"New, Discard",
         [](Recovery& t) {
             t.platform.saveAnswers.push_back(SaveAnswer::Discard);
             t.w->New_Click();
         },
         false},
        {"Open, Discard, then Cancel in the dialog",
         [](Recovery& t) {
             t.platform.saveAnswers.push_back(SaveAnswer::Discard);
             t.platform.dialogAnswers.emplace_back(std::nullopt);
             t.w->Open_Click();
         },
         false},
        {"Open, Save",
         [](Recovery& t) {
             t.platform.saveAnswers.push_back(SaveAnswer::Save);
             t.platform.dialogAnswers.emplace_back(t.at("saved2.exp"));
             t.platform.dialogAnswers.emplace_back(t.at("old.exp"));
             t.w->Open_Click();
         },
         false},
        {"Exit, Discard",
         [](Recovery& t) {
             t.platform.saveAnswers.push_back(SaveAnswer::Discard);
             t.w->Exit_Click();
         },
         false},
        {"an exit without asking", [](Recovery&) {}, true},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.what);
        w->expression = Expression{};
        w->changeTracker = ChangeTracker{};
        makeController();
        draw();
        c->writeNow();
        ASSERT_TRUE(onDisk().has_value());
        const QString file = c->store().ownFile();
        k.act(*this);
        EXPECT_EQ(onDisk().has_value(), k.fileAfterExit);
        c.reset(); // the exit
        EXPECT_EQ(QFileInfo::exists(file), k.fileAfterExit);
        EXPECT_EQ(QFileInfo::exists(platform.recovery), k.fileAfterExit);
    }
    // What was kept is offered at the next start.
    makeController();
    c->offerLeftBehind();
    EXPECT_EQ(platform.recoverQuestions.size(), 1u);
}

// At start-up the newest recovery file of an editor that no longer runs is
// offered, with its date and file and how many there are; Recover makes it
// the expression with its changes flagged and the window's own recovery
// file, Discard removes it, Later keeps it for the next start. A damaged
// one is refused with a message, renamed aside and kept, and never offered
// again; a running editor's file is never offered.
TEST_F(Recovery, WhatDeadEditorsLeftIsOfferedAndRecoveredDiscardedOrKept) {
    const QDateTime noon(QDate(2026, 3, 4), QTime(12, 0));
    const Expression older = sample(5), newest = sample(7);
    RecoveryStore running(platform.recovery);
    ASSERT_TRUE(running.write(encodeRecoveryFile(sample(9), {})).ok);
    const QString newestFile =
        leaveBehind(platform.recovery, newest, QStringLiteral("/x/eq1.exp"), March4, noon);
    const QString olderFile =
        leaveBehind(platform.recovery, older, QString(), March4 - 3600000, noon.addSecs(-3600));
    const QString several =
        QStringLiteral("\n\nIt is the newest of 2 unsaved expressions left behind; the others are "
                       "offered at the next starts.");

    // Later: nothing changes, and the same is asked at the next start.
    platform.recoverAnswers = {RecoverAnswer::Later};
    c->offerLeftBehind();
    ASSERT_EQ(platform.recoverQuestions.size(), 1u);
    EXPECT_EQ(platform.recoverQuestions[0].text,
              QStringLiteral("Recover the unsaved expression from 2026-03-04 05:06 (/x/eq1.exp)?") +
                  several);
    EXPECT_EQ(platform.recoverQuestions[0].title, QStringLiteral("Corvel Quillmark"));
    EXPECT_EQ(w->expression, Expression{});
    EXPECT_TRUE(QFileInfo::exists(newestFile));

    // Recover: the expression, changes flagged, and the file is the window's.
    makeController();
    platform.recoverAnswers = {RecoverAnswer::Recover};
    c->offerLeftBehind();
    ASSERT_EQ(platform.recoverQuestions.size(), 2u);
    EXPECT_EQ(platform.recoverQuestions[1].text, platform.recoverQuestions[0].text);
    EXPECT_EQ(w->expression, newest);
    EXPECT_TRUE(w->changeTracker.hasUnsavedChanges());
    EXPECT_FALSE(QFileInfo::exists(newestFile));
    EXPECT_EQ(c->dueInMs(), -1) << "written again although it is on disk";
    std::optional<RecoveryRead> own = onDisk();
    ASSERT_TRUE(own && own->ok);
    EXPECT_EQ(own->expression, newest);
    EXPECT_EQ(c->belongsTo(), QStringLiteral("/x/eq1.exp"));
    // Undo goes back to the empty canvas, which needs no recovery file.
    w->Undo_Click();
    EXPECT_EQ(w->expression, Expression{});
    EXPECT_FALSE(onDisk().has_value());
    w->Redo_Click();
    c->writeNow();
    c.reset();
    EXPECT_EQ(entries(platform.recovery).size(), 6u) // three files and their locks
        << entries(platform.recovery).join(QLatin1Char(' ')).toStdString();

    // Discard: of the two left now, the newest (this window's) goes.
    w->expression = Expression{};
    w->changeTracker = ChangeTracker{};
    makeController();
    platform.recoverAnswers = {RecoverAnswer::Discard};
    c->offerLeftBehind();
    ASSERT_EQ(platform.recoverQuestions.size(), 3u);
    EXPECT_EQ(w->expression, Expression{});
    const auto left = c->store().leftBehind();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].file, olderFile);

    // A damaged file: refused, renamed aside with its bytes, never offered
    // again; the one after it is offered, with no file to name.
    const QByteArray cut = readAll(olderFile).chopped(1);
    writeFile(olderFile, cut);
    leaveBehind(platform.recovery, older, QString(), March4 - 7200000, noon.addSecs(-7200));
    makeController();
    platform.recoverAnswers = {RecoverAnswer::Later};
    c->offerLeftBehind();
    ASSERT_EQ(platform.messages.size(), 1u);
    const MessageBoxRequest& m = platform.messages[0];
    const QString aside = QFileInfo(olderFile).dir().filePath(QStringLiteral("damaged-") +
                                                              QFileInfo(olderFile).fileName());
    EXPECT_TRUE(m.text.startsWith(QStringLiteral("Could not recover \"") + olderFile))
        << m.text.toStdString();
    EXPECT_TRUE(
        m.text.endsWith(QStringLiteral("The file is kept as \"") + aside + QStringLiteral("\".")))
        << m.text.toStdString();
    EXPECT_EQ(std::tuple(m.title, m.icon),
              std::tuple(QStringLiteral("Recover"), MessageIcon::Critical));
    EXPECT_EQ(readAll(aside), cut);
    ASSERT_EQ(platform.recoverQuestions.size(), 4u);
    EXPECT_EQ(
        platform.recoverQuestions[3].text,
        QStringLiteral("Recover the unsaved expression from 2026-03-04 03:06 (never saved)?"));
    makeController();
    platform.recoverAnswers = {RecoverAnswer::Discard};
    c->offerLeftBehind();
    EXPECT_EQ(platform.messages.size(), 1u);
    makeController();
    c->offerLeftBehind();
    EXPECT_EQ(platform.recoverQuestions.size(), 5u) << "the running editor's file was offered";
    EXPECT_TRUE(QFileInfo::exists(running.ownFile()));
}
