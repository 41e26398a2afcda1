#include "displayserver.h"

#include <QGuiApplication>

#ifdef BLINKDASH_WITH_XCB
#include <qguiapplication_platform.h>
#include <xcb/xcb.h>

#include <cstdlib>
#endif

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

bool ServerStampsOnSteadyClock()
{
#if defined(Q_OS_LINUX)
    return QGuiApplication::platformName() == QLatin1String("xcb");
#else
    return false;
#endif
}
