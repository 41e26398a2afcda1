#pragma once

#include "actionwin.h"
#include "boxwin.h"
#include "highscorelist.h"
#include "mainform.h"
#include "runtiming.h"
#include "settings.h"
#include "soundplayer.h"
#include "switchbox.h"

#include <QList>
#include <QTimer>
#include <QWidget>

#include <optional>

// The main window, and the controller of a test run: it waits a random time before each signal,
// sounds the optional warning, collects the reaction times and evaluates them at the stop.
class MainWindow : public QWidget, public Ui_Form
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Closes the switch box and, in box mode, opens port boxCom, saying so when it cannot.
    void OpenBox();

public Q_SLOTS:
    void on_startButton_clicked();
    void on_closeButton_clicked();
    void on_saveButton_clicked();
    void on_configButton_clicked();
    void on_scoreButton_clicked();
    void on_aboutButton_clicked();

    void SlotResult(int ms);
    void SlotNextEvent();
    void SlotStop();
    void SlotPlayWav();

protected:
    void timerEvent(QTimerEvent *event) override;

private:
    void PreloadSounds();
    // Store the settings and the high-score list. A failure is told once per file and session, but
    // never while closing: the data stays in memory and the next save tries again.
    void StoreSettings(bool tell);
    void SaveHighscores(bool tell);
    void SaveFailed(
        const QString &path, const QString &reason, bool tell, const QString &what, const QString &consequence);
    void ScheduleNextSignal(int waitMs);
    void EndRun();
    std::optional<int> ShowEvaluation(); // the run's result, if it has one
    void EnterHighscore(int time);

    int pollTimerId = 0; // polls the switch box every 50 ms, in every mode
    Settings settings;
    RunTiming timing;
    int testsLeft = 0;           // signals still to show in this run
    bool running = false;        // signals still to come; gates the warning
    bool inRun = false;          // from the start until SlotStop, the end notice included
    bool boxRun = false;         // this run uses the switch box, whatever the settings say later
    bool awaitingResult = false; // a signal was given and its reaction time has not come yet
    ActionWin actionWin;
    BoxWin boxWin;
    SwitchBox box;
    QList<int> results; // reaction times of the current or last run, ms, in order
    HighscoreList highscores;
    QTimer waitTimer;    // the wait before the next signal
    QTimer warningTimer; // the acoustic warning before it
    SoundPlayer sounds;
    QStringList toldSaveFailures; // paths
};
