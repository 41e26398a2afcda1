#include "classserver.h"

#include "journalcolumns.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>
#include <vector>

#include <libpq-fe.h>
#include <sys/socket.h>

namespace {

template<class Record> QString ColumnList(const QList<JournalColumn<Record>> &columns, const QString &prefix = {})
{
    QStringList names;
    for (const QString &name : ColumnNames(columns))
        names << prefix + name;
    return names.join(QStringLiteral(", "));
}

QString IdList(const QList<qint64> &ids)
{
    QStringList numbers;
    for (const qint64 id : ids)
        numbers << QString::number(id);
    return numbers.join(QLatin1Char(','));
}

// libpq's words for what went wrong, on one line.
QString ServerText(const QSqlError &error)
{
    QString text = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    return text.simplified();
}

// By their start, which the server holds as text with each computer's offset, not by when they
// came; equal starts as listed. Each key reckoned once, each run moved once: a class has many.
QList<RunRecord> NewestFirst(QList<RunRecord> runs)
{
    std::vector<std::pair<qint64, qsizetype>> order;
    order.reserve(runs.size());
    for (qsizetype i = 0; i < runs.size(); ++i)
        order.emplace_back(-runs.at(i).started.toMSecsSinceEpoch(), i);
    std::stable_sort(order.begin(), order.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    QList<RunRecord> sorted;
    sorted.reserve(runs.size());
    for (const auto &[key, i] : order)
        sorted.append(std::move(runs[i]));
    return sorted;
}

QString Unreachable(const QString &why)
{
    return QStringLiteral("Server nicht erreichbar: %1").arg(why);
}

} // namespace

ServerAddress ServerAddressOf(const Settings &s)
{
    return {s.serverHost, s.serverPort, s.serverDatabase, s.serverUser, s.serverGroup, s.serverSslMode};
}

ClassServer::ClassServer(const ServerAddress &serverAddress)
    : address(serverAddress)
    , connection(QStringLiteral("classserver-%1").arg(reinterpret_cast<quintptr>(this)))
{ }

ClassServer::~ClassServer()
{
    if (!QSqlDatabase::contains(connection))
        return;
    QSqlDatabase::database(connection, false).close();
    QSqlDatabase::removeDatabase(connection);
}

void ClassServer::Close()
{
    {
        const std::lock_guard<std::mutex> lock(socketLock);
        socket = -1;
    }
    QSqlDatabase::database(connection, false).close();
    ready = false;
}

QString ClassServer::Open()
{
    QString reason;
    Close();
    Ready(&reason);
    return reason;
}

bool ClassServer::Ready(QString *reason)
{
    const auto fail = [&](const QString &why) {
        if (reason)
            *reason = why;
        Close();
        return false;
    };
    if (ready && QSqlDatabase::database(connection, false).isOpen())
        return true;
    if (address.host.isEmpty())
        return fail(QStringLiteral("Kein Klassenserver eingestellt."));
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")))
        return fail(QStringLiteral("Der PostgreSQL-Treiber von Qt fehlt (Paket libqt6sql6-psql)."));
    // Options go into libpq's connection string as they stand: only its own words for TLS.
    static const QStringList sslModes {QStringLiteral("disable"), QStringLiteral("allow"), QStringLiteral("prefer"),
        QStringLiteral("require"), QStringLiteral("verify-ca"), QStringLiteral("verify-full")};
    if (!sslModes.contains(address.sslMode))
        return fail(QStringLiteral("Unbekannter Wert für sslmode: „%1“.").arg(address.sslMode));
    QSqlDatabase db = QSqlDatabase::contains(connection)
        ? QSqlDatabase::database(connection, false)
        : QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connection);
    db.setHostName(address.host);
    db.setPort(address.port);
    db.setDatabaseName(address.database);
    db.setUserName(address.user);
    // A host that does not answer is given up after a few seconds; one that goes away while a
    // run is sent, once its connection has been idle and unanswered for about 20 s.
    db.setConnectOptions(QStringLiteral("connect_timeout=%1;sslmode=%2;application_name=blinkdash;keepalives_idle=10;"
                                        "keepalives_interval=5;keepalives_count=2")
                             .arg(ConnectTimeoutS)
                             .arg(address.sslMode));
    if (!db.open()) {
        const QString text = ServerText(db.lastError());
        if (text.contains(QLatin1String("password")))
            return fail(
                QStringLiteral("Anmeldung als %1 am Klassenserver abgelehnt: Das Passwort fehlt in ~/.pgpass oder "
                               "ist falsch (%2).")
                    .arg(address.user, text));
        return fail(Unreachable(text));
    }
    // Read before anything is written: a database that is not ours, or is a newer version's, is left alone.
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT to_regclass('blinkdash_schema') IS NOT NULL")) || !query.next())
        return fail(Unreachable(ServerText(query.lastError())));
    if (!query.value(0).toBool() || !query.exec(QStringLiteral("SELECT max(version) FROM blinkdash_schema"))
        || !query.next() || query.value(0).toInt() < 1)
        return fail(QStringLiteral("Die Datenbank %1 auf %2 ist keine Klassendatenbank von Flinkprobe; sie wird nicht "
                                   "verändert.")
                        .arg(address.database, address.host));
    if (const int version = query.value(0).toInt(); version > SchemaVersion)
        return fail(
            QStringLiteral("Die Klassendatenbank stammt von einer neueren Version des Programms (Schema %1); sie wird "
                           "nicht verändert.")
                .arg(version));
    // Compiling a query costs more than it saves here: a class's runs are many short lookups (each
    // run's trials counted), 40 % faster without. A server that has no such setting is no matter.
    query.exec(QStringLiteral("SET jit = off"));
    // The driver's libpq connection, as Qt 5 ("PGconn*") or Qt 6 ("pg_conn*") names its type.
    const QVariant handle = db.driver()->handle();
    if (handle.isValid()
        && (qstrcmp(handle.typeName(), "PGconn*") == 0 || qstrcmp(handle.typeName(), "pg_conn*") == 0)) {
        const std::lock_guard<std::mutex> lock(socketLock);
        socket = PQsocket(*static_cast<PGconn *const *>(handle.constData()));
    }
    ready = true;
    return true;
}

