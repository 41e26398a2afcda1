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
    if (stopping)
        return;
    if (!journal)
        journal = std::make_unique<Journal>(journalPath);
    QString problem;
    const QList<RunRecord> runs = journal->Unsent(BatchRuns, &problem);
    int waiting = 0;
    if (!runs.isEmpty()) {
        QList<qint64> ids;
        for (const RunRecord &run : runs)
            ids << run.id;
        const bool sent = server.Send(runs, &problem) && journal->MarkSent(ids, &problem);
        waiting = journal->UnsentCount(sent ? &problem : nullptr); // a failure's reason kept
        if (sent && waiting > 0) { // on their way; the next batch after what was asked meanwhile
            Q_EMIT StateChanged(waiting, {});
            QMetaObject::invokeMethod(this, &ServerSender::Send, Qt::QueuedConnection);
            return;
        }
    }
    Q_EMIT StateChanged(waiting, waiting ? problem : QString());
    if (waiting && !stopping)
        retry->start(RetryMs);
}

void ServerSender::ReadHighscores()
{
    QString problem;
    const QList<HighscoreEntry> entries = server.Highscores(&problem);
    Q_EMIT HighscoresRead(entries, problem);
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
    connect(sender, &ServerSender::HighscoresRead, this, &ServerLink::HighscoresRead);
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

void ServerLink::ReadHighscores()
{
    QMetaObject::invokeMethod(sender, &ServerSender::ReadHighscores, Qt::QueuedConnection);
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
