#include "settings.h"

#include "safefile.h"

#include <QFile>
#include <QList>
#include <QLocale>
#include <QSettings>
#include <QStringDecoder>

#include <cctype>
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

// Walks the lines of an INI file, each with its line end, telling for each whether it lies in the
// group and, if it is a "key=value" line, its key.
template<class Visit> void ForEachLine(const QByteArray &content, Visit visit)
{
    bool inGroup = false;
    qsizetype start = 0;
    while (start < content.size()) {
        qsizetype end = content.indexOf('\n', start);
        end = end < 0 ? content.size() : end + 1;
        const QByteArray line = content.mid(start, end - start);
        const QByteArray trimmed = line.trimmed();
        QByteArray key;
        if (trimmed.startsWith('[') && trimmed.endsWith(']'))
            inGroup = trimmed.mid(1, trimmed.size() - 2) == Group;
        else if (const qsizetype equals = line.indexOf('='); equals > 0 && !trimmed.startsWith(';'))
            key = line.left(equals).trimmed();
        visit(line, inGroup, key);
        start = end;
    }
}

// The value of key in the group as it stands in the file, the last one where there are several.
std::optional<QByteArray> RawValue(const QByteArray &content, const QByteArray &key)
{
    std::optional<QByteArray> value;
    ForEachLine(content, [&](const QByteArray &line, bool inGroup, const QByteArray &lineKey) {
        if (inGroup && lineKey == key)
            value = line.mid(line.indexOf('=') + 1).trimmed();
    });
    return value;
}

// A value QSettings wrote (quoted, escaped, "@"-marked) is read by QSettings; any other was typed
// by hand and is taken as it stands, where QSettings would split it at commas and lose the blanks.
bool TypedByHand(const QByteArray &value)
{
    return !value.startsWith('"') && !value.startsWith('@') && !value.contains('\\');
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

// The file's content with each value set in the group: a key's lines are rewritten in place, a
// missing key is added after the group's last line, a missing group at the end.
QByteArray WithValues(const QByteArray &content, const QList<IniValue> &values)
{
    QByteArray out;
    QList<bool> written(values.size(), false);
    qsizetype groupEnd = -1; // in out, after the group's last non-blank line
    const bool lastLineEnded = content.isEmpty() || content.endsWith('\n');
    ForEachLine(
        lastLineEnded ? content : content + '\n', [&](const QByteArray &line, bool inGroup, const QByteArray &key) {
            qsizetype i = 0;
            while (i < values.size() && !(inGroup && values[i].key == key))
                ++i;
            if (i < values.size()) {
                out += key + '=' + values[i].value + (line.endsWith("\r\n") ? "\r\n" : "\n");
                written[i] = true;
            } else {
                out += line;
            }
            if (inGroup && !line.trimmed().isEmpty())
                groupEnd = out.size();
        });
    QByteArray missing;
    for (qsizetype i = 0; i < values.size(); ++i)
        if (!written[i])
            missing += values[i].key + '=' + values[i].value + '\n';
    if (missing.isEmpty())
        return out;
    if (groupEnd >= 0)
        return out.insert(groupEnd, missing);
    if (!out.isEmpty())
        out += '\n';
    return out + '[' + Group + "]\n" + missing;
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
    const QList<IniValue> values {
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
    return WriteFileWhole(iniPath, WithValues(content, values), reason);
}
