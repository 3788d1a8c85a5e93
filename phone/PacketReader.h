#pragma once

#include <cstdint>

// Reads little-endian fields from a received packet. A read past the end
// returns 0 and marks the reader failed; a handler checks Failed() before it
// acts on what it read.
class PacketReader {
public:
    PacketReader(const unsigned char* pBuffer, int nSize);
    virtual ~PacketReader() = default;

    int32_t ReadInt32();

    int Position() const { return m_nPosition; }
    void SetPosition(int nPosition);
    int Remaining() const { return m_nSize - m_nPosition; }
    bool Failed() const { return m_bFailed; }

private:
    const unsigned char* m_pBuffer;
    int m_nSize;
    int m_nPosition = 0;
    bool m_bFailed = false;
};
