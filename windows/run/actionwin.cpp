#include "actionwin.h"

#include "debuglog.h"
#include "displayserver.h"
#include "prompts.h"

#include <QKeyEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QWindow>

namespace {

// The PVT's counter moves on at about every frame a screen shows.
constexpr int CounterTickMs = 10;

// The task key a key on the keyboard stands for; empty for others.
QString TaskKey(int key)
{
    switch (key) {
    case Qt::Key_Space:
        return QStringLiteral("space");
    case Qt::Key_D:
        return QStringLiteral("d");
    case Qt::Key_F:
        return QStringLiteral("f");
    case Qt::Key_J:
        return QStringLiteral("j");
    case Qt::Key_K:
        return QStringLiteral("k");
    default:
        return {};
    }
}

} // namespace

SignalPlacement PlaceSignal(const QSize &windowSize, int posX, int posY)
{
    const int right = windowSize.width() - 1;
    const int bottom = windowSize.height() - 1;
    const int margin = right / 20; // twice the disc's diameter, from the width in both directions
    const int diameter = right / 40;
    const int x = right / 2 + ((right - margin) * (posX - 50)) / 100;
    const int y = bottom / 2 + ((bottom - margin) * (posY - 50)) / 100;
    return {QRect(x, y, diameter, diameter), y};
}

ActionWin::ActionWin(QWidget *parent)
    : QFrame(parent)
    , clock(ServerStampsOnSteadyClock())
{
    presentationPoll.setInterval(1);
    presentationPoll.setTimerType(Qt::PreciseTimer);
    connect(&presentationPoll, &QTimer::timeout, this, &ActionWin::PollPresentation);
    counterTick.setInterval(CounterTickMs);
    counterTick.setTimerType(Qt::PreciseTimer);
    connect(&counterTick, &QTimer::timeout, this, [this] {
        if (signalVisible)
            update(CounterRect());
        else
            counterTick.stop();
    });
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent); // paintEvent covers every pixel; skip the erase
    setWindowTitle(QStringLiteral("Flinkprobe"));
}

void ActionWin::TellTooManyEarlyPresses()
{
    releaseKeyboard();
    Prompt::Information(this, tr("Fehler"),
        TaskKeys(task).contains(QStringLiteral("space"))
            ? tr("Sie haben die Leertaste zu oft gedrückt.\nDer Test wird abgebrochen.")
            : tr("Sie haben zu oft eine Taste gedrückt, ohne dass eine Scheibe zu sehen war.\nDer Test wird "
                 "abgebrochen."));
}

void ActionWin::SetMessage(const QString &text)
{
    message = text;
    repaint();
}

void ActionWin::Present(const QString &text)
{
    ResetRun();
    message = text;
    showFullScreen(); // a maximized window leaves panels in view, and tiling managers halve it
    update();
    raise();
    activateWindow();
}

void ActionWin::Withdraw()
{
    heldPresses.clear();
    presentationPoll.stop();
    // What the window shows last is what a window system may show again at its next mapping, before
    // it is painted anew: black.
    signalVisible = false;
    message.clear();
    checking = marked = lightTimed = lightButton = false;
    counterTick.stop();
    task = Task();
    stimulus.clear();
    if (isVisible())
        repaint();
    setVisible(false);
}

void ActionWin::ShowSignal(int x, int y)
{
    posX = x;
    posY = y;
    signalVisible = true;
    counterFrom.reset();
    grabKeyboard();
    const bool stamped = drawTimes.Watch();
    const bool presented = wayland.Watch(this);
    clock.PaintStarting();
    repaint(DiscRegion()); // only the disc: a whole 4K frame takes the server milliseconds to take in
    // The server's question after the drawing goes out before the clock is read: a program held up
    // in between then finds the server's times earlier than its own painting's end, and they decide.
    if (stamped)
        drawTimes.AskAfter();
    // Where the server does not tell when it drew: the disc reached the screen's image between the
    // painting's end and the server's answer to a question sent after it.
    const SteadyTime painted = clock.Now();
    if (stamped)
        drawTimes.Painted();
    else if (presented)
        wayland.Painted();
    else
        WaitForDisplay();
    clock.DiscShown(painted, clock.Now());
    if (Counting()) { // from its first frame on, which shows 0
        counterFrom = painted;
        counterTick.start();
    }
}

