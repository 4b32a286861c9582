#include "fakes/countdownfakes.h"

#include "core/inputerror.h"

#include <QtTest>

using hy::CountdownBox;
using hy::CountdownField;

Q_DECLARE_METATYPE(std::vector<int>)

namespace {

struct Rig
{
    FakeCountdownView view;
    FakeTicks ticks;
    FakeClock clock;
    RecordingSink sink;
    hy::CountdownEngine engine{view, ticks, clock, sink};

    void check(std::initializer_list<CountdownBox> boxes)
    {
        for (auto b : boxes)
            view.checked[b] = true;
    }
    // Delivers one tick of the current run; returns what it posted.
    std::vector<Posted> tick() { return tick(ticks.run); }
    std::vector<Posted> tick(quint64 run)
    {
        const size_t before = sink.posted.size();
        engine.tick(run);
        return {sink.posted.begin() + static_cast<std::ptrdiff_t>(before), sink.posted.end()};
    }
    // Runs ticks until the run ends (or `limit`), collecting the arguments
    // posted for `kind`.
    std::vector<int> collect(int kind, int limit = 100000)
    {
        std::vector<int> values;
        for (int i = 0; i < limit && engine.isActive(); ++i) {
            for (const Posted& p : tick())
                if (p.kind == kind)
                    values.push_back(p.argument);
        }
        return values;
    }
};

// Starts a run at 0 s of a virtual time line (12:00:00 on the clock) and
// plays it in steps of 0.1 s: the tick source is due each second after its
// start, and `actions` ("3.5 pause, 3.7 late") come at their times, before a
// tick due then. "late" is a tick of the run of the last tick, as one queued
// before would come. Returns "<seconds> <what>" for each post and each thing
// the view was told (at one moment, posts first).
QStringList play(Rig& rig, const QString& actions)
{
    QMap<qint64, QString> due;
    for (const QString& a : actions.split(", ", Qt::SkipEmptyParts))
        due.insert(qRound64(a.section(' ', 0, 0).toDouble() * 1000), a.section(' ', 1));
    const qint64 lastAction = due.isEmpty() ? 0 : due.lastKey();
    QStringList log;
    quint64 lastRun = 0;
    rig.engine.start();
    for (qint64 t = 0; t < 100000 && (rig.ticks.running || t <= lastAction); t += 100) {
        rig.ticks.now = t;
        rig.clock.now = QTime(12, 0).addMSecs(int(t));
        const QString what = due.value(t);
        std::vector<Posted> posted = what == "late" ? rig.tick(lastRun) : std::vector<Posted>{};
        if (what == "pause")
            rig.engine.pause();
        else if (what == "resume")
            rig.engine.resume();
        else if (what == "stop")
            rig.engine.stop();
        else if (what == "start")
            rig.engine.start();
        else if (what == "once")
            rig.view.checked[CountdownBox::Circle] = false;
        if (rig.ticks.nextAt == t) {
            rig.ticks.nextAt += 1000;
            lastRun = rig.ticks.run;
            posted = rig.tick();
        }
        const QString at = QString::number(t / 1000.0, 'f', 1) + ' ';
        for (const Posted& p : posted)
            log << at + (p.kind == hy::Alert ? QStringLiteral("alert")
                                             : QString::number(p.argument));
        for (const QString& e : std::as_const(rig.view.events))
            log << at + e;
        rig.view.events.clear();
        if (rig.engine.isPaused() != rig.view.paused)
            log << at + "the engine and its view disagree on the pause";
    }
    return log;
}

// A run of `length` that counts its last 10 seconds and gives the alert.
QStringList playRun(const QString& length, bool circle, const QString& startAt,
                    const QString& actions)
{
    Rig rig;
    const QStringList hms = length.split(':');
    rig.view.texts[CountdownField::Hour] = hms[0];
    rig.view.texts[CountdownField::Minute] = hms[1];
    rig.view.texts[CountdownField::Second] = hms[2];
    rig.view.texts[CountdownField::LastSecond] = "10";
    rig.check({CountdownBox::SecondCount, CountdownBox::LastOne});
    rig.view.checked[CountdownBox::Circle] = circle;
    rig.view.checked[CountdownBox::StartTime] = !startAt.isEmpty();
    rig.view.start = QTime::fromString(startAt);
    return play(rig, actions);
}

std::vector<int> countdown(int from, int to, int step = 1)
{
    std::vector<int> v;
    for (int i = from; i >= to; i -= step)
        v.push_back(i);
    return v;
}

} // namespace

