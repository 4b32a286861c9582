#include "support/monitorrecorder.h"

#include "core/announce.h"
#include "core/speech/cliptable.h"
#include "core/speech/sharedsound.h"
#include "core/speech/speaker.h"
#include "platform/speech/pulseplayer.h"

#include <QElapsedTimer>
#include <QtTest>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <functional>
#include <thread>

using namespace std::chrono;

namespace {

// Runs a piece of code and returns the warnings it printed, one a line.
QByteArray warningsOf(const std::function<void()>& body)
{
    static QByteArray collected;
    collected.clear();
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
            if (type == QtWarningMsg)
                collected += text.toUtf8() + '\n';
        });
    body();
    qInstallMessageHandler(previous);
    return collected;
}

// Restores an environment variable when it goes out of scope.
struct EnvGuard
{
    explicit EnvGuard(const char* name)
        : name(name)
        , had(qEnvironmentVariableIsSet(name))
        , value(qgetenv(name))
    {}
    ~EnvGuard()
    {
        if (had)
            qputenv(name, value);
        else
            qunsetenv(name);
    }
    const char* name;
    bool had;
    QByteArray value;
};

// A one-second 440 Hz tone, 44.1 kHz stereo: another format than the clips.
QByteArray stereoTone()
{
    const int frames = 44100;
    QByteArray data;
    for (int i = 0; i < frames; ++i) {
        const auto v = qint16(8000 * std::sin(2 * M_PI * 440 * i / 44100.0));
        for (int c = 0; c < 2; ++c)
            data.append(char(v & 0xff)).append(char((v >> 8) & 0xff));
    }
    auto le32 = [](quint32 v) {
        return QByteArray(1, char(v)) + char(v >> 8) + char(v >> 16) + char(v >> 24);
    };
    const QByteArray fmt = QByteArray::fromHex("0100020044ac000010b1020004001000");
    return "RIFF" + le32(quint32(4 + 24 + 8 + data.size())) + "WAVEfmt " + le32(16) + fmt + "data" +
           le32(quint32(data.size())) + data;
}

} // namespace

class TestPulsePlayer : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void clockPhraseIsGapless();
    void returnsWhenSoundEnds_data();
    void returnsWhenSoundEnds();
    void badClipsDoNotStopPhrase_data();
    void badClipsDoNotStopPhrase();
    void deadServerWarnsOncePerOutage();
    void abortCutsOffPhrase();

private:
    QByteArray samples(std::initializer_list<int> clips) const
    {
        QByteArray out;
        for (int i : clips)
            out += clipSamples(m_clips.clip(i)).toByteArray();
        return out;
    }

    hy::ClipTable m_clips;
};

void TestPulsePlayer::initTestCase()
{
    QVERIFY2(qEnvironmentVariableIsSet("PULSE_SERVER"), "run inside the test session");
    m_clips.load();
    QCOMPARE(m_clips.loadedCount(), hy::ClipTable::kClipCount);
}

void TestPulsePlayer::clockPhraseIsGapless()
{
    hy::PulsePlayer player;
    hy::SharedSound userSound;
    hy::Speaker speaker(m_clips, userSound, player);
    const QByteArray expected = samples({11, 12, 10, 13, 9, 14, 0, 5});

    MonitorRecorder recorder;
    QVERIFY2(recorder.start(), qPrintable(recorder.why()));
    QElapsedTimer t;
    t.start();
    speaker.speak(hy::ClockTime, 9005);
    const double elapsed = double(t.nsecsElapsed()) / 1e6;
    const QByteArray recording = recorder.stop();

    // play() returns only once the sound has ended.
    QVERIFY2(elapsed >= bytesToMs(expected.size()) - 60,
             qPrintable(QStringLiteral("%1 ms for %2 ms of sound")
                            .arg(elapsed)
                            .arg(bytesToMs(expected.size()))));
    const qsizetype start = findSamples(recording, QByteArrayView(expected).first(4410));
    QVERIFY2(start >= 0, "the first clip never reached the sink");
    const QByteArrayView heard = QByteArrayView(recording).sliced(start);
    qsizetype same = 0;
    while (same < expected.size() && same < heard.size() && heard[same] == expected[same])
        ++same;
    QVERIFY2(same == expected.size(),
             qPrintable(QStringLiteral("the phrase differs from its clips after %1 ms of %2 ms")
                            .arg(bytesToMs(same))
                            .arg(bytesToMs(expected.size()))));
}

