#include "boxwin.h"
#include "configwin.h"
#include "evaluation.h"
#include "historywin.h"
#include "journal.h"
#include "mainwindow.h"
#include "portname.h"
#include "postgrescluster.h"
#include "prompts.h"
#include "pseudoterminal.h"
#include "safefile.h"
#include "scorewin.h"
#include "screencheck.h"
#include "taskresult.h"
#include "testfolder.h"

#include <QMessageBox>
#include <QStandardItemModel>
#include <QtTest>

#include <atomic>
#include <functional>
#include <sys/mount.h>
#include <thread>

namespace {

template<class Window> Window *TopLevel()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *window = qobject_cast<Window *>(w))
            return window;
    return nullptr;
}

// Waits for the disc, thinks for thinkMs and presses SPACE; false when no disc came.
bool PressWhenShown(ActionWin *action, int thinkMs)
{
    if (!QTest::qWaitFor([&] { return action->SignalVisible(); }, 5000))
        return false;
    QTest::qWait(thinkMs);
    QTest::keyClick(action, Qt::Key_Space);
    return true;
}

void ClickOk(ConfigWin *dialog)
{
    dialog->buttonBox->button(QDialogButtonBox::Ok)->click();
}

RunRecord NewestRun()
{
    Journal journal(DataPath("blinkdash.sqlite", DataFolder));
    return journal.RunsWithTrials({journal.Runs().value(0).id}).value(0);
}

// The box with its light sensor on COM<com>, answering from a thread while the program waits: each
// "l" or "s" with the next of replies (the last again and again), each "e" with echo: after 16 ms
// behind an "l" or "s", after 24 ms when the line's delay is measured, so that the lateLight-th
// light's, after 22 ms, is clear of a busy machine's spread both from the others and from when
// the program gives up on it (at 27 ms); after echoesAnswered echoes, noise. Set up while idle.
struct PlayedBox
{
    explicit PlayedBox(int com)
    {
        QCOMPARE(pty.Open(), QString());
        QCOMPARE(pty.LinkAs(DataPath(BoxPortLinkName(com), DataFolder)), QString());
        player = std::thread([this] {
            QByteArray received;
            while (!done) {
                received += pty.Read(20);
                for (qsizetype end; (end = received.indexOf('\n')) >= 0; received.remove(0, end + 1)) {
                    const QByteArray command = received.left(end);
                    if (command == "e") {
                        const bool behindLight = std::exchange(late, false);
                        // To the microsecond: a sleep's overshoot alone can pass the limit over the median echo.
                        const auto due = std::chrono::steady_clock::now()
                            + std::chrono::microseconds(
                                behindLight ? (sent.size() == lateLight ? 22000 : 16000) : 24000);
                        for (QThread::usleep(15000); std::chrono::steady_clock::now() < due;) {
                        }
                        pty.Write(++echoes <= echoesAnswered ? echo : "x\n");
                    } else if (command == "l" || command == "s") {
                        pty.Write(sent.emplace_back(replies.size() > 1 ? replies.takeFirst() : replies.value(0)));
                        late = true;
                    }
                }
            }
        });
    }
    ~PlayedBox()
    {
        done = true;
        player.join();
    }

    PseudoTerminal pty;
    QByteArrayList replies, sent;
    QByteArray echo = "e\n"; // empty: an old firmware, or no sensor
    int echoes = 0, echoesAnswered = INT_MAX, lateLight = -1;
    bool late = false; // the echo right behind a light command
    std::atomic<bool> done {false};
    std::thread player;
};

} // namespace

// The program's windows driven as a person would, with real timers.
class TestWindows : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void screenRun();
    void boxRun();
    void failedSavesCostNothing();
    void settingsComeBackAndAreStoredOnOk();
    void taskSetting_data();
    void taskSetting();
    void choiceRun();
    void taskResults_data();
    void taskResults();
    void screenCheck();
    void stimulusWindowPaintsTheDisc();
    void stimulusWindowKeys_data();
    void stimulusWindowKeys();
    void classServer();

private:
    // Shows a new main window (not deleted on close) on blinkdash.ini, "[Common]" and ini; the old one first.
    void Open(const QByteArray &ini);
    ActionWin *Start(const QString &name);            // with a click, as a person starts a run
    QList<int> Run(const QString &name, int answers); // the times measured
    // Clicks button and hands the modal window it opens to answer, which ends it.
    template<class Dialog> void InDialog(QAbstractButton *button, const std::function<void(Dialog *)> &answer);
    void InConfigDialog(const std::function<void(ConfigWin *)> &answer) { InDialog(window->configButton, answer); }

    std::unique_ptr<TestFolder> folder;
    QStringList seen; // the program's messages and file choosers, as "title|text" or "caption|start"
    QString nextFile; // chosen in a file chooser; empty: Cancel
    MainWindow *window = nullptr;
};

void TestWindows::initTestCase()
{
    Prompt::SetAnswerer([this](const QString &shown) {
        seen << shown;
        return nextFile;
    });
}

void TestWindows::init()
{
    folder = std::make_unique<TestFolder>();
    seen.clear();
    nextFile.clear();
}

void TestWindows::cleanup()
{
    delete std::exchange(window, nullptr);
    folder.reset();
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
    QCOMPARE(QApplication::overrideCursor(), nullptr);
    QCOMPARE(QWidget::keyboardGrabber(), nullptr); // the name field can take typing
}

void TestWindows::Open(const QByteArray &ini)
{
    delete window;
    QFile file(DataPath("blinkdash.ini", DataFolder));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("[Common]\n" + ini) > 0);
    file.close();
    window = new MainWindow;
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    window->show();
}

ActionWin *TestWindows::Start(const QString &name)
{
    window->lineEdit->setText(name);
    window->activateWindow(); // as a click on it does
    [[maybe_unused]] const bool active = QTest::qWaitForWindowActive(window);
    QTest::mouseClick(window->startButton, Qt::LeftButton);
    return TopLevel<ActionWin>();
}

QList<int> TestWindows::Run(const QString &name, int answers)
{
    auto *action = Start(name);
    QSignalSpy times(action, &ActionWin::SignalResult);
    for (int i = 0; i < answers && PressWhenShown(action, i % 2 ? 12 : 3); ++i) // spread: not all alike
        ;
    QTest::keyClick(action, Qt::Key_Escape);
    QList<int> measured;
    for (const QList<QVariant> &t : times)
        measured.append(t.at(0).toInt());
    return measured;
}

