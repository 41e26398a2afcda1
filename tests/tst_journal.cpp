#include "historywin.h"
#include "journalcsv.h"
#include "prompts.h"
#include "testfolder.h"

#include <QAbstractItemModelTester>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QXYSeries>
#include <QtTest>

namespace {

const QString OddName = QStringLiteral("O'Neil, \"Jo\"\nzweite Zeile ÄÖÜß 🏁 ");

RunRecord SomeRun(const QString &name, int day, bool box = false)
{
    RunRecord run;
    run.started = QDateTime(QDate(2026, 12, day), QTime(9, 30, 0, 125), Qt::OffsetFromUTC, 3600);
    run.ended = run.started.addSecs(80);
    run.name = name;
    run.uuid = QUuid::createUuidV5(QUuid(), name + QString::number(day)).toString(QUuid::WithoutBraces);
    run.box = box;
    run.place = box ? QStringLiteral("COM3 /dev/ttyUSB0") : QStringLiteral("1920x1080");
    run.signalCount = 5;
    run.minWaitS = 2.5;
    run.maxWaitS = 7;
    run.sound = QStringLiteral("Klänge/ding, 2.wav");
    run.ending = box ? RunRecord::Ending::BoxLost : RunRecord::Ending::Complete;
    for (const int ms : {300, 280, 250, 260, 400}) {
        RunTrial t {2000 + ms, ms, box ? std::optional<qint64>(ms * 1000 + 999) : std::nullopt, {}, {}, false, false,
            {}, true, {}, {}, {}, {}, {}, {}, false, false};
        if (!box)
            t.x = t.y = ms % 100;
        run.trials << t;
    }
    run.trials[0].warmUp = run.trials[1].warmUp = run.trials[4].outlier = true;
    run.evaluation = {true, 303, 66, 402, 255};
    run.version = QStringLiteral("1.1");
    if (box)
        run.displayLatencyMs = 23.4;
    run.timing = box ? QStringLiteral("box") : QStringLiteral("program+wayland-presentation");
    return run;
}

// RFC 4180 as a spreadsheet reads it: fields split at commas, quotes doubled inside quotes, a line
// ended by CR LF or a bare LF.
QList<QStringList> ReadCsv(const QByteArray &bytes)
{
    QList<QStringList> rows {{}};
    QString field;
    bool quoted = false;
    const QString text = QString::fromUtf8(bytes) + QChar(); // a look one past the end is safe
    for (int i = 0; i + 1 < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted && c == '"' && text.at(i + 1) == '"')
            field += text.at(++i);
        else if (c == '"')
            quoted = !quoted;
        else if (!quoted && c == ',')
            rows.last() << std::exchange(field, {});
        else if (!quoted && (c == '\n' || (c == '\r' && text.at(i + 1) == '\n'))) // either ends a line
            rows.last() << std::exchange(field, {}), rows << QStringList(), i += c == '\r';
        else
            field += c;
    }
    rows.removeLast(); // after the last line end
    return rows;
}

// Statements run on the file as another program would, its connection closed after them.
bool Execute(const QString &path, const QStringList &statements)
{
    bool done = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "other");
        db.setDatabaseName(path);
        done = db.open();
        for (const QString &statement : statements)
            done = done && QSqlQuery(db).exec(statement);
    }
    QSqlDatabase::removeDatabase("other");
    return done;
}

} // namespace

// The journal on temporary databases, its CSV as a reader sees it, and its window.
class TestJournal : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { folder = std::make_unique<TestFolder>(); }
    void keepsRunsExactly();
    void bringsOlderJournalsUpToDate_data();
    void bringsOlderJournalsUpToDate();
    void runsWaitForTheServer();
    void leavesFilesItCannotUseAlone_data();
    void leavesFilesItCannotUseAlone();
    void damagedOrDeletedJournals_data();
    void damagedOrDeletedJournals();
    void fitsTheTimeAxis_data();
    void fitsTheTimeAxis();
    void window();

private:
    std::unique_ptr<TestFolder> folder;
};

