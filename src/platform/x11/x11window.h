#pragma once

#include <cstdint>

struct xcb_connection_t;

namespace hy::x11 {

// The application's own X connection when it runs on the "xcb" platform,
// else null.
xcb_connection_t* appConnection();

// Keeps a top-level window above ordinary windows, or stops doing so, through
// the window manager's _NET_WM_STATE: a request while the window is managed,
// the property itself while it is withdrawn (before it is first shown, or
// while it waits in the tray), which the window manager reads when the window
// is mapped.
void setAbove(xcb_connection_t* c, uint32_t window, bool on);

// Asks the window manager to activate the window on the user's behalf, as
// pagers and task bars do (an ordinary application request may be refused by
// focus-stealing prevention while another program is active). `timestamp` is
// the server time of the user's action that asked for it (see UserTime); 0
// stands for the server's current time, which a window manager may refuse.
// False when no window manager offers _NET_ACTIVE_WINDOW, or the window is
// gone.
bool requestActivation(xcb_connection_t* c, uint32_t window, uint32_t timestamp);

} // namespace hy::x11
