#pragma once
// A push button whose caption wraps onto a second line when the button is
// too narrow for it, as the tool strip's small "Se&t Image" style buttons
// need. The access key is still underlined and still works.

#include <QPushButton>

namespace quill {

class CaptionButton : public QPushButton {
    Q_OBJECT
public:
    explicit CaptionButton(const QString& text, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* e) override;
};

} // namespace quill
