#include "platform/speech/pulseplayer.h"

#include "core/log.h"
#include "core/speech/volume.h"
#include "platform/speech/pulsecommon.h"

#include <pulse/error.h>
#include <pulse/pulseaudio.h>

#include <algorithm>

namespace hy {

namespace {

// Each write holds about this much sound.
constexpr int kChunkMs = 20;
// Target buffering of the stream: the server asks for more when it holds
// target - step, which is how long a writer that a busy machine keeps waiting
// may be late before the sound has a gap (here 220 ms).
constexpr int kTargetLatencyMs = 400;
// The server tops the stream up in steps of this much. The device's own
// buffer gets about (target - 2 * step) / 2 of the target, so a large step
// keeps that part, the delay before the first sample is heard, short (here
// about 20 ms).
constexpr int kRequestMs = 180;
// A new stream starts playing once this much has arrived, written in one go:
// a cushion against a writer that the machine keeps waiting right after the
// start, which would otherwise leave a gap early in the phrase. Writing it
// takes well under a millisecond, so the first sample is not later for it.
constexpr int kStartMs = 100;
// How long a sound server may keep the player waiting, for the connection or
// for room in the stream, before it counts as gone. A live one answers
// within milliseconds; one that is stopped or hung never does.
constexpr std::chrono::milliseconds kPatience{2000};

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
    return pa_sample_spec_valid(&spec) != 0;
}

} // namespace

PulsePlayer::PulsePlayer()
    : m_loop(pa_threaded_mainloop_new())
{
    if (m_loop && pa_threaded_mainloop_start(m_loop) < 0) {
        pa_threaded_mainloop_free(m_loop);
        m_loop = nullptr;
    }
}

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
    pa_threaded_mainloop_stop(m_loop);
    pa_threaded_mainloop_free(m_loop);
}

void PulsePlayer::abort()
{
    m_aborted.store(true, std::memory_order_release);
    if (m_loop) {
        LoopLock lock(m_loop);
        pa_threaded_mainloop_signal(m_loop, 0);
    }
}

void PulsePlayer::setOutput(const QString& device)
{
    if (!m_loop)
        return;
    LoopLock lock(m_loop);
    m_output = device;
}

bool PulsePlayer::waitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout)
{
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(m_loop);
    timeval when;
    pa_timeval_add(pa_gettimeofday(&when), pa_usec_t(timeout.count()) * PA_USEC_PER_MSEC);
    m_timedOut = false;
    pa_time_event* timer = api->time_new(
        api, &when,
        [](pa_mainloop_api*, pa_time_event*, const timeval*, void* self) {
            auto* player = static_cast<PulsePlayer*>(self);
            player->m_timedOut = true;
            pa_threaded_mainloop_signal(player->m_loop, 0);
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
        if (m_context && !PA_CONTEXT_IS_GOOD(pa_context_get_state(m_context)))
            break;
        if (m_stream && !PA_STREAM_IS_GOOD(pa_stream_get_state(m_stream)))
            break;
        pa_threaded_mainloop_wait(m_loop);
    }
    api->time_free(timer);
    return result;
}

void PulsePlayer::play(const std::vector<QByteArrayView>& images)
{
    if (!m_loop || aborted())
        return;
    LoopLock lock(m_loop);
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
        const auto framesOf = [&](int ms) {
            return std::clamp<qint64>(qint64(format.sampleRate) * ms / 1000, 1,
                                      qint64(m_buffer.size()) / format.channels);
        };
        const qint64 chunkFrames = framesOf(kChunkMs);
        const bool newStream = !m_stream || format != m_streamFormat;
        // A clip without a single frame needs no stream.
        const qint64 first =
            decoder.readFrames(m_buffer.data(), newStream ? framesOf(kStartMs) : chunkFrames);
        if (first <= 0)
            continue;
        if (m_stream && format != m_streamFormat)
            drainStream();
        if (aborted())
            break;
        if (!m_context && !connectContext())
            break; // no server: the rest of the phrase would fare no better
        if (!m_stream && !openStream(format, first))
            break;
        if (!writeClip(decoder, first, chunkFrames))
            break;
    }
    if (m_stream) {
        if (aborted())
            closeStream(true);
        else
            drainStream();
    }
    disconnectContext();
}

bool PulsePlayer::connectContext()
{
    m_context = newProgramContext(m_loop);
    if (!m_context) {
        lostServer(PA_ERR_INTERNAL);
        return false;
    }
    const bool ready =
        pa_context_connect(m_context, nullptr, PA_CONTEXT_NOFLAGS, nullptr) >= 0 &&
        waitFor([this] { return pa_context_get_state(m_context) == PA_CONTEXT_READY; }, kPatience);
    if (ready)
        return true;
    const int error = m_timedOut ? PA_ERR_TIMEOUT : pa_context_errno(m_context);
    disconnectContext();
    if (!aborted())
        lostServer(error);
    return false;
}

