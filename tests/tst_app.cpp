#include "safefile.h"
#include "settings.h"
#include "soundfiles.h"
#include "startup.h"
#include "termination.h"
#include "testfolder.h"

#include <QtTest>
#include <cmath>
#include <csignal>
#include <linux/input.h>
#include <sys/ioctl.h>
#include <unistd.h>

// The application frame: folders, the debug log, the settings file, and closing on signals.
class TestApp : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { folder = std::make_unique<TestFolder>(); }
    void cleanup() { folder.reset(); }
    void foldersAndTheDebugLog();
    void settingsFileKeepsWhatItDoesNotOwn();
    void settingsGoWhereQSettingsReadsThem_data();
    void settingsGoWhereQSettingsReadsThem();
    void soundAndExportFiles();
    void programAsAProcess_data();
    void programAsAProcess();
    void signalsIgnoredAtStartStayIgnored();

private:
    std::unique_ptr<TestFolder> folder;
};

void TestApp::foldersAndTheDebugLog()
{
    QCOMPARE(NormalizedFolder("C:\\"), QString("C:\\"));
    QCOMPARE(NormalizedFolder("C:\\a"), QString("C:\\a/"));
    QCOMPARE(NormalizedFolder(""), QString("/"));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(folder->Path("not/yet/there")));
    // An installed program's folder (one that cannot be written, or holds the program beside its
    // share folder) is not offered: exports start among the user's documents, or at home.
    SetUpFolders("/opt/flink/bin/blinkdash");
    QCOMPARE(FolderPath(ExportFolder), NormalizedFolder(QDir::homePath()));
    QVERIFY(QDir().mkpath(folder->Path("Dokumente")));
    QVERIFY(folder->Write("not/yet/there/user-dirs.dirs",
        "XDG_DOCUMENTS_DIR=\"" + QFile::encodeName(folder->Path("Dokumente")) + "\"\n"));
    SetUpFolders("/opt/flink/bin/blinkdash");
    QCOMPARE(FolderPath(ExportFolder), folder->Path("Dokumente/"));
    QVERIFY(QDir().mkpath(folder->Path("usr/bin")) && QDir().mkpath(folder->Path("usr/share/blinkdash")));
    SetUpFolders(folder->Path("usr/bin/blinkdash"));
    QCOMPARE(FolderPath(ExportFolder), folder->Path("Dokumente/"));
    QCOMPARE(FolderPath(DataFolder), folder->Path("not/yet/there/"));
    QVERIFY(QFileInfo(folder->Path("not/yet/there")).isDir());
    // A config folder that cannot be made (a file stands in its way) falls back to home.
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(folder->Path("log/config")));
    SetUpFolders("blinkdash"); // relative: the current directory
    QCOMPARE(FolderPath(DataFolder), NormalizedFolder(QDir::homePath()));
    QCOMPARE(FolderPath(ProgramFolder), QDir::currentPath() + "/");
    QCOMPARE(FolderPath(ExportFolder), QDir::currentPath() + "/");

    QVERIFY(HasDebugOption({"blinkdash", "x", "-d"}));
    for (const QStringList &other : {QStringList {"-d"}, {"blinkdash", "-D"}, {"blinkdash", "--d"}, {"x", "-d "}})
        QVERIFY(!HasDebugOption(other)); // matched exactly, and the program's own name is no option
    // Next to the program, appended at each start, a long line cut to the buffer; where an installed
    // program's folder cannot be written (a file stands in for it, as root may write any folder),
    // in the data folder.
    InitFolders(folder->Path("blinkdash"));
    SetFolder(DataFolder, folder->Path("data"));
    QVERIFY(QDir().mkpath(folder->Path("data")));
    for (const QByteArray &line :
        {QByteArray("ends in a newline\n"), QByteArray(DebugLogLineMax + 500, 'x'), QByteArray("installed")}) {
        if (line == "installed")
            SetFolder(ProgramFolder, folder->Path("log"));
        OpenDebugLogFile();
        DebugLog("%s", line.constData());
    }
    DebugLogClose();
    QCOMPARE(folder->Read("blinkdash.dbg"), "ends in a newline\n\n" + QByteArray(DebugLogLineMax - 1, 'x') + "\n");
    QCOMPARE(folder->Read("data/blinkdash.dbg"), QByteArray("installed\n"));
}

