#include "phone/AndroidCamera.h"

#include <chrono>
#include <cstring>
#include <ctime>
#include <random>

namespace {

// A payload slot that once held a huge picture gives its memory back
// rather than keep it for good.
constexpr size_t kKeptSlotCapacity = 4u << 20;

// Where the first NAL unit starts: after a 4-byte start code, as the phone
// sends it, or a 3-byte one.
int FirstNalOffset(const unsigned char* pData, size_t nLength) {
    if (nLength >= 3 && pData[0] == 0 && pData[1] == 0 && pData[2] == 1) {
        return 3;
    }
    return 4;
}

// Whether decoding can start again at this payload: its NAL units, read up
// to its first picture slice, include a sequence parameter set or the slice
// is an IDR slice.
bool IsKeyPayload(const unsigned char* pData, size_t nLength) {
    for (size_t i = 0; i + 3 < nLength; ++i) {
        if (pData[i] != 0 || pData[i + 1] != 0 || pData[i + 2] != 1) {
            continue;
        }
        const int nType = pData[i + 3] & 0x1F;
        if (nType == 5 || nType == 7) {
            return true;
        }
        if (nType == 1) {
            return false;
        }
        i += 3;
    }
    return false;
}

} // namespace

AndroidCamera::AndroidCamera() : m_queue(kQueueSlots) {
    // Seeded with the time in seconds: cameras made within the same second
    // introduce themselves with the same id.
    std::minstd_rand generator(static_cast<unsigned int>(std::time(nullptr)));
    for (int i = 0; i < 32; ++i) {
        const unsigned int nDigit = generator() % 16;
        m_strClientId += static_cast<char>(nDigit < 10 ? '0' + nDigit : 'a' + (nDigit - 10));
    }
    m_strSecondClientId = m_strClientId;
}

AndroidCamera::~AndroidCamera() {
    Close();
}

void AndroidCamera::Release() {
    Close();
    delete this;
}

bool AndroidCamera::Open(const std::string& strAddress, uint16_t nCommandPort, uint16_t nVideoPort,
                         int /*nReserved*/) {
    if (m_bOpened) {
        return false;
    }
    if (!m_decoder.Open()) {
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(m_videoLock);
        m_bClosing = false;
        m_strAddress = strAddress;
        m_nVideoPort = nVideoPort;
    }
    {
        std::lock_guard<std::mutex> lock(m_queueLock);
        m_nQueueFirst = 0;
        m_nQueued = 0;
        m_nQueuedBytes = 0;
        m_bSkipToKeyFrame = false;
    }
    m_bPrimed = false;
    // The decode thread is there before the first payload can arrive.
    m_bOpened = true;
    m_decodeThread = std::thread(&AndroidCamera::DecodeLoop, this);

    if (nCommandPort != 0) {
        if (!m_commandChannel.Connect(strAddress.c_str(), nCommandPort,
                                      [this] { ConnectVideo(); })) {
            Close();
            return false;
        }
        m_commandChannel.SendHello(m_strClientId, m_strSecondClientId);
        m_commandChannel.SendJoin();
    } else {
        ConnectVideo();
    }
    return true;
}

void AndroidCamera::Close() {
    // A grant arriving from here on connects nothing; one that is already
    // connecting finishes first (it holds the lock).
    {
        std::lock_guard<std::mutex> lock(m_videoLock);
        m_bClosing = true;
    }
    m_videoChannel.Disconnect();
    m_commandChannel.Disconnect();
    // A pin the caller forgot would hold the decode thread for good.
    if (m_bLocked) {
        UnlockFrame();
    }
    {
        std::lock_guard<std::mutex> lock(m_queueLock);
        m_bOpened = false;
    }
    m_queueSignal.notify_all();
    if (m_decodeThread.joinable()) {
        m_decodeThread.join();
    }
    m_decodeThread = std::thread();
    m_decoder.Close();
}

bool AndroidCamera::Send(int nCode) {
    m_commandChannel.SendControl(nCode, 0);
    return true;
}

void AndroidCamera::ConnectVideo() {
    std::lock_guard<std::mutex> lock(m_videoLock);
    if (m_bClosing) {
        return;
    }
    m_videoChannel.Disconnect();
    m_videoChannel.Connect(
        m_strAddress.c_str(), m_nVideoPort,
        [this](unsigned char* pData, unsigned int nLength) { OnVideoData(pData, nLength); });
}

