#pragma once

#include "boxprotocol.h"

#include <QObject>
#include <QSerialPort>

#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

// The program's side of the serial link to the switch box: it opens the port, sends the box its
// commands and turns the box's replies into signals. Only AwaitEcho blocks, up to its deadline;
// otherwise the owner calls Poll from a timer, and every call on a closed port quietly does nothing.
class SwitchBox : public QObject
{
    Q_OBJECT

public:
    explicit SwitchBox(QObject *parent = nullptr);
    ~SwitchBox() override;

    // Opens and configures COM port n (19200 baud, 8N1, no flow control); 0 on success, -1 on failure.
    int Open(int n);
    void Close();
    bool IsOpen() const;

    void StartReaction();
    // The light sensor: time the light from now (answered by LightSeen, NoLight or EarlyLight), and
    // an echo to time the line itself (EchoAnswered). A box with older firmware answers neither.
    void StartLightTiming();
    // A screen trial: the light timed as by StartLightTiming, then the button from the light
    // (SignalResult, as for StartReaction).
    void StartScreenTrial();
    void SendEcho();
    // Sends an echo and waits for it until the deadline, reading the port meanwhile: whether it came
    // in time. The line keeps order, so the commands sent before it reached the box in time too.
    // Such an echo, in time or late, is not told as EchoAnswered; other answers read meanwhile are
    // told after the caller has returned to the event loop.
    bool AwaitEcho(std::chrono::steady_clock::time_point deadline);
    void SendParameters(int a, int b, int c, int d, int e, int f);
    void Poll();
    // Reads each answer as it comes, not at the next poll: for timing the line itself.
    void SetPromptReading(bool on);
    // Handles bytes as if the port had delivered them.
    void HandleBytes(const QByteArray &bytes);

    std::int32_t GetValue(unsigned index) const;
    int IsResultReady() const { return resultReady; }
    int LastError() const { return lastError; }
    // Why the last Open failed: the device tried (empty when port n names none), the system's
    // reason, and whether it was refused for lack of rights.
    struct OpenFailure
    {
        QString device;
        QString reason;
        bool denied = false;
    };
    const OpenFailure &Failure() const { return failure; }

public Q_SLOTS:
    void SetLED(bool on);

Q_SIGNALS:
    void KeyPressed();
    void SignalResult(int ms);
    void AnswerUnreadable(); // a time came garbled; the box has stopped measuring
    void Lost();             // the device went away (unplugged, simulator ended)
    void LightSeen(int us);  // microseconds from the light command
    void NoLight();          // none within a second
    void EarlyLight();       // the sensor saw light already when the command came
    void EchoAnswered();
    void OtherLine(const QByteArray &line); // none of the box's answers: noise, a box of another kind

private:
    int OpenDevice(const QString &name);
    void Send(const QByteArray &command);
    void HandleLine(const std::string &line);
    void OnPortError(QSerialPort::SerialPortError error);

    std::array<std::int32_t, 6> values {};
    LineAssembler lines;
    int lastError = 0;
    OpenFailure failure;
    int resultReady = 0;
    int echoesAwaited = 0; // sent by AwaitEcho, not yet back: the next echoes are theirs
    bool awaitingEcho = false;
    std::vector<std::string> heldLines; // read while awaiting an echo
    bool portLost = false;              // the device went away; the port is closed at the next poll
    QSerialPort port;
};
