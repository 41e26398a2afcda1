#include "settings.h"

#include "safefile.h"

#include <QFile>
#include <QList>
#include <QLocale>
#include <QSettings>
#include <QStringDecoder>

#include <cctype>
#include <cmath>
#include <optional>

namespace {

const QByteArray Group = "Common";

struct IniValue
{
    QByteArray key;
    QByteArray value; // as it stands in the file
};

QString DecodeText(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8(bytes);
    return utf8.hasError() ? QString::fromLatin1(bytes) : text;
}

// One line of an INI file as QSettings reads it: it ends at a line break that is neither inside
// quotes nor escaped by a backslash, or at a ";" outside quotes (a comment follows).
struct IniLine
{
    qsizetype start = 0; // its first character, after blanks
    qsizetype end = 0;
    bool section = false;
    bool inGroup = false; // lies in group Common (or, for a section line, opens it)
    QByteArray key;       // of a "key=value" line
    qsizetype value = -1; // where its value begins
};

bool IsBlank(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// openEnd, where given, receives what closes the last line, so that a line added after it is not
// taken into an unclosed quote or an escaped line break.
QList<IniLine> IniLines(const QByteArray &content, QByteArray *openEnd = nullptr)
{
    QList<IniLine> lines;
    bool inGroup = false;
    const qsizetype n = content.size();
    for (qsizetype i = 0;;) {
        while (i < n && IsBlank(content[i]))
            ++i;
        if (i >= n)
            return lines;
        if (content[i] == ';') { // a comment, to the end of the line
            while (i < n && content[i] != '\n' && content[i] != '\r')
                ++i;
            continue;
        }
        IniLine line;
        line.start = i;
        bool inQuotes = false;
        qsizetype equals = -1;
        for (; i < n; ++i) {
            const char c = content[i];
            if (c == '\\')
                ++i; // escapes what follows, a line break too
            else if (c == '"')
                inQuotes = !inQuotes;
            else if (!inQuotes && (c == '\n' || c == '\r' || c == ';'))
                break;
            else if (!inQuotes && c == '=' && equals < 0)
                equals = i;
        }
        if (openEnd) // a backslash at the very end escapes what comes next; a quote may be open
            *openEnd = QByteArray(i > n ? "\n" : "") + (inQuotes ? "\"" : "");
        line.end = qMin(i, n);
        while (line.end > line.start && IsBlank(content[line.end - 1])) // blanks before a comment stay
            --line.end;
        const QByteArray text = content.mid(line.start, line.end - line.start);
        if (text.startsWith('[')) {
            const qsizetype close = text.indexOf(']');
            inGroup = text.mid(1, (close < 0 ? text.size() : close) - 1).trimmed() == Group;
            line.section = true;
        } else if (equals >= 0) {
            line.key = content.mid(line.start, equals - line.start).trimmed();
            line.value = equals + 1;
        }
        line.inGroup = inGroup;
        lines.append(line);
    }
}

// The value of key in the group as it stands in the file, the last one where there are several.
std::optional<QByteArray> RawValue(const QByteArray &content, const QByteArray &key)
{
    std::optional<QByteArray> value;
    for (const IniLine &line : IniLines(content))
        if (line.inGroup && line.key == key)
            value = content.mid(line.value, line.end - line.value).trimmed();
    return value;
}

// A value QSettings wrote (quoted, "@"-marked, or with escapes only QSettings writes) is read by
// QSettings; any other was typed by hand and is taken as it stands, where QSettings would split it
// at commas, lose the blanks, and mangle the backslashes of a path.
bool TypedByHand(const QByteArray &value)
{
    if (value.startsWith('"') || value.startsWith('@'))
        return false;
    bool escaped = false;
    for (qsizetype i = value.indexOf('\\'); i >= 0; i = value.indexOf('\\', i + 2)) {
        if (i + 1 >= value.size() || !QByteArrayView("abfnrtv\"'?\\x01234567").contains(value[i + 1]))
            return true;
        escaped = true;
    }
    return !escaped;
}

// A string as QSettings writes it, so that QSettings, and so any reader of the file, reads it back
// exactly: quoted where it holds a separator or blanks at an end, escapes for control characters,
// quotes and backslashes, the rest in UTF-8.
QByteArray IniString(const QString &value)
{
    const QString text = value.startsWith(QLatin1Char('@')) ? QLatin1Char('@') + value : value;
    QByteArray out;
    QString pending; // non-ASCII characters, encoded together so that surrogate pairs stay whole
    bool quote = text.startsWith(QLatin1Char(' ')) || text.endsWith(QLatin1Char(' '));
    bool hexEscapeOpen = false; // a hex digit right after "\x.." would become part of the escape
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u >= 0x80) {
            pending += c;
            hexEscapeOpen = false;
            continue;
        }
        out += pending.toUtf8();
        pending.clear();
        if (hexEscapeOpen && std::isxdigit(static_cast<int>(u))) {
            out += "\\x" + QByteArray::number(u, 16);
            continue;
        }
        hexEscapeOpen = false;
        switch (u) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (u < 0x20) {
                out += "\\x" + QByteArray::number(u, 16);
                hexEscapeOpen = true;
            } else {
                quote = quote || u == ';' || u == ',' || u == '=';
                out += static_cast<char>(u);
            }
        }
    }
    out += pending.toUtf8();
    return quote ? '"' + out + '"' : out;
}

