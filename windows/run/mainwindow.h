#pragma once

#include "actionwin.h"
#include "boxwin.h"
#include "highscorelist.h"
#include "journal.h"
#include "lighttiming.h"
#include "mainform.h"
#include "runengine.h"
#include "screencheck.h"
#include "serverlink.h"
#include "settings.h"
#include "soundplayer.h"
#include "switchbox.h"

#include <QDateTime>
#include <QList>
#include <QTimer>
#include <QWidget>

#include <memory>
#include <optional>

// The main window, and the owner of a test run: its engine decides what happens when, the window
// gives it timers, the stimulus and box windows, the box and the speaker, and takes the result.
class MainWindow : public QWidget, public Ui_Form, private RunHost
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

    void SlotNextEvent();
    void SlotStop();
    void SlotPlayWav();

protected:
    void timerEvent(QTimerEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    // RunHost
    void ArmWait(int ms) override;
    void ArmWarning(int ms) override;
    void DisarmTimers() override;
    QDateTime Now() override;
    void BeginRun(bool boxRun) override;
    void BeginLightTiming(bool button) override;
    bool SignalCanBeSeen() override;
    void ArmLight(bool button) override;
    void ShowSignal(int x, int y) override;
    void ShowStimulus(int x, int y, const QString &stimulus) override;
    void HideSignal() override;
    void StartMeasurement() override;
    void CancelMeasurement() override;
    void ShowBoxTrouble(BoxTrouble trouble) override;
    void ShowEndNotice(bool boxRun) override;
    void PlaySound(const QString &file) override;
    bool BoxWindowShown() override;
    void EndRun(bool boxRun) override;
    QString RunName() override;
    QString RunPlace(std::optional<int> boxCom) override;
    void RunEvaluated(const RunRecord &record) override;
    void TellTooManyEarlyPresses() override;
    void TellLightNotSeen() override;

    void PreloadSounds();
    void KeepInJournal(const RunRecord &record);
    bool StoreUnjournaled(QString *reason = nullptr); // oldest first; true when none is left
    void TakePendingRuns();
    void KeepPendingRuns();
    void TellSetAside(); // a damaged journal, set aside by the last store
    void LinkServer();   // to the class server the settings name, if it is another
    void ScreenChecked(const LatencyFigures &figures);
    void TellBoxFailure();
    // Store the settings and the high-score list. A failure is told once per file and session, but
    // never while closing (nothing may hold the program then): the data stays in memory and the next
    // save tries again.
    void StoreSettings(bool tell);
    void SaveHighscores(bool tell);
    void SaveFailed(
        const QString &path, const QString &reason, bool tell, const QString &what, const QString &consequence);

    int pollTimerId = 0; // polls the switch box every 50 ms, in every mode
    Settings settings;
    ActionWin actionWin;
    BoxWin boxWin;
    SwitchBox box;
    ScreenCheck screenCheck {box, actionWin, this};
    LightTiming lightTiming {box, actionWin, this};
    RunEngine engine;
    HighscoreList highscores;
    QTimer waitTimer;    // the wait before the next signal
    QTimer warningTimer; // the acoustic warning before it
    SoundPlayer sounds;
    QStringList toldSaveFailures;       // paths
    bool highscoresUnsaved = false;     // the last save of the list failed
    std::unique_ptr<Journal> journal;   // none when turned off
    QList<RunRecord> unjournaled;       // runs the journal could not take yet, oldest first
    QByteArray pendingTaken;            // the pending file as read at start, removed once stored
    std::unique_ptr<ServerLink> server; // none without a class server or a journal
    bool closing = false;
    QString boxFailure; // told once the window is up, so that the message sits over it
};
