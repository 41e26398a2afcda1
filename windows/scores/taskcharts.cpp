#include "taskcharts.h"

#include "histogramchart.h"
#include "runtable.h"
#include "taskmeasures.h"

#include <QLineSeries>
#include <QScatterSeries>

#include <cmath>

namespace {

const QColor Marked(0xd0, 0x20, 0x20); // red: what went wrong

QScatterSeries *Points(const QString &name, QScatterSeries::MarkerShape shape = QScatterSeries::MarkerShapeCircle)
{
    auto *series = new QScatterSeries;
    series->setName(name);
    series->setMarkerShape(shape);
    series->setMarkerSize(9);
    return series;
}

QString RunTitle(const RunRecord &run)
{
    const QString date = ShownDate(run.started);
    return run.name.isEmpty() ? date : QStringLiteral("%1, %2").arg(run.name, date);
}

} // namespace

QChart *PvtChart(const RunRecord &run)
{
    QChart *chart = NewChart(RunTitle(run));
    QScatterSeries *times = Points(QStringLiteral("Reaktionszeit"));
    QScatterSeries *lapses = Points(QStringLiteral("Aussetzer"), QScatterSeries::MarkerShapeTriangle);
    lapses->setColor(Marked);
    QScatterSeries *falseStarts = Points(QStringLiteral("Fehlstart"), QScatterSeries::MarkerShapeRectangle);
    falseStarts->setColor(Qt::gray);
    // The run's clock as the PVT counts it: each wait, then the reaction.
    qint64 atMs = 0;
    double highest = 1;
    const int lapseMs = LapseThresholdMs(run.task);
    for (const RunTrial &t : CountedTrials(run.trials)) {
        atMs += t.waitMs;
        if (!t.answer.isEmpty()) {
            const double minute = double(atMs) / 60000;
            QScatterSeries *series = IsLapse(run.task, t.timeMs) ? lapses : times;
            if (IsFalseStart(run.task, t.timeMs))
                series = falseStarts;
            series->append(minute, t.timeMs);
            highest = qMax(highest, double(t.timeMs));
        }
        atMs += t.timeMs;
    }
    highest = qMax(highest, double(lapseMs));
    QValueAxis *x = Axis(chart, Qt::AlignBottom, QStringLiteral("Minute"), 0, qMax(1.0, std::ceil(atMs / 60000.0)));
    QValueAxis *y = Axis(chart, Qt::AlignLeft, QStringLiteral("ms"), 0, highest * 1.1);
    for (QScatterSeries *series : {times, lapses, falseStarts})
        Attach(chart, series, x, y);
    auto *line = new QLineSeries;
    line->setName(QStringLiteral("Aussetzer ab %1 ms").arg(lapseMs));
    line->append(x->min(), lapseMs);
    line->append(x->max(), lapseMs);
    line->setPen(QPen(Qt::darkGray, 2, Qt::DashLine));
    Attach(chart, line, x, y);
    chart->legend()->setAlignment(Qt::AlignRight);
    chart->legend()->setMarkerShape(QLegend::MarkerShapeFromSeries);
    return chart;
}

QChart *SpeedHistogram(const RunRecord &run)
{
    QList<int> hundredths; // of 1/s: the bins' integers
    for (const RunTrial &t : CountedTrials(run.trials))
        if (!t.answer.isEmpty() && !IsFalseStart(run.task, t.timeMs))
            hundredths << static_cast<int>(std::lround(100000.0 / t.timeMs));
    return HistogramChart(
        hundredths, QStringLiteral("Verteilung der Reaktionsgeschwindigkeit (1/RT)"), QStringLiteral("1/s"), 100);
}

QChart *AnswersChart(const RunRecord &run)
{
    QChart *chart = NewChart(RunTitle(run));
    QScatterSeries *right = Points(QStringLiteral("Richtig"));
    QScatterSeries *wrong = Points(QStringLiteral("Falsch"), QScatterSeries::MarkerShapeTriangle);
    wrong->setColor(Marked);
    const QList<RunTrial> trials = CountedTrials(run.trials);
    double highest = 1;
    for (int i = 0; i < trials.size(); ++i) {
        const RunTrial &t = trials.at(i);
        if (t.answer.isEmpty()) // a go missed, a no-go withheld: no time
            continue;
        (t.answer == t.expected ? right : wrong)->append(i + 1, t.timeMs);
        highest = qMax(highest, double(t.timeMs));
    }
    QValueAxis *x = Axis(chart, Qt::AlignBottom, QStringLiteral("Signal"), 0, trials.size() + 1);
    x->setTickType(QValueAxis::TicksDynamic);
    x->setTickInterval(qMax(1, int(trials.size() / 10)));
    QValueAxis *y = Axis(chart, Qt::AlignLeft, QStringLiteral("ms"), 0, highest * 1.1);
    Attach(chart, right, x, y);
    Attach(chart, wrong, x, y);
    return chart;
}

