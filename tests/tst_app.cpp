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
    void folders();
    void debugOptionAndLog();
    void settingsFile();
    void soundsAreFoundOrSilentlySkipped();

private:
    QTemporaryDir temp;
};

void TestApp::folders()
{
    for (const auto &[folder, normalized] : {std::pair {"C:\\", "C:\\"},
             {"C:\\Users\\a\\Roaming", "C:\\Users\\a\\Roaming/"}, {"/home/a/", "/home/a/"}, {"", "/"}}) {
        SetFolder(DataFolder, folder);
        QCOMPARE(DataPath("blinkdash.ini", DataFolder), QString(normalized) + "blinkdash.ini");
    }
    SetFolder(0, "/ignored");
    QCOMPARE(FolderPath(0) + FolderPath(9), QString());

    const QString config = temp.filePath("not/yet/there");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config));
    SetUpFolders("/opt/flink/bin/blinkdash");
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

void TestApp::debugOptionAndLog()
{
    QVERIFY(HasDebugOption({"blinkdash", "x", "-d"}));
    for (const char *other : {"-D", "--d", "-dd", "-d "})
        QVERIFY2(!HasDebugOption({"blinkdash", other}), other);
    QVERIFY(!HasDebugOption({"-d"})); // the program's own name is no option

    DebugLog("before opening, nobody hears this");
    InitFolders(temp.filePath("blinkdash"));
    SetFolder(DataFolder, temp.filePath("data"));
    OpenDebugLogFile();
    DebugLog("start %d %d %d", 2000, 5000, 4321);
    DebugLogClose();
    OpenDebugLogFile(); // a second program start appends
    DebugLog("ends in a newline\n");
    DebugLog("%s", QByteArray(DebugLogLineMax + 500, 'x').constData());
    DebugLogClose();
    // Next to the program, not in the data folder; the long line cut to the buffer.
    QCOMPARE(ReadAll(temp.filePath("blinkdash.dbg")),
        "start 2000 5000 4321\nends in a newline\n\n" + QByteArray(DebugLogLineMax - 1, 'x') + "\n");

    // An installed program's folder cannot be written (a file stands in for it, as root could
    // write any folder): the log goes to the data folder.
    QVERIFY(QDir().mkpath(temp.filePath("data")));
    SetFolder(ProgramFolder, temp.filePath("blinkdash.dbg"));
    OpenDebugLogFile();
    DebugLog("installed");
    DebugLogClose();
    QCOMPARE(ReadAll(temp.filePath("data/blinkdash.dbg")), QByteArray("installed\n"));
}

void TestApp::settingsFile()
{
    const QString ini = temp.filePath("blinkdash.ini");
    QCOMPARE(ReadSettings(ini).maxDel, 7.0);
    QVERIFY(!QFile::exists(ini));

    Settings s;
    s.minDel = 1.25;
    s.cnt = 7;
    s.wavFile = "/home/jürgen/Töne/a, b.wav";
    WriteSettings(ini, s);
    const Settings back = ReadSettings(ini);
    QCOMPARE(back.minDel, 1.25);
    QCOMPARE(back.cnt, 20); // never written
    QCOMPARE(back.wavFile, s.wavFile);
    QVERIFY(ReadAll(ini).startsWith("[Common]\n"));

    WriteAll(ini,
        "[Common]\nuseBox=maybe\nboxCom=abc\nmaxDel=inf\nminDel=nan\n"
        "minAkkust=99999999999999\nmaxAkkust=-7\nwavFile=a,b.wav\n");
    s = ReadSettings(ini);
    QCOMPARE(s.useBox, true); // any text but false and 0 is true
    QCOMPARE(s.boxCom, 0);
    QVERIFY(std::isinf(s.maxDel) && std::isnan(s.minDel));
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
    QCOMPARE(ResolveSoundFile("missing.wav", folders) + ResolveSoundFile(second.path(), {}), QString());
    QCOMPARE(SoundSearchFolders().value(0), QDir::currentPath());

    // Missing, broken and good files, one replacing the other: no crash, no message.
    SoundPlayer player;
    for (const QString &name : {QString("missing.wav"), first.filePath("both.wav"),
             qEnvironmentVariable("BLINKDASH_BIN_DIR") + "/ding.wav", first.filePath("both.wav")})
        player.Play(name);
    QTest::qWait(100);
}

QTEST_GUILESS_MAIN(TestApp)
#include "tst_app.moc"
