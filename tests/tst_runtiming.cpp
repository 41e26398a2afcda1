#include "random.h"
#include "runtiming.h"

#include <QtTest>
#include <climits>
#include <limits>
#include <set>

class TestRunTiming : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void scaleMatchesThe32BitFormula_data();
    void scaleMatchesThe32BitFormula();
    void scaleIsSafeForAnyRange();
    void generatorIsReproducibleAndInRange();
    void timingFromSettings_data();
    void timingFromSettings();
    void waitsStayInTheirRange();
    void warningLeadsLieBeforeTheSignal();
};

void TestRunTiming::scaleMatchesThe32BitFormula_data()
{
    QTest::addColumn<int>("n");
    // The ranges the settings dialog allows, and the edge of the 32-bit formula's safe domain.
    for (int n : {0, 1, 100, 700, 5000, 59900, 10000, -10000, -1, 65538, -65538})
        QTest::addRow("n=%d", n) << n;
}

void TestRunTiming::scaleMatchesThe32BitFormula()
{
    QFETCH(int, n);
    for (int r : {0, 1, 2, 16383, 16384, 32766, 32767}) {
        const int expected = (n * r) / 32767; // safe here: |n| <= 65538
        QCOMPARE(ScaleRandom(n, r), qint64(expected));
    }
}

void TestRunTiming::scaleIsSafeForAnyRange()
{
    QCOMPARE(ScaleRandom(INT_MAX, 32767), qint64(INT_MAX));
    QCOMPARE(ScaleRandom(INT_MIN, 32767), qint64(INT_MIN));
    QCOMPARE(ScaleRandom(INT_MAX, 0), qint64(0));
    const qint64 wide = qint64(INT_MAX) - INT_MIN;
    QVERIFY(ScaleRandom(wide, 16000) > 0 && ScaleRandom(wide, 16000) < wide);
}

void TestRunTiming::generatorIsReproducibleAndInRange()
{
    SeedRandom(417);
    QList<int> first;
    for (int i = 0; i < 1000; ++i)
        first.append(NextRandom15());
    SeedRandom(417);
    for (int i = 0; i < 1000; ++i)
        QCOMPARE(NextRandom15(), first.at(i));
    QVERIFY(*std::min_element(first.begin(), first.end()) >= 0);
    QVERIFY(*std::max_element(first.begin(), first.end()) <= 32767);
    QVERIFY(std::set<int>(first.begin(), first.end()).size() > 900); // not stuck
}

void TestRunTiming::timingFromSettings_data()
{
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    constexpr double inf = std::numeric_limits<double>::infinity();
    QTest::addColumn<double>("minDel");
    QTest::addColumn<double>("maxDel");
    QTest::addColumn<int>("minDelayMs");
    QTest::addColumn<int>("delayRangeMs");

    QTest::newRow("defaults") << 2.0 << 7.0 << 2000 << 5000;
    QTest::newRow("truncated, not rounded") << 0.3 << 0.7 << 299 << 399; // 0.3 and 0.7 lie just off in binary
    QTest::newRow("0.7 s") << 0.7 << 1.0 << 699 << 300;
    QTest::newRow("equal bounds") << 3.0 << 3.0 << 3000 << 0;
    QTest::newRow("min above max") << 5.0 << 2.0 << 5000 << 3000;
    QTest::newRow("dialog extremes") << 60.0 << 0.1 << 60000 << 59899; // 59.9 s lies just below in binary
    QTest::newRow("negative") << -5.0 << -1.0 << 0 << 0;
    QTest::newRow("huge") << 1e300 << 2.0 << 60000 << 58000;
    QTest::newRow("infinite") << inf << -inf << 60000 << 60000;
    QTest::newRow("not a number") << nan << 1.0 << 0 << 1000;
}

void TestRunTiming::timingFromSettings()
{
    Settings settings;
    QFETCH(double, minDel);
    QFETCH(double, maxDel);
    settings.minDel = minDel;
    settings.maxDel = maxDel;
    const RunTiming timing = MakeRunTiming(settings);
    QTEST(timing.minDelayMs, "minDelayMs");
    QTEST(timing.delayRangeMs, "delayRangeMs");
}

void TestRunTiming::waitsStayInTheirRange()
{
    Settings settings;
    settings.minDel = 5.0;
    settings.maxDel = 2.0; // the range is added to the larger bound
    const RunTiming timing = MakeRunTiming(settings);
    SeedRandom(3);
    for (int i = 0; i < 2000; ++i) {
        const int wait = NextWait(timing);
        QVERIFY2(wait >= 5000 && wait <= 8000, qPrintable(QString::number(wait)));
    }
}

void TestRunTiming::warningLeadsLieBeforeTheSignal()
{
    struct Case
    {
        int minAkkust, maxAkkust, lowestLead, highestLead;
    };
    const Case cases[] = {
        {300, 1000, 300, 1000},
        {1000, 300, 300, 1000}, // reversed bounds still give a lead between them
        {-500, 20000, 0, 10000},
        {INT_MIN, INT_MAX, 0, 10000},
    };
    for (const Case &c : cases) {
        Settings settings;
        settings.minAkkust = c.minAkkust;
        settings.maxAkkust = c.maxAkkust;
        settings.cnt = -3;
        const RunTiming timing = MakeRunTiming(settings);
        QCOMPARE(timing.signalCount, 0);
        SeedRandom(11);
        for (int i = 0; i < 500; ++i) {
            const int lead = 20000 - WarningOffset(timing, 20000);
            QVERIFY2(lead >= c.lowestLead && lead <= c.highestLead, qPrintable(QString::number(lead)));
        }
    }
    Settings settings;
    QVERIFY(WarningOffset(MakeRunTiming(settings), 200) < 0); // lead longer than the wait
}

QTEST_GUILESS_MAIN(TestRunTiming)
#include "tst_runtiming.moc"
