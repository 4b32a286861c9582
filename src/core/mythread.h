#pragma once

#include "core/announce.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace hy {

// The announcer thread: takes announce requests first in, first out, and
// plays each phrase to its end before taking the next. Posting never waits
// for speech; an idle thread sleeps on its queue.
class TMyThread final : public IAnnounceSink
{
public:
    using Handler = std::function<void(int kind, int argument)>;

    // `speak` plays one request; `cutOff` (any thread) ends the phrase in
    // progress early and keeps later ones silent. The queue exists from here
    // on, so requests posted before Resume() are kept.
    explicit TMyThread(Handler speak, std::function<void()> cutOff = {});
    ~TMyThread() override;

    TMyThread(const TMyThread&) = delete;
    TMyThread& operator=(const TMyThread&) = delete;

    // Starts the thread. `keepAlive` is held by the thread until it ends:
    // whatever the thread reads stays alive through it, even if the thread
    // outlives its owner (see stop()).
    void Resume(std::shared_ptr<const void> keepAlive = {});
    void post(int kind, int argument) override;

    // Posts the quit request, cuts off the phrase in progress and waits for
    // the thread to end, for at most `patience`. Nothing queued behind it is
    // spoken. True when the thread has ended; false when it is stuck (in a
    // sound library call that does not return) and was let go: it ends on
    // its own later, or with the process. Idempotent.
    bool stop(std::chrono::milliseconds patience = std::chrono::milliseconds::max());

    // Number of requests taken and handed to the speak handler so far.
    int spokenCount() const;

private:
    struct Request
    {
        int kind;
        int argument;
    };

    void Execute();
    bool laterCountWaiting() const;

    Handler m_speak;
    std::function<void()> m_cutOff;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Request> m_queue;
    bool m_terminated = false;
    bool m_stopped = false;
    bool m_finished = false; // Execute() has returned
    int m_spoken = 0;
    std::thread m_thread;
};

} // namespace hy
