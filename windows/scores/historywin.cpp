#include "historywin.h"

#include "folders.h"
#include "journalcsv.h"
#include "prompts.h"
#include "safefile.h"
#include "taskcharts.h"
#include "tasksummary.h"

#include <QDateTimeAxis>
#include <QDir>
#include <QHash>
#include <QHeaderView>
#include <QLineSeries>
#include <QScatterSeries>
#include <QScreen>
#include <QValueAxis>

#include <algorithm>

namespace {

// A run's counted times by signal: warm-up and outliers marked apart, the mean and the threshold as
// lines; a light-timed run's latency of each disc beside them.
QChart *RunChart(const RunRecord &run, const QList<RunTrial> &trials)
{
    const QString date = ShownDate(run.started);
    QChart *chart = NewChart(run.name.isEmpty() ? date : QStringLiteral("%1, %2").arg(run.name, date));
    auto *times = new QScatterSeries;
    times->setName(QStringLiteral("Reaktionszeit"));
    auto *warmUp = new QScatterSeries;
    warmUp->setName(QStringLiteral("Aufwärmen"));
    warmUp->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
    auto *outliers = new QScatterSeries;
    outliers->setName(QStringLiteral("Ausreißer"));
    outliers->setMarkerShape(QScatterSeries::MarkerShapeTriangle);
    outliers->setColor(QColor(0xd0, 0x20, 0x20)); // red, and larger: it may sit on the threshold's line
    QList<QPointF> latencies;                     // light-timed runs only
    double highest = 1;
    for (int i = 0; i < trials.size(); ++i) {
        const RunTrial &t = trials.at(i);
        (t.warmUp ? warmUp : t.outlier ? outliers : times)->append(i + 1, t.timeMs);
        highest = qMax(highest, double(t.timeMs));
        if (t.lightLatencyMs)
            latencies.append(QPointF(i + 1, *t.lightLatencyMs));
    }
    const Evaluation &e = run.evaluation;
    if (e.evaluated)
        highest = qMax(highest, double(e.threshold));
    QValueAxis *x = Axis(chart, Qt::AlignBottom, QStringLiteral("Signal"), 0, trials.size() + 1);
    x->setTickType(QValueAxis::TicksDynamic);
    x->setTickInterval(qMax(1, int(trials.size() / 10)));
    QValueAxis *y = Axis(chart, Qt::AlignLeft, QStringLiteral("ms"), 0, highest * 1.1);
    for (QScatterSeries *series : {times, warmUp, outliers}) {
        series->setMarkerSize(series == outliers ? 14 : 9);
        Attach(chart, series, x, y);
    }
    if (!latencies.isEmpty()) {
        auto *series = new QScatterSeries;
        series->setName(QStringLiteral("Bildschirmlatenz"));
        series->setColor(Qt::gray);
        series->setMarkerSize(6);
        series->replace(latencies);
        Attach(chart, series, x, y);
    }
    const auto level = [&](const QString &name, qint64 value, Qt::PenStyle style) {
        if (!e.evaluated)
            return;
        auto *line = new QLineSeries;
        line->setName(QStringLiteral("%1 %2 ms").arg(name).arg(value));
        line->append(0, double(value));
        line->append(trials.size() + 1, double(value));
        line->setPen(QPen(Qt::darkGray, 2, style));
        Attach(chart, line, x, y);
    };
    level(QStringLiteral("Mittelwert"), e.mean, Qt::SolidLine);
    level(QStringLiteral("Schwelle"), e.threshold, Qt::DashLine);
    chart->legend()->setAlignment(Qt::AlignRight); // five names: side by side they would be cut
    // Each entry as its series is drawn: the lines as lines, solid or dashed, not as squares.
    chart->legend()->setMarkerShape(QLegend::MarkerShapeFromSeries);
    return chart;
}

} // namespace

DateAxisRange FittedRange(qint64 firstMs, qint64 lastMs)
{
    // A twentieth of the span on either side, so that the first and last point are not on the
    // frame; at least five seconds, and five minutes where there is a single run.
    constexpr qint64 Minute = 60000;
    const qint64 span = lastMs - firstMs;
    const qint64 pad = span == 0 ? 5 * Minute : qMax<qint64>(5000, span / 20);
    DateAxisRange range;
    range.from = QDateTime::fromMSecsSinceEpoch(firstMs - pad);
    range.to = QDateTime::fromMSecsSinceEpoch(lastMs + pad);
    const qint64 shown = range.from.msecsTo(range.to);
    const bool oneDay = range.from.date() == range.to.date();
    range.format = shown > 3 * 24 * 60 * Minute ? QStringLiteral("dd.MM.yy")
        : !oneDay                               ? QStringLiteral("dd.MM. HH:mm")
        : shown >= 10 * Minute                  ? QStringLiteral("HH:mm")
                                                : QStringLiteral("HH:mm:ss");
    range.title = oneDay
        ? QLocale(QLocale::German).toString(range.from.date(), QStringLiteral("'Uhrzeit am' dd.MM.yyyy"))
        : QStringLiteral("Datum");
    return range;
}

