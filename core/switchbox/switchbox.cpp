#include "switchbox.h"

#include "debuglog.h"
#include "portname.h"

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
    if (on)
        connect(&port, &QSerialPort::readyRead, this, &SwitchBox::Poll, Qt::UniqueConnection);
    else
        disconnect(&port, &QSerialPort::readyRead, this, &SwitchBox::Poll);
}

void SwitchBox::HandleBytes(const QByteArray &bytes)
{
    for (const std::string &line :
        lines.Feed(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size()))))
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
