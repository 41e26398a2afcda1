#include "actionwin.h"
#include "debuglog.h"
#include "testsupport.h"

#include <QtTest>

namespace {

QStringList logged;
void CollectLine(const char *line)
{
    logged.append(QString::fromLatin1(line));
}

QImage Render(ActionWin &win)
{
    QImage image(win.size(), QImage::Format_RGB32);
    image.fill(Qt::magenta); // anything left unpainted shows
    win.render(&image);
    return image;
}

} // namespace

class TestActionWin : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void placesTheDisc_data();
    void placesTheDisc();
    void paintsBlackWithTheDisc_data();
    void paintsBlackWithTheDisc();
    void drawsTheMessageOnlyWhenSet();
    void spaceAnswersTheSignalOnce();
    void sixthEarlyPressStopsTheRun();
    void escapeAndCloseStop();
    void otherKeysAreNotTaken();
    void hidingReleasesTheKeyboard();

private:
    ActionWin *win = nullptr;
};

void TestActionWin::init()
{
    logged.clear();
    DebugLogOpen(DebugLogToCallback, nullptr, CollectLine);
    win = new ActionWin;
    win->resize(801, 601);
}

void TestActionWin::cleanup()
{
    delete win;
    DebugLogClose();
}

void TestActionWin::placesTheDisc_data()
{
    QTest::addColumn<int>("posX");
    QTest::addColumn<int>("posY");
    QTest::addColumn<QPoint>("corner");
    QTest::newRow("centre") << 50 << 50 << QPoint(400, 300);
    QTest::newRow("top left") << 0 << 0 << QPoint(20, 20);
    QTest::newRow("bottom right") << 100 << 100 << QPoint(780, 580);
}

void TestActionWin::placesTheDisc()
{
    QFETCH(int, posX);
    QFETCH(int, posY);
    QFETCH(QPoint, corner);
    const SignalPlacement place = PlaceSignal(QSize(801, 601), posX, posY);
    QCOMPARE(place.disc, QRect(corner, QSize(20, 20)));
    QCOMPARE(place.baseline, corner.y());
}

void TestActionWin::paintsBlackWithTheDisc_data()
{
    placesTheDisc_data();
}

void TestActionWin::paintsBlackWithTheDisc()
{
    QFETCH(int, posX);
    QFETCH(int, posY);
    QFETCH(QPoint, corner);

    QImage image = Render(*win);
    QCOMPARE(image.pixelColor(corner + QPoint(10, 10)), QColor(Qt::black)); // no disc yet

    win->ShowSignal(posX, posY);
    image = Render(*win);
    const QPoint centre = corner + QPoint(10, 10);
    QCOMPARE(image.pixelColor(centre), QColor(Qt::yellow));
    QCOMPARE(image.pixelColor(centre + QPoint(-5, 0)), QColor(Qt::yellow));
    QCOMPARE(image.pixelColor(centre + QPoint(0, 5)), QColor(Qt::yellow));
    // Outside the disc's square and at the window's corners all is black.
    for (const QPoint &p : {corner - QPoint(3, 3), corner + QPoint(24, 24), QPoint(0, 0), QPoint(800, 600),
             QPoint(800, 0), QPoint(0, 600)})
        if (image.rect().contains(p))
            QCOMPARE(image.pixelColor(p), QColor(Qt::black));
    // The whole disc lies inside the window: yellow reaches at most the last column and row.
    int yellow = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) == QColor(Qt::yellow)) {
                ++yellow;
                QVERIFY(QRect(corner, QSize(21, 21)).contains(x, y));
            }
    QVERIFY(yellow > 150);
}

