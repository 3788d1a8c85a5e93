#pragma once

#include "camera/IV4l2System.h"

#include <linux/videodev2.h>

#include <array>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// What a fake video node offers, and what the camera set it to.
struct FakeNode {
    std::string strCard = "Document Camera";
    std::string strBusInfo = "usb-0000:00:14.0-1";
    uint32_t nCaps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING; // of this node
    // MJPEG sizes, one row per frame interval: width, height, numerator,
    // denominator. Empty: YUYV only.
    std::vector<std::array<uint32_t, 4>> mjpeg = {{640, 480, 1, 30}};
    std::vector<uint8_t> descriptors; // of the USB device

    uint32_t nWidth = 800, nHeight = 600; // the current size
    v4l2_fract interval{0, 0};
    bool bStreaming = false;
    int nQueued = 0; // buffers the driver holds, of 4
};

// The kernel's video nodes /dev/video<n> as the camera uses them: plugged
// and unplugged at any time, streaming the frames a test delivers into
// mapped buffers that end in a page no read may touch, recording the writes
// to extension units as "video<n> unit <u> selector <s> query <q>: <hex>".
// Thread-safe; every wait is bounded.
class FakeV4l2System final : public IV4l2System {
public:
    void Plug(int nNumber, FakeNode node);
    void Unplug(int nNumber); // its open devices fail from now on
    // Fills the oldest queued buffer; nBytesUsed, when not 0, is what the
    // driver claims. False when no buffer is queued.
    bool Deliver(int nNumber, const std::vector<uint8_t>& frame, uint32_t nFlags = 0,
                 uint32_t nBytesUsed = 0);
    // Until the node streams and its reader has taken every frame and polls.
    bool WaitIdle(int nNumber);
    bool WaitListings(int nCount); // until the nodes were listed nCount times
    void FailWrite(int nWrite);    // the nth unit write from now (0: the next)
    std::vector<std::string> Writes();
    FakeNode State(int nNumber);
    int Held(); // devices open and buffers mapped

    std::vector<std::string> ListVideoNodes() override;
    std::unique_ptr<IV4l2Device> Open(const std::string& strPath) override;
    std::vector<uint8_t> ReadUsbDescriptors(const std::string& strPath) override;

    struct Live {
        FakeNode node;
        bool bGone = false;
        bool bPolling = false;
        std::vector<uint8_t*> memory;
        std::deque<uint32_t> queued;  // empty, for the driver to fill
        std::deque<v4l2_buffer> done; // filled, to be dequeued
        ~Live();
    };

private:
    friend class FakeDevice;
    bool Until(const std::function<bool()>& ready);
    std::shared_ptr<Live> Find(int nNumber);

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::map<int, std::shared_ptr<Live>> m_nodes;
    std::vector<std::string> m_writes;
    int m_nFailingWrite = -1;
    int m_nListings = 0;
    int m_nHeld = 0;
};

using Guid = std::array<uint8_t, 16>;
// The camera maker's extension unit as the device sends it.
constexpr Guid kVendorGuid = {0x5D, 0xC7, 0x17, 0xA9, 0x19, 0x41, 0xDA, 0x11,
                              0xAE, 0x0E, 0x00, 0x0D, 0x56, 0xAC, 0x7B, 0x4C};
// A camera's descriptors: a video control interface with an extension unit
// (id 3) whose GUID differs from the vendor's in its last byte, then, unless
// nUnit is negative, one of GUID guid and id nUnit in an interface of class
// nClass and subclass nSubclass (0x0E, 1: video control; 0x0E, 2: video
// streaming, where subtype 0x06 is a format), then a streaming interface.
std::vector<uint8_t> UvcDescriptorsWith(const Guid& guid, int nUnit, uint8_t nClass = 0x0E,
                                        uint8_t nSubclass = 1);

using Bgr = std::array<uint8_t, 3>;
// A BGRA picture of four colours, clockwise from the top left.
std::vector<uint8_t> Quadrants(int nWidth, int nHeight, const std::array<Bgr, 4>& colours);
// A baseline JPEG of it with the standard Huffman tables; nSubsampling is a
// TJSAMP_ value. Without the tables when bTables is false, as many UVC
// cameras send their frames.
std::vector<uint8_t> Jpeg(int nWidth, int nHeight, const std::array<Bgr, 4>& colours,
                          int nSubsampling, bool bTables = true);
