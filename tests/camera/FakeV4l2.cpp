#include "tests/camera/FakeV4l2.h"

#include <linux/usb/video.h>
#include <linux/uvcvideo.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <sys/mman.h>
#include <unistd.h>

namespace {

constexpr auto kWaitLimit = std::chrono::seconds(10);
constexpr uint32_t kBufferSize = 256 * 1024; // room for any test frame
constexpr uint32_t kOffsetStep = 1u << 20;   // buffer i maps at i * kOffsetStep
constexpr uint32_t kMaxBuffers = 4;

int NodeNumber(const std::string& strPath) {
    static const std::string kPrefix = "/dev/video";
    if (strPath.compare(0, kPrefix.size(), kPrefix) != 0) {
        return -1;
    }
    return std::atoi(strPath.c_str() + kPrefix.size());
}

template <size_t N> void CopyText(uint8_t (&field)[N], const std::string& strText) {
    std::memset(field, 0, N);
    std::memcpy(field, strText.data(), std::min(N, strText.size()));
}

// A buffer followed by a page that cannot be touched, so that reading past
// its end faults at once, also in libraries built without a sanitizer.
class GuardedBuffer {
public:
    GuardedBuffer() {
        void* pBase = mmap(nullptr, kBufferSize + Page(), PROT_READ | PROT_WRITE,
                           MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (pBase != MAP_FAILED) {
            m_pData = static_cast<uint8_t*>(pBase);
            mprotect(m_pData + kBufferSize, Page(), PROT_NONE);
        }
    }
    ~GuardedBuffer() {
        if (m_pData) {
            munmap(m_pData, kBufferSize + Page());
        }
    }
    GuardedBuffer(const GuardedBuffer&) = delete;
    GuardedBuffer& operator=(const GuardedBuffer&) = delete;

    uint8_t* Data() const { return m_pData; }

private:
    static size_t Page() { return static_cast<size_t>(sysconf(_SC_PAGESIZE)); }

    uint8_t* m_pData = nullptr;
};

} // namespace

class FakeDevice;

struct FakeV4l2System::Kernel {
    struct Node {
        FakeNodeSpec spec;
        bool bGone = false;
        FakeNodeState state;
        std::vector<std::unique_ptr<GuardedBuffer>> memory;
        std::vector<v4l2_buffer> buffers;
        std::deque<uint32_t> queued; // empty, waiting to be filled
        std::deque<uint32_t> done;   // filled, waiting to be dequeued
        FakeDevice* pOwner = nullptr;
        bool bPolling = false;
    };

    std::shared_ptr<Node> Find(int nNode) {
        auto it = nodes.find(nNode);
        return it == nodes.end() ? nullptr : it->second;
    }

    std::mutex mutex;
    std::condition_variable changed;
    std::map<int, std::shared_ptr<Node>> nodes;
    std::vector<FakeUnitWrite> writes;
    int nFailingWrite = -1; // index into writes
    int nListings = 0;
    int nOpen = 0;
    int nMappings = 0;
};

using Kernel = FakeV4l2System::Kernel;

class FakeDevice final : public IV4l2Device {
public:
    FakeDevice(std::shared_ptr<Kernel> pKernel, int nNode, std::shared_ptr<Kernel::Node> pNode)
        : m_pKernel(std::move(pKernel)), m_nNode(nNode), m_pNode(std::move(pNode)) {
        ++m_pKernel->nOpen;
    }

    ~FakeDevice() override {
        std::lock_guard<std::mutex> lock(m_pKernel->mutex);
        --m_pKernel->nOpen;
        if (m_pNode->pOwner == this) {
            // Closing the owner frees the queue for the next one to open it.
            m_pNode->pOwner = nullptr;
            m_pNode->state.bStreaming = false;
            m_pNode->queued.clear();
            m_pNode->done.clear();
        }
        m_pKernel->changed.notify_all();
    }

