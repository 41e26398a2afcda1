#include "debuglog.h"
#include "folders.h"
#include "startup.h"

#include <QtTest>

namespace {

QStringList ReadLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromLatin1(file.readAll()).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

QStringList callbackLines;
void CollectLine(const char *line)
{
    callbackLines.append(QString::fromLatin1(line));
    DebugLog("from the callback"); // must be dropped, not recurse
}

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { DebugLogClose(); }

    void normalizesFolders_data();
    void normalizesFolders();
    void kindsOutsideTheTableAreIgnored();
    void initSetsEveryKindToTheProgramFolder();
    void dataFolderIsTheConfigFolderOrHome();
    void debugOptionIsMatchedExactly_data();
    void debugOptionIsMatchedExactly();
    void logWritesNothingUntilOpened();
    void logAppendsAcrossStarts();
    void logLinesAreWholeAndCut();
    void logCallbackCannotRecurse();
};

void TestStartup::normalizesFolders_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("normalized");
    QTest::newRow("plain") << "/home/a/.config"
                           << "/home/a/.config/";
    QTest::newRow("slash") << "/home/a/"
                           << "/home/a/";
    QTest::newRow("backslash root") << "C:\\"
                                    << "C:\\";
    QTest::newRow("mixed") << "C:\\Users\\a\\AppData\\Roaming"
                           << "C:\\Users\\a\\AppData\\Roaming/";
    QTest::newRow("empty") << ""
                           << "/";
}

void TestStartup::normalizesFolders()
{
    QFETCH(QString, folder);
    SetFolder(DataFolder, folder);
    QTEST(FolderPath(DataFolder), "normalized");
    QCOMPARE(DataPath("blinkdash.ini", DataFolder), FolderPath(DataFolder) + "blinkdash.ini");
}

void TestStartup::kindsOutsideTheTableAreIgnored()
{
    SetFolder(DataFolder, "/data");
    SetFolder(0, "/elsewhere");
    SetFolder(9, "/elsewhere");
    QCOMPARE(FolderPath(0), QString());
    QCOMPARE(FolderPath(9), QString());
    QCOMPARE(DataPath("x", 9), QString("x"));
    QCOMPARE(FolderPath(DataFolder), QString("/data/"));
}

void TestStartup::initSetsEveryKindToTheProgramFolder()
{
    InitFolders("/opt/flink/bin/blinkdash");
    for (int kind = 1; kind <= FolderTable::KindCount; ++kind)
        QCOMPARE(FolderPath(kind), QString("/opt/flink/bin/"));

    InitFolders("blinkdash"); // a relative path lies in the current directory
    QCOMPARE(FolderPath(ProgramFolder), QDir::currentPath() + "/");
}

void TestStartup::dataFolderIsTheConfigFolderOrHome()
{
    QTemporaryDir temp;
    const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");

    const QString config = temp.filePath("not/yet/there");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config));
    SetUpFolders("/opt/flink/bin/blinkdash");
    QCOMPARE(FolderPath(DataFolder), config + "/");
    QVERIFY(QFileInfo(config).isDir()); // created
    QCOMPARE(FolderPath(ExportFolder), QString("/opt/flink/bin/"));

    // A config folder that cannot be made (a file stands in its way) falls back to home.
    QFile blocker(temp.filePath("blocker"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(temp.filePath("blocker/config")));
    SetUpFolders("/opt/flink/bin/blinkdash");
    QCOMPARE(FolderPath(DataFolder), NormalizedFolder(QDir::homePath()));

    qputenv("XDG_CONFIG_HOME", oldConfig);
}

void TestStartup::debugOptionIsMatchedExactly_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("wanted");
    QTest::newRow("-d") << QStringList {"blinkdash", "-d"} << true;
    QTest::newRow("-d among others") << QStringList {"blinkdash", "x", "-d", "y"} << true;
    QTest::newRow("none") << QStringList {"blinkdash"} << false;
    QTest::newRow("-D") << QStringList {"blinkdash", "-D"} << false;
    QTest::newRow("--d") << QStringList {"blinkdash", "--d"} << false;
    QTest::newRow("-dd") << QStringList {"blinkdash", "-dd"} << false;
    QTest::newRow("-d as program name") << QStringList {"-d"} << false;
}

void TestStartup::debugOptionIsMatchedExactly()
{
    QFETCH(QStringList, arguments);
    QTEST(HasDebugOption(arguments), "wanted");
}

void TestStartup::logWritesNothingUntilOpened()
{
    QTemporaryDir temp;
    DebugLog("nobody hears this %d", 1);
    SetFolder(ProgramFolder, temp.path());
    QVERIFY(!QFile::exists(temp.filePath("blinkdash.dbg")));
}

void TestStartup::logAppendsAcrossStarts()
{
    QTemporaryDir temp;
    InitFolders(temp.filePath("blinkdash"));
    SetFolder(DataFolder, temp.filePath("data"));
    const QString log = temp.filePath("blinkdash.dbg"); // next to the program, not in the data folder

    OpenDebugLogFile();
    DebugLog("start %d %d %d", 2000, 5000, 4321);
    DebugLogClose();
    OpenDebugLogFile();
    DebugLog("ESC received");
    DebugLogClose();

    QCOMPARE(ReadLines(log), (QStringList {"start 2000 5000 4321", "ESC received"}));
}

void TestStartup::logLinesAreWholeAndCut()
{
    QTemporaryDir temp;
    const QString log = temp.filePath("log.txt");
    DebugLogOpen(DebugLogToFile | DebugLogTruncate, QFile::encodeName(log).constData(), nullptr);
    DebugLog("ends in a newline\n");
    const QByteArray tooLong(DebugLogLineMax + 500, 'x');
    DebugLog("%s", tooLong.constData());
    DebugLog("after");
    DebugLogClose();

    const QStringList lines = ReadLines(log);
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines.at(0), QString("ends in a newline"));
    QCOMPARE(lines.at(1), QString());
    QCOMPARE(lines.at(2).size(), DebugLogLineMax - 1);
    QCOMPARE(lines.at(3), QString("after"));
}

void TestStartup::logCallbackCannotRecurse()
{
    callbackLines.clear();
    DebugLogOpen(DebugLogToCallback, nullptr, CollectLine);
    DebugLog("one %s", "line");
    DebugLog("two");
    QCOMPARE(callbackLines, (QStringList {"one line", "two"}));
}

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
