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
// watches the LED (PB5) and presses the button (PD2) a chosen time after it lights.
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

    bool LedOn() const { return ledOn; }
    bool ButtonDown() const { return buttonDown; }
    // The true time from each LED-on to its press, in microseconds of simulated time.
    std::vector<double> Presses() const;
    // The lines on the serial line so far, "<- " from the host, "-> " from the box.
    std::vector<std::string> Traffic() const;
    // Simulated time, in microseconds.
    double Now() const;

private:
    struct Sim;
    void Run();
    void LedChanged(bool on);
    void LedLit();
    void Press();
    void SetButton(bool down);
    void ScheduleMoves();
    void SerialByte(const char *direction, uint32_t byte);

    std::unique_ptr<Sim> sim;
    std::thread thread;
    std::atomic<bool> stopping {false};
    std::atomic<bool> ledOn {false};
    std::atomic<bool> buttonDown {false};
    std::atomic<bool> pressRequested {false};
    std::atomic<uint64_t> cycle {0};
    bool realTime = false;

    mutable std::mutex mutex; // guards what follows
    std::function<double()> reaction;
    std::vector<double> presses;
    uint64_t ledOnCycle = 0;
    std::vector<std::string> traffic;
    std::vector<Step> moves; // waiting for the simulation to take them
    struct Move
    {
        AvrBox *box;
        bool down;
    };
    std::vector<std::unique_ptr<Move>> scheduled; // the timers' parameters, kept to the end
    std::string partial[2];                       // the line growing in each direction
};
