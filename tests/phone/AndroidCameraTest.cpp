// The phone camera against the phone simulator on loopback: pictures,
// controls, the simulator's faults, a decoder that falls behind, and Close
// racing a grant.

#include "phone/AndroidCamera.h"
#include "tests/phone/PictureChecks.h"
#include "tools/phone-sim/PhoneSimulator.h"
#include "tools/phone-sim/TcpListener.h"

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

TEST(AndroidCameraTest, BoundsItsQueueWhenDecodingFallsBehind) {
    PhoneSimOptions options = SmallStream();
    options.nFramesPerSecond = 0; // as fast as the camera reads
    PhoneSimulator simulator;
    ASSERT_TRUE(simulator.Start(options)) << simulator.Error();
    CameraPtr camera(new AndroidCamera);
    ASSERT_TRUE(camera->Open("127.0.0.1", simulator.CommandPort(), simulator.VideoPort(), 0));
    ASSERT_TRUE(camera->WaitForPictures(1, kWaitMs));
    const int nPictures = camera->PictureCount();

    // A pinned picture holds the decode thread at its next copy, while the
    // payloads keep coming.
    unsigned char* pData = nullptr;
    int nSize = 0;
    int nWidth = 0;
    int nHeight = 0;
    ASSERT_TRUE(camera->LockFrame(pData, nSize, nWidth, nHeight));
    const long long nSent = simulator.Status().nPacketsSent;
    EXPECT_TRUE(simulator.WaitUntil(
        [&](const PhoneSimStatus& status) {
            return status.nPacketsSent > nSent + 4 * PayloadQueue::kSlots;
        },
        kWaitMs));
    EXPECT_LE(camera->QueuedPayloads(), PayloadQueue::kSlots);
    EXPECT_GT(camera->DroppedPayloads(), 0);
    camera->UnlockFrame();

    // Decoding picks up again at a key frame, with whole pictures.
    ASSERT_TRUE(camera->WaitForPictures(nPictures + 10, kWaitMs));
    ExpectPicture(*camera, 320, 240);
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
