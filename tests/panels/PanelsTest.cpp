// The panels wired as the main window wires them, as the user clicks them:
// the codes and pens that reach the view, the icons the buttons then show,
// and the layout of the control row and the tool column.

#include "panels/ControlPanel.h"
#include "panels/OptionPanel.h"
#include "panels/PanelLook.h"
#include "panels/RemarkView.h"
#include "panels/ToolView.h"

#include "app/SharedState.h"
#include "tests/support/DeviceTest.h"

#include <QAbstractButton>
#include <QApplication>
#include <QColorDialog>
#include <QFile>
#include <QRegion>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTouchDevice>

#include <utility>

namespace {

using PanelsTest = DeviceTest;
using Panels = std::initializer_list<QWidget*>;

// The buttons shown on, by icon name without "Sel.png", sorted and joined
// with spaces. Every button must show an existing icon, and a button with a
// text style black text exactly when it is on.
QString SelectedIcons(Panels panels) {
    QStringList selected;
    for (QWidget* pPanel : panels) {
        for (QAbstractButton* pButton : pPanel->findChildren<QAbstractButton*>()) {
            const QString strIcon = ButtonIconFile(pButton);
            const bool bOn = strIcon.endsWith("Sel.png");
            EXPECT_TRUE(strIcon.endsWith(".png") && QFile::exists(kIconFolder + strIcon))
                << qPrintable(pButton->objectName()) << " shows " << qPrintable(strIcon);
            if (!pButton->styleSheet().isEmpty()) {
                EXPECT_EQ(pButton->styleSheet(), bOn ? kSelectedTextStyle : kNormalTextStyle)
                    << qPrintable(strIcon);
            }
            if (bOn) {
                selected << strIcon.chopped(7);
            }
        }
    }
    selected.sort();
    return selected.join(' ');
}

// The three panels wired as the main window wires them, in its order: the
// tool column answers the effect codes with operations that come back to the
// control panel while the click still runs. A stand-in for the view records
// what reaches it: the codes, "type n" and "op n" of the tool column, and
// "<width index>/<colour as #aarrggbb>" for each pen (QSignalSpy cannot
// record a QColor& argument); it turns the shared angle while it handles the
// rotate code.
struct WiredPanels {
    WiredPanels() {
        CurrentRotateAngle = 0;
        QObject::connect(&remark, &RemarkView::RemarkTypeChanged,
                         [this](int n) { events << QString("type %1").arg(n); });
        QObject::connect(&remark, &RemarkView::RemarkOperationChanged,
                         [this](int n) { events << QString("op %1").arg(n); });
        QObject::connect(&option, &OptionPanel::OptionSettingChanged, [this](int n, QColor& cr) {
            pens << QString("%1/%2").arg(n).arg(cr.name(QColor::HexArgb));
        });
        QObject::connect(&control, &ControlPanel::OneControlHappend, &remark,
                         &RemarkView::OnOneControlHappend);
        QObject::connect(&control, &ControlPanel::OneControlHappend, [this](int nType) {
            codes << QString::number(nType);
            CurrentRotateAngle = nType == 10 ? (CurrentRotateAngle + 90) % 360 : CurrentRotateAngle;
        });
        QObject::connect(&remark, &RemarkView::RemarkOperationChanged, &option,
                         &OptionPanel::OnPenTypeChanged);
        QObject::connect(&remark, &RemarkView::RemarkOperationChanged, &control,
                         &ControlPanel::OnOptionChanged);
        // The control panel last, on top: touches go to the window under them.
        for (QWidget* pPanel : Panels({&remark, &option, &control})) {
            pPanel->show();
        }
    }
    // Clicks by name, with or without "Button"; "more=<colour>" answers the
    // colour dialog that "more" opens with that colour, or cancels it when
    // the name is no colour.
    void Click(const QString& strNames) {
        for (QString strName : strNames.split(' ', Qt::SkipEmptyParts)) {
            if (strName.startsWith("more=")) {
                const QColor crAnswer(strName.mid(5));
                QTimer::singleShot(0, [crAnswer] {
                    auto* pDialog = qobject_cast<QColorDialog*>(QApplication::activeModalWidget());
                    ASSERT_NE(pDialog, nullptr);
                    pDialog->setCurrentColor(crAnswer);
                    crAnswer.isValid() ? pDialog->accept() : pDialog->reject();
                });
                strName = "more";
            }
            const QRegularExpression name("^" + strName + "(Button)?$");
            QList<QAbstractButton*> buttons;
            for (QWidget* pPanel : Panels({&control, &remark, &option})) {
                buttons += pPanel->findChildren<QAbstractButton*>(name);
            }
            ASSERT_EQ(buttons.size(), 1) << qPrintable(strName);
            QTest::mouseClick(buttons[0], Qt::LeftButton);
        }
    }
    QString Take() { return std::exchange(codes, {}).join(' '); }
    QString Selected() { return SelectedIcons({&remark, &option}); }

