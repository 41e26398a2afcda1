#include "journal.h"

#include "journalcolumns.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>

#include <algorithm>
#include <utility>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace {

// The runs' columns with the id, for a SELECT.
QString RunColumnList(const QString &id = QStringLiteral("id"))
{
    return (QStringList {id} + ColumnNames(RunColumns())).join(QStringLiteral(", "));
}

QString TrialColumnList()
{
    return ColumnNames(TrialColumns()).join(QStringLiteral(", "));
}

template<class Record> QString ColumnDefinitions(const QList<JournalColumn<Record>> &columns, int version)
{
    QString definitions;
    for (const JournalColumn<Record> &column : columns)
        if (column.since == version)
            definitions += QStringLiteral(", %1 %2").arg(QLatin1String(column.name), QLatin1String(column.sqlType));
    return definitions;
}

template<class Record>
void AddColumns(QStringList &steps, const char *table, const QList<JournalColumn<Record>> &columns, int version)
{
    for (const JournalColumn<Record> &column : columns)
        if (column.since == version)
            steps << QStringLiteral("ALTER TABLE %1 ADD COLUMN %2 %3")
                         .arg(QLatin1String(table), QLatin1String(column.name), QLatin1String(column.sqlType));
}

// The step from the version before to this one: the tables with their first columns, then the
// columns each later version added. A database of an older version is brought up to date step by
// step, in one transaction.
QStringList Migration(int version)
{
    if (version == 1)
        return {QStringLiteral("CREATE TABLE runs (id INTEGER PRIMARY KEY%1)").arg(ColumnDefinitions(RunColumns(), 1)),
            QStringLiteral("CREATE INDEX runs_by_name ON runs (name, started)"),
            QStringLiteral("CREATE TABLE trials (run_id INTEGER NOT NULL REFERENCES runs (id) ON DELETE CASCADE, "
                           "seq INTEGER NOT NULL%1, PRIMARY KEY (run_id, seq)) WITHOUT ROWID")
                .arg(ColumnDefinitions(TrialColumns(), 1))};
    QStringList steps;
    if (version > 1 && version <= Journal::SchemaVersion) {
        AddColumns(steps, "runs", RunColumns(), version);
        AddColumns(steps, "trials", TrialColumns(), version);
    }
    if (version == 6) // each run its own random uuid (version 4), and the queue for the class server
        steps << QStringLiteral("UPDATE runs SET uuid = lower(hex(randomblob(4)) || '-' || hex(randomblob(2)) || '-4' "
                                "|| substr(hex(randomblob(2)), 2) || '-' || substr('89ab', 1 + abs(random() % 4), 1) "
                                "|| substr(hex(randomblob(2)), 2) || '-' || hex(randomblob(6)))")
              << QStringLiteral("CREATE INDEX runs_by_uuid ON runs (uuid)")
              << QStringLiteral("CREATE TABLE unsent (run_id INTEGER PRIMARY KEY REFERENCES runs (id) ON DELETE "
                                "CASCADE)");
    return steps;
}

template<class Record> QJsonObject JsonOf(const Record &record, const QList<JournalColumn<Record>> &columns)
{
    QJsonObject object;
    for (const JournalColumn<Record> &column : columns)
        object.insert(QLatin1String(column.name), QJsonValue::fromVariant(column.get(record)));
    return object;
}

// A field that is missing or of another type gives the default its column reads.
template<class Record> Record FromJson(const QJsonValue &object, const QList<JournalColumn<Record>> &columns)
{
    Record record;
    for (const JournalColumn<Record> &column : columns)
        column.set(record, object[QLatin1String(column.name)].toVariant());
    return record;
}

// A run from a query's row: its id, then the table's columns.
RunRecord RunFrom(const QSqlQuery &q)
{
    RunRecord run = RecordFrom(q, 1, RunColumns());
    run.id = q.value(0).toLongLong();
    return run;
}

// Set by a statement that failed because the file is damaged (SQLITE_CORRUPT), for the journal
// that ran it to set the file aside.
bool corruptSeen = false;

