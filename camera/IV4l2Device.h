#pragma once

#include <cstddef>
#include <cstdint>

// One opened video device node: the kernel calls the camera makes on it and
// nothing more, so that tests can put a fake device in its place. The
// destructor closes the node. Ioctl may be called from two threads at once
// (the streaming thread and the GUI thread's command writes).
class IV4l2Device {
public:
    virtual ~IV4l2Device() = default;

    // 0 on success, else the errno of the call.
    virtual int Ioctl(unsigned long nRequest, void* pArg) = 0;
    // Maps a buffer at the offset VIDIOC_QUERYBUF gave; null on failure. A
    // mapping stays readable until Unmap, even after the device went away.
    virtual void* Map(size_t nLength, uint32_t nOffset) = 0;
    virtual void Unmap(void* pAddress, size_t nLength) = 0;
    // Waits up to nTimeoutMs for a filled buffer: 1 when one can be
    // dequeued, 0 when none came in time, -1 when the device failed or was
    // unplugged.
    virtual int Poll(int nTimeoutMs) = 0;
};
