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
