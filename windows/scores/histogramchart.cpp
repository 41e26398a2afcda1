#include "histogramchart.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QLocale>

#include <algorithm>
#include <cmath>

QChart *NewChart(const QString &title)
{
    auto *chart = new QChart;
    chart->setTitle(title);
    chart->legend()->setAlignment(Qt::AlignBottom);
    chart->setMargins(QMargins(4, 4, 4, 4));
    return chart;
}

void Attach(QChart *chart, QAbstractSeries *series, QAbstractAxis *x, QAbstractAxis *y)
{
    chart->addSeries(series);
    series->attachAxis(x);
    series->attachAxis(y);
}

QValueAxis *Axis(QChart *chart, Qt::Alignment side, const QString &title, double low, double high)
{
    auto *axis = new QValueAxis;
    axis->setTitleText(title);
    axis->setRange(low, high);
    axis->applyNiceNumbers();
    axis->setLabelFormat(QStringLiteral("%d"));
    chart->addAxis(axis, side);
    return axis;
}

HistogramBins BinTimes(const QList<int> &times)
{
    HistogramBins bins;
    if (times.isEmpty())
        return bins;
    // Wide, so that any two times read from a journal (INT_MIN and INT_MAX) have a difference.
    const auto [low, high] = std::minmax_element(times.begin(), times.end());
    const double span = qMax<qint64>(1, qint64 {*high} - *low);
    const double magnitude = std::pow(10.0, std::floor(std::log10(span / 10)));
    for (const double step : {1.0, 2.0, 5.0, 10.0}) {
        bins.width = qMax(1, static_cast<int>(step * magnitude));
        if (span / bins.width <= 12)
            break;
    }
    bins.first = static_cast<qint64>(std::floor(double(*low) / bins.width)) * bins.width;
    bins.counts.fill(0, (*high - bins.first) / bins.width + 1);
    for (const int t : times)
        ++bins.counts[(t - bins.first) / bins.width];
    return bins;
}

QChart *HistogramChart(const QList<int> &values, const QString &title, const QString &unit, int divisor)
{
    QChart *chart = NewChart(title);
    const HistogramBins bins = BinTimes(values);
    auto *set = new QBarSet(QStringLiteral("Anzahl"));
    QStringList labels;
    int most = 1;
    for (int i = 0; i < bins.counts.size(); ++i) {
        *set << bins.counts.at(i);
        most = qMax(most, bins.counts.at(i));
        labels << QLocale(QLocale::German).toString((double(bins.first) + double(i) * bins.width) / divisor);
    }
    auto *series = new QBarSeries;
    series->append(set);
    series->setBarWidth(1.0);
    auto *x = new QBarCategoryAxis;
    x->append(labels);
    x->setTitleText(QStringLiteral("%1 (untere Grenze)").arg(unit));
    chart->addAxis(x, Qt::AlignBottom);
    QValueAxis *y = Axis(chart, Qt::AlignLeft, QStringLiteral("Anzahl"), 0, most);
    y->setTickType(QValueAxis::TicksDynamic);
    y->setTickInterval(qMax(1, most / 5));
    Attach(chart, series, x, y);
    chart->legend()->hide();
    return chart;
}