template<class Dialog> void TestWindows::InDialog(QAbstractButton *button, const std::function<void(Dialog *)> &answer)
{
    bool reached = false;
    QTimer::singleShot(0, this, [&] {
        if (auto *dialog = qobject_cast<Dialog *>(QApplication::activeModalWidget())) {
            reached = true;
            answer(dialog);
            if (dialog->isVisible())
                dialog->reject(); // a failed check must not leave the test waiting
        }
    });
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(reached);
}

// Two runs started with Enter: the first ended by early presses, whose message SPACE neither closes
// nor gets past; the second, started as the main window takes the focus, run, kept and exported.
void TestWindows::screenRun()
{
    Open("minDel=0.2\nmaxDel=0.2\ncnt=4\nrandomPosition=false\n");
    auto *action = TopLevel<ActionWin>();
    QSignalSpy played(window->findChild<SoundPlayer *>(), &SoundPlayer::PlayRequested);
    window->lineEdit->setFocus(); // no name typed, and Enter
    QTest::keyClick(window->lineEdit, Qt::Key_Return);
    QVERIFY(PressWhenShown(action, 10));
    Prompt::SetAnswerer({}); // the message itself, as the person meets it
    QString read;
    QTimer::singleShot(0, this, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        for (int i = 0; box && i < 3; ++i)
            QTest::keyClick(box->focusWidget(), Qt::Key_Space);
        read = box && box->isVisible() ? box->text() : QString();
        if (box)
            QTest::keyClick(box->focusWidget(), Qt::Key_Return);
    });
    for (int i = 0; i < 6; ++i)
        QTest::keyClick(action, Qt::Key_Space); // five early presses tolerated, the sixth ends the run
    initTestCase();
    QCOMPARE(read, QString("Sie haben die Leertaste zu oft gedrückt.\nDer Test wird abgebrochen."));
    QTest::keyClick(window->focusWidget(), Qt::Key_Space);
    QVERIFY(!action->isVisible() && window->lineEdit->text().isEmpty());
    QCOMPARE(window->resultLabel->text(), QString(" --- "));

    window->lineEdit->setText("Anna");
    QTest::keyClick(window->startButton, Qt::Key_Return);
    QCOMPARE(QApplication::overrideCursor()->shape(), Qt::BlankCursor);
    QVERIFY(!action->SignalVisible()); // no disc of the last run, and its early presses forgotten:
    QTest::keyClick(action, Qt::Key_Space);
    QVERIFY(action->isVisible());
    window->activateWindow(); // a disc nobody can see is neither shown nor timed
    QTRY_VERIFY(folder->LogLines().contains("Signal nicht gezeigt: Fenster nicht sichtbar"));
    QVERIFY(!action->SignalVisible());
    QSignalSpy results(action, &ActionWin::SignalResult);
    QList<int> measured;
    for (int think : {120, 30, 60, 45}) {
        QVERIFY(PressWhenShown(action, think));
        measured.append(results.last().at(0).toInt());
        QVERIFY(measured.last() >= think && measured.last() < think + 500);
    }
    QTRY_VERIFY(played.contains({"ding.wav"})); // the end sound, one wait after the last answer
    QTest::keyClick(action, Qt::Key_Escape);

    const QList<RunRecord> runs = Journal(DataPath("blinkdash.sqlite", DataFolder)).Runs(); // the newest first
    QCOMPARE(runs.size(), 2);
    QCOMPARE(runs.last().ending, RunRecord::Ending::EarlyPresses);
    QCOMPARE(runs.last().earlyPresses, 6);
    const RunRecord anna = NewestRun();
    QCOMPARE(anna.name, "Anna");
    QCOMPARE(anna.earlyPresses, 1);
    QCOMPARE(anna.trials.size(), measured.size());
    for (int i = 0; i < measured.size(); ++i)
        QCOMPARE(anna.trials.at(i).timeMs, measured.at(i));
    // The label, the list and the journal tell the same result (boxRun works one by hand).
    const QString result = QString::number(anna.evaluation.result.value());
    QCOMPARE(window->resultLabel->text(), result);
    QCOMPARE(folder->Read("blinkdash.txt"), (result + " Anna\n").toUtf8()); // saved at once

    QString historySize;
    InDialog<ScoreWin>(window->scoreButton, [&](ScoreWin *scores) { // the entry, numbered from 0, and asked of below
        const QAbstractItemModel *model = scores->tableView->model();
        QCOMPARE(model->headerData(0, Qt::Vertical).toString(), "0");
        QVERIFY(scores->tableView->columnWidth(0) > 2 * scores->tableView->columnWidth(1)); // the name's the free width
        QVERIFY(scores->focusWidget() == scores->closeButton && !scores->tableView->selectionModel()->hasSelection());
        QVERIFY(!scores->deleteButton->isEnabled()); // removed once picked, after a yes, and saved at once
        scores->tableView->selectRow(0);
        for (const QString answer : {"", "ja"}) {
            nextFile = answer;
            QTest::mouseClick(scores->deleteButton, Qt::LeftButton);
        }
        QCOMPARE(model->rowCount(), 0);
        QTimer::singleShot(0, this, [&] { // "Verlauf" made larger, to be kept
            QWidget *history = QApplication::activeModalWidget();
            history->resize(history->size() + QSize(40, 30));
            historySize = QString("historySize=%1x%2").arg(history->width()).arg(history->height());
            history->close();
        });
        QTest::mouseClick(scores->historyButton, Qt::LeftButton);
    });
    QCOMPARE(seen, QStringList(2, "HighScores|Den Eintrag „Anna“ (" + result + " ms) aus den HighScores löschen?"));
    QCOMPARE(folder->Read("blinkdash.txt"), QByteArray());
    seen.clear();
    nextFile.clear();

    // The export: cancelled, written whole, and said so where it cannot be written.
    QTest::mouseClick(window->saveButton, Qt::LeftButton);
    QCOMPARE(seen, QStringList("Wähle einen Dateinamen zum Abspeichern|" + folder->Path() + '/'));
    nextFile = folder->Path("times.txt");
    QTest::mouseClick(window->saveButton, Qt::LeftButton);
    QByteArray times;
    for (int t : measured)
        times += QByteArray::number(t) + '\n';
    QCOMPARE(folder->Read("times.txt"), times);
    nextFile = "/dev/full";
    QTest::mouseClick(window->saveButton, Qt::LeftButton);
    QCOMPARE(seen.last(), QString("Fehler beim Speichern|Die Datei konnte nicht gespeichert werden!"));
    QVERIFY(!QFileInfo("/dev/full").isFile()); // still the device, not replaced by a file
    delete std::exchange(window, nullptr);     // the settings, at exit
    QVERIFY(folder->Read("blinkdash.ini").contains(historySize.toUtf8()));
}

