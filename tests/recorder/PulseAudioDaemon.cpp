#include "tests/recorder/PulseAudioDaemon.h"

PulseAudioDaemon::~PulseAudioDaemon() {
    m_process.terminate();
    m_process.waitForFinished(5000); // else the QProcess kills it
}

bool PulseAudioDaemon::Start() {
    // -n: no configuration files, only these modules. A null source is
    // clocked on its own (the monitor of a null sink hands its first block
    // over only after seconds). Should this process die without stopping it,
    // the daemon ends by itself once it has had no client for a while.
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start("pulseaudio",
                    {"-n", "--daemonize=no", "--exit-idle-time=20", "--disable-shm=yes",
                     "--log-target=stderr", "--log-level=info",
                     "--load=module-native-protocol-unix auth-anonymous=1",
                     "--load=module-null-source source_name=orvane_test rate=48000 channels=2"});
    // Ready once it says so; every wait for more of its log is bounded.
    QByteArray log;
    while (!log.contains("Daemon startup complete.") && m_process.waitForReadyRead(15000)) {
        log += m_process.readAll();
    }
    if (!log.contains("Daemon startup complete.")) {
        qWarning("no pulseaudio: %s", qPrintable(m_process.errorString() + log));
        return false;
    }
    return true;
}
