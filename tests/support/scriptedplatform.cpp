#include "scriptedplatform.h"

#include "app/mainpanel.h"
#include "render/glyphoutlines.h"

#include <QImageReader>
#include <QTest>

namespace quill::test {

std::unique_ptr<MainPanel> openActiveMainPanel(Platform& platform) {
    auto w = std::make_unique<MainPanel>(platform);
    w->Form_Load();
    w->Timer2->stop();
    w->show();
    w->activateWindow();
    if (!QTest::qWaitForWindowActive(w.get()))
        return nullptr;
    return w;
}

QString buildProgramFolder() {
    return QStringLiteral(QUILLMARK_TEST_PROGRAM_DIR);
}

ScriptedPlatform::ScriptedPlatform() : folder(buildProgramFolder()) {
    screen.widthTwips = 1280 * 15;
    screen.heightTwips = 800 * 15;
}

void ScriptedPlatform::registerFont(const QString& path) {
    registeredFonts << path;
    registerCanvasFont(path);
}

QImage ScriptedPlatform::loadPicture(const QString& path) {
    loadedPictures << path;
    QImageReader reader(path);
    const QImage img = reader.read();
    return img.isNull() ? QImage() : img.convertToFormat(QImage::Format_RGB32);
}

void ScriptedPlatform::messageBox(QWidget*, const MessageBoxRequest& request) {
    messages.push_back(request);
}

SaveAnswer ScriptedPlatform::askSave(QWidget*, const SaveQuestion& question) {
    questions.push_back(question);
    if (saveAnswers.empty())
        return SaveAnswer::Discard;
    const SaveAnswer a = saveAnswers.front();
    saveAnswers.pop_front();
    return a;
}

RecoverAnswer ScriptedPlatform::askRecover(QWidget*, const RecoverQuestion& question) {
    recoverQuestions.push_back(question);
    if (recoverAnswers.empty())
        return RecoverAnswer::Later;
    const RecoverAnswer a = recoverAnswers.front();
    recoverAnswers.pop_front();
    return a;
}

std::optional<QString> ScriptedPlatform::nextAnswer() {
    if (dialogAnswers.empty())
        return std::nullopt;
    const bool cancel = !dialogAnswers.front().has_value();
    const QString name = cancel ? QString() : *dialogAnswers.front();
    dialogAnswers.pop_front();
    if (cancel)
        return std::nullopt;
    return name;
}

std::optional<QString> ScriptedPlatform::getSaveFileName(QWidget*,
                                                         const FileDialogRequest& request) {
    saveDialogs.push_back(request);
    if (request.selectedFilter != nullptr && !filterAnswers.empty()) {
        *request.selectedFilter = filterAnswers.front();
        filterAnswers.pop_front();
    }
    return nextAnswer();
}

std::optional<QString> ScriptedPlatform::getOpenFileName(QWidget*,
                                                         const FileDialogRequest& request) {
    openDialogs.push_back(request);
    return nextAnswer();
}

void ScriptedPlatform::showHelp(const QString& helpFile, const QString& page) {
    helpRequests.emplace_back(helpFile, page);
}

} // namespace quill::test