void TestApp::settingsFileKeepsWhatItDoesNotOwn()
{
    const QString ini = folder->Path("blinkdash.ini");
    // Values typed by hand that no program of ours writes are none: a screen latency a box could not
    // have measured, a size for "Verlauf" no screen has.
    for (const char *line : {"screenLatency=3e9", "screenLatency=-5", "screenLatency=nan", "screenLatency=abc",
             "historySize=0x700", "historySize=900", "historySize=900x700x1", "historySize=99999x700"}) {
        QVERIFY(folder->Write("blinkdash.ini", QByteArray("[Common]\n") + line));
        QVERIFY2(!ReadSettings(ini).screenLatency && !ReadSettings(ini).historySize, line);
    }
    QVERIFY(folder->Write("blinkdash.ini", "[Common]\nscreenLatency=23.4\nscreenLatencySd=nan\n"));
    QCOMPARE(ReadSettings(ini).screenLatency->ms, 23.4);
    QCOMPARE(ReadSettings(ini).screenLatency->sdMs, 0.0);
    QVERIFY(QFile::remove(ini));
    QVERIFY(WriteSettings(ini, Settings())); // a first start: every key but cnt
    QCOMPARE(folder->Read("blinkdash.ini"),
        "[Common]\nrandomPosition=true\nuseBox=false\nboxCom=0\nmaxDel=7\nminDel=2\nmaxAkkust=1000\nminAkkust=300\n"
        "enableWav=false\nwavFile=ding.wav\nlightTimed=false\nlightButton=false\n");

    // Numbers that do not convert give 0, not a wrapped number; a switch is off only for "false"
    // (in any case), "0" or nothing, so any other word turns it on; garbage gives the defaults.
    folder->Write("blinkdash.ini",
        "[Common]\nuseBox=maybe\nrandomPosition=FALSE\nboxCom=abc\nmaxDel=inf\nminAkkust=99999999999\n");
    Settings s = ReadSettings(ini);
    QVERIFY(s.useBox);
    QVERIFY(!s.randomPosition);
    QCOMPARE(s.boxCom, 0);
    QCOMPARE(s.minAkkust, 0);
    QVERIFY(std::isinf(s.maxDel));
    folder->Write("blinkdash.ini", QByteArray("\xff\xfe garbage \0 without structure", 30));
    QCOMPARE(ReadSettings(ini).cnt, 20);
    QVERIFY(WriteSettings(ini, s) && std::isinf(ReadSettings(ini).maxDel));

    s.historySize = QSize(900, 700); // the size "Verlauf" was left at comes back
    QVERIFY(WriteSettings(ini, s) && ReadSettings(ini).historySize == QSize(900, 700));
}

