#include "tests/camera/MjpegTestFrames.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <memory>

namespace {

struct Free {
    void operator()(AVCodecContext* p) const { avcodec_free_context(&p); }
    void operator()(AVFrame* p) const { av_frame_free(&p); }
    void operator()(AVPacket* p) const { av_packet_free(&p); }
    void operator()(SwsContext* p) const { sws_freeContext(p); }
};
template <typename T> using Owned = std::unique_ptr<T, Free>;

void Convert(const uint8_t* const* ppSource, const int* pSourceStrides, AVPixelFormat source,
             uint8_t* const* ppTarget, const int* pTargetStrides, AVPixelFormat target, int nWidth,
             int nHeight) {
    Owned<SwsContext> pScaler(sws_getContext(nWidth, nHeight, source, nWidth, nHeight, target,
                                             SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT,
                                             nullptr, nullptr, nullptr));
    if (pScaler) {
        sws_scale(pScaler.get(), ppSource, pSourceStrides, 0, nHeight, ppTarget, pTargetStrides);
    }
}

} // namespace

BgraPicture MakeQuadrants(int nWidth, int nHeight) {
    static const uint8_t kColours[4][3] = {
        {30, 30, 220}, {40, 200, 40}, {210, 40, 30}, {30, 210, 220}};
    BgraPicture picture{nWidth, nHeight,
                        std::vector<uint8_t>(static_cast<size_t>(nWidth) * nHeight * 4)};
    for (int y = 0; y < nHeight; ++y) {
        for (int x = 0; x < nWidth; ++x) {
            const bool bRight = x >= nWidth / 2;
            const bool bBottom = y >= nHeight / 2;
            const uint8_t* pColour = kColours[bBottom ? (bRight ? 2 : 3) : (bRight ? 1 : 0)];
            const int nShade = (x + y) * 24 / (nWidth + nHeight);
            uint8_t* pPixel = &picture.pixels[(static_cast<size_t>(y) * nWidth + x) * 4];
            for (int c = 0; c < 3; ++c) {
                pPixel[c] = static_cast<uint8_t>(std::max(0, pColour[c] - nShade));
            }
            pPixel[3] = 255;
        }
    }
    return picture;
}

BgraPicture MakeSolid(int nWidth, int nHeight, uint8_t nBlue, uint8_t nGreen, uint8_t nRed) {
    BgraPicture picture{nWidth, nHeight, {}};
    for (int i = 0; i < nWidth * nHeight; ++i) {
        picture.pixels.insert(picture.pixels.end(), {nBlue, nGreen, nRed, 255});
    }
    return picture;
}

std::vector<uint8_t> EncodeMjpeg(const BgraPicture& picture, AVPixelFormat format) {
    const AVCodec* pCodec = avcodec_find_encoder(AV_CODEC_ID_MJPEG);
    Owned<AVCodecContext> pContext(avcodec_alloc_context3(pCodec));
    Owned<AVFrame> pFrame(av_frame_alloc());
    Owned<AVPacket> pPacket(av_packet_alloc());
    pContext->width = picture.nWidth;
    pContext->height = picture.nHeight;
    pContext->pix_fmt = format;
    pContext->time_base = {1, 30};
    pContext->flags |= AV_CODEC_FLAG_QSCALE;
    pContext->global_quality = FF_QP2LAMBDA * 2;
    av_opt_set(pContext->priv_data, "huffman", "default", 0);
    pFrame->format = format;
    pFrame->width = picture.nWidth;
    pFrame->height = picture.nHeight;
    if (avcodec_open2(pContext.get(), pCodec, nullptr) < 0 ||
        av_frame_get_buffer(pFrame.get(), 0) < 0) {
        return {};
    }
    const uint8_t* const source[1] = {picture.pixels.data()};
    const int nStride = picture.nWidth * 4;
    Convert(source, &nStride, AV_PIX_FMT_BGRA, pFrame->data, pFrame->linesize, format,
            picture.nWidth, picture.nHeight);
    if (avcodec_send_frame(pContext.get(), pFrame.get()) < 0 ||
        avcodec_receive_packet(pContext.get(), pPacket.get()) < 0) {
        return {};
    }
    return std::vector<uint8_t>(pPacket->data, pPacket->data + pPacket->size);
}

std::vector<uint8_t> WithoutHuffmanTables(const std::vector<uint8_t>& frame) {
    std::vector<uint8_t> result(frame.begin(), frame.begin() + 2);
    size_t nAt = 2;
    // Segments up to the start of scan, each FF xx and a big-endian length.
    while (nAt + 4 <= frame.size() && frame[nAt] == 0xFF && frame[nAt + 1] != 0xDA) {
        const size_t nSegment = 2 + (frame[nAt + 2] << 8 | frame[nAt + 3]);
        if (frame[nAt + 1] != 0xC4) {
            result.insert(result.end(), frame.begin() + nAt, frame.begin() + nAt + nSegment);
        }
        nAt += nSegment;
    }
    result.insert(result.end(), frame.begin() + nAt, frame.end());
    return result;
}

BgraPicture ReferenceDecode(const std::vector<uint8_t>& frame) {
    const AVCodec* pCodec = avcodec_find_decoder(AV_CODEC_ID_MJPEG);
    Owned<AVCodecContext> pContext(avcodec_alloc_context3(pCodec));
    Owned<AVFrame> pFrame(av_frame_alloc());
    Owned<AVPacket> pPacket(av_packet_alloc());
    if (avcodec_open2(pContext.get(), pCodec, nullptr) < 0 ||
        av_new_packet(pPacket.get(), static_cast<int>(frame.size())) < 0) {
        return {};
    }
    std::copy(frame.begin(), frame.end(), pPacket->data);
    if (avcodec_send_packet(pContext.get(), pPacket.get()) < 0 ||
        avcodec_receive_frame(pContext.get(), pFrame.get()) < 0) {
        return {};
    }
    BgraPicture picture{
        pFrame->width, pFrame->height,
        std::vector<uint8_t>(static_cast<size_t>(pFrame->width) * pFrame->height * 4)};
    uint8_t* const target[1] = {picture.pixels.data()};
    const int nStride = picture.nWidth * 4;
    Convert(pFrame->data, pFrame->linesize, static_cast<AVPixelFormat>(pFrame->format), target,
            &nStride, AV_PIX_FMT_BGRA, picture.nWidth, picture.nHeight);
    return picture;
}
