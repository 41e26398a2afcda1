#include "soundfiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

QStringList SoundSearchFolders()
{
    const QString programFolder = QCoreApplication::applicationDirPath();
    return {QDir::currentPath(), programFolder, QDir::cleanPath(programFolder + QStringLiteral("/../share/blinkdash"))};
}

QString ResolveSoundFile(const QString &name, const QStringList &folders)
{
    if (name.isEmpty())
        return {};
    if (QDir::isAbsolutePath(name))
        return QFileInfo(name).isFile() ? name : QString();
    for (const QString &folder : folders) {
        const QString path = QDir(folder).filePath(name);
        if (QFileInfo(path).isFile())
            return path;
    }
    return {};
}
