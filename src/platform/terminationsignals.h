#pragma once

#include <QObject>

class QSocketNotifier;

namespace quillet {

// Brings the signals that end a program from outside (SIGTERM from a logout,
// systemd or kill; SIGHUP from a closed terminal) into the event loop: the
// handler only writes the signal number into a pipe, and `received` is
// emitted when the loop reads it. Each signal is caught once; a second one
// ends the process the default way, so an exit that hangs can still be
// stopped. One object per process.
class TerminationSignals final : public QObject
{
    Q_OBJECT

public:
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;
    Q_DISABLE_COPY_MOVE(TerminationSignals)

    // False when the pipe or the handlers could not be set up: the signals
    // then keep their default action.
    bool isActive() const { return m_notifier != nullptr; }

signals:
    void received(int signalNumber);

private:
    void readPipe();

    QSocketNotifier *m_notifier = nullptr;
};

// In a child process between fork and exec: the child gets SIGTERM when the
// thread that started it ends, so that no helper outlives a program that was
// killed. Async-signal-safe.
void endWithParent();

} // namespace quillet
