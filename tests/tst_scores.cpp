#include "highscorelist.h"
#include "testfolder.h"

#include <QAbstractItemModelTester>
#include <QtTest>

using Entries = QList<HighscoreEntry>;
Q_DECLARE_METATYPE(HighscoreEntry)

namespace QTest {
template<> char *toString(const HighscoreEntry &entry)
{
    return qstrdup(qPrintable(QStringLiteral("%1 \"%2\"").arg(entry.time).arg(entry.name)));
}
} // namespace QTest

// The high-score file as bytes, the list as a table model, and the file as written and read back.
class TestScores : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readerForgivesHandEditsButNotJunk_data();
    void readerForgivesHandEditsButNotJunk();
    void saveKeepsTheFastestOrTheOldFile();

private:
    TestFolder folder;
};

void TestScores::readerForgivesHandEditsButNotJunk_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<Entries>("entries");
    QTest::newRow("blank lines, CR LF, no last line end") << QByteArray("300 Anna\r\n\r\n\n  \t \n250 Bert\r\n310 Carl")
                                                          << Entries {{"Bert", 250}, {"Anna", 300}, {"Carl", 310}};
    QTest::newRow("blanks and tabs, names of several words, a lone time, one character")
        << QByteArray("  312 \t Max   Muster  \n250\n7\n") << Entries {{"", 250}, {"Max Muster", 312}};
    QTest::newRow("junk never ranks: no number, beyond 32 bits, not above 0, a sign") << QByteArray(
        "abc Anna\n# comment\n99999999999 Zoe\n12x Udo\n0 Null\n-5 X\n+3 plus\n\xc2\xa0+3 nbsp\n\x01\x02\xfe\n310 "
        "Real\n") << Entries {{"Real", 310}};
    QTest::newRow("equal times keep their order; NUL ends a line")
        << QByteArray("200 b\n200 a\0x\n", 14) << Entries {{"b", 200}, {"a", 200}};
    QTest::newRow("UTF-8, and Latin-1 where not UTF-8") << QByteArray("300 J\xc3\xbcrgen\n310 J\xfcrgen M\xfcller\n")
                                                        << Entries {{"Jürgen", 300}, {"Jürgen Müller", 310}};
    QTest::newRow("very long lines: only their start counts") << "150 " + QByteArray(200000, 'x') + "\n"
            + QByteArray(200000, ' ') + "120 y" << Entries {{QString(HighscoreLineMax - 4, 'x'), 150}};
    QByteArray many; // slowest first, as older versions wrote; the fastest twice
    Entries fastest;
    for (int time = 1000; time > 0; --time)
        many += QByteArray::number(time) + " n\n" + (time <= 10 ? QByteArray::number(time) + " again\n" : "");
    for (int time = 1; time <= 10; ++time)
        fastest << HighscoreEntry {"n", time} << HighscoreEntry {"again", time};
    QTest::newRow("the fastest 20 of many") << many << fastest;
}

void TestScores::readerForgivesHandEditsButNotJunk()
{
    QFETCH(QByteArray, content);
    QTEST(ParseHighscores(content), "entries");
    HighscoreReader reader; // as a file comes, in pieces that split lines anywhere
    for (qsizetype at = 0; at < content.size(); at += 7)
        reader.Feed(QByteArrayView(content).sliced(at, qMin<qsizetype>(7, content.size() - at)));
    QTEST(reader.Finish(), "entries");
}

void TestScores::saveKeepsTheFastestOrTheOldFile()
{
    HighscoreList list;
    QAbstractItemModelTester tester(&list, QAbstractItemModelTester::FailureReportingMode::QtTest);
    list.Load("blinkdash.txt"); // a first start: no file, no entries; saving makes an empty one
    QCOMPARE(list.Save("blinkdash.txt"), HighscoreList::Saved);
    QCOMPARE(folder.Read("blinkdash.txt"), QByteArray());
    for (int i = 0; i < 25; ++i)
        list.Insert(i % 2 ? QString("Jürgen Müller %1").arg(i) : QString("Line\nbreak %1").arg(i), 500 - 7 * (i / 2));
    // All shown, fastest first, an equal time after the earlier one; the file keeps the fastest 20,
    // a name never breaks a line, and names are UTF-8.
    QCOMPARE(list.data(list.index(2, 0)).toString(), "Jürgen Müller 23");
    QCOMPARE(list.data(list.index(24, 1)).toString(), "500");
    QCOMPARE(list.Save("blinkdash.txt"), HighscoreList::Saved);
    const QList<QByteArray> lines = folder.Read("blinkdash.txt").split('\n');
    QCOMPARE(lines.size(), 21);
    QCOMPARE(lines.at(0), QByteArray("416 Line break 24"));
    QCOMPARE(lines.at(2), QByteArray("423 Jürgen Müller 23"));
    HighscoreList reloaded;
    reloaded.Load("blinkdash.txt");
    QCOMPARE(reloaded.Entries().size(), 20);
    QCOMPARE(reloaded.Entries().at(0), (HighscoreEntry {"Line break 24", 416}));

    QFile file(folder.Path("blinkdash.txt"));
    QVERIFY(folder.Write("blinkdash.txt", "300 Old\n") && file.setPermissions(QFileDevice::ReadOwner));
    QCOMPARE(list.Save("blinkdash.txt"), HighscoreList::LeftAlone); // read-only: kept as it was, even for root
    QCOMPARE(folder.Read("blinkdash.txt"), QByteArray("300 Old\n"));
    QVERIFY(file.setPermissions(QFileDevice::WriteOwner) && file.remove());

    // A directory or a broken link in the file's place, a folder that is not there: failures, said why.
    QString reason;
    QVERIFY(QDir(folder.Path()).mkdir("blinkdash.txt"));
    QCOMPARE(list.Save("blinkdash.txt", &reason), HighscoreList::Failed);
    QVERIFY(!reason.isEmpty() && QDir(folder.Path()).rmdir("blinkdash.txt"));
    QVERIFY(QFile::link("/nonexistent/x", file.fileName()));
    QCOMPARE(list.Save("blinkdash.txt"), HighscoreList::Failed);
    SetFolder(DataFolder, folder.Path("gone"));
    QCOMPARE(list.Save("blinkdash.txt"), HighscoreList::Failed);
    QCOMPARE(QDir(folder.Path()).entryList(QDir::Files | QDir::System).size(),
        2); // the link and the log, nothing left over
}

QTEST_GUILESS_MAIN(TestScores)
#include "tst_scores.moc"
