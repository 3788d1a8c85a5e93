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

// The accurate path of swscale: its fast one leaves the last columns of a
// width that is no multiple of 8 black.
void Convert(const uint8_t* const* ppFrom, const int* pFromStrides, AVPixelFormat from,
             uint8_t* const* ppTo, const int* pToStrides, AVPixelFormat to, int nWidth,
             int nHeight) {
    Owned<SwsContext> pScaler(sws_getContext(nWidth, nHeight, from, nWidth, nHeight, to,
                                             SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT,
                                             nullptr, nullptr, nullptr));
    sws_scale(pScaler.get(), ppFrom, pFromStrides, 0, nHeight, ppTo, pToStrides);
}

} // namespace

BgraPicture MakeQuadrants(int nWidth, int nHeight, const std::array<Bgr, 4>& colours) {
    BgraPicture picture{nWidth, nHeight, {}};
    for (int y = 0; y < nHeight; ++y) {
        for (int x = 0; x < nWidth; ++x) {
            const Bgr& colour =
                colours[y < nHeight / 2 ? (x < nWidth / 2 ? 0 : 1) : (x < nWidth / 2 ? 3 : 2)];
            const int nShade = (x + y) * 16 / (nWidth + nHeight);
            for (uint8_t nChannel : colour) {
                picture.pixels.push_back(static_cast<uint8_t>(std::max(0, nChannel - nShade)));
            }
            picture.pixels.push_back(255);
        }
    }
    return picture;
}

std::vector<uint8_t> EncodeMjpeg(const BgraPicture& picture, AVPixelFormat format) {
    const AVCodec* pCodec = avcodec_find_encoder(AV_CODEC_ID_MJPEG);
    Owned<AVCodecContext> pContext(avcodec_alloc_context3(pCodec));
    Owned<AVFrame> pFrame(av_frame_alloc());
    Owned<AVPacket> pPacket(av_packet_alloc());
    pContext->width = pFrame->width = picture.nWidth;
    pContext->height = pFrame->height = picture.nHeight;
    pContext->pix_fmt = format;
    pFrame->format = format;
    pContext->time_base = {1, 30};
    pContext->flags |= AV_CODEC_FLAG_QSCALE;
    pContext->global_quality = FF_QP2LAMBDA * 2;
    av_opt_set(pContext->priv_data, "huffman", "default", 0);
    if (avcodec_open2(pContext.get(), pCodec, nullptr) < 0 ||
        av_frame_get_buffer(pFrame.get(), 0) < 0) {
        return {};
    }
    const uint8_t* const from[1] = {picture.pixels.data()};
    const int nStride = picture.nWidth * 4;
    Convert(from, &nStride, AV_PIX_FMT_BGRA, pFrame->data, pFrame->linesize, format, picture.nWidth,
            picture.nHeight);
    if (avcodec_send_frame(pContext.get(), pFrame.get()) < 0 ||
        avcodec_receive_packet(pContext.get(), pPacket.get()) < 0) {
        return {};
    }
    return std::vector<uint8_t>(pPacket->data, pPacket->data + pPacket->size);
}

std::vector<uint8_t> WithoutHuffmanTables(const std::vector<uint8_t>& frame) {
    std::vector<uint8_t> result(frame.begin(), frame.begin() + 2);
    size_t nAt = 2; // segments up to the start of scan: FF, type, big-endian length
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
    uint8_t* const to[1] = {picture.pixels.data()};
    const int nStride = picture.nWidth * 4;
    Convert(pFrame->data, pFrame->linesize, static_cast<AVPixelFormat>(pFrame->format), to,
            &nStride, AV_PIX_FMT_BGRA, picture.nWidth, picture.nHeight);
    return picture;
}