class TestCountdown : public QObject
{
    Q_OBJECT
private slots:
    void workedExample();
    void alertReplacesLastSecondCount_data();
    void alertReplacesLastSecondCount();
    void cyclingRestartsAtTick631();
    void intervals_data();
    void intervals();
    void bothCountsAtSixtySecondsLeft();
    void zeroLength_data();
    void zeroLength();
    void longestLength();
    void refusesWithoutCount();
    void badTextStopsStart_data();
    void badTextStopsStart();
    void stopThenStartAndStaleTicks();
    void startWhileActiveKeepsOneTickSource();
    void boxesChangedDuringRun();
    void startTimeGate_data();
    void startTimeGate();
    void gateStaysOpenPastMidnight();
    void pauseAndResume_data();
    void pauseAndResume();
    void endsAreTold_data();
    void endsAreTold();
    void parseLength_data();
    void parseLength();
};

void TestCountdown::workedExample()
{
    Rig rig;
    rig.check({CountdownBox::MinuteCount, CountdownBox::SecondCount});
    rig.engine.start();
    QCOMPARE(rig.view.display, QStringLiteral("0:10:30"));
    QCOMPARE(rig.engine.RemainSeconds, 630);
    QVERIFY(rig.ticks.running);
    QVERIFY(rig.view.running);
    QCOMPARE(rig.view.cycles, 0);

    for (int n = 1; n <= 631; ++n) {
        const int before = rig.engine.RemainSeconds;
        const std::vector<Posted> posted = rig.tick();
        std::vector<Posted> want;
        if (before <= 30 && before >= 0)
            want.push_back({hy::SecondCount, before});
        if (before % 60 == 0 && before / 60 <= 10)
            want.push_back({hy::MinuteCount, before / 60});
        QVERIFY2(posted == want, qPrintable(QStringLiteral("tick %1").arg(n)));
        if (n == 1)
            QCOMPARE(rig.view.display, QStringLiteral("0:10:29"));
        if (n == 31)
            QCOMPARE(rig.view.display, QStringLiteral("0:9:59"));
        if (n == 571)
            QCOMPARE(rig.view.display, QStringLiteral("0:0:59"));
        if (n == 630)
            QCOMPARE(rig.view.display, QStringLiteral("0:0:0"));
        QCOMPARE(rig.engine.isActive(), n < 631);
    }
    // Tick 631 ends the run: timer stopped, buttons back, display unchanged.
    QVERIFY(!rig.ticks.running);
    QVERIFY(!rig.view.running);
    QCOMPARE(rig.view.display, QStringLiteral("0:0:0"));
    QCOMPARE(rig.engine.RemainSeconds, -1);
    // Anything that still arrives counts for nothing.
    QVERIFY(rig.tick().empty());
    QCOMPARE(rig.engine.RemainSeconds, -1);
}

void TestCountdown::alertReplacesLastSecondCount_data()
{
    QTest::addColumn<bool>("userSound");
    QTest::addColumn<int>("alert");
    QTest::newRow("built-in") << false << hy::kBuiltinAlertClip;
    QTest::newRow("user sound") << true << hy::UserAlertSound;
}

void TestCountdown::alertReplacesLastSecondCount()
{
    QFETCH(bool, userSound);
    QFETCH(int, alert);
    Rig rig;
    rig.view.userSound = userSound;
    rig.check({CountdownBox::SecondCount, CountdownBox::LastOne});
    rig.engine.start();
    for (int n = 1; n < 630; ++n)
        rig.tick();
    QCOMPARE(rig.tick(), (std::vector<Posted>{{hy::Alert, alert}}));

    // With only the alert chosen, the run posts the alert and nothing else.
    Rig only;
    only.view.userSound = userSound;
    only.check({CountdownBox::LastOne});
    only.engine.start();
    std::vector<Posted> all;
    while (only.engine.isActive())
        for (const Posted& p : only.tick())
            all.push_back(p);
    QCOMPARE(all, (std::vector<Posted>{{hy::Alert, alert}}));
}

