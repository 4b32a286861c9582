#pragma once

#include "core/speech/soundplayer.h"
#include "core/speech/wavdecoder.h"

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

struct pa_simple;

namespace hy {

// Plays WAV images on the default PulseAudio output (PipeWire serves the same
// API). The clips of one phrase go back to back into one stream, so there is
// no gap between them; a clip of another format gets a stream of its own. A
// stream lives for one phrase only: a sound server that went away and came
// back is found again at the next phrase.
//
// Without a sound server nothing is played and one warning line goes to
// stderr per outage, not one per phrase.
//
// play() is used by one thread at a time (the announcer); abort() may come
// from any thread.
class PulsePlayer final : public ISoundPlayer
{
public:
    PulsePlayer();
    ~PulsePlayer() override;

    PulsePlayer(const PulsePlayer&) = delete;
    PulsePlayer& operator=(const PulsePlayer&) = delete;

    void play(const std::vector<QByteArrayView>& images) override;
    void abort() override;

private:
    // A stream that starts to play once `startFrames` have arrived.
    bool openStream(const AudioFormat& format, qint64 startFrames);
    // Writes the frames already in m_buffer and then the rest of the clip.
    bool writeClip(WavDecoder& decoder, qint64 firstFrames, qint64 chunkFrames);
    // Lets the stream play out and closes it; cuts it off if aborted meanwhile.
    void drainStream();
    void cutOffStream();
    void lostServer(int error);
    bool aborted() const { return m_aborted.load(std::memory_order_acquire); }
    // Sleeps for `duration` or until abort(); true when aborted.
    bool sleepUnlessAborted(std::chrono::microseconds duration);

    std::atomic<bool> m_aborted{false};
    std::mutex m_wakeMutex;
    std::condition_variable m_wake;

    // Touched only by the thread in play().
    pa_simple* m_stream = nullptr;
    AudioFormat m_streamFormat;
    bool m_outageReported = false;
    std::array<qint16, 16384> m_buffer{}; // the start of a stream, 100 ms, fits
};

} // namespace hy
