#include "platform/tickthread.h"

#include "platform/speech/realtime.h"

#include <unistd.h>

namespace hy {

TickThread::TickThread(Callback onTick, std::chrono::steady_clock::duration period)
    : m_onTick(std::move(onTick))
    , m_period(period)
{}

TickThread::~TickThread()
{
    stop();
}

void TickThread::start(quint64 run)
{
    stop(); // at most one schedule exists at a time
    const auto origin = std::chrono::steady_clock::now();
    std::lock_guard lock(m_mutex);
    m_stopping = false;
    m_thread = std::thread([this, run, origin] { loop(run, origin); });
}

void TickThread::stop()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

bool TickThread::isRunning() const
{
    std::lock_guard lock(m_mutex);
    return m_thread.joinable() && !m_stopping;
}

void TickThread::loop(quint64 run, std::chrono::steady_clock::time_point origin)
{
    // A thread that only waits and hands ticks on: on time however busy the
    // machine, where the desktop allows it.
    makeThreadsRealtimeLater({::gettid()});
    std::unique_lock lock(m_mutex);
    for (quint64 k = 1;; ++k) {
        const auto due = origin + k * m_period;
        if (m_wake.wait_until(lock, due, [this] { return m_stopping; }))
            return;
        lock.unlock();
        m_onTick(run);
        lock.lock();
    }
}

} // namespace hy