// Runs a statement; false with the database's reason.
bool Exec(QSqlQuery &query, QString *reason)
{
    if (query.exec())
        return true;
    bool number = false;
    const int code = query.lastError().nativeErrorCode().toInt(&number);
    corruptSeen = corruptSeen || (number && (code & 0xff) == 11);
    if (reason)
        *reason = query.lastError().text();
    return false;
}

bool Exec(QSqlQuery &query, const QString &statement, QString *reason)
{
    query.prepare(statement);
    return Exec(query, reason) && query.next();
}

bool Exec(const QSqlDatabase &db, const QString &statement, QString *reason)
{
    QSqlQuery query(db);
    query.prepare(statement);
    return Exec(query, reason);
}

// Which file a path names now; empty where none.
QByteArray FileId(const QString &path)
{
#ifdef Q_OS_UNIX
    struct stat info = {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    return QByteArray::number(quint64(info.st_dev)) + ':' + QByteArray::number(quint64(info.st_ino));
#else
    return QFileInfo::exists(path) ? QByteArray("1") : QByteArray();
#endif
}

QString IdList(const QList<qint64> &ids)
{
    QStringList numbers;
    for (const qint64 id : ids)
        numbers << QString::number(id);
    return numbers.join(QLatin1Char(','));
}

} // namespace

Journal::Journal(const QString &journalPath)
    : path(journalPath)
    , connection(QStringLiteral("journal-%1").arg(reinterpret_cast<quintptr>(this)))
{ }

Journal::~Journal()
{
    if (!QSqlDatabase::contains(connection))
        return;
    QSqlDatabase::database(connection, false).close();
    QSqlDatabase::removeDatabase(connection);
}

void Journal::Close()
{
    QSqlDatabase::database(connection, false).close();
    ready = false;
}

QString Journal::TakeSetAside()
{
    return std::exchange(setAside, QString());
}

QString Journal::TakeNotice()
{
    const QString aside = TakeSetAside();
    return aside.isEmpty() ? QString() : SetAsideNotice(path, aside);
}

bool Journal::SetAside(QString *reason)
{
    Close(); // SQLite cleans up after itself first
    const QFileInfo file(path);
    const QString stem
        = file.dir().filePath(file.completeBaseName() + QLatin1Char('-') + QDate::currentDate().toString(Qt::ISODate));
    const QString suffix = file.suffix().isEmpty() ? QString() : QLatin1Char('.') + file.suffix();
    QString aside = stem + suffix;
    for (int n = 2; QFileInfo::exists(aside); ++n)
        aside = QStringLiteral("%1-%2%3").arg(stem).arg(n).arg(suffix);
    if (!QFile::rename(path, aside)) {
        if (reason)
            *reason = QStringLiteral("Die Datei ist beschädigt und kann nicht umbenannt werden.");
        return false;
    }
    for (const QLatin1String part : {QLatin1String("-wal"), QLatin1String("-shm")}) // what it has not taken in yet
        QFile::rename(path + part, aside + part);
    setAside = aside;
    return true;
}