void ActionWin::ShowStimulus(int x, int y, const QString &name)
{
    stimulus = name;
    ShowSignal(x, y);
}

void ActionWin::SetTask(const Task &runTask)
{
    task = runTask;
    stimulus.clear();
}

SteadyTime ActionWin::DiscInstant()
{
    if (wayland.Followed() == WaylandTiming::Frame::Presented)
        return *wayland.Shown();
    return clock.DiscInstant(drawTimes.Drawn());
}

void ActionWin::HideSignal()
{
    signalVisible = false;
    repaint(DiscRegion());
}

void ActionWin::SetChecking(bool on, bool mark)
{
    checking = on;
    marked = on && mark;
    if (on) // the check shows its disc at the centre, not where a run's last one was
        posX = posY = 50;
    update();
}

void ActionWin::SetLightTimed(bool on, bool button)
{
    lightTimed = on;
    lightButton = on && button;
    update();
}

QRect ActionWin::LightPatch() const
{
    return QRect(0, height() - LightPatchSize, LightPatchSize, LightPatchSize);
}

QRect ActionWin::CounterRect() const
{
    // Digits an eighth of the height tall, room for six of them.
    const int h = height() / 8;
    return QRect(0, 0, 4 * h, h * 3 / 2).translated(rect().center() - QPoint(2 * h, h * 3 / 4));
}

QRegion ActionWin::DiscRegion() const
{
    if (Counting())
        return QRegion(CounterRect());
    // The disc's outline is drawn with a pen 3 px wide, centred on the rectangle's edge. The patch
    // in the same region: one frame brings both, or takes both away.
    const QRegion disc(PlaceSignal(size(), posX, posY).disc.adjusted(-2, -2, 2, 2));
    return lightTimed ? disc.united(LightPatch()) : disc;
}

void ActionWin::ResetRun()
{
    lastTiming.reset();
    heldPresses.clear();
    signalVisible = false;
    counterTick.stop();
}

bool ActionWin::CanBeSeen() const
{
    return isVisible() && !isMinimized() && windowHandle() && windowHandle()->isExposed() && HoldsInputFocus(this);
}

void ActionWin::Reclaim()
{
    if (isMinimized())
        showFullScreen();
    raise();
    activateWindow();
}

void ActionWin::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        DebugLog("ESC received");
        event->accept();
        Q_EMIT SignalStop();
        releaseKeyboard();
        return;
    }
    if (event->key() == Qt::Key_Space && checking) {
        event->accept();
        Q_EMIT CheckSpace();
        return;
    }
    const QString key = TaskKey(event->key());
    if (key.isEmpty() || !TaskKeys(task).contains(key)) { // a choice's SPACE is no answer either
        event->ignore();
        return;
    }
    event->accept();
    if (!event->isAutoRepeat() && !lightButton) // a held key is one press
        KeyPressed({static_cast<std::uint32_t>(event->timestamp()), key});
}

void ActionWin::KeyPressed(const Press &press)
{
    // Until the compositor says when the disc was shown, a press can be told neither early nor in
    // time: it waits, the disc stays up.
    if (signalVisible && (!heldPresses.isEmpty() || wayland.Followed() == WaylandTiming::Frame::Pending)) {
        heldPresses.append(press);
        if (!presentationPoll.isActive())
            presentationPoll.start();
        return;
    }
    Judge(press);
}

void ActionWin::PollPresentation()
{
    const bool overdue = clock.Now() - clock.PaintStart() > std::chrono::milliseconds(PresentationWaitMs);
    const WaylandTiming::Frame frame = wayland.Followed();
    if (frame == WaylandTiming::Frame::Pending && !overdue)
        return;
    presentationPoll.stop();
    if (frame != WaylandTiming::Frame::Presented) { // timed as if the compositor said nothing
        DebugLog("Praesentation nicht gemeldet");
        wayland.Unreported();
    }
    while (!heldPresses.isEmpty() && isVisible())
        Judge(heldPresses.takeFirst());
    heldPresses.clear();
}

