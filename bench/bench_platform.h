#pragma once
// The desktop as the benchmark sees it: a 1920 x 1080 screen, message boxes
// that close at once, and an open dialog that picks a given file.

#include "app/platform/qtplatform.h"

#include <QString>
#include <optional>

class BenchPlatform : public quill::QtPlatform {
public:
    quill::ScreenMetrics screenMetrics() const override {
        quill::ScreenMetrics m;
        m.widthTwips = 1920 * 15;
        m.heightTwips = 1080 * 15;
        return m;
    }
    void messageBox(QWidget*, const quill::MessageBoxRequest&) override {}
    quill::SaveAnswer askSave(QWidget*, const quill::SaveQuestion&) override {
        return quill::SaveAnswer::Discard;
    }
    std::optional<QString> getOpenFileName(QWidget*, const quill::FileDialogRequest&) override {
        if (openAnswer.isEmpty())
            return std::nullopt;
        return openAnswer;
    }
    std::optional<QString> getSaveFileName(QWidget*, const quill::FileDialogRequest&) override {
        if (saveAnswer.isEmpty())
            return std::nullopt;
        return saveAnswer;
    }

    // What the file dialogs answer; empty is a Cancel.
    QString openAnswer;
    QString saveAnswer;
};
