#pragma once

#include <QHash>
#include <QObject>
#include <QString>

class QSoundEffect;

// Plays WAV files asynchronously. A new sound replaces one still playing, and every failure (a
// missing or unreadable file, no audio device) is silent: a sound is never worth an error.
class SoundPlayer : public QObject
{
    Q_OBJECT

public:
    explicit SoundPlayer(QObject *parent = nullptr);

    // Loads the file ahead, so that its first Play starts without a decoding delay.
    void Preload(const QString &name);
    void Play(const QString &name);

Q_SIGNALS:
    // Every Play, whether or not the file turns out to be playable.
    void PlayRequested(const QString &name);

private:
    QSoundEffect *Effect(const QString &name);

    QHash<QString, QSoundEffect *> effects; // by resolved path; owned as children
    QSoundEffect *current = nullptr;
};
