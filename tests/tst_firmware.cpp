#include "avrbox.h"

#include <QtTest>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

// The box's own firmware, run in simavr: its timing to the microsecond, seen over its serial line.
class TestFirmware : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void pressesComeBackWithinAMicrosecond();
    void heldButtonAndCancelledMeasurement();
    void lightComesBackWithinAMicrosecond();
    void lightTimeoutLitEchoAndCancelling();

private:
    void Send(const QByteArray &bytes) { QCOMPARE(::write(serial, bytes.constData(), bytes.size()), bytes.size()); }
    QByteArray ReplyLine(int timeoutMs = 5000); // the next line from the box, empty after the timeout
    void RunFor(double us)                      // waits until the simulation has run that long
    {
        const double until = box->Now() + us;
        QVERIFY(QTest::qWaitFor([&] { return box->Now() >= until; }, 10000));
    }
    double Answered(const QByteArray &reply, const char *prefix = "t ")
    {
        return reply.startsWith(prefix) ? reply.mid(2).trimmed().toDouble() : -1e9;
    }

    std::unique_ptr<AvrBox> box;
    int serial = -1;
};

void TestFirmware::init()
{
    box = std::make_unique<AvrBox>();
    const std::string error = box->Start(qEnvironmentVariable("BLINKDASH_FIRMWARE").toStdString(), false);
    QVERIFY2(error.empty(), error.c_str());
    serial = ::open(box->SerialDevice().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios line {};
    QVERIFY(serial >= 0 && tcgetattr(serial, &line) == 0);
    cfmakeraw(&line);
    tcsetattr(serial, TCSANOW, &line);
    RunFor(1000); // the firmware has set up its pins (its pull-up would undo a button held before)
}

void TestFirmware::cleanup()
{
    box->SetReaction({}); // the tests' reactions and light delays refer to their own locals
    box->SetLightDelay({});
    ::close(serial);
    box.reset();
}

QByteArray TestFirmware::ReplyLine(int timeoutMs)
{
    QByteArray line;
    for (QDeadlineTimer deadline(timeoutMs); !line.endsWith('\n') && !deadline.hasExpired();) {
        pollfd ready {serial, POLLIN, 0};
        char c;
        if (::poll(&ready, 1, static_cast<int>(deadline.remainingTime())) > 0 && ::read(serial, &c, 1) == 1)
            line.append(c);
    }
    return line.endsWith('\n') ? line : QByteArray();
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
    double sum = 0;
    for (; next < delays.size(); ++next) {
        QVERIFY(QTest::qWaitFor([&] { return !box->ButtonDown(); }, 5000));
        Send("r\n");
        const double error = Answered(ReplyLine()) - box->Presses().back();
        QVERIFY2(std::abs(error) <= 1.0, qPrintable(QString("pressed after %1 us").arg(delays.at(next), 0, 'f', 4)));
        QVERIFY(QTest::qWaitFor([&] { return !box->LedOn(); }, 1000)); // the LED goes off with the answer
        sum += error;
    }
    qInfo("%lld presses: error mean %+.3f us", delays.size(), sum / delays.size());
}

void TestFirmware::heldButtonAndCancelledMeasurement()
{
    // A button held down when "r" comes is not a reaction, nor is the bounce as it is let go: the
    // next press after 10 ms released is, timed from the LED.
    box->MoveButton({{0, true}});
    Send("r\n");
    QTRY_VERIFY(box->LedOn());
    RunFor(100000);
    box->MoveButton({{0, false}, {2000, true}, {3000, false}});
    RunFor(30000);
    QCOMPARE(ReplyLine(50), QByteArray());
    box->PressNow();
    QVERIFY(std::abs(Answered(ReplyLine()) - box->Presses().back()) <= 1.0);
    QVERIFY(box->Presses().back() > 120000);

    // "L 0" withdraws the question: a press after it is not answered; a line too long to be a
    // command is dropped whole, although it begins like one.
    QVERIFY(QTest::qWaitFor([&] { return !box->ButtonDown(); }, 5000));
    Send("r\n\rL 0;L 1" + QByteArray(40, ' ') + "\n");
    QTRY_VERIFY(box->Traffic().size() >= 4 && !box->LedOn());
    box->PressNow();
    RunFor(30000);
    QVERIFY(!box->LedOn());
    QCOMPARE(ReplyLine(50), QByteArray());
}

void TestFirmware::lightComesBackWithinAMicrosecond()
{
    // Timed from the line feed's arrival like a press from the LED: round times, nearly the whole
    // second, every sixteenth of a microsecond over one microsecond, and every 0.75 us over the
    // 16 us after 32768 us: the counter, started some microseconds after the arrival, overflows in
    // there, and some lights come before the main loop has counted that.
    QList<double> delays {16000, 250000, 98304, 999999};
    for (int k = 0; k < 16; ++k)
        delays.append(20000 + k * 0.0625);
    for (double us = 32768; us < 32784; us += 0.75)
        delays.append(us);
    int next = 0;
    box->SetLightDelay([&] { return delays.at(next); });
    double sum = 0, least = 1, most = -1;
    for (; next < delays.size(); ++next) {
        QVERIFY(QTest::qWaitFor([&] { return !box->SensorLit(); }, 5000));
        Send("l\n");
        const double error = Answered(ReplyLine(), "l ") - box->LightTimes().back();
        QVERIFY2(std::abs(error) <= 1.0, qPrintable(QString("light after %1 us").arg(delays.at(next), 0, 'f', 4)));
        sum += error;
        least = std::min(least, error);
        most = std::max(most, error);
    }
    qInfo("%lld lights: error mean %+.3f us, from %+.3f to %+.3f", delays.size(), sum / delays.size(), least, most);
    QVERIFY(std::abs(sum / delays.size()) < 0.3); // no bias: both entry delays are taken off
}

void TestFirmware::lightTimeoutLitEchoAndCancelling()
{
    // No light within the second, or light just after it, is a timeout; light there before the
    // command is "lit"; "e" comes straight back.
    double delay = -1;
    box->SetLightDelay([&] { return delay; });
    const double sent = box->Now();
    Send("l\n");
    QCOMPARE(ReplyLine(), QByteArray("l timeout\n"));
    QVERIFY(box->Now() - sent > 1e6);
    delay = 1000001;
    Send("l\n");
    QCOMPARE(ReplyLine(), QByteArray("l timeout\n"));
    QVERIFY(QTest::qWaitFor([&] { return !box->SensorLit(); }, 5000));
    box->SetLight(true);
    RunFor(1000);
    Send("l\ne\n");
    QCOMPARE(ReplyLine(), QByteArray("l lit\n"));
    QCOMPARE(ReplyLine(), QByteArray("e\n"));
    box->SetLight(false);

    // "l" puts out the LED of an "r", whose press then goes unanswered; an "r" cancels an "l", and
    // its press, later than the light's second, is timed as ever.
    delay = 5000;
    Send("r\n");
    QTRY_VERIFY(box->LedOn());
    Send("l\n");
    QVERIFY(std::abs(Answered(ReplyLine(), "l ") - box->LightTimes().back()) <= 1.0);
    QVERIFY(!box->LedOn());
    box->PressNow();
    delay = 200000;
    box->SetReaction([] { return 1200000.0; });
    QVERIFY(QTest::qWaitFor([&] { return !box->SensorLit(); }, 5000));
    Send("l\nr\n");
    QVERIFY(std::abs(Answered(ReplyLine()) - box->Presses().back()) <= 1.0);
    QCOMPARE(ReplyLine(1500), QByteArray());
}

QTEST_GUILESS_MAIN(TestFirmware)
#include "tst_firmware.moc"
