#pragma once

// This program's side of the X display: keys typed at it, and waiting until
// what the server sent it has been handled. Needs QtGui (the program's own X
// connection).

#include "support/xdesktop.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QTest>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <cstdlib>

namespace xdesk {

// Waits until every event the server has produced so far has been handled by
// this program, plus a little for what the window manager sends in reply.
inline void settle(int extraMs = 100)
{
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* c = x11->connection();
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    QTest::qWait(extraMs);
}

// Types each key combination, then waits until what they caused has arrived.
inline bool typeKeys(const QStringList& combos)
{
    for (const QString& combo : combos) {
        if (!xdotool({QStringLiteral("key"), combo}))
            return false;
    }
    settle(150);
    return true;
}

// Keeps the event loop running for `ms` and fails if `holds` ever turns false.
template <typename F>
bool holdsFor(int ms, F&& holds)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        if (!holds())
            return false;
        QTest::qWait(20);
    }
    return holds();
}

} // namespace xdesk
