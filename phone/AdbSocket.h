#pragma once

#include "phone/IAdbConnection.h"

// A TCP connection to the adb server.
class AdbSocket : public IAdbConnection {
public:
    // Takes ownership of a connected socket.
    explicit AdbSocket(int nFd);
    ~AdbSocket() override;

    AdbSocket(const AdbSocket&) = delete;
    AdbSocket& operator=(const AdbSocket&) = delete;

    bool SendAll(const char* pData, size_t nSize) override;
    long Receive(char* pData, size_t nSize) override;
    void Interrupt() override;

private:
    int m_nFd;
};
