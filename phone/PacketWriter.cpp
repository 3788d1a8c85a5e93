#include "phone/PacketWriter.h"

#include <cstring>

PacketWriter::PacketWriter(unsigned char* pBuffer, int nCapacity)
    : m_pBuffer(pBuffer), m_nCapacity(nCapacity < 0 ? 0 : nCapacity) {}

bool PacketWriter::Reserve(int nBytes) {
    if (m_bOverflowed || nBytes < 0 || nBytes > m_nCapacity - m_nPosition) {
        m_bOverflowed = true;
        return false;
    }
    return true;
}

void PacketWriter::Advance(int nBytes) {
    m_nPosition += nBytes;
    if (m_nPosition > m_nExtent) {
        m_nExtent = m_nPosition;
    }
}

void PacketWriter::WriteInt32(int32_t nValue) {
    if (!Reserve(4)) {
        return;
    }
    const auto nBits = static_cast<uint32_t>(nValue);
    for (int i = 0; i < 4; ++i) {
        m_pBuffer[m_nPosition + i] = static_cast<unsigned char>(nBits >> (8 * i));
    }
    Advance(4);
}

void PacketWriter::WriteInt16(int nValue) {
    if (!Reserve(2)) {
        return;
    }
    m_pBuffer[m_nPosition] = static_cast<unsigned char>(nValue);
    m_pBuffer[m_nPosition + 1] = static_cast<unsigned char>(nValue >> 8);
    Advance(2);
}

void PacketWriter::WriteString(const std::string& strValue) {
    // Checked whole, so that a string that does not fit leaves no count behind.
    if (strValue.size() > static_cast<size_t>(m_nCapacity) ||
        !Reserve(4 + static_cast<int>(strValue.size()))) {
        m_bOverflowed = true;
        return;
    }
    WriteInt32(static_cast<int32_t>(strValue.size()));
    std::memcpy(m_pBuffer + m_nPosition, strValue.data(), strValue.size());
    Advance(static_cast<int>(strValue.size()));
}

void PacketWriter::SetPosition(int nPosition) {
    if (nPosition < 0 || nPosition > m_nCapacity) {
        m_bOverflowed = true;
        return;
    }
    m_nPosition = nPosition;
}