QChart *RightTimesHistogram(const RunRecord &run)
{
    QList<int> times;
    for (const RunTrial &t : CountedTrials(run.trials))
        if (!t.answer.isEmpty() && t.answer == t.expected)
            times << t.timeMs;
    return HistogramChart(times, QStringLiteral("Verteilung der Zeiten richtiger Antworten"), QStringLiteral("ms"));
}

QChart *HickChart(const QList<RunRecord> &runs, const QString &title)
{
    QChart *chart = NewChart(title);
    QList<QPointF> points;
    for (const RunRecord &run : runs)
        if (const std::optional<QPointF> point = HickPoint(run))
            points << *point;
    QScatterSeries *shown = Points(QStringLiteral("Durchgang"));
    shown->replace(points);
    double highest = 1;
    for (const QPointF &point : points)
        highest = qMax(highest, point.y());
    QValueAxis *x = Axis(chart, Qt::AlignBottom, QStringLiteral("log2(Orte), Bit"), 0, 2);
    x->setRange(-0.25, 2.25); // the points of 0 and 2 bits not on the frame
    x->setTickType(QValueAxis::TicksDynamic);
    x->setTickAnchor(0);
    x->setTickInterval(1);
    QValueAxis *y = Axis(chart, Qt::AlignLeft, QStringLiteral("ms"), 0, highest * 1.1);
    Attach(chart, shown, x, y);
    auto *line = new QLineSeries;
    line->setPen(QPen(Qt::darkGray, 2));
    if (const std::optional<HickLine> fit = FitHick(points)) {
        line->setName(QStringLiteral("%1 ms pro Bit, bei 0 Bit %2 ms")
                          .arg(std::lround(fit->slopeMs))
                          .arg(std::lround(fit->interceptMs)));
        line->append(0, fit->interceptMs);
        line->append(2, fit->interceptMs + 2 * fit->slopeMs);
    } else {
        line->setName(QStringLiteral("keine Gerade: Durchgänge mit verschiedener Zahl von Orten fehlen"));
    }
    Attach(chart, line, x, y);
    chart->legend()->setMarkerShape(QLegend::MarkerShapeFromSeries);
    return chart;
}

QChart *GoNoGoChart(const QList<RunRecord> &oldestFirst, const QString &title)
{
    QChart *chart = NewChart(title);
    auto *goMs = new QLineSeries;
    goMs->setName(QStringLiteral("Go-Zeit (ms)"));
    auto *omissions = new QLineSeries;
    omissions->setName(QStringLiteral("Auslassungen"));
    auto *commissions = new QLineSeries;
    commissions->setName(QStringLiteral("Fehlreaktionen"));
    commissions->setColor(Marked);
    double slowest = 1, most = 1;
    for (int i = 0; i < oldestFirst.size(); ++i) {
        const GoNoGoMeasures m = MeasureGoNoGo(oldestFirst.at(i));
        if (m.meanGoMs) {
            goMs->append(i + 1, *m.meanGoMs);
            slowest = qMax(slowest, *m.meanGoMs);
        }
        omissions->append(i + 1, m.omissions);
        commissions->append(i + 1, m.commissions);
        most = qMax(most, double(qMax(m.omissions, m.commissions)));
    }
    for (QLineSeries *series : {goMs, omissions, commissions})
        series->setPointsVisible(true);
    QValueAxis *x = Axis(chart, Qt::AlignBottom, QStringLiteral("Durchgang"), 0.5, oldestFirst.size() + 0.5);
    x->setRange(0.5, oldestFirst.size() + 0.5);
    x->setTickType(QValueAxis::TicksDynamic);
    x->setTickAnchor(1);
    x->setTickInterval(qMax(1, int(oldestFirst.size() / 10)));
    QValueAxis *ms = Axis(chart, Qt::AlignLeft, QStringLiteral("ms"), 0, slowest * 1.1);
    QValueAxis *errors = Axis(chart, Qt::AlignRight, QStringLiteral("Fehler"), 0, most + 1);
    Attach(chart, goMs, x, ms);
    Attach(chart, omissions, x, errors);
    Attach(chart, commissions, x, errors);
    return chart;
}
