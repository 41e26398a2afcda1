#pragma once

#include "highscorefile.h"
#include "runrecord.h"
#include "runstore.h"
#include "settings.h"

#include <QList>
#include <QString>

#include <mutex>

class QSqlError;
class QSqlQuery;

// Where the class server is: a PostgreSQL database set up with classserver.sql. The password
// comes from ~/.pgpass or libpq's environment (PGPASSWORD), never from the settings.
struct ServerAddress
{
    QString host; // empty: no class server
    int port = 5432;
    QString database;
    QString user;
    QString group;                              // the class or group the runs are sent for; may be empty
    QString sslMode = QStringLiteral("prefer"); // libpq's sslmode

    bool operator==(const ServerAddress &other) const
    {
        return host == other.host && port == other.port && database == other.database && user == other.user
            && group == other.group && sslMode == other.sslMode;
    }
};

// The server the settings name; its host empty where none is set.
ServerAddress ServerAddressOf(const Settings &settings);

// The runs of a class on its server, through Qt SQL's PostgreSQL driver. Each call connects when
// it must, gives up on a host that does not answer within a few seconds, and says why in German.
// A database that is not a class server of ours, or of a newer version, is never written to. Runs
// are only ever inserted, values bound, each with its trials in one transaction.
class ClassServer : public RunStore
{
public:
    static constexpr int SchemaVersion = 1;
    static constexpr int ConnectTimeoutS = 5;

    explicit ClassServer(const ServerAddress &address);
    ~ClassServer() override;
    ClassServer(const ClassServer &) = delete;
    ClassServer &operator=(const ClassServer &) = delete;

    // Connects and checks the schema; empty when the server can be used, else why not.
    QString Open();
    // Sends the runs, with their trials, each once: a run the server holds (by its uuid) is left
    // as it is. false, with the reason, where some were not sent; `sent` then counts those that
    // were (the first ones, in order).
    bool Send(const QList<RunRecord> &runs, QString *reason = nullptr, int *sent = nullptr);
    // The group's runs without their trials (trialCount: the counted ones), newest first; with
    // their trials, by the server's ids. Empty, with a reason, when they cannot be read.
    QList<RunRecord> Runs(QString *reason = nullptr) override;
    QList<RunRecord> RunsWithTrials(const QList<qint64> &ids, QString *reason = nullptr) override;
    // The group's high scores: its fastest simple runs with a name, as many as the local file
    // keeps. Empty, with a reason, when they cannot be read.
    QList<HighscoreEntry> Highscores(QString *reason = nullptr);
    // Only a teacher's role may; a pupil's is told it may not.
    bool DeleteRuns(const QList<qint64> &ids, QString *reason = nullptr) override;

    // From any thread: breaks off at once what is on its way to or from the server (a transaction
    // not committed is then none of the server's; one whose commit went out stays, and a run sent
    // again is known by its uuid), so that a close never waits for a server that went away.
    void Interrupt();

private:
    bool Ready(QString *reason);
    QSqlQuery Prepared(const QString &statement);               // on this connection, read forward only
    bool Failed(const QSqlQuery &query, QString *reason);       // false, the reason told, the connection closed
    int SendIn(const QList<RunRecord> &runs, QSqlError *error); // how many were new; -1: none, rolled back
    void Close();

    ServerAddress address;
    QString connection;
    bool ready = false;
    std::mutex socketLock; // held while another thread shuts the socket: it stays this connection's
    int socket = -1;
};
