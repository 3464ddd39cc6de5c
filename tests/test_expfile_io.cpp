// Saving and opening .exp files on disk: the old file survives every failed
// save, and files that once broke the reader stay refused or read cleanly.

#include "filehelpers.h"
#include "files/expcodec.h"
#include "files/expfile.h"
#include "files/filename.h"
#include "tinyfs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cerrno>
#include <cstring>
#include <grp.h>
#include <gtest/gtest.h>
#include <iostream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace quill;
using quill::test::FileSizeLimit;
using quill::test::readAll;
using quill::test::writeFile;

namespace {

// Everything in the folder, hidden files included: a leftover temporary
// file would show up here.
std::vector<std::string> entries(const QString& dir) {
    std::vector<std::string> names;
    const auto filter = QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot;
    for (const QString& n : QDir(dir).entryList(filter, QDir::Name))
        names.push_back(n.toStdString());
    return names;
}

using Names = std::vector<std::string>;

QByteArray toQBytes(const std::vector<std::uint8_t>& v) {
    return QByteArray(reinterpret_cast<const char*>(v.data()), static_cast<qsizetype>(v.size()));
}

Expression sample(int rows) {
    Expression e;
    for (int i = 0; i < rows; ++i) {
        const auto k = static_cast<std::int16_t>(i);
        e.AddTextItem("Arial", VbFalse, VbTrue, 25, "x\xA3" + std::to_string(i), k, -k, 1, 2, 25);
        e.AddHLine(k, -30, 114, 2);
        e.AddVLine(-k, 20, 80, 3);
    }
    e.TextItems.live[0] = VbFalse;
    return e;
}

struct ExpFiles : ::testing::Test {
    QTemporaryDir tmp;
    QString at(const char* name) const { return tmp.filePath(QString::fromLatin1(name)); }
};

TEST_F(ExpFiles, SaveWritesTheCodecBytesUnderTheExactNameAndOpenReadsThemBack) {
    ASSERT_TRUE(tmp.isValid());
    const Expression e = sample(20);
    for (const char* name : {"drawing.exp", "drawing"}) {
        const FileResult saved = saveExpressionFile(at(name), e);
        ASSERT_TRUE(saved.ok) << name << ": " << saved.message.toStdString();
        EXPECT_EQ(readAll(at(name)), toQBytes(encodeExpression(e).bytes));
        const LoadResult opened = loadExpressionFile(at(name), Expression{});
        ASSERT_TRUE(opened.ok) << opened.message.toStdString();
        EXPECT_EQ(opened.expression, e);
    }
    EXPECT_EQ(entries(tmp.path()), (Names{"drawing", "drawing.exp"}));
}

TEST_F(ExpFiles, SavingOverALongerFileLeavesNothingOfIt) {
    writeFile(at("old.exp"), QByteArray(4096, '\xAB'));
    ASSERT_TRUE(saveExpressionFile(at("old.exp"), Expression{}).ok);
    EXPECT_EQ(readAll(at("old.exp")), QByteArray(6, '\0'));
}

TEST_F(ExpFiles, FailedSavesKeepTheOldFileAndLeaveNoTemporaryFile) {
    const QByteArray old = toQBytes(encodeExpression(sample(3)).bytes);
    writeFile(at("keep.exp"), old);
    writeFile(at("plain"), "not a folder");
    ASSERT_TRUE(QDir(tmp.path()).mkdir(QStringLiteral("folder")));
    const Names before = entries(tmp.path());

    Expression unstorable = sample(2);
    unstorable.TextItems.text[1].assign(40000, 'y');
    const struct {
        QString path;
        Expression expr;
    } cases[] = {
        {at("missing/keep.exp"), sample(1)}, // folder does not exist
        {at("plain/keep.exp"), sample(1)},   // "folder" is a regular file
        {at("folder"), sample(1)},           // the name is taken by a folder
        {at("keep.exp"), unstorable},        // a string too long for the format
    };
    for (const auto& c : cases) {
        const FileResult r = saveExpressionFile(c.path, c.expr);
        EXPECT_FALSE(r.ok) << c.path.toStdString();
        EXPECT_FALSE(r.message.isEmpty()) << c.path.toStdString();
        EXPECT_EQ(readAll(at("keep.exp")), old) << c.path.toStdString();
        EXPECT_EQ(entries(tmp.path()), before) << c.path.toStdString();
    }
}

// What a save replaces: the file a chain of links leads to (the links
// stay), keeping that file's permissions; a new file gets the umask's; a
// name that is not a regular file is refused without being touched.
TEST_F(ExpFiles, SaveReplacesTheFileBehindLinksAndKeepsItsPermissions) {
    ASSERT_TRUE(QDir(tmp.path()).mkdir(QStringLiteral("real")));
    const QByteArray old = toQBytes(encodeExpression(sample(1)).bytes);
    writeFile(at("real/drawing.exp"), old);
    ASSERT_TRUE(QFile::setPermissions(at("real/drawing.exp"),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    ASSERT_EQ(::symlink("real/drawing.exp", QFile::encodeName(at("one")).constData()), 0);
    ASSERT_EQ(::symlink(QFile::encodeName(at("one")).constData(),
                        QFile::encodeName(at("two")).constData()),
              0);
    ASSERT_EQ(::mkfifo(QFile::encodeName(at("pipe")).constData(), 0644), 0);

    const Expression e = sample(3);
    const QByteArray want = toQBytes(encodeExpression(e).bytes);
    ASSERT_TRUE(saveExpressionFile(at("two"), e).ok);
    EXPECT_EQ(readAll(at("real/drawing.exp")), want);
    EXPECT_TRUE(QFileInfo(at("two")).isSymLink());
    EXPECT_TRUE(QFileInfo(at("one")).isSymLink());
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(at("real/drawing.exp")).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    const mode_t mask = ::umask(022);
    const FileResult created = saveExpressionFile(at("new.exp"), e);
    ::umask(mask);
    ASSERT_TRUE(created.ok) << created.message.toStdString();
    ASSERT_EQ(::stat(QFile::encodeName(at("new.exp")).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);

    EXPECT_FALSE(saveExpressionFile(at("pipe"), e).ok);
    EXPECT_EQ(entries(tmp.path()), (Names{"new.exp", "one", "pipe", "real", "two"}));
    EXPECT_EQ(entries(at("real")), Names{"drawing.exp"});
}

// A disk that fills up part way through the write, simulated with a file
// size limit on this process.
TEST_F(ExpFiles, WriteFailingPartWayKeepsTheOldFile) {
    const QByteArray old = toQBytes(encodeExpression(sample(2)).bytes);
    writeFile(at("keep.exp"), old);

    FileResult r;
    {
        const FileSizeLimit limit(4096);
        ASSERT_TRUE(limit.active());
        r = saveExpressionFile(at("keep.exp"), sample(2000));
    }

    EXPECT_FALSE(r.ok);
    EXPECT_EQ(readAll(at("keep.exp")), old);
    EXPECT_EQ(entries(tmp.path()), Names{"keep.exp"});
}

// A real full disk: a tiny tmpfs, filled in four ways. Each save must be
// refused with the file system's own "no space" error, keep the old bytes
// and leave nothing behind; once room is made, the same save goes through.
TEST(FullDisk, SavesThatDoNotFitKeepTheOldFileAndLeaveNothingBehind) {
    QUILLMARK_TINYFS_OR_RERUN();
    std::cout << "[ full disk ] " << test::TinyFilesystem::how() << "\n";
    const QByteArray old = toQBytes(encodeExpression(sample(1)).bytes);
    const struct {
        const char* name;
        Expression expr;
        long long leaveBytes; // free space left by the filler, -1: use up inodes
    } cases[] = {
        {"small file, well under any buffer, on a full disk", sample(1), 0},
        {"large file on a full disk", sample(6000), 0},
        {"the disk fills between two writes", sample(6000), 16 * 1024},
        {"the folder is full before the temporary file", sample(1), -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TinyFilesystem fs(128, 32);
        ASSERT_TRUE(fs.ok()) << fs.error();
        writeFile(fs.at("keep.exp"), old);
        const std::size_t size = encodeExpression(c.expr).bytes.size();
        if (c.leaveBytes >= 0) {
            ASSERT_GT(fs.fill(c.leaveBytes), 0);
            if (c.leaveBytes > 0) { // the first write fits in part, the next finds no room
                ASSERT_GT(size, std::size_t(c.leaveBytes) + 4096);
            }
        } else {
            ASSERT_GT(fs.useUpInodes(), 0);
        }
        const Names before = entries(fs.path());

        const FileResult r = saveExpressionFile(fs.at("keep.exp"), c.expr);
        EXPECT_FALSE(r.ok);
        EXPECT_TRUE(r.message.contains(QString::fromLocal8Bit(std::strerror(ENOSPC))))
            << r.message.toStdString();
        if (c.leaveBytes < 0) {
            EXPECT_TRUE(r.message.contains(QStringLiteral("cannot create")))
                << r.message.toStdString();
        }
        EXPECT_EQ(readAll(fs.at("keep.exp")), old);
        EXPECT_EQ(entries(fs.path()), before);

        // With room to spare the very same save goes through.
        for (const QString& n :
             QDir(fs.path()).entryList({QStringLiteral("filler"), QStringLiteral("inode-*")}))
            ASSERT_TRUE(QFile::remove(fs.path() + QLatin1Char('/') + n));
        const FileResult again = saveExpressionFile(fs.at("keep.exp"), c.expr);
        EXPECT_TRUE(again.ok) << again.message.toStdString();
        EXPECT_EQ(readAll(fs.at("keep.exp")), toQBytes(encodeExpression(c.expr).bytes));
        EXPECT_EQ(entries(fs.path()), Names{"keep.exp"});
    }
}

// A folder the user may not add files to, holding an old file the user may
// write: the save is refused rather than written into the old file in
// place, and the folder stays as it was. Root ignores folder permissions,
// so as root the save runs in a child process that has become "nobody".
TEST_F(ExpFiles, FolderThatRefusesTheTemporaryFileRefusesTheSave) {
    constexpr uid_t Nobody = 65534;
    const bool asRoot = ::geteuid() == 0;
    std::cout << "[ read-only folder ] "
              << (asRoot ? "as root: the save runs in a child that dropped to nobody (65534)"
                         : "as the unprivileged user running the tests")
              << "\n";
    const QByteArray old = toQBytes(encodeExpression(sample(2)).bytes);
    writeFile(at("keep.exp"), old);
    const QByteArray folder = QFile::encodeName(tmp.path());
    const QByteArray file = QFile::encodeName(at("keep.exp"));
    if (asRoot) { // nobody may pass through the folder and write the file
        ASSERT_EQ(::chmod(folder.constData(), 0755), 0);
        ASSERT_EQ(::chown(file.constData(), Nobody, Nobody), 0);
    } else {
        ASSERT_EQ(::chmod(folder.constData(), 0555), 0);
    }
    const Names before = entries(tmp.path());
    const Expression bigger = sample(40);

    int saved = -1; // 1 saved, 0 refused
    if (asRoot) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (::setgroups(0, nullptr) != 0 || ::setgid(Nobody) != 0 || ::setuid(Nobody) != 0 ||
                ::geteuid() != Nobody)
                ::_exit(3);
            ::_exit(saveExpressionFile(at("keep.exp"), bigger).ok ? 1 : 0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        ASSERT_NE(WEXITSTATUS(status), 3) << "could not become nobody";
        saved = WEXITSTATUS(status);
    } else {
        saved = saveExpressionFile(at("keep.exp"), bigger).ok ? 1 : 0;
        ::chmod(folder.constData(), 0700);
    }
    EXPECT_EQ(saved, 0);
    EXPECT_EQ(readAll(at("keep.exp")), old);
    EXPECT_EQ(entries(tmp.path()), before);
}

TEST_F(ExpFiles, OpenRefusesWhatItCannotRead) {
    writeFile(at("short.exp"), QByteArray("\x00\x00\xFF\xFF\x00\x00\xFF\xFF\xFF\x7F", 10));
    QFile big(at("big.exp"));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly));
    ASSERT_TRUE(big.resize(MaxExpFileBytes + 1)); // sparse: costs no disk
    big.close();
    for (const char* name : {"missing.exp", "", "short.exp", "big.exp"}) {
        const LoadResult r = loadExpressionFile(at(name), sample(1));
        EXPECT_FALSE(r.ok) << name;
        EXPECT_FALSE(r.message.isEmpty()) << name;
    }
}

// Every file that once broke the reader is kept in tests/regressions/exp.
// A name starting "accept" must open, and what it gives must survive a
// save and open unchanged; any other name must be refused.
TEST(ExpRegressions, StoredFilesGiveTheirExpectedOutcome) {
    const QDir dir(QStringLiteral(QUILLMARK_EXP_REGRESSIONS_DIR));
    const QStringList files = dir.entryList({QStringLiteral("*.exp")}, QDir::Files, QDir::Name);
    ASSERT_FALSE(files.isEmpty()) << dir.path().toStdString();
    const Expression current = sample(2);
    for (const QString& name : files) {
        const LoadResult r = loadExpressionFile(dir.filePath(name), current);
        if (!name.startsWith(QLatin1String("accept"))) {
            EXPECT_FALSE(r.ok) << name.toStdString();
            continue;
        }
        ASSERT_TRUE(r.ok) << name.toStdString() << ": " << r.message.toStdString();
        const EncodeResult again = encodeExpression(r.expression);
        ASSERT_TRUE(again.ok) << name.toStdString();
        EXPECT_EQ(decodeExpression(again.bytes, current).expression, r.expression)
            << name.toStdString();
    }
}

} // namespace

namespace {

// A file name's bytes come back unchanged through its text, whatever they
// are; where they are valid UTF-8 the text is the ordinary one.
TEST(FileNames, BytesSurviveTheirText) {
    const QByteArray names[] = {
        "plain.exp",
        "caf\xc3\xa9 \xe2\x88\x91 \xf0\x9d\x91\xa5.exp", // UTF-8: 2, 3 and 4 bytes
        "latin-1 caf\xe9.exp",                           // a lone byte
        "\xc0\xaf overlong slash",                       // an overlong '/'
        "\xed\xa0\x80 encoded surrogate",
        "\xf4\x90\x80\x80 past U+10FFFF",
        "cut short \xe2\x88",
        "\xff\xfe\x80",
    };
    for (const QByteArray& bytes : names) {
        SCOPED_TRACE(bytes.toHex().toStdString());
        const QString text = decodeFileName(bytes);
        EXPECT_EQ(encodeFileName(text), bytes);
        const bool utf8 = QString::fromUtf8(bytes).toUtf8() == bytes;
        EXPECT_EQ(text == QString::fromUtf8(bytes), utf8);
        EXPECT_EQ(text.contains(QLatin1Char('/')), false);
    }
}

} // namespace
