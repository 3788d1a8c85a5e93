#include "app/Configuration.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QSettings>

#include <gtest/gtest.h>

namespace {

// Values survive a reopen; colours are stored with their alpha, as numbers; a
// number of another type in the file reads as 0, not as the default; a colour
// stored with a transparent alpha is still opaque.
TEST(ConfigurationTest, FirstStartCreatesTheFileAndValuesSurviveAReopen) {
    OpenConfiguration();
    ASSERT_NE(ConfigSettings, nullptr);
    WriteConfigValue("Setting/SavePath", "/tmp/elsewhere");
    WriteConfigColor("Arrow/Color", QColor(0, 0, 255));
    WriteConfigValue("Round/Color", 0x00FF0000u);
    CloseConfiguration();

    {
        QSettings raw(TestDocumentsFolder() + "/Orvane/config.ini", QSettings::IniFormat);
        EXPECT_EQ(raw.value("Arrow/Color").toString(), "4278190335");
        raw.setValue("Setting/FPS", "abc");
    }
    OpenConfiguration();
    EXPECT_EQ(StorageRoot(), "/tmp/elsewhere");
    EXPECT_EQ(ReadConfigColor("Round/Color", 0).rgba(), qRgb(255, 0, 0));
    EXPECT_EQ(ReadConfigInt("Setting/FPS", 2), 0);
    CloseConfiguration();
}

// Neither a folder that cannot be made (a file stands in its place) nor a
// closed configuration is an error: reads give defaults, writes go nowhere.
TEST(ConfigurationTest, WithoutAUsableFileDefaultsApply) {
    WriteConfigValue("Setting/FPS", 1);
    EXPECT_EQ(ReadConfigInt("Setting/FPS", 2), 2);
    EXPECT_EQ(StorageRoot(), ConfigFolder());

    QDir(TestDocumentsFolder() + "/Orvane").removeRecursively();
    ASSERT_TRUE(QFile(TestDocumentsFolder() + "/Orvane").open(QIODevice::WriteOnly));
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
