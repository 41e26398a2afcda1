#include "debuglog.h"
#include "folders.h"
#include "settings.h"
#include "soundplayer.h"
#include "startup.h"

#include <QtTest>
#include <cmath>
#include <csignal>

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
    void fileNamesSurviveExactly_data();
    void fileNamesSurviveExactly();
    void signalsCloseTheProgramCleanly();
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
    QFile::remove(ini);
    QCOMPARE(ReadSettings(ini).maxDel, 7.0);
    QVERIFY(!QFile::exists(ini));

    QVERIFY(WriteSettings(ini, Settings())); // every key but cnt
    QCOMPARE(ReadAll(ini),
        "[Common]\nrandomPosition=true\nuseBox=false\nboxCom=0\nmaxDel=7\nminDel=2\nmaxAkkust=1000\nminAkkust=300\n"
        "enableWav=false\nwavFile=ding.wav\n");

    // What else the file holds stays as it stands, a hand-set cnt above all.
    WriteAll(ini, "; mine\r\n[Common]\r\ncnt=7\r\nminDel=9\r\n\r\n[Other]\r\nminDel=1\r\n");
    Settings s;
    s.minDel = 1.25;
    s.cnt = 5;
    QVERIFY(WriteSettings(ini, s));
    QVERIFY(ReadAll(ini).startsWith("; mine\r\n[Common]\r\ncnt=7\r\nminDel=1.25\r\nrandomPosition=true\n"));
    QVERIFY(ReadAll(ini).endsWith("wavFile=ding.wav\n\r\n[Other]\r\nminDel=1\r\n"));
    QCOMPARE(ReadSettings(ini).cnt, 7);
    QCOMPARE(ReadSettings(ini).minDel, 1.25);

    WriteAll(ini,
        "[Common]\nuseBox=maybe\nboxCom=abc\nmaxDel=inf\nminDel=nan\n"
        "minAkkust=99999999999999\nmaxAkkust=-7\n");
    s = ReadSettings(ini);
    QCOMPARE(s.useBox, true); // any text but false and 0 is true
    QCOMPARE(s.boxCom, 0);
    QVERIFY(std::isinf(s.maxDel) && std::isnan(s.minDel));
    QCOMPARE(s.minAkkust, 0); // too big for an int: does not convert, rather than wrap
    QCOMPARE(s.maxAkkust, -7);
    WriteAll(ini, QByteArray("\xff\xfe garbage \0 without structure", 30));
    QCOMPARE(ReadSettings(ini).cnt, 20);
    QVERIFY(WriteSettings(ini, s));
    QCOMPARE(ReadSettings(ini).maxAkkust, -7);
}

void TestApp::fileNamesSurviveExactly_data()
{
    QTest::addColumn<QByteArray>("typed"); // the line as typed into the file by hand; empty: written by us
    QTest::addColumn<QString>("name");

    QTest::newRow("typed: comma and blank")
        << QByteArray("wavFile=Klänge/Jürgen, sound.wav") << "Klänge/Jürgen, sound.wav";
    QTest::newRow("typed: Latin-1") << QByteArray("wavFile=J\xfcrgen.wav") << "Jürgen.wav";
    QTest::newRow("typed: blanks around") << QByteArray("wavFile =  a;b.wav \t") << "a;b.wav";
    QTest::newRow("typed: quoted") << QByteArray("wavFile=\" x, y.wav\"") << " x, y.wav";
    for (const char *name :
        {"/home/jürgen/Töne/a, b.wav", " lead and trail ", "quote\" back\\slash", "@at.wav", "semi;colon=equals",
            "tab\tline\nend\x01"
            "1F",
            "𝄞 clef.wav"})
        QTest::newRow(name) << QByteArray() << QString(name);
}

void TestApp::fileNamesSurviveExactly()
{
    QFETCH(QByteArray, typed);
    QFETCH(QString, name);
    const QString ini = temp.filePath("names.ini");
    Settings s;
    s.wavFile = name;
    if (typed.isEmpty())
        QVERIFY(WriteSettings(ini, s));
    else
        WriteAll(ini, "[Common]\n" + typed + "\n");
    QCOMPARE(ReadSettings(ini).wavFile, name);
    QVERIFY(WriteSettings(ini, s)); // and written back unharmed, in a form any reader takes
    QCOMPARE(ReadSettings(ini).wavFile, name);
    QCOMPARE(QSettings(ini, QSettings::IniFormat).value("Common/wavFile").toString(), name);
}

// Logout, shutdown and Ctrl+C close the program as its window does: settings and high scores saved.
void TestApp::signalsCloseTheProgramCleanly()
{
    for (const int signalNumber : {SIGTERM, SIGHUP, SIGINT}) {
        QTemporaryDir home;
        WriteAll(home.filePath("blinkdash.ini"), "[Common]\ncnt=7\n");
        WriteAll(home.filePath("blinkdash.txt"), "250   Anna\n");
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home.path());
        env.insert("XDG_CONFIG_HOME", home.path());
        program.setProcessEnvironment(env);
        program.start(qEnvironmentVariable("BLINKDASH_BIN_DIR") + "/blinkdash");
        QVERIFY(program.waitForStarted());
        // Sent once the program catches the signal; before, it would simply die.
        const QString status = QStringLiteral("/proc/%1/status").arg(program.processId());
        const auto catches = [&] {
            const QByteArray content = ReadAll(status);
            const QByteArray mask = content.mid(content.indexOf("SigCgt:") + 7, 17).trimmed();
            return (mask.toULongLong(nullptr, 16) >> (signalNumber - 1)) & 1;
        };
        QVERIFY(QTest::qWaitFor(catches, 20000));
        ::kill(static_cast<pid_t>(program.processId()), signalNumber);
        QVERIFY(program.waitForFinished(20000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        QVERIFY(ReadAll(home.filePath("blinkdash.ini")).startsWith("[Common]\ncnt=7\nrandomPosition=true\n"));
        QCOMPARE(ReadAll(home.filePath("blinkdash.txt")), QByteArray("250 Anna\n"));
    }
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
