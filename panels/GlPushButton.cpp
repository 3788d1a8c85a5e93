#include "panels/GlPushButton.h"

#include <QDebug>
#include <QMouseEvent>

GlPushButton::GlPushButton(QWidget* parent) : QPushButton(parent) {
    setAttribute(Qt::WA_AcceptTouchEvents);
}

GlPushButton::~GlPushButton() = default;

bool GlPushButton::event(QEvent* e) {
    switch (e->type()) {
    case QEvent::TouchBegin:
        // Returning true keeps the touch begin accepted, so Qt synthesises
        // no mouse press from it and the press is announced only once.
        qDebug() << "GlPushButton TouchBegin";
        emit pressed();
        return true;
    case QEvent::TouchEnd:
    // A cancelled touch (the window lost the touch to a gesture or a popup)
    // ends the hold as well; otherwise the held action would never stop.
    case QEvent::TouchCancel:
        emit released();
        return true;
    case QEvent::MouseButtonPress:
        qDebug() << "GlPushButton MouseButtonPress";
        if (static_cast<QMouseEvent*>(e)->button() == Qt::RightButton) {
            return true;
        }
        // The plain widget dispatch still runs QAbstractButton's press
        // handler, which shows the button down and emits pressed().
        return QWidget::event(e);
    case QEvent::MouseButtonRelease:
        // The base release handler would emit clicked() as well; the hold
        // ends here instead. The button is shown up again by hand, or it
        // would keep its pressed look until the next press.
        setDown(false);
        emit released();
        return true;
    default:
        return QWidget::event(e);
    }
}
