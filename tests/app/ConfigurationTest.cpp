#include "app/Configuration.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QSettings>

#include <gtest/gtest.h>

namespace {

QString IniPath() {
    return TestDocumentsFolder() + "/Orvane/config.ini";
}

// Values survive a reopen; one of another type in the file reads as 0, not
// as the default; a colour stored with a transparent alpha is still opaque.
TEST(ConfigurationTest, FirstStartCreatesTheFileAndValuesSurviveAReopen) {
    OpenConfiguration();
    ASSERT_NE(ConfigSettings, nullptr);
    WriteConfigValue("Setting/SavePath", "/tmp/elsewhere");
    WriteConfigValue("Setting/Device", "USB Camera");
    WriteConfigColor("Arrow/Color", QColor(0, 0, 255));
    WriteConfigValue("Round/Color", 0x00FF0000u);
    CloseConfiguration();
    EXPECT_EQ(ConfigSettings, nullptr);

    {
        QSettings raw(IniPath(), QSettings::IniFormat);
        EXPECT_EQ(raw.value("Setting/Device").toString(), "USB Camera");
        EXPECT_EQ(raw.value("Arrow/Color").toString(), "4278190335");
        raw.setValue("Setting/FPS", "abc");
        raw.setValue("Line/Color", "red");
    }
    OpenConfiguration();
    EXPECT_EQ(StorageRoot(), "/tmp/elsewhere");
    EXPECT_EQ(ReadConfigColor("Arrow/Color", 0), QColor(0, 0, 255));
    EXPECT_EQ(ReadConfigColor("Round/Color", 0).rgba(), qRgb(255, 0, 0));
    EXPECT_EQ(ReadConfigInt("Setting/FPS", 2), 0);
    EXPECT_EQ(ReadConfigColor("Line/Color", qRgb(0, 0, 255)), QColor(0, 0, 0));
    CloseConfiguration();
}

// Neither a folder that cannot be made (a file stands in its place) nor a
// closed configuration is an error: reads give defaults, writes go nowhere.
TEST(ConfigurationTest, WithoutAUsableFileDefaultsApply) {
    WriteConfigValue("Setting/FPS", 1);
    EXPECT_EQ(ReadConfigInt("Setting/FPS", 2), 2);
    EXPECT_EQ(StorageRoot(), ConfigFolder());

    QDir(TestDocumentsFolder() + "/Orvane").removeRecursively();
    QFile blocker(TestDocumentsFolder() + "/Orvane");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    OpenConfiguration();
    ASSERT_NE(ConfigSettings, nullptr);
    EXPECT_EQ(ReadConfigString("Setting/Device", "0"), "0");
    WriteConfigValue("Setting/FPS", 0);
    ConfigSettings->sync();
    EXPECT_NE(ConfigSettings->status(), QSettings::NoError);
    CloseConfiguration();
    EXPECT_TRUE(QFileInfo(TestDocumentsFolder() + "/Orvane").isFile());
}

} // namespace