void TestPulsePlayer::returnsWhenSoundEnds_data()
{
    QTest::addColumn<bool>("recording");
    // A monitor being recorded changes the sink's latency; the player must
    // not depend on it.
    QTest::newRow("nobody records") << false;
    QTest::newRow("monitor recorded") << true;
}

void TestPulsePlayer::returnsWhenSoundEnds()
{
    QFETCH(bool, recording);
    MonitorRecorder recorder;
    if (recording)
        QVERIFY2(recorder.start(), qPrintable(recorder.why()));

    hy::PulsePlayer player;
    const std::vector<QByteArrayView> phrase{m_clips.clip(18), m_clips.clip(19), m_clips.clip(7)};
    const double soundMs = bytesToMs(samples({18, 19, 7}).size());
    std::atomic<bool> done{false};
    const auto t0 = steady_clock::now();
    steady_clock::time_point returned;
    std::thread speaker([&] {
        player.play(phrase);
        returned = steady_clock::now();
        done = true;
    });
    // Generous: this catches a play() that never ends, not a slow one.
    const auto giveUp = t0 + milliseconds(qint64(soundMs) + 2000);
    while (!done && steady_clock::now() < giveUp)
        std::this_thread::sleep_for(milliseconds(10));
    if (!done)
        player.abort(); // frees the thread so the failure is reported
    speaker.join();
    QVERIFY2(returned < giveUp, "play() did not return after the sound");
    const double elapsed = duration<double, std::milli>(returned - t0).count();
    // The sink may take the last samples up to its latency before they are
    // due; a play() that did not wait for the sound would be off by its whole
    // buffer.
    QVERIFY2(elapsed >= soundMs - 60,
             qPrintable(QStringLiteral("%1 ms for %2 ms of sound").arg(elapsed).arg(soundMs)));
}

void TestPulsePlayer::badClipsDoNotStopPhrase_data()
{
    QTest::addColumn<QByteArray>("middle");
    QTest::addColumn<bool>("contiguous"); // clips 11 and 12 heard back to back

    QTest::newRow("random bytes") << QByteArray("\x52\x49\x46\x46garbage", 11) << true;
    QTest::newRow("header without samples")
        << QByteArray::fromHex("524946462400000057415645666d7420100000000100010022560000"
                               "44ac00000200100064617461"
                               "00000000")
        << true;
    QTest::newRow("cut in the header") << m_clips.clip(3).first(30).toByteArray() << true;
    QTest::newRow("another format") << stereoTone() << false;
}

void TestPulsePlayer::badClipsDoNotStopPhrase()
{
    QFETCH(QByteArray, middle);
    QFETCH(bool, contiguous);

    hy::PulsePlayer player;
    MonitorRecorder recorder;
    QVERIFY2(recorder.start(), qPrintable(recorder.why()));
    player.play({m_clips.clip(11), middle, m_clips.clip(12)});
    const QByteArray recording = recorder.stop();

    const QByteArray first = samples({11});
    const QByteArray second = samples({12});
    const qsizetype at = findSamples(recording, first);
    QVERIFY2(at >= 0, "clip 11 was not heard whole");
    const qsizetype next = findSamples(recording, second, at + first.size());
    QVERIFY2(next >= 0, "clip 12 was not heard whole after clip 11");
    if (contiguous) {
        QCOMPARE(next, at + first.size());
    } else {
        // The second of tone was heard in between; each change of stream may
        // add a little silence, as it drains one stream and opens the next.
        const QByteArrayView between =
            QByteArrayView(recording).sliced(at + first.size(), next - at - first.size());
        qsizetype sounding = 0;
        for (qsizetype i = 0; i + 1 < between.size(); i += 2)
            sounding += (between[i] != 0 || between[i + 1] != 0) ? 2 : 0;
        QVERIFY2(bytesToMs(sounding) > 990 && bytesToMs(between.size()) < 1200,
                 qPrintable(QStringLiteral("%1 ms of tone in %2 ms")
                                .arg(bytesToMs(sounding))
                                .arg(bytesToMs(between.size()))));
    }
}

