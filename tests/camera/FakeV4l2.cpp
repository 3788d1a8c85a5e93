#include "tests/camera/FakeV4l2.h"

#include <linux/usb/video.h>
#include <linux/uvcvideo.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <sys/mman.h>
#include <unistd.h>

namespace {

constexpr auto kWaitLimit = std::chrono::seconds(10);
constexpr uint32_t kBufferSize = 256 * 1024; // room for any test frame, whole pages
constexpr uint32_t kOffsetStep = 1u << 20;   // buffer i maps at i * kOffsetStep

int NodeNumber(const std::string& strPath) {
    const std::string strPrefix = "/dev/video";
    return strPath.compare(0, strPrefix.size(), strPrefix) == 0
               ? std::atoi(strPath.c_str() + strPrefix.size())
               : -1;
}

template <size_t N> void CopyText(uint8_t (&field)[N], const std::string& strText) {
    std::memcpy(field, strText.data(), std::min(N, strText.size()));
}

// Buffer memory followed by a page that cannot be touched, so that a read
// past its end faults at once, also in libraries built without a sanitizer.
struct GuardedBuffer {
    static size_t Page() { return static_cast<size_t>(sysconf(_SC_PAGESIZE)); }
    GuardedBuffer()
        : pData(static_cast<uint8_t*>(mmap(nullptr, kBufferSize + Page(), PROT_READ | PROT_WRITE,
                                           MAP_PRIVATE | MAP_ANONYMOUS, -1, 0))) {
        mprotect(pData + kBufferSize, Page(), PROT_NONE);
    }
    ~GuardedBuffer() { munmap(pData, kBufferSize + Page()); }
    GuardedBuffer(const GuardedBuffer&) = delete;
    GuardedBuffer& operator=(const GuardedBuffer&) = delete;
    uint8_t* pData;
};

} // namespace

struct FakeV4l2System::Kernel {
    struct Node {
        FakeNodeSpec spec;
        bool bGone = false;
        bool bPolling = false;
        FakeNodeState state;
        std::vector<std::unique_ptr<GuardedBuffer>> memory;
        std::vector<v4l2_buffer> buffers;
        std::deque<uint32_t> queued; // empty, for the driver to fill
        std::deque<uint32_t> done;   // filled, to be dequeued

        const FakeNodeSpec::Size* Find(uint32_t nWidth, uint32_t nHeight) const {
            for (const auto& size : spec.mjpeg) {
                if (size.nWidth == nWidth && size.nHeight == nHeight) {
                    return &size;
                }
            }
            return nullptr;
        }
        void Count() { state.nQueued = static_cast<int>(queued.size() + done.size()); }
    };

    std::shared_ptr<Node> Find(int nNode) {
        auto it = nodes.find(nNode);
        return it == nodes.end() ? nullptr : it->second;
    }

    std::mutex mutex;
    std::condition_variable changed;
    std::map<int, std::shared_ptr<Node>> nodes;
    std::vector<std::string> writes;
    int nFailingWrite = -1;
    int nListings = 0;
    int nOpen = 0;
    int nMappings = 0;
};

namespace {

using Kernel = FakeV4l2System::Kernel;

class FakeDevice final : public IV4l2Device {
public:
    FakeDevice(std::shared_ptr<Kernel> pKernel, int nNode, std::shared_ptr<Kernel::Node> pNode)
        : m_pKernel(std::move(pKernel)), m_nNode(nNode), m_pNode(std::move(pNode)) {}

    ~FakeDevice() override {
        std::lock_guard<std::mutex> lock(m_pKernel->mutex);
        --m_pKernel->nOpen;
    }

    int Ioctl(unsigned long nRequest, void* pArg) override {
        std::lock_guard<std::mutex> lock(m_pKernel->mutex);
        Kernel::Node& node = *m_pNode;
        return node.bGone ? ENODEV : Handle(node, nRequest, pArg);
    }

    void* Map(size_t nLength, uint32_t nOffset) override {
        std::lock_guard<std::mutex> lock(m_pKernel->mutex);
        const uint32_t nIndex = nOffset / kOffsetStep;
        if (nOffset % kOffsetStep != 0 || nIndex >= m_pNode->memory.size() ||
            nLength > kBufferSize) {
            return nullptr;
        }
        ++m_pKernel->nMappings;
        return m_pNode->memory[nIndex]->pData;
    }

    void Unmap(void*, size_t) override {
        std::lock_guard<std::mutex> lock(m_pKernel->mutex);
        --m_pKernel->nMappings;
    }

