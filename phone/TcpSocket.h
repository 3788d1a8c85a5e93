#pragma once

#include <cstdint>

// One IPv4 TCP connection over the BSD socket calls. Results are passed on as
// the calls give them (-1 error, 0 end of stream, otherwise a byte count);
// nothing is logged here. Not copyable; holds no locks: its owner serialises
// the use of one socket.
class TcpSocket {
public:
    TcpSocket() = default;
    ~TcpSocket();
    TcpSocket(const TcpSocket&) = delete;
    TcpSocket& operator=(const TcpSocket&) = delete;

    // Dotted-decimal IPv4 address only, no name lookup. Fails on an open
    // socket without touching it, on a null address or port 0, and when
    // nobody answers within nTimeoutMs.
    bool Connect(const char* szAddress, uint16_t nPort, int nTimeoutMs = 2000);
    // Takes over an already connected socket (from accept or socketpair);
    // false, leaving nFd to the caller, when this socket is still open.
    bool Adopt(int nFd);
    // True when data or an end of stream can be read now; 0 polls.
    bool WaitReadable(unsigned int nTimeoutMs);
    // One recv; an interrupted call is repeated.
    int Receive(void* pBuffer, int nSize);
    // One send that a closed peer cannot answer with SIGPIPE; an interrupted
    // call is repeated. A peer that stops reading makes it fail after a few
    // seconds instead of blocking for good.
    int Send(const void* pData, int nSize);
    // -1 with no socket, else the result of close.
    int Close();

    bool IsOpen() const { return m_nFd >= 0; }
    // For polling several sockets at once; -1 when closed.
    int Fd() const { return m_nFd; }
    bool IsConnected() const { return m_bConnected; }
    // The local port, 0 when closed.
    uint16_t LocalPort() const;

private:
    void Configure();

    int m_nFd = -1;
    bool m_bConnected = false;
};
