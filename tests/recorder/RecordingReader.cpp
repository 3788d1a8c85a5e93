#include "tests/recorder/RecordingReader.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/samplefmt.h>
}

#include <cmath>
#include <functional>
#include <memory>

namespace {

struct FormatCloser {
    void operator()(AVFormatContext* pContext) const { avformat_close_input(&pContext); }
};
using FormatPtr = std::unique_ptr<AVFormatContext, FormatCloser>;

FormatPtr OpenInput(const std::string& strPath) {
    AVFormatContext* pContext = nullptr;
    if (avformat_open_input(&pContext, strPath.c_str(), nullptr, nullptr) < 0) {
        return nullptr;
    }
    FormatPtr pFormat(pContext);
    if (avformat_find_stream_info(pFormat.get(), nullptr) < 0) {
        return nullptr;
    }
    return pFormat;
}

// Feeds every packet of one stream through its decoder and hands each frame
// to onFrame.
bool DecodeStream(const std::string& strPath, size_t nStream,
                  const std::function<bool(const AVFrame*)>& onFrame) {
    FormatPtr pFormat = OpenInput(strPath);
    if (pFormat == nullptr || nStream >= pFormat->nb_streams) {
        return false;
    }
    const AVCodecParameters* pParams = pFormat->streams[nStream]->codecpar;
    const AVCodec* pCodec = avcodec_find_decoder(pParams->codec_id);
    if (pCodec == nullptr) {
        return false;
    }
    std::unique_ptr<AVCodecContext, void (*)(AVCodecContext*)> pDecoder(
        avcodec_alloc_context3(pCodec), [](AVCodecContext* p) { avcodec_free_context(&p); });
    std::unique_ptr<AVPacket, void (*)(AVPacket*)> pPacket(av_packet_alloc(),
                                                           [](AVPacket* p) { av_packet_free(&p); });
    std::unique_ptr<AVFrame, void (*)(AVFrame*)> pFrame(av_frame_alloc(),
                                                        [](AVFrame* p) { av_frame_free(&p); });
    if (avcodec_parameters_to_context(pDecoder.get(), pParams) < 0 ||
        avcodec_open2(pDecoder.get(), pCodec, nullptr) < 0) {
        return false;
    }
    bool bGoOn = true;
    auto drain = [&]() {
        while (bGoOn && avcodec_receive_frame(pDecoder.get(), pFrame.get()) >= 0) {
            bGoOn = onFrame(pFrame.get());
            av_frame_unref(pFrame.get());
        }
    };
    while (bGoOn && av_read_frame(pFormat.get(), pPacket.get()) >= 0) {
        if (static_cast<size_t>(pPacket->stream_index) == nStream) {
            avcodec_send_packet(pDecoder.get(), pPacket.get());
            drain();
        }
        av_packet_unref(pPacket.get());
    }
    avcodec_send_packet(pDecoder.get(), nullptr);
    drain();
    return true;
}

} // namespace

RecordingReader::RecordingReader(const std::string& strPath) : m_strPath(strPath) {
    FormatPtr pFormat = OpenInput(strPath);
    if (pFormat == nullptr) {
        return;
    }
    m_strFormat = pFormat->iformat->name;
    for (unsigned i = 0; i < pFormat->nb_streams; ++i) {
        const AVStream* pStream = pFormat->streams[i];
        Stream stream;
        stream.nType = pStream->codecpar->codec_type;
        stream.nCodec = pStream->codecpar->codec_id;
        stream.nProfile = pStream->codecpar->profile;
        stream.nWidth = pStream->codecpar->width;
        stream.nHeight = pStream->codecpar->height;
        stream.nSampleRate = pStream->codecpar->sample_rate;
        stream.nChannels = pStream->codecpar->ch_layout.nb_channels;
        stream.timeBase = pStream->time_base;
        m_streams.push_back(stream);
    }
    AVPacket* pPacket = av_packet_alloc();
    while (av_read_frame(pFormat.get(), pPacket) >= 0) {
        if (static_cast<size_t>(pPacket->stream_index) < m_streams.size()) {
            // AVI keeps no presentation times for video, only each chunk's
            // position, which is the picture's number.
            m_streams[pPacket->stream_index].pts.push_back(
                pPacket->pts != AV_NOPTS_VALUE ? pPacket->pts : pPacket->dts);
        }
        av_packet_unref(pPacket);
    }
    av_packet_free(&pPacket);
    m_bOpen = true;
}

bool RecordingReader::DecodePicture(size_t nStream, size_t nIndex, std::vector<uint8_t>& luma,
                                    int& nWidth, int& nHeight) const {
    bool bFound = false;
    size_t nSeen = 0;
    DecodeStream(m_strPath, nStream, [&](const AVFrame* pFrame) {
        if (nSeen++ < nIndex) {
            return true;
        }
        nWidth = pFrame->width;
        nHeight = pFrame->height;
        luma.resize(static_cast<size_t>(nWidth) * nHeight);
        for (int y = 0; y < nHeight; ++y) {
            std::copy_n(pFrame->data[0] + static_cast<ptrdiff_t>(y) * pFrame->linesize[0], nWidth,
                        luma.begin() + static_cast<ptrdiff_t>(y) * nWidth);
        }
        bFound = true;
        return false;
    });
    return bFound;
}

bool RecordingReader::DecodeAudio(size_t nStream, int64_t& nSamples, double& fPeak) const {
    nSamples = 0;
    fPeak = 0.0;
    bool bFormatKnown = true;
    const bool bDecoded = DecodeStream(m_strPath, nStream, [&](const AVFrame* pFrame) {
        nSamples += pFrame->nb_samples;
        if (pFrame->format != AV_SAMPLE_FMT_FLTP) {
            bFormatKnown = false;
            return false;
        }
        for (int c = 0; c < pFrame->ch_layout.nb_channels; ++c) {
            const float* pSamples = reinterpret_cast<const float*>(pFrame->extended_data[c]);
            for (int i = 0; i < pFrame->nb_samples; ++i) {
                fPeak = std::max(fPeak, static_cast<double>(std::fabs(pSamples[i])));
            }
        }
        return true;
    });
    return bDecoded && bFormatKnown;
}