    ControlPanel control;
    RemarkView remark;
    OptionPanel option;
    QStringList codes, events, pens;
};

// Clicks on both panels (tool names are the tool column's); the codes sent
// and the icons shown on the control panel afterwards.
TEST_F(PanelsTest, ControlCodesAndIconsOfClickSequences) {
    const struct {
        const char *szClicks, *szCodes, *szSelected;
    } rows[] = {
        // The receivers keep their own state: toggles but the lamp send one code.
        {"auto brighten darken led mirror frozen mosaic rotate rotate rotate",
         "1 6 7 2 11 17 18 10 10 10", "Frozen Lamp Mirror Mosaic Rotate"},
        {"led led mirror mirror frozen frozen mosaic mosaic rotate rotate rotate rotate",
         "2 3 11 11 17 17 18 18 10 10 10 10", ""},
        // Compare and title are never on together, nor emphasize and shade,
        // which replace each other without an "off" code and are not turned
        // off by their own operation coming back.
        {"negative blackWhite emphasize shade", "12 13 16 15", "Shade Title"},
        {"blackWhite negative shade emphasize", "13 12 15 16", "Emphasize Negative"},
        {"negative negative blackWhite blackWhite emphasize emphasize shade shade",
         "12 12 13 13 16 0 15 0", ""},
        // Choosing a tool, or clearing, ends them without a code.
        {"emphasize arrow emphasize shade clear shade", "16 16 15 15", "Shade"},
        {"shade arrow shade emphasize clear emphasize", "15 15 16 16", "Emphasize"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.szClicks);
        WiredPanels wired;
        wired.Click(row.szClicks);
        EXPECT_EQ(wired.Take(), row.szCodes);
        EXPECT_EQ(SelectedIcons({&wired.control}), row.szSelected);
    }
}

// The zoom buttons hold from press to release, by mouse or by touch, and
// never end in a click; a held focus button repeats its step and stop.
TEST_F(PanelsTest, HeldZoomAndFocusButtons) {
    WiredPanels wired;
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&wired.control));
    QTouchDevice* pDevice = QTest::createTouchDevice();
    for (const auto& [szZoom, szCode] : {std::pair{"zoomInButton", "4"}, {"zoomOutButton", "5"}}) {
        SCOPED_TRACE(szZoom);
        auto* pZoom = wired.control.findChild<QAbstractButton*>(szZoom);
        QSignalSpy clicked(pZoom, &QAbstractButton::clicked);
        QTest::mousePress(pZoom, Qt::LeftButton);
        EXPECT_TRUE(pZoom->isDown());
        QTest::mouseRelease(pZoom, Qt::LeftButton);
        EXPECT_FALSE(pZoom->isDown());
        QTest::mousePress(pZoom, Qt::RightButton);
        // No mouse press may be made up from the touch: it would zoom twice.
        QTest::touchEvent(pZoom, pDevice).press(0, QPoint(30, 30), pZoom);
        QTest::touchEvent(pZoom, pDevice).release(0, QPoint(32, 31), pZoom);
        // A touch taken over by a gesture or a popup still ends the hold.
        QTouchEvent begin(QEvent::TouchBegin);
        QTouchEvent cancel(QEvent::TouchCancel);
        QCoreApplication::sendEvent(pZoom, &begin);
        QCoreApplication::sendEvent(pZoom, &cancel);
        QCoreApplication::processEvents();
        EXPECT_EQ(wired.Take(), QString("%1 19 %1 19 %1 19").arg(szCode));
        EXPECT_EQ(clicked.count(), 0);
    }
    for (const auto& [szFocus, szStep] :
         {std::pair{"focusFarButton", "8 19 "}, {"focusNearButton", "9 19 "}}) {
        auto* pFocus = wired.control.findChild<QAbstractButton*>(szFocus);
        QTest::mousePress(pFocus, Qt::LeftButton);
        EXPECT_TRUE(QTest::qWaitFor([&wired] { return wired.codes.size() >= 6; }, 5000));
        QTest::mouseRelease(pFocus, Qt::LeftButton);
        // Step and stop, and again: "8 19 8 19 ..."
        EXPECT_EQ(QString(wired.Take() + " ").replace(szStep, ""), "") << szFocus;
    }
}

