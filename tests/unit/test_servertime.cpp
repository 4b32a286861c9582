#include "fakes/countdownfakes.h"
#include "fakes/faketime.h"
#include "fakes/timeservers.h"

#include "core/servertime/servertimekeeper.h"
#include "core/servertime/sntpprobe.h"
#include "core/servertime/webdateprobe.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QtTest>
#include <memory>

Q_DECLARE_METATYPE(Answer)
Q_DECLARE_METATYPE(TimeServerSetup)

namespace {

constexpr qint64 Minute = 60 * 1000;
constexpr qint64 DayUs = 24LL * 60 * 60 * 1000000;

// Server minus local time for a server whose clock reads `when` now.
qint64 offsetTo(const QDate& when)
{
    return QDateTime(when, QTime(12, 0), Qt::UTC).toMSecsSinceEpoch() * 1000 - hy::wallClockUs();
}

// A keeper on the real wall clock, as the program has it, with fake timers.
struct KeeperRig
{
    FakeTime time;
    hy::ServerClock clock{time};
    hy::ServerTimeKeeper keeper{clock, time.factory()};

    // Checks `address` and waits for the outcome.
    bool check(const QString& address)
    {
        keeper.setAddress(address);
        if (!keeper.check())
            return true;
        return QTest::qWaitFor([&] { return !keeper.checking(); }, 20000);
    }
};

std::unique_ptr<QObject> makeServer(bool web, const TimeServerSetup& setup, QString* address,
                                    std::function<int()>* requests)
{
    if (web) {
        auto* s = new FakeWebServer(setup);
        *address = s->address();
        *requests = [s] { return s->requests; };
        return std::unique_ptr<QObject>(s);
    }
    auto* s = new FakeSntpServer(setup);
    *address = s->address();
    *requests = [s] { return s->requests; };
    return std::unique_ptr<QObject>(s);
}

} // namespace

class TestServerTime : public QObject
{
    Q_OBJECT
private slots:
    void offsetMeasured_data();
    void offsetMeasured();
    void badServerChangesNothing_data();
    void badServerChangesNothing();
    void clockAddsFreshOffset_data();
    void clockAddsFreshOffset();
    void followingRechecksEveryTenMinutes();
    void texts_data();
    void texts();
    void httpDates_data();
    void httpDates();
    void addresses_data();
    void addresses();
    void ntpTimestamps();
};

void TestServerTime::offsetMeasured_data()
{
    QTest::addColumn<bool>("web");
    QTest::addColumn<qint64>("offsetUs");
    QTest::addColumn<int>("delayMs");
    QTest::addColumn<int>("toleranceMs");
    QTest::addColumn<Answer>("answer");
    const Answer proper = Answer::Proper;
    QTest::newRow("ntp +1.234 s") << false << 1234000LL << 0 << 20 << proper;
    QTest::newRow("ntp -0.5 s") << false << -500000LL << 0 << 20 << proper;
    QTest::newRow("ntp +1.234 s, 100 ms trip") << false << 1234000LL << 100 << 60 << proper;
    QTest::newRow("ntp +30 days") << false << 30 * DayUs + 1234000 << 0 << 20 << proper;
    QTest::newRow("ntp answers twice") << false << 1234000LL << 0 << 20 << Answer::Twice;
    QTest::newRow("web +1.234 s") << true << 1234000LL << 0 << 20 << proper;
    QTest::newRow("web -0.5 s") << true << -500000LL << 0 << 20 << proper;
    QTest::newRow("web +1.234 s, 100 ms trip") << true << 1234000LL << 100 << 60 << proper;
    QTest::newRow("web -0.5 s, 100 ms trip") << true << -500000LL << 100 << 60 << proper;
    QTest::newRow("web +30 days") << true << 30 * DayUs - 500000 << 0 << 20 << proper;
}

