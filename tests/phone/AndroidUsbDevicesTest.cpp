// The USB phone source over a forwarding mechanism in memory: which ports it
// forwards, the camera it makes, and how device-state reports move it.

#include "phone/AndroidUsbDevices.h"
#include "tests/phone/PhonePeer.h"
#include "tests/support/FakeCamera.h"

#include <gtest/gtest.h>

#include <set>

namespace {

using Calls = std::vector<std::string>;

// Every call of the mechanism is written down as a row of text. Each look
// (AppInitialize) waits until the test ends it with a status, so the test
// decides when the watcher's looks end; once the test is closing, they
// report -3, which changes nothing.
struct Fixture : Signal {
    bool bLoads = true;
    bool bClosing = false;
    bool bLooking = false; // a look waits for its status
    int nStatus = 0;
    std::set<int> refused; // local ports RedirectTcpPort refuses
    Calls calls;
    DeviceStateCallback callback;
    Calls opened; // "address:command port:video port:param" of each camera asked for
    bool bOpenSucceeds = true;
    std::unique_ptr<AndroidUsbDevices> pDevices;

    class Delegates : public IADBDelegates {
    public:
        explicit Delegates(Fixture& f) : f(f) {}
        bool Load() override { return f.Note("Load", f.bLoads); }
        void Unload() override { f.Note("Unload"); }
        int AppInitialize(DeviceStateCallback callback, int nReserved, bool bReserved) override {
            std::unique_lock<std::mutex> lock(f.mutex);
            f.callback = std::move(callback);
            f.calls.push_back("scan " + std::to_string(nReserved) + std::to_string(bReserved));
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

    private:
        Fixture& f;
    };

