#include "camera/V4l2Camera.h"

#include "camera/UvcDescriptors.h"

#include <linux/usb/video.h>
#include <linux/uvcvideo.h>

#include <chrono>
#include <cstring>
#include <utility>

namespace {

// The camera maker's extension unit {A917C75D-4119-11DA-AE0E-000D56AC7B4C}
// as the device sends it: the first three fields little-endian.
constexpr uint8_t kVendorUnit[16] = {0x5D, 0xC7, 0x17, 0xA9, 0x19, 0x41, 0xDA, 0x11,
                                     0xAE, 0x0E, 0x00, 0x0D, 0x56, 0xAC, 0x7B, 0x4C};
constexpr uint8_t kCommandSelector = 4;
// How long the streaming thread waits for a frame before it looks at its
// running flag again: the longest Close waits for it.
constexpr int kPollMs = 100;

constexpr uint8_t kAutoFocus1 = 53;
constexpr uint8_t kAutoFocus2 = 54;

int FindVendorUnit(IV4l2System& system, const std::string& strPath) {
    const std::vector<uint8_t> descriptors = system.ReadUsbDescriptors(strPath);
    return UvcDescriptors::FindExtensionUnit(descriptors.data(), descriptors.size(), kVendorUnit);
}

} // namespace

V4l2Camera::V4l2Camera(std::shared_ptr<IV4l2System> pSystem, int nWatchIntervalMs)
    : m_pSystem(std::move(pSystem)), m_nWatchIntervalMs(nWatchIntervalMs) {}

V4l2Camera::~V4l2Camera() {
    Close();
}

void V4l2Camera::Release() {
    Close();
    delete this;
}

bool V4l2Camera::Open(const std::string& strPath, int /*nParam*/) {
    if (m_thread.joinable()) {
        return false;
    }
    std::unique_ptr<IV4l2Device> pDevice = m_pSystem->Open(strPath);
    v4l2_capability caps{};
    V4l2Stream::Format format;
    if (!pDevice || pDevice->Ioctl(VIDIOC_QUERYCAP, &caps) != 0 || !V4l2Stream::CanStream(caps) ||
        !V4l2Stream::ChooseFormat(*pDevice, format)) {
        return false;
    }
    std::shared_ptr<V4l2Stream> pStream = V4l2Stream::Start(std::move(pDevice), format);
    if (!pStream) {
        return false;
    }
    m_strBusInfo = V4l2Stream::Text(caps.bus_info);
    m_format = pStream->GetFormat();
    {
        std::lock_guard<std::mutex> lock(m_slotMutex);
        m_pStream = pStream;
        m_nUnit = FindVendorUnit(*m_pSystem, strPath);
    }
    m_bRunning = true;
    m_thread = std::thread(&V4l2Camera::Run, this, std::move(pStream));
    SendCommand(kAutoFocus1);
    SendCommand(kAutoFocus2);
    return true;
}

void V4l2Camera::Close() {
    {
        // Under the watch's mutex, so that the watch cannot miss the wake-up
        // between looking at the flag and starting to wait.
        std::lock_guard<std::mutex> lock(m_watchMutex);
        m_bRunning = false;
    }
    m_watchWake.notify_all();
    if (m_thread.joinable()) {
        m_thread.join();
    }
    // The thread is gone; stopping first makes the samples' requeues no-ops.
    std::shared_ptr<V4l2Stream> pStream;
    Sample samples[2];
    {
        std::lock_guard<std::mutex> lock(m_slotMutex);
        pStream = std::move(m_pStream);
        m_nUnit = -1;
        samples[0] = std::move(m_slots[0]);
        samples[1] = std::move(m_slots[1]);
        m_nCurrent = -1;
    }
    if (pStream) {
        pStream->Stop();
    }
    Drop(samples[0]);
    Drop(samples[1]);
    m_nShown = 0;
    m_nRefused = 0;
    m_pPicture = nullptr;
}

void V4l2Camera::Drop(Sample& sample) {
    if (sample.pStream) {
        sample.pStream->Requeue(sample.frame.nIndex);
        sample.pStream.reset();
    }
}

void V4l2Camera::Run(std::shared_ptr<V4l2Stream> pStream) {
    while (m_bRunning) {
        if (!pStream) {
            pStream = WaitForReturn();
            continue;
        }
        const int nReady = pStream->Poll(kPollMs);
        if (nReady == 0) {
            continue;
        }
        V4l2Stream::Frame frame;
        const V4l2Stream::Result result =
            nReady > 0 ? pStream->Dequeue(frame) : V4l2Stream::Result::Ended;
        if (result == V4l2Stream::Result::Frame) {
            HandOver({pStream, frame, ++m_nSamples});
        } else if (result == V4l2Stream::Result::Ended) {
            // Unplugged: uvcvideo ends a stream for nothing else. The
            // samples in the slots keep the old stream and its mappings, so
            // the last picture stays until one from the returned camera
            // replaces it.
            pStream->Stop();
            {
                std::lock_guard<std::mutex> lock(m_slotMutex);
                m_pStream.reset();
                m_nUnit = -1;
            }
            pStream.reset();
        }
    }
}

void V4l2Camera::HandOver(Sample sample) {
    Sample old;
    {
        std::lock_guard<std::mutex> lock(m_slotMutex);
        if (m_nCurrent < 0) {
            m_nCurrent = 0;
            old = std::move(m_slots[0]);
            m_slots[0] = std::move(sample);
        } else {
            Sample& waiting = m_slots[1 - m_nCurrent];
            old = std::move(waiting);
            waiting = std::move(sample);
        }
    }
    // A frame that waited and was never shown goes back undecoded.
    Drop(old);
}

