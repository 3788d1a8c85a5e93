#include "tests/camera/FakeV4l2.h"

#include <linux/usb/video.h>
#include <linux/uvcvideo.h>
#include <turbojpeg.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

namespace {

constexpr uint32_t kBufferSize = 256 * 1024; // whole pages; buffer i maps at i * kBufferSize
const size_t kPage = static_cast<size_t>(sysconf(_SC_PAGESIZE));

} // namespace

FakeV4l2System::Live::~Live() {
    for (uint8_t* pData : memory) {
        munmap(pData, kBufferSize + kPage);
    }
}

class FakeDevice final : public IV4l2Device {
public:
    FakeDevice(FakeV4l2System& system, std::string strName,
               std::shared_ptr<FakeV4l2System::Live> pLive)
        : m_system(system), m_strName(std::move(strName)), m_pLive(std::move(pLive)) {}
    ~FakeDevice() override { Unmap(nullptr, 0); } // the open device counted as held

    int Ioctl(unsigned long nRequest, void* pArg) override {
        std::lock_guard<std::mutex> lock(m_system.m_mutex);
        return m_pLive->bGone ? ENODEV : Handle(m_pLive->node, nRequest, pArg);
    }
    void* Map(size_t, uint32_t nOffset) override {
        std::lock_guard<std::mutex> lock(m_system.m_mutex);
        ++m_system.m_nHeld;
        return m_pLive->memory.at(nOffset / kBufferSize);
    }
    void Unmap(void*, size_t) override {
        std::lock_guard<std::mutex> lock(m_system.m_mutex);
        --m_system.m_nHeld;
    }
    int Poll(int nTimeoutMs) override {
        std::unique_lock<std::mutex> lock(m_system.m_mutex);
        FakeV4l2System::Live& live = *m_pLive;
        live.bPolling = true;
        m_system.m_changed.notify_all();
        m_system.m_changed.wait_for(lock, std::chrono::milliseconds(nTimeoutMs),
                                    [&] { return live.bGone || !live.done.empty(); });
        live.bPolling = false;
        return live.bGone ? -1 : live.done.empty() ? 0 : 1;
    }

private:
    // The nIndexth interval row of an MJPEG size; null when there is none.
    static const std::array<uint32_t, 4>* Row(const FakeNode& node, uint32_t nWidth,
                                              uint32_t nHeight, uint32_t nIndex) {
        for (const auto& row : node.mjpeg) {
            if (row[0] == nWidth && row[1] == nHeight && nIndex-- == 0) {
                return &row;
            }
        }
        return nullptr;
    }