    int Ioctl(unsigned long nRequest, void* pArg) override {
        std::lock_guard<std::mutex> lock(m_pKernel->mutex);
        Kernel::Node& node = *m_pNode;
        if (node.bGone) {
            return ENODEV;
        }
        const bool bOwnedElsewhere = node.pOwner && node.pOwner != this;
        switch (nRequest) {
        case VIDIOC_QUERYCAP: {
            auto* pCaps = static_cast<v4l2_capability*>(pArg);
            *pCaps = {};
            CopyText(pCaps->driver, "uvcvideo");
            CopyText(pCaps->card, node.spec.strCard);
            CopyText(pCaps->bus_info, node.spec.strBusInfo);
            pCaps->capabilities = node.spec.nCaps | V4L2_CAP_DEVICE_CAPS;
            pCaps->device_caps = node.spec.nCaps;
            return 0;
        }
        case VIDIOC_ENUM_FMT: {
            // YUYV first, as UVC cameras list it.
            auto* pFormat = static_cast<v4l2_fmtdesc*>(pArg);
            const uint32_t nCount = node.spec.mjpeg.empty() ? 1 : 2;
            if (pFormat->index >= nCount) {
                return EINVAL;
            }
            pFormat->pixelformat = pFormat->index == 0 ? V4L2_PIX_FMT_YUYV : V4L2_PIX_FMT_MJPEG;
            return 0;
        }
        case VIDIOC_ENUM_FRAMESIZES: {
            auto* pSize = static_cast<v4l2_frmsizeenum*>(pArg);
            pSize->type = V4L2_FRMSIZE_TYPE_DISCRETE;
            if (pSize->pixel_format == V4L2_PIX_FMT_YUYV && pSize->index == 0) {
                pSize->discrete = {4096, 2160};
                return 0;
            }
            if (pSize->pixel_format != V4L2_PIX_FMT_MJPEG ||
                pSize->index >= node.spec.mjpeg.size()) {
                return EINVAL;
            }
            const auto& size = node.spec.mjpeg[pSize->index];
            pSize->discrete = {size.nWidth, size.nHeight};
            return 0;
        }
        case VIDIOC_ENUM_FRAMEINTERVALS: {
            auto* pInterval = static_cast<v4l2_frmivalenum*>(pArg);
            pInterval->type = V4L2_FRMIVAL_TYPE_DISCRETE;
            if (pInterval->pixel_format == V4L2_PIX_FMT_YUYV) {
                pInterval->discrete = {1, 30};
                return pInterval->index == 0 ? 0 : EINVAL;
            }
            const FakeNodeSpec::Size* pFound = Find(pInterval->width, pInterval->height);
            if (pInterval->pixel_format != V4L2_PIX_FMT_MJPEG || !pFound ||
                pInterval->index >= pFound->intervals.size()) {
                return EINVAL;
            }
            pInterval->discrete = pFound->intervals[pInterval->index];
            return 0;
        }
        case VIDIOC_G_FMT: {
            auto* pFormat = static_cast<v4l2_format*>(pArg);
            pFormat->fmt.pix.width = node.spec.nWidth;
            pFormat->fmt.pix.height = node.spec.nHeight;
            pFormat->fmt.pix.pixelformat = V4L2_PIX_FMT_YUYV;
            return 0;
        }
        case VIDIOC_S_FMT: {
            if (bOwnedElsewhere) {
                return EBUSY;
            }
            auto& pix = static_cast<v4l2_format*>(pArg)->fmt.pix;
            // Like a driver: an unknown format becomes YUYV, an unknown
            // size the current one.
            if (pix.pixelformat != V4L2_PIX_FMT_MJPEG || node.spec.mjpeg.empty()) {
                pix.pixelformat = V4L2_PIX_FMT_YUYV;
            }
            if (!Find(pix.width, pix.height)) {
                pix.width = node.spec.nWidth;
                pix.height = node.spec.nHeight;
            }
            pix.sizeimage = kBufferSize;
            node.state.nWidth = pix.width;
            node.state.nHeight = pix.height;
            return 0;
        }
        case VIDIOC_S_PARM: {
            auto* pParm = static_cast<v4l2_streamparm*>(pArg);
            node.state.interval = pParm->parm.capture.timeperframe;
            return 0;
        }
        case VIDIOC_REQBUFS: {
            if (bOwnedElsewhere) {
                return EBUSY;
            }
            auto* pRequest = static_cast<v4l2_requestbuffers*>(pArg);
            pRequest->count = std::min(pRequest->count, kMaxBuffers);
            node.memory.clear();
            for (uint32_t i = 0; i < pRequest->count; ++i) {
                node.memory.push_back(std::make_unique<GuardedBuffer>());
            }
            node.buffers.assign(pRequest->count, v4l2_buffer{});
            node.queued.clear();
            node.done.clear();
            node.pOwner = this;
            node.state.nBuffers = static_cast<int>(pRequest->count);
            return 0;
        }
        case VIDIOC_QUERYBUF: {
            auto* pBuffer = static_cast<v4l2_buffer*>(pArg);
            if (pBuffer->index >= node.buffers.size()) {
                return EINVAL;
            }
            pBuffer->length = kBufferSize;
            pBuffer->m.offset = pBuffer->index * kOffsetStep;
            return 0;
        }
        case VIDIOC_QBUF: {
            const uint32_t nIndex = static_cast<v4l2_buffer*>(pArg)->index;
            if (bOwnedElsewhere || nIndex >= node.buffers.size() || Holds(node, nIndex)) {
                return EINVAL;
            }
            node.queued.push_back(nIndex);
            Count(node);
            return 0;
        }
        case VIDIOC_DQBUF: {
            if (m_bBroken) {
                return EIO;
            }
            if (node.done.empty()) {
                return EAGAIN;
            }
            auto* pBuffer = static_cast<v4l2_buffer*>(pArg);
            *pBuffer = node.buffers[node.done.front()];
            node.done.pop_front();
            Count(node);
            return 0;
        }
        case VIDIOC_STREAMON:
        case VIDIOC_STREAMOFF:
            if (node.pOwner != this) {
                return EINVAL;
            }
            node.state.bStreaming = nRequest == VIDIOC_STREAMON;
            if (!node.state.bStreaming) {
                node.queued.clear();
                node.done.clear();
                Count(node);
            }
            m_pKernel->changed.notify_all();
            return 0;
        case UVCIOC_CTRL_QUERY: {
            const auto* pQuery = static_cast<uvc_xu_control_query*>(pArg);
            FakeUnitWrite write{m_nNode,       pQuery->unit, pQuery->selector,
                                pQuery->query, pQuery->size, {}};
            std::memcpy(write.data.data(), pQuery->data,
                        std::min<size_t>(pQuery->size, write.data.size()));
            const bool bFails =
                static_cast<int>(m_pKernel->writes.size()) == m_pKernel->nFailingWrite;
            m_pKernel->writes.push_back(write);
            return bFails ? EIO : 0;
        }
        default:
            return ENOTTY;
        }
    }

