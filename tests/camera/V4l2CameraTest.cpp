#include "camera/V4l2Camera.h"
#include "camera/V4l2DeviceList.h"
#include "tests/camera/CameraTestSupport.h"

#include <gtest/gtest.h>

#include <linux/usb/video.h>
#include <linux/uvcvideo.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>

namespace {

constexpr uint32_t kBufferSize = 64 * 1024; // buffer i maps at offset i * kBufferSize

// A video node: what it offers, what the camera set it to, its buffers.
struct Node {
    std::string strCard = "Document Camera", strBusInfo = "usb-0000:00:14.0-1";
    uint32_t nCaps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING; // of this node
    // MJPEG sizes, one row per frame interval: width, height, numerator,
    // denominator. Empty: YUYV only.
    std::vector<std::array<uint32_t, 4>> mjpeg = {{640, 480, 1, 30}};
    Bytes descriptors = Interface(0x0E, 1) + Unit(5); // of the USB device
    uint32_t nWidth = 800, nHeight = 600;             // the current size
    v4l2_fract interval{0, 0};
    bool bStreaming = false, bGone = false, bPolling = false;
    std::vector<Bytes> buffers;
    std::deque<uint32_t> queued;  // empty, for the driver to fill
    std::deque<v4l2_buffer> done; // filled, to be dequeued
};

// The kernel's video nodes /dev/video<n>, plugged and unplugged at any time,
// streaming the frames a test delivers. Records each write to an extension
// unit: node number, unit, selector, query and the data. Waits are bounded.
class FakeV4l2System final : public IV4l2System {
public:
    void Plug(int nNumber, Node node) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_nodes[nNumber] = std::make_shared<Node>(std::move(node));
    }
    void Unplug(int nNumber) { // its open devices fail from now on
        std::lock_guard<std::mutex> lock(m_mutex);
        m_nodes.at(nNumber)->bGone = true;
        m_nodes.erase(nNumber);
        m_changed.notify_all();
    }
    // Fills the oldest queued buffer; nBytesUsed, when not 0, is what the
    // driver claims.
    bool Deliver(int nNumber, const Bytes& frame, uint32_t nFlags = 0, uint32_t nBytesUsed = 0) {
        std::lock_guard<std::mutex> lock(m_mutex);
        Node& node = *m_nodes.at(nNumber);
        if (node.queued.empty() || !node.bStreaming) {
            return false;
        }
        v4l2_buffer buffer{};
        buffer.index = node.queued.front();
        buffer.flags = nFlags;
        buffer.bytesused = nBytesUsed ? nBytesUsed : static_cast<uint32_t>(frame.size());
        node.queued.pop_front();
        node.done.push_back(buffer);
        std::copy(frame.begin(), frame.end(), node.buffers[buffer.index].begin());
        m_changed.notify_all();
        return true;
    }
    // Until ready(), run under the lock, holds.
    bool Until(const std::function<bool()>& ready) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(10), ready);
    }
    // Delivers and waits until the reader has taken the frame and polls again.
    bool Hand(int n, const Bytes& frame) { return Deliver(n, frame) && WaitIdle(n); }
    // Until the node streams and its reader has taken every frame and polls.
    bool WaitIdle(int nNumber) {
        const Node& node = *m_nodes.at(nNumber); // only the test plugs and unplugs
        return Until([&] { return node.bStreaming && node.done.empty() && node.bPolling; });
    }
    Node State(int nNumber) {
        std::lock_guard<std::mutex> lock(m_mutex);
        return *m_nodes.at(nNumber);
    }

    std::vector<std::string> ListVideoNodes() override {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_nListings;
        m_changed.notify_all();
        std::vector<std::string> paths;
        for (const auto& node : m_nodes) {
            paths.push_back("/dev/video" + std::to_string(node.first));
        }
        return paths;
    }
    std::unique_ptr<IV4l2Device> Open(const std::string& strPath) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_nodes.find(std::stoi(strPath.substr(10)));
        m_nHeld += it != m_nodes.end();
        return it != m_nodes.end() ? std::make_unique<Device>(*this, it->first, it->second)
                                   : nullptr;
    }
    std::vector<uint8_t> ReadUsbDescriptors(const std::string& strPath) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_nodes.find(std::stoi(strPath.substr(10)));
        return it != m_nodes.end() ? it->second->descriptors : Bytes{};
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::map<int, std::shared_ptr<Node>> m_nodes;
    std::vector<Bytes> m_writes; // read by the test when no camera thread writes
    int m_nFailingWrite = -1;    // the nth unit write from now fails (0: the next)
    int m_nListings = 0;
    int m_nHeld = 0; // devices open and buffers mapped

