#pragma once

#include "journal.h"

#include <QAbstractTableModel>

// A run's start as the window shows it: "07.12.2026 09:30:05", to the second, as runs of one lesson
// may lie a minute apart.
QString ShownDate(const QDateTime &date);

// The journal's runs as a table: date, name, device, signals answered, result.
class RunTable : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { DateColumn, NameColumn, DeviceColumn, SignalsColumn, ResultColumn, ColumnCount };
    static constexpr int SortRole = Qt::UserRole; // dates and numbers as such, not as text

    using QAbstractTableModel::QAbstractTableModel;

    void SetRuns(QList<RunRecord> runs);
    const QList<RunRecord> &Runs() const { return runs; }
    void Remove(const QList<qint64> &ids);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    QList<RunRecord> runs;
};
