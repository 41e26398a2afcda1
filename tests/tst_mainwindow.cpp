#include "actionwin.h"
#include "debuglog.h"
#include "evaluation.h"
#include "folders.h"
#include "mainwindow.h"
#include "testsupport.h"

#include <QtTest>

namespace {

const QString DingPath = qEnvironmentVariable("BLINKDASH_BIN_DIR") + "/ding.wav";

} // namespace

// Drives whole screen runs as a person would: the start button, SPACE on the stimulus window
// when the disc shows, ESC at the end.
class TestMainWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void formLooksAsDesigned();
    void wholeRunIsMeasuredEvaluatedAndTraced();
    void sixthEarlyPressAbortsAndEvaluates();
    void escapeDuringAWaitStopsForGood();
    void secondStartDuringARunIsIgnored();
    void restartAfterAStopIsNotDisturbedByTheOldWaits();
    void noSignalsAtAll();
    void warningSoundsBeforeEachSignal();
    void handEditedExtremesStillRun();
    void nameFieldTakesTypingAfterARun();

private:
    void WriteIni(const QByteArray &common);
    void StartWindow();
    void Start();
    // Waits for the disc, lets a little time pass, presses SPACE; returns the measured time.
    int AnswerSignal(int thinkMs);
    QStringList LogLines() const;

    QTemporaryDir temp;
    MainWindow *window = nullptr;
    ActionWin *action = nullptr;
    SoundPlayer *sounds = nullptr;
    std::unique_ptr<QSignalSpy> results;
    std::unique_ptr<QSignalSpy> played;
};

void TestMainWindow::init()
{
    SetFolder(DataFolder, temp.path());
    QFile::remove(DataPath("blinkdash.ini", DataFolder));
    QDir::setCurrent(temp.path()); // the end sound's relative name must not find a stray file
    DebugLogOpen(
        DebugLogToFile | DebugLogTruncate, QFile::encodeName(temp.filePath("blinkdash.dbg")).constData(), nullptr);
}

void TestMainWindow::cleanup()
{
    results.reset();
    played.reset();
    delete window; // the QPointer-free way: the test owns it, like main after the loop
    window = nullptr;
    DebugLogClose();
    QCOMPARE(QApplication::overrideCursor(), nullptr);
}

void TestMainWindow::WriteIni(const QByteArray &common)
{
    QFile file(DataPath("blinkdash.ini", DataFolder));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[Common]\n" + common);
}

void TestMainWindow::StartWindow()
{
    window = new MainWindow;
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    window->show();
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *a = qobject_cast<ActionWin *>(w))
            action = a;
    QVERIFY(action);
    sounds = window->findChild<SoundPlayer *>();
    QVERIFY(sounds);
    results = std::make_unique<QSignalSpy>(action, &ActionWin::SignalResult);
    played = std::make_unique<QSignalSpy>(sounds, &SoundPlayer::PlayRequested);
}

void TestMainWindow::Start()
{
    QTest::mouseClick(window->startButton, Qt::LeftButton);
}

int TestMainWindow::AnswerSignal(int thinkMs)
{
    const int before = results->size();
    [&] { QTRY_VERIFY_WITH_TIMEOUT(action->SignalVisible(), 5000); }();
    QTest::qWait(thinkMs);
    QTest::keyClick(action, Qt::Key_Space);
    return results->size() > before ? results->last().at(0).toInt() : -1;
}

