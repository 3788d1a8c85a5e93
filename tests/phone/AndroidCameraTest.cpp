// The phone camera against the phone simulator on loopback: pictures,
// controls, the simulator's faults and Close racing a grant; and the
// phone-sim program as other tests and the demonstration run it.

#include "phone/AndroidCamera.h"
#include "tests/phone/PictureChecks.h"
#include "tools/phone-sim/PhoneSimulator.h"
#include "tools/phone-sim/TcpListener.h"

#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <condition_variable>
#include <memory>
#include <mutex>

namespace {

constexpr int kWaitMs = 5000;

PhoneSimOptions SmallStream() {
    PhoneSimOptions options;
    options.nCommandPort = 0;
    options.nVideoPort = 0;
    options.nWidth = 320;
    options.nHeight = 240;
    options.nLoopFrames = 60;
    return options;
}

struct CameraReleaser {
    void operator()(AndroidCamera* pCamera) const { pCamera->Release(); }
};
using CameraPtr = std::unique_ptr<AndroidCamera, CameraReleaser>;

// Locks the newest picture, checks its size and pattern, unlocks.
void ExpectPicture(AndroidCamera& camera, int nWidth, int nHeight) {
    unsigned char* pData = nullptr;
    int nSize = 0;
    int nLockedWidth = 0;
    int nLockedHeight = 0;
    ASSERT_TRUE(camera.LockFrame(pData, nSize, nLockedWidth, nLockedHeight));
    EXPECT_EQ(nLockedWidth, nWidth);
    EXPECT_EQ(nLockedHeight, nHeight);
    EXPECT_GE(nSize, nLockedWidth * nLockedHeight * 4);
    ExpectTestPattern(pData, nLockedWidth, nLockedHeight);
    camera.UnlockFrame();
}

// Reads a channel of the process until it holds strWanted.
bool ReadUntil(QProcess& process, QProcess::ProcessChannel nChannel, QByteArray& text,
               const QByteArray& strWanted) {
    process.setReadChannel(nChannel);
    while (!text.contains(strWanted)) {
        text += process.readAll();
        if (!text.contains(strWanted) && !process.waitForReadyRead(10000)) {
            return false;
        }
    }
    return true;
}

} // namespace

