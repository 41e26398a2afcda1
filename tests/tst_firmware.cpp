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
    void heldButtonAndCancelledMeasurement_data();
    void heldButtonAndCancelledMeasurement();
    void lightComesBackWithinAMicrosecond();
    void lightTimeoutLitEchoAndCancelling();
    void screenTrialComesBackWithinAMicrosecond_data();
    void screenTrialComesBackWithinAMicrosecond();
    void screenTrialUnanswered_data();
    void screenTrialUnanswered();

private:
    void Send(const QByteArray &bytes) { QCOMPARE(::write(serial, bytes.constData(), bytes.size()), bytes.size()); }
    QByteArray ReplyLine(int timeoutMs = 5000); // the next line from the box, empty after the timeout
    void RunFor(double us)                      // waits until the simulation has run that long
    {
        const double until = box->Now() + us;
        QVERIFY(QTest::qWaitFor([&] { return box->Now() >= until; }, 10000));
    }
    void Arrived(const QByteArray &line) // the box has read it and acted
    {
        QTRY_VERIFY(box->Traffic().back() == "<- " + line.toStdString());
        RunFor(1000);
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
    Arrived("L 1" + QByteArray(40, ' '));
    QVERIFY(!box->LedOn());
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

void TestFirmware::screenTrialComesBackWithinAMicrosecond_data()
{
    // Trial k: the light `light + k * lightStep` after the "s", the press `press + k * pressStep`
    // after the light.
    QTest::addColumn<double>("light");
    QTest::addColumn<double>("lightStep");
    QTest::addColumn<double>("press");
    QTest::addColumn<double>("pressStep");
    QTest::addColumn<int>("count");
    QTest::newRow("round times") << 20000.0 << 0.0 << 250000.0 << 0.0 << 1;
    QTest::newRow("every sixteenth of a us") << 25000.0 << 0.0 << 150000.0 << 0.0625 << 32;
    QTest::newRow("light and press at the counter's laps") << 32768.0 << 0.75 << 65536.0 << 0.0 << 22;
    QTest::newRow("after 2 s") << 999999.0 << 0.0 << 2000000.5 << 0.0 << 1;
}

void TestFirmware::screenTrialComesBackWithinAMicrosecond()
{
    QFETCH(double, light);
    QFETCH(double, lightStep);
    QFETCH(double, press);
    QFETCH(double, pressStep);
    QFETCH(int, count);
    int k = 0;
    box->SetLightDelay([&] { return light + k * lightStep; });
    box->SetReactionToLight([&] { return press + k * pressStep; });
    double sum = 0, least = 1, most = -1;
    for (; k < count; ++k) {
        QVERIFY(QTest::qWaitFor([&] { return !box->ButtonDown() && !box->SensorLit(); }, 5000));
        Send("s\ne\n"); // the echo, before the light, does not cancel
        QCOMPARE(ReplyLine(), QByteArray("e\n"));
        QVERIFY(std::abs(Answered(ReplyLine(), "l ") - box->LightTimes().back()) <= 1.0);
        const double error = Answered(ReplyLine()) - box->PressesAfterLight().back();
        QVERIFY2(std::abs(error) <= 1.0, qPrintable(QString("trial %1").arg(k)));
        sum += error;
        least = std::min(least, error);
        most = std::max(most, error);
    }
    qInfo("%d presses: error mean %+.3f us, from %+.3f to %+.3f", count, sum / count, least, most);
}

void TestFirmware::screenTrialUnanswered_data()
{
    QTest::addColumn<double>("light"); // after the "s"; negative: none
    QTest::addColumn<bool>("roomLit");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QByteArray>("cancel"); // sent after the answer
    QTest::newRow("no light") << -1.0 << false << QByteArray("l timeout\n") << QByteArray();
    QTest::newRow("lit already") << 20000.0 << true << QByteArray("l lit\n") << QByteArray();
    QTest::newRow("L 0 after the light") << 20000.0 << false << QByteArray("l ") << QByteArray("L 0");
    QTest::newRow("r after the light") << 20000.0 << false << QByteArray("l ") << QByteArray("r");
}

void TestFirmware::screenTrialUnanswered()
{
    // A press after a screen trial without light, or cancelled, is not answered; but for the
    // "r" that cancelled it, from its LED.
    QFETCH(double, light);
    QFETCH(bool, roomLit);
    QFETCH(QByteArray, answer);
    QFETCH(QByteArray, cancel);
    box->SetLightDelay([light] { return light; });
    box->SetLight(roomLit);
    RunFor(1000);
    Send("s\n");
    QVERIFY(ReplyLine().startsWith(answer));
    box->SetLight(false);
    if (!cancel.isEmpty()) {
        Send(cancel + "\n");
        Arrived(cancel);
    }
    box->PressNow();
    if (cancel == "r") {
        QVERIFY(std::abs(Answered(ReplyLine()) - box->Presses().back()) <= 1.0);
    } else {
        RunFor(30000);
        QCOMPARE(ReplyLine(50), QByteArray());
    }
}

QTEST_GUILESS_MAIN(TestFirmware)
#include "tst_firmware.moc"
