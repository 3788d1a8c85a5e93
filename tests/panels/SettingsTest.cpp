// The settings panel's buttons and the settings dialog, against a private
// configuration and a device manager over fake cameras.

#include "panels/SettingDlg.h"
#include "panels/SettingPanel.h"

#include "app/SharedState.h"
#include "panels/PanelLook.h"
#include "tests/support/DeviceTest.h"
#include "tests/support/TestEnvironment.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QLineEdit>
#include <QTest>

namespace {

class SettingsTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        MakeDevices({"A", "B"});
    }
    void TearDown() override {
        NetworkCameraConfig = NetworkCameraSettings();
        DeviceTest::TearDown();
    }
    // The five keys of "Setting" as the file holds them.
    static QString Stored() {
        QStringList values;
        for (const char* szKey :
             {"SavePath", "FPS", "SaveResolution", "RecordResolution", "Device"}) {
            values << ConfigSettings->value(QString("Setting/") + szKey, "-").toString();
        }
        return values.join('|');
    }
    static void Click(QWidget& parent, const char* szName) {
        QTest::mouseClick(parent.findChild<QAbstractButton*>(szName), Qt::LeftButton);
    }
};

// Indexes the lists cannot show: the key's default for frame rate and photo
// size; a recording size outside the list (the camera's own size) shows
// nothing and is written back as it was.
TEST_F(SettingsTest, ConfirmWritesTheFiveKeysAndReportsACameraChange) {
    WriteConfigValue("Setting/FPS", 7);
    WriteConfigValue("Setting/SaveResolution", 4);
    WriteConfigValue("Setting/RecordResolution", 5);
    WriteConfigValue("Setting/Device", "gone");
    {
        SettingDlg dialog;
        EXPECT_EQ(dialog.findChild<QComboBox*>("fpsCB")->currentIndex(), 2);
        EXPECT_EQ(dialog.findChild<QComboBox*>("saveCB")->currentIndex(), 1);
        EXPECT_EQ(dialog.findChild<QComboBox*>("recordCB")->currentIndex(), -1);
        EXPECT_EQ(dialog.findChild<QComboBox*>("deviceCB")->currentIndex(), 0);
        dialog.findChild<QComboBox*>("fpsCB")->setCurrentIndex(0);
        Click(dialog, "okButton");
        EXPECT_FALSE(dialog.Changed());
        EXPECT_EQ(Stored(), ConfigFolder() + "/|0|1|5|A");
    }
    {
        SettingDlg dialog;
        EXPECT_EQ(dialog.findChild<QComboBox*>("fpsCB")->currentIndex(), 0);
        dialog.findChild<QComboBox*>("deviceCB")->setCurrentIndex(1);
        dialog.findChild<QComboBox*>("recordCB")->setCurrentIndex(0);
        Click(dialog, "okButton");
        EXPECT_TRUE(dialog.Changed());
        EXPECT_EQ(dialog.DeviceIndex(), 1);
        EXPECT_EQ(Stored(), ConfigFolder() + "/|0|1|0|B");
    }
    DeviceManager = nullptr; // no devices: an empty list, an empty name
    SettingDlg dialog;
    EXPECT_FALSE(dialog.findChild<QComboBox*>("deviceCB")->isEnabled());
    Click(dialog, "okButton");
    EXPECT_FALSE(dialog.Changed());
    EXPECT_EQ(Stored(), ConfigFolder() + "/|0|1|0|");
}

// Ticking the box is a change; the address and ports count only while it
// is ticked, and unticking keeps them.
TEST_F(SettingsTest, NetworkCameraFieldsCountAsAChangeOnlyWhileEnabled) {
    const struct {
        bool bTick;
        const char* szAddress;
        bool bChanged;
        const char* szStoredAddress;
    } rows[] = {{false, "10.0.0.1", false, ""},
                {true, "10.0.0.2", true, "10.0.0.2"},
                {true, "10.0.0.2", false, "10.0.0.2"},
                {true, "10.0.0.3", true, "10.0.0.3"},
                {false, "10.0.0.4", true, "10.0.0.3"}};
    for (const auto& row : rows) {
        SettingDlg dialog;
        auto* pAddress = dialog.findChild<QLineEdit*>("addrEdit");
        EXPECT_EQ(pAddress->isEnabled(), NetworkCameraConfig.bEnabled);
        dialog.findChild<QCheckBox*>("networkCamera")->setChecked(row.bTick);
        EXPECT_EQ(pAddress->isEnabled(), row.bTick);
        pAddress->setText(row.szAddress);
        dialog.findChild<QLineEdit*>("videoPortEdit")->setText("x5544");
        Click(dialog, "okButton");
        SCOPED_TRACE(row.szAddress);
        EXPECT_EQ(dialog.Changed(), row.bChanged);
        EXPECT_EQ(NetworkCameraConfig.bEnabled, row.bTick);
        EXPECT_EQ(NetworkCameraConfig.strAddress, row.szStoredAddress);
        EXPECT_EQ(NetworkCameraConfig.nVideoPort, 0u);
    }
}

class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void Open(const QUrl& url) { urls << url; }
};

// The folder button shows the storage folder, making its last level. The
// view answers the record code by starting or stopping; the button shows the
// time recorded beside the "RecordSel" icon, and goes back when the
// recording ends, also when it ends without a click.
TEST_F(SettingsTest, PanelButtonsSendTheirCodesAndTheRecordButtonFollowsTheRecording) {
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("file", &catcher, "Open");
    const QString strRoot = TestHomeFolder() + "/elsewhere";
    WriteConfigValue("Setting/SavePath", strRoot);
    SettingPanel panel;
    std::vector<int> sent;
    QObject::connect(&panel, &SettingPanel::OneControlHappend, [&sent](int nCode) {
        sent.push_back(nCode);
        IsRecording = IsRecording != (nCode == 1);
    });
    auto* pRecord = panel.findChild<QAbstractButton*>("recordButton");
    const QString strIdle = pRecord->text();
    for (const char* szName : {"photoButton", "infoButton", "setButton", "recordButton"}) {
        Click(panel, szName);
    }
    QDesktopServices::unsetUrlHandler("file");
    EXPECT_EQ(catcher.urls, QList<QUrl>{QUrl::fromLocalFile(strRoot)});
    EXPECT_TRUE(QDir(strRoot).exists());
    EXPECT_EQ(sent, (std::vector<int>{0, 2, 1}));
    EXPECT_EQ(ButtonIconFile(pRecord), "RecordSel.png");
    EXPECT_EQ(pRecord->text(), "00:00");
    Click(panel, "recordButton");
    EXPECT_EQ(ButtonIconFile(pRecord), "Record.png");
    EXPECT_EQ(pRecord->text(), strIdle);

    Click(panel, "recordButton");
    IsRecording = false; // a write error ended it
    EXPECT_TRUE(WaitFor([&] { return ButtonIconFile(pRecord) == "Record.png"; }, 5000));
    EXPECT_EQ(pRecord->text(), strIdle);
}

} // namespace

#include "SettingsTest.moc"
