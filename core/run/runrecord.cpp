#include "runrecord.h"

#include <QStringList>

namespace {

const QStringList EndingNames {
    QStringLiteral("complete"), QStringLiteral("stopped"), QStringLiteral("early presses"), QStringLiteral("box lost")};

} // namespace

QString EndingName(RunRecord::Ending ending)
{
    return EndingNames.value(static_cast<int>(ending));
}

RunRecord::Ending EndingNamed(const QString &name)
{
    return static_cast<RunRecord::Ending>(qMax(0, EndingNames.indexOf(name)));
}

QString DeviceName(const RunRecord &run)
{
    return run.box ? QStringLiteral("box") : QStringLiteral("screen");
}

QList<RunTrial> CountedTrials(const QList<RunTrial> &trials)
{
    QList<RunTrial> counted;
    for (const RunTrial &trial : trials)
        if (trial.counted)
            counted.append(trial);
    return counted;
}

QString TimingOf(const QList<RunTrial> &trials)
{
    QList<ReactionTiming> clocks;
    for (const RunTrial &trial : trials) {
        if (!trial.clock)
            continue;
        clocks.removeOne(*trial.clock);
        clocks.append(*trial.clock);
    }
    QStringList names;
    for (const ReactionTiming clock : clocks)
        names << QLatin1String(StoredName(clock));
    return names.join(QLatin1Char('+'));
}
