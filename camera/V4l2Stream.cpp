#include "camera/V4l2Stream.h"

#include <algorithm>
#include <cerrno>

namespace {

constexpr uint32_t kMinPicturesPerSecond = 15;
// Two buffers sit in the camera's slots; the driver needs at least one more
// to fill, and a spare keeps it from dropping frames while one is returned.
constexpr uint32_t kBuffers = 4;
constexpr uint32_t kMinBuffers = 3;
// Bounds the enumerations and the buffers against a driver that never
// says "no more".
constexpr uint32_t kMaxEntries = 256;
constexpr uint32_t kMaxBuffers = VIDEO_MAX_FRAME;

// a < b for two positive fractions.
bool Shorter(const v4l2_fract& a, const v4l2_fract& b) {
    return static_cast<uint64_t>(a.numerator) * b.denominator <
           static_cast<uint64_t>(b.numerator) * a.denominator;
}

bool Valid(const v4l2_fract& interval) {
    return interval.numerator != 0 && interval.denominator != 0;
}

// The shortest frame interval the device lists for MJPEG at this size.
bool ShortestInterval(IV4l2Device& device, uint32_t nWidth, uint32_t nHeight,
                      v4l2_fract& shortest) {
    bool bFound = false;
    for (uint32_t i = 0; i < kMaxEntries; ++i) {
        v4l2_frmivalenum entry{};
        entry.index = i;
        entry.pixel_format = V4L2_PIX_FMT_MJPEG;
        entry.width = nWidth;
        entry.height = nHeight;
        if (device.Ioctl(VIDIOC_ENUM_FRAMEINTERVALS, &entry) != 0) {
            break;
        }
        const v4l2_fract interval =
            entry.type == V4L2_FRMIVAL_TYPE_DISCRETE ? entry.discrete : entry.stepwise.min;
        if (Valid(interval) && (!bFound || Shorter(interval, shortest))) {
            shortest = interval;
            bFound = true;
        }
        if (entry.type != V4L2_FRMIVAL_TYPE_DISCRETE) {
            break; // one range describes them all
        }
    }
    return bFound;
}

bool OffersMjpeg(IV4l2Device& device) {
    for (uint32_t i = 0; i < kMaxEntries; ++i) {
        v4l2_fmtdesc entry{};
        entry.index = i;
        entry.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (device.Ioctl(VIDIOC_ENUM_FMT, &entry) != 0) {
            return false;
        }
        if (entry.pixelformat == V4L2_PIX_FMT_MJPEG) {
            return true;
        }
    }
    return false;
}

} // namespace

bool V4l2Stream::CanStream(const v4l2_capability& caps) {
    const uint32_t nCaps =
        (caps.capabilities & V4L2_CAP_DEVICE_CAPS) ? caps.device_caps : caps.capabilities;
    return (nCaps & V4L2_CAP_VIDEO_CAPTURE) && (nCaps & V4L2_CAP_STREAMING);
}

bool V4l2Stream::ChooseFormat(IV4l2Device& device, Format& format) {
    if (!OffersMjpeg(device)) {
        return false;
    }
    Format best;
    uint64_t nBestArea = 0;
    const v4l2_fract slowest{1, kMinPicturesPerSecond};
    for (uint32_t i = 0; i < kMaxEntries; ++i) {
        v4l2_frmsizeenum entry{};
        entry.index = i;
        entry.pixel_format = V4L2_PIX_FMT_MJPEG;
        if (device.Ioctl(VIDIOC_ENUM_FRAMESIZES, &entry) != 0) {
            break;
        }
        const bool bDiscrete = entry.type == V4L2_FRMSIZE_TYPE_DISCRETE;
        // Of a range of sizes only the largest can win.
        const uint32_t nWidth = bDiscrete ? entry.discrete.width : entry.stepwise.max_width;
        const uint32_t nHeight = bDiscrete ? entry.discrete.height : entry.stepwise.max_height;
        const uint64_t nArea = static_cast<uint64_t>(nWidth) * nHeight;
        v4l2_fract interval{};
        if (nArea > nBestArea && ShortestInterval(device, nWidth, nHeight, interval) &&
            !Shorter(slowest, interval)) {
            best = {nWidth, nHeight, interval};
            nBestArea = nArea;
        }
        if (!bDiscrete) {
            break;
        }
    }
    if (nBestArea == 0) {
        v4l2_format current{};
        current.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (device.Ioctl(VIDIOC_G_FMT, &current) != 0) {
            return false;
        }
        best = {current.fmt.pix.width, current.fmt.pix.height, {0, 0}};
    }
    format = best;
    return true;
}

