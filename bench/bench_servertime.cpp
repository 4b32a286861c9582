// 对时 against the time servers of the tests (tests/fakes/timeservers.h) on
// the loopback, whose clocks run +1.234 s and -0.5 s from this computer's:
//   offset_error_ms  the largest distance of a measured offset from the true
//                    one, over every server and run (goal <= 20);
//   offset_check_ms  the median time one 对时 takes against the web server,
//                    from the click to the result (goal <= 3000).
// HYBENCH_QUICK=1 makes 2 runs a server instead of 5.
#include "fakes/timeservers.h"
#include "stats.h"

#include "core/clock.h"
#include "core/servertime/servertimekeeper.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <cstdio>
#include <memory>

namespace {

struct Run
{
    bool ok = false;
    double errorMs = 0;
    double tookMs = 0;
    double uncertaintyMs = 0;
};

Run checkOnce(const QString& address, qint64 trueOffsetUs)
{
    hy::SystemClock local;
    hy::ServerClock clock(local);
    hy::ServerTimeKeeper keeper(clock, hy::makeEventLoopTimer);
    QEventLoop loop;
    QObject::connect(&keeper, &hy::ServerTimeKeeper::changed, &loop, [&] {
        if (!keeper.checking())
            loop.quit();
    });
    QElapsedTimer took;
    took.start();
    keeper.setAddress(address);
    if (!keeper.check())
        return {};
    if (keeper.checking())
        loop.exec();
    Run r;
    r.tookMs = double(took.nsecsElapsed()) / 1e6;
    if (const auto o = clock.lastOffset()) {
        r.ok = keeper.lastError().isEmpty();
        r.errorMs = double(std::llabs(o->offsetUs - trueOffsetUs)) / 1000.0;
        r.uncertaintyMs = double(o->uncertaintyUs) / 1000.0;
    }
    if (!r.ok)
        std::fprintf(stderr, "check of %s failed: %s\n", qPrintable(address),
                     qPrintable(keeper.lastError()));
    return r;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int runs = qEnvironmentVariableIntValue("HYBENCH_QUICK") == 1 ? 2 : 5;
    std::vector<double> errors;
    std::vector<double> webTimes;
    bool failed = false;
    for (const bool web : {false, true}) {
        for (const qint64 offset : {1234000LL, -500000LL}) {
            const TimeServerSetup setup{offset, 0, Answer::Proper};
            std::unique_ptr<QObject> server;
            QString address;
            if (web) {
                auto* s = new FakeWebServer(setup);
                address = s->address();
                server.reset(s);
            } else {
                auto* s = new FakeSntpServer(setup);
                address = s->address();
                server.reset(s);
            }
            std::vector<double> own;
            std::vector<double> plusMinus;
            for (int i = 0; i < runs; ++i) {
                const Run r = checkOnce(address, offset);
                failed |= !r.ok;
                if (!r.ok)
                    continue;
                own.push_back(r.errorMs);
                plusMinus.push_back(r.uncertaintyMs);
                errors.push_back(r.errorMs);
                if (web)
                    webTimes.push_back(r.tookMs);
            }
            std::printf("# %s server %+.3f s: error median %.2f ms, max %.2f ms; claimed +/- "
                        "median %.2f ms (%d runs)\n",
                        web ? "web" : "SNTP", double(offset) / 1e6, benchstats::median(own),
                        own.empty() ? NAN : *std::max_element(own.begin(), own.end()),
                        benchstats::median(plusMinus), runs);
        }
    }
    if (errors.empty() || webTimes.empty())
        return 1;
    std::printf("# web check time: median %.0f ms, max %.0f ms\n", benchstats::median(webTimes),
                *std::max_element(webTimes.begin(), webTimes.end()));
    std::printf("offset_error_ms: %.2f ms\n", *std::max_element(errors.begin(), errors.end()));
    std::printf("offset_check_ms: %.0f ms\n", benchstats::median(webTimes));
    return failed ? 1 : 0;
}
