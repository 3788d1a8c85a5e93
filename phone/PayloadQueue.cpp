#include "phone/PayloadQueue.h"

PayloadQueue::PayloadQueue(int nSlots, size_t nMaxBytes)
    : m_slots(static_cast<size_t>(nSlots < 1 ? 1 : nSlots)), m_nMaxBytes(nMaxBytes) {}

void PayloadQueue::Reset() {
    std::lock_guard<std::mutex> lock(m_lock);
    m_nFirst = 0;
    m_nCount = 0;
    m_nBytes = 0;
    m_bSkipToKey = false;
    m_bStopped = false;
}

bool PayloadQueue::Push(const unsigned char* pData, size_t nLength) {
    std::unique_lock<std::mutex> lock(m_lock);
    if (m_bSkipToKey) {
        if (!IsKeyPayload(pData, nLength)) {
            ++m_nDropped;
            return false;
        }
        m_bSkipToKey = false;
    }
    const auto nSlots = static_cast<int>(m_slots.size());
    if (m_nCount == nSlots || m_nBytes + nLength > m_nMaxBytes) {
        // What is queued cannot be decoded without what came before it.
        m_nDropped += m_nCount;
        m_nCount = 0;
        m_nBytes = 0;
        if (!IsKeyPayload(pData, nLength)) {
            m_bSkipToKey = true;
            ++m_nDropped;
            return false;
        }
    }
    m_slots[static_cast<size_t>((m_nFirst + m_nCount) % nSlots)].assign(pData, pData + nLength);
    ++m_nCount;
    m_nBytes += nLength;
    lock.unlock();
    m_signal.notify_one();
    return true;
}

bool PayloadQueue::Pop(std::vector<unsigned char>& payload) {
    std::unique_lock<std::mutex> lock(m_lock);
    m_signal.wait(lock, [this] { return m_nCount > 0 || m_bStopped; });
    if (m_bStopped) {
        return false;
    }
    payload.swap(m_slots[static_cast<size_t>(m_nFirst)]);
    m_nFirst = (m_nFirst + 1) % static_cast<int>(m_slots.size());
    --m_nCount;
    m_nBytes -= payload.size();
    return true;
}

void PayloadQueue::Stop() {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_bStopped = true;
    }
    m_signal.notify_all();
}

int PayloadQueue::Size() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_nCount;
}

long long PayloadQueue::Dropped() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_nDropped;
}

bool PayloadQueue::IsKeyPayload(const unsigned char* pData, size_t nLength) {
    for (size_t i = 0; i + 3 < nLength; ++i) {
        if (pData[i] != 0 || pData[i + 1] != 0 || pData[i + 2] != 1) {
            continue;
        }
        const int nType = pData[i + 3] & 0x1F;
        if (nType == 5 || nType == 7) {
            return true;
        }
        if (nType == 1) {
            return false;
        }
        i += 3;
    }
    return false;
}
