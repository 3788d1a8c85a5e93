#pragma once

#include "camera/IV4l2Device.h"

#include <memory>
#include <string>

// A video device node opened for real.
class V4l2Device final : public IV4l2Device {
public:
    // Null when the node cannot be opened.
    static std::unique_ptr<V4l2Device> Open(const std::string& strPath);
    ~V4l2Device() override;

    V4l2Device(const V4l2Device&) = delete;
    V4l2Device& operator=(const V4l2Device&) = delete;

    int Ioctl(unsigned long nRequest, void* pArg) override;
    void* Map(size_t nLength, uint32_t nOffset) override;
    void Unmap(void* pAddress, size_t nLength) override;
    int Poll(int nTimeoutMs) override;

private:
    explicit V4l2Device(int nFd) : m_nFd(nFd) {}

    int m_nFd;
};