namespace {

// The results of one name's runs (given newest first) over time, oldest first: by the figure its
// task counts (the simple task's result).
QChart *TrendChart(const QList<RunRecord> &runs, const QString &name, const QString &title)
{
    QChart *chart = NewChart(title);
    QList<QPointF> points;
    double low = 0, high = 1;
    for (auto run = runs.crbegin(); run != runs.crend(); ++run) {
        const std::optional<double> figure = RunFigureMs(*run);
        if (run->name != name || !figure)
            continue;
        points.append(QPointF(double(run->started.toMSecsSinceEpoch()), *figure));
        high = qMax(high, *figure);
    }
    auto *line = new QLineSeries;
    line->setName(QStringLiteral("Ergebnis"));
    line->setPointsVisible(points.size() < 200);
    line->replace(points);
    auto *x = new QDateTimeAxis;
    x->setTitleText(QStringLiteral("Datum"));
    if (!points.isEmpty()) {
        const DateAxisRange range = FittedRange(qint64(points.first().x()), qint64(points.last().x()));
        x->setRange(range.from, range.to);
        x->setFormat(range.format);
        x->setTitleText(range.title);
    }
    chart->addAxis(x, Qt::AlignBottom);
    QValueAxis *y = Axis(chart, Qt::AlignLeft, QStringLiteral("ms"), low, high * 1.1);
    Attach(chart, line, x, y);
    chart->legend()->hide();
    return chart;
}

// A chart view owns its chart only through the scene; the old one goes with its replacement.
void Show(QChartView *view, QChart *chart)
{
    QChart *old = view->chart();
    view->setChart(chart);
    delete old;
}

} // namespace

HistoryWin::HistoryWin(RunStore &runStore, QWidget *parent)
    : QDialog(parent)
    , store(runStore)
{
    setupUi(this);
    QString reason;
    QList<RunRecord> all = store.Runs(&reason);
    // The other tasks' measures come from their trials: read with their runs, in one query.
    QList<qint64> taskRuns;
    for (const RunRecord &run : all)
        if (run.task.kind != TaskKind::Simple)
            taskRuns << run.id;
    if (reason.isEmpty() && !taskRuns.isEmpty()) {
        QHash<qint64, QList<RunTrial>> trials;
        for (const RunRecord &run : store.RunsWithTrials(taskRuns, &reason))
            trials.insert(run.id, run.trials);
        for (RunRecord &run : all)
            run.trials = trials.value(run.id);
    }
    runs.SetRuns(all);
    if (!reason.isEmpty())
        Failed(QStringLiteral("Der Verlauf konnte nicht gelesen werden."), reason);
    TellSetAside();
    taskFilter->addItem(QStringLiteral("Alle Aufgaben"));
    for (const TaskKind kind : {TaskKind::Simple, TaskKind::Pvt, TaskKind::PvtB, TaskKind::Choice, TaskKind::GoNoGo})
        taskFilter->addItem(TaskKindTitle(kind), static_cast<int>(kind));
    chartTabs->setTabVisible(chartTabs->indexOf(hickTab), false);
    summaryLabel->setVisible(runs.HasOtherTasks());
    shown.setSourceModel(&runs);
    shown.setSortRole(RunTable::SortRole);
    shown.setFilterKeyColumn(RunTable::NameColumn);
    shown.setFilterCaseSensitivity(Qt::CaseInsensitive);
    runView->setModel(&shown);
    runView->sortByColumn(RunTable::DateColumn, Qt::DescendingOrder);
    runView->verticalHeader()->hide();
    QHeaderView *header = runView->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::ResizeToContents);
    header->setSectionResizeMode(RunTable::NameColumn, QHeaderView::Stretch);
    for (QChartView *view : {runChart, histogramChart, trendChart, hickChart})
        view->setRenderHint(QPainter::Antialiasing);
    connect(nameFilter, &QLineEdit::textChanged, &shown, &QSortFilterProxyModel::setFilterFixedString);
    const auto count = [this] { // and what depends on the rows shown
        countLabel->setText(shown.rowCount() == 1 ? QStringLiteral("1 Durchgang")
                                                  : QStringLiteral("%1 Durchgänge").arg(shown.rowCount()));
        exportButton->setEnabled(shown.rowCount() > 0);
        // A filter or a deletion that took the current run away: the charts show the newest shown.
        if (!runView->currentIndex().isValid() && shown.rowCount() > 0)
            runView->selectionModel()->setCurrentIndex(shown.index(0, 0), QItemSelectionModel::NoUpdate);
    };
    connect(&shown, &QAbstractItemModel::rowsInserted, this, count);
    connect(&shown, &QAbstractItemModel::rowsRemoved, this, count);
    connect(&shown, &QAbstractItemModel::modelReset, this, count);
    connect(&shown, &QAbstractItemModel::layoutChanged, this, count);
    connect(runView->selectionModel(), &QItemSelectionModel::currentRowChanged, this, &HistoryWin::ShowCurrentRun);
    connect(runView->selectionModel(), &QItemSelectionModel::selectionChanged, this, &HistoryWin::ShowHick);
    connect(taskFilter, &QComboBox::currentIndexChanged, this, &HistoryWin::ChooseTask);
    // The newest run in the charts, none selected: an export then takes all shown.
    count();
    if (!runView->currentIndex().isValid())
        ShowCurrentRun();

    // Room for a lesson's runs and the charts at the font in use, within the screen; the table
    // and the charts share it.
    const int line = fontMetrics().height();
    QSize room(line * 54, line * 44);
    if (const QScreen *screen = this->screen())
        room = room.boundedTo(screen->availableGeometry().size() * 9 / 10);
    resize(room.expandedTo(minimumSizeHint()));
    layout()->activate(); // the splitter's height, before the window is shown
    splitter->setSizes({splitter->height() / 2, splitter->height() - splitter->height() / 2});
    runView->setFocus(); // not a delete button: arrows go through the runs
}