void TestCountdown::cyclingRestartsAtTick631()
{
    Rig rig;
    rig.check({CountdownBox::MinuteCount, CountdownBox::SecondCount, CountdownBox::Circle});
    rig.engine.start();
    for (int n = 1; n <= 630; ++n)
        rig.tick();
    QCOMPARE(rig.tick(), std::vector<Posted>{}); // 630 left again matches no rule
    QCOMPARE(rig.engine.CycleCount, 1);
    QCOMPARE(rig.view.cycles, 1);
    QCOMPARE(rig.view.display, QStringLiteral("0:10:29"));
    QVERIFY(rig.engine.isActive());
    // The next restart comes 630 ticks later.
    for (int n = 1; n <= 630; ++n)
        rig.tick();
    QCOMPARE(rig.engine.CycleCount, 2);
}

void TestCountdown::intervals_data()
{
    QTest::addColumn<QString>("length"); // h:m:s
    QTest::addColumn<QString>("last");
    QTest::addColumn<QString>("per");
    QTest::addColumn<bool>("minutes");
    QTest::addColumn<std::vector<int>>("spoken");

    QTest::newRow("seconds 32 every 5")
        << "0:1:0"
        << "32"
        << "5" << false << std::vector<int>{32, 27, 22, 17, 12, 7, 2};
    QTest::newRow("seconds above the length left out")
        << "0:0:20"
        << "32"
        << "5" << false << std::vector<int>{17, 12, 7, 2};
    QTest::newRow("seconds every 0 is every 1") << "0:0:5"
                                                << "5"
                                                << "0" << false << std::vector<int>{5, 4, 3, 2, 1};
    QTest::newRow("seconds every -3 is every 1") << "0:0:5"
                                                 << "3"
                                                 << "-3" << false << std::vector<int>{3, 2, 1};
    QTest::newRow("seconds negative last never") << "0:0:5"
                                                 << "-3"
                                                 << "1" << false << std::vector<int>{};
    QTest::newRow("seconds typed above the list")
        << "0:2:0"
        << "100"
        << "25" << false << std::vector<int>{100, 75, 50, 25};
    QTest::newRow("minutes 10 every 3") << "0:15:0"
                                        << "10"
                                        << "3" << true << std::vector<int>{10, 7, 4, 1};
    QTest::newRow("minutes 60 every 1 of 1:0:0") << "1:0:0"
                                                 << "60"
                                                 << "1" << true << countdown(60, 1);
    QTest::newRow("minutes every 0 is every 1") << "0:3:0"
                                                << "10"
                                                << "0" << true << std::vector<int>{3, 2, 1};
    QTest::newRow("minutes 5 every 2 of 0:4:30") << "0:4:30"
                                                 << "5"
                                                 << "2" << true << std::vector<int>{3, 1};
}

void TestCountdown::intervals()
{
    QFETCH(QString, length);
    QFETCH(QString, last);
    QFETCH(QString, per);
    QFETCH(bool, minutes);
    QFETCH(std::vector<int>, spoken);
    Rig rig;
    const QStringList hms = length.split(':');
    rig.view.texts[CountdownField::Hour] = hms[0];
    rig.view.texts[CountdownField::Minute] = hms[1];
    rig.view.texts[CountdownField::Second] = hms[2];
    rig.view.texts[minutes ? CountdownField::LastMinute : CountdownField::LastSecond] = last;
    rig.view.texts[minutes ? CountdownField::PerMinute : CountdownField::PerSecond] = per;
    rig.check({minutes ? CountdownBox::MinuteCount : CountdownBox::SecondCount});
    rig.engine.start();
    const std::vector<int> values = rig.collect(minutes ? hy::MinuteCount : hy::SecondCount);
    std::vector<int> audible;
    for (int v : values)
        if (v >= 1)
            audible.push_back(v);
    QCOMPARE(audible, spoken);
}

