#pragma once

#include <QPushButton>

// A push button that reports presses and releases from a touch screen as
// well as from the mouse, through the ordinary pressed() and released()
// signals. Meant for press-and-hold actions (zoom runs from press to
// release); it never emits clicked().
class GlPushButton : public QPushButton {
    Q_OBJECT

public:
    explicit GlPushButton(QWidget* parent = nullptr);
    ~GlPushButton() override;

protected:
    bool event(QEvent* e) override;
};