// The box played over a pseudo-terminal: stray and garbled answers, gone mid-run, and not there.
void TestWindows::boxRun()
{
    const QString link = DataPath(BoxPortLinkName(8), DataFolder);
    PseudoTerminal first, pty;
    QCOMPARE(first.Open(), QString());
    QCOMPARE(first.LinkAs(link), QString());
    const auto expect = [&pty](const QByteArray &bytes) { // what the program sent, up to bytes
        QByteArray got;
        for (QDeadlineTimer deadline(5000); !got.endsWith(bytes) && !deadline.hasExpired();) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            got += pty.Read(5);
        }
        return got;
    };
    const QByteArray ini = "useBox=true\nboxCom=8\ncnt=6\nminDel=0.02\nmaxDel=0.03\n";
    Open(ini);
    QCOMPARE(pty.Open(), QString());
    QCOMPARE(pty.LinkAs(link), QString());
    InConfigDialog(ClickOk); // opens COM8 afresh, though unchanged: now another device
    window->findChild<SwitchBox *>()->SetLED(true);
    QCOMPARE(expect("L 1\n"), QByteArray("L 1\n"));
    QCOMPARE(first.ReadAvailable(), QByteArray());
    Open(ini); // the waits as set, not as the dialog rounds them
    auto *boxWin = TopLevel<BoxWin>();
    QTest::mouseClick(window->startButton, Qt::LeftButton);
    QVERIFY(boxWin->isVisible() && !QApplication::overrideCursor());
    QCOMPARE(boxWin->label->text(), QString("Test läuft!!! Bitte auf die LED der Schaltbox achten!"));
    QCOMPARE(expect("r\n"), QByteArray("L 0\nr\n"));
    const QList<int> answers {300, 250, 280, 260, 270};
    for (int i = 0; i < answers.size(); ++i) {
        // A second, unasked-for answer neither counts nor starts another chain of signals; a
        // garbled one is dropped, and the signal comes again.
        if (i == 2) {
            pty.Write("t -250000\n");
            QCOMPARE(expect("r\n"), QByteArray("L 0\nr\n"));
        }
        const QByteArray answer = "t " + QByteArray::number(answers[i] * 1000 + 999) + '\n';
        pty.Write(i == 1 ? answer + "t 5000\n" : answer);
        QCOMPARE(expect("r\n"), QByteArray("r\n"));
    }
    QCOMPARE(folder->LogLines().filter("verworfen"),
        QStringList({"Ergebnis 5 ohne Messung verworfen", "Antwort \"t -250000\" verworfen"}));
    pty.Close(); // the box goes away
    QTRY_VERIFY(!window->findChild<SwitchBox *>()->IsOpen());
    QCOMPARE(boxWin->label->text(), BoxText::Lost);
    QTest::mouseClick(boxWin->readyButton, Qt::LeftButton);
    QVERIFY(!boxWin->isVisible());
    // By hand: 300 and 250 warm up; 280, 260 and 270 have the mean 270 and the mean deviation
    // 20 / 3 = 6, so the threshold is 270 + 18 / 2 = 279 and 280 is an outlier; (260 + 270) / 2.
    QCOMPARE(window->resultLabel->text(), QString("265"));
    const RunRecord run = NewestRun(); // the box's own microseconds kept
    QCOMPARE(run.ending, RunRecord::Ending::BoxLost);
    QCOMPARE(run.maxWaitS, 0.03); // as set, though the waits end at 29 ms
    QCOMPARE(run.timing, QString("box"));
    QCOMPARE(run.trials.size(), answers.size());
    for (int i = 0; i < answers.size(); ++i) {
        QCOMPARE(run.trials.at(i).timeMs, answers.at(i));
        QCOMPARE(run.trials.at(i).boxUs.value(), answers.at(i) * 1000 + 999);
    }

    // Without a box: said once the window is up, with the device and why, and a run stalls after
    // its first wait until "Fertig !".
    QVERIFY(QFile::remove(link) && QFile::link(folder->Path("unplugged"), link));
    Open("useBox=true\nboxCom=8\ncnt=2\nminDel=0.02\nmaxDel=0.02\n");
    QVERIFY(seen.isEmpty());
    QTRY_COMPARE(seen,
        QStringList("Fehler beim Öffnen der Schaltbox|Die Schnittstelle COM8 konnte nicht geöffnet werden.!\n" + link
            + ": No such file or directory"));
    QTest::mouseClick(window->startButton, Qt::LeftButton);
    QTest::qWait(100);
    QTest::mouseClick(TopLevel<BoxWin>()->readyButton, Qt::LeftButton);
    QCOMPARE(window->resultLabel->text(), QString(" --- "));
}