QByteArray IniBool(bool value)
{
    return value ? "true" : "false";
}

QByteArray IniDouble(double value)
{
    return QString::number(value, 'g', QLocale::FloatingPointShortest).toLatin1();
}

// The file's content with each value set in the group: a key's lines are rewritten in place (a
// comment after them stays), a missing key is added after the group's last line, a missing group
// at the end.
QByteArray WithValues(const QByteArray &content, const QList<IniValue> &values)
{
    struct Edit
    {
        qsizetype start, end;
        QByteArray text;
    };
    QList<Edit> edits;
    QList<bool> written(values.size(), false);
    qsizetype groupEnd = -1; // after the line break that ends the group's last line
    QByteArray end;
    for (const IniLine &line : IniLines(content, &end)) {
        if (!line.inGroup)
            continue;
        for (qsizetype i = 0; i < values.size(); ++i) {
            if (values[i].key == line.key) {
                edits.append({line.start, line.end, values[i].key + '=' + values[i].value});
                written[i] = true;
            }
        }
        const qsizetype lineBreak = content.indexOf('\n', line.end);
        groupEnd = lineBreak < 0 ? content.size() : lineBreak + 1;
    }
    QByteArray missing;
    for (qsizetype i = 0; i < values.size(); ++i)
        if (!written[i])
            missing += values[i].key + '=' + values[i].value + '\n';
    if (!missing.isEmpty()) {
        if (groupEnd < 0) { // a new group at the end, after a blank line
            missing.prepend(QByteArray(content.isEmpty() ? "" : "\n") + '[' + Group + "]\n");
            groupEnd = content.size();
        }
        if (groupEnd == content.size() && !content.isEmpty() && (!end.isEmpty() || !content.endsWith('\n')))
            missing.prepend(end + '\n');
        edits.append({groupEnd, groupEnd, missing});
    }

    QByteArray out;
    qsizetype at = 0;
    for (const Edit &edit : edits) { // in the order of the file
        out += content.mid(at, edit.start - at) + edit.text;
        at = edit.end;
    }
    return out + content.mid(at);
}

// QSettings reads an unquoted value containing a comma as a list.
QString ReadString(const QSettings &ini, const char *key, const QString &fallback)
{
    const QVariant value = ini.value(QLatin1String(key), fallback);
    if (value.userType() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1Char(','));
    return value.toString();
}

// A number that does not fit an int does not convert (QVariant would wrap it).
int ReadInt(const QSettings &ini, const char *key, int fallback)
{
    const QVariant value = ini.value(QLatin1String(key));
    if (!value.isValid())
        return fallback;
    bool ok = false;
    const int number = value.toString().toInt(&ok);
    return ok ? number : 0;
}

