#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A BGRX picture whose left part (up to nSplit columns) has the grey value
// nLeft and the rest nRight, with a little texture so the encoder has work.
std::vector<uint8_t> MakePicture(int nWidth, int nHeight, int nSplit, uint8_t nLeft,
                                 uint8_t nRight);

// nFrames of a 440 Hz tone at half of full scale, interleaved stereo 16-bit,
// continuing from sample nStart.
std::vector<uint8_t> MakeTone(int64_t nStart, int nFrames);

// Whether PortAudio sees a default input device on this machine right now.
bool HasDefaultInputDevice();

// How many descriptors of this process refer to the file at strPath.
int OpenDescriptorsTo(const std::string& strPath);

// A path inside the private home folder of this test process.
std::string TestFilePath(const std::string& strName);
