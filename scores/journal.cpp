#include "journal.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>
#include <utility>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace {

// Each step takes the schema from the version before it to its own; a database of an older
// version is brought up to date step by step, in one transaction.
const QList<QStringList> Migrations {
    {
        QStringLiteral("CREATE TABLE runs ("
                       "id INTEGER PRIMARY KEY, started TEXT NOT NULL, ended TEXT NOT NULL, name TEXT NOT NULL, "
                       "device TEXT NOT NULL, place TEXT NOT NULL, signal_count INTEGER NOT NULL, "
                       "min_wait_s REAL NOT NULL, max_wait_s REAL NOT NULL, random_position INTEGER NOT NULL, "
                       "warning INTEGER NOT NULL, lead_min_ms INTEGER NOT NULL, lead_max_ms INTEGER NOT NULL, "
                       "sound TEXT NOT NULL, ending TEXT NOT NULL, early_presses INTEGER NOT NULL, "
                       "mean_ms INTEGER, deviation_ms INTEGER, threshold_ms INTEGER, result_ms INTEGER, "
                       "version TEXT NOT NULL)"),
        QStringLiteral("CREATE INDEX runs_by_name ON runs (name, started)"),
        QStringLiteral("CREATE TABLE trials ("
                       "run_id INTEGER NOT NULL REFERENCES runs (id) ON DELETE CASCADE, seq INTEGER NOT NULL, "
                       "wait_ms INTEGER NOT NULL, time_ms INTEGER NOT NULL, box_us INTEGER, x INTEGER, y INTEGER, "
                       "warm_up INTEGER NOT NULL, outlier INTEGER NOT NULL, PRIMARY KEY (run_id, seq)) WITHOUT ROWID"),
    },
    {
        // The display latency measured with the box's light sensor.
        QStringLiteral("ALTER TABLE runs ADD COLUMN display_latency_ms REAL"),
        QStringLiteral("ALTER TABLE runs ADD COLUMN display_latency_sd_ms REAL"),
        QStringLiteral("ALTER TABLE runs ADD COLUMN latency_corrected INTEGER NOT NULL DEFAULT 0"),
    },
    {
        // Which clock timed the run's reactions; unknown for runs stored before.
        QStringLiteral("ALTER TABLE runs ADD COLUMN timing TEXT"),
    },
};

const QString RunColumns = QStringLiteral(
    "id, started, ended, name, device, place, signal_count, min_wait_s, max_wait_s, random_position, warning, "
    "lead_min_ms, lead_max_ms, sound, ending, early_presses, mean_ms, deviation_ms, threshold_ms, result_ms, version, "
    "display_latency_ms, display_latency_sd_ms, latency_corrected, timing");
const QString TrialColumns = QStringLiteral("wait_ms, time_ms, box_us, x, y, warm_up, outlier");

template<class T> QVariant Nullable(const std::optional<T> &value)
{
    return value ? QVariant::fromValue(*value) : QVariant();
}