QByteArray ReadFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

Settings ReadSettings(const QString &iniPath)
{
    const Settings defaults;
    Settings s;
    QSettings ini(iniPath, QSettings::IniFormat);
    ini.beginGroup(QLatin1String(Group));
    s.randomPosition = ini.value(QStringLiteral("randomPosition"), defaults.randomPosition).toBool();
    s.useBox = ini.value(QStringLiteral("useBox"), defaults.useBox).toBool();
    s.boxCom = ReadInt(ini, "boxCom", defaults.boxCom);
    s.maxDel = ini.value(QStringLiteral("maxDel"), defaults.maxDel).toDouble();
    s.minDel = ini.value(QStringLiteral("minDel"), defaults.minDel).toDouble();
    s.cnt = ReadInt(ini, "cnt", defaults.cnt);
    s.minAkkust = ReadInt(ini, "minAkkust", defaults.minAkkust);
    s.maxAkkust = ReadInt(ini, "maxAkkust", defaults.maxAkkust);
    s.enableWav = ini.value(QStringLiteral("enableWav"), defaults.enableWav).toBool();
    s.wavFile = ReadString(ini, "wavFile", defaults.wavFile);
    s.journal = ini.value(QStringLiteral("journal"), defaults.journal).toBool();
    bool measured = false;
    const double latency = ini.value(QStringLiteral("screenLatency")).toDouble(&measured);
    const double sd = ini.value(QStringLiteral("screenLatencySd")).toDouble();
    // Hand-edited nonsense must not reach the times: the box waits at most a second for the light.
    if (measured && latency >= 0 && latency <= 1000)
        s.screenLatency = ScreenLatency {latency, std::isfinite(sd) && sd >= 0 ? sd : 0,
            ini.value(QStringLiteral("screenLatencyDate")).toString(),
            ini.value(QStringLiteral("screenLatencySize")).toString()};
    s.screenLatencyCorrection = ini.value(QStringLiteral("screenLatencyCorrection"), false).toBool();
    // "900x700"; a size no screen has is no size.
    const QStringList size = ini.value(QStringLiteral("historySize")).toString().split(QLatin1Char('x'));
    const QSize history(size.value(0).toInt(), size.value(1).toInt());
    if (size.size() == 2 && history.width() > 0 && history.height() > 0 && history.width() <= 20000
        && history.height() <= 20000)
        s.historySize = history;
    ini.endGroup();
    if (const std::optional<QByteArray> raw = RawValue(ReadFile(iniPath), "wavFile"); raw && TypedByHand(*raw))
        s.wavFile = DecodeText(*raw);
    return s;
}

bool WriteSettings(const QString &iniPath, const Settings &s, QString *reason)
{
    QByteArray content = ReadFile(iniPath);
    if (QSettings(iniPath, QSettings::IniFormat).status() == QSettings::FormatError)
        content.clear(); // no INI file: nothing in it to keep
    QList<IniValue> values {
        {"randomPosition", IniBool(s.randomPosition)},
        {"useBox", IniBool(s.useBox)},
        {"boxCom", QByteArray::number(s.boxCom)},
        {"maxDel", IniDouble(s.maxDel)},
        {"minDel", IniDouble(s.minDel)},
        {"maxAkkust", QByteArray::number(s.maxAkkust)},
        {"minAkkust", QByteArray::number(s.minAkkust)},
        {"enableWav", IniBool(s.enableWav)},
        {"wavFile", IniString(s.wavFile)},
    };
    if (s.screenLatency)
        values += QList<IniValue> {{"screenLatency", IniDouble(s.screenLatency->ms)},
            {"screenLatencySd", IniDouble(s.screenLatency->sdMs)},
            {"screenLatencyDate", IniString(s.screenLatency->date)},
            {"screenLatencySize", IniString(s.screenLatency->size)}};
    if (s.historySize)
        values.append({"historySize",
            QByteArray::number(s.historySize->width()) + 'x' + QByteArray::number(s.historySize->height())});
    return WriteFileWhole(iniPath, WithValues(content, values), reason);
}