void TestServerTime::offsetMeasured()
{
    QFETCH(bool, web);
    QFETCH(qint64, offsetUs);
    QFETCH(int, delayMs);
    QFETCH(int, toleranceMs);
    QFETCH(Answer, answer);
    QString address;
    std::function<int()> requests;
    const auto server = makeServer(web, {offsetUs, delayMs, answer}, &address, &requests);
    KeeperRig rig;
    QVERIFY(rig.check(address));
    QVERIFY2(rig.keeper.lastError().isEmpty(), qPrintable(rig.keeper.lastError()));
    const auto measured = rig.clock.lastOffset();
    QVERIFY(measured);
    const qint64 error = std::llabs(measured->offsetUs - offsetUs);
    QVERIFY2(error <= toleranceMs * 1000LL, qPrintable(QStringLiteral("off by %1 us").arg(error)));
    // What it claims to know holds the truth.
    QVERIFY2(
        error <= measured->uncertaintyUs + 1000,
        qPrintable(
            QStringLiteral("off by %1 us, claims +/-%2").arg(error).arg(measured->uncertaintyUs)));
    QVERIFY(std::llabs(measured->measuredAtMs - QDateTime::currentMSecsSinceEpoch()) < Minute);
    QVERIFY(requests() <= (web ? hy::WebDateProbe::MaxRequests : hy::SntpProbe::Samples));
    QVERIFY(rig.keeper.resultText().startsWith(hy::offsetText(*measured)));
}

void TestServerTime::badServerChangesNothing_data()
{
    QTest::addColumn<bool>("web");
    QTest::addColumn<TimeServerSetup>("setup");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("timeoutMs"); // of each request
    QTest::addColumn<int>("withinMs");  // the result comes this soon; 0: not timed
    const auto answer = [](Answer a) { return TimeServerSetup{0, 0, a}; };
    const auto at = [](const QDate& when) { return TimeServerSetup{offsetTo(when)}; };
    const auto stamps = [](quint64 ntp) { return TimeServerSetup{0, 0, Answer::Proper, ntp}; };
    const auto date = [](const char* header) {
        return TimeServerSetup{0, 0, Answer::Proper, std::nullopt, header};
    };
    const QString nonsense = QStringLiteral("不可信");
    QTest::newRow("ntp never answers") << false << answer(Answer::Silent) << "没有回答" << 400 << 0;
    QTest::newRow("ntp answers garbage")
        << false << answer(Answer::Garbage) << "不是对时信息" << 400 << 0;
    QTest::newRow("ntp port closed")
        << false << answer(Answer::Closed) << "端口没有开" << hy::RequestTimeoutMs << 1000;
    QTest::newRow("ntp in 2100") << false << at(QDate(2100, 6, 1)) << nonsense << 400 << 0;
    QTest::newRow("ntp before the build") << false << at(QDate(2001, 6, 1)) << nonsense << 400 << 0;
    QTest::newRow("ntp zero stamps") << false << stamps(0) << "还没有设置" << 400 << 0;
    QTest::newRow("ntp near-zero stamps")
        << false << stamps(5ULL << 32) << "还没有设置" << 400 << 0;
    QTest::newRow("web never answers") << true << answer(Answer::Silent) << "没有回答" << 400 << 0;
    QTest::newRow("web answers garbage")
        << true << answer(Answer::Garbage) << "不是网页回答" << 400 << 0;
    QTest::newRow("web Date without seconds")
        << true << answer(Answer::NoSeconds) << "没有秒" << 400 << 0;
    QTest::newRow("web without Date")
        << true << answer(Answer::NoDate) << "没有时间（Date）" << 400 << 0;
    QTest::newRow("web in the year 1")
        << true << date("Mon, 01 Jan 0001 00:00:00 GMT") << nonsense << 400 << 0;
    QTest::newRow("web in the year 0")
        << true << date("Sat, 01 Jan 0000 00:00:00 GMT") << "看不懂" << 400 << 0;
    QTest::newRow("web in 2100") << true << date("Fri, 01 Jan 2100 00:00:00 GMT") << nonsense << 400
                                 << 0;
    QTest::newRow("web sends 9 MB of headers")
        << true << answer(Answer::HugeHeaders) << "超过 64 KiB" << hy::RequestTimeoutMs << 0;
}

