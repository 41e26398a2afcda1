#include "portname.h"
#include "pseudoterminal.h"
#include "screenmodel.h"
#include "switchbox.h"
#include "testfolder.h"

#include <QtTest>

#include <climits>
#include <termios.h>

Q_DECLARE_METATYPE(BoxReply::Kind)

// The link to the switch box: replies fed as bytes, port naming, the driver over a pseudo-terminal.
class TestSwitchBox : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { folder = std::make_unique<TestFolder>(); }
    void cleanup() { folder.reset(); }
    void assemblesLines();
    void readsReplies_data();
    void readsReplies();
    void portsAndTheDriverOverAPseudoTerminal();
    void simulatedScreenLightsWithItsFrames_data();
    void simulatedScreenLightsWithItsFrames();

private:
    std::unique_ptr<TestFolder> folder;
};

void TestSwitchBox::assemblesLines()
{
    // Lines end with ";" or a line feed, across reads; only " " to "z" is kept; the 100th
    // character of a line drops the 100, and what follows starts the next line.
    LineAssembler assembler;
    std::vector<std::string> lines;
    for (const QByteArray &read : {QByteArray("t 12"),
             QByteArray("34\r\n\nt 1;t\x01\t \x80{|}~\x7f"
                        "5\n"),
             QByteArray(60, 'a'), QByteArray(40, 'b') + "t 7;" + QByteArray(99, 'c') + '\n' + QByteArray(250, 'x')})
        for (const std::string &line : assembler.Feed(std::string_view(read.constData(), read.size())))
            lines.push_back(line);
    QCOMPARE(lines, (std::vector<std::string> {"t 1234", "", "t 1", "t 5", "t 7", std::string(99, 'c')}));
    QCOMPARE(assembler.PendingLength(), 50);
}

void TestSwitchBox::readsReplies_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<BoxReply::Kind>("kind");
    QTest::addColumn<QList<int>>("numbers");
    // A time is "t", blanks and digits, from 1 ms to the box's longest measurement; anything else
    // is a garbled or faulty answer.
    QTest::newRow("time") << QByteArray("t   1000") << BoxReply::Time << QList<int> {1000};
    QTest::newRow("longest") << QByteArray("t 2100000000") << BoxReply::Time << QList<int> {2100000000};
    for (const char *bad : {"t 999", "t 0", "t -250000", "t 2100000001", "t 99999999999999999999", "t 250000xyz",
             "t 250000 ", "t250000", "tx 250000", "t +250000", "t"})
        QTest::newRow(bad) << QByteArray(bad) << BoxReply::BadTime << QList<int> {};
    QTest::newRow("capital T, empty") << QByteArray("T 1 2") << BoxReply::Ignored << QList<int> {};
    QTest::newRow("six values held to 32 bits, up to the first unreadable") << QByteArray(
        "R 1 -2 +3 99999999999 -99999999999 6 7") << BoxReply::Values << QList<int> {1, -2, 3, INT_MAX, INT_MIN, 6};
    QTest::newRow("values up to the first unreadable")
        << QByteArray("r 10 20x") << BoxReply::Values << QList<int> {10, 20};
    QTest::newRow("key pressed") << QByteArray("s 0") << BoxReply::KeyPressed << QList<int> {};
    QTest::newRow("key released") << QByteArray("S 1") << BoxReply::KeyState << QList<int> {};
    // The light sensor: up to a second, or the two words; the echo alone on its line.
    QTest::newRow("light") << QByteArray("l 23400") << BoxReply::Light << QList<int> {23400};
    QTest::newRow("light at once") << QByteArray("l 0") << BoxReply::Light << QList<int> {0};
    QTest::newRow("no light") << QByteArray("l timeout") << BoxReply::NoLight << QList<int> {};
    QTest::newRow("light before") << QByteArray("l lit") << BoxReply::EarlyLight << QList<int> {};
    for (const char *bad : {"l 1000001", "l -5", "l 23400 ", "l timeouts", "l"})
        QTest::newRow(bad) << QByteArray(bad) << BoxReply::BadLight << QList<int> {};
    QTest::newRow("echo") << QByteArray("e") << BoxReply::Echo << QList<int> {};
    QTest::newRow("not an echo") << QByteArray("e 1") << BoxReply::Ignored << QList<int> {};
}

void TestSwitchBox::readsReplies()
{
    QFETCH(QByteArray, line);
    QFETCH(QList<int>, numbers);
    const BoxReply reply = ParseReply(std::string_view(line.constData(), static_cast<std::size_t>(line.size())));
    QTEST(reply.kind, "kind");
    QCOMPARE(QList<int>(reply.numbers.begin(), reply.numbers.begin() + reply.count), numbers);
}

