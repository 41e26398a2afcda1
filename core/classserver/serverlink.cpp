#include "serverlink.h"

#include "journal.h"

ServerSender::ServerSender(const QString &path, const ServerAddress &address)
    : journalPath(path)
    , server(address)
{ }

ServerSender::~ServerSender() = default;

void ServerSender::Stop()
{
    stopping = true;
    server.Interrupt();
}

void ServerSender::Send()
{
    if (!retry) {
        retry = std::make_unique<QTimer>();
        retry->setSingleShot(true);
        connect(retry.get(), &QTimer::timeout, this, &ServerSender::Send);
    }
    retry->stop();
    // The journal's connection belongs to this thread: one for each round.
    Journal journal(journalPath);
    QString problem;
    int waiting = journal.UnsentCount(&problem);
    while (!stopping && waiting > 0) {
        const QList<RunRecord> runs = journal.Unsent(BatchRuns, &problem);
        QList<qint64> ids;
        for (const RunRecord &run : runs)
            ids << run.id;
        if (runs.isEmpty() || !server.Send(runs, &problem) || !journal.MarkSent(ids, &problem))
            break; // what waits, waits still
        waiting = journal.UnsentCount(&problem);
        if (waiting > 0)
            Q_EMIT StateChanged(waiting, {}); // on their way
    }
    Q_EMIT StateChanged(waiting, waiting ? problem : QString());
    if (waiting && !stopping)
        retry->start(RetryMs);
}

ServerLink::ServerLink(const QString &journalPath, const ServerAddress &serverAddress, QObject *parent)
    : QObject(parent)
    , address(serverAddress)
    , thread(new QThread)
    , sender(new ServerSender(journalPath, serverAddress))
{
    sender->moveToThread(thread);
    connect(thread, &QThread::finished, sender, &QObject::deleteLater);
    connect(sender, &ServerSender::StateChanged, this, [this](int runs, const QString &why) {
        waiting = runs;
        problem = why;
        Q_EMIT Changed();
    });
    thread->setObjectName(QStringLiteral("classserver"));
    thread->start();
    Poke(); // what earlier sessions left
}

ServerLink::~ServerLink()
{
    sender->Stop();
    thread->quit();
    if (thread->wait(QDeadlineTimer((ClassServer::ConnectTimeoutS + 1) * 1000)))
        delete thread;
}

void ServerLink::Poke()
{
    QMetaObject::invokeMethod(sender, &ServerSender::Send, Qt::QueuedConnection);
}

QString ServerStateText(int waiting, const QString &problem)
{
    if (!problem.isEmpty())
        return problem;
    if (waiting == 0)
        return {};
    return waiting == 1 ? QStringLiteral("1 Durchgang wartet auf den Server")
                        : QStringLiteral("%1 Durchgänge warten auf den Server").arg(waiting);
}
