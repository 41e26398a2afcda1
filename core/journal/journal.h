#pragma once

#include "runrecord.h"
#include "runstore.h"

#include <QList>
#include <QString>

class QSqlQuery;

// Every run, kept in an SQLite database. Opened when first needed, so that it costs the program's
// start nothing. A journal that cannot be opened or written leaves its file untouched: an SQLite
// file of another program, a newer version's or one that is no database is never changed. A
// damaged journal (its check when opened, or any statement, says so) is set aside as it is, its
// name with the date ("blinkdash-2026-12-07.sqlite"), and a new one begins; one deleted or replaced
// while in use is opened again where it belongs. Each call gives up after 2 s on a database
// another instance holds.
class Journal : public RunStore
{
public:
    static constexpr int SchemaVersion = 6;

    explicit Journal(const QString &path);
    ~Journal() override;
    Journal(const Journal &) = delete;
    Journal &operator=(const Journal &) = delete;

    QString Path() const { return path; }

    // Stores the run with its trials in one transaction and sets its id; false, with the reason,
    // when it could not be stored (nothing of it is then kept).
    bool Store(RunRecord &run, QString *reason = nullptr);
    // The same, unless the journal holds the run already (SameRun): then only its id is set.
    bool StoreOnce(RunRecord &run, QString *reason = nullptr);
    // A journal not yet written holds no runs and is no failure.
    QList<RunRecord> Runs(QString *reason = nullptr) override;
    QList<RunRecord> RunsWithTrials(const QList<qint64> &ids, QString *reason = nullptr) override;
    bool DeleteRuns(const QList<qint64> &ids, QString *reason = nullptr) override;
    QString TakeNotice() override; // SetAsideNotice

    // Runs stored from now on also wait, across restarts, to be sent to a class server, until
    // MarkSent; a run deleted before it was sent waits no more.
    void SendToServer(bool send) { sendToServer = send; }
    // The runs waiting, oldest first, at most count, with their trials; how many wait.
    QList<RunRecord> Unsent(int count, QString *reason = nullptr);
    int UnsentCount(QString *reason = nullptr);
    bool MarkSent(const QList<qint64> &ids, QString *reason = nullptr);

    // Where a damaged journal was set aside, once, to be told; empty otherwise.
    QString TakeSetAside();

private:
    bool Open(bool create, QString *reason);
    void Close();
    bool Store(RunRecord &run, bool once, QString *reason);
    bool StoreIn(RunRecord &run, bool once, QString *reason);
    bool SetAside(QString *reason);
    bool Delete(const char *table, const char *idColumn, const QList<qint64> &ids, QString *reason);
    // After a statement (query, where given): true when it found the file damaged and it was set
    // aside.
    bool Damaged(QString *reason, const QSqlQuery *query = nullptr);

    QString path;
    QString connection; // the name of this journal's database connection
    bool ready = false;
    bool sendToServer = false;
    QByteArray openedId; // the file opened, to notice another in its place
    QString setAside;
};

// What the person is told when the journal was set aside.
QString SetAsideNotice(const QString &journalPath, const QString &aside);

// A run's identity: when it started and ended, who, and where.
bool SameRun(const RunRecord &a, const RunRecord &b);

// Runs the journal could not take before the program closed wait in a small file beside it
// ("<journal>.pending", JSON with the journal's column names), for the next start. Any bytes read:
// what is not a list of runs gives none; a field that is missing or of another type, its default.
QString PendingRunsPath(const QString &journalPath);
QByteArray PendingRunsContent(const QList<RunRecord> &runs);
QList<RunRecord> ReadPendingRuns(const QByteArray &content);
