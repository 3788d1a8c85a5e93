#pragma once

#include "recorder/IAudioSource.h"

#include <portaudio.h>

// Captures the default microphone and hands every block, as it comes, to a
// callback. Start, Stop and the destructor take turns, never at once; a
// recording is started on the GUI thread and may be stopped on another.
class AudioCapture : public IAudioSource {
public:
    AudioCapture() = default;
    ~AudioCapture() override;
    AudioCapture(const AudioCapture&) = delete;
    AudioCapture& operator=(const AudioCapture&) = delete;

    // False when there is no input device or it cannot be opened or started;
    // nothing is left open then.
    bool Start(int nChannels, int nSampleRate, AudioCallback callback) override;
    // Also closes the stream, so that the device is free between recordings.
    void Stop() override;

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
