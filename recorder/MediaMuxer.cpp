#include "recorder/MediaMuxer.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <thread>

namespace {

// About ten seconds at the highest recording rate: short bursts (a page turned
// under the camera) may exceed the rate, which evens out over the buffer.
constexpr int kRateControlBufferBits = 31457280;
constexpr int kBytesPerInputSample = 2; // interleaved signed 16-bit
// How far libavformat may hold packets back to interleave the streams. It
// bounds what a crash loses; by default a sound stream that gets no packets
// (no microphone) held the pictures back for ten seconds.
constexpr int64_t kInterleaveWindow = AV_TIME_BASE / 2;

std::string ErrorText(int nError) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(nError, text, sizeof(text));
    return text;
}

int ProfileFromName(const std::string& strName) {
    if (strName == "baseline") {
        return FF_PROFILE_H264_BASELINE;
    }
    if (strName == "main") {
        return FF_PROFILE_H264_MAIN;
    }
    if (strName == "high10") {
        return FF_PROFILE_H264_HIGH_10;
    }
    if (strName == "high422") {
        return FF_PROFILE_H264_HIGH_422;
    }
    if (strName == "high444") {
        return FF_PROFILE_H264_HIGH_444;
    }
    return FF_PROFILE_H264_HIGH;
}

} // namespace

MediaMuxer::MediaMuxer(const std::string& strFileName, const std::string& strFormatName,
                       const std::string& strServiceName)
    : m_strFileName(strFileName), m_strFormatName(strFormatName) {
    const AVOutputFormat* pFormat = av_guess_format(m_strFormatName.c_str(), nullptr, nullptr);
    if (pFormat == nullptr) {
        m_strFormatName = "mpegts";
        pFormat = av_guess_format(m_strFormatName.c_str(), nullptr, nullptr);
    }
    if (avformat_alloc_output_context2(&m_pFormat, pFormat, nullptr, m_strFileName.c_str()) < 0) {
        m_pFormat = nullptr;
        return;
    }
    if (!m_file.Create(m_strFileName)) {
        return;
    }
    m_pFormat->pb = m_file.Io();
    m_pFormat->flags |= AVFMT_FLAG_CUSTOM_IO;
    m_pFormat->max_interleave_delta = kInterleaveWindow;
    // Every packet goes to the file at once, not when the write buffer is
    // full: a still page makes tiny packets, and a crash keeps only what
    // reached the file.
    m_pFormat->flush_packets = 1;
    if (!strServiceName.empty()) {
        av_dict_set(&m_pFormat->metadata, "service_name", ("libencoder-" + strServiceName).c_str(),
                    0);
    }
    av_dict_set(&m_pFormat->metadata, "title", "", 0);
    av_dict_set(&m_pFormat->metadata, "service_provider", "Nivra", 0);
    av_dict_set_int(&m_pFormat->metadata, "video_track_timescale", 20, 0);
}

MediaMuxer::~MediaMuxer() {
    Close();
}

bool MediaMuxer::IsOpen() const {
    return m_pFormat != nullptr && m_pFormat->pb != nullptr;
}

std::string MediaMuxer::WriteError() const {
    return m_file.Error();
}

void MediaMuxer::Fail(int nError) {
    m_bFailed = true;
    m_file.Fail(ErrorText(nError));
}