    int Handle(FakeNode& node, unsigned long nRequest, void* pArg) {
        FakeV4l2System::Live& live = *m_pLive;
        switch (nRequest) {
        case VIDIOC_QUERYCAP: { // as uvcvideo: the device's capabilities, then the node's
            auto& caps = *static_cast<v4l2_capability*>(pArg);
            std::memcpy(caps.card, node.strCard.data(), std::min(32ul, node.strCard.size()));
            std::memcpy(caps.bus_info, node.strBusInfo.data(), node.strBusInfo.size());
            caps.capabilities = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_META_CAPTURE |
                                V4L2_CAP_STREAMING | V4L2_CAP_DEVICE_CAPS;
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
        case VIDIOC_ENUM_FRAMEINTERVALS: {
            auto& interval = *static_cast<v4l2_frmivalenum*>(pArg);
            const auto* pRow = Row(node, interval.width, interval.height, interval.index);
            if (interval.pixel_format != V4L2_PIX_FMT_MJPEG || !pRow) {
                return EINVAL;
            }
            interval.type = V4L2_FRMIVAL_TYPE_DISCRETE;
            interval.discrete = {(*pRow)[2], (*pRow)[3]};
            return 0;
        }
        case VIDIOC_G_FMT:
        case VIDIOC_S_FMT: { // what the driver cannot do becomes what it has
            auto& pix = static_cast<v4l2_format*>(pArg)->fmt.pix;
            if (nRequest == VIDIOC_G_FMT || !Row(node, pix.width, pix.height, 0)) {
                pix.width = node.nWidth;
                pix.height = node.nHeight;
            }
            pix.pixelformat = node.mjpeg.empty() ? V4L2_PIX_FMT_YUYV : pix.pixelformat;
            node.nWidth = pix.width;
            node.nHeight = pix.height;
            return 0;
        }
        case VIDIOC_S_PARM:
            node.interval = static_cast<v4l2_streamparm*>(pArg)->parm.capture.timeperframe;
            return 0;
        case VIDIOC_REQBUFS: {
            auto& request = *static_cast<v4l2_requestbuffers*>(pArg);
            request.count = 4;
            while (live.memory.size() < request.count) {
                live.memory.push_back(
                    static_cast<uint8_t*>(mmap(nullptr, kBufferSize + kPage, PROT_READ | PROT_WRITE,
                                               MAP_PRIVATE | MAP_ANONYMOUS, -1, 0)));
                mprotect(live.memory.back() + kBufferSize, kPage, PROT_NONE);
            }
            return 0;
        }
        case VIDIOC_QUERYBUF: {
            auto& buffer = *static_cast<v4l2_buffer*>(pArg);
            buffer.length = kBufferSize;
            buffer.m.offset = buffer.index * kBufferSize;
            return 0;
        }
        case VIDIOC_QBUF:
            live.queued.push_back(static_cast<v4l2_buffer*>(pArg)->index);
            node.nQueued = static_cast<int>(live.queued.size() + live.done.size());
            return 0;
        case VIDIOC_DQBUF:
            if (live.done.empty()) {
                return EAGAIN;
            }
            *static_cast<v4l2_buffer*>(pArg) = live.done.front();
            live.done.pop_front();
            node.nQueued = static_cast<int>(live.queued.size() + live.done.size());
            return 0;
        case VIDIOC_STREAMON:
        case VIDIOC_STREAMOFF:
            node.bStreaming = nRequest == VIDIOC_STREAMON;
            m_system.m_changed.notify_all();
            return 0;
        case UVCIOC_CTRL_QUERY: {
            const auto& query = *static_cast<uvc_xu_control_query*>(pArg);
            std::string strWrite = m_strName + " unit " + std::to_string(query.unit) +
                                   " selector " + std::to_string(query.selector) + " query " +
                                   std::to_string(query.query) + ":";
            for (int i = 0; i < query.size; ++i) {
                char szByte[4];
                std::snprintf(szByte, sizeof(szByte), " %02X", query.data[i]);
                strWrite += szByte;
            }
            m_system.m_writes.push_back(strWrite);
            return m_system.m_nFailingWrite-- == 0 ? EIO : 0;
        }
        default:
            return ENOTTY;
        }
    }

    FakeV4l2System& m_system;
    const std::string m_strName;
    const std::shared_ptr<FakeV4l2System::Live> m_pLive;
};

void FakeV4l2System::Plug(int nNumber, FakeNode node) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_nodes[nNumber] = std::make_shared<Live>();
    m_nodes[nNumber]->node = std::move(node);
}

void FakeV4l2System::Unplug(int nNumber) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_nodes.at(nNumber)->bGone = true;
    m_nodes.erase(nNumber);
    m_changed.notify_all();
}

bool FakeV4l2System::Deliver(int nNumber, const std::vector<uint8_t>& frame, uint32_t nFlags,
                             uint32_t nBytesUsed) {
    std::lock_guard<std::mutex> lock(m_mutex);
    Live& live = *m_nodes.at(nNumber);
    if (live.queued.empty() || !live.node.bStreaming) {
        return false;
    }
    v4l2_buffer buffer{};
    buffer.index = live.queued.front();
    buffer.flags = nFlags;
    buffer.bytesused = nBytesUsed ? nBytesUsed : static_cast<uint32_t>(frame.size());
    live.queued.pop_front();
    live.done.push_back(buffer);
    // The rest zeroed, so that no older frame shows through.
    uint8_t* pMemory = live.memory[buffer.index];
    std::fill(std::copy(frame.begin(), frame.end(), pMemory), pMemory + kBufferSize, 0);
    m_changed.notify_all();
    return true;
}

bool FakeV4l2System::Until(const std::function<bool()>& ready) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::seconds(10), ready);
}

bool FakeV4l2System::WaitIdle(int nNumber) {
    return Until([&] {
        const std::shared_ptr<Live> pLive = Find(nNumber);
        return pLive && pLive->node.bStreaming && pLive->done.empty() && pLive->bPolling;
    });
}

bool FakeV4l2System::WaitListings(int nCount) {
    return Until([&] { return m_nListings >= nCount; });
}

void FakeV4l2System::FailWrite(int nWrite) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_nFailingWrite = nWrite;
}

std::vector<std::string> FakeV4l2System::Writes() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_writes;
}

FakeNode FakeV4l2System::State(int nNumber) {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_nodes.at(nNumber)->node;
}

int FakeV4l2System::Held() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_nHeld;
}

