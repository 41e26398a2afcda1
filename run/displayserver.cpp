#include "displayserver.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#ifdef BLINKDASH_WITH_XCB
#include <qguiapplication_platform.h>
#include <xcb/damage.h>
#include <xcb/xcb.h>

#include <cstdlib>

namespace {

xcb_connection_t *Connection()
{
    auto *x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

} // namespace
#endif

void WaitForDisplay()
{
#ifdef BLINKDASH_WITH_XCB
    xcb_connection_t *connection = Connection();
    if (!connection)
        return;
    // The server answers requests in order: its reply means the painting before it is done.
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
#endif
}

bool IsXwayland()
{
#ifdef BLINKDASH_WITH_XCB
    xcb_connection_t *connection = Connection();
    if (!connection)
        return false;
    // Xwayland names its screens' outputs XWAYLAND0, ...; from version 23 on it also has an
    // extension of that name.
    for (const QScreen *screen : QGuiApplication::screens())
        if (screen->name().startsWith(QLatin1String("XWAYLAND")))
            return true;
    static const char name[] = "XWAYLAND";
    xcb_query_extension_reply_t *reply
        = xcb_query_extension_reply(connection, xcb_query_extension(connection, sizeof name - 1, name), nullptr);
    const bool present = reply && reply->present;
    std::free(reply);
    return present;
#else
    return false;
#endif
}

bool HoldsInputFocus(const QWidget *window)
{
    if (!window->isActiveWindow())
        return false;
#ifdef BLINKDASH_WITH_XCB
    if (xcb_connection_t *connection = Connection()) {
        xcb_get_input_focus_reply_t *reply
            = xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr);
        const bool ours = reply && reply->focus == static_cast<xcb_window_t>(window->winId());
        std::free(reply);
        return ours;
    }
#endif
    return true;
}

bool ServerStampsOnSteadyClock()
{
#if defined(Q_OS_LINUX)
    const QString platform = QGuiApplication::platformName();
    return platform == QLatin1String("xcb") || platform == QLatin1String("wayland");
#else
    return false;
#endif
}

DrawTimes::DrawTimes() = default;

DrawTimes::~DrawTimes()
{
    Release();
}

void DrawTimes::Release()
{
#ifdef BLINKDASH_WITH_XCB
    if (damage != 0) {
        if (xcb_connection_t *connection = Connection())
            xcb_damage_destroy(connection, damage);
        QCoreApplication::instance()->removeNativeEventFilter(this);
    }
#endif
    damage = 0;
    window = 0;
}

bool DrawTimes::Watch(QWidget *widget, const QRect &watched)
{
    watching = false;
    drawn.reset();
#ifdef BLINKDASH_WITH_XCB
    xcb_connection_t *connection = Connection();
    if (!connection)
        return false;
    const auto id = static_cast<std::uintptr_t>(widget->winId());
    if (id != window) {
        Release();
        const xcb_query_extension_reply_t *extension = xcb_get_extension_data(connection, &xcb_damage_id);
        if (!extension || !extension->present)
            return false;
        // The extension answers nothing before the client has said which version it speaks.
        std::free(xcb_damage_query_version_reply(connection,
            xcb_damage_query_version(connection, XCB_DAMAGE_MAJOR_VERSION, XCB_DAMAGE_MINOR_VERSION), nullptr));
        damage = xcb_generate_id(connection);
        window = id;
        notifyEvent = extension->first_event + XCB_DAMAGE_NOTIFY;
        // Raw rectangles: a notify for every drawing, each with its own time.
        xcb_damage_create(connection, damage, static_cast<xcb_drawable_t>(id), XCB_DAMAGE_REPORT_LEVEL_RAW_RECTANGLES);
        QCoreApplication::instance()->installNativeEventFilter(this);
    }
    // Drawing asked for after this request is what counts; notifies of earlier drawing may still
    // be on their way.
    sinceSequence = xcb_no_operation(connection).sequence;
    area = watched;
    watching = true;
    return true;
#else
    Q_UNUSED(widget);
    Q_UNUSED(watched);
    return false;
#endif
}

bool DrawTimes::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result)
{
    Q_UNUSED(eventType);
    Q_UNUSED(result);
#ifdef BLINKDASH_WITH_XCB
    const auto *event = static_cast<const xcb_generic_event_t *>(message);
    if (!watching || (event->response_type & 0x7f) != notifyEvent)
        return false;
    const auto *notify = static_cast<const xcb_damage_notify_event_t *>(message);
    if (notify->damage != damage || static_cast<std::int32_t>(event->full_sequence - sinceSequence) <= 0)
        return false;
    if (!area.intersects(QRect(notify->area.x, notify->area.y, notify->area.width, notify->area.height)))
        return false;
    drawn = notify->timestamp;
    watching = false;
#else
    Q_UNUSED(message);
#endif
    return false;
}
