#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

class QSqlQuery;

// One signal of a run and its answer.
struct JournalTrial
{
    int waitMs = 0;              // the drawn wait before the signal
    int timeMs = 0;              // the reaction time the run used
    std::optional<qint64> boxUs; // box: the time as the box sent it
    std::optional<int> x, y;     // screen: the disc's position, per cent of the window
    bool warmUp = false;
    bool outlier = false;
};

// A run as it was set up, how it went, and its evaluation.
struct JournalRun
{
    enum class Ending { Complete, Stopped, EarlyPresses, BoxLost };

    qint64 id = 0; // given by the journal
    QDateTime started;
    QDateTime ended;
    QString name; // as typed
    bool box = false;
    QString place; // the screen's size ("1920x1080") or the box's port ("COM3 /dev/ttyUSB0")
    int signalCount = 0;
    double minWaitS = 0;
    double maxWaitS = 0;
    bool randomPosition = false;
    bool warning = false;
    int leadMinMs = 0;
    int leadMaxMs = 0;
    QString sound;
    Ending ending = Ending::Complete;
    int earlyPresses = 0;
    std::optional<qint64> mean, deviation, threshold; // set when the run was evaluated
    std::optional<int> result;
    QString version;
    std::optional<double> displayLatencyMs, displayLatencySdMs; // the screen's, as last measured
    bool latencyCorrected = false;                              // taken off the times
    // The clocks that timed the reactions, "+" between two ("x11-servertime", "xwayland-servertime",
    // "wayland-presentation", "program", "box"); empty where not known (runs of older versions).
    QString timing;
    QList<JournalTrial> trials; // in order
    int trialCount = 0;         // also where the trials were not read
};

QString EndingName(JournalRun::Ending ending); // "complete", "stopped", "early presses", "box lost"
QString DeviceName(const JournalRun &run);     // "box", "screen"

// Every run, kept in an SQLite database. Opened when first needed, so that it costs the program's
// start nothing. A journal that cannot be opened or written leaves its file untouched: an SQLite
// file of another program, a newer version's or one that is no database is never changed. A
// damaged journal (its check when opened, or any statement, says so) is set aside as it is, its
// name with the date ("blinkdash-2026-12-07.sqlite"), and a new one begins; one deleted or replaced
// while in use is opened again where it belongs. Each call gives up after 2 s on a database
// another instance holds.
class Journal
{
public:
    static constexpr int SchemaVersion = 3;

    // The statements that bring a journal from version - 1 to version (1: the first tables).
    static QStringList MigrationSteps(int version);

    explicit Journal(const QString &path);
    ~Journal();
    Journal(const Journal &) = delete;
    Journal &operator=(const Journal &) = delete;

    QString Path() const { return path; }

    // Stores the run with its trials in one transaction and sets its id; false, with the reason,
    // when it could not be stored (nothing of it is then kept).
    bool Store(JournalRun &run, QString *reason = nullptr);
    // The same, unless the journal holds the run already (SameRun): then only its id is set.
    bool StoreOnce(JournalRun &run, QString *reason = nullptr);
    // The runs without their trials, newest first; empty with a reason when the journal cannot be
    // read (a journal not yet written holds no runs and is no failure).
    QList<JournalRun> Runs(QString *reason = nullptr);
    QList<JournalTrial> Trials(qint64 runId, QString *reason = nullptr);
    // The runs with their trials, in the order of ids.
    QList<JournalRun> RunsWithTrials(const QList<qint64> &ids, QString *reason = nullptr);
    bool DeleteRuns(const QList<qint64> &ids, QString *reason = nullptr);

    // Where a damaged journal was set aside, once, to be told; empty otherwise.
    QString TakeSetAside();

private:
    bool Open(bool create, QString *reason);
    void Close();
    bool Store(JournalRun &run, bool once, QString *reason);
    bool StoreIn(JournalRun &run, bool once, QString *reason);
    bool SetAside(QString *reason);
    // After a statement (query, where given): true when it found the file damaged and it was set
    // aside.
    bool Damaged(QString *reason, const QSqlQuery *query = nullptr);

    QString path;
    QString connection; // the name of this journal's database connection
    bool ready = false;
    QByteArray openedId; // the file opened, to notice another in its place
    QString setAside;
};

// What the person is told when the journal was set aside.
QString SetAsideNotice(const QString &journalPath, const QString &aside);

// A run's identity: when it started and ended, who, and where.
bool SameRun(const JournalRun &a, const JournalRun &b);

// Runs the journal could not take before the program closed wait in a small file beside it
// ("<journal>.pending", JSON with the journal's column names), for the next start. Any bytes read:
// what is not a list of runs gives none; a field that is missing or of another type, its default.
QString PendingRunsPath(const QString &journalPath);
QByteArray PendingRunsContent(const QList<JournalRun> &runs);
QList<JournalRun> ReadPendingRuns(const QByteArray &content);
