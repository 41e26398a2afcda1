#pragma once

#include "journal.h"

#include <QAbstractTableModel>

#include <optional>

// A run's start as the window shows it: "07.12.2026 09:30:05", to the second, as runs of one lesson
// may lie a minute apart.
QString ShownDate(const QDateTime &date);

// The journal's runs as a table: date, name, device, signals answered, and then what the task
// chosen measures (the simple task, and all tasks together: the result; where the journal holds
// other tasks, "all" names each run's task last).
class RunTable : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { DateColumn, NameColumn, DeviceColumn, SignalsColumn, ResultColumn };
    static constexpr int SortRole = Qt::UserRole; // dates and numbers as such, not as text

    using QAbstractTableModel::QAbstractTableModel;

    // The runs; those of tasks other than the simple one with their trials, for their measures.
    void SetRuns(QList<RunRecord> runs);
    // The runs of one kind of task; none: all.
    void SetTaskKind(std::optional<TaskKind> kind);
    std::optional<TaskKind> ShownKind() const { return kind; }
    const QList<RunRecord> &Runs() const { return runs; } // the rows
    const QList<RunRecord> &AllRuns() const { return all; }
    bool HasOtherTasks() const;
    void Remove(const QList<qint64> &ids);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    // In the order of their headers in runtable.cpp.
    enum class Measure {
        Result,
        Task,
        Lapses,
        FalseStarts,
        MedianMs,
        Speed,
        Places,
        Correct,
        Wrong,
        CorrectMs,
        Omissions,
        Commissions,
        GoMs
    };
    void Choose();
    QVariant Value(const RunRecord &run, Measure measure, bool sorting) const;

    QList<RunRecord> all;
    QList<RunRecord> runs;
    std::optional<TaskKind> kind;
    QList<Measure> measures; // the columns after the signals
};
