// The stream's volume: the page's level, and one set in the desktop's mixer.
#include "platform/speech/pulseplayer.h"

#include "core/speech/volume.h"
#include "platform/speech/pulsecommon.h"

namespace hy {

void PulsePlayer::setVolume(int percent)
{
    const std::lock_guard guard(m_startMutex);
    if (!m_loop) {
        m_volume = clampVolume(percent);
        return;
    }
    LoopLock lock(m_loop);
    m_volume = clampVolume(percent);
    applyVolume();
}

void PulsePlayer::setVolumeListener(std::function<void(int percent)> listener)
{
    m_volumeListener = std::move(listener);
}

void PulsePlayer::applyVolume()
{
    if (!m_stream || pa().stream_get_state(m_stream) != PA_STREAM_READY)
        return;
    pa_cvolume volume;
    pa().cvolume_set(&volume, pa().stream_get_sample_spec(m_stream)->channels,
                     programVolume(m_volume));
    if (pa_operation* op = pa().context_set_sink_input_volume(
            m_context, pa().stream_get_index(m_stream), &volume, nullptr, nullptr))
        pa().operation_unref(op);
}

void PulsePlayer::adoptMixerVolume()
{
    // The server takes one connection's requests in order, so this reads the
    // level last set from here, unless the mixer set another since.
    m_mixerPercent = -1;
    pa_operation* op = pa().context_get_sink_input_info(
        m_context, pa().stream_get_index(m_stream),
        [](pa_context*, const pa_sink_input_info* info, int eol, void* self) {
            auto* player = static_cast<PulsePlayer*>(self);
            if (eol == 0 && info)
                player->m_mixerPercent = volumePercent(pa().cvolume_max(&info->volume));
            signalLoop(player->m_loop);
        },
        this);
    if (!op)
        return;
    const bool answered =
        waitFor([op] { return pa().operation_get_state(op) != PA_OPERATION_RUNNING; },
                std::chrono::milliseconds(200));
    pa().operation_cancel(op);
    pa().operation_unref(op);
    if (!answered || m_mixerPercent < 0 || clampVolume(m_mixerPercent) == m_volume)
        return;
    m_volume = clampVolume(m_mixerPercent);
    if (m_volumeListener)
        m_volumeListener(m_volume);
}

} // namespace hy
