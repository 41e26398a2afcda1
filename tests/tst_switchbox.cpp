#include "boxwin.h"
#include "debuglog.h"
#include "evaluation.h"
#include "mainwindowdriver.h"
#include "portname.h"
#include "pseudoterminal.h"
#include "switchbox.h"

#include <termios.h>

// The link to the box over a real pseudo-terminal, and whole box runs through the main window:
// against a peer played by the test, and against the box simulator.
class TestSwitchBox : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void portNumbersResolveLikeWine();
    void commandsAndRepliesOverAPseudoTerminal();
    void openFailureIsReportedAtStart();
    void peerRunWithStrayRepliesAndAVanishingBox();
    void wholeRunsAgainstTheSimulator();

private:
    void StartWindow(const QByteArray &ini);
    void ClickReady() { QTest::mouseClick(boxWin->readyButton, Qt::LeftButton); }
    QByteArray Expect(PseudoTerminal &pty, const QByteArray &bytes); // what arrived, up to bytes
    QStringList LogLines() const { return ::LogLines(temp.filePath("log")); }

    QTemporaryDir temp;
    MainWindow *window = nullptr;
    BoxWin *boxWin = nullptr;
    std::unique_ptr<ModalAnswerer> answerer;
};

void TestSwitchBox::init()
{
    SetFolder(DataFolder, temp.path());
    QDir::setCurrent(temp.path());
    DebugLogOpen(DebugLogToFile | DebugLogTruncate, QFile::encodeName(temp.filePath("log")).constData(), nullptr);
    answerer = std::make_unique<ModalAnswerer>();
}

void TestSwitchBox::cleanup()
{
    answerer.reset();
    delete window;
    window = nullptr;
    DebugLogClose();
    QCOMPARE(QApplication::overrideCursor(), nullptr);
}

void TestSwitchBox::StartWindow(const QByteArray &ini)
{
    delete window;
    window = OpenMainWindow("useBox=true\n" + ini);
    boxWin = TopLevel<BoxWin>();
    QVERIFY(boxWin);
}

QByteArray TestSwitchBox::Expect(PseudoTerminal &pty, const QByteArray &bytes)
{
    QByteArray got;
    QDeadlineTimer deadline(5000);
    while (!got.endsWith(bytes) && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        got += pty.Read(5);
    }
    return got;
}

void TestSwitchBox::portNumbersResolveLikeWine()
{
    QDir dev(temp.filePath("dev"));
    QVERIFY(dev.mkpath("."));
    for (const char *name : {"ttyS0", "ttyS1", "ttyS3", "ttyUSB0", "ttyUSB1", "ttyACM1"})
        QFile(dev.filePath(name)).open(QIODevice::WriteOnly);
    const QStringList devices = SerialDevices(dev.path() + '/');
    // Each series stops at its first gap: no ttyS3, and no ttyACM at all without ttyACM0.
    QCOMPARE(devices,
        QStringList({dev.filePath("ttyS0"), dev.filePath("ttyS1"), dev.filePath("ttyUSB0"), dev.filePath("ttyUSB1")}));
    QCOMPARE(NthSerialDevice(devices, 1), dev.filePath("ttyS0"));
    QCOMPARE(NthSerialDevice(devices, 3), dev.filePath("ttyUSB0"));
    QCOMPARE(NthSerialDevice(devices, 0), QString());
    QCOMPARE(NthSerialDevice(devices, 5), QString());

    // A link in the data folder pins a number, even while its device is gone.
    const QString link = DataPath(BoxPortLinkName(1), DataFolder);
    QVERIFY(QFile::link(temp.filePath("nowhere"), link));
    QCOMPARE(BoxPortName(1), link);
    QCOMPARE(BoxPortName(0), QString()); // no COM0 without a link
    QFile::remove(link);
}

