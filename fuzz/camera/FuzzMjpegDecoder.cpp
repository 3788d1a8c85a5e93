// Frames as a camera (or a broken cable) might send them.
#include "camera/MjpegDecoder.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    // One decoder for the run, as a camera keeps one: what a bad frame
    // leaves behind must not hurt the next.
    static MjpegDecoder decoder;
    uint8_t* pPicture = nullptr;
    int nPictureSize = 0;
    int nWidth = 0;
    int nHeight = 0;
    if (decoder.Decode(pData, nSize, pPicture, nPictureSize, nWidth, nHeight)) {
        // Touch both ends of the picture.
        volatile uint8_t nSum = pPicture[0] + pPicture[nWidth * nHeight * 4 - 1];
        (void)nSum;
    }
    return 0;
}
