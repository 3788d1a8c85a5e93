#include "tests/phone/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;

namespace {

// Waits until the process is gone, through a pid file descriptor: no
// polling of its state.
bool WaitGone(pid_t nPid, int nTimeoutMs) {
    const int nFd = static_cast<int>(syscall(SYS_pidfd_open, nPid, 0));
    if (nFd < 0) {
        return errno == ESRCH;
    }
    pollfd p{nFd, POLLIN, 0};
    int nReady;
    do {
        nReady = poll(&p, 1, nTimeoutMs);
    } while (nReady < 0 && errno == EINTR);
    close(nFd);
    return nReady > 0;
}

} // namespace

ChildProcess::~ChildProcess() {
    Stop();
}

bool ChildProcess::Start(const std::vector<std::string>& args) {
    int pipeFds[2];
    if (args.empty() || pipe2(pipeFds, O_CLOEXEC) != 0) {
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    std::vector<char*> argv;
    for (const std::string& strArg : args) {
        argv.push_back(const_cast<char*>(strArg.c_str()));
    }
    argv.push_back(nullptr);
    const int nError = posix_spawn(&m_nPid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (nError != 0) {
        m_nPid = -1;
        close(pipeFds[0]);
        return false;
    }
    m_nOutput = pipeFds[0];
    return true;
}

bool ChildProcess::ReadLine(std::string& strLine, int nTimeoutMs) {
    for (;;) {
        const size_t nEnd = m_strPending.find('\n');
        if (nEnd != std::string::npos) {
            strLine = m_strPending.substr(0, nEnd);
            m_strPending.erase(0, nEnd + 1);
            return true;
        }
        pollfd p{m_nOutput, POLLIN, 0};
        if (m_nOutput < 0 || poll(&p, 1, nTimeoutMs) <= 0) {
            return false;
        }
        char buffer[256];
        const ssize_t n = read(m_nOutput, buffer, sizeof(buffer));
        if (n <= 0) {
            return false;
        }
        m_strPending.append(buffer, static_cast<size_t>(n));
    }
}

bool ChildProcess::Signal(int nSignal) {
    return m_nPid > 0 && kill(m_nPid, nSignal) == 0;
}

void ChildProcess::Stop() {
    if (m_nPid > 0) {
        kill(m_nPid, SIGTERM);
        if (!WaitGone(m_nPid, 2000)) {
            kill(m_nPid, SIGKILL);
        }
        while (waitpid(m_nPid, nullptr, 0) < 0 && errno == EINTR) {
        }
        m_nPid = -1;
    }
    if (m_nOutput >= 0) {
        close(m_nOutput);
        m_nOutput = -1;
    }
}

bool ChildProcess::EndByPid(pid_t nPid) {
    if (nPid <= 0) {
        return false;
    }
    kill(nPid, SIGTERM);
    if (WaitGone(nPid, 2000)) {
        return true;
    }
    kill(nPid, SIGKILL);
    return WaitGone(nPid, 2000);
}