QList<qint64> HistoryWin::SelectedRuns() const
{
    QList<qint64> ids;
    for (const QModelIndex &index : runView->selectionModel()->selectedRows())
        ids << runs.Runs().at(shown.mapToSource(index).row()).id;
    return ids;
}

const RunRecord *HistoryWin::CurrentRun() const
{
    const QModelIndex current = shown.mapToSource(runView->currentIndex());
    return current.isValid() ? &runs.Runs().at(current.row()) : nullptr;
}

void HistoryWin::ShowCurrentRun()
{
    const RunRecord *run = CurrentRun();
    deleteRunButton->setEnabled(run);
    deleteNameButton->setEnabled(run);
    exportButton->setEnabled(shown.rowCount() > 0);
    if (!run) {
        shownRun = 0;
        Show(runChart, NewChart(QStringLiteral("Kein Durchgang gewählt")));
        Show(histogramChart, NewChart(QString()));
        Show(trendChart, NewChart(QString()));
        summaryLabel->clear();
        ShowHick();
        return;
    }
    shownRun = run->id;
    switch (run->task.kind) {
    case TaskKind::Simple: {
        QString reason;
        // The store keeps all, counted or not.
        const QList<RunTrial> trials = CountedTrials(store.RunsWithTrials({run->id}, &reason).value(0).trials);
        if (!reason.isEmpty())
            Failed(QStringLiteral("Der Durchgang konnte nicht gelesen werden."), reason);
        TellSetAside();
        Show(runChart, RunChart(*run, trials));
        QList<int> times;
        for (const RunTrial &t : trials)
            times << t.timeMs;
        Show(histogramChart,
            HistogramChart(times, QStringLiteral("Verteilung der Reaktionszeiten"), QStringLiteral("ms")));
        break;
    }
    case TaskKind::Pvt:
    case TaskKind::PvtB:
        Show(runChart, PvtChart(*run));
        Show(histogramChart, SpeedHistogram(*run));
        break;
    case TaskKind::Choice:
    case TaskKind::GoNoGo:
        Show(runChart, AnswersChart(*run));
        Show(histogramChart, RightTimesHistogram(*run));
        break;
    }
    ShowTrend(*run);
    summaryLabel->setText(SummaryText(run->name, run->task, Summarize(SameTask(*run))));
    ShowHick();
}

void HistoryWin::ChooseTask()
{
    const QVariant kind = taskFilter->currentData();
    runs.SetTaskKind(kind.isValid() ? std::optional(static_cast<TaskKind>(kind.toInt())) : std::nullopt);
    runView->horizontalHeader()->setSectionResizeMode(RunTable::NameColumn, QHeaderView::Stretch);
    summaryLabel->setVisible(kind.isValid() || runs.HasOtherTasks());
    ShowCurrentRun();
    if (runs.ShownKind() == TaskKind::Choice)
        chartTabs->setCurrentWidget(hickTab);
}

QList<RunRecord> HistoryWin::SameTask(const RunRecord &run) const
{
    QList<RunRecord> same;
    const QString task = TaskName(run.task);
    for (const RunRecord &other : runs.AllRuns()) // newest first
        if (other.name == run.name && TaskName(other.task) == task)
            same.prepend(other);
    return same;
}

