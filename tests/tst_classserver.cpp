#include "classserver.h"
#include "historywin.h"
#include "journalcsv.h"
#include "mainwindow.h"
#include "postgrescluster.h"
#include "prompts.h"
#include "scorewin.h"
#include "serverlink.h"
#include "testfolder.h"

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
    void theMainWindowSendsItsRuns();

private:
    ServerAddress As(const QString &user, const QString &group = "7b") const
    {
        return {"127.0.0.1", cluster.Port(), "klasse", user, group, "prefer"};
    }

    PostgresCluster cluster;
    QTemporaryDir home;
};

void TestClassServer::initTestCase()
{
    if (const QString why = cluster.Start(); !why.isEmpty())
        QSKIP(qPrintable(why));
    QString out;
    const QString sql = QFINDTESTDATA("../core/classserver/classserver.sql");
    for (const QString database : {"klasse", "neuer"})
        QVERIFY2(cluster.Psql("postgres", "CREATE DATABASE " + database, &out) && cluster.PsqlFile(database, sql, &out),
            qPrintable(out));
    QVERIFY2(cluster.Psql("neuer", "UPDATE blinkdash_schema SET version = 2", &out), qPrintable(out));
    QVERIFY2(cluster.Psql("klasse",
                 "CREATE ROLE schule7b LOGIN PASSWORD 'geheim' IN ROLE blinkdash_pupil; "
                 "CREATE ROLE lehrerin LOGIN PASSWORD 'tafel' IN ROLE blinkdash_teacher; "
                 "CREATE ROLE admin2 LOGIN PASSWORD 'x'",
                 &out),
        qPrintable(out));
    // The passwords where libpq looks for them; a file others can read it ignores.
    QFile pgpass(home.filePath("pgpass"));
    QVERIFY(pgpass.open(QIODevice::WriteOnly)
        && pgpass.write("*:*:*:schule7b:geheim\n*:*:*:lehrerin:tafel\n*:*:*:admin2:falsch\n") > 0);
    pgpass.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    pgpass.close();
    qputenv("PGPASSFILE", QFile::encodeName(pgpass.fileName()));
}

// Sent twice from a pupil's computer, each run is on the server once, every value as it was;
// the group sees its own runs; only a teacher deletes.
void TestClassServer::sendsEachRunOnceAndReadsItBack()
{
    QList<RunRecord> runs = SomeRuns();
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
    QVERIFY(teacher.DeleteRuns({read.first().id}, &reason));
    QCOMPARE(pupil.Runs().size(), 1);
    QCOMPARE(cluster.Value("klasse", "SELECT count(*) FROM trials"), "3"); // the deleted run's trials with it
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
    QVERIFY(refusal("admin2", "klasse", 0, "prefer")
                .startsWith("Anmeldung als admin2 am Klassenserver abgelehnt: Das Passwort fehlt in ~/.pgpass oder "
                            "ist falsch ("));
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

// A pupil's program: each run on the server as it ends; while the server is away, the window says
// so and so does the close; the next start sends what waited.
void TestClassServer::theMainWindowSendsItsRuns()
{
    TestFolder folder;
    QStringList seen;
    Prompt::SetAnswerer([&seen](const QString &shown) {
        seen << shown;
        return QString();
    });
    QVERIFY(folder.Write("blinkdash.ini",
        QString("[Common]\ncnt=1\nminDel=0.1\nmaxDel=0.1\nserverHost=127.0.0.1\nserverPort=%1\nserverDatabase=klasse\n"
                "serverUser=schule7b\nserverGroup=8a\n")
            .arg(cluster.Port())
            .toUtf8()));
    const auto run = [](MainWindow *window, const QString &name) {
        window->lineEdit->setText(name);
        window->activateWindow(); // as a click on it does
        [[maybe_unused]] const bool active = QTest::qWaitForWindowActive(window);
        QTest::mouseClick(window->startButton, Qt::LeftButton);
        ActionWin *action = nullptr;
        for (QWidget *widget : QApplication::topLevelWidgets())
            action = action ? action : qobject_cast<ActionWin *>(widget);
        QVERIFY(QTest::qWaitFor([&] { return action->SignalVisible(); }, 5000));
        QTest::keyClick(action, Qt::Key_Space);
        QTRY_VERIFY(!action->isVisible() || (QTest::keyClick(action, Qt::Key_Escape), false));
    };
    const auto names = [&] {
        return cluster.Value("klasse", "SELECT string_agg(name, ',' ORDER BY name) FROM runs WHERE class_group = '8a'");
    };
    auto *window = new MainWindow;
    window->show();
    run(window, "Anna");
    QTRY_COMPARE(names(), "Anna");
    QCOMPARE(window->serverLabel->text(), QString());
    cluster.Stop();
    run(window, "Bert");
    QTRY_VERIFY(window->serverLabel->toolTip().startsWith("Server nicht erreichbar: "));
    window->close();
    QCOMPARE(
        seen, QStringList("Klassenserver|1 Durchgang wartet auf den Server. Er wird beim nächsten Start gesendet."));
    QVERIFY(cluster.Resume());
    window = new MainWindow;
    QTRY_COMPARE(names(), "Anna,Bert");

    // Both in the class's "Verlauf", as "HighScores" opens it, newest first.
    QStringList shown;
    QTimer::singleShot(0, this, [&] {
        QTimer::singleShot(0, this, [&] {
            auto *history = qobject_cast<HistoryWin *>(QApplication::activeModalWidget());
            for (int row = 0; history && row < history->runView->model()->rowCount(); ++row)
                shown << history->runView->model()->index(row, 1).data().toString();
            shown << (history ? history->windowTitle() : "no Verlauf");
            QApplication::activeModalWidget()->close();
        });
        if (auto *scores = qobject_cast<ScoreWin *>(QApplication::activeModalWidget()))
            QTest::mouseClick(scores->classButton, Qt::LeftButton);
        QApplication::activeModalWidget()->close();
    });
    QTest::mouseClick(window->scoreButton, Qt::LeftButton);
    QCOMPARE(shown, QStringList({"Bert", "Anna", "Verlauf der Klasse 8a"}));
    delete window;
    Prompt::SetAnswerer({});
}

QTEST_MAIN(TestClassServer)
#include "tst_classserver.moc"
