#include "platform/speech/pulseplayer.h"

#include "core/log.h"
#include "core/speech/volume.h"
#include "platform/speech/pulsecommon.h"

#include <algorithm>
#include <unistd.h>

namespace hy {

namespace {

// How the stream is set up at the device: the server keeps about this much
// for the stream (a target), asks for more in steps of kRequestMs, and gives
// the device's own buffer about (target - 2 * step) / 2 of it (here 20 ms),
// which is all that lies between a change of the volume, or an abort, and
// the sound.
constexpr int kTargetLatencyMs = 400;
constexpr int kRequestMs = 180;
// A connection that a phrase used waits this long for the next one: counts
// that follow each other every second or two find it ready (setting one up
// takes the server several answers, slow on a busy machine). After that the
// server sees nothing of the program until the next phrase.
constexpr int kKeepConnectionMs = 3000;
// A new stream starts playing once this much has arrived (all of it is
// written in one go, well under a millisecond). The rest of the phrase
// follows at once (see pulsestream.cpp).
constexpr int kStartMs = 100;
pa_sample_spec sampleSpec(const AudioFormat& format)
{
    pa_sample_spec spec{};
    spec.format = PA_SAMPLE_S16NE;
    spec.rate = static_cast<uint32_t>(format.sampleRate);
    spec.channels = static_cast<uint8_t>(format.channels);
    return spec;
}

bool playable(const AudioFormat& format)
{
    if (format.channels < 1 || format.channels > int(PA_CHANNELS_MAX) || format.sampleRate < 1)
        return false;
    const pa_sample_spec spec = sampleSpec(format);
    return pa().sample_spec_valid(&spec) != 0;
}

} // namespace

PulsePlayer::PulsePlayer() = default;

PulsePlayer::~PulsePlayer()
{
    if (!m_loop)
        return;
    {
        LoopLock lock(m_loop);
        if (m_stream)
            closeStream(true);
        disconnectContext();
    }
    pa().threaded_mainloop_stop(m_loop);
    pa().threaded_mainloop_free(m_loop);
}

bool PulsePlayer::startLoop()
{
    const std::lock_guard guard(m_startMutex);
    if (m_loop || m_loopFailed)
        return m_loop;
    m_loopFailed = true;
    pa_threaded_mainloop* loop = loadPulse() ? pa().threaded_mainloop_new() : nullptr;
    if (!loop)
        return false;
    if (pa().threaded_mainloop_start(loop) < 0) {
        pa().threaded_mainloop_free(loop);
        return false;
    }
    // The loop's thread tells its id (for askForRealtime()); with the lock
    // held, so that it cannot run the request before the request is complete.
    {
        LoopLock lock(loop);
        pa().threaded_mainloop_once_unlocked(
            loop,
            [](pa_threaded_mainloop*, void* self) {
                auto* player = static_cast<PulsePlayer*>(self);
                player->m_loopThread = ::gettid();
                player->m_loopThread.notify_all();
            },
            this);
    }
    m_loopThread.wait(0);
    m_loop = loop;
    m_loopFailed = false;
    return true;
}

void PulsePlayer::abort()
{
    m_aborted.store(true, std::memory_order_release);
    const std::lock_guard guard(m_startMutex);
    if (m_loop) {
        LoopLock lock(m_loop);
        pa().threaded_mainloop_signal(m_loop, 0);
    }
}

void PulsePlayer::setOutput(const QString& device)
{
    const std::lock_guard guard(m_startMutex);
    if (!m_loop) {
        m_output = device;
        return;
    }
    LoopLock lock(m_loop);
    m_output = device;
}

bool PulsePlayer::waitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout)
{
    pa_mainloop_api* api = pa().threaded_mainloop_get_api(m_loop);
    timeval when;
    pa().timeval_add(pa().gettimeofday(&when), pa_usec_t(timeout.count()) * PA_USEC_PER_MSEC);
    m_timedOut = false;
    pa_time_event* timer = api->time_new(
        api, &when,
        [](pa_mainloop_api*, pa_time_event*, const timeval*, void* self) {
            auto* player = static_cast<PulsePlayer*>(self);
            player->m_timedOut = true;
            pa().threaded_mainloop_signal(player->m_loop, 0);
        },
        this);
    bool result = false;
    for (;;) {
        if (done()) {
            result = true;
            break;
        }
        if (aborted() || m_timedOut)
            break;
        if (m_context && !PA_CONTEXT_IS_GOOD(pa().context_get_state(m_context)))
            break;
        if (m_stream && !PA_STREAM_IS_GOOD(pa().stream_get_state(m_stream)))
            break;
        pa().threaded_mainloop_wait(m_loop);
    }
    api->time_free(timer);
    return result;
}

