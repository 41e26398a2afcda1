#include "runengine.h"

#include "debuglog.h"
#include "random.h"

namespace {

const QString EndSound = QStringLiteral("ding.wav");

} // namespace

RunEngine::RunEngine(RunHost &runHost)
    : host(runHost)
{ }

void RunEngine::Start(const Settings &settings)
{
    if (phase != Phase::Idle) {
        if (!box || host.BoxWindowShown())
            return; // a second chain of waits would show signals into the first
        DebugLog("abgebrochen");
        End();
    }
    timing = MakeRunTiming(settings);
    testsLeft = timing.signalCount;
    box = settings.useBox;
    randomPosition = settings.randomPosition;
    warning = settings.enableWav;
    wavFile = settings.wavFile;
    SeedRandom(static_cast<quint32>(host.Millisecond()));
    const int waitMs = NextWait(timing);
    DebugLog("start %d %d %d", timing.minDelayMs, timing.delayRangeMs, waitMs);
    Wait(waitMs);
    host.BeginRun(box);
    results.clear();
    given.clear();
    boxLost = false;
}

void RunEngine::NextEvent()
{
    if (phase == Phase::Measuring && box) { // the shot armed with the measurement: no answer yet
        silentTold = true;
        host.ShowBoxTrouble(RunHost::BoxTrouble::Silent);
        return;
    }
    if (phase != Phase::Waiting)
        return;
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
    if (box) {
        given.append({lastWaitMs, {}, {}});
        host.StartMeasurement();
        host.ArmWait(SilentBoxMs);
    } else if (randomPosition) {
        const int y = static_cast<int>(RandomUpTo(100));
        const int x = static_cast<int>(RandomUpTo(100));
        given.append({lastWaitMs, x, y});
        host.ShowSignal(x, y);
    } else {
        given.append({lastWaitMs, 50, 50});
        host.ShowSignal(50, 50);
    }
}

void RunEngine::WarningDue()
{
    if (phase == Phase::Waiting && testsLeft != 0)
        host.PlaySound(wavFile);
}

void RunEngine::Result(int ms)
{
    // Only the answer to the signal just given counts; a stray one would corrupt the run's times
    // and start a second chain of waits.
    if (phase != Phase::Measuring) {
        DebugLog("Ergebnis %d ohne Messung verworfen", ms);
        return;
    }
    BoxAnswered();
    const int waitMs = NextWait(timing);
    DebugLog("SlotNextEvent %d", waitMs);
    results.append(ms);
    Wait(waitMs);
}

void RunEngine::AnswerLost()
{
    // Waiting on would stall the run, since the box measures once per signal; the signal is given
    // again after a fresh wait.
    if (phase != Phase::Measuring)
        return;
    BoxAnswered();
    given.removeLast();
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
    ending = !allAnswered ? Ending::Stopped : boxLost ? Ending::BoxLost : Ending::Complete;
    End();
    const Evaluation evaluation = Evaluate(results);
    if (evaluation.evaluated)
        DebugLog("Mittelwert %lld mittl. abweichung %lld schwelle %lld", static_cast<long long>(evaluation.mean),
            static_cast<long long>(evaluation.deviation), static_cast<long long>(evaluation.threshold));
    host.RunEvaluated(evaluation);
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
    if (phase == Phase::Measuring && box)
        host.CancelMeasurement(); // the LED would stay lit
    given.resize(results.size()); // a signal given but not answered has no time
    phase = Phase::Idle;
    silentTold = false;
    testsLeft = 0;
    host.DisarmTimers(); // waits of a stopped run must never reach into the next one
    host.EndRun(box);
}