bool Journal::Open(bool create, QString *reason)
{
    if (ready && FileId(path) != openedId)
        Close(); // deleted or replaced while in use: made again where it belongs
    if (ready)
        return true;
    if (!create && !QFileInfo::exists(path))
        return false; // nothing stored yet: no runs, and no file made for reading
    QSqlDatabase db = QSqlDatabase::contains(connection)
        ? QSqlDatabase::database(connection, false)
        : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
    db.setDatabaseName(path);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=2000"));
    if (!db.open()) {
        if (reason)
            *reason = db.lastError().text();
        return false;
    }
    const auto fail = [&](const QString &why) {
        if (reason)
            *reason = why;
        db.close();
        return false;
    };
    // Read before anything is written: a file that is not a database fails here, untouched.
    QSqlQuery query(db);
    QString why;
    corruptSeen = false;
    if (!Exec(query, QStringLiteral("PRAGMA user_version"), &why))
        return corruptSeen ? SetAside(reason) && Open(create, reason) : fail(why);
    const int version = query.value(0).toInt();
    if (version > SchemaVersion)
        return fail(
            QStringLiteral("Die Datei stammt von einer neueren Version des Programms (Schema %1).").arg(version));
    if (version == 0) {
        if (!Exec(query, QStringLiteral("SELECT count(*) FROM sqlite_master"), &why))
            return corruptSeen ? SetAside(reason) && Open(create, reason) : fail(why);
        if (query.value(0).toInt() > 0)
            return fail(QStringLiteral("Die Datei ist eine Datenbank eines anderen Programms."));
    }
    // A damaged journal is set aside as it is, and a new one begins: nothing more is written into
    // damage. (A file held by another writer may fail to be checked; that is no damage.)
    if (!Exec(query, QStringLiteral("PRAGMA quick_check"), &why) && !corruptSeen)
        return fail(why);
    if (corruptSeen || query.value(0).toString() != QLatin1String("ok"))
        return SetAside(reason) && Open(create, reason);
    if (!Exec(db, QStringLiteral("PRAGMA foreign_keys = ON"), &why))
        return fail(why);
    if (version < SchemaVersion) {
        if (!Exec(db, QStringLiteral("BEGIN IMMEDIATE"), &why))
            return fail(why);
        // Another instance may have brought it up to date while this one waited for the lock.
        query.exec(QStringLiteral("PRAGMA user_version"));
        for (int step = query.next() ? query.value(0).toInt() : SchemaVersion; step < SchemaVersion; ++step)
            for (const QString &statement : Migration(step + 1))
                if (!Exec(db, statement, &why)) {
                    Exec(db, QStringLiteral("ROLLBACK"), nullptr);
                    return fail(why);
                }
        if (!Exec(db, QStringLiteral("PRAGMA user_version = %1").arg(SchemaVersion), &why)
            || !Exec(db, QStringLiteral("COMMIT"), &why)) {
            Exec(db, QStringLiteral("ROLLBACK"), nullptr);
            return fail(why);
        }
    }
    // Readers and a writer do not wait on each other; a commit costs no sync of its own.
    if (!Exec(query, QStringLiteral("PRAGMA journal_mode = WAL"), &why))
        return fail(why);
    Exec(db, QStringLiteral("PRAGMA synchronous = NORMAL"), nullptr);
    openedId = FileId(path);
    ready = true;
    return true;
}

bool Journal::Damaged(QString *reason, const QSqlQuery *query)
{
    bool number = false;
    const int code = query ? query->lastError().nativeErrorCode().toInt(&number) : 0;
    if (!std::exchange(corruptSeen, false) && !(number && (code & 0xff) == 11))
        return false;
    if (!SetAside(reason))
        return false;
    if (reason) // it held for the damaged file; a new journal begins
        reason->clear();
    return true;
}

bool Journal::Store(RunRecord &run, QString *reason)
{
    return Store(run, false, reason);
}

bool Journal::StoreOnce(RunRecord &run, QString *reason)
{
    return Store(run, true, reason);
}

bool Journal::Store(RunRecord &run, bool once, QString *reason)
{
    corruptSeen = false;
    if (StoreIn(run, once, reason))
        return true;
    return Damaged(nullptr) && StoreIn(run, once, reason); // then in the new journal
}

