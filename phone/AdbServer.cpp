#include "phone/AdbServer.h"

#include "phone/AdbSocket.h"

#include <fcntl.h>
#include <netdb.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

extern char** environ;

AdbServer::AdbServer() {
    const char* szSpec = std::getenv("ADB_SERVER_SOCKET");
    m_bValid = !szSpec || !*szSpec || ParseSocketSpec(szSpec, m_strHost, m_nPort);
}

bool AdbServer::ParseSocketSpec(const std::string& strSpec, std::string& strHost, int& nPort) {
    if (strSpec.compare(0, 4, "tcp:") != 0) {
        return false;
    }
    const std::string strRest = strSpec.substr(4);
    const size_t nColon = strRest.rfind(':');
    std::string strHostPart = nColon == std::string::npos ? "localhost" : strRest.substr(0, nColon);
    const std::string strPort = nColon == std::string::npos ? strRest : strRest.substr(nColon + 1);
    if (strHostPart.size() >= 2 && strHostPart.front() == '[' && strHostPart.back() == ']') {
        strHostPart = strHostPart.substr(1, strHostPart.size() - 2);
    }
    if (strHostPart.empty() || strPort.empty() || strPort.size() > 5 ||
        strPort.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    const int nValue = std::atoi(strPort.c_str());
    if (nValue < 1 || nValue > 65535) {
        return false;
    }
    strHost = strHostPart;
    nPort = nValue;
    return true;
}

std::string AdbServer::FindAdbProgram() {
    const char* szPath = std::getenv("PATH");
    const std::string strPath = szPath ? szPath : "/usr/local/bin:/usr/bin:/bin";
    size_t nStart = 0;
    while (nStart <= strPath.size()) {
        const size_t nEnd = std::min(strPath.find(':', nStart), strPath.size());
        const std::string strDir = strPath.substr(nStart, nEnd - nStart);
        nStart = nEnd + 1;
        if (strDir.empty()) {
            continue;
        }
        const std::string strCandidate = strDir + "/adb";
        struct stat info {};
        if (stat(strCandidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            access(strCandidate.c_str(), X_OK) == 0) {
            return strCandidate;
        }
    }
    return std::string();
}

std::unique_ptr<IAdbConnection> AdbServer::Connect(int nReceiveTimeoutMs) {
    if (!m_bValid) {
        return nullptr;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* pList = nullptr;
    if (getaddrinfo(m_strHost.c_str(), std::to_string(m_nPort).c_str(), &hints, &pList) != 0) {
        return nullptr;
    }
    std::unique_ptr<IAdbConnection> pConnection;
    for (addrinfo* p = pList; p && !pConnection; p = p->ai_next) {
        const int nFd = socket(p->ai_family, p->ai_socktype | SOCK_CLOEXEC, p->ai_protocol);
        if (nFd < 0) {
            continue;
        }
        if (connect(nFd, p->ai_addr, p->ai_addrlen) != 0) {
            close(nFd);
            continue;
        }
        if (nReceiveTimeoutMs > 0) {
            timeval timeout{};
            timeout.tv_sec = nReceiveTimeoutMs / 1000;
            timeout.tv_usec = (nReceiveTimeoutMs % 1000) * 1000;
            setsockopt(nFd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
            setsockopt(nFd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof(timeout));
        }
        pConnection = std::make_unique<AdbSocket>(nFd);
    }
    freeaddrinfo(pList);
    return pConnection;
}

bool AdbServer::StartServer() {
    const std::string strAdb = FindAdbProgram();
    if (strAdb.empty() || !m_bValid) {
        return false;
    }
    // The server outlives this program, as it does for every adb client: it
    // must hold none of our descriptors, and it gets no terminal output.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (int nFd = 0; nFd <= 2; ++nFd) {
        posix_spawn_file_actions_addopen(&actions, nFd, "/dev/null", nFd == 0 ? O_RDONLY : O_WRONLY,
                                         0);
    }
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    char* argv[] = {const_cast<char*>(strAdb.c_str()), const_cast<char*>("start-server"), nullptr};
    pid_t nPid = -1;
    const int nError = posix_spawn(&nPid, strAdb.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (nError != 0) {
        return false;
    }
    int nStatus = 0;
    while (waitpid(nPid, &nStatus, 0) < 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    return WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 0;
}