// The journal never costs a run: one it could not take is stored at close once the cause is gone,
// and one it cannot take even then waits beside it, to be stored at the next start. On a full disk
// (a tmpfs of a few pages) every file keeps its old content, the person is told once, and the
// results wait in memory for the next save.
void TestWindows::failedSavesCostNothing()
{
    const QString path = DataPath("blinkdash.sqlite", DataFolder);
    const QByteArray ini = "minDel=0.01\nmaxDel=0.02\ncnt=4\n";
    QVERIFY(QDir().mkpath(path)); // a folder in the journal's place: nothing can be stored
    Open(ini);
    seen.clear();
    QCOMPARE(Run("Anna", 4).size(), 4);
    QVERIFY(seen.value(0).startsWith("Fehler beim Speichern|Der Durchgang konnte im Verlauf nicht"));
    QVERIFY(QDir().rmdir(path));
    delete std::exchange(window, nullptr);
    QCOMPARE(seen.size(), 1);                 // nothing told while closing
    QCOMPARE(Journal(path).Runs().size(), 1); // stored at close, once it could be
    QVERIFY(QFile::rename(path, path + ".aside") && QDir().mkpath(path));
    Open(ini);
    window->lineEdit->setText("Bert");
    QTest::mouseClick(window->startButton, Qt::LeftButton);
    seen.clear();
    delete std::exchange(window, nullptr); // stops the run, quietly: nobody may be asked then
    QVERIFY(seen.isEmpty() && QFile::exists(path + ".pending"));
    QVERIFY(QDir().rmdir(path) && QFile::rename(path + ".aside", path));
    Open(ini);
    QVERIFY(!QFile::exists(path + ".pending"));
    const QList<RunRecord> runs = Journal(path).Runs();
    QCOMPARE(runs.size(), 2);
    QCOMPARE(runs.first().name + runs.last().name, "BertAnna");
    QCOMPARE(runs.first().ending, RunRecord::Ending::Stopped);

    delete std::exchange(window, nullptr); // before its folder changes
    const QString disk = folder->Path("disk");
    QVERIFY(QDir().mkpath(disk));
    if (::mount("tmpfs", QFile::encodeName(disk).constData(), "tmpfs", 0, "size=256k") != 0)
        QSKIP("needs root to mount a small tmpfs (CI runs as root)");
    const auto unmount = qScopeGuard([&] { ::umount2(QFile::encodeName(disk).constData(), MNT_DETACH); });
    QFile filler(disk + "/filler");
    const auto fill = [&] {
        QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        while (filler.write(QByteArray(4096, 'x')) > 0 || filler.write("x", 1) > 0)
            ;
        filler.close();
    };
    SetFolder(DataFolder, disk);
    seen.clear();
    const QByteArray scores = "300 Anna\n310 Bert\n", times = "280\n";
    QVERIFY(folder->Write("disk/blinkdash.txt", scores) && folder->Write("disk/times.txt", times));
    Open(ini);
    fill();
    QCOMPARE(Run("Dora", 4).size(), 4);
    QCOMPARE(Run("Emil", 4).size(), 4);
    nextFile = disk + "/times.txt";
    QTest::mouseClick(window->saveButton, Qt::LeftButton);
    QCOMPARE(seen.size(), 4); // each file's first failed save, and the export's chooser and failure
    QVERIFY(seen.at(1).startsWith("Fehler beim Speichern|Der Durchgang konnte im Verlauf nicht gespeichert werden."));
    QVERIFY2(!seen.at(1).contains("HighScores"), qPrintable(seen.at(1))); // they failed too: no word of them
    QVERIFY2(seen.first().startsWith("Fehler beim Speichern|Die HighScores konnten nicht gespeichert werden.\n\nDatei: "
                 + disk + "/blinkdash.txt\nGrund: "),
        qPrintable(seen.first()));
    QCOMPARE(seen.last(), QString("Fehler beim Speichern|Die Datei konnte nicht gespeichert werden!"));
    QCOMPARE(folder->Read("disk/blinkdash.txt"), scores);
    QCOMPARE(folder->Read("disk/times.txt"), times);

    QVERIFY(filler.remove());
    QCOMPARE(Run("Fritz", 4).size(), 4); // room again: the entries kept in memory reach the file
    QCOMPARE(folder->Read("disk/blinkdash.txt").count('\n'), 5);
    QCOMPARE(Journal(disk + "/blinkdash.sqlite").Runs().size(), 3);
    fill();
    delete std::exchange(window, nullptr); // the settings at exit, quietly
    QCOMPARE(folder->Read("disk/blinkdash.ini"), "[Common]\n" + ini);
    QCOMPARE(QDir(disk).entryList({"*.ini", "*.txt", "filler"}, QDir::Files).size(), 4); // no temporary files left
}

// Every setting reaches the dialog and, on OK, comes back as shown, stored at once: a logout or a
// lost display must not take it. Values outside a spin box's range come back within it.
void TestWindows::settingsComeBackAndAreStoredOnOk()
{
    Open("cnt=301\nboxCom=100\nminDel=0.04\nmaxDel=2.36\nminAkkust=-1\nmaxAkkust=2147483647\n"
         "useBox=true\nrandomPosition=false\nenableWav=true\nwavFile=a b.wav\njournal=false\n");
    InConfigDialog(ClickOk);
    const QByteArray stored = folder->Read("blinkdash.ini");
    QCOMPARE(stored,
        "[Common]\ncnt=301\nboxCom=99\nminDel=0.1\nmaxDel=2.4\nminAkkust=0\nmaxAkkust=10000\nuseBox=true\n"
        "randomPosition=false\nenableWav=true\nwavFile=a b.wav\njournal=false\nlightTimed=false\nlightButton=false\n");
    InDialog<ScoreWin>(window->scoreButton, [](ScoreWin *scores) { // the journal turned off says so
        QVERIFY(!scores->historyButton->isEnabled() && scores->historyButton->text() == "Verlauf ist aus");
    });
    folder->Write("a.wav", {}); // the chooser wants existing files, and starts where the sound is
    nextFile = folder->Path("a.wav");
    InConfigDialog([&](ConfigWin *dialog) {
        QCOMPARE(dialog->spinBoxCnt->value(), 300); // in force until the program ends, though never stored
        QTest::mouseClick(dialog->selectWavButton, Qt::LeftButton);
        QCOMPARE(dialog->lineEditWav->text(), folder->Path("a.wav"));
        dialog->spinBoxCnt->setValue(5);
        QTest::mouseClick(dialog->buttonBox->button(QDialogButtonBox::Cancel), Qt::LeftButton);
    });
    QCOMPARE(
        seen.filter("Signalton"), QStringList("Wählen Sie die Datei mit dem Signalton|" + folder->Path("a b.wav")));
    QCOMPARE(folder->Read("blinkdash.ini"), stored); // Cancel changes nothing
    InConfigDialog([&](ConfigWin *dialog) {
        QCOMPARE(dialog->spinBoxCnt->value(), 300);
        QVERIFY(!dialog->checkBoxLightTimed->isEnabled()); // the box's own runs time its LED
        QTest::mouseClick(dialog->radioButtonScreen, Qt::LeftButton, {}, QPoint(8, 8));
        QVERIFY(dialog->checkBoxLightTimed->isEnabled() && !dialog->checkBoxLightButton->isEnabled());
    });
    InConfigDialog([&](ConfigWin *dialog) { // a class server typed in, stored with OK
        QTest::keyClicks(dialog->lineEditServerHost, " klassenserver ");
        dialog->lineEditServerGroup->setText("8a");
        ClickOk(dialog);
    });
    QVERIFY(folder->Read("blinkdash.ini")
                .endsWith("serverHost=klassenserver\nserverPort=5432\nserverDatabase=flinkprobe\nserverUser=\n"
                          "serverGroup=8a\nserverSslMode=prefer\n"));
}

