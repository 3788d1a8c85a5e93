#include "tests/recorder/PulseAudioDaemon.h"

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>

#include <csignal>
#include <cstdlib>
#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {
constexpr int kStartTimeoutMs = 15000;
constexpr int kStopTimeoutMs = 5000;

// Waits for a process that is not our child to end; pidfd_open turns its end
// into something poll can wait for, with a bound.
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
    if (strProgram.isEmpty()) {
        m_strError = "pulseaudio is not installed";
        return false;
    }
    if (!m_folder.isValid()) {
        m_strError = "no temporary folder";
        return false;
    }
    const QString strSocket = m_folder.path() + "/native";
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("PULSE_RUNTIME_PATH", m_folder.path() + "/runtime");
    environment.insert("PULSE_STATE_PATH", m_folder.path() + "/state");
    environment.remove("PULSE_SERVER");

    // With --daemonize the first process only ends once the daemon is ready
    // (or has failed), which is the readiness signal waited for here. No
    // configuration files are read (-n): only these modules are loaded.
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(strProgram,
                  {"--daemonize=yes", "-n", "--use-pid-file=yes", "--exit-idle-time=-1",
                   "--disable-shm=yes", "--log-target=stderr",
                   "--load=module-native-protocol-unix auth-anonymous=1 socket=" + strSocket,
                   // A null source is clocked on its own; the monitor of a null
                   // sink would hand its first block over only after seconds.
                   "--load=module-null-source source_name=orvane_test rate=48000 channels=2"});
    if (!process.waitForFinished(kStartTimeoutMs)) {
        process.kill();
        process.waitForFinished(kStopTimeoutMs);
        m_strError = "pulseaudio did not get ready";
        return false;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        m_strError = "pulseaudio failed: " + QString::fromLocal8Bit(process.readAll());
        return false;
    }
    QFile pidFile(m_folder.path() + "/runtime/pid");
    if (!pidFile.open(QIODevice::ReadOnly)) {
        m_strError = "pulseaudio wrote no pid file";
        return false;
    }
    m_nPid = pidFile.readAll().trimmed().toInt();
    if (m_nPid <= 0) {
        m_nPid = -1;
        m_strError = "pulseaudio wrote no pid";
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
    if (!WaitForExit(m_nPid, kStopTimeoutMs)) {
        kill(m_nPid, SIGKILL);
        WaitForExit(m_nPid, kStopTimeoutMs);
    }
    m_nPid = -1;
}
