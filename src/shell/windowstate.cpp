#include "windowstate.h"

#include "xcbreply.h"

#include <QGuiApplication>
#include <QWidget>
#include <QWindow>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace hy {
namespace {

xcb_atom_t internAtom(xcb_connection_t* c, const char* name)
{
    XcbReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// Whether the window manager holds the window now (ICCCM WM_STATE Normal or
// Iconic); a withdrawn window has none.
bool isManaged(xcb_connection_t* c, xcb_window_t window)
{
    const xcb_atom_t wmState = internAtom(c, "WM_STATE");
    XcbReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        c, xcb_get_property(c, 0, window, wmState, XCB_GET_PROPERTY_TYPE_ANY, 0, 1), nullptr));
    if (!reply || reply->format != 32 || xcb_get_property_value_length(reply.get()) < 4)
        return false;
    const auto state = *static_cast<const quint32*>(xcb_get_property_value(reply.get()));
    return state != 0; // WithdrawnState
}

void setAboveX11(xcb_connection_t* c, xcb_window_t window, bool on)
{
    const xcb_atom_t netWmState = internAtom(c, "_NET_WM_STATE");
    const xcb_atom_t above = internAtom(c, "_NET_WM_STATE_ABOVE");
    if (netWmState == XCB_ATOM_NONE || above == XCB_ATOM_NONE)
        return;

    if (isManaged(c, window)) {
        XcbReply<xcb_query_tree_reply_t> tree(
            xcb_query_tree_reply(c, xcb_query_tree(c, window), nullptr));
        if (!tree)
            return;
        xcb_client_message_event_t event;
        std::memset(&event, 0, sizeof event);
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = window;
        event.type = netWmState;
        event.data.data32[0] = on ? 1 : 0; // _NET_WM_STATE_ADD, _NET_WM_STATE_REMOVE
        event.data.data32[1] = above;
        event.data.data32[3] = 1; // asked by an ordinary application
        xcb_send_event(c, 0, tree->root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                       reinterpret_cast<const char*>(&event));
    } else {
        XcbReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
            c, xcb_get_property(c, 0, window, netWmState, XCB_ATOM_ATOM, 0, 1024), nullptr));
        std::vector<xcb_atom_t> atoms;
        if (reply && reply->format == 32 && reply->type == XCB_ATOM_ATOM) {
            const auto* data = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply.get()));
            atoms.assign(data, data + xcb_get_property_value_length(reply.get()) / 4);
        }
        std::erase(atoms, above);
        if (on)
            atoms.push_back(above);
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, netWmState, XCB_ATOM_ATOM, 32,
                            uint32_t(atoms.size()), atoms.data());
    }
    xcb_flush(c);
}

void activateX11(xcb_connection_t* c, xcb_window_t window)
{
    const xcb_atom_t netActiveWindow = internAtom(c, "_NET_ACTIVE_WINDOW");
    if (netActiveWindow == XCB_ATOM_NONE)
        return;
    XcbReply<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(c, xcb_query_tree(c, window), nullptr));
    if (!tree)
        return;
    xcb_client_message_event_t event;
    std::memset(&event, 0, sizeof event);
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = netActiveWindow;
    event.data.data32[0] = 2; // asked by the user, through a pager or task bar
    event.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(c, 0, tree->root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                   reinterpret_cast<const char*>(&event));
    xcb_flush(c);
}

} // namespace

void bringToFront(QWidget* widget)
{
    widget->showNormal();
    widget->raise();
    widget->activateWindow();
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    QWindow* window = widget->windowHandle();
    if (QGuiApplication::platformName() == QLatin1String("xcb") && x11 && x11->connection() &&
        window && window->handle())
        activateX11(x11->connection(), xcb_window_t(window->winId()));
}

void setStaysOnTop(QWidget* widget, bool on)
{
    QWindow* window = widget->windowHandle();
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (QGuiApplication::platformName() == QLatin1String("xcb") && x11 && x11->connection()) {
        if (window && window->handle())
            setAboveX11(x11->connection(), xcb_window_t(window->winId()), on);
        return;
    }
    if (!window) {
        widget->setWindowFlag(Qt::WindowStaysOnTopHint, on);
        return;
    }
    // On the live window, so that it is not re-created; the widget's own flags
    // follow.
    if (window->flags().testFlag(Qt::WindowStaysOnTopHint) != on) {
        window->setFlag(Qt::WindowStaysOnTopHint, on);
        widget->overrideWindowFlags(window->flags());
    }
}

} // namespace hy