// Hand-edited files as QSettings reads them, and sound names of every kind: our values come back
// (a sound typed by hand as typed), every other key and the one group stay as they were.
void TestApp::settingsGoWhereQSettingsReadsThem_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("typed"); // the sound as read from the file; null: not checked
    QTest::addColumn<QString>("sound"); // as written
    QTest::addColumn<int>("groups");    // "[Common]" in the file written
    const auto row = [](const char *name, const QByteArray &content, int groups = 1) {
        QTest::newRow(name) << content << QString() << QString("a, b.wav") << groups;
    };
    // A hand-set cnt above all, comments, other groups, a quoted value over two lines like a key of ours.
    row("what the file holds besides",
        "; mine\r\n[Common]\r\ncnt=7\r\nminDel=9 ; by hand\r\n\r\n[Other] ; "
        "notes\r\nnote=\"a\nwavFile=x\"\r\nminDel=1");
    row("old Mac line ends", "[Common]\rrandomPosition=true\r[Other]\nx=1\n");
    row("an unclosed quote", "[Common]\nwavFile=\"C:\\Sounds\\ding.wav\n");
    row("a line break escaped", "[Common]\r\nx=a\\\r\nminDel=1\r\n[Other]\r\ny=b\\\r\n");
    row("an escaped CR at the end", "[Common]\nx=a\\\r");
    row("an escaped LF CR at the end, quoted", "[Common]\nx=\"a\\\n\r");
    row("a BOM", "\xef\xbb\xbf[Common]\r\ncnt=7\r\n");
    row("a group inside ours", "[Common]\nminDel=3\n[Common/Advanced]\nx=1\n");
    row("not a group: a vertical tab before it", "[Other]\nx=1\n\v[Common]\n", 2);
    const auto typed = [](const char *name, const QByteArray &line, const QString &sound) {
        QTest::newRow(name) << "[Common]\n" + line + "\n" << sound << sound << 1;
    };
    typed("typed: comma, blank", "wavFile=Klänge/Jürgen, sound.wav", "Klänge/Jürgen, sound.wav");
    typed("typed: blanks, comment", "wavFile =  a b.wav \t; the bell", "a b.wav");
    typed("typed: backslashes", "wavFile=C:\\Kl\xe4nge\\ding.wav", "C:\\Klänge\\ding.wav");
    typed("typed: quoted", "wavFile=\" x, y.wav\"", " x, y.wav");
    for (const char *name : {" lead ", "quote\" back\\slash", "@at.wav", "semi;colon=equals",
             "tab\tline\nend\x01"
             "1F",
             "𝄞 clef.wav", "\uFEFFbom.wav"})
        QTest::newRow(name) << QByteArray() << QString() << QString(name) << 1;
}

void TestApp::settingsGoWhereQSettingsReadsThem()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, typed);
    QFETCH(QString, sound);
    const QString ini = folder->Path("blinkdash.ini");
    const QStringList ours {"randomPosition", "useBox", "boxCom", "maxDel", "minDel", "maxAkkust", "minAkkust",
        "enableWav", "wavFile", "lightTimed", "lightButton"};
    const auto others = [&] { // every key but ours
        QSettings settings(ini, QSettings::IniFormat);
        QVariantMap all;
        for (const QString &key : settings.allKeys())
            if (!key.startsWith("Common/") || !ours.contains(key.mid(7)))
                all.insert(key, settings.value(key));
        return all;
    };
    QVERIFY(folder->Write("blinkdash.ini", content));
    const QVariantMap before = others();
    if (!typed.isNull())
        QCOMPARE(ReadSettings(ini).wavFile, typed);
    Settings s;
    s.minDel = 1.25;
    s.wavFile = sound;
    QVERIFY(WriteSettings(ini, s) && WriteSettings(ini, s)); // the second over its own value
    QCOMPARE(ReadSettings(ini).minDel, 1.25);
    QCOMPARE(ReadSettings(ini).wavFile, sound);
    QCOMPARE(QSettings(ini, QSettings::IniFormat).value("Common/wavFile").toString(), sound);
    QCOMPARE(others(), before);
    QTEST(int(folder->Read("blinkdash.ini").count("[Common]")), "groups");
}

// Sounds are looked for in order; a cut file is no sound: Qt's decoder would wait for its rest
// forever, and the program hang on letting it go.
void TestApp::soundAndExportFiles()
{
    QVERIFY(QDir().mkpath(folder->Path("b")) && folder->Write("both.wav", {}) && folder->Write("b/both.wav", {}));
    QCOMPARE(ResolveSoundFile("both.wav", SoundSearchFolders()), folder->Path("both.wav")); // the current folder first
    QCOMPARE(ResolveSoundFile("missing.wav", {folder->Path("b")}), QString());
    QCOMPARE(ResolveSoundFile(folder->Path("b"), {}), QString()); // a folder is no sound
    QFile ding(qEnvironmentVariable("BLINKDASH_BIN_DIR") + "/ding.wav");
    QVERIFY(ding.open(QIODevice::ReadOnly));
    const QByteArray wav = ding.readAll();
    QVERIFY(IsWholeWavFile(ding.fileName()) && !IsWholeWavFile(folder->Path("missing.wav")));
    for (qsizetype cut : {qsizetype(0), qsizetype(4), qsizetype(20), qsizetype(44), wav.size() - 1})
        QVERIFY2(folder->Write("cut.wav", wav.left(cut)) && !IsWholeWavFile(folder->Path("cut.wav")),
            qPrintable(QString::number(cut)));

    // The times exported to /dev/stdout of a program whose output goes to a file: they must reach the
    // file the shell opened, not a new one put in its place.
    QFile out(folder->Path("out.txt"));
    QVERIFY(out.open(QIODevice::ReadWrite));
    QVERIFY(WriteFileWhole(QStringLiteral("/proc/self/fd/%1").arg(out.handle()), "250\n"));
    QCOMPARE(out.readAll(), QByteArray("250\n"));
}