void PulsePlayer::play(const std::vector<QByteArrayView>& images)
{
    if (aborted() || !startLoop())
        return;
    askForRealtime();
    LoopLock lock(m_loop);
    // The connection kept from the phrase before, while it is good and the
    // server named for the program (PULSE_SERVER) is still the same.
    stopKeeping();
    if (m_context && (pa().context_get_state(m_context) != PA_CONTEXT_READY ||
                      qgetenv("PULSE_SERVER") != m_contextServer))
        disconnectContext();
    for (const QByteArrayView image : images) {
        if (aborted())
            break;
        WavDecoder decoder(image);
        if (!decoder.isValid()) {
            qCWarning(lcSound, "skipped a sound that cannot be decoded (%s)",
                      qPrintable(decoder.errorString()));
            continue;
        }
        const AudioFormat format = decoder.format();
        if (!playable(format)) {
            qCWarning(lcSound, "skipped a sound in an unplayable format (%d Hz, %d channels)",
                      format.sampleRate, format.channels);
            continue;
        }
        const qint64 block = WavDecoder::blockFrames(format.channels);
        // A clip without a single frame needs no stream.
        const qint64 first = decoder.readFrames(m_buffer.data(), block);
        if (first <= 0)
            continue;
        if (m_stream && format != m_streamFormat)
            drainStream();
        if (aborted())
            break;
        if (!m_context && !connectContext())
            break; // no server: the rest of the phrase would fare no better
        if (!m_stream &&
            !openStream(format, std::min(first, qint64(format.sampleRate) * kStartMs / 1000 + 1)))
            break;
        if (!writeClip(decoder, first, block))
            break;
    }
    if (m_stream) {
        if (aborted())
            closeStream(true);
        else
            drainStream();
    }
    if (m_context && !aborted() && pa().context_get_state(m_context) == PA_CONTEXT_READY)
        keepConnection();
    else
        disconnectContext();
}

void PulsePlayer::keepConnection()
{
    pa_mainloop_api* api = pa().threaded_mainloop_get_api(m_loop);
    timeval when;
    pa().timeval_add(pa().gettimeofday(&when), pa_usec_t(kKeepConnectionMs) * PA_USEC_PER_MSEC);
    m_keepTimer = api->time_new(
        api, &when,
        [](pa_mainloop_api*, pa_time_event*, const timeval*, void* self) {
            // On the loop's thread, with the lock held.
            auto* player = static_cast<PulsePlayer*>(self);
            player->stopKeeping();
            player->disconnectContext();
        },
        this);
}

void PulsePlayer::stopKeeping()
{
    if (!m_keepTimer)
        return;
    pa_mainloop_api* api = pa().threaded_mainloop_get_api(m_loop);
    api->time_free(m_keepTimer);
    m_keepTimer = nullptr;
}

bool PulsePlayer::connectContext()
{
    m_contextServer = qgetenv("PULSE_SERVER");
    m_context = newProgramContext(m_loop);
    if (!m_context) {
        lostServer(PA_ERR_INTERNAL);
        return false;
    }
    const bool ready =
        pa().context_connect(m_context, nullptr, PA_CONTEXT_NOFLAGS, nullptr) >= 0 &&
        waitFor([this] { return pa().context_get_state(m_context) == PA_CONTEXT_READY; },
                kPatience);
    if (ready)
        return true;
    const int error = m_timedOut ? PA_ERR_TIMEOUT : pa().context_errno(m_context);
    disconnectContext();
    if (!aborted())
        lostServer(error);
    return false;
}

void PulsePlayer::disconnectContext()
{
    stopKeeping();
    dropContext(m_context);
}

bool PulsePlayer::openStream(const AudioFormat& format, qint64 startFrames)
{
    const QByteArray device = m_output.toUtf8();
    if (!device.isEmpty()) {
        if (connectStream(format, startFrames, device.constData())) {
            m_missingOutputReported = false;
            return true;
        }
        if (aborted() || m_timedOut || pa().context_errno(m_context) != PA_ERR_NOENTITY)
            return false;
        if (!m_missingOutputReported)
            qCWarning(lcSound,
                      "the chosen output %s is not there; speech plays on the default "
                      "output until it is back",
                      device.constData());
        m_missingOutputReported = true;
    }
    return connectStream(format, startFrames, nullptr);
}

