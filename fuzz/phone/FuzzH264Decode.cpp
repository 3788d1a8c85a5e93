// The decoder on any payloads: the input is cut into payloads at each
// "PAYLOAD" marker, and every picture that comes out must fill exactly its
// buffer.

#include "phone/H264Decoder.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    static const bool bQuiet = [] {
        av_log_set_level(AV_LOG_QUIET);
        return true;
    }();
    (void)bQuiet;
    H264Decoder decoder;
    decoder.SetThreads(1);
    if (!decoder.Open()) {
        return 0;
    }
    static const char kMarker[] = "PAYLOAD";
    const size_t nMarker = sizeof kMarker - 1;
    int nWidth = 0;
    int nHeight = 0;
    size_t nStart = 0;
    while (nStart <= nSize) {
        size_t nEnd = nStart;
        while (nEnd + nMarker <= nSize && std::memcmp(pData + nEnd, kMarker, nMarker) != 0) {
            ++nEnd;
        }
        if (nEnd + nMarker > nSize) {
            nEnd = nSize;
        }
        const std::vector<unsigned char> payload(pData + nStart, pData + nEnd);
        if (!payload.empty() &&
            decoder.Decode(payload.data(), static_cast<int>(payload.size()), nWidth, nHeight) > 0 &&
            decoder.PictureSize() != nWidth * nHeight * 4) {
            __builtin_trap();
        }
        nStart = nEnd + nMarker;
    }
    return 0;
}