void TestJournal::keepsRunsExactly()
{
    QVERIFY(folder->Write("j.sqlite", {})); // an empty file is a database of no version yet
    QList<RunRecord> runs {SomeRun(OddName, 6), SomeRun("Bert\nB.", 7, true), SomeRun("Cleo", 5)};
    runs[2].trials.clear();
    // Ten minutes before Bert's run, though its text, at another offset, sorts after it.
    runs[2].started = QDateTime(QDate(2026, 12, 7), QTime(10, 20), Qt::OffsetFromUTC, 7200);
    runs[2].evaluation = {};
    runs[0].task = {TaskKind::Choice, 4, 75}; // its answers judged
    runs[0].evaluation = {};
    for (RunTrial &t : runs[0].trials)
        t.stimulus = "3", t.expected = "j", t.answer = "j", t.correct = true;
    runs[0].trials[1].answer = "f";
    runs[0].trials[1].correct = false;
    runs[0].trials[2].lapse = runs[0].trials[3].falseStart = true;
    // Runs waiting beside the journal come back whole; what is not a run is none.
    QCOMPARE(JournalCsv(ReadPendingRuns(PendingRunsContent(runs))), JournalCsv(runs));
    QCOMPARE(ReadPendingRuns("[1, \"x\"]").size(), 0);
    QCOMPARE(ReadPendingRuns("{\"name\": 1}").size(), 0);
    {
        Journal journal(folder->Path("j.sqlite"));
        Journal other(folder->Path("j.sqlite")); // a second program, writing in turns
        for (RunRecord &run : runs)
            QVERIFY(journal.Store(run) && other.Store(run));
    }
    Journal journal(folder->Path("j.sqlite"));
    const QList<RunRecord> listed = journal.Runs();
    QCOMPARE(listed.size(), 6);
    QCOMPARE(listed.first().name, QString("Bert\nB.")); // newest first
    QCOMPARE(listed.at(2).name, QString("Cleo"));
    const QList<RunRecord> read = journal.RunsWithTrials({2, 4, 6});
    QCOMPARE(JournalCsv(read), JournalCsv(runs));

    // Read back as a spreadsheet would, by the header's names: a row per trial (a run without
    // trials one), the odd name whole, a decimal point, decimals kept.
    const QByteArray csv = JournalCsv(read);
    QVERIFY(csv.startsWith(
        "run,started,ended,name,device,place,signals,min_wait_s,max_wait_s,random_position,"
        "warning,lead_min_ms,lead_max_ms,sound,ending,early_presses,mean_ms,deviation_ms,"
        "threshold_ms,result_ms,version,display_latency_ms,display_latency_sd_ms,latency_corrected,"
        "timing,light_timing,task,uuid,computer,trial,wait_ms,time_ms,box_us,x,y,warm_up,outlier,counted,"
        "light_latency_ms,light_us,answer,stimulus,expected,correct,lapse,false_start\r\n"));
    const QList<QStringList> rows = ReadCsv(csv);
    QCOMPARE(rows.size(), 1 + 5 + 5 + 1);
    for (const QStringList &row : rows)
        QCOMPARE(row.size(), rows.at(0).size());
    const QList<std::tuple<int, QString, QString>> cells {{1, "run", "2"},
        {1, "started", "2026-12-06T09:30:00.125+01:00"}, {1, "name", OddName}, {1, "device", "screen"},
        {1, "place", "1920x1080"}, {1, "signals", "5"}, {1, "min_wait_s", "2.5"}, {1, "max_wait_s", "7"},
        {1, "task", "wahl-4"}, {1, "stimulus", "3"}, {1, "expected", "j"}, {1, "answer", "j"}, {1, "correct", "1"},
        {2, "answer", "f"}, {2, "correct", "0"}, {3, "lapse", "1"}, {4, "false_start", "1"}, {1, "x", "0"},
        {1, "warm_up", "1"}, {6, "task", "einfach"}, {6, "correct", ""}, {6, "lapse", "0"}, {6, "ending", "box lost"},
        {6, "display_latency_ms", "23.4"}, {6, "latency_corrected", "0"}, {6, "timing", "box"}, {6, "trial", "1"},
        {6, "wait_ms", "2300"}, {6, "time_ms", "300"}, {6, "box_us", "300999"}, {6, "x", ""}, {6, "outlier", "0"},
        {10, "outlier", "1"}, {11, "mean_ms", ""}, {11, "version", "1.1"},
        {11, "timing", "program+wayland-presentation"}, {11, "trial", ""}};
    for (const auto &[row, column, value] : cells) {
        const qsizetype at = rows.at(0).indexOf(column);
        QVERIFY2(at >= 0, qPrintable(column));
        QCOMPARE(column + '=' + rows.at(row).at(at), column + '=' + value);
    }

    // Held by another writer longer than 2 s: given up, and told why; then written again.
    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "holder");
    db.setDatabaseName(folder->Path("j.sqlite"));
    QVERIFY(db.open() && QSqlQuery(db).exec("BEGIN EXCLUSIVE"));
    QElapsedTimer waited;
    waited.start();
    QString reason;
    QVERIFY(!journal.Store(runs[0], &reason));
    QVERIFY2(waited.elapsed() >= 1900 && reason.contains("locked"), qPrintable(reason));
    QVERIFY(QSqlQuery(db).exec("COMMIT"));
    db.close();
    QVERIFY(journal.Store(runs[0]));
    QVERIFY(journal.StoreOnce(runs[0])); // the same start, name and place: this run, not stored again
    QCOMPARE(journal.Runs().size(), 7);
}

