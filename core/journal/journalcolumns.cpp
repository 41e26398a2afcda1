#include "journalcolumns.h"

#include <optional>

namespace {

template<class T> QVariant Nullable(const std::optional<T> &value)
{
    return value ? QVariant::fromValue(*value) : QVariant();
}

template<class T> std::optional<T> Optional(const QVariant &value)
{
    if (value.isNull())
        return std::nullopt;
    return value.value<T>();
}

// A null string would bind as NULL and fail a NOT NULL column; an empty one is what was meant.
QVariant Text(const QString &value)
{
    return value.isNull() ? QStringLiteral("") : value;
}

// Empty is NULL: nothing of the kind.
QVariant Word(const QString &value)
{
    return value.isEmpty() ? QVariant() : QVariant(value);
}

QVariant Date(const QDateTime &value)
{
    return value.toString(Qt::ISODateWithMs);
}

QDateTime DateFrom(const QVariant &value)
{
    return QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
}

QVariant Evaluated(const RunRecord &r, qint64 value)
{
    return r.evaluation.evaluated ? QVariant(value) : QVariant();
}

using RunColumn = JournalColumn<RunRecord>;
using TrialColumn = JournalColumn<RunTrial>;
using V = const QVariant &;

const QList<RunColumn> Runs {
    {"started", "started", "TEXT NOT NULL", 1, [](const RunRecord &r) { return Date(r.started); },
        [](RunRecord &r, V v) { r.started = DateFrom(v); }},
    {"ended", "ended", "TEXT NOT NULL", 1, [](const RunRecord &r) { return Date(r.ended); },
        [](RunRecord &r, V v) { r.ended = DateFrom(v); }},
    {"name", "name", "TEXT NOT NULL", 1, [](const RunRecord &r) { return Text(r.name); },
        [](RunRecord &r, V v) { r.name = v.toString(); }},
    {"device", "device", "TEXT NOT NULL", 1, [](const RunRecord &r) { return QVariant(DeviceName(r)); },
        [](RunRecord &r, V v) { r.box = v.toString() == QLatin1String("box"); }},
    {"place", "place", "TEXT NOT NULL", 1, [](const RunRecord &r) { return Text(r.place); },
        [](RunRecord &r, V v) { r.place = v.toString(); }},
    {"signal_count", "signals", "INTEGER NOT NULL", 1, [](const RunRecord &r) { return QVariant(r.signalCount); },
        [](RunRecord &r, V v) { r.signalCount = v.toInt(); }},
    {"min_wait_s", "min_wait_s", "REAL NOT NULL", 1, [](const RunRecord &r) { return QVariant(r.minWaitS); },
        [](RunRecord &r, V v) { r.minWaitS = v.toDouble(); }},
    {"max_wait_s", "max_wait_s", "REAL NOT NULL", 1, [](const RunRecord &r) { return QVariant(r.maxWaitS); },
        [](RunRecord &r, V v) { r.maxWaitS = v.toDouble(); }},
    {"random_position", "random_position", "INTEGER NOT NULL", 1,
        [](const RunRecord &r) { return QVariant(r.randomPosition); },
        [](RunRecord &r, V v) { r.randomPosition = v.toBool(); }},
    {"warning", "warning", "INTEGER NOT NULL", 1, [](const RunRecord &r) { return QVariant(r.warning); },
        [](RunRecord &r, V v) { r.warning = v.toBool(); }},
    {"lead_min_ms", "lead_min_ms", "INTEGER NOT NULL", 1, [](const RunRecord &r) { return QVariant(r.leadMinMs); },
        [](RunRecord &r, V v) { r.leadMinMs = v.toInt(); }},
    {"lead_max_ms", "lead_max_ms", "INTEGER NOT NULL", 1, [](const RunRecord &r) { return QVariant(r.leadMaxMs); },
        [](RunRecord &r, V v) { r.leadMaxMs = v.toInt(); }},
    {"sound", "sound", "TEXT NOT NULL", 1, [](const RunRecord &r) { return Text(r.sound); },
        [](RunRecord &r, V v) { r.sound = v.toString(); }},
    {"ending", "ending", "TEXT NOT NULL", 1, [](const RunRecord &r) { return QVariant(EndingName(r.ending)); },
        [](RunRecord &r, V v) { r.ending = EndingNamed(v.toString()); }},
    {"early_presses", "early_presses", "INTEGER NOT NULL", 1,
        [](const RunRecord &r) { return QVariant(r.earlyPresses); },
        [](RunRecord &r, V v) { r.earlyPresses = v.toInt(); }},
    // A run is evaluated where it has a mean.
    {"mean_ms", "mean_ms", "INTEGER", 1, [](const RunRecord &r) { return Evaluated(r, r.evaluation.mean); },
        [](RunRecord &r, V v) {
            r.evaluation.evaluated = !v.isNull();
            r.evaluation.mean = v.toLongLong();
        }},
    {"deviation_ms", "deviation_ms", "INTEGER", 1,
        [](const RunRecord &r) { return Evaluated(r, r.evaluation.deviation); },
        [](RunRecord &r, V v) { r.evaluation.deviation = v.toLongLong(); }},
    {"threshold_ms", "threshold_ms", "INTEGER", 1,
        [](const RunRecord &r) { return Evaluated(r, r.evaluation.threshold); },
        [](RunRecord &r, V v) { r.evaluation.threshold = v.toLongLong(); }},
    {"result_ms", "result_ms", "INTEGER", 1, [](const RunRecord &r) { return Nullable(r.evaluation.result); },
        [](RunRecord &r, V v) { r.evaluation.result = Optional<int>(v); }},
    {"version", "version", "TEXT NOT NULL", 1, [](const RunRecord &r) { return Text(r.version); },
        [](RunRecord &r, V v) { r.version = v.toString(); }},
    // The display latency measured with the box's light sensor.
    {"display_latency_ms", "display_latency_ms", "REAL", 2,
        [](const RunRecord &r) { return Nullable(r.displayLatencyMs); },
        [](RunRecord &r, V v) { r.displayLatencyMs = Optional<double>(v); }},
    {"display_latency_sd_ms", "display_latency_sd_ms", "REAL", 2,
        [](const RunRecord &r) { return Nullable(r.displayLatencySdMs); },
        [](RunRecord &r, V v) { r.displayLatencySdMs = Optional<double>(v); }},
    {"latency_corrected", "latency_corrected", "INTEGER NOT NULL DEFAULT 0", 2,
        [](const RunRecord &r) { return QVariant(r.latencyCorrected); },
        [](RunRecord &r, V v) { r.latencyCorrected = v.toBool(); }},
    // Which clock timed the run's reactions; unknown for runs stored before.
    {"timing", "timing", "TEXT", 3,
        [](const RunRecord &r) { return r.timing.isEmpty() ? QVariant() : QVariant(r.timing); },
        [](RunRecord &r, V v) { r.timing = v.toString(); }},
    // Each disc timed by the light sensor: "space" or "button" answered; NULL for other runs.
    {"light_timing", "light_timing", "TEXT", 4,
        [](const RunRecord &r) { return r.lightTiming.isEmpty() ? QVariant() : QVariant(r.lightTiming); },
        [](RunRecord &r, V v) { r.lightTiming = v.toString(); }},
    // The task ("pvt", "wahl-4"); runs stored before tasks came are the simple one's.
    {"task", "task", "TEXT NOT NULL DEFAULT 'einfach'", 5,
        [](const RunRecord &r) { return QVariant(TaskName(r.task)); },
        [](RunRecord &r, V v) { r.task = TaskNamed(v.toString()); }},
    // Who the run is on a class server, and where it ran; older runs get a uuid as they migrate.
    {"uuid", "uuid", "TEXT", 6, [](const RunRecord &r) { return Word(r.uuid); },
        [](RunRecord &r, V v) { r.uuid = v.toString(); }},
    {"computer", "computer", "TEXT", 6, [](const RunRecord &r) { return Word(r.computer); },
        [](RunRecord &r, V v) { r.computer = v.toString(); }},
};

const QList<TrialColumn> Trials {
    {"wait_ms", "wait_ms", "INTEGER NOT NULL", 1, [](const RunTrial &t) { return QVariant(t.waitMs); },
        [](RunTrial &t, V v) { t.waitMs = v.toInt(); }},
    {"time_ms", "time_ms", "INTEGER NOT NULL", 1, [](const RunTrial &t) { return QVariant(t.timeMs); },
        [](RunTrial &t, V v) { t.timeMs = v.toInt(); }},
    {"box_us", "box_us", "INTEGER", 1, [](const RunTrial &t) { return Nullable(t.boxUs); },
        [](RunTrial &t, V v) { t.boxUs = Optional<qint64>(v); }},
    {"x", "x", "INTEGER", 1, [](const RunTrial &t) { return Nullable(t.x); },
        [](RunTrial &t, V v) { t.x = Optional<int>(v); }},
    {"y", "y", "INTEGER", 1, [](const RunTrial &t) { return Nullable(t.y); },
        [](RunTrial &t, V v) { t.y = Optional<int>(v); }},
    {"warm_up", "warm_up", "INTEGER NOT NULL", 1, [](const RunTrial &t) { return QVariant(t.warmUp); },
        [](RunTrial &t, V v) { t.warmUp = v.toBool(); }},
    {"outlier", "outlier", "INTEGER NOT NULL", 1, [](const RunTrial &t) { return QVariant(t.outlier); },
        [](RunTrial &t, V v) { t.outlier = v.toBool(); }},
    // What a light-timed run measured of each trial; a trial whose light was not seen is not counted.
    {"counted", "counted", "INTEGER NOT NULL DEFAULT 1", 4, [](const RunTrial &t) { return QVariant(t.counted); },
        [](RunTrial &t, V v) { t.counted = v.isNull() || v.toBool(); }},
    {"light_latency_ms", "light_latency_ms", "REAL", 4, [](const RunTrial &t) { return Nullable(t.lightLatencyMs); },
        [](RunTrial &t, V v) { t.lightLatencyMs = Optional<double>(v); }},
    {"light_us", "light_us", "INTEGER", 4, [](const RunTrial &t) { return Nullable(t.lightUs); },
        [](RunTrial &t, V v) { t.lightUs = Optional<qint64>(v); }},
    // What answered: a light-timed run's "space" or "button", a task's key ("f"); NULL where none did.
    {"answer", "answer", "TEXT", 4, [](const RunTrial &t) { return Word(t.answer); },
        [](RunTrial &t, V v) { t.answer = v.toString(); }},
    // A task's signal, the key expected and the answer (above) judged; NULL, 0 for the simple task.
    {"stimulus", "stimulus", "TEXT", 5, [](const RunTrial &t) { return Word(t.stimulus); },
        [](RunTrial &t, V v) { t.stimulus = v.toString(); }},
    {"expected", "expected", "TEXT", 5, [](const RunTrial &t) { return Word(t.expected); },
        [](RunTrial &t, V v) { t.expected = v.toString(); }},
    {"correct", "correct", "INTEGER", 5, [](const RunTrial &t) { return Nullable(t.correct); },
        [](RunTrial &t, V v) { t.correct = Optional<bool>(v); }},
    {"lapse", "lapse", "INTEGER NOT NULL DEFAULT 0", 5, [](const RunTrial &t) { return QVariant(t.lapse); },
        [](RunTrial &t, V v) { t.lapse = v.toBool(); }},
    {"false_start", "false_start", "INTEGER NOT NULL DEFAULT 0", 5,
        [](const RunTrial &t) { return QVariant(t.falseStart); }, [](RunTrial &t, V v) { t.falseStart = v.toBool(); }},
};

} // namespace

const QList<JournalColumn<RunRecord>> &RunColumns()
{
    return Runs;
}

const QList<JournalColumn<RunTrial>> &TrialColumns()
{
    return Trials;
}

QByteArray CsvCell(const QVariant &value)
{
    if (value.isNull())
        return {};
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool() ? "1" : "0";
    case QMetaType::Double:
        return QByteArray::number(value.toDouble(), 'g', 15);
    case QMetaType::QString:
        break;
    default:
        return QByteArray::number(value.toLongLong());
    }
    const QByteArray bytes = value.toString().toUtf8();
    // Quoted when a reader could take it otherwise; spreadsheets also trim blanks at the ends.
    const bool quote = bytes.contains(',') || bytes.contains('"') || bytes.contains('\n') || bytes.contains('\r')
        || bytes.startsWith(' ') || bytes.endsWith(' ');
    if (!quote)
        return bytes;
    return '"' + QByteArray(bytes).replace("\"", "\"\"") + '"';
}
