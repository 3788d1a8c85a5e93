#include "camera/MjpegDecoder.h"

#include <turbojpeg.h>

#include <cstring>
#include <new>

namespace {

// Far above any camera's size; keeps width * height * 4 within an int and a
// forged header from asking for gigabytes.
constexpr long long kMaxPixels = 8192LL * 8192LL;
// Cameras send baseline frames; a progressive one with endless scans would
// hold the GUI thread.
constexpr int kFlags = TJFLAG_LIMITSCANS;

} // namespace

MjpegDecoder::MjpegDecoder() : m_hDecoder(tjInitDecompress()) {}

MjpegDecoder::~MjpegDecoder() {
    if (m_hDecoder) {
        tjDestroy(m_hDecoder);
    }
}

// TurboJPEG reports libjpeg's warnings as failures too. Most mean a damaged
// picture (data cut short, a marker inside the scan) and the frame is
// refused; padding bytes before a marker, which many webcams send with every
// frame, leave the picture whole and are let through. libjpeg gives nothing
// but the message text to tell them apart.
bool MjpegDecoder::Accept(int nResult) {
    if (nResult == 0) {
        return true;
    }
    if (tjGetErrorCode(m_hDecoder) == TJERR_WARNING) {
        return std::strstr(tjGetErrorStr2(m_hDecoder), "extraneous bytes before marker") != nullptr;
    }
    // After a fatal error this version of TurboJPEG fails every later call
    // on the same handle; a fresh one decodes the next frame.
    tjDestroy(m_hDecoder);
    m_hDecoder = tjInitDecompress();
    return false;
}

bool MjpegDecoder::Decode(const uint8_t* pInput, size_t nLength, uint8_t*& pOutput, int& nSize,
                          int& nWidth, int& nHeight) {
    pOutput = nullptr;
    nSize = nWidth = nHeight = 0;
    if (!m_hDecoder || !pInput || nLength == 0 || nLength > 0xFFFFFFFFu) {
        return false;
    }
    const auto nJpegSize = static_cast<unsigned long>(nLength);
    int nW = 0;
    int nH = 0;
    int nSubsampling = 0;
    int nColourspace = 0;
    if (!Accept(tjDecompressHeader3(m_hDecoder, pInput, nJpegSize, &nW, &nH, &nSubsampling,
                                    &nColourspace)) ||
        nW <= 0 || nH <= 0 || static_cast<long long>(nW) * nH > kMaxPixels) {
        return false;
    }
    Picture& back = m_pictures[1 - m_nFront];
    const int nNeeded = nW * nH * 4;
    if (nNeeded > back.nCapacity) {
        back.pData.reset(new (std::nothrow) uint8_t[nNeeded]);
        back.nCapacity = back.pData ? nNeeded : 0;
        if (!back.pData) {
            return false;
        }
    }
    if (!Accept(tjDecompress2(m_hDecoder, pInput, nJpegSize, back.pData.get(), nW, nW * 4, nH,
                              TJPF_BGRA, kFlags))) {
        return false;
    }
    m_nFront = 1 - m_nFront;
    pOutput = back.pData.get();
    nSize = back.nCapacity;
    nWidth = nW;
    nHeight = nH;
    return true;
}