// The task as "Einstellungen" shows and stores it; with the box, only what its LED can give.
void TestWindows::taskSetting_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QStringList>("offered");
    QTest::addColumn<QString>("stored"); // the task's line after OK, as shown
    const QStringList all {
        "Einfach", "PVT (10 min)", "PVT-B (3 min)", "Wahl: 1 Ort", "Wahl: 2 Orte", "Wahl: 4 Orte", "Go/No-Go"};
    QTest::newRow("unknown") << QByteArray("task=wahl\n") << all << "task=einfach";
    QTest::newRow("a go share by hand") << QByteArray("task=gonogo-80\n") << all + QStringList("Go/No-Go (80 % Go)")
                                        << "task=gonogo-80";
    QTest::newRow("the box: no places, no colours")
        << QByteArray("useBox=true\ntask=wahl-4\n") << all.first(3) << "task=einfach";
}

void TestWindows::taskSetting()
{
    QFETCH(QByteArray, ini);
    Open(ini);
    InConfigDialog([&](ConfigWin *dialog) {
        QStringList offered;
        const auto *model = qobject_cast<QStandardItemModel *>(dialog->comboBoxTask->model());
        for (int i = 0; i < dialog->comboBoxTask->count(); ++i)
            if (model->item(i)->isEnabled())
                offered << dialog->comboBoxTask->itemText(i);
        QTEST(offered, "offered");
        ClickOk(dialog);
    });
    QTEST(QString::fromUtf8(folder->Read("blinkdash.ini")).split('\n').filter("task=").join('|'), "stored");
}

// A choice among two places as a person plays it: SPACE is no answer and no early press; F answers
// every disc, right at the left place, wrong at the right one, where the window showed it.
void TestWindows::choiceRun()
{
    Open("minDel=0.2\nmaxDel=0.2\ncnt=4\ntask=wahl-2\n");
    auto *action = Start("Anna");
    QTest::keyClick(action, Qt::Key_Space);
    QList<bool> left; // where the window showed each disc
    for (int i = 0; i < 4; ++i) {
        QVERIFY(QTest::qWaitFor([&] { return action->SignalVisible(); }, 5000));
        const QImage image = action->grab().toImage();
        const auto yellowAt = [&](int x) { // per cent across: a choice of two shows its discs at 25 and 75
            return image.pixelColor(PlaceSignal(image.size(), x, 50).disc.center()) == QColor(Qt::yellow);
        };
        QVERIFY(yellowAt(25) != yellowAt(75));
        left << yellowAt(25);
        QTest::qWait(20);
        QTest::keyClick(action, Qt::Key_F);
    }
    QTest::keyClick(action, Qt::Key_Escape);
    const RunRecord run = NewestRun();
    QCOMPARE(TaskName(run.task), "wahl-2");
    QCOMPARE(run.earlyPresses, 0);
    QCOMPARE(run.trials.size(), 4);
    for (int i = 0; i < 4; ++i) {
        const RunTrial &trial = run.trials.at(i);
        QCOMPARE(trial.stimulus, left.at(i) ? "1" : "2");
        QCOMPARE(trial.expected, left.at(i) ? "f" : "j");
        QCOMPARE(trial.answer, "f");
        QVERIFY(trial.correct == left.at(i));
    }
    const qsizetype right = left.count(true); // the mean of their times: tst_runcore and taskResults
    QVERIFY(window->resultLabel->text().startsWith("Wahl: 2 Orte\n"));
    QCOMPARE(window->resultLabel->toolTip().section('\n', 0, 1),
        QString("richtig: %1\nfalsch: %2").arg(right).arg(4 - right));
    QVERIFY(!QFileInfo::exists(folder->Path("blinkdash.txt"))); // high scores are the simple task's
}

// What the result box says of each task (choiceRun shows a choice's): its title and main figure,
// and every measure. Trials as "answer:expected:ms", the answers "space" or a key, or none.
void TestWindows::taskResults_data()
{
    QTest::addColumn<QString>("task");
    QTest::addColumn<QString>("trials");
    QTest::addColumn<int>("early");
    QTest::addColumn<bool>("latency");  // measured at 23.4 ms, SD 1.2 ms, and taken off
    QTest::addColumn<QString>("shown"); // the headline, then each measure
    const auto row
        = [](const char *name, const char *task, const char *trials, int early, bool latency, const char *shown) {
              QTest::newRow(name) << QString(task) << QString(trials) << early << latency << QString(shown);
          };
    // Valid 250 and 400 (a lapse from 355 ms), 90 a false start beside the press with no counter:
    // median 325, speeds 4 and 2.5 /s, a tenth of two reactions is one.
    row("PVT-B", "pvt-b", "space:space:250 space:space:400 space:space:90", 1, true,
        "PVT-B (3 min)\nMedian 325 ms|Lapses: 1|Fehlstarts: 2|Median: 325 ms|Reaktionsgeschwindigkeit (1/RT): 3,25 /s|"
        "schnellste 10 %: 250 ms|langsamste 10 % (1/RT): 2,50 /s|"
        "Bildschirmlatenz (Bias, SD): 23,4 ms, 1,2 ms, von den Zeiten abgezogen");
    row("PVT, false starts only", "pvt", "space:space:99", 0, false,
        "PVT (10 min)\nkeine Reaktion|Lapses: 0|Fehlstarts: 1|Median: –|Reaktionsgeschwindigkeit (1/RT): –|"
        "schnellste 10 %: –|langsamste 10 % (1/RT): –|Bildschirmlatenz (Bias, SD): nicht gemessen");
    row("go/no-go", "gonogo-75", "space:space:280 :space:0 space::200 ::0", 0, false,
        "Go/No-Go\n280 ms, 2 Fehler|Auslassungen: 1|Fehlreaktionen (No-Go): 1|mittlere Reaktionszeit (Go): 280 ms");
}

