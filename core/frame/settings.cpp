#include "settings.h"

#include "safefile.h"

#include <QFile>
#include <QList>
#include <QLocale>
#include <QSettings>
#include <QStringDecoder>

#include <algorithm>
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

// A key or section name as QSettings reads it: UTF-8, "%XX" and "%UXXXX" for a character, "\\" for "/".
QString UnescapedKey(QByteArrayView raw)
{
    const QString text = QString::fromUtf8(raw);
    QString key;
    for (qsizetype i = 0; i < text.size();) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\\')) {
            key += QLatin1Char('/');
            ++i;
            continue;
        }
        const qsizetype digits = i + 1 < text.size() && text.at(i + 1) == QLatin1Char('U') ? 4 : 2;
        const qsizetype first = i + 1 + (digits == 4);
        bool ok = false;
        const ushort code = c == QLatin1Char('%') && first + digits <= text.size()
            ? QStringView(text).sliced(first, digits).toUShort(&ok, 16)
            : 0;
        key += ok ? QChar(code) : c;
        i = ok ? first + digits : i + 1;
    }
    return key;
}

// What QSettings passes over before a line and after a value; not a vertical tab or form feed.
bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// One line of an INI file as QSettings reads it: it ends at a line break that is neither inside
// quotes nor escaped by a backslash (a backslash takes CR LF or LF CR with it), or at a ";" outside
// quotes (a comment follows).
struct IniLine
{
    qsizetype start = 0;  // its first character, after blanks
    qsizetype end = 0;    // after its last character that is not blank
    qsizetype stop = 0;   // where it ends: its line break, its ";", or the end of the file
    bool inGroup = false; // lies in group Common (a section line: opens it)
    QString key;          // of a "key=value" line, with its section, as QSettings names it
    qsizetype value = -1; // where its value begins
};

struct IniFile
{
    QList<IniLine> lines;
    // Whether the last line runs to the file's end, and what it leaves open there: an escape that
    // takes what comes next, quotes that take line breaks. A line added must close them first.
    bool endsInLine = false;
    bool escapeOpen = false;
    bool quoteOpen = false;
};

IniFile ParseIni(const QByteArray &content)
{
    IniFile file;
    QString section; // "Common/"; empty in the general section
    const qsizetype n = content.size();
    for (qsizetype i = content.startsWith("\xef\xbb\xbf") ? 3 : 0;;) { // QSettings passes over a BOM
        while (i < n && IsBlank(content[i]))
            ++i;
        if (i >= n)
            return file;
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
            if (c == '\\') {
                ++i;
                const bool pair = i + 1 < n && (content[i] == '\n' || content[i] == '\r')
                    && content[i + 1] != content[i] && (content[i + 1] == '\n' || content[i + 1] == '\r');
                // At the end, the escape takes what comes next: a character, or the LF after its CR.
                file.escapeOpen = i >= n || (!pair && i == n - 1 && content[i] == '\r');
                i += pair;
            } else if (c == '"') {
                inQuotes = !inQuotes;
            } else if (!inQuotes && (c == '\n' || c == '\r' || c == ';')) {
                break;
            } else if (!inQuotes && c == '=' && equals < 0) {
                equals = i;
            }
        }
        file.quoteOpen = inQuotes;
        line.stop = qMin(i, n);
        file.endsInLine = line.stop == n;
        line.end = line.stop;
        while (line.end > line.start && IsBlank(content[line.end - 1])) // blanks before a comment stay
            --line.end;
        const QByteArrayView text(content.constData() + line.start, line.stop - line.start);
        if (text.startsWith('[')) {
            const qsizetype close = text.indexOf(']');
            const QByteArrayView name = text.sliced(1, (close < 0 ? text.size() : close) - 1).trimmed();
            section = name.compare("general", Qt::CaseInsensitive) == 0 ? QString()
                : name.compare("%general", Qt::CaseInsensitive) == 0
                ? QString::fromLatin1(name.sliced(1)) + QLatin1Char('/')
                : UnescapedKey(name) + QLatin1Char('/');
        } else if (equals >= 0) {
            line.key
                = section + UnescapedKey(QByteArrayView(content).sliced(line.start, equals - line.start).trimmed());
            line.value = equals + 1;
        } else {
            continue; // neither a section nor a key: QSettings passes over it
        }
        line.inGroup = section == QLatin1String(Group) + QLatin1Char('/');
        file.lines.append(line);
    }
}