void PulsePlayer::disconnectContext()
{
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
        if (aborted() || m_timedOut || pa_context_errno(m_context) != PA_ERR_NOENTITY)
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
    const uint32_t bytesPerMs = uint32_t(pa_bytes_per_second(&spec) / 1000);
    pa_buffer_attr attr;
    attr.maxlength = uint32_t(-1);
    attr.tlength = bytesPerMs * kTargetLatencyMs;
    // Start playing with the first write instead of waiting for a full buffer.
    attr.prebuf = uint32_t(pa_frame_size(&spec)) * uint32_t(startFrames);
    attr.minreq = bytesPerMs * kRequestMs;
    attr.fragsize = uint32_t(-1);

    pa_proplist* props = pa_proplist_new();
    pa_proplist_sets(props, PA_PROP_MEDIA_ROLE, "event");
    pa_proplist_sets(props, PA_PROP_MEDIA_NAME, "语音报时");
    m_stream = pa_stream_new_with_proplist(m_context, "语音报时", &spec, nullptr, props);
    pa_proplist_free(props);
    if (!m_stream) {
        lostServer(pa_context_errno(m_context));
        return false;
    }
    pa_stream_set_state_callback(
        m_stream, [](pa_stream*, void* loop) { signalLoop(loop); }, m_loop);
    pa_stream_set_write_callback(
        m_stream, [](pa_stream*, size_t, void* loop) { signalLoop(loop); }, m_loop);
    pa_cvolume volume;
    pa_cvolume_set(&volume, spec.channels, programVolume(m_volume));
    const auto flags = pa_stream_flags_t(PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_ADJUST_LATENCY |
                                         PA_STREAM_AUTO_TIMING_UPDATE);
    const bool ready =
        pa_stream_connect_playback(m_stream, device, &attr, flags, &volume, nullptr) >= 0 &&
        waitFor([this] { return pa_stream_get_state(m_stream) == PA_STREAM_READY; }, kPatience);
    if (!ready) {
        const bool serverGone = m_timedOut || !PA_CONTEXT_IS_GOOD(pa_context_get_state(m_context));
        const int error = m_timedOut ? PA_ERR_TIMEOUT : pa_context_errno(m_context);
        closeStream(true);
        if (serverGone && !aborted())
            lostServer(error);
        return false;
    }
    m_streamFormat = format;
    m_outageReported = false;
    return true;
}

bool PulsePlayer::writeClip(WavDecoder& decoder, qint64 firstFrames, qint64 chunkFrames)
{
    const size_t frameBytes = sizeof(qint16) * size_t(m_streamFormat.channels);
    qint64 frames = firstFrames;
    while (frames > 0) {
        if (!writeAll(reinterpret_cast<const char*>(m_buffer.data()), size_t(frames) * frameBytes))
            return false;
        frames = decoder.readFrames(m_buffer.data(), chunkFrames);
    }
    return true;
}

bool PulsePlayer::writeAll(const char* data, size_t bytes)
{
    while (bytes > 0) {
        const bool room = waitFor(
            [this] {
                const size_t n = pa_stream_writable_size(m_stream);
                return n > 0 && n != size_t(-1);
            },
            kPatience);
        const size_t n = room ? std::min(pa_stream_writable_size(m_stream), bytes) : 0;
        if (!room || pa_stream_write(m_stream, data, n, nullptr, 0, PA_SEEK_RELATIVE) < 0) {
            // Gone or hung: said once per outage. A stream that alone failed
            // (its output went away) ends the phrase quietly.
            const bool serverGone =
                m_timedOut || !PA_CONTEXT_IS_GOOD(pa_context_get_state(m_context));
            const int error = m_timedOut ? PA_ERR_TIMEOUT : pa_context_errno(m_context);
            closeStream(true);
            if (serverGone && !aborted()) {
                disconnectContext();
                lostServer(error);
            }
            return false;
        }
        data += n;
        bytes -= n;
    }
    return true;
}

void PulsePlayer::drainStream()
{
    // Waits for the server to play out the stream's buffer; an abort cuts in
    // at once. The buffer holds at most the target latency.
    pa_operation* op = pa_stream_drain(
        m_stream, [](pa_stream*, int, void* loop) { signalLoop(loop); }, m_loop);
    const bool drained =
        op && waitFor([op] { return pa_operation_get_state(op) != PA_OPERATION_RUNNING; },
                      kPatience + std::chrono::milliseconds(kTargetLatencyMs));
    const bool serverGone =
        !aborted() && (m_timedOut || !op || !PA_CONTEXT_IS_GOOD(pa_context_get_state(m_context)));
    const int error = m_timedOut ? PA_ERR_TIMEOUT : pa_context_errno(m_context);
    if (op) {
        pa_operation_cancel(op);
        pa_operation_unref(op);
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
    pa_stream_set_state_callback(m_stream, nullptr, nullptr);
    pa_stream_set_write_callback(m_stream, nullptr, nullptr);
    if (cutOff && pa_stream_get_state(m_stream) == PA_STREAM_READY) {
        if (pa_operation* op = pa_stream_flush(m_stream, nullptr, nullptr))
            pa_operation_unref(op);
    }
    pa_stream_disconnect(m_stream);
    pa_stream_unref(m_stream);
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
              pa_strerror(error));
}

} // namespace hy
