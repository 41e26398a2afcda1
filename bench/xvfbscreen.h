#pragma once

// Xvfb's screen as it keeps it (-fbdir), and what the timing robot and the real-display tests see
// in it.

#include "xwdscreen.h"

#include <cstdlib>

class XvfbScreen : public XwdScreen
{
public:
    using XwdScreen::XwdScreen;

    // What the screen shows on a grid finer than the disc (a 40th of the width): the yellow discs,
    // a disc being the yellow points within two disc widths of its first, and how many points show
    // anything else but black.
    struct Sight
    {
        int discs = 0;
        int x = 0, y = 0; // the first disc
        int lit = 0;
        int middleLit = 0; // of those, in the middle fifth of the height
        int centreLit = 0; // pixels but black in the square a disc wide at the centre (a ring there)
    };
    Sight Look() const
    {
        Sight sight;
        const int step = width / 120 > 2 ? width / 120 : 2;
        const int reach = width / 20;
        int xs[8], ys[8];
        for (int y = step / 2; y < height; y += step)
            for (int x = step / 2; x < width; x += step) {
                const uint32_t pixel = Pixel(x, y);
                if (pixel != 0xFFFF00) {
                    sight.lit += pixel != 0;
                    sight.middleLit += pixel != 0 && std::abs(2 * y - height) < height / 5;
                    continue;
                }
                bool known = false;
                for (int i = 0; i < sight.discs && !known; ++i)
                    known = std::abs(xs[i] - x) <= reach && std::abs(ys[i] - y) <= reach;
                if (!known && sight.discs < 8) {
                    xs[sight.discs] = x;
                    ys[sight.discs] = y;
                    ++sight.discs;
                }
            }
        if (sight.discs > 0)
            sight.x = xs[0], sight.y = ys[0];
        const int half = width / 40;
        for (int y = height / 2 - half; y < height / 2 + half; ++y)
            for (int x = width / 2 - half; x < width / 2 + half; ++x)
                sight.centreLit += Pixel(x, y) != 0;
        return sight;
    }
};
