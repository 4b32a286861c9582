#pragma once

// Looking at the X desktop from outside the program. The standard X tools
// (xprop, xwininfo, xdotool) run as separate clients, so what they report is
// what the window manager, the task bar and other programs see.

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QMargins>
#include <QProcess>
#include <QRect>
#include <QRegularExpression>
#include <QStringList>
#include <QSystemTrayIcon>
#include <QTest>
#include <QWidget>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <cstdlib>

namespace xdesk {

using Wid = quint32;

// Runs a tool and returns what it printed; empty when it failed.
inline QString tool(const QString& program, const QStringList& args, bool* ok = nullptr)
{
    QProcess p;
    p.start(program, args);
    const bool done =
        p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (ok)
        *ok = done;
    return done ? QString::fromLocal8Bit(p.readAllStandardOutput()) : QString();
}

inline bool xdotool(const QStringList& args)
{
    bool ok = false;
    tool(QStringLiteral("xdotool"), args, &ok);
    return ok;
}

inline QString hex(Wid wid)
{
    return QStringLiteral("0x%1").arg(wid, 0, 16);
}

// One property of a window (wid 0: the root window), as xprop prints it.
inline QString xprop(Wid wid, const QString& property)
{
    const QStringList where =
        wid ? QStringList{QStringLiteral("-id"), hex(wid)} : QStringList{QStringLiteral("-root")};
    return tool(QStringLiteral("xprop"), where + QStringList{property});
}

// Every window id a WINDOW-typed property lists ("window id # 0x1, 0x2").
inline QList<Wid> windowList(const QString& xpropOutput)
{
    QList<Wid> ids;
    const qsizetype hash = xpropOutput.indexOf('#');
    if (hash < 0)
        return ids;
    static const QRegularExpression number(QStringLiteral("0x[0-9a-fA-F]+"));
    for (const auto& m : number.globalMatch(xpropOutput.mid(hash)))
        ids << m.captured().toUInt(nullptr, 16);
    return ids;
}

// The atoms of _NET_WM_STATE, e.g. {"_NET_WM_STATE_ABOVE"}.
inline QStringList netWmState(Wid wid)
{
    const QString out = xprop(wid, QStringLiteral("_NET_WM_STATE"));
    const qsizetype eq = out.indexOf('=');
    if (eq < 0)
        return {};
    QStringList atoms = out.mid(eq + 1).split(',', Qt::SkipEmptyParts);
    for (QString& a : atoms)
        a = a.trimmed();
    atoms.removeAll(QString());
    return atoms;
}

// Whether a window manager has announced itself on the display.
inline bool windowManagerRuns()
{
    return !windowList(xprop(0, QStringLiteral("_NET_SUPPORTING_WM_CHECK"))).isEmpty();
}

// The windows the window manager manages, as task bars read them.
inline QList<Wid> clientList()
{
    return windowList(xprop(0, QStringLiteral("_NET_CLIENT_LIST")));
}

// The managed window whose title is `name`, 0 when there is none.
inline Wid windowNamed(const QString& name)
{
    for (Wid w : clientList()) {
        if (xprop(w, QStringLiteral("WM_NAME"))
                .contains(QLatin1Char('"') + name + QLatin1Char('"')))
            return w;
    }
    return 0;
}

// The same, bottom to top.
inline QList<Wid> stackingOrder()
{
    return windowList(xprop(0, QStringLiteral("_NET_CLIENT_LIST_STACKING")));
}

inline Wid activeWindow()
{
    const QList<Wid> ids = windowList(xprop(0, QStringLiteral("_NET_ACTIVE_WINDOW")));
    return ids.isEmpty() ? 0 : ids.first();
}

// ICCCM WM_STATE: "Normal", "Iconic", "Withdrawn", or empty when not set.
inline QString wmState(Wid wid)
{
    static const QRegularExpression state(QStringLiteral("window state: (\\w+)"));
    return state.match(xprop(wid, QStringLiteral("WM_STATE"))).captured(1);
}

// One "Key: value" line of xwininfo about a window.
inline QString winInfo(Wid wid, const QString& key)
{
    const QString out = tool(QStringLiteral("xwininfo"), {QStringLiteral("-id"), hex(wid)});
    const QRegularExpression line(
        QStringLiteral("^\\s*%1:\\s*(.*)$").arg(QRegularExpression::escape(key)),
        QRegularExpression::MultilineOption);
    return line.match(out).captured(1).trimmed();
}

// "IsViewable", "IsUnMapped" or "IsUnviewable"; empty when the window is gone.
inline QString mapState(Wid wid)
{
    return winInfo(wid, QStringLiteral("Map State"));
}

// The client area on the screen.
inline QRect clientRect(Wid wid)
{
    const QString out = tool(QStringLiteral("xwininfo"), {QStringLiteral("-id"), hex(wid)});
    auto value = [&](const char* key) {
        const QRegularExpression re(QStringLiteral("%1:\\s*(-?\\d+)").arg(QLatin1String(key)));
        return re.match(out).captured(1).toInt();
    };
    return {value("Absolute upper-left X"), value("Absolute upper-left Y"), value("Width"),
            value("Height")};
}

// _NET_FRAME_EXTENTS: the frame the window manager draws around the client.
inline QMargins frameExtents(Wid wid)
{
    const QString out = xprop(wid, QStringLiteral("_NET_FRAME_EXTENTS"));
    const qsizetype eq = out.indexOf('=');
    if (eq < 0)
        return {};
    const QStringList n = out.mid(eq + 1).split(',');
    if (n.size() != 4)
        return {};
    return {n[0].trimmed().toInt(), n[2].trimmed().toInt(), n[1].trimmed().toInt(),
            n[3].trimmed().toInt()};
}

// A window and everything below it, as xwininfo -tree lists them.
inline QList<Wid> windowTree(Wid wid)
{
    const QStringList where =
        wid ? QStringList{QStringLiteral("-id"), hex(wid)} : QStringList{QStringLiteral("-root")};
    const QString out =
        tool(QStringLiteral("xwininfo"), QStringList{QStringLiteral("-tree")} + where);
    static const QRegularExpression line(QStringLiteral("^\\s+(0x[0-9a-fA-F]+) "),
                                         QRegularExpression::MultilineOption);
    QList<Wid> ids;
    for (const auto& m : line.globalMatch(out))
        ids << m.captured(1).toUInt(nullptr, 16);
    return ids;
}

// WM_CLASS as xprop prints it: "instance", "class".
inline QString wmClass(Wid wid)
{
    const QString out = xprop(wid, QStringLiteral("WM_CLASS"));
    const qsizetype eq = out.indexOf('=');
    return eq < 0 ? QString() : out.mid(eq + 1).trimmed();
}

// The managed window of the tray host (trayer's panel), 0 when none runs.
inline Wid trayHost()
{
    for (Wid w : clientList()) {
        if (wmClass(w).contains(QLatin1String("\"trayer\"")))
            return w;
    }
    return 0;
}

// The windows inside the tray host that belong to the program whose WM_CLASS
// is `cls`: its tray icons.
inline QList<Wid> iconsInTray(const QString& cls)
{
    QList<Wid> icons;
    if (const Wid host = trayHost()) {
        for (Wid w : windowTree(host)) {
            if (wmClass(w) == cls)
                icons << w;
        }
    }
    return icons;
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

// Moves the pointer to `p` and clicks button 1 (left), 2 (middle) or 3 (right).
inline bool clickAt(QPoint p, int button = 1)
{
    // (No --sync: it waits forever when the pointer is already there.)
    return xdotool({QStringLiteral("mousemove"), QString::number(p.x()), QString::number(p.y()),
                    QStringLiteral("click"), QString::number(button)});
}

// Waits until every event the server has produced so far has been handled by
// this program, plus a little for what the window manager sends in reply.
inline void settle(int extraMs = 100)
{
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* c = x11->connection();
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    QTest::qWait(extraMs);
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
