#include "phone/AndroidUsbDevices.h"
#include "tests/support/FakeCamera.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <set>

namespace {

using Calls = std::vector<std::string>;

// The forwarding mechanism in memory. Every call is written down as a row of
// text. Each AppInitialize waits for a ticket from the test, the status it
// then reports, so the test decides when the watcher's looks end; once the
// test is closing, they report -3, which changes nothing.
struct FakeMechanism {
    std::mutex mutex;
    std::condition_variable changed;
    bool bLoads = true;
    bool bClosing = false;
    std::deque<int> tickets;
    std::set<int> refused; // local ports RedirectTcpPort refuses
    Calls calls;
    DeviceStateCallback callback;

    void Note(const std::string& strCall) {
        std::lock_guard<std::mutex> lock(mutex);
        calls.push_back(strCall);
        changed.notify_all();
    }
};

class FakeDelegates : public IADBDelegates {
public:
    explicit FakeDelegates(std::shared_ptr<FakeMechanism> p) : m_p(std::move(p)) {}

    bool Load() override { return m_p->Note("Load"), m_p->bLoads; }
    void Unload() override { m_p->Note("Unload"); }
    int AppInitialize(DeviceStateCallback callback, int nReserved, bool bReserved) override {
        std::unique_lock<std::mutex> lock(m_p->mutex);
        m_p->callback = std::move(callback);
        m_p->calls.push_back("scan " + std::to_string(nReserved) + std::to_string(bReserved));
        m_p->changed.notify_all();
        m_p->changed.wait(lock, [this] { return m_p->bClosing || !m_p->tickets.empty(); });
        if (m_p->bClosing) {
            return -3;
        }
        const int nStatus = m_p->tickets.front();
        m_p->tickets.pop_front();
        return nStatus;
    }
    bool RedirectTcpPort(int nLocal, int nPhone) override {
        m_p->Note("forward " + std::to_string(nLocal) + " " + std::to_string(nPhone));
        std::lock_guard<std::mutex> lock(m_p->mutex);
        return m_p->refused.count(nLocal) == 0;
    }
    bool RedirectUdpPort(int, int) override { return m_p->Note("udp"), false; }
    bool RemovePort(int nPort) override {
        return m_p->Note("remove " + std::to_string(nPort)), true;
    }
    bool RemoveAll() override { return m_p->Note("remove all"), true; }
    bool GetDeviceName(std::string&, std::string&) override { return false; }

private:
    std::shared_ptr<FakeMechanism> m_p;
};

const Calls kSetUp = {"remove all", "forward 15000 5000", "forward 25544 5544",
                      "forward 35545 5545", "forward 48080 8080"};

Calls Join(std::initializer_list<Calls> parts) {
    Calls all;
    for (const Calls& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

struct Fixture {
    std::shared_ptr<FakeMechanism> p = std::make_shared<FakeMechanism>();
    Calls opened; // "address:command port:video port:param" of each camera asked for
    bool bOpenSucceeds = true;
    std::unique_ptr<AndroidUsbDevices> pDevices;

    ~Fixture() { Stop(); }
    // Starts with the status of the first look.
    void Start(int nFirstStatus) {
        Grant(nFirstStatus);
        pDevices = std::make_unique<AndroidUsbDevices>(
            std::make_unique<FakeDelegates>(p),
            [this](const std::string& strAddress, uint16_t nCommand, uint16_t nVideo,
                   int nParam) -> ICamera* {
                opened.push_back(strAddress + ":" + std::to_string(nCommand) + ":" +
                                 std::to_string(nVideo) + ":" + std::to_string(nParam));
                return bOpenSucceeds ? new FakeCamera(64, 48) : nullptr;
            });
        pDevices->WaitFirstScan();
    }
    void Stop() {
        {
            std::lock_guard<std::mutex> lock(p->mutex);
            p->bClosing = true;
            p->changed.notify_all();
        }
        pDevices.reset();
    }
    Calls GetCalls() {
        std::lock_guard<std::mutex> lock(p->mutex);
        return p->calls;
    }
    void Grant(int nStatus) {
        std::lock_guard<std::mutex> lock(p->mutex);
        p->tickets.push_back(nStatus);
        p->changed.notify_all();
    }
    // Plays the mechanism's own thread.
    void Report(int nState) {
        DeviceStateCallback callback;
        {
            std::lock_guard<std::mutex> lock(p->mutex);
            callback = p->callback;
        }
        ASSERT_TRUE(callback);
        callback(nState);
    }
    size_t ScansLocked() {
        return std::count_if(p->calls.begin(), p->calls.end(),
                             [](const std::string& s) { return s.compare(0, 4, "scan") == 0; });
    }
    // Waits until the watcher has begun one more look than n.
    void WaitScanAfter(size_t n) {
        std::unique_lock<std::mutex> lock(p->mutex);
        ASSERT_TRUE(
            p->changed.wait_for(lock, std::chrono::seconds(5), [&] { return ScansLocked() > n; }));
    }
    size_t Scans() {
        std::lock_guard<std::mutex> lock(p->mutex);
        return ScansLocked();
    }
    // Holds the watcher inside a look caused by a state of no meaning, so the
    // reports that follow are all taken by the next look.
    void Park() {
        const size_t nScans = Scans();
        Report(-100 - static_cast<int>(nScans));
        WaitScanAfter(nScans);
    }
};

TEST(AndroidUsbDevicesTest, AReadyPhoneIsForwardedAndOpensOnItsLocalPorts) {
    Fixture f;
    f.Start(IADBDelegates::kPhoneReady);
    EXPECT_EQ(f.GetCalls(), Join({{"Load", "scan 00"}, kSetUp}));
    EXPECT_EQ(f.pDevices->GetCount(), 1);
    EXPECT_STREQ(f.pDevices->GetName(0), "[USB Device]");
    EXPECT_EQ(f.pDevices->GetName(1), nullptr);
    EXPECT_EQ(f.pDevices->FindName("[USB Device]"), 0);
    EXPECT_EQ(f.pDevices->FindName("[USB Device] "), -1);
    EXPECT_EQ(f.pDevices->FindName(nullptr), -1);

    EXPECT_EQ(f.pDevices->CreateCamera(1, 0), nullptr);
    ICamera* pCamera = f.pDevices->CreateCamera(0, 7);
    ASSERT_NE(pCamera, nullptr);
    pCamera->Release();
    f.bOpenSucceeds = false;
    EXPECT_EQ(f.pDevices->CreateCamera(0, 0), nullptr);
    EXPECT_EQ(f.opened, (Calls{"127.0.0.1:15000:25544:7", "127.0.0.1:15000:25544:0"}));

    // Shutting down removes this run's forwardings one by one, then unloads.
    f.Stop();
    const Calls calls = f.GetCalls();
    EXPECT_EQ(Calls(calls.end() - 5, calls.end()),
              (Calls{"remove 15000", "remove 25544", "remove 35545", "remove 48080", "Unload"}));
}

TEST(AndroidUsbDevicesTest, EachPortGetsTenTriesFromItsFirstLocalPort) {
    Fixture f;
    // 15000 taken: 5000 goes to the next one. 25544 to 25552 taken: the
    // tenth try succeeds. All ten for 5545 taken: it is left out.
    f.p->refused = {15000, 25544, 25545, 25546, 25547, 25548, 25549, 25550, 25551, 25552};
    for (int n = 35545; n < 35555; ++n) {
        f.p->refused.insert(n);
    }
    f.Start(IADBDelegates::kPhoneReady);
    const Calls calls = f.GetCalls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "forward 35554 5545"), 1);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "forward 35555 5545"), 0);
    EXPECT_EQ(calls.back(), "forward 48080 8080");
    EXPECT_EQ(f.pDevices->GetCount(), 1);
    ICamera* pCamera = f.pDevices->CreateCamera(0, 0);
    ASSERT_NE(pCamera, nullptr);
    pCamera->Release();

    // Without a forwarded command port the camera is asked for video alone.
    f.Stop();
    f.p->bClosing = false;
    for (int n = 15000; n < 15010; ++n) {
        f.p->refused.insert(n);
    }
    f.Start(IADBDelegates::kPhoneReady);
    ASSERT_NE(pCamera = f.pDevices->CreateCamera(0, 0), nullptr);
    pCamera->Release();
    EXPECT_EQ(f.opened, (Calls{"127.0.0.1:15001:25553:0", "127.0.0.1:0:25553:0"}));
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
    const Step steps[] = {
        {"ready", {0}, 0, Join({{"scan 00"}, kSetUp}), 1},
        // A status that means neither ready nor gone changes nothing.
        {"unknown status", {-3}, -3, {"scan 00"}, 1},
        {"gone", {-4}, -4, {"scan 00", "remove all"}, 0},
        {"gone again", {-5}, -5, {"scan 00"}, 0},
        {"back", {0}, 0, Join({{"scan 00"}, kSetUp}), 1},
        {"still ready", {0}, 0, {"scan 00"}, 1},
        // Gone and back before the watcher looked: the forwarding went with
        // the phone, so it is set up anew.
        {"gone and back", {-5, 0}, 0, Join({{"scan 00", "remove all"}, kSetUp}), 1},
        {"unusable", {-5}, -5, {"scan 00", "remove all"}, 0},
    };
    f.Park();
    for (const Step& step : steps) {
        SCOPED_TRACE(step.szName);
        for (int nState : step.reports) {
            f.Report(nState);
        }
        // The parked look ends without effect; the next one takes the reports.
        const size_t nScans = f.Scans();
        f.Grant(-3);
        f.WaitScanAfter(nScans);
        const size_t nFrom = f.GetCalls().size() - 1;
        f.Grant(step.nStatusNow);
        f.Park();
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
    f.p->bLoads = false;
    f.Start(IADBDelegates::kPhoneReady);
    EXPECT_EQ(f.pDevices->GetCount(), 0);
    EXPECT_EQ(f.pDevices->FindName("[USB Device]"), -1);
    EXPECT_EQ(f.pDevices->CreateCamera(0, 0), nullptr);
    f.Stop();
    EXPECT_EQ(f.GetCalls(), (Calls{"Load", "Unload"}));
}

} // namespace
