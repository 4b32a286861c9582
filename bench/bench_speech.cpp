// Speech output figures, measured against the PulseAudio server of the test
// session (its default sink "out" is a 22050 Hz mono null sink):
//
//   phrase_gap_ms       longest stretch between two clips of one phrase at
//                       the sink, worst over all phrases played (goal 0)
//   phrase_overhead_ms  wall time of play() minus the length of its clips,
//                       worst over all phrases played while nobody records
//                       (goal <= 30)
//   post_latency_us     99th percentile of the time TMyThread::post takes
//                       while the thread is busy speaking (goal <= 20)
//   sound_libraries_load_ms  what the first phrase of a run pays on top:
//                       loading PulseAudio's client library and libsndfile
//                       (with its codecs), which the program does not load
//                       at start; this benchmark does not link them either
//
// Details (median, mean, counts) go to stderr; stdout holds the figures.

#include "stats.h"

#include "phrasegaps.h"
#include "support/monitorrecorder.h"

#include "core/mythread.h"
#include "core/speech/cliptable.h"
#include "core/speech/wavdecoder.h"
#include "platform/speech/pulseapi.h"
#include "platform/speech/pulseplayer.h"

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <numeric>
#include <thread>
#include <vector>

using namespace std::chrono;

namespace {

using benchstats::median;
using benchstats::percentile;
using phrasegaps::measurePhrases;
using phrasegaps::PhraseFigures;

// Times post() while the announcer is held inside a phrase.
std::vector<double> measurePosts(int rounds, int postsPerRound)
{
    std::vector<double> us;
    us.reserve(size_t(rounds * postsPerRound));
    for (int round = 0; round < rounds; ++round) {
        std::mutex m;
        std::condition_variable cv;
        bool busy = false;
        bool release = false;
        hy::TMyThread thread(
            [&](int, int) {
                std::unique_lock lock(m);
                busy = true;
                cv.notify_all();
                cv.wait(lock, [&] { return release; });
            },
            [&] {
                std::lock_guard lock(m);
                release = true;
                cv.notify_all();
            });
        thread.Resume();
        thread.post(hy::ClockTime, 905);
        {
            std::unique_lock lock(m);
            cv.wait(lock, [&] { return busy; });
        }
        for (int i = 0; i < postsPerRound; ++i) {
            const auto t0 = steady_clock::now();
            thread.post(hy::MinuteCount, i % 60 + 1);
            us.push_back(duration<double, std::micro>(steady_clock::now() - t0).count());
        }
        thread.stop();
    }
    return us;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (!qEnvironmentVariableIsSet("PULSE_SERVER"))
        std::fprintf(stderr, "note: PULSE_SERVER is not set; using the default server\n");

    hy::ClipTable clips;
    clips.load();
    const auto loadStart = std::chrono::steady_clock::now();
    const bool pulseLoaded = hy::loadPulse() != nullptr;
    const bool decodes = hy::WavDecoder(clips.clip(0)).isValid();
    const double loadMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - loadStart)
            .count();
    if (!pulseLoaded || !decodes) {
        std::fprintf(stderr, "the sound libraries did not load\n");
        return 1;
    }
    if (clips.loadedCount() != hy::ClipTable::kClipCount) {
        std::fprintf(stderr, "only %d clips loaded\n", clips.loadedCount());
        return 1;
    }

    const int rounds = 3;
    const PhraseFigures fig = measurePhrases(clips, rounds, true);
    const PhraseFigures plain = measurePhrases(clips, rounds, false);
    const std::vector<double> posts = measurePosts(5, 20000);

    const double mean = std::accumulate(posts.begin(), posts.end(), 0.0) / double(posts.size());
    // The overhead counts as the program meets it: nobody records the monitor.
    // With parec on the monitor, the start of each new stream comes up to about
    // 50 ms later at this null sink (most likely behind what the sink rendered
    // ahead for the monitor, which it cannot rewind), so those figures are
    // shown as details only.
    const double worstOverhead = *std::max_element(plain.overheads.begin(), plain.overheads.end());
    std::fprintf(stderr,
                 "# %zu recorded phrases: gap median %.2f ms, worst %.2f ms; overhead median "
                 "%.2f ms, worst %.2f ms; phrases not heard whole: %d\n",
                 fig.gaps.size(), median(fig.gaps),
                 *std::max_element(fig.gaps.begin(), fig.gaps.end()), median(fig.overheads),
                 *std::max_element(fig.overheads.begin(), fig.overheads.end()), fig.missing);
    std::fprintf(stderr, "# %zu unrecorded phrases: overhead median %.2f ms, worst %.2f ms\n",
                 plain.overheads.size(), median(plain.overheads),
                 *std::max_element(plain.overheads.begin(), plain.overheads.end()));
    std::fprintf(stderr, "# %zu posts: mean %.3f us, median %.3f us, p99 %.3f us, max %.1f us\n",
                 posts.size(), mean, median(posts), percentile(posts, 0.99),
                 *std::max_element(posts.begin(), posts.end()));

    if (fig.missing > 0)
        std::printf("phrase_gap_ms: nan ms\n"); // samples were lost or changed
    else
        std::printf("phrase_gap_ms: %.2f ms\n",
                    *std::max_element(fig.gaps.begin(), fig.gaps.end()));
    std::printf("phrase_overhead_ms: %.2f ms\n", worstOverhead);
    std::printf("post_latency_us: %.3f us\n", percentile(posts, 0.99));
    std::printf("sound_libraries_load_ms: %.2f ms\n", loadMs);
    return fig.missing > 0 ? 1 : 0;
}
