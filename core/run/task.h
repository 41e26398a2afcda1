#pragma once

#include "runtiming.h"
#include "settings.h"

#include <QString>
#include <QStringList>

// What a run asks of the person. The simple task is the program's own: a yellow disc answered
// with SPACE or the box's button, as many signals and such waits as set. The others are the
// field's standard tasks: the psychomotor vigilance task (PVT, 10 min) and its 3-minute version
// PVT-B, a choice among 1, 2 or 4 places each with its key (Hick's law), and go/no-go.
enum class TaskKind { Simple, Pvt, PvtB, Choice, GoNoGo };

struct Task
{
    TaskKind kind = TaskKind::Simple;
    int alternatives = 2; // choice: 1, 2 or 4 places
    int goPercent = 75;   // go/no-go: the share of go signals
};

// As the journal keeps it: "einfach", "pvt", "pvt-b", "wahl-2", "gonogo-75". A name not known
// (or none, a run of an older version) is the simple task; a choice of another number of places
// has 2, a go share outside 1..99 is 75.
QString TaskName(const Task &task);
Task TaskNamed(const QString &name);

// The tasks "Einstellungen" offers, in its order, by their stored names.
QStringList OfferedTasks();

// A task's German title, the same in "Einstellungen", the result box and "Verlauf": "Einfach",
// "PVT (10 min)", "Wahl: 2 Orte", "Go/No-Go"; a go share other than the offered 75 % is named
// ("Go/No-Go (80 % Go)"), as a hand-edited file may set it.
QString TaskTitle(const Task &task);
// A kind's title, where the number of places does not matter (the filter in "Verlauf").
QString TaskKindTitle(TaskKind kind);

// Choice and go/no-go need places and colours: they run on the screen, whatever the device set.
bool NeedsScreen(const Task &task);

// The waits and the number of signals: the settings' for the simple task, choice and go/no-go;
// the PVT's own waits (2 to 10 s, PVT-B 1 to 4 s) and as many signals as its time could hold.
RunTiming TaskTiming(const Task &task, const Settings &settings);

// How long a PVT lasts, counted as the waits and reaction times it is made of; 0: a number of
// signals.
int TaskDurationMs(const Task &task);

// Go/no-go: a signal not answered within this long is over (a go missed, a no-go withheld).
// 0: a signal waits for its answer.
int ResponseWindowMs(const Task &task);

// Early presses (a key with no signal shown) end a run after the tolerated few; a PVT counts them
// as false starts and goes on.
bool EarlyPressesEndRun(const Task &task);

// The keys that answer: "space", choice's "j" (1 place), "f j" (2) or "d f j k" (4), left to right.
QStringList TaskKeys(const Task &task);

// One signal of a task, drawn with the run's random source.
struct Stimulus
{
    QString name;     // choice: the place, "1" from the left; go/no-go: "yellow" or "blue"; else empty
    QString expected; // the key that answers it right; empty: none may (a no-go)
    int x = 50;       // the disc's place, per cent of the window
    int y = 50;
};

// Not for the simple task, whose disc the engine places as ever. Go/no-go's disc is where the
// settings put discs (random or central), the PVT's counter in the middle.
Stimulus DrawStimulus(const Task &task, bool randomPosition);
