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
#include <QTimer>

namespace {

// A fresh private configuration file holding strStored ("Group/Key=value
// ..."), and the two panels wired as the main window wires them, recording
// what they announce: "<width index>/<colour as #aarrggbb>" for each pen
// (QSignalSpy cannot record a QColor& argument).
struct WiredPanels {
    struct Settings {
        explicit Settings(const QString& strStored) {
            OpenConfiguration();
            ConfigSettings->clear();
            for (const QString& strValue : strStored.split(' ', Qt::SkipEmptyParts)) {
                ConfigSettings->setValue(strValue.section('=', 0, 0),
                                         strValue.section('=', 1).toUInt(nullptr, 0));
            }
        }
        ~Settings() { CloseConfiguration(); }
    } settings;

    explicit WiredPanels(const QString& strStored = QString()) : settings(strStored) {
        QObject::connect(&remark, &RemarkView::RemarkTypeChanged,
                         [this](int n) { events << QString("type %1").arg(n); });
        QObject::connect(&remark, &RemarkView::RemarkOperationChanged,
                         [this](int n) { events << QString("op %1").arg(n); });
        QObject::connect(&remark, &RemarkView::RemarkOperationChanged, &option,
                         &OptionPanel::OnPenTypeChanged);
        QObject::connect(&option, &OptionPanel::OptionSettingChanged, [this](int n, QColor& cr) {
            pens << QString("%1/%2").arg(n).arg(cr.name(QColor::HexArgb));
        });
        remark.show();
        option.show();
    }
    // Clicks by name; "more=<colour>" answers the colour dialog that "more"
    // opens with that colour, or cancels it when the name is no colour.
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
            ClickButton({&remark, &option}, strName);
        }
    }
    QString Selected() { return SelectedIcons({&remark, &option}); }

    RemarkView remark;
    OptionPanel option;
    QStringList events;
    QStringList pens;
};

TEST(ToolPanelsTest, ToolsAnnounceKindAndOperationAndShowTheChosenOne) {
    WiredPanels panels;
    // The current tool again is announced again; clear is an action that
    // leaves the tool chosen.
    panels.Click("line text eraser round round clear");
    EXPECT_EQ(panels.events, (QStringList{"type 1", "op 1", "type 2", "op 8", "type 0", "op 9",
                                          "type 1", "op 7", "type 1", "op 7", "op 10"}));
    EXPECT_EQ(panels.Selected(), "Line2 More Round");

    // Only the effect codes of the control panel take the tool away.
    panels.events.clear();
    for (int nType : {1, 4, 10, 14, 19, 16}) {
        panels.remark.OnOneControlHappend(nType);
        EXPECT_EQ(panels.Selected(), nType == 16 ? "Line2 More" : "Line2 More Round");
    }
    panels.remark.OnOneControlHappend(15);
    panels.remark.OnOneControlHappend(0);
    EXPECT_EQ(panels.events, (QStringList{"type 0", "op 11", "type 0", "op 12", "type 0", "op 0"}));
    panels.Click("round");
    EXPECT_EQ(panels.Selected(), "Line2 More Round");
}

TEST(ToolPanelsTest, PenOptionsFollowTheStoredPenOfEachTool) {
    const struct {
        const char* szStored;
        const char* szClicks;
        const char* szPens;
        const char* szSelected;
    } rows[] = {
        // Start-up shows the text tool's pen without announcing it.
        {"", "", "", "Blue Line1"},
        {"Text/Weight=3 Text/Color=0xFFFF0000", "", "", "Line4 Red"},
        // The default colour 0 is drawn black but is no table colour; tools
        // without a pen leave the options alone.
        {"", "line eraser clear", "1/#ff000000", "Erase Line2 More"},
        {"Triangle/Width=2 Triangle/Color=0xFF000000 Text/Weight=3 Text/Color=0xFFFF0000",
         "triangle text", "2/#ff000000 3/#ffff0000", "Line4 Red Text"},
        // A colour stored without alpha is still drawn opaque.
        {"Doodle/Width=0 Doodle/Color=0x00FFFF00", "doodle", "0/#ffffff00", "Doodle Line1 More"},
        // A first tool with exactly the start-up pen still shows it selected.
        {"Line/Width=0 Line/Color=0xFF0000FF", "line", "0/#ff0000ff", "Blue Line Line1"},
        {"", "sizeWidth3 sizeWidth3 red yellow black",
         "2/#ff0000ff 2/#ff0000ff 2/#ffff0000 2/#ffffff00 2/#ff000000", "Black Line3"},
        // A table colour from the dialog selects its own button; a cancelled
        // dialog keeps the pen and announces nothing.
        {"", "more=#0ac81e", "0/#ff0ac81e", "Line1 More"},
        {"", "more=#ff0000 more=cancel sizeWidth2", "0/#ffff0000 1/#ffff0000", "Line2 Red"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.szStored) + " | " + row.szClicks);
        WiredPanels panels(row.szStored);
        panels.Click(row.szClicks);
        EXPECT_EQ(panels.pens.join(' '), row.szPens);
        EXPECT_EQ(panels.Selected(), row.szSelected);
    }
}

TEST(ToolPanelsTest, ToolColumnHoldsBothPanelsApart) {
    ToolView view;
    EXPECT_LT(view.GetRemarkView()->geometry().bottom(), view.GetOptionPanel()->geometry().top());
    EXPECT_LT(view.GetOptionPanel()->geometry().bottom(), view.RequiredHeight());
}

} // namespace
