#include "tasksummary.h"

#include "taskmeasures.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

std::optional<double> RunFigureMs(const RunRecord &run)
{
    switch (run.task.kind) {
    case TaskKind::Simple:
        break;
    case TaskKind::Pvt:
    case TaskKind::PvtB:
        return MeasurePvt(run).medianMs;
    case TaskKind::Choice:
        return MeasureChoice(run).meanCorrectMs;
    case TaskKind::GoNoGo:
        return MeasureGoNoGo(run).meanGoMs;
    }
    if (run.evaluation.result)
        return *run.evaluation.result;
    return std::nullopt;
}

TaskSummary Summarize(const QList<RunRecord> &oldestFirst)
{
    QList<double> figures;
    for (const RunRecord &run : oldestFirst)
        if (const std::optional<double> figure = RunFigureMs(run))
            figures << *figure;
    TaskSummary summary;
    summary.runs = static_cast<int>(figures.size());
    if (figures.isEmpty())
        return summary;
    const qsizetype n = figures.size();
    if (n >= 2) { // x: the run's place in order, 0 .. n-1, its mean (n-1)/2
        double meanY = 0;
        for (const double y : figures)
            meanY += y / static_cast<double>(n);
        double sxx = 0, sxy = 0;
        for (qsizetype i = 0; i < n; ++i) {
            const double dx = static_cast<double>(i) - static_cast<double>(n - 1) / 2;
            sxx += dx * dx;
            sxy += dx * (figures.at(i) - meanY);
        }
        summary.trendMs = sxy / sxx;
    }
    std::sort(figures.begin(), figures.end());
    summary.bestMs = figures.first();
    summary.medianMs = n % 2 ? figures.at(n / 2) : (figures.at(n / 2 - 1) + figures.at(n / 2)) / 2;
    return summary;
}

QString SummaryText(const QString &name, const Task &task, const TaskSummary &summary)
{
    const QString who = name.isEmpty() ? QStringLiteral("Ohne Namen") : name;
    QString text = QStringLiteral("%1, %2 – ").arg(who, TaskTitle(task));
    if (summary.runs == 0)
        return text + QStringLiteral("kein Durchgang mit Zeit");
    const auto ms = [](double value) { return QString::number(std::lround(value)); };
    text += summary.runs == 1 ? QStringLiteral("1 Durchgang") : QStringLiteral("%1 Durchgänge").arg(summary.runs);
    text += QStringLiteral(", Median %1 ms, bester %2 ms").arg(ms(*summary.medianMs), ms(*summary.bestMs));
    if (summary.trendMs) {
        const long trend = std::lround(*summary.trendMs);
        // A minus sign, not a hyphen; a trend downwards is faster.
        const QString sign = trend > 0 ? QStringLiteral("+") : trend < 0 ? QStringLiteral("−") : QStringLiteral("±");
        text += QStringLiteral(", Trend %1%2 ms je Durchgang").arg(sign).arg(std::labs(trend));
    }
    return text;
}