bool Journal::StoreIn(RunRecord &run, bool once, QString *reason)
{
    if (!Open(true, reason))
        return false;
    QSqlDatabase db = QSqlDatabase::database(connection, false);
    QString why;
    if (!Exec(db, QStringLiteral("BEGIN IMMEDIATE"), &why)) {
        if (reason)
            *reason = why;
        return false;
    }
    QVariantList values = ValuesOf(run, RunColumns());
    const QStringList names = ColumnNames(RunColumns());
    const qsizetype uuid = names.indexOf(QLatin1String("uuid"));
    if (once) { // the run of this uuid, or of the same moment, name and place, is this one, stored before
        QSqlQuery same(db);
        same.prepare(QStringLiteral(
            "SELECT id FROM runs WHERE uuid = ? OR (started = ? AND ended = ? AND name = ? AND place = ?)"));
        for (const char *column : {"uuid", "started", "ended", "name", "place"})
            same.addBindValue(values.at(names.indexOf(QLatin1String(column))));
        if (Exec(same, &why) && same.next()) {
            run.id = same.value(0).toLongLong();
            Exec(db, QStringLiteral("ROLLBACK"), nullptr);
            return true;
        }
    }
    if (values.at(uuid).isNull()) // a run of an older version, waiting beside the journal
        values[uuid] = QUuid::createUuid().toString(QUuid::WithoutBraces);
    QSqlQuery insert(db);
    insert.prepare(QStringLiteral("INSERT INTO runs (%1) VALUES (NULL%2)")
                       .arg(RunColumnList(), QStringLiteral(", ?").repeated(values.size())));
    for (const QVariant &value : values)
        insert.addBindValue(value);
    bool stored = Exec(insert, &why);
    const qint64 id = insert.lastInsertId().toLongLong();
    QSqlQuery trial(db);
    trial.prepare(QStringLiteral("INSERT INTO trials (run_id, seq, %1) VALUES (?, ?%2)")
                      .arg(TrialColumnList(), QStringLiteral(", ?").repeated(TrialColumns().size())));
    for (int i = 0; stored && i < run.trials.size(); ++i) {
        for (const QVariant &value : QVariantList {id, i + 1} + ValuesOf(run.trials.at(i), TrialColumns()))
            trial.addBindValue(value);
        stored = Exec(trial, &why);
    }
    if (stored && sendToServer) {
        QSqlQuery queue(db);
        queue.prepare(QStringLiteral("INSERT INTO unsent (run_id) VALUES (?)"));
        queue.addBindValue(id);
        stored = Exec(queue, &why);
    }
    if (stored && Exec(db, QStringLiteral("COMMIT"), &why)) {
        run.id = id;
        return true;
    }
    Exec(db, QStringLiteral("ROLLBACK"), nullptr);
    if (reason)
        *reason = why;
    return false;
}

QList<RunRecord> Journal::Runs(QString *reason)
{
    QList<RunRecord> runs;
    corruptSeen = false;
    if (!Open(false, reason))
        return runs;
    QSqlQuery query(QSqlDatabase::database(connection, false));
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT %1, (SELECT count(*) FROM trials WHERE run_id = runs.id AND counted) "
                                 "FROM runs "
                                 "ORDER BY id DESC")
                      .arg(RunColumnList()));
    if (!Exec(query, reason)) {
        Damaged(reason, &query); // the set-aside is told; nothing to read
        return runs;
    }
    const int countColumn = 1 + RunColumns().size();
    while (query.next()) {
        runs.append(RunFrom(query));
        runs.last().trialCount = query.value(countColumn).toInt();
    }
    if (Damaged(reason, &query))
        return {};
    // Newest first by the moment, not by the text: across a change of the clock's offset the text of
    // a later start can sort before an earlier one's. Equal moments stay newest stored first.
    std::stable_sort(runs.begin(), runs.end(), [](const RunRecord &a, const RunRecord &b) {
        return a.started.toMSecsSinceEpoch() > b.started.toMSecsSinceEpoch();
    });
    return runs;
}

QList<RunRecord> Journal::RunsWithTrials(const QList<qint64> &ids, QString *reason)
{
    QList<RunRecord> runs;
    corruptSeen = false;
    if (ids.isEmpty() || !Open(false, reason))
        return runs;
    // One query for all: a run's columns beside each of its trials (a run without trials once).
    QSqlQuery query(QSqlDatabase::database(connection, false));
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT %1, %2 FROM runs r LEFT JOIN trials t ON t.run_id = r.id "
                                 "WHERE r.id IN (%3) ORDER BY r.id, t.seq")
                      .arg(RunColumnList(QStringLiteral("r.id")), TrialColumnList(), IdList(ids)));
    if (!Exec(query, reason)) {
        Damaged(reason, &query); // the set-aside is told; nothing to read
        return runs;
    }
    const int firstTrialColumn = 1 + RunColumns().size();
    while (query.next()) {
        if (runs.isEmpty() || runs.last().id != query.value(0).toLongLong())
            runs.append(RunFrom(query));
        if (!query.isNull(firstTrialColumn))
            runs.last().trials.append(RecordFrom(query, firstTrialColumn, TrialColumns()));
        runs.last().trialCount = static_cast<int>(CountedTrials(runs.last().trials).size());
    }
    return Damaged(reason, &query) ? QList<RunRecord>() : runs;
}