TEST(AndroidCameraTest, ShowsThePhonesPicturesAndSendsItsControls) {
    struct Case {
        const char* szName;
        bool bGrantAtOnce;
        bool bVideoOnly;
    };
    for (const Case& c : {Case{"slot 1 at once", true, false}, Case{"slot 2, then 1", false, false},
                          Case{"video only", true, true}}) {
        SCOPED_TRACE(c.szName);
        PhoneSimOptions options = SmallStream();
        options.bGrantAtOnce = c.bGrantAtOnce;
        PhoneSimulator simulator;
        ASSERT_TRUE(simulator.Start(options)) << simulator.Error();
        CameraPtr camera(new AndroidCamera);
        unsigned char* pData = nullptr;
        int nSize = 0;
        int nWidth = 0;
        int nHeight = 0;
        EXPECT_FALSE(camera->LockFrame(pData, nSize, nWidth, nHeight));
        const uint16_t nCommandPort = c.bVideoOnly ? 0 : simulator.CommandPort();
        ASSERT_TRUE(camera->Open("127.0.0.1", nCommandPort, simulator.VideoPort(), 0));
        EXPECT_TRUE(camera->IsRunning());
        EXPECT_FALSE(camera->Open("127.0.0.1", nCommandPort, simulator.VideoPort(), 0));
        ASSERT_TRUE(camera->WaitForPictures(1, 2000));
        ExpectPicture(*camera, 320, 240);
        const PhoneSimStatus status = simulator.Status();
        EXPECT_EQ(status.nHellos, c.bVideoOnly ? 0 : 1);
        EXPECT_EQ(status.nReports, c.bGrantAtOnce ? 0 : 1);
        EXPECT_EQ(status.nVideoConnections, 1);
    }

    PhoneSimulator simulator;
    ASSERT_TRUE(simulator.Start(SmallStream())) << simulator.Error();
    CameraPtr camera(new AndroidCamera);
    ASSERT_TRUE(camera->Open("127.0.0.1", simulator.CommandPort(), simulator.VideoPort(), 0));
    const struct {
        bool (ICamera::*pOperation)();
        bool bResult;
    } operations[] = {
        {&ICamera::AutoFocus, true},   {&ICamera::LightOn, true},     {&ICamera::LightOff, true},
        {&ICamera::ZoomIn, true},      {&ICamera::ZoomOut, true},     {&ICamera::Brighten, true},
        {&ICamera::Darken, true},      {&ICamera::FocusFar, true},    {&ICamera::FocusNear, true},
        {&ICamera::Rotate, false},     {&ICamera::Mirror, false},     {&ICamera::Negative, false},
        {&ICamera::BlackWhite, false}, {&ICamera::AuxControl, false}, {&ICamera::Freeze, false},
        {&ICamera::Mosaic, false},     {&ICamera::StopControl, true},
    };
    for (const auto& operation : operations) {
        EXPECT_EQ(((*camera).*operation.pOperation)(), operation.bResult);
    }
    // StopControl's code comes last: anything an operation that returned
    // false had sent would stand before it.
    const std::vector<std::pair<int, int>> expected = {
        {8, 0}, {2005, 0}, {2005, 0}, {4, 0}, {5, 0}, {2, 0}, {3, 0}, {9, 0}, {10, 0}, {6, 0}};
    ASSERT_TRUE(simulator.WaitUntil(
        [](const PhoneSimStatus& status) {
            return !status.controls.empty() && status.controls.back().first == 6;
        },
        kWaitMs));
    EXPECT_EQ(simulator.Status().controls, expected);

    // A phone that is not there: Open fails and leaves nothing running.
    uint16_t nFreePort;
    {
        TcpListener listener;
        ASSERT_TRUE(listener.Listen(0));
        nFreePort = listener.Port();
    }
    CameraPtr absent(new AndroidCamera);
    EXPECT_FALSE(absent->Open("127.0.0.1", nFreePort, nFreePort, 0));
    EXPECT_FALSE(absent->IsRunning());
}