private:
    struct Device final : IV4l2Device {
        Device(FakeV4l2System& s, int n, std::shared_ptr<Node> p)
            : system(s), nNumber(n), node(*p), pNode(std::move(p)) {}
        ~Device() override { Unmap(nullptr, 0); } // the open device counted as held

        void* Map(size_t, uint32_t nOffset) override {
            std::lock_guard<std::mutex> lock(system.m_mutex);
            ++system.m_nHeld;
            return node.buffers.at(nOffset / kBufferSize).data();
        }
        void Unmap(void*, size_t) override {
            std::lock_guard<std::mutex> lock(system.m_mutex);
            --system.m_nHeld;
        }
        int Poll(int nTimeoutMs) override {
            std::unique_lock<std::mutex> lock(system.m_mutex);
            node.bPolling = true;
            system.m_changed.notify_all();
            system.m_changed.wait_for(lock, std::chrono::milliseconds(nTimeoutMs),
                                      [&] { return node.bGone || !node.done.empty(); });
            node.bPolling = false;
            return node.bGone ? -1 : node.done.empty() ? 0 : 1;
        }
        int Ioctl(unsigned long nRequest, void* pArg) override;

        FakeV4l2System& system;
        const int nNumber;
        Node& node;
        const std::shared_ptr<Node> pNode;
    };
};

int FakeV4l2System::Device::Ioctl(unsigned long nRequest, void* pArg) {
    std::lock_guard<std::mutex> lock(system.m_mutex);
    if (node.bGone) {
        return ENODEV;
    }
    switch (nRequest) {
    case VIDIOC_QUERYCAP: { // as uvcvideo: the device's capabilities, then the node's
        auto& caps = *static_cast<v4l2_capability*>(pArg);
        node.strCard.copy(reinterpret_cast<char*>(caps.card), sizeof(caps.card));
        node.strBusInfo.copy(reinterpret_cast<char*>(caps.bus_info), sizeof(caps.bus_info));
        caps.capabilities = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING |
                            V4L2_CAP_DEVICE_CAPS;
        caps.device_caps = node.nCaps;
        return 0;
    }
    case VIDIOC_ENUM_FMT: { // YUYV first, as UVC cameras list it
        auto& format = *static_cast<v4l2_fmtdesc*>(pArg);
        format.pixelformat = format.index == 0 ? V4L2_PIX_FMT_YUYV : V4L2_PIX_FMT_MJPEG;
        return format.index < (node.mjpeg.empty() ? 1u : 2u) ? 0 : EINVAL;
    }
    case VIDIOC_ENUM_FRAMESIZES: { // a size with n intervals is listed n times
        auto& size = *static_cast<v4l2_frmsizeenum*>(pArg);
        if (size.pixel_format != V4L2_PIX_FMT_MJPEG || size.index >= node.mjpeg.size()) {
            return EINVAL;
        }
        size.type = V4L2_FRMSIZE_TYPE_DISCRETE;
        size.discrete = {node.mjpeg[size.index][0], node.mjpeg[size.index][1]};
        return 0;
    }
    case VIDIOC_ENUM_FRAMEINTERVALS: { // the nth row of the size
        auto& interval = *static_cast<v4l2_frmivalenum*>(pArg);
        uint32_t n = interval.index;
        for (const auto& row : node.mjpeg) {
            if (interval.pixel_format == V4L2_PIX_FMT_MJPEG && row[0] == interval.width &&
                row[1] == interval.height && n-- == 0) {
                interval.type = V4L2_FRMIVAL_TYPE_DISCRETE;
                interval.discrete = {row[2], row[3]};
                return 0;
            }
        }
        return EINVAL;
    }
    case VIDIOC_G_FMT:
        static_cast<v4l2_format*>(pArg)->fmt.pix.width = node.nWidth;
        static_cast<v4l2_format*>(pArg)->fmt.pix.height = node.nHeight;
        return 0;
    case VIDIOC_S_FMT: // any size
        node.nWidth = static_cast<v4l2_format*>(pArg)->fmt.pix.width;
        node.nHeight = static_cast<v4l2_format*>(pArg)->fmt.pix.height;
        return 0;
    case VIDIOC_S_PARM:
        node.interval = static_cast<v4l2_streamparm*>(pArg)->parm.capture.timeperframe;
        return 0;
    case VIDIOC_REQBUFS:
        static_cast<v4l2_requestbuffers*>(pArg)->count = 4;
        node.buffers.resize(4, Bytes(kBufferSize));
        return 0;
    case VIDIOC_QUERYBUF: {
        auto& buffer = *static_cast<v4l2_buffer*>(pArg);
        buffer.length = kBufferSize;
        buffer.m.offset = buffer.index * kBufferSize;
        return 0;
    }
    case VIDIOC_QBUF:
        node.queued.push_back(static_cast<v4l2_buffer*>(pArg)->index);
        return 0;
    case VIDIOC_DQBUF:
        if (node.done.empty()) {
            return EAGAIN;
        }
        *static_cast<v4l2_buffer*>(pArg) = node.done.front();
        node.done.pop_front();
        return 0;
    case VIDIOC_STREAMON:
    case VIDIOC_STREAMOFF:
        node.bStreaming = nRequest == VIDIOC_STREAMON;
        system.m_changed.notify_all();
        return 0;
    case UVCIOC_CTRL_QUERY: {
        const auto& query = *static_cast<uvc_xu_control_query*>(pArg);
        system.m_writes.push_back(
            Bytes{static_cast<uint8_t>(nNumber), query.unit, query.selector, query.query} +
            Bytes(query.data, query.data + query.size));
        return system.m_nFailingWrite-- == 0 ? EIO : 0;
    }
    }
    return ENOTTY;
}

