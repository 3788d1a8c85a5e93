// The annotation tool column: tool buttons, the pen options that follow the
// chosen tool (read from a private settings file) and the column's layout.

#include "panels/OptionPanel.h"
#include "panels/RemarkView.h"
#include "panels/ToolView.h"

#include "app/Configuration.h"
#include "tests/panels/PanelTestHelpers.h"

#include <QApplication>
#include <QColorDialog>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

const QRgb kOpaqueBlack = 0xFF000000u;
const QRgb kBlue = 0xFF0000FFu;
const QRgb kRed = 0xFFFF0000u;
const QRgb kYellow = 0xFFFFFF00u;

using Pens = std::vector<std::pair<int, QRgb>>;

// Every test starts from an empty configuration file in the private home.
class ToolPanelsTest : public ::testing::Test {
protected:
    void SetUp() override {
        OpenConfiguration();
        ASSERT_NE(ConfigSettings, nullptr);
        ConfigSettings->clear();
    }
    void TearDown() override { CloseConfiguration(); }
};

// The two panels wired as the main window wires them.
class WiredPanels {
public:
    WiredPanels() {
        QObject::connect(&remark, &RemarkView::RemarkTypeChanged,
                         [this](int n) { events.push_back(QString("type %1").arg(n)); });
        QObject::connect(&remark, &RemarkView::RemarkOperationChanged,
                         [this](int n) { events.push_back(QString("op %1").arg(n)); });
        QObject::connect(&remark, &RemarkView::RemarkOperationChanged, &option,
                         &OptionPanel::OnPenTypeChanged);
        QObject::connect(&option, &OptionPanel::OptionSettingChanged, &option,
                         [this](int nWidth, QColor& crColor) { pen.Record(nWidth, crColor); });
        remark.show();
        option.show();
    }

    void Click(QWidget* pPanel, const char* szName) {
        QTest::mouseClick(ButtonOf(pPanel, szName), Qt::LeftButton);
    }
    QString Style(QWidget* pPanel, const char* szName) {
        return ButtonOf(pPanel, szName)->styleSheet();
    }

    RemarkView remark;
    OptionPanel option;
    QStringList events;
    PenRecorder pen;
};

TEST_F(ToolPanelsTest, ToolClicksAnnounceKindThenOperationAndMoveTheSelection) {
    WiredPanels panels;
    RemarkView& remark = panels.remark;

    panels.Click(&remark, "lineButton");
    panels.Click(&remark, "textButton");
    panels.Click(&remark, "eraserButton");
    panels.Click(&remark, "roundButton");
    EXPECT_EQ(panels.events, (QStringList{"type 1", "op 1", "type 2", "op 8", "type 0", "op 9",
                                          "type 1", "op 7"}));
    EXPECT_EQ(IconOf(&remark, "roundButton"), "RoundSel.png");
    EXPECT_EQ(panels.Style(&remark, "roundButton"), kSelectedTextStyle);
    for (const char* szName : {"lineButton", "textButton", "eraserButton"}) {
        EXPECT_EQ(panels.Style(&remark, szName), kNormalTextStyle) << szName;
        EXPECT_FALSE(IconOf(&remark, szName).endsWith("Sel.png")) << szName;
    }

    // The current tool again: announced again, nothing else changes.
    panels.events.clear();
    panels.Click(&remark, "roundButton");
    EXPECT_EQ(panels.events, (QStringList{"type 1", "op 7"}));
    EXPECT_EQ(IconOf(&remark, "roundButton"), "RoundSel.png");

    // Clear is an action: the chosen tool stays chosen.
    panels.events.clear();
    panels.Click(&remark, "clearButton");
    panels.Click(&remark, "clearButton");
    EXPECT_EQ(panels.events, (QStringList{"op 10", "op 10"}));
    EXPECT_EQ(IconOf(&remark, "roundButton"), "RoundSel.png");
    EXPECT_EQ(IconOf(&remark, "clearButton"), "Clear.png");
}

