#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// The switch box's own firmware, run instruction by instruction in simavr (an ATmega328P at
// 16 MHz) with its serial line on a pseudo-terminal: the real box without the board. Someone
// watches the LED (PB5) and presses the button (PD2) a chosen time after it lights; a screen lights
// the sensor (PD3, low when lit) a chosen time after each light command "l" or screen trial "s",
// and someone may press the button a chosen time after that light.
class AvrBox
{
public:
    AvrBox();
    ~AvrBox();
    AvrBox(const AvrBox &) = delete;
    AvrBox &operator=(const AvrBox &) = delete;

    // Loads the firmware (an ELF file) and runs it on a thread of its own, as fast as the host
    // allows or paced to the wall clock. Empty when it runs, else why not.
    std::string Start(const std::string &firmwarePath, bool realTime);

    // The serial line's device, for a program to open.
    std::string SerialDevice() const;

    // When, after each time the LED lights, the button is pressed, in microseconds (fractions
    // are fine); called on the simulation's thread. None: no one presses.
    void SetReaction(std::function<double()> microsecondsAfterLed);
    // Presses the button now (and lets go 50 ms later); for a person at the keyboard.
    void PressNow();
    // Moves the button by hand: each step holds it down or lets it go, at its time in
    // microseconds after the simulation takes the list. Steps at 0 act at once.
    struct Step
    {
        double atUs;
        bool down;
    };
    void MoveButton(std::vector<Step> steps);

    // When, after each "l" or "s" has arrived (the receiver has its line feed), the sensor sees light,
    // in microseconds (fractions are fine); called on the simulation's thread. Negative or none:
    // no light. The light lasts 50 ms. fromSending: counted instead from the instant the line's
    // first byte came from the host, as a screen's latency counts from the painting that the host
    // sends "l" with, while the line itself takes its byte times.
    void SetLightDelay(std::function<double()> microsecondsAfterCommand, bool fromSending = false);
    // When, after each such light, the button is pressed, like SetReaction.
    void SetReactionToLight(std::function<double()> microsecondsAfterLight);
    // Holds the sensor lit (the room's light) or lets it go dark but for the screen's flashes.
    void SetLight(bool lit);

    bool LedOn() const { return ledOn; }
    bool ButtonDown() const { return buttonDown; }
    bool SensorLit() const { return sensorLit; }
    // The true time from the latest LED-on to each press by SetReaction or PressNow, in
    // microseconds of simulated time.
    std::vector<double> Presses() const;
    // The true time from the latest light to each press by SetReactionToLight or PressNow, likewise.
    std::vector<double> PressesAfterLight() const;
    // The true time from each "l"'s or "s"'s arrival to its light, likewise.
    std::vector<double> LightTimes() const;
    // The lines on the serial line so far, "<- " from the host, "-> " from the box.
    std::vector<std::string> Traffic() const;
    // Simulated time, in microseconds.
    double Now() const;

private:
    struct Sim;
    void Run();
    void LedChanged(bool on);
    void LedLit();
    enum Timed { AfterLed = 1, AfterLight = 2 }; // what a press is timed from
    void Press(int timed);
    void SetButton(bool down);
    void ScheduleMoves();
    void SerialByte(const char *direction, uint32_t byte);
    void HostByte(uint32_t byte);
    void ByteArrived();
    struct Flash;
    void LightUp(Flash *flash);
    void LightDown();
    void SetSensor();

    std::unique_ptr<Sim> sim;
    std::thread thread;
    std::atomic<bool> stopping {false};
    std::atomic<bool> ledOn {false};
    std::atomic<bool> buttonDown {false};
    std::atomic<bool> sensorLit {false};
    std::atomic<bool> pressRequested {false};
    std::atomic<int> lightRequested {-1}; // SetLight's wish, -1 when taken
    std::atomic<uint64_t> cycle {0};
    bool realTime = false;

    mutable std::mutex mutex; // guards what follows
    std::function<double()> reaction;
    std::vector<double> presses;
    uint64_t ledOnCycle = 0;
    std::function<double()> reactionToLight;
    std::vector<double> pressesAfterLight;
    uint64_t lightCycle = 0;
    std::vector<std::string> traffic;
    std::vector<Step> moves; // waiting for the simulation to take them
    struct Move
    {
        AvrBox *box;
        bool down;
    };
    std::vector<std::unique_ptr<Move>> scheduled; // the timers' parameters, kept to the end
    std::string partial[2];                       // the line growing in each direction
    std::function<double()> lightDelay;
    std::vector<double> lightTimes;

    // Only on the simulation's thread:
    std::string hostLine;       // the host's line as its bytes go into the receiver
    uint64_t hostLineCycle = 0; // when its first byte came
    bool lightFromSending = false;
    bool byteInFlight = false;                       // a byte is in the receiver, its arrival still to come
    bool lightCommand = false;                       // and it ends an "l" or "s" line
    bool lightHeld = false;                          // SetLight(true)
    int flashes = 0;                                 // lights from "l" or "s" now shining
    std::vector<std::unique_ptr<Flash>> flashTimers; // like `scheduled`
};
