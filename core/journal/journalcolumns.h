#pragma once

#include "runrecord.h"

#include <QByteArray>
#include <QList>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

// A stored column of the journal: its name (in the database and in the file of pending runs), its
// header in the CSV, its SQL type, the schema version that added it, and how its value is read
// from the record and written into it. The schema steps, the statements, the pending file and the
// CSV are all made from the two tables below; a new column is one line in a table.
template<class Record> struct JournalColumn
{
    const char *name;
    const char *csvName;
    const char *sqlType;
    int since;
    QVariant (*get)(const Record &); // a null QVariant is NULL, an empty CSV cell
    void (*set)(Record &, const QVariant &);
};

// The runs' columns after their id, and the trials' after their run's id and number, in order.
const QList<JournalColumn<RunRecord>> &RunColumns();
const QList<JournalColumn<RunTrial>> &TrialColumns();

template<class Record> QStringList ColumnNames(const QList<JournalColumn<Record>> &columns)
{
    QStringList names;
    for (const JournalColumn<Record> &column : columns)
        names << QLatin1String(column.name);
    return names;
}

// The values of a record's columns, in the table's order.
template<class Record> QVariantList ValuesOf(const Record &record, const QList<JournalColumn<Record>> &columns)
{
    QVariantList values;
    for (const JournalColumn<Record> &column : columns)
        values << column.get(record);
    return values;
}

// A record from a query's columns, the table's from `first` on.
template<class Record> Record RecordFrom(const QSqlQuery &q, int first, const QList<JournalColumn<Record>> &columns)
{
    Record record;
    for (int i = 0; i < columns.size(); ++i)
        columns.at(i).set(record, q.value(first + i));
    return record;
}

// A value as a CSV cell: numbers with a decimal point (never a locale's comma) and all their
// decimals, truth as 0 or 1, text quoted where a reader could take it otherwise, NULL empty.
QByteArray CsvCell(const QVariant &value);
