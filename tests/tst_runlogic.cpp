#include "displaytiming.h"
#include "evaluation.h"
#include "random.h"
#include "runtiming.h"

#include <QtTest>
#include <climits>
#include <limits>

constexpr int NoResult = INT_MIN;

class TestRunLogic : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void evaluates_data();
    void evaluates();
    void randomScalingIsExactAndSafe();
    void timingFromSettings_data();
    void timingFromSettings();
    void serverStamps_data();
    void serverStamps();
};

void TestRunLogic::evaluates_data()
{
    QTest::addColumn<QList<int>>("times");
    QTest::addColumn<QList<qint64>>("stats"); // mean, deviation, threshold; empty: not evaluated
    QTest::addColumn<int>("result");
    QTest::newRow("worked example") << QList<int> {400, 380, 150, 160, 140, 300, 150} << QList<qint64> {180, 48, 252}
                                    << 150;
    QTest::newRow("three times") << QList<int> {200, 210, 220} << QList<qint64> {} << NoResult;
    QTest::newRow("four: only the last two") << QList<int> {900, 800, 200, 300} << QList<qint64> {250, 50, 325} << 250;
    QTest::newRow("all equal") << QList<int> {100, 100, 240, 240, 240} << QList<qint64> {240, 0, 240} << NoResult;
    QTest::newRow("deviation truncates to 0") << QList<int> {1, 1, 250, 251} << QList<qint64> {250, 0, 250} << NoResult;
    QTest::newRow("truncated toward zero") << QList<int> {0, 0, -10, 5} << QList<qint64> {-2, 7, 8} << -2;
    // 32-bit sums would overflow here; the sanitizer build stops on that.
    QTest::newRow("huge") << QList<int> {0, 0, INT_MAX, INT_MAX, INT_MAX, INT_MAX}
                          << QList<qint64> {INT_MAX, 0, INT_MAX} << NoResult;
}

void TestRunLogic::evaluates()
{
    QFETCH(QList<int>, times);
    QFETCH(QList<qint64>, stats);
    const Evaluation e = Evaluate(times);
    QCOMPARE(e.evaluated, !stats.isEmpty());
    if (e.evaluated)
        QCOMPARE((QList<qint64> {e.mean, e.deviation, e.threshold}), stats);
    QTEST(e.result.value_or(NoResult), "result");
}

void TestRunLogic::randomScalingIsExactAndSafe()
{
    // Within the ranges the settings dialog allows, exactly n * rand() / 32767 in 32 bits.
    for (int n : {0, 1, 100, 5000, 59900, 10000, -10000, 65538, -65538})
        for (int r : {0, 1, 16383, 32766, 32767})
            QCOMPARE(ScaleRandom(n, r), qint64((n * r) / 32767));
    QCOMPARE(ScaleRandom(INT_MAX, 32767), qint64(INT_MAX));
    QCOMPARE(ScaleRandom(INT_MIN, 32767), qint64(INT_MIN));
    for (int i = 0; i < 1000; ++i)
        QVERIFY(unsigned(NextRandom15()) <= 32767);
}

void TestRunLogic::timingFromSettings_data()
{
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    constexpr double inf = std::numeric_limits<double>::infinity();
    QTest::addColumn<double>("minDel");
    QTest::addColumn<double>("maxDel");
    QTest::addColumn<int>("akkust");          // both warning leads
    QTest::addColumn<QList<int>>("expected"); // minDelayMs, delayRangeMs, minLeadMs, maxLeadMs
    QTest::newRow("defaults") << 2.0 << 7.0 << 300 << QList<int> {2000, 5000, 300, 300};
    QTest::newRow("truncated, never rounded") << 0.3 << 0.7 << 0 << QList<int> {299, 399, 0, 0}; // both lie just off
    QTest::newRow("min above max") << 5.0 << 2.0 << 10000 << QList<int> {5000, 3000, 10000, 10000};
    QTest::newRow("negative") << -5.0 << -1.0 << -7 << QList<int> {0, 0, 0, 0};
    QTest::newRow("huge") << 1e300 << 2.0 << INT_MAX << QList<int> {60000, 58000, 10000, 10000};
    QTest::newRow("infinite") << inf << -inf << INT_MIN << QList<int> {60000, 60000, 0, 0};
    QTest::newRow("not a number") << nan << 1.0 << 1 << QList<int> {0, 1000, 1, 1};
}

void TestRunLogic::timingFromSettings()
{
    Settings settings;
    QFETCH(double, minDel);
    QFETCH(double, maxDel);
    QFETCH(int, akkust);
    settings.minDel = minDel;
    settings.maxDel = maxDel;
    settings.minAkkust = settings.maxAkkust = akkust;
    settings.cnt = -3;
    const RunTiming t = MakeRunTiming(settings);
    QTEST((QList<int> {t.minDelayMs, t.delayRangeMs, t.minLeadMs, t.maxLeadMs}), "expected");
    QCOMPARE(t.signalCount, 0);
    const int wait = NextWait(t);
    QVERIFY(wait >= t.minDelayMs && wait <= t.minDelayMs + t.delayRangeMs);
    QCOMPARE(WarningOffset(t, wait), wait - t.minLeadMs); // equal leads: no random part
}

// A key press stamped by the display server in whole milliseconds of the steady clock, 32 bits.
void TestRunLogic::serverStamps_data()
{
    QTest::addColumn<qint64>("nowUs");      // the handler's time
    QTest::addColumn<qint64>("startUs");    // when the disc was shown
    QTest::addColumn<qint64>("stampMs");    // the event's stamp, taken modulo 2^32
    QTest::addColumn<qint64>("expectedUs"); // -1: not usable
    QTest::newRow("middle of its millisecond") << 5'000'900LL << 4'700'000LL << 5000LL << 5'000'500LL;
    QTest::newRow("this very millisecond") << 5'000'300LL << 4'700'000LL << 5000LL << 5'000'300LL;
    QTest::newRow("just after the start") << 5'000'900LL << 4'999'800LL << 4999LL << 4'999'800LL;
    QTest::newRow("before the start") << 5'000'900LL << 4'999'000LL << 4990LL << -1LL;
    QTest::newRow("in the future") << 5'000'900LL << 4'700'000LL << 5002LL << -1LL;
    QTest::newRow("another clock") << 5'000'900LL << 4'700'000LL << 123456789LL << -1LL;
    const qint64 wrapMs = 1LL << 32; // the stamp has wrapped, the steady clock has not
    QTest::newRow("across the wrap") << (wrapMs + 10) * 1000 << (wrapMs - 300) * 1000 << 5LL
                                     << (wrapMs + 5) * 1000 + 500;
}

void TestRunLogic::serverStamps()
{
    QFETCH(qint64, nowUs);
    QFETCH(qint64, startUs);
    QFETCH(qint64, stampMs);
    QFETCH(qint64, expectedUs);
    using std::chrono::microseconds;
    const auto time = MillisecondStampTime(
        static_cast<uint32_t>(stampMs), SteadyTime(microseconds(startUs)), SteadyTime(microseconds(nowUs)));
    QCOMPARE(time ? std::chrono::duration_cast<microseconds>(time->time_since_epoch()).count() : -1, expectedUs);
}

QTEST_GUILESS_MAIN(TestRunLogic)
#include "tst_runlogic.moc"
