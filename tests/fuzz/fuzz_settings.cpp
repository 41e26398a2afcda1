// libFuzzer target: whatever a settings file holds, writing the program's keys into it leaves
// QSettings, and the program's own reader, reading exactly the values written, and every other key
// as it was. QSettings is asked after reading every section (a lookup alone may not see [Common]).

#include "settings.h"

#include <QFile>
#include <QMap>
#include <QSettings>
#include <QTemporaryDir>

#include <cstdlib>

namespace {

// Each file under a name of its own: QSettings keeps files it read and rereads one only when its
// size or time changed.
QString Written(const QByteArray &content)
{
    static QTemporaryDir dir;
    static int files = 0;
    const QString path = dir.filePath(QString::number(++files));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        std::abort();
    return path;
}

QMap<QString, QVariant> Keys(const QString &path)
{
    QMap<QString, QVariant> keys;
    QSettings ini(path, QSettings::IniFormat);
    for (const QString &key : ini.allKeys()) {
        // Keys value() cannot name: "[Common/]\nx=1" gives "Common//x", read as "Common/x"; nor "".
        if (!key.isEmpty() && !key.contains(QLatin1String("//")) && !key.startsWith(QLatin1Char('/'))
            && !key.endsWith(QLatin1Char('/')))
            keys.insert(key, ini.value(key));
    }
    return keys;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // The first byte chooses the switches and how many of the next bytes name the sound; the rest is
    // the file.
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const int choice = bytes.isEmpty() ? 0 : static_cast<unsigned char>(bytes[0]);
    Settings s;
    s.wavFile = QString::fromUtf8(bytes.mid(1, choice % 24));
    s.randomPosition = choice & 0x20;
    s.useBox = choice & 0x40;
    s.enableWav = !(choice & 0x20);
    s.boxCom = choice;
    s.minDel = 0.5;
    s.maxDel = choice / 7.0;
    s.minAkkust = -choice;
    if (choice & 0x80)
        s.screenLatency = ScreenLatency {12.5, 0.25, QStringLiteral("2026-01-02T03:04:05+01:00"), s.wavFile};
    const QByteArray content = bytes.mid(1 + choice % 24);
    // QDataStream's own parser is not under test here.
    if (content.contains("@Variant(") || content.contains("@DateTime("))
        return 0;

    const QString path = Written(content);
    QMap<QString, QVariant> before = Keys(path);
    if (!WriteSettings(path, s))
        std::abort();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        std::abort();
    const QString after = Written(file.readAll());

    const Settings read = ReadSettings(after);
    if (read.wavFile != s.wavFile || read.randomPosition != s.randomPosition || read.useBox != s.useBox
        || read.enableWav != s.enableWav || read.boxCom != s.boxCom || read.minDel != s.minDel
        || read.maxDel != s.maxDel || read.minAkkust != s.minAkkust || read.maxAkkust != s.maxAkkust)
        std::abort();
    if (s.screenLatency
        && (!read.screenLatency || read.screenLatency->ms != s.screenLatency->ms
            || read.screenLatency->size != s.screenLatency->size))
        std::abort();
    QMap<QString, QVariant> others = Keys(after);
    if (others.value(QStringLiteral("Common/wavFile")).toString() != s.wavFile)
        std::abort();
    QStringList ours {"randomPosition", "useBox", "boxCom", "maxDel", "minDel", "maxAkkust", "minAkkust", "enableWav",
        "wavFile", "lightTimed", "lightButton", "task", "serverHost", "serverPort", "serverDatabase", "serverUser",
        "serverGroup", "serverSslMode"}; // the last ones written where the file has them
    if (s.screenLatency)
        ours << QStringList {
            "screenLatency", "screenLatencySd", "screenLatencyDate", "screenLatencySize", "screenLatencyCorrection"};
    for (const QString &key : ours) {
        before.remove("Common/" + key);
        others.remove("Common/" + key);
    }
    if (others != before)
        std::abort();
    QFile::remove(path);
    QFile::remove(after);
    return 0;
}