    void* Map(size_t nLength, uint32_t nOffset) override {
        std::lock_guard<std::mutex> lock(m_pKernel->mutex);
        const uint32_t nIndex = nOffset / kOffsetStep;
        if (nOffset % kOffsetStep != 0 || nIndex >= m_pNode->memory.size() ||
            nLength > kBufferSize) {
            return nullptr;
        }
        ++m_pKernel->nMappings;
        return m_pNode->memory[nIndex]->Data();
    }

    void Unmap(void*, size_t) override {
        std::lock_guard<std::mutex> lock(m_pKernel->mutex);
        --m_pKernel->nMappings;
    }

    int Poll(int nTimeoutMs) override {
        std::unique_lock<std::mutex> lock(m_pKernel->mutex);
        Kernel::Node& node = *m_pNode;
        const auto ready = [&] { return node.bGone || m_bBroken || !node.done.empty(); };
        if (!ready()) {
            node.bPolling = true;
            m_pKernel->changed.notify_all();
            m_pKernel->changed.wait_for(lock, std::chrono::milliseconds(nTimeoutMs), ready);
            node.bPolling = false;
        }
        if (node.bGone || m_bBroken) {
            return -1;
        }
        return node.done.empty() ? 0 : 1;
    }

    // Streaming fails from now on, as after a device error.
    void Break() { m_bBroken = true; }

private:
    const FakeNodeSpec::Size* Find(uint32_t nWidth, uint32_t nHeight) const {
        for (const auto& size : m_pNode->spec.mjpeg) {
            if (size.nWidth == nWidth && size.nHeight == nHeight) {
                return &size;
            }
        }
        return nullptr;
    }

    static bool Holds(const Kernel::Node& node, uint32_t nIndex) {
        return std::count(node.queued.begin(), node.queued.end(), nIndex) +
                   std::count(node.done.begin(), node.done.end(), nIndex) >
               0;
    }

    static void Count(Kernel::Node& node) {
        node.state.nQueued = static_cast<int>(node.queued.size() + node.done.size());
    }