// Journals of each older version, with a run in each, as older programs left them
// (their statements as they were written then).
void TestJournal::bringsOlderJournalsUpToDate_data()
{
    QTest::addColumn<int>("version");
    for (int version = 1; version <= 4; ++version)
        QTest::addRow("version %d", version) << version;
}

void TestJournal::bringsOlderJournalsUpToDate()
{
    QFETCH(int, version);
    QStringList statements {
        "CREATE TABLE runs (id INTEGER PRIMARY KEY, started TEXT NOT NULL, ended TEXT NOT NULL, name TEXT NOT NULL, "
        "device TEXT NOT NULL, place TEXT NOT NULL, signal_count INTEGER NOT NULL, min_wait_s REAL NOT NULL, "
        "max_wait_s REAL NOT NULL, random_position INTEGER NOT NULL, warning INTEGER NOT NULL, lead_min_ms INTEGER "
        "NOT NULL, lead_max_ms INTEGER NOT NULL, sound TEXT NOT NULL, ending TEXT NOT NULL, early_presses INTEGER NOT "
        "NULL, mean_ms INTEGER, deviation_ms INTEGER, threshold_ms INTEGER, result_ms INTEGER, version TEXT NOT NULL)",
        "CREATE INDEX runs_by_name ON runs (name, started)",
        "CREATE TABLE trials (run_id INTEGER NOT NULL REFERENCES runs (id) ON DELETE CASCADE, seq INTEGER NOT NULL, "
        "wait_ms INTEGER NOT NULL, time_ms INTEGER NOT NULL, box_us INTEGER, x INTEGER, y INTEGER, warm_up INTEGER "
        "NOT NULL, outlier INTEGER NOT NULL, PRIMARY KEY (run_id, seq)) WITHOUT ROWID"};
    if (version >= 2)
        statements << "ALTER TABLE runs ADD COLUMN display_latency_ms REAL"
                   << "ALTER TABLE runs ADD COLUMN display_latency_sd_ms REAL"
                   << "ALTER TABLE runs ADD COLUMN latency_corrected INTEGER NOT NULL DEFAULT 0";
    if (version >= 3)
        statements << "ALTER TABLE runs ADD COLUMN timing TEXT";
    if (version == 4)
        statements << "ALTER TABLE runs ADD COLUMN light_timing TEXT"
                   << "ALTER TABLE trials ADD COLUMN counted INTEGER NOT NULL DEFAULT 1"
                   << "ALTER TABLE trials ADD COLUMN light_latency_ms REAL"
                   << "ALTER TABLE trials ADD COLUMN light_us INTEGER"
                   << "ALTER TABLE trials ADD COLUMN answer TEXT";
    statements
        << QString("PRAGMA user_version = %1").arg(version)
        << "INSERT INTO runs (id, started, ended, name, device, place, signal_count, min_wait_s, max_wait_s, "
           "random_position, warning, lead_min_ms, lead_max_ms, sound, ending, early_presses, version) VALUES "
           "(7, '2025-01-01T10:00:00+01:00', '2025-01-01T10:01:00+01:00', 'Alt', 'screen', '800x600', 20, "
           "2, 7, 1, 0, 300, 1000, 'ding.wav', 'stopped', 3, '1.0')"
        << "INSERT INTO trials (run_id, seq, wait_ms, time_ms, box_us, x, y, warm_up, outlier) VALUES (7, 1, 2500, "
           "312, NULL, 40, 60, 1, 0)";
    QVERIFY(Execute(folder->Path("j.sqlite"), statements));
    Journal journal(folder->Path("j.sqlite"));
    RunRecord run = SomeRun("Neu", 6);
    run.displayLatencyMs = 23.4;
    run.lightTiming = "button";
    run.task = {TaskKind::Pvt, 2, 75};
    run.trials[1] = {2000, 0, {}, {}, {}, false, false, ReactionTiming::LightSensor, false, 23.456, 20123, "button", {},
        {}, {}, false, false};
    QVERIFY(journal.Store(run));
    const QList<RunRecord> runs = journal.RunsWithTrials({7, run.id});
    QCOMPARE(runs.size(), 2);
    // As the older program stored it; the later columns empty or their defaults: the trial counted,
    // the simple task, nothing judged.
    const QList<QStringList> old = ReadCsv(JournalCsv({runs.first()}));
    QCOMPARE(old.size(), 1 + 1);
    QStringList row = old.at(1); // and a random uuid of its own
    const QString uuid = row.takeAt(old.at(0).indexOf("uuid"));
    QVERIFY2(QRegularExpression("^[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}$")
                 .match(uuid)
                 .hasMatch(),
        qPrintable(uuid));
    QCOMPARE(row.join(','),
        "7,2025-01-01T10:00:00.000+01:00,2025-01-01T10:01:00.000+01:00,Alt,screen,800x600,20,2,7,1,0,300,1000,ding.wav,"
        "stopped,3,,,,,1.0,,,0,,,einfach,,1,2500,312,,40,60,1,0,1,,,,,,,0,0");
    QCOMPARE(journal.Runs().last().trialCount, 1);          // "Signale" in "Verlauf"
    QCOMPARE(JournalCsv({runs.last()}), JournalCsv({run})); // the columns each version added, whole
}