void TestSwitchBox::portsAndTheDriverOverAPseudoTerminal()
{
    QDir dev(folder->Path("dev"));
    QVERIFY(dev.mkpath("."));
    for (const char *name : {"ttyS0", "ttyS1", "ttyS3", "ttyUSB0", "ttyACM1"})
        QFile(dev.filePath(name)).open(QIODevice::WriteOnly);
    // Each series stops at its first gap: no ttyS3, and no ttyACM at all without ttyACM0.
    const QStringList devices = SerialDevices(dev.path() + '/');
    QCOMPARE(devices, QStringList({dev.filePath("ttyS0"), dev.filePath("ttyS1"), dev.filePath("ttyUSB0")}));
    QCOMPARE(NthSerialDevice(devices, 3), devices[2]);
    QCOMPARE(NthSerialDevice(devices, 0), QString());
    QCOMPARE(NthSerialDevice(devices, 4), QString());

    PseudoTerminal pty;
    QCOMPARE(pty.Open(), QString());
    QCOMPARE(pty.LinkAs(DataPath(BoxPortLinkName(42), DataFolder)), QString());
    SwitchBox box;
    QSignalSpy results(&box, &SwitchBox::SignalResult);
    QCOMPARE(box.Open(42), 0);
    termios line {}; // the program's line settings, seen from the other end
    QCOMPARE(tcgetattr(pty.SlaveFd(), &line), 0);
    QCOMPARE(cfgetospeed(&line), speed_t(B19200));
    QCOMPARE(line.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), tcflag_t(CS8));

    box.SetLED(false);
    box.StartReaction();
    QByteArray sent;
    QTRY_VERIFY((sent += pty.ReadAvailable()).endsWith("r\n"));
    QCOMPARE(sent, QByteArray("L 0\nr\n"));
    pty.Write("t 2519");
    QTest::qWait(60);
    box.Poll();
    pty.Write("99\r\n");
    QTRY_VERIFY((box.Poll(), results.size() == 1)); // split over two polls, once
    QCOMPARE(results.at(0).at(0).toInt(), 251);     // truncated to ms
    QCOMPARE(box.GetValue(0), 251999);
    QCOMPARE(box.GetValue(6), 0); // beyond the six values

    // An awaited echo: in time when the answer is there, not told as anybody else's; one that
    // comes too late is not taken for the next one's. What came with it is told afterwards.
    QSignalSpy echoes(&box, &SwitchBox::EchoAnswered), lights(&box, &SwitchBox::LightSeen);
    const auto within = [](int ms) { return std::chrono::steady_clock::now() + std::chrono::milliseconds(ms); };
    pty.Write("l 5000\ne\n");
    QVERIFY(box.AwaitEcho(within(500)));
    QVERIFY(lights.isEmpty());
    QTRY_COMPARE(lights.size(), 1);
    QVERIFY(!box.AwaitEcho(within(20)));
    pty.Write("e\n");
    QVERIFY(!box.AwaitEcho(within(20)));
    pty.Write("e\ne\n");
    QVERIFY(box.AwaitEcho(within(500)));
    box.SendEcho();
    pty.Write("e\n");
    QTRY_VERIFY((box.Poll(), !echoes.isEmpty()));
    QCOMPARE(echoes.size(), 1);

    pty.Close(); // unplugged: the driver lets go of the port, which its link still names
    QTRY_VERIFY((box.Poll(), !box.IsOpen()));
    QCOMPARE(BoxPortName(42), DataPath("blinkdash-com42", DataFolder));
    QCOMPARE(box.Open(43), -1);
    QCOMPARE(box.LastError(), -100);
}

// The simulator's screen: a drawing lights the sensor when the next frame has been scanned out
// down to the sensor's row, plus the panel's delay and jitter; a dropped frame adds one.
void TestSwitchBox::simulatedScreenLightsWithItsFrames_data()
{
    // Hz, the sensor's row (0 top, 1 bottom), the drawing's us after the first frame began, the
    // uniform and normal draws, the light's us; latency 10 ms, jitter 2 ms, a tenth of the drawings late.
    QTest::addColumn<QList<double>>("screen");
    // 60 Hz: a frame of 16 666.7 us.
    QTest::newRow("no frames") << QList<double> {0, 0.5, 5000, 0.5, 0, 10000};
    QTest::newRow("top row") << QList<double> {60, 0, 1000, 0.5, 0, 25666.7};
    QTest::newRow("bottom row, a later frame") << QList<double> {60, 1, 35000, 0.5, 0, 41666.7};
    QTest::newRow("dropped frame") << QList<double> {60, 0, 1000, 0.05, 0, 42333.3};
    QTest::newRow("jitter") << QList<double> {60, 0, 1000, 0.5, 1.5, 28666.7};
    QTest::newRow("jitter, never before the drawing") << QList<double> {0, 0, 0, 0.5, -6, 0};
}

void TestSwitchBox::simulatedScreenLightsWithItsFrames()
{
    QFETCH(QList<double>, screen);
    const double lightUs = LightDelayUs({10, screen[0], screen[1], 2, 0.1}, screen[2], screen[3], screen[4]);
    QVERIFY2(std::abs(lightUs - screen[5]) < 0.1, qPrintable(QString::number(lightUs)));
}

QTEST_GUILESS_MAIN(TestSwitchBox)
#include "tst_switchbox.moc"
