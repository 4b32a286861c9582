#pragma once

#include "core/announce.h"

#include <condition_variable>
#include <deque>
#include <functional>
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

    void Resume();
    void post(int kind, int argument) override;

    // Posts the quit request, cuts off the phrase in progress and waits for
    // the thread to end. Nothing queued behind it is spoken. Idempotent.
    void stop();

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
    int m_spoken = 0;
    std::thread m_thread;
};

} // namespace hy
