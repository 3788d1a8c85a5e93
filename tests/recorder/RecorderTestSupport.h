#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <memory>
#include <string>
#include <vector>

struct FrameFree {
    void operator()(AVFrame* pFrame) const { av_frame_free(&pFrame); }
};
using Frame = std::unique_ptr<AVFrame, FrameFree>;

// A finished recording as a player reads it back with libavformat, per
// stream: its parameters, the timestamps of its packets (pts, else dts: AVI
// video has only dts) and what a decoder makes of them. Empty when the file
// cannot be read.
struct Recording {
    std::vector<AVCodecParameters> params; // without extradata
    std::vector<std::vector<int64_t>> stamps;
    std::vector<std::vector<Frame>> frames;
};
Recording ReadRecording(const std::string& strPath);
inline int Luma(const Frame& pFrame, int x, int y) {
    return pFrame->data[0][y * pFrame->linesize[0] + x];
}
// Samples per channel of decoded (planar float) sound and the largest
// magnitude of the first channel (full scale 1).
std::pair<int64_t, float> Listen(const std::vector<Frame>& frames);
std::vector<int64_t> Sequence(size_t nCount); // 0 .. nCount - 1

// BGRX, columns left of nSplit of grey nLeft, the rest nRight.
std::vector<uint8_t> MakePicture(int nWidth, int nHeight, int nSplit, uint8_t nLeft,
                                 uint8_t nRight);
// nFrames of a 440 Hz tone at half scale, 16-bit stereo at 48 kHz, from sample nStart.
std::vector<uint8_t> MakeTone(int64_t nStart, int nFrames);

bool HasDefaultInputDevice();
int OpenDescriptorsTo(const std::string& strPath);
std::string TestFilePath(const std::string& strName);
