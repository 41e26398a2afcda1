#include "screenmodel.h"

#include <algorithm>
#include <cmath>

double LightDelayUs(const ScreenModel &model, double sinceFirstFrameUs, double uniform, double normal)
{
    double delayUs = model.latencyMs * 1000 + normal * model.jitterMs * 1000;
    if (model.refreshHz > 0) {
        const double frameUs = 1e6 / model.refreshHz;
        // What was drawn during a frame is scanned out with the next one.
        double untilNextUs = frameUs - std::fmod(std::max(sinceFirstFrameUs, 0.0), frameUs);
        if (uniform < model.droppedShare)
            untilNextUs += frameUs;
        delayUs += untilNextUs + model.row * frameUs;
    }
    return std::max(delayUs, 0.0);
}

SimulatedScreen::SimulatedScreen(const ScreenModel &screen, unsigned seed)
    : model(screen)
    , firstFrame(Clock::now())
    , random(seed)
{ }

double SimulatedScreen::LightDelayUs(Clock::time_point drawn)
{
    const double sinceFirstUs = std::chrono::duration<double, std::micro>(drawn - firstFrame).count();
    return ::LightDelayUs(model, sinceFirstUs, std::uniform_real_distribution<double>(0, 1)(random),
        std::normal_distribution<double>()(random));
}