// A check that fails says why and keeps the offset found before.
void TestServerTime::badServerChangesNothing()
{
    QFETCH(bool, web);
    QFETCH(TimeServerSetup, setup);
    QFETCH(QString, message);
    QFETCH(int, timeoutMs);
    QFETCH(int, withinMs);
    QString address;
    std::function<int()> requests;
    const auto server = makeServer(web, setup, &address, &requests);
    KeeperRig rig;
    const hy::ServerOffset before{-420000, 30000, QDateTime::currentMSecsSinceEpoch()};
    rig.keeper.restore({address, true, before});
    rig.keeper.setRequestTimeout(timeoutMs);
    QElapsedTimer took;
    took.start();
    QVERIFY(rig.check(address));
    if (withinMs > 0)
        QVERIFY2(took.elapsed() < withinMs, qPrintable(QString::number(took.elapsed())));
    QVERIFY2(rig.keeper.lastError().contains(message), qPrintable(rig.keeper.lastError()));
    QCOMPARE(rig.clock.lastOffset(), before);
    QCOMPARE(rig.clock.appliedOffsetUs(), -420000);
    QVERIFY(
        rig.keeper.resultText().contains(QStringLiteral("对时失败：") + rig.keeper.lastError()));
    QVERIFY(
        rig.keeper.resultText().contains(QStringLiteral("本机时间比服务器快 0.42 秒（±0.03）")));
}

void TestServerTime::clockAddsFreshOffset_data()
{
    QTest::addColumn<bool>("follow");
    QTest::addColumn<qint64>("ageMs");  // -1: no offset
    QTest::addColumn<qint64>("stepMs"); // the local clock set since, beyond the time passed
    QTest::addColumn<qint64>("offsetUs");
    QTest::addColumn<QTime>("expected");
    const qint64 o = 1234000;
    const QTime on(9, 0, 0, 234);
    QTest::newRow("following, fresh") << true << 59 * Minute << 0LL << o << on;
    QTest::newRow("following, an hour old") << true << 60 * Minute << 0LL << o << on;
    QTest::newRow("following, older") << true << 61 * Minute << 0LL << o << QTime(8, 59, 59);
    QTest::newRow("following, none") << true << -1LL << 0LL << o << QTime(8, 59, 59);
    QTest::newRow("not following") << false << 0LL << 0LL << o << QTime(8, 59, 59);
    QTest::newRow("clock set back since") << true << Minute << -420LL << o << QTime(9, 0, 0, 654);
    QTest::newRow("clock set on since") << true << Minute << 1234LL << o << QTime(8, 59, 59);
    QTest::newRow("clock jitter") << true << Minute << 30LL << o << on;
    // Beyond the 24.8 days of milliseconds that an int holds.
    QTest::newRow("30 days ahead") << true << Minute << 0LL << 30 * DayUs + o << on;
    QTest::newRow("3 years ahead") << true << Minute << 0LL << 1096 * DayUs + o << on;
    QTest::newRow("30 days behind") << true << Minute << 0LL << -30 * DayUs + o << on;
    QTest::newRow("3 years behind, over midnight")
        << true << Minute << 0LL << -1096 * DayUs - 9 * 3600 * 1000000LL << QTime(23, 59, 59);
}