    int Poll(int nTimeoutMs) override {
        std::unique_lock<std::mutex> lock(m_pKernel->mutex);
        Kernel::Node& node = *m_pNode;
        const auto ready = [&] { return node.bGone || !node.done.empty(); };
        if (!ready()) {
            node.bPolling = true;
            m_pKernel->changed.notify_all();
            m_pKernel->changed.wait_for(lock, std::chrono::milliseconds(nTimeoutMs), ready);
            node.bPolling = false;
        }
        return node.bGone ? -1 : node.done.empty() ? 0 : 1;
    }

private:
    int Handle(Kernel::Node& node, unsigned long nRequest, void* pArg) {
        switch (nRequest) {
        case VIDIOC_QUERYCAP: {
            auto& caps = *static_cast<v4l2_capability*>(pArg);
            caps = {};
            CopyText(caps.card, node.spec.strCard);
            CopyText(caps.bus_info, node.spec.strBusInfo);
            caps.capabilities = node.spec.nCaps | V4L2_CAP_DEVICE_CAPS;
            caps.device_caps = node.spec.nCaps;
            return 0;
        }
        case VIDIOC_ENUM_FMT: { // YUYV first, as UVC cameras list it
            auto& format = *static_cast<v4l2_fmtdesc*>(pArg);
            format.pixelformat = format.index == 0 ? V4L2_PIX_FMT_YUYV : V4L2_PIX_FMT_MJPEG;
            return format.index < (node.spec.mjpeg.empty() ? 1u : 2u) ? 0 : EINVAL;
        }
        case VIDIOC_ENUM_FRAMESIZES: {
            auto& size = *static_cast<v4l2_frmsizeenum*>(pArg);
            if (size.pixel_format != V4L2_PIX_FMT_MJPEG || size.index >= node.spec.mjpeg.size()) {
                return EINVAL;
            }
            size.type = V4L2_FRMSIZE_TYPE_DISCRETE;
            size.discrete = {node.spec.mjpeg[size.index].nWidth,
                             node.spec.mjpeg[size.index].nHeight};
            return 0;
        }
        case VIDIOC_ENUM_FRAMEINTERVALS: {
            auto& interval = *static_cast<v4l2_frmivalenum*>(pArg);
            const FakeNodeSpec::Size* pSize = node.Find(interval.width, interval.height);
            if (interval.pixel_format != V4L2_PIX_FMT_MJPEG || !pSize ||
                interval.index >= pSize->intervals.size()) {
                return EINVAL;
            }
            interval.type = V4L2_FRMIVAL_TYPE_DISCRETE;
            interval.discrete = pSize->intervals[interval.index];
            return 0;
        }
        case VIDIOC_G_FMT:
        case VIDIOC_S_FMT: { // like a driver: what it cannot do becomes what it has
            auto& pix = static_cast<v4l2_format*>(pArg)->fmt.pix;
            if (nRequest == VIDIOC_G_FMT || pix.pixelformat != V4L2_PIX_FMT_MJPEG ||
                node.spec.mjpeg.empty()) {
                pix.pixelformat = V4L2_PIX_FMT_YUYV;
            }
            if (nRequest == VIDIOC_G_FMT || !node.Find(pix.width, pix.height)) {
                pix.width = node.spec.nWidth;
                pix.height = node.spec.nHeight;
            }
            if (nRequest == VIDIOC_S_FMT) {
                node.state.nWidth = pix.width;
                node.state.nHeight = pix.height;
            }
            return 0;
        }
        case VIDIOC_S_PARM:
            node.state.interval = static_cast<v4l2_streamparm*>(pArg)->parm.capture.timeperframe;
            return 0;
        case VIDIOC_REQBUFS: {
            auto& request = *static_cast<v4l2_requestbuffers*>(pArg);
            request.count = std::min(request.count, 4u);
            node.memory.clear();
            for (uint32_t i = 0; i < request.count; ++i) {
                node.memory.push_back(std::make_unique<GuardedBuffer>());
            }
            node.buffers.assign(request.count, v4l2_buffer{});
            node.state.nBuffers = static_cast<int>(request.count);
            return 0;
        }
        case VIDIOC_QUERYBUF: {
            auto& buffer = *static_cast<v4l2_buffer*>(pArg);
            buffer.length = kBufferSize;
            buffer.m.offset = buffer.index * kOffsetStep;
            return buffer.index < node.buffers.size() ? 0 : EINVAL;
        }
        case VIDIOC_QBUF:
            node.queued.push_back(static_cast<v4l2_buffer*>(pArg)->index);
            node.Count();
            return 0;
        case VIDIOC_DQBUF:
            if (node.done.empty()) {
                return EAGAIN;
            }
            *static_cast<v4l2_buffer*>(pArg) = node.buffers[node.done.front()];
            node.done.pop_front();
            node.Count();
            return 0;
        case VIDIOC_STREAMON:
        case VIDIOC_STREAMOFF:
            node.state.bStreaming = nRequest == VIDIOC_STREAMON;
            if (!node.state.bStreaming) {
                node.queued.clear();
                node.done.clear();
                node.Count();
            }
            m_pKernel->changed.notify_all();
            return 0;
        case UVCIOC_CTRL_QUERY: {
            const auto& query = *static_cast<uvc_xu_control_query*>(pArg);
            char szWrite[128];
            std::snprintf(szWrite, sizeof(szWrite),
                          "video%d unit %d selector %d query %d size %d:", m_nNode, query.unit,
                          query.selector, query.query, query.size);
            std::string strWrite = szWrite;
            for (int i = 0; i < query.size; ++i) {
                std::snprintf(szWrite, sizeof(szWrite), " %02X", query.data[i]);
                strWrite += szWrite;
            }
            m_pKernel->writes.push_back(strWrite);
            return static_cast<int>(m_pKernel->writes.size()) - 1 == m_pKernel->nFailingWrite ? EIO
                                                                                              : 0;
        }
        default:
            return ENOTTY;
        }
    }

