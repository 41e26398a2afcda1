#include "soundplayer.h"

#include "soundfiles.h"

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
    if (path.isEmpty() || !IsWholeWavFile(path)) // Qt would wait for the rest of a cut file forever
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
