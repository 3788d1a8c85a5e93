// The settings panel's buttons and the settings dialog, against a private
// configuration and a device manager over fake cameras.

#include "panels/SettingDlg.h"
#include "panels/SettingPanel.h"

#include "app/Configuration.h"
#include "app/SharedState.h"
#include "panels/PanelLook.h"
#include "tests/support/FakeDeviceSource.h"
#include "tests/support/TestEnvironment.h"
#include "view/DeviceMgr.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTest>

#include <gtest/gtest.h>

namespace {

void Click(QWidget& panel, const QString& strName) {
    auto* pButton = panel.findChild<QAbstractButton*>(strName + "Button");
    ASSERT_NE(pButton, nullptr) << qPrintable(strName);
    QTest::mouseClick(pButton, Qt::LeftButton);
}

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        OpenConfiguration();
        ConfigSettings->clear();
        m_pManager = std::make_unique<DeviceMgr>(
            std::make_unique<FakeDeviceSource>(std::vector<std::string>{"A", "B"}), nullptr);
        DeviceManager = m_pManager.get();
    }
    void TearDown() override {
        DeviceManager = nullptr;
        NetworkCameraConfig = NetworkCameraSettings();
        CloseConfiguration();
    }
    template <typename T> static T* Child(QWidget& parent, const char* szName) {
        T* pChild = parent.findChild<T*>(szName);
        EXPECT_NE(pChild, nullptr) << szName;
        return pChild;
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

    std::unique_ptr<DeviceMgr> m_pManager;
};

// Indexes the lists cannot show: the key's default for frame rate and photo
// size; a recording size outside the list (the camera's own size) shows
// nothing and is written back as it was.
TEST_F(SettingsTest, ConfirmWritesTheFiveKeysAndReportsACameraChange) {
    WriteConfigValue("Setting/FPS", 7);
    WriteConfigValue("Setting/SaveResolution", 2);
    WriteConfigValue("Setting/RecordResolution", 5);
    WriteConfigValue("Setting/Device", "gone");
    {
        SettingDlg dialog;
        EXPECT_EQ(Child<QComboBox>(dialog, "fpsCB")->currentIndex(), 2);
        EXPECT_EQ(Child<QComboBox>(dialog, "saveCB")->currentIndex(), 2);
        EXPECT_EQ(Child<QComboBox>(dialog, "recordCB")->currentIndex(), -1);
        EXPECT_EQ(Child<QComboBox>(dialog, "deviceCB")->currentIndex(), 0);
        EXPECT_EQ(Child<QLineEdit>(dialog, "pathEdit")->text(), ConfigFolder() + "/");
        Child<QComboBox>(dialog, "fpsCB")->setCurrentIndex(0);
        Child<QPushButton>(dialog, "okButton")->click();
        EXPECT_FALSE(dialog.Changed());
        EXPECT_EQ(Stored(), ConfigFolder() + "/|0|2|5|A");
    }
    {
        SettingDlg dialog;
        Child<QComboBox>(dialog, "deviceCB")->setCurrentIndex(1);
        Child<QComboBox>(dialog, "recordCB")->setCurrentIndex(0);
        Child<QPushButton>(dialog, "okButton")->click();
        EXPECT_TRUE(dialog.Changed());
        EXPECT_EQ(dialog.DeviceIndex(), 1);
        EXPECT_EQ(Stored(), ConfigFolder() + "/|0|2|0|B");
    }
    DeviceManager = nullptr; // no devices: an empty list, an empty name
    SettingDlg dialog;
    EXPECT_FALSE(Child<QComboBox>(dialog, "deviceCB")->isEnabled());
    Child<QPushButton>(dialog, "okButton")->click();
    EXPECT_FALSE(dialog.Changed());
    EXPECT_EQ(Stored(), ConfigFolder() + "/|0|2|0|");
}

