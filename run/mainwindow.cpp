#include "mainwindow.h"

#include "aboutwin.h"
#include "configwin.h"
#include "debuglog.h"
#include "evaluation.h"
#include "export.h"
#include "folders.h"
#include "random.h"
#include "scorewin.h"
#include "website.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QTimerEvent>

namespace {

const QString SettingsFile = QStringLiteral("blinkdash.ini");
const QString HighscoreFile = QStringLiteral("blinkdash.txt");
const QString EndSound = QStringLiteral("ding.wav");
const QString BoxRunningText = QStringLiteral("Test läuft!!! Bitte auf die LED der Schaltbox achten!");

void SetUpTimer(QTimer &timer)
{
    timer.setSingleShot(true);
    // Coarse timers may fire 5 % off, which could put the warning after the signal.
    timer.setTimerType(Qt::PreciseTimer);
}

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QWidget(parent)
    , box(this) // a child, so that tests can find it
    , sounds(this)
{
    setupUi(this);
    label_4->setText(label_4->text().arg(WebLink(WebUrl(), QLatin1Char(' ') + WebHost)));
    setAttribute(Qt::WA_DeleteOnClose, true);
    pollTimerId = startTimer(50);
    settings = ReadSettings(DataPath(SettingsFile, DataFolder));

    SetUpTimer(waitTimer);
    SetUpTimer(warningTimer);
    connect(&waitTimer, &QTimer::timeout, this, &MainWindow::SlotNextEvent);
    connect(&warningTimer, &QTimer::timeout, this, &MainWindow::SlotPlayWav);
    connect(&actionWin, &ActionWin::SignalResult, this, &MainWindow::SlotResult);
    connect(&actionWin, &ActionWin::SignalStop, this, &MainWindow::SlotStop);
    connect(&boxWin, &BoxWin::SignalStop, this, &MainWindow::SlotStop);
    connect(&box, &SwitchBox::SignalResult, this, &MainWindow::SlotResult);
    OpenBox();
    PreloadSounds();
    highscores.Load(HighscoreFile);
}

MainWindow::~MainWindow()
{
    killTimer(pollTimerId);
    if (inRun && !boxRun)
        QApplication::restoreOverrideCursor();
    StoreSettings(false);
    SaveHighscores(false);
}

void MainWindow::OpenBox()
{
    box.Close();
    if (!settings.useBox || box.Open(settings.boxCom) == 0)
        return;
    QMessageBox::critical(this, QStringLiteral("Fehler beim Öffnen der Schaltbox"),
        QStringLiteral("Die Schnittstelle COM%1 konnte nicht geöffnet werden.!").arg(settings.boxCom), QMessageBox::Ok,
        QMessageBox::NoButton);
}

void MainWindow::PreloadSounds()
{
    // Decoding takes a moment; done now, the first warning of a run sounds on time.
    if (settings.enableWav)
        sounds.Preload(settings.wavFile);
    sounds.Preload(EndSound);
}

void MainWindow::StoreSettings(bool tell)
{
    const QString path = DataPath(SettingsFile, DataFolder);
    QString reason;
    if (!WriteSettings(path, settings, &reason))
        SaveFailed(path, reason, tell, QStringLiteral("Die Einstellungen konnten"),
            QStringLiteral(
                "Sie gelten, solange das Programm läuft. Es versucht beim Beenden erneut, sie zu speichern."));
}

void MainWindow::SaveHighscores(bool tell)
{
    QString reason;
    if (highscores.Save(HighscoreFile, &reason) == HighscoreList::Failed)
        SaveFailed(DataPath(HighscoreFile, DataFolder), reason, tell, QStringLiteral("Die HighScores konnten"),
            QStringLiteral("Die Ergebnisse bleiben erhalten, solange das Programm läuft. Es versucht nach jedem "
                           "neuen Ergebnis und beim Beenden erneut, sie zu speichern."));
}

void MainWindow::SaveFailed(
    const QString &path, const QString &reason, bool tell, const QString &what, const QString &consequence)
{
    DebugLog("%s nicht gespeichert: %s", QFile::encodeName(path).constData(), reason.toLocal8Bit().constData());
    if (!tell) {
        qWarning("%s could not be written: %s", qPrintable(path), qPrintable(reason));
        return;
    }
    if (toldSaveFailures.contains(path))
        return;
    toldSaveFailures.append(path);
    QMessageBox::critical(this, QStringLiteral("Fehler beim Speichern"),
        QStringLiteral("%1 nicht gespeichert werden.\n\nDatei: %2\nGrund: %3\n\n%4")
            .arg(what, QDir::toNativeSeparators(path), reason, consequence),
        QMessageBox::Ok, QMessageBox::NoButton);
}

void MainWindow::timerEvent(QTimerEvent *event)
{
    if (event->timerId() == pollTimerId)
        box.Poll();
    else
        QWidget::timerEvent(event);
}

void MainWindow::on_startButton_clicked()
{
    if (inRun) {
        // One run at a time: a second chain of waits would show signals into the first. A box run
        // whose window was closed through its frame goes on unseen and can never be confirmed; it
        // gives way.
        const bool unconfirmable = boxRun && !boxWin.isVisible();
        if (!unconfirmable)
            return;
        DebugLog("abgebrochen");
        EndRun();
    }

    resultLabel->setText(QStringLiteral(" --- "));
    timing = MakeRunTiming(settings);
    testsLeft = timing.signalCount;
    SeedRandom();
    const int waitMs = NextWait(timing);
    DebugLog("start %d %d %d", timing.minDelayMs, timing.delayRangeMs, waitMs);
    inRun = true;
    running = true;
    boxRun = settings.useBox;
    ScheduleNextSignal(waitMs);

    if (boxRun) {
        box.SetLED(false);
        boxWin.setVisible(true);
        boxWin.SetMessage(BoxRunningText);
    } else {
        actionWin.SetMessage(QString());
        actionWin.showMaximized();
        actionWin.raise();
        actionWin.activateWindow(); // so that early presses and ESC reach it before the first signal
        actionWin.ResetRun();
        QApplication::setOverrideCursor(Qt::BlankCursor);
    }
    results.clear();
}

void MainWindow::on_closeButton_clicked()
{
    close();
}

void MainWindow::on_saveButton_clicked()
{
    const QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("Wähle einen Dateinamen zum Abspeichern"), FolderPath(ExportFolder));
    QString reason;
    if (path.isEmpty() || ExportTimes(path, results, &reason))
        return;
    QMessageBox message(QMessageBox::Critical, QStringLiteral("Fehler beim Speichern"),
        QStringLiteral("Die Datei konnte nicht gespeichert werden!"), QMessageBox::Ok, this);
    message.setInformativeText(QStringLiteral("%1\n%2").arg(QDir::toNativeSeparators(path), reason));
    message.exec();
}

