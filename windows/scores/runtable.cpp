#include "runtable.h"

#include <QLocale>

QString ShownDate(const QDateTime &date)
{
    return QLocale(QLocale::German).toString(date, QStringLiteral("dd.MM.yyyy HH:mm:ss"));
}

void RunTable::SetRuns(QList<RunRecord> newRuns)
{
    beginResetModel();
    runs = std::move(newRuns);
    endResetModel();
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
}

int RunTable::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(runs.size());
}

int RunTable::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant RunTable::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= runs.size())
        return {};
    const RunRecord &run = runs.at(index.row());
    const bool sorting = role == SortRole;
    if (role != Qt::DisplayRole && !sorting) {
        if (role == Qt::TextAlignmentRole && index.column() >= SignalsColumn)
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
    case ResultColumn:
        if (run.evaluation.result)
            return *run.evaluation.result;
        return sorting ? QVariant(std::numeric_limits<int>::max()) : QVariant(QStringLiteral("–"));
    default:
        return {};
    }
}

QVariant RunTable::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const QStringList headers {QStringLiteral("Datum"), QStringLiteral("Name"), QStringLiteral("Gerät"),
        QStringLiteral("Signale"), QStringLiteral("Ergebnis/ms")};
    return headers.value(section);
}