// A keyboard for the program started as a process: Qt's evdev input reads its key events from a
// pipe, the program's /dev/fd/N.
struct PipeKeyboard
{
    PipeKeyboard() { QVERIFY(::pipe(fds) == 0); }
    ~PipeKeyboard()
    {
        ::close(fds[0]);
        ::close(fds[1]);
    }
    QString Plugin() const { return QStringLiteral("evdevkeyboard:/dev/fd/%1").arg(fds[0]); }
    void Press(unsigned short key) const
    {
        for (const int value : {1, 0}) { // down, up
            const input_event events[] = {{{}, EV_KEY, key, value}, {{}, EV_SYN, SYN_REPORT, 0}};
            QCOMPARE(::write(fds[1], events, sizeof events), ssize_t(sizeof events));
        }
    }
    bool Taken() const // the program has read every key
    {
        int unread = -1;
        return ::ioctl(fds[0], FIONREAD, &unread) == 0 && unread == 0;
    }

    int fds[2] = {-1, -1}; // read, write
};

// The program as a process. Help and version on standard output, without a display too; without
// one, a line that says so and status 1, where Qt would abort. Logout, shutdown and Ctrl+C close it
// as its window does: settings and high scores saved. Its warning is a cut file, which Qt would
// wait for forever, so that the program would hang.
void TestApp::programAsAProcess_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("display");    // DISPLAY; empty: not set; "offscreen": the tests' own
    QTest::addColumn<int>("signalNumber");   // sent once the program catches it; 0: none
    QTest::addColumn<QByteArray>("journal"); // none: empty; else a screen run is started with Enter
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("out"); // regular expressions for all of standard output and error
    QTest::addColumn<QString>("err");
    QTest::newRow("-h, after an option of Qt's")
        << QStringList {"-platform", "xcb", "-h"} << "" << 0 << QByteArray() << 0
        << "Usage: \\S*blinkdash \\[options\\]\n(.*\n)*  -d +Append a trace of every run to blinkdash.dbg.\n"
        << "";
    QTest::newRow("--version") << QStringList {"--version"} << "" << 0 << QByteArray() << 0 << "blinkdash \\d+\\.\\d+\n"
                               << "";
    QTest::newRow("no display; an option of Qt's with an h is no -h")
        << QStringList {"-stylesheet", "none.qss", "-d"} << "" << 0 << QByteArray() << 1 << ""
        << "blinkdash: no display to open the window on \\(DISPLAY not set, WAYLAND_DISPLAY not set\\)\n";
    QTest::newRow("an X display that is not there")
        << QStringList() << ":4242" << 0 << QByteArray() << 1 << ""
        << "blinkdash: no display to open the window on \\(DISPLAY :4242, .*\\)\n";
    QTest::newRow("SIGHUP") << QStringList() << "offscreen" << int(SIGHUP) << QByteArray() << 0 << ""
                            << "[\\s\\S]*";
    // The run the close stops cannot be stored: no message may wait for a person who has logged out.
    QTest::newRow("SIGTERM in a run, the journal not ours")
        << QStringList() << "offscreen" << int(SIGTERM) << QByteArray("300 Anna\n") << 0 << ""
        << "[\\s\\S]*";
}

