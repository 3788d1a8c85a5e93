#pragma once

#include <QProcess>

// A private PulseAudio daemon whose only (so default) source is a silent null
// source: a real capture device for PortAudio's ALSA backend on a machine
// without sound hardware. It keeps its socket in XDG_RUNTIME_DIR, which the
// test main gives each test process of its own, and clients look for it
// there. The destructor stops it and waits for its end.
class PulseAudioDaemon {
public:
    PulseAudioDaemon() = default;
    ~PulseAudioDaemon();
    PulseAudioDaemon(const PulseAudioDaemon&) = delete;
    PulseAudioDaemon& operator=(const PulseAudioDaemon&) = delete;

    // False (with the reason as a warning) when no daemon can be had here.
    bool Start();

private:
    QProcess m_process;
};