void TestServerTime::clockAddsFreshOffset()
{
    QFETCH(bool, follow);
    QFETCH(qint64, ageMs);
    QFETCH(qint64, stepMs);
    QFETCH(qint64, offsetUs);
    QFETCH(QTime, expected);
    FakeClock local;
    local.now = QTime(8, 59, 59);
    qint64 wall = 1'800'000'000'000;
    qint64 steady = 5000;
    hy::ServerClock clock(
        local, [&] { return wall; }, [&] { return steady; });
    if (ageMs >= 0)
        clock.setOffset(hy::ServerOffset{offsetUs, 2000, wall - ageMs});
    clock.setFollow(follow);
    wall += stepMs;
    QCOMPARE(clock.timeOfDay(), expected);
}

void TestServerTime::followingRechecksEveryTenMinutes()
{
    FakeWebServer server({-500000, 0, Answer::Proper});
    KeeperRig rig;
    rig.keeper.setAddress(server.address());
    rig.keeper.setFollow(true); // no offset yet: checks at once
    QVERIFY(rig.keeper.checking());
    QTRY_VERIFY_WITH_TIMEOUT(!rig.keeper.checking(), 20000);
    const int first = server.requests;
    QVERIFY(rig.clock.appliedOffsetUs() < 0);
    rig.time.advance(hy::ServerTimeKeeper::RecheckMs - 1);
    QVERIFY(!rig.keeper.checking());
    rig.time.advance(1);
    QVERIFY(rig.keeper.checking());
    QTRY_VERIFY_WITH_TIMEOUT(!rig.keeper.checking(), 20000);
    QVERIFY(server.requests > first);
    rig.keeper.setFollow(false);
    QVERIFY(!rig.time.timer("tmrServerTime")->isActive());
    QCOMPARE(rig.clock.appliedOffsetUs(), 0);
    // Restored at start, following with an offset over an hour old.
    KeeperRig next;
    const qint64 old = QDateTime::currentMSecsSinceEpoch() - 61 * Minute;
    next.keeper.restore({server.address(), true, hy::ServerOffset{-400000, 1000, old}});
    QVERIFY(next.keeper.checking());
    QCOMPARE(next.clock.appliedOffsetUs(), 0);
    QVERIFY(!next.time.timer("tmrServerTimeExpiry")->isActive());
    QTRY_VERIFY_WITH_TIMEOUT(!next.keeper.checking(), 20000);
    QVERIFY(next.clock.appliedOffsetUs() < -400000);
    // The new offset's hour is timed, so the clock's change is told.
    const qint64 hourLeft = next.time.timer("tmrServerTimeExpiry")->remainingMs();
    QVERIFY2(hourLeft > 59 * Minute && hourLeft <= 60 * Minute + 1,
             qPrintable(QString::number(hourLeft)));
    next.keeper.setFollow(false); // no re-checks in the way
    QSignalSpy changes(&next.keeper, &hy::ServerTimeKeeper::changed);
    next.time.advance(hourLeft);
    QCOMPARE(changes.count(), 1);
}

void TestServerTime::texts_data()
{
    QTest::addColumn<qint64>("offsetUs");
    QTest::addColumn<qint64>("uncertaintyUs");
    QTest::addColumn<QString>("expected");
    QTest::newRow("ahead") << -420000LL << 30000LL << "本机时间比服务器快 0.42 秒（±0.03）";
    QTest::newRow("behind") << 1234000LL << 1000LL << "本机时间比服务器慢 1.23 秒（±0.01）";
    QTest::newRow("hours behind") << 7200005000LL << 60000LL
                                  << "本机时间比服务器慢 7200.01 秒（±0.06）";
    QTest::newRow("uncertainty rounds up")
        << -500000LL << 10001LL << "本机时间比服务器快 0.50 秒（±0.02）";
    QTest::newRow("same") << 4000LL << 500LL << "本机时间与服务器相差不到 0.01 秒（±0.01）";
}

void TestServerTime::texts()
{
    QFETCH(qint64, offsetUs);
    QFETCH(qint64, uncertaintyUs);
    QFETCH(QString, expected);
    QCOMPARE(hy::offsetText({offsetUs, uncertaintyUs, 0}), expected);
}

