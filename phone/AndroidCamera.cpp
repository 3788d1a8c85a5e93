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

} // namespace

AndroidCamera::AndroidCamera() {
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
    m_queue.Reset();
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
    m_bOpened = false;
    m_queue.Stop();
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
    m_queue.Push(pData, nLength);
}

void AndroidCamera::DecodeLoop() {
    std::vector<unsigned char> payload;
    // The decode thread's own idea of the size, passed in and out of Decode.
    int nWidth = 0;
    int nHeight = 0;
    while (m_queue.Pop(payload)) {
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
        } else {
            const auto begin = std::chrono::steady_clock::now();
            if (m_decoder.Decode(payload.data(), nLength, nWidth, nHeight) > 0 &&
                m_decoder.PictureSize() > 0) {
                ShowPicture(nWidth, nHeight,
                            std::chrono::duration<double, std::milli>(
                                std::chrono::steady_clock::now() - begin)
                                .count());
            }
        }
        if (payload.capacity() > kKeptSlotCapacity) {
            payload = std::vector<unsigned char>();
        }
    }
}

void AndroidCamera::ShowPicture(int nWidth, int nHeight, double dDecodeMs) {
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
        m_pictureHook(nPicture, dDecodeMs);
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