void AndroidCamera::OnVideoData(unsigned char* pData, unsigned int nLength) {
    std::unique_lock<std::mutex> lock(m_queueLock);
    if (m_bSkipToKeyFrame) {
        if (!IsKeyPayload(pData, nLength)) {
            ++m_nDropped;
            return;
        }
        m_bSkipToKeyFrame = false;
    }
    if (m_nQueued == kQueueSlots || m_nQueuedBytes + nLength > kQueueBytes) {
        // Decoding fell behind. What is queued cannot be decoded without
        // what came before it, so it goes, and so does everything up to the
        // next payload the decoder can start from.
        m_nDropped += m_nQueued;
        m_nQueued = 0;
        m_nQueuedBytes = 0;
        if (!IsKeyPayload(pData, nLength)) {
            m_bSkipToKeyFrame = true;
            ++m_nDropped;
            return;
        }
    }
    auto& slot = m_queue[static_cast<size_t>((m_nQueueFirst + m_nQueued) % kQueueSlots)];
    slot.assign(pData, pData + nLength);
    ++m_nQueued;
    m_nQueuedBytes += nLength;
    lock.unlock();
    m_queueSignal.notify_one();
}

void AndroidCamera::DecodeLoop() {
    std::vector<unsigned char> payload;
    // The decode thread's own idea of the size, passed in and out of Decode.
    int nWidth = 0;
    int nHeight = 0;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(m_queueLock);
            m_queueSignal.wait(lock, [this] { return m_nQueued > 0 || !m_bOpened; });
            if (!m_bOpened) {
                break;
            }
            // The slot keeps the memory of the payload decoded last.
            std::swap(payload, m_queue[static_cast<size_t>(m_nQueueFirst)]);
            m_nQueueFirst = (m_nQueueFirst + 1) % kQueueSlots;
            --m_nQueued;
            m_nQueuedBytes -= payload.size();
        }
        if (payload.empty()) {
            continue;
        }
        const int nLength = static_cast<int>(payload.size());
        if (!m_bPrimed) {
            // Nothing is decoded before the first sequence parameter set; the
            // payload that brings it is decoded but not shown.
            const int nOffset = FirstNalOffset(payload.data(), payload.size());
            if (nLength > nOffset &&
                ParseSpsSize(payload.data() + nOffset, nLength - nOffset, nWidth, nHeight)) {
                m_decoder.Decode(payload.data(), nLength, nWidth, nHeight);
                m_bPrimed = true;
            }
        } else if (m_decoder.Decode(payload.data(), nLength, nWidth, nHeight) > 0 &&
                   m_decoder.PictureSize() > 0) {
            ShowPicture(nWidth, nHeight);
        }
        if (payload.capacity() > kKeptSlotCapacity) {
            payload = std::vector<unsigned char>();
        }
    }
}

void AndroidCamera::ShowPicture(int nWidth, int nHeight) {
    const auto nSize = static_cast<size_t>(m_decoder.PictureSize());
    int nPicture;
    {
        std::lock_guard<std::mutex> lock(m_frameLock);
        if (m_frame.size() < nSize) {
            m_frame.resize(nSize);
        }
        std::memcpy(m_frame.data(), m_decoder.Picture(), nSize);
        m_nWidth = nWidth;
        m_nHeight = nHeight;
        nPicture = ++m_nPictures;
    }
    m_pictureSignal.notify_all();
    if (m_pictureHook) {
        m_pictureHook(nPicture);
    }
}

bool AndroidCamera::LockFrame(unsigned char*& pData, int& nSize, int& nWidth, int& nHeight) {
    if (m_bLocked) {
        return false;
    }
    m_frameLock.lock();
    if (m_frame.empty() || m_nWidth <= 0 || m_nHeight <= 0) {
        m_frameLock.unlock();
        return false;
    }
    pData = m_frame.data();
    nSize = static_cast<int>(m_frame.size());
    nWidth = m_nWidth;
    nHeight = m_nHeight;
    m_bLocked = true;
    return true;
}

void AndroidCamera::UnlockFrame() {
    if (!m_bLocked) {
        return;
    }
    m_bLocked = false;
    m_frameLock.unlock();
}

int AndroidCamera::PictureCount() {
    std::lock_guard<std::mutex> lock(m_frameLock);
    return m_nPictures;
}

bool AndroidCamera::WaitForPictures(int nCount, int nTimeoutMs) {
    std::unique_lock<std::mutex> lock(m_frameLock);
    return m_pictureSignal.wait_for(lock, std::chrono::milliseconds(nTimeoutMs),
                                    [&] { return m_nPictures >= nCount; });
}

int AndroidCamera::QueuedPayloads() {
    std::lock_guard<std::mutex> lock(m_queueLock);
    return m_nQueued;
}

long long AndroidCamera::DroppedPayloads() {
    std::lock_guard<std::mutex> lock(m_queueLock);
    return m_nDropped;
}
