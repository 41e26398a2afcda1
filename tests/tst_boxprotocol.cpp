#include "boxprotocol.h"
#include "switchbox.h"

#include <QtTest>

#include <climits>

using Lines = std::vector<std::string>;
Q_DECLARE_METATYPE(Lines)
Q_DECLARE_METATYPE(BoxReply::Kind)

// The box's reply stream fed as byte strings: how it is cut into lines and how the lines are read.
class TestBoxProtocol : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void assemblesLines_data();
    void assemblesLines();
    void readsReplies_data();
    void readsReplies();
    void driverTurnsRepliesIntoSignalsAndValues();
};

void TestBoxProtocol::assemblesLines_data()
{
    QTest::addColumn<QList<QByteArray>>("reads");
    QTest::addColumn<Lines>("lines");
    QTest::addColumn<int>("pending");

    QTest::newRow("split over two polls") << QList<QByteArray> {"t 12", "3456\n"} << Lines {"t 123456"} << 0;
    QTest::newRow("two lines in one read")
        << QList<QByteArray> {"t 1000;t 2000;t 3"} << Lines {"t 1000", "t 2000"} << 3;
    QTest::newRow("CR LF") << QList<QByteArray> {"t 5\r\n\r\n"} << Lines {"t 5", ""} << 0;
    QTest::newRow("control and high bytes")
        << QList<QByteArray> {QByteArray("t\x01\t \x80\xff{|}~\x7f") + "5" + QByteArray(1, '\0') + "\n"}
        << Lines {"t 5"} << 0;
    QTest::newRow("99 characters make a line")
        << QList<QByteArray> {QByteArray(99, 'a') + "\n"} << Lines {std::string(99, 'a')} << 0;
    QTest::newRow("the 100th character drops them all")
        << QList<QByteArray> {QByteArray(60, 'a'), QByteArray(40, 'b') + "t 7;"} << Lines {"t 7"} << 0;
    QTest::newRow("overflow leaves the rest") << QList<QByteArray> {QByteArray(250, 'x')} << Lines {} << 50;
}

void TestBoxProtocol::assemblesLines()
{
    QFETCH(QList<QByteArray>, reads);
    QFETCH(Lines, lines);
    QFETCH(int, pending);

    LineAssembler assembler;
    Lines got;
    for (const QByteArray &read : reads) {
        const Lines part = assembler.Feed(std::string_view(read.constData(), static_cast<std::size_t>(read.size())));
        got.insert(got.end(), part.begin(), part.end());
    }
    QCOMPARE(got, lines);
    QCOMPARE(assembler.PendingLength(), pending);
}

void TestBoxProtocol::readsReplies_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<BoxReply::Kind>("kind");
    QTest::addColumn<QList<int>>("numbers");

    // A time is "t", blanks and digits, from 1 ms to the box's longest measurement; anything else
    // is a garbled or faulty answer.
    QTest::newRow("time") << QByteArray("t 251999") << BoxReply::Time << QList<int> {251999};
    QTest::newRow("shortest, after blanks") << QByteArray("t   1000") << BoxReply::Time << QList<int> {1000};
    QTest::newRow("longest") << QByteArray("t 2100000000") << BoxReply::Time << QList<int> {2100000000};
    for (const char *bad : {"t 999", "t 0", "t -250000", "t -2147483648", "t 2100000001", "t 99999999999999999999",
             "t 250000xyz", "t 250000 ", "t250000", "tx 250000", "t +250000", "t", "t -"})
        QTest::newRow(bad) << QByteArray(bad) << BoxReply::BadTime << QList<int> {};
    QTest::newRow("capital T") << QByteArray("T 1 2 3 4 5 6") << BoxReply::Ignored << QList<int> {};
    QTest::newRow("empty") << QByteArray("") << BoxReply::Ignored << QList<int> {};
    QTest::newRow("six values, a seventh unread")
        << QByteArray("R 1 -2 +3 4 5 6 7") << BoxReply::Values << QList<int> {1, -2, 3, 4, 5, 6};
    QTest::newRow("values up to the first unreadable")
        << QByteArray("r 10 20x 30") << BoxReply::Values << QList<int> {10, 20};
    QTest::newRow("values line without numbers") << QByteArray("R") << BoxReply::Values << QList<int> {};
    QTest::newRow("key pressed") << QByteArray("s 0") << BoxReply::KeyPressed << QList<int> {};
    QTest::newRow("key released") << QByteArray("S 1") << BoxReply::KeyState << QList<int> {};
    QTest::newRow("key without state") << QByteArray("S ") << BoxReply::Ignored << QList<int> {};
}

void TestBoxProtocol::readsReplies()
{
    QFETCH(QByteArray, line);
    QFETCH(BoxReply::Kind, kind);
    QFETCH(QList<int>, numbers);

    const BoxReply reply = ParseReply(std::string_view(line.constData(), static_cast<std::size_t>(line.size())));
    QCOMPARE(reply.kind, kind);
    QCOMPARE(reply.count, numbers.size());
    for (int i = 0; i < reply.count; ++i)
        QCOMPARE(reply.numbers[static_cast<std::size_t>(i)], numbers.at(i));
}

void TestBoxProtocol::driverTurnsRepliesIntoSignalsAndValues()
{
    SwitchBox box; // never opened: every command is dropped, replies can still be handed in
    QSignalSpy results(&box, &SwitchBox::SignalResult);
    QSignalSpy keys(&box, &SwitchBox::KeyPressed);

    box.HandleBytes("t 1999\nt 0;t -1999\nt 2100000000\n");
    QCOMPARE(results.size(), 2);
    QCOMPARE(results.at(0).at(0).toInt(), 1); // truncated
    QCOMPARE(results.at(1).at(0).toInt(), 2100000);

    box.StartReaction();
    QCOMPARE(box.IsResultReady(), 0);
    box.HandleBytes("t ?\nR 1 2 3 4 5 6\n");
    QCOMPARE(results.size(), 2); // no stale time repeated
    QCOMPARE(box.IsResultReady(), 1);
    box.HandleBytes("R 9 x\nS 0\nS 1\ns 0;");
    QCOMPARE(keys.size(), 2);
    QCOMPARE(box.GetValue(0), 9);
    QCOMPARE(box.GetValue(1), 2); // unreadable numbers keep the earlier ones
    QCOMPARE(box.GetValue(5), 6);
    QCOMPARE(box.GetValue(6), 0);
    QCOMPARE(box.GetValue(UINT_MAX), 0);
}

QTEST_GUILESS_MAIN(TestBoxProtocol)
#include "tst_boxprotocol.moc"