void ClassServer::Interrupt()
{
    const std::lock_guard<std::mutex> lock(socketLock);
    if (socket >= 0)
        ::shutdown(socket, SHUT_RDWR);
}

bool ClassServer::Send(const QList<RunRecord> &runs, QString *reason, int *sent)
{
    if (sent)
        *sent = 0;
    if (runs.isEmpty())
        return true;
    if (!Ready(reason))
        return false;
    QSqlError error;
    const int added = SendIn(runs, &error);
    if (added < 0) {
        if (reason)
            *reason = Unreachable(ServerText(error));
        Close(); // asked afresh next time, whatever broke
        return false;
    }
    if (sent)
        *sent = added;
    return true;
}

int ClassServer::SendIn(const QList<RunRecord> &runs, QSqlError *error)
{
    QSqlDatabase db = QSqlDatabase::database(connection, false);
    const auto fail = [&](const QSqlError &why) {
        *error = why;
        if (db.isOpen()) // a connection lost has nothing to roll back, the server does it
            db.rollback();
        return -1;
    };
    if (!db.transaction())
        return fail(db.lastError());
    QSqlQuery insert(db);
    insert.prepare(QStringLiteral("INSERT INTO runs (class_group, %1) VALUES (?%2) ON CONFLICT (uuid) DO NOTHING "
                                  "RETURNING id")
                       .arg(ColumnList(RunColumns()), QStringLiteral(", ?").repeated(RunColumns().size())));
    // A run's trials in few statements, each a round trip: many rows at a time, the statement
    // prepared again only for another number of rows.
    constexpr int RowsPerInsert = 500;
    const QString trialRow = QStringLiteral("(?, ?%1)").arg(QStringLiteral(", ?").repeated(TrialColumns().size()));
    QSqlQuery trials(db);
    qsizetype preparedRows = 0;
    int added = 0;
    for (const RunRecord &run : runs) {
        insert.addBindValue(address.group);
        for (const QVariant &value : ValuesOf(run, RunColumns()))
            insert.addBindValue(value);
        if (!insert.exec())
            return fail(insert.lastError());
        if (!insert.next())
            continue; // the server has it
        const qint64 id = insert.value(0).toLongLong();
        ++added;
        for (qsizetype first = 0; first < run.trials.size(); first += RowsPerInsert) {
            const qsizetype rows = std::min<qsizetype>(RowsPerInsert, run.trials.size() - first);
            if (rows != preparedRows) {
                QStringList values(rows, trialRow);
                trials.prepare(QStringLiteral("INSERT INTO trials (run_id, seq, %1) VALUES %2")
                                   .arg(ColumnList(TrialColumns()), values.join(QStringLiteral(", "))));
                preparedRows = rows;
            }
            for (qsizetype i = first; i < first + rows; ++i)
                for (const QVariant &value : QVariantList {id, i + 1} + ValuesOf(run.trials.at(i), TrialColumns()))
                    trials.addBindValue(value);
            if (!trials.exec())
                return fail(trials.lastError());
        }
    }
    return db.commit() ? added : fail(db.lastError());
}

