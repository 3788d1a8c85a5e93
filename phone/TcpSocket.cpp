#include "phone/TcpSocket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
// How long a send may wait for a peer that does not read.
constexpr int kSendTimeoutMs = 3000;
} // namespace

TcpSocket::~TcpSocket() {
    Close();
}

bool TcpSocket::Connect(const char* szAddress, uint16_t nPort, int nTimeoutMs) {
    if (m_nFd >= 0) {
        return false;
    }
    if (szAddress == nullptr || nPort == 0) {
        return false;
    }
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(nPort);
    if (inet_pton(AF_INET, szAddress, &remote.sin_addr) != 1) {
        return false;
    }
    const int nFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (nFd < 0) {
        return false;
    }
    // The connect itself runs non-blocking, so that an address that never
    // answers cannot hold the caller (and whoever waits on it) for minutes.
    const int nFlags = fcntl(nFd, F_GETFL);
    bool bConnected = fcntl(nFd, F_SETFL, nFlags | O_NONBLOCK) == 0;
    if (bConnected && connect(nFd, reinterpret_cast<sockaddr*>(&remote), sizeof remote) != 0) {
        bConnected = false;
        if (errno == EINPROGRESS) {
            pollfd entry{nFd, POLLOUT, 0};
            int nError = 0;
            socklen_t nLength = sizeof nError;
            int nReady;
            do {
                nReady = poll(&entry, 1, nTimeoutMs);
            } while (nReady < 0 && errno == EINTR);
            bConnected = nReady == 1 &&
                         getsockopt(nFd, SOL_SOCKET, SO_ERROR, &nError, &nLength) == 0 &&
                         nError == 0;
        }
    }
    if (!bConnected || fcntl(nFd, F_SETFL, nFlags) != 0) {
        close(nFd);
        return false;
    }
    m_nFd = nFd;
    m_bConnected = true;
    Configure();
    return true;
}

bool TcpSocket::Adopt(int nFd) {
    if (m_nFd >= 0 || nFd < 0) {
        return false;
    }
    m_nFd = nFd;
    m_bConnected = true;
    Configure();
    return true;
}

void TcpSocket::Configure() {
    // Command packets are small and each one is wanted at once.
    const int nOn = 1;
    setsockopt(m_nFd, IPPROTO_TCP, TCP_NODELAY, &nOn, sizeof nOn);
    timeval timeout{kSendTimeoutMs / 1000, (kSendTimeoutMs % 1000) * 1000};
    setsockopt(m_nFd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
}

bool TcpSocket::WaitReadable(unsigned int nTimeoutMs) {
    if (m_nFd < 0) {
        return false;
    }
    pollfd entry{m_nFd, POLLIN, 0};
    const int nReady = poll(&entry, 1, static_cast<int>(nTimeoutMs));
    // A hang-up or error counts as readable: the next Receive reports it.
    return nReady > 0 && (entry.revents & (POLLIN | POLLHUP | POLLERR)) != 0;
}

int TcpSocket::Receive(void* pBuffer, int nSize) {
    if (m_nFd < 0 || nSize < 0) {
        return -1;
    }
    ssize_t nResult;
    do {
        nResult = recv(m_nFd, pBuffer, static_cast<size_t>(nSize), 0);
    } while (nResult < 0 && errno == EINTR);
    return static_cast<int>(nResult);
}

int TcpSocket::Send(const void* pData, int nSize) {
    if (m_nFd < 0 || nSize < 0) {
        return -1;
    }
    ssize_t nResult;
    do {
        nResult = send(m_nFd, pData, static_cast<size_t>(nSize), MSG_NOSIGNAL);
    } while (nResult < 0 && errno == EINTR);
    return static_cast<int>(nResult);
}

int TcpSocket::Close() {
    if (m_nFd < 0) {
        return -1;
    }
    const int nResult = close(m_nFd);
    m_nFd = -1;
    m_bConnected = false;
    return nResult;
}

uint16_t TcpSocket::LocalPort() const {
    sockaddr_in local{};
    socklen_t nLength = sizeof local;
    if (m_nFd < 0 || getsockname(m_nFd, reinterpret_cast<sockaddr*>(&local), &nLength) != 0) {
        return 0;
    }
    return ntohs(local.sin_port);
}
