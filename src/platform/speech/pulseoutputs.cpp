#include "platform/speech/pulseoutputs.h"

#include "core/log.h"
#include "platform/speech/pulsecommon.h"

#include <algorithm>

namespace hy {

// One answer of the server to "list the sinks", collected as it comes.
struct PulseOutputs::Listing
{
    PulseOutputs* self = nullptr;
    pa_operation* op = nullptr;
    std::vector<std::pair<uint32_t, OutputDevice>> sinks; // by the server's index
    bool complete = false;
};

namespace {

constexpr int FirstRetryMs = 1000;

} // namespace

PulseOutputs::PulseOutputs()
    : m_receiver(std::make_unique<QObject>())
{}

PulseOutputs::~PulseOutputs()
{
    if (!m_loop)
        return;
    {
        LoopLock lock(m_loop);
        if (m_retry)
            pa().threaded_mainloop_get_api(m_loop)->time_free(m_retry);
        m_retry = nullptr;
        if (m_listing) {
            pa().operation_cancel(m_listing->op);
            pa().operation_unref(m_listing->op);
            delete m_listing;
            m_listing = nullptr;
        }
        if (m_context)
            pa().context_set_subscribe_callback(m_context, nullptr, nullptr);
        dropContext(m_context);
    }
    pa().threaded_mainloop_stop(m_loop);
    pa().threaded_mainloop_free(m_loop);
}

void PulseOutputs::watch(std::function<void(const OutputList&)> onChange)
{
    if (m_onChange)
        return;
    m_onChange = std::move(onChange);
    m_loop = loadPulse() ? pa().threaded_mainloop_new() : nullptr;
    if (!m_loop)
        return;
    if (pa().threaded_mainloop_start(m_loop) < 0) {
        pa().threaded_mainloop_free(m_loop);
        m_loop = nullptr;
        return;
    }
    LoopLock lock(m_loop);
    connect();
}

void PulseOutputs::connect()
{
    m_context = newProgramContext(m_loop);
    if (!m_context) {
        retryLater();
        return;
    }
    pa().context_set_state_callback(
        m_context,
        [](pa_context*, void* self) { static_cast<PulseOutputs*>(self)->stateChanged(); }, this);
    if (pa().context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        retryLater();
}

void PulseOutputs::stateChanged()
{
    switch (pa().context_get_state(m_context)) {
    case PA_CONTEXT_READY: {
        m_retryMs = FirstRetryMs;
        pa().context_set_subscribe_callback(
            m_context,
            [](pa_context*, pa_subscription_event_type_t, uint32_t, void* self) {
                static_cast<PulseOutputs*>(self)->relist();
            },
            this);
        if (pa_operation* op = pa().context_subscribe(
                m_context, pa_subscription_mask_t(PA_SUBSCRIPTION_MASK_SINK), nullptr, nullptr))
            pa().operation_unref(op);
        relist();
        break;
    }
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED:
        retryLater();
        break;
    default:
        break;
    }
}

void PulseOutputs::relist()
{
    // The server answers one connection's requests in order, so a listing
    // asked for after the last change sees it.
    if (m_listing) {
        m_changedMeanwhile = true;
        return;
    }
    m_changedMeanwhile = false;
    auto* listing = new Listing;
    listing->self = this;
    listing->op = pa().context_get_sink_info_list(
        m_context,
        [](pa_context*, const pa_sink_info* info, int eol, void* data) {
            auto* l = static_cast<Listing*>(data);
            if (eol == 0 && info) {
                const QString name = QString::fromUtf8(info->name);
                const QString description = QString::fromUtf8(info->description);
                l->sinks.push_back(
                    {info->index, {name, description.isEmpty() ? name : description}});
                return;
            }
            l->complete = eol > 0;
            l->self->listed(l);
        },
        listing);
    if (!listing->op) {
        delete listing;
        return;
    }
    m_listing = listing;
}

void PulseOutputs::listed(Listing* listing)
{
    pa().operation_unref(listing->op);
    m_listing = nullptr;
    const bool stale = m_changedMeanwhile;
    if (listing->complete && !stale) {
        std::stable_sort(listing->sinks.begin(), listing->sinks.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        OutputList outputs;
        for (const auto& [index, device] : listing->sinks) {
            if (!std::any_of(outputs.begin(), outputs.end(),
                             [&](const OutputDevice& d) { return d.name == device.name; }))
                outputs.push_back(device);
        }
        deliver(outputs);
    }
    delete listing;
    if (stale)
        relist();
}

void PulseOutputs::retryLater()
{
    // Not from inside the context's own callback: it goes at the next turn.
    if (m_context)
        pa().context_set_subscribe_callback(m_context, nullptr, nullptr);
    if (m_listing) {
        pa().operation_cancel(m_listing->op);
        pa().operation_unref(m_listing->op);
        delete m_listing;
        m_listing = nullptr;
    }
    deliver({});
    if (m_retry)
        return;
    qCDebug(lcSound, "no sound server for the list of outputs; trying again in %d ms", m_retryMs);
    pa_mainloop_api* api = pa().threaded_mainloop_get_api(m_loop);
    timeval when;
    pa().timeval_add(pa().gettimeofday(&when), pa_usec_t(m_retryMs) * PA_USEC_PER_MSEC);
    m_retryMs = std::min(2 * m_retryMs, MaxRetryMs);
    m_retry = api->time_new(
        api, &when,
        [](pa_mainloop_api* a, pa_time_event* e, const timeval*, void* data) {
            auto* self = static_cast<PulseOutputs*>(data);
            a->time_free(e);
            self->m_retry = nullptr;
            dropContext(self->m_context);
            self->connect();
        },
        this);
}

void PulseOutputs::deliver(const OutputList& outputs)
{
    if (m_delivering && outputs == m_delivered)
        return;
    m_delivering = true;
    m_delivered = outputs;
    QMetaObject::invokeMethod(
        m_receiver.get(), [this, outputs] { m_onChange(outputs); }, Qt::QueuedConnection);
}

} // namespace hy