    std::shared_ptr<Kernel> m_pKernel;
    int m_nNode;
    std::shared_ptr<Kernel::Node> m_pNode;
};

} // namespace

FakeV4l2System::FakeV4l2System() : m_pKernel(std::make_shared<Kernel>()) {}
FakeV4l2System::~FakeV4l2System() = default;

void FakeV4l2System::Plug(int nNode, FakeNodeSpec spec) {
    std::lock_guard<std::mutex> lock(m_pKernel->mutex);
    m_pKernel->nodes[nNode] = std::make_shared<Kernel::Node>();
    m_pKernel->nodes[nNode]->spec = std::move(spec);
}

void FakeV4l2System::Unplug(int nNode) {
    std::lock_guard<std::mutex> lock(m_pKernel->mutex);
    if (auto pNode = m_pKernel->Find(nNode)) {
        pNode->bGone = true;
        m_pKernel->nodes.erase(nNode);
    }
    m_pKernel->changed.notify_all();
}

bool FakeV4l2System::Deliver(int nNode, const std::vector<uint8_t>& frame, uint32_t nFlags,
                             uint32_t nBytesUsed) {
    std::lock_guard<std::mutex> lock(m_pKernel->mutex);
    auto pNode = m_pKernel->Find(nNode);
    if (!pNode || !pNode->state.bStreaming || pNode->queued.empty() || frame.size() > kBufferSize) {
        return false;
    }
    const uint32_t nIndex = pNode->queued.front();
    pNode->queued.pop_front();
    // The rest zeroed, so that no older frame shows through.
    uint8_t* pMemory = pNode->memory[nIndex]->pData;
    std::fill(std::copy(frame.begin(), frame.end(), pMemory), pMemory + kBufferSize, 0);
    v4l2_buffer& buffer = pNode->buffers[nIndex];
    buffer = {};
    buffer.index = nIndex;
    buffer.flags = nFlags;
    buffer.bytesused = nBytesUsed ? nBytesUsed : static_cast<uint32_t>(frame.size());
    pNode->done.push_back(nIndex);
    m_pKernel->changed.notify_all();
    return true;
}

bool FakeV4l2System::WaitIdle(int nNode) {
    std::unique_lock<std::mutex> lock(m_pKernel->mutex);
    return m_pKernel->changed.wait_for(lock, kWaitLimit, [&] {
        auto pNode = m_pKernel->Find(nNode);
        return pNode && pNode->state.bStreaming && pNode->done.empty() && pNode->bPolling;
    });
}

bool FakeV4l2System::WaitListings(int nCount) {
    std::unique_lock<std::mutex> lock(m_pKernel->mutex);
    return m_pKernel->changed.wait_for(lock, kWaitLimit,
                                       [&] { return m_pKernel->nListings >= nCount; });
}

void FakeV4l2System::FailUnitWrite(int nWrite) {
    std::lock_guard<std::mutex> lock(m_pKernel->mutex);
    m_pKernel->nFailingWrite = static_cast<int>(m_pKernel->writes.size()) + nWrite;
}

std::vector<std::string> FakeV4l2System::UnitWrites() {
    std::lock_guard<std::mutex> lock(m_pKernel->mutex);
    return m_pKernel->writes;
}

FakeNodeState FakeV4l2System::State(int nNode) {
    std::lock_guard<std::mutex> lock(m_pKernel->mutex);
    auto pNode = m_pKernel->Find(nNode);
    return pNode ? pNode->state : FakeNodeState{};
}

int FakeV4l2System::Held() {
    std::lock_guard<std::mutex> lock(m_pKernel->mutex);
    return m_pKernel->nOpen + m_pKernel->nMappings;
}

