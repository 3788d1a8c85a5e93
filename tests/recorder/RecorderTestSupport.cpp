#include "tests/recorder/RecorderTestSupport.h"

#include "tests/support/TestEnvironment.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <cmath>
#include <numeric>

Recording ReadRecording(const std::string& strPath) {
    Recording recording;
    AVFormatContext* pFormat = nullptr;
    if (avformat_open_input(&pFormat, strPath.c_str(), nullptr, nullptr) < 0 ||
        avformat_find_stream_info(pFormat, nullptr) < 0) {
        avformat_close_input(&pFormat);
        return recording;
    }
    std::vector<AVCodecContext*> decoders;
    for (unsigned i = 0; i < pFormat->nb_streams; ++i) {
        const AVCodecParameters* pParams = pFormat->streams[i]->codecpar;
        recording.params.push_back(*pParams);
        recording.params.back().extradata = nullptr; // owned by pFormat
        const AVCodec* pCodec = avcodec_find_decoder(pParams->codec_id);
        decoders.push_back(avcodec_alloc_context3(pCodec));
        avcodec_parameters_to_context(decoders.back(), pParams);
        avcodec_open2(decoders.back(), pCodec, nullptr);
    }
    recording.nDuration = pFormat->duration;
    recording.stamps.resize(decoders.size());
    recording.frames.resize(decoders.size());
    // A null packet drains a decoder.
    const auto decode = [&](size_t n, const AVPacket* pPacket) {
        avcodec_send_packet(decoders[n], pPacket);
        for (Frame pFrame(av_frame_alloc()); avcodec_receive_frame(decoders[n], pFrame.get()) >= 0;
             pFrame.reset(av_frame_alloc())) {
            recording.frames[n].push_back(std::move(pFrame));
        }
    };
    AVPacket* pPacket = av_packet_alloc();
    while (av_read_frame(pFormat, pPacket) >= 0) {
        const auto n = static_cast<size_t>(pPacket->stream_index);
        recording.stamps[n].push_back(pPacket->pts != AV_NOPTS_VALUE ? pPacket->pts : pPacket->dts);
        decode(n, pPacket);
        av_packet_unref(pPacket);
    }
    for (size_t n = 0; n < decoders.size(); ++n) {
        decode(n, nullptr);
        avcodec_free_context(&decoders[n]);
    }
    av_packet_free(&pPacket);
    avformat_close_input(&pFormat);
    return recording;
}

std::vector<int64_t> Sequence(size_t nCount) {
    std::vector<int64_t> numbers(nCount);
    std::iota(numbers.begin(), numbers.end(), 0);
    return numbers;
}

std::vector<uint8_t> MakePicture(int nWidth, int nHeight, int nSplit, uint32_t nLeft,
                                 uint32_t nRight) {
    std::vector<uint8_t> picture(static_cast<size_t>(nWidth) * nHeight * 4);
    for (size_t i = 0; i < picture.size(); ++i) {
        const uint32_t nColour = static_cast<int>(i / 4 % nWidth) < nSplit ? nLeft : nRight;
        picture[i] = static_cast<uint8_t>(nColour >> (i % 4 * 8)); // blue, green, red, unused
    }
    return picture;
}

std::vector<uint8_t> MakeTone(int64_t nStart, int nFrames) {
    std::vector<int16_t> samples;
    for (int64_t i = nStart; i < nStart + nFrames; ++i) {
        const double fPhase = 2.0 * M_PI * 440.0 * static_cast<double>(i) / 48000.0;
        samples.insert(samples.end(), 2, static_cast<int16_t>(16383.0 * std::sin(fPhase)));
    }
    const auto* pBytes = reinterpret_cast<const uint8_t*>(samples.data());
    return {pBytes, pBytes + samples.size() * sizeof(int16_t)};
}

std::string TestFilePath(const std::string& strName) {
    return (TestHomeFolder() + "/").toStdString() + strName;
}