void TestCountdown::bothCountsAtSixtySecondsLeft()
{
    Rig rig;
    rig.view.texts[CountdownField::Minute] = "1";
    rig.view.texts[CountdownField::Second] = "0";
    rig.view.texts[CountdownField::LastSecond] = "60";
    rig.check({CountdownBox::MinuteCount, CountdownBox::SecondCount});
    rig.engine.start();
    QCOMPARE(rig.tick(), (std::vector<Posted>{{hy::SecondCount, 60}, {hy::MinuteCount, 1}}));
}

void TestCountdown::zeroLength_data()
{
    QTest::addColumn<bool>("circle");
    QTest::newRow("once") << false;
    QTest::newRow("cycling") << true;
}

void TestCountdown::zeroLength()
{
    QFETCH(bool, circle);
    Rig rig;
    rig.view.texts[CountdownField::Minute] = "0";
    rig.view.texts[CountdownField::Second] = "0";
    rig.check({CountdownBox::SecondCount});
    rig.view.checked[CountdownBox::Circle] = circle;
    rig.engine.start();
    QCOMPARE(rig.view.display, QStringLiteral("0:0:0"));
    rig.tick();
    if (!circle) {
        QVERIFY(!rig.engine.isActive());
        QVERIFY(!rig.ticks.running);
        return;
    }
    // Every tick is a restart; the display stays 0:0:0.
    rig.tick();
    rig.tick();
    QCOMPARE(rig.engine.CycleCount, 3);
    QCOMPARE(rig.view.cycles, 3);
    QVERIFY(rig.engine.isActive());
    QCOMPARE(rig.view.display, QStringLiteral("0:0:0"));
}

void TestCountdown::longestLength()
{
    Rig rig;
    rig.view.texts[CountdownField::Hour] = "23";
    rig.view.texts[CountdownField::Minute] = "59";
    rig.view.texts[CountdownField::Second] = "59";
    rig.check({CountdownBox::MinuteCount});
    rig.engine.start();
    QCOMPARE(rig.view.display, QStringLiteral("23:59:59"));
    QCOMPARE(rig.engine.TotalSeconds, 86399);
    rig.tick();
    QCOMPARE(rig.view.display, QStringLiteral("23:59:58"));
    for (int i = 0; i < 3599; ++i) // 86398 - 82799 seconds left
        rig.tick();
    QCOMPARE(rig.view.display, QStringLiteral("22:59:59"));
    QCOMPARE(hy::CountdownEngine::formatHms(1, 0, 5), QStringLiteral("1:0:5"));
}

void TestCountdown::refusesWithoutCount()
{
    Rig rig;
    rig.check({CountdownBox::Circle, CountdownBox::StartTime});
    rig.engine.start();
    QCOMPARE(rig.view.refusals, 1);
    QVERIFY(!rig.engine.isActive());
    QCOMPARE(rig.ticks.starts, 0);
    QCOMPARE(rig.view.display, QStringLiteral("00:10:30"));
    QCOMPARE(rig.view.cycles, -1); // nothing else changed
}

void TestCountdown::badTextStopsStart_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("lastMinute"); // -1: not read before the failure
    QTest::newRow("last minute abc") << int(CountdownField::LastMinute) << "abc" << -1;
    QTest::newRow("per minute empty") << int(CountdownField::PerMinute) << "" << 10;
    QTest::newRow("last second 1.5") << int(CountdownField::LastSecond) << "1.5" << 10;
    QTest::newRow("per second too big") << int(CountdownField::PerSecond) << "99999999999" << 10;
    QTest::newRow("hour with no selection") << int(CountdownField::Hour) << "" << -1;
}

