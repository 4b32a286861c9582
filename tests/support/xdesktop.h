#pragma once

// Looking at the X desktop from outside the program, and acting on it as a
// user does. The standard X tools (xprop, xwininfo, xdotool) run as separate
// clients, so what they report is what the window manager, the task bar and
// other programs see. Needs QtCore only: xevents.h and xwidgets.h add what
// takes the program's own X connection and widgets.

#include <QMargins>
#include <QPoint>
#include <QProcess>
#include <QRect>
#include <QRegularExpression>
#include <QStringList>

namespace xdesk {

using Wid = quint32;

// Runs a tool and returns what it printed; empty when it failed or did not
// finish within `timeoutMs`.
inline QString tool(const QString& program, const QStringList& args, bool* ok = nullptr,
                    int timeoutMs = 10000)
{
    QProcess p;
    p.start(program, args);
    const bool done =
        p.waitForFinished(timeoutMs) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
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

// How xprop and xwininfo are told about a window; wid 0 is the root window.
inline QStringList windowArgs(Wid wid)
{
    return wid ? QStringList{QStringLiteral("-id"), hex(wid)}
               : QStringList{QStringLiteral("-root")};
}

// One property of a window (wid 0: the root window), as xprop prints it.
inline QString xprop(Wid wid, const QString& property)
{
    return tool(QStringLiteral("xprop"), windowArgs(wid) + QStringList{property});
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

// The numbers of a CARDINAL property, e.g. {1, 2} for "= 1, 2"; empty when
// the window does not have it.
inline QList<int> cardinals(Wid wid, const QString& property)
{
    const QString out = xprop(wid, property);
    QList<int> values;
    const qsizetype eq = out.indexOf('=');
    if (eq < 0)
        return values;
    for (const QString& part : out.mid(eq + 1).split(',', Qt::SkipEmptyParts)) {
        bool ok = false;
        const int v = part.trimmed().toInt(&ok);
        if (ok)
            values << v;
    }
    return values;
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

// What xwininfo says about a window (wid 0: the root window); empty when the
// window is gone.
inline QString xwininfo(Wid wid)
{
    return tool(QStringLiteral("xwininfo"), windowArgs(wid));
}

// One "Key: value" line of xwininfo about a window.
inline QString winInfo(Wid wid, const QString& key)
{
    const QRegularExpression line(
        QStringLiteral("^\\s*%1:\\s*(.*)$").arg(QRegularExpression::escape(key)),
        QRegularExpression::MultilineOption);
    return line.match(xwininfo(wid)).captured(1).trimmed();
}

// "IsViewable", "IsUnMapped" or "IsUnviewable"; empty when the window is gone.
inline QString mapState(Wid wid)
{
    return winInfo(wid, QStringLiteral("Map State"));
}

// The client area on the screen; for wid 0, the whole screen.
inline QRect clientRect(Wid wid)
{
    const QString out = xwininfo(wid);
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
    const QList<int> n = cardinals(wid, QStringLiteral("_NET_FRAME_EXTENTS"));
    if (n.size() != 4) // left, right, top, bottom
        return {};
    return {n[0], n[2], n[1], n[3]};
}

// A window and everything below it, as xwininfo -tree lists them.
inline QList<Wid> windowTree(Wid wid)
{
    const QString out =
        tool(QStringLiteral("xwininfo"), QStringList{QStringLiteral("-tree")} + windowArgs(wid));
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

// Moves the pointer to `p` and clicks button 1 (left), 2 (middle) or 3 (right).
inline bool clickAt(QPoint p, int button = 1)
{
    // (No --sync: it waits forever when the pointer is already there.)
    return xdotool({QStringLiteral("mousemove"), QString::number(p.x()), QString::number(p.y()),
                    QStringLiteral("click"), QString::number(button)});
}

} // namespace xdesk
