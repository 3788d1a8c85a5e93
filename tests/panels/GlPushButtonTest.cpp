// Presses and releases of the touch-aware button, from a touch screen and
// from the mouse, as the control panel's zoom buttons see them.

#include "panels/GlPushButton.h"

#include <QSignalSpy>
#include <QTest>
#include <QTouchDevice>

#include <gtest/gtest.h>

namespace {

// Counts the mouse presses that reach the button, to see whether Qt
// synthesised one from a touch.
class MousePressCounter : public QObject {
public:
    int nPresses = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonPress) {
            ++nPresses;
        }
        return false;
    }
};

class GlPushButtonTest : public ::testing::Test {
protected:
    void SetUp() override {
        button.resize(64, 64);
        button.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&button));
        button.installEventFilter(&mousePresses);
    }

    GlPushButton button;
    MousePressCounter mousePresses;
    QSignalSpy pressed{&button, &QPushButton::pressed};
    QSignalSpy released{&button, &QPushButton::released};
    QSignalSpy clicked{&button, &QPushButton::clicked};
};

TEST_F(GlPushButtonTest, TouchPressesAtBeginAndReleasesAtEndWithoutMouseEvents) {
    static QTouchDevice* pDevice = QTest::createTouchDevice();

    QTest::touchEvent(&button, pDevice).press(0, QPoint(30, 30), &button);
    EXPECT_EQ(pressed.count(), 1);
    EXPECT_EQ(released.count(), 0);

    QTest::touchEvent(&button, pDevice).move(0, QPoint(32, 31), &button);
    QTest::touchEvent(&button, pDevice).release(0, QPoint(32, 31), &button);
    QCoreApplication::processEvents();

    EXPECT_EQ(pressed.count(), 1);
    EXPECT_EQ(released.count(), 1);
    EXPECT_EQ(clicked.count(), 0);
    EXPECT_EQ(mousePresses.nPresses, 0);
}

TEST_F(GlPushButtonTest, CancelledTouchStillEndsTheHold) {
    QTouchEvent begin(QEvent::TouchBegin);
    QCoreApplication::sendEvent(&button, &begin);
    QTouchEvent cancel(QEvent::TouchCancel);
    QCoreApplication::sendEvent(&button, &cancel);

    EXPECT_EQ(pressed.count(), 1);
    EXPECT_EQ(released.count(), 1);
}

TEST_F(GlPushButtonTest, LeftMousePressAndReleaseWithoutClick) {
    QTest::mousePress(&button, Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));
    EXPECT_EQ(pressed.count(), 1);
    EXPECT_TRUE(button.isDown());

    QTest::mouseRelease(&button, Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));
    EXPECT_EQ(pressed.count(), 1);
    EXPECT_EQ(released.count(), 1);
    EXPECT_EQ(clicked.count(), 0);
    // The button must not keep its pressed look after the hold ends.
    EXPECT_FALSE(button.isDown());

    // A second hold works the same way.
    QTest::mouseClick(&button, Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));
    EXPECT_EQ(pressed.count(), 2);
    EXPECT_EQ(released.count(), 2);
    EXPECT_EQ(clicked.count(), 0);
}

TEST_F(GlPushButtonTest, RightPressIsIgnoredButItsReleaseStillReleases) {
    QTest::mousePress(&button, Qt::RightButton, Qt::NoModifier, QPoint(20, 20));
    EXPECT_EQ(pressed.count(), 0);
    EXPECT_FALSE(button.isDown());

    QTest::mouseRelease(&button, Qt::RightButton, Qt::NoModifier, QPoint(20, 20));
    EXPECT_EQ(released.count(), 1);
    EXPECT_EQ(clicked.count(), 0);
}

} // namespace