enum Colour { kNone = -1, kBlue, kGreen, kRed }; // by the channel that stands out

Bytes Frame(Colour colour) {
    Bgr bgr = {30, 30, 30};
    bgr[colour] = 220;
    return Jpeg(48, 32, {bgr, bgr, bgr, bgr}, TJSAMP_422);
}

// The colour LockFrame shows; unlocks again. The picture stays readable
// until the next LockFrame.
Colour Shown(ICamera& camera, unsigned char** ppData = nullptr) {
    unsigned char* pData = nullptr;
    int nSize = 0, nWidth = 0, nHeight = 0;
    if (!camera.LockFrame(pData, nSize, nWidth, nHeight)) {
        return kNone;
    }
    camera.UnlockFrame();
    if (ppData) {
        *ppData = pData;
    }
    return static_cast<Colour>(std::max_element(pData, pData + 3) - pData);
}

struct Released {
    void operator()(ICamera* pCamera) const { pCamera->Release(); }
};
using CameraPtr = std::unique_ptr<ICamera, Released>;

// The five writes of each command to unit 5 of node nNode.
std::vector<Bytes> Commands(uint8_t nNode, std::initializer_list<uint8_t> codes) {
    std::vector<Bytes> writes;
    for (const uint8_t nCode : codes) {
        const uint8_t table[5][2] = {{0x46, nCode}, {0x38, 2}, {0x40, 0}, {0x41, 0}, {0x44, 1}};
        for (const auto& write : table) {
            writes.push_back({nNode, 5, 4, UVC_SET_CUR, 0x20, write[0], 0xB4, write[1]});
        }
    }
    return writes;
}

} // namespace

// The largest MJPEG size that gives at least 15 pictures a second, at its
// shortest frame interval; else the current size at the driver's rate. Then
// the driver's word is checked: a buffer it marks as damaged goes straight
// back, a length beyond the buffer is cut to it, and an index beyond the
// buffers is ignored.
TEST(V4l2Stream, StreamsTheLargestSizeAtFifteenPicturesASecondAndChecksWhatTheDriverSays) {
    const struct {
        const char* szName;
        std::vector<std::array<uint32_t, 4>> sizes;
        std::array<uint32_t, 4> chosen; // width, height, frame interval; all 0: none
    } cases[] = {
        {"no MJPEG", {}, {0, 0, 0, 0}},
        {"none fast enough", {{1920, 1080, 1, 5}}, {800, 600, 0, 0}},
        {"taller at the same width", {{1280, 720, 1, 30}, {1280, 960, 1, 20}}, {1280, 960, 1, 20}},
        {"exactly 15 a second wins, just below not",
         {{640, 480, 1, 30}, {1600, 1200, 1, 10}, {1600, 1200, 1, 15}, {2592, 1944, 2, 29}},
         {1600, 1200, 1, 15}},
    };
    FakeV4l2System system;
    std::unique_ptr<V4l2Stream> pStream;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.szName);
        Node node;
        node.mjpeg = c.sizes;
        system.Plug(0, node);
        std::unique_ptr<IV4l2Device> pDevice = system.Open("/dev/video0");
        V4l2Stream::Format format;
        ASSERT_EQ(V4l2Stream::ChooseFormat(*pDevice, format), c.chosen[0] != 0);
        if (c.chosen[0] != 0) {
            ASSERT_TRUE(pStream = V4l2Stream::Start(std::move(pDevice), format));
            const v4l2_fract set = system.State(0).interval; // as Start set it
            EXPECT_EQ((std::array<uint32_t, 4>{format.nWidth, format.nHeight, set.numerator,
                                               set.denominator}),
                      c.chosen);
        }
    }

    const Bytes frame = {0xFF, 0xD8, 1, 2, 3};
    V4l2Stream::Frame got;
    ASSERT_TRUE(system.Deliver(0, frame, V4L2_BUF_FLAG_ERROR));
    EXPECT_EQ(pStream->Dequeue(got), V4l2Stream::Result::Nothing);
    ASSERT_TRUE(system.Deliver(0, frame, 0, 1u << 24));
    ASSERT_EQ(pStream->Dequeue(got), V4l2Stream::Result::Frame);
    EXPECT_EQ(got.nLength, kBufferSize);
    EXPECT_TRUE(std::equal(frame.begin(), frame.end(), got.pData));
    v4l2_buffer stray{};
    stray.index = 4; // one past the last buffer: neither read nor given back
    stray.bytesused = 5;
    system.m_nodes.at(0)->done.push_back(stray);
    EXPECT_EQ(pStream->Dequeue(got), V4l2Stream::Result::Nothing);
    EXPECT_EQ(system.State(0).queued.size(), 3u); // the damaged one went back
    system.Unplug(0);
    EXPECT_EQ(pStream->Dequeue(got), V4l2Stream::Result::Ended);
    pStream.reset();
    EXPECT_EQ(system.m_nHeld, 0);
}

