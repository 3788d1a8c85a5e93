#pragma once

#include "camera/IV4l2Device.h"

#include <linux/videodev2.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

// A device streaming MJPEG into memory-mapped buffers. A dequeued buffer is
// the caller's until it is requeued. The mappings live as long as this
// object, also after the device went away, so that a frame held from a
// camera that was unplugged can still be read.
//
// Dequeue runs on one thread; Requeue and Device() may be used from another.
class V4l2Stream {
public:
    struct Format {
        uint32_t nWidth = 0;
        uint32_t nHeight = 0;
        v4l2_fract interval{0, 0}; // time per frame; 0/0 keeps the driver's
    };
    struct Frame {
        int nIndex = -1;
        const uint8_t* pData = nullptr;
        size_t nLength = 0;
    };
    enum class Result { Frame, Nothing, Ended };

    // A video capture node with streaming I/O; UVC cameras also have a
    // metadata node, which has neither.
    static bool CanStream(const v4l2_capability& caps);
    // The largest MJPEG size the device lists that gives at least 15
    // pictures a second, with its shortest frame interval; the device's
    // current size when none does. False when the device offers no MJPEG.
    static bool ChooseFormat(IV4l2Device& device, Format& format);
    // Sets MJPEG at the size of format, maps the buffers, queues them and
    // starts streaming. Null when the device refuses a step.
    static std::unique_ptr<V4l2Stream> Start(std::unique_ptr<IV4l2Device> pDevice,
                                             const Format& format);
    ~V4l2Stream();

    // A text field of a V4L2 structure, which need not end in a zero.
    template <size_t N> static std::string Text(const uint8_t (&field)[N]) {
        const char* szField = reinterpret_cast<const char*>(field);
        size_t nLength = 0;
        while (nLength < N && szField[nLength] != '\0') {
            ++nLength;
        }
        return std::string(szField, nLength);
    }

    V4l2Stream(const V4l2Stream&) = delete;
    V4l2Stream& operator=(const V4l2Stream&) = delete;

    // The size and frame interval the driver agreed to.
    const Format& GetFormat() const { return m_format; }
    IV4l2Device& Device() { return *m_pDevice; }

    int Poll(int nTimeoutMs) { return m_pDevice->Poll(nTimeoutMs); }
    // Frame: a filled buffer, now the caller's. Nothing: none ready, or one
    // the driver marked as damaged, which goes straight back. Ended: the
    // device failed or is gone.
    Result Dequeue(Frame& frame);
    // Gives a buffer back to the driver; ignored once stopped.
    void Requeue(int nIndex);
    // Stops streaming; safe to call twice.
    void Stop();

private:
    struct Mapping {
        uint8_t* pData;
        size_t nLength;
    };

    explicit V4l2Stream(std::unique_ptr<IV4l2Device> pDevice) : m_pDevice(std::move(pDevice)) {}

    std::unique_ptr<IV4l2Device> m_pDevice;
    std::vector<Mapping> m_mappings;
    Format m_format;
    std::atomic<bool> m_bStreaming{false};
};