// Runs stored while a class server is set wait for it, across restarts, until sent or deleted;
// each has a uuid, given where it came without one, by which a second store knows it.
void TestJournal::runsWaitForTheServer()
{
    QList<RunRecord> runs {SomeRun("Anna", 1), SomeRun("Bert", 2), SomeRun("Cleo", 3), SomeRun("Dora", 4)};
    runs[1].computer = "raum-12";
    runs[2].uuid.clear(); // a run of an older version
    {
        Journal journal(folder->Path("j.sqlite"));
        QVERIFY(journal.Store(runs[0]));
        journal.SendToServer(true);
        for (int i = 1; i < runs.size(); ++i)
            QVERIFY(journal.Store(runs[i]));
        RunRecord again = runs[1];
        again.name = "Bertram";
        QVERIFY(journal.StoreOnce(again) && again.id == runs[1].id);
    }
    Journal journal(folder->Path("j.sqlite"));
    QCOMPARE(journal.UnsentCount(), 3);
    const QList<RunRecord> first = journal.Unsent(2);
    QCOMPARE(first.size(), 2);
    QCOMPARE(first.at(0).uuid, runs[1].uuid);
    QCOMPARE(first.at(0).computer, "raum-12");
    QCOMPARE(first.at(0).trials.size(), 5);
    QCOMPARE(first.at(1).name, "Cleo");
    QVERIFY(!first.at(1).uuid.isEmpty() && journal.Runs().last().uuid != first.at(1).uuid);
    QVERIFY(journal.MarkSent({runs[1].id}) && journal.DeleteRuns({runs[2].id}));
    QCOMPARE(journal.Unsent(10).value(0).name, "Dora");
    QCOMPARE(journal.UnsentCount(), 1);
}

void TestJournal::leavesFilesItCannotUseAlone_data()
{
    QTest::addColumn<QString>("setup");
    QTest::newRow("not a database") << "text";
    QTest::newRow("another program's database") << "CREATE TABLE scores (x)";
    QTest::newRow("a newer version's journal") << "PRAGMA user_version = 99";
    QTest::newRow("a folder that cannot be made") << "no folder";
}

void TestJournal::leavesFilesItCannotUseAlone()
{
    QFETCH(QString, setup);
    QString path = folder->Path("j.sqlite");
    if (setup == "text") {
        QVERIFY(folder->Write("j.sqlite", "300 Anna\n"));
    } else if (setup == "no folder") {
        QVERIFY(folder->Write("file", "x"));
        path = folder->Path("file/j.sqlite");
    } else {
        QVERIFY(Execute(path, {setup}));
    }
    const QByteArray before = folder->Read("j.sqlite");
    Journal journal(path);
    RunRecord run = SomeRun("Anna", 6);
    QString reason;
    QVERIFY(!journal.Store(run, &reason));
    QVERIFY(!reason.isEmpty());
    QVERIFY(journal.Runs().isEmpty());
    QCOMPARE(folder->Read("j.sqlite"), before);
    QVERIFY(!QFile::exists(path + "-wal"));
}

