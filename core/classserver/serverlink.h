#pragma once

#include "classserver.h"

#include <QObject>
#include <QString>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <memory>

class Journal;

// Sends the runs waiting in the journal to the class server, from the thread it is moved to: in
// batches, each marked sent once the server has it, until none wait or the server fails; then
// again after RetryMs. A batch at a time, so that what else is asked of the server (the high
// scores) waits for one batch, not for a week's runs.
class ServerSender : public QObject
{
    Q_OBJECT

public:
    static constexpr int BatchRuns = 200;
    static constexpr int RetryMs = 30000;

    ServerSender(const QString &journalPath, const ServerAddress &address);
    ~ServerSender() override;

    void Send();
    void ReadHighscores(); // told by HighscoresRead
    // From any thread: no more batches, and the one on its way broken off.
    void Stop();

Q_SIGNALS:
    // How many runs wait, and what keeps them (empty: nothing, they are on their way).
    void StateChanged(int waiting, const QString &problem);
    // The class's high scores; where they could not be read, none and why.
    void HighscoresRead(const QList<HighscoreEntry> &entries, const QString &problem);

private:
    QString journalPath;
    ClassServer server;
    // Made in the sender's thread, whose they are: the journal's connection opened (and checked)
    // once, not for each batch.
    std::unique_ptr<Journal> journal;
    std::unique_ptr<QTimer> retry;
    std::atomic<bool> stopping {false};
};

// The class server as the main window sees it: a sender in a thread of its own, so that no run,
// start or close waits for the network, and the state it last told.
class ServerLink : public QObject
{
    Q_OBJECT

public:
    ServerLink(const QString &journalPath, const ServerAddress &address, QObject *parent = nullptr);
    // Stops the sender; waits for it at most the connect timeout, which only a connection being
    // made can take (one made is broken off at once). A sender still not done is left to end
    // with the program: deleting its thread now would end the program at once.
    ~ServerLink() override;

    void Poke(); // runs were stored: send them
    // Reads the class's high scores after what is being sent, so that they hold the runs stored
    // so far; told by HighscoresRead.
    void ReadHighscores();
    ServerAddress Address() const { return address; }
    int Waiting() const { return waiting; }
    QString Problem() const { return problem; }

Q_SIGNALS:
    void Changed();
    void HighscoresRead(const QList<HighscoreEntry> &entries, const QString &problem);

private:
    ServerAddress address;
    QThread *thread;      // deleted once it has finished
    ServerSender *sender; // lives in the thread, deleted when it finishes
    int waiting = 0;
    QString problem;
};

// The state in the main window: "3 Durchgänge warten auf den Server", "Server nicht erreichbar:
// ..."; empty when nothing waits.
QString ServerStateText(int waiting, const QString &problem);
