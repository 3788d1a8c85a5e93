// The main window as a whole: its layout, the order of its connections,
// closing it while recording, SIGTERM and SIGINT, the translation it picks,
// and the real program ended by SIGTERM in the middle of a recording.

#include "app/Application.h"
#include "app/Configuration.h"
#include "app/Tessaly.h"
#include "app/UnixSignalWatcher.h"
#include "panels/ControlPanel.h"
#include "panels/SettingPanel.h"
#include "panels/ToolView.h"
#include "recorder/IAudioSource.h"
#include "tests/recorder/RecorderTestSupport.h"
#include "tests/support/FakeDeviceSource.h"
#include "tests/support/TestEnvironment.h"
#include "view/DeviceMgr.h"
#include "view/RecordSession.h"
#include "view/VideoView.h"

#include <QAbstractButton>
#include <QDir>
#include <QFrame>
#include <QLocale>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>

namespace {

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        OpenConfiguration();
        m_pManager = std::make_unique<DeviceMgr>(
            std::make_unique<FakeDeviceSource>(std::vector<std::string>{"A"}), nullptr);
        DeviceManager = m_pManager.get();
    }
    void TearDown() override {
        DeviceManager = nullptr;
        CloseConfiguration();
    }
    std::unique_ptr<DeviceMgr> m_pManager;
};

QRect Place(Tessaly& window, const char* szName) {
    auto* pWidget = window.findChild<QWidget*>(szName);
    return pWidget ? pWidget->geometry() : QRect();
}

// With sixteen 64-pixel buttons and a tool column of 552, the minimum is
// 1256 x 626, wider than designed: the window opens at 1256 x 772. Larger,
// only the video side grows; smaller than the minimum, it keeps the minimum.
TEST_F(WindowTest, LaysOutItsPanelsByHandAndGrowsOnlyTheVideoSide) {
    Tessaly window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_EQ(window.minimumSize(), QSize(1256, 626));
    const struct {
        QSize request;
        QSize size;
        QRect rcTool, rcVideo, rcSetting, rcControl, rcHorizontal, rcVertical;
    } rows[] = {
        {{},
         {1256, 772},
         {0, 0, 200, 698},
         {201, 0, 1055, 697},
         {0, 700, 200, 72},
         {201, 700, 1055, 72},
         {0, 699, 1256, 2},
         {200, 0, 2, 698}},
        {{1600, 900},
         {1600, 900},
         {0, 0, 200, 826},
         {201, 0, 1399, 825},
         {0, 828, 200, 72},
         {201, 828, 1399, 72},
         {0, 827, 1600, 2},
         {200, 0, 2, 826}},
        {{900, 500},
         {1256, 626},
         {0, 0, 200, 552},
         {201, 0, 1055, 551},
         {0, 554, 200, 72},
         {201, 554, 1055, 72},
         {0, 553, 1256, 2},
         {200, 0, 2, 552}},
    };
    for (const auto& row : rows) {
        if (row.request.isValid()) {
            window.resize(row.request);
            QCoreApplication::processEvents();
        }
        SCOPED_TRACE(row.size.width());
        EXPECT_EQ(window.size(), row.size);
        EXPECT_EQ(Place(window, "ToolView"), row.rcTool);
        EXPECT_EQ(Place(window, "VideoView"), row.rcVideo);
        EXPECT_EQ(Place(window, "SettingPanel"), row.rcSetting);
        EXPECT_EQ(Place(window, "ControlPanel"), row.rcControl);
        EXPECT_EQ(Place(window, "horSplitLine"), row.rcHorizontal);
        EXPECT_EQ(Place(window, "verSplitLine"), row.rcVertical);
    }
}

// The view hears of a tool before the option panel, whose answer (the
// tool's stored pen, or its own defaults) is stored in the tool's group.
TEST_F(WindowTest, AfterAToolChangeTheOptionPanelsPenIsTheOneInForce) {
    ConfigSettings->clear();
    Tessaly window;
    window.findChild<QAbstractButton*>("lineButton")->click();
    EXPECT_EQ(ConfigSettings->value("Line/Width").toString(), "1");
    EXPECT_FALSE(ConfigSettings->contains("Text/Weight"));
}

bool IsFinishedAvi(const QString& strPath) {
    QFile file(strPath);
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray header = file.read(12);
    const QByteArray whole = header + file.readAll();
    // The RIFF size is written last; an unfinished file has -1 there.
    const quint32 nRiffSize = quint8(header[4]) | quint8(header[5]) << 8 | quint8(header[6]) << 16 |
                              quint32(quint8(header[7])) << 24;
    return header.startsWith("RIFF") && nRiffSize == quint32(file.size() - 8) &&
           whole.contains("idx1");
}

