#pragma once

#include <QObject>

class QSocketNotifier;

// Brings SIGTERM, SIGHUP and SIGINT (logout, shutdown, Ctrl+C) into the event loop as a signal, so
// that the program can close as it does from its window, saving what it holds. The handler only
// writes to a socket; everything else happens in the loop. One instance per process.
class TerminationWatcher : public QObject
{
    Q_OBJECT

public:
    explicit TerminationWatcher(QObject *parent = nullptr);
    ~TerminationWatcher() override;

Q_SIGNALS:
    // After the first, the signals act as before again: a second Ctrl+C ends a program that does
    // not close. A signal ignored at start (nohup) stays ignored.
    void Received(int signalNumber);

private:
    void OnReadable();

    QSocketNotifier *notifier = nullptr;
};
