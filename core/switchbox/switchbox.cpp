#include "switchbox.h"

#include "debuglog.h"
#include "portname.h"

#include <utility>

namespace {

constexpr int OpenFailed = -100;

} // namespace

SwitchBox::SwitchBox(QObject *parent)
    : QObject(parent)
{
    connect(&port, &QSerialPort::errorOccurred, this, &SwitchBox::OnPortError);
}

SwitchBox::~SwitchBox()
{
    Close();
}

int SwitchBox::Open(int n)
{
    return OpenDevice(BoxPortName(n));
}

int SwitchBox::OpenDevice(const QString &name)
{
    Close();
    lastError = 0;
    failure = {};
    port.setPortName(name);
    const bool opened = !name.isEmpty() && port.open(QIODevice::ReadWrite);
    if (opened && port.setBaudRate(QSerialPort::Baud19200) && port.setDataBits(QSerialPort::Data8)
        && port.setParity(QSerialPort::NoParity) && port.setStopBits(QSerialPort::OneStop)
        && port.setFlowControl(QSerialPort::NoFlowControl)) {
        port.clear(); // nothing left over from before the program had the port
        DebugLog("Schaltbox %s geoeffnet", name.toLocal8Bit().constData());
        return 0;
    }
    failure = {name, port.errorString(), port.error() == QSerialPort::PermissionError};
    DebugLog(
        "Schaltbox %s nicht geoeffnet: %s", name.toLocal8Bit().constData(), failure.reason.toLocal8Bit().constData());
    port.close();
    lastError = OpenFailed;
    return -1;
}

void SwitchBox::Close()
{
    portLost = false;
    echoesAwaited = 0;
    heldLines.clear();
    if (port.isOpen())
        port.close();
}

bool SwitchBox::IsOpen() const
{
    return port.isOpen() && !portLost;
}

void SwitchBox::SetLED(bool on)
{
    Send(on ? "L 1\n" : "L 0\n");
}

void SwitchBox::StartReaction()
{
    resultReady = 0;
    Send("r\n");
}

void SwitchBox::StartLightTiming()
{
    Send("l\n");
}

void SwitchBox::StartScreenTrial()
{
    resultReady = 0;
    Send("s\n");
}

void SwitchBox::SendEcho()
{
    Send("e\n");
}

bool SwitchBox::AwaitEcho(std::chrono::steady_clock::time_point deadline)
{
    if (!IsOpen())
        return false;
    ++echoesAwaited; // late ones of earlier calls come first, then this one
    Send("e\n");
    awaitingEcho = true;
    while (echoesAwaited > 0 && !portLost) {
        const auto left = deadline - std::chrono::steady_clock::now();
        if (left <= std::chrono::steady_clock::duration::zero())
            break;
        // Whole milliseconds at most: the echo is timed when it comes, not when the wait ends.
        port.waitForReadyRead(static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count()));
        HandleBytes(port.readAll());
    }
    awaitingEcho = false;
    if (!heldLines.empty()) // once the caller has done what it sent the echo behind
        QMetaObject::invokeMethod(
            this, [this] { HandleBytes({}); }, Qt::QueuedConnection);
    return echoesAwaited == 0 && std::chrono::steady_clock::now() <= deadline;
}

void SwitchBox::SendParameters(int a, int b, int c, int d, int e, int f)
{
    Send(QStringLiteral("T %1 %2 %3 %4 %5 %6\n").arg(a).arg(b).arg(c).arg(d).arg(e).arg(f).toLatin1());
}

void SwitchBox::Send(const QByteArray &command)
{
    if (!port.isOpen() || portLost)
        return;
    port.write(command);
    port.flush(); // hand the command to the driver now, not when the event loop next runs
}

void SwitchBox::Poll()
{
    if (portLost)
        Close();
    if (port.isOpen())
        HandleBytes(port.readAll());
}

void SwitchBox::SetPromptReading(bool on)
{
    echoesAwaited = 0; // a lost one would otherwise take the next asked for
    if (on)
        connect(&port, &QSerialPort::readyRead, this, &SwitchBox::Poll, Qt::UniqueConnection);
    else
        disconnect(&port, &QSerialPort::readyRead, this, &SwitchBox::Poll);
}

void SwitchBox::HandleBytes(const QByteArray &bytes)
{
    std::vector<std::string> fed
        = lines.Feed(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    if (awaitingEcho) {
        // Only echoes now: an answer to the command the echo follows belongs to what the caller
        // does next (a light to the disc it is about to draw).
        for (std::string &line : fed) {
            if (ParseReply(line).kind == BoxReply::Echo)
                HandleLine(line);
            else
                heldLines.push_back(std::move(line));
        }
        return;
    }
    for (const std::string &line : std::exchange(heldLines, {}))
        HandleLine(line);
    for (const std::string &line : fed)
        HandleLine(line);
}

void SwitchBox::HandleLine(const std::string &line)
{
    const BoxReply reply = ParseReply(line);
    switch (reply.kind) {
    case BoxReply::Values:
        for (int i = 0; i < reply.count; ++i)
            values[static_cast<std::size_t>(i)] = reply.numbers[static_cast<std::size_t>(i)];
        resultReady = 1;
        break;
    case BoxReply::KeyPressed:
        Q_EMIT KeyPressed();
        break;
    case BoxReply::Time:
        values[0] = reply.numbers[0];
        resultReady = 1;
        Q_EMIT SignalResult(MicrosecondsToMs(values[0]));
        break;
    case BoxReply::BadTime:
        DebugLog("Antwort \"%s\" verworfen", line.c_str());
        Q_EMIT AnswerUnreadable();
        break;
    case BoxReply::Light:
        Q_EMIT LightSeen(reply.numbers[0]);
        break;
    case BoxReply::NoLight:
        Q_EMIT NoLight();
        break;
    case BoxReply::EarlyLight:
        Q_EMIT EarlyLight();
        break;
    case BoxReply::Echo:
        if (echoesAwaited > 0)
            --echoesAwaited;
        else
            Q_EMIT EchoAnswered();
        break;
    case BoxReply::BadLight:
        DebugLog("Antwort \"%s\" verworfen", line.c_str());
        break;
    case BoxReply::Ignored:
        if (!line.empty())
            Q_EMIT OtherLine(QByteArray::fromStdString(line));
        break;
    case BoxReply::KeyState:
        break;
    }
}

std::int32_t SwitchBox::GetValue(unsigned index) const
{
    return index < values.size() ? values[index] : 0;
}

void SwitchBox::OnPortError(QSerialPort::SerialPortError error)
{
    // A box that went away (unplugged, simulator ended) keeps failing; let go of the port so that
    // runs go on without it instead of spinning on a dead device.
    if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError)
        return;
    // Closed at the next poll, not inside the port's own notification.
    if (portLost)
        return;
    DebugLog("Schaltbox getrennt (Fehler %d)", static_cast<int>(error));
    portLost = true;
    Q_EMIT Lost();
}
