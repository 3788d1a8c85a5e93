#include "view/AudioClock.h"

#include <algorithm>

namespace {
// Long enough to hold a block that came without delay, short enough to
// follow a device clock that runs apart from the computer's.
const auto kWindow = std::chrono::seconds(3);
} // namespace

AudioClock::AudioClock(std::unique_ptr<IAudioSource> pSource) : m_pSource(std::move(pSource)) {}

AudioClock::~AudioClock() {
    Stop();
}

bool AudioClock::Start(int nChannels, int nSampleRate, AudioCallback callback) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_nBytesPerFrame = nChannels * 2;
        m_nSampleRate = nSampleRate;
        m_nFrames = 0;
        m_estimates.clear();
    }
    const bool bStarted =
        m_pSource && nChannels > 0 && nSampleRate > 0 &&
        m_pSource->Start(nChannels, nSampleRate,
                         [this, callback](const unsigned char* pData, int nBytes) {
                             OnBlock(nBytes);
                             callback(pData, nBytes);
                         });
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bRunning = bStarted;
    return bStarted;
}

void AudioClock::Stop() {
    if (m_pSource) {
        m_pSource->Stop();
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bRunning = false;
}

bool AudioClock::IsRunning() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_bRunning;
}

bool AudioClock::Origin(Clock::time_point& tOrigin) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_estimates.empty()) {
        return false;
    }
    tOrigin =
        std::min_element(m_estimates.begin(), m_estimates.end(), [](const auto& a, const auto& b) {
            return a.second < b.second;
        })->second;
    return true;
}

void AudioClock::OnBlock(int nBytes) {
    const Clock::time_point tNow = Clock::now();
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_nBytesPerFrame <= 0 || nBytes <= 0) {
        return;
    }
    m_nFrames += nBytes / m_nBytesPerFrame;
    const auto heard = std::chrono::nanoseconds(m_nFrames * 1000000000LL / m_nSampleRate);
    m_estimates.emplace_back(tNow, tNow - std::chrono::duration_cast<Clock::duration>(heard));
    while (m_estimates.size() > 1 && tNow - m_estimates.front().first > kWindow) {
        m_estimates.pop_front();
    }
}
