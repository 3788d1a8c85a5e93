#include "recorder/AudioCapture.h"

namespace {
// One block is one AAC frame of 1024 samples per channel, about 21 ms at
// 48 kHz; the recorder copes with any other size the host delivers.
constexpr unsigned long kFramesPerBlock = 1024;
} // namespace

AudioCapture::~AudioCapture() {
    Close();
}

bool AudioCapture::Start(int nChannels, int nSampleRate, AudioCallback callback) {
    Close();
    if (nChannels <= 0 || nSampleRate <= 0 || !callback) {
        return false;
    }
    if (!Open(nChannels, nSampleRate)) {
        Close();
        return false;
    }
    m_nChannels = nChannels;
    m_nSampleRate = nSampleRate;
    // Stored before the stream starts: the audio thread reads it unlocked.
    m_callback = std::move(callback);
    if (Pa_StartStream(m_pStream) != paNoError) {
        Close();
        return false;
    }
    return true;
}

void AudioCapture::Stop() {
    Close();
}

bool AudioCapture::Open(int nChannels, int nSampleRate) {
    if (Pa_Initialize() != paNoError) {
        return false;
    }
    m_bInitialized = true;

    const PaDeviceIndex nDevice = Pa_GetDefaultInputDevice();
    if (nDevice == paNoDevice) {
        return false;
    }
    const PaDeviceInfo* pInfo = Pa_GetDeviceInfo(nDevice);
    if (pInfo == nullptr) {
        return false;
    }
    PaStreamParameters input{};
    input.device = nDevice;
    input.channelCount = nChannels;
    input.sampleFormat = paInt16;
    input.suggestedLatency = pInfo->defaultLowInputLatency;
    input.hostApiSpecificStreamInfo = nullptr;

    PaStream* pStream = nullptr;
    if (Pa_OpenStream(&pStream, &input, nullptr, nSampleRate, kFramesPerBlock, paClipOff,
                      &AudioCapture::OnStreamCallback, this) != paNoError) {
        return false;
    }
    m_pStream = pStream;
    return true;
}

void AudioCapture::Close() {
    if (m_pStream != nullptr) {
        // Waits for a running callback to return.
        if (Pa_IsStreamStopped(m_pStream) == 0) {
            Pa_StopStream(m_pStream);
        }
        Pa_CloseStream(m_pStream);
        m_pStream = nullptr;
    }
    // PortAudio counts its initialisations; a failed open must give its own
    // back too, or the library stays loaded with its devices.
    if (m_bInitialized) {
        Pa_Terminate();
        m_bInitialized = false;
    }
    m_callback = nullptr;
}

int AudioCapture::OnStreamCallback(const void* pInput, void* /*pOutput*/, unsigned long nFrames,
                                   const PaStreamCallbackTimeInfo* /*pTimeInfo*/,
                                   PaStreamCallbackFlags /*nStatusFlags*/, void* pUserData) {
    auto* pSelf = static_cast<AudioCapture*>(pUserData);
    if (pInput != nullptr && pSelf->m_callback) {
        pSelf->m_callback(static_cast<const unsigned char*>(pInput),
                          static_cast<int>(nFrames) * pSelf->m_nChannels * 2);
    }
    return paContinue;
}
