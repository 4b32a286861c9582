#pragma once

// What bench_latency and bench_speechload share: a recording of the sink's
// monitor that knows when each of its samples was at the sink, and a player
// that notes when each phrase reaches it.
#include "stats.h"

#include "support/monitorrecorder.h"

#include "core/speech/soundplayer.h"
#include "platform/speech/pulseplayer.h"

#include <QByteArray>
#include <QString>
#include <pulse/error.h>
#include <pulse/simple.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace sinkclock {

using Clock = std::chrono::steady_clock;
constexpr int kRate = 22050;

inline double ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

// Records the monitor of the default sink into memory, noting for every read
// when it returned and the latency the stream reported then.
class SinkRecorder
{
public:
    struct Read
    {
        qint64 samplesSoFar;
        Clock::time_point at;
        double latencyMs;
    };

    bool start(int fragmentMs, QString& why)
    {
        pa_sample_spec spec{};
        spec.format = PA_SAMPLE_S16LE;
        spec.rate = kRate;
        spec.channels = 1;
        pa_buffer_attr attr;
        attr.maxlength = uint32_t(-1);
        attr.tlength = uint32_t(-1);
        attr.prebuf = uint32_t(-1);
        attr.minreq = uint32_t(-1);
        m_fragmentBytes = size_t(kRate * fragmentMs / 1000) * 2;
        attr.fragsize = uint32_t(m_fragmentBytes);
        int error = 0;
        m_stream = pa_simple_new(nullptr, "hybench", PA_STREAM_RECORD, "out.monitor",
                                 "latency probe", &spec, nullptr, &attr, &error);
        if (!m_stream) {
            why = QString::fromLocal8Bit(pa_strerror(error));
            return false;
        }
        m_thread = std::thread([this] { loop(); });
        return true;
    }

    void stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        if (m_stream)
            pa_simple_free(m_stream);
        m_stream = nullptr;
    }

    ~SinkRecorder() { stop(); }

    // Valid after stop().
    const QByteArray& samples() const { return m_samples; }
    const std::vector<Read>& reads() const { return m_reads; }
    QString error() const { return m_error; }

private:
    void loop()
    {
        QByteArray chunk(qsizetype(m_fragmentBytes), '\0');
        m_samples.reserve(kRate * 2 * 60);
        while (!m_stop) {
            int error = 0;
            if (pa_simple_read(m_stream, chunk.data(), m_fragmentBytes, &error) < 0) {
                m_error = QString::fromLocal8Bit(pa_strerror(error));
                return;
            }
            const auto at = Clock::now();
            const pa_usec_t latency = pa_simple_get_latency(m_stream, &error);
            m_samples += chunk;
            if (latency != pa_usec_t(-1))
                m_reads.push_back({m_samples.size() / 2, at, double(latency) / 1000.0});
        }
    }

    pa_simple* m_stream = nullptr;
    size_t m_fragmentBytes = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    QByteArray m_samples;
    std::vector<Read> m_reads;
    QString m_error;
};

// Times when things happened on other threads.
struct Log
{
    std::mutex mutex;
    std::vector<Clock::time_point> ticks;
    struct Play
    {
        Clock::time_point at;
        QByteArrayView firstImage;
    };
    std::vector<Play> plays;
};

// The real player, noting when each phrase arrives.
class NotingPlayer final : public hy::ISoundPlayer
{
public:
    explicit NotingPlayer(Log& log)
        : m_log(log)
    {}
    void play(const std::vector<QByteArrayView>& images) override
    {
        {
            std::lock_guard lock(m_log.mutex);
            m_log.plays.push_back({Clock::now(), images.empty() ? QByteArrayView() : images[0]});
        }
        m_player.play(images);
    }
    void abort() override { m_player.abort(); }
    void setVolume(int percent) override { m_player.setVolume(percent); }
    void setOutput(const QString& device) override { m_player.setOutput(device); }

private:
    Log& m_log;
    hy::PulsePlayer m_player;
};

// Sample number -> steady-clock time: the last sample of each read was at the
// sink at the read's time less the latency the stream reported then; the
// median over all reads is taken.
struct SampleClock
{
    Clock::time_point base;     // of the first read; times are ms after it
    double originMs = 0;        // the time of sample 0
    double spreadMs = 0;        // p10-p90 of the single reads around the median
    double arrivalOriginMs = 0; // the same from the earliest arrival, no latency report
    double timeOf(qint64 sample) const { return originMs + double(sample) * 1000.0 / kRate; }
    qint64 sampleAt(double t) const { return qint64(std::floor((t - originMs) * kRate / 1000)); }
};

// Nothing when the recording holds too few reads to tell.
inline std::optional<SampleClock> sampleClock(const SinkRecorder& recorder)
{
    if (recorder.reads().size() < 10)
        return std::nullopt;
    SampleClock c;
    c.base = recorder.reads()[0].at;
    std::vector<double> fromReports, fromArrival;
    for (const auto& r : recorder.reads()) {
        const double sampleMs = double(r.samplesSoFar) * 1000.0 / kRate;
        fromReports.push_back(ms(r.at - c.base) - r.latencyMs - sampleMs);
        fromArrival.push_back(ms(r.at - c.base) - sampleMs);
    }
    c.originMs = benchstats::median(fromReports);
    c.arrivalOriginMs = *std::min_element(fromArrival.begin(), fromArrival.end());
    c.spreadMs =
        benchstats::percentile(fromReports, 0.9) - benchstats::percentile(fromReports, 0.1);
    return c;
}

// When the first sound of the clip `image` was at the sink, the first time it
// is found in the recording after `afterMs` (less 100 ms for the mapping's
// error); NaN when it is not found.
inline double firstSoundMs(const QByteArray& rec, const SampleClock& clock, QByteArrayView image,
                           double afterMs)
{
    const QByteArrayView clip = clipSamples(image);
    qsizetype lead = 0; // samples of the clip before its first sound
    while (lead + 1 < clip.size() && clip[lead] == 0 && clip[lead + 1] == 0)
        lead += 2;
    const QByteArrayView probe =
        clip.sliced(lead).first(std::min<qsizetype>(clip.size() - lead, kRate / 100 * 2)); // 10 ms
    const qint64 from = std::max<qint64>(0, clock.sampleAt(afterMs - 100));
    const qsizetype found = probe.isEmpty() ? -1 : findSamples(rec, probe, from * 2);
    return found < 0 ? std::nan("") : clock.timeOf(found / 2 - lead / 2);
}

} // namespace sinkclock
