#pragma once

#include <QDBusConnection>
#include <QMap>
#include <QObject>
#include <QString>
#include <functional>

namespace hy {

// Which of Ctrl+F1..F12 KDE's shortcut daemon gives to actions of other
// programs (KWin keeps F1..F4, F7, F9, F10 by default); the program's own
// portal shortcuts leave their keys free for it.
struct KdeHeldKeys
{
    bool known = false;      // the daemon answered every question
    QMap<int, QString> held; // function key (1..12) → the action's friendly name
    // The free key nearest to `wanted`; of two as near, the higher one.
    // 0 when all are held; `wanted` itself when it is free or nothing is known.
    int nearestFree(int wanted) const;
};

// Asks the daemon about the twelve keys at once, without waiting; `done`
// runs on the GUI thread unless `context` is gone.
void askKdeHeldCtrlFunctionKeys(const QDBusConnection& bus, QObject* context,
                                std::function<void(const KdeHeldKeys&)> done);

} // namespace hy