bool Journal::DeleteRuns(const QList<qint64> &ids, QString *reason)
{
    return Delete("runs", "id", ids, reason);
}

bool Journal::Delete(const char *table, const char *idColumn, const QList<qint64> &ids, QString *reason)
{
    corruptSeen = false;
    if (ids.isEmpty())
        return true;
    if (!Open(false, reason))
        return false;
    QSqlQuery query(QSqlDatabase::database(connection, false));
    query.prepare(QStringLiteral("DELETE FROM %1 WHERE %2 IN (%3)")
                      .arg(QLatin1String(table), QLatin1String(idColumn), IdList(ids)));
    if (Exec(query, reason))
        return true;
    Damaged(reason, &query);
    return false;
}

QList<RunRecord> Journal::Unsent(int count, QString *reason)
{
    corruptSeen = false;
    if (!Open(false, reason))
        return {};
    QSqlQuery query(QSqlDatabase::database(connection, false));
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT run_id FROM unsent ORDER BY run_id LIMIT ?"));
    query.addBindValue(count);
    QList<qint64> ids;
    if (Exec(query, reason))
        while (query.next())
            ids << query.value(0).toLongLong();
    if (Damaged(reason, &query))
        return {};
    return RunsWithTrials(ids, reason);
}

int Journal::UnsentCount(QString *reason)
{
    corruptSeen = false;
    if (!Open(false, reason))
        return 0;
    QSqlQuery query(QSqlDatabase::database(connection, false));
    if (Exec(query, QStringLiteral("SELECT count(*) FROM unsent"), reason))
        return query.value(0).toInt();
    Damaged(reason, &query);
    return 0;
}

bool Journal::MarkSent(const QList<qint64> &ids, QString *reason)
{
    return Delete("unsent", "run_id", ids, reason);
}

bool SameRun(const RunRecord &a, const RunRecord &b)
{
    return a.started == b.started && a.ended == b.ended && a.name == b.name && a.place == b.place;
}

QString PendingRunsPath(const QString &journalPath)
{
    return journalPath + QStringLiteral(".pending");
}

QByteArray PendingRunsContent(const QList<RunRecord> &runs)
{
    QJsonArray array;
    for (const RunRecord &run : runs) {
        QJsonObject object = JsonOf(run, RunColumns());
        QJsonArray trials;
        for (const RunTrial &t : run.trials)
            trials.append(JsonOf(t, TrialColumns()));
        object.insert(QStringLiteral("trials"), trials);
        array.append(object);
    }
    return QJsonDocument(array).toJson();
}

QList<RunRecord> ReadPendingRuns(const QByteArray &content)
{
    QList<RunRecord> runs;
    for (const QJsonValue &entry : QJsonDocument::fromJson(content).array()) {
        if (!entry.isObject())
            continue;
        RunRecord run = FromJson(entry, RunColumns());
        for (const QJsonValue &trial : entry[QStringLiteral("trials")].toArray())
            run.trials.append(FromJson(trial, TrialColumns()));
        run.trialCount = static_cast<int>(CountedTrials(run.trials).size());
        runs.append(run);
    }
    return runs;
}

QString SetAsideNotice(const QString &journalPath, const QString &aside)
{
    return QStringLiteral("Die Datei des Verlaufs ist beschädigt: %1\n\nSie bleibt unverändert als %2 erhalten. "
                          "Der Verlauf beginnt neu.")
        .arg(QDir::toNativeSeparators(journalPath), QDir::toNativeSeparators(aside));
}