std::vector<std::string> FakeV4l2System::ListVideoNodes() {
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_nListings;
    m_changed.notify_all();
    std::vector<std::string> paths;
    for (const auto& node : m_nodes) {
        paths.push_back("/dev/video" + std::to_string(node.first));
    }
    return paths;
}

std::shared_ptr<FakeV4l2System::Live> FakeV4l2System::Find(int nNumber) {
    auto it = m_nodes.find(nNumber);
    return it == m_nodes.end() ? nullptr : it->second;
}

std::unique_ptr<IV4l2Device> FakeV4l2System::Open(const std::string& strPath) {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::shared_ptr<Live> pLive = Find(std::stoi(strPath.substr(10)));
    if (!pLive) {
        return nullptr;
    }
    ++m_nHeld;
    return std::make_unique<FakeDevice>(*this, strPath.substr(5), std::move(pLive));
}

std::vector<uint8_t> FakeV4l2System::ReadUsbDescriptors(const std::string& strPath) {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::shared_ptr<Live> pLive = Find(std::stoi(strPath.substr(10)));
    return pLive ? pLive->node.descriptors : std::vector<uint8_t>{};
}

std::vector<uint8_t> UvcDescriptorsWith(const Guid& guid, int nUnit, uint8_t nClass,
                                        uint8_t nSubclass) {
    // device, configuration, video control interface and its header
    std::vector<uint8_t> bytes = {
        18,   1,    0, 2, 0xEF, 2, 1, 64, 0x6D, 4, 0x25, 8,  0,  0, 1, 2, 0, 1, 9, 2, 0, 0, 2, 1, 0,
        0x80, 0xFA, 9, 4, 0,    0, 1, 14, 1,    0, 0,    13, 36, 1, 0, 1, 0, 0, 0, 0, 0, 0, 1, 1};
    const auto appendUnit = [&bytes](int nId, const Guid& code) {
        bytes.insert(bytes.end(), {27, 0x24, 0x06, static_cast<uint8_t>(nId)});
        bytes.insert(bytes.end(), code.begin(), code.end());
        bytes.insert(bytes.end(), {8, 1, 2, 2, 0xFF, 0xFF, 0});
    };
    Guid other = kVendorGuid;
    other[15] ^= 1;
    appendUnit(3, other);
    if (nClass != 0x0E || nSubclass != 1) {
        bytes.insert(bytes.end(), {9, 4, 1, 0, 0, nClass, nSubclass, 0, 0});
    }
    if (nUnit >= 0) {
        appendUnit(nUnit, guid);
    }
    // a streaming interface with an MJPEG format
    bytes.insert(bytes.end(), {9, 4, 2, 0, 0, 14, 2, 0, 0, 11, 36, 6, 1, 1, 1, 1, 0, 0, 0, 0});
    return bytes;
}

std::vector<uint8_t> Quadrants(int nWidth, int nHeight, const std::array<Bgr, 4>& colours) {
    std::vector<uint8_t> pixels;
    for (int y = 0; y < nHeight; ++y) {
        for (int x = 0; x < nWidth; ++x) {
            const Bgr& c = colours[y < nHeight / 2 ? (x >= nWidth / 2) : 3 - (x >= nWidth / 2)];
            pixels.insert(pixels.end(), {c[0], c[1], c[2], 255});
        }
    }
    return pixels;
}

std::vector<uint8_t> Jpeg(int nWidth, int nHeight, const std::array<Bgr, 4>& colours,
                          int nSubsampling, bool bTables) {
    const std::vector<uint8_t> pixels = Quadrants(nWidth, nHeight, colours);
    tjhandle hEncoder = tjInitCompress();
    unsigned char* pJpeg = nullptr;
    unsigned long nSize = 0;
    tjCompress2(hEncoder, pixels.data(), nWidth, nWidth * 4, nHeight, TJPF_BGRA, &pJpeg, &nSize,
                nSubsampling, 95, 0);
    std::vector<uint8_t> jpeg(pJpeg, pJpeg + nSize);
    tjFree(pJpeg);
    tjDestroy(hEncoder);
    // Segments up to the start of scan (DA): FF, type, big-endian length.
    for (size_t nAt = 2; !bTables && jpeg[nAt + 1] != 0xDA;) {
        const size_t nSegment = 2 + (jpeg[nAt + 2] << 8 | jpeg[nAt + 3]);
        if (jpeg[nAt + 1] == 0xC4) { // Huffman tables
            jpeg.erase(jpeg.begin() + static_cast<long>(nAt),
                       jpeg.begin() + static_cast<long>(nAt + nSegment));
        } else {
            nAt += nSegment;
        }
    }
    return jpeg;
}
