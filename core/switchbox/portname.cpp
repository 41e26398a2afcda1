#include "portname.h"

#include "folders.h"

#include <QFileInfo>

QString BoxPortLinkName(int n)
{
    return QStringLiteral("blinkdash-com%1").arg(n);
}

QStringList SerialDevices(const QString &devFolder)
{
    QStringList devices;
    for (const char *series : {"ttyS", "ttyUSB", "ttyACM"}) {
        for (int i = 0;; ++i) {
            const QString path = devFolder + QLatin1String(series) + QString::number(i);
            if (!QFileInfo::exists(path))
                break;
            devices.append(path);
        }
    }
    return devices;
}

QString NthSerialDevice(const QStringList &devices, int n)
{
    return n >= 1 && n <= devices.size() ? devices.at(n - 1) : QString();
}

QString BoxPortName(int n)
{
#ifdef Q_OS_WIN
    return n < 10 ? QStringLiteral("COM%1").arg(n) : QStringLiteral("\\\\.\\COM%1").arg(n);
#else
    const QString link = DataPath(BoxPortLinkName(n), DataFolder);
    if (QFileInfo(link).isSymLink())
        return link;
    return NthSerialDevice(SerialDevices(), n);
#endif
}