void HistoryWin::ShowTrend(const RunRecord &run)
{
    const QString who = run.name.isEmpty() ? QStringLiteral("ohne Namen") : QStringLiteral("von %1").arg(run.name);
    if (run.task.kind == TaskKind::GoNoGo) {
        Show(trendChart, GoNoGoChart(SameTask(run), QStringLiteral("%1 %2").arg(TaskTitle(run.task), who)));
        return;
    }
    QString title = QStringLiteral("Ergebnisse %1").arg(who);
    if (run.task.kind != TaskKind::Simple)
        title = QStringLiteral("%1: %2").arg(TaskTitle(run.task), title);
    QList<RunRecord> same = SameTask(run);
    std::reverse(same.begin(), same.end()); // newest first, as the chart takes them
    Show(trendChart, TrendChart(same, run.name, title));
}

void HistoryWin::ShowHick()
{
    const RunRecord *run = CurrentRun();
    const bool choice = run ? run->task.kind == TaskKind::Choice : runs.ShownKind() == TaskKind::Choice;
    chartTabs->setTabVisible(chartTabs->indexOf(hickTab), choice);
    if (!choice)
        return;
    const QList<qint64> selected = SelectedRuns();
    QList<RunRecord> chosen;
    QString title;
    if (selected.size() >= 2) {
        for (const RunRecord &other : runs.AllRuns())
            if (selected.contains(other.id))
                chosen << other;
        title = QStringLiteral("Hick-Gesetz: %1 gewählte Durchgänge").arg(selected.size());
    } else if (run) {
        for (const RunRecord &other : runs.AllRuns())
            if (other.name == run->name && (other.task.kind == TaskKind::Choice || other.task.kind == TaskKind::Simple))
                chosen << other;
        title = run->name.isEmpty() ? QStringLiteral("Hick-Gesetz ohne Namen")
                                    : QStringLiteral("Hick-Gesetz: %1").arg(run->name);
    }
    Show(hickChart, HickChart(chosen, title));
}

void HistoryWin::on_deleteRunButton_clicked()
{
    QList<qint64> ids = SelectedRuns();
    if (ids.isEmpty() && CurrentRun()) // none picked: the one the charts show
        ids << CurrentRun()->id;
    Delete(ids,
        ids.size() == 1 ? QStringLiteral("Den gewählten Durchgang löschen?")
                        : QStringLiteral("Die %1 gewählten Durchgänge löschen?").arg(ids.size()));
}

void HistoryWin::on_deleteNameButton_clicked()
{
    const RunRecord *current = CurrentRun();
    if (!current)
        return;
    const QString name = current->name;
    QList<qint64> ids;
    for (const RunRecord &run : runs.AllRuns()) // of every task
        if (run.name == name)
            ids << run.id;
    Delete(ids, QStringLiteral("Alle %1 Durchgänge von „%2“ löschen?").arg(ids.size()).arg(name));
}

void HistoryWin::Delete(const QList<qint64> &ids, const QString &question)
{
    if (ids.isEmpty() || !Prompt::Question(this, QStringLiteral("Verlauf"), question))
        return;
    QString reason;
    if (!store.DeleteRuns(ids, &reason)) {
        Failed(QStringLiteral("Die Durchgänge konnten nicht gelöscht werden."), reason);
        return;
    }
    runs.Remove(ids);
    ShowCurrentRun();
}

void HistoryWin::on_exportButton_clicked()
{
    QList<qint64> ids = SelectedRuns();
    if (ids.isEmpty()) {
        for (int row = 0; row < shown.rowCount(); ++row)
            ids << runs.Runs().at(shown.mapToSource(shown.index(row, 0)).row()).id;
    }
    const QString path = Prompt::SaveFileName(this, QStringLiteral("Verlauf als CSV speichern"),
        QDir(UserFilesFolder()).filePath(QStringLiteral("verlauf.csv")), QStringLiteral("CSV (*.csv)"));
    if (path.isEmpty())
        return;
    QString reason;
    const QList<RunRecord> chosen = store.RunsWithTrials(ids, &reason);
    if (!reason.isEmpty() || !WriteFileWhole(path, JournalCsv(chosen), &reason))
        Failed(QStringLiteral("Die Datei konnte nicht gespeichert werden!"),
            QDir::toNativeSeparators(path) + '\n' + reason);
}

void HistoryWin::Failed(const QString &what, const QString &reason)
{
    Prompt::Critical(this, QStringLiteral("Verlauf"), what, reason);
}

void HistoryWin::TellSetAside()
{
    if (const QString notice = store.TakeNotice(); !notice.isEmpty())
        Prompt::Critical(this, QStringLiteral("Verlauf"), notice);
}
