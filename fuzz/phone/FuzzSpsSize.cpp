// The sequence parameter set reader on any bytes.

#include "phone/H264Decoder.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    // A copy of exactly the size, so that a read past it is seen.
    const std::vector<unsigned char> nal(pData, pData + nSize);
    int nWidth = 0;
    int nHeight = 0;
    if (ParseSpsSize(nal.data(), static_cast<int>(nal.size()), nWidth, nHeight) &&
        (nWidth <= 0 || nHeight <= 0 || nWidth % 16 != 0 || nHeight % 16 != 0)) {
        __builtin_trap();
    }
    return 0;
}
