#include "debuglog.h"
#include "folders.h"
#include "settings.h"
#include "soundplayer.h"
#include "startup.h"

#include <QtTest>
#include <cmath>

namespace {

QByteArray ReadAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteAll(const QString &path, const QByteArray &content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

} // namespace

class TestApp : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void normalizesFolders();
    void foldersComeFromTheProgramAndTheConfigFolder();
    void debugOptionIsMatchedExactly();
    void logAppendsAcrossStartsAndCutsLongLines();
    void settingsRoundTripAndHandEdits();
    void soundsAreFoundOrSilentlySkipped();

private:
    QTemporaryDir temp;
};

void TestApp::normalizesFolders()
{
    const QStringList cases[] = {{"/home/a/.config", "/home/a/.config/"}, {"/home/a/", "/home/a/"}, {"C:\\", "C:\\"},
        {"C:\\Users\\a\\Roaming", "C:\\Users\\a\\Roaming/"}, {"", "/"}};
    for (const QStringList &c : cases) {
        SetFolder(DataFolder, c[0]);
        QCOMPARE(DataPath("blinkdash.ini", DataFolder), c[1] + "blinkdash.ini");
    }
    SetFolder(0, "/ignored");
    SetFolder(9, "/ignored");
    QCOMPARE(FolderPath(0), QString());
    QCOMPARE(FolderPath(9), QString());
}

void TestApp::foldersComeFromTheProgramAndTheConfigFolder()
{
    const QString config = temp.filePath("not/yet/there");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config));
    SetUpFolders("/opt/flink/bin/blinkdash");
    QCOMPARE(FolderPath(ProgramFolder), QString("/opt/flink/bin/"));
    QCOMPARE(FolderPath(ExportFolder), QString("/opt/flink/bin/"));
    QCOMPARE(FolderPath(DataFolder), config + "/");
    QVERIFY(QFileInfo(config).isDir());

    // A config folder that cannot be made (a file stands in its way) falls back to home.
    WriteAll(temp.filePath("blocker"), "");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(temp.filePath("blocker/config")));
    SetUpFolders("blinkdash"); // relative: the current directory
    QCOMPARE(FolderPath(DataFolder), NormalizedFolder(QDir::homePath()));
    QCOMPARE(FolderPath(ProgramFolder), QDir::currentPath() + "/");
}

void TestApp::debugOptionIsMatchedExactly()
{
    QVERIFY(HasDebugOption({"blinkdash", "x", "-d"}));
    for (const char *other : {"-D", "--d", "-dd", "d", "-d "})
        QVERIFY2(!HasDebugOption({"blinkdash", other}), other);
    QVERIFY(!HasDebugOption({"-d"})); // the program's own name is no option
}

void TestApp::logAppendsAcrossStartsAndCutsLongLines()
{
    DebugLog("before opening, nobody hears this");
    InitFolders(temp.filePath("blinkdash"));
    SetFolder(DataFolder, temp.filePath("data"));
    const QString log = temp.filePath("blinkdash.dbg"); // next to the program, not in the data folder
    OpenDebugLogFile();
    DebugLog("start %d %d %d", 2000, 5000, 4321);
    DebugLogClose();
    OpenDebugLogFile();
    DebugLog("ends in a newline\n");
    DebugLog("%s", QByteArray(DebugLogLineMax + 500, 'x').constData());
    DebugLogClose();

    const QByteArray expected
        = "start 2000 5000 4321\nends in a newline\n\n" + QByteArray(DebugLogLineMax - 1, 'x') + "\n";
    QCOMPARE(ReadAll(log), expected);
}

void TestApp::settingsRoundTripAndHandEdits()
{
    const QString ini = temp.filePath("roundtrip.ini");
    const Settings defaults = ReadSettings(ini);
    QCOMPARE(defaults.cnt, 20);
    QCOMPARE(defaults.maxDel, 7.0);
    QCOMPARE(defaults.wavFile, QString("ding.wav"));
    QVERIFY(!QFile::exists(ini));

    Settings s;
    s.randomPosition = false;
    s.boxCom = 3;
    s.minDel = 1.25;
    s.cnt = 7;
    s.maxAkkust = 900;
    s.enableWav = true;
    s.wavFile = "/home/jürgen/Töne/a, b.wav";
    WriteSettings(ini, s);
    const Settings back = ReadSettings(ini);
    QCOMPARE(back.randomPosition, false);
    QCOMPARE(back.boxCom, 3);
    QCOMPARE(back.minDel, 1.25);
    QCOMPARE(back.cnt, 20); // never written
    QCOMPARE(back.maxAkkust, 900);
    QCOMPARE(back.enableWav, true);
    QCOMPARE(back.wavFile, s.wavFile);
    QVERIFY(ReadAll(ini).startsWith("[Common]\n"));
    QVERIFY(!ReadAll(ini).contains("cnt"));

    WriteAll(ini,
        "[Common]\nuseBox=maybe\nboxCom=abc\nmaxDel=inf\nminDel=nan\ncnt=-4\n"
        "minAkkust=99999999999999\nmaxAkkust=-7\nwavFile=a,b.wav\n");
    s = ReadSettings(ini);
    QCOMPARE(s.useBox, true); // any text but false and 0 is true
    QCOMPARE(s.boxCom, 0);
    QVERIFY(std::isinf(s.maxDel));
    QVERIFY(std::isnan(s.minDel));
    QCOMPARE(s.cnt, -4);
    QCOMPARE(s.minAkkust, 0); // too big for an int: does not convert, rather than wrap
    QCOMPARE(s.maxAkkust, -7);
    QCOMPARE(s.wavFile, QString("a,b.wav"));

    WriteAll(ini, QByteArray("\xff\xfe garbage \0 without structure", 30));
    QCOMPARE(ReadSettings(ini).cnt, 20);
}

void TestApp::soundsAreFoundOrSilentlySkipped()
{
    QTemporaryDir first, second;
    WriteAll(first.filePath("both.wav"), "RIFF, but nothing after it");
    WriteAll(second.filePath("both.wav"), "");
    WriteAll(second.filePath("late.wav"), "");
    const QStringList folders {first.path(), second.path()};
    QCOMPARE(ResolveSoundFile("both.wav", folders), first.filePath("both.wav"));
    QCOMPARE(ResolveSoundFile("late.wav", folders), second.filePath("late.wav"));
    QCOMPARE(ResolveSoundFile("missing.wav", folders), QString());
    QCOMPARE(ResolveSoundFile(second.path(), {}), QString()); // a folder is no sound
    QCOMPARE(SoundSearchFolders().value(0), QDir::currentPath());

    // Missing, broken and good files, one replacing the other: no crash, no message.
    SoundPlayer player;
    QSignalSpy requested(&player, &SoundPlayer::PlayRequested);
    for (const QString &name : {QString("missing.wav"), first.filePath("both.wav"),
             qEnvironmentVariable("BLINKDASH_BIN_DIR") + "/ding.wav", first.filePath("both.wav")})
        player.Play(name);
    QTest::qWait(100);
    QCOMPARE(requested.size(), 4);
}

QTEST_GUILESS_MAIN(TestApp)
#include "tst_app.moc"
