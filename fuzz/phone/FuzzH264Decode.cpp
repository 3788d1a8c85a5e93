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
    // Opened once: opening takes far longer than decoding a small input,
    // and the camera too keeps one decoder across all its payloads.
    static H264Decoder* pDecoder = [] {
        av_log_set_level(AV_LOG_QUIET);
        auto* p = new H264Decoder;
        p->SetThreads(1);
        return p->Open() ? p : nullptr;
    }();
    if (pDecoder == nullptr) {
        return 0;
    }
    H264Decoder& decoder = *pDecoder;
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
