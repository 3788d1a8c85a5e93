#include "phone/AndroidUsbDevices.h"
#include "tests/support/FakeCamera.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace {

// The forwarding mechanism in memory: every call is written down as a row of
// text; the test sets the status AppInitialize reports and which local ports
// are refused, and plays the mechanism's thread through Report.
class FakeDelegates : public IADBDelegates {
public:
    struct State {
        std::mutex mutex;
        std::condition_variable changed;
        bool bLoads = true;
        int nStatus = kPhoneReady;
        std::set<int> refused;
        std::vector<std::string> calls;
        DeviceStateCallback callback;
        // While gated, each AppInitialize waits for a ticket, the status it
        // then reports: the test decides when the watcher's scans happen.
        bool bGated = false;
        std::deque<int> tickets;
    };

    explicit FakeDelegates(std::shared_ptr<State> pState) : m_pState(std::move(pState)) {}

    bool Load() override { return Note("Load"), m_pState->bLoads; }
    void Unload() override { Note("Unload"); }
    int AppInitialize(DeviceStateCallback callback, int nReserved, bool bReserved) override {
        std::unique_lock<std::mutex> lock(m_pState->mutex);
        m_pState->callback = std::move(callback);
        m_pState->calls.push_back("AppInitialize " + std::to_string(nReserved) + " " +
                                  std::to_string(bReserved));
        m_pState->changed.notify_all();
        m_pState->changed.wait(lock,
                               [this] { return !m_pState->bGated || !m_pState->tickets.empty(); });
        if (!m_pState->bGated) {
            return m_pState->nStatus;
        }
        const int nStatus = m_pState->tickets.front();
        m_pState->tickets.pop_front();
        return nStatus;
    }
    bool RedirectTcpPort(int nLocal, int nPhone) override {
        Note("RedirectTcpPort " + std::to_string(nLocal) + " " + std::to_string(nPhone));
        std::lock_guard<std::mutex> lock(m_pState->mutex);
        return m_pState->refused.count(nLocal) == 0;
    }
    bool RedirectUdpPort(int, int) override { return Note("RedirectUdpPort"), false; }
    bool RemovePort(int nPort) override {
        return Note("RemovePort " + std::to_string(nPort)), true;
    }
    bool RemoveAll() override { return Note("RemoveAll"), true; }
    bool GetDeviceName(std::string&, std::string&) override { return false; }

private:
    void Note(const std::string& strCall) {
        std::lock_guard<std::mutex> lock(m_pState->mutex);
        m_pState->calls.push_back(strCall);
        m_pState->changed.notify_all();
    }
    std::shared_ptr<State> m_pState;
};

const std::vector<std::string> kSetUp = {
    "RemoveAll",
    "RedirectTcpPort 15000 5000",
    "RedirectTcpPort 25544 5544",
    "RedirectTcpPort 35545 5545",
    "RedirectTcpPort 48080 8080",
};

struct Fixture {
    std::shared_ptr<FakeDelegates::State> pState = std::make_shared<FakeDelegates::State>();
    // address:command port:video port:param of each camera asked for.
    std::vector<std::string> opened;
    bool bOpenSucceeds = true;
    std::unique_ptr<AndroidUsbDevices> pDevices;

    void Start() {
        pDevices = std::make_unique<AndroidUsbDevices>(
            std::make_unique<FakeDelegates>(pState),
            [this](const std::string& strAddress, uint16_t nCommand, uint16_t nVideo,
                   int nParam) -> ICamera* {
                opened.push_back(strAddress + ":" + std::to_string(nCommand) + ":" +
                                 std::to_string(nVideo) + ":" + std::to_string(nParam));
                return bOpenSucceeds ? new FakeCamera(64, 48) : nullptr;
            });
        pDevices->WaitFirstScan();
    }
    std::vector<std::string> Calls() {
        std::lock_guard<std::mutex> lock(pState->mutex);
        return pState->calls;
    }
    // Plays the mechanism's thread.
    void Report(int nState) {
        DeviceStateCallback callback;
        {
            std::lock_guard<std::mutex> lock(pState->mutex);
            callback = pState->callback;
        }
        ASSERT_TRUE(callback);
        callback(nState);
    }
    size_t Scans() {
        std::lock_guard<std::mutex> lock(pState->mutex);
        return static_cast<size_t>(
            std::count_if(pState->calls.begin(), pState->calls.end(), [](const std::string& s) {
                return s.compare(0, 13, "AppInitialize") == 0;
            }));
    }
    // Waits until the watcher has entered its nth scan.
    void WaitScans(size_t n) {
        std::unique_lock<std::mutex> lock(pState->mutex);
        ASSERT_TRUE(pState->changed.wait_for(lock, std::chrono::seconds(5), [&] {
            return std::count_if(pState->calls.begin(), pState->calls.end(),
                                 [](const std::string& s) {
                                     return s.compare(0, 13, "AppInitialize") == 0;
                                 }) >= static_cast<long>(n);
        }));
    }
    void Grant(int nStatus) {
        std::lock_guard<std::mutex> lock(pState->mutex);
        pState->tickets.push_back(nStatus);
        pState->changed.notify_all();
    }
    // Holds the watcher inside a scan caused by a state of no meaning, so
    // that the reports that follow wait for the next scan together.
    void Park() {
        const size_t nScans = Scans();
        Report(-100 - static_cast<int>(nScans));
        WaitScans(nScans + 1);
    }
    // Lets a parked scan end without effect.
    void Ungate() {
        std::lock_guard<std::mutex> lock(pState->mutex);
        pState->bGated = false;
        pState->nStatus = -3;
        pState->changed.notify_all();
    }
};

