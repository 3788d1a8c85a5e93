#include "tools/phone-sim/TestPatternEncoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/opt.h>
}

#include <algorithm>
#include <cstdint>
#include <memory>

namespace {

struct Yuv {
    uint8_t y, u, v;
};

// Limited-range BT.601, as the decoder converts back.
Yuv ToYuv(unsigned int nRgb) {
    const double r = (nRgb >> 16) & 0xFF;
    const double g = (nRgb >> 8) & 0xFF;
    const double b = nRgb & 0xFF;
    const auto clamp = [](double d) { return static_cast<uint8_t>(d < 0 ? 0 : d > 255 ? 255 : d); };
    return {clamp(16 + 0.257 * r + 0.504 * g + 0.098 * b + 0.5),
            clamp(128 - 0.148 * r - 0.291 * g + 0.439 * b + 0.5),
            clamp(128 + 0.439 * r - 0.368 * g - 0.071 * b + 0.5)};
}

void DrawPicture(AVFrame* pFrame, int nIndex, int nFrames) {
    const int nWidth = pFrame->width;
    const int nHeight = pFrame->height;
    const int nBarX = nIndex * nWidth / nFrames;
    const int nBarWidth = nWidth / 24 + 1;
    uint32_t nNoise = 0x9E3779B9u * static_cast<uint32_t>(nIndex + 1);
    for (int y = 0; y < nHeight; ++y) {
        uint8_t* pLuma = pFrame->data[0] + y * pFrame->linesize[0];
        for (int x = 0; x < nWidth; ++x) {
            if (y < nHeight / 2) {
                pLuma[x] = ToYuv(TestPatternEncoder::kBandColors[x * 3 / nWidth]).y;
                continue;
            }
            // Lines of "text" on a shaded page, a little sensor noise.
            nNoise = nNoise * 1664525u + 1013904223u;
            int nGrey = 200 - (x + y) * 40 / (nWidth + nHeight);
            if ((y / 10) % 3 != 0 && ((x / 6 + y / 30) % 7) < 5) {
                nGrey = 60;
            }
            nGrey += static_cast<int>(nNoise >> 29) - 4;
            if (x >= nBarX && x < nBarX + nBarWidth) {
                nGrey = 235;
            }
            pLuma[x] = static_cast<uint8_t>(nGrey < 16 ? 16 : nGrey > 235 ? 235 : nGrey);
        }
    }
    for (int y = 0; y < nHeight / 2; ++y) {
        uint8_t* pU = pFrame->data[1] + y * pFrame->linesize[1];
        uint8_t* pV = pFrame->data[2] + y * pFrame->linesize[2];
        for (int x = 0; x < nWidth / 2; ++x) {
            if (y < nHeight / 4) {
                const Yuv colour = ToYuv(TestPatternEncoder::kBandColors[x * 2 * 3 / nWidth]);
                pU[x] = colour.u;
                pV[x] = colour.v;
            } else {
                pU[x] = 128;
                pV[x] = 128;
            }
        }
    }
}

struct ContextDeleter {
    void operator()(AVCodecContext* p) const { avcodec_free_context(&p); }
};
struct FrameDeleter {
    void operator()(AVFrame* p) const { av_frame_free(&p); }
};
struct PacketDeleter {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};

} // namespace

bool TestPatternEncoder::Encode(const Settings& settings,
                                std::vector<std::vector<unsigned char>>& units) {
    units.clear();
    if (settings.nWidth < 16 || settings.nHeight < 16 || settings.nWidth % 2 != 0 ||
        settings.nHeight % 2 != 0 || settings.nFrames < 1 || settings.nKeyInterval < 1) {
        m_strError = "the size must be even and at least 16 x 16, the counts positive";
        return false;
    }
    const AVCodec* pCodec = avcodec_find_encoder_by_name("libx264");
    if (pCodec == nullptr) {
        m_strError = "libavcodec has no libx264 encoder";
        return false;
    }
    std::unique_ptr<AVCodecContext, ContextDeleter> context(avcodec_alloc_context3(pCodec));
    std::unique_ptr<AVFrame, FrameDeleter> frame(av_frame_alloc());
    std::unique_ptr<AVPacket, PacketDeleter> packet(av_packet_alloc());
    if (!context || !frame || !packet) {
        m_strError = "out of memory";
        return false;
    }
    const int nPixels = settings.nWidth * settings.nHeight;
    // A phone streams 1080p at about 8 Mbit/s.
    const int nBitRate = settings.nBitRate > 0
                             ? settings.nBitRate
                             : std::max(300, static_cast<int>(8000LL * nPixels / (1920 * 1080)));
    context->width = settings.nWidth;
    context->height = settings.nHeight;
    context->pix_fmt = AV_PIX_FMT_YUV420P;
    context->time_base = AVRational{1, settings.nFrameRate};
    context->framerate = AVRational{settings.nFrameRate, 1};
    context->gop_size = settings.nKeyInterval;
    context->keyint_min = settings.nKeyInterval;
    context->max_b_frames = 0;
    context->bit_rate = static_cast<int64_t>(nBitRate) * 1000;
    context->rc_max_rate = context->bit_rate;
    context->rc_buffer_size = static_cast<int>(context->bit_rate);
    context->thread_count = 2;
    // One slice per picture and key frames exactly every nKeyInterval, like
    // a phone's hardware encoder. Without a global header libx264 puts the
    // parameter sets in front of every key frame.
    av_opt_set(context->priv_data, "preset", "veryfast", 0);
    av_opt_set(context->priv_data, "x264-params", "scenecut=0:open-gop=0:sliced-threads=0", 0);
    if (avcodec_open2(context.get(), pCodec, nullptr) < 0) {
        m_strError = "libx264 refused the settings";
        return false;
    }
    frame->width = settings.nWidth;
    frame->height = settings.nHeight;
    frame->format = AV_PIX_FMT_YUV420P;
    if (av_frame_get_buffer(frame.get(), 0) < 0) {
        m_strError = "out of memory";
        return false;
    }
    const auto drain = [&]() {
        while (avcodec_receive_packet(context.get(), packet.get()) >= 0) {
            units.emplace_back(packet->data, packet->data + packet->size);
            av_packet_unref(packet.get());
        }
    };
    for (int i = 0; i < settings.nFrames; ++i) {
        if (av_frame_make_writable(frame.get()) < 0) {
            m_strError = "out of memory";
            return false;
        }
        DrawPicture(frame.get(), i, settings.nFrames);
        frame->pts = i;
        frame->pict_type =
            i % settings.nKeyInterval == 0 ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
        if (avcodec_send_frame(context.get(), frame.get()) < 0) {
            m_strError = "encoding failed";
            return false;
        }
        drain();
    }
    avcodec_send_frame(context.get(), nullptr);
    drain();
    if (static_cast<int>(units.size()) != settings.nFrames) {
        m_strError = "the encoder lost pictures";
        return false;
    }
    return true;
}
