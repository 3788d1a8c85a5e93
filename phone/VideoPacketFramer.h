#pragma once

#include <cstdint>
#include <functional>
#include <vector>

// Cuts the video channel's byte stream into payloads. Each packet is a
// 32-byte header whose bytes 16 to 19 hold the payload length N
// (little-endian), the N payload bytes, and a 4-byte trailer that is read
// and dropped.
//
//   int n = socket.Receive(framer.Space(), framer.SpaceSize());
//   if (!framer.Commit(n, onPayload)) { /* corrupt: drop the connection */ }
class VideoPacketFramer {
public:
    // Called with each whole payload; pData points into the framer's buffer
    // and is valid only during the call.
    using Handler = std::function<void(unsigned char* pData, unsigned int nLength)>;

    static constexpr int kHeaderSize = 32;
    static constexpr int kTrailerSize = 4;

    // Payloads longer than nMaxPayload mark the stream corrupt.
    explicit VideoPacketFramer(unsigned int nMaxPayload);

    // Back to the start of a packet; the body buffer is kept.
    void Reset();
    unsigned char* Space();
    int SpaceSize() const;
    // Accounts nReceived bytes written to Space(). False once a header
    // announced a payload above the bound; nothing more is accepted then
    // until Reset.
    bool Commit(int nReceived, const Handler& handler);

    size_t BodyCapacity() const { return m_body.size(); }

private:
    unsigned int m_nMaxPayload;
    unsigned char m_header[kHeaderSize] = {};
    int m_nHeaderFill = 0;
    std::vector<unsigned char> m_body;
    unsigned int m_nBodyFill = 0;
    // Payload plus trailer; 0 while a header is being received.
    unsigned int m_nBodyExpected = 0;
    bool m_bCorrupt = false;
};
