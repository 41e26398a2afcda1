#include "tasktitle.h"

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
