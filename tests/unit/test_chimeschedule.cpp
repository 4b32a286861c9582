// The clock chimes on the program's state, with a clock and timers the test
// drives: when tmrHour fires, what it speaks, and the quiet hours.
#include "fakes/corerig.h"

#include "core/chimeschedule.h"
#include "core/speech/phrases.h"

#include <QtTest>

namespace {

FakePlayer::Phrase clockPhrase(int hour, int minute)
{
    const hy::ClipSequence clips = hy::phrases::clockTime(hour, minute);
    return clipPhrase(QList<int>(clips.begin(), clips.end()));
}

// The phrases the player got, once everything posted so far has been taken:
// 3:33 is posted last and awaited, so a chime that was not posted is known to
// be missing.
std::vector<FakePlayer::Phrase> spokenSoFar(CoreRig& rig)
{
    rig.core->speech().post(hy::ClockTime, 3 * 1000 + 33);
    const FakePlayer::Phrase marker = clockPhrase(3, 33);
    for (;;) {
        std::vector<FakePlayer::Phrase> phrases = rig.player->started();
        const auto at = std::find(phrases.begin(), phrases.end(), marker);
        if (at != phrases.end())
            return {phrases.begin(), at};
        if (!rig.player->waitStarted(phrases.size() + 1))
            return {{}}; // the marker never came: one empty phrase, which no test expects
    }
}

FakeTimer* tmrHour(CoreRig& rig)
{
    return rig.clock->timer("tmrHour");
}

} // namespace

class TestChimeSchedule : public QObject
{
    Q_OBJECT
private slots:
    void timerKeepsPhase();
    void chimesFallOnTheMinute_data();
    void chimesFallOnTheMinute();
    void chimesFollowAClockSetBack();
    void firingSpeaksTime();
    void quietHoursSilenceChimes_data();
    void quietHoursSilenceChimes();
};

void TestChimeSchedule::timerKeepsPhase()
{
    CoreRig rig;
    rig.makeCore();
    rig.clock->now = QTime(10, 20, 30);
    QVERIFY(!tmrHour(rig)->isActive());
    rig.settings().setFlag("IsHour", true);
    QVERIFY(tmrHour(rig)->isActive());
    rig.clock->advance(120);
    const qint64 left = tmrHour(rig)->remainingMs();
    QCOMPARE(left, 30000 - 120);
    rig.settings().setFlag("IsHalf", true); // a second box: the same firings
    QCOMPARE(tmrHour(rig)->remainingMs(), left);
    rig.settings().setFlag("IsHour", true); // no change: nothing runs, the phase stays
    QCOMPARE(tmrHour(rig)->remainingMs(), left);
    rig.settings().setFlag("IsHour", false);
    rig.settings().setFlag("IsHalf", false);
    QVERIFY(!tmrHour(rig)->isActive());
    rig.settings().setFlag("IsFixTimer", true); // aimed at the next minute again
    QCOMPARE(tmrHour(rig)->remainingMs(), 30000 - 120);
    rig.settings().setFlag("IsFixTimer", false);
    QVERIFY(!tmrHour(rig)->isActive());
}

void TestChimeSchedule::chimesFallOnTheMinute_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QTime>("tickedAt");
    QTest::addColumn<int>("firstFiringMs"); // after the tick
    QTest::addColumn<QList<int>>("phrase");
    const QList<int> eleven{11, 12, 10, 13, 10, 1, 14, 15};
    QTest::newRow("hour, at 10:59:38") << "IsHour" << QTime(10, 59, 38) << 22000 << eleven;
    QTest::newRow("hour, at 10:59:59") << "IsHour" << QTime(10, 59, 59) << 1000 << eleven;
    QTest::newRow("hour, at 11:00:00") << "IsHour" << QTime(11, 0, 0) << 0 << eleven;
    QTest::newRow("half hour") << "IsHalf" << QTime(10, 29, 10, 500) << 49500
                               << QList<int>{11, 12, 10, 13, 10, 14, 16};
    QTest::newRow("fixed 9:25") << "IsFixTimer" << QTime(9, 24, 31) << 29000
                                << QList<int>{11, 12, 10, 13, 9, 14, 2, 10, 5};
}

