// The USB phone source over a forwarding mechanism in memory: which ports it
// forwards, the camera it makes, and how device-state reports move it.

#include "phone/AndroidUsbDevices.h"
#include "tests/phone/PhonePeer.h"
#include "tests/support/FakeCamera.h"

#include <gtest/gtest.h>

#include <set>

namespace {

// Every call of the mechanism, and of the camera factory, is written down
// as "<call>; ". Each look (AppInitialize) waits until the test ends it with
// a status, so the test decides when the watcher's looks end; once the test
// is closing, they report -3, which changes nothing.
struct Fixture : Signal {
    bool bLoads = true;
    bool bClosing = false;
    bool bLooking = false; // a look waits for its status
    int nStatus = 0;
    std::set<int> refused; // local ports RedirectTcpPort refuses
    std::string strCalls;
    DeviceStateCallback callback;
    std::unique_ptr<AndroidUsbDevices> pDevices;

    struct Delegates : IADBDelegates {
        explicit Delegates(Fixture& f) : f(f) {}
        bool Load() override { return f.Note("Load", f.bLoads); }
        void Unload() override { f.Note("Unload"); }
        int AppInitialize(DeviceStateCallback callback, int, bool) override {
            std::unique_lock<std::mutex> lock(f.mutex);
            f.callback = std::move(callback);
            f.strCalls += "scan; ";
            f.bLooking = true;
            f.changed.notify_all();
            f.changed.wait_for(lock, std::chrono::seconds(30),
                               [this] { return f.bClosing || !f.bLooking; });
            return f.bClosing ? -3 : f.nStatus;
        }
        bool RedirectTcpPort(int nLocal, int nPhone) override {
            return f.Note("forward " + std::to_string(nLocal) + " " + std::to_string(nPhone),
                          f.refused.count(nLocal) == 0);
        }
        bool RedirectUdpPort(int, int) override { return f.Note("udp", false); }
        bool RemovePort(int nPort) override { return f.Note("remove " + std::to_string(nPort)); }
        bool RemoveAll() override { return f.Note("remove all"); }
        bool GetDeviceName(std::string&, std::string&) override { return false; }
        Fixture& f;
    };

