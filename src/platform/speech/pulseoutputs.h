#pragma once

#include "core/speech/outputdevices.h"

#include <QObject>
#include <memory>

struct pa_context;
struct pa_threaded_mainloop;
struct pa_time_event;

namespace hy {

// The sound server's outputs (sinks) in the server's own order (by its
// index), listed when watch() is first called and again whenever one comes,
// goes or changes. One listing is asked for at a time: changes that come
// while it runs are taken up by one more listing after it, so a list handed
// out is always one whole answer of the server, each output in it once.
//
// Nothing of the sound server is touched before the first watch(): that
// call starts the loop's thread and opens the connection. A connection
// that fails or is lost is tried again after 1 s, then after twice as long
// each time up to a minute (so a computer without a sound server is not
// woken every second); meanwhile the list is empty.
class PulseOutputs final : public IOutputDevices
{
public:
    PulseOutputs();
    ~PulseOutputs() override;

    PulseOutputs(const PulseOutputs&) = delete;
    PulseOutputs& operator=(const PulseOutputs&) = delete;

    void watch(std::function<void(const OutputList&)> onChange) override;

    // The longest wait between two tries to reach the server.
    static constexpr int MaxRetryMs = 60000;

private:
    struct Listing;
    // Run on the loop's thread (or with the loop locked).
    void connect();
    void stateChanged();
    void relist();
    void listed(Listing* listing);
    void retryLater();
    void deliver(const OutputList& outputs);

    pa_threaded_mainloop* m_loop = nullptr;
    pa_context* m_context = nullptr;
    pa_time_event* m_retry = nullptr;
    int m_retryMs = 1000;
    Listing* m_listing = nullptr; // the listing on its way
    bool m_changedMeanwhile = false;
    OutputList m_delivered;
    bool m_delivering = false; // a first list went out
    // Lives on the GUI thread; the lists are handed over through its queue.
    std::unique_ptr<QObject> m_receiver;
    std::function<void(const OutputList&)> m_onChange;
};

} // namespace hy
