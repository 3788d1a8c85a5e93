// The main window as a whole: its layout, the order of its connections,
// closing it while recording, the translation it picks, and the real program
// ended by SIGTERM or SIGINT in the middle of a recording.

#include "app/Application.h"
#include "app/Tessaly.h"
#include "recorder/RecordingRepair.h"
#include "tests/recorder/RecorderTestSupport.h"
#include "tests/support/DeviceTest.h"
#include "tests/support/TestEnvironment.h"
#include "view/RecordSession.h"
#include "view/VideoView.h"

#include <QAbstractButton>
#include <QDir>
#include <QLocale>
#include <QProcess>
#include <QTest>

#include <chrono>
#include <csignal>

namespace {

using WindowTest = DeviceTest;

// The places of the window's parts, as "x,y wxh" in the order of szNames.
QString Places(Tessaly& window) {
    QStringList places;
    for (const char* szName : {"ToolView", "VideoView", "SettingPanel", "ControlPanel",
                               "horSplitLine", "verSplitLine"}) {
        const QRect rc = window.findChild<QWidget*>(szName)->geometry();
        places << QString("%1,%2 %3x%4").arg(rc.x()).arg(rc.y()).arg(rc.width()).arg(rc.height());
    }
    return places.join(' ');
}

// With sixteen 64-pixel buttons and a tool column of 552, the minimum is
// 1256 x 626, wider than designed: the window opens at 1256 x 772. Larger,
// only the video side grows; smaller than the minimum, it keeps the minimum.
// The view hears of a tool before the option panel, whose answer (the
// tool's stored pen, or its own defaults) is stored in the tool's group.
TEST_F(WindowTest, LaysOutItsPanelsAndPassesTheToolsPenOn) {
    Tessaly window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const struct {
        QSize request, size;
        const char* szPlaces; // tool, video, setting, control, horizontal, vertical
    } rows[] = {
        {{},
         {1256, 772},
         "0,0 200x698 201,0 1055x697 0,700 200x72 201,700 1055x72 0,699 1256x2 200,0 2x698"},
        {{1600, 900},
         {1600, 900},
         "0,0 200x826 201,0 1399x825 0,828 200x72 201,828 1399x72 0,827 1600x2 200,0 2x826"},
        {{900, 500},
         {1256, 626},
         "0,0 200x552 201,0 1055x551 0,554 200x72 201,554 1055x72 0,553 1256x2 200,0 2x552"},
    };
    for (const auto& row : rows) {
        if (row.request.isValid()) {
            window.resize(row.request);
            QCoreApplication::processEvents();
        }
        EXPECT_EQ(window.size(), row.size);
        EXPECT_EQ(Places(window), row.szPlaces);
    }
    window.findChild<QAbstractButton*>("lineButton")->click();
    EXPECT_EQ(ConfigSettings->value("Line/Width").toString(), "1");
    EXPECT_FALSE(ConfigSettings->contains("Text/Weight"));
}

// The pictures follow the clock: as many as fell due between the click and
// the close, give or take one at either end.
TEST_F(WindowTest, ClosingTheWindowWhileRecordingLeavesAFinishedFile) {
    using Clock = std::chrono::steady_clock;
    WriteConfigValue("Setting/RecordResolution", 2);
    WriteConfigValue("Setting/FPS", 2);
    MakeDevices({"A"});
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

    EXPECT_FALSE(RecordingRepair::IsUnfinished(strFile));
    const auto pictures = static_cast<double>(ReadRecording(strFile).stamps.at(1).size());
    auto seconds = [](Clock::duration d) { return std::chrono::duration<double>(d).count(); };
    EXPECT_GE(pictures, seconds(tBeforeClose - tAfterStart) * 30 - 1);
    EXPECT_LE(pictures, seconds(tAfterClose - tBeforeStart) * 30 + 2);
}

// Chinese texts for a Chinese user; English, from next to the program or
// else from the working directory, for everyone else.
TEST_F(WindowTest, TheTranslationFollowsTheLocale) {
    const QString strSaved = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(TestHomeFolder()));
    QFile(TestHomeFolder() + "/Orvane_en.qm").open(QIODevice::WriteOnly);
    const QString strHere = QDir::current().filePath("Orvane_en.qm");
    EXPECT_EQ(FindTranslation(QLocale("zh_TW")), QString());
    EXPECT_EQ(FindTranslation(QLocale("de_DE")), strHere);
    QFile::remove(strHere);
    EXPECT_EQ(FindTranslation(QLocale("de_DE")), QString());
    QDir::setCurrent(strSaved);
}

// The real program, with its generated camera, in a process of its own.
TEST_F(WindowTest, TheProgramEndedByTermOrInterruptFinishesItsRecording) {
    for (int nSignal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(nSignal);
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
        kill(static_cast<pid_t>(program.processId()), nSignal);
        ASSERT_TRUE(program.waitForFinished(30000));
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), 0);
        EXPECT_FALSE(RecordingRepair::IsUnfinished(strFile.toStdString()));
        EXPECT_GE(ReadRecording(strFile.toStdString()).stamps.at(1).size(), 10u);
    }
}

} // namespace
