#include "task.h"

#include "random.h"

#include <algorithm>

namespace {

constexpr int PvtMs = 10 * 60 * 1000;
constexpr int PvtBMs = 3 * 60 * 1000;
constexpr int GoNoGoWindowMs = 1000;

} // namespace

QString TaskName(const Task &task)
{
    switch (task.kind) {
    case TaskKind::Simple:
        break;
    case TaskKind::Pvt:
        return QStringLiteral("pvt");
    case TaskKind::PvtB:
        return QStringLiteral("pvt-b");
    case TaskKind::Choice:
        return QStringLiteral("wahl-%1").arg(task.alternatives);
    case TaskKind::GoNoGo:
        return QStringLiteral("gonogo-%1").arg(task.goPercent);
    }
    return QStringLiteral("einfach");
}

Task TaskNamed(const QString &name)
{
    Task task;
    if (name == QLatin1String("pvt"))
        task.kind = TaskKind::Pvt;
    else if (name == QLatin1String("pvt-b"))
        task.kind = TaskKind::PvtB;
    // "wahl-N" or "gonogo-N", N one or two digits; read by hand, since a view of a class's
    // runs reads it 100 000 times.
    const qsizetype dash = name.indexOf(QLatin1Char('-'));
    const QStringView kind = QStringView(name).left(dash), number = QStringView(name).mid(dash + 1);
    const bool digits = !number.isEmpty() && number.size() <= 2
        && std::all_of(number.begin(), number.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    if (dash < 0 || !digits || (kind != QLatin1String("wahl") && kind != QLatin1String("gonogo")))
        return task;
    const int n = number.toInt();
    if (kind == QLatin1String("wahl")) {
        task.kind = TaskKind::Choice;
        if (n == 1 || n == 4)
            task.alternatives = n;
    } else {
        task.kind = TaskKind::GoNoGo;
        if (n >= 1 && n <= 99)
            task.goPercent = n;
    }
    return task;
}

bool NeedsScreen(const Task &task)
{
    return task.kind == TaskKind::Choice || task.kind == TaskKind::GoNoGo;
}

int TaskDurationMs(const Task &task)
{
    return task.kind == TaskKind::Pvt ? PvtMs : task.kind == TaskKind::PvtB ? PvtBMs : 0;
}

RunTiming TaskTiming(const Task &task, const Settings &settings)
{
    RunTiming timing = MakeRunTiming(settings);
    if (!TaskDurationMs(task))
        return timing;
    const bool b = task.kind == TaskKind::PvtB;
    timing.minDelayS = b ? 1 : 2;
    timing.maxDelayS = b ? 4 : 10;
    timing.minDelayMs = b ? 1000 : 2000;
    timing.delayRangeMs = b ? 3000 : 8000;
    timing.signalCount = TaskDurationMs(task) / timing.minDelayMs; // never more fit in its time
    return timing;
}

int ResponseWindowMs(const Task &task)
{
    return task.kind == TaskKind::GoNoGo ? GoNoGoWindowMs : 0;
}

bool EarlyPressesEndRun(const Task &task)
{
    return !TaskDurationMs(task);
}

QStringList TaskKeys(const Task &task)
{
    if (task.kind != TaskKind::Choice)
        return {QStringLiteral("space")};
    if (task.alternatives == 1)
        return {QStringLiteral("j")}; // the right index finger, as with two places
    if (task.alternatives == 2)
        return {QStringLiteral("f"), QStringLiteral("j")};
    return {QStringLiteral("d"), QStringLiteral("f"), QStringLiteral("j"), QStringLiteral("k")};
}

Stimulus DrawStimulus(const Task &task, bool randomPosition)
{
    Stimulus stimulus;
    const QStringList keys = TaskKeys(task);
    stimulus.expected = keys.first();
    if (task.kind == TaskKind::Choice) {
        const int n = static_cast<int>(keys.size());
        const int place = RandomBelow(n);
        stimulus.name = QString::number(place + 1);
        stimulus.expected = keys.at(place);
        stimulus.x = (2 * place + 1) * 100 / (2 * n); // the middles of n equal columns
        return stimulus;
    }
    if (task.kind != TaskKind::GoNoGo)
        return stimulus;
    const bool go = RandomBelow(100) < task.goPercent;
    stimulus.name = go ? QStringLiteral("yellow") : QStringLiteral("blue");
    if (!go)
        stimulus.expected.clear();
    if (randomPosition) {
        stimulus.y = static_cast<int>(RandomUpTo(100));
        stimulus.x = static_cast<int>(RandomUpTo(100));
    }
    return stimulus;
}

QStringList OfferedTasks()
{
    return {QStringLiteral("einfach"), QStringLiteral("pvt"), QStringLiteral("pvt-b"), QStringLiteral("wahl-1"),
        QStringLiteral("wahl-2"), QStringLiteral("wahl-4"), QStringLiteral("gonogo-75")};
}

QString TaskTitle(const Task &task)
{
    switch (task.kind) {
    case TaskKind::Simple:
        break;
    case TaskKind::Pvt:
        return QStringLiteral("PVT (10 min)");
    case TaskKind::PvtB:
        return QStringLiteral("PVT-B (3 min)");
    case TaskKind::Choice:
        return task.alternatives == 1 ? QStringLiteral("Wahl: 1 Ort")
                                      : QStringLiteral("Wahl: %1 Orte").arg(task.alternatives);
    case TaskKind::GoNoGo:
        return task.goPercent == Task().goPercent ? QStringLiteral("Go/No-Go")
                                                  : QStringLiteral("Go/No-Go (%1 % Go)").arg(task.goPercent);
    }
    return QStringLiteral("Einfach");
}

QString TaskKindTitle(TaskKind kind)
{
    return kind == TaskKind::Choice ? QStringLiteral("Wahlreaktion") : TaskTitle({kind});
}
