#pragma once

#include "runrecord.h"
#include "runtiming.h"
#include "settings.h"
#include "task.h"

#include <QList>
#include <QString>

#include <optional>

// What a run needs from its owner: two single-shot timers, the time of day, and the windows, box
// and speaker the person meets. The program gives real timers and windows, tests a manual clock.
class RunHost
{
public:
    virtual ~RunHost() = default;

    // Arming replaces a pending shot of the same timer; disarming cancels both.
    virtual void ArmWait(int ms) = 0;    // its shot: RunEngine::NextEvent
    virtual void ArmWarning(int ms) = 0; // its shot: RunEngine::WarningDue
    virtual void DisarmTimers() = 0;
    // The local time with its offset; its millisecond seeds a run's random draws.
    virtual QDateTime Now() = 0;

    // Screen: the stimulus window up and active, its early presses forgotten, the pointer hidden.
    // Box: the LED off and the box window up.
    virtual void BeginRun(bool box) = 0;
    // A light-timed screen run, after BeginRun: the line to the box timed during the first wait,
    // the sensor's place marked; answered with the box's button, SPACE answers nothing.
    virtual void BeginLightTiming(bool button) = 0;
    // Screen: the stimulus window is on top, active and exposed, so that a disc can be seen.
    virtual bool SignalCanBeSeen() = 0;
    // Light-timed: the sensor armed just before the disc is drawn, to time its patch's light
    // (RunEngine::LightSeen or LightNotSeen), and with the button the press after the light (Result).
    virtual void ArmLight(bool button) = 0;
    virtual void ShowSignal(int x, int y) = 0; // screen, per cent of the window
    // A task's signal (not the simple task's): its disc's place, per cent, and the stimulus's name
    // (Stimulus::name: a choice's place, a go/no-go colour; empty for the PVT's counter).
    virtual void ShowStimulus(int x, int y, const QString &stimulus)
    {
        Q_UNUSED(stimulus);
        ShowSignal(x, y);
    }
    virtual void HideSignal() = 0;       // screen: the disc taken away without a key
    virtual void StartMeasurement() = 0; // box: light the LED and time one reaction
    // Box: the LED off, the reaction no longer timed; light-timed: the sensor's measurement likewise.
    virtual void CancelMeasurement() = 0;
    enum class BoxTrouble { None, Silent, Lost };
    // Box: whether the box window tells that the box does not answer, or has gone.
    virtual void ShowBoxTrouble(BoxTrouble trouble) = 0;
    virtual void ShowEndNotice(bool box) = 0;
    virtual void PlaySound(const QString &file) = 0;
    // A box run can be confirmed only while its window is shown.
    virtual bool BoxWindowShown() = 0;
    // The windows hidden and the pointer back.
    virtual void EndRun(bool box) = 0;
    // What only the windows know of a finished run: the name typed, and the stimulus window's size
    // or the box's port.
    virtual QString RunName() = 0;
    virtual QString RunPlace(std::optional<int> boxCom) = 0; // none: the screen
    virtual void RunEvaluated(const RunRecord &record) = 0;
    // Screen: the run was stopped by one early press too many; the person is told why.
    virtual void TellTooManyEarlyPresses() = 0;
    // Light-timed: the run was stopped as the sensor saw several discs in a row not.
    virtual void TellLightNotSeen() = 0;
};

// One test run: a number of signals, each after a random wait, optionally warned by a sound,
// each answered by one reaction time, then an end notice until the person confirms, and the
// evaluation. One run at a time; a stopped run's waits never reach a later one; a time counts
// only while its measurement is outstanding.
class RunEngine
{
public:
    enum class Phase {
        Idle,
        Waiting,    // for the next signal, or after the last one for the end notice
        WindowAway, // a signal was due while the stimulus window could not be seen
        Measuring,  // a signal is given and its reaction time has not come yet
        GameOver,   // the end notice is shown until the person confirms
    };

    // A box answers within seconds; after this long without an answer the person is told.
    static constexpr int SilentBoxMs = 10000;
    // SPACE pressed while no disc is shown; the next one ends a screen run.
    static constexpr int EarlyPressesTolerated = 5;
    // A light-timed disc's light is answered within the box's second and the line's delay.
    static constexpr int LightAnswerMs = 1500;
    // Lights not seen in a row that end a light-timed run: the sensor is not on the patch.
    static constexpr int LightsMissedTolerated = 2;

    // An answer as its clock measured it: the screen's latency is not yet taken off.
    struct Reaction
    {
        int ms = 0;
        ReactionTiming clock = ReactionTiming::Program;
        std::optional<qint64> boxUs; // as the box sent it
        std::optional<qint64> us;    // screen: from the disc's instant to the key, not yet rounded
    };

    explicit RunEngine(RunHost &host);

    // The start button. A run in progress goes on, unless it is a box run whose window was
    // closed through its frame: nobody could confirm that one, so it gives way.
    void Start(const Settings &settings, const Task &runTask = {});
    void NextEvent(); // the wait is over
    void WarningDue();
    // A task's answer comes with its key ("f"); none is SPACE, or the box's button.
    void Result(const Reaction &reaction, const QString &key = {});
    // Light-timed: the patch's light came latencyUs after the disc's instant, lightUs after the
    // arming by the box's clock; or it was not seen (or not timed well enough).
    void LightSeen(qint64 latencyUs, qint64 lightUs);
    void LightNotSeen();
    void EarlyPress(); // SPACE in a screen run while no disc was shown
    void AnswerLost(); // the reaction was measured, but its time could not be read
    void BoxLost();    // the box went away (unplugged): the run can only be ended
    void Stop();       // ESC, the stimulus window closed, "Fertig !"
    void WindowBack(); // the stimulus window can be seen again

    Phase CurrentPhase() const { return phase; }
    bool InRun() const { return phase != Phase::Idle; }
    int TestsLeft() const { return testsLeft; }
    QList<int> Times() const; // of the current or last run's counted trials, ms, in order

private:
    void Wait(int waitMs);
    void End();
    void BoxAnswered();
    void Evaluated();
    void LightAnswered(const Reaction &reaction);
    void LightTrialTimed();
    void KeepUncounted();
    void GiveAgain(const char *why); // the signal after a fresh wait
    void NotAnswered();              // a task's response window over without a key

    RunHost &host;
    Phase phase = Phase::Idle;
    RunTiming timing;
    int testsLeft = 0;
    bool box = false; // this run's device, whatever the settings say later
    int boxCom = 0;
    bool randomPosition = true;
    bool warning = false;
    bool silentTold = false; // the box window says that the box does not answer
    QString wavFile;
    std::optional<double> latencyMs; // taken off each screen time
    bool lightTimed = false;         // each disc timed by the box's light sensor
    bool lightButton = false;        // and answered with the box's button
    int lightsMissed = 0;            // in a row
    RunRecord record;
    RunTrial given; // the signal shown, its answer outstanding
    // A light-timed trial's two halves, in either order: its light and its answer.
    std::optional<qint64> lightLatencyUs;
    std::optional<Reaction> answer;
    int lastWaitMs = 0;
    bool boxLost = false;
    Task task;
    qint64 taskMs = 0; // the waits and reaction times so far: a PVT's time on task
};
