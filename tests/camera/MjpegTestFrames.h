#pragma once

extern "C" {
#include <libavutil/pixfmt.h>
}

#include <cstdint>
#include <vector>

// A BGRA picture, rows of width * 4 bytes.
struct BgraPicture {
    int nWidth = 0;
    int nHeight = 0;
    std::vector<uint8_t> pixels;

    const uint8_t* At(int nX, int nY) const { return &pixels[(nY * nWidth + nX) * 4]; }
};

// Four coloured quadrants (red, green, blue, yellow from top left, clockwise)
// under a soft diagonal shading, so that a swap of channels, of rows or of
// columns shows.
BgraPicture MakeQuadrants(int nWidth, int nHeight);
BgraPicture MakeSolid(int nWidth, int nHeight, uint8_t nBlue, uint8_t nGreen, uint8_t nRed);
// An MJPEG frame as libavcodec encodes it, with the standard Huffman tables
// that UVC cameras use; format is AV_PIX_FMT_YUVJ422P or AV_PIX_FMT_YUVJ420P.
std::vector<uint8_t> EncodeMjpeg(const BgraPicture& picture, AVPixelFormat format);
// The frame without its DHT segments, as many UVC cameras send it.
std::vector<uint8_t> WithoutHuffmanTables(const std::vector<uint8_t>& frame);
// libavcodec's MJPEG decoder and swscale to BGRA: the reference.
BgraPicture ReferenceDecode(const std::vector<uint8_t>& frame);
