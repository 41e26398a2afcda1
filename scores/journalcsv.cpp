#include "journalcsv.h"

namespace {

const QByteArray Header = "run,started,ended,name,device,place,signals,min_wait_s,max_wait_s,random_position,"
                          "warning,lead_min_ms,lead_max_ms,sound,ending,early_presses,mean_ms,deviation_ms,"
                          "threshold_ms,result_ms,version,display_latency_ms,display_latency_sd_ms,latency_corrected,"
                          "timing,trial,wait_ms,time_ms,box_us,x,y,warm_up,outlier\r\n";

void Field(QByteArray &out, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    // Quoted when a reader could take it otherwise; spreadsheets also trim blanks at the ends.
    const bool quote = bytes.contains(',') || bytes.contains('"') || bytes.contains('\n') || bytes.contains('\r')
        || bytes.startsWith(' ') || bytes.endsWith(' ');
    if (quote) {
        out += '"';
        out += QByteArray(bytes).replace("\"", "\"\"");
        out += '"';
    } else {
        out += bytes;
    }
    out += ',';
}

void Field(QByteArray &out, qint64 number)
{
    out += QByteArray::number(number);
    out += ',';
}

template<class T> void Field(QByteArray &out, const std::optional<T> &value)
{
    if (value)
        out += QByteArray::number(static_cast<qint64>(*value));
    out += ',';
}

void Field(QByteArray &out, double number)
{
    out += QByteArray::number(number, 'g', 15); // always a point, never a locale's comma
    out += ',';
}

} // namespace

QByteArray JournalCsv(const QList<RunRecord> &runs)
{
    QByteArray out = Header;
    out.reserve(out.size() + runs.size() * 20 * 200);
    for (const RunRecord &run : runs) {
        QByteArray columns;
        Field(columns, run.id);
        Field(columns, run.started.toString(Qt::ISODateWithMs));
        Field(columns, run.ended.toString(Qt::ISODateWithMs));
        Field(columns, run.name);
        Field(columns, DeviceName(run));
        Field(columns, run.place);
        Field(columns, qint64(run.signalCount));
        Field(columns, run.minWaitS);
        Field(columns, run.maxWaitS);
        Field(columns, qint64(run.randomPosition));
        Field(columns, qint64(run.warning));
        Field(columns, qint64(run.leadMinMs));
        Field(columns, qint64(run.leadMaxMs));
        Field(columns, run.sound);
        Field(columns, EndingName(run.ending));
        Field(columns, qint64(run.earlyPresses));
        const Evaluation &e = run.evaluation;
        Field(columns, e.evaluated ? std::optional<qint64>(e.mean) : std::nullopt);
        Field(columns, e.evaluated ? std::optional<qint64>(e.deviation) : std::nullopt);
        Field(columns, e.evaluated ? std::optional<qint64>(e.threshold) : std::nullopt);
        Field(columns, e.result);
        Field(columns, run.version);
        if (run.displayLatencyMs)
            Field(columns, *run.displayLatencyMs);
        else
            columns += ',';
        if (run.displayLatencySdMs)
            Field(columns, *run.displayLatencySdMs);
        else
            columns += ',';
        Field(columns, qint64(run.latencyCorrected));
        Field(columns, run.timing);
        if (run.trials.isEmpty()) {
            out += columns + ",,,,,,,\r\n";
            continue;
        }
        for (int i = 0; i < run.trials.size(); ++i) {
            const RunTrial &t = run.trials.at(i);
            out += columns;
            Field(out, qint64(i + 1));
            Field(out, qint64(t.waitMs));
            Field(out, qint64(t.timeMs));
            Field(out, t.boxUs);
            Field(out, t.x);
            Field(out, t.y);
            Field(out, qint64(t.warmUp));
            out += t.outlier ? "1\r\n" : "0\r\n";
        }
    }
    return out;
}
