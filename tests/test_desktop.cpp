// The editor at home on a desktop: where the programs find their files in
// a build tree, a copied folder and an installed prefix; where the file
// dialogs start; the editor's command line and the file it opens at
// start-up.

#include "app/commandline.h"
#include "app/mainpanel.h"
#include "app/module1.h"
#include "filehelpers.h"
#include "files/folders.h"
#include "scriptedplatform.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <cctype>
#include <gtest/gtest.h>
#include <string>
#include <sys/mount.h>
#include <unistd.h>
#include <vector>

using namespace quill;

namespace {

void touch(const QString& path) {
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
}

enum class Layout { Beside, Installed, Both, Neither, ReadOnlyCopy };

struct FolderCase {
    const char* name;
    Layout layout;
    const char* resources;   // relative to the scratch root
    const char* expressions; // relative to the scratch root; "docs/..." in documents
};

// Makes the layout under root; bin is the executable's folder. A read-only
// copy is a tmpfs remounted read-only as root (root may write any folder
// whatever its mode), else a folder without write permission.
class Tree {
public:
    // Fails the test (and returns) when the layout cannot be made.
    void make(Layout layout) {
        root = tmp.path();
        const QString bin = root + QStringLiteral("/bin");
        QDir().mkpath(bin);
        if (layout == Layout::Beside || layout == Layout::Both)
            touch(bin + QStringLiteral("/marker.bmp"));
        if (layout == Layout::Installed || layout == Layout::Both)
            touch(root + QStringLiteral("/share/corvel-quillmark/marker.bmp"));
        if (layout == Layout::ReadOnlyCopy) {
            const QByteArray b = QFile::encodeName(bin);
            if (::geteuid() == 0) {
                mounted = ::mount("tmpfs", b.constData(), "tmpfs", 0, "size=64k") == 0;
                ASSERT_TRUE(mounted);
                touch(bin + QStringLiteral("/marker.bmp"));
                ASSERT_EQ(::mount(nullptr, b.constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr),
                          0);
            } else {
                touch(bin + QStringLiteral("/marker.bmp"));
                QFile::setPermissions(bin, QFile::ReadOwner | QFile::ExeOwner);
            }
        }
    }
    ~Tree() {
        const QString bin = root + QStringLiteral("/bin");
        if (mounted)
            ::umount2(QFile::encodeName(bin).constData(), MNT_DETACH);
        QFile::setPermissions(bin, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    QTemporaryDir tmp;
    QString root;
    bool mounted = false;
};

const FolderCase folderCases[] = {
    {"build tree or copied folder", Layout::Beside, "bin", "bin/Expressions"},
    {"installed prefix", Layout::Installed, "share/corvel-quillmark",
     "docs/Corvel Quillmark/Expressions"},
    {"files beside win over an installed prefix", Layout::Both, "bin", "bin/Expressions"},
    {"no files anywhere", Layout::Neither, "bin", "docs/Corvel Quillmark/Expressions"},
    {"read-only copy", Layout::ReadOnlyCopy, "bin", "docs/Corvel Quillmark/Expressions"},
};

class Folders : public ::testing::TestWithParam<FolderCase> {};

// The resource folder, the dialogs' folders, and that only a folder in the
// documents folder is made, when a dialog first asks for it.
TEST_P(Folders, ResourcesAndDialogFolders) {
    const FolderCase& c = GetParam();
    Tree tree;
    tree.make(c.layout);
    if (::testing::Test::HasFatalFailure())
        return;
    const QString docs = tree.root + QStringLiteral("/docs");
    test::ScriptedPlatform platform;
    platform.folder = tree.root + QStringLiteral("/bin");
    platform.documents = docs;

    EXPECT_EQ(platform.resourceFolder(), tree.root + QLatin1Char('/') + QLatin1String(c.resources));
    EXPECT_EQ(platform.programFile(QStringLiteral("\\marker.bmp")),
              platform.resourceFolder() + QStringLiteral("/marker.bmp"));
    const QString expressions = tree.root + QLatin1Char('/') + QLatin1String(c.expressions);
    const bool inDocs = expressions.startsWith(docs);
    EXPECT_FALSE(QFileInfo::exists(docs)) << "nothing is made before a dialog asks";
    EXPECT_EQ(platform.expressionsFolder(), expressions);
    EXPECT_EQ(platform.imagesFolder(), QFileInfo(expressions).path() + QStringLiteral("/Images"));
    EXPECT_EQ(QFileInfo(expressions).isDir(), inDocs);
    EXPECT_EQ(QFileInfo(QFileInfo(expressions).path() + QStringLiteral("/Images")).isDir(), inDocs);
}

std::string caseName(const ::testing::TestParamInfo<FolderCase>& param) {
    std::string n = param.param.name;
    for (char& ch : n)
        if (!std::isalnum(static_cast<unsigned char>(ch)))
            ch = '_';
    return n;
}

INSTANTIATE_TEST_SUITE_P(Layouts, Folders, ::testing::ValuesIn(folderCases), caseName);

// --- The command line -----------------------------------------------------

struct CommandCase {
    std::vector<const char*> args;
    bool help, version;
    const char* file;
    std::vector<const char*> notOpened;
    bool error;
};

QStringList strings(const std::vector<const char*>& list) {
    QStringList out;
    for (const char* s : list)
        out << QString::fromLatin1(s);
    return out;
}

TEST(EditorCommandLine, FilesOptionsAndTheEndOfOptions) {
    const CommandCase cases[] = {
        {{}, false, false, "", {}, false},
        {{"a.exp"}, false, false, "a.exp", {}, false},
        {{"a.exp", "b.exp", "c.exp"}, false, false, "a.exp", {"b.exp", "c.exp"}, false},
        {{"--help"}, true, false, "", {}, false},
        {{"a.exp", "-h"}, true, false, "a.exp", {}, false},
        {{"--version"}, false, true, "", {}, false},
        {{"--", "-x.exp", "--help"}, false, false, "-x.exp", {"--help"}, false},
        {{"-"}, false, false, "-", {}, false},
        {{"--bogus", "a.exp"}, false, false, "a.exp", {}, true},
    };
    for (const CommandCase& c : cases) {
        const EditorCommandLine r = parseEditorCommandLine(strings(c.args));
        const std::string where = strings(c.args).join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(r.help, c.help) << where;
        EXPECT_EQ(r.version, c.version) << where;
        EXPECT_EQ(r.file, QString::fromLatin1(c.file)) << where;
        EXPECT_EQ(r.notOpened, strings(c.notOpened)) << where;
        EXPECT_EQ(!r.error.isEmpty(), c.error) << where;
        EXPECT_EQ(notOpenedNote(r).isEmpty(), c.notOpened.empty()) << where;
    }
}

// --- Start-up with a file ---------------------------------------------------

template <typename Pred> bool waitFor(Pred done, int ms = 3000) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms)
        QTest::qWait(10);
    return done();
}

// The named file is opened through Open's own code once the main window is
// up and the splash is gone, a file that cannot be read with Open's own
// message; the windows carry the application's icon.
TEST(StartUpFile, OpenedAfterTheSplashWithOpensMessagesAndTheIconSet) {
    QTemporaryDir tmp;
    const QString line = tmp.filePath(QStringLiteral("line.exp"));
    // One horizontal line, 12 pixels wide, at y 160 from x 26 to 114.
    test::writeFile(line, QByteArray::fromHex("0000ffff00000000000046"
                                              "00a0001a0072000c00ffff"));
    const struct {
        QString path;
        bool opens;
    } cases[] = {{line, true}, {tmp.filePath(QStringLiteral("missing.exp")), false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        test::ScriptedPlatform platform;
        Module1 module(platform);
        module.setStartupFile(c.path);
        module.Main();
        const QList<QSize> sizes = QApplication::windowIcon().availableSizes();
        for (const int s : {16, 32, 48, 256})
            EXPECT_TRUE(sizes.contains(QSize(s, s))) << s;
        module.splash()->tmrShow_Timer();
        MainPanel* panel = module.mainPanel();
        ASSERT_NE(panel, nullptr);
        EXPECT_EQ(panel->expression.hLinesExist, VbFalse) << "not before the splash goes";
        EXPECT_TRUE(platform.messages.empty());
        EXPECT_TRUE(waitFor(
            [&] { return panel->expression.hLinesExist == VbTrue || !platform.messages.empty(); }));
        EXPECT_EQ(module.splash(), nullptr);
        if (c.opens) {
            ASSERT_EQ(panel->expression.hLinesExist, VbTrue);
            EXPECT_EQ(panel->expression.HLines.x2.at(0), 114);
            EXPECT_TRUE(platform.messages.empty());
        } else {
            EXPECT_EQ(panel->expression.hLinesExist, VbFalse);
            ASSERT_EQ(platform.messages.size(), 1u);
            EXPECT_EQ(platform.messages[0].title, QStringLiteral("Open"));
        }
    }
}

} // namespace
