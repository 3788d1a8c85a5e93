// The phone camera against the phone simulator on loopback: pictures after
// each way of being granted the stream, a size switch and a restarting
// phone, its controls, and Close racing a grant.

#include "phone/AndroidCamera.h"
#include "tests/phone/PhonePeer.h"
#include "tools/phone-sim/PhoneSimulator.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

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

} // namespace

TEST(AndroidCameraTest, ShowsThePhonesPicturesAfterEachGrantASizeSwitchAndARestart) {
    using Status = const PhoneSimStatus&;
    struct Case {
        const char* szName;
        std::function<void(PhoneSimOptions&)> setUp;
        bool bVideoOnly;
        // Holds once the case's event is over; pictures then have nHeight.
        std::function<bool(Status)> done;
        int nHeight;
    };
    const Case cases[] = {
        {"slot 1 at once", nullptr, false,
         [](Status s) { return s.nHellos == 1 && s.nReports == 0 && s.nVideoConnections == 1; },
         240},
        {"slot 2, then 1", [](PhoneSimOptions& o) { o.bGrantAtOnce = false; }, false,
         [](Status s) { return s.nHellos == 1 && s.nReports == 1 && s.nVideoConnections == 1; },
         240},
        {"video only", nullptr, true,
         [](Status s) { return s.nHellos == 0 && s.nVideoConnections == 1; }, 240},
        // Only the height changes.
        {"size switch",
         [](PhoneSimOptions& o) {
             o.nSwitchWidth = 320;
             o.nSwitchHeight = 352;
             o.nSwitchAfter = 10;
         },
         false, [](Status s) { return s.nPacketsSent > 12; }, 352},
        // Both connections close: the command channel introduces itself
        // again and the new grant connects the video anew.
        {"phone application restarted",
         [](PhoneSimOptions& o) {
             o.faults.push_back({PhoneSimFault::Close, 5});
         },
         false,
         [](Status s) {
             return s.nHellos >= 2 && s.nJoins >= 2 && s.nVideoConnections >= 2 &&
                    s.bVideoConnected;
         },
         240},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.szName);
        PhoneSimOptions options = SmallStream();
        if (c.setUp) {
            c.setUp(options);
        }
        PhoneSimulator simulator;
        ASSERT_TRUE(simulator.Start(options)) << simulator.Error();
        CameraPtr camera(new AndroidCamera);
        unsigned char* pData = nullptr;
        int nSize = 0, nWidth = 0, nHeight = 0;
        EXPECT_FALSE(camera->LockFrame(pData, nSize, nWidth, nHeight));
        const uint16_t nCommandPort = c.bVideoOnly ? 0 : simulator.CommandPort();
        ASSERT_TRUE(camera->Open("127.0.0.1", nCommandPort, simulator.VideoPort(), 0));
        EXPECT_TRUE(camera->IsRunning());
        EXPECT_FALSE(camera->Open("127.0.0.1", nCommandPort, simulator.VideoPort(), 0));
        ASSERT_TRUE(simulator.WaitUntil(c.done, kWaitMs));
        ASSERT_TRUE(camera->WaitForPictures(camera->PictureCount() + 5, kWaitMs));
        EXPECT_TRUE(c.done(simulator.Status()));
        ASSERT_TRUE(camera->LockFrame(pData, nSize, nWidth, nHeight));
        EXPECT_EQ(nWidth, 320);
        EXPECT_EQ(nHeight, c.nHeight);
        EXPECT_GE(nSize, nWidth * nHeight * 4);
        ExpectTestPattern(pData, nWidth, nHeight);
        camera->UnlockFrame();
    }
}

TEST(AndroidCameraTest, SendsEachControlsCodeAndFailsWithoutAPhone) {
    PhoneSimulator simulator;
    ASSERT_TRUE(simulator.Start(SmallStream())) << simulator.Error();
    CameraPtr camera(new AndroidCamera);
    ASSERT_TRUE(camera->Open("127.0.0.1", simulator.CommandPort(), simulator.VideoPort(), 0));
    // StopControl's code comes last.
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
        [](const PhoneSimStatus& s) { return !s.controls.empty() && s.controls.back().first == 6; },
        kWaitMs));
    EXPECT_EQ(simulator.Status().controls, expected);

    // A phone that is not there: Open fails and leaves nothing running.
    const uint16_t nFreePort = FreePort();
    CameraPtr absent(new AndroidCamera);
    EXPECT_FALSE(absent->Open("127.0.0.1", nFreePort, nFreePort, 0));
    EXPECT_FALSE(absent->IsRunning());
}

TEST(AndroidCameraTest, CloseLeavesBothChannelsClosedWhileAGrantRaces) {
    // The simulator holds each grant until the test lets it go, right
    // before Close: the grant then arrives while Close runs.
    Signal grant;
    bool bHeld = false;
    PhoneSimOptions options = SmallStream();
    options.onBeforeGrant = [&] {
        grant.Change([&] { bHeld = true; });
        grant.Wait([&] { return !bHeld; });
    };
    PhoneSimulator simulator;
    ASSERT_TRUE(simulator.Start(options)) << simulator.Error();
    CameraPtr camera(new AndroidCamera);
    for (int nRound = 1; nRound <= 10; ++nRound) {
        ASSERT_TRUE(camera->Open("127.0.0.1", simulator.CommandPort(), simulator.VideoPort(), 0));
        ASSERT_TRUE(grant.Wait([&] { return bHeld; }));
        grant.Change([&] { bHeld = false; });
        camera->Close();
        EXPECT_FALSE(camera->IsVideoConnected()) << "round " << nRound;
        EXPECT_FALSE(camera->IsRunning());
    }
}