bool PulsePlayer::connectStream(const AudioFormat& format, qint64 startFrames, const char* device)
{
    const pa_sample_spec spec = sampleSpec(format);
    const uint32_t bytesPerMs = uint32_t(pa().bytes_per_second(&spec) / 1000);
    pa_buffer_attr attr;
    attr.maxlength = uint32_t(-1);
    attr.tlength = bytesPerMs * kTargetLatencyMs;
    // Start playing with the first write instead of waiting for a full buffer.
    attr.prebuf = uint32_t(pa().frame_size(&spec)) * uint32_t(startFrames);
    attr.minreq = bytesPerMs * kRequestMs;
    attr.fragsize = uint32_t(-1);

    pa_proplist* props = pa().proplist_new();
    pa().proplist_sets(props, PA_PROP_MEDIA_ROLE, "event");
    pa().proplist_sets(props, PA_PROP_MEDIA_NAME, "语音报时");
    m_stream = pa().stream_new_with_proplist(m_context, "语音报时", &spec, nullptr, props);
    pa().proplist_free(props);
    if (!m_stream) {
        lostServer(pa().context_errno(m_context));
        return false;
    }
    pa().stream_set_state_callback(
        m_stream, [](pa_stream*, void* loop) { signalLoop(loop); }, m_loop);
    pa().stream_set_write_callback(
        m_stream, [](pa_stream*, size_t, void* loop) { signalLoop(loop); }, m_loop);
    // Each timing update tells how far playback has got, and so whether
    // there is room ahead of it.
    pa().stream_set_latency_update_callback(
        m_stream, [](pa_stream*, void* loop) { signalLoop(loop); }, m_loop);
    pa_cvolume volume;
    pa().cvolume_set(&volume, spec.channels, programVolume(m_volume));
    const auto flags = pa_stream_flags_t(PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_ADJUST_LATENCY |
                                         PA_STREAM_AUTO_TIMING_UPDATE);
    const bool ready =
        pa().stream_connect_playback(m_stream, device, &attr, flags, &volume, nullptr) >= 0 &&
        waitFor([this] { return pa().stream_get_state(m_stream) == PA_STREAM_READY; }, kPatience);
    if (!ready) {
        const bool serverGone =
            m_timedOut || !PA_CONTEXT_IS_GOOD(pa().context_get_state(m_context));
        const int error = m_timedOut ? PA_ERR_TIMEOUT : pa().context_errno(m_context);
        closeStream(true);
        if (serverGone && !aborted())
            lostServer(error);
        return false;
    }
    m_streamFormat = format;
    m_outageReported = false;
    m_written = 0;
    m_sinceBreath = 0;
    m_aheadLimit = aheadLimit(bytesPerMs, pa().stream_get_buffer_attr(m_stream));
    return true;
}

void PulsePlayer::drainStream()
{
    // Waits for the server to play out the stream's buffer; an abort cuts in
    // at once. The buffer holds what was written ahead and the target latency.
    const pa_sample_spec spec = sampleSpec(m_streamFormat);
    const auto queued = std::chrono::milliseconds(
        qint64(pa().bytes_to_usec(uint64_t(queuedBytes()), &spec) / 1000));
    pa_operation* op = pa().stream_drain(
        m_stream, [](pa_stream*, int, void* loop) { signalLoop(loop); }, m_loop);
    const bool drained =
        op && waitFor([op] { return pa().operation_get_state(op) != PA_OPERATION_RUNNING; },
                      kPatience + queued + std::chrono::milliseconds(kTargetLatencyMs));
    const bool serverGone =
        !aborted() && (m_timedOut || !op || !PA_CONTEXT_IS_GOOD(pa().context_get_state(m_context)));
    const int error = m_timedOut ? PA_ERR_TIMEOUT : pa().context_errno(m_context);
    if (op) {
        pa().operation_cancel(op);
        pa().operation_unref(op);
    }
    if (drained && !serverGone)
        adoptMixerVolume();
    closeStream(!drained);
    if (serverGone) {
        disconnectContext();
        lostServer(error);
    }
}

void PulsePlayer::closeStream(bool cutOff)
{
    pa().stream_set_state_callback(m_stream, nullptr, nullptr);
    pa().stream_set_write_callback(m_stream, nullptr, nullptr);
    pa().stream_set_latency_update_callback(m_stream, nullptr, nullptr);
    if (cutOff && pa().stream_get_state(m_stream) == PA_STREAM_READY) {
        if (pa_operation* op = pa().stream_flush(m_stream, nullptr, nullptr))
            pa().operation_unref(op);
    }
    pa().stream_disconnect(m_stream);
    pa().stream_unref(m_stream);
    m_stream = nullptr;
}

void PulsePlayer::lostServer(int error)
{
    if (m_outageReported)
        return;
    m_outageReported = true;
    qCWarning(lcSound,
              "no sound output (%s); speech stays silent until the sound server can be "
              "reached",
              pa().strerror(error));
}

} // namespace hy
