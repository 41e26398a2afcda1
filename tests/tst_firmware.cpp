#include "avrbox.h"
#include "boxwin.h"
#include "evaluation.h"
#include "mainwindowdriver.h"
#include "portname.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

// The box's own firmware, run in simavr: its timing to the microsecond over its serial line,
// its line rules, and a whole box run of the main window over the COM link.
class TestFirmware : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void pressesComeBackWithinAMicrosecond();
    void lineRules();
    void heldButtonAndCancelledMeasurement();
    void mainWindowRunOverTheComLink();

private:
    void Send(const QByteArray &bytes);
    QByteArray ReplyLine(int timeoutMs = 5000); // the next line from the box, empty after the timeout
    void RunFor(double us);                     // waits until the simulation has run that long
    void AwaitRelease()
    {
        QVERIFY(QTest::qWaitFor([&] { return !box->ButtonDown(); }, 5000));
    }

    QTemporaryDir temp;
    std::unique_ptr<AvrBox> box;
    int serial = -1;
};

void TestFirmware::init()
{
    box = std::make_unique<AvrBox>();
    const std::string error = box->Start(qEnvironmentVariable("BLINKDASH_FIRMWARE").toStdString(), false);
    QVERIFY2(error.empty(), error.c_str());
    serial = ::open(box->SerialDevice().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    QVERIFY(serial >= 0);
    termios line {};
    tcgetattr(serial, &line);
    cfmakeraw(&line);
    tcsetattr(serial, TCSANOW, &line);
    RunFor(1000); // the firmware has set up its pins (its pull-up would undo a button held before)
}

void TestFirmware::cleanup()
{
    if (box)
        box->SetReaction({}); // the tests' reactions refer to their own locals
    if (serial >= 0)
        ::close(serial);
    serial = -1;
    box.reset();
}

void TestFirmware::Send(const QByteArray &bytes)
{
    QCOMPARE(::write(serial, bytes.constData(), bytes.size()), bytes.size());
}

QByteArray TestFirmware::ReplyLine(int timeoutMs)
{
    QByteArray line;
    QDeadlineTimer deadline(timeoutMs);
    while (!line.endsWith('\n') && !deadline.hasExpired()) {
        pollfd ready {serial, POLLIN, 0};
        char c;
        if (::poll(&ready, 1, static_cast<int>(deadline.remainingTime())) > 0 && ::read(serial, &c, 1) == 1)
            line.append(c);
    }
    return line.endsWith('\n') ? line : QByteArray();
}

void TestFirmware::RunFor(double us)
{
    const double until = box->Now() + us;
    QVERIFY(QTest::qWaitFor([&] { return box->Now() >= until; }, 10000));
}

void TestFirmware::pressesComeBackWithinAMicrosecond()
{
    // Round times, the counter's overflows (every 32768 us) hit exactly and just missed, a long
    // wait, and every sixteenth of a microsecond over two microseconds.
    QList<double> delays {150000, 250000, 999999, 32768, 65537, 32767.9375, 98304.0625, 2000000};
    for (int k = 0; k < 32; ++k)
        delays.append(100000 + k * 0.0625);
    int next = 0;
    box->SetReaction([&] { return delays.at(next); });

    double sum = 0, lowest = 1e9, highest = -1e9;
    for (; next < delays.size(); ++next) {
        AwaitRelease();
        Send("r\n");
        const QByteArray reply = ReplyLine();
        QVERIFY2(reply.startsWith("t "), qPrintable(QString::number(delays.at(next), 'f', 4)));
        QVERIFY(QTest::qWaitFor([&] { return !box->LedOn(); }, 1000)); // the LED goes off with the answer
        const double truth = box->Presses().back();
        const double error = reply.mid(2).trimmed().toLongLong() - truth;
        QVERIFY2(std::abs(error) <= 1.0,
            qPrintable(QString("pressed after %1 us, answered %2").arg(truth, 0, 'f', 4).arg(reply.trimmed())));
        sum += error;
        lowest = std::min(lowest, error);
        highest = std::max(highest, error);
    }
    qInfo("%lld presses: error mean %+.3f us, from %+.3f to %+.3f us", delays.size(), sum / delays.size(), lowest,
        highest);
}

void TestFirmware::lineRules()
{
    Send("L 1\n");
    QTRY_VERIFY(box->LedOn());
    Send("\rL 0;");
    QTRY_VERIFY(!box->LedOn());
    // Too long to be a command: dropped whole, although it begins like one.
    Send("L 1" + QByteArray(40, ' ') + "\n");
    // Neither "T" nor "R" is answered, and garbage leaves the box ready for the next "r".
    Send("T 1 2 3 4 5 6\nR\n\x01\xff zz\n");
    RunFor(60000); // 70 bytes at 19200 baud
    QVERIFY(!box->LedOn());
    QCOMPARE(ReplyLine(50), QByteArray());
    QCOMPARE(box->Traffic().size(), 6u); // every line reached the box

    box->SetReaction([] { return 200000.0; });
    Send("r;");
    QCOMPARE(ReplyLine(), QByteArray("t 200000\n"));
}

void TestFirmware::heldButtonAndCancelledMeasurement()
{
    // A button held down when "r" comes is not a reaction, nor is the bounce as it is let go: the
    // next press after 10 ms released is, timed from the LED.
    box->MoveButton({{0, true}});
    Send("r\n");
    QTRY_VERIFY(box->LedOn());
    RunFor(100000);
    QCOMPARE(ReplyLine(50), QByteArray());
    box->MoveButton({{0, false}, {2000, true}, {3000, false}});
    RunFor(30000);
    QCOMPARE(ReplyLine(50), QByteArray());
    box->PressNow();
    const QByteArray reply = ReplyLine();
    QVERIFY(reply.startsWith("t "));
    QVERIFY(std::abs(reply.mid(2).trimmed().toLongLong() - box->Presses().back()) <= 1.0);
    QVERIFY(box->Presses().back() > 120000);

    // "L 0" withdraws the question: a press after it is not answered.
    AwaitRelease();
    Send("r\nL 0\n");
    QTRY_VERIFY(box->Traffic().back() == "<- L 0" && !box->LedOn());
    box->PressNow();
    RunFor(20000);
    QCOMPARE(ReplyLine(50), QByteArray());
}

void TestFirmware::mainWindowRunOverTheComLink()
{
    ::close(serial); // from here the program has the line to itself
    serial = -1;
    SetFolder(DataFolder, temp.path());
    QVERIFY(QFile::link(QString::fromStdString(box->SerialDevice()), DataPath(BoxPortLinkName(6), DataFolder)));

    // Whole milliseconds and a half, so that no rounding of microseconds can change them.
    const QList<double> reactions {312500, 287500, 351500, 268500, 333500};
    int next = 0;
    box->SetReaction([&] { return reactions.at(next++ % reactions.size()); });
    ModalAnswerer answerer;
    std::unique_ptr<MainWindow> window(OpenMainWindow("useBox=true\nboxCom=6\ncnt=5\nminDel=0.1\nmaxDel=0.15\n"));
    auto *boxWin = TopLevel<BoxWin>();
    QTest::mouseClick(window->startButton, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(boxWin->label->text().startsWith("Game Over"), 10000);
    QTest::mouseClick(boxWin->readyButton, Qt::LeftButton);
    QCOMPARE(window->resultLabel->text(), QString::number(Evaluate({312, 287, 351, 268, 333}).result.value()));
    QVERIFY(answerer.seen.isEmpty());
}

QTEST_MAIN(TestFirmware)
#include "tst_firmware.moc"
