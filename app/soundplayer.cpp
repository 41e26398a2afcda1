#include "soundplayer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSoundEffect>
#include <QUrl>

SoundPlayer::SoundPlayer(QObject *parent)
    : QObject(parent)
{ }

void SoundPlayer::Preload(const QString &name)
{
    Effect(name);
}

void SoundPlayer::Play(const QString &name)
{
    Q_EMIT PlayRequested(name);
    QSoundEffect *effect = Effect(name);
    if (current && current != effect)
        current->stop();
    current = effect;
    if (!effect)
        return;
    effect->stop(); // a sound already playing starts again from its beginning
    effect->play();
}

QSoundEffect *SoundPlayer::Effect(const QString &name)
{
    const QString path = ResolveSoundFile(name, SoundSearchFolders());
    if (path.isEmpty())
        return nullptr;
    QSoundEffect *&effect = effects[path];
    if (effect && effect->status() == QSoundEffect::Error) {
        // The file may have been repaired since; try it afresh.
        if (current == effect)
            current = nullptr;
        effect->deleteLater();
        effect = nullptr;
    }
    if (!effect) {
        effect = new QSoundEffect(this);
        effect->setSource(QUrl::fromLocalFile(path));
    }
    return effect;
}

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
