#pragma once

#include "core/speech/outputdevices.h"

#include <QObject>
#include <memory>

struct pa_context;
struct pa_threaded_mainloop;
struct pa_time_event;

namespace hy {

// The sound server's outputs (sinks), listed at the start and again whenever
// one comes, goes or changes. A connection that is lost is tried again every
// second; meanwhile the list is empty.
class PulseOutputs final : public IOutputDevices
{
public:
    PulseOutputs();
    ~PulseOutputs() override;

    PulseOutputs(const PulseOutputs&) = delete;
    PulseOutputs& operator=(const PulseOutputs&) = delete;

    void watch(std::function<void(const OutputList&)> onChange) override;

private:
    // Run on the loop's thread (or with the loop locked).
    void connect();
    void stateChanged();
    void relist();
    void retryLater();
    void deliver(const OutputList& outputs);

    pa_threaded_mainloop* m_loop = nullptr;
    pa_context* m_context = nullptr;
    pa_time_event* m_retry = nullptr;
    OutputList m_collecting;
    OutputList m_delivered;
    bool m_delivering = false; // a first list went out
    // Lives on the GUI thread; the lists are handed over through its queue.
    std::unique_ptr<QObject> m_receiver;
    std::function<void(const OutputList&)> m_onChange;
};

} // namespace hy
