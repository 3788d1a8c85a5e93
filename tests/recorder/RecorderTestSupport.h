#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <cstdint>
#include <string>
#include <vector>

// A finished recording as a player reads it back with libavformat.
struct RecordedStream {
    AVCodecParameters params{};      // codec, profile, size, sample rate, channels
    std::vector<int64_t> timestamps; // of each packet: pts, else dts (AVI video has only dts)
};
struct Recording {
    bool bOpen = false;
    std::string strFormat;
    std::vector<RecordedStream> streams;
    size_t Packets(size_t n) const { return n < streams.size() ? streams[n].timestamps.size() : 0; }
};
Recording ReadRecording(const std::string& strPath);

// The luma plane (tightly packed) of picture nIndex of a video stream.
bool DecodePicture(const std::string& strPath, size_t nStream, size_t nIndex,
                   std::vector<uint8_t>& luma, int& nWidth, int& nHeight);
// Samples per channel of a whole AAC stream and its largest magnitude (full scale 1).
bool DecodeAudio(const std::string& strPath, size_t nStream, int64_t& nSamples, double& fPeak);

// BGRX, columns left of nSplit of grey nLeft, the rest nRight, faintly checkered.
std::vector<uint8_t> MakePicture(int nWidth, int nHeight, int nSplit, uint8_t nLeft,
                                 uint8_t nRight);
// nFrames of a 440 Hz tone at half scale, 16-bit stereo at 48 kHz, from sample nStart.
std::vector<uint8_t> MakeTone(int64_t nStart, int nFrames);

bool HasDefaultInputDevice();
int OpenDescriptorsTo(const std::string& strPath);
std::string TestFilePath(const std::string& strName);
