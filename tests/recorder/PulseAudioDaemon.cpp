#include "tests/recorder/PulseAudioDaemon.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <csignal>
#include <cstdlib>
#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {
// The daemon is not our child once it has detached; a pidfd lets poll wait
// for its end with a bound all the same.
bool WaitForExit(pid_t nPid, int nTimeoutMs) {
    const int nPidFd = static_cast<int>(syscall(SYS_pidfd_open, nPid, 0));
    if (nPidFd < 0) {
        return kill(nPid, 0) != 0;
    }
    pollfd fd{nPidFd, POLLIN, 0};
    const bool bEnded = poll(&fd, 1, nTimeoutMs) > 0;
    close(nPidFd);
    return bEnded;
}
} // namespace

PulseAudioDaemon::~PulseAudioDaemon() {
    Stop();
}

bool PulseAudioDaemon::Start() {
    const QString strProgram = QStandardPaths::findExecutable("pulseaudio");
    if (strProgram.isEmpty() || !m_folder.isValid()) {
        m_strError = "pulseaudio is not installed";
        return false;
    }
    const QString strSocket = m_folder.path() + "/native";
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("PULSE_RUNTIME_PATH", m_folder.path() + "/runtime");
    environment.insert("PULSE_STATE_PATH", m_folder.path() + "/state");
    // With --daemonize the started process ends only once the daemon is ready
    // or has failed: that is the readiness waited for. -n: no configuration
    // files, only these modules. A null source is clocked on its own (the
    // monitor of a null sink hands its first block over only after seconds).
    // Should this process die before it stops the daemon, the daemon ends
    // by itself once it has had no client for a while.
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(strProgram,
                  {"--daemonize=yes", "-n", "--use-pid-file=yes", "--exit-idle-time=20",
                   "--disable-shm=yes", "--log-target=stderr",
                   "--load=module-native-protocol-unix auth-anonymous=1 socket=" + strSocket,
                   "--load=module-null-source source_name=orvane_test rate=48000 channels=2"});
    if (!process.waitForFinished(15000) || process.exitCode() != 0) {
        process.kill();
        m_strError = "pulseaudio failed: " + QString::fromLocal8Bit(process.readAll());
        return false;
    }
    QFile pidFile(m_folder.path() + "/runtime/pid");
    m_nPid = pidFile.open(QIODevice::ReadOnly) ? pidFile.readAll().trimmed().toInt() : 0;
    if (m_nPid <= 0) {
        m_strError = "pulseaudio wrote no pid file";
        return false;
    }
    setenv("PULSE_SERVER", ("unix:" + strSocket).toLocal8Bit().constData(), 1);
    return true;
}

void PulseAudioDaemon::Stop() {
    if (m_nPid <= 0) {
        return;
    }
    unsetenv("PULSE_SERVER");
    kill(m_nPid, SIGTERM);
    if (!WaitForExit(m_nPid, 5000)) {
        kill(m_nPid, SIGKILL);
        WaitForExit(m_nPid, 5000);
    }
    m_nPid = 0;
}
