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
    void timesComeBackWithinAMicrosecond_data();
    void timesComeBackWithinAMicrosecond();
    void heldButtonAndCancelledMeasurement_data();
    void heldButtonAndCancelledMeasurement();
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
    box->SetReactionToLight({});
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

void TestFirmware::heldButtonAndCancelledMeasurement_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::newRow("from the LED") << QByteArray("r");
    QTest::newRow("from the light") << QByteArray("s");
}

void TestFirmware::heldButtonAndCancelledMeasurement()
{
    // A button held down when "r" comes, or at the light of an "s", is not a reaction, nor is the
    // bounce as it is let go: the next press after 10 ms released is, timed from the LED or light.
    QFETCH(QByteArray, command);
    const bool fromLight = command == "s";
    box->SetLightDelay([] { return 20000.0; });
    const auto truth = [&] { return (fromLight ? box->PressesAfterLight() : box->Presses()).back(); };
    box->MoveButton({{0, true}});
    Send(command + "\n");
    if (fromLight)
        QVERIFY(ReplyLine().startsWith("l "));
    QTRY_VERIFY(box->LedOn() != fromLight);
    RunFor(100000);
    box->MoveButton({{0, false}, {2000, true}, {3000, false}});
    RunFor(30000);
    QCOMPARE(ReplyLine(50), QByteArray());
    box->PressNow();
    QVERIFY(std::abs(Answered(ReplyLine()) - truth()) <= 1.0);
    QVERIFY(truth() > 120000);

    // "L 0" withdraws the question, before the light too: a press after it is not answered; a line
    // too long to be a command is dropped whole, although it begins like one.
    QVERIFY(QTest::qWaitFor([&] { return !box->ButtonDown() && !box->SensorLit(); }, 5000));
    Send(command + "\n\rL 0;L 1" + QByteArray(40, ' ') + "\n");
    QTRY_VERIFY(box->Traffic().back() == "<- L 1" + std::string(40, ' ')); // read, and acted on
    RunFor(1000);
    QVERIFY(!box->LedOn());
    box->PressNow();
    RunFor(30000);
    QVERIFY(!box->LedOn());
    QCOMPARE(ReplyLine(50), QByteArray());
}

void TestFirmware::lightTimeoutLitEchoAndCancelling()
{
    // No light within the second, or light just after it, is a timeout; light there before the
    // command is "lit", and a screen trial so ended answers no press; "e" comes straight back.
    double delay = -1;
    box->SetLightDelay([&] { return delay; });
    const double sent = box->Now();
    Send("s\n");
    QCOMPARE(ReplyLine(), QByteArray("l timeout\n"));
    QVERIFY(box->Now() - sent > 1e6);
    box->PressNow(); // its answer would come before the next line
    delay = 1000001;
    Send("l\n");
    QCOMPARE(ReplyLine(), QByteArray("l timeout\n"));
    QVERIFY(QTest::qWaitFor([&] { return !box->SensorLit(); }, 5000));
    delay = -1; // no flash due a second after this "s": it could land amid the next command's
    box->SetLight(true);
    RunFor(1000);
    Send("s\ne\n");
    QCOMPARE(ReplyLine(), QByteArray("l lit\n"));
    QCOMPARE(ReplyLine(), QByteArray("e\n"));
    box->SetLight(false);
    box->PressNow();
    RunFor(30000);
    QCOMPARE(ReplyLine(50), QByteArray());

    // "l" puts out the LED of an "r", whose press then goes unanswered; an "r" cancels a screen
    // trial, and its press, later than the light's second, is timed from the LED as ever.
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
    Send("s\nr\n");
    QVERIFY(std::abs(Answered(ReplyLine()) - box->Presses().back()) <= 1.0);
    QCOMPARE(ReplyLine(1500), QByteArray());
}

void TestFirmware::timesComeBackWithinAMicrosecond_data()
{
    // Trial k: for "r" the press presses[k] after the LED; for "s", a screen trial, the light
    // lights[k] after the command (timed as for "l"), the press presses[k] after the light.
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QList<double>>("lights");
    QTest::addColumn<QList<double>>("presses");
    const auto steps = [](double from, double step, int count) {
        QList<double> times;
        for (int k = 0; k < count; ++k)
            times << from + k * step;
        return times;
    };
    // "r": round times, the counter's overflows (every 32768 us) hit exactly and just missed, a long
    // wait, and every sixteenth of a microsecond over two microseconds.
    const QList<double> odd {150000, 250000, 999999, 32768, 65537, 32767.9375, 98304.0625, 2000000};
    QTest::newRow("r") << QByteArray("r") << QList<double>() << odd + steps(100000, 0.0625, 32);
    QTest::newRow("s: every sixteenth of a us")
        << QByteArray("s") << steps(25000, 0.0625, 32) << steps(150000, 0.0625, 32);
    QTest::newRow("s: light and press at the counter's laps")
        << QByteArray("s") << steps(32768, 0.75, 22) << steps(65536, 0, 22);
    QTest::newRow("s: after 2 s") << QByteArray("s") << QList<double> {999999} << QList<double> {2000000.5};
}

void TestFirmware::timesComeBackWithinAMicrosecond()
{
    QFETCH(QByteArray, command);
    QFETCH(QList<double>, lights);
    QFETCH(QList<double>, presses);
    const bool screen = command == "s";
    qsizetype k = 0;
    box->SetReaction([&] { return presses.value(k); });
    box->SetLightDelay([&] { return lights.value(k, -1); });
    box->SetReactionToLight([&] { return presses.value(k); });
    double lightSum = 0;
    for (; k < presses.size(); ++k) {
        QVERIFY(QTest::qWaitFor([&] { return !box->ButtonDown() && !box->SensorLit(); }, 5000));
        Send(command + (screen ? "\ne\n" : "\n")); // the echo, before the light, does not cancel
        QVERIFY(!screen || ReplyLine() == "e\n");
        const double lightError = screen ? Answered(ReplyLine(), "l ") - box->LightTimes().back() : 0;
        const double pressError = Answered(ReplyLine()) - (screen ? box->PressesAfterLight() : box->Presses()).back();
        QVERIFY2(std::abs(lightError) <= 1.0 && std::abs(pressError) <= 1.0,
            qPrintable(
                QString("trial %1: the light %2 us off, the press %3 us").arg(k).arg(lightError).arg(pressError)));
        QVERIFY(QTest::qWaitFor([&] { return !box->LedOn(); }, 1000)); // the LED goes off with the answer
        lightSum += lightError;
    }
    QVERIFY(presses.size() < 16 || std::abs(lightSum / presses.size()) < 0.3); // no bias: both entry delays taken off
}

QTEST_GUILESS_MAIN(TestFirmware)
#include "tst_firmware.moc"
