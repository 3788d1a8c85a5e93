// The phone camera against the phone simulator on loopback: pictures,
// controls, a size switch, a restarting phone and Close racing a grant.

#include "phone/AndroidCamera.h"
#include "tests/phone/PhonePeer.h"
#include "tests/phone/PictureChecks.h"
#include "tools/phone-sim/PhoneSimulator.h"

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
    // Each operation that has a code sends it; StopControl's comes last.
    const std::pair<bool (ICamera::*)(), int> operations[] = {
        {&ICamera::AutoFocus, 8},  {&ICamera::LightOn, 2005}, {&ICamera::LightOff, 2005},
        {&ICamera::ZoomIn, 4},     {&ICamera::ZoomOut, 5},    {&ICamera::Brighten, 2},
        {&ICamera::Darken, 3},     {&ICamera::FocusFar, 9},   {&ICamera::FocusNear, 10},
        {&ICamera::StopControl, 6}};
    std::vector<std::pair<int, int>> expected;
    for (const auto& operation : operations) {
        EXPECT_TRUE(((*camera).*operation.first)());
        expected.emplace_back(operation.second, 0);
    }
    ASSERT_TRUE(simulator.WaitUntil(
        [](const PhoneSimStatus& status) {
            return !status.controls.empty() && status.controls.back().first == 6;
        },
        kWaitMs));
    EXPECT_EQ(simulator.Status().controls, expected);

    // A phone that is not there: Open fails and leaves nothing running.
    const uint16_t nFreePort = FreePort();
    CameraPtr absent(new AndroidCamera);
    EXPECT_FALSE(absent->Open("127.0.0.1", nFreePort, nFreePort, 0));
    EXPECT_FALSE(absent->IsRunning());
}

TEST(AndroidCameraTest, FollowsASizeSwitchAndAPhoneThatRestarts) {
    for (const bool bRestart : {false, true}) {
        SCOPED_TRACE(bRestart ? "phone application restarted" : "size switch");
        PhoneSimOptions options = SmallStream();
        if (bRestart) {
            // Both connections close: the command channel introduces itself
            // again and the new grant connects the video anew.
            PhoneSimFault fault;
            ASSERT_TRUE(PhoneSimFault::Parse("close@5", fault));
            options.faults.push_back(fault);
        } else {
            // Only the height changes.
            options.nSwitchWidth = 320;
            options.nSwitchHeight = 352;
            options.nSwitchAfter = 10;
        }
        PhoneSimulator simulator;
        ASSERT_TRUE(simulator.Start(options)) << simulator.Error();
        CameraPtr camera(new AndroidCamera);
        ASSERT_TRUE(camera->Open("127.0.0.1", simulator.CommandPort(), simulator.VideoPort(), 0));
        ASSERT_TRUE(simulator.WaitUntil(
            [&](const PhoneSimStatus& status) {
                return bRestart ? status.nHellos >= 2 && status.nJoins >= 2 &&
                                      status.nVideoConnections >= 2 && status.bVideoConnected
                                : status.nPacketsSent > 12;
            },
            kWaitMs));
        // Pictures go on after the event, of the stream's size now.
        const int nSeen = camera->PictureCount();
        ASSERT_TRUE(camera->WaitForPictures(nSeen + 5, kWaitMs));
        ExpectPicture(*camera, 320, bRestart ? 240 : 352);
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
