#include "taskresult.h"

#include "taskmeasures.h"

#include <QLocale>

#include <cmath>

namespace {

QString Ms(const std::optional<double> &ms)
{
    return ms ? QStringLiteral("%1 ms").arg(std::lround(*ms)) : QStringLiteral("–");
}

QString PerSecond(const std::optional<double> &speed)
{
    return speed ? QLocale(QLocale::German).toString(*speed, 'f', 2) + QStringLiteral(" /s") : QStringLiteral("–");
}

// The 2021 calibration standard wants a PVT's system to state its bias and SD: ours is the
// screen's latency as the box's light sensor last measured it.
QString TimingStatement(const RunRecord &run)
{
    if (run.box)
        return QStringLiteral("Zeitmessung: Schaltbox (LED und Knopf)");
    if (!run.displayLatencyMs)
        return QStringLiteral("Bildschirmlatenz (Bias, SD): nicht gemessen");
    const QLocale german(QLocale::German);
    return QStringLiteral("Bildschirmlatenz (Bias, SD): %1 ms, %2 ms, %3")
        .arg(german.toString(*run.displayLatencyMs, 'f', 1),
            german.toString(run.displayLatencySdMs.value_or(0), 'f', 1),
            run.latencyCorrected ? QStringLiteral("von den Zeiten abgezogen") : QStringLiteral("nicht abgezogen"));
}

} // namespace

TaskResult DescribeTaskRun(const RunRecord &run)
{
    TaskResult result;
    const QString title = TaskTitle(run.task) + QLatin1Char('\n');
    switch (run.task.kind) {
    case TaskKind::Simple:
        break;
    case TaskKind::Pvt:
    case TaskKind::PvtB: {
        const PvtMeasures m = MeasurePvt(run);
        result.headline
            = title + (m.medianMs ? QStringLiteral("Median ") + Ms(m.medianMs) : QStringLiteral("keine Reaktion"));
        result.measures = QStringList {QStringLiteral("Lapses: %1").arg(m.lapses),
            QStringLiteral("Fehlstarts: %1").arg(m.falseStarts), QStringLiteral("Median: ") + Ms(m.medianMs),
            QStringLiteral("Reaktionsgeschwindigkeit (1/RT): ") + PerSecond(m.speed),
            QStringLiteral("schnellste 10 %: ") + Ms(m.fastestMs),
            QStringLiteral("langsamste 10 % (1/RT): ") + PerSecond(m.slowestSpeed), TimingStatement(run)};
        break;
    }
    case TaskKind::Choice: {
        const ChoiceMeasures m = MeasureChoice(run);
        result.headline = title + (m.meanCorrectMs ? Ms(m.meanCorrectMs) + QStringLiteral(", ") : QString())
            + QStringLiteral("%1 falsch").arg(m.wrong);
        result.measures
            = QStringList {QStringLiteral("richtig: %1").arg(m.correct), QStringLiteral("falsch: %1").arg(m.wrong),
                QStringLiteral("mittlere Reaktionszeit (richtige): ") + Ms(m.meanCorrectMs)};
        break;
    }
    case TaskKind::GoNoGo: {
        const GoNoGoMeasures m = MeasureGoNoGo(run);
        result.headline = title + (m.meanGoMs ? Ms(m.meanGoMs) + QStringLiteral(", ") : QString())
            + QStringLiteral("%1 Fehler").arg(m.omissions + m.commissions);
        result.measures = QStringList {QStringLiteral("Auslassungen: %1").arg(m.omissions),
            QStringLiteral("Fehlreaktionen (No-Go): %1").arg(m.commissions),
            QStringLiteral("mittlere Reaktionszeit (Go): ") + Ms(m.meanGoMs)};
        break;
    }
    }
    return result;
}
