// The control panel as the user clicks it: the codes that reach the view and
// the icons the buttons then show.

#include "panels/ControlPanel.h"

#include "app/SharedState.h"
#include "panels/RemarkView.h"
#include "tests/panels/PanelTestHelpers.h"

#include <QTest>

#include <gtest/gtest.h>

namespace {

class ControlPanelTest : public ::testing::Test {
protected:
    void SetUp() override {
        CurrentRotateAngle = 0;
        QObject::connect(&panel, &ControlPanel::OneControlHappend,
                         [this](int nType) { codes.push_back(nType); });
        panel.show();
    }

    void Click(const char* szName) {
        QAbstractButton* pButton = ButtonOf(&panel, szName);
        ASSERT_NE(pButton, nullptr) << szName;
        QTest::mouseClick(pButton, Qt::LeftButton);
    }

    // Codes emitted since the last call.
    std::vector<int> Take() { return std::exchange(codes, {}); }
    QString Icon(const char* szName) { return IconOf(&panel, szName); }

    ControlPanel panel;
    std::vector<int> codes;
};

using Codes = std::vector<int>;

TEST_F(ControlPanelTest, EveryButtonEmitsItsCode) {
    const std::pair<const char*, Codes> expected[] = {
        {"autoButton", {1}},          {"brightenButton", {6}},    {"darkenButton", {7}},
        {"rotateButton", {10}},       {"mirrorButton", {11}},     {"negativeButton", {12}},
        {"blackWhiteButton", {13}},   {"frozenButton", {17}},     {"mosaicButton", {18}},
        {"zoomInButton", {4, 19}},    {"zoomOutButton", {5, 19}}, {"focusFarButton", {8, 19}},
        {"focusNearButton", {9, 19}}, {"emphasizeButton", {16}},  {"shadeButton", {15}},
    };
    for (const auto& entry : expected) {
        Click(entry.first);
        EXPECT_EQ(Take(), entry.second) << entry.first;
    }
}

TEST_F(ControlPanelTest, TogglesAlternateTheirIcons) {
    Click("ledButton");
    Click("ledButton");
    Click("ledButton");
    EXPECT_EQ(Take(), (Codes{2, 3, 2}));
    EXPECT_EQ(Icon("ledButton"), "LampSel.png");

    const std::pair<const char*, const char*> toggles[] = {
        {"mirrorButton", "Mirror"}, {"frozenButton", "Frozen"}, {"mosaicButton", "Mosaic"}};
    for (const auto& toggle : toggles) {
        EXPECT_EQ(Icon(toggle.first), QString(toggle.second) + ".png");
        Click(toggle.first);
        EXPECT_EQ(Icon(toggle.first), QString(toggle.second) + "Sel.png");
        Click(toggle.first);
        EXPECT_EQ(Icon(toggle.first), QString(toggle.second) + ".png");
    }
    // The receivers keep their own state: on and off send the same code.
    EXPECT_EQ(Take(), (Codes{11, 11, 17, 17, 18, 18}));

    // Actions without a state never change their icon.
    Click("autoButton");
    Click("brightenButton");
    EXPECT_EQ(Icon("autoButton"), "Auto.png");
    EXPECT_EQ(Icon("brightenButton"), "Brighten.png");
}

TEST_F(ControlPanelTest, CompareAndTitleAreNeverOnTogether) {
    Click("negativeButton");
    EXPECT_EQ(Icon("negativeButton"), "NegativeSel.png");

    Click("blackWhiteButton");
    EXPECT_EQ(Icon("negativeButton"), "Negative.png");
    EXPECT_EQ(Icon("blackWhiteButton"), "TitleSel.png");

    Click("negativeButton");
    EXPECT_EQ(Icon("negativeButton"), "NegativeSel.png");
    EXPECT_EQ(Icon("blackWhiteButton"), "Title.png");

    Click("negativeButton");
    EXPECT_EQ(Icon("negativeButton"), "Negative.png");
    EXPECT_EQ(Icon("blackWhiteButton"), "Title.png");
    // One code per click, also when a click switches the other one off.
    EXPECT_EQ(Take(), (Codes{12, 13, 12, 12}));
}

TEST_F(ControlPanelTest, EmphasizeAndShadeReplaceEachOther) {
    Click("emphasizeButton");
    EXPECT_EQ(Icon("emphasizeButton"), "EmphasizeSel.png");

    // Shade takes over: no "off" code for the emphasize that went away.
    Click("shadeButton");
    EXPECT_EQ(Take(), (Codes{16, 15}));
    EXPECT_EQ(Icon("emphasizeButton"), "Emphasize.png");
    EXPECT_EQ(Icon("shadeButton"), "ShadeSel.png");

    Click("emphasizeButton");
    EXPECT_EQ(Take(), (Codes{16}));
    EXPECT_EQ(Icon("shadeButton"), "Shade.png");

    Click("emphasizeButton");
    EXPECT_EQ(Take(), (Codes{0}));
    EXPECT_EQ(Icon("emphasizeButton"), "Emphasize.png");

    Click("shadeButton");
    Click("shadeButton");
    EXPECT_EQ(Take(), (Codes{15, 0}));
    EXPECT_EQ(Icon("shadeButton"), "Shade.png");
}

// Wired as in the main window: the tool panel answers the control codes with
// remark operations that come straight back to OnOptionChanged while the
// panel's own slot is still running.
TEST_F(ControlPanelTest, EmphasizeRoundTripThroughTheToolPanel) {
    RemarkView remarkView;
    QObject::connect(&panel, &ControlPanel::OneControlHappend, &remarkView,
                     &RemarkView::OnOneControlHappend);
    QObject::connect(&remarkView, &RemarkView::RemarkOperationChanged, &panel,
                     &ControlPanel::OnOptionChanged);

    for (int i = 0; i < 2; ++i) {
        Click("emphasizeButton");
        EXPECT_EQ(Icon("emphasizeButton"), "EmphasizeSel.png");
        Click("emphasizeButton");
        EXPECT_EQ(Icon("emphasizeButton"), "Emphasize.png");
    }
    Click("shadeButton");
    EXPECT_EQ(Icon("shadeButton"), "ShadeSel.png");
    Click("emphasizeButton");
    EXPECT_EQ(Icon("shadeButton"), "Shade.png");
    EXPECT_EQ(Icon("emphasizeButton"), "EmphasizeSel.png");
    EXPECT_EQ(Take(), (Codes{16, 0, 16, 0, 15, 16}));

    // Picking an annotation tool ends the emphasize silently.
    QTest::mouseClick(ButtonOf(&remarkView, "lineButton"), Qt::LeftButton);
    EXPECT_EQ(Icon("emphasizeButton"), "Emphasize.png");
    EXPECT_TRUE(Take().empty());
    Click("emphasizeButton");
    EXPECT_EQ(Take(), (Codes{16}));
}

TEST_F(ControlPanelTest, OptionChangeTurnsOffOnlyWhatIsNoLongerCurrent) {
    Click("emphasizeButton");
    panel.OnOptionChanged(11);
    EXPECT_EQ(Icon("emphasizeButton"), "EmphasizeSel.png");
    panel.OnOptionChanged(3);
    EXPECT_EQ(Icon("emphasizeButton"), "Emphasize.png");

    Click("shadeButton");
    panel.OnOptionChanged(12);
    EXPECT_EQ(Icon("shadeButton"), "ShadeSel.png");
    // The clear operation ends both.
    panel.OnOptionChanged(10);
    EXPECT_EQ(Icon("shadeButton"), "Shade.png");
    EXPECT_EQ(Take(), (Codes{16, 15}));

    // Emphasize is off again, so the next click switches it on.
    Click("emphasizeButton");
    EXPECT_EQ(Take(), (Codes{16}));
}

TEST_F(ControlPanelTest, RotateIconFollowsTheAngleTheViewSets) {
    // Stands in for the view, which updates the angle while it handles 10.
    QObject::connect(&panel, &ControlPanel::OneControlHappend, [](int nType) {
        if (nType == 10) {
            CurrentRotateAngle = (CurrentRotateAngle + 90) % 360;
        }
    });
    QStringList icons;
    for (int i = 0; i < 4; ++i) {
        Click("rotateButton");
        icons << Icon("rotateButton");
    }
    EXPECT_EQ(icons,
              (QStringList{"RotateSel.png", "RotateSel.png", "RotateSel.png", "Rotate.png"}));
}

TEST_F(ControlPanelTest, HeldButtons) {
    // A held zoom button sends its code once and the stop on release.
    QAbstractButton* pZoom = ButtonOf(&panel, "zoomInButton");
    QTest::mousePress(pZoom, Qt::LeftButton);
    QTest::qWait(0);
    EXPECT_EQ(Take(), (Codes{4}));
    QTest::mouseRelease(pZoom, Qt::LeftButton);
    EXPECT_EQ(Take(), (Codes{19}));

    // A held focus button repeats its step and stop pair.
    QAbstractButton* pFocus = ButtonOf(&panel, "focusNearButton");
    QTest::mousePress(pFocus, Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([this] { return codes.size() >= 6; }, 5000));
    QTest::mouseRelease(pFocus, Qt::LeftButton);
    const Codes held = Take();
    ASSERT_GE(held.size(), 6u);
    ASSERT_EQ(held.size() % 2, 0u);
    for (size_t i = 0; i < held.size(); ++i) {
        EXPECT_EQ(held[i], i % 2 == 0 ? 9 : 19) << "at " << i;
    }
}

TEST_F(ControlPanelTest, RowWidthAndCentring) {
    EXPECT_EQ(panel.ButtonRowWidth(), 1054);
    EXPECT_EQ(panel.minimumSize(), QSize(1058, 72));
    EXPECT_EQ(panel.maximumHeight(), 72);

    const char* displayOrder[] = {
        "autoButton",     "zoomInButton",    "zoomOutButton",   "ledButton",
        "brightenButton", "darkenButton",    "focusNearButton", "focusFarButton",
        "rotateButton",   "mirrorButton",    "frozenButton",    "negativeButton",
        "shadeButton",    "emphasizeButton", "mosaicButton",    "blackWhiteButton"};

    panel.resize(1058, 72);
    EXPECT_EQ(ButtonOf(&panel, "autoButton")->pos(), QPoint(2, 2));

    panel.resize(1259, 72);
    int x = (1259 - 16 * 66 + 2) / 2;
    for (const char* szName : displayOrder) {
        EXPECT_EQ(ButtonOf(&panel, szName)->geometry(), QRect(x, 2, 64, 64)) << szName;
        x += 66;
    }
}

} // namespace
