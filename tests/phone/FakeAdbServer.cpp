#include "tests/phone/FakeAdbServer.h"

#include "phone/AdbProtocol.h"

#include <algorithm>
#include <cstring>

namespace {

class FakeAdbConnection : public IAdbConnection {
public:
    FakeAdbConnection(std::shared_ptr<FakeAdbServer::State> pState, size_t nIndex)
        : m_pState(std::move(pState)), m_nIndex(nIndex) {}

    bool SendAll(const char* pData, size_t nSize) override {
        std::lock_guard<std::mutex> lock(m_pState->mutex);
        std::string& strSent = m_pState->requests[m_nIndex];
        strSent.append(pData, nSize);
        size_t nLength = 0;
        if (m_bAnswered || strSent.size() < 4 ||
            !AdbProtocol::ParseHexLength(strSent.data(), nLength) || strSent.size() < 4 + nLength) {
            return true;
        }
        m_bAnswered = true;
        const std::string strService = strSent.substr(4, nLength);
        if (strService == "host:track-devices") {
            m_bTrack = true;
            ++m_pState->nTrackConnections;
            m_pState->strTrackBytes.clear();
            m_pState->bTrackClosed = false;
            m_pState->changed.notify_all();
        } else {
            auto it = m_pState->replies.find(strService);
            m_strReply =
                it != m_pState->replies.end() ? it->second : "FAIL0014unknown host service";
        }
        return true;
    }

    long Receive(char* pData, size_t nSize) override {
        std::unique_lock<std::mutex> lock(m_pState->mutex);
        if (m_bTrack) {
            m_pState->changed.wait(lock, [this] {
                return m_bInterrupted || m_pState->bTrackClosed || !m_pState->strTrackBytes.empty();
            });
            if (m_bInterrupted) {
                return -1;
            }
            return Hand(m_pState->strTrackBytes, pData, nSize);
        }
        if (!m_bAnswered || m_bInterrupted) {
            return -1;
        }
        return Hand(m_strReply, pData, nSize);
    }

    void Interrupt() override {
        std::lock_guard<std::mutex> lock(m_pState->mutex);
        m_bInterrupted = true;
        m_pState->changed.notify_all();
    }

private:
    long Hand(std::string& strSource, char* pData, size_t nSize) {
        size_t n = std::min(nSize, strSource.size());
        if (m_pState->nChunk) {
            n = std::min(n, m_pState->nChunk);
        }
        std::memcpy(pData, strSource.data(), n);
        strSource.erase(0, n);
        return static_cast<long>(n);
    }

    std::shared_ptr<FakeAdbServer::State> m_pState;
    size_t m_nIndex;
    bool m_bAnswered = false;
    bool m_bTrack = false;
    bool m_bInterrupted = false;
    std::string m_strReply;
};

} // namespace

void FakeAdbServer::PushTrack(const std::string& strBytes) {
    std::lock_guard<std::mutex> lock(m_pState->mutex);
    m_pState->strTrackBytes += strBytes;
    m_pState->changed.notify_all();
}

void FakeAdbServer::CloseTrack() {
    std::lock_guard<std::mutex> lock(m_pState->mutex);
    m_pState->bTrackClosed = true;
    m_pState->changed.notify_all();
}

bool FakeAdbServer::WaitTrackConnections(int n) {
    std::unique_lock<std::mutex> lock(m_pState->mutex);
    return m_pState->changed.wait_for(lock, std::chrono::seconds(5),
                                      [&] { return m_pState->nTrackConnections >= n; });
}

std::unique_ptr<IAdbConnection> FakeAdbServer::Connect(int /*nReceiveTimeoutMs*/) {
    std::lock_guard<std::mutex> lock(m_pState->mutex);
    if (!m_pState->bAnswering) {
        return nullptr;
    }
    m_pState->requests.emplace_back();
    return std::make_unique<FakeAdbConnection>(m_pState, m_pState->requests.size() - 1);
}

bool FakeAdbServer::StartServer() {
    std::lock_guard<std::mutex> lock(m_pState->mutex);
    ++m_pState->nStartCalls;
    if (m_pState->bStartWorks) {
        m_pState->bAnswering = true;
    }
    return m_pState->bStartWorks;
}