void TestWindows::taskResults()
{
    QFETCH(QString, task);
    QFETCH(QString, trials);
    RunRecord run;
    run.task = TaskNamed(task);
    QFETCH(int, early);
    run.earlyPresses = early;
    QFETCH(bool, latency);
    if (latency) {
        run.displayLatencyMs = 23.4;
        run.displayLatencySdMs = 1.2;
        run.latencyCorrected = true;
    }
    for (const QString &t : trials.split(' ')) {
        RunTrial trial;
        trial.answer = t.section(':', 0, 0);
        trial.expected = t.section(':', 1, 1);
        trial.timeMs = t.section(':', 2).toInt();
        run.trials << trial;
    }
    const TaskResult result = DescribeTaskRun(run);
    QTEST((result.headline + '|' + result.measures.join('|')), "shown");
}

// The display check: each way it fails, then the figure measured, stored, and carried into a later run.
void TestWindows::screenCheck()
{
    PlayedBox box(4);
    Open("useBox=true\nboxCom=4\ncnt=4\nminDel=0.02\nmaxDel=0.02\nrandomPosition=false\n");
    window->findChild<ScreenCheck *>()->SetPlan(5, 5, 10);
    auto *action = TopLevel<ActionWin>();
    const auto check = [&](const QByteArray &echoReply, const QByteArrayList &lightReplies) {
        box.echo = echoReply;
        box.replies = lightReplies;
        box.echoes = 0;
        seen.clear();
        InConfigDialog([&](ConfigWin *dialog) {
            QVERIFY(dialog->screenCheckButton->isEnabled());
            dialog->screenCheckButton->click();
            if (QTest::qWaitFor([&] { return action->isVisible(); }, 2000)) {
                QTest::keyClick(action, Qt::Key_Space);
                QTRY_VERIFY_WITH_TIMEOUT(!action->isVisible(), 8000);
            }
        });
        return seen.value(0);
    };
    QCOMPARE(check("", {}),
        QString("Bildschirm vermessen|Die Schaltbox antwortet nicht auf die Prüfanfrage: Ihre "
                "Firmware ist zu alt für die Bildschirmmessung. Bitte die Firmware "
                "blinkdash-box.hex neu aufspielen."));
    box.echoesAnswered = 5; // then one lost to noise: not an old firmware, and said so
    QCOMPARE(check("e\n", {}),
        QString("Bildschirm vermessen|Die Schaltbox hat 5 von 30 Prüfanfragen beantwortet, die nächste nicht "
                "innerhalb von 500 ms. Stattdessen kam: „x“. Bitte die Verbindung prüfen und erneut messen."));
    box.echoesAnswered = INT_MAX;
    QVERIFY(check("e\n", {"l timeout\n"}).contains("hat die Scheibe nicht gesehen"));
    QVERIFY(check("e\n", {"l lit\n"}).contains("sah schon Licht, bevor die Scheibe erschien"));
    QVERIFY(!ReadSettings(DataPath("blinkdash.ini", DataFolder)).screenLatency);
    // The box saw light 30 ms after the command came, which was the line's delay (half of at least
    // 16 ms there and back; the rest, the program's own event loop, varies) after it was sent; the
    // disc came once the echo sent behind the command was back, 16 ms or more after it: 22 ms, or
    // less by the painting, where without the line's delay it would be 14; but once 400 ms, a sample
    // the median leaves aside. The box answers each echo twice: only the first answer counts. The
    // fourth light's echo comes 6 ms late: that flash is left out.
    QStringList shown; // the check's progress, as the window showed it
    QTimer look;
    connect(&look, &QTimer::timeout, this, [&] {
        if (shown.value(shown.size() - 1) != action->Message())
            shown << action->Message();
    });
    look.start(0);
    box.lateLight = static_cast<int>(box.sent.size()) + 4;
    const QString figures = check("e\ne\n", {"l 30000\n", "l 30000\n", "l 400000\n", "l 30000\n"});
    QVERIFY2(figures.startsWith("Bildschirm vermessen|Bildschirmlatenz: "), qPrintable(figures));
    QVERIFY2(figures.contains(" weitere ausgelassen, weil der Befehl an die Schaltbox aufgehalten war"),
        qPrintable(figures));
    look.stop();
    QCOMPARE(shown.filter("vermessen").join('|'),
        "Bildschirm wird vermessen ... 0 von 5. ESC bricht ab.|Bildschirm wird vermessen ... 1 von 5. ESC bricht ab.|"
        "Bildschirm wird vermessen ... 2 von 5. ESC bricht ab.|Bildschirm wird vermessen ... 3 von 5. ESC bricht ab.|"
        "Bildschirm wird vermessen ... 4 von 5. ESC bricht ab.");
    const Settings stored = ReadSettings(DataPath("blinkdash.ini", DataFolder));
    QVERIFY(stored.screenLatency);
    QVERIFY2(stored.screenLatency->ms > 15.0, qPrintable(QString::number(stored.screenLatency->ms)));
    QVERIFY2(stored.screenLatency->ms < 25.0, qPrintable(QString::number(stored.screenLatency->ms)));
    InConfigDialog([&](ConfigWin *d) {
        QVERIFY(d->checkBoxCorrection->isEnabled());
        QTest::mouseClick(d->checkBoxCorrection, Qt::LeftButton, {}, QPoint(8, 8)); // on its text, as a person would
        QTest::mouseClick(d->radioButtonScreen, Qt::LeftButton, {}, QPoint(8, 8));
        ClickOk(d);
    });
    QVERIFY(ReadSettings(DataPath("blinkdash.ini", DataFolder)).screenLatencyCorrection);
    QVERIFY(!window->findChild<SwitchBox *>()->IsOpen()); // the screen chosen closes the box

    // A light-timed run answered with the box's button: SPACE no answer, a light not seen given
    // again (and one whose command a busy machine held up). By hand: the box's 250 400 us from the
    // light are 250 ms; the light came 30 ms after the command reached the box, 8 ms or more after
    // it left; the disc once the echo behind it was back, 16 ms after: a latency over 15 ms, where
    // one without the line's delay is under 15. With SPACE, tst_display times it against the
    // simulated box and screen.
    box.replies = {"l timeout\n", "l 30000\nt 250400\n"};
    box.sent.clear();
    box.echo = "e\n";
    box.lateLight = -1;
    Open("boxCom=4\ncnt=2\nminDel=0.1\nmaxDel=0.1\nlightTimed=true\nlightButton=true\n");
    action = TopLevel<ActionWin>();
    QTest::mouseClick(window->startButton, Qt::LeftButton);
    QTest::keyClick(action, Qt::Key_Space);
    QTRY_VERIFY_WITH_TIMEOUT(action->Message().startsWith("Game"), 10000);
    QTest::keyClick(action, Qt::Key_Escape);
    const RunRecord button = NewestRun();
    QCOMPARE(button.lightTiming, "button");
    QCOMPARE(button.earlyPresses, 0);
    QCOMPARE(button.trials.size(), box.sent.size()); // a trial each time the sensor was armed
    QVERIFY(!button.trials.at(0).counted);           // not seen
    const QList<RunTrial> counted = CountedTrials(button.trials);
    QCOMPARE(counted.size(), 2);
    for (const RunTrial &trial : counted) {
        QCOMPARE(trial.timeMs, 250);
        QCOMPARE(trial.lightUs.value(), 30000);
        QCOMPARE(trial.answer, "button");
        const double latencyMs = trial.lightLatencyMs.value();
        QVERIFY2(latencyMs > 15.0 && latencyMs < 100.0, qPrintable(QString::number(latencyMs)));
    }

    // A screen run: the figure (here set by hand) in the journal and the label (tst_runcore: the times).
    Open("cnt=4\nminDel=0.02\nmaxDel=0.02\nscreenLatency=2\nscreenLatencyCorrection=true\n");
    const QList<int> measured = Run("Anna", 4);
    const RunRecord run = NewestRun();
    QVERIFY(run.latencyCorrected);
    QCOMPARE(run.displayLatencyMs.value(), 2.0);
    QCOMPARE(run.trials.value(3).timeMs, measured.value(3) - 2);
    QCOMPARE(window->resultLabel->text(), QString("%1 (korr.)").arg(run.evaluation.result.value()));
}

