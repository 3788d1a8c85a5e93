#include "app/UnixSignalWatcher.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

const int kSignals[] = {SIGTERM, SIGINT};
int g_pipe[2] = {-1, -1};
struct sigaction g_previous[2];

void OnSignal(int nSignal) {
    // Async-signal-safe only: one byte into the pipe, errno left as found.
    const int nSavedErrno = errno;
    const unsigned char nByte = static_cast<unsigned char>(nSignal);
    ssize_t nWritten;
    do {
        nWritten = write(g_pipe[1], &nByte, 1);
    } while (nWritten < 0 && errno == EINTR);
    errno = nSavedErrno;
}

} // namespace

UnixSignalWatcher::UnixSignalWatcher(QObject* pParent) : QObject(pParent) {
    if (g_pipe[0] >= 0 || pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    // Restart interrupted system calls: the GUI thread is usually in poll().
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < 2; ++i) {
        sigaction(kSignals[i], &action, &g_previous[i]);
    }
    m_pNotifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_pNotifier, &QSocketNotifier::activated, this, &UnixSignalWatcher::OnReadable);
}

UnixSignalWatcher::~UnixSignalWatcher() {
    if (m_pNotifier == nullptr) {
        return;
    }
    for (int i = 0; i < 2; ++i) {
        sigaction(kSignals[i], &g_previous[i], nullptr);
    }
    delete m_pNotifier;
    m_pNotifier = nullptr;
    close(g_pipe[0]);
    close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

void UnixSignalWatcher::OnReadable() {
    unsigned char nByte = 0;
    ssize_t nRead;
    while ((nRead = read(g_pipe[0], &nByte, 1)) > 0 || (nRead < 0 && errno == EINTR)) {
        if (nRead > 0) {
            emit SignalHappend(nByte);
        }
    }
}
