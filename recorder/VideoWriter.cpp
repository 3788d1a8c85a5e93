#include "recorder/VideoWriter.h"

#include "recorder/AudioCapture.h"
#include "recorder/MediaMuxer.h"

#include <cstdio>

namespace {
constexpr int kAudioChannels = 2;
constexpr int kAudioBitRate = 96000;
constexpr int kVideoThreadLimit = 2;
} // namespace

VideoWriter::VideoWriter() = default;

VideoWriter::~VideoWriter() {
    Stop();
}

bool VideoWriter::Start(const std::string& strFileName, int nWidth, int nHeight, int nFrameRate,
                        int nBitRate, int nSampleRate) {
    // A recording still open is finished first: replacing it unfinished would
    // lose it, and its capture could still be feeding the old muxer.
    Stop();

    auto pMuxer = std::make_unique<MediaMuxer>(strFileName, "avi", "9.0");
    const AudioParams audio{nSampleRate, kAudioChannels, kAudioBitRate};
    const VideoSettings video{"main", nWidth, nHeight, nFrameRate, kVideoThreadLimit, nBitRate};
    if (!pMuxer->AddAudioStream(audio, "libfdk_aac") || !pMuxer->AddVideoStream(video, "libx264") ||
        !pMuxer->WriteHeader()) {
        const bool bCreated = pMuxer->IsOpen();
        pMuxer.reset();
        // Only a file this attempt created (or emptied) is taken away again.
        if (bCreated) {
            std::remove(strFileName.c_str());
        }
        return false;
    }
    m_pMuxer = std::move(pMuxer);

    // The capture starts only now that the muxer is complete: its callback
    // runs on the audio thread from the first block on.
    m_pAudioCapture = std::make_unique<AudioCapture>();
    if (!m_pAudioCapture->Start(
            kAudioChannels, nSampleRate,
            [this](const unsigned char* pData, int nBytes) { OnAudioData(pData, nBytes); })) {
        m_pAudioCapture.reset();
    }
    return true;
}

void VideoWriter::WriteVideo(const unsigned char* pData, int nWidth, int nHeight) {
    if (m_pMuxer != nullptr) {
        m_pMuxer->WriteVideoFrame(pData, nWidth, nHeight);
    }
}

void VideoWriter::OnAudioData(const unsigned char* pData, int nBytes) {
    if (m_pMuxer != nullptr) {
        m_pMuxer->EncodeAudio(pData, nBytes);
    }
}

void VideoWriter::Stop() {
    // The capture goes first, so that no block arrives while the encoders are
    // drained and the trailer is written.
    if (m_pAudioCapture != nullptr) {
        m_pAudioCapture->Stop();
        m_pAudioCapture.reset();
    }
    if (m_pMuxer != nullptr) {
        m_pMuxer->Finish();
        m_pMuxer.reset();
    }
}
