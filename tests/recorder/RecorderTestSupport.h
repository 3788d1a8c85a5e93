#pragma once

#include "recorder/IAudioSource.h"
#include "recorder/VideoWriter.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct FrameFree {
    void operator()(AVFrame* pFrame) const { av_frame_free(&pFrame); }
};
using Frame = std::unique_ptr<AVFrame, FrameFree>;

// A recording as a player reads it back with libavformat, per stream: its
// parameters, the timestamps of its packets (pts, else dts: AVI video has
// only dts) and what a decoder makes of them. Empty when the file cannot be
// read.
struct Recording {
    std::vector<AVCodecParameters> params; // without extradata
    std::vector<std::vector<int64_t>> stamps;
    std::vector<std::vector<Frame>> frames;
    int64_t nDuration = 0; // in AV_TIME_BASE, as the file's headers give it
};
Recording ReadRecording(const std::string& strPath);
inline int Luma(const Frame& pFrame, int x, int y) {
    return pFrame->data[0][y * pFrame->linesize[0] + x];
}
std::vector<int64_t> Sequence(size_t nCount); // 0 .. nCount - 1

// BGRX, columns left of nSplit of the colour nLeft (0xRRGGBB), the rest nRight.
std::vector<uint8_t> MakePicture(int nWidth, int nHeight, int nSplit, uint32_t nLeft,
                                 uint32_t nRight);
// nFrames of a 440 Hz tone at half scale, 16-bit stereo at 48 kHz, from
// sample nStart.
std::vector<uint8_t> MakeTone(int64_t nStart, int nFrames);

// The sound of a test: what Feed gets, from any thread, reaches the recorder
// between Start and Stop, and Stop waits for a block on its way, as a
// microphone's does. One that does not work never starts.
class FakeAudioSource : public IAudioSource {
public:
    explicit FakeAudioSource(bool bWorks) : m_bWorks(bWorks) {}
    bool Start(int, int, AudioCallback callback) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_callback = m_bWorks ? std::move(callback) : nullptr;
        return m_bWorks;
    }
    void Stop() override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_callback = nullptr;
    }
    // False when the block went nowhere (not started).
    bool Feed(const std::vector<uint8_t>& block) {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_callback) {
            m_callback(block.data(), static_cast<int>(block.size()));
        }
        return static_cast<bool>(m_callback);
    }

private:
    const bool m_bWorks;
    std::mutex m_mutex;
    AudioCallback m_callback;
};

// A writer with a sound source of the test's own, which the writer owns.
struct TestWriter {
    explicit TestWriter(bool bWorks = true)
        : sound(*new FakeAudioSource(bWorks)), writer(std::unique_ptr<IAudioSource>(&sound)) {}
    FakeAudioSource& sound;
    VideoWriter writer;
};

std::string TestFilePath(const std::string& strName);
