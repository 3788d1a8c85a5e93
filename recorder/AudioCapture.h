#pragma once

#include <portaudio.h>

#include <functional>

// Called on the audio thread with one captured block of interleaved signed
// 16-bit samples and its size in bytes; the data is valid only for the call.
using AudioCallback = std::function<void(const unsigned char*, int)>;

// Captures the default microphone and hands every block, as it comes, to a
// callback. Start, Stop and the destructor belong to one (the GUI) thread.
class AudioCapture {
public:
    AudioCapture() = default;
    ~AudioCapture();
    AudioCapture(const AudioCapture&) = delete;
    AudioCapture& operator=(const AudioCapture&) = delete;

    // False when there is no input device or it cannot be opened or started;
    // nothing is left open then.
    bool Start(int nChannels, int nSampleRate, AudioCallback callback);
    // Returns once no callback runs any more; Start may follow.
    void Stop();

private:
    bool Open(int nChannels, int nSampleRate);
    void Close();
    static int OnStreamCallback(const void* pInput, void* pOutput, unsigned long nFrames,
                                const PaStreamCallbackTimeInfo* pTimeInfo,
                                PaStreamCallbackFlags nStatusFlags, void* pUserData);

    int m_nChannels = 0;
    int m_nSampleRate = 0;
    PaStream* m_pStream = nullptr;
    bool m_bInitialized = false; // one Pa_Initialize to balance
    AudioCallback m_callback;
};
