#include "runengine.h"

#include "debuglog.h"
#include "random.h"
#include "taskmeasures.h"

#include <QSysInfo>
#include <QUuid>

#include <cmath>

namespace {

const QString EndSound = QStringLiteral("ding.wav");

} // namespace

RunEngine::RunEngine(RunHost &runHost)
    : host(runHost)
{ }

void RunEngine::Start(const Settings &settings, const Task &runTask)
{
    if (phase != Phase::Idle) {
        if (!box || host.BoxWindowShown())
            return; // a second chain of waits would show signals into the first
        DebugLog("abgebrochen");
        End();
    }
    task = runTask;
    timing = TaskTiming(task, settings);
    testsLeft = timing.signalCount;
    box = settings.useBox && !NeedsScreen(task);
    randomPosition = settings.randomPosition;
    warning = settings.enableWav;
    wavFile = settings.wavFile;
    boxCom = settings.boxCom;
    const QDateTime now = host.Now();
    SeedRandom(static_cast<quint32>(now.time().msec()));
    taskMs = 0;
    const int waitMs = NextWait(timing);
    DebugLog("start %d %d %d", timing.minDelayMs, timing.delayRangeMs, waitMs);
    Wait(waitMs);
    record = RunRecord();
    record.started = now;
    record.box = box;
    record.task = task;
    record.signalCount = timing.signalCount;
    record.minWaitS = timing.minDelayS;
    record.maxWaitS = timing.maxDelayS;
    record.randomPosition = settings.randomPosition;
    record.warning = settings.enableWav;
    record.leadMinMs = timing.minLeadMs;
    record.leadMaxMs = timing.maxLeadMs;
    record.sound = settings.wavFile;
    record.version = QStringLiteral(BLINKDASH_VERSION);
    record.uuid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    record.computer = QSysInfo::machineHostName();
    lightTimed = !box && settings.lightTimed && task.kind == TaskKind::Simple;
    lightButton = lightTimed && settings.lightButton;
    lightsMissed = 0;
    if (lightTimed)
        record.lightTiming = lightButton ? QStringLiteral("button") : QStringLiteral("space");
    latencyMs.reset();
    if (!box && settings.screenLatency) {
        const ScreenLatency &latency = *settings.screenLatency;
        record.displayLatencyMs = latency.ms;
        record.displayLatencySdMs = latency.sdMs;
        // A light-timed trial has its own latency, measured: an average must not come on top.
        record.latencyCorrected = settings.screenLatencyCorrection && !lightTimed;
        if (record.latencyCorrected)
            latencyMs = latency.ms;
    }
    host.BeginRun(box);
    if (record.displayLatencyMs) {
        const ScreenLatency &latency = *settings.screenLatency;
        DebugLog("Bildschirmlatenz %.1f ms (SD %.1f ms, %s, %s)%s", latency.ms, latency.sdMs,
            latency.date.toLatin1().constData(), latency.size.toLatin1().constData(),
            latencyMs ? ", von den Zeiten abgezogen" : "");
    }
    if (lightTimed) {
        DebugLog("Zeitnahme: %s, Antwort mit %s", TraceName(ReactionTiming::LightSensor),
            lightButton ? "dem Knopf" : "der Leertaste");
        host.BeginLightTiming(lightButton);
    }
    boxLost = false;
}

QList<int> RunEngine::Times() const
{
    QList<int> times;
    for (const RunTrial &trial : record.trials)
        if (trial.counted)
            times << trial.timeMs;
    return times;
}

void RunEngine::NextEvent()
{
    if (phase == Phase::Measuring && box) { // the shot armed with the measurement: no answer yet
        silentTold = true;
        host.ShowBoxTrouble(RunHost::BoxTrouble::Silent);
        return;
    }
    if (phase == Phase::Measuring && lightTimed && !lightLatencyUs) { // the box's light answer overdue
        DebugLog("Licht nicht beantwortet");
        LightNotSeen();
        return;
    }
    if (phase == Phase::Measuring && ResponseWindowMs(task) > 0) {
        NotAnswered();
        return;
    }
    if (phase != Phase::Waiting)
        return;
    if (TaskDurationMs(task) > 0 && taskMs >= TaskDurationMs(task))
        testsLeft = 0; // the time is up: no signal after it
    if (testsLeft == 0) {
        phase = Phase::GameOver;
        host.ShowEndNotice(box);
        host.PlaySound(EndSound);
        return;
    }
    if (!box && !host.SignalCanBeSeen()) {
        // A disc nobody can see must not be timed; the signal waits for the window.
        DebugLog("Signal nicht gezeigt: Fenster nicht sichtbar");
        phase = Phase::WindowAway;
        return;
    }
    --testsLeft;
    phase = Phase::Measuring;
    given = RunTrial();
    given.waitMs = lastWaitMs;
    if (box) {
        if (task.kind != TaskKind::Simple)
            given.expected = QStringLiteral("button");
        host.StartMeasurement();
        host.ArmWait(SilentBoxMs);
        return;
    }
    if (task.kind != TaskKind::Simple) {
        const Stimulus stimulus = DrawStimulus(task, randomPosition);
        given.stimulus = stimulus.name;
        given.expected = stimulus.expected;
        given.x = stimulus.x;
        given.y = stimulus.y;
        host.ShowStimulus(stimulus.x, stimulus.y, stimulus.name);
        if (ResponseWindowMs(task) > 0)
            host.ArmWait(ResponseWindowMs(task));
        return;
    }
    given.y = randomPosition ? static_cast<int>(RandomUpTo(100)) : 50;
    given.x = randomPosition ? static_cast<int>(RandomUpTo(100)) : 50;
    if (!lightTimed) {
        host.ShowSignal(*given.x, *given.y);
        return;
    }
    lightLatencyUs.reset();
    answer.reset();
    given.clock = ReactionTiming::LightSensor;
    // Armed first: a program held up between drawing and arming would add its delay to the light's,
    // and a fast screen's light could come before the command.
    host.ArmLight(lightButton);
    host.ShowSignal(*given.x, *given.y);
    host.ArmWait(LightAnswerMs);
}

