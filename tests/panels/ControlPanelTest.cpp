// The control panel as the user clicks it: the codes that reach the view and
// the icons the buttons then show.

#include "panels/ControlPanel.h"

#include "app/SharedState.h"
#include "panels/RemarkView.h"
#include "tests/panels/PanelTestHelpers.h"

#include <QSignalSpy>
#include <QTouchDevice>

#include <algorithm>

namespace {

using Codes = std::vector<int>;

// A panel wired to a stand-in for the view, which records the codes and
// turns the shared angle while it handles the rotate code.
struct WiredPanel {
    WiredPanel() {
        CurrentRotateAngle = 0;
        QObject::connect(&panel, &ControlPanel::OneControlHappend, [this](int nType) {
            codes.push_back(nType);
            if (nType == 10) {
                CurrentRotateAngle = (CurrentRotateAngle + 90) % 360;
            }
        });
        panel.show();
    }
    // Clicks by name; a number is an annotation operation reported back
    // through OnOptionChanged.
    void Play(const QString& strSteps) {
        for (const QString& strStep : strSteps.split(' ')) {
            bool bNumber = false;
            const int nOperation = strStep.toInt(&bNumber);
            if (bNumber) {
                panel.OnOptionChanged(nOperation);
            } else {
                ClickButton({&panel}, strStep);
            }
        }
    }
    Codes Take() { return std::exchange(codes, {}); }

    ControlPanel panel;
    Codes codes;
};

TEST(ControlPanelTest, CodesAndIconsOfClickSequences) {
    const struct {
        const char* szSteps;
        Codes codes;
        const char* szSelected;
    } rows[] = {
        {"auto brighten darken zoomIn zoomOut focusFar focusNear",
         {1, 6, 7, 4, 19, 5, 19, 8, 19, 9, 19},
         ""},
        // The receivers keep their own state: toggles but the lamp send one code.
        {"led mirror frozen mosaic rotate rotate rotate",
         {2, 11, 17, 18, 10, 10, 10},
         "Frozen Lamp Mirror Mosaic Rotate"},
        {"led led mirror mirror frozen frozen mosaic mosaic rotate rotate rotate rotate",
         {2, 3, 11, 11, 17, 17, 18, 18, 10, 10, 10, 10},
         ""},
        // Compare and title are never on together, nor emphasize and shade,
        // which replace each other without an "off" code.
        {"negative emphasize", {12, 16}, "Emphasize Negative"},
        {"negative blackWhite emphasize shade", {12, 13, 16, 15}, "Shade Title"},
        {"blackWhite negative shade emphasize", {13, 12, 15, 16}, "Emphasize Negative"},
        {"negative blackWhite negative negative emphasize emphasize", {12, 13, 12, 12, 16, 0}, ""},
        {"blackWhite blackWhite shade shade", {13, 13, 15, 0}, ""},
        // Only an operation other than their own turns them off.
        {"emphasize 11 emphasize shade 12 shade", {16, 0, 15, 0}, ""},
        {"emphasize 12 emphasize shade 3 shade", {16, 16, 15, 15}, "Shade"},
        {"emphasize 10", {16}, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.szSteps);
        WiredPanel wired;
        wired.Play(row.szSteps);
        EXPECT_EQ(wired.codes, row.codes);
        EXPECT_EQ(SelectedIcons({&wired.panel}), row.szSelected);
    }
}

// Wired as in the main window: the tool column answers the effect codes with
// operations that come back to OnOptionChanged while the click still runs.
TEST(ControlPanelTest, EffectsRoundTripThroughTheToolColumn) {
    WiredPanel wired;
    RemarkView remark;
    QObject::connect(&wired.panel, &ControlPanel::OneControlHappend, &remark,
                     &RemarkView::OnOneControlHappend);
    QObject::connect(&remark, &RemarkView::RemarkOperationChanged, &wired.panel,
                     &ControlPanel::OnOptionChanged);
    wired.Play("emphasize emphasize emphasize shade emphasize");
    EXPECT_EQ(wired.Take(), (Codes{16, 0, 16, 15, 16}));
    EXPECT_EQ(SelectedIcons({&wired.panel}), "Emphasize");
    // Choosing an annotation tool ends the emphasize without a code.
    ClickButton({&remark}, "line");
    EXPECT_EQ(SelectedIcons({&wired.panel}), "");
    wired.Play("emphasize");
    EXPECT_EQ(wired.Take(), (Codes{16}));
}

// The zoom buttons hold from press to release, by mouse or by touch, and
// never end in a click; a held focus button repeats its step and stop.
TEST(ControlPanelTest, HeldButtons) {
    WiredPanel wired;
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&wired.panel));
    auto* pZoom = wired.panel.findChild<QAbstractButton*>("zoomInButton");
    QSignalSpy clicked(pZoom, &QAbstractButton::clicked);
    QTest::mousePress(pZoom, Qt::LeftButton);
    EXPECT_EQ(wired.Take(), (Codes{4}));
    EXPECT_TRUE(pZoom->isDown());
    QTest::mouseRelease(pZoom, Qt::LeftButton);
    EXPECT_EQ(wired.Take(), (Codes{19}));
    EXPECT_FALSE(pZoom->isDown());
    QTest::mousePress(pZoom, Qt::RightButton);
    EXPECT_EQ(wired.Take(), (Codes{}));
    EXPECT_FALSE(pZoom->isDown());

    // No mouse press may be made up from the touch: it would zoom twice.
    static QTouchDevice* pDevice = QTest::createTouchDevice();
    QTest::touchEvent(pZoom, pDevice).press(0, QPoint(30, 30), pZoom);
    QTest::touchEvent(pZoom, pDevice).release(0, QPoint(32, 31), pZoom);
    // A touch taken over by a gesture or a popup still ends the hold.
    QTouchEvent begin(QEvent::TouchBegin);
    QTouchEvent cancel(QEvent::TouchCancel);
    QCoreApplication::sendEvent(pZoom, &begin);
    QCoreApplication::sendEvent(pZoom, &cancel);
    QCoreApplication::processEvents();
    EXPECT_EQ(wired.Take(), (Codes{4, 19, 4, 19}));
    EXPECT_EQ(clicked.count(), 0);

    auto* pFocus = wired.panel.findChild<QAbstractButton*>("focusFarButton");
    QTest::mousePress(pFocus, Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&wired] { return wired.codes.size() >= 6; }, 5000));
    QTest::mouseRelease(pFocus, Qt::LeftButton);
    const Codes held = wired.Take();
    Codes steps;
    while (steps.size() < held.size()) {
        steps.insert(steps.end(), {8, 19});
    }
    EXPECT_EQ(held, steps);
}

TEST(ControlPanelTest, ButtonRowIsCentred) {
    WiredPanel wired;
    EXPECT_EQ(wired.panel.ButtonRowWidth(), 1054);
    EXPECT_EQ(wired.panel.minimumSize(), QSize(1058, 72));
    for (int nWidth : {1058, 1259}) {
        wired.panel.resize(nWidth, 72);
        std::vector<int> lefts;
        for (QAbstractButton* pButton : wired.panel.findChildren<QAbstractButton*>()) {
            EXPECT_EQ(pButton->geometry(), QRect(pButton->x(), 2, 64, 64));
            lefts.push_back(pButton->x());
        }
        std::sort(lefts.begin(), lefts.end());
        for (size_t i = 0; i < lefts.size(); ++i) {
            EXPECT_EQ(lefts[i], (nWidth - 1054) / 2 + 66 * int(i)) << nWidth;
        }
    }
}

} // namespace
