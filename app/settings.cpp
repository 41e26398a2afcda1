#include "settings.h"

#include <QSettings>
#include <QStringList>

namespace {

const char *const Group = "Common";

// QSettings reads an unquoted value containing a comma as a list; a hand-edited file name
// with a comma must still come back whole.
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
    return s;
}

void WriteSettings(const QString &iniPath, const Settings &s)
{
    QSettings ini(iniPath, QSettings::IniFormat);
    ini.beginGroup(QLatin1String(Group));
    ini.setValue(QStringLiteral("randomPosition"), s.randomPosition);
    ini.setValue(QStringLiteral("useBox"), s.useBox);
    ini.setValue(QStringLiteral("boxCom"), s.boxCom);
    ini.setValue(QStringLiteral("maxDel"), s.maxDel);
    ini.setValue(QStringLiteral("minDel"), s.minDel);
    ini.setValue(QStringLiteral("maxAkkust"), s.maxAkkust);
    ini.setValue(QStringLiteral("minAkkust"), s.minAkkust);
    ini.setValue(QStringLiteral("enableWav"), s.enableWav);
    ini.setValue(QStringLiteral("wavFile"), s.wavFile);
    ini.endGroup();
    ini.sync();
}
