#pragma once

#include <chrono>
#include <random>

// A screen as a light sensor on it sees a drawing: not at once, but when the next frame is
// scanned out down to the sensor's row, plus the panel's own delay, with some jitter, and now and
// then a frame later, when the compositor missed one.
struct ScreenModel
{
    double latencyMs = 0;    // the panel's own delay, after the scan-out reached the sensor's row
    double refreshHz = 0;    // frames a second; 0: no frames, the light follows the drawing by the rest
    double row = 0.5;        // where the sensor sits, 0 the top row, 1 the bottom one
    double jitterMs = 0;     // standard deviation of a normal jitter on each light
    double droppedShare = 0; // of the drawings, those shown a frame late
};

// Microseconds from a drawing to its light, for a drawing `sinceFirstFrameUs` after the screen
// began its first frame. `uniform` lies in [0, 1) and decides a dropped frame, `normal` is drawn
// from the standard normal distribution. Never below 0.
double LightDelayUs(const ScreenModel &model, double sinceFirstFrameUs, double uniform, double normal);

// That screen running from its first frame on, with random jitter and dropped frames.
class SimulatedScreen
{
public:
    using Clock = std::chrono::steady_clock;

    SimulatedScreen(const ScreenModel &screen, unsigned seed);
    void SetRow(double row) { model.row = row; }
    // Microseconds from a drawing at `drawn` to its light.
    double LightDelayUs(Clock::time_point drawn);

private:
    ScreenModel model;
    Clock::time_point firstFrame;
    std::mt19937 random;
};
