#pragma once

#include <QStringList>

#include <cstdint>

class QWidget;

namespace hy {

// Keeps a top-level window above ordinary windows, or stops doing so, at once
// and without giving the window a new identity.
//
// On X11 this goes to the window manager's _NET_WM_STATE: a request while the
// window is managed, the property itself while it is withdrawn (before it is
// first shown, or while it waits in the tray), which the window manager reads
// when the window is mapped. Qt's own stay-on-top flag is left alone there: a
// change of that flag makes Qt build a new X window at the next show, so the
// window would come back from the tray as a different window. Before the
// window exists this does nothing on X11; call it again when it is shown.
// Elsewhere it is Qt's flag.
void setStaysOnTop(QWidget* window, bool on);

// Why a window cannot be kept above the others here, for the user; empty
// where it can. Qt's Wayland plugin has no way to ask the compositor for it:
// on a Wayland desktop the program runs through XWayland instead when there
// is one (preferXWayland).
QString staysOnTopLimit();

// Before the application object exists: on a Wayland desktop that offers
// XWayland, windows go through it, where the window manager keeps a window
// above the others on request. The desktop-wide hotkey goes through the
// desktop portal all the same. When XWayland cannot be reached, the window
// goes natively to Wayland instead. A platform the user chose
// (QT_QPA_PLATFORM, -platform) is left alone.
void preferXWayland(const QStringList& arguments);

// Shows a top-level window normally, raises it and gives it the focus, for a
// user who asked for it from outside the window (a click on the tray icon).
// On X11 the activation is asked of the window manager as a request on the
// user's behalf, as pagers and task bars do, with `userTime`, the X server
// time of the user's action (hy::x11::UserTime; 0 when unknown): an ordinary
// application request, or one without the user's time, may be refused by
// focus-stealing prevention while another program is active, and the window
// would then stay behind it.
void bringToFront(QWidget* window, uint32_t userTime);

} // namespace hy
