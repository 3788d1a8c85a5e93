#include "phone/VideoPacketFramer.h"

#include "phone/PhonePacket.h"

#include <climits>

VideoPacketFramer::VideoPacketFramer(unsigned int nMaxPayload) : m_nMaxPayload(nMaxPayload) {}

void VideoPacketFramer::Reset() {
    m_nHeaderFill = 0;
    m_nBodyFill = 0;
    m_nBodyExpected = 0;
    m_bCorrupt = false;
}

unsigned char* VideoPacketFramer::Space() {
    return m_nBodyExpected == 0 ? m_header + m_nHeaderFill : m_body.data() + m_nBodyFill;
}

int VideoPacketFramer::SpaceSize() const {
    if (m_bCorrupt) {
        return 0;
    }
    if (m_nBodyExpected == 0) {
        return kHeaderSize - m_nHeaderFill;
    }
    const unsigned int nWanted = m_nBodyExpected - m_nBodyFill;
    return nWanted > INT_MAX ? INT_MAX : static_cast<int>(nWanted);
}

bool VideoPacketFramer::Commit(int nReceived, const Handler& handler) {
    if (m_bCorrupt) {
        return false;
    }
    if (nReceived <= 0 || nReceived > SpaceSize()) {
        return true;
    }
    if (m_nBodyExpected == 0) {
        m_nHeaderFill += nReceived;
        if (m_nHeaderFill < kHeaderSize) {
            return true;
        }
        const auto nLength = static_cast<uint32_t>(PhonePacket::LoadInt32(m_header + 16));
        if (nLength > m_nMaxPayload) {
            m_bCorrupt = true;
            return false;
        }
        m_nBodyExpected = nLength + kTrailerSize;
        // Grows to the largest packet seen and stays there.
        if (m_body.size() < m_nBodyExpected) {
            m_body.resize(m_nBodyExpected);
        }
        m_nHeaderFill = 0;
        m_nBodyFill = 0;
        return true;
    }
    m_nBodyFill += static_cast<unsigned int>(nReceived);
    if (m_nBodyFill < m_nBodyExpected) {
        return true;
    }
    const unsigned int nPayload = m_nBodyExpected - kTrailerSize;
    m_nBodyExpected = 0;
    m_nBodyFill = 0;
    if (handler) {
        handler(m_body.data(), nPayload);
    }
    return true;
}
