// Recordings started and stopped from the video view: their size, and the
// ways a recording can fail to start or fail while it runs.

#include "app/SharedState.h"
#include "recorder/RecordingRepair.h"
#include "tests/recorder/RecorderTestSupport.h"
#include "tests/support/TestEnvironment.h"
#include "tests/view/ViewTestHost.h"
#include "view/RecordSession.h"

#include <QDir>
#include <QFileInfo>

#include <csignal>
#include <sys/resource.h>

namespace {

// Recordings run on the view's own frame timer.
class RecordingTest : public ViewTestHost {
protected:
    RecordingTest() { m_bOwnTimer = true; }
};

// 0 and 1 choose 720p and 1080p; any other value the camera's size, when it
// is below 1280 x 720, made even for the encoder.
TEST_F(RecordingTest, TheRecordingSizeFollowsTheSettingAndTheCamera) {
    const struct {
        int nResolution;
        QSize camera;
        QSize recorded;
    } rows[] = {{2, {640, 480}, {640, 480}},  {2, {1920, 1080}, {1280, 720}},
                {-3, {641, 361}, {640, 360}}, {2, {1281, 719}, {1280, 718}},
                {0, {320, 240}, {1280, 720}}, {1, {320, 240}, {1920, 1080}}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.camera.width());
        WriteConfigValue("Setting/RecordResolution", row.nResolution);
        MakeView({"A"}, Cameras(row.camera.width(), row.camera.height()));
        Tick();
        m_pView->OnSetControlHappend(1);
        ASSERT_NE(m_pView->CurrentRecording(), nullptr);
        EXPECT_TRUE(IsRecording);
        const std::string strFile = m_pView->CurrentRecording()->FileName();
        Tick(2);
        m_pView->OnSetControlHappend(1);
        EXPECT_FALSE(IsRecording);
        m_pView.reset(); // waits for the file to be finished
        const AVCodecParameters video = ReadRecording(strFile).params.at(1);
        EXPECT_EQ(QSize(video.width, video.height), row.recorded);
        TearDown();
        SetUp();
    }
}

TEST_F(RecordingTest, ARecordingThatCannotStartIsToldAndTheViewStaysIdle) {
    const QString strMissing = TestHomeFolder() + "/gone/deeper";
    const struct {
        QString strSavePath;
        int nCameraSide;
        QString strTold;
    } rows[] = {{strMissing, 64, "创建录制文件件夹失败"},
                // A 1 x 1 camera at its own size leaves nothing to encode.
                {QString(), 1, "录制未能开始：" + TestDocumentsFolder() + "/Orvane/Record/"}};
    for (const auto& row : rows) {
        WriteConfigValue("Setting/SavePath", row.strSavePath);
        WriteConfigValue("Setting/RecordResolution", 2);
        MakeView({"A"}, Cameras(row.nCameraSide, row.nCameraSide));
        Tick();
        m_pView->OnSetControlHappend(1);
        EXPECT_TRUE(TakeWarning().startsWith(row.strTold)) << row.strTold.toStdString();
        EXPECT_EQ(m_pView->CurrentRecording(), nullptr);
        EXPECT_FALSE(IsRecording);
        TearDown();
        SetUp();
    }
    EXPECT_FALSE(QDir(strMissing).exists());
}

// Nothing paints a hidden view: the recording composes its pictures itself,
// and they follow the camera. A copy taken while recording stands in for a
// recording cut short, repaired at the next start.
TEST_F(RecordingTest, AHiddenWindowKeepsTheRecordingMovingAndACutShortOneIsRepaired) {
    WriteConfigValue("Setting/RecordResolution", 2);
    MakeView({"A"}, Cameras(64, 48));
    m_pView->hide();
    m_pView->OnSetControlHappend(1);
    ASSERT_NE(m_pView->CurrentRecording(), nullptr);
    const std::string strFile = m_pView->CurrentRecording()->FileName();
    const QString strCut = QFileInfo(QString::fromStdString(strFile)).dir().filePath("cut.avi");
    // What is on the disk is at most a second behind.
    ASSERT_TRUE(WaitFor([&] { return m_pView->CurrentRecording()->Pictures() >= 45; }, 20000));
    ASSERT_TRUE(QFile::copy(QString::fromStdString(strFile), strCut));
    m_pView->OnSetControlHappend(1);
    ASSERT_TRUE(RecordingRepair::IsUnfinished(strCut.toStdString()));
    m_pView->RepairRecordings();
    QString strTold;
    ASSERT_TRUE(WaitFor([&] { return !(strTold = TakeWarning()).isEmpty(); }, 20000));
    EXPECT_TRUE(strTold.startsWith("已修复 1 个")) << strTold.toStdString();
    EXPECT_FALSE(RecordingRepair::IsUnfinished(strCut.toStdString()));

    m_pView.reset();
    const Recording recording = ReadRecording(strFile);
    const auto& pictures = recording.frames.at(1);
    ASSERT_GE(pictures.size(), 45u);
    // The red of FakeCamera's own picture grows by one a picture.
    EXPECT_NE(Luma(pictures[2], 4, 4), Luma(pictures.back(), 4, 4));
}

// A file size limit stands in for a full disk: the recording stops at the
// next tick, and the user hears which file it was and what it kept.
TEST_F(RecordingTest, AWriteFailureStopsTheRecordingAndIsTold) {
    WriteConfigValue("Setting/RecordResolution", 2);
    MakeView({"A"}, Cameras(320, 240));
    m_pView->OnSetControlHappend(1);
    ASSERT_NE(m_pView->CurrentRecording(), nullptr);
    const QString strFile = QString::fromStdString(m_pView->CurrentRecording()->FileName());
    rlimit old = {};
    getrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{64 * 1024, old.rlim_max};
    setrlimit(RLIMIT_FSIZE, &limit);
    QString strTold;
    const bool bTold = WaitFor([&] { return !(strTold = TakeWarning()).isEmpty(); }, 30000);
    setrlimit(RLIMIT_FSIZE, &old);
    ASSERT_TRUE(bTold);
    EXPECT_FALSE(IsRecording);
    EXPECT_TRUE(strTold.contains(strFile)) << strTold.toStdString();
    EXPECT_TRUE(strTold.contains("文件保留了出错前录下的 00:0")) << strTold.toStdString();
}

} // namespace
