#include "displaytiming.h"

#include <QGuiApplication>

#include <algorithm>

#ifdef BLINKDASH_WITH_XCB
#include <qguiapplication_platform.h>
#include <xcb/xcb.h>

#include <cstdlib>
#endif

using namespace std::chrono;

void WaitForDisplay()
{
#ifdef BLINKDASH_WITH_XCB
    auto *x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection())
        return;
    // The server answers requests in order: its reply means the painting before it is done.
    xcb_connection_t *connection = x11->connection();
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
#endif
}

std::optional<SteadyTime> ServerEventTime(unsigned long timestamp, SteadyTime notBefore, SteadyTime now)
{
#if defined(Q_OS_LINUX)
    if (QGuiApplication::platformName() == QLatin1String("xcb"))
        return MillisecondStampTime(static_cast<uint32_t>(timestamp), notBefore, now);
#else
    Q_UNUSED(timestamp);
    Q_UNUSED(notBefore);
    Q_UNUSED(now);
#endif
    return std::nullopt;
}

std::optional<SteadyTime> MillisecondStampTime(uint32_t stampMs, SteadyTime notBefore, SteadyTime now)
{
    const int64_t nowMs = duration_cast<milliseconds>(now.time_since_epoch()).count();
    const uint32_t age = static_cast<uint32_t>(nowMs) - stampMs; // modulo 2^32, as the stamp wraps
    const SteadyTime stamped = SteadyTime(milliseconds(nowMs - age)) + microseconds(500);
    if (stamped > now + microseconds(500) || stamped < notBefore - microseconds(500))
        return std::nullopt;
    return std::clamp(stamped, notBefore, now);
}