void MainWindow::on_configButton_clicked()
{
    ConfigWin configWin(this);
    configWin.ShowSettings(settings);
    if (configWin.exec() != QDialog::Accepted)
        return;
    configWin.TakeSettings(settings);
    StoreSettings(true); // now, so that a logout or a lost display cannot take them
    OpenBox();
    PreloadSounds();
}

void MainWindow::on_scoreButton_clicked()
{
    ScoreWin scoreWin(this);
    scoreWin.tableView->setModel(&highscores);
    scoreWin.exec();
}

void MainWindow::on_aboutButton_clicked()
{
    AboutWin aboutWin(this);
    aboutWin.exec();
}

void MainWindow::SlotResult(int ms)
{
    // Only the answer to the signal just given counts; a stray one would corrupt the run's times
    // and start a second chain of waits.
    if (!running || !awaitingResult) {
        DebugLog("Ergebnis %d ohne Messung verworfen", ms);
        return;
    }
    awaitingResult = false;
    const int waitMs = NextWait(timing);
    DebugLog("SlotNextEvent %d", waitMs);
    results.append(ms);
    ScheduleNextSignal(waitMs);
}

void MainWindow::SlotNextEvent()
{
    if (testsLeft == 0) {
        running = false;
        if (boxRun)
            boxWin.SetMessage(QStringLiteral("Game Over!! Bitte auf FERTIG drücken"));
        else
            actionWin.SetMessage(QStringLiteral("Game Over! Drücke ESC."));
        sounds.Play(EndSound);
        return;
    }
    --testsLeft;
    awaitingResult = true;
    if (boxRun) {
        box.StartReaction();
    } else if (settings.randomPosition) {
        const int y = static_cast<int>(RandomUpTo(100));
        const int x = static_cast<int>(RandomUpTo(100));
        actionWin.ShowSignal(x, y);
    } else {
        actionWin.ShowSignal(50, 50);
    }
}

void MainWindow::SlotStop()
{
    if (!inRun)
        return;
    EndRun();
    if (const std::optional<int> result = ShowEvaluation())
        EnterHighscore(*result);
}

void MainWindow::EndRun()
{
    testsLeft = 0;
    running = false;
    inRun = false;
    awaitingResult = false;
    // Waits of a stopped run must never reach into the next one.
    waitTimer.stop();
    warningTimer.stop();
    actionWin.setVisible(false);
    boxWin.setVisible(false);
    if (!boxRun)
        QApplication::restoreOverrideCursor();
}

void MainWindow::SlotPlayWav()
{
    if (running && testsLeft != 0)
        sounds.Play(settings.wavFile);
}

void MainWindow::ScheduleNextSignal(int waitMs)
{
    waitTimer.start(waitMs);
    if (!settings.enableWav)
        return;
    const int warningMs = WarningOffset(timing, waitMs);
    if (warningMs >= 0)
        warningTimer.start(warningMs);
}

std::optional<int> MainWindow::ShowEvaluation()
{
    const Evaluation evaluation = Evaluate(results);
    if (!evaluation.evaluated)
        return std::nullopt;
    DebugLog("Mittelwert %lld mittl. abweichung %lld schwelle %lld", static_cast<long long>(evaluation.mean),
        static_cast<long long>(evaluation.deviation), static_cast<long long>(evaluation.threshold));
    if (evaluation.result)
        resultLabel->setText(QStringLiteral("%1").arg(*evaluation.result));
    return evaluation.result;
}

void MainWindow::EnterHighscore(int time)
{
    const QString name = lineEdit->text(); // kept as typed, blanks included
    if (name.simplified().isEmpty())
        return;
    highscores.Insert(name, time);
    SaveHighscores(true); // now, so that no later crash can lose the result
}
