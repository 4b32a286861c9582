// Writing a phrase into the stream, well ahead of playback, and the
// real-time scheduling of the threads that carry the sound.
#include "platform/speech/pulseplayer.h"

#include "platform/speech/pulsecommon.h"
#include "platform/speech/realtime.h"

#include <algorithm>
#include <thread>
#include <unistd.h>

namespace hy {

namespace {

// But the player does not wait for the server to ask: a phrase goes into the
// stream as soon as it is known, up to this much ahead of what has been
// played, so that a busy machine that keeps the player waiting never leaves
// a gap in it. It waits in the server's buffer, where the stream's volume
// and a flush (the abort) still reach it.
constexpr int kAheadMs = 10000;

// A real-time thread that writes a long phrase at once lets go of the CPU
// after each stretch of this much sound, as real-time threads must.
constexpr int kBreatheMs = 1000;

} // namespace

qint64 PulsePlayer::aheadLimit(qint64 bytesPerMs, const pa_buffer_attr* actual)
{
    const qint64 room = actual ? qint64(actual->maxlength) - qint64(actual->tlength) : 0;
    // Never less than two reads of the decoder, whatever the server allows.
    return std::max<qint64>(4 * WavDecoder::BlockSamples,
                            std::min<qint64>(bytesPerMs * kAheadMs, room));
}

void PulsePlayer::askForRealtime()
{
    // The threads that carry the sound: the one that plays (not the
    // program's main thread, which does everything else too) and the loop's.
    // Asked for once, off this thread, so that no phrase waits for the answer.
    if (m_realtimeAsked)
        return;
    m_realtimeAsked = true;
    const pid_t player = ::gettid() == ::getpid() ? 0 : ::gettid();
    makeThreadsRealtimeLater({player, m_loopThread.load()});
}

bool PulsePlayer::writeClip(WavDecoder& decoder, qint64 firstFrames, qint64 blockFrames)
{
    const size_t frameBytes = sizeof(qint16) * size_t(m_streamFormat.channels);
    const qint64 breathBytes = qint64(frameBytes) * m_streamFormat.sampleRate * kBreatheMs / 1000;
    qint64 frames = firstFrames;
    while (frames > 0) {
        if (!writeAll(reinterpret_cast<const char*>(m_buffer.data()), size_t(frames) * frameBytes))
            return false;
        if (m_sinceBreath >= breathBytes) {
            m_sinceBreath = 0;
            pa().threaded_mainloop_unlock(m_loop);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
            pa().threaded_mainloop_lock(m_loop);
        }
        frames = decoder.readFrames(m_buffer.data(), blockFrames);
    }
    return true;
}

qint64 PulsePlayer::queuedBytes() const
{
    // What was written less what the server has played (as of its last
    // timing update, so never less than there is); all of it while the
    // server has not told yet.
    const pa_timing_info* timing = pa().stream_get_timing_info(m_stream);
    if (!timing || timing->read_index_corrupt)
        return m_written;
    return std::max<qint64>(0, m_written - qint64(timing->read_index));
}

bool PulsePlayer::waitForRoom(qint64 bytes)
{
    const auto fits = [this, bytes] { return queuedBytes() + bytes <= m_aheadLimit; };
    while (!fits()) {
        // Where playback stands now: a live server answers within
        // milliseconds; one that does not counts as gone.
        pa_operation* op = pa().stream_update_timing_info(
            m_stream, [](pa_stream*, int, void* loop) { signalLoop(loop); }, m_loop);
        const bool answered =
            op && waitFor([op] { return pa().operation_get_state(op) != PA_OPERATION_RUNNING; },
                          kPatience);
        if (op) {
            pa().operation_cancel(op);
            pa().operation_unref(op);
        }
        if (!answered)
            return false;
        if (fits())
            break;
        // Then about until enough of it has been played.
        const qint64 excess = queuedBytes() + bytes - m_aheadLimit;
        const qint64 us =
            qint64(pa().bytes_to_usec(uint64_t(excess), pa().stream_get_sample_spec(m_stream)));
        waitFor([] { return false; },
                std::chrono::milliseconds(std::clamp<qint64>(us / 1000, 5, 500)));
        if (aborted() || !PA_STREAM_IS_GOOD(pa().stream_get_state(m_stream)) ||
            !PA_CONTEXT_IS_GOOD(pa().context_get_state(m_context)))
            return false;
        m_timedOut = false; // that wait was meant to end so
    }
    return true;
}

bool PulsePlayer::writeAll(const char* data, size_t bytes)
{
    if (!waitForRoom(qint64(bytes)) ||
        pa().stream_write(m_stream, data, bytes, nullptr, 0, PA_SEEK_RELATIVE) < 0) {
        // Gone or hung: said once per outage. A stream that alone failed (its
        // output went away) ends the phrase quietly.
        const bool serverGone =
            m_timedOut || !PA_CONTEXT_IS_GOOD(pa().context_get_state(m_context));
        const int error = m_timedOut ? PA_ERR_TIMEOUT : pa().context_errno(m_context);
        closeStream(true);
        if (serverGone && !aborted()) {
            disconnectContext();
            lostServer(error);
        }
        return false;
    }
    m_written += qint64(bytes);
    m_sinceBreath += qint64(bytes);
    return true;
}

} // namespace hy
