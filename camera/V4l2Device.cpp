#include "camera/V4l2Device.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

std::unique_ptr<V4l2Device> V4l2Device::Open(const std::string& strPath) {
    // Non-blocking, so that a dequeue with nothing ready returns EAGAIN
    // instead of holding the streaming thread where Close cannot reach it.
    int nFd;
    do {
        nFd = ::open(strPath.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    } while (nFd < 0 && errno == EINTR);
    if (nFd < 0) {
        return nullptr;
    }
    return std::unique_ptr<V4l2Device>(new V4l2Device(nFd));
}

V4l2Device::~V4l2Device() {
    ::close(m_nFd);
}

int V4l2Device::Ioctl(unsigned long nRequest, void* pArg) {
    int nResult;
    do {
        nResult = ::ioctl(m_nFd, nRequest, pArg);
    } while (nResult < 0 && errno == EINTR);
    return nResult < 0 ? errno : 0;
}

void* V4l2Device::Map(size_t nLength, uint32_t nOffset) {
    void* pAddress = ::mmap(nullptr, nLength, PROT_READ | PROT_WRITE, MAP_SHARED, m_nFd,
                            static_cast<off_t>(nOffset));
    return pAddress == MAP_FAILED ? nullptr : pAddress;
}

void V4l2Device::Unmap(void* pAddress, size_t nLength) {
    ::munmap(pAddress, nLength);
}

int V4l2Device::Poll(int nTimeoutMs) {
    pollfd entry{m_nFd, POLLIN, 0};
    const int nResult = ::poll(&entry, 1, nTimeoutMs);
    if (nResult < 0) {
        // Interrupted: the caller polls again.
        return errno == EINTR ? 0 : -1;
    }
    if (nResult == 0) {
        return 0;
    }
    // An unplugged device answers POLLERR | POLLHUP from then on.
    if (entry.revents & (POLLERR | POLLHUP | POLLNVAL)) {
        return -1;
    }
    return 1;
}
