#include "export.h"

#include "safefile.h"

bool ExportTimes(const QString &path, const QList<int> &times, QString *reason)
{
    QByteArray content;
    for (int time : times)
        content += QByteArray::number(time) + '\n';
    return WriteFileWhole(path, content, reason);
}
