#pragma once

#include "camera/IV4l2System.h"

#include <linux/videodev2.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

// What a fake video node offers.
struct FakeNodeSpec {
    std::string strCard = "Document Camera";
    std::string strBusInfo = "usb-0000:00:14.0-1";
    uint32_t nCaps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
    struct Size {
        uint32_t nWidth, nHeight;
        std::vector<v4l2_fract> intervals;
    };
    std::vector<Size> mjpeg = {{640, 480, {{1, 30}}}}; // empty: YUYV only
    uint32_t nWidth = 320, nHeight = 240;              // before anyone sets a size
    std::vector<uint8_t> descriptors;                  // the USB descriptors in sysfs
};

// What a node was set to and how many of its buffers the driver holds.
struct FakeNodeState {
    bool bStreaming = false;
    uint32_t nWidth = 0, nHeight = 0;
    v4l2_fract interval{0, 0};
    int nBuffers = 0, nQueued = 0;
};

// The kernel's video nodes /dev/video<n> for a test: plugged and unplugged
// at any time, streaming the frames a test delivers into mapped buffers,
// recording the writes to extension units. Thread-safe, as the real thing;
// every wait is bounded.
class FakeV4l2System final : public IV4l2System {
public:
    FakeV4l2System();
    ~FakeV4l2System() override;

    void Plug(int nNode, FakeNodeSpec spec);
    void Unplug(int nNode); // devices open on it fail from now on
    // Fills the oldest queued buffer of a streaming node; nBytesUsed, when
    // not 0, is what the driver claims. False when no buffer is queued.
    bool Deliver(int nNode, const std::vector<uint8_t>& frame, uint32_t nFlags = 0,
                 uint32_t nBytesUsed = 0);
    // Until the node streams and its reader has taken every frame and polls.
    bool WaitIdle(int nNode);
    // Until the nodes were listed nCount times in all.
    bool WaitListings(int nCount);
    void FailUnitWrite(int nWrite); // the nth write from now (0: the next)
    // "video<node> unit <u> selector <s> query <q> size <n>: <bytes in hex>"
    std::vector<std::string> UnitWrites();
    FakeNodeState State(int nNode);
    int Held(); // devices open and buffers mapped: 0 once all is closed

    std::vector<std::string> ListVideoNodes() override;
    std::unique_ptr<IV4l2Device> Open(const std::string& strPath) override;
    std::vector<uint8_t> ReadUsbDescriptors(const std::string& strPath) override;

    struct Kernel;

private:
    std::shared_ptr<Kernel> m_pKernel;
};

// The vendor GUID as the device sends it.
std::array<uint8_t, 16> VendorUnitGuid();
// A UVC camera's descriptors: a video control interface with another maker's
// extension unit (id 3), then one of GUID guid and id nUnit (none when
// negative) in an interface of class nClass and subclass nSubclass (video
// control: 0x0E, 0x01), then a video streaming interface.
std::vector<uint8_t> MakeUvcDescriptors(const std::array<uint8_t, 16>& guid, int nUnit,
                                        uint8_t nClass = 0x0E, uint8_t nSubclass = 0x01);