// The disc lies whole inside the window at 0 and 100 per cent; showing and taking it away repaint
// its square alone, which is what reaches the screen fast.
void TestWindows::stimulusWindowPaintsTheDisc()
{
    ActionWin win;
    win.resize(801, 601);
    QCOMPARE(PlaceSignal(win.size(), 0, 0).disc.united(PlaceSignal(win.size(), 100, 100).disc),
        QRect(20, 20, 780, 580)); // at 100 per cent, the disc's right edge is the last column
    win.show();
    QVERIFY(QTest::qWaitForWindowExposed(&win));
    struct : QObject
    {
        QList<QRegion> regions;
        bool eventFilter(QObject *, QEvent *event) override
        {
            if (event->type() == QEvent::Paint)
                regions.append(static_cast<QPaintEvent *>(event)->region());
            return false;
        }
    } painted;
    win.installEventFilter(&painted);
    win.ShowSignal(50, 50);
    QCOMPARE(painted.regions.takeLast(), QRegion(398, 298, 24, 24));
    QCOMPARE(win.grab().toImage().pixelColor(410, 310), QColor(Qt::yellow));
    QTest::keyClick(&win, Qt::Key_Space);
    QCOMPARE(painted.regions.takeLast(), QRegion(398, 298, 24, 24));
    QCOMPARE(win.grab().toImage().pixelColor(410, 310), QColor(Qt::black));
    win.SetLightTimed(true);           // the light sensor's patch in the same region, so in the same frame
    QCoreApplication::processEvents(); // its outline drawn
    win.ShowSignal(50, 50);
    QCOMPARE(painted.regions.takeLast(), QRegion(398, 298, 24, 24).united(QRect(0, 553, 48, 48)));
    QCOMPARE(win.grab().toImage().pixelColor(24, 577), QColor(Qt::white));

    // A no-go disc is blue; the PVT's counter, in a region of its own at the centre an eighth of the
    // height tall, moves on until the key takes it away.
    QTest::keyClick(&win, Qt::Key_Space);
    win.SetLightTimed(false);
    win.SetTask(TaskNamed("gonogo-75"));
    win.ShowStimulus(50, 50, "blue");
    QCOMPARE(win.grab().toImage().pixelColor(410, 310), QColor(Qt::blue));
    QTest::keyClick(&win, Qt::Key_Space);
    win.SetTask(TaskNamed("pvt-b"));
    const QImage dark = win.grab().toImage();
    const QRegion counter(250, 244, 300, 112);
    win.ShowStimulus(50, 50, "");
    QCOMPARE(painted.regions.takeLast(), counter);
    const QImage first = win.grab().toImage();
    QTest::qWait(150);
    QVERIFY(painted.regions.contains(counter));
    QVERIFY(win.grab().toImage() != first);
    QTest::keyClick(&win, Qt::Key_Space);
    QCOMPARE(win.grab().toImage(), dark);
}

// Each row a script of moves: "disc" shows the signal at 1 s on the window's clock, "reset"
// starts a new run; "space" presses SPACE 250 ms after the disc, "held" is the key's
// auto-repeat, "early" a press the server stamped 10 ms before the disc; "esc", "close",
// "enter". What the window reports, the debug log in parentheses, and any message.
void TestWindows::stimulusWindowKeys_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("reported");
    const auto row = [](const char *name, const QString &script, const QString &reported) {
        QTest::newRow(name) << script << reported;
    };
    const QString timed = "(Zeitnahme: Programm), 250"; // offscreen, no server tells when it drew
    row("a reaction; a second press is early", "disc space space", timed + ", early");
    row("a held key is one press", "disc space held held held held held held", timed);
    row("pressed before the disc: early, the disc stays", "disc early space",
        "(Leertaste vor dem Signal gedrueckt), (Zeitnahme: Programm), early, 250");
    row("a new run forgets the disc", "space disc reset space", "early, early");
    row("ESC", "disc esc", "(ESC received), stop");
    row("closing: a stop without a log line", "disc close", "stop");
    row("other keys are left to others", "disc enter space", "(Zeitnahme: Programm), not accepted, 250");
    // A task's keys: a choice's places' keys answer, with the key; SPACE and a key of no place are
    // left to others; a place's key with no disc is early. Go/no-go and the PVT take SPACE.
    row("choice: its keys", "task:wahl-2 space disc d j", "(Zeitnahme: Programm), not accepted, not accepted, 250 j");
    row("choice: a key with no disc is early", "task:wahl-4 d disc k", "(Zeitnahme: Programm), early, 250 k");
    row("choice: too many early presses", "task:wahl-2 tell",
        "Fehler|Sie haben zu oft eine Taste gedrückt, ohne dass eine Scheibe zu sehen war.\nDer Test wird "
        "abgebrochen.");
    row("go/no-go: SPACE", "task:gonogo-75 f disc space", "(Zeitnahme: Programm), not accepted, 250");
}

