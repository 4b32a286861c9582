// From a countdown tick to the first sample of its spoken count at the sink.
//
// The whole chain of the program runs as in daily use: the main window TForm1
// with the real services (tick thread, clips, PulsePlayer on the default
// server, hotkey), its controls set to a countdown of 0:0:20 that speaks every
// second second of the last 20 and started with its Start button. Each tick
// goes tick thread -> posted tick event -> the window's tick handler ->
// countdown engine -> announce request -> TMyThread -> Speaker -> PulsePlayer.
// Only two wrappers are added: the tick source notes the steady-clock time of
// each tick right before handing it on, and the sound player notes when each
// phrase reaches play(). Settings are neither read nor written.
//
// The sink "out" (a null sink) is recorded through its monitor with pa_simple
// (record stream, fragments of HYBENCH_REC_FRAGMENT_MS, default 5 ms). After
// every read the steady clock and the stream's reported latency are taken: the
// last sample read was at the sink at (read time - latency). The median over
// all reads maps sample numbers to steady-clock times (the sink runs on the
// same monotonic clock); how much the single reads scatter around it is
// printed, and bounds the error. Each phrase's first clip is found in the
// recording by its samples after the tick, and its first sample's time minus
// the tick's time is the latency of that tick.
//
// A recording stream sets the sink's block size to its fragment, so the sink
// mixes in 5 ms steps while it is measured. Without it the session's null sink
// mixes in steps of the latency the player asks for (about 25 ms) and, made
// with norewinds=1, cannot take back silence it has mixed ahead (a sound card
// sink normally rewinds it, so a new stream starts almost at once). The figure is
// therefore the program's own share: tick, event, countdown, announcer, stream
// set-up and first write, up to the sink mixing the first sample.
//
//   speech_latency_ms      median over the spoken ticks (about 10)
//   speech_latency_p90_ms  90th percentile
//
// Comment lines give the parts (tick to play(), play() to the sink) and how far
// a second mapping (earliest arrival of the samples, no latency report) lies
// from the one used.

#include "stats.h"

#include "support/monitorrecorder.h"

#include "core/speech/cliptable.h"
#include "platform/speech/pulseplayer.h"
#include "platform/tickthread.h"
#include "shell/application.h"
#include "shell/tunemain.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <pulse/error.h>
#include <pulse/simple.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

using namespace std::chrono;
using Clock = steady_clock;

namespace {

using benchstats::median;
using benchstats::percentile;

constexpr int kRate = 22050;

double ms(Clock::duration d)
{
    return duration<double, std::milli>(d).count();
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

template <typename W>
W* control(QWidget& form, const char* name)
{
    W* w = form.findChild<W*>(QLatin1String(name));
    if (!w) {
        std::fprintf(stderr, "bench_latency: the window has no control %s\n", name);
        std::exit(1);
    }
    return w;
}

void choose(QWidget& form, const char* name, const QString& text)
{
    auto* box = control<QComboBox>(form, name);
    box->setCurrentText(text);
    if (box->currentText() != text) {
        std::fprintf(stderr, "bench_latency: %s does not take \"%s\"\n", name, qPrintable(text));
        std::exit(1);
    }
}

} // namespace

int main(int argc, char** argv)
{
    hy::Application app(argc, argv);
    app.prepareWindows();
    if (!qEnvironmentVariableIsSet("PULSE_SERVER"))
        std::fprintf(stderr, "note: PULSE_SERVER is not set; using the default server\n");
    bool ok = false;
    int fragmentMs = qEnvironmentVariableIntValue("HYBENCH_REC_FRAGMENT_MS", &ok);
    if (!ok || fragmentMs < 1 || fragmentMs > 200)
        fragmentMs = 5;
    constexpr int kCountSeconds = 20;
    constexpr int kEvery = 2; // each phrase ends well before the next tick that speaks

    SinkRecorder recorder;
    QString why;
    if (!recorder.start(fragmentMs, why)) {
        std::fprintf(stderr, "bench_latency: cannot record out.monitor: %s\n", qPrintable(why));
        return 1;
    }

    Log log;
    QTemporaryDir scratch;
    hy::CoreServices services = hy::realCoreServices();
    services.loadSettings = [](hy::SettingsStore&) { return false; };
    services.saveSettings = [](hy::SettingsStore&) { return true; };
    hy::FormServices formServices = hy::realFormServices();
    formServices.tipsCachePath = scratch.filePath(QStringLiteral("tipsupd.dat"));
    formServices.serverBase = QStringLiteral("http://127.0.0.1:9");
    services.makePlayer = [&log] { return std::make_unique<NotingPlayer>(log); };
    services.makeTickSource = [&log](std::function<void(quint64)> onTick) {
        return std::make_unique<hy::TickThread>([&log, onTick](quint64 run) {
            {
                std::lock_guard lock(log.mutex);
                log.ticks.push_back(Clock::now());
            }
            onTick(run);
        });
    };

    hy::AppCore core(services);
    TForm1 form(core, formServices);
    form.show();
    choose(form, "cbbHour", QStringLiteral("0"));
    choose(form, "cbbMin", QStringLiteral("0"));
    choose(form, "cbbSec", QString::number(kCountSeconds));
    choose(form, "cbbLastSec", QString::number(kCountSeconds));
    choose(form, "cbbPerSec", QString::number(kEvery));
    control<QCheckBox>(form, "chkSec")->setChecked(true);
    for (const char* off : {"chkMin", "chkLastOne", "chkCircle", "chkStart"})
        control<QCheckBox>(form, off)->setChecked(false);

    // Start once the window and the recording have settled; end when the run
    // is over and its last phrase has been played out.
    bool started = false;
    QTimer::singleShot(1000, &form, [&] {
        control<QPushButton>(form, "btnMinStart")->click();
        started = true;
    });
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &form, [&] {
        if (started && !form.countdown().isActive()) {
            watch.stop();
            QTimer::singleShot(2500, &app, &QCoreApplication::quit);
        }
    });
    watch.start(100);
    QTimer::singleShot((kCountSeconds + 15) * 1000, &app, [] {
        std::fprintf(stderr, "bench_latency: the countdown did not end in time\n");
        QCoreApplication::exit(1);
    });
    const int rc = app.exec();
    form.close();
    recorder.stop();
    if (rc != 0)
        return rc;
    if (!recorder.error().isEmpty()) {
        std::fprintf(stderr, "bench_latency: recording failed: %s\n", qPrintable(recorder.error()));
        return 1;
    }

