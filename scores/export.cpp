#include "export.h"

#include <QSaveFile>

bool ExportTimes(const QString &path, const QList<int> &times)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray content;
    for (int time : times)
        content += QByteArray::number(time) + '\n';
    file.write(content);
    return file.commit();
}