void TestSwitchBox::commandsAndRepliesOverAPseudoTerminal()
{
    PseudoTerminal pty;
    QCOMPARE(pty.Open(), QString());
    QCOMPARE(pty.LinkAs(DataPath(BoxPortLinkName(42), DataFolder)), QString());
    SwitchBox box;
    QSignalSpy results(&box, &SwitchBox::SignalResult);
    QCOMPARE(box.Open(42), 0);
    QVERIFY(box.IsOpen());

    termios line {}; // the program's line settings, seen from the other end
    QCOMPARE(tcgetattr(pty.SlaveFd(), &line), 0);
    QCOMPARE(cfgetospeed(&line), speed_t(B19200));
    QCOMPARE(line.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), tcflag_t(CS8));

    box.SetLED(false);
    box.SetLED(true);
    box.StartReaction();
    box.SendParameters(1, -2, 3, 4, 5, 2147483647);
    QCOMPARE(Expect(pty, "\n"), QByteArray("L 0\nL 1\nr\nT 1 -2 3 4 5 2147483647\n"));

    pty.Write("t 2519");
    QTest::qWait(60);
    box.Poll();
    QCOMPARE(results.size(), 0);
    pty.Write("99\r\nt 1000;");
    QTRY_VERIFY((box.Poll(), results.size() == 2));
    QCOMPARE(results.at(0).at(0).toInt(), 251);
    QCOMPARE(results.at(1).at(0).toInt(), 1);

    box.Close();
    box.StartReaction();
    box.SetLED(false);
    QCOMPARE(box.IsResultReady(), 0);
    QCOMPARE(pty.Read(100), QByteArray()); // nothing goes out on a closed port
    QCOMPARE(box.Open(43), -1);
    QCOMPARE(box.LastError(), -100);
}

void TestSwitchBox::openFailureIsReportedAtStart()
{
    QVERIFY(QFile::link(temp.filePath("unplugged"), DataPath(BoxPortLinkName(7), DataFolder)));
    StartWindow("boxCom=7\n");
    QCOMPARE(answerer->seen,
        QStringList("Fehler beim Öffnen der Schaltbox|Die Schnittstelle COM7 konnte nicht geöffnet werden.!"));

    // The run goes on without a box and stalls after its first wait until "Fertig !".
    QTest::mouseClick(window->startButton, Qt::LeftButton);
    QVERIFY(boxWin->isVisible());
    QCOMPARE(boxWin->windowModality(), Qt::ApplicationModal);
    QTest::qWait(100);
    ClickReady();
    QVERIFY(!boxWin->isVisible());
    QCOMPARE(window->resultLabel->text(), QString(" --- "));

    StartWindow("useBox=false\nboxCom=7\n"); // screen mode never opens the port
    QCOMPARE(answerer->seen.size(), 1);
    QFile::remove(DataPath(BoxPortLinkName(7), DataFolder));
}

void TestSwitchBox::peerRunWithStrayRepliesAndAVanishingBox()
{
    PseudoTerminal pty;
    QCOMPARE(pty.Open(), QString());
    QCOMPARE(pty.LinkAs(DataPath(BoxPortLinkName(8), DataFolder)), QString());
    StartWindow("boxCom=8\ncnt=10\nminDel=0.02\nmaxDel=0.05\n");
    QVERIFY(answerer->seen.isEmpty());
    QSignalSpy results(window->findChild<SwitchBox *>(), &SwitchBox::SignalResult);

    pty.Write("t 999000\n"); // before any run: not a result
    QTest::qWait(120);
    QTest::mouseClick(window->startButton, Qt::LeftButton);
    QCOMPARE(Expect(pty, "r\n"), QByteArray("L 0\nr\n"));
    const QList<int> answers {300, 250, 280, 260, 270};
    for (int i = 0; i < answers.size(); ++i) {
        // A second, unasked-for reply must neither count nor start another chain of signals; a
        // garbled one is dropped and the run waits on for the real answer.
        const QByteArray answer = "t " + QByteArray::number(answers[i] * 1000 + 999) + '\n';
        pty.Write(i == 1 ? answer + "t 5000\n" : i == 2 ? "t -250000\n" + answer : answer);
        if (i + 1 < answers.size())
            QCOMPARE(Expect(pty, "r\n"), QByteArray("r\n"));
    }
    QTRY_COMPARE(results.size(), answers.size() + 2);
    QCOMPARE(Expect(pty, "r\n"), QByteArray("r\n"));
    QCOMPARE(LogLines().filter("ohne Messung verworfen").size(), 2);
    QCOMPARE(LogLines().filter("Antwort"), QStringList("Antwort \"t -250000\" verworfen"));

    pty.Close(); // the box goes away with a measurement outstanding
    QTRY_VERIFY(!window->findChild<SwitchBox *>()->IsOpen());
    QVERIFY(boxWin->isVisible());
    ClickReady();
    QCOMPARE(window->resultLabel->text(), QString::number(Evaluate(answers).result.value()));
}

