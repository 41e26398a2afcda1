#include "classserver.h"
#include "journalcsv.h"
#include "postgrescluster.h"
#include "serverlink.h"

#include <QtTest>

namespace {

// Two runs with every kind of value: a box run with NULLs, doubles and a name no statement may
// take as SQL; a choice run, its trials judged.
QList<RunRecord> SomeRuns()
{
    QList<RunRecord> runs;
    for (int i = 0; i < 2; ++i) {
        RunRecord run;
        run.started = QDateTime(QDate(2026, 12, 8 + i), QTime(9, 30, 0, 125), Qt::OffsetFromUTC, 3600);
        run.ended = run.started.addSecs(80);
        run.name = i ? QStringLiteral("Cleo") : QStringLiteral("O'Neil\"); DELETE FROM runs; --\n🏁");
        run.uuid = QUuid::createUuid().toString(QUuid::WithoutBraces);
        run.computer = run.place = run.sound = run.version = QStringLiteral("raum-12");
        run.box = run.randomPosition = i == 0;
        run.ending = i ? RunRecord::Ending::Complete : RunRecord::Ending::BoxLost;
        run.evaluation = i ? Evaluation {true, 303, 66, 402, 255} : Evaluation {};
        run.minWaitS = run.displayLatencyMs.emplace(23.456789012345);
        run.task = i ? Task {TaskKind::Choice, 4, 75} : Task {};
        for (const int ms : {300, 280, 250}) {
            RunTrial t {
                2000 + ms, ms, {}, {}, {}, ms == 300, false, {}, ms != 250 || i, {}, {}, {}, {}, {}, {}, false, false};
            if (i)
                t.x = ms % 100, t.stimulus = "3", t.expected = "j", t.answer = ms == 280 ? "f" : "j",
                t.correct = ms != 280;
            else
                t.boxUs = ms * 1000LL + 999, t.lightUs = 4'000'000'000LL;
            run.trials << t;
        }
        runs << run;
    }
    return runs;
}

} // namespace

// The class server on a PostgreSQL of the test's own, set up with the SQL file a teacher runs.
class TestClassServer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void sendsEachRunOnceAndReadsItBack();
    void refusesWhatItCannotUse();
    void everyRunArrivesOnce();

private:
    ServerAddress As(const QString &user, const QString &group = "7b") const
    {
        return {"127.0.0.1", cluster.Port(), "klasse", user, group, "prefer"};
    }

    PostgresCluster cluster;
};

void TestClassServer::initTestCase()
{
    if (const QString why = cluster.Start(); !why.isEmpty())
        QSKIP(qPrintable(why));
    QCOMPARE(cluster.MakeClass({"klasse", "neuer"}, QFINDTESTDATA("../core/classserver/classserver.sql")), QString());
    QVERIFY(cluster.Psql("neuer", "UPDATE blinkdash_schema SET version = 2"));
}

// Sent twice from a pupil's computer, each run is on the server once, every value as it was;
// the group sees its own runs; only a teacher deletes.
void TestClassServer::sendsEachRunOnceAndReadsItBack()
{
    QList<RunRecord> runs = SomeRuns();
    for (int k = 0; k < 500; ++k) // more trials than one statement takes
        runs[1].trials << runs[1].trials.at(k % 3);
    std::swap(runs[0], runs[1]); // the later one sent first: listed by their start all the same
    ClassServer pupil(As("schule7b"));
    QCOMPARE(pupil.Open(), QString());
    int sent = -1;
    QVERIFY(pupil.Send(runs, nullptr, &sent));
    QCOMPARE(sent, 2);
    QVERIFY(pupil.Send(runs.mid(1), nullptr, &sent));
    QCOMPARE(sent, 0);
    const QList<RunRecord> listed = pupil.Runs();
    QCOMPARE(listed.size(), 2);
    QCOMPARE(listed.first().name, "Cleo"); // newest first
    QCOMPARE(listed.last().trialCount, 2); // the counted ones
    QList<RunRecord> read = pupil.RunsWithTrials({listed.last().id, listed.first().id});
    for (int i = 0; i < read.size(); ++i)
        runs[i].id = read.at(i).id;
    QCOMPARE(JournalCsv(read), JournalCsv(runs));

    QCOMPARE(ClassServer(As("schule7b", "7a")).Runs().size(), 0);

    QString reason;
    QVERIFY(!pupil.DeleteRuns({read.first().id}, &reason));
    QCOMPARE(reason,
        "Als schule7b darf dieses Programm auf dem Klassenserver nichts löschen; das darf nur die "
        "Anmeldung einer Lehrkraft.");
    ClassServer teacher(As("lehrerin"));
    QVERIFY(teacher.DeleteRuns({read.last().id}, &reason));
    QCOMPARE(pupil.Runs().size(), 1);
    QCOMPARE(cluster.Value("klasse", "SELECT count(*) FROM trials"), "503"); // the deleted run's trials with it

    // The high scores take the group's simple runs with a result and a name, the fastest 20, equal
    // times in the order they were run (sent here the other way round).
    QList<RunRecord> simple;
    for (int i = 0; i < 24; ++i) { // and a blank name, and another group's run, both faster
        RunRecord run = SomeRuns().first();
        run.name = i < 22 ? QString("P%1").arg(i) : i == 22 ? " \t" : "X";
        run.evaluation = {true, 0, 0, 0, i < 22 ? 300 + i / 2 : 100}; // Cleo's choice run 255
        run.started = run.started.addSecs(i);
        simple.prepend(run);
    }
    QVERIFY(ClassServer(As("schule7b", "7a")).Send(simple.mid(0, 1)) && pupil.Send(simple.mid(1)));
    QStringList best;
    for (const HighscoreEntry &entry : pupil.Highscores())
        best << QString("%1 %2").arg(entry.name).arg(entry.time);
    QCOMPARE(best.mid(0, 3), QStringList({"P0 300", "P1 300", "P2 301"}));
    QCOMPARE(best.last(), "P19 309");
}

