// The editor keeps no settings: using its file dialogs on the real desktop
// platform leaves nothing in the user's home folder, and reads nothing back.
//
// Qt settles where user settings live once per process, so the dialogs run
// in a child process of this test program with a scratch home folder.

#include "app/platform/qtplatform.h"
#include "filehelpers.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFileDialog>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace quill;

namespace {

constexpr const char* ChildVariable = "QUILLMARK_TEST_DIALOG_CHILD";

// Answers the next file dialog: puts the name into the dialog's file name
// box and presses Enter there.
void answerNextDialog(const QString& name) {
    auto* timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, name] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        if (!edit) {
            dialog->reject();
            return;
        }
        edit->setText(name);
        QTest::keyClick(edit, Qt::Key_Return);
    });
    timer->start();
}

QStringList everythingUnder(const QString& folder) {
    QStringList found;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        found << it.next();
    return found;
}

} // namespace

// Run by UserSettings.FileDialogsLeaveTheHomeFolderEmpty in a child process.
TEST(UserSettingsChild, SaveAndOpenThroughTheDialogs) {
    if (!qEnvironmentVariableIsSet(ChildVariable))
        GTEST_SKIP() << "runs as a child of UserSettings.FileDialogsLeaveTheHomeFolderEmpty";
    QtPlatform platform;
    QTemporaryDir work;
    ASSERT_TRUE(work.isValid());
    const QDir dir(work.path());
    ASSERT_TRUE(dir.mkpath(QStringLiteral("Expressions")));
    ASSERT_TRUE(dir.mkpath(QStringLiteral("Elsewhere")));
    const QString existing = dir.filePath(QStringLiteral("Elsewhere/old.exp"));
    test::writeFile(existing, QByteArray(6, '\0'));

    FileDialogRequest request;
    request.initialFolder = dir.filePath(QStringLiteral("Expressions"));
    request.filter = QStringLiteral("Expression Files (*.exp)|*.exp");
    // A name in another folder, so that the dialog has a history to keep.
    const QString saved = dir.filePath(QStringLiteral("Elsewhere/new.exp"));
    answerNextDialog(saved);
    EXPECT_EQ(platform.getSaveFileName(nullptr, request), saved);
    answerNextDialog(existing);
    EXPECT_EQ(platform.getOpenFileName(nullptr, request), existing);
}

TEST(UserSettings, FileDialogsLeaveTheHomeFolderEmpty) {
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QString::fromLatin1(ChildVariable), QStringLiteral("1"));
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path() + QStringLiteral("/.config"));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), home.path() + QStringLiteral("/.cache"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home.path() + QStringLiteral("/.local/share"));
    env.insert(QStringLiteral("XDG_STATE_HOME"), home.path() + QStringLiteral("/.local/state"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess child;
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=UserSettingsChild.*")});
    ASSERT_TRUE(child.waitForFinished(60000));
    const QString output = QString::fromLocal8Bit(child.readAll());
    ASSERT_EQ(child.exitStatus(), QProcess::NormalExit) << output.toStdString();
    ASSERT_EQ(child.exitCode(), 0) << output.toStdString();
    ASSERT_TRUE(output.contains(QStringLiteral("[  PASSED  ] 1 test"))) << output.toStdString();
    const QStringList left = everythingUnder(home.path());
    EXPECT_TRUE(left.isEmpty()) << left.join(QLatin1Char('\n')).toStdString() << "\n"
                                << output.toStdString();
}