void TestWindows::stimulusWindowKeys()
{
    QFETCH(QString, script);
    using std::chrono::milliseconds;
    SteadyTime now(milliseconds(1000));
    ActionWin win;
    win.Clock() = ReactionClock(true, [&] { return now; });
    win.show();
    QStringList reported;
    connect(&win, &ActionWin::SignalResult, this, [&](int ms, ReactionTiming, qint64, const QString &key) {
        reported << QString::number(ms) + (key == "space" ? QString() : " " + key);
    });
    connect(&win, &ActionWin::SignalStop, this, [&] { reported << "stop"; });
    connect(&win, &ActionWin::EarlyPress, this, [&] { reported << "early"; });
    for (const QString &move : script.split(' ')) {
        now = SteadyTime(milliseconds(move == "disc" ? 1000 : 1250));
        if (move.startsWith("task:"))
            win.SetTask(TaskNamed(move.mid(5)));
        else if (move == "tell")
            win.TellTooManyEarlyPresses();
        else if (move == "disc" || move == "reset" || move == "close")
            move == "disc" ? win.ShowSignal(50, 50) : move == "reset" ? win.ResetRun() : void(win.close());
        else {
            const QHash<QString, int> keys {{"esc", Qt::Key_Escape}, {"enter", Qt::Key_Return}, {"d", Qt::Key_D},
                {"f", Qt::Key_F}, {"j", Qt::Key_J}, {"k", Qt::Key_K}};
            QKeyEvent press(
                QEvent::KeyPress, keys.value(move, Qt::Key_Space), Qt::NoModifier, QString(), move == "held");
            press.setTimestamp(move == "early" ? 990 : 1250);
            QApplication::sendEvent(&win, &press);
            if (!press.isAccepted())
                reported << "not accepted";
        }
    }
    const QStringList logged = folder->LogLines().replaceInStrings(QRegularExpression("^(.*)$"), "(\\1)");
    QTEST((logged + reported + seen).join(", "), "reported");
    if (reported.contains("stop"))
        QCOMPARE(QWidget::keyboardGrabber(), nullptr);
}

// A pupil's program with a class server: each run there as it ends; while the server is away the
// window says so, and so does the close; the next start sends what waited; HighScores shows the
// class's list beside its own, and "Klasse 8a ..." the class's runs, another computer's with them.
void TestWindows::classServer()
{
    PostgresCluster cluster;
    if (const QString why = cluster.Start(); !why.isEmpty())
        QSKIP(qPrintable(why));
    QCOMPARE(cluster.MakeClass({"klasse"}, QFINDTESTDATA("../core/classserver/classserver.sql")), QString());
    const QByteArray ini = QString("cnt=4\nminDel=0.1\nmaxDel=0.1\nserverHost=127.0.0.1\nserverPort=%1\n"
                                   "serverDatabase=klasse\nserverUser=schule7b\nserverGroup=8a\n")
                               .arg(cluster.Port())
                               .toUtf8();
    const auto names = [&] { return cluster.Value("klasse", "SELECT string_agg(name, ',' ORDER BY name) FROM runs"); };
    Open(ini);
    QCOMPARE(Run("Anna", 4).size(), 4);
    QTRY_COMPARE(names(), "Anna");
    QCOMPARE(window->serverLabel->text(), QString());
    cluster.Stop();
    QCOMPARE(Run("Bert", 4).size(), 4);
    QTRY_VERIFY(window->serverLabel->toolTip().startsWith("Server nicht erreichbar: "));
    InDialog<ScoreWin>(window->scoreButton, [&](ScoreWin *scores) {
        QTRY_VERIFY(scores->classLabel->text().startsWith("Klasse 8a: Server nicht erreichbar: "));
    });
    window->close();
    QCOMPARE(seen.last(), "Klassenserver|1 Durchgang wartet auf den Server. Er wird beim nächsten Start gesendet.");
    QVERIFY(cluster.Resume());
    QVERIFY(WriteFileWhole(DataPath("blinkdash.sqlite.pending", DataFolder), // a run an earlier session kept
        R"([{"started": "2026-12-08T09:00:00.000+01:00", "ended": "2026-12-08T09:01:00.000+01:00", "name": "Dora"}])"));
    Open(ini);
    QTRY_COMPARE(names(), "Anna,Bert,Dora");
    RunRecord other; // of another computer, in January, the fastest
    other.uuid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    other.started = other.ended = QDateTime(QDate(2026, 1, 5), QTime(9, 0));
    other.name = "Cleo", other.computer = "raum-2", other.evaluation = {true, 1, 0, 1, 1};
    QVERIFY(ClassServer({"127.0.0.1", cluster.Port(), "klasse", "schule7b", "8a", "prefer"}).Send({other}));
    QStringList shown;
    const auto entries = [](QTableView *view) {
        QStringList rows;
        for (int row = 0; row < view->model()->rowCount(); ++row)
            rows << view->model()->index(row, 0).data().toString() + view->model()->index(row, 1).data().toString();
        return rows;
    };
    InDialog<ScoreWin>(window->scoreButton, [&](ScoreWin *scores) {
        QTRY_COMPARE(scores->classLabel->text(), "Klasse 8a");
        QCOMPARE(entries(scores->classTableView), QStringList("Cleo1") + entries(scores->tableView));
        InDialog<HistoryWin>(scores->classButton, [&](HistoryWin *history) {
            for (int row = 0; row < history->runView->model()->rowCount(); ++row)
                shown << history->runView->model()->index(row, 1).data().toString();
            shown << history->windowTitle();
        });
    });
    QCOMPARE(shown, QStringList({"Bert", "Anna", "Dora", "Cleo", "Verlauf der Klasse 8a"}));
}

QTEST_MAIN(TestWindows)
#include "tst_windows.moc"
