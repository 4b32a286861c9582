#include "platform/speech/pulseoutputs.h"

#include "platform/speech/pulsecommon.h"

#include <pulse/pulseaudio.h>

namespace hy {

PulseOutputs::PulseOutputs()
    : m_loop(pa_threaded_mainloop_new())
    , m_receiver(std::make_unique<QObject>())
{}

PulseOutputs::~PulseOutputs()
{
    if (!m_loop)
        return;
    {
        LoopLock lock(m_loop);
        if (m_retry)
            pa_threaded_mainloop_get_api(m_loop)->time_free(m_retry);
        m_retry = nullptr;
        if (m_context)
            pa_context_set_subscribe_callback(m_context, nullptr, nullptr);
        dropContext(m_context);
    }
    pa_threaded_mainloop_stop(m_loop);
    pa_threaded_mainloop_free(m_loop);
}

void PulseOutputs::watch(std::function<void(const OutputList&)> onChange)
{
    if (!m_loop || m_onChange)
        return;
    m_onChange = std::move(onChange);
    if (pa_threaded_mainloop_start(m_loop) < 0)
        return;
    LoopLock lock(m_loop);
    connect();
}

void PulseOutputs::connect()
{
    m_context = newProgramContext(m_loop);
    if (!m_context)
        return;
    pa_context_set_state_callback(
        m_context,
        [](pa_context*, void* self) { static_cast<PulseOutputs*>(self)->stateChanged(); }, this);
    if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        retryLater();
}

void PulseOutputs::stateChanged()
{
    switch (pa_context_get_state(m_context)) {
    case PA_CONTEXT_READY: {
        pa_context_set_subscribe_callback(
            m_context,
            [](pa_context*, pa_subscription_event_type_t, uint32_t, void* self) {
                static_cast<PulseOutputs*>(self)->relist();
            },
            this);
        if (pa_operation* op = pa_context_subscribe(
                m_context, pa_subscription_mask_t(PA_SUBSCRIPTION_MASK_SINK), nullptr, nullptr))
            pa_operation_unref(op);
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
    m_collecting.clear();
    pa_operation* op = pa_context_get_sink_info_list(
        m_context,
        [](pa_context*, const pa_sink_info* info, int eol, void* data) {
            auto* self = static_cast<PulseOutputs*>(data);
            if (eol == 0 && info) {
                const QString name = QString::fromUtf8(info->name);
                const QString description = QString::fromUtf8(info->description);
                self->m_collecting.push_back({name, description.isEmpty() ? name : description});
            } else if (eol > 0) {
                self->deliver(self->m_collecting);
            }
        },
        this);
    if (op)
        pa_operation_unref(op);
}

void PulseOutputs::retryLater()
{
    // Not from inside the context's own callback: it goes at the next turn.
    if (m_context)
        pa_context_set_subscribe_callback(m_context, nullptr, nullptr);
    deliver({});
    if (m_retry)
        return;
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(m_loop);
    timeval when;
    pa_timeval_add(pa_gettimeofday(&when), PA_USEC_PER_SEC);
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