TEST_F(ToolPanelsTest, EmphasizeAndShadeCodesTakeTheToolAway) {
    WiredPanels panels;
    RemarkView& remark = panels.remark;
    panels.Click(&remark, "arrowButton");
    panels.events.clear();

    for (int nIgnored : {1, 4, 10, 14, 19, 42}) {
        remark.OnOneControlHappend(nIgnored);
    }
    EXPECT_TRUE(panels.events.isEmpty());
    EXPECT_EQ(IconOf(&remark, "arrowButton"), "ArrowSel.png");

    remark.OnOneControlHappend(16);
    EXPECT_EQ(IconOf(&remark, "arrowButton"), "Arrow.png");
    EXPECT_EQ(panels.Style(&remark, "arrowButton"), kNormalTextStyle);
    remark.OnOneControlHappend(15);
    remark.OnOneControlHappend(0);
    EXPECT_EQ(panels.events, (QStringList{"type 0", "op 11", "type 0", "op 12", "type 0", "op 0"}));

    // Choosing the arrow again selects it again.
    panels.Click(&remark, "arrowButton");
    EXPECT_EQ(IconOf(&remark, "arrowButton"), "ArrowSel.png");
}

TEST_F(ToolPanelsTest, FreshSettingsShowTheTextPenThenLoadEachToolsPen) {
    WiredPanels panels;
    OptionPanel& option = panels.option;
    // Start-up shows the text tool's pen without announcing it.
    EXPECT_EQ(IconOf(&option, "sizeWidth1"), "Line1Sel.png");
    EXPECT_EQ(IconOf(&option, "blueButton"), "BlueSel.png");
    EXPECT_TRUE(panels.pen.pens.empty());

    panels.Click(&panels.remark, "lineButton");
    EXPECT_EQ(panels.pen.pens, (Pens{{1, kOpaqueBlack}}));
    EXPECT_EQ(panels.pen.alphas, (std::vector<int>{255}));
    EXPECT_EQ(IconOf(&option, "sizeWidth1"), "Line1.png");
    EXPECT_EQ(IconOf(&option, "sizeWidth2"), "Line2Sel.png");
    EXPECT_EQ(IconOf(&option, "blueButton"), "Blue.png");
    // The default colour 0 is drawn black but is no table colour.
    EXPECT_EQ(IconOf(&option, "moreButton"), "MoreSel.png");
    EXPECT_EQ(panels.Style(&option, "moreButton"), kSelectedTextStyle);
    EXPECT_EQ(IconOf(&option, "blackButton"), "Black.png");

    // Tools without a pen leave the options alone.
    panels.Click(&panels.remark, "eraserButton");
    panels.Click(&panels.remark, "clearButton");
    EXPECT_EQ(panels.pen.pens.size(), 1u);
}

TEST_F(ToolPanelsTest, StoredPensAreShownAndAnnounced) {
    ConfigSettings->setValue("Text/Weight", 3);
    ConfigSettings->setValue("Text/Color", kRed);
    ConfigSettings->setValue("Triangle/Width", 2);
    ConfigSettings->setValue("Triangle/Color", kOpaqueBlack);
    // A colour stored with alpha 0 is still drawn opaque.
    ConfigSettings->setValue("Doodle/Width", 0);
    ConfigSettings->setValue("Doodle/Color", 0x00FFFF00u);
    WiredPanels panels;
    OptionPanel& option = panels.option;
    EXPECT_EQ(IconOf(&option, "sizeWidth4"), "Line4Sel.png");
    EXPECT_EQ(IconOf(&option, "redButton"), "RedSel.png");

    panels.Click(&panels.remark, "triangleButton");
    EXPECT_EQ(IconOf(&option, "sizeWidth3"), "Line3Sel.png");
    EXPECT_EQ(IconOf(&option, "sizeWidth4"), "Line4.png");
    EXPECT_EQ(IconOf(&option, "blackButton"), "BlackSel.png");
    EXPECT_EQ(IconOf(&option, "redButton"), "Red.png");

    panels.Click(&panels.remark, "textButton");
    panels.Click(&panels.remark, "doodleButton");
    EXPECT_EQ(panels.pen.pens, (Pens{{2, kOpaqueBlack}, {3, kRed}, {0, kYellow}}));
    EXPECT_EQ(panels.pen.alphas, (std::vector<int>{255, 255, 255}));
    EXPECT_EQ(IconOf(&option, "moreButton"), "MoreSel.png");
    EXPECT_EQ(IconOf(&option, "yellowButton"), "Yellow.png");
}

