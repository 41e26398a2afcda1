#include "folders.h"
#include "highscorelist.h"

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
    void init();
    void loaderForgivesHandEdits_data();
    void loaderForgivesHandEdits();
    void saveKeepsTheFastestAndReadsBackWhole();
    void filesThatCannotBeWritten();
    void tableModel();

private:
    QByteArray FileContent() const;
    QTemporaryDir temp;
};

void TestScores::init()
{
    SetFolder(DataFolder, temp.path());
    QFile::remove(temp.filePath("blinkdash.txt"));
}

QByteArray TestScores::FileContent() const
{
    QFile file(temp.filePath("blinkdash.txt"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(none)");
}

void TestScores::loaderForgivesHandEdits_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<Entries>("entries");

    QTest::newRow("blank lines, CR LF, no last line end") << QByteArray("300 Anna\r\n\r\n\n  \t \n250 Bert\r\n310 Carl")
                                                          << Entries {{"Bert", 250}, {"Anna", 300}, {"Carl", 310}};
    QTest::newRow("runs of blanks and tabs, names of several words")
        << QByteArray("  312 \t Max   Muster  \n") << Entries {{"Max Muster", 312}};
    QTest::newRow("junk never ranks: no number, beyond 32 bits, not above 0")
        << QByteArray("abc Anna\n# comment\n99999999999 Zoe\n12x Udo\n0 Null\n-5 X\n\x01\x02\xfe\n310 Real\n")
        << Entries {{"Real", 310}};
    QTest::newRow("a lone time, and one character skipped") << QByteArray("250\n7\n") << Entries {{"", 250}};
    QString many;
    for (int time = 1000; time > 0; --time) // slowest first, the fastest twice
        many += QString("%1 n%1\n").arg(time) + (time <= 21 && time % 2 ? QString("%1 again\n").arg(time) : "");
    Entries fastest;
    for (int time = 1; fastest.size() < HighscoreFileEntries; ++time) {
        fastest.append({QString("n%1").arg(time), time});
        if (time % 2 && fastest.size() < HighscoreFileEntries)
            fastest.append({"again", time});
    }
    QTest::newRow("the fastest 20 of many") << many.toLatin1() << fastest;
    QTest::newRow("slowest-first file of older versions")
        << QByteArray("400 c\n300 b\n200 a\n") << Entries {{"a", 200}, {"b", 300}, {"c", 400}};
    QTest::newRow("equal times keep their order") << QByteArray("200 b\n200 a\n") << Entries {{"b", 200}, {"a", 200}};
    QTest::newRow("NUL ends a line") << QByteArray("200 Jo\0hn\n\0 150 X\n", 19) << Entries {{"Jo", 200}};
    QTest::newRow("very long lines: only their start counts") << "150 " + QByteArray(200000, 'x') + "\n"
            + QByteArray(200000, ' ') + "120 y" << Entries {{QString(HighscoreLineMax - 4, 'x'), 150}};
    QTest::newRow("UTF-8, and Latin-1 where not UTF-8") << QByteArray("300 J\xc3\xbcrgen\n310 J\xfcrgen M\xfcller\n")
                                                        << Entries {{"Jürgen", 300}, {"Jürgen Müller", 310}};
}

void TestScores::loaderForgivesHandEdits()
{
    QFETCH(QByteArray, content);
    QFETCH(Entries, entries);
    QCOMPARE(ParseHighscores(content), entries);
    HighscoreReader reader; // as a file comes, in pieces that split lines anywhere
    for (qsizetype at = 0; at < content.size(); at += 7)
        reader.Feed(QByteArrayView(content).sliced(at, qMin<qsizetype>(7, content.size() - at)));
    QCOMPARE(reader.Finish(), entries);
}

void TestScores::saveKeepsTheFastestAndReadsBackWhole()
{
    HighscoreList list;
    list.Load("blinkdash.txt"); // a first start: no file, no entries
    QCOMPARE(list.rowCount(), 0);
    QCOMPARE(list.Save("blinkdash.txt"), HighscoreList::Saved);
    QCOMPARE(FileContent(), QByteArray()); // created, and empty

    for (int i = 0; i < 25; ++i)
        list.Insert(i % 2 ? QString("Jürgen Müller %1").arg(i) : QString("Line\nbreak %1").arg(i), 500 - 7 * i);
    QCOMPARE(list.rowCount(), 25);
    QCOMPARE(list.Save("blinkdash.txt"), HighscoreList::Saved);
    const QList<QByteArray> lines = FileContent().split('\n');
    QCOMPARE(lines.size(), 21);                                // 20 lines and the empty rest after the last line end
    QCOMPARE(lines.at(0), QByteArray("332 Line break 24"));    // fastest first; a name never breaks a line
    QCOMPARE(lines.at(1), QByteArray("339 Jürgen Müller 23")); // UTF-8

    HighscoreList reloaded;
    reloaded.Load("blinkdash.txt");
    QCOMPARE(reloaded.Entries().size(), 20);
    for (int i = 0; i < 20; ++i)
        QCOMPARE(reloaded.Entries().at(i).name, list.Entries().at(i).name.simplified());
}

void TestScores::filesThatCannotBeWritten()
{
    HighscoreList list;
    list.Insert("Anna", 250);
    QFile file(temp.filePath("blinkdash.txt"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("300 Old\n");
    file.close();
    QVERIFY(file.setPermissions(QFileDevice::ReadOwner | QFileDevice::ReadGroup));
    QCOMPARE(list.Save("blinkdash.txt"), HighscoreList::LeftAlone); // read-only: kept as it was, even for root
    QCOMPARE(FileContent(), QByteArray("300 Old\n"));
    QVERIFY(file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner));

    // Places where no file can be written fail, and say why.
    QString reason;
    QVERIFY(file.remove() && QDir(temp.path()).mkdir("blinkdash.txt"));
    QCOMPARE(list.Save("blinkdash.txt", &reason), HighscoreList::Failed);
    QVERIFY(!reason.isEmpty());
    QVERIFY(QDir(temp.path()).rmdir("blinkdash.txt") && QFile::link("/nonexistent/blinkdash.txt", file.fileName()));
    QCOMPARE(list.Save("blinkdash.txt"), HighscoreList::Failed);
    QVERIFY(file.remove());
    SetFolder(DataFolder, temp.filePath("gone")); // a data folder that is not there
    QCOMPARE(list.Save("blinkdash.txt"), HighscoreList::Failed);
    list.Load("blinkdash.txt");
    QCOMPARE(list.rowCount(), 1);
    QCOMPARE(QDir(temp.path()).entryList(QDir::Files | QDir::System), QStringList()); // no leftovers
}

void TestScores::tableModel()
{
    struct : HighscoreList
    {
        using HighscoreList::createIndex; // for an index beyond the rows, as a stale view might hold
    } list;
    QAbstractItemModelTester tester(&list, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy inserted(&list, &QAbstractItemModel::rowsInserted);
    for (int time : {300, 250, 400, 250})
        list.Insert(QString("T%1").arg(inserted.size()), time);
    QCOMPARE(inserted.size(), 4);
    QCOMPARE(inserted.last().at(1).toInt(), 1); // after the earlier 250

    QCOMPARE(list.rowCount(), 4);
    QCOMPARE(list.columnCount(), 2);
    QCOMPARE(list.data(list.index(0, 0)).toString(), QString("T1"));
    QCOMPARE(list.data(list.index(1, 0)).toString(), QString("T3"));
    QCOMPARE(list.data(list.index(3, 1), Qt::EditRole).toInt(), 400);
    QCOMPARE(list.data(list.index(0, 0), Qt::TextAlignmentRole).toInt(), int(Qt::AlignLeft));
    QCOMPARE(list.data(list.index(0, 1), Qt::TextAlignmentRole).toInt(), int(Qt::AlignRight));
    QVERIFY(!list.data(list.index(0, 0), Qt::ToolTipRole).isValid());

    const QModelIndex beyond = list.createIndex(4, 0);
    for (int role : {Qt::DisplayRole, Qt::EditRole, Qt::TextAlignmentRole})
        QVERIFY(!list.data(beyond, role).isValid());

    QCOMPARE(list.headerData(0, Qt::Horizontal).toString(), QString("Name"));
    QCOMPARE(list.headerData(1, Qt::Horizontal).toString(), QString("Zeit/ms"));
    QVERIFY(!list.headerData(2, Qt::Horizontal).isValid());
    QVERIFY(!list.headerData(0, Qt::Horizontal, Qt::ToolTipRole).isValid());
    QCOMPARE(list.headerData(0, Qt::Vertical).toInt(), 0);
}

QTEST_GUILESS_MAIN(TestScores)
#include "tst_scores.moc"