// Another maker's extension unit gets no writes at all.
TEST(V4l2Camera, ShowsOnlyTheNewestOfThreeSamplesDecodesOnDemandAndReleasesAtOnce) {
    auto pSystem = std::make_shared<FakeV4l2System>();
    Node node;
    node.descriptors = Interface(0x0E, 1) + Unit(5, Guid{});
    pSystem->Plug(0, node);
    auto* pV4l2Camera = new V4l2Camera(pSystem, 3600 * 1000);
    CameraPtr pCamera(pV4l2Camera);
    ASSERT_TRUE(pV4l2Camera->Open("/dev/video0", 0));
    EXPECT_TRUE(pCamera->LightOn());
    EXPECT_TRUE(pSystem->m_writes.empty());
    ASSERT_TRUE(pSystem->WaitIdle(0));
    EXPECT_EQ(Shown(*pCamera), kNone);

    ASSERT_TRUE(pSystem->Hand(0, Frame(kRed)));
    unsigned char* pData = nullptr;
    int nSize = 0, nWidth = 0, nHeight = 0;
    ASSERT_TRUE(pCamera->LockFrame(pData, nSize, nWidth, nHeight));
    const Bytes red(pData, pData + nWidth * nHeight * 4);
    for (const Colour colour : {kGreen, kRed, kBlue}) {
        ASSERT_TRUE(pSystem->Hand(0, Frame(colour)));
    }
    EXPECT_TRUE(Bytes(pData, pData + red.size()) == red); // locked: untouched
    pCamera->UnlockFrame();
    unsigned char* pBlue = nullptr;
    unsigned char* pAgain = nullptr;
    EXPECT_EQ(Shown(*pCamera, &pBlue), kBlue);
    EXPECT_EQ(Shown(*pCamera, &pAgain), kBlue);
    EXPECT_EQ(pAgain, pBlue); // handed out again, not decoded again
    // Green and red went back undecoded, the first red when blue took over.
    EXPECT_EQ(pSystem->State(0).queued.size(), 3u);

    // One the decoder refuses makes way for the next without an unlock.
    const Bytes green = Frame(kGreen);
    ASSERT_TRUE(pSystem->Hand(0, {green.begin(), green.end() - 2}));
    EXPECT_EQ(Shown(*pCamera), kBlue); // unlocking moves on to the broken frame
    EXPECT_EQ(Shown(*pCamera), kNone);
    ASSERT_TRUE(pSystem->Hand(0, Frame(kRed)));
    EXPECT_EQ(Shown(*pCamera), kRed);
    EXPECT_EQ(pSystem->State(0).queued.size(), 3u);

    // Unplugged, it waits an hour before it looks again; were Release to
    // wait that out, the test would run into ctest's time limit. Decoding
    // the picture gives the watch the moment it needs to start waiting.
    pSystem->Unplug(0);
    ASSERT_TRUE(pSystem->Until([&] { return pSystem->m_nListings >= 1; }));
    EXPECT_EQ(Shown(*pCamera), kRed);
    pCamera.reset();
    EXPECT_EQ(pSystem->m_nHeld, 0);
}

