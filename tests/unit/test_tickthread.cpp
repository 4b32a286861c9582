#include "platform/tickthread.h"

#include <QtTest>
#include <algorithm>
#include <mutex>
#include <vector>

using namespace std::chrono;
using namespace std::chrono_literals;

class TestTickThread : public QObject
{
    Q_OBJECT
private slots:
    void keepsToScheduleOverTwentySeconds();
    void stopEndsTicks();
    void restartReplacesSchedule();
    void lateCallbackDropsNothing();
};

namespace {
struct Recorder
{
    std::mutex m;
    std::vector<std::pair<quint64, steady_clock::time_point>> ticks;
    void operator()(quint64 run)
    {
        std::lock_guard lock(m);
        ticks.emplace_back(run, steady_clock::now());
    }
    size_t count()
    {
        std::lock_guard lock(m);
        return ticks.size();
    }
};
} // namespace

void TestTickThread::keepsToScheduleOverTwentySeconds()
{
    Recorder rec;
    hy::TickThread ticker([&](quint64 run) { rec(run); });
    const auto origin = steady_clock::now();
    ticker.start(7);
    QTRY_COMPARE_WITH_TIMEOUT(rec.count(), size_t(20), 22000);
    ticker.stop();
    double worst = 0;
    for (size_t k = 0; k < rec.ticks.size(); ++k) {
        QCOMPARE(rec.ticks[k].first, quint64(7));
        const auto due = origin + seconds(k + 1);
        const double off = duration<double, std::milli>(rec.ticks[k].second - due).count();
        worst = std::max(worst, std::abs(off));
    }
    qInfo("worst tick offset: %.3f ms", worst);
    QVERIFY2(worst < 5.0, qPrintable(QString::number(worst)));
}

void TestTickThread::stopEndsTicks()
{
    Recorder rec;
    hy::TickThread ticker([&](quint64 run) { rec(run); }, 20ms);
    ticker.start(1);
    QVERIFY(ticker.isRunning());
    QTRY_VERIFY(rec.count() >= 3);
    ticker.stop();
    QVERIFY(!ticker.isRunning());
    const size_t n = rec.count();
    QTest::qWait(100);
    QCOMPARE(rec.count(), n);
}

void TestTickThread::restartReplacesSchedule()
{
    Recorder rec;
    hy::TickThread ticker([&](quint64 run) { rec(run); }, 50ms);
    ticker.start(1);
    QTRY_VERIFY(rec.count() >= 2);
    ticker.start(2);
    const size_t mark = rec.count();
    QTest::qWait(240);
    ticker.stop();
    std::lock_guard lock(rec.m);
    // Only one schedule runs: about 4 ticks of run 2 in 240 ms, none of run 1.
    const auto later =
        std::vector(rec.ticks.begin() + static_cast<std::ptrdiff_t>(mark), rec.ticks.end());
    QVERIFY(later.size() >= 3 && later.size() <= 5);
    for (const auto& t : later)
        QCOMPARE(t.first, quint64(2));
}

void TestTickThread::lateCallbackDropsNothing()
{
    Recorder rec;
    bool first = true;
    hy::TickThread ticker(
        [&](quint64 run) {
            if (first) {
                first = false;
                std::this_thread::sleep_for(120ms); // a busy moment
            }
            rec(run);
        },
        20ms);
    const auto origin = steady_clock::now();
    ticker.start(3);
    QTest::qWait(300);
    ticker.stop();
    // Ticks due while the callback was busy come late, back to back, but all come.
    const auto expected = duration_cast<milliseconds>(steady_clock::now() - origin).count() / 20;
    QVERIFY2(std::abs(static_cast<long>(rec.count()) - static_cast<long>(expected)) <= 1,
             qPrintable(QStringLiteral("%1 vs %2").arg(rec.count()).arg(expected)));
}

QTEST_GUILESS_MAIN(TestTickThread)
#include "test_tickthread.moc"
