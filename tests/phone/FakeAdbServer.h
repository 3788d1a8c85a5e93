#pragma once

#include "phone/IAdbServer.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// The device states a delegate reported, in order.
class StateLog {
public:
    void Add(int nState) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_states.push_back(nState);
        m_changed.notify_all();
    }
    // The states so far, once there are n of them (or after 10 s).
    std::vector<int> WaitFor(size_t n) {
        return Wait([&] { return m_states.size() >= n; });
    }
    // The states so far, once the last one is nState (or after 10 s).
    std::vector<int> WaitForLast(int nState) {
        return Wait([&] { return !m_states.empty() && m_states.back() == nState; });
    }
    void Clear() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_states.clear();
    }

private:
    template <typename Predicate> std::vector<int> Wait(Predicate predicate) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait_for(lock, std::chrono::seconds(10), predicate);
        return m_states;
    }
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<int> m_states;
};

// An adb server in memory. Each connection records the bytes it was sent;
// once a whole request has arrived it answers with the reply set for that
// service (in pieces of nChunk bytes when nChunk is set), then closes. A
// track-devices connection stays open and hands out what the test pushes.
class FakeAdbServer : public IAdbServer {
public:
    struct State {
        std::mutex mutex;
        std::condition_variable changed;
        bool bAnswering = true;
        // Whether StartServer makes the server answer.
        bool bStartWorks = true;
        int nStartCalls = 0;
        size_t nChunk = 0;
        std::map<std::string, std::string> replies;
        // What each connection was sent, in order of connection.
        std::vector<std::string> requests;
        // The open track-devices connection: bytes not yet read, and whether
        // the test closed it.
        int nTrackConnections = 0;
        std::string strTrackBytes;
        bool bTrackClosed = false;
    };

    FakeAdbServer() : m_pState(std::make_shared<State>()) {}
    std::shared_ptr<State> GetState() const { return m_pState; }

    // Streams bytes to the open track-devices connection.
    void PushTrack(const std::string& strBytes);
    // Ends the open track-devices connection, as a server that exits.
    void CloseTrack();
    // Waits until n track-devices connections were made; false after 5 s.
    bool WaitTrackConnections(int n);

    std::unique_ptr<IAdbConnection> Connect(int nReceiveTimeoutMs) override;
    bool StartServer() override;

private:
    std::shared_ptr<State> m_pState;
};