// Each refusal says why, within the connect timeout; a database not ours stays as it was.
void TestClassServer::refusesWhatItCannotUse()
{
    const auto refusal = [&](const QString &user, const QString &database, int port, const QString &sslMode) {
        ServerAddress address {"127.0.0.1", port ? port : cluster.Port(), database, user, "7b", sslMode};
        QElapsedTimer waited;
        waited.start();
        ClassServer server(address);
        QString told = server.Open(), sent;
        if (waited.elapsed() > (ClassServer::ConnectTimeoutS + 1) * 1000 || server.Send(SomeRuns(), &sent))
            told = "waited, or sent: " + sent;
        return told;
    };
    QVERIFY(refusal("schule7b", "klasse", 1, "prefer").startsWith("Server nicht erreichbar: "));
    qputenv("PGPASSWORD", "falsch"); // before the file
    QVERIFY(refusal("schule7b", "klasse", 0, "prefer")
                .startsWith("Anmeldung als schule7b am Klassenserver abgelehnt: Das Passwort fehlt in ~/.pgpass oder "
                            "ist falsch ("));
    qunsetenv("PGPASSWORD");
    QCOMPARE(refusal("schule7b", "postgres", 0, "prefer"),
        "Die Datenbank postgres auf 127.0.0.1 ist keine Klassendatenbank von Flinkprobe; sie wird nicht verändert.");
    QCOMPARE(refusal("schule7b", "neuer", 0, "prefer"),
        "Die Klassendatenbank stammt von einer neueren Version des Programms (Schema 2); sie wird nicht verändert.");
    QCOMPARE(cluster.Value("neuer", "SELECT count(*) FROM runs"), "0");
    QCOMPARE(refusal("schule7b", "klasse", 0, "prefer host=evil"), "Unbekannter Wert für sslmode: „prefer host=evil“.");
}

// Three computers send at once, the server goes away in the middle of it and comes back, and
// hangs: every run arrives exactly once, whole, and a close never waits for the server.
void TestClassServer::everyRunArrivesOnce()
{
    QTemporaryDir folder;
    const auto store = [&](int computer, int runs) {
        Journal journal(folder.filePath(QString("j%1.sqlite").arg(computer)));
        journal.SendToServer(true);
        for (int i = 0; i < runs; ++i) {
            RunRecord run = SomeRuns().at(i % 2);
            run.computer = QString("raum-%1").arg(computer);
            QVERIFY(journal.Store(run));
        }
    };
    const ServerAddress address = As("schule7b", "7c");
    const auto arrived = [&] {
        return cluster.Value("klasse",
            "SELECT count(*), count(DISTINCT uuid), (SELECT count(*) FROM trials JOIN runs ON id = run_id WHERE "
            "class_group = '7c') FROM runs WHERE class_group = '7c'");
    };
    for (int computer = 0; computer < 3; ++computer)
        store(computer, 300);
    std::vector<std::unique_ptr<ServerLink>> links;
    for (int computer = 0; computer < 3; ++computer)
        links.push_back(std::make_unique<ServerLink>(folder.filePath(QString("j%1.sqlite").arg(computer)), address));
    QTRY_COMPARE_WITH_TIMEOUT(arrived(), "900|900|2700", 30000);

    // Stopped while a thousand runs are on their way, in batches; started again, and the next run
    // stored brings the rest.
    store(0, 1000);
    links[0]->Poke();
    QTRY_VERIFY_WITH_TIMEOUT(links[0]->Waiting() > 0 && links[0]->Waiting() < 1000, 30000);
    cluster.Stop();
    QTRY_VERIFY_WITH_TIMEOUT(links[0]->Problem().startsWith("Server nicht erreichbar: "), 10000);
    QCOMPARE(ServerStateText(links[0]->Waiting(), links[0]->Problem()), links[0]->Problem());
    QVERIFY(cluster.Resume());
    links[0]->Poke();
    QTRY_COMPARE_WITH_TIMEOUT(arrived(), "1900|1900|5700", 30000);
    QTRY_COMPARE(links[0]->Waiting(), 0);
    QCOMPARE(ServerStateText(links[0]->Waiting(), links[0]->Problem()), QString());

    // A server that hangs with runs on their way (on a connection that is made): the close breaks
    // them off at once.
    cluster.Freeze(true);
    store(0, 400);
    links[0]->Poke();
    QTest::qWait(500);
    QElapsedTimer closing;
    closing.start();
    links[0].reset();
    const qint64 closedMs = closing.elapsed();
    cluster.Freeze(false);
    QVERIFY2(closedMs < 1000, qPrintable(QString::number(closedMs)));
    QCOMPARE(Journal(folder.filePath("j0.sqlite")).UnsentCount(), 400);
}

QTEST_GUILESS_MAIN(TestClassServer)
#include "tst_classserver.moc"
