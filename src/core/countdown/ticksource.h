#pragma once

#include <QtGlobal>

namespace hy {

// A periodic one-second tick. Each tick carries the run number given to
// start(), so that a tick that arrives after stop() or after a newer start()
// can be told apart and ignored.
class ITickSource
{
public:
    virtual ~ITickSource() = default;
    // Starts ticking one second from now; replaces a schedule already running.
    virtual void start(quint64 run) = 0;
    virtual void stop() = 0;
    virtual bool isRunning() const = 0;
};

} // namespace hy
