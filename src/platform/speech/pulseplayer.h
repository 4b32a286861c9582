#pragma once

#include "core/speech/soundplayer.h"
#include "core/speech/wavdecoder.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <sys/types.h>

struct pa_buffer_attr;
struct pa_context;
struct pa_stream;
struct pa_threaded_mainloop;
struct pa_time_event;

namespace hy {

// Plays WAV images through PulseAudio's asynchronous API (PipeWire serves the
// same API), on the output chosen with setOutput() or the desktop's default.
// The clips of one phrase go back to back into one stream, so there is no
// gap between them; a clip of another format gets a stream of its own. The
// stream lives for one phrase only, the connection for one phrase and the
// few seconds after it: a sound server that went away and came back is found
// again at the next phrase.
//
// A phrase is written into the stream as soon as it is known (up to 10 s
// ahead of playback): a machine too busy to run the player on time cannot
// break it up. The thread that plays and the loop's thread ask for
// real-time scheduling at the first phrase (see makeThreadRealtime()).
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
    // How long a sound server may keep the player waiting, for the connection or
    // for room in the stream, before it counts as gone. A live one answers
    // within milliseconds; one that is stopped or hung never does.
    static constexpr std::chrono::milliseconds kPatience{2000};
    // The most bytes written ahead of playback, for a stream of `bytesPerMs`
    // with the buffer the server gave it.
    static qint64 aheadLimit(qint64 bytesPerMs, const pa_buffer_attr* actual);

    // Loads the library and starts the loop's thread, at the first phrase;
    // false when there is neither (and from then on).
    bool startLoop();
    // All of the following run with the main loop locked.
    bool connectContext();
    void disconnectContext();
    // Keeps the connection for a next phrase a little while.
    void keepConnection();
    void stopKeeping();
    // A stream that starts to play once `startFrames` have arrived.
    bool openStream(const AudioFormat& format, qint64 startFrames);
    bool connectStream(const AudioFormat& format, qint64 startFrames, const char* device);
    // Writes the frames already in m_buffer and then the rest of the clip.
    bool writeClip(WavDecoder& decoder, qint64 firstFrames, qint64 blockFrames);
    bool writeAll(const char* data, size_t bytes);
    // Bytes written to the stream that the server has not played yet.
    qint64 queuedBytes() const;
    // Waits until `bytes` more stay within m_aheadLimit of playback; false
    // when aborted or when the server stops answering.
    bool waitForRoom(qint64 bytes);
    void askForRealtime();
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

    // Set once, by the first phrase, under m_startMutex; abort(), setVolume()
    // and setOutput() look at it under that lock, as they may come meanwhile.
    std::mutex m_startMutex;
    pa_threaded_mainloop* m_loop = nullptr;
    bool m_loopFailed = false;
    std::atomic<bool> m_aborted{false};
    std::atomic<pid_t> m_loopThread{0};

    // Guarded by the main loop's lock.
    int m_volume = 100;
    QString m_output;
    pa_context* m_context = nullptr;
    QByteArray m_contextServer; // PULSE_SERVER when m_context was made
    pa_time_event* m_keepTimer = nullptr;
    pa_stream* m_stream = nullptr;
    bool m_timedOut = false;
    int m_mixerPercent = -1;
    std::function<void(int)> m_volumeListener;

    // Touched only by the thread in play().
    AudioFormat m_streamFormat;
    qint64 m_written = 0;    // bytes into the stream
    qint64 m_aheadLimit = 0; // the most bytes written ahead of playback
    qint64 m_sinceBreath = 0;
    bool m_realtimeAsked = false;
    bool m_outageReported = false;
    bool m_missingOutputReported = false;
    std::array<qint16, WavDecoder::BlockSamples> m_buffer{}; // one read of the decoder
};

} // namespace hy
