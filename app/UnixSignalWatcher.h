#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM and SIGINT into a Qt signal on the GUI thread. The handler
// only writes the signal number into a pipe; a QSocketNotifier on the other
// end emits SignalHappend from the event loop, where Qt may be called.
// One watcher at a time; the previous handlers come back when it goes.
class UnixSignalWatcher : public QObject {
    Q_OBJECT

public:
    explicit UnixSignalWatcher(QObject* pParent = nullptr);
    ~UnixSignalWatcher() override;

    // False when the pipe or the handlers could not be set up.
    bool IsWatching() const { return m_pNotifier != nullptr; }

signals:
    void SignalHappend(int nSignal);

private:
    void OnReadable();

    QSocketNotifier* m_pNotifier = nullptr;
};
