#pragma once

// What the display server tells of its screen and its input, where it tells it.

// Returns once the display server has carried out everything this program has sent it so far,
// so that what was just painted is in the screen's image. On X11 that is one round trip; where
// the platform offers no such question it returns at once.
void WaitForDisplay();

// Whether input events carry the server's stamp on the steady clock in whole milliseconds
// (QInputEvent::timestamp()): X11 on Linux, whose times are the monotonic clock.
bool ServerStampsOnSteadyClock();