// Listed by its card name, beside its own metadata node, another camera and
// a grabber that cannot stream. Each control is five writes to the vendor's
// unit, byte by byte; opening focuses first, and a failed write ends its own
// command only. Unplugged, the last picture stays. It comes back under
// another node number, streams again at the size it had and is focused
// again; commands reach it there.
TEST(V4l2Camera, IsListedControlledAndStreamsAgainWhenUnpluggedAndPluggedBackIn) {
    auto pSystem = std::make_shared<FakeV4l2System>();
    Node node, metadata, other, grabber;
    node.strCard = std::string(32, 'L'); // fills the field, no zero after it
    node.mjpeg = {{1280, 720, 1, 30}};
    metadata.nCaps = V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING;
    other.strCard = "Webcam";
    other.strBusInfo = "usb-0000:00:14.0-2";
    grabber.nCaps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_READWRITE;
    int nNumber = 0;
    for (const Node& plugged : {node, metadata, other, grabber}) {
        pSystem->Plug(nNumber++, plugged);
    }
    V4l2DeviceList list(pSystem, 5);
    list.Enumerate();
    ASSERT_EQ(list.GetCount(), 2);
    EXPECT_EQ(std::string(list.GetName(0)) + "|" + list.GetName(1), node.strCard + "|Webcam");
    EXPECT_EQ(list.FindName("Webcam"), 1);
    EXPECT_EQ(list.FindName("Web"), -1);
    EXPECT_EQ(list.CreateCamera(2, 0), nullptr);
    CameraPtr pCamera(list.CreateCamera(0, 0));
    ASSERT_TRUE(pCamera && pCamera->IsRunning());

    // No thread writes until the camera is plugged back. What the camera
    // cannot do is left to the view's software; the rest reports success.
    ICamera& c = *pCamera;
    EXPECT_FALSE(c.Rotate() || c.Mirror() || c.Freeze() || c.Mosaic());
    EXPECT_TRUE(c.AutoFocus() && c.LightOn() && c.LightOff() && c.ZoomIn() && c.ZoomOut() &&
                c.Brighten() && c.Darken() && c.FocusFar() && c.FocusNear() && c.StopControl() &&
                c.Negative() && c.Negative() && c.Negative() && c.BlackWhite() && c.AuxControl());
    std::vector<Bytes> expected =
        Commands(0, {53, 54, 53, 54, 72, 73, 49, 50, 65, 64, 51, 52, 48, 56, 55, 56, 80, 81});
    EXPECT_EQ(pSystem->m_writes, expected);
    pSystem->m_nFailingWrite = 1; // the second write of 53
    EXPECT_TRUE(c.AutoFocus());
    const auto focus = Commands(0, {53, 54});
    expected.insert(expected.end(), {focus[0], focus[1]});
    expected.insert(expected.end(), focus.begin() + 5, focus.end());
    EXPECT_EQ(pSystem->m_writes, expected);

    ASSERT_TRUE(pSystem->Hand(0, Frame(kRed)));
    EXPECT_EQ(Shown(*pCamera), kRed);
    pSystem->Unplug(0);
    EXPECT_EQ(list.CreateCamera(0, 0), nullptr); // gone since the listing
    list.Enumerate();                            // the webcam's alone now
    EXPECT_EQ(list.GetCount(), 1);
    EXPECT_EQ(list.GetName(1), nullptr);
    ASSERT_TRUE(pSystem->Until(
        [&] { return pSystem->m_nListings >= 4; })); // it has looked and waited at least once
    EXPECT_EQ(Shown(*pCamera), kRed);
    node.mjpeg.insert(node.mjpeg.begin(), {1920, 1080, 1, 30});
    pSystem->Plug(4, node);
    ASSERT_TRUE(pSystem->WaitIdle(4));
    EXPECT_FALSE(pSystem->State(1).bStreaming || pSystem->State(2).bStreaming);
    EXPECT_EQ(pSystem->State(4).nWidth, 1280u);
    EXPECT_EQ(pSystem->State(4).nHeight, 720u);
    ASSERT_TRUE(pSystem->Hand(4, Frame(kBlue)));
    EXPECT_EQ(Shown(*pCamera), kRed);
    EXPECT_EQ(Shown(*pCamera), kBlue);

    pCamera->LightOn();
    const std::vector<Bytes> writes = pSystem->m_writes;
    EXPECT_EQ(std::vector<Bytes>(writes.end() - 15, writes.end()), Commands(4, {53, 54, 72}));
    pCamera.reset();
    EXPECT_EQ(pSystem->m_nHeld, 0);
}
