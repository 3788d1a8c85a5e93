#include "tests/recorder/PulseAudioDaemon.h"

#include <QFile>
#include <QProcess>

#include <csignal>
#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

PulseAudioDaemon::~PulseAudioDaemon() {
    // Once detached the daemon is no child of ours; a pidfd lets poll wait
    // for its end with a bound all the same.
    pollfd fd{m_nPid > 0 ? static_cast<int>(syscall(SYS_pidfd_open, m_nPid, 0)) : -1, POLLIN, 0};
    if (fd.fd >= 0) {
        kill(m_nPid, SIGTERM);
        poll(&fd, 1, 5000);
        close(fd.fd);
    }
}

bool PulseAudioDaemon::Start() {
    // With --daemonize the started process ends only once the daemon is ready
    // or has failed: that is the readiness waited for. -n: no configuration
    // files, only these modules. A null source is clocked on its own (the
    // monitor of a null sink hands its first block over only after seconds).
    // Should this process die before it stops the daemon, the daemon ends
    // by itself once it has had no client for a while.
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start("pulseaudio",
                  {"--daemonize=yes", "-n", "--use-pid-file=yes", "--exit-idle-time=20",
                   "--disable-shm=yes", "--log-target=stderr",
                   "--load=module-native-protocol-unix auth-anonymous=1",
                   "--load=module-null-source source_name=orvane_test rate=48000 channels=2"});
    QFile pidFile(qEnvironmentVariable("XDG_RUNTIME_DIR") + "/pulse/pid");
    if (!process.waitForFinished(15000) || process.exitCode() != 0 ||
        !pidFile.open(QIODevice::ReadOnly)) {
        qWarning("no pulseaudio: %s", qPrintable(process.errorString() + process.readAll()));
        process.kill();
        return false;
    }
    m_nPid = pidFile.readAll().trimmed().toInt();
    return m_nPid > 0;
}
