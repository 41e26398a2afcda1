#include "journalcsv.h"

#include "journalcolumns.h"

namespace {

// One row's cells, each followed by a comma.
template<class Record> void Cells(QByteArray &out, const Record &record, const QList<JournalColumn<Record>> &columns)
{
    for (const JournalColumn<Record> &column : columns)
        out += CsvCell(column.get(record)) + ',';
}

template<class Record> void Header(QByteArray &out, const QList<JournalColumn<Record>> &columns)
{
    for (const JournalColumn<Record> &column : columns)
        out += QByteArray(column.csvName) + ',';
}

} // namespace

QByteArray JournalCsv(const QList<RunRecord> &runs)
{
    QByteArray out = "run,";
    Header(out, RunColumns());
    out += "trial,";
    Header(out, TrialColumns());
    out.chop(1);
    out += "\r\n";
    out.reserve(out.size() + runs.size() * 20 * 200);
    for (const RunRecord &run : runs) {
        QByteArray columns = QByteArray::number(run.id) + ',';
        Cells(columns, run, RunColumns());
        if (run.trials.isEmpty()) { // its trial's cells empty
            out += columns + QByteArray(TrialColumns().size(), ',') + "\r\n";
            continue;
        }
        for (int i = 0; i < run.trials.size(); ++i) {
            out += columns + QByteArray::number(i + 1) + ',';
            Cells(out, run.trials.at(i), TrialColumns());
            out.chop(1);
            out += "\r\n";
        }
    }
    return out;
}