    ~Fixture() { Stop(); }
    bool Note(const std::string& strCall, bool bResult = true) {
        Change([&] { strCalls += strCall + "; "; });
        return bResult;
    }
    // Starts with the status of the first look.
    void Start(int nFirstStatus) {
        pDevices = std::make_unique<AndroidUsbDevices>(
            std::make_unique<Delegates>(*this),
            [this](const std::string& strAddress, uint16_t nCommand, uint16_t nVideo,
                   int nParam) -> ICamera* {
                Note("camera " + strAddress + ":" + std::to_string(nCommand) + ":" +
                     std::to_string(nVideo) + ":" + std::to_string(nParam));
                return new FakeCamera(64, 48);
            });
        if (bLoads) {
            Look(nFirstStatus);
        }
        pDevices->WaitFirstScan();
    }
    void Stop() {
        Change([&] { bClosing = true; });
        pDevices.reset();
    }
    std::string GetCalls() {
        std::lock_guard<std::mutex> lock(mutex);
        return strCalls;
    }
    // Waits until the watcher is inside a look.
    void WaitLooking() {
        ASSERT_TRUE(Wait([&] { return bLooking; }));
    }
    // Ends the watcher's look with nState.
    void Look(int nState) {
        WaitLooking();
        Change([&] {
            bLooking = false;
            nStatus = nState;
        });
    }
    // Plays the mechanism's own thread.
    void Report(int nState) {
        DeviceStateCallback report;
        Change([&] { report = callback; });
        ASSERT_TRUE(report);
        report(nState);
    }
};

const std::string kSetUp =
    "remove all; forward 15000 5000; forward 25544 5544; forward 35545 5545; forward 48080 8080; ";

TEST(AndroidUsbDevicesTest, AReadyPhoneIsForwardedAndOpensOnItsLocalPorts) {
    Fixture f;
    // Each port gets ten tries from its first local port: all ten for 5000
    // are taken, so it is left out; for 5544 the tenth succeeds.
    std::string strTries5000, strTries5544;
    for (int n = 0; n < 10; ++n) {
        f.refused.insert({15000 + n, 25544 + n});
        strTries5000 += "forward " + std::to_string(15000 + n) + " 5000; ";
        strTries5544 += "forward " + std::to_string(25544 + n) + " 5544; ";
    }
    f.refused.erase(25553);
    f.Start(IADBDelegates::kPhoneReady);
    EXPECT_EQ(f.GetCalls(), "Load; scan; remove all; " + strTries5000 + strTries5544 +
                                "forward 35545 5545; forward 48080 8080; ");
    EXPECT_STREQ(f.pDevices->GetName(0), "[USB Device]");
    EXPECT_EQ(f.pDevices->GetName(1), nullptr);
    EXPECT_EQ(f.pDevices->FindName("[USB Device] "), -1);

    // Without a forwarded command port the camera is asked for video alone.
    // Shutting down removes this run's forwardings one by one, then unloads.
    const size_t nFrom = f.GetCalls().size();
    EXPECT_EQ(f.pDevices->CreateCamera(1, 0), nullptr);
    ICamera* pCamera = f.pDevices->CreateCamera(0, 7);
    ASSERT_NE(pCamera, nullptr);
    pCamera->Release();
    f.Stop();
    EXPECT_EQ(f.GetCalls().substr(nFrom), "camera 127.0.0.1:0:25553:7; remove 25553; remove 35545; "
                                          "remove 48080; Unload; ");
}

TEST(AndroidUsbDevicesTest, StateReportsDriveTheForwarding) {
    Fixture f;
    f.Start(IADBDelegates::kNoPhone);
    EXPECT_EQ(f.GetCalls(), "Load; scan; ");
    EXPECT_EQ(f.pDevices->CreateCamera(0, 0), nullptr);

    const struct {
        const char* szName;
        std::vector<int> reports; // made before the watcher looks again
        int nStatusNow;           // what it then finds
        std::string strCalls;
        int nCount;
    } steps[] = {
        {"ready", {0}, 0, "scan; " + kSetUp, 1},
        // A status that means neither ready nor gone changes nothing.
        {"unknown status", {-3}, -3, "scan; ", 1},
        {"gone", {-4}, -4, "scan; remove all; ", 0},
        {"gone again", {-5}, -5, "scan; ", 0},
        {"back", {0}, 0, "scan; " + kSetUp, 1},
        {"still ready", {0}, 0, "scan; ", 1},
        // Gone and back before the watcher looked: the forwarding went with
        // the phone, so it is set up anew.
        {"gone and back", {-5, 0}, 0, "scan; remove all; " + kSetUp, 1},
        {"unusable", {-5}, -5, "scan; remove all; ", 0},
    };
    // The watcher is held inside a look caused by a state of no meaning,
    // so that the reports of a step are all taken by the next look.
    int nPark = -100;
    f.Report(nPark);
    for (const auto& step : steps) {
        SCOPED_TRACE(step.szName);
        f.WaitLooking();
        for (int nState : step.reports) {
            f.Report(nState);
        }
        const size_t nFrom = f.GetCalls().size();
        f.Look(-3); // the held look ends without effect
        f.Look(step.nStatusNow);
        // Once the watcher is held again in its next look, the step's look
        // is over.
        f.Report(--nPark);
        f.WaitLooking();
        EXPECT_EQ(f.GetCalls().substr(nFrom), step.strCalls + "scan; ");
        EXPECT_EQ(f.pDevices->GetCount(), step.nCount);
        EXPECT_EQ(f.pDevices->FindName("[USB Device]"), step.nCount ? 0 : -1);
    }
    // Nothing is forwarded at shutdown: nothing to remove.
    const size_t nFrom = f.GetCalls().size();
    f.Stop();
    EXPECT_EQ(f.GetCalls().substr(nFrom), "Unload; ");
}

TEST(AndroidUsbDevicesTest, WithoutTheMechanismThereIsNoPhone) {
    Fixture f;
    f.bLoads = false;
    f.Start(IADBDelegates::kPhoneReady);
    EXPECT_EQ(f.pDevices->GetCount(), 0);
    f.Stop();
    EXPECT_EQ(f.GetCalls(), "Load; Unload; ");
}

} // namespace
