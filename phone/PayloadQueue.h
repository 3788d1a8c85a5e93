#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <vector>

// Hands video payloads from the video channel's thread to the decode
// thread. Bounded in count and bytes: when the decoder falls behind, what is
// queued is dropped, and so is everything after it up to the next payload
// decoding can start from (one with a sequence parameter set or an IDR
// slice); the picture then resumes whole instead of smeared. The slots keep
// their memory, so queuing allocates nothing once payload sizes are known.
class PayloadQueue {
public:
    // At 30 pictures a second, one second of video.
    static constexpr int kSlots = 30;
    static constexpr size_t kMaxBytes = 64u << 20;

    explicit PayloadQueue(int nSlots = kSlots, size_t nMaxBytes = kMaxBytes);

    // Empty, not skipping, not stopped.
    void Reset();
    // Copies the payload in; false when it was dropped.
    bool Push(const unsigned char* pData, size_t nLength);
    // Waits for the oldest payload and swaps it into payload (whose memory
    // goes back to the slot); false once Stop was called.
    bool Pop(std::vector<unsigned char>& payload);
    void Stop();

    int Size();
    long long Dropped();

    // Whether decoding can start at this payload: its NAL units up to the
    // first picture slice include a sequence parameter set, or that slice
    // is an IDR slice.
    static bool IsKeyPayload(const unsigned char* pData, size_t nLength);

private:
    std::mutex m_lock;
    std::condition_variable m_signal;
    std::vector<std::vector<unsigned char>> m_slots;
    size_t m_nMaxBytes;
    int m_nFirst = 0;
    int m_nCount = 0;
    size_t m_nBytes = 0;
    bool m_bSkipToKey = false;
    bool m_bStopped = false;
    long long m_nDropped = 0;
};
