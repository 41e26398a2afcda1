#pragma once

#include <QChart>
#include <QList>
#include <QValueAxis>

// Width and counts of a histogram's bins, from the first bin's lower edge; about ten bins of a
// round width (1, 2, 5 times a power of ten) cover the times.
struct HistogramBins
{
    qint64 first = 0; // below the 32-bit range where times span it all
    int width = 1;
    QList<int> counts;
};
HistogramBins BinTimes(const QList<int> &times);

// A histogram of values, shown divided by divisor (tenths of a millisecond: 10) with the unit.
QChart *HistogramChart(const QList<int> &values, const QString &title, const QString &unit, int divisor = 1);

// The parts the journal's charts are made of.
QChart *NewChart(const QString &title);
void Attach(QChart *chart, QAbstractSeries *series, QAbstractAxis *x, QAbstractAxis *y);
QValueAxis *Axis(QChart *chart, Qt::Alignment side, const QString &title, double low, double high);
