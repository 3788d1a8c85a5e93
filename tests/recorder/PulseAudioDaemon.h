#pragma once

#include <QString>
#include <QTemporaryDir>

#include <sys/types.h>

// A private PulseAudio daemon whose only (so default) source is a null
// source: a real, silent capture device for PortAudio's ALSA backend on a
// machine without sound hardware. This process is pointed at it through
// PULSE_SERVER while it runs. The destructor stops it and waits for its end.
class PulseAudioDaemon {
public:
    PulseAudioDaemon() = default;
    ~PulseAudioDaemon();
    PulseAudioDaemon(const PulseAudioDaemon&) = delete;
    PulseAudioDaemon& operator=(const PulseAudioDaemon&) = delete;

    // False, with the reason in ErrorText, when no daemon can be had here.
    bool Start();
    void Stop();
    const QString& ErrorText() const { return m_strError; }

private:
    QTemporaryDir m_folder;
    pid_t m_nPid = 0;
    QString m_strError;
};
