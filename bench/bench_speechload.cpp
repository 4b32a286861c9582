// Speech on a busy machine: two CPU hogs and a disk writer (children of this
// benchmark: two busy loops and a loop that rewrites a 256 MiB file with an
// fsync every 64 MiB) run all along, against the sound server of the test
// session:
//
//   phrase_gap_under_load_ms      the longest stretch of silence inside a
//                                 phrase at the sink (the phrases of
//                                 bench_speech, several rounds; goal 0)
//   count_lateness_under_load_ms  the latest first sample at the sink of a
//                                 second count against its place on the
//                                 count's one-second schedule (goal <= 30)
//
// The counts come from a countdown in the main window with the real services
// (as bench_latency has it: tick thread, tick event, countdown engine,
// announcer thread, speaker, the real player), which says every second second
// of its last 30 (10 with HYBENCH_QUICK=1, which also plays fewer phrases),
// after one phrase to warm up. The sink is recorded with 5 ms fragments and
// each sample placed in time by the latencies the recording stream reports.
#include "phrasegaps.h"
#include "sinkclock.h"
#include "stats.h"

#include "formcountdown.h"

#include <QTemporaryDir>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace std::chrono;
using namespace sinkclock;

namespace {

// The hogs and the writer, ended with this object (or with this process).
class Load
{
public:
    explicit Load(const QByteArray& file)
    {
        for (int i = 0; i < 2; ++i)
            spawn([] {
                std::atomic<unsigned> n{0};
                for (;;)
                    n.fetch_add(1, std::memory_order_relaxed);
            });
        spawn([file] {
            const int fd = ::open(file.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            static char block[1 << 20];
            for (long written = 0;; ++written) {
                if (fd < 0 || ::write(fd, block, sizeof block) < 0)
                    _exit(1);
                if (written % 64 == 63)
                    ::fsync(fd);
                if (written % 256 == 255)
                    ::lseek(fd, 0, SEEK_SET);
            }
        });
    }
    ~Load()
    {
        for (const pid_t pid : m_children) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }

private:
    template <typename F>
    void spawn(F body)
    {
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            body();
            _exit(0);
        }
        if (pid > 0)
            m_children.push_back(pid);
    }
    std::vector<pid_t> m_children;
};

// How late each spoken count of a countdown in the main window came against
// the tick schedule: tick j is due j seconds after an origin, the one the
// earliest tick allows (a tick is never early). `toPlay`: of each, how much
// of it passed before the phrase reached the player.
std::vector<double> countLateness(hy::Application& app, int seconds, int& lost,
                                  std::vector<double>& toPlay)
{
    SinkRecorder recorder;
    QString why;
    if (!recorder.start(5, why)) {
        std::fprintf(stderr, "cannot record out.monitor: %s\n", qPrintable(why));
        std::exit(1);
    }
    Log log;
    const int rc = formcountdown::run(app, log, seconds, 2, true);
    recorder.stop();
    const std::optional<SampleClock> clock = sampleClock(recorder);
    if (rc != 0 || !clock || log.ticks.empty()) {
        std::fprintf(stderr, "the countdown or its recording failed\n");
        std::exit(1);
    }
    double originMs = ms(log.ticks[0] - clock->base);
    for (size_t j = 0; j < log.ticks.size(); ++j)
        originMs = std::min(originMs, ms(log.ticks[j] - clock->base) - 1000.0 * double(j));
    std::vector<double> late;
    for (const Log::Play& play : log.plays) {
        const auto tick = std::upper_bound(log.ticks.begin(), log.ticks.end(), play.at);
        if (tick == log.ticks.begin())
            continue; // the warm-up
        const double dueMs = originMs + 1000.0 * double(tick - log.ticks.begin() - 1);
        const double heardMs = firstSoundMs(recorder.samples(), *clock, play.firstImage, dueMs);
        if (std::isnan(heardMs)) {
            ++lost;
            continue;
        }
        late.push_back(heardMs - dueMs);
        toPlay.push_back(ms(play.at - clock->base) - dueMs);
        if (qEnvironmentVariableIsSet("BENCH_VERBOSE"))
            std::fprintf(stderr,
                         "#   count due %+.0f ms: tick after %.1f ms, play() after %.1f ms, heard "
                         "after %.1f ms\n",
                         dueMs, ms(*(tick - 1) - clock->base) - dueMs, toPlay.back(), late.back());
    }
    return late;
}

} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir scratch;
    if (!scratch.isValid())
        return 1;
    // Before any thread: the children run plain loops only.
    Load load(QFile::encodeName(scratch.filePath(QStringLiteral("written"))));
    hy::Application app(argc, argv);
    app.prepareWindows();
    hy::ClipTable clips;
    clips.load();
    if (clips.loadedCount() != hy::ClipTable::kClipCount)
        return 1;
    const bool quick = qEnvironmentVariableIntValue("HYBENCH_QUICK") == 1;
    std::this_thread::sleep_for(seconds(2)); // the load takes hold
    std::fprintf(stderr, "# load average with the load: %s\n", qPrintable(QString::fromLatin1([] {
                     QFile f(QStringLiteral("/proc/loadavg"));
                     return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed() : QByteArray();
                 }())));

    const phrasegaps::PhraseFigures gaps = phrasegaps::measurePhrases(clips, quick ? 1 : 3, true);
    int lost = 0;
    std::vector<double> toPlay; // of each count: from its due time to play()
    const std::vector<double> late = countLateness(app, quick ? 10 : 30, lost, toPlay);

    std::printf("# %zu phrases: longest silence inside, median %.2f ms; not heard whole: %d\n",
                gaps.gaps.size(), benchstats::median(gaps.gaps), gaps.missing);
    std::printf("# %zu counts: lateness median %.1f ms, p90 %.1f ms; not found: %d; of it, due "
                "to play(): median %.1f ms, max %.1f ms\n",
                late.size(), benchstats::median(late), benchstats::percentile(late, 0.9), lost,
                benchstats::median(toPlay), benchstats::percentile(toPlay, 1.0));
    if (gaps.missing > 0 || gaps.gaps.empty())
        std::printf("phrase_gap_under_load_ms: nan ms\n");
    else
        std::printf("phrase_gap_under_load_ms: %.2f ms\n",
                    *std::max_element(gaps.gaps.begin(), gaps.gaps.end()));
    if (lost > 0 || late.empty())
        std::printf("count_lateness_under_load_ms: nan ms\n");
    else
        std::printf("count_lateness_under_load_ms: %.1f ms\n",
                    *std::max_element(late.begin(), late.end()));
    return 0;
}
