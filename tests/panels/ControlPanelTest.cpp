// The control panel as the user clicks it: the codes that reach the view and
// the icons the buttons then show.

#include "panels/ControlPanel.h"

#include "app/SharedState.h"
#include "panels/RemarkView.h"
#include "tests/panels/PanelTestHelpers.h"

#include <QSignalSpy>
#include <QTouchDevice>

namespace {

using Codes = std::vector<int>;

// A panel wired as in the main window to the tool column, whose answers to
// the effect codes come back to OnOptionChanged while the click still runs,
// and to a stand-in for the view, which records the codes and turns the
// shared angle while it handles the rotate code.
struct WiredPanel {
    WiredPanel() {
        CurrentRotateAngle = 0;
        QObject::connect(&panel, &ControlPanel::OneControlHappend, &remark,
                         &RemarkView::OnOneControlHappend);
        QObject::connect(&remark, &RemarkView::RemarkOperationChanged, &panel,
                         &ControlPanel::OnOptionChanged);
        QObject::connect(&panel, &ControlPanel::OneControlHappend, [this](int nType) {
            codes.push_back(nType);
            if (nType == 10) {
                CurrentRotateAngle = (CurrentRotateAngle + 90) % 360;
            }
        });
        panel.show();
    }
    Codes Take() { return std::exchange(codes, {}); }

    ControlPanel panel;
    RemarkView remark;
    Codes codes;
};

// Clicks on both panels (tool names are the tool column's); the icons shown
// on the control panel afterwards.
TEST(ControlPanelTest, CodesAndIconsOfClickSequences) {
    const struct {
        const char* szClicks;
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
        // which replace each other without an "off" code and are not turned
        // off by their own operation coming back.
        {"negative blackWhite emphasize shade", {12, 13, 16, 15}, "Shade Title"},
        {"blackWhite negative shade emphasize", {13, 12, 15, 16}, "Emphasize Negative"},
        {"negative blackWhite negative negative emphasize emphasize", {12, 13, 12, 12, 16, 0}, ""},
        {"blackWhite blackWhite shade shade emphasize shade emphasize",
         {13, 13, 15, 0, 16, 15, 16},
         "Emphasize"},
        // Choosing a tool, or clearing, ends them without a code.
        {"emphasize arrow emphasize shade clear shade", {16, 16, 15, 15}, "Shade"},
        {"shade arrow shade emphasize clear emphasize", {15, 15, 16, 16}, "Emphasize"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.szClicks);
        WiredPanel wired;
        for (const QString& strName : QString(row.szClicks).split(' ')) {
            ClickButton({&wired.panel, &wired.remark}, strName);
        }
        EXPECT_EQ(wired.codes, row.codes);
        EXPECT_EQ(SelectedIcons({&wired.panel}), row.szSelected);
    }
}

// The zoom buttons hold from press to release, by mouse or by touch, and
// never end in a click; a held focus button repeats its step and stop.
TEST(ControlPanelTest, HeldButtons) {
    WiredPanel wired;
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&wired.panel));
    static QTouchDevice* pDevice = QTest::createTouchDevice();
    for (const auto& zoom :
         {std::make_pair("zoomInButton", 4), std::make_pair("zoomOutButton", 5)}) {
        SCOPED_TRACE(zoom.first);
        auto* pZoom = wired.panel.findChild<QAbstractButton*>(zoom.first);
        QSignalSpy clicked(pZoom, &QAbstractButton::clicked);
        QTest::mousePress(pZoom, Qt::LeftButton);
        EXPECT_TRUE(pZoom->isDown());
        QTest::mouseRelease(pZoom, Qt::LeftButton);
        EXPECT_FALSE(pZoom->isDown());
        QTest::mousePress(pZoom, Qt::RightButton);
        EXPECT_FALSE(pZoom->isDown());
        // No mouse press may be made up from the touch: it would zoom twice.
        QTest::touchEvent(pZoom, pDevice).press(0, QPoint(30, 30), pZoom);
        QTest::touchEvent(pZoom, pDevice).release(0, QPoint(32, 31), pZoom);
        // A touch taken over by a gesture or a popup still ends the hold.
        QTouchEvent begin(QEvent::TouchBegin);
        QTouchEvent cancel(QEvent::TouchCancel);
        QCoreApplication::sendEvent(pZoom, &begin);
        QCoreApplication::sendEvent(pZoom, &cancel);
        QCoreApplication::processEvents();
        const int n = zoom.second;
        EXPECT_EQ(wired.Take(), (Codes{n, 19, n, 19, n, 19}));
        EXPECT_EQ(clicked.count(), 0);
    }
    for (const auto& focus :
         {std::make_pair("focusFarButton", 8), std::make_pair("focusNearButton", 9)}) {
        auto* pFocus = wired.panel.findChild<QAbstractButton*>(focus.first);
        QTest::mousePress(pFocus, Qt::LeftButton);
        EXPECT_TRUE(QTest::qWaitFor([&wired] { return wired.codes.size() >= 6; }, 5000));
        QTest::mouseRelease(pFocus, Qt::LeftButton);
        const Codes held = wired.Take();
        EXPECT_EQ(held.size() % 2, 0u) << focus.first;
        for (size_t i = 0; i < held.size(); ++i) {
            EXPECT_EQ(held[i], i % 2 ? 19 : focus.second) << focus.first << " " << i;
        }
    }
}

// The row keeps its buttons apart and centred, also when the margins cannot
// be equal.
TEST(ControlPanelTest, ButtonRowIsCentred) {
    ControlPanel panel;
    panel.show();
    const auto buttons = panel.findChildren<QAbstractButton*>();
    for (int nWidth : {panel.minimumWidth(), 1259}) {
        panel.resize(nWidth, 72);
        QRect row;
        int nOverlaps = 0;
        for (QAbstractButton* pButton : buttons) {
            row |= pButton->geometry();
            for (QAbstractButton* pOther : buttons) {
                nOverlaps +=
                    pOther != pButton && pOther->geometry().intersects(pButton->geometry());
            }
        }
        EXPECT_EQ(nOverlaps, 0) << nWidth;
        EXPECT_EQ(row.size(), QSize(panel.ButtonRowWidth(), 64)) << nWidth;
        EXPECT_LE(qAbs(row.left() - (nWidth - 1 - row.right())), 1) << nWidth;
    }
}

} // namespace