QStringList TestMainWindow::LogLines() const
{
    QFile file(temp.filePath("blinkdash.dbg"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLatin1(file.readAll()).split('\n', Qt::SkipEmptyParts);
}

void TestMainWindow::formLooksAsDesigned()
{
    StartWindow();
    QCOMPARE(window->windowTitle(), QString("Tamber's Flinkprobe"));
    QCOMPARE(window->objectName(), QString("Form"));
    QCOMPARE(window->size(), QSize(449, 403));
    QCOMPARE(window->minimumSize(), QSize(100, 100));

    const struct
    {
        QWidget *widget;
        QRect geometry;
        QString text;
    } expected[] = {
        {window->startButton, {30, 260, 381, 71}, "Los geht's ..."},
        {window->groupBox_2, {30, 40, 211, 111}, "letztes Ergebnis"},
        {window->resultLabel, {10, 20, 181, 41}, "---"},
        {window->scoreButton, {10, 70, 111, 24}, "HighScores"},
        {window->closeButton, {280, 50, 131, 31}, "Schließen"},
        {window->saveButton, {280, 100, 131, 31}, "Ergebnisse Speichern"},
        {window->configButton, {280, 150, 131, 31}, "Einstellungen"},
        {window->aboutButton, {280, 200, 131, 31}, "über..."},
        {window->label, {30, 180, 81, 16}, "Name / Kürzel:"},
        {window->lineEdit, {30, 200, 211, 20}, ""},
    };
    for (const auto &e : expected) {
        QCOMPARE(e.widget->geometry(), e.geometry);
        const QVariant text = e.widget->property(qobject_cast<QGroupBox *>(e.widget) ? "title" : "text");
        QCOMPARE(text.toString(), e.text);
    }
    QCOMPARE(window->resultLabel->parentWidget(), window->groupBox_2);
    QVERIFY(window->resultLabel->font().bold());
    QCOMPARE(window->resultLabel->frameShape(), QFrame::WinPanel);
    QCOMPARE(window->resultLabel->alignment(), Qt::AlignRight | Qt::AlignVCenter);
    QVERIFY(window->label_4->text().startsWith("Eine Kurzanleitung gibt es unter <a href="));
    QVERIFY(!window->label_4->openExternalLinks());
}

void TestMainWindow::wholeRunIsMeasuredEvaluatedAndTraced()
{
    WriteIni("minDel=0.01\nmaxDel=0.04\ncnt=6\nrandomPosition=true\n");
    StartWindow();
    Start();
    QCOMPARE(window->resultLabel->text(), QString(" --- "));
    QVERIFY(action->isVisible());
    QCOMPARE(QApplication::overrideCursor()->shape(), Qt::BlankCursor);

    QList<int> measured;
    const int thinking[] = {120, 90, 30, 45, 35, 150};
    for (int think : thinking)
        measured.append(AnswerSignal(think));
    QTRY_COMPARE(played->size(), 1); // the end sound, after one more wait
    QCOMPARE(played->at(0).at(0).toString(), QString("ding.wav"));
    QVERIFY(action->isVisible());

    QTest::keyClick(action, Qt::Key_Escape);
    QVERIFY(!action->isVisible());
    QCOMPARE(QApplication::overrideCursor(), nullptr);
    for (int i = 0; i < 6; ++i)
        QVERIFY2(
            measured[i] >= thinking[i] && measured[i] < thinking[i] + 500, qPrintable(QString::number(measured[i])));

    const Evaluation expected = Evaluate(measured);
    QVERIFY(expected.result);
    QCOMPARE(window->resultLabel->text(), QString::number(*expected.result));

    const QStringList lines = LogLines();
    QCOMPARE(lines.size(), 1 + 6 + 2);
    QCOMPARE(lines.first().section(' ', 0, 2), QString("start 10 30"));
    for (int i = 1; i <= 6; ++i) {
        QVERIFY(lines[i].startsWith("SlotNextEvent "));
        const int wait = lines[i].section(' ', 1).toInt();
        QVERIFY(wait >= 10 && wait <= 40);
    }
    QCOMPARE(lines[7], QString("ESC received"));
    QCOMPARE(lines[8],
        QString("Mittelwert %1 mittl. abweichung %2 schwelle %3")
            .arg(expected.mean)
            .arg(expected.deviation)
            .arg(expected.threshold));
}

void TestMainWindow::sixthEarlyPressAbortsAndEvaluates()
{
    WriteIni("minDel=0.01\nmaxDel=0.02\ncnt=10\nrandomPosition=false\n");
    StartWindow();
    Start();
    QList<int> measured;
    for (int i = 0; i < 4; ++i)
        measured.append(AnswerSignal(20 + 10 * i));
    QVERIFY(measured.last() >= 0);

    // Two presses for one signal: the second is early. Then four more are tolerated...
    QTRY_VERIFY(action->SignalVisible());
    QTest::keyClick(action, Qt::Key_Space);
    measured.append(results->last().at(0).toInt());
    for (int i = 0; i < 5; ++i)
        QTest::keyClick(action, Qt::Key_Space);
    QVERIFY(action->isVisible());

    // ...and the sixth aborts: the run stops, is evaluated, and the box tells why.
    MessageBoxCatcher boxes;
    if (action->SignalVisible())
        measured.append(AnswerSignal(0)); // a disc that slipped in meanwhile is a fair answer
    QTest::keyClick(action, Qt::Key_Space);
    QTRY_VERIFY(!action->isVisible());
    QCOMPARE(boxes.title, QString("Fehler"));
    QCOMPARE(results->size(), measured.size());
    QCOMPARE(window->resultLabel->text(), QString::number(*Evaluate(measured).result));
    QCOMPARE(QWidget::keyboardGrabber(), nullptr);
}

void TestMainWindow::escapeDuringAWaitStopsForGood()
{
    WriteIni("minDel=0.2\nmaxDel=0.2\ncnt=3\n");
    StartWindow();
    Start();
    QTest::qWait(50);
    QTest::keyClick(action, Qt::Key_Escape);
    QVERIFY(!action->isVisible());
    QCOMPARE(window->resultLabel->text(), QString(" --- ")); // no times, no result

    QTest::qWait(400); // well past the wait that was pending
    QVERIFY(!action->SignalVisible());
    QVERIFY(!action->isVisible());
    QCOMPARE(played->size(), 0);
    QCOMPARE(QWidget::keyboardGrabber(), nullptr);
}

void TestMainWindow::secondStartDuringARunIsIgnored()
{
    WriteIni("minDel=0.03\nmaxDel=0.06\ncnt=4\n");
    StartWindow();
    Start();
    Start(); // the main window can still be clicked while the stimulus window is up
    for (int i = 0; i < 4; ++i) {
        AnswerSignal(10);
        Start();
    }
    QTRY_COMPARE(played->size(), 1);
    QTest::qWait(150); // time for a second chain of waits to show itself
    QVERIFY(!action->SignalVisible());
    QCOMPARE(results->size(), 4);
    QCOMPARE(played->size(), 1);
    QTest::keyClick(action, Qt::Key_Escape);
    QCOMPARE(LogLines().filter(QRegularExpression("^start ")).size(), 1);
}

void TestMainWindow::restartAfterAStopIsNotDisturbedByTheOldWaits()
{
    WriteIni("minDel=0.3\nmaxDel=0.3\ncnt=5\n");
    StartWindow();
    Start();
    QTest::qWait(200);
    QTest::keyClick(action, Qt::Key_Escape);

    // The first run's wait had 100 ms left; the new run's first signal is due after 299 ms.
    QElapsedTimer sinceStart;
    sinceStart.start();
    Start();
    while (sinceStart.elapsed() < 250) {
        QVERIFY2(!action->SignalVisible(), qPrintable(QString::number(sinceStart.elapsed())));
        QTest::qWait(5);
    }
    QTRY_VERIFY(action->SignalVisible());
    QVERIFY(sinceStart.elapsed() >= 299);
    AnswerSignal(10);
    QTest::keyClick(action, Qt::Key_Escape);
    QCOMPARE(results->size(), 1);
    QCOMPARE(played->size(), 0);
}

void TestMainWindow::noSignalsAtAll()
{
    WriteIni("minDel=0.02\nmaxDel=0.02\ncnt=0\n");
    StartWindow();
    Start();
    QTRY_COMPARE(played->size(), 1);
    QCOMPARE(results->size(), 0);
    QVERIFY(action->isVisible()); // the end notice waits for ESC
    QTest::keyClick(action, Qt::Key_Escape);
    QCOMPARE(window->resultLabel->text(), QString(" --- "));
}

void TestMainWindow::warningSoundsBeforeEachSignal()
{
    // Waits of 400 ms, warnings 100 to 200 ms before each signal.
    WriteIni("minDel=0.4\nmaxDel=0.4\ncnt=3\nenableWav=true\nminAkkust=100\nmaxAkkust=200\nwavFile="
        + QFile::encodeName(DingPath) + "\n");
    StartWindow();
    for (int round = 0; round < 3; ++round) {
        if (round == 0)
            Start();
        QTRY_COMPARE(played->size(), round + 1);
        QVERIFY(!action->SignalVisible()); // the warning comes first
        QCOMPARE(played->last().at(0).toString(), DingPath);
        AnswerSignal(5);
    }
    QTRY_COMPARE(played->size(), 4); // no warning after the last signal, only the end sound
    QCOMPARE(played->last().at(0).toString(), QString("ding.wav"));
    QTest::keyClick(action, Qt::Key_Escape);

    // A lead longer than the wait gives no warning at all.
    delete window; // stores its settings, so write ours after it
    WriteIni("minDel=0.05\nmaxDel=0.05\ncnt=2\nenableWav=true\nminAkkust=300\nmaxAkkust=300\n");
    StartWindow();
    Start();
    AnswerSignal(5);
    AnswerSignal(5);
    QTRY_COMPARE(played->size(), 1);
    QCOMPARE(played->last().at(0).toString(), QString("ding.wav"));
    QTest::keyClick(action, Qt::Key_Escape);
}

void TestMainWindow::handEditedExtremesStillRun()
{
    WriteIni("minDel=nan\nmaxDel=-inf\ncnt=3\nenableWav=true\nminAkkust=-2147483648\nmaxAkkust=2147483647\n"
             "wavFile=\nrandomPosition=yes\n");
    StartWindow();
    Start();
    for (int i = 0; i < 3; ++i)
        QVERIFY(AnswerSignal(5) >= 0);
    QTRY_VERIFY(played->size() >= 1);
    QTest::keyClick(action, Qt::Key_Escape);
    QVERIFY(!action->isVisible());
    QVERIFY(LogLines().first().startsWith("start 0 0 0"));

    // Negative counts run no signals instead of endless ones.
    delete window;
    WriteIni("minDel=0.01\nmaxDel=0.01\ncnt=-5\n");
    StartWindow();
    Start();
    QTRY_COMPARE(played->size(), 1);
    QVERIFY(!action->SignalVisible());
    QTest::keyClick(action, Qt::Key_Escape);
}

void TestMainWindow::nameFieldTakesTypingAfterARun()
{
    WriteIni("minDel=0.01\nmaxDel=0.01\ncnt=2\n");
    StartWindow();
    Start();
    QTRY_VERIFY(action->SignalVisible());
    QCOMPARE(QWidget::keyboardGrabber(), action);
    QTest::keyClick(action, Qt::Key_Escape);
    QCOMPARE(QWidget::keyboardGrabber(), nullptr);

    // A second run closed through the window frame while the disc shows.
    Start();
    QTRY_VERIFY(action->SignalVisible());
    QVERIFY(action->close());
    QVERIFY(!action->isVisible());
    QCOMPARE(QWidget::keyboardGrabber(), nullptr);

    window->activateWindow();
    window->lineEdit->setFocus();
    QTest::keyClicks(window->lineEdit, "Max M");
    QCOMPARE(window->lineEdit->text(), QString("Max M"));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
