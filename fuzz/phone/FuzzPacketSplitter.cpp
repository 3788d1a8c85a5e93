// The command channel's receive path: bytes from the phone, in pieces
// whose sizes the input chooses, through the splitter into the packet
// handler (which may answer; the channel is not connected, so nothing
// leaves).

#include "phone/AndroidCommandChannel.h"
#include "phone/PacketSplitter.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    if (nSize < 1) {
        return 0;
    }
    // The first byte is the size of every read, 1 to 256 bytes.
    const size_t nPiece = static_cast<size_t>(pData[0]) + 1;
    AndroidCommandChannel channel;
    PacketSplitter splitter;
    size_t nOffset = 1;
    while (nOffset < nSize) {
        const size_t nRead =
            std::min({nPiece, nSize - nOffset, static_cast<size_t>(splitter.SpaceSize())});
        std::memcpy(splitter.Space(), pData + nOffset, nRead);
        splitter.Commit(static_cast<int>(nRead), [&](const unsigned char* pPacket, int nLength) {
            channel.HandlePacket(pPacket, nLength);
        });
        nOffset += nRead;
    }
    return 0;
}