void TestCountdown::badTextStopsStart()
{
    QFETCH(int, field);
    QFETCH(QString, text);
    QFETCH(int, lastMinute);
    Rig rig;
    rig.engine.LastMinute = -1;
    rig.view.cycles = 7;
    rig.view.texts[CountdownField(field)] = text;
    rig.check({CountdownBox::SecondCount});
    try {
        rig.engine.start();
        QFAIL("no error for a bad text");
    } catch (const hy::InputError& e) {
        QVERIFY2(e.text().contains(QStringLiteral("“%1”").arg(text)), qPrintable(e.text()));
    }
    QCOMPARE(rig.engine.LastMinute, lastMinute);
    QCOMPARE(rig.engine.CycleCount, 0);
    QCOMPARE(rig.view.cycles, 0);
    QCOMPARE(rig.ticks.starts, 0);
    QVERIFY(!rig.engine.isActive());
    QVERIFY(!rig.view.running);
    QCOMPARE(rig.view.display, QStringLiteral("00:10:30"));
}

void TestCountdown::stopThenStartAndStaleTicks()
{
    Rig rig;
    rig.check({CountdownBox::SecondCount, CountdownBox::Circle});
    rig.engine.start();
    const quint64 firstRun = rig.ticks.run;
    for (int i = 0; i < 631; ++i)
        rig.tick();
    QCOMPARE(rig.engine.CycleCount, 1);
    rig.engine.stop();
    QVERIFY(!rig.ticks.running);
    QVERIFY(!rig.view.running);
    const QString shown = rig.view.display;
    const int left = rig.engine.RemainSeconds;
    // A tick queued before Stop arrives late: nothing happens.
    rig.engine.tick(firstRun);
    QCOMPARE(rig.view.display, shown);
    QCOMPARE(rig.engine.RemainSeconds, left);

    rig.engine.start();
    QCOMPARE(rig.engine.CycleCount, 0);
    QCOMPARE(rig.engine.RemainSeconds, 630);
    QCOMPARE(rig.view.display, QStringLiteral("0:10:30"));
    // A tick of the old run is not one second of the new run.
    rig.engine.tick(firstRun);
    QCOMPARE(rig.engine.RemainSeconds, 630);
    rig.tick();
    QCOMPARE(rig.engine.RemainSeconds, 629);
}

void TestCountdown::startWhileActiveKeepsOneTickSource()
{
    Rig rig;
    rig.check({CountdownBox::SecondCount});
    rig.engine.start();
    rig.tick();
    rig.tick();
    const quint64 before = rig.ticks.run;
    rig.engine.start(); // as the hotkey could before it knew the state
    QVERIFY(rig.ticks.running);
    QVERIFY(rig.ticks.run != before);
    QCOMPARE(rig.engine.RemainSeconds, 630);
    rig.engine.tick(before);
    QCOMPARE(rig.engine.RemainSeconds, 630);
}

void TestCountdown::boxesChangedDuringRun()
{
    Rig rig;
    rig.view.texts[CountdownField::Minute] = "0";
    rig.view.texts[CountdownField::Second] = "10";
    rig.check({CountdownBox::SecondCount});
    rig.engine.start();
    QCOMPARE(rig.tick(), (std::vector<Posted>{{hy::SecondCount, 10}}));
    rig.view.checked[CountdownBox::SecondCount] = false;
    QVERIFY(rig.tick().empty());
    QVERIFY(rig.engine.isActive()); // no count chosen does not stop a run
    rig.view.checked[CountdownBox::LastOne] = true;
    rig.view.texts[CountdownField::Second] = "3"; // numbers are latched at Start
    std::vector<Posted> rest;
    while (rig.engine.isActive())
        for (const Posted& p : rig.tick())
            rest.push_back(p);
    QCOMPARE(rest, (std::vector<Posted>{{hy::Alert, hy::kBuiltinAlertClip}}));
    rig.view.checked[CountdownBox::Circle] = true; // too late: the run has ended
    QVERIFY(!rig.engine.isActive());
}

void TestCountdown::startTimeGate_data()
{
    QTest::addColumn<QTime>("now");
    QTest::addColumn<QTime>("startAt");
    QTest::addColumn<bool>("counts");
    QTest::newRow("start later") << QTime(8, 0, 0) << QTime(8, 0, 1) << false;
    QTest::newRow("start a minute later") << QTime(8, 59, 59) << QTime(9, 0, 0) << false;
    QTest::newRow("start now") << QTime(8, 0, 1) << QTime(8, 0, 1) << true;
    QTest::newRow("start earlier") << QTime(8, 0, 0) << QTime(7, 59, 59) << true;
    QTest::newRow("milliseconds ignored") << QTime(8, 0, 0, 999) << QTime(8, 0, 0) << true;
}

