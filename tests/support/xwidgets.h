#pragma once

// This program's widgets on the X desktop: its window going to the tray and
// coming back, its tray icon in the tray host. Needs QtWidgets.

#include "support/xevents.h"

#include <QSystemTrayIcon>
#include <QWidget>
#include <QWindow>

namespace xdesk {

// The X window of a shown top-level widget, 0 before it has one.
inline Wid widOf(const QWidget& w)
{
    return w.windowHandle() ? Wid(w.windowHandle()->winId()) : 0;
}

// Waits until the program's one tray icon sits in the tray host where Qt says
// it is, and stays there: the host resizes and moves its panel as icons come
// and go, so a place read too early is soon wrong.
inline bool iconInPlace(const QSystemTrayIcon& icon, const QString& cls)
{
    QRect last;
    return QTest::qWaitFor(
        [&] {
            const QList<Wid> icons = iconsInTray(cls);
            if (icons.size() != 1)
                return false;
            const QRect now = clientRect(icons.first());
            const bool settled = !now.isEmpty() && now == last && now == icon.geometry();
            last = now;
            return settled;
        },
        5000);
}

// Shown, managed, active and in its place (the window manager may animate
// the way back; the program and the X server then agree where it is): where a
// restore must end.
inline bool isBack(const QWidget& window, Wid wid)
{
    return window.isVisible() && !window.isMinimized() &&
           mapState(wid) == QLatin1String("IsViewable") && clientList().contains(wid) &&
           activeWindow() == wid && clientRect(wid) == window.geometry();
}

// What isBack() and isInTray() look at, for failure messages.
inline QString describe(const QWidget& window, Wid wid)
{
    const QRect x = clientRect(wid);
    const QRect q = window.geometry();
    return QStringLiteral("visible %1, minimized %2, map state %3, listed %4, active window %5 "
                          "(this one %6), X at %7,%8, Qt at %9,%10, state %11")
        .arg(window.isVisible())
        .arg(window.isMinimized())
        .arg(mapState(wid))
        .arg(clientList().contains(wid))
        .arg(hex(activeWindow()), hex(wid))
        .arg(x.x())
        .arg(x.y())
        .arg(q.x())
        .arg(q.y())
        .arg(netWmState(wid).join(' '));
}

// Gone to the tray: not mapped, and not among the windows a task bar lists.
inline bool isInTray(const QWidget& window, Wid wid)
{
    return !window.isVisible() && mapState(wid) == QLatin1String("IsUnMapped") &&
           !clientList().contains(wid);
}

} // namespace xdesk
