#include "mainwindow.h"

#include "debuglog.h"
#include "evaluation.h"
#include "folders.h"
#include "random.h"

#include <QApplication>

namespace {

const QString SettingsFile = QStringLiteral("blinkdash.ini");
const QString EndSound = QStringLiteral("ding.wav");

void SetUpTimer(QTimer &timer)
{
    timer.setSingleShot(true);
    // Coarse timers may fire 5 % off, which could put the warning after the signal.
    timer.setTimerType(Qt::PreciseTimer);
}

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QWidget(parent)
    , sounds(this)
{
    setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose, true);
    settings = ReadSettings(DataPath(SettingsFile, DataFolder));

    SetUpTimer(waitTimer);
    SetUpTimer(warningTimer);
    connect(&waitTimer, &QTimer::timeout, this, &MainWindow::SlotNextEvent);
    connect(&warningTimer, &QTimer::timeout, this, &MainWindow::SlotPlayWav);
    connect(&actionWin, &ActionWin::SignalResult, this, &MainWindow::SlotResult);
    connect(&actionWin, &ActionWin::SignalStop, this, &MainWindow::SlotStop);
}

MainWindow::~MainWindow()
{
    if (inRun)
        QApplication::restoreOverrideCursor();
    WriteSettings(DataPath(SettingsFile, DataFolder), settings);
}

void MainWindow::on_startButton_clicked()
{
    // One run at a time: a second chain of waits would show signals into the first.
    if (inRun)
        return;

    resultLabel->setText(QStringLiteral(" --- "));
    timing = MakeRunTiming(settings);
    testsLeft = timing.signalCount;
    SeedRandom();
    const int waitMs = NextWait(timing);
    DebugLog("start %d %d %d", timing.minDelayMs, timing.delayRangeMs, waitMs);
    inRun = true;
    running = true;
    if (settings.enableWav)
        sounds.Preload(settings.wavFile);
    sounds.Preload(EndSound);
    ScheduleNextSignal(waitMs);

    actionWin.SetMessage(QString());
    actionWin.showMaximized();
    actionWin.raise();
    actionWin.activateWindow(); // so that early presses and ESC reach it before the first signal
    actionWin.ResetRun();
    QApplication::setOverrideCursor(Qt::BlankCursor);
    results.clear();
}

void MainWindow::on_closeButton_clicked()
{
    close();
}

void MainWindow::on_saveButton_clicked()
{ }

void MainWindow::on_configButton_clicked()
{ }

void MainWindow::on_scoreButton_clicked()
{ }

void MainWindow::on_aboutButton_clicked()
{ }

void MainWindow::SlotResult(int ms)
{
    // Only answers to this run's signals count; anything else would corrupt the run's times.
    if (!running)
        return;
    const int waitMs = NextWait(timing);
    DebugLog("SlotNextEvent %d", waitMs);
    results.append(ms);
    ScheduleNextSignal(waitMs);
}

void MainWindow::SlotNextEvent()
{
    if (testsLeft == 0) {
        running = false;
        actionWin.SetMessage(QStringLiteral("Game Over! Drücke ESC."));
        sounds.Play(EndSound);
        return;
    }
    --testsLeft;
    if (settings.randomPosition) {
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
    testsLeft = 0;
    running = false;
    inRun = false;
    // Waits of a stopped run must never reach into the next one.
    waitTimer.stop();
    warningTimer.stop();
    actionWin.setVisible(false);
    QApplication::restoreOverrideCursor();
    ShowEvaluation();
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

void MainWindow::ShowEvaluation()
{
    const Evaluation evaluation = Evaluate(results);
    if (!evaluation.evaluated)
        return;
    DebugLog("Mittelwert %lld mittl. abweichung %lld schwelle %lld", static_cast<long long>(evaluation.mean),
        static_cast<long long>(evaluation.deviation), static_cast<long long>(evaluation.threshold));
    if (!evaluation.result)
        return;
    resultLabel->setText(QStringLiteral("%1").arg(*evaluation.result));
}
