#include "phone/AdbDelegates.h"
#include "tests/phone/FakeAdbServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace {

// The states the callback received, in order.
class StateLog {
public:
    void Add(int nState) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_states.push_back(nState);
        m_changed.notify_all();
    }
    // The states once there are n of them (or what came within 5 s).
    std::vector<int> WaitFor(size_t n) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait_for(lock, std::chrono::seconds(5), [&] { return m_states.size() >= n; });
        return m_states;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<int> m_states;
};

TEST(AdbTrackTest, ReportsEveryListInOrderAndSurvivesTheServerGoing) {
    auto* pServer = new FakeAdbServer;
    auto pState = pServer->GetState();
    pState->replies["host:version"] = "OKAY00040029";
    pState->replies["host:devices-l"] = "OKAY0000";
    StateLog log;
    {
        AdbDelegates delegates{std::unique_ptr<IAdbServer>(pServer)};
        ASSERT_TRUE(delegates.Load());
        ASSERT_EQ(delegates.AppInitialize([&](int n) { log.Add(n); }, 0, false), -4);
        ASSERT_TRUE(pServer->WaitTrackConnections(1));
        {
            std::lock_guard<std::mutex> lock(pState->mutex);
            EXPECT_EQ(pState->requests.back(), "0012host:track-devices");
        }

        // The server's replies in awkward pieces: split inside the status,
        // the length and a line, and two lists in one piece.
        for (const char* szPiece :
             {"OK", "AY00", "16127.0.0.1:6301\tdev", "ice\n0017127.0.0.1:6301\toffline\n0000"}) {
            pServer->PushTrack(szPiece);
        }
        EXPECT_EQ(log.WaitFor(3), (std::vector<int>{0, -5, -4}));

        // A server that exits takes every forwarding with it: no phone.
        pServer->PushTrack("0016127.0.0.1:6301\tdevice\n");
        EXPECT_EQ(log.WaitFor(4).back(), 0);
        pServer->CloseTrack();
        EXPECT_EQ(log.WaitFor(5).back(), -4);

        // Tracking resumes when a server answers again.
        ASSERT_TRUE(pServer->WaitTrackConnections(2));
        pServer->PushTrack("OKAY0016127.0.0.1:6301\tdevice\n");
        EXPECT_EQ(log.WaitFor(6), (std::vector<int>{0, -5, -4, 0, -4, 0}));
        // Leaving the scope unloads while the thread waits in a read.
    }
    EXPECT_EQ(log.WaitFor(6).size(), 6u);
}

} // namespace
