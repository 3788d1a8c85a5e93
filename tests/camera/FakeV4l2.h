#pragma once

#include "camera/IV4l2System.h"

#include <linux/videodev2.h>

#include <array>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// What a fake video node offers.
struct FakeNodeSpec {
    std::string strCard = "Document Camera";
    std::string strBusInfo = "usb-0000:00:14.0-1";
    uint32_t nCaps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
    struct Size {
        uint32_t nWidth;
        uint32_t nHeight;
        std::vector<v4l2_fract> intervals;
    };
    // The MJPEG sizes, each with its frame intervals; no MJPEG when empty.
    // (YUYV is always offered too, at a size larger than any of these.)
    std::vector<Size> mjpeg = {{640, 480, {{1, 30}}}};
    uint32_t nWidth = 320; // the size before anyone sets one
    uint32_t nHeight = 240;
    std::vector<uint8_t> descriptors; // the USB descriptors in sysfs
};

// A write to an extension unit as the fake node received it.
struct FakeUnitWrite {
    int nNode;
    int nUnit;
    int nSelector;
    int nQuery;
    int nSize;
    std::array<uint8_t, 4> data;
};

// What a node was last set to, and where its buffers are.
struct FakeNodeState {
    bool bStreaming = false;
    uint32_t nWidth = 0;
    uint32_t nHeight = 0;
    v4l2_fract interval{0, 0};
    int nBuffers = 0;
    int nQueued = 0; // buffers the driver holds, empty or filled
};

// The kernel's video devices for a test: nodes /dev/video<n> that can be
// plugged and unplugged at any time, stream the frames a test delivers
// into mapped buffers, and record the writes to their extension units.
// Thread-safe, as the real thing.
class FakeV4l2System final : public IV4l2System {
public:
    FakeV4l2System();

    void Plug(int nNode, FakeNodeSpec spec);
    // The node disappears; devices open on it fail from now on.
    void Unplug(int nNode);
    // The node stays, but the device streaming from it fails from now on.
    void BreakStream(int nNode);
    // Fills the oldest queued buffer of a streaming node. nBytesUsed, when
    // not 0, is what the driver claims to have written. False when the node
    // does not stream or has no buffer queued.
    bool Deliver(int nNode, const std::vector<uint8_t>& frame, uint32_t nFlags = 0,
                 uint32_t nBytesUsed = 0);
    // Waits (bounded) until the node streams and whoever reads it has taken
    // every delivered frame and polls for the next one.
    bool WaitIdle(int nNode);
    // Waits (bounded) until the nodes were listed nCount times in all.
    bool WaitListings(int nCount);
    // The nth extension-unit write from now on (0: the next) fails.
    void FailUnitWrite(int nWrite);
    std::vector<FakeUnitWrite> UnitWrites();
    FakeNodeState State(int nNode);
    // Devices open and buffers mapped, over all nodes.
    int OpenDevices();
    int Mappings();

    std::vector<std::string> ListVideoNodes() override;
    std::unique_ptr<IV4l2Device> Open(const std::string& strPath) override;
    std::vector<uint8_t> ReadUsbDescriptors(const std::string& strPath) override;

    struct Kernel;

private:
    std::shared_ptr<Kernel> m_pKernel;
};

// The vendor GUID as the device sends it.
std::array<uint8_t, 16> VendorUnitGuid();
// Descriptors of a UVC camera: a video control interface with a processing
// unit and another maker's extension unit (id 3), an extension unit of
// GUID guid and id nUnit (none when nUnit is negative) in an interface of
// class nClass and subclass nSubclass (video control: 0x0E, 0x01), then a
// video streaming interface with an MJPEG format.
std::vector<uint8_t> MakeUvcDescriptors(const std::array<uint8_t, 16>& guid, int nUnit,
                                        uint8_t nClass = 0x0E, uint8_t nSubclass = 0x01);