void TestJournal::damagedOrDeletedJournals_data()
{
    QTest::addColumn<bool>("inUse");
    QTest::newRow("damaged before it is opened: its check finds it") << false;
    QTest::newRow("damaged while in use: a statement finds it") << true;
}

// A damaged journal is set aside as it is, its name with the date, the person told once, and a new
// one begins; one deleted while in use is made again for the next run.
void TestJournal::damagedOrDeletedJournals()
{
    QFETCH(bool, inUse);
    const QString path = folder->Path("j.sqlite");
    {
        Journal journal(path);
        for (RunRecord run : {SomeRun("Anna", 1), SomeRun("Anna", 2), SomeRun("Anna", 3)})
            QVERIFY(journal.Store(run));
    }
    Journal journal(path);
    if (inUse) { // opened and checked; another writer then makes it read its pages afresh
        QCOMPARE(journal.Runs().size(), 3);
        QVERIFY(Execute(path, {"PRAGMA wal_checkpoint(TRUNCATE)", "UPDATE runs SET version = '1.0' WHERE id = 1"}));
    }
    // Bytes a failing disk wrote over the type of the third page of 4096 bytes, the runs' index by
    // name, which only a new run and the check read.
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite) && file.seek(2 * 4096) && file.write("ZZZZ") == 4);
    file.close();
    const QByteArray damaged = folder->Read("j.sqlite");
    RunRecord run = SomeRun("Bert", 4);
    QVERIFY(!inUse || journal.Store(run)); // in a new journal
    QStringList asked;
    Prompt::SetAnswerer([&](const QString &shown) { return asked << shown, QString(); });
    {
        HistoryWin history(journal);
        QCOMPARE(history.runView->model()->rowCount(), inUse ? 1 : 0);
    }
    Prompt::SetAnswerer({});
    const QString aside = "j-" + QDate::currentDate().toString(Qt::ISODate) + ".sqlite";
    QCOMPARE(asked,
        QStringList("Verlauf|Die Datei des Verlaufs ist beschädigt: " + path + "\n\nSie bleibt unverändert als "
            + folder->Path(aside) + " erhalten. Der Verlauf beginnt neu."));
    // As it was; in use, with the other writer's change its log held taken in as SQLite closed it.
    QVERIFY(inUse || folder->Read(aside) == damaged);
    QCOMPARE(folder->Read(aside).mid(2 * 4096, 4), QByteArray("ZZZZ"));
    QVERIFY(inUse || journal.Store(run));
    QCOMPARE(journal.Runs().size(), 1);
    QCOMPARE(journal.TakeSetAside(), QString()); // told once

    QVERIFY(QFile::remove(path));
    QVERIFY(journal.Store(run));
    QCOMPARE(Journal(path).Runs().size(), 1);
}

// The time axis of a name's results spans its runs and a twentieth more on either side (at least
// 5 s; 5 min around a single run), labelled as finely as that needs.
void TestJournal::fitsTheTimeAxis_data()
{
    QTest::addColumn<QString>("runs"); // the first and the last
    QTest::addColumn<QString>("axis"); // from, to, the labels' format, the title
    QTest::newRow("one run") << "2026-12-07T09:00:00Z 2026-12-07T09:00:00Z"
                             << "2026-12-07T08:55:00Z 2026-12-07T09:05:00Z HH:mm Uhrzeit am 07.12.2026";
    QTest::newRow("half a minute") << "2026-12-07T09:00:00Z 2026-12-07T09:00:30Z"
                                   << "2026-12-07T08:59:55Z 2026-12-07T09:00:35Z HH:mm:ss Uhrzeit am 07.12.2026";
    QTest::newRow("two days") << "2026-12-07T09:00:00Z 2026-12-09T09:00:00Z"
                              << "2026-12-07T06:36:00Z 2026-12-09T11:24:00Z dd.MM. HH:mm Datum";
    QTest::newRow("a term") << "2026-09-01T09:00:00Z 2026-12-10T09:00:00Z"
                            << "2026-08-27T09:00:00Z 2026-12-15T09:00:00Z dd.MM.yy Datum";
}