std::unique_ptr<V4l2Stream> V4l2Stream::Start(std::unique_ptr<IV4l2Device> pDevice,
                                              const Format& format) {
    v4l2_format wanted{};
    wanted.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    wanted.fmt.pix.width = format.nWidth;
    wanted.fmt.pix.height = format.nHeight;
    wanted.fmt.pix.pixelformat = V4L2_PIX_FMT_MJPEG;
    wanted.fmt.pix.field = V4L2_FIELD_ANY;
    // A driver that cannot give MJPEG answers with another format.
    if (pDevice->Ioctl(VIDIOC_S_FMT, &wanted) != 0 ||
        wanted.fmt.pix.pixelformat != V4L2_PIX_FMT_MJPEG || wanted.fmt.pix.width == 0 ||
        wanted.fmt.pix.height == 0) {
        return nullptr;
    }
    std::unique_ptr<V4l2Stream> pStream(new V4l2Stream(std::move(pDevice)));
    IV4l2Device& device = *pStream->m_pDevice;
    pStream->m_format = {wanted.fmt.pix.width, wanted.fmt.pix.height, {0, 0}};
    if (Valid(format.interval)) {
        v4l2_streamparm parm{};
        parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        parm.parm.capture.timeperframe = format.interval;
        // A camera that keeps its own rate still streams.
        if (device.Ioctl(VIDIOC_S_PARM, &parm) == 0 && Valid(parm.parm.capture.timeperframe)) {
            pStream->m_format.interval = parm.parm.capture.timeperframe;
        }
    }

    v4l2_requestbuffers request{};
    request.count = kBuffers;
    request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    request.memory = V4L2_MEMORY_MMAP;
    if (device.Ioctl(VIDIOC_REQBUFS, &request) != 0 || request.count < kMinBuffers ||
        request.count > kMaxBuffers) {
        return nullptr;
    }
    for (uint32_t i = 0; i < request.count; ++i) {
        v4l2_buffer buffer{};
        buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buffer.memory = V4L2_MEMORY_MMAP;
        buffer.index = i;
        if (device.Ioctl(VIDIOC_QUERYBUF, &buffer) != 0 || buffer.length == 0) {
            return nullptr;
        }
        void* pData = device.Map(buffer.length, buffer.m.offset);
        if (!pData) {
            return nullptr;
        }
        pStream->m_mappings.push_back({static_cast<uint8_t*>(pData), buffer.length});
        if (device.Ioctl(VIDIOC_QBUF, &buffer) != 0) {
            return nullptr;
        }
    }
    int nType = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (device.Ioctl(VIDIOC_STREAMON, &nType) != 0) {
        return nullptr;
    }
    pStream->m_bStreaming = true;
    return pStream;
}

V4l2Stream::~V4l2Stream() {
    Stop();
    // Unmapped before the device closes with m_pDevice.
    for (const Mapping& mapping : m_mappings) {
        m_pDevice->Unmap(mapping.pData, mapping.nLength);
    }
}

V4l2Stream::Result V4l2Stream::Dequeue(Frame& frame) {
    v4l2_buffer buffer{};
    buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    buffer.memory = V4L2_MEMORY_MMAP;
    const int nError = m_pDevice->Ioctl(VIDIOC_DQBUF, &buffer);
    if (nError == EAGAIN) {
        return Result::Nothing;
    }
    if (nError != 0) {
        return Result::Ended;
    }
    if (buffer.index >= m_mappings.size()) {
        return Result::Nothing; // not a buffer of ours: nothing to read or give back
    }
    if ((buffer.flags & V4L2_BUF_FLAG_ERROR) || buffer.bytesused == 0) {
        Requeue(static_cast<int>(buffer.index));
        return Result::Nothing;
    }
    const Mapping& mapping = m_mappings[buffer.index];
    frame.nIndex = static_cast<int>(buffer.index);
    frame.pData = mapping.pData;
    // Never trust the driver to stay inside its own buffer.
    frame.nLength = std::min<size_t>(buffer.bytesused, mapping.nLength);
    return Result::Frame;
}

void V4l2Stream::Requeue(int nIndex) {
    if (!m_bStreaming || nIndex < 0 || static_cast<size_t>(nIndex) >= m_mappings.size()) {
        return;
    }
    v4l2_buffer buffer{};
    buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    buffer.memory = V4L2_MEMORY_MMAP;
    buffer.index = static_cast<uint32_t>(nIndex);
    m_pDevice->Ioctl(VIDIOC_QBUF, &buffer);
}

void V4l2Stream::Stop() {
    if (m_bStreaming.exchange(false)) {
        int nType = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        m_pDevice->Ioctl(VIDIOC_STREAMOFF, &nType);
    }
}