QList<RunRecord> ClassServer::Runs(QString *reason)
{
    QList<RunRecord> runs;
    if (!Ready(reason))
        return runs;
    QSqlQuery query
        = Prepared(QStringLiteral("SELECT id, %1, (SELECT count(*) FROM trials WHERE run_id = runs.id AND counted) "
                                  "FROM runs WHERE class_group = ? ORDER BY id DESC")
                       .arg(ColumnList(RunColumns())));
    query.addBindValue(address.group);
    if (!query.exec() && !Failed(query, reason))
        return runs;
    const int countColumn = 1 + RunColumns().size();
    runs.reserve(std::max(0, query.size()));
    while (query.next()) {
        runs.append(RecordFrom(query, 1, RunColumns()));
        runs.last().id = query.value(0).toLongLong();
        runs.last().trialCount = query.value(countColumn).toInt();
    }
    return NewestFirst(std::move(runs));
}

QList<RunRecord> ClassServer::RunsWithTrials(const QList<qint64> &ids, QString *reason)
{
    QList<RunRecord> runs;
    if (ids.isEmpty() || !Ready(reason))
        return runs;
    QSqlQuery query = Prepared(QStringLiteral("SELECT r.id, %1, %2 FROM runs r LEFT JOIN trials t ON t.run_id = r.id "
                                              "WHERE r.id IN (%3) ORDER BY r.id, t.seq")
                                   .arg(ColumnList(RunColumns(), QStringLiteral("r.")),
                                       ColumnList(TrialColumns(), QStringLiteral("t.")), IdList(ids)));
    if (!query.exec() && !Failed(query, reason))
        return runs;
    const int firstTrialColumn = 1 + RunColumns().size();
    while (query.next()) {
        if (runs.isEmpty() || runs.last().id != query.value(0).toLongLong()) {
            runs.append(RecordFrom(query, 1, RunColumns()));
            runs.last().id = query.value(0).toLongLong();
        }
        if (!query.isNull(firstTrialColumn))
            runs.last().trials.append(RecordFrom(query, firstTrialColumn, TrialColumns()));
        runs.last().trialCount = static_cast<int>(CountedTrials(runs.last().trials).size());
    }
    return runs;
}

QList<HighscoreEntry> ClassServer::Highscores(QString *reason)
{
    QList<HighscoreEntry> entries;
    if (!Ready(reason))
        return entries;
    // As the local list takes them: every simple run with a result and a name, equal times in the
    // order they were run.
    QSqlQuery query
        = Prepared(QStringLiteral("SELECT name, result_ms FROM runs WHERE class_group = ? AND task = ? "
                                  "AND result_ms IS NOT NULL AND name ~ '[^[:space:]]' ORDER BY result_ms, started, id "
                                  "LIMIT %1")
                       .arg(HighscoreFileEntries));
    query.addBindValue(address.group);
    query.addBindValue(TaskName(Task {}));
    if (!query.exec() && !Failed(query, reason))
        return entries;
    while (query.next())
        entries.append({query.value(0).toString(), query.value(1).toInt()});
    return entries;
}

QSqlQuery ClassServer::Prepared(const QString &statement)
{
    QSqlQuery query(QSqlDatabase::database(connection, false));
    query.setForwardOnly(true); // a class's runs are many: read once, not kept for going back
    query.prepare(statement);
    return query;
}

bool ClassServer::Failed(const QSqlQuery &query, QString *reason)
{
    if (reason)
        *reason = Unreachable(ServerText(query.lastError()));
    Close();
    return false;
}

bool ClassServer::DeleteRuns(const QList<qint64> &ids, QString *reason)
{
    if (ids.isEmpty())
        return true;
    if (!Ready(reason))
        return false;
    QSqlQuery query(QSqlDatabase::database(connection, false));
    if (query.exec(QStringLiteral("DELETE FROM runs WHERE id IN (%1)").arg(IdList(ids))))
        return true;
    if (reason)
        *reason = query.lastError().nativeErrorCode() == QLatin1String("42501")
            ? QStringLiteral("Als %1 darf dieses Programm auf dem Klassenserver nichts löschen; das darf nur die "
                             "Anmeldung einer Lehrkraft.")
                  .arg(address.user)
            : Unreachable(ServerText(query.lastError()));
    return false;
}