void RunEngine::WarningDue()
{
    if (phase == Phase::Waiting && testsLeft != 0)
        host.PlaySound(wavFile);
}

void RunEngine::Result(const Reaction &reaction, const QString &key)
{
    if (lightTimed) {
        LightAnswered(reaction);
        return;
    }
    int ms = reaction.ms;
    const int corrected = latencyMs ? ms - static_cast<int>(std::lround(*latencyMs)) : ms;
    if (corrected > 0) // a time not longer than the latency stays as measured, never 0
        ms = corrected;
    else
        DebugLog("Zeit %d ms nicht laenger als die Bildschirmlatenz, nicht korrigiert", ms);
    // Only the answer to the signal just given counts; a stray one would corrupt the run's times
    // and start a second chain of waits.
    if (phase != Phase::Measuring) {
        DebugLog("Ergebnis %d ohne Messung verworfen", ms);
        return;
    }
    BoxAnswered();
    const int waitMs = NextWait(timing);
    DebugLog("SlotNextEvent %d", waitMs);
    given.timeMs = ms;
    given.clock = reaction.clock;
    given.boxUs = reaction.boxUs;
    if (task.kind != TaskKind::Simple) {
        given.answer = !key.isEmpty() ? key : box ? QStringLiteral("button") : QStringLiteral("space");
        JudgeTrial(task, given);
        taskMs += ms;
    }
    record.trials.append(given);
    Wait(waitMs);
}

void RunEngine::NotAnswered()
{
    host.HideSignal();
    JudgeTrial(task, given); // a go missed, a no-go withheld
    record.trials.append(given);
    const int waitMs = NextWait(timing);
    DebugLog("keine Antwort, Wartezeit %d", waitMs);
    Wait(waitMs);
}

void RunEngine::LightAnswered(const Reaction &reaction)
{
    // The button answers a button run, SPACE any other; each trial once.
    if (phase != Phase::Measuring || answer || (reaction.clock == ReactionTiming::Box) != lightButton) {
        DebugLog("Ergebnis %d ohne Messung verworfen", reaction.ms);
        return;
    }
    answer = reaction;
    given.answer = lightButton ? QStringLiteral("button") : QStringLiteral("space");
    if (lightLatencyUs)
        LightTrialTimed();
}

void RunEngine::LightSeen(qint64 latencyUs, qint64 lightUs)
{
    if (phase != Phase::Measuring || !lightTimed || lightLatencyUs)
        return;
    lightsMissed = 0;
    lightLatencyUs = latencyUs;
    given.lightLatencyMs = static_cast<double>(latencyUs) / 1000;
    given.lightUs = lightUs;
    if (answer)
        LightTrialTimed();
}

void RunEngine::LightTrialTimed()
{
    int ms = answer->ms; // the box's, from the light
    if (!lightButton) {
        // The key's time after the disc, less this disc's own latency, rounded once.
        const qint64 us = answer->us.value_or(qint64 {answer->ms} * 1000) - *lightLatencyUs;
        if (us < 0) { // pressed before the light came: nobody saw it
            KeepUncounted();
            GiveAgain("Leertaste vor dem Licht gedrueckt");
            EarlyPress();
            return;
        }
        ms = WholeMs(us);
    } else {
        host.HideSignal();
    }
    DebugLog("Licht %.3f ms nach der Scheibe, %s nach %d ms", *given.lightLatencyMs,
        lightButton ? "Knopf" : "Leertaste", ms);
    const int waitMs = NextWait(timing);
    DebugLog("SlotNextEvent %d", waitMs);
    given.timeMs = ms;
    given.boxUs = answer->boxUs;
    record.trials.append(given);
    Wait(waitMs);
}

