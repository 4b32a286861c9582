#include "platform/speech/pulsecommon.h"

#include "core/remote/remotecommand.h"
#include "core/speech/volume.h"

#include <cmath>

namespace hy {

LoopLock::LoopLock(pa_threaded_mainloop* loop)
    : m_loop(loop)
{
    pa().threaded_mainloop_lock(m_loop);
}

LoopLock::~LoopLock()
{
    pa().threaded_mainloop_unlock(m_loop);
}

void signalLoop(void* loop)
{
    pa().threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0);
}

pa_context* newProgramContext(pa_threaded_mainloop* loop)
{
    pa_proplist* props = pa().proplist_new();
    pa().proplist_sets(props, PA_PROP_APPLICATION_NAME, "禾音语音报时器");
    pa().proplist_sets(props, PA_PROP_APPLICATION_ID, kAppId);
    pa().proplist_sets(props, PA_PROP_APPLICATION_ICON_NAME, kAppId);
    pa().proplist_sets(props, PA_PROP_APPLICATION_VERSION, HYTUNE_VERSION);
    pa_context* context = pa().context_new_with_proplist(pa().threaded_mainloop_get_api(loop),
                                                         "禾音语音报时器", props);
    pa().proplist_free(props);
    if (context)
        pa().context_set_state_callback(
            context, [](pa_context*, void* l) { signalLoop(l); }, loop);
    return context;
}

pa_volume_t programVolume(int percent)
{
    return pa().sw_volume_from_linear(volumeGain(percent));
}

int volumePercent(pa_volume_t volume)
{
    return int(std::lround(pa().sw_volume_to_linear(volume) * kMaxVolume));
}

void dropContext(pa_context*& context)
{
    if (!context)
        return;
    pa().context_set_state_callback(context, nullptr, nullptr);
    pa().context_disconnect(context);
    pa().context_unref(context);
    context = nullptr;
}

} // namespace hy
