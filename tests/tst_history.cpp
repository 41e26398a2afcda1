#include "historywin.h"
#include "testfolder.h"

#include <QBarSeries>
#include <QBarSet>
#include <QXYSeries>
#include <QtTest>

namespace {

using Answer = std::tuple<int, int, QString, QString>; // the wait and the time in ms, the key expected and given

// A run of a task as the engine would keep it, begun minutes after 09:00 on 7 December 2026.
RunRecord TaskRun(const QString &name, const QString &task, int minute, const QList<Answer> &answers)
{
    RunRecord run;
    run.started = QDateTime(QDate(2026, 12, 7), QTime(9, 0).addSecs(60 * minute), Qt::OffsetFromUTC, 3600);
    run.ended = run.started.addSecs(50);
    run.name = name;
    run.task = TaskNamed(task);
    run.place = QStringLiteral("1920x1080");
    run.signalCount = static_cast<int>(answers.size());
    for (const auto &[waitMs, ms, expected, answer] : answers) {
        RunTrial trial;
        trial.waitMs = waitMs;
        trial.timeMs = ms;
        trial.expected = expected;
        trial.answer = answer;
        run.trials << trial;
    }
    return run;
}

RunRecord SimpleRun(int minute, int result)
{
    RunRecord run = TaskRun("Anna", "einfach", minute,
        {{2000, 300, {}, {}}, {2000, 310, {}, {}}, {2000, 320, {}, {}}, {2000, 330, {}, {}}});
    run.evaluation = {true, result, 10, result + 15, result};
    run.trials[0].warmUp = run.trials[1].warmUp = true;
    return run;
}

// The table's newest row as a person reads it: each measure's header with its value.
QStringList Measures(const QAbstractItemModel *model)
{
    QStringList cells;
    for (int column = RunTable::ResultColumn; column < model->columnCount(); ++column)
        cells << model->headerData(column, Qt::Horizontal).toString() + '=' + model->index(0, column).data().toString();
    return cells;
}

// The task chosen as with the keyboard: the arrows through the list.
void ChooseTask(HistoryWin &history, const QString &task)
{
    QTest::keyClick(history.taskFilter, Qt::Key_Home);
    for (int i = 0; i < history.taskFilter->count() && history.taskFilter->currentText() != task; ++i)
        QTest::keyClick(history.taskFilter, Qt::Key_Down);
}

QList<int> PointCounts(const QChart *chart)
{
    QList<int> counts;
    for (QAbstractSeries *series : chart->series())
        counts << (qobject_cast<QXYSeries *>(series) ? qobject_cast<QXYSeries *>(series)->count() : -1);
    return counts;
}

int Binned(const QChart *chart)
{
    return static_cast<int>(qobject_cast<QBarSeries *>(chart->series().value(0))->barSets().value(0)->sum());
}

} // namespace

// "Verlauf" on a journal with runs of every task, made by hand: a task's measures in the table, its
// charts, the person's summary, and Hick's line over the runs chosen.
class TestHistory : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void eachTaskWithItsMeasures_data();
    void eachTaskWithItsMeasures();
    void hickLineOverTheChosenRuns();

private:
    TestFolder folder;
    std::unique_ptr<Journal> journal;
};

void TestHistory::initTestCase()
{
    journal = std::make_unique<Journal>(folder.Path("blinkdash.sqlite"));
    const QString space = QStringLiteral("space");
    QList<RunRecord> runs {SimpleRun(0, 300), SimpleRun(5, 320),
        // Lapses at 500 and 520 ms, a false start at 95 ms and one press with no counter.
        TaskRun("Anna", "pvt", 10,
            {{3000, 250, space, space}, {5000, 95, space, space}, {4000, 520, space, space}, {2000, 500, space, space},
                {6000, 300, space, space}}),
        // PVT-B's lapse from 355 ms.
        TaskRun("Bert", "pvt-b", 15, {{1000, 360, space, space}, {2000, 300, space, space}}),
        TaskRun("Anna", "wahl-2", 20, {{2000, 380, "f", "f"}, {2000, 420, "j", "j"}, {2000, 300, "f", "j"}}),
        TaskRun("Anna", "wahl-4", 25,
            {{2000, 500, "k", "k"}, {2000, 540, "d", "d"}, {2000, 520, "f", "f"}, {2000, 350, "k", "d"}}),
        // Two go answers, a go missed, a no-go answered, a no-go withheld.
        TaskRun("Anna", "gonogo-75", 30,
            {{2000, 350, space, space}, {2000, 450, space, space}, {2000, 0, space, {}}, {2000, 280, {}, space},
                {2000, 0, {}, {}}})};
    runs[2].earlyPresses = 1;
    for (RunRecord &run : runs)
        QVERIFY(journal->Store(run));
}

