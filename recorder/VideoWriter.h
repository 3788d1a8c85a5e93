#pragma once

#include <memory>
#include <string>

class AudioCapture;
class MediaMuxer;

// Records pictures and the default microphone into an AVI file (AAC sound as
// stream 0, H.264 video as stream 1). Start and Stop run on the GUI thread,
// WriteVideo on one recording thread, OnAudioData on the audio thread.
class VideoWriter {
public:
    VideoWriter();
    // Finishes a recording that is still open.
    ~VideoWriter();
    VideoWriter(const VideoWriter&) = delete;
    VideoWriter& operator=(const VideoWriter&) = delete;

    // nBitRate in kbit/s. False when the file or an encoder cannot be opened;
    // nothing is left open then. Without a microphone the recording is silent.
    bool Start(const std::string& strFileName, int nWidth, int nHeight, int nFrameRate,
               int nBitRate, int nSampleRate);
    // One picture of any size, 32 bits per pixel (blue, green, red, unused),
    // rows of nWidth * 4 bytes; ignored when no recording is open.
    void WriteVideo(const unsigned char* pData, int nWidth, int nHeight);
    void OnAudioData(const unsigned char* pData, int nBytes);
    // The recording thread must have ended. Safe to call twice.
    void Stop();

private:
    std::unique_ptr<AudioCapture> m_pAudioCapture;
    std::unique_ptr<MediaMuxer> m_pMuxer;
};