TEST(AndroidCameraTest, FollowsTheStreamThroughSizeSwitchesAndFaults) {
    struct Case {
        const char* szName;
        const char* szFault; // none when empty
        // What the simulator must have seen once the camera recovered.
        std::function<bool(const PhoneSimStatus&)> recovered;
    };
    const auto videoAgain = [](const PhoneSimStatus& status) {
        return status.nVideoConnections >= 2 && status.bVideoConnected;
    };
    const Case cases[] = {
        {"size switch", "", [](const PhoneSimStatus& status) { return status.nPacketsSent > 12; }},
        {"corrupt length", "video-length@5", videoAgain},
        {"garbage in the video stream", "video-garbage@5", videoAgain},
        {"video connection closed", "video-close@5", videoAgain},
        {"phone application restarted", "close@5",
         [](const PhoneSimStatus& status) {
             return status.nHellos >= 2 && status.nJoins >= 2 && status.nVideoConnections >= 2 &&
                    status.bVideoConnected;
         }},
        {"garbage on the command channel", "command-garbage",
         [](const PhoneSimStatus& status) { return status.bVideoConnected; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.szName);
        PhoneSimOptions options = SmallStream();
        options.nSwitchWidth = 480;
        options.nSwitchHeight = 272;
        options.nSwitchAfter = 10;
        PhoneSimFault fault;
        if (*c.szFault != '\0') {
            ASSERT_TRUE(PhoneSimFault::Parse(c.szFault, fault));
            options.faults.push_back(fault);
            options.nSwitchWidth = 0;
            options.nSwitchHeight = 0;
        }
        PhoneSimulator simulator;
        ASSERT_TRUE(simulator.Start(options)) << simulator.Error();
        CameraPtr camera(new AndroidCamera);
        ASSERT_TRUE(camera->Open("127.0.0.1", simulator.CommandPort(), simulator.VideoPort(), 0));
        ASSERT_TRUE(simulator.WaitUntil(c.recovered, kWaitMs));
        // Pictures go on after the event, of the stream's size now.
        const int nSeen = camera->PictureCount();
        ASSERT_TRUE(camera->WaitForPictures(nSeen + 5, kWaitMs));
        ExpectPicture(*camera, options.nSwitchWidth > 0 ? 480 : 320,
                      options.nSwitchWidth > 0 ? 272 : 240);
    }
}

TEST(AndroidCameraTest, CloseLeavesBothChannelsClosedWhileAGrantRaces) {
    // The simulator holds each grant until the test lets it go, right
    // before Close: the grant then arrives while Close runs.
    std::mutex lock;
    std::condition_variable signal;
    bool bHeld = false;
    bool bReleased = false;
    PhoneSimOptions options = SmallStream();
    options.onBeforeGrant = [&] {
        std::unique_lock<std::mutex> guard(lock);
        bHeld = true;
        signal.notify_all();
        signal.wait_for(guard, std::chrono::milliseconds(kWaitMs), [&] { return bReleased; });
        bHeld = false;
        bReleased = false;
    };
    PhoneSimulator simulator;
    ASSERT_TRUE(simulator.Start(options)) << simulator.Error();
    CameraPtr camera(new AndroidCamera);
    for (int nRound = 1; nRound <= 10; ++nRound) {
        ASSERT_TRUE(camera->Open("127.0.0.1", simulator.CommandPort(), simulator.VideoPort(), 0));
        {
            std::unique_lock<std::mutex> guard(lock);
            ASSERT_TRUE(
                signal.wait_for(guard, std::chrono::milliseconds(kWaitMs), [&] { return bHeld; }));
            bReleased = true;
        }
        signal.notify_all();
        camera->Close();
        EXPECT_FALSE(camera->IsVideoConnected()) << "round " << nRound;
        EXPECT_FALSE(camera->IsRunning());
    }
}

TEST(PhoneSimProgramTest, LogsControlsServesAReturningPcAndEndsOnSigterm) {
    if (!QFileInfo(PHONE_SIM_PATH).isExecutable()) {
        GTEST_SKIP() << "phone-sim is not built at " << PHONE_SIM_PATH;
    }
    QProcess simulator;
    simulator.start(PHONE_SIM_PATH, {"--command-port", "0", "--video-port", "0", "--size",
                                     "160x120", "--grant", "later"});
    ASSERT_TRUE(simulator.waitForStarted());
    QByteArray errors;
    ASSERT_TRUE(ReadUntil(simulator, QProcess::StandardError, errors, "video port"));
    const auto match = QRegularExpression("listening on command port (\\d+), video port (\\d+)\\n")
                           .match(QString::fromUtf8(errors));
    ASSERT_TRUE(match.hasMatch()) << errors.constData();
    const auto nCommandPort = static_cast<uint16_t>(match.captured(1).toUInt());
    const auto nVideoPort = static_cast<uint16_t>(match.captured(2).toUInt());

    QByteArray log;
    const struct {
        bool (ICamera::*pOperation)();
        const char* szLine;
    } rounds[] = {{&ICamera::LightOn, "control 2005 0\n"}, {&ICamera::ZoomIn, "control 4 0\n"}};
    for (const auto& round : rounds) {
        auto* pCamera = new AndroidCamera;
        ASSERT_TRUE(pCamera->Open("127.0.0.1", nCommandPort, nVideoPort, 0));
        EXPECT_TRUE(pCamera->WaitForPictures(1, 5000));
        ((*pCamera).*round.pOperation)();
        EXPECT_TRUE(ReadUntil(simulator, QProcess::StandardOutput, log, round.szLine));
        pCamera->Release();
    }
    EXPECT_EQ(log, "control 2005 0\ncontrol 4 0\n");

    simulator.terminate(); // SIGTERM
    ASSERT_TRUE(simulator.waitForFinished(10000));
    EXPECT_EQ(simulator.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(simulator.exitCode(), 0);
}
