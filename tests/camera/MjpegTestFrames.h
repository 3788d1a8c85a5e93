#pragma once

extern "C" {
#include <libavutil/pixfmt.h>
}

#include <array>
#include <cstdint>
#include <vector>

// A BGRA picture, rows of width * 4 bytes.
struct BgraPicture {
    int nWidth = 0;
    int nHeight = 0;
    std::vector<uint8_t> pixels;

    const uint8_t* At(int nX, int nY) const { return &pixels[(nY * nWidth + nX) * 4]; }
};

using Bgr = std::array<uint8_t, 3>;
// Four coloured quadrants, clockwise from the top left, under a soft
// diagonal shading, so that a swap of channels, rows or columns shows.
BgraPicture MakeQuadrants(int nWidth, int nHeight,
                          const std::array<Bgr, 4>& colours = {Bgr{30, 30, 220}, Bgr{40, 200, 40},
                                                               Bgr{210, 40, 30},
                                                               Bgr{30, 210, 220}});
// An MJPEG frame from libavcodec with the standard Huffman tables, as UVC
// cameras use them; format is AV_PIX_FMT_YUVJ422P or AV_PIX_FMT_YUVJ420P.
std::vector<uint8_t> EncodeMjpeg(const BgraPicture& picture, AVPixelFormat format);
// The frame without its DHT segments, as many UVC cameras send it.
std::vector<uint8_t> WithoutHuffmanTables(const std::vector<uint8_t>& frame);
// The reference: libavcodec's MJPEG decoder, then swscale to BGRA.
BgraPicture ReferenceDecode(const std::vector<uint8_t>& frame);
