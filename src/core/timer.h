#pragma once

#include <QString>
#include <functional>
#include <memory>

class QObject;

namespace hy {

// A timer of the GUI thread's event loop: the chime and tips timers. The
// program uses Qt's (makeEventLoopTimer); tests drive fake ones and advance
// time instead of waiting for it.
class ITimer
{
public:
    virtual ~ITimer() = default;
    // Fires `onTimeout` `intervalMs` from now, and every `intervalMs` after
    // that unless `singleShot`. Replaces a schedule already running.
    virtual void start(int intervalMs, bool singleShot = false) = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;

    std::function<void()> onTimeout;
};

// Makes the timer named `name` (the name tests and tools find it by), owned
// by `owner` for as long as the returned object lives.
using TimerFactory = std::function<std::unique_ptr<ITimer>(QObject* owner, const QString& name)>;

// A precise QTimer, a child of `owner` named `name`.
std::unique_ptr<ITimer> makeEventLoopTimer(QObject* owner, const QString& name);

} // namespace hy