std::vector<std::string> Join(std::vector<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (auto& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

TEST(AndroidUsbDevicesTest, AReadyPhoneIsForwardedAndOpensOnItsLocalPorts) {
    Fixture f;
    f.Start();
    EXPECT_EQ(f.Calls(), Join({{"Load", "AppInitialize 0 0"}, kSetUp}));
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
    EXPECT_EQ(f.opened,
              (std::vector<std::string>{"127.0.0.1:15000:25544:7", "127.0.0.1:15000:25544:0"}));

    // Shutting down removes this run's forwardings one by one, then unloads.
    f.pDevices.reset();
    const auto calls = f.Calls();
    EXPECT_EQ(std::vector<std::string>(calls.end() - 5, calls.end()),
              (std::vector<std::string>{"RemovePort 15000", "RemovePort 25544", "RemovePort 35545",
                                        "RemovePort 48080", "Unload"}));
}

TEST(AndroidUsbDevicesTest, EachPortGetsTenTriesFromItsFirstLocalPort) {
    Fixture f;
    // 15000 taken: 5000 goes to the next port. 25544 to 25552 taken: the
    // tenth try succeeds. All ten for 5545 taken: it is left out.
    f.pState->refused = {15000, 25544, 25545, 25546, 25547, 25548, 25549, 25550, 25551, 25552};
    for (int n = 35545; n < 35555; ++n) {
        f.pState->refused.insert(n);
    }
    f.Start();
    const auto calls = f.Calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "RedirectTcpPort 35555 5545"), 0);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "RedirectTcpPort 35554 5545"), 1);
    EXPECT_EQ(calls.back(), "RedirectTcpPort 48080 8080");
    EXPECT_EQ(f.pDevices->GetCount(), 1);
    ICamera* pCamera = f.pDevices->CreateCamera(0, 0);
    ASSERT_NE(pCamera, nullptr);
    pCamera->Release();
    EXPECT_EQ(f.opened, (std::vector<std::string>{"127.0.0.1:15001:25553:0"}));

    // Without a forwarded command port the camera is asked for video alone.
    f.pDevices.reset();
    f.pState->calls.clear();
    for (int n = 15000; n < 15010; ++n) {
        f.pState->refused.insert(n);
    }
    f.Start();
    ASSERT_NE(pCamera = f.pDevices->CreateCamera(0, 0), nullptr);
    pCamera->Release();
    EXPECT_EQ(f.opened.back(), "127.0.0.1:0:25553:0");
}

TEST(AndroidUsbDevicesTest, StateReportsDriveTheForwarding) {
    Fixture f;
    f.pState->bGated = true;
    f.Grant(IADBDelegates::kNoPhone);
    f.Start();
    EXPECT_EQ(f.Calls(), (std::vector<std::string>{"Load", "AppInitialize 0 0"}));
    EXPECT_EQ(f.pDevices->GetCount(), 0);
    EXPECT_EQ(f.pDevices->CreateCamera(0, 0), nullptr);

    struct Step {
        const char* szName;
        std::vector<int> reports; // made before the watcher looks again
        int nStatusNow;           // what it then finds
        std::vector<std::string> calls;
        int nCount;
    };
    const std::string kScan = "AppInitialize 0 0";
    const Step steps[] = {
        {"ready", {0}, 0, Join({{kScan}, kSetUp}), 1},
        // A status that means neither ready nor gone changes nothing.
        {"unknown status", {-3}, -3, {kScan}, 1},
        {"gone", {-4}, -4, {kScan, "RemoveAll"}, 0},
        {"gone again", {-5}, -5, {kScan}, 0},
        {"back", {0}, 0, Join({{kScan}, kSetUp}), 1},
        {"ready and still ready", {0}, 0, {kScan}, 1},
        // Gone and back before the watcher looked: the forwarding went with
        // the phone, so it is set up anew.
        {"gone and back", {-5, 0}, 0, Join({{kScan, "RemoveAll"}, kSetUp}), 1},
        {"unusable", {-5}, -5, {kScan, "RemoveAll"}, 0},
    };
    f.Park();
    for (const Step& step : steps) {
        SCOPED_TRACE(step.szName);
        for (int nState : step.reports) {
            f.Report(nState);
        }
        // The parked scan ends without effect; the next one takes the reports.
        const size_t nScans = f.Scans();
        f.Grant(-3);
        f.WaitScans(nScans + 1);
        const size_t nFrom = f.Calls().size() - 1;
        f.Grant(step.nStatusNow);
        f.Park();
        const auto calls = f.Calls();
        EXPECT_EQ(std::vector<std::string>(calls.begin() + nFrom, calls.end() - 1), step.calls);
        EXPECT_EQ(f.pDevices->GetCount(), step.nCount);
        EXPECT_EQ(f.pDevices->FindName("[USB Device]"), step.nCount ? 0 : -1);
    }
    f.Ungate();
    f.pDevices.reset();
    // Nothing is forwarded at shutdown: nothing to remove.
    const auto calls = f.Calls();
    EXPECT_EQ(calls.back(), "Unload");
    EXPECT_EQ(calls[calls.size() - 2], kScan);
}

TEST(AndroidUsbDevicesTest, WithoutTheMechanismThereIsNoPhone) {
    Fixture f;
    f.pState->bLoads = false;
    f.Start();
    EXPECT_EQ(f.pDevices->GetCount(), 0);
    EXPECT_EQ(f.pDevices->FindName("[USB Device]"), -1);
    EXPECT_EQ(f.pDevices->CreateCamera(0, 0), nullptr);
    f.pDevices.reset();
    EXPECT_EQ(f.Calls(), (std::vector<std::string>{"Load", "Unload"}));
}

} // namespace