void TestServerTime::httpDates_data()
{
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<qint64>("seconds"); // -1: refused
    QTest::addColumn<QString>("message");
    const qint64 when = QDateTime(QDate(1994, 11, 6), QTime(8, 49, 37), Qt::UTC).toSecsSinceEpoch();
    QTest::newRow("IMF-fixdate") << QByteArray("Sun, 06 Nov 1994 08:49:37 GMT") << when << "";
    QTest::newRow("RFC 850") << QByteArray("Sunday, 06-Nov-94 08:49:37 GMT") << when << "";
    QTest::newRow("asctime") << QByteArray("Sun Nov  6 08:49:37 1994") << when << "";
    QTest::newRow("no seconds") << QByteArray("Sun, 06 Nov 1994 08:49 GMT") << -1LL << "没有秒";
    QTest::newRow("missing") << QByteArray() << -1LL << "没有时间（Date）";
    QTest::newRow("no date") << QByteArray("tomorrow") << -1LL << "看不懂";
    QTest::newRow("31 November") << QByteArray("Mon, 31 Nov 1994 08:49:37 GMT") << -1LL << "看不懂";
    QTest::newRow("local time") << QByteArray("Sun, 06 Nov 1994 08:49:37 CET") << -1LL << "看不懂";
}

void TestServerTime::httpDates()
{
    QFETCH(QByteArray, header);
    QFETCH(qint64, seconds);
    QFETCH(QString, message);
    const auto parsed = hy::parseHttpDate(header);
    if (seconds >= 0)
        QCOMPARE(std::get<qint64>(parsed), seconds);
    else
        QVERIFY2(std::get<QString>(parsed).contains(message),
                 qPrintable(std::get<QString>(parsed)));
}

void TestServerTime::addresses_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("expected"); // "ntp host port", a URL, or the error's words
    QTest::newRow("ntp") << " ntp://ntp.example.com "
                         << "ntp ntp.example.com 123";
    QTest::newRow("ntp with port") << "NTP://127.0.0.1:1123"
                                   << "ntp 127.0.0.1 1123";
    QTest::newRow("https") << "https://shop.example.com/item?id=1"
                           << "https://shop.example.com/item?id=1";
    QTest::newRow("no scheme") << "shop.example.com"
                               << "https://shop.example.com";
    QTest::newRow("empty") << "  "
                           << "请先填写服务器地址";
    QTest::newRow("ftp") << "ftp://files.example.com"
                         << "应以 ntp://";
    QTest::newRow("ntp with path") << "ntp://ntp.example.com/x"
                                   << "看不懂这个地址";
    QTest::newRow("blank inside") << "https://shop example"
                                  << "看不懂这个地址";
}

void TestServerTime::addresses()
{
    QFETCH(QString, typed);
    QFETCH(QString, expected);
    const hy::ParsedAddress parsed = hy::parseServerAddress(typed);
    QString got = parsed.error;
    if (parsed.address) {
        if (const auto* ntp = std::get_if<hy::NtpAddress>(&*parsed.address))
            got = QStringLiteral("ntp %1 %2").arg(ntp->host).arg(ntp->port);
        else
            got = std::get<QUrl>(*parsed.address).toString();
    }
    QVERIFY2(got.startsWith(expected) || got.contains(expected), qPrintable(got));
}

void TestServerTime::ntpTimestamps()
{
    for (const qint64 us : {0LL, 1'765'000'000'123'456LL, 2'085'978'496'000'000LL /* 2036 */,
                            2'100'000'000'500'000LL}) {
        const qint64 back = hy::fromNtpTimestamp(hy::toNtpTimestamp(us));
        QVERIFY2(std::llabs(back - us) <= 1, qPrintable(QString::number(us)));
    }
}

QTEST_MAIN(TestServerTime)
#include "test_servertime.moc"
