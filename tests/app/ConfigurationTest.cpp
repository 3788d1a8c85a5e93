#include "app/Configuration.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QSettings>

#include <gtest/gtest.h>

namespace {

class ConfigurationTest : public ::testing::Test {
protected:
    void SetUp() override {
        CloseConfiguration();
        QDir(TestDocumentsFolder() + "/Orvane").removeRecursively();
        QFile::remove(TestDocumentsFolder() + "/Orvane");
    }
    void TearDown() override {
        CloseConfiguration();
        QFile::remove(TestDocumentsFolder() + "/Orvane");
    }

    static QString IniPath() { return TestDocumentsFolder() + "/Orvane/config.ini"; }

    static void WriteIni(const QByteArray& text) {
        QDir().mkpath(TestDocumentsFolder() + "/Orvane");
        QFile file(IniPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }
};

TEST_F(ConfigurationTest, FirstStartCreatesTheFolderAndEveryKeyReadsItsDefault) {
    OpenConfiguration();
    ASSERT_NE(ConfigSettings, nullptr);
    EXPECT_EQ(ConfigFolder(), TestDocumentsFolder() + "/Orvane");
    EXPECT_TRUE(QDir(ConfigFolder()).exists());
    EXPECT_EQ(ConfigSettings->fileName(), IniPath());
    EXPECT_EQ(ConfigSettings->format(), QSettings::IniFormat);

    EXPECT_EQ(ReadConfigString("Setting/SavePath", QString()), QString());
    EXPECT_EQ(StorageRoot(), ConfigFolder());
    EXPECT_EQ(ReadConfigInt("Setting/FPS", 2), 2);
    EXPECT_EQ(ReadConfigInt("Setting/SaveResolution", 1), 1);
    EXPECT_EQ(ReadConfigInt("Setting/RecordResolution", 1), 1);
    EXPECT_EQ(ReadConfigString("Setting/Device", "0"), "0");
    EXPECT_EQ(ReadConfigInt("Line/Width", 1), 1);
    EXPECT_EQ(ReadConfigColor("Line/Color", 0), QColor(0, 0, 0));
    EXPECT_EQ(ReadConfigInt("Text/Weight", 0), 0);
    EXPECT_EQ(ReadConfigColor("Text/Color", qRgb(0, 0, 255)), QColor(0, 0, 255));
}

TEST_F(ConfigurationTest, AFolderThatCannotBeCreatedLeavesDefaults) {
    // A plain file stands where the folder should be.
    QFile blocker(TestDocumentsFolder() + "/Orvane");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    OpenConfiguration();
    ASSERT_NE(ConfigSettings, nullptr);
    EXPECT_EQ(ReadConfigInt("Setting/FPS", 2), 2);
    EXPECT_EQ(ReadConfigString("Setting/Device", "0"), "0");

    WriteConfigValue("Setting/FPS", 0);
    ConfigSettings->sync();
    EXPECT_NE(ConfigSettings->status(), QSettings::NoError);
    CloseConfiguration();
    EXPECT_TRUE(QFileInfo(TestDocumentsFolder() + "/Orvane").isFile());
}

TEST_F(ConfigurationTest, ValuesOfAnotherTypeReadAsZero) {
    WriteIni("[Setting]\nFPS=abc\nSaveResolution=3\n[Line]\nColor=red\nWidth=2x\n");
    OpenConfiguration();
    EXPECT_EQ(ReadConfigInt("Setting/FPS", 2), 0);
    EXPECT_EQ(ReadConfigInt("Setting/SaveResolution", 1), 3);
    EXPECT_EQ(ReadConfigInt("Line/Width", 1), 0);
    EXPECT_EQ(ReadConfigColor("Line/Color", qRgb(0, 0, 255)), QColor(0, 0, 0));
}

TEST_F(ConfigurationTest, ColoursAreStoredAsUnsignedArgbAndReadBackOpaque) {
    OpenConfiguration();
    WriteConfigColor("Arrow/Color", QColor(0, 0, 255));
    // A value stored with a transparent alpha still reads back opaque.
    WriteConfigValue("Round/Color", 0x00FF0000u);
    CloseConfiguration();

    QSettings raw(IniPath(), QSettings::IniFormat);
    EXPECT_EQ(raw.value("Arrow/Color").toString(), "4278190335");

    OpenConfiguration();
    EXPECT_EQ(ReadConfigColor("Arrow/Color", 0), QColor(0, 0, 255));
    EXPECT_EQ(ReadConfigColor("Round/Color", 0).rgba(), qRgb(255, 0, 0));
}

TEST_F(ConfigurationTest, CloseWritesPendingValuesToTheFile) {
    OpenConfiguration();
    WriteConfigValue("Setting/FPS", 0);
    WriteConfigValue("Setting/SavePath", "/tmp/elsewhere");
    WriteConfigValue("Setting/Device", "USB Camera");
    CloseConfiguration();
    EXPECT_EQ(ConfigSettings, nullptr);

    QFile file(IniPath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    EXPECT_TRUE(text.contains("[Setting]"));
    EXPECT_TRUE(text.contains("FPS=0"));
    EXPECT_TRUE(text.contains("Device=USB Camera"));

    OpenConfiguration();
    EXPECT_EQ(StorageRoot(), "/tmp/elsewhere");
    EXPECT_EQ(ReadConfigInt("Setting/FPS", 2), 0);
}

TEST_F(ConfigurationTest, HelpersGiveDefaultsWhileNoConfigurationIsOpen) {
    EXPECT_EQ(ConfigSettings, nullptr);
    EXPECT_EQ(ReadConfigInt("Setting/FPS", 2), 2);
    EXPECT_EQ(ReadConfigColor("Text/Color", qRgb(0, 0, 255)), QColor(0, 0, 255));
    WriteConfigValue("Setting/FPS", 1); // ignored, must not crash
    EXPECT_EQ(StorageRoot(), ConfigFolder());
}

} // namespace
