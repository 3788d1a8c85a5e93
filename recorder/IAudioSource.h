#pragma once

#include <functional>

// Called on the source's own thread with one block of interleaved signed
// 16-bit samples and its size in bytes; the data is valid only for the call.
using AudioCallback = std::function<void(const unsigned char*, int)>;

// Where a recording's sound comes from: the microphone, or whatever a caller
// hands the recorder instead. Start, Stop and the destructor take turns, never
// at once, though not always on the same thread; the callback runs on another.
class IAudioSource {
public:
    virtual ~IAudioSource() = default;
    // False when the source cannot deliver; nothing is left running then.
    virtual bool Start(int nChannels, int nSampleRate, AudioCallback callback) = 0;
    // Returns once no callback runs any more; Start may follow.
    virtual void Stop() = 0;
};