void TestJournal::fitsTheTimeAxis()
{
    QFETCH(QString, runs);
    const auto ms
        = [&](int i) { return QDateTime::fromString(runs.section(' ', i, i), Qt::ISODate).toMSecsSinceEpoch(); };
    const DateAxisRange range = FittedRange(ms(0), ms(1));
    QTEST(QStringList({range.from.toUTC().toString(Qt::ISODate), range.to.toUTC().toString(Qt::ISODate), range.format,
                          range.title})
              .join(' '),
        "axis");
}

// The window on two names' runs: the histogram's bins, the table under the model tester, the charts
// of the newest run, the filter, a deletion asked first, and the CSV of what is shown.
void TestJournal::window()
{
    const HistogramBins bins = BinTimes({251, 199, 300, 268, 412});
    QCOMPARE(bins.first, 180);
    QCOMPARE(bins.width, 20);
    QCOMPARE(bins.counts, QList<int>({1, 0, 0, 1, 1, 0, 1, 0, 0, 0, 0, 1}));
    QCOMPARE(BinTimes({250, 250}).counts, QList<int>({2}));
    // Times a journal can hold, however they came there: ten bins of 500 000 000 from -2 500 000 000.
    const HistogramBins extreme = BinTimes({INT_MAX, INT_MIN});
    QCOMPARE(extreme.first, Q_INT64_C(-2500000000));
    QCOMPARE(extreme.counts, QList<int>({1, 0, 0, 0, 0, 0, 0, 0, 0, 1}));

    Journal journal(folder->Path("j.sqlite"));
    RunRecord odd = SomeRun("Anna", 3); // times no writer of ours makes: the window shows them all the same
    odd.trials[2].timeMs = INT_MAX;
    odd.trials[3].timeMs = INT_MIN;
    odd.trials[4].counted = false; // a light not seen: not shown
    odd.trials[2].lightLatencyMs = 23.4;
    for (RunRecord run : {SomeRun("Anna", 1), SomeRun("Bert", 2, true), odd})
        QVERIFY(journal.Store(run));
    QStringList asked;
    Prompt::SetAnswerer([&](const QString &shown) {
        asked << shown;
        return shown.contains("speichern") ? folder->Path("v.csv") : QString("ja");
    });
    HistoryWin history(journal);
    QAbstractItemModelTester tester(history.runView->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    history.show();
    QCOMPARE(history.focusWidget(), history.runView); // not a delete button
    // Only simple runs: the table and charts as ever, no task's summary.
    QCOMPARE(history.runView->model()->columnCount(), 5);
    QVERIFY(history.summaryLabel->isHidden());
    QCOMPARE(history.runView->model()->index(0, RunTable::DateColumn).data().toString(), "03.12.2026 09:30:00");
    QCOMPARE(history.runView->model()->rowCount(), 3);
    QCOMPARE(history.ShownRun(), 3);
    // Times, warm-up, outliers, mean, threshold, latencies; the counted trials only.
    QCOMPARE(history.runChart->chart()->series().size(), 6);
    QCOMPARE(qobject_cast<QXYSeries *>(history.runChart->chart()->series().at(2))->count(), 0);
    QCOMPARE(history.runView->model()->index(0, RunTable::SignalsColumn).data().toInt(), 4);
    history.nameFilter->setText("bert");
    QCOMPARE(history.countLabel->text(), "1 Durchgang");
    history.exportButton->click();
    QCOMPARE(ReadCsv(folder->Read("v.csv")).size(), 1 + 5);
    history.nameFilter->setText("niemand");
    QVERIFY(!history.exportButton->isEnabled());
    history.nameFilter->clear();
    history.deleteRunButton->click(); // none picked: the one the charts show
    QCOMPARE(journal.Runs().size(), 2);
    history.runView->selectRow(1);
    history.deleteNameButton->click();
    QCOMPARE(asked.filter("Verlauf|").last(), QString("Verlauf|Alle 1 Durchgänge von „Anna“ löschen?"));
    QCOMPARE(history.runView->model()->rowCount(), 1);
    QCOMPARE(journal.Runs().value(0).name, QString("Bert"));
    RunRecord nameless = SomeRun("", 4);
    QVERIFY(journal.Store(nameless));
    QCOMPARE(HistoryWin(journal).runChart->chart()->title(), "04.12.2026 09:30:00"); // no ", " before it
    Prompt::SetAnswerer({});
}

QTEST_MAIN(TestJournal)
#include "tst_journal.moc"
