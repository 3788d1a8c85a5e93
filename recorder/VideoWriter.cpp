#include "recorder/VideoWriter.h"

#include "recorder/AudioCapture.h"
#include "recorder/MediaMuxer.h"

namespace {
constexpr int kAudioChannels = 2;
constexpr int kAudioBitRate = 96000;
constexpr int kVideoThreadLimit = 2;
// Pictures x264 looks ahead for its rate control, as the zero-latency tune
// has it. Each one looked ahead is held in memory and delays the stream and
// Stop, and a look-ahead brought no better pictures at the same bit rate
// (see the recorder benchmark).
constexpr int kLookahead = 0;
} // namespace

VideoWriter::VideoWriter() : VideoWriter(std::make_unique<AudioCapture>()) {}

VideoWriter::VideoWriter(std::unique_ptr<IAudioSource> pAudio)
    : m_pAudioSource(std::move(pAudio)) {}

VideoWriter::~VideoWriter() {
    Stop();
}

bool VideoWriter::Start(const std::string& strFileName, int nWidth, int nHeight, int nFrameRate,
                        int nBitRate, int nSampleRate) {
    // A recording still open is finished first: replacing it unfinished would
    // lose it, and its sound source could still be feeding the old muxer.
    Stop();
    SetMuxer(nullptr, "");

    auto pMuxer = std::make_unique<MediaMuxer>(strFileName, "avi", "9.0");
    const AudioParams audio{nSampleRate, kAudioChannels, kAudioBitRate};
    const VideoSettings video{"main",   nWidth,    nHeight, nFrameRate, kVideoThreadLimit,
                              nBitRate, kLookahead};
    if (!pMuxer->AddAudioStream(audio, "libfdk_aac") || !pMuxer->AddVideoStream(video, "libx264") ||
        !pMuxer->WriteHeader()) {
        const std::string strError = pMuxer->WriteError();
        // Removes the file only if this attempt created it.
        pMuxer->Discard();
        SetMuxer(nullptr, strError.empty() ? "cannot record with these settings" : strError);
        return false;
    }
    SetMuxer(std::move(pMuxer), "");

    // The sound starts only now that the muxer is complete: its callback runs
    // on the source's thread from the first block on.
    m_bAudioRunning = m_pAudioSource != nullptr &&
                      m_pAudioSource->Start(kAudioChannels, nSampleRate,
                                            [this](const unsigned char* pData, int nBytes) {
                                                OnAudioData(pData, nBytes);
                                            });
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

bool VideoWriter::Stop() {
    // The sound goes first, so that no block arrives while the encoders are
    // drained and the trailer is written.
    if (m_bAudioRunning) {
        m_pAudioSource->Stop();
        m_bAudioRunning = false;
    }
    if (m_pMuxer == nullptr) {
        return true;
    }
    m_pMuxer->Finish();
    const std::string strError = m_pMuxer->WriteError();
    SetMuxer(nullptr, strError);
    return strError.empty();
}

std::string VideoWriter::WriteError() const {
    std::lock_guard<std::mutex> lock(m_stateMutex);
    return m_pMuxer != nullptr ? m_pMuxer->WriteError() : m_strWriteError;
}

void VideoWriter::SetMuxer(std::unique_ptr<MediaMuxer> pMuxer, const std::string& strError) {
    std::unique_ptr<MediaMuxer> pOld;
    std::lock_guard<std::mutex> lock(m_stateMutex);
    pOld = std::move(m_pMuxer);
    m_pMuxer = std::move(pMuxer);
    m_strWriteError = strError;
}
