#pragma once

// The phrases of the program played through the real player while the sink's
// monitor is recorded, and the stretches of silence found inside them: what
// bench_speech and bench_speechload share.
#include "support/monitorrecorder.h"

#include "core/speech/cliptable.h"
#include "platform/speech/pulseplayer.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

namespace phrasegaps {

using namespace std::chrono;

// Clip sequences of the phrases spoken by the program: clock times, minute
// counts and second counts.
const std::vector<std::vector<int>> kPhrases = {
    {11, 12, 10, 13, 9, 14, 0, 5},            // 9:05
    {11, 12, 10, 13, 2, 10, 3, 14, 5, 10, 9}, // 23:59
    {18, 19, 2, 10, 5, 20, 21},               // 25 minutes
    {11, 12, 10, 13, 10, 2, 14, 16},          // 12:30
    {6, 10},                                  // 60 seconds
    {18, 19, 6, 10, 20, 21},                  // 60 minutes
};

// Walks the recording along the phrase's samples and returns the longest
// stretch (ms) that the sink played between two samples that follow each
// other in the phrase: silence between clips, or an underrun inside one. A
// stretch of the phrase that never shows up counts in `missing`.
inline double longestInsertion(QByteArrayView rec, QByteArrayView expected, int& missing)
{
    constexpr qsizetype kProbe = 882; // 20 ms of samples
    qsizetype r = findSamples(rec, expected.first(std::min(kProbe * 5, expected.size())));
    if (r < 0) {
        ++missing;
        return 0;
    }
    double worst = 0;
    qsizetype e = 0;
    while (e < expected.size()) {
        while (e < expected.size() && r < rec.size() && rec[r] == expected[e]) {
            ++r;
            ++e;
        }
        if (e >= expected.size())
            break;
        e &= ~qsizetype(1); // back to the start of the sample that differs
        r &= ~qsizetype(1);
        const QByteArrayView rest = expected.sliced(e, std::min(kProbe, expected.size() - e));
        const qsizetype next = findSamples(rec, rest, r);
        if (next < 0) {
            ++missing;
            break;
        }
        worst = std::max(worst, bytesToMs(next - r));
        r = next;
    }
    return worst;
}

// parec asks for this fragment latency, long enough that the sink keeps the
// latency the player's stream asks for, as in daily use.
constexpr int kRecordLatencyMs = 400;

struct PhraseFigures
{
    std::vector<double> gaps;      // worst gap of each phrase, ms
    std::vector<double> overheads; // play() time minus sound length, ms
    int missing = 0;               // phrases not found byte for byte
};

// Plays every phrase `rounds` times. With `record`, the monitor is recorded
// and the gaps measured; without, the sink runs as it does in daily use (a
// monitor being recorded lowers its latency).
inline PhraseFigures measurePhrases(const hy::ClipTable& clips, int rounds, bool record)
{
    PhraseFigures fig;
    hy::PulsePlayer player;
    for (int round = 0; round < rounds; ++round) {
        for (const auto& phrase : kPhrases) {
            std::vector<QByteArrayView> images;
            QByteArray expected;
            for (int i : phrase) {
                images.push_back(clips.clip(i));
                expected += clipSamples(clips.clip(i)).toByteArray();
            }
            const qsizetype soundBytes = expected.size();
            MonitorRecorder recorder(kRecordLatencyMs);
            if (record && !recorder.start()) {
                std::fprintf(stderr, "cannot record: %s\n", qPrintable(recorder.why()));
                std::exit(1);
            }
            const auto t0 = steady_clock::now();
            player.play(images);
            const double wallMs = duration<double, std::milli>(steady_clock::now() - t0).count();
            fig.overheads.push_back(wallMs - bytesToMs(soundBytes));
            double worstGap = 0;
            if (record) {
                const QByteArray rec = recorder.stop(kRecordLatencyMs + 200);
                worstGap = longestInsertion(rec, expected, fig.missing);
                fig.gaps.push_back(worstGap);
            } else {
                std::this_thread::sleep_for(milliseconds(200)); // as between recorded phrases
            }
            if (qEnvironmentVariableIsSet("BENCH_VERBOSE"))
                std::fprintf(stderr,
                             "#   %s phrase of %zu clips: worst gap %.2f ms, overhead %.2f ms\n",
                             record ? "recorded" : "unrecorded", phrase.size(), worstGap,
                             fig.overheads.back());
        }
    }
    return fig;
}

} // namespace phrasegaps
