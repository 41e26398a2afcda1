#pragma once

#include "actionwin.h"
#include "lightsensor.h"
#include "switchbox.h"

#include <QObject>

#include <optional>

// A light-timed screen run's side of the switch box: the line's delay during the run's first wait,
// then for each disc the sensor armed just before the drawing, and the patch's light put against
// the disc's instant on the program's clock. A light the box did not see, or whose command the
// program was held up in sending, is told as not seen: its instant is not known.
class LightTiming : public QObject
{
    Q_OBJECT

public:
    static constexpr int Echoes = 10;

    LightTiming(SwitchBox &box, ActionWin &window, QObject *parent = nullptr);

    void Begin();
    void Arm(bool button); // "s" where the box's button answers, else "l"
    void Cancel();         // the disc's light no longer awaited
    void End();

Q_SIGNALS:
    void LightSeen(qint64 latencyUs, qint64 lightUs);
    void LightNotSeen();
    void Failed(const QString &why); // the run cannot go on

private:
    void Light(int us);
    void NotSeen(const char *why);

    SwitchBox &box;
    ActionWin &window;
    LineDelay line;
    LightArming arming;
    LightCommand armed;
    bool running = false;
    bool awaited = false;       // the armed light's answer
    std::optional<int> earlyUs; // a light answered before the line's delay was known
};
