#pragma once

#include "recorder/AudioParams.h"
#include "recorder/RecordingFile.h"
#include "recorder/VideoSettings.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

struct AVAudioFifo;
struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct AVStream;
struct SwrContext;
struct SwsContext;

// One output file with an audio and a video encoder. Video is fed from one
// thread and audio from another; each encoder belongs to its feeding thread,
// so only the writes into the file are serialised.
class MediaMuxer {
public:
    // Creates the file at once (never over an existing one); when that fails
    // the muxer refuses every stream.
    MediaMuxer(const std::string& strFileName, const std::string& strFormatName,
               const std::string& strServiceName);
    ~MediaMuxer();
    MediaMuxer(const MediaMuxer&) = delete;
    MediaMuxer& operator=(const MediaMuxer&) = delete;

    bool IsOpen() const;
    // Empty while all is well, else why writing failed first. Any thread.
    std::string WriteError() const;

    // Streams stand in the file in the order they are added.
    bool AddAudioStream(const AudioParams& params, const std::string& strEncoderName);
    bool AddVideoStream(const VideoSettings& settings, const std::string& strEncoderName);
    bool WriteHeader();

    // A picture of any size, 32 bits per pixel in the byte order blue, green,
    // red, unused, rows of nWidth * 4 bytes; stretched to the recording size.
    void WriteVideoFrame(const uint8_t* pData, int nWidth, int nHeight);
    // A contiguous YUV 4:2:0 picture of exactly the recording size.
    void EncodeVideo(const uint8_t* pYuv, int nWidth, int nHeight);
    // Interleaved signed 16-bit samples in blocks of any length.
    void EncodeAudio(const uint8_t* pData, int nBytes);

    // Drains both encoders into the file; later pictures and blocks are dropped.
    void FlushEncoders();
    // Flushes, writes the trailer and closes the file; 0, or a negative error
    // when anything failed to reach the file. Safe to call twice.
    int Finish();
    // Closes and deletes the file, which this muxer created.
    void Discard();

private:
    bool PrepareScaler(int nWidth, int nHeight);
    void EncodeVideoFrame();
    void EncodeAudioFrame(int nSamples);
    bool GrowConvertBuffer(int nSamples);
    void DrainEncoder(AVCodecContext* pEncoder, AVStream* pStream, AVPacket* pPacket, bool bAudio);
    void Fail(int nError); // holding m_writeMutex
    void Close();

    std::string m_strFileName;
    RecordingFile m_file;
    std::string m_strFormatName;
    AVFormatContext* m_pFormat = nullptr;
    bool m_bHeaderWritten = false; // guarded by m_writeMutex once streams run
    bool m_bFlushed = false;
    std::atomic<bool> m_bFailed{false}; // a write failed: nothing more is encoded

    VideoSettings m_videoSettings;
    AVStream* m_pVideoStream = nullptr;
    AVCodecContext* m_pVideoEncoder = nullptr;
    AVFrame* m_pVideoFrame = nullptr; // the YUV picture handed to the encoder
    AVPacket* m_pVideoPacket = nullptr;
    AVFrame* m_pSourceFrame = nullptr; // lends the caller's picture to the scaler
    SwsContext* m_pScaler = nullptr;
    int m_nScalerWidth = 0; // the picture size m_pScaler was made for
    int m_nScalerHeight = 0;
    int64_t m_nVideoFrames = 0; // pts of the next picture, in 1 / frame rate

    AudioParams m_audioParams;
    AVStream* m_pAudioStream = nullptr;
    AVCodecContext* m_pAudioEncoder = nullptr;
    AVFrame* m_pAudioFrame = nullptr;
    AVPacket* m_pAudioPacket = nullptr;
    SwrContext* m_pResampler = nullptr;
    AVAudioFifo* m_pAudioFifo = nullptr;
    uint8_t** m_ppConvertBuffer = nullptr; // converted samples on their way into the FIFO
    int m_nConvertCapacity = 0;            // in samples per channel
    int m_nAudioFrameSize = 0;             // samples per channel the encoder takes at once
    int64_t m_nAudioSamples = 0;           // pts of the next audio frame, in 1 / sample rate

    std::mutex m_writeMutex;
};