    std::shared_ptr<Kernel> m_pKernel;
    int m_nNode;
    std::shared_ptr<Kernel::Node> m_pNode;
    bool m_bBroken = false; // under the kernel mutex
};

FakeV4l2System::FakeV4l2System() : m_pKernel(std::make_shared<Kernel>()) {}

void FakeV4l2System::Plug(int nNode, FakeNodeSpec spec) {
    std::lock_guard<std::mutex> lock(m_pKernel->mutex);
    auto pNode = std::make_shared<Kernel::Node>();
    pNode->spec = std::move(spec);
    m_pKernel->nodes[nNode] = std::move(pNode);
}

void FakeV4l2System::Unplug(int nNode) {
    std::lock_guard<std::mutex> lock(m_pKernel->mutex);
    if (auto pNode = m_pKernel->Find(nNode)) {
        pNode->bGone = true;
        pNode->state.bStreaming = false;
        m_pKernel->nodes.erase(nNode);
    }
    m_pKernel->changed.notify_all();
}

void FakeV4l2System::BreakStream(int nNode) {
    std::lock_guard<std::mutex> lock(m_pKernel->mutex);
    auto pNode = m_pKernel->Find(nNode);
    if (pNode && pNode->pOwner) {
        pNode->pOwner->Break();
        pNode->state.bStreaming = false;
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
    uint8_t* pMemory = pNode->memory[nIndex]->Data();
    std::fill(std::copy(frame.begin(), frame.end(), pMemory), pMemory + kBufferSize, 0);
    v4l2_buffer& buffer = pNode->buffers[nIndex];
    buffer = {};
    buffer.index = nIndex;
    buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    buffer.memory = V4L2_MEMORY_MMAP;
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

std::vector<FakeUnitWrite> FakeV4l2System::UnitWrites() {
    std::lock_guard<std::mutex> lock(m_pKernel->mutex);
    return m_pKernel->writes;
}

FakeNodeState FakeV4l2System::State(int nNode) {
    std::lock_guard<std::mutex> lock(m_pKernel->mutex);
    auto pNode = m_pKernel->Find(nNode);
    return pNode ? pNode->state : FakeNodeState{};
}

int FakeV4l2System::OpenDevices() {
    std::lock_guard<std::mutex> lock(m_pKernel->mutex);
    return m_pKernel->nOpen;
}

int FakeV4l2System::Mappings() {
    std::lock_guard<std::mutex> lock(m_pKernel->mutex);
    return m_pKernel->nMappings;
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
    const std::array<uint8_t, 16> other = {0xF6, 0xE3, 0x39, 0x18, 0x4B, 0x82, 0x6F, 0x49,
                                           0xA7, 0x0F, 0x47, 0x9A, 0x53, 0x01, 0x02, 0x03};
    const auto extensionUnit = [](uint8_t nId, const std::array<uint8_t, 16>& code) {
        std::vector<uint8_t> unit = {27, 0x24, 0x06, nId};
        unit.insert(unit.end(), code.begin(), code.end());
        unit.insert(unit.end(), {8, 1, 2, 2, 0xFF, 0xFF, 0});
        return unit;
    };
    std::
        vector<uint8_t>
            bytes =
                {
                    18,   0x01, 0x00, 0x02, 0xEF, 0x02, 0x01, 0x40, 0x6D, 0x04, 0x25,
                    0x08, 0x10, 0x00, 1,    2,    0,    1,    9,    0x02, 0,    0,
                    2,    1,    0,    0x80, 0xFA,                      // configuration
                    8,    0x0B, 0,    2,    0x0E, 0x03, 0,    2,       // interface association
                    9,    0x04, 0,    0,    1,    0x0E, 0x01, 0,    0, // video control interface
                    13,   0x24, 0x01, 0x00, 0x01, 0,    0,    0x80, 0x8D, 0x5B, 0x00,
                    1,    1,    18,   0x24, 0x02, 1,    0x01, 0x02, 0,    0,    0,
                    0,    0,    0,    0,    0,    3,    0x0A, 0x00, 0x00, 11,   0x24,
                    0x05, 2,    1,    0,    0,    2,    0x7F, 0x15, 0,
                };
    const std::vector<uint8_t> otherUnit = extensionUnit(3, other);
    bytes.insert(bytes.end(), otherUnit.begin(), otherUnit.end());
    if (nClass != 0x0E || nSubclass != 0x01) {
        bytes.insert(bytes.end(), {9, 0x04, 2, 0, 0, nClass, nSubclass, 0, 0});
    }
    if (nUnit >= 0) {
        const std::vector<uint8_t> unit = extensionUnit(static_cast<uint8_t>(nUnit), guid);
        bytes.insert(bytes.end(), unit.begin(), unit.end());
    }
    bytes.insert(bytes.end(),
                 {
                     9,  0x24, 0x03, 4,    0x01, 0x01, 0,    2, 0, // output terminal
                     7,  0x05, 0x83, 0x03, 0x10, 0x00, 0x06,       // interrupt endpoint
                     9,  0x04, 1,    0,    0,    0x0E, 0x02, 0, 0, // video streaming interface
                     14, 0x24, 0x01, 1,    0,    0,    0x81, 0, 4, 0, 0, 0, 1,
                     0,  11,   0x24, 0x06, 1,    1,    1,    1, 0, 0, 0, 0, // MJPEG format
                 });
    const size_t nTotal = bytes.size() - 18;
    bytes[20] = static_cast<uint8_t>(nTotal & 0xFF);
    bytes[21] = static_cast<uint8_t>(nTotal >> 8);
    return bytes;
}
