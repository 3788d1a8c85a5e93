#include "tools/phone-sim/TcpListener.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

TcpListener::~TcpListener() {
    Close();
}

bool TcpListener::Listen(uint16_t nPort) {
    Close();
    const int nFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (nFd < 0) {
        return false;
    }
    // A simulator restarted right after a run must get its port back.
    const int nOn = 1;
    setsockopt(nFd, SOL_SOCKET, SO_REUSEADDR, &nOn, sizeof nOn);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    local.sin_port = htons(nPort);
    socklen_t nLength = sizeof local;
    if (bind(nFd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 || listen(nFd, 4) != 0 ||
        getsockname(nFd, reinterpret_cast<sockaddr*>(&local), &nLength) != 0) {
        close(nFd);
        return false;
    }
    m_nFd = nFd;
    m_nPort = ntohs(local.sin_port);
    return true;
}

int TcpListener::Accept(int nTimeoutMs) {
    if (m_nFd < 0) {
        return -1;
    }
    pollfd entry{m_nFd, POLLIN, 0};
    if (poll(&entry, 1, nTimeoutMs) <= 0) {
        return -1;
    }
    int nFd;
    do {
        nFd = accept4(m_nFd, nullptr, nullptr, SOCK_CLOEXEC);
    } while (nFd < 0 && errno == EINTR);
    return nFd;
}

void TcpListener::Close() {
    if (m_nFd >= 0) {
        close(m_nFd);
        m_nFd = -1;
    }
    m_nPort = 0;
}
