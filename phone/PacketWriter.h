#pragma once

#include <cstdint>
#include <string>

// Writes little-endian fields into a caller's buffer. A write that would go
// past the capacity writes nothing and marks the writer overflowed; whoever
// sends the buffer checks Overflowed() first.
class PacketWriter {
public:
    PacketWriter(unsigned char* pBuffer, int nCapacity);
    virtual ~PacketWriter() = default;

    void WriteInt32(int32_t nValue);
    // The low 16 bits.
    void WriteInt16(int nValue);
    // An int32 byte count, then the bytes; no terminating zero.
    void WriteString(const std::string& strValue);

    int Position() const { return m_nPosition; }
    // Moving back and writing again is how a length or a count is patched.
    void SetPosition(int nPosition);
    // The highest position written so far.
    int Extent() const { return m_nExtent; }
    bool Overflowed() const { return m_bOverflowed; }

private:
    bool Reserve(int nBytes);
    void Advance(int nBytes);

    unsigned char* m_pBuffer;
    int m_nCapacity;
    int m_nExtent = 0;
    int m_nPosition = 0;
    bool m_bOverflowed = false;
};