void TestCountdown::startTimeGate()
{
    QFETCH(QTime, now);
    QFETCH(QTime, startAt);
    QFETCH(bool, counts);
    Rig rig;
    rig.check({CountdownBox::SecondCount, CountdownBox::StartTime});
    rig.view.start = startAt;
    rig.clock.now = now;
    rig.engine.start();
    QCOMPARE(rig.engine.isWaiting(), !counts);
    rig.tick();
    QCOMPARE(rig.engine.RemainSeconds, counts ? 629 : 630);
    QCOMPARE(rig.view.display, counts ? QStringLiteral("0:10:29") : QStringLiteral("0:10:30"));
    QCOMPARE(rig.view.waitingUntil, counts ? QTime() : startAt);
    if (!counts) {
        rig.clock.now = startAt;
        rig.tick();
        QCOMPARE(rig.engine.RemainSeconds, 629);
        QVERIFY(!rig.engine.isWaiting());
        QCOMPARE(rig.view.waitingUntil, QTime());
    }
}

void TestCountdown::gateStaysOpenPastMidnight()
{
    Rig rig;
    rig.check({CountdownBox::SecondCount, CountdownBox::StartTime});
    rig.view.start = QTime(23, 59, 58);
    rig.clock.now = QTime(23, 59, 57);
    rig.engine.start();
    rig.tick();
    QCOMPARE(rig.engine.RemainSeconds, 630); // held back
    rig.clock.now = QTime(23, 59, 58);
    rig.tick();
    rig.clock.now = QTime(23, 59, 59);
    rig.tick();
    rig.clock.now = QTime(0, 0, 0); // past midnight, earlier than the start time
    rig.tick();
    rig.clock.now = QTime(0, 0, 1);
    rig.tick();
    QCOMPARE(rig.engine.RemainSeconds, 626);
    // A new Start closes the gate again until the start time.
    rig.engine.start();
    rig.tick();
    QCOMPARE(rig.engine.RemainSeconds, 630);
    QVERIFY(rig.engine.isWaiting());
    rig.engine.stop(); // no run, nothing to wait for
    QVERIFY(!rig.engine.isWaiting());
    QCOMPARE(rig.view.waitingUntil, QTime());
}

void TestCountdown::pauseAndResume_data()
{
    QTest::addColumn<QString>("length");
    QTest::addColumn<QString>("startAt"); // the start-time gate; "" for none
    QTest::addColumn<QString>("actions");
    QTest::addColumn<QString>("log");
    const auto row = [](const char* name, const char* length, const char* startAt,
                        const char* actions, const char* log) {
        QTest::newRow(name) << length << startAt << actions << log;
    };
    row("pause at 0:0:7 for 3 s", "0:0:10", "", "3.5 pause, 3.7 late, 6.5 resume, 6.7 late",
        "1.0 10, 2.0 9, 3.0 8, 3.5 paused 0:0:7, 6.5 unpaused 0:0:7, 7.5 7, 8.5 6, 9.5 5, "
        "10.5 4, 11.5 3, 12.5 2, 13.5 alert, 14.5 0, 14.5 ended 0:0:10");
    row("a second pause or resume changes nothing", "0:0:2", "",
        "1.5 pause, 1.6 pause, 2.5 resume, 2.6 resume",
        "1.0 2, 1.5 paused 0:0:1, 2.5 unpaused 0:0:1, 3.5 alert, 4.5 0, 4.5 ended 0:0:2");
    row("resume while counting, pause after the end: nothing", "0:0:2", "", "0.5 resume, 3.5 pause",
        "1.0 2, 2.0 alert, 3.0 0, 3.0 ended 0:0:2");
    row("stop while paused ends the run", "0:0:10", "", "1.5 pause, 2.0 stop, 3.0 resume",
        "1.0 10, 1.5 paused 0:0:9, 2.0 unpaused 0:0:9");
    row("start while paused begins a new run", "0:0:2", "", "1.5 pause, 2.2 start",
        "1.0 2, 1.5 paused 0:0:1, 2.2 unpaused 0:0:2, 3.2 2, 4.2 alert, 5.2 0, 5.2 ended 0:0:2");
    row("paused while waiting for the start time", "0:0:2", "12:00:02", "0.5 pause, 4.0 resume",
        "0.0 waiting until 12:00:02, 0.5 paused 0:0:2, 4.0 unpaused 0:0:2, 5.0 2, "
        "5.0 waiting over, 6.0 alert, 7.0 0, 7.0 ended 0:0:2");
}