void TestApp::programAsAProcess()
{
    QFETCH(QString, display);
    QFETCH(int, signalNumber);
    QFETCH(QByteArray, journal);
    QFile ding(qEnvironmentVariable("BLINKDASH_BIN_DIR") + "/ding.wav");
    QVERIFY(ding.open(QIODevice::ReadOnly) && folder->Write("cut.wav", ding.read(1000)));
    folder->Write("blinkdash.ini", "[Common]\ncnt=7\nenableWav=true\nwavFile=cut.wav\n");
    folder->Write("blinkdash.txt", "250   Anna\n");
    if (!journal.isEmpty())
        folder->Write("blinkdash.sqlite", journal);
    PipeKeyboard keyboard;
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (display != "offscreen") // else none the program could reach
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_SESSION_TYPE"})
            env.remove(name);
    if (display.startsWith(':'))
        env.insert("DISPLAY", display);
    env.insert("XDG_CONFIG_HOME", folder->Path());
    env.insert("QT_QPA_GENERIC_PLUGINS", keyboard.Plugin());
    program.setProcessEnvironment(env);
    QFETCH(QStringList, arguments);
    program.start(qEnvironmentVariable("BLINKDASH_BIN_DIR") + "/blinkdash", arguments);
    QVERIFY(program.waitForStarted()); // till then, its status is the test's own, which catches signals
    const auto catches = [&] {
        QFile file(QStringLiteral("/proc/%1/status").arg(program.processId()));
        const QByteArray status = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        const QByteArray mask = status.mid(status.indexOf("SigCgt:") + 7, 17).trimmed();
        return (mask.toULongLong(nullptr, 16) >> (signalNumber - 1)) & 1;
    };
    if (signalNumber != 0) { // before the program catches it, the signal would simply kill it
        QVERIFY(QTest::qWaitFor(catches, 20000));
        if (!journal.isEmpty()) { // "Los geht's ..." has the focus and takes Enter, once the window is up
            keyboard.Press(KEY_ENTER);
            QVERIFY(QTest::qWaitFor([&] { return keyboard.Taken(); }, 20000));
            QTest::qWait(500);
        }
        ::kill(static_cast<pid_t>(program.processId()), signalNumber);
    }
    QVERIFY(program.waitForFinished(20000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QTEST(program.exitCode(), "code");
    QFETCH(QString, out);
    QFETCH(QString, err);
    for (const auto &[output, pattern] :
        {std::pair(program.readAllStandardOutput(), out), std::pair(program.readAllStandardError(), err)}) {
        const QRegularExpression whole(QRegularExpression::anchoredPattern(pattern));
        QVERIFY2(whole.match(output).hasMatch(), output.constData());
    }
    if (signalNumber == 0)
        return;
    QVERIFY(
        folder->Read("blinkdash.ini").startsWith("[Common]\ncnt=7\nenableWav=true\nwavFile=cut.wav\nrandomPosition="));
    QCOMPARE(folder->Read("blinkdash.txt"), QByteArray("250 Anna\n"));
    if (!journal.isEmpty()) // the file left as it was; tst_windows checks the run waiting beside it
        QCOMPARE(folder->Read("blinkdash.sqlite"), journal);
}

// Started under nohup, the program must outlive the hang-up; the first signal it catches gives
// the signals back their earlier action.
void TestApp::signalsIgnoredAtStartStayIgnored()
{
    const auto action = [](int signalNumber) {
        struct sigaction current = {};
        sigaction(signalNumber, nullptr, &current);
        return current.sa_handler;
    };
    std::signal(SIGHUP, SIG_IGN);
    const auto before = action(SIGTERM);
    {
        TerminationWatcher watcher;
        QSignalSpy received(&watcher, &TerminationWatcher::Received);
        QVERIFY(action(SIGHUP) == SIG_IGN && action(SIGTERM) != before);
        std::raise(SIGHUP);
        std::raise(SIGTERM);
        QTRY_COMPARE(received, QList<QList<QVariant>>({{SIGTERM}}));
        QVERIFY(action(SIGTERM) == before);
    }
    QVERIFY(action(SIGHUP) == SIG_IGN);
    std::signal(SIGHUP, SIG_DFL);
}

QTEST_GUILESS_MAIN(TestApp)
#include "tst_app.moc"
