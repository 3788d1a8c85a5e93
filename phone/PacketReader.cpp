#include "phone/PacketReader.h"

#include "phone/PhonePacket.h"

PacketReader::PacketReader(const unsigned char* pBuffer, int nSize)
    : m_pBuffer(pBuffer), m_nSize(nSize < 0 ? 0 : nSize) {}

int32_t PacketReader::ReadInt32() {
    if (m_bFailed || m_nSize - m_nPosition < 4) {
        m_bFailed = true;
        return 0;
    }
    const int32_t nValue = PhonePacket::LoadInt32(m_pBuffer + m_nPosition);
    m_nPosition += 4;
    return nValue;
}

void PacketReader::SetPosition(int nPosition) {
    if (nPosition < 0 || nPosition > m_nSize) {
        m_bFailed = true;
        return;
    }
    m_nPosition = nPosition;
}
