#include "runtable.h"

#include "taskmeasures.h"
#include "tasksummary.h"

#include <QLocale>

#include <algorithm>
#include <limits>

QString ShownDate(const QDateTime &date)
{
    return QLocale(QLocale::German).toString(date, QStringLiteral("dd.MM.yyyy HH:mm:ss"));
}

void RunTable::SetRuns(QList<RunRecord> newRuns)
{
    beginResetModel();
    all = std::move(newRuns);
    Choose();
    endResetModel();
}

void RunTable::SetTaskKind(std::optional<TaskKind> newKind)
{
    beginResetModel();
    kind = newKind;
    Choose();
    endResetModel();
}

bool RunTable::HasOtherTasks() const
{
    return std::any_of(all.begin(), all.end(), [](const RunRecord &run) { return run.task.kind != TaskKind::Simple; });
}

void RunTable::Choose()
{
    runs.clear();
    for (const RunRecord &run : all)
        if (!kind || run.task.kind == *kind)
            runs << run;
    switch (kind.value_or(TaskKind::Simple)) {
    case TaskKind::Simple:
        measures = {Measure::Result};
        if (!kind && HasOtherTasks())
            measures << Measure::Task;
        break;
    case TaskKind::Pvt:
    case TaskKind::PvtB:
        measures = {Measure::Lapses, Measure::FalseStarts, Measure::MedianMs, Measure::Speed};
        break;
    case TaskKind::Choice:
        measures = {Measure::Places, Measure::Correct, Measure::Wrong, Measure::CorrectMs};
        break;
    case TaskKind::GoNoGo:
        measures = {Measure::Omissions, Measure::Commissions, Measure::GoMs};
        break;
    }
}

void RunTable::Remove(const QList<qint64> &ids)
{
    for (int row = runs.size() - 1; row >= 0; --row) {
        if (!ids.contains(runs.at(row).id))
            continue;
        beginRemoveRows(QModelIndex(), row, row);
        runs.removeAt(row);
        endRemoveRows();
    }
    all.removeIf([&](const RunRecord &run) { return ids.contains(run.id); });
}

int RunTable::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(runs.size());
}

int RunTable::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ResultColumn + static_cast<int>(measures.size());
}

QVariant RunTable::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= runs.size() || index.column() >= columnCount())
        return {};
    const RunRecord &run = runs.at(index.row());
    const bool sorting = role == SortRole;
    if (role != Qt::DisplayRole && !sorting) {
        if (role == Qt::TextAlignmentRole && index.column() >= SignalsColumn
            && (index.column() == SignalsColumn || measures.at(index.column() - ResultColumn) != Measure::Task))
            return static_cast<int>(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    }
    switch (index.column()) {
    case DateColumn:
        return sorting ? QVariant(run.started) : QVariant(ShownDate(run.started));
    case NameColumn:
        return run.name;
    case DeviceColumn:
        return run.box ? QStringLiteral("Schaltbox") : QStringLiteral("Bildschirm");
    case SignalsColumn:
        return run.trialCount;
    default:
        return Value(run, measures.at(index.column() - ResultColumn), sorting);
    }
}

QVariant RunTable::Value(const RunRecord &run, Measure measure, bool sorting) const
{
    // A measure a run has none of sorts after all others.
    const auto shown = [sorting](const std::optional<double> &value, int decimals = 0) {
        if (!value)
            return sorting ? QVariant(std::numeric_limits<double>::max()) : QVariant(QStringLiteral("–"));
        if (sorting)
            return QVariant(*value);
        return QVariant(QLocale(QLocale::German).toString(*value, 'f', decimals));
    };
    switch (measure) {
    case Measure::Result:
        if (run.evaluation.result)
            return *run.evaluation.result;
        return sorting ? QVariant(std::numeric_limits<int>::max()) : QVariant(QStringLiteral("–"));
    case Measure::Task:
        return TaskTitle(run.task);
    case Measure::Lapses:
        return MeasurePvt(run).lapses;
    case Measure::FalseStarts:
        return MeasurePvt(run).falseStarts;
    case Measure::MedianMs:
        return shown(MeasurePvt(run).medianMs);
    case Measure::Speed:
        return shown(MeasurePvt(run).speed, 2);
    case Measure::Places:
        return run.task.alternatives;
    case Measure::Correct:
        return MeasureChoice(run).correct;
    case Measure::Wrong:
        return MeasureChoice(run).wrong;
    case Measure::CorrectMs:
        return shown(MeasureChoice(run).meanCorrectMs);
    case Measure::Omissions:
        return MeasureGoNoGo(run).omissions;
    case Measure::Commissions:
        return MeasureGoNoGo(run).commissions;
    case Measure::GoMs:
        return shown(MeasureGoNoGo(run).meanGoMs);
    }
    return {};
}

QVariant RunTable::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const QStringList fixed {
        QStringLiteral("Datum"), QStringLiteral("Name"), QStringLiteral("Gerät"), QStringLiteral("Signale")};
    if (section < ResultColumn)
        return fixed.value(section);
    if (section >= columnCount())
        return {};
    static const QStringList headers {QStringLiteral("Ergebnis/ms"), QStringLiteral("Aufgabe"),
        QStringLiteral("Aussetzer"), QStringLiteral("Fehlstarts"), QStringLiteral("Median/ms"),
        QStringLiteral("Tempo 1/s"), QStringLiteral("Orte"), QStringLiteral("Richtig"), QStringLiteral("Falsch"),
        QStringLiteral("Richtige/ms"), QStringLiteral("Auslassungen"), QStringLiteral("Fehlreaktionen"),
        QStringLiteral("Go/ms")};
    return headers.value(static_cast<int>(measures.at(section - ResultColumn)));
}
