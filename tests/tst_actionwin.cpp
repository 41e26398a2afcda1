#include "actionwin.h"
#include "debuglog.h"

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
    image.fill(Qt::magenta); // anything left unpainted would show
    win.render(&image);
    return image;
}

} // namespace

class TestActionWin : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void paintsTheDisc_data();
    void paintsTheDisc();
    void escapeCloseAndHideEndTheGrab();
    void signalRepaintsOnlyTheDisc();
};

void TestActionWin::paintsTheDisc_data()
{
    QTest::addColumn<int>("pos");
    QTest::addColumn<QPoint>("corner");
    QTest::newRow("centre") << 50 << QPoint(400, 300);
    QTest::newRow("top left") << 0 << QPoint(20, 20);
    QTest::newRow("bottom right") << 100 << QPoint(780, 580); // the disc's right edge is the last column
}

void TestActionWin::paintsTheDisc()
{
    QFETCH(int, pos);
    QFETCH(QPoint, corner);
    ActionWin win;
    win.resize(801, 601);
    QCOMPARE(Render(win).pixelColor(corner + QPoint(10, 10)), QColor(Qt::black));
    win.ShowSignal(pos, pos);
    win.SetMessage("Game Over! Drücke ESC."); // at x 50, on the signal's height as baseline

    const QImage image = Render(win);
    const QRect disc(corner, QSize(21, 21));
    const QRect message(50, corner.y() - 15, 801, 19);
    int yellow = 0;
    int light = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            yellow += c == QColor(Qt::yellow);
            light += c.lightness() > 128 && c != QColor(Qt::yellow);
            if (c == QColor(Qt::yellow))
                QVERIFY(disc.contains(x, y));
            else if (c != QColor(Qt::black)) // the disc's rim or the message, nothing else
                QVERIFY(disc.adjusted(-2, -2, 2, 2).contains(x, y) || message.contains(x, y));
        }
    QVERIFY(yellow > 150 && light > 50);
    QCOMPARE(image.pixelColor(corner + QPoint(10, 10)), QColor(Qt::yellow));
}

void TestActionWin::escapeCloseAndHideEndTheGrab()
{
    DebugLogOpen(DebugLogToCallback, nullptr, CollectLine);
    ActionWin win;
    QSignalSpy stops(&win, &ActionWin::SignalStop);
    win.show();
    win.ShowSignal(50, 50);
    QCOMPARE(QWidget::keyboardGrabber(), &win);
    QKeyEvent other(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(&win, &other);
    QVERIFY(!other.isAccepted()); // other keys are left to others
    QTest::keyClick(&win, Qt::Key_Escape);
    QCOMPARE(stops.size(), 1);
    QCOMPARE(logged, QStringList {"ESC received"});
    QCOMPARE(QWidget::keyboardGrabber(), nullptr);

    win.ShowSignal(50, 50);
    QVERIFY(win.close()); // the frame's close: a stop, but no log line
    QCOMPARE(stops.size(), 2);
    QCOMPARE(logged.size(), 1);
    QCOMPARE(QWidget::keyboardGrabber(), nullptr); // hiding released it
    DebugLogClose();
}

// Showing and taking away the disc repaint its square alone, which is what reaches the screen
// fast; the window's first showing still paints it whole.
void TestActionWin::signalRepaintsOnlyTheDisc()
{
    ActionWin win;
    QList<QRegion> painted;
    struct Recorder : QObject
    {
        QList<QRegion> *regions;
        bool eventFilter(QObject *, QEvent *event) override
        {
            if (event->type() == QEvent::Paint)
                regions->append(static_cast<QPaintEvent *>(event)->region());
            return false;
        }
    } recorder;
    recorder.regions = &painted;
    win.installEventFilter(&recorder);
    win.resize(1600, 900);
    win.show();
    QVERIFY(QTest::qWaitForWindowExposed(&win));
    QTRY_VERIFY(!painted.isEmpty());
    QCOMPARE(painted.last(), QRegion(win.rect()));

    const QRect disc = PlaceSignal(win.size(), 0, 100).disc;
    painted.clear();
    win.ShowSignal(0, 100);
    QCOMPARE(painted, QList<QRegion> {QRegion(disc.adjusted(-2, -2, 2, 2))});
    QSignalSpy results(&win, &ActionWin::SignalResult);
    painted.clear();
    QTest::keyClick(&win, Qt::Key_Space);
    QCOMPARE(results.size(), 1);
    QCOMPARE(painted, QList<QRegion> {QRegion(disc.adjusted(-2, -2, 2, 2))});
    QVERIFY(!win.SignalVisible());
    QCOMPARE(win.grab().toImage().pixelColor(disc.center()), QColor(Qt::black));
}

QTEST_MAIN(TestActionWin)
#include "tst_actionwin.moc"