void TestHistory::eachTaskWithItsMeasures_data()
{
    QTest::addColumn<QString>("task");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QStringList>("measures"); // of the newest run shown
    QTest::addColumn<QList<int>>("points");    // of each series in the run's chart
    QTest::addColumn<int>("binned");           // in its histogram
    QTest::addColumn<QList<int>>("trend");     // the points of each series over the runs
    QTest::addColumn<QString>("summary");
    // Lapses 500 and 520; false starts 95 and the early press; the valid 250 300 500 520 have the
    // median 400 and the speed (4 + 3.333 + 2 + 1.923) / 4 = 2.81 per s. Chart: times, lapses, false
    // starts, the threshold's line.
    QTest::newRow("PVT") << "PVT (10 min)" << 1
                         << QStringList {"Aussetzer=2", "Fehlstarts=2", "Median/ms=400", "Tempo 1/s=2,81"}
                         << QList<int> {2, 2, 1, 2} << 4 << QList<int> {1}
                         << "Anna, PVT (10 min) – 1 Durchgang, Median 400 ms, bester 400 ms";
    QTest::newRow("PVT-B: its own runs, its own threshold")
        << "PVT-B (3 min)" << 1 << QStringList {"Aussetzer=1", "Fehlstarts=0", "Median/ms=330", "Tempo 1/s=3,06"}
        << QList<int> {1, 1, 0, 2} << 2 << QList<int> {1}
        << "Bert, PVT-B (3 min) – 1 Durchgang, Median 330 ms, bester 330 ms";
    QTest::newRow("choice, all numbers of places") // the newest: 4 places, right 500 540 520
        << "Wahlreaktion" << 2 << QStringList {"Orte=4", "Richtig=3", "Falsch=1", "Richtige/ms=520"}
        << QList<int> {3, 1} << 3 << QList<int> {1} << "Anna, Wahl: 4 Orte – 1 Durchgang, Median 520 ms, bester 520 ms";
    // Go times and errors per run in one chart.
    QTest::newRow("go/no-go") << "Go/No-Go" << 1 << QStringList {"Auslassungen=1", "Fehlreaktionen=1", "Go/ms=400"}
                              << QList<int> {2, 1} << 2 << QList<int> {1, 1, 1}
                              << "Anna, Go/No-Go – 1 Durchgang, Median 400 ms, bester 400 ms";
    QTest::newRow("simple: as ever, and the trend of its two results")
        << "Einfach" << 2 << QStringList {"Ergebnis/ms=320"} << QList<int> {2, 2, 0, 2, 2} << 4 << QList<int> {2}
        << "Anna, Einfach – 2 Durchgänge, Median 310 ms, bester 300 ms, Trend +20 ms je Durchgang";
    QTest::newRow("all: the result, and each run's task")
        << "Alle Aufgaben" << 7 << QStringList {"Ergebnis/ms=–", "Aufgabe=Go/No-Go"} << QList<int> {2, 1} << 2
        << QList<int> {1, 1, 1} << "Anna, Go/No-Go – 1 Durchgang, Median 400 ms, bester 400 ms";
}

void TestHistory::eachTaskWithItsMeasures()
{
    QFETCH(QString, task);
    HistoryWin history(*journal);
    history.show();
    ChooseTask(history, task);
    QCOMPARE(history.taskFilter->currentText(), task);
    const QAbstractItemModel *model = history.runView->model();
    QCOMPARE(model->rowCount(), history.countLabel->text().section(' ', 0, 0).toInt());
    QTEST(model->rowCount(), "rows");
    QTEST(Measures(model), "measures");
    QTEST(PointCounts(history.runChart->chart()), "points");
    QTEST(Binned(history.histogramChart->chart()), "binned");
    QTEST(PointCounts(history.trendChart->chart()), "trend");
    QTEST(history.summaryLabel->text(), "summary");
    QVERIFY(history.summaryLabel->isVisible());
    QCOMPARE(history.chartTabs->isTabVisible(history.chartTabs->indexOf(history.hickTab)), task == "Wahlreaktion");
}

// Hick's chart over a person's choice runs, the simple runs as one place: the points (0, 300),
// (0, 320), (1, 400), (2, 520) make 285 / 2.75 = 103.6 ms per bit, 385 - 0.75 * 103.6 = 307 ms at
// 0 bits; the two choice runs picked in the table alone, 120 ms per bit from 280 ms.
void TestHistory::hickLineOverTheChosenRuns()
{
    HistoryWin history(*journal);
    history.show();
    ChooseTask(history, "Wahlreaktion");
    QCOMPARE(history.chartTabs->currentWidget(), history.hickTab);
    QChart *chart = history.hickChart->chart();
    QCOMPARE(chart->title(), "Hick-Gesetz: Anna");
    QCOMPARE(PointCounts(chart), (QList<int> {4, 2}));
    QCOMPARE(chart->series().at(1)->name(), "104 ms pro Bit, bei 0 Bit 307 ms");

    const auto click = [&](int row, Qt::KeyboardModifiers modifiers) {
        const QRect cell = history.runView->visualRect(history.runView->model()->index(row, 0));
        QTest::mouseClick(history.runView->viewport(), Qt::LeftButton, modifiers, cell.center());
    };
    click(0, Qt::NoModifier);
    click(1, Qt::ControlModifier);
    chart = history.hickChart->chart();
    QCOMPARE(chart->title(), "Hick-Gesetz: 2 gewählte Durchgänge");
    QCOMPARE(chart->series().at(1)->name(), "120 ms pro Bit, bei 0 Bit 280 ms");
    click(1, Qt::NoModifier); // one run picked: the person's runs again
    QCOMPARE(history.hickChart->chart()->title(), "Hick-Gesetz: Anna");
}

QTEST_MAIN(TestHistory)
#include "tst_history.moc"
