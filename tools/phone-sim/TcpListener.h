#pragma once

#include <cstdint>

// A listening TCP socket on the loopback address, for the phone simulator
// and the tests that play the phone.
class TcpListener {
public:
    TcpListener() = default;
    ~TcpListener();
    TcpListener(const TcpListener&) = delete;
    TcpListener& operator=(const TcpListener&) = delete;

    // nPort 0 picks a free port; Port() tells which.
    bool Listen(uint16_t nPort);
    // A connected socket, or -1 when none arrives within nTimeoutMs (0 polls).
    int Accept(int nTimeoutMs);
    void Close();

    int Fd() const { return m_nFd; }
    uint16_t Port() const { return m_nPort; }

private:
    int m_nFd = -1;
    uint16_t m_nPort = 0;
};