template<class T> std::optional<T> Optional(const QVariant &value)
{
    if (value.isNull())
        return std::nullopt;
    return value.value<T>();
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

// A row of a query, or values in the order of its columns (a pending run's).
struct Values
{
    QVariantList values;
    QVariant value(int i) const { return values.value(i); }
    bool isNull(int i) const { return value(i).isNull(); }
};

template<class Row> RunRecord RunFrom(const Row &q)
{
    RunRecord run;
    run.id = q.value(0).toLongLong();
    run.started = QDateTime::fromString(q.value(1).toString(), Qt::ISODateWithMs);
    run.ended = QDateTime::fromString(q.value(2).toString(), Qt::ISODateWithMs);
    run.name = q.value(3).toString();
    run.box = q.value(4).toString() == QLatin1String("box");
    run.place = q.value(5).toString();
    run.signalCount = q.value(6).toInt();
    run.minWaitS = q.value(7).toDouble();
    run.maxWaitS = q.value(8).toDouble();
    run.randomPosition = q.value(9).toBool();
    run.warning = q.value(10).toBool();
    run.leadMinMs = q.value(11).toInt();
    run.leadMaxMs = q.value(12).toInt();
    run.sound = q.value(13).toString();
    run.ending = EndingNamed(q.value(14).toString());
    run.earlyPresses = q.value(15).toInt();
    run.evaluation.evaluated = !q.value(16).isNull();
    run.evaluation.mean = q.value(16).toLongLong();
    run.evaluation.deviation = q.value(17).toLongLong();
    run.evaluation.threshold = q.value(18).toLongLong();
    run.evaluation.result = Optional<int>(q.value(19));
    run.version = q.value(20).toString();
    run.displayLatencyMs = Optional<double>(q.value(21));
    run.displayLatencySdMs = Optional<double>(q.value(22));
    run.latencyCorrected = q.value(23).toBool();
    run.timing = q.value(24).toString();
    return run;
}

template<class Row> RunTrial TrialFrom(const Row &q, int first)
{
    RunTrial trial;
    trial.waitMs = q.value(first).toInt();
    trial.timeMs = q.value(first + 1).toInt();
    trial.boxUs = Optional<qint64>(q.value(first + 2));
    trial.x = Optional<int>(q.value(first + 3));
    trial.y = Optional<int>(q.value(first + 4));
    trial.warmUp = q.value(first + 5).toBool();
    trial.outlier = q.value(first + 6).toBool();
    return trial;
}

QVariant Evaluated(const RunRecord &run, qint64 value)
{
    return run.evaluation.evaluated ? QVariant(value) : QVariant();
}

// A null string would bind as NULL and fail a NOT NULL column; an empty one is what was meant.
QString Text(const QString &value)
{
    return value.isNull() ? QStringLiteral("") : value;
}

// In the order of RunColumns, the id aside.
QVariantList RunValues(const RunRecord &run)
{
    return {run.started.toString(Qt::ISODateWithMs), run.ended.toString(Qt::ISODateWithMs), Text(run.name),
        DeviceName(run), Text(run.place), run.signalCount, run.minWaitS, run.maxWaitS, run.randomPosition, run.warning,
        run.leadMinMs, run.leadMaxMs, Text(run.sound), EndingName(run.ending), run.earlyPresses,
        Evaluated(run, run.evaluation.mean), Evaluated(run, run.evaluation.deviation),
        Evaluated(run, run.evaluation.threshold), Nullable(run.evaluation.result), Text(run.version),
        Nullable(run.displayLatencyMs), Nullable(run.displayLatencySdMs), run.latencyCorrected,
        run.timing.isEmpty() ? QVariant() : QVariant(run.timing)};
}

QVariantList TrialValues(const RunTrial &t)
{
    return {t.waitMs, t.timeMs, Nullable(t.boxUs), Nullable(t.x), Nullable(t.y), t.warmUp, t.outlier};
}

QStringList ColumnNames(const QString &columns)
{
    return columns.split(QStringLiteral(", "));
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

QStringList Journal::MigrationSteps(int version)
{
    return Migrations.value(version - 1);
}

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
    Q_ASSERT(Migrations.size() == SchemaVersion);
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
            for (const QString &statement : Migrations.at(step))
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
    const QVariantList values = RunValues(run);
    if (once) { // a run of the same moment, name and place is this one, stored before
        QSqlQuery same(db);
        same.prepare(QStringLiteral("SELECT id FROM runs WHERE started = ? AND ended = ? AND name = ? AND place = ?"));
        for (const int column : {0, 1, 2, 4})
            same.addBindValue(values.at(column));
        if (Exec(same, &why) && same.next()) {
            run.id = same.value(0).toLongLong();
            Exec(db, QStringLiteral("ROLLBACK"), nullptr);
            return true;
        }
    }
    QSqlQuery insert(db);
    insert.prepare(QStringLiteral("INSERT INTO runs (%1) VALUES (NULL%2)")
                       .arg(RunColumns, QStringLiteral(", ?").repeated(RunColumns.count(QLatin1Char(',')))));
    for (const QVariant &value : values)
        insert.addBindValue(value);
    bool stored = Exec(insert, &why);
    const qint64 id = insert.lastInsertId().toLongLong();
    QSqlQuery trial(db);
    trial.prepare(
        QStringLiteral("INSERT INTO trials (run_id, seq, %1) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)").arg(TrialColumns));
    for (int i = 0; stored && i < run.trials.size(); ++i) {
        for (const QVariant &value : QVariantList {id, i + 1} + TrialValues(run.trials.at(i)))
            trial.addBindValue(value);
        stored = Exec(trial, &why);
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
    query.prepare(QStringLiteral("SELECT %1, (SELECT count(*) FROM trials WHERE run_id = runs.id) FROM runs "
                                 "ORDER BY id DESC")
                      .arg(RunColumns));
    if (!Exec(query, reason)) {
        Damaged(reason, &query); // the set-aside is told; nothing to read
        return runs;
    }
    const int countColumn = RunColumns.count(QLatin1Char(',')) + 1;
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

QList<RunTrial> Journal::Trials(qint64 runId, QString *reason)
{
    QList<RunTrial> trials;
    corruptSeen = false;
    if (!Open(false, reason))
        return trials;
    QSqlQuery query(QSqlDatabase::database(connection, false));
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT %1 FROM trials WHERE run_id = ? ORDER BY seq").arg(TrialColumns));
    query.addBindValue(runId);
    if (!Exec(query, reason)) {
        Damaged(reason, &query); // the set-aside is told; nothing to read
        return trials;
    }
    while (query.next())
        trials.append(TrialFrom(query, 0));
    return Damaged(reason, &query) ? QList<RunTrial>() : trials;
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
    QString columns = RunColumns;
    columns.replace(QLatin1String("id, "), QLatin1String("r.id, "));
    query.prepare(QStringLiteral("SELECT %1, %2 FROM runs r LEFT JOIN trials t ON t.run_id = r.id "
                                 "WHERE r.id IN (%3) ORDER BY r.id, t.seq")
                      .arg(columns, TrialColumns, IdList(ids)));
    if (!Exec(query, reason)) {
        Damaged(reason, &query); // the set-aside is told; nothing to read
        return runs;
    }
    const int firstTrialColumn = RunColumns.count(QLatin1Char(',')) + 1;
    while (query.next()) {
        if (runs.isEmpty() || runs.last().id != query.value(0).toLongLong())
            runs.append(RunFrom(query));
        if (!query.isNull(firstTrialColumn))
            runs.last().trials.append(TrialFrom(query, firstTrialColumn));
        runs.last().trialCount = runs.last().trials.size();
    }
    return Damaged(reason, &query) ? QList<RunRecord>() : runs;
}

bool Journal::DeleteRuns(const QList<qint64> &ids, QString *reason)
{
    corruptSeen = false;
    if (ids.isEmpty())
        return true;
    if (!Open(false, reason))
        return false;
    QSqlQuery query(QSqlDatabase::database(connection, false));
    query.prepare(QStringLiteral("DELETE FROM runs WHERE id IN (%1)").arg(IdList(ids)));
    if (Exec(query, reason))
        return true;
    Damaged(reason, &query);
    return false;
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
    const QStringList runColumns = ColumnNames(RunColumns).mid(1);
    const QStringList trialColumns = ColumnNames(TrialColumns);
    for (const RunRecord &run : runs) {
        QJsonObject object;
        const QVariantList values = RunValues(run);
        for (int i = 0; i < runColumns.size(); ++i)
            object.insert(runColumns.at(i), QJsonValue::fromVariant(values.at(i)));
        QJsonArray trials;
        for (const RunTrial &t : run.trials) {
            QJsonObject trial;
            const QVariantList trialValues = TrialValues(t);
            for (int i = 0; i < trialColumns.size(); ++i)
                trial.insert(trialColumns.at(i), QJsonValue::fromVariant(trialValues.at(i)));
            trials.append(trial);
        }
        object.insert(QStringLiteral("trials"), trials);
        array.append(object);
    }
    return QJsonDocument(array).toJson();
}

QList<RunRecord> ReadPendingRuns(const QByteArray &content)
{
    QList<RunRecord> runs;
    const QStringList runColumns = ColumnNames(RunColumns).mid(1);
    const QStringList trialColumns = ColumnNames(TrialColumns);
    for (const QJsonValue &entry : QJsonDocument::fromJson(content).array()) {
        if (!entry.isObject())
            continue;
        Values values {{QVariant()}}; // the id, given when stored
        for (const QString &column : runColumns)
            values.values.append(entry[column].toVariant());
        RunRecord run = RunFrom(values);
        for (const QJsonValue &trial : entry[QStringLiteral("trials")].toArray()) {
            Values trialValues;
            for (const QString &column : trialColumns)
                trialValues.values.append(trial[column].toVariant());
            run.trials.append(TrialFrom(trialValues, 0));
        }
        run.trialCount = static_cast<int>(run.trials.size());
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
