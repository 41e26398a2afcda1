#pragma once

#include "histogramchart.h"
#include "journal.h"
#include "runtable.h"
#include "ui_historywin.h"

#include <QDialog>
#include <QSortFilterProxyModel>

// The time axis of a name's results, fitted to its runs (as ms since the epoch): a lesson's runs
// spread over the axis, a term's too; the labels as fine as the span needs.
struct DateAxisRange
{
    QDateTime from, to; // local time
    QString format;     // of the labels
    QString title;      // the day, where all lie on one
};
DateAxisRange FittedRange(qint64 firstMs, qint64 lastMs);

// The window "Verlauf": every run of the journal (or of a class server), newest first, filtered by name and task and
// sorted by any column, a task's runs with its measures; for the selected run its times by signal
// and their distribution, for its name and task the results over time and a summary (choice: Hick's
// chart). Runs can be deleted after a question and exported as CSV.
class HistoryWin : public QDialog, public Ui_HistoryWin
{
    Q_OBJECT

public:
    explicit HistoryWin(RunStore &store, QWidget *parent = nullptr);

    // The run the charts show; none: 0.
    qint64 ShownRun() const { return shownRun; }

private Q_SLOTS:
    void on_deleteRunButton_clicked();
    void on_deleteNameButton_clicked();
    void on_exportButton_clicked();

private:
    QList<qint64> SelectedRuns() const;
    const RunRecord *CurrentRun() const;
    void ShowCurrentRun();
    void ChooseTask();
    // The name's runs of the run's task, oldest first.
    QList<RunRecord> SameTask(const RunRecord &run) const;
    void ShowTrend(const RunRecord &run);
    void ShowHick(); // the chosen runs, or the current run's name's choice and simple runs
    void Delete(const QList<qint64> &ids, const QString &question);
    void Failed(const QString &what, const QString &reason);
    void TellSetAside(); // what the store has to tell (a damaged journal set aside)

    RunStore &store;
    RunTable runs;
    QSortFilterProxyModel shown;
    qint64 shownRun = 0;
};
