#pragma once

// What the audio encoder of a recording is asked for.
struct AudioParams {
    int nSampleRate = 0; // Hz
    int nChannels = 0;
    int nBitRate = 0; // bit/s
};
