#include "phone/PacketSplitter.h"

#include "phone/PhonePacket.h"

#include <cstring>

PacketSplitter::PacketSplitter(int nCapacity)
    : m_buffer(static_cast<size_t>(nCapacity < PhonePacket::kMinLength ? PhonePacket::kMinLength
                                                                       : nCapacity)) {}

void PacketSplitter::Reset() {
    m_nHeld = 0;
    m_nPendingStart = -1;
    m_nPendingLength = 0;
}

void PacketSplitter::Commit(int nReceived, const Handler& handler) {
    if (nReceived <= 0 || nReceived > SpaceSize()) {
        return;
    }
    m_nHeld += nReceived;
    int nScan = 0;
    for (;;) {
        if (m_nPendingStart < 0) {
            if (nScan + 8 >= m_nHeld) {
                break;
            }
            const int32_t nHead = PhonePacket::LoadInt32(m_buffer.data() + nScan);
            const int32_t nLength = PhonePacket::LoadInt32(m_buffer.data() + nScan + 4);
            if (!PhonePacket::IsHead(nHead) || nLength < PhonePacket::kMinLength ||
                nLength > static_cast<int32_t>(m_buffer.size())) {
                ++nScan;
                ++m_nSkipped;
                continue;
            }
            m_nPendingStart = nScan;
            m_nPendingLength = nLength;
        }
        if (m_nPendingStart + m_nPendingLength > m_nHeld) {
            break;
        }
        if (handler) {
            handler(m_buffer.data() + m_nPendingStart, m_nPendingLength);
        }
        nScan = m_nPendingStart + m_nPendingLength;
        m_nPendingStart = -1;
    }
    if (nScan == 0) {
        return;
    }
    if (nScan >= m_nHeld) {
        m_nHeld = 0;
        return;
    }
    std::memmove(m_buffer.data(), m_buffer.data() + nScan, static_cast<size_t>(m_nHeld - nScan));
    m_nHeld -= nScan;
    if (m_nPendingStart >= 0) {
        m_nPendingStart -= nScan;
    }
}
