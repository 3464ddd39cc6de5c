#pragma once

#include "app/platform/platform.h"

namespace quill {

// The platform of a real desktop, over Qt.
class QtPlatform : public Platform {
public:
    ScreenMetrics screenMetrics() const override;
    QString programFolder() const override;
    void registerFont(const QString& path) override;
    QImage loadPicture(const QString& path) override;
    void messageBox(QWidget* parent, const MessageBoxRequest& request) override;
    std::optional<QString> getSaveFileName(QWidget* parent,
                                           const FileDialogRequest& request) override;
    std::optional<QString> getOpenFileName(QWidget* parent,
                                           const FileDialogRequest& request) override;
    void showHelp(const QString& helpFile, const QString& page) override;
};

// "Name (*.ext)|*.ext" to the form Qt's dialogs take, "Name (*.ext)".
QString qtFilterFromPipes(const QString& filter);

} // namespace quill
