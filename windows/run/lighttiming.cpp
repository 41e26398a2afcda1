#include "lighttiming.h"

#include "debuglog.h"

#include <utility>

LightTiming::LightTiming(SwitchBox &switchBox, ActionWin &stimulus, QObject *parent)
    : QObject(parent)
    , box(switchBox)
    , window(stimulus)
    , line(switchBox, "Lichtsensor")
{
    connect(&line, &LineDelay::Measured, this, [this] {
        arming.Reset(line.OneWayUs());
        if (earlyUs)
            Light(*std::exchange(earlyUs, std::nullopt));
    });
    connect(&line, &LineDelay::Failed, this, &LightTiming::Failed);
    connect(&box, &SwitchBox::LightSeen, this, &LightTiming::Light);
    connect(&box, &SwitchBox::NoLight, this, [this] {
        if (awaited)
            NotSeen("kein Licht");
    });
    connect(&box, &SwitchBox::EarlyLight, this, [this] {
        if (awaited)
            NotSeen("schon Licht beim Scharfmachen");
    });
    connect(&box, &SwitchBox::Lost, this, [this] {
        if (running)
            Q_EMIT Failed(NoBoxText);
    });
}

void LightTiming::Begin()
{
    running = true;
    Cancel();
    if (!box.IsOpen()) {
        Q_EMIT Failed(NoBoxText);
        return;
    }
    box.SetPromptReading(true);
    arming.Reset(0);      // armed unchecked until the line is known
    line.Measure(Echoes); // during the first wait
}

void LightTiming::Arm(bool button)
{
    armed = arming.Arm(box, button);
    awaited = true;
}

void LightTiming::Cancel()
{
    awaited = false;
    earlyUs.reset();
}

void LightTiming::End()
{
    running = false;
    Cancel();
    line.Stop();
    box.SetPromptReading(false);
}

void LightTiming::Light(int us)
{
    if (!awaited)
        return;
    if (line.Measuring()) { // the first light of a slow line: put against the disc once it is known
        earlyUs = us;
        return;
    }
    const std::int64_t latency = LightLatencyUs(armed, arming.OneWayUs(), us, window.DiscInstant());
    if (armed.heldUp)
        NotSeen("aufgehalten (Senden oder Leitung)");
    else if (latency < 0)
        NotSeen("Licht vor der Scheibe");
    else {
        awaited = false;
        Q_EMIT LightSeen(latency, us);
    }
}

void LightTiming::NotSeen(const char *why)
{
    Cancel();
    DebugLog("Lichtsensor: %s", why);
    Q_EMIT LightNotSeen();
}
