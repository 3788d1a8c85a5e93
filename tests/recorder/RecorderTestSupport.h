#pragma once

#include "recorder/IAudioSource.h"

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
// Samples per channel of decoded (planar float) sound and the largest
// magnitude of the first channel (full scale 1).
std::pair<int64_t, float> Listen(const std::vector<Frame>& frames);
std::vector<int64_t> Sequence(size_t nCount); // 0 .. nCount - 1

// BGRX, columns left of nSplit of the colour nLeft (0xRRGGBB), the rest nRight.
std::vector<uint8_t> MakePicture(int nWidth, int nHeight, int nSplit, uint32_t nLeft,
                                 uint32_t nRight);
// nFrames of a 440 Hz tone at half scale (or silence), 16-bit stereo at 48 kHz,
// from sample nStart.
std::vector<uint8_t> MakeTone(int64_t nStart, int nFrames, double fScale = 0.5);

// The sound of a test: what Feed gets, from any thread, reaches the recorder
// between Start and Stop, and Stop waits for a block on its way, as a
// microphone's does. One that does not work never starts.
class FakeAudioSource : public IAudioSource {
public:
    explicit FakeAudioSource(bool bWorks = true) : m_bWorks(bWorks) {}
    bool Start(int nChannels, int nSampleRate, AudioCallback callback) override;
    void Stop() override;
    // False when the block went nowhere (not started).
    bool Feed(const uint8_t* pData, int nBytes);
    bool Feed(const std::vector<uint8_t>& block) {
        return Feed(block.data(), static_cast<int>(block.size()));
    }

private:
    const bool m_bWorks;
    std::mutex m_mutex;
    AudioCallback m_callback;
};

int OpenDescriptorsTo(const std::string& strPath);
std::string TestFilePath(const std::string& strName);
