// The phone camera against the phone simulator on loopback: pictures after
// each way of being granted the stream, a size switch and a restarting
// phone; its controls; Close racing a grant; a phone that is not there.

#include "phone/AndroidCamera.h"
#include "tests/phone/PhonePeer.h"
#include "tools/phone-sim/PhoneSimulator.h"

#include <gtest/gtest.h>

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

TEST(AndroidCameraTest, ShowsThePhonesPicturesAndSendsItsControls) {
    struct Case {
        const char* szName;
        bool bGrantAtOnce;
        bool bVideoOnly;
        int nSwitchHeight;                        // 0: no size switch
        bool bRestart;                            // the phone application closes both connections
        int nHellos, nReports, nVideoConnections; // at least; exactly unless restarting
    };
    const Case cases[] = {
        {"slot 1 at once", true, false, 0, false, 1, 0, 1},
        {"slot 2, then 1", false, false, 0, false, 1, 1, 1},
        {"video only", true, true, 0, false, 0, 0, 1},
        // Only the height changes: the frame grows, then it is reused.
        {"taller", true, false, 352, false, 1, 0, 1},
        {"shorter", true, false, 128, false, 1, 0, 1},
        // The command channel introduces itself again and the new grant
        // connects the video anew.
        {"phone application restarted", true, false, 0, true, 2, 0, 2},
    };
    // Each operation that has a code sends it; StopControl's comes last.
    const std::pair<bool (ICamera::*)(), int> operations[] = {
        {&ICamera::AutoFocus, 8},  {&ICamera::LightOn, 2005}, {&ICamera::LightOff, 2005},
        {&ICamera::ZoomIn, 4},     {&ICamera::ZoomOut, 5},    {&ICamera::Brighten, 2},
        {&ICamera::Darken, 3},     {&ICamera::FocusFar, 9},   {&ICamera::FocusNear, 10},
        {&ICamera::StopControl, 6}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.szName);
        PhoneSimOptions options = SmallStream();
        options.bGrantAtOnce = c.bGrantAtOnce;
        options.nSwitchWidth = c.nSwitchHeight ? 320 : 0;
        options.nSwitchHeight = c.nSwitchHeight;
        options.nSwitchAfter = 10;
        if (c.bRestart) {
            options.faults.push_back({PhoneSimFault::Close, 5});
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
        ASSERT_TRUE(simulator.WaitUntil(
            [&](const PhoneSimStatus& s) {
                return s.nHellos >= c.nHellos && s.nJoins >= c.nHellos &&
                       s.nReports >= c.nReports && s.nVideoConnections >= c.nVideoConnections &&
                       s.bVideoConnected && (!c.nSwitchHeight || s.nPacketsSent > 12);
            },
            kWaitMs));
        // Pictures go on after the event, of the stream's size now.
        ASSERT_TRUE(camera->WaitForPictures(camera->PictureCount() + 5, kWaitMs));
        ASSERT_TRUE(camera->LockFrame(pData, nSize, nWidth, nHeight));
        EXPECT_EQ(nWidth, 320);
        EXPECT_EQ(nHeight, c.nSwitchHeight ? c.nSwitchHeight : 240);
        EXPECT_GE(nSize, nWidth * nHeight * 4);
        ExpectTestPattern(pData, nWidth, nHeight);
        camera->UnlockFrame();
        const PhoneSimStatus status = simulator.Status();
        EXPECT_EQ(status.nHellos, c.nHellos);
        EXPECT_EQ(status.nReports, c.nReports);
        if (!c.bRestart) {
            EXPECT_EQ(status.nVideoConnections, c.nVideoConnections);
        }
        if (c.bVideoOnly) {
            continue;
        }
        std::vector<std::pair<int, int>> expected;
        for (const auto& operation : operations) {
            EXPECT_TRUE(((*camera).*operation.first)());
            expected.emplace_back(operation.second, 0);
        }
        ASSERT_TRUE(simulator.WaitUntil(
            [](const PhoneSimStatus& s) { return s.controls.size() >= 10; }, kWaitMs));
        EXPECT_EQ(simulator.Status().controls, expected);
    }
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
    // A phone that is not there: Open fails and leaves nothing running.
    const uint16_t nFreePort = FreePort();
    EXPECT_FALSE(camera->Open("127.0.0.1", nFreePort, nFreePort, 0));
    EXPECT_FALSE(camera->IsRunning());
}
