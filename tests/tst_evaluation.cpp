#include "evaluation.h"

#include <QtTest>
#include <climits>

constexpr int NoResult = INT_MIN;

class TestEvaluation : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void evaluates_data();
    void evaluates();
    void largeTimesDoNotOverflow();
};

void TestEvaluation::evaluates_data()
{
    QTest::addColumn<QList<int>>("times");
    QTest::addColumn<bool>("evaluated");
    QTest::addColumn<qint64>("mean");
    QTest::addColumn<qint64>("deviation");
    QTest::addColumn<qint64>("threshold");
    QTest::addColumn<int>("result"); // NoResult: none

    QTest::newRow("worked example") << QList<int> {400, 380, 150, 160, 140, 300, 150} << true << qint64(180)
                                    << qint64(48) << qint64(252) << 150;
    QTest::newRow("no times") << QList<int> {} << false << qint64(0) << qint64(0) << qint64(0) << NoResult;
    QTest::newRow("three times") << QList<int> {200, 210, 220} << false << qint64(0) << qint64(0) << qint64(0)
                                 << NoResult;
    // Only the last two count: mean 250, deviations 50 and 50, threshold 325, both kept.
    QTest::newRow("four times") << QList<int> {900, 800, 200, 300} << true << qint64(250) << qint64(50) << qint64(325)
                                << 250;
    // The threshold equals the mean, and no time lies strictly below it.
    QTest::newRow("all equal") << QList<int> {100, 100, 240, 240, 240} << true << qint64(240) << qint64(0)
                               << qint64(240) << NoResult;
    QTest::newRow("deviation truncates to 0")
        << QList<int> {1, 1, 250, 251} << true << qint64(250) << qint64(0) << qint64(250) << NoResult;
    // Mean -2 (truncated toward zero, not down), deviations 8 and 7, dev 7, threshold 8.
    QTest::newRow("negative times") << QList<int> {0, 0, -10, 5} << true << qint64(-2) << qint64(7) << qint64(8) << -2;
}

void TestEvaluation::evaluates()
{
    QFETCH(QList<int>, times);
    QFETCH(bool, evaluated);

    const Evaluation e = Evaluate(times);
    QCOMPARE(e.evaluated, evaluated);
    if (!evaluated) {
        QVERIFY(!e.result);
        return;
    }
    QTEST(e.mean, "mean");
    QTEST(e.deviation, "deviation");
    QTEST(e.threshold, "threshold");
    QFETCH(int, result);
    QCOMPARE(e.result.value_or(NoResult), result);
}

void TestEvaluation::largeTimesDoNotOverflow()
{
    // Sums of this size overflow 32 bits; the sanitizer build would stop on that.
    const Evaluation e = Evaluate({0, 0, INT_MAX, INT_MAX, INT_MIN, INT_MAX, 1});
    QVERIFY(e.evaluated);
    QCOMPARE(e.mean, (3LL * INT_MAX + INT_MIN + 1) / 5);
    QVERIFY(e.result.has_value());
}

QTEST_GUILESS_MAIN(TestEvaluation)
#include "tst_evaluation.moc"
