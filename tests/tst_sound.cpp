#include "soundplayer.h"

#include <QSoundEffect>
#include <QtEndian>
#include <QtTest>

class TestSound : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void resolvesNamesInOrder();
    void generatedDingIsAShortPcmWave();
    void playingIsSilentAboutFailures();
};

void TestSound::resolvesNamesInOrder()
{
    QTemporaryDir first, second;
    for (const QString &path : {first.filePath("both.wav"), second.filePath("both.wav"), second.filePath("late.wav")}) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    const QStringList folders {first.path(), second.path()};
    QCOMPARE(ResolveSoundFile("both.wav", folders), first.filePath("both.wav"));
    QCOMPARE(ResolveSoundFile("late.wav", folders), second.filePath("late.wav"));
    QCOMPARE(ResolveSoundFile("missing.wav", folders), QString());
    QCOMPARE(ResolveSoundFile("", folders), QString());
    QCOMPARE(ResolveSoundFile(second.filePath("late.wav"), {}), second.filePath("late.wav"));
    QCOMPARE(ResolveSoundFile(second.path(), {}), QString()); // a folder is no sound

    // The current directory comes first, as a relative name has always meant.
    QCOMPARE(SoundSearchFolders().value(0), QDir::currentPath());
}

void TestSound::generatedDingIsAShortPcmWave()
{
    QFile file(qEnvironmentVariable("BLINKDASH_BIN_DIR") + "/ding.wav");
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
    const QByteArray wav = file.readAll();
    QVERIFY(wav.size() > 44);
    const auto u16 = [&](int at) { return qFromLittleEndian<quint16>(wav.constData() + at); };
    const auto u32 = [&](int at) { return qFromLittleEndian<quint32>(wav.constData() + at); };
    QCOMPARE(wav.mid(0, 4), QByteArray("RIFF"));
    QCOMPARE(u32(4), quint32(wav.size() - 8));
    QCOMPARE(wav.mid(8, 8), QByteArray("WAVEfmt "));
    QCOMPARE(u16(20), quint16(1)); // PCM
    QCOMPARE(u16(22), quint16(1)); // mono
    QCOMPARE(u32(24), quint32(44100));
    QCOMPARE(u16(34), quint16(16));
    QCOMPARE(wav.mid(36, 4), QByteArray("data"));
    QCOMPARE(u32(40), quint32(wav.size() - 44));

    const double seconds = (wav.size() - 44) / 2 / 44100.0;
    QVERIFY(seconds > 0.1 && seconds < 0.5);
    int peak = 0;
    for (int at = 44; at + 1 < wav.size(); at += 2)
        peak = qMax(peak, qAbs(int(qFromLittleEndian<qint16>(wav.constData() + at))));
    QVERIFY(peak > 10000 && peak < 32767); // audible, not clipped
}

void TestSound::playingIsSilentAboutFailures()
{
    QTemporaryDir temp;
    QFile broken(temp.filePath("broken.wav"));
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write("RIFF, but nothing after it");
    broken.close();

    SoundPlayer player;
    QSignalSpy requested(&player, &SoundPlayer::PlayRequested);
    player.Play("no such sound.wav");
    player.Play(broken.fileName());
    player.Play(qEnvironmentVariable("BLINKDASH_BIN_DIR") + "/ding.wav");
    player.Play(broken.fileName()); // replaces the ding still playing
    QTest::qWait(100);
    QCOMPARE(requested.size(), 4);
    QCOMPARE(requested.at(0).at(0).toString(), QString("no such sound.wav"));
}

QTEST_MAIN(TestSound)
#include "tst_sound.moc"