void ActionWin::Judge(const Press &press)
{
    const std::uint32_t stamp = press.stamp;
    if (signalVisible) {
        const std::optional<ServerDrawing> drawn = drawTimes.Drawn();
        ReactionTiming by = ReactionTiming::Program;
        if (wayland.Followed() == WaylandTiming::Frame::Presented) {
            clock.DiscPresented(*wayland.Shown());
            by = ReactionTiming::Presentation;
        } else if (drawn) {
            by = IsXwayland() ? ReactionTiming::Xwayland : ReactionTiming::XServer;
        }
        if (const std::optional<std::int64_t> us = clock.KeyPressedUs(stamp, drawn, wayland.PreciseKeyDown(stamp))) {
            if (by != lastTiming && !lightTimed) // a light-timed run's clock is the sensor's, traced with the run
                DebugLog("Zeitnahme: %s", TraceName(by));
            lastTiming = by;
            signalVisible = false;
            repaint(DiscRegion());
            Q_EMIT SignalResult(WholeMs(*us), by, *us, press.key);
            return;
        }
        DebugLog("Leertaste vor dem Signal gedrueckt"); // handled late, but pressed too early
    }
    Q_EMIT EarlyPress();
}

void ActionWin::paintEvent(QPaintEvent *event)
{
    QFrame::paintEvent(event);
    QPainter painter(this);
    const SignalPlacement place = PlaceSignal(size(), posX, posY);

    painter.setPen(QPen(QBrush(Qt::black, Qt::SolidPattern), 3.0, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    painter.setBrush(QBrush(Qt::black, Qt::SolidPattern));
    const QRect all(QPoint(0, 0), QPoint(width() - 1, height() - 1));
    painter.drawRects(&all, 1);

    if (lightTimed && signalVisible) { // under the disc, where a disc in the corner meets it
        painter.fillRect(LightPatch(), Qt::white);
    } else if (lightTimed) { // where the sensor goes: grey, which it takes for dark
        painter.save();
        painter.setPen(QPen(Qt::gray, 2.0));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(LightPatch().adjusted(1, 1, -1, -1));
        painter.restore();
    }
    if (signalVisible && Counting()) { // yellow, as the disc: the same kind of light on the screen
        const qint64 ms = counterFrom ? (clock.Now() - *counterFrom) / std::chrono::milliseconds(1) : 0;
        QFont digits = font();
        digits.setPixelSize(CounterRect().height() * 2 / 3);
        digits.setBold(true);
        painter.setFont(digits);
        painter.setPen(Qt::yellow);
        painter.drawText(CounterRect(), Qt::AlignCenter, QString::number(ms));
    } else if (signalVisible) {
        // A no-go disc blue, the go/no-go's other colour; every other disc yellow.
        const bool blue = stimulus == QLatin1String("blue");
        painter.setBrush(QBrush(blue ? Qt::blue : Qt::yellow, Qt::SolidPattern));
        painter.drawEllipse(place.disc);
    } else if (marked) { // where the light sensor goes, twice the disc's size around it
        painter.setPen(QPen(Qt::gray, 2.0));
        painter.setBrush(Qt::NoBrush);
        const int d = place.disc.width() / 2;
        painter.drawEllipse(place.disc.adjusted(-d, -d, d, d));
    }
    if (!message.isEmpty()) {
        painter.setPen(QPen(QBrush(Qt::white, Qt::SolidPattern), 1.0, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
        painter.drawText(QPointF(50.0, place.baseline), message);
    }
}

void ActionWin::closeEvent(QCloseEvent *event)
{
    Q_EMIT SignalStop();
    event->accept();
}

void ActionWin::resizeEvent(QResizeEvent *event)
{
    // Everything moves with the size (the disc's place, the text's baseline): an image kept from
    // the old size must not show through.
    update();
    QFrame::resizeEvent(event);
}

void ActionWin::hideEvent(QHideEvent *event)
{
    // A grab must never outlive the visible window, or the main window could take no typing.
    releaseKeyboard();
    QFrame::hideEvent(event);
}
