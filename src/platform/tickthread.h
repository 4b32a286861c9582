#pragma once

#include "core/countdown/ticksource.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace hy {

// Ticks on an absolute schedule of the steady clock: tick k comes k periods
// after start(), so no drift accumulates whatever the wake-up delays. The
// callback runs on the tick thread and must only hand the tick on (post an
// event). A late wake-up delivers every tick that is due; none is dropped.
class TickThread final : public ITickSource
{
public:
    using Callback = std::function<void(quint64 run)>;

    explicit TickThread(Callback onTick,
                        std::chrono::steady_clock::duration period = std::chrono::seconds(1));
    ~TickThread() override;

    void start(quint64 run) override;
    void stop() override;
    bool isRunning() const override;

private:
    void loop(quint64 run, std::chrono::steady_clock::time_point origin);

    Callback m_onTick;
    std::chrono::steady_clock::duration m_period;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::thread m_thread;
};

} // namespace hy
