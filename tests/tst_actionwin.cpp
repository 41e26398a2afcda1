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

// The first and last rows holding light pixels: where the message is drawn.
QPair<int, int> TextRows(const QImage &image)
{
    QList<int> rows;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < 400; ++x)
            if (image.pixelColor(x, y).lightness() > 128) {
                rows.append(y);
                break;
            }
    return rows.isEmpty() ? qMakePair(-1, -1) : qMakePair(rows.first(), rows.last());
}

} // namespace

class TestActionWin : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void paintsTheDisc_data();
    void paintsTheDisc();
    void messageFollowsTheSignalsHeight();
    void escapeCloseAndHideEndTheGrab();

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
    QCOMPARE(PlaceSignal(QSize(801, 601), pos, pos).disc, QRect(corner, QSize(20, 20)));

    const QPoint centre = corner + QPoint(10, 10);
    QCOMPARE(Render(*win).pixelColor(centre), QColor(Qt::black));
    win->ShowSignal(pos, pos);
    const QImage image = Render(*win);
    int yellow = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c == QColor(Qt::yellow)) {
                ++yellow;
                QVERIFY(QRect(corner, QSize(21, 21)).contains(x, y));
            } else if (!QRect(corner - QPoint(2, 2), QSize(25, 25)).contains(x, y)) {
                QCOMPARE(c, QColor(Qt::black)); // the rest of the window
            }
        }
    QVERIFY(yellow > 150);
    QCOMPARE(image.pixelColor(centre), QColor(Qt::yellow));
}

void TestActionWin::messageFollowsTheSignalsHeight()
{
    QCOMPARE(TextRows(Render(*win)).first, -1);
    win->SetMessage("Game Over! Drücke ESC.");
    auto [top, bottom] = TextRows(Render(*win));
    QVERIFY(top >= 285 && bottom <= 303); // baseline 300

    win->ShowSignal(50, 0);
    win->ResetRun(); // the disc goes, the text moves to the last signal's baseline, 20
    std::tie(top, bottom) = TextRows(Render(*win));
    QVERIFY(top >= 5 && bottom <= 23);
}

void TestActionWin::escapeCloseAndHideEndTheGrab()
{
    QSignalSpy stops(win, &ActionWin::SignalStop);
    win->show();
    win->ShowSignal(50, 50);
    QCOMPARE(QWidget::keyboardGrabber(), win);
    for (int key : {Qt::Key_Return, Qt::Key_A}) { // other keys are left to others
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(win, &press);
        QVERIFY(!press.isAccepted());
    }
    QTest::keyClick(win, Qt::Key_Escape);
    QCOMPARE(stops.size(), 1);
    QCOMPARE(logged, QStringList {"ESC received"});
    QCOMPARE(QWidget::keyboardGrabber(), nullptr);

    win->ShowSignal(50, 50);
    QVERIFY(win->close()); // the frame's close: a stop, but no log line
    QCOMPARE(stops.size(), 2);
    QCOMPARE(logged.size(), 1);
    QCOMPARE(QWidget::keyboardGrabber(), nullptr); // hiding released it
}

QTEST_MAIN(TestActionWin)
#include "tst_actionwin.moc"