void TestCountdown::pauseAndResume()
{
    QFETCH(QString, length);
    QFETCH(QString, startAt);
    QFETCH(QString, actions);
    QFETCH(QString, log);
    QCOMPARE(playRun(length, false, startAt, actions), log.split(", "));
}

void TestCountdown::endsAreTold_data()
{
    QTest::addColumn<QString>("length");
    QTest::addColumn<bool>("circle");
    QTest::addColumn<QString>("actions");
    QTest::addColumn<QString>("told"); // the ends in the log
    const auto row = [](const char* name, const char* length, bool circle, const char* actions,
                        const char* told) {
        QTest::newRow(name) << length << circle << actions << told;
    };
    row("once", "0:0:2", false, "", "3.0 ended 0:0:2");
    row("cycling", "0:0:2", true, "7.5 stop", "3.0 cycle 1, 5.0 cycle 2, 7.0 cycle 3");
    row("cycling, then once", "0:0:2", true, "4.0 once", "3.0 cycle 1, 5.0 ended 0:0:2");
    row("stopped", "0:0:2", false, "2.5 stop", "");
    row("0:0:0 cycling tells no cycles", "0:0:0", true, "3.5 stop", "");
}

void TestCountdown::endsAreTold()
{
    QFETCH(QString, length);
    QFETCH(bool, circle);
    QFETCH(QString, actions);
    QFETCH(QString, told);
    static const QRegularExpression end(QStringLiteral("^[0-9.]+ (ended|cycle) "));
    QCOMPARE(playRun(length, circle, QString(), actions).filter(end),
             told.split(", ", Qt::SkipEmptyParts));
}

void TestCountdown::parseLength_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("length"); // "" when refused
    QTest::addColumn<QString>("reasonHas");
    const auto row = [](const char* name, const char* text, const char* length,
                        const char* reasonHas = "") {
        QTest::newRow(name) << QString::fromUtf8(text) << length << QString::fromUtf8(reasonHas);
    };
    row("plain", "1:2:3", "1:2:3");
    row("blanks, leading zeros", " 00 :\t05: 000000 ", "0:5:0");
    row("the longest", "23:59:59", "23:59:59");
    row("hours out of range", "24:0:0", "", "小时应为 0 到 23");
    row("minutes out of range", "0:60:0", "", "分钟应为 0 到 59");
    row("seconds out of range", "0:0:99999999999999", "", "秒应为 0 到 59");
    row("negative", "0:-1:0", "", "分钟应为");
    row("letters", "0:5m:0", "", "分钟应为");
    row("full-width digits", "０:5:0", "", "小时应为");
    row("an empty part", "0:0:", "", "秒应为");
    row("two parts", "5:0", "", "时:分:秒");
    row("four parts", "0:0:5:0", "", "时:分:秒");
    row("a length of nothing", "0:00:0", "", "不能是 0:0:0");
}

void TestCountdown::parseLength()
{
    QFETCH(QString, text);
    QFETCH(QString, length);
    QFETCH(QString, reasonHas);
    QString reason;
    const std::optional<hy::CountdownLength> parsed = hy::parseLength(text, &reason);
    QCOMPARE(parsed ? parsed->toString() : QString(), length);
    QVERIFY2(parsed ? reason.isEmpty() : reason.contains(reasonHas) && reason.contains(text),
             qPrintable(reason));
}

QTEST_GUILESS_MAIN(TestCountdown)
#include "test_countdown.moc"