void RunEngine::LightNotSeen()
{
    if (phase != Phase::Measuring || !lightTimed)
        return;
    host.CancelMeasurement();
    host.HideSignal();
    KeepUncounted();
    if (++lightsMissed <= LightsMissedTolerated) {
        GiveAgain("Licht nicht gesehen");
        return;
    }
    phase = Phase::Waiting; // nothing outstanding, and a signal still to give: stopped
    Stop();
    host.TellLightNotSeen();
}

// A light-timed trial kept, but not counted: no time comes from a guess.
void RunEngine::KeepUncounted()
{
    given.counted = false;
    given.timeMs = 0;
    record.trials.append(given);
    ++testsLeft;
}

void RunEngine::GiveAgain(const char *why)
{
    const int waitMs = NextWait(timing);
    DebugLog("%s, Signal wiederholt nach %d", why, waitMs);
    Wait(waitMs);
}

void RunEngine::AnswerLost()
{
    // Waiting on would stall the run, since the box measures once per signal; the signal is given
    // again after a fresh wait.
    if (phase != Phase::Measuring)
        return;
    BoxAnswered();
    ++testsLeft;
    const int waitMs = NextWait(timing);
    DebugLog("Antwort unlesbar, Signal wiederholt nach %d", waitMs);
    Wait(waitMs);
}

void RunEngine::BoxLost()
{
    // No signal can be given any more; what was measured is evaluated when the person ends the run.
    if (!box || (phase != Phase::Waiting && phase != Phase::Measuring))
        return;
    DebugLog("Schaltbox waehrend des Tests verloren");
    host.DisarmTimers();
    phase = Phase::GameOver;
    boxLost = true;
    silentTold = false;
    host.ShowBoxTrouble(RunHost::BoxTrouble::Lost);
}

void RunEngine::Stop()
{
    if (phase == Phase::Idle)
        return;
    // Every signal answered is a complete run, also when ESC comes before the end notice.
    const bool allAnswered = phase == Phase::GameOver || (phase == Phase::Waiting && testsLeft == 0);
    const bool tooManyEarly = !box && EarlyPressesEndRun(task) && record.earlyPresses > EarlyPressesTolerated;
    record.ending = allAnswered ? (boxLost ? RunRecord::Ending::BoxLost : RunRecord::Ending::Complete)
        : tooManyEarly          ? RunRecord::Ending::EarlyPresses
                                : RunRecord::Ending::Stopped;
    End();
    if (task.kind == TaskKind::Simple) // the others have their own measures (taskmeasures.h)
        Evaluated();
    record.ended = host.Now();
    record.name = host.RunName();
    record.place = host.RunPlace(box ? std::optional<int>(boxCom) : std::nullopt);
    record.timing = TimingOf(record.trials);
    record.trialCount = static_cast<int>(CountedTrials(record.trials).size());
    host.RunEvaluated(record);
}

void RunEngine::EarlyPress()
{
    if (phase == Phase::Idle || box || ++record.earlyPresses <= EarlyPressesTolerated || !EarlyPressesEndRun(task))
        return;
    Stop();
    host.TellTooManyEarlyPresses();
}

void RunEngine::Evaluated()
{
    const Evaluation evaluation = Evaluate(Times());
    if (evaluation.evaluated)
        DebugLog("Mittelwert %lld mittl. abweichung %lld schwelle %lld", static_cast<long long>(evaluation.mean),
            static_cast<long long>(evaluation.deviation), static_cast<long long>(evaluation.threshold));
    int i = 0; // counted trials only: the evaluation's
    for (RunTrial &trial : record.trials) {
        if (!trial.counted)
            continue;
        trial.warmUp = i++ < WarmUpTimes;
        trial.outlier = evaluation.evaluated && !trial.warmUp && evaluation.IsOutlier(trial.timeMs);
    }
    record.evaluation = evaluation;
}

void RunEngine::WindowBack()
{
    if (phase != Phase::WindowAway)
        return;
    const int waitMs = NextWait(timing); // a fresh wait, so that the disc does not come at the click
    DebugLog("Fenster wieder sichtbar, Wartezeit %d", waitMs);
    Wait(waitMs);
}

void RunEngine::Wait(int waitMs)
{
    phase = Phase::Waiting;
    lastWaitMs = waitMs;
    taskMs += waitMs;
    host.ArmWait(waitMs);
    if (!warning)
        return;
    const int warningMs = WarningOffset(timing, waitMs);
    if (warningMs >= 0) // a lead longer than the wait: no warning for this signal
        host.ArmWarning(warningMs);
}

void RunEngine::BoxAnswered()
{
    if (!silentTold)
        return;
    silentTold = false;
    host.ShowBoxTrouble(RunHost::BoxTrouble::None);
}

void RunEngine::End()
{
    if (phase == Phase::Measuring && (box || lightTimed))
        host.CancelMeasurement(); // the LED would stay lit
    phase = Phase::Idle;
    silentTold = false;
    testsLeft = 0;
    host.DisarmTimers(); // waits of a stopped run must never reach into the next one
    host.EndRun(box);
}
