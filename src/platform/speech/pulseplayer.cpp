#include "platform/speech/pulseplayer.h"

#include "core/log.h"

#include <pulse/error.h>
#include <pulse/simple.h>

#include <algorithm>

namespace hy {

namespace {

// Each write holds about this much sound, which also bounds how long a write
// can block and so how late an abort is noticed.
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

PulsePlayer::PulsePlayer() = default;

PulsePlayer::~PulsePlayer()
{
    if (m_stream)
        pa_simple_free(m_stream);
}

void PulsePlayer::abort()
{
    {
        std::lock_guard lock(m_wakeMutex);
        m_aborted.store(true, std::memory_order_release);
    }
    m_wake.notify_all();
}

bool PulsePlayer::sleepUnlessAborted(std::chrono::microseconds duration)
{
    std::unique_lock lock(m_wakeMutex);
    return m_wake.wait_for(lock, duration, [this] { return aborted(); });
}

void PulsePlayer::play(const std::vector<QByteArrayView>& images)
{
    for (const QByteArrayView image : images) {
        if (aborted())
            break;
        WavDecoder decoder(image);
        if (!decoder.isValid()) {
            qCWarning(lcHytune, "sound: skipped a sound that cannot be decoded (%s)",
                      qPrintable(decoder.errorString()));
            continue;
        }
        const AudioFormat format = decoder.format();
        if (!playable(format)) {
            qCWarning(lcHytune,
                      "sound: skipped a sound in an unplayable format (%d Hz, %d channels)",
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
        if (!m_stream && !openStream(format, first))
            break; // no server: the rest of the phrase would fare no better
        if (!writeClip(decoder, first, chunkFrames))
            break;
    }
    if (!m_stream)
        return;
    if (aborted())
        cutOffStream();
    else
        drainStream();
}

bool PulsePlayer::openStream(const AudioFormat& format, qint64 startFrames)
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

    int error = 0;
    m_stream = pa_simple_new(nullptr, "hytune", PA_STREAM_PLAYBACK, nullptr, "speech", &spec,
                             nullptr, &attr, &error);
    if (!m_stream) {
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
        if (aborted())
            return false;
        int error = 0;
        if (pa_simple_write(m_stream, m_buffer.data(), size_t(frames) * frameBytes, &error) < 0) {
            pa_simple_free(m_stream);
            m_stream = nullptr;
            lostServer(error);
            return false;
        }
        frames = decoder.readFrames(m_buffer.data(), chunkFrames);
    }
    return true;
}

void PulsePlayer::drainStream()
{
    // pa_simple_drain cannot be interrupted. So wait here, where an abort can
    // cut in, while the server still plays out the stream's buffer, and drain
    // only the last bit. The reported latency falls as the buffer empties and
    // then stays at the device's own latency, which no longer counts.
    using std::chrono::microseconds;
    constexpr microseconds kDrainBelow{25'000};
    constexpr microseconds kPoll{10'000};
    microseconds previous = microseconds::max();
    for (;;) {
        if (aborted()) {
            cutOffStream();
            return;
        }
        int error = 0;
        const pa_usec_t reported = pa_simple_get_latency(m_stream, &error);
        if (reported == pa_usec_t(-1))
            break;
        const microseconds latency(reported);
        if (latency <= kDrainBelow || latency > previous - kPoll / 2)
            break;
        previous = latency;
        sleepUnlessAborted(std::min(latency - kDrainBelow + microseconds(1000), kPoll));
    }
    int error = 0;
    const bool drained = pa_simple_drain(m_stream, &error) >= 0;
    pa_simple_free(m_stream);
    m_stream = nullptr;
    if (!drained)
        lostServer(error);
}

void PulsePlayer::cutOffStream()
{
    int error = 0;
    pa_simple_flush(m_stream, &error);
    pa_simple_free(m_stream);
    m_stream = nullptr;
}

void PulsePlayer::lostServer(int error)
{
    if (m_outageReported)
        return;
    m_outageReported = true;
    qCWarning(lcHytune,
              "sound: no sound output (%s); speech stays silent until the sound server can be "
              "reached",
              pa_strerror(error));
}

} // namespace hy
