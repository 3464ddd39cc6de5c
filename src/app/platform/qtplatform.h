#pragma once

#include "app/platform/platform.h"

namespace quill {

// The platform of a real desktop, over Qt.
class QtPlatform : public Platform {
public:
    // Keeps Qt from storing or reading its own user settings for the
    // editor (see noUserSettingsFolder()). Make it before any dialog.
    QtPlatform();

    ScreenMetrics screenMetrics() const override;
    QString programFolder() const override;
    QString documentsFolder() const override;
    void registerFont(const QString& path) override;
    QImage loadPicture(const QString& path) override;
    void messageBox(QWidget* parent, const MessageBoxRequest& request) override;
    SaveAnswer askSave(QWidget* parent, const SaveQuestion& question) override;
    std::optional<QString> getSaveFileName(QWidget* parent,
                                           const FileDialogRequest& request) override;
    std::optional<QString> getOpenFileName(QWidget* parent,
                                           const FileDialogRequest& request) override;
    void showHelp(const QString& helpFile, const QString& page) override;
    QString recoveryFolder() const override;
    RecoverAnswer askRecover(QWidget* parent, const RecoverQuestion& question) override;
};

// Qt's file dialogs keep their history, last folder and view in the user's
// settings and read them back the next time; the editor keeps no settings.
// Qt's user settings are given this folder instead, which can never be
// made (a folder under a device), so nothing is written and nothing read.
QString noUserSettingsFolder();

// "Name (*.ext)|*.ext" to the form Qt's dialogs take, "Name (*.ext)".
QString qtFilterFromPipes(const QString& filter);

} // namespace quill
