#pragma once

#include "displayserver.h"
#include "reactionclock.h"
#include "task.h"
#include "waylandtiming.h"

#include <QFrame>
#include <QList>
#include <QRect>
#include <QRegion>
#include <QString>
#include <QTimer>

// Where the signal and the message go in a window of the given size, for a signal position in
// per cent (50/50 is the centre). A margin keeps the whole disc inside at 0 and 100.
struct SignalPlacement
{
    QRect disc;   // the disc's bounding square; its top-left corner sits at the position
    int baseline; // y of the message's baseline, which follows the signal's height
};
SignalPlacement PlaceSignal(const QSize &windowSize, int posX, int posY);

// The stimulus window of a screen run: a black surface that shows a yellow disc on request,
// times the SPACE press that answers it, tells a SPACE pressed while no disc was shown, and ends
// the run on ESC or on closing. A task's run shows the task's stimulus instead (a running counter,
// a disc at one of its places or in a go/no-go colour) and takes the task's keys.
class ActionWin : public QFrame
{
    Q_OBJECT

public:
    explicit ActionWin(QWidget *parent = nullptr);

    void SetMessage(const QString &text);
    const QString &Message() const { return message; }
    // Puts the window over the whole screen with only text on black: nothing of an earlier run or
    // check, whatever the window system kept of the window's last image. Takes the keyboard focus.
    void Present(const QString &text);
    // Takes the window off the screen, leaving a plain black image behind for its next showing.
    void Withdraw();
    // Shows the disc at x, y per cent, starts the clock and takes the keyboard.
    void ShowSignal(int x, int y);
    // A task's stimulus (Stimulus::name), shown and timed as a disc: the PVT's counter from 0 at
    // the centre, a go/no-go disc in "yellow" or "blue", a choice's disc at its place.
    void ShowStimulus(int x, int y, const QString &name);
    // Takes the disc away again (a screen check; in a run the answer does).
    void HideSignal();
    // The task of the run being presented, until the window is withdrawn: its stimulus and keys.
    void SetTask(const Task &runTask);
    // Forgets the shown signal of the previous run.
    void ResetRun();
    // A screen check: SPACE only says so (CheckSpace), and a ring marks where the disc will come,
    // at the centre.
    void SetChecking(bool checking, bool marked = false);
    // A light-timed run, until the window is withdrawn: each disc comes with a white patch in the
    // bottom-left corner, in the same frame, for the light sensor taped there; between discs a grey
    // outline marks its place. With the box's button answering, SPACE is no answer and no early press.
    void SetLightTimed(bool on, bool button = false);
    static constexpr int LightPatchSize = 48; // px, square
    // The instant a reaction to the disc shown last counts from.
    SteadyTime DiscInstant();
    std::chrono::microseconds Painting() const { return clock.Painting(); }

    // On top, active and exposed: a disc shown now would be seen.
    bool CanBeSeen() const;
    // Asks the window system to bring the window back on top and active.
    void Reclaim();

    bool SignalVisible() const { return signalVisible; }
    // The run was stopped by one early press too many: says so, over the window.
    void TellTooManyEarlyPresses();
    ReactionClock &Clock() { return clock; }

Q_SIGNALS:
    // us: not yet rounded; key: the task's key that answered ("space", a choice's "f")
    void SignalResult(int ms, ReactionTiming by, qint64 us, const QString &key);
    void EarlyPress();
    void SignalStop();
    void CheckSpace();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    // How long a press waits for the compositor to tell when the disc was shown: a frame is
    // presented within a refresh or two.
    static constexpr int PresentationWaitMs = 200;

    // A press of one of the task's keys, as stamped.
    struct Press
    {
        std::uint32_t stamp = 0;
        QString key;
    };
    void KeyPressed(const Press &press);
    void PollPresentation();
    void Judge(const Press &press); // a reaction to the disc, or an early press
    QRegion DiscRegion() const;     // what showing or removing the disc repaints, its patch with it
    QRect LightPatch() const;
    QRect CounterRect() const; // the PVT's counter, at the centre
    bool Counting() const { return task.kind == TaskKind::Pvt || task.kind == TaskKind::PvtB; }

    ReactionClock clock;
    DrawTimes drawTimes;      // when the server drew the disc, where it tells
    WaylandTiming wayland;    // when the compositor presented it, where it tells
    QList<Press> heldPresses; // waiting for the compositor's word
    QTimer presentationPoll;
    Task task;
    QString stimulus;                         // the task's signal shown: a go/no-go colour
    QTimer counterTick;                       // the PVT's counter runs while it is shown
    std::optional<SteadyTime> counterFrom;    // none: its first frame, 0
    std::optional<ReactionTiming> lastTiming; // of this run, to log a change of clocks
    QString message;
    bool signalVisible = false;
    int posX = 50;
    int posY = 50;
    bool checking = false;
    bool marked = false;
    bool lightTimed = false;
    bool lightButton = false;
};