// Ticking the box is a change; the address and ports count only while it
// is ticked, and unticking keeps them.
TEST_F(SettingsTest, NetworkCameraFieldsCountAsAChangeOnlyWhileEnabled) {
    const struct {
        bool bTick;
        const char* szAddress;
        bool bChanged;
        bool bEnabled;
        const char* szStoredAddress;
    } rows[] = {{false, "10.0.0.1", false, false, ""},
                {true, "10.0.0.2", true, true, "10.0.0.2"},
                {true, "10.0.0.2", false, true, "10.0.0.2"},
                {true, "10.0.0.3", true, true, "10.0.0.3"},
                {false, "10.0.0.4", true, false, "10.0.0.3"}};
    for (const auto& row : rows) {
        SettingDlg dialog;
        auto* pAddress = Child<QLineEdit>(dialog, "addrEdit");
        EXPECT_EQ(pAddress->isEnabled(), NetworkCameraConfig.bEnabled);
        Child<QCheckBox>(dialog, "networkCamera")->setChecked(row.bTick);
        EXPECT_EQ(pAddress->isEnabled(), row.bTick);
        pAddress->setText(row.szAddress);
        Child<QLineEdit>(dialog, "videoPortEdit")->setText("x5544");
        Child<QPushButton>(dialog, "okButton")->click();
        SCOPED_TRACE(row.szAddress);
        EXPECT_EQ(dialog.Changed(), row.bChanged);
        EXPECT_EQ(NetworkCameraConfig.bEnabled, row.bEnabled);
        EXPECT_EQ(NetworkCameraConfig.strAddress, row.szStoredAddress);
        EXPECT_EQ(NetworkCameraConfig.nVideoPort, 0u);
    }
}

// The view answers the record code by starting or stopping; the button
// shows the time recorded beside the "RecordSel" icon, and goes back when
// the recording ends, also when it ends without a click.
TEST_F(SettingsTest, PanelButtonsSendTheirCodesAndTheRecordButtonFollowsTheRecording) {
    SettingPanel panel;
    std::vector<int> sent;
    QObject::connect(&panel, &SettingPanel::OneControlHappend, [&sent](int nCode) {
        sent.push_back(nCode);
        if (nCode == 1) {
            IsRecording = !IsRecording;
        }
    });
    auto* pRecord = Child<QPushButton>(panel, "recordButton");
    const QString strIdle = pRecord->text();
    for (const char* szName : {"photo", "set", "record"}) {
        Click(panel, szName);
    }
    EXPECT_EQ(sent, (std::vector<int>{0, 2, 1}));
    EXPECT_EQ(ButtonIconFile(pRecord), "RecordSel.png");
    EXPECT_EQ(pRecord->text(), "00:00");
    Click(panel, "record");
    EXPECT_EQ(ButtonIconFile(pRecord), "Record.png");
    EXPECT_EQ(pRecord->text(), strIdle);

    Click(panel, "record");
    IsRecording = false; // a write error ended it
    EXPECT_TRUE(WaitFor([&] { return ButtonIconFile(pRecord) == "Record.png"; }, 5000));
    EXPECT_EQ(pRecord->text(), strIdle);
}

class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void Open(const QUrl& url) { urls << url; }
};

TEST_F(SettingsTest, FolderButtonShowsTheStorageFolderMakingItsLastLevel) {
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("file", &catcher, "Open");
    const QString strRoot = QDir::tempPath() + "/orvane-settings-" + QString::number(getpid());
    WriteConfigValue("Setting/SavePath", strRoot);
    SettingPanel panel;
    Click(panel, "info");
    QDesktopServices::unsetUrlHandler("file");
    EXPECT_EQ(catcher.urls, QList<QUrl>{QUrl::fromLocalFile(strRoot)});
    EXPECT_TRUE(QDir(strRoot).exists());
    QDir(strRoot).removeRecursively();
}

} // namespace

#include "SettingsTest.moc"
