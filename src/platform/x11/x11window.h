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
// focus-stealing prevention while another program is active).
// `timestamp` 0 stands for the server's current time.
void requestActivation(xcb_connection_t* c, uint32_t window, uint32_t timestamp = 0);

} // namespace hy::x11