bool MediaMuxer::AddAudioStream(const AudioParams& params, const std::string& strEncoderName) {
    if (!IsOpen() || m_bHeaderWritten || m_pAudioEncoder != nullptr || params.nSampleRate <= 0 ||
        params.nChannels <= 0) {
        return false;
    }
    const AVCodec* pCodec = avcodec_find_encoder_by_name(strEncoderName.c_str());
    if (pCodec == nullptr) {
        pCodec = avcodec_find_encoder(AV_CODEC_ID_AAC);
    }
    if (pCodec == nullptr) {
        return false;
    }
    AVStream* pStream = avformat_new_stream(m_pFormat, nullptr);
    if (pStream == nullptr) {
        return false;
    }
    pStream->id = static_cast<int>(m_pFormat->nb_streams) - 1;
    m_pAudioStream = pStream;
    m_audioParams = params;

    m_pAudioEncoder = avcodec_alloc_context3(pCodec);
    if (m_pAudioEncoder == nullptr) {
        return false;
    }
    AVCodecContext* pEncoder = m_pAudioEncoder;
    pEncoder->codec_type = AVMEDIA_TYPE_AUDIO;
    pEncoder->sample_rate = params.nSampleRate;
    pEncoder->sample_fmt =
        pCodec->sample_fmts != nullptr ? pCodec->sample_fmts[0] : AV_SAMPLE_FMT_S16;
    pEncoder->bit_rate = params.nBitRate;
    av_channel_layout_default(&pEncoder->ch_layout, params.nChannels);
    pEncoder->strict_std_compliance = FF_COMPLIANCE_EXPERIMENTAL;
    pEncoder->time_base = AVRational{1, params.nSampleRate};
    pEncoder->codec_tag = 0;
    if ((m_pFormat->oformat->flags & AVFMT_GLOBALHEADER) != 0) {
        pEncoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    pStream->time_base = pEncoder->time_base;
    if (avcodec_open2(pEncoder, pCodec, nullptr) != 0 ||
        avcodec_parameters_from_context(pStream->codecpar, pEncoder) < 0) {
        return false;
    }

    // The microphone delivers interleaved 16-bit blocks of whatever length
    // the host chooses; the encoder wants its own sample format in frames of
    // its own size. Convert every block and regroup the samples in a FIFO,
    // so no sound is lost to a mismatch of either.
    const bool bVariableSize = (pCodec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) != 0;
    m_nAudioFrameSize = pEncoder->frame_size > 0 && !bVariableSize ? pEncoder->frame_size : 1024;
    AVChannelLayout inputLayout{};
    av_channel_layout_default(&inputLayout, params.nChannels);
    const int nResult = swr_alloc_set_opts2(
        &m_pResampler, &pEncoder->ch_layout, pEncoder->sample_fmt, pEncoder->sample_rate,
        &inputLayout, AV_SAMPLE_FMT_S16, params.nSampleRate, 0, nullptr);
    av_channel_layout_uninit(&inputLayout);
    if (nResult < 0 || swr_init(m_pResampler) < 0) {
        return false;
    }
    m_pAudioFifo = av_audio_fifo_alloc(pEncoder->sample_fmt, pEncoder->ch_layout.nb_channels,
                                       m_nAudioFrameSize * 4);
    m_pAudioFrame = av_frame_alloc();
    m_pAudioPacket = av_packet_alloc();
    if (m_pAudioFifo == nullptr || m_pAudioFrame == nullptr || m_pAudioPacket == nullptr) {
        return false;
    }
    m_pAudioFrame->format = pEncoder->sample_fmt;
    m_pAudioFrame->sample_rate = pEncoder->sample_rate;
    m_pAudioFrame->nb_samples = m_nAudioFrameSize;
    if (av_channel_layout_copy(&m_pAudioFrame->ch_layout, &pEncoder->ch_layout) < 0 ||
        av_frame_get_buffer(m_pAudioFrame, 0) < 0) {
        return false;
    }
    return GrowConvertBuffer(m_nAudioFrameSize * 4);
}

bool MediaMuxer::AddVideoStream(const VideoSettings& settings, const std::string& strEncoderName) {
    if (!IsOpen() || m_bHeaderWritten || m_pVideoEncoder != nullptr || settings.nWidth <= 0 ||
        settings.nHeight <= 0 || settings.nFrameRate <= 0 ||
        av_image_check_size(settings.nWidth, settings.nHeight, 0, nullptr) < 0) {
        return false;
    }
    const AVCodec* pCodec = avcodec_find_encoder_by_name(strEncoderName.c_str());
    if (pCodec == nullptr) {
        pCodec = avcodec_find_encoder(AV_CODEC_ID_H264);
    }
    if (pCodec == nullptr) {
        return false;
    }
    AVStream* pStream = avformat_new_stream(m_pFormat, nullptr);
    if (pStream == nullptr) {
        return false;
    }
    pStream->id = 40;
    m_pVideoStream = pStream;
    m_pVideoEncoder = avcodec_alloc_context3(pCodec);
    if (m_pVideoEncoder == nullptr) {
        return false;
    }
    AVCodecContext* pEncoder = m_pVideoEncoder;
    m_videoSettings = settings;

    const int nHardwareThreads = static_cast<int>(std::thread::hardware_concurrency());
    pEncoder->thread_count = nHardwareThreads > 0
                                 ? std::min(nHardwareThreads, settings.nThreadLimit)
                                 : settings.nThreadLimit;
    pEncoder->thread_type = FF_THREAD_FRAME;
    if ((m_pFormat->oformat->flags & AVFMT_GLOBALHEADER) != 0) {
        pEncoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }

    const int64_t nBitRate = static_cast<int64_t>(settings.nBitRate) * 1000;
    pEncoder->bit_rate = nBitRate;
    pEncoder->rc_max_rate = nBitRate;
    pEncoder->rc_min_rate = nBitRate;
    pEncoder->rc_buffer_size = kRateControlBufferBits;

    pEncoder->codec_type = AVMEDIA_TYPE_VIDEO;
    pEncoder->width = settings.nWidth;
    pEncoder->height = settings.nHeight;
    pEncoder->pix_fmt = AV_PIX_FMT_YUV420P;
    pEncoder->time_base = AVRational{1, settings.nFrameRate};
    pEncoder->framerate = AVRational{settings.nFrameRate, 1};
    pStream->time_base = pEncoder->time_base;
    pEncoder->profile = ProfileFromName(settings.strProfile);
    // Players take a stream that does not say otherwise for BT.709 at HD sizes
    // and BT.601 below. The pictures are converted by the same rule and the
    // stream says so, which gives the right colours in players of both kinds.
    // The pictures are sRGB, whose primaries are BT.709's.
    const bool bHd = settings.nWidth >= 1280 || settings.nHeight > 576;
    pEncoder->colorspace = bHd ? AVCOL_SPC_BT709 : AVCOL_SPC_SMPTE170M;
    pEncoder->color_primaries = AVCOL_PRI_BT709;
    pEncoder->color_trc = AVCOL_TRC_BT709;
    pEncoder->color_range = AVCOL_RANGE_MPEG;

    pEncoder->gop_size = 15 * settings.nFrameRate;
    pEncoder->keyint_min = 0;
    pEncoder->qmin = 10;
    pEncoder->qmax = 25;
    // Encoders other than libx264 may not know these; they then go without.
    av_opt_set_int(pEncoder->priv_data, "rc-lookahead", settings.nLookahead, 0);
    av_opt_set(pEncoder->priv_data, "preset", "superfast", 0);
    av_opt_set(pEncoder->priv_data, "tune", "zerolatency", 0);

    if (avcodec_open2(pEncoder, pCodec, nullptr) < 0 ||
        avcodec_parameters_from_context(pStream->codecpar, pEncoder) < 0) {
        return false;
    }

    m_pVideoFrame = av_frame_alloc();
    m_pSourceFrame = av_frame_alloc();
    m_pVideoPacket = av_packet_alloc();
    if (m_pVideoFrame == nullptr || m_pSourceFrame == nullptr || m_pVideoPacket == nullptr) {
        return false;
    }
    m_pVideoFrame->format = AV_PIX_FMT_YUV420P;
    m_pVideoFrame->width = settings.nWidth;
    m_pVideoFrame->height = settings.nHeight;
    return av_frame_get_buffer(m_pVideoFrame, 0) >= 0;
}

bool MediaMuxer::WriteHeader() {
    if (!IsOpen() || m_bHeaderWritten) {
        return false;
    }
    std::lock_guard<std::mutex> lock(m_writeMutex);
    const int nResult = avformat_write_header(m_pFormat, nullptr);
    m_bHeaderWritten = nResult >= 0;
    if (!m_bHeaderWritten) {
        Fail(nResult);
    }
    return m_bHeaderWritten;
}

void MediaMuxer::WriteVideoFrame(const uint8_t* pData, int nWidth, int nHeight) {
    if (m_pVideoFrame == nullptr || m_bFlushed || m_bFailed || pData == nullptr || nWidth <= 0 ||
        nHeight <= 0 || av_image_check_size(nWidth, nHeight, 0, nullptr) < 0 ||
        !PrepareScaler(nWidth, nHeight) || av_frame_make_writable(m_pVideoFrame) < 0) {
        return;
    }
    // The picture is lent to the scaler, not copied: the buffer reference
    // frees nothing when it is dropped.
    m_pSourceFrame->format = AV_PIX_FMT_BGR0;
    m_pSourceFrame->width = nWidth;
    m_pSourceFrame->height = nHeight;
    m_pSourceFrame->data[0] = const_cast<uint8_t*>(pData);
    m_pSourceFrame->linesize[0] = nWidth * 4;
    m_pSourceFrame->buf[0] = av_buffer_create(
        const_cast<uint8_t*>(pData), static_cast<size_t>(nWidth) * nHeight * 4,
        [](void*, uint8_t*) {}, nullptr, AV_BUFFER_FLAG_READONLY);
    const bool bScaled = m_pSourceFrame->buf[0] != nullptr &&
                         sws_scale_frame(m_pScaler, m_pVideoFrame, m_pSourceFrame) >= 0;
    av_frame_unref(m_pSourceFrame);
    if (bScaled) {
        EncodeVideoFrame();
    }
}

bool MediaMuxer::PrepareScaler(int nWidth, int nHeight) {
    // Pictures keep their size for long stretches; the scaler is rebuilt only
    // when it changes. It is built by hand rather than through
    // sws_getCachedContext, which cannot give it threads: the colour
    // conversion of a large picture takes as long as a good part of its
    // encoding, and split into slices it runs on the cores the encoder's
    // threads leave idle.
    if (m_pScaler != nullptr && nWidth == m_nScalerWidth && nHeight == m_nScalerHeight) {
        return true;
    }
    sws_freeContext(m_pScaler);
    m_pScaler = sws_alloc_context();
    if (m_pScaler == nullptr) {
        return false;
    }
    av_opt_set_int(m_pScaler, "srcw", nWidth, 0);
    av_opt_set_int(m_pScaler, "srch", nHeight, 0);
    av_opt_set_pixel_fmt(m_pScaler, "src_format", AV_PIX_FMT_BGR0, 0);
    av_opt_set_int(m_pScaler, "dstw", m_videoSettings.nWidth, 0);
    av_opt_set_int(m_pScaler, "dsth", m_videoSettings.nHeight, 0);
    av_opt_set_pixel_fmt(m_pScaler, "dst_format", AV_PIX_FMT_YUV420P, 0);
    av_opt_set_int(m_pScaler, "sws_flags", SWS_BICUBIC, 0);
    av_opt_set_int(m_pScaler, "threads", m_pVideoEncoder->thread_count, 0);
    const int nMatrix =
        m_pVideoEncoder->colorspace == AVCOL_SPC_BT709 ? SWS_CS_ITU709 : SWS_CS_SMPTE170M;
    if (sws_init_context(m_pScaler, nullptr, nullptr) < 0 ||
        sws_setColorspaceDetails(m_pScaler, sws_getCoefficients(SWS_CS_DEFAULT), 1,
                                 sws_getCoefficients(nMatrix), 0, 0, 1 << 16, 1 << 16) < 0) {
        sws_freeContext(m_pScaler);
        m_pScaler = nullptr;
        return false;
    }
    m_nScalerWidth = nWidth;
    m_nScalerHeight = nHeight;
    return true;
}

void MediaMuxer::EncodeVideo(const uint8_t* pYuv, int nWidth, int nHeight) {
    if (m_pVideoFrame == nullptr || m_bFlushed || pYuv == nullptr ||
        nWidth != m_videoSettings.nWidth || nHeight != m_videoSettings.nHeight ||
        av_frame_make_writable(m_pVideoFrame) < 0) {
        return;
    }
    uint8_t* planes[4] = {};
    int strides[4] = {};
    if (av_image_fill_arrays(planes, strides, pYuv, AV_PIX_FMT_YUV420P, nWidth, nHeight, 1) < 0) {
        return;
    }
    av_image_copy(m_pVideoFrame->data, m_pVideoFrame->linesize, const_cast<const uint8_t**>(planes),
                  strides, AV_PIX_FMT_YUV420P, nWidth, nHeight);
    EncodeVideoFrame();
}

void MediaMuxer::EncodeVideoFrame() {
    // Time stamps count pictures at the nominal rate; a picture the encoder
    // refuses has used its stamp up all the same.
    m_pVideoFrame->pts = m_nVideoFrames++;
    if (avcodec_send_frame(m_pVideoEncoder, m_pVideoFrame) < 0) {
        return;
    }
    DrainEncoder(m_pVideoEncoder, m_pVideoStream, m_pVideoPacket, false);
}

void MediaMuxer::EncodeAudio(const uint8_t* pData, int nBytes) {
    if (m_pAudioFifo == nullptr || m_bFlushed || m_bFailed || pData == nullptr || nBytes <= 0) {
        return;
    }
    // A torn sample at the end of a block cannot be placed; drop just that.
    const int nSamples = nBytes / (kBytesPerInputSample * m_audioParams.nChannels);
    if (nSamples == 0 || !GrowConvertBuffer(nSamples)) {
        return;
    }
    const uint8_t* input[1] = {pData};
    const int nConverted =
        swr_convert(m_pResampler, m_ppConvertBuffer, m_nConvertCapacity, input, nSamples);
    if (nConverted <= 0 ||
        av_audio_fifo_write(m_pAudioFifo, reinterpret_cast<void**>(m_ppConvertBuffer), nConverted) <
            nConverted) {
        return;
    }
    while (av_audio_fifo_size(m_pAudioFifo) >= m_nAudioFrameSize) {
        EncodeAudioFrame(m_nAudioFrameSize);
    }
}

void MediaMuxer::EncodeAudioFrame(int nSamples) {
    if (av_frame_make_writable(m_pAudioFrame) < 0) {
        return;
    }
    m_pAudioFrame->nb_samples = nSamples;
    if (av_audio_fifo_read(m_pAudioFifo, reinterpret_cast<void**>(m_pAudioFrame->data), nSamples) <
        nSamples) {
        return;
    }
    m_pAudioFrame->pts = m_nAudioSamples;
    m_nAudioSamples += nSamples;
    if (avcodec_send_frame(m_pAudioEncoder, m_pAudioFrame) < 0) {
        return;
    }
    DrainEncoder(m_pAudioEncoder, m_pAudioStream, m_pAudioPacket, true);
}

bool MediaMuxer::GrowConvertBuffer(int nSamples) {
    if (nSamples <= m_nConvertCapacity) {
        return true;
    }
    if (m_ppConvertBuffer != nullptr) {
        av_freep(&m_ppConvertBuffer[0]);
        av_freep(&m_ppConvertBuffer);
    }
    m_nConvertCapacity = 0;
    if (av_samples_alloc_array_and_samples(&m_ppConvertBuffer, nullptr,
                                           m_pAudioEncoder->ch_layout.nb_channels, nSamples,
                                           m_pAudioEncoder->sample_fmt, 0) < 0) {
        m_ppConvertBuffer = nullptr;
        return false;
    }
    m_nConvertCapacity = nSamples;
    return true;
}

void MediaMuxer::DrainEncoder(AVCodecContext* pEncoder, AVStream* pStream, AVPacket* pPacket,
                              bool bAudio) {
    while (avcodec_receive_packet(pEncoder, pPacket) >= 0) {
        pPacket->stream_index = pStream->index;
        if (bAudio) {
            // The encoder stamps its priming samples before zero, and AVI
            // cannot hold negative times: the muxer would shift every stream
            // by them, and the video by a whole frame after rounding, which
            // leaves a gap in the picture count. Giving the priming the start
            // of the audio keeps both counts exact.
            if (pPacket->pts != AV_NOPTS_VALUE) {
                pPacket->pts += pEncoder->initial_padding;
            }
            if (pPacket->dts != AV_NOPTS_VALUE) {
                pPacket->dts += pEncoder->initial_padding;
            }
            pPacket->flags |= AV_PKT_FLAG_KEY;
        }
        av_packet_rescale_ts(pPacket, pEncoder->time_base, pStream->time_base);
        std::lock_guard<std::mutex> lock(m_writeMutex);
        if (m_bHeaderWritten && !m_bFailed) {
            // A failed write (a full disk) is not retried: the file keeps
            // what was written, and nothing more is encoded.
            const int nResult = av_interleaved_write_frame(m_pFormat, pPacket);
            if (nResult < 0) {
                Fail(nResult);
            }
        }
        av_packet_unref(pPacket);
    }
}

void MediaMuxer::FlushEncoders() {
    if (m_bFlushed) {
        return;
    }
    m_bFlushed = true;
    if (m_pAudioEncoder != nullptr && m_pAudioFifo != nullptr) {
        const int nLeft = av_audio_fifo_size(m_pAudioFifo);
        if (nLeft > 0) {
            const bool bShortFrameAllowed =
                (m_pAudioEncoder->codec->capabilities &
                 (AV_CODEC_CAP_SMALL_LAST_FRAME | AV_CODEC_CAP_VARIABLE_FRAME_SIZE)) != 0;
            if (bShortFrameAllowed) {
                EncodeAudioFrame(nLeft);
            } else {
                // Pad the tail with silence rather than lose it.
                const int nPadding = m_nAudioFrameSize - nLeft;
                av_samples_set_silence(m_ppConvertBuffer, 0, nPadding,
                                       m_pAudioEncoder->ch_layout.nb_channels,
                                       m_pAudioEncoder->sample_fmt);
                av_audio_fifo_write(m_pAudioFifo, reinterpret_cast<void**>(m_ppConvertBuffer),
                                    nPadding);
                EncodeAudioFrame(m_nAudioFrameSize);
            }
        }
        if (avcodec_send_frame(m_pAudioEncoder, nullptr) >= 0) {
            DrainEncoder(m_pAudioEncoder, m_pAudioStream, m_pAudioPacket, true);
        }
    }
    if (m_pVideoEncoder != nullptr && m_pVideoPacket != nullptr) {
        if (avcodec_send_frame(m_pVideoEncoder, nullptr) >= 0) {
            DrainEncoder(m_pVideoEncoder, m_pVideoStream, m_pVideoPacket, false);
        }
    }
}

int MediaMuxer::Finish() {
    if (!IsOpen()) {
        return 0;
    }
    if (!m_bFailed) {
        FlushEncoders();
    }
    {
        std::lock_guard<std::mutex> lock(m_writeMutex);
        if (m_bHeaderWritten && !m_bFailed) {
            const int nResult = av_write_trailer(m_pFormat);
            if (nResult < 0) {
                Fail(nResult);
            }
        }
        m_bHeaderWritten = false;
        m_pFormat->pb = nullptr;
    }
    return m_file.Close() ? 0 : AVERROR(EIO);
}

void MediaMuxer::Discard() {
    Close();
    m_file.Remove();
}

void MediaMuxer::Close() {
    // The file is ours, not libavformat's: it is closed after the context.
    if (m_pFormat != nullptr) {
        m_pFormat->pb = nullptr;
    }
    avcodec_free_context(&m_pVideoEncoder);
    avcodec_free_context(&m_pAudioEncoder);
    av_frame_free(&m_pVideoFrame);
    av_frame_free(&m_pSourceFrame);
    av_frame_free(&m_pAudioFrame);
    av_packet_free(&m_pVideoPacket);
    av_packet_free(&m_pAudioPacket);
    sws_freeContext(m_pScaler);
    m_pScaler = nullptr;
    swr_free(&m_pResampler);
    if (m_pAudioFifo != nullptr) {
        av_audio_fifo_free(m_pAudioFifo);
        m_pAudioFifo = nullptr;
    }
    if (m_ppConvertBuffer != nullptr) {
        av_freep(&m_ppConvertBuffer[0]);
        av_freep(&m_ppConvertBuffer);
    }
    m_nConvertCapacity = 0;
    avformat_free_context(m_pFormat);
    m_pFormat = nullptr;
    m_pVideoStream = nullptr;
    m_pAudioStream = nullptr;
    m_bHeaderWritten = false;
    m_file.Close();
}
