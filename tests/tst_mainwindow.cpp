#include "actionwin.h"
#include "debuglog.h"
#include "evaluation.h"
#include "mainwindowdriver.h"

// Drives whole screen runs as a person would: the start button, SPACE on the stimulus window
// when the disc shows, ESC at the end.
class TestMainWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void wholeRunIsMeasuredEvaluatedAndTraced();
    void earlyPressesAndTheSixthAborting();
    void escapeDuringAWaitAndARestart();
    void secondStartDuringARunIsIgnored();
    void warningAndHandEditedExtremes();
    void settingsFileAtExit();

private:
    void StartWindow(const QByteArray &ini);
    void Start() { QTest::mouseClick(window->startButton, Qt::LeftButton); }
    int AnswerSignal(int thinkMs); // waits for the disc, thinks, presses SPACE; the measured time
    QStringList LogLines() const { return ::LogLines(temp.filePath("log")); }

    QTemporaryDir temp;
    MainWindow *window = nullptr;
    ActionWin *action = nullptr;
    std::unique_ptr<QSignalSpy> results, played;
};

void TestMainWindow::init()
{
    SetFolder(DataFolder, temp.path());
    QDir::setCurrent(temp.path()); // the end sound's relative name finds nothing here
    DebugLogOpen(DebugLogToFile | DebugLogTruncate, QFile::encodeName(temp.filePath("log")).constData(), nullptr);
}

void TestMainWindow::cleanup()
{
    results.reset();
    played.reset();
    delete window;
    window = nullptr;
    DebugLogClose();
    QCOMPARE(QApplication::overrideCursor(), nullptr);
    QCOMPARE(QWidget::keyboardGrabber(), nullptr); // the name field can take typing
}

void TestMainWindow::StartWindow(const QByteArray &ini)
{
    delete window; // stores its settings, so write ours after it
    window = OpenMainWindow(ini);
    action = TopLevel<ActionWin>();
    results = std::make_unique<QSignalSpy>(action, &ActionWin::SignalResult);
    played = std::make_unique<QSignalSpy>(window->findChild<SoundPlayer *>(), &SoundPlayer::PlayRequested);
}

int TestMainWindow::AnswerSignal(int thinkMs)
{
    return PressWhenShown(action, thinkMs) ? results->last().at(0).toInt() : -1;
}

void TestMainWindow::wholeRunIsMeasuredEvaluatedAndTraced()
{
    StartWindow("minDel=0.01\nmaxDel=0.04\ncnt=6\n");
    Start();
    QCOMPARE(window->resultLabel->text(), QString(" --- "));
    QCOMPARE(QApplication::overrideCursor()->shape(), Qt::BlankCursor);

    QList<int> measured;
    for (int think : {120, 90, 30, 45, 35, 150}) {
        measured.append(AnswerSignal(think));
        QVERIFY2(measured.last() >= think && measured.last() < think + 500, qPrintable(QString::number(think)));
    }
    QTRY_COMPARE(played->size(), 1); // the end sound, one wait after the last answer
    QCOMPARE(played->at(0).at(0).toString(), QString("ding.wav"));
    QTest::keyClick(action, Qt::Key_Escape);
    QVERIFY(!action->isVisible());

    const Evaluation expected = Evaluate(measured);
    QCOMPARE(window->resultLabel->text(), QString::number(expected.result.value()));
    const QStringList lines = LogLines();
    QCOMPARE(lines.size(), 9);
    QVERIFY(lines[0].startsWith("start 10 30 "));
    for (int i = 1; i <= 6; ++i)
        QVERIFY(QRegularExpression("^SlotNextEvent (1\\d|2\\d|3\\d|40)$").match(lines[i]).hasMatch());
    QCOMPARE(lines[7], QString("ESC received"));
    QCOMPARE(lines[8],
        QString("Mittelwert %1 mittl. abweichung %2 schwelle %3")
            .arg(expected.mean)
            .arg(expected.deviation)
            .arg(expected.threshold));
}

