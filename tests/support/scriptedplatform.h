#pragma once
// A platform for tests: a fixed screen, the build's program folder, dialogs
// answered from a script and message boxes recorded instead of shown.

#include "app/platform/platform.h"

#include <QStringList>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

namespace quill {
class MainPanel;
}

namespace quill::test {

class ScriptedPlatform : public Platform {
public:
    ScriptedPlatform();

    ScreenMetrics screenMetrics() const override { return screen; }
    QString programFolder() const override { return folder; }
    QString documentsFolder() const override { return documents; }
    void registerFont(const QString& path) override;
    QImage loadPicture(const QString& path) override;
    void messageBox(QWidget* parent, const MessageBoxRequest& request) override;
    SaveAnswer askSave(QWidget* parent, const SaveQuestion& question) override;
    std::optional<QString> getSaveFileName(QWidget* parent,
                                           const FileDialogRequest& request) override;
    std::optional<QString> getOpenFileName(QWidget* parent,
                                           const FileDialogRequest& request) override;
    void showHelp(const QString& helpFile, const QString& page) override;
    QString recoveryFolder() const override { return recovery; }
    RecoverAnswer askRecover(QWidget* parent, const RecoverQuestion& question) override;

    ScreenMetrics screen;
    QString folder;
    QString documents; // empty: the home folder, as on a desktop without one
    // Answers for the next dialogs, in order; nullopt is Cancel. An empty
    // queue answers Cancel.
    std::deque<std::optional<QString>> dialogAnswers;
    // The file type chosen in the next save dialogs that offer a choice;
    // an empty queue leaves the type the dialog shows at first.
    std::deque<QString> filterAnswers;
    std::vector<FileDialogRequest> saveDialogs;
    std::vector<FileDialogRequest> openDialogs;
    std::vector<MessageBoxRequest> messages;
    // Answers for the next save questions, in order. An empty queue answers
    // Discard, so a command goes on as it would without the question.
    std::deque<SaveAnswer> saveAnswers;
    std::vector<SaveQuestion> questions;
    // Where recovery files go; empty keeps none.
    QString recovery;
    // Answers for the next recovery questions, in order; an empty queue
    // answers Later.
    std::deque<RecoverAnswer> recoverAnswers;
    std::vector<RecoverQuestion> recoverQuestions;
    QStringList registeredFonts;
    QStringList loadedPictures;
    std::vector<std::pair<QString, QString>> helpRequests;

private:
    std::optional<QString> nextAnswer();
};

// The folder the build generates the program's files into.
QString buildProgramFolder();

// A loaded main window, shown and active, with the caret timer stopped so
// that tests tick it by hand. Null when the window could not be activated.
std::unique_ptr<MainPanel> openActiveMainPanel(Platform& platform);

} // namespace quill::test