    ~Fixture() { Stop(); }
    bool Note(const std::string& strCall, bool bResult = true) {
        Change([&] { calls.push_back(strCall); });
        return bResult;
    }
    // Starts with the status of the first look.
    void Start(int nFirstStatus) {
        pDevices = std::make_unique<AndroidUsbDevices>(
            std::make_unique<Delegates>(*this),
            [this](const std::string& strAddress, uint16_t nCommand, uint16_t nVideo,
                   int nParam) -> ICamera* {
                opened.push_back(strAddress + ":" + std::to_string(nCommand) + ":" +
                                 std::to_string(nVideo) + ":" + std::to_string(nParam));
                return bOpenSucceeds ? new FakeCamera(64, 48) : nullptr;
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
    Calls GetCalls() {
        std::lock_guard<std::mutex> lock(mutex);
        return calls;
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

const Calls kSetUp = {"remove all", "forward 15000 5000", "forward 25544 5544",
                      "forward 35545 5545", "forward 48080 8080"};

TEST(AndroidUsbDevicesTest, AReadyPhoneIsForwardedAndOpensOnItsLocalPorts) {
    Fixture f;
    // Each port gets ten tries from its first local port: all ten for 5000
    // are taken, so it is left out; for 5544 the tenth succeeds.
    for (int n = 0; n < 10; ++n) {
        f.refused.insert({15000 + n, 25544 + n});
    }
    f.refused.erase(25553);
    f.Start(IADBDelegates::kPhoneReady);
    Calls expected = {"Load", "scan 00", "remove all"};
    for (int n = 0; n < 20; ++n) {
        expected.push_back(n < 10 ? "forward " + std::to_string(15000 + n) + " 5000"
                                  : "forward " + std::to_string(25534 + n) + " 5544");
    }
    expected.insert(expected.end(), {"forward 35545 5545", "forward 48080 8080"});
    EXPECT_EQ(f.GetCalls(), expected);
    EXPECT_EQ(f.pDevices->GetCount(), 1);
    EXPECT_STREQ(f.pDevices->GetName(0), "[USB Device]");
    EXPECT_EQ(f.pDevices->GetName(1), nullptr);
    EXPECT_EQ(f.pDevices->FindName("[USB Device]"), 0);
    EXPECT_EQ(f.pDevices->FindName("[USB Device] "), -1);
    EXPECT_EQ(f.pDevices->FindName(nullptr), -1);

    // Without a forwarded command port the camera is asked for video alone.
    EXPECT_EQ(f.pDevices->CreateCamera(1, 0), nullptr);
    ICamera* pCamera = f.pDevices->CreateCamera(0, 7);
    ASSERT_NE(pCamera, nullptr);
    pCamera->Release();
    f.bOpenSucceeds = false;
    EXPECT_EQ(f.pDevices->CreateCamera(0, 0), nullptr);
    EXPECT_EQ(f.opened, (Calls{"127.0.0.1:0:25553:7", "127.0.0.1:0:25553:0"}));

    // Shutting down removes this run's forwardings one by one, then unloads.
    f.Stop();
    const Calls calls = f.GetCalls();
    EXPECT_EQ(Calls(calls.end() - 4, calls.end()),
              (Calls{"remove 25553", "remove 35545", "remove 48080", "Unload"}));
}

TEST(AndroidUsbDevicesTest, StateReportsDriveTheForwarding) {
    Fixture f;
    f.Start(IADBDelegates::kNoPhone);
    EXPECT_EQ(f.GetCalls(), (Calls{"Load", "scan 00"}));
    EXPECT_EQ(f.pDevices->GetCount(), 0);
    EXPECT_EQ(f.pDevices->CreateCamera(0, 0), nullptr);

    struct Step {
        const char* szName;
        std::vector<int> reports; // made before the watcher looks again
        int nStatusNow;           // what it then finds
        Calls calls;
        int nCount;
    };
    const Calls kLook = {"scan 00"};
    const auto concat = [](Calls all, const Calls& more) {
        all.insert(all.end(), more.begin(), more.end());
        return all;
    };
    const Step steps[] = {
        {"ready", {0}, 0, concat(kLook, kSetUp), 1},
        // A status that means neither ready nor gone changes nothing.
        {"unknown status", {-3}, -3, kLook, 1},
        {"gone", {-4}, -4, {"scan 00", "remove all"}, 0},
        {"gone again", {-5}, -5, kLook, 0},
        {"back", {0}, 0, concat(kLook, kSetUp), 1},
        {"still ready", {0}, 0, kLook, 1},
        // Gone and back before the watcher looked: the forwarding went with
        // the phone, so it is set up anew.
        {"gone and back", {-5, 0}, 0, concat({"scan 00", "remove all"}, kSetUp), 1},
        {"unusable", {-5}, -5, {"scan 00", "remove all"}, 0},
    };
    // The watcher is held inside a look caused by a state of no meaning,
    // so that the reports of a step are all taken by the next look.
    int nPark = -100;
    f.Report(nPark);
    for (const Step& step : steps) {
        SCOPED_TRACE(step.szName);
        f.WaitLooking();
        for (int nState : step.reports) {
            f.Report(nState);
        }
        const size_t nFrom = f.GetCalls().size();
        f.Look(-3); // the held look ends without effect
        f.Look(step.nStatusNow);
        // Once the watcher is held again, the step's look is over.
        f.Report(--nPark);
        f.WaitLooking();
        const Calls calls = f.GetCalls();
        EXPECT_EQ(Calls(calls.begin() + nFrom, calls.end() - 1), step.calls);
        EXPECT_EQ(f.pDevices->GetCount(), step.nCount);
        EXPECT_EQ(f.pDevices->FindName("[USB Device]"), step.nCount ? 0 : -1);
    }
    // Nothing is forwarded at shutdown: nothing to remove.
    f.Stop();
    const Calls calls = f.GetCalls();
    EXPECT_EQ(Calls(calls.end() - 2, calls.end()), (Calls{"scan 00", "Unload"}));
}

TEST(AndroidUsbDevicesTest, WithoutTheMechanismThereIsNoPhone) {
    Fixture f;
    f.bLoads = false;
    f.Start(IADBDelegates::kPhoneReady);
    EXPECT_EQ(f.pDevices->GetCount(), 0);
    EXPECT_EQ(f.pDevices->FindName("[USB Device]"), -1);
    EXPECT_EQ(f.pDevices->CreateCamera(0, 0), nullptr);
    f.Stop();
    EXPECT_EQ(f.GetCalls(), (Calls{"Load", "Unload"}));
}

} // namespace