void V4l2Camera::UnlockFrame() {
    Sample shown;
    {
        std::lock_guard<std::mutex> lock(m_slotMutex);
        if (m_nCurrent < 0 || !m_slots[1 - m_nCurrent].pStream) {
            return;
        }
        shown = std::move(m_slots[m_nCurrent]);
        m_nCurrent = 1 - m_nCurrent;
    }
    Drop(shown);
}

std::shared_ptr<V4l2Stream> V4l2Camera::WaitForReturn() {
    std::unique_lock<std::mutex> lock(m_watchMutex);
    while (m_bRunning) {
        lock.unlock();
        std::shared_ptr<V4l2Stream> pStream = Reconnect();
        lock.lock();
        if (pStream) {
            return pStream;
        }
        m_watchWake.wait_for(lock, std::chrono::milliseconds(m_nWatchIntervalMs),
                             [this] { return !m_bRunning; });
    }
    return nullptr;
}

std::shared_ptr<V4l2Stream> V4l2Camera::Reconnect() {
    // Without a bus path there is nothing to tell this camera from another.
    if (m_strBusInfo.empty()) {
        return nullptr;
    }
    for (const std::string& strPath : m_pSystem->ListVideoNodes()) {
        std::unique_ptr<IV4l2Device> pDevice = m_pSystem->Open(strPath);
        v4l2_capability caps{};
        if (!pDevice || pDevice->Ioctl(VIDIOC_QUERYCAP, &caps) != 0 ||
            !V4l2Stream::CanStream(caps) || V4l2Stream::Text(caps.bus_info) != m_strBusInfo) {
            continue;
        }
        std::shared_ptr<V4l2Stream> pStream = V4l2Stream::Start(std::move(pDevice), m_format);
        if (!pStream) {
            continue;
        }
        {
            std::lock_guard<std::mutex> lock(m_slotMutex);
            m_pStream = pStream;
            m_nUnit = FindVendorUnit(*m_pSystem, strPath);
        }
        // The camera lost its settings with its power: focus it as on opening.
        SendCommand(kAutoFocus1);
        SendCommand(kAutoFocus2);
        return pStream;
    }
    return nullptr;
}

bool V4l2Camera::LockFrame(unsigned char*& pData, int& nSize, int& nWidth, int& nHeight) {
    V4l2Stream::Frame frame;
    uint64_t nNumber = 0;
    Sample refused;
    {
        std::lock_guard<std::mutex> lock(m_slotMutex);
        if (m_nCurrent < 0) {
            return false;
        }
        // The view calls no UnlockFrame after a failed LockFrame: a frame
        // that could not be decoded makes way here for a newer one.
        if (m_slots[m_nCurrent].nNumber == m_nRefused && m_slots[1 - m_nCurrent].pStream) {
            refused = std::move(m_slots[m_nCurrent]);
            m_nCurrent = 1 - m_nCurrent;
        }
        const Sample& current = m_slots[m_nCurrent];
        frame = current.frame;
        nNumber = current.nNumber;
    }
    Drop(refused);
    if (nNumber == m_nRefused) {
        return false;
    }
    // The shown sample leaves its slot only on this thread, so its buffer is
    // read without the lock. A sample decoded before is not decoded again:
    // the decoder still holds its picture.
    if (nNumber != m_nShown) {
        unsigned char* pPicture = nullptr;
        int nPictureSize = 0;
        int nPictureWidth = 0;
        int nPictureHeight = 0;
        if (!m_decoder.Decode(frame.pData, frame.nLength, pPicture, nPictureSize, nPictureWidth,
                              nPictureHeight)) {
            m_nRefused = nNumber;
            return false;
        }
        m_nShown = nNumber;
        m_pPicture = pPicture;
        m_nPictureSize = nPictureSize;
        m_nPictureWidth = nPictureWidth;
        m_nPictureHeight = nPictureHeight;
    }
    pData = m_pPicture;
    nSize = m_nPictureSize;
    nWidth = m_nPictureWidth;
    nHeight = m_nPictureHeight;
    return true;
}

bool V4l2Camera::SendCommand(uint8_t nCode) {
    std::shared_ptr<V4l2Stream> pStream;
    int nUnit = -1;
    {
        std::lock_guard<std::mutex> lock(m_slotMutex);
        pStream = m_pStream;
        nUnit = m_nUnit;
    }
    // No unit of this maker: the same bytes sent to another maker's unit
    // could do harm, so nothing is sent.
    if (!pStream || nUnit < 0) {
        return false;
    }
    const uint8_t writes[5][4] = {{0x20, 0x46, 0xB4, nCode},
                                  {0x20, 0x38, 0xB4, 0x02},
                                  {0x20, 0x40, 0xB4, 0x00},
                                  {0x20, 0x41, 0xB4, 0x00},
                                  {0x20, 0x44, 0xB4, 0x01}};
    for (const auto& write : writes) {
        uint8_t data[4];
        std::memcpy(data, write, sizeof(data));
        uvc_xu_control_query query{};
        query.unit = static_cast<uint8_t>(nUnit);
        query.selector = kCommandSelector;
        query.query = UVC_SET_CUR;
        query.size = sizeof(data);
        query.data = data;
        if (pStream->Device().Ioctl(UVCIOC_CTRL_QUERY, &query) != 0) {
            return false;
        }
    }
    return true;
}

bool V4l2Camera::AutoFocus() {
    SendCommand(kAutoFocus1);
    SendCommand(kAutoFocus2);
    return true;
}

bool V4l2Camera::Negative() {
    SendCommand(m_bNegative ? 56 : 55);
    m_bNegative = !m_bNegative;
    return true;
}