// The first tool may load exactly the pen shown at start; its buttons must
// still show as selected.
TEST_F(ToolPanelsTest, FirstToolWithTheStartUpPenStaysSelected) {
    ConfigSettings->setValue("Line/Width", 0);
    ConfigSettings->setValue("Line/Color", kBlue);
    WiredPanels panels;
    panels.Click(&panels.remark, "lineButton");
    EXPECT_EQ(panels.pen.pens, (Pens{{0, kBlue}}));
    EXPECT_EQ(IconOf(&panels.option, "sizeWidth1"), "Line1Sel.png");
    EXPECT_EQ(IconOf(&panels.option, "blueButton"), "BlueSel.png");
}

TEST_F(ToolPanelsTest, WidthAndColourButtons) {
    WiredPanels panels;
    OptionPanel& option = panels.option;

    panels.Click(&option, "sizeWidth3");
    panels.Click(&option, "sizeWidth3");
    panels.Click(&option, "redButton");
    panels.Click(&option, "yellowButton");
    panels.Click(&option, "blackButton");
    EXPECT_EQ(panels.pen.pens,
              (Pens{{2, kBlue}, {2, kBlue}, {2, kRed}, {2, kYellow}, {2, kOpaqueBlack}}));
    EXPECT_EQ(IconOf(&option, "sizeWidth1"), "Line1.png");
    EXPECT_EQ(IconOf(&option, "sizeWidth3"), "Line3Sel.png");
    for (const char* szName : {"blueButton", "redButton", "yellowButton", "moreButton"}) {
        EXPECT_FALSE(IconOf(&option, szName).endsWith("Sel.png")) << szName;
    }
    EXPECT_EQ(IconOf(&option, "blackButton"), "BlackSel.png");
}

// Answers the next modal colour dialog: accepts it with a colour, or
// cancels it when crColor is invalid.
void AnswerColorDialog(const QColor& crColor) {
    QTimer::singleShot(0, [crColor] {
        auto* pDialog = qobject_cast<QColorDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(pDialog, nullptr);
        if (crColor.isValid()) {
            pDialog->setCurrentColor(crColor);
            pDialog->accept();
        } else {
            pDialog->reject();
        }
    });
}

TEST_F(ToolPanelsTest, MoreColoursFromTheDialog) {
    WiredPanels panels;
    OptionPanel& option = panels.option;

    AnswerColorDialog(QColor(10, 200, 30));
    panels.Click(&option, "moreButton");
    EXPECT_EQ(IconOf(&option, "moreButton"), "MoreSel.png");
    EXPECT_EQ(IconOf(&option, "blueButton"), "Blue.png");

    // A table colour picked in the dialog selects its own button.
    AnswerColorDialog(QColor(255, 0, 0));
    panels.Click(&option, "moreButton");
    EXPECT_EQ(IconOf(&option, "redButton"), "RedSel.png");
    EXPECT_EQ(IconOf(&option, "moreButton"), "More.png");
    EXPECT_EQ(panels.pen.pens, (Pens{{0, qRgb(10, 200, 30)}, {0, kRed}}));

    // Cancel keeps the pen and announces nothing.
    AnswerColorDialog(QColor());
    panels.Click(&option, "moreButton");
    EXPECT_EQ(panels.pen.pens.size(), 2u);
    EXPECT_EQ(IconOf(&option, "redButton"), "RedSel.png");
    panels.Click(&option, "sizeWidth2");
    EXPECT_EQ(panels.pen.pens.back(), std::make_pair(1, kRed));
}

TEST_F(ToolPanelsTest, ToolColumnLayout) {
    ToolView view;
    EXPECT_EQ(view.RequiredHeight(), 552);
    EXPECT_EQ(view.minimumWidth(), 200);
    EXPECT_EQ(view.maximumWidth(), 200);
    EXPECT_EQ(view.GetRemarkView()->geometry(), QRect(16, 32, 184, 310));
    EXPECT_EQ(view.GetOptionPanel()->geometry(), QRect(16, 374, 184, 174));
    EXPECT_EQ(view.findChild<QWidget*>("optionGroup")->geometry(), QRect(4, 346, 192, 24));
    EXPECT_TRUE(view.GetRemarkView()->isVisibleTo(&view));
    EXPECT_TRUE(view.GetOptionPanel()->isVisibleTo(&view));
}

} // namespace