void TestSwitchBox::wholeRunsAgainstTheSimulator()
{
    QProcess simulator;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", temp.path());
    simulator.setProcessEnvironment(env);
    simulator.start(
        qEnvironmentVariable("BLINKDASH_BIN_DIR") + "/blinkdash-boxsim", {"--com", "5", "--random", "120000:130999"});
    QVERIFY(simulator.waitForReadyRead(5000));
    QVERIFY(QFileInfo(DataPath(BoxPortLinkName(5), DataFolder)).isSymLink());

    StartWindow("boxCom=5\ncnt=5\nminDel=0.02\nmaxDel=0.06\n");
    QVERIFY(answerer->seen.isEmpty());
    QSignalSpy results(window->findChild<SwitchBox *>(), &SwitchBox::SignalResult);
    QTest::mouseClick(window->startButton, Qt::LeftButton);
    QVERIFY(boxWin->isVisible());
    QCOMPARE(boxWin->label->text(), QString("Test läuft!!! Bitte auf die LED der Schaltbox achten!"));
    QVERIFY(!QApplication::overrideCursor());
    QTRY_COMPARE_WITH_TIMEOUT(boxWin->label->text(), QString("Game Over!! Bitte auf FERTIG drücken"), 10000);
    QList<int> times;
    for (const QList<QVariant> &result : results)
        times.append(result.at(0).toInt());
    QCOMPARE(times.size(), 5);
    QVERIFY(*std::min_element(times.begin(), times.end()) >= 120);
    QVERIFY(*std::max_element(times.begin(), times.end()) <= 130);
    ClickReady();
    QVERIFY(!boxWin->isVisible());
    const std::optional<int> result = Evaluate(times).result; // none when the three counted times are equal
    QCOMPARE(window->resultLabel->text(), result ? QString::number(*result) : QString(" --- "));

    // A second run shows the running text again, and "Fertig !" ends it at any time.
    QTest::mouseClick(window->startButton, Qt::LeftButton);
    QCOMPARE(boxWin->label->text(), QString("Test läuft!!! Bitte auf die LED der Schaltbox achten!"));
    QTRY_COMPARE(results.size(), 6);
    ClickReady();
    QCOMPARE(window->resultLabel->text(), QString(" --- "));

    // A box window closed through its frame leaves a run nobody can confirm; a new start replaces it.
    QTest::mouseClick(window->startButton, Qt::LeftButton);
    boxWin->close();
    QTest::mouseClick(window->startButton, Qt::LeftButton);
    QVERIFY(boxWin->isVisible());
    ClickReady();

    simulator.terminate();
    QVERIFY(simulator.waitForFinished(5000));
    const QString log = QString::fromLatin1(simulator.readAll());
    QCOMPARE(log.count("LED off  <- L"), 4);
    QVERIFY(!QFileInfo::exists(DataPath(BoxPortLinkName(5), DataFolder)));
}

QTEST_MAIN(TestSwitchBox)
#include "tst_switchbox.moc"