    // Sample number -> steady-clock time: time of sample i = origin + i / rate.
    std::vector<double> fromReports, fromArrival;
    const Clock::time_point base = recorder.reads().empty() ? Clock::now() : recorder.reads()[0].at;
    for (const auto& r : recorder.reads()) {
        const double sampleMs = double(r.samplesSoFar) * 1000.0 / kRate;
        fromReports.push_back(ms(r.at - base) - r.latencyMs - sampleMs);
        fromArrival.push_back(ms(r.at - base) - sampleMs);
    }
    if (fromReports.size() < 10) {
        std::fprintf(stderr, "bench_latency: the recording holds too little\n");
        return 1;
    }
    const double originMs = median(fromReports);
    const double arrivalOriginMs = *std::min_element(fromArrival.begin(), fromArrival.end());
    const double spreadMs = percentile(fromReports, 0.9) - percentile(fromReports, 0.1);
    const auto sampleTime = [&](qint64 i) { return originMs + double(i) * 1000.0 / kRate; };
    const auto sampleAt = [&](double t) {
        return qint64(std::floor((t - originMs) * kRate / 1000));
    };

    const QByteArray& rec = recorder.samples();
    std::vector<double> total, software, sound;
    int lost = 0;
    for (const Log::Play& play : log.plays) {
        // The tick this phrase answers: the last one before it.
        auto tick = std::upper_bound(log.ticks.begin(), log.ticks.end(), play.at);
        if (tick == log.ticks.begin())
            continue;
        --tick;
        const double tickMs = ms(*tick - base);
        const QByteArrayView clip = clipSamples(play.firstImage);
        qsizetype lead = 0; // samples of the clip before its first sound
        while (lead + 1 < clip.size() && clip[lead] == 0 && clip[lead + 1] == 0)
            lead += 2;
        const QByteArrayView probe = clip.sliced(lead).first(
            std::min<qsizetype>(clip.size() - lead, kRate / 100 * 2));   // 10 ms of its sound
        const qint64 from = std::max<qint64>(0, sampleAt(tickMs - 100)); // allow for mapping error
        const qsizetype found = probe.isEmpty() ? -1 : findSamples(rec, probe, from * 2);
        if (found < 0) {
            ++lost;
            continue;
        }
        const double soundMs = sampleTime(found / 2 - lead / 2);
        total.push_back(soundMs - tickMs);
        software.push_back(ms(play.at - *tick));
        sound.push_back(soundMs - ms(play.at - base));
        std::printf(
            "# tick %+.0f ms: play() after %.2f ms, first sample at the sink after %.2f ms\n",
            tickMs, software.back(), total.back());
    }
    std::printf("# %zu ticks, %zu phrases, %d not found in the recording; %zu reads of %d ms\n",
                log.ticks.size(), log.plays.size(), lost, recorder.reads().size(), fragmentMs);
    std::printf("# tick -> play(): median %.2f ms, max %.2f ms; play() -> sink: median %.2f ms, "
                "max %.2f ms\n",
                median(software), percentile(software, 1.0), median(sound), percentile(sound, 1.0));
    std::printf("# sample clock: spread of the reported-latency mapping (p10-p90) %.2f ms; samples "
                "reach the recorder at the earliest %.2f ms after their time at the sink "
                "(negative: before, the sink renders ahead)\n",
                spreadMs, arrivalOriginMs - originMs);
    if (total.empty() || lost > 0) {
        std::printf("speech_latency_ms: nan ms\nspeech_latency_p90_ms: nan ms\n");
        return 1;
    }
    std::printf("speech_latency_ms: %.1f ms\n", median(total));
    std::printf("speech_latency_p90_ms: %.1f ms\n", percentile(total, 0.9));
    return 0;
}