void TestActionWin::drawsTheMessageOnlyWhenSet()
{
    const auto whiteRows = [](const QImage &image) {
        QSet<int> rows;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixelColor(x, y).lightness() > 128)
                    rows.insert(y);
        return rows;
    };
    QVERIFY(whiteRows(Render(*win)).isEmpty());

    win->SetMessage("Game Over! Drücke ESC.");
    QSet<int> rows = whiteRows(Render(*win));
    QVERIFY(!rows.isEmpty());
    // Text sits on the baseline of the last signal's height, here the centre's 300.
    QVERIFY(*std::max_element(rows.begin(), rows.end()) <= 303);
    QVERIFY(*std::min_element(rows.begin(), rows.end()) >= 280);

    win->ShowSignal(50, 0);
    win->ResetRun(); // hides the disc; the text follows it to the top
    rows = whiteRows(Render(*win));
    QVERIFY(*std::max_element(rows.begin(), rows.end()) <= 23);
}

void TestActionWin::spaceAnswersTheSignalOnce()
{
    QSignalSpy results(win, &ActionWin::SignalResult);
    QSignalSpy stops(win, &ActionWin::SignalStop);
    win->show();
    win->ShowSignal(50, 50);
    QTest::qWait(30);
    QTest::keyClick(win, Qt::Key_Space);
    QCOMPARE(results.size(), 1);
    const int ms = results.at(0).at(0).toInt();
    QVERIFY2(ms >= 30 && ms < 1000, qPrintable(QString::number(ms)));
    QVERIFY(!win->SignalVisible());

    // The second press for the same signal is an early one: four more are still tolerated.
    for (int i = 0; i < 5; ++i)
        QTest::keyClick(win, Qt::Key_Space);
    QCOMPARE(results.size(), 1);
    QCOMPARE(stops.size(), 0);
}

void TestActionWin::sixthEarlyPressStopsTheRun()
{
    QSignalSpy stops(win, &ActionWin::SignalStop);
    win->show();
    for (int i = 0; i < 5; ++i)
        QTest::keyClick(win, Qt::Key_Space);
    QCOMPARE(stops.size(), 0);

    MessageBoxCatcher boxes;
    QTest::keyClick(win, Qt::Key_Space);
    QCOMPARE(stops.size(), 1);
    QCOMPARE(boxes.count, 1);
    QCOMPARE(boxes.title, QString("Fehler"));
    QCOMPARE(boxes.text, QString("Sie haben die Leertaste zu oft gedrückt.\nDer Test wird abgebrochen."));
    QCOMPARE(QWidget::keyboardGrabber(), nullptr);

    win->ResetRun(); // a new run tolerates five again
    for (int i = 0; i < 5; ++i)
        QTest::keyClick(win, Qt::Key_Space);
    QCOMPARE(stops.size(), 1);
}

void TestActionWin::escapeAndCloseStop()
{
    QSignalSpy stops(win, &ActionWin::SignalStop);
    win->show();
    win->ShowSignal(10, 10);
    QCOMPARE(QWidget::keyboardGrabber(), win);
    QTest::keyClick(win, Qt::Key_Escape);
    QCOMPARE(stops.size(), 1);
    QCOMPARE(logged, QStringList {"ESC received"});
    QCOMPARE(QWidget::keyboardGrabber(), nullptr);

    QVERIFY(win->close());
    QCOMPARE(stops.size(), 2);
    QCOMPARE(logged.size(), 1); // closing writes no line
}

void TestActionWin::otherKeysAreNotTaken()
{
    QSignalSpy results(win, &ActionWin::SignalResult);
    win->show();
    win->ShowSignal(50, 50);
    for (int key : {Qt::Key_Return, Qt::Key_A, Qt::Key_Enter, Qt::Key_F1}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(win, &press);
        QVERIFY(!press.isAccepted());
    }
    QVERIFY(win->SignalVisible());
    QCOMPARE(results.size(), 0);
}

void TestActionWin::hidingReleasesTheKeyboard()
{
    win->show();
    win->ShowSignal(50, 50);
    QCOMPARE(QWidget::keyboardGrabber(), win);
    win->hide();
    QCOMPARE(QWidget::keyboardGrabber(), nullptr);
}

QTEST_MAIN(TestActionWin)
#include "tst_actionwin.moc"
