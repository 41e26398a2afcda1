#include "folders.h"
#include "mainwindow.h"
#include "settings.h"

#include <QtTest>
#include <cmath>

namespace {

void WriteFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

QSet<QString> KeysIn(const QString &iniPath)
{
    QSettings ini(iniPath, QSettings::IniFormat);
    const QStringList keys = ini.allKeys();
    return QSet<QString>(keys.begin(), keys.end());
}

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();

    void missingFileGivesDefaults();
    void roundTripsEveryKeyButCnt();
    void handEditedValues();
    void firstStartCreatesNineKeys();
    void handEditedCntSurvivesTheProgram();

private:
    QTemporaryDir temp;
    QString ini;
};

void TestSettings::init()
{
    SetFolder(DataFolder, temp.path());
    ini = DataPath("blinkdash.ini", DataFolder);
    QFile::remove(ini);
}

void TestSettings::missingFileGivesDefaults()
{
    const Settings s = ReadSettings(ini);
    QCOMPARE(s.randomPosition, true);
    QCOMPARE(s.useBox, false);
    QCOMPARE(s.boxCom, 0);
    QCOMPARE(s.maxDel, 7.0);
    QCOMPARE(s.minDel, 2.0);
    QCOMPARE(s.cnt, 20);
    QCOMPARE(s.minAkkust, 300);
    QCOMPARE(s.maxAkkust, 1000);
    QCOMPARE(s.enableWav, false);
    QCOMPARE(s.wavFile, QString("ding.wav"));
    QVERIFY(!QFile::exists(ini)); // reading creates nothing
}

void TestSettings::roundTripsEveryKeyButCnt()
{
    Settings s;
    s.randomPosition = false;
    s.useBox = true;
    s.boxCom = 3;
    s.maxDel = 4.5;
    s.minDel = 1.25;
    s.cnt = 7;
    s.minAkkust = 150;
    s.maxAkkust = 900;
    s.enableWav = true;
    s.wavFile = "/home/jürgen/Töne/a, b.wav";
    WriteSettings(ini, s);

    const Settings back = ReadSettings(ini);
    QCOMPARE(back.randomPosition, false);
    QCOMPARE(back.useBox, true);
    QCOMPARE(back.boxCom, 3);
    QCOMPARE(back.maxDel, 4.5);
    QCOMPARE(back.minDel, 1.25);
    QCOMPARE(back.cnt, 20); // not written, so the default again
    QCOMPARE(back.minAkkust, 150);
    QCOMPARE(back.maxAkkust, 900);
    QCOMPARE(back.enableWav, true);
    QCOMPARE(back.wavFile, s.wavFile);

    QFile file(ini);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    QVERIFY(text.startsWith("[Common]"));
    QVERIFY(text.contains("maxDel=4.5\n"));
    QVERIFY(text.contains("minAkkust=150\n"));
}

void TestSettings::handEditedValues()
{
    WriteFile(ini,
        "[Common]\n"
        "randomPosition=false\n"
        "useBox=maybe\n"
        "boxCom=abc\n"
        "maxDel=inf\n"
        "minDel=nan\n"
        "cnt=-4\n"
        "minAkkust=99999999999999\n"
        "maxAkkust=-7\n"
        "enableWav=0\n"
        "wavFile=a,b.wav\n");
    const Settings s = ReadSettings(ini);
    QCOMPARE(s.randomPosition, false);
    QCOMPARE(s.useBox, true); // any text but false and 0 counts as true
    QCOMPARE(s.boxCom, 0);
    QVERIFY(std::isinf(s.maxDel));
    QVERIFY(std::isnan(s.minDel));
    QCOMPARE(s.cnt, -4);
    QCOMPARE(s.minAkkust, 0); // does not fit, so does not convert
    QCOMPARE(s.maxAkkust, -7);
    QCOMPARE(s.enableWav, false);
    QCOMPARE(s.wavFile, QString("a,b.wav"));

    WriteFile(ini, QByteArray("\xff\xfe garbage \0 without structure", 30));
    QCOMPARE(ReadSettings(ini).cnt, 20);
}

void TestSettings::firstStartCreatesNineKeys()
{
    {
        MainWindow window;
    }
    const QSet<QString> expected {"Common/randomPosition", "Common/useBox", "Common/boxCom", "Common/maxDel",
        "Common/minDel", "Common/minAkkust", "Common/maxAkkust", "Common/enableWav", "Common/wavFile"};
    QCOMPARE(KeysIn(ini), expected);
    QCOMPARE(ReadSettings(ini).maxDel, 7.0);
}

void TestSettings::handEditedCntSurvivesTheProgram()
{
    WriteFile(ini, "[Common]\ncnt=5\nminDel=3.5\n");
    {
        MainWindow window;
    }
    QVERIFY(KeysIn(ini).contains("Common/cnt"));
    const Settings s = ReadSettings(ini);
    QCOMPARE(s.cnt, 5);
    QCOMPARE(s.minDel, 3.5);
}

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
