#include "soundfiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

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

bool IsWholeWavFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray riff = file.read(12);
    if (riff.size() < 12 || !riff.startsWith("RIFF") || riff.mid(8) != "WAVE")
        return false;
    bool format = false;
    for (qint64 pos = 12; file.seek(pos);) {
        const QByteArray chunk = file.read(8);
        if (chunk.size() < 8)
            return false;
        const qint64 length = qFromLittleEndian<quint32>(chunk.constData() + 4);
        if (chunk.startsWith("data"))
            return format && pos + 8 + length <= file.size();
        format = format || chunk.startsWith("fmt ");
        pos += 8 + length + (length & 1); // chunks are padded to an even length
    }
    return false;
}
