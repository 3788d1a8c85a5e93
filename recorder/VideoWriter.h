#pragma once

#include "recorder/IAudioSource.h"

#include <memory>
#include <mutex>
#include <string>

class MediaMuxer;

// Records pictures and sound into an AVI file (AAC sound as stream 0, H.264
// video as stream 1). Start and Stop take turns, never at once, and may run on
// different threads (the view finishes a recording away from the GUI thread);
// WriteVideo runs on one recording thread, the sound arrives on the audio
// source's own thread.
class VideoWriter {
public:
    // Sound from the default microphone.
    VideoWriter();
    // Sound from pAudio; null records no sound (the sound stream stays empty).
    explicit VideoWriter(std::unique_ptr<IAudioSource> pAudio);
    // Finishes a recording that is still open.
    ~VideoWriter();
    VideoWriter(const VideoWriter&) = delete;
    VideoWriter& operator=(const VideoWriter&) = delete;

    // nBitRate in kbit/s. False when the file exists already, or it or an
    // encoder cannot be opened; nothing is left open or behind then, and
    // WriteError() says why. Without sound the recording goes on silent.
    bool Start(const std::string& strFileName, int nWidth, int nHeight, int nFrameRate,
               int nBitRate, int nSampleRate);
    // One picture of any size, 32 bits per pixel (blue, green, red, unused),
    // rows of nWidth * 4 bytes; ignored when no recording is open.
    void WriteVideo(const unsigned char* pData, int nWidth, int nHeight);
    // The recording thread must have ended. False when writing the file
    // failed (it keeps what was written); true otherwise, also when no
    // recording was open. Safe to call twice.
    bool Stop();
    // Empty while all is well, else why the recording failed first (such as
    // "No space left on device"); kept after Stop until the next Start. Any
    // thread.
    std::string WriteError() const;

private:
    void OnAudioData(const unsigned char* pData, int nBytes);
    void SetMuxer(std::unique_ptr<MediaMuxer> pMuxer, const std::string& strError);

    std::unique_ptr<IAudioSource> m_pAudioSource;
    bool m_bAudioRunning = false;
    // Set and cleared under m_stateMutex (for WriteError); the recording and
    // the audio thread read it unlocked, ordered by Start and Stop.
    std::unique_ptr<MediaMuxer> m_pMuxer;
    mutable std::mutex m_stateMutex;
    std::string m_strWriteError; // of the last recording, once it is closed
};