std::vector<std::string> FakeV4l2System::ListVideoNodes() {
    std::lock_guard<std::mutex> lock(m_pKernel->mutex);
    ++m_pKernel->nListings;
    m_pKernel->changed.notify_all();
    std::vector<std::string> paths;
    for (const auto& node : m_pKernel->nodes) {
        paths.push_back("/dev/video" + std::to_string(node.first));
    }
    return paths;
}

std::unique_ptr<IV4l2Device> FakeV4l2System::Open(const std::string& strPath) {
    std::lock_guard<std::mutex> lock(m_pKernel->mutex);
    const int nNode = NodeNumber(strPath);
    auto pNode = m_pKernel->Find(nNode);
    if (!pNode) {
        return nullptr;
    }
    ++m_pKernel->nOpen;
    return std::make_unique<FakeDevice>(m_pKernel, nNode, pNode);
}

std::vector<uint8_t> FakeV4l2System::ReadUsbDescriptors(const std::string& strPath) {
    std::lock_guard<std::mutex> lock(m_pKernel->mutex);
    auto pNode = m_pKernel->Find(NodeNumber(strPath));
    return pNode ? pNode->spec.descriptors : std::vector<uint8_t>{};
}

std::array<uint8_t, 16> VendorUnitGuid() {
    return {0x5D, 0xC7, 0x17, 0xA9, 0x19, 0x41, 0xDA, 0x11,
            0xAE, 0x0E, 0x00, 0x0D, 0x56, 0xAC, 0x7B, 0x4C};
}

std::vector<uint8_t> MakeUvcDescriptors(const std::array<uint8_t, 16>& guid, int nUnit,
                                        uint8_t nClass, uint8_t nSubclass) {
    const auto unit = [](int nId, const std::array<uint8_t, 16>& code) {
        std::vector<uint8_t> bytes = {27, 0x24, 0x06, static_cast<uint8_t>(nId)};
        bytes.insert(bytes.end(), code.begin(), code.end());
        bytes.insert(bytes.end(), {8, 1, 2, 2, 0xFF, 0xFF, 0});
        return bytes;
    };
    // device, configuration, interface association, video control interface
    // with its header, camera terminal and processing unit
    std::vector<uint8_t> bytes = {
        18,   0x01, 0x00, 0x02, 0xEF, 0x02, 0x01, 0x40, 0x6D, 0x04, 0x25, 0x08, 0x10, 0x00, 1,
        2,    0,    1,    9,    0x02, 0,    0,    2,    1,    0,    0x80, 0xFA, 8,    0x0B, 0,
        2,    0x0E, 0x03, 0,    2,    9,    0x04, 0,    0,    1,    0x0E, 0x01, 0,    0,    13,
        0x24, 0x01, 0x00, 0x01, 0,    0,    0x80, 0x8D, 0x5B, 0x00, 1,    1,    18,   0x24, 0x02,
        1,    0x01, 0x02, 0,    0,    0,    0,    0,    0,    0,    0,    3,    0x0A, 0x00, 0x00,
        11,   0x24, 0x05, 2,    1,    0,    0,    2,    0x7F, 0x15, 0};
    const std::vector<uint8_t> other = unit(
        3, {0xF6, 0xE3, 0x39, 0x18, 0x4B, 0x82, 0x6F, 0x49, 0xA7, 0x0F, 0x47, 0x9A, 0x53, 1, 2, 3});
    bytes.insert(bytes.end(), other.begin(), other.end());
    if (nClass != 0x0E || nSubclass != 0x01) {
        bytes.insert(bytes.end(), {9, 0x04, 2, 0, 0, nClass, nSubclass, 0, 0});
    }
    if (nUnit >= 0) {
        const std::vector<uint8_t> ours = unit(nUnit, guid);
        bytes.insert(bytes.end(), ours.begin(), ours.end());
    }
    // output terminal, interrupt endpoint, video streaming interface with its
    // header and an MJPEG format
    bytes.insert(bytes.end(), {9,    0x24, 0x03, 4, 0x01, 0x01, 0, 2, 0,    7,    0x05, 0x83, 0x03,
                               0x10, 0x00, 0x06, 9, 0x04, 1,    0, 0, 0x0E, 0x02, 0,    0,    14,
                               0x24, 0x01, 1,    0, 0,    0x81, 0, 4, 0,    0,    0,    1,    0,
                               11,   0x24, 0x06, 1, 1,    1,    1, 0, 0,    0,    0});
    const size_t nTotal = bytes.size() - 18;
    bytes[20] = static_cast<uint8_t>(nTotal & 0xFF);
    bytes[21] = static_cast<uint8_t>(nTotal >> 8);
    return bytes;
}
