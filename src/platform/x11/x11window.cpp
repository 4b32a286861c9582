#include "platform/x11/x11window.h"

#include "platform/x11/wmrequest.h"
#include "platform/x11/xcbreply.h"

#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <algorithm>
#include <vector>

namespace hy::x11 {
namespace {

// Whether the window manager holds the window now (ICCCM WM_STATE Normal or
// Iconic); a withdrawn window has none.
bool isManaged(xcb_connection_t* c, xcb_window_t window)
{
    const xcb_atom_t wmState = internAtom(c, "WM_STATE");
    XcbReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        c, xcb_get_property(c, 0, window, wmState, XCB_GET_PROPERTY_TYPE_ANY, 0, 1), nullptr));
    if (!reply || reply->format != 32 || xcb_get_property_value_length(reply.get()) < 4)
        return false;
    const auto state = *static_cast<const uint32_t*>(xcb_get_property_value(reply.get()));
    return state != 0; // WithdrawnState
}

// Whether the window manager on the screen of `window` lists `atom` in
// _NET_SUPPORTED.
bool wmSupports(xcb_connection_t* c, xcb_window_t window, xcb_atom_t atom)
{
    XcbReply<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(c, xcb_query_tree(c, window), nullptr));
    const xcb_atom_t netSupported = internAtom(c, "_NET_SUPPORTED");
    if (!tree || netSupported == XCB_ATOM_NONE)
        return false;
    XcbReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        c, xcb_get_property(c, 0, tree->root, netSupported, XCB_ATOM_ATOM, 0, 4096), nullptr));
    if (!reply || reply->format != 32 || reply->type != XCB_ATOM_ATOM)
        return false;
    const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply.get()));
    const int count = xcb_get_property_value_length(reply.get()) / 4;
    return std::find(atoms, atoms + count, atom) != atoms + count;
}

} // namespace

xcb_connection_t* appConnection()
{
    if (!qGuiApp || QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

void setAbove(xcb_connection_t* c, uint32_t window, bool on)
{
    const xcb_atom_t netWmState = internAtom(c, "_NET_WM_STATE");
    const xcb_atom_t above = internAtom(c, "_NET_WM_STATE_ABOVE");
    if (netWmState == XCB_ATOM_NONE || above == XCB_ATOM_NONE)
        return;

    if (isManaged(c, window)) {
        // _NET_WM_STATE_ADD or _REMOVE, asked by an ordinary application.
        sendWmRequest(c, window, netWmState, {on ? 1u : 0u, above, 0, 1, 0});
        return;
    }
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
    xcb_flush(c);
}

bool requestActivation(xcb_connection_t* c, uint32_t window, uint32_t timestamp)
{
    const xcb_atom_t netActiveWindow = internAtom(c, "_NET_ACTIVE_WINDOW");
    if (netActiveWindow == XCB_ATOM_NONE || !wmSupports(c, window, netActiveWindow))
        return false;
    // Source 2: asked by the user, through a pager or task bar.
    return sendWmRequest(c, window, netActiveWindow, {2, timestamp, 0, 0, 0});
}

} // namespace hy::x11
