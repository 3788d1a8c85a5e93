#pragma once

#include <string>

// What the video encoder of a recording is asked for.
struct VideoSettings {
    std::string strProfile; // "baseline", "main", "high", ...; empty means high
    int nWidth = 0;
    int nHeight = 0;
    int nFrameRate = 0;   // frames per second
    int nThreadLimit = 0; // at most this many encoder threads
    int nBitRate = 0;     // kbit/s
    int nLookahead = 0;   // pictures the rate control looks ahead (each held in memory)
};
