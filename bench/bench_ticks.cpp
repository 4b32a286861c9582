// How closely the countdown's tick source keeps its one-second schedule.
//
// hy::TickThread runs for HYBENCH_TICK_SECONDS seconds (default 600). Each
// tick's distance from its schedule is the steady-clock time at which the
// tick's callback runs minus (origin + k seconds), where the origin is taken
// right before start() (start() takes its own origin a few hundred nanoseconds
// later, so distances read that much too late at most). Positive = late.
//
//   tick_drift_ms           where the schedule stands at the end: the median
//                           distance of the last 60 ticks (one tick that a
//                           busy moment made late is jitter, not drift; the
//                           last tick's own distance is in a comment line)
//   tick_jitter_p99_ms      99th percentile of |distance| over all ticks
//   tick_drift_60s_ms       distance of tick 60
//   qtimer_coarse_drift_ms  the same as tick_drift_ms for a QTimer of 1000 ms
//                           with the default (coarse) timer type, running at
//                           the same time in its own thread with its own event
//                           loop, measured from its own start()
//
// The callback does what the window's does (post an event to an object on the
// main thread); when that event is handled is reported in a comment line.

#include "stats.h"

#include "platform/tickthread.h"

#include <QCoreApplication>
#include <QEvent>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <numeric>
#include <vector>

using namespace std::chrono;

namespace {

using Clock = steady_clock;

double ms(Clock::duration d)
{
    return duration<double, std::milli>(d).count();
}

// Distances (ms) of a series of ticks from origin + k * period, k from 1.
std::vector<double> distances(const std::vector<Clock::time_point>& at, Clock::time_point origin)
{
    std::vector<double> d;
    d.reserve(at.size());
    for (size_t k = 0; k < at.size(); ++k)
        d.push_back(ms(at[k] - (origin + seconds(k + 1))));
    return d;
}

double percentileAbs(const std::vector<double>& v, double p)
{
    std::vector<double> a;
    a.reserve(v.size());
    for (double x : v)
        a.push_back(std::fabs(x));
    return benchstats::percentile(std::move(a), p);
}

double maxAbs(const std::vector<double>& v)
{
    double m = 0;
    for (double x : v)
        m = std::max(m, std::fabs(x));
    return m;
}

double at(const std::vector<double>& v, size_t tick)
{
    return tick >= 1 && tick <= v.size() ? v[tick - 1] : std::nan("");
}

// One series of tick times, filled from one thread and read after it ends.
struct Series
{
    explicit Series(size_t n) { times.reserve(n); }
    std::vector<Clock::time_point> times;
    Clock::time_point origin;
};

class TickEvent final : public QEvent
{
public:
    static constexpr QEvent::Type kType = QEvent::Type(QEvent::User + 25);
    explicit TickEvent(Clock::time_point due)
        : QEvent(kType)
        , due(due)
    {}
    const Clock::time_point due;
};

// Stands in for the window: notes when each posted tick is handled.
class Receiver final : public QObject
{
public:
    std::vector<double> handledMs; // from the tick's schedule to its handling
    bool event(QEvent* e) override
    {
        if (e->type() != TickEvent::kType)
            return QObject::event(e);
        handledMs.push_back(ms(Clock::now() - static_cast<TickEvent*>(e)->due));
        return true;
    }
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    bool ok = false;
    int runSeconds = qEnvironmentVariableIntValue("HYBENCH_TICK_SECONDS", &ok);
    if (!ok)
        runSeconds = 600;
    if (runSeconds < 1) {
        std::fprintf(stderr, "HYBENCH_TICK_SECONDS must be a whole number of seconds >= 1\n");
        return 2;
    }
    const size_t n = size_t(runSeconds);
    std::printf("# tick run: %d s, TickThread and a coarse QTimer of 1000 ms side by side\n",
                runSeconds);
    std::fflush(stdout);

    // The coarse QTimer in a thread of its own.
    Series coarse(n);
    QThread timerThread;
    timerThread.setObjectName(QStringLiteral("coarse-timer"));
    QTimer* timer = new QTimer; // deleted through deleteLater in its thread
    timer->setInterval(1000);   // timer type left at its default
    timer->moveToThread(&timerThread);
    std::atomic<bool> timerDone{false};
    QObject::connect(timer, &QTimer::timeout, timer, [&, timer] {
        coarse.times.push_back(Clock::now());
        if (coarse.times.size() == n) {
            timer->stop();
            timerDone = true;
            timerThread.quit();
        }
    });
    QObject::connect(&timerThread, &QThread::started, timer, [&, timer] {
        coarse.origin = Clock::now();
        timer->start();
    });
    QObject::connect(&timerThread, &QThread::finished, timer, &QObject::deleteLater);

    // The tick thread, its ticks handed on as the window's are.
    Series ticks(n);
    Receiver receiver;
    std::atomic<bool> ticksDone{false};
    hy::TickThread tickThread([&](quint64) {
        const auto now = Clock::now();
        if (ticks.times.size() >= n)
            return;
        ticks.times.push_back(now);
        const size_t k = ticks.times.size();
        QCoreApplication::postEvent(&receiver, new TickEvent(ticks.origin + seconds(k)));
        if (k == n) {
            ticksDone = true;
            QMetaObject::invokeMethod(
                &app, [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
        }
    });

    timerThread.start();
    ticks.origin = Clock::now();
    tickThread.start(1);
    app.exec(); // until the last tick
    tickThread.stop();
    QCoreApplication::processEvents(); // the last tick's event
    if (!timerThread.wait(QDeadlineTimer(10000))) {
        std::fprintf(stderr, "the QTimer did not reach %zu timeouts\n", n);
        timerThread.quit();
        timerThread.wait();
    }
    if (!ticksDone) {
        std::fprintf(stderr, "the tick thread stopped early\n");
        return 1;
    }

    const std::vector<double> d = distances(ticks.times, ticks.origin);
    const std::vector<double> q = distances(coarse.times, coarse.origin);
    std::printf("# TickThread: %zu ticks, max |distance| %.3f ms, mean distance %.3f ms\n",
                d.size(), maxAbs(d),
                d.empty() ? 0.0 : std::accumulate(d.begin(), d.end(), 0.0) / double(d.size()));
    std::printf(
        "# tick event handled on the main thread: p99 %.3f ms, max %.3f ms after schedule\n",
        percentileAbs(receiver.handledMs, 0.99), maxAbs(receiver.handledMs));
    std::printf("# coarse QTimer: %zu timeouts, distance at 60 s %.3f ms, p99 |distance| %.3f ms, "
                "max %.3f ms\n",
                q.size(), at(q, 60), percentileAbs(q, 0.99), maxAbs(q));
    std::printf("# TickThread: the last tick's distance %.3f ms\n", d.back());
    std::printf(
        "tick_drift_ms: %.3f ms\n",
        benchstats::median({d.end() - std::min<std::ptrdiff_t>(60, std::ssize(d)), d.end()}));
    std::printf("tick_jitter_p99_ms: %.3f ms\n", percentileAbs(d, 0.99));
    std::printf("tick_drift_60s_ms: %.3f ms\n", at(d, 60));
    if (timerDone)
        std::printf("qtimer_coarse_drift_ms: %.3f ms\n", q.back());
    else
        std::printf("qtimer_coarse_drift_ms: nan ms\n");
    return timerDone ? 0 : 1;
}
