#include "displayserver.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#ifdef BLINKDASH_WITH_XCB
#include <qguiapplication_platform.h>
#include <xcb/sync.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

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

#ifdef BLINKDASH_WITH_XCB
namespace {

// The SERVERTIME counter of the server's SYNC extension; 0 where there is none. The list is read
// by hand: each entry is padded as a whole to four bytes, which libxcb 1.15 reads wrongly.
std::uint32_t ServerTimeCounter(xcb_connection_t *connection)
{
    const xcb_query_extension_reply_t *extension = xcb_get_extension_data(connection, &xcb_sync_id);
    if (!extension || !extension->present)
        return 0;
    std::free(xcb_sync_initialize_reply(
        connection, xcb_sync_initialize(connection, XCB_SYNC_MAJOR_VERSION, XCB_SYNC_MINOR_VERSION), nullptr));
    xcb_sync_list_system_counters_reply_t *reply
        = xcb_sync_list_system_counters_reply(connection, xcb_sync_list_system_counters(connection), nullptr);
    if (!reply)
        return 0;
    const auto *entry = reinterpret_cast<const std::uint8_t *>(reply + 1);
    const std::uint8_t *end = reinterpret_cast<const std::uint8_t *>(reply) + 32 + 4 * std::size_t {reply->length};
    std::uint32_t found = 0;
    for (std::uint32_t i = 0; i < reply->counters_len && entry + 14 <= end && !found; ++i) {
        std::uint32_t counter;
        std::uint16_t length;
        std::memcpy(&counter, entry, 4); // then the resolution, 8 bytes
        std::memcpy(&length, entry + 12, 2);
        if (entry + 14 + length > end)
            break;
        if (length == 10 && std::memcmp(entry + 14, "SERVERTIME", 10) == 0)
            found = counter;
        entry += (14 + length + 3) & ~std::size_t {3};
    }
    std::free(reply);
    return found;
}

} // namespace
#endif

bool DrawTimes::Watch()
{
    asked = false;
    after.reset();
    drawn.reset();
#ifdef BLINKDASH_WITH_XCB
    xcb_connection_t *connection = Connection();
    if (!connection)
        return false;
    if (!looked) {
        counter = ServerTimeCounter(connection);
        looked = true;
    }
    if (counter == 0)
        return false;
    // Not sent on its own: it goes out with the drawing that follows, and is taken just before it.
    before = xcb_sync_query_counter(connection, counter).sequence;
    asked = true;
    return true;
#else
    return false;
#endif
}

void DrawTimes::AskAfter()
{
#ifdef BLINKDASH_WITH_XCB
    xcb_connection_t *connection = Connection();
    if (!asked || !connection || after)
        return;
    after = xcb_sync_query_counter(connection, counter).sequence;
    xcb_flush(connection);
#endif
}

void DrawTimes::Painted()
{
#ifdef BLINKDASH_WITH_XCB
    xcb_connection_t *connection = Connection();
    if (!asked || !connection)
        return;
    AskAfter(); // unless asked already
    asked = false;
    xcb_sync_query_counter_reply_t *first = xcb_sync_query_counter_reply(connection, {before}, nullptr);
    xcb_sync_query_counter_reply_t *second = xcb_sync_query_counter_reply(connection, {*after}, nullptr);
    after.reset();
    if (first && second)
        drawn = ServerDrawing {first->counter_value.lo, second->counter_value.lo};
    std::free(first);
    std::free(second);
#endif
}
