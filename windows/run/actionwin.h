#pragma once

#include "displayserver.h"
#include "reactionclock.h"
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
// the run on ESC or on closing.
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
    // Takes the disc away again (a screen check; in a run the answer does).
    void HideSignal();
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
    void SignalResult(int ms, ReactionTiming by, qint64 us); // us: not yet rounded
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

    void SpacePressed(unsigned long timestamp);
    void PollPresentation();
    void Judge(std::uint32_t stamp); // a reaction to the disc, or an early press
    QRegion DiscRegion() const;      // what showing or removing the disc repaints, its patch with it
    QRect LightPatch() const;

    ReactionClock clock;
    DrawTimes drawTimes;              // when the server drew the disc, where it tells
    WaylandTiming wayland;            // when the compositor presented it, where it tells
    QList<std::uint32_t> heldPresses; // stamps of presses waiting for the compositor's word
    QTimer presentationPoll;
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