// The value of key in the group as it stands in the file, the last one where there are several.
std::optional<QByteArray> RawValue(const QByteArray &content, const QString &key)
{
    std::optional<QByteArray> value;
    for (const IniLine &line : ParseIni(content).lines)
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
        if (u == 0xfeff) { // QSettings's decoder drops it where a value's text begins, as a BOM
            out += pending.toUtf8() + "\\xfeff";
            pending.clear();
            hexEscapeOpen = true;
            continue;
        }
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

// The file's content with each value set in the group: a key's values are replaced in place (its
// spelling and a comment after it stay), a missing key is added after the group's last line, a
// missing group at the end.
QByteArray WithValues(const QByteArray &content, const QList<IniValue> &values)
{
    const auto keyOf = [](const IniValue &v) { return QLatin1String(Group) + QLatin1Char('/') + QLatin1String(v.key); };
    QByteArray out;
    qsizetype at = 0;
    for (const IniLine &line : ParseIni(content).lines) { // also where the general section names our keys
        for (const IniValue &v : values) {
            if (line.key == keyOf(v)) {
                qsizetype value = line.value;
                while (value < line.end && IsBlank(content[value]))
                    ++value;
                out += content.mid(at, value - at) + v.value;
                at = line.end;
            }
        }
    }
    out += content.mid(at);

    // Our values hold no open quote or escape: the lines are where they were, less what a replaced
    // value swallowed.
    const IniFile file = ParseIni(out);
    QByteArray missing;
    for (const IniValue &v : values)
        if (std::none_of(file.lines.cbegin(), file.lines.cend(),
                [&](const IniLine &line) { return line.inGroup && line.key == keyOf(v); }))
            missing += v.key + '=' + v.value + '\n';
    if (missing.isEmpty())
        return out;
    const auto last
        = std::find_if(file.lines.crbegin(), file.lines.crend(), [](const IniLine &l) { return l.inGroup; });
    qsizetype insert = out.size();
    QByteArray before;
    if (file.endsInLine && (last == file.lines.crend() || last->stop == out.size())) {
        before = QByteArray(file.escapeOpen ? "\n" : "") + (file.quoteOpen ? "\"" : "") + '\n';
    } else if (last != file.lines.crend()) { // after the line break that ends the group's last line
        insert = last->stop;
        if (insert < out.size() && out[insert] == ';') // a comment after it
            while (insert < out.size() && out[insert] != '\n' && out[insert] != '\r')
                ++insert;
        if (insert < out.size())
            insert += out.mid(insert, 2) == "\r\n" ? 2 : 1;
        else
            before = "\n"; // a comment that ends the file
    } else if (!out.isEmpty() && !out.endsWith('\n') && !out.endsWith('\r')) {
        before = "\n";
    }
    if (last == file.lines.crend()) // a new group at the end, after a blank line
        before += QByteArray(out.isEmpty() ? "" : "\n") + '[' + Group + "]\n";
    return out.insert(insert, before + missing);
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
    // A lookup alone reads only the section nearest before its key, which a group such as
    // "[Common/Advanced]" can be: the rest of [Common] would read as defaults.
    ini.allKeys();
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
    if (measured && IsScreenLatency(latency)) // hand-edited nonsense must not reach the times
        s.screenLatency = ScreenLatency {latency, std::isfinite(sd) && sd >= 0 ? sd : 0,
            ini.value(QStringLiteral("screenLatencyDate")).toString(),
            ini.value(QStringLiteral("screenLatencySize")).toString()};
    s.screenLatencyCorrection = ini.value(QStringLiteral("screenLatencyCorrection"), false).toBool();
    s.lightTimed = ini.value(QStringLiteral("lightTimed"), defaults.lightTimed).toBool();
    s.lightButton = ini.value(QStringLiteral("lightButton"), defaults.lightButton).toBool();
    // "900x700"; a size no screen has is no size.
    const QStringList size = ini.value(QStringLiteral("historySize")).toString().split(QLatin1Char('x'));
    const QSize history(size.value(0).toInt(), size.value(1).toInt());
    if (size.size() == 2 && history.width() > 0 && history.height() > 0 && history.width() <= 20000
        && history.height() <= 20000)
        s.historySize = history;
    s.task = ReadString(ini, "task", defaults.task);
    s.serverHost = ReadString(ini, "serverHost", defaults.serverHost).trimmed();
    s.serverPort = ReadInt(ini, "serverPort", defaults.serverPort);
    s.serverDatabase = ReadString(ini, "serverDatabase", defaults.serverDatabase);
    s.serverUser = ReadString(ini, "serverUser", defaults.serverUser);
    s.serverGroup = ReadString(ini, "serverGroup", defaults.serverGroup);
    s.serverSslMode = ReadString(ini, "serverSslMode", defaults.serverSslMode);
    ini.endGroup();
    if (const std::optional<QByteArray> raw = RawValue(ReadFile(iniPath), QStringLiteral("Common/wavFile"));
        raw && TypedByHand(*raw))
        s.wavFile = DecodeText(*raw);
    return s;
}

bool WriteSettings(const QString &iniPath, const Settings &s, QString *reason)
{
    const QByteArray content = ReadFile(iniPath); // all of it kept, even what QSettings cannot read
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
        {"lightTimed", IniBool(s.lightTimed)},
        {"lightButton", IniBool(s.lightButton)},
    };
    if (s.screenLatency)
        values += QList<IniValue> {{"screenLatency", IniDouble(s.screenLatency->ms)},
            {"screenLatencySd", IniDouble(s.screenLatency->sdMs)},
            {"screenLatencyDate", IniString(s.screenLatency->date)},
            {"screenLatencySize", IniString(s.screenLatency->size)},
            {"screenLatencyCorrection", IniBool(s.screenLatencyCorrection)}};
    if (s.historySize)
        values.append({"historySize",
            QByteArray::number(s.historySize->width()) + 'x' + QByteArray::number(s.historySize->height())});
    // A file that never had another task stays as it was.
    if (s.task != Settings().task || RawValue(content, QStringLiteral("Common/task")))
        values.append({"task", IniString(s.task)});
    if (!s.serverHost.isEmpty() || RawValue(content, QStringLiteral("Common/serverHost")))
        values += QList<IniValue> {{"serverHost", IniString(s.serverHost)},
            {"serverPort", QByteArray::number(s.serverPort)}, {"serverDatabase", IniString(s.serverDatabase)},
            {"serverUser", IniString(s.serverUser)}, {"serverGroup", IniString(s.serverGroup)},
            {"serverSslMode", IniString(s.serverSslMode)}};
    return WriteFileWhole(iniPath, WithValues(content, values), reason);
}
