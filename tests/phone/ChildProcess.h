#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

// A program the test starts, with its standard output readable line by line.
// It is ended by its pid: SIGTERM, then SIGKILL if it has not gone within
// two seconds. The destructor ends it too, so a failing test leaves nothing.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();

    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Start(const std::vector<std::string>& args);
    // The next line of its output without the newline; false when none came
    // within nTimeoutMs or the output ended.
    bool ReadLine(std::string& strLine, int nTimeoutMs);
    bool Signal(int nSignal);
    void Stop();
    pid_t Pid() const { return m_nPid; }

    // Ends a process that is not our child (one that daemonised) by its pid
    // and waits for it to be gone; false if it outlived SIGKILL.
    static bool EndByPid(pid_t nPid);

private:
    pid_t m_nPid = -1;
    int m_nOutput = -1;
    std::string m_strPending;
};
