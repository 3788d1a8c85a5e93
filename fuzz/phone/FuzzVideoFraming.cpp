// The video channel's framing: bytes from the phone, in pieces whose sizes
// the input chooses, cut into payloads (each read whole, so that a payload
// handed over beyond its buffer shows).

#include "phone/VideoPacketFramer.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

// Every payload byte is read into it, so that none of the reads is dropped.
volatile unsigned int g_nSink;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    if (nSize < 1) {
        return 0;
    }
    const size_t nPiece = static_cast<size_t>(pData[0]) + 1;
    VideoPacketFramer framer(1u << 16);
    unsigned int nSum = 0;
    size_t nOffset = 1;
    while (nOffset < nSize) {
        const size_t nRead =
            std::min({nPiece, nSize - nOffset, static_cast<size_t>(framer.SpaceSize())});
        if (nRead == 0) {
            framer.Reset(); // what the channel does on a new connection
            continue;
        }
        std::memcpy(framer.Space(), pData + nOffset, nRead);
        framer.Commit(static_cast<int>(nRead), [&](unsigned char* pPayload, unsigned int nLength) {
            for (unsigned int i = 0; i < nLength; ++i) {
                nSum += pPayload[i];
            }
        });
        nOffset += nRead;
    }
    g_nSink = nSum;
    return 0;
}
