#pragma once

#include <turbojpeg.h>

#include <array>
#include <cstdint>
#include <vector>

using Bytes = std::vector<uint8_t>;
using Bgr = std::array<uint8_t, 3>;
using Guid = std::array<uint8_t, 16>;

inline Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The camera maker's extension unit as the device sends it.
constexpr Guid kVendorGuid = {0x5D, 0xC7, 0x17, 0xA9, 0x19, 0x41, 0xDA, 0x11,
                              0xAE, 0x0E, 0x00, 0x0D, 0x56, 0xAC, 0x7B, 0x4C};

// USB descriptors: an interface (class 0x0E, subclass 1: video control;
// subclass 2: video streaming, where subtype 0x06 is a format), and an
// extension unit, which belongs to the interface before it.
inline Bytes Interface(uint8_t nClass, uint8_t nSubclass) {
    return {9, 4, 0, 0, 0, nClass, nSubclass, 0, 0};
}
inline Bytes Unit(uint8_t nId, const Guid& guid = kVendorGuid) {
    return Bytes{27, 0x24, 0x06, nId} + Bytes(guid.begin(), guid.end()) +
           Bytes{8, 1, 2, 2, 0xFF, 0xFF, 0};
}

// A BGRA picture of four colours, clockwise from the top left.
inline Bytes Quadrants(int nWidth, int nHeight, const std::array<Bgr, 4>& colours) {
    Bytes pixels;
    for (int y = 0; y < nHeight; ++y) {
        for (int x = 0; x < nWidth; ++x) {
            const Bgr& c = colours[y < nHeight / 2 ? (x >= nWidth / 2) : 3 - (x >= nWidth / 2)];
            pixels.insert(pixels.end(), {c[0], c[1], c[2], 255});
        }
    }
    return pixels;
}

// A baseline JPEG of it; nSubsampling is a TJSAMP_ value. Without Huffman
// tables when bTables is false, as many UVC cameras send their frames.
inline Bytes Jpeg(int nWidth, int nHeight, const std::array<Bgr, 4>& colours, int nSubsampling,
                  bool bTables = true) {
    const Bytes pixels = Quadrants(nWidth, nHeight, colours);
    tjhandle hEncoder = tjInitCompress();
    unsigned char* pJpeg = nullptr;
    unsigned long nSize = 0;
    tjCompress2(hEncoder, pixels.data(), nWidth, nWidth * 4, nHeight, TJPF_BGRA, &pJpeg, &nSize,
                nSubsampling, 95, 0);
    Bytes jpeg(pJpeg, pJpeg + nSize);
    tjFree(pJpeg);
    tjDestroy(hEncoder);
    // Segments up to the start of scan (DA): FF, type, big-endian length.
    for (size_t nAt = 2; !bTables && jpeg[nAt + 1] != 0xDA;) {
        const size_t nSegment = 2 + (jpeg[nAt + 2] << 8 | jpeg[nAt + 3]);
        const auto at = jpeg.begin() + static_cast<long>(nAt);
        if (jpeg[nAt + 1] == 0xC4) { // Huffman tables
            jpeg.erase(at, at + static_cast<long>(nSegment));
        } else {
            nAt += nSegment;
        }
    }
    return jpeg;
}
