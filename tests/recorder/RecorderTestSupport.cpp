#include "tests/recorder/RecorderTestSupport.h"

#include "tests/support/TestEnvironment.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <QDir>
#include <QFileInfo>

#include <portaudio.h>

#include <cmath>
#include <functional>

namespace {

AVFormatContext* OpenInput(const std::string& strPath) {
    AVFormatContext* pFormat = nullptr;
    if (avformat_open_input(&pFormat, strPath.c_str(), nullptr, nullptr) < 0) {
        return nullptr;
    }
    if (avformat_find_stream_info(pFormat, nullptr) < 0) {
        avformat_close_input(&pFormat);
    }
    return pFormat;
}

// Runs every packet of one stream through a decoder until onFrame says stop.
bool Decode(const std::string& strPath, size_t nStream,
            const std::function<bool(const AVFrame*)>& onFrame) {
    AVFormatContext* pFormat = OpenInput(strPath);
    if (pFormat == nullptr || nStream >= pFormat->nb_streams) {
        avformat_close_input(&pFormat);
        return false;
    }
    const AVCodecParameters* pParams = pFormat->streams[nStream]->codecpar;
    const AVCodec* pCodec = avcodec_find_decoder(pParams->codec_id);
    AVCodecContext* pDecoder = avcodec_alloc_context3(pCodec);
    AVPacket* pPacket = av_packet_alloc();
    AVFrame* pFrame = av_frame_alloc();
    bool bOk = avcodec_parameters_to_context(pDecoder, pParams) >= 0 &&
               avcodec_open2(pDecoder, pCodec, nullptr) >= 0;
    bool bMore = bOk;
    auto drain = [&] {
        while (bMore && avcodec_receive_frame(pDecoder, pFrame) >= 0) {
            bMore = onFrame(pFrame);
            av_frame_unref(pFrame);
        }
    };
    while (bMore && av_read_frame(pFormat, pPacket) >= 0) {
        if (static_cast<size_t>(pPacket->stream_index) == nStream) {
            avcodec_send_packet(pDecoder, pPacket);
            drain();
        }
        av_packet_unref(pPacket);
    }
    avcodec_send_packet(pDecoder, nullptr);
    drain();
    av_frame_free(&pFrame);
    av_packet_free(&pPacket);
    avcodec_free_context(&pDecoder);
    avformat_close_input(&pFormat);
    return bOk;
}

} // namespace

Recording ReadRecording(const std::string& strPath) {
    Recording recording;
    AVFormatContext* pFormat = OpenInput(strPath);
    if (pFormat == nullptr) {
        return recording;
    }
    recording.bOpen = true;
    recording.strFormat = pFormat->iformat->name;
    recording.streams.resize(pFormat->nb_streams);
    for (unsigned i = 0; i < pFormat->nb_streams; ++i) {
        recording.streams[i].params = *pFormat->streams[i]->codecpar;
        recording.streams[i].params.extradata = nullptr; // not owned here
    }
    AVPacket* pPacket = av_packet_alloc();
    while (av_read_frame(pFormat, pPacket) >= 0) {
        recording.streams.at(pPacket->stream_index)
            .timestamps.push_back(pPacket->pts != AV_NOPTS_VALUE ? pPacket->pts : pPacket->dts);
        av_packet_unref(pPacket);
    }
    av_packet_free(&pPacket);
    avformat_close_input(&pFormat);
    return recording;
}

bool DecodePicture(const std::string& strPath, size_t nStream, size_t nIndex,
                   std::vector<uint8_t>& luma, int& nWidth, int& nHeight) {
    size_t nSeen = 0;
    bool bFound = false;
    Decode(strPath, nStream, [&](const AVFrame* pFrame) {
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

bool DecodeAudio(const std::string& strPath, size_t nStream, int64_t& nSamples, double& fPeak) {
    nSamples = 0;
    fPeak = 0.0;
    return Decode(strPath, nStream, [&](const AVFrame* pFrame) {
        nSamples += pFrame->nb_samples;
        for (int c = 0; c < pFrame->ch_layout.nb_channels; ++c) {
            const auto* pSamples = reinterpret_cast<const float*>(pFrame->extended_data[c]);
            for (int i = 0; i < pFrame->nb_samples; ++i) {
                fPeak = std::max(fPeak, static_cast<double>(std::fabs(pSamples[i])));
            }
        }
        return pFrame->format == AV_SAMPLE_FMT_FLTP;
    });
}

std::vector<uint8_t> MakePicture(int nWidth, int nHeight, int nSplit, uint8_t nLeft,
                                 uint8_t nRight) {
    std::vector<uint8_t> picture(static_cast<size_t>(nWidth) * nHeight * 4);
    for (int y = 0; y < nHeight; ++y) {
        for (int x = 0; x < nWidth; ++x) {
            const int nGrey = (x < nSplit ? nLeft : nRight) + (((x / 8 + y / 8) % 2) ? 4 : -4);
            uint8_t* pPixel = &picture[(static_cast<size_t>(y) * nWidth + x) * 4];
            pPixel[0] = pPixel[1] = pPixel[2] = static_cast<uint8_t>(std::clamp(nGrey, 0, 255));
        }
    }
    return picture;
}

std::vector<uint8_t> MakeTone(int64_t nStart, int nFrames) {
    std::vector<uint8_t> block(static_cast<size_t>(nFrames) * 4);
    for (int i = 0; i < nFrames; ++i) {
        const double fPhase = 2.0 * M_PI * 440.0 * static_cast<double>(nStart + i) / 48000.0;
        const auto nSample =
            static_cast<uint16_t>(static_cast<int16_t>(16383.0 * std::sin(fPhase)));
        for (int nByte = 0; nByte < 4; ++nByte) {
            block[static_cast<size_t>(i) * 4 + nByte] =
                static_cast<uint8_t>(nByte % 2 == 0 ? nSample & 0xff : nSample >> 8);
        }
    }
    return block;
}

bool HasDefaultInputDevice() {
    if (Pa_Initialize() != paNoError) {
        return false;
    }
    const bool bHas = Pa_GetDefaultInputDevice() != paNoDevice;
    Pa_Terminate();
    return bHas;
}

int OpenDescriptorsTo(const std::string& strPath) {
    const QString strTarget = QFileInfo(QString::fromStdString(strPath)).absoluteFilePath();
    int nCount = 0;
    for (const QFileInfo& entry : QDir("/proc/self/fd").entryInfoList(QDir::System)) {
        nCount += entry.symLinkTarget() == strTarget ? 1 : 0;
    }
    return nCount;
}

std::string TestFilePath(const std::string& strName) {
    return (TestHomeFolder() + "/").toStdString() + strName;
}
