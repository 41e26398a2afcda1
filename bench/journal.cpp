// The journal at scale: fills a journal with 10 000 runs of 20 trials (ten names), then times
// storing a run, opening the window "Verlauf" with its table, selecting a run of another name (its
// charts and the name's trend over 1 000 runs), the CSV of all runs, and the program's start with
// and without that journal. Runs headless; prints the figures.
//   QT_QPA_PLATFORM=offscreen build/bench/blinkdash-journal [RUNS]

#include "folders.h"
#include "historywin.h"
#include "journalcsv.h"
#include "mainwindow.h"
#include "manyruns.h"
#include "safefile.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

double StartMs()
{
    QElapsedTimer timer;
    timer.start();
    auto *window = new MainWindow;
    window->show();
    QApplication::processEvents();
    const double ms = Ms(timer);
    delete window;
    return ms;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const int count = argc > 1 ? std::max(10, atoi(argv[1])) : 10000;
    QTemporaryDir dir;
    SetFolder(DataFolder, dir.path());
    StartMs(); // the first window pays for loading fonts and plugins
    const double startWithout = StartMs();

    Journal journal(dir.filePath(QStringLiteral("blinkdash.sqlite")));
    QList<double> stores;
    QElapsedTimer timer;
    for (int i = 0; i < count; ++i) {
        RunRecord run = MakeRun(i);
        timer.start();
        if (!journal.Store(run)) {
            std::fprintf(stderr, "could not store run %d\n", i);
            return 1;
        }
        stores.append(Ms(timer));
    }
    std::sort(stores.begin(), stores.end());
    std::printf("%d runs of 20 trials stored\n", count);
    std::printf("storing a run:                 median %6.2f ms, 99th percentile %6.2f ms, slowest %6.2f ms\n",
        stores.at(stores.size() / 2), stores.at(stores.size() * 99 / 100), stores.last());

    timer.start();
    Journal reader(journal.Path());
    HistoryWin history(reader);
    history.show();
    QApplication::processEvents();
    std::printf("window opened, table shown:    %6.1f ms (%d rows)\n", Ms(timer), history.runView->model()->rowCount());

    timer.start();
    history.runView->setCurrentIndex(history.runView->model()->index(1, 0)); // another name than the newest
    QApplication::processEvents();
    std::printf(
        "a run of another name chosen:  %6.1f ms (its charts, and the trend of %d runs)\n", Ms(timer), count / 10);

    timer.start();
    QList<qint64> ids;
    for (const RunRecord &run : reader.Runs())
        ids << run.id;
    const QByteArray csv = JournalCsv(reader.RunsWithTrials(ids));
    const bool written = WriteFileWhole(dir.filePath(QStringLiteral("all.csv")), csv);
    std::printf("CSV of all runs written:       %6.1f ms (%.1f MB%s)\n", Ms(timer), csv.size() / 1e6,
        written ? "" : ", NOT WRITTEN");

    std::printf("program start, no journal:     %6.1f ms\n", startWithout);
    std::printf("program start, this journal:   %6.1f ms\n", StartMs());
    return 0;
}
