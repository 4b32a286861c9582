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

#include "formcountdown.h"
#include "sinkclock.h"
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
using namespace sinkclock;

namespace {

using benchstats::median;
using benchstats::percentile;

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
    const int rc = formcountdown::run(app, log, kCountSeconds, kEvery);
    recorder.stop();
    if (rc != 0)
        return rc;
    if (!recorder.error().isEmpty()) {
        std::fprintf(stderr, "bench_latency: recording failed: %s\n", qPrintable(recorder.error()));
        return 1;
    }

    const std::optional<SampleClock> clock = sampleClock(recorder);
    if (!clock) {
        std::fprintf(stderr, "bench_latency: the recording holds too little\n");
        return 1;
    }
    const Clock::time_point base = clock->base;
    const double spreadMs = clock->spreadMs;
    const double arrivalOriginMs = clock->arrivalOriginMs;
    const double originMs = clock->originMs;

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
        const double soundMs = firstSoundMs(rec, *clock, play.firstImage, tickMs);
        if (std::isnan(soundMs)) {
            ++lost;
            continue;
        }
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
