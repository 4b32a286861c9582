#pragma once

#include "core/speech/soundplayer.h"
#include "core/speech/wavdecoder.h"

#include <QString>
#include <array>
#include <atomic>
#include <chrono>
#include <functional>

struct pa_context;
struct pa_stream;
struct pa_threaded_mainloop;

namespace hy {

// Plays WAV images through PulseAudio's asynchronous API (PipeWire serves the
// same API), on the output chosen with setOutput() or the desktop's default.
// The clips of one phrase go back to back into one stream, so there is no
// gap between them; a clip of another format gets a stream of its own. The
// connection and the stream live for one phrase only: a sound server that
// went away and came back is found again at the next phrase.
//
// The stream carries the program's name, icon and the event role, so the
// desktop's mixer lists it by name. Its volume follows setVolume(), also in
// the middle of a phrase.
//
// Without a sound server nothing is played and one warning line goes to
// stderr per outage, not one per phrase. A server that stops answering
// (stopped, hung) counts as gone after a while; abort() cuts in at once.
//
// play() is used by one thread at a time (the announcer); abort(),
// setVolume() and setOutput() may come from any thread.
class PulsePlayer final : public ISoundPlayer
{
public:
    PulsePlayer();
    ~PulsePlayer() override;

    PulsePlayer(const PulsePlayer&) = delete;
    PulsePlayer& operator=(const PulsePlayer&) = delete;

    void play(const std::vector<QByteArrayView>& images) override;
    void abort() override;
    void setVolume(int percent) override;
    void setOutput(const QString& device) override;
    void setVolumeListener(std::function<void(int percent)> listener) override;

private:
    // All of the following run with the main loop locked.
    bool connectContext();
    void disconnectContext();
    // A stream that starts to play once `startFrames` have arrived.
    bool openStream(const AudioFormat& format, qint64 startFrames);
    bool connectStream(const AudioFormat& format, qint64 startFrames, const char* device);
    // Writes the frames already in m_buffer and then the rest of the clip.
    bool writeClip(WavDecoder& decoder, qint64 firstFrames, qint64 chunkFrames);
    bool writeAll(const char* data, size_t bytes);
    // Lets the stream play out and closes it; cuts it off if aborted meanwhile.
    void drainStream();
    void closeStream(bool cutOff);
    // Takes a level that the desktop's mixer set for the stream meanwhile.
    void adoptMixerVolume();
    void lostServer(int error);
    void applyVolume();
    // Waits for the main loop until `done` holds; false when aborted, when
    // the connection fails or after `timeout`.
    bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout);
    bool aborted() const { return m_aborted.load(std::memory_order_acquire); }

    pa_threaded_mainloop* m_loop = nullptr;
    std::atomic<bool> m_aborted{false};

    // Guarded by the main loop's lock.
    int m_volume = 100;
    QString m_output;
    pa_context* m_context = nullptr;
    pa_stream* m_stream = nullptr;
    bool m_timedOut = false;
    int m_mixerPercent = -1;
    std::function<void(int)> m_volumeListener;

    // Touched only by the thread in play().
    AudioFormat m_streamFormat;
    bool m_outageReported = false;
    bool m_missingOutputReported = false;
    std::array<qint16, 16384> m_buffer{}; // the start of a stream, 100 ms, fits
};

} // namespace hy