// The pictures follow the clock: as many as fell due between the click and
// the close, give or take one at either end.
TEST_F(WindowTest, ClosingTheWindowWhileRecordingLeavesAFinishedFile) {
    using Clock = std::chrono::steady_clock;
    WriteConfigValue("Setting/RecordResolution", 2);
    WriteConfigValue("Setting/FPS", 2);
    auto pWindow = std::make_unique<Tessaly>();
    pWindow->GetVideoView()->SetAudioSourceFactory([] { return nullptr; });
    pWindow->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(pWindow.get()));
    // The camera's size decides the recording's: the first picture first.
    ASSERT_TRUE(
        WaitFor([&] { return pWindow->findChild<QWidget*>("noPictureLabel")->isHidden(); }, 5000));
    auto* pRecord = pWindow->findChild<QAbstractButton*>("recordButton");
    const auto tBeforeStart = Clock::now();
    pRecord->click();
    const auto tAfterStart = Clock::now();
    const RecordSession* pRecording = pWindow->GetVideoView()->CurrentRecording();
    ASSERT_NE(pRecording, nullptr);
    const std::string strFile = pRecording->FileName();
    ASSERT_TRUE(WaitFor([&] { return pRecording->Pictures() >= 20; }, 20000));
    const auto tBeforeClose = Clock::now();
    pWindow.reset();
    const auto tAfterClose = Clock::now();

    ASSERT_TRUE(IsFinishedAvi(QString::fromStdString(strFile)));
    const Recording recording = ReadRecording(strFile);
    ASSERT_EQ(recording.params.size(), 2u);
    EXPECT_EQ(recording.params[1].width, 640);
    const auto pictures = static_cast<double>(recording.stamps[1].size());
    auto seconds = [](Clock::duration d) { return std::chrono::duration<double>(d).count(); };
    EXPECT_GE(pictures, seconds(tBeforeClose - tAfterStart) * 30 - 1);
    EXPECT_LE(pictures, seconds(tAfterClose - tBeforeStart) * 30 + 2);
}

TEST_F(WindowTest, TermAndInterruptArriveAsSignalsOfTheEventLoop) {
    struct sigaction before = {};
    sigaction(SIGTERM, nullptr, &before);
    {
        UnixSignalWatcher watcher;
        ASSERT_TRUE(watcher.IsWatching());
        QSignalSpy spy(&watcher, &UnixSignalWatcher::SignalHappend);
        raise(SIGTERM);
        raise(SIGINT);
        ASSERT_TRUE(WaitFor([&] { return spy.size() == 2; }, 5000));
        EXPECT_EQ(spy.at(0).at(0).toInt(), SIGTERM);
        EXPECT_EQ(spy.at(1).at(0).toInt(), SIGINT);
    }
    struct sigaction after = {};
    sigaction(SIGTERM, nullptr, &after);
    EXPECT_EQ(after.sa_handler, before.sa_handler);
}

// Chinese texts for a Chinese user; English, from next to the program or
// else from the working directory, for everyone else.
TEST_F(WindowTest, TheTranslationFollowsTheLocale) {
    const QString strSaved = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(TestHomeFolder()));
    QFile(TestHomeFolder() + "/Orvane_en.qm").open(QIODevice::WriteOnly);
    const QString strHere = QDir::current().filePath("Orvane_en.qm");
    EXPECT_EQ(FindTranslation(QLocale("zh_CN")), QString());
    EXPECT_EQ(FindTranslation(QLocale("zh_TW")), QString());
    EXPECT_EQ(FindTranslation(QLocale("en_GB")), strHere);
    EXPECT_EQ(FindTranslation(QLocale("de_DE")), strHere);
    QFile::remove(strHere);
    EXPECT_EQ(FindTranslation(QLocale("en_GB")), QString());
    QDir::setCurrent(strSaved);
}

// The real program, with its generated camera, in a process of its own.
TEST_F(WindowTest, TheProgramEndedByTermFinishesItsRecording) {
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("LANG", "C");
    program.setProcessEnvironment(environment); // the test's private home
    program.start(ORVANE_DEMO, {"--size", "640x360", "--record"});
    ASSERT_TRUE(program.waitForStarted(10000));
    QByteArray output;
    while (!output.contains('\n') && program.waitForReadyRead(30000)) {
        output += program.readAllStandardOutput();
    }
    ASSERT_TRUE(output.startsWith("recording ")) << output.constData();
    const QString strFile = QString::fromUtf8(output.mid(10).trimmed());
    program.terminate();
    ASSERT_TRUE(program.waitForFinished(30000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_TRUE(strFile.startsWith(TestDocumentsFolder() + "/Orvane/Record/"));
    ASSERT_TRUE(IsFinishedAvi(strFile));
    EXPECT_GE(ReadRecording(strFile.toStdString()).stamps.at(1).size(), 10u);
}

} // namespace