void TestMainWindow::earlyPressesAndTheSixthAborting()
{
    StartWindow("minDel=0.2\nmaxDel=0.2\ncnt=10\nrandomPosition=false\n");
    Start();
    QList<int> measured;
    for (int i = 0; i < 4; ++i)
        measured.append(AnswerSignal(10 * i));
    // The second press for a signal is an early one, and four more are tolerated...
    for (int i = 0; i < 5; ++i)
        QTest::keyClick(action, Qt::Key_Space);
    QVERIFY(action->isVisible());

    // ...but the sixth ends the run, evaluated on the four times, and a box says why.
    ModalAnswerer answerer;
    QTest::keyClick(action, Qt::Key_Space);
    QVERIFY(!action->isVisible());
    QCOMPARE(answerer.seen, QStringList("Fehler|Sie haben die Leertaste zu oft gedrückt.\nDer Test wird abgebrochen."));
    QCOMPARE(results->size(), 4);
    QCOMPARE(window->resultLabel->text(), QString::number(Evaluate(measured).result.value()));
}

void TestMainWindow::escapeDuringAWaitAndARestart()
{
    StartWindow("minDel=0.3\nmaxDel=0.3\ncnt=5\n");
    Start();
    QTest::qWait(200);
    QTest::keyClick(action, Qt::Key_Escape);
    QVERIFY(!action->isVisible());
    QCOMPARE(window->resultLabel->text(), QString(" --- ")); // no times, no result
    QTest::qWait(150);                                       // past the wait that was pending: no signal, no sound
    QVERIFY(!action->SignalVisible());
    QCOMPARE(played->size(), 0);

    Start(); // the new run's first signal is due after 299 ms, not earlier
    QElapsedTimer sinceStart;
    sinceStart.start();
    QVERIFY(AnswerSignal(0) >= 0);
    QVERIFY(sinceStart.elapsed() >= 299);
    QTest::keyClick(action, Qt::Key_Escape);
    QCOMPARE(results->size(), 1);
}

void TestMainWindow::secondStartDuringARunIsIgnored()
{
    StartWindow("minDel=0.03\nmaxDel=0.06\ncnt=4\n");
    Start();
    for (int i = 0; i < 4; ++i) {
        Start(); // the main window can still be clicked while the stimulus window is up
        QVERIFY(AnswerSignal(10) >= 0);
    }
    QTRY_COMPARE(played->size(), 1);
    QTest::qWait(150); // time for a second chain of waits to show itself
    QVERIFY(!action->SignalVisible());
    QCOMPARE(played->size(), 1);
    QTest::keyClick(action, Qt::Key_Escape);
    QCOMPARE(LogLines().filter(QRegularExpression("^start ")).size(), 1);
}

void TestMainWindow::warningAndHandEditedExtremes()
{
    // Waits of 400 ms, each warned 100 to 200 ms ahead; none after the last signal.
    StartWindow("minDel=0.4\nmaxDel=0.4\ncnt=2\nenableWav=true\nminAkkust=100\nmaxAkkust=200\nwavFile=beep.wav\n");
    Start();
    for (int round = 1; round <= 2; ++round) {
        QTRY_COMPARE(played->size(), round);
        QVERIFY(!action->SignalVisible());
        QCOMPARE(played->last().at(0).toString(), QString("beep.wav"));
        QVERIFY(AnswerSignal(5) >= 0);
    }
    QTRY_COMPARE(played->size(), 3);
    QCOMPARE(played->last().at(0).toString(), QString("ding.wav"));
    QTest::keyClick(action, Qt::Key_Escape);

    // Values no dialog would allow still give a run that shows its signals and stops on ESC.
    StartWindow("minDel=nan\nmaxDel=-inf\ncnt=3\nenableWav=true\nminAkkust=-2147483648\nmaxAkkust=2147483647\n"
                "wavFile=\nrandomPosition=yes\n");
    Start();
    for (int i = 0; i < 3; ++i)
        QVERIFY(AnswerSignal(5) >= 0);
    QTest::keyClick(action, Qt::Key_Escape);
    QVERIFY(LogLines().filter("start ").last().startsWith("start 0 0 0"));

    StartWindow("minDel=0.01\nmaxDel=-1e308\ncnt=-5\n"); // a negative count: no signals, not endless ones
    Start();
    QTRY_COMPARE(played->size(), 1);
    QVERIFY(action->isVisible() && !action->SignalVisible());
    QTest::keyClick(action, Qt::Key_Escape);
}

void TestMainWindow::settingsFileAtExit()
{
    const QString ini = DataPath("blinkdash.ini", DataFolder);
    QFile::remove(ini);
    delete new MainWindow; // a first start: defaults, and nine keys at exit, never cnt
    QSettings written(ini, QSettings::IniFormat);
    QCOMPARE(written.allKeys().size(), 9);
    QVERIFY(!written.contains("Common/cnt"));
    QCOMPARE(written.value("Common/maxDel").toDouble(), 7.0);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
