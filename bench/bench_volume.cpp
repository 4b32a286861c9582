// volume_change_ms: from a change of the volume (what the page's slider does:
// SpeechOutput::setVolume, which hands the level to the player) in the
// middle of a phrase to the first sample at the sink at the new level,
// measured against the sound server of the test session. Worst of several
// changes, 100 % to 50 % and back (goal <= 100).
//
// The moment of the change is placed in the recording by how much of it had
// arrived then, which lags the sink by the recorder's own latency (about
// 10 ms), so the figure errs on the long side. The sink's monitor hears a
// sample when the sink mixes it; a real device plays it its own latency
// later (the stream asks for about 20 ms). The sound is a steady tone in
// the clips' format rather than speech, whose pauses would hold no sample to
// tell the level by.

#include "stats.h"

#include "support/monitorrecorder.h"
#include "support/wavbuilder.h"

#include "platform/speech/pulseplayer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cmath>
#include <cstdio>
#include <thread>

namespace {

const qint16* samplesAt(QByteArrayView bytes, qsizetype offset)
{
    return reinterpret_cast<const qint16*>(bytes.data() + offset);
}

// Milliseconds from byte `changeAt` of the recording to the first sample (one
// that is not near silence) at `ratio` of the phrase's own; NaN when none is
// found.
double toNewLevel(QByteArrayView rec, QByteArrayView expected, qsizetype start, qsizetype changeAt,
                  double ratio)
{
    for (qsizetype at = changeAt & ~qsizetype(1); at + 1 < rec.size(); at += 2) {
        const qsizetype e = at - start;
        if (e < 0)
            continue;
        if (e + 1 >= expected.size())
            break;
        const int want = *samplesAt(expected, e);
        const int got = *samplesAt(rec, at);
        // Samples near silence cannot tell one level from the other.
        if (std::abs(want) >= 100 && std::abs(got - ratio * want) <= 1 + 0.02 * std::abs(want))
            return bytesToMs(at - changeAt);
    }
    return std::nan("");
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // Eight seconds; 441 Hz repeats every 50 samples.
    const QByteArray tone = toneWave(22050, 1, 8 * 22050, 441, 16000);
    const std::vector<QByteArrayView> phrase{tone};
    const QByteArray expected = clipSamples(tone).toByteArray();
    const int trials = qEnvironmentVariableIntValue("HYBENCH_QUICK") == 1 ? 4 : 10;
    std::vector<double> delays;
    int lost = 0;
    for (int trial = 0; trial < trials; ++trial) {
        const bool down = trial % 2 == 0;
        hy::PulsePlayer player;
        player.setVolume(down ? 100 : 50);
        MonitorRecorder recorder;
        if (!recorder.start()) {
            std::fprintf(stderr, "cannot record: %s\n", qPrintable(recorder.why()));
            return 1;
        }
        std::thread speaker([&] { player.play(phrase); });
        // Into the phrase by a second or so, at a moment that differs from
        // trial to trial.
        const QByteArrayView probe = QByteArrayView(expected).first(4410);
        QElapsedTimer waited;
        waited.start();
        qsizetype start = -1;
        QByteArray so_far;
        while (waited.elapsed() < 5000) {
            so_far = recorder.samples();
            if (down)
                start = findSamples(so_far, probe);
            else if (std::any_of(so_far.begin(), so_far.end(), [](char c) { return c != 0; }))
                start = 0;
            if (start >= 0 && bytesToMs(so_far.size() - start) > 1000 + 37 * trial)
                break;
            QThread::msleep(3);
        }
        const qsizetype changeAt = recorder.samples().size();
        QElapsedTimer call;
        call.start();
        player.setVolume(down ? 50 : 100);
        std::fprintf(stderr, "setVolume took %.2f ms, %.0f ms into the recording\n",
                     double(call.nsecsElapsed()) / 1e6, bytesToMs(changeAt));
        QThread::msleep(500);
        player.abort();
        speaker.join();
        const QByteArray rec = recorder.stop(100);
        // The phrase's place in the recording: found whole at 100 %, or
        // after the change for a phrase that began at 50 %.
        const qsizetype at100 = findSamples(rec, QByteArrayView(expected).first(4410), 0);
        qsizetype origin = at100;
        if (!down) {
            // Where the phrase stands at 100 % after the change: find a
            // stretch of it after changeAt and go back to its start.
            origin = -1;
            for (qsizetype e = 0; e + 882 < expected.size() && origin < 0; e += 882) {
                const qsizetype hit = findSamples(rec, QByteArrayView(expected).sliced(e, 882),
                                                  changeAt & ~qsizetype(1));
                if (hit >= 0)
                    origin = hit - e;
            }
        }
        const double ms = origin < 0
                              ? std::nan("")
                              : toNewLevel(rec, expected, origin, changeAt, down ? 0.5 : 1.0);
        std::fprintf(stderr, "trial %d (%s): %.1f ms\n", trial, down ? "100 -> 50" : "50 -> 100",
                     ms);
        if (std::isnan(ms))
            ++lost;
        else
            delays.push_back(ms);
    }
    std::fprintf(stderr, "median %.1f ms, %d of %d not measured\n", benchstats::median(delays),
                 lost, trials);
    if (lost > 0 || delays.empty())
        std::printf("volume_change_ms: nan ms\n");
    else
        std::printf("volume_change_ms: %.1f ms\n", *std::max_element(delays.begin(), delays.end()));
    return 0;
}
