#include "phone/AdbSocket.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

AdbSocket::AdbSocket(int nFd) : m_nFd(nFd) {}

AdbSocket::~AdbSocket() {
    if (m_nFd >= 0) {
        close(m_nFd);
        m_nFd = -1;
    }
}

bool AdbSocket::SendAll(const char* pData, size_t nSize) {
    while (nSize > 0) {
        const ssize_t n = send(m_nFd, pData, nSize, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        pData += n;
        nSize -= static_cast<size_t>(n);
    }
    return true;
}

long AdbSocket::Receive(char* pData, size_t nSize) {
    for (;;) {
        const ssize_t n = recv(m_nFd, pData, nSize, 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        return static_cast<long>(n);
    }
}

void AdbSocket::Interrupt() {
    // shutdown, not close: the descriptor stays owned by the thread that may
    // be inside recv, which now returns at once.
    shutdown(m_nFd, SHUT_RDWR);
}