// A box ticked 22 s before the hour speaks at the hour, not 38 s after it.
void TestChimeSchedule::chimesFallOnTheMinute()
{
    QFETCH(QString, key);
    QFETCH(QTime, tickedAt);
    QFETCH(int, firstFiringMs);
    QFETCH(QList<int>, phrase);
    CoreRig rig;
    rig.makeCore();
    rig.clock->now = tickedAt;
    rig.settings().setFlag(key, true);
    QCOMPARE(tmrHour(rig)->remainingMs(), firstFiringMs);
    rig.clock->advance(firstFiringMs);
    QCOMPARE(rig.clock->now.second(), 0);
    QVERIFY(rig.player->waitStarted(1));
    QCOMPARE(rig.player->started().front(), clipPhrase(phrase));
    // One firing a minute from then on, each on second 0.
    QCOMPARE(tmrHour(rig)->remainingMs(), 60000);
}

// The clock set back by an hour after the 11:00 chime: the next firing puts
// the timer right on the minute again, and 11:00 is spoken once more when the
// clock shows it.
void TestChimeSchedule::chimesFollowAClockSetBack()
{
    CoreRig rig;
    rig.makeCore();
    rig.clock->now = QTime(10, 59, 38);
    rig.settings().setFlag("IsHour", true);
    rig.clock->advance(22000 + 10000);
    QVERIFY(rig.player->waitStarted(1));
    rig.clock->now = rig.clock->now.addSecs(-3600); // 10:00:10
    rig.clock->advance(50000);                      // the firing comes at 10:01:00
    QCOMPARE(tmrHour(rig)->remainingMs(), 60000);
    rig.clock->advance(59 * 60000);
    QCOMPARE(rig.clock->now, QTime(11, 0, 0));
    QCOMPARE(spokenSoFar(rig),
             (std::vector<FakePlayer::Phrase>{clockPhrase(11, 0), clockPhrase(11, 0)}));
}

void TestChimeSchedule::firingSpeaksTime()
{
    CoreRig rig;
    rig.makeCore();
    rig.clock->now = QTime(9, 59, 37);
    rig.settings().setFlag("IsHour", true);
    rig.clock->advance(23000 + 60000); // firings at 10:00:00 and 10:01:00
    QCOMPARE(spokenSoFar(rig), std::vector<FakePlayer::Phrase>{clockPhrase(10, 0)});
}

void TestChimeSchedule::quietHoursSilenceChimes_data()
{
    QTest::addColumn<QByteArray>("sound");
    QTest::addColumn<QTime>("before"); // 23 s before the chime
    QTest::addColumn<bool>("heard");
    const QByteArray quiet = "IsQuiet=1\n";
    QTest::newRow("23:00 silent") << quiet << QTime(22, 59, 37) << false;
    QTest::newRow("7:00 heard: the end is not quiet") << quiet << QTime(6, 59, 37) << true;
    QTest::newRow("0:00, past midnight") << quiet << QTime(23, 59, 37) << false;
    QTest::newRow("12:00 heard") << quiet << QTime(11, 59, 37) << true;
    QTest::newRow("quiet hours off") << QByteArray("IsQuiet=0\n") << QTime(22, 59, 37) << true;
    QTest::newRow("a span of one's own")
        << QByteArray("IsQuiet=1\nQuietFrom=11:30\nQuietTo=12:30\n") << QTime(11, 59, 37) << false;
}

// The chimes keep silent in the quiet hours; the countdown speaks on.
void TestChimeSchedule::quietHoursSilenceChimes()
{
    QFETCH(QByteArray, sound);
    QFETCH(QTime, before);
    QFETCH(bool, heard);
    CoreRig rig;
    rig.writeSettings("[Common]\nIsHour=1\nIsSecondCounter=1\nHourCounter=0\nMinuteCounter=0\n"
                      "SecondCounter=3\n[Sound]\n" +
                      sound);
    rig.clock->now = before;
    rig.makeCore();
    rig.clock->advance(23000);
    const QTime chime = before.addSecs(23);
    const auto spoken = spokenSoFar(rig);
    QCOMPARE(spoken.size(), size_t(heard ? 1 : 0));
    if (heard)
        QCOMPARE(spoken.front(), clockPhrase(chime.hour(), chime.minute()));
    const size_t phrases = rig.player->started().size();
    rig.core->startCountdown();
    rig.tick();
    QVERIFY(rig.player->waitStarted(phrases + 1)); // 3
}

QTEST_GUILESS_MAIN(TestChimeSchedule)
#include "test_chimeschedule.moc"