// The row keeps its buttons apart and centred, also when the margins cannot
// be equal.
TEST_F(PanelsTest, ControlRowIsCentred) {
    ControlPanel panel;
    panel.show();
    for (int nWidth : {panel.minimumWidth(), 1259}) {
        panel.resize(nWidth, 72);
        QRegion buttons; // each one clear of those before it
        for (QAbstractButton* pButton : panel.findChildren<QAbstractButton*>()) {
            EXPECT_FALSE(buttons.intersects(pButton->geometry())) << nWidth;
            buttons += pButton->geometry();
        }
        const QRect rcRow = buttons.boundingRect();
        EXPECT_EQ(rcRow.size(), QSize(panel.ButtonRowWidth(), 64)) << nWidth;
        EXPECT_LE(qAbs(rcRow.left() - (nWidth - 1 - rcRow.right())), 1) << nWidth;
    }
    ToolView column; // and the tool column its two panels
    EXPECT_LT(column.GetRemarkView()->geometry().bottom(),
              column.GetOptionPanel()->geometry().top());
    EXPECT_LT(column.GetOptionPanel()->geometry().bottom(), column.RequiredHeight());
}

TEST_F(PanelsTest, ToolsAnnounceKindAndOperationAndShowTheChosenOne) {
    WiredPanels panels;
    // The current tool again is announced again; clear is an action that
    // leaves the tool chosen.
    panels.Click("line text eraser round round clear");
    EXPECT_EQ(panels.events.join(", "), "type 1, op 1, type 2, op 8, type 0, op 9, type 1, op 7, "
                                        "type 1, op 7, op 10");
    EXPECT_EQ(panels.Selected(), "Line2 More Round");

    // Only the effect buttons of the control panel take the tool away.
    panels.events.clear();
    panels.Click("auto zoomIn rotate mirror frozen negative");
    EXPECT_EQ(panels.Selected(), "Line2 More Round");
    panels.Click("emphasize shade shade");
    EXPECT_EQ(panels.events.join(", "), "type 0, op 11, type 0, op 12, type 0, op 0");
    EXPECT_EQ(panels.Selected(), "Line2 More");
}

TEST_F(PanelsTest, PenOptionsFollowTheStoredPenOfEachTool) {
    const struct {
        const char *szStored, *szClicks, *szPens, *szSelected;
    } rows[] = {
        // Start-up shows the text tool's pen without announcing it.
        {"Text/Weight=3 Text/Color=0xFFFF0000", "", "", "Line4 Red"},
        // The default colour 0 is drawn black but is no table colour; tools
        // without a pen leave the options alone.
        {"", "line eraser clear", "1/#ff000000", "Erase Line2 More"},
        {"Triangle/Width=2 Triangle/Color=0xFF000000 Text/Weight=3 Text/Color=0xFFFF0000",
         "triangle text", "2/#ff000000 3/#ffff0000", "Line4 Red Text"},
        // A colour stored without alpha is still drawn opaque; a width index
        // outside the table is the default.
        {"Doodle/Width=4 Doodle/Color=0x00FFFF00", "doodle", "1/#ffffff00", "Doodle Line2 More"},
        // A first tool with exactly the start-up pen still shows it selected.
        {"Line/Width=0 Line/Color=0xFF0000FF", "line", "0/#ff0000ff", "Blue Line Line1"},
        {"", "sizeWidth3 sizeWidth3 red yellow black",
         "2/#ff0000ff 2/#ff0000ff 2/#ffff0000 2/#ffffff00 2/#ff000000", "Black Line3"},
        // A table colour from the dialog selects its own button, another one
        // "more"; a cancelled dialog keeps the pen and announces nothing.
        {"", "more=#0ac81e more=#ff0000 more=cancel sizeWidth2",
         "0/#ff0ac81e 0/#ffff0000 1/#ffff0000", "Line2 Red"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.szStored) + " | " + row.szClicks);
        ConfigSettings->clear();
        for (const QString& strValue : QString(row.szStored).split(' ', Qt::SkipEmptyParts)) {
            ConfigSettings->setValue(strValue.section('=', 0, 0),
                                     strValue.section('=', 1).toUInt(nullptr, 0));
        }
        WiredPanels panels;
        panels.Click(row.szClicks);
        EXPECT_EQ(panels.pens.join(' '), row.szPens);
        EXPECT_EQ(panels.Selected(), row.szSelected);
    }
}

} // namespace
