#include "core/mythread.h"

#include "core/log.h"

#include <exception>

namespace hy {

TMyThread::TMyThread(Handler speak, std::function<void()> cutOff)
    : m_speak(std::move(speak))
    , m_cutOff(std::move(cutOff))
{}

TMyThread::~TMyThread()
{
    stop();
}

void TMyThread::Resume(std::shared_ptr<const void> keepAlive)
{
    std::lock_guard lock(m_mutex);
    if (m_thread.joinable() || m_terminated)
        return;
    m_thread = std::thread([this, keepAlive = std::move(keepAlive)] {
        Execute();
        {
            std::lock_guard done(m_mutex);
            m_finished = true;
        }
        m_wake.notify_all();
    });
}

void TMyThread::post(int kind, int argument)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_terminated)
            return;
        m_queue.push_back({kind, argument});
    }
    m_wake.notify_one();
}

bool TMyThread::stop(std::chrono::milliseconds patience)
{
    bool first = false;
    {
        std::lock_guard lock(m_mutex);
        first = !m_stopped;
        m_stopped = true;
        if (!m_terminated) {
            m_queue.push_back({kQuitRequest, kQuitRequest});
            m_terminated = true;
        }
    }
    m_wake.notify_all();
    if (first && m_cutOff)
        m_cutOff();
    if (!m_thread.joinable() || m_thread.get_id() == std::this_thread::get_id())
        return true;
    {
        std::unique_lock lock(m_mutex);
        const auto finished = [this] { return m_finished; };
        if (patience == std::chrono::milliseconds::max())
            m_wake.wait(lock, finished);
        else if (!m_wake.wait_for(lock, patience, finished)) {
            m_thread.detach();
            return false;
        }
    }
    m_thread.join();
    return true;
}

int TMyThread::spokenCount() const
{
    std::lock_guard lock(m_mutex);
    return m_spoken;
}

bool TMyThread::laterCountWaiting() const
{
    for (const Request& r : m_queue) {
        if (r.kind == kQuitRequest && r.argument == kQuitRequest)
            return false; // nothing after the quit request is spoken
        // Counts of 0 or less are silent and overtake nothing.
        if ((r.kind == SecondCount || r.kind == Alert) && r.argument >= 1)
            return true;
    }
    return false;
}

void TMyThread::Execute()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return !m_queue.empty(); });
        const Request request = m_queue.front();
        m_queue.pop_front();
        if (request.kind == kQuitRequest && request.argument == kQuitRequest)
            return;
        // Once the window has asked us to stop, nothing more is spoken.
        if (m_terminated)
            return;
        if (request.kind < ClockTime || request.kind > Alert)
            continue;
        // A second count that a newer count or the alert has overtaken would
        // only make speech lag further behind the display.
        if (request.kind == SecondCount && laterCountWaiting())
            continue;
        ++m_spoken;
        lock.unlock();
        try {
            m_speak(request.kind, request.argument);
        } catch (const std::exception& e) {
            qCWarning(lcAnnouncer, "%s", e.what());
        } catch (...) {
            qCWarning(lcAnnouncer, "unknown error");
        }
        lock.lock();
    }
}

} // namespace hy