void TestPulsePlayer::deadServerWarnsOncePerOutage()
{
    EnvGuard restore("PULSE_SERVER");
    const QByteArray live = restore.value;
    hy::PulsePlayer player;
    const std::vector<QByteArrayView> phrase{m_clips.clip(1), m_clips.clip(2)};
    double slowest = 0;
    auto playTimed = [&] {
        QElapsedTimer t;
        t.start();
        player.play(phrase);
        slowest = std::max(slowest, double(t.nsecsElapsed()) / 1e6);
    };

    MonitorRecorder recorder;
    QVERIFY2(recorder.start(), qPrintable(recorder.why()));
    double reachedMs = 0;
    const QByteArray warnings = warningsOf([&] {
        qputenv("PULSE_SERVER", "unix:/nonexistent");
        for (int i = 0; i < 3; ++i)
            playTimed();
        // The server is back: the next phrase is heard and warns of nothing.
        qputenv("PULSE_SERVER", live);
        QElapsedTimer t;
        t.start();
        player.play(phrase);
        reachedMs = double(t.nsecsElapsed()) / 1e6;
        // A second outage is reported again, once.
        qputenv("PULSE_SERVER", "unix:/nonexistent");
        for (int i = 0; i < 3; ++i)
            playTimed();
    });
    const QByteArray recording = recorder.stop();

    const QList<QByteArray> lines = warnings.trimmed().split('\n');
    QVERIFY2(lines.size() == 2, warnings.constData());
    for (const QByteArray& line : lines)
        QVERIFY2(line.contains("no sound output") && line.contains("sound server"),
                 line.constData());
    QVERIFY2(slowest < 100, qPrintable(QStringLiteral("%1 ms without a server").arg(slowest)));
    const QByteArray expected = samples({1, 2});
    QVERIFY(reachedMs >= bytesToMs(expected.size()) - 60);
    const qsizetype at = findSamples(recording, expected);
    QVERIFY2(at >= 0, "the phrase played between the outages was not heard");
    QCOMPARE(findSamples(recording, QByteArrayView(expected).first(4410), at + 2), -1);
}

void TestPulsePlayer::abortCutsOffPhrase()
{
    hy::PulsePlayer player;
    std::vector<QByteArrayView> phrase;
    QByteArray expected;
    for (int round = 0; round < 3; ++round) {
        for (int clip : {11, 12, 10, 13, 14, 15}) {
            phrase.push_back(m_clips.clip(clip));
            expected += clipSamples(m_clips.clip(clip)).toByteArray();
        }
    }
    QVERIFY(bytesToMs(expected.size()) > 8000);

    MonitorRecorder recorder;
    QVERIFY2(recorder.start(), qPrintable(recorder.why()));
    std::atomic<bool> done{false};
    steady_clock::time_point returned;
    const auto called = steady_clock::now();
    std::thread speaker([&] {
        player.play(phrase);
        returned = steady_clock::now();
        done = true;
    });
    std::this_thread::sleep_for(milliseconds(700));
    QVERIFY(!done);
    const auto aborted = steady_clock::now();
    player.abort();
    speaker.join();
    const double cutMs = duration<double, std::milli>(returned - aborted).count();

    // Later phrases return at once.
    QElapsedTimer t;
    t.start();
    player.play(phrase);
    const double laterMs = double(t.nsecsElapsed()) / 1e6;
    const QByteArray recording = recorder.stop();

    qInfo("play() returned %.1f ms after abort()", cutMs);
    QVERIFY2(cutMs < 100, qPrintable(QStringLiteral("play() went on %1 ms").arg(cutMs)));
    QVERIFY2(laterMs < 5, qPrintable(QStringLiteral("%1 ms after the abort").arg(laterMs)));

    // The sink heard the phrase's start, and silence once it was cut off.
    const qsizetype start = findSamples(recording, QByteArrayView(expected).first(4410));
    QVERIFY2(start >= 0, "the phrase never reached the sink");
    const QByteArrayView heard = QByteArrayView(recording).sliced(start);
    qsizetype same = 0;
    while (same < expected.size() && same < heard.size() && heard[same] == expected[same])
        ++same;
    // No more than was due by the abort, with a little for the server to act.
    const double dueMs = duration<double, std::milli>(aborted - called).count();
    QVERIFY2(bytesToMs(same) > 300 && bytesToMs(same) < dueMs + 200,
             qPrintable(QStringLiteral("%1 ms of the phrase heard, %2 ms due by the abort")
                            .arg(bytesToMs(same))
                            .arg(dueMs)));
    const QByteArrayView after = heard.sliced(same);
    QVERIFY2(after.size() > 0 &&
                 std::all_of(after.begin(), after.end(), [](char c) { return c == 0; }),
             "sound after the cut-off");
}

QTEST_GUILESS_MAIN(TestPulsePlayer)
#include "test_pulseplayer.moc"
