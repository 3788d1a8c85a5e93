#pragma once

#include "recorder/IAudioSource.h"

#include <chrono>
#include <deque>
#include <memory>
#include <mutex>

// A recording's sound source, passed through, that keeps the sound's clock.
//
// The recorder stamps sound by its sample count, so the sound's time 0 is
// the first sample captured, and its time runs at the rate of the device's
// own clock. The recording thread paces the pictures by this clock instead
// of its own, so that picture n is taken when the sound is at n / rate: the
// two start together, whatever the device needs to start, and stay
// together, however far the device's clock is from the computer's.
//
// Each block tells where sample 0 lay: no later than its arrival less the
// samples that came so far. The smallest such value over the last few
// seconds, when the device delivered fastest, is the estimate.
class AudioClock final : public IAudioSource {
public:
    using Clock = std::chrono::steady_clock;

    explicit AudioClock(std::unique_ptr<IAudioSource> pSource);
    ~AudioClock() override;

    bool Start(int nChannels, int nSampleRate, AudioCallback callback) override;
    void Stop() override;

    // True between a successful Start and Stop.
    bool IsRunning() const;
    // When the first sample of the sound was captured, by the steady clock;
    // false until the first block has come. Any thread.
    bool Origin(Clock::time_point& tOrigin) const;

private:
    void OnBlock(int nBytes);

    std::unique_ptr<IAudioSource> m_pSource;
    mutable std::mutex m_mutex;
    bool m_bRunning = false;
    int m_nBytesPerFrame = 0;
    int m_nSampleRate = 0;
    long long m_nFrames = 0;
    // (arrival, where sample 0 lay by this block), oldest first.
    std::deque<std::pair<Clock::time_point, Clock::time_point>> m_estimates;
};
