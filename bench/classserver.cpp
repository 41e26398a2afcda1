// The class server at scale, on a PostgreSQL of its own (bench/postgrescluster.h):
//  - a week offline: the program starts with 10 000 runs of 20 trials waiting in its journal and
//    sends them; how long the start takes, how long until all are on the server, and how long the
//    window's event loop was held up meanwhile (against the same measure with nothing to send);
//    and, as another computer sends its week, how soon the class's high scores are read;
//  - the class view at 100 000 runs on the server: the window "Verlauf" on the class's runs, and
//    the class's high scores.
// Runs headless; prints the figures.
//   QT_QPA_PLATFORM=offscreen build/bench/blinkdash-classserver [RUNS]

#include "classserver.h"
#include "folders.h"
#include "historywin.h"
#include "journalcolumns.h"
#include "mainwindow.h"
#include "manyruns.h"
#include "postgrescluster.h"
#include "serverlink.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

// The longest the event loop went without turning, in ms, until done() or timeoutMs.
double LongestStall(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer total, sinceLast;
    total.start();
    sinceLast.start();
    double longest = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        longest = std::max(longest, Ms(sinceLast));
        sinceLast.start();
        if (done() || total.elapsed() > timeoutMs)
            QCoreApplication::exit();
    });
    tick.start(2);
    QCoreApplication::exec();
    return longest;
}

QString Columns(const QStringList &names, const QString &prefix = {})
{
    QStringList prefixed;
    for (const QString &name : names)
        prefixed << prefix + name;
    return prefixed.join(QStringLiteral(", "));
}

// The first runs on the server copied, with their trials, each under a uuid of its own.
bool CopyRuns(PostgresCluster &cluster, int runs)
{
    QStringList runColumns = ColumnNames(RunColumns());
    runColumns.removeAll(QStringLiteral("uuid"));
    runColumns << QStringLiteral("class_group");
    const QString trialColumns = Columns(ColumnNames(TrialColumns()));
    return cluster.Psql(QStringLiteral("klasse"),
        QStringLiteral("DO $$ DECLARE old bigint; copy bigint; BEGIN "
                       "FOR old IN SELECT id FROM runs ORDER BY id LIMIT %3 LOOP "
                       "INSERT INTO runs (uuid, %1) SELECT gen_random_uuid()::text, %1 FROM runs WHERE id = old "
                       "RETURNING id INTO copy; "
                       "INSERT INTO trials (run_id, seq, %2) SELECT copy, seq, %2 FROM trials WHERE run_id = old; "
                       "END LOOP; END $$")
            .arg(Columns(runColumns), trialColumns)
            .arg(runs));
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const int count = argc > 1 ? std::max(10, atoi(argv[1])) : 10000;
    PostgresCluster cluster;
    if (const QString why = cluster.Start(); !why.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(why));
        return 1;
    }
    if (const QString why = cluster.MakeClass({QStringLiteral("klasse")}, QStringLiteral(BLINKDASH_CLASSSERVER_SQL));
        !why.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(why));
        return 1;
    }
    QTemporaryDir dir;
    SetFolder(DataFolder, dir.path());
    QFile ini(DataPath(QStringLiteral("blinkdash.ini"), DataFolder));
    if (!ini.open(QIODevice::WriteOnly)
        || ini.write(QStringLiteral("[Common]\nserverHost=127.0.0.1\nserverPort=%1\nserverDatabase=klasse\n"
                                    "serverUser=schule7b\nserverGroup=8a\n")
                         .arg(cluster.Port())
                         .toUtf8())
            < 0)
        return 1;
    ini.close();

    // Nothing waits: how the event loop turns anyway (timers, the first paint).
    auto *window = new MainWindow;
    window->show();
    const double idle = LongestStall([] { return false; }, 2000);
    delete window;

    Journal journal(DataPath(QStringLiteral("blinkdash.sqlite"), DataFolder));
    journal.SendToServer(true);
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < count; ++i) {
        RunRecord run = MakeRun(i);
        if (!journal.Store(run))
            return 1;
    }
    std::printf(
        "%d runs of 20 trials waiting in the journal (stored in %.1f s)\n", journal.UnsentCount(), Ms(timer) / 1000);

    timer.start();
    window = new MainWindow;
    window->show();
    QApplication::processEvents();
    std::printf("program start, %d runs waiting:  %7.1f ms\n", count, Ms(timer));
    const double stalled = LongestStall([&] { return journal.UnsentCount() == 0; }, 600000);
    std::printf("all on the server after:         %7.1f s (%s runs there)\n", Ms(timer) / 1000,
        qPrintable(cluster.Value(QStringLiteral("klasse"), QStringLiteral("SELECT count(*) FROM runs"))));
    std::printf(
        "event loop held up, longest:     %7.1f ms while sending (%.1f ms with nothing to send)\n", stalled, idle);
    delete window;

    // Another computer's week: the class's high scores asked for while its runs are being sent.
    Journal other(dir.filePath(QStringLiteral("other.sqlite")));
    other.SendToServer(true);
    for (int i = count; i < 2 * count; ++i) {
        RunRecord run = MakeRun(i);
        if (!other.Store(run))
            return 1;
    }
    const ServerAddress address {QStringLiteral("127.0.0.1"), cluster.Port(), QStringLiteral("klasse"),
        QStringLiteral("schule7b"), QStringLiteral("8a"), QStringLiteral("prefer")};
    ServerLink link(other.Path(), address);
    QElapsedTimer asked;
    double answered = -1;
    QObject::connect(&link, &ServerLink::HighscoresRead, [&] { answered = Ms(asked); });
    QTimer::singleShot(1000, [&] {
        asked.start();
        link.ReadHighscores();
    });
    LongestStall([&] { return other.UnsentCount() == 0; }, 600000);
    std::printf("high scores asked while sending: %7.1f ms to the answer (%d more runs sent)\n", answered, count);

    timer.start();
    for (int copy = 2; copy < 10; ++copy) // each a statement of its own, and within psql's time
        if (!CopyRuns(cluster, count))
            return 1;
    std::printf("\n%s runs on the server (copied in %.1f s)\n",
        qPrintable(cluster.Value(QStringLiteral("klasse"), QStringLiteral("SELECT count(*) FROM runs"))),
        Ms(timer) / 1000);

    ClassServer server(address);
    timer.start();
    if (!server.Open().isEmpty())
        return 1;
    std::printf(
        "class runs read:                 %7.1f ms (%d runs)\n", Ms(timer), static_cast<int>(server.Runs().size()));
    timer.start();
    HistoryWin history(server);
    history.show();
    QApplication::processEvents();
    std::printf(
        "class view opened, table shown:  %7.1f ms (%d rows)\n", Ms(timer), history.runView->model()->rowCount());
    timer.start();
    const QList<HighscoreEntry> best = server.Highscores();
    std::printf("class high scores read:          %7.1f ms (%d entries)\n", Ms(timer), static_cast<int>(best.size()));
    return 0;
}
