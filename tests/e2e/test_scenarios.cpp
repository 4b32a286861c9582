// The program as a new user meets it, driven only from outside: a copy of the
// built binary in a folder of its own (so its settings file is ours to set),
// xdotool for keys and clicks, xprop/xwininfo to look at its window, parec on
// the session's null sink to hear what it says, and libfaketime for the clock.
#include "support/apprun.h"
#include "support/monitorrecorder.h"
#include "support/xdesktop.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPoint>
#include <QProcess>
#include <QRect>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <algorithm>
#include <array>
#include <csignal>
#include <functional>

namespace {

const QString kTitle = QStringLiteral("禾音语音报时器");
constexpr int kClipCount = 23;
// A spoken count may begin this much after its tick (tick thread, event
// queue, announcer, sound server buffering), and this much before it (how
// far the recording's file lags the sink).
constexpr double kLateMs = 1200;
constexpr double kEarlyMs = 100;
const QString kLibFaketime = QStringLiteral("/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1");

// Where the first tab page starts inside the window: the page control sits at
// 0,0 and the default style draws its tab row and pane frame above and left of
// the page. Control positions inside the page are the layout's own.
constexpr QPoint kPageOrigin(2, 28);

// ---- small tools --------------------------------------------------------------

// Types keys at whichever window has the focus.
bool pressKeys(const QStringList& keys)
{
    return xdesk::xdotool(
        QStringList{QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("60")} + keys);
}

// ---- the sound side -----------------------------------------------------------

// The sample data of the 23 speech clips, as the sink must receive them.
class ClipSet
{
public:
    bool load()
    {
        for (int i = 0; i < kClipCount; ++i) {
            QFile f(QStringLiteral(HY_CLIP_DIR "/WAV%1.wav").arg(i));
            if (!f.open(QIODevice::ReadOnly))
                return false;
            m_images[i] = f.readAll();
            if (clip(i).isEmpty())
                return false;
        }
        return true;
    }
    QByteArrayView clip(int i) const { return clipSamples(m_images[i]); }
    double durationMs(int i) const { return bytesToMs(clip(i).size()); }

private:
    std::array<QByteArray, kClipCount> m_images;
};

struct Heard
{
    int clip;
    double ms; // where it begins in the recording
    double lengthMs;
};

// What a recording holds: the clips found whole, in order, and whether any
// sound is there that is not one of them.
struct Transcript
{
    QList<Heard> heard;
    double strayAtMs = -1; // first non-silent sample outside every clip, or -1

    QList<int> clips() const
    {
        QList<int> list;
        for (const Heard& h : heard)
            list << h.clip;
        return list;
    }
    bool contains(int clip) const { return clips().contains(clip); }
    QString describe() const
    {
        QStringList parts;
        for (const Heard& h : heard)
            parts << QStringLiteral("%1@%2ms").arg(h.clip).arg(qRound(h.ms));
        if (strayAtMs >= 0)
            parts << QStringLiteral("unknown sound@%1ms").arg(qRound(strayAtMs));
        return parts.isEmpty() ? QStringLiteral("silence") : parts.join(QLatin1Char(' '));
    }
};

// Where the whole of `clip` lies in `recording`, from `from` on; -1 if
// nowhere. The search runs on the clip's opening samples: the clips end in
// long runs of zeros, which would make a search for the whole clip crawl
// through the silence of the recording.
qsizetype findClip(QByteArrayView recording, QByteArrayView clip, qsizetype from = 0)
{
    const QByteArrayView head = clip.first(std::min<qsizetype>(clip.size(), 512));
    for (qsizetype pos = findSamples(recording, head, from); pos >= 0;
         pos = findSamples(recording, head, pos + 2)) {
        if (recording.size() - pos >= clip.size() && recording.sliced(pos, clip.size()) == clip)
            return pos;
    }
    return -1;
}

Transcript transcribe(QByteArrayView recording, const ClipSet& clips)
{
    Transcript t;
    QList<QPair<qsizetype, qsizetype>> spans;
    for (int i = 0; i < kClipCount; ++i) {
        const QByteArrayView clip = clips.clip(i);
        for (qsizetype pos = findClip(recording, clip); pos >= 0;
             pos = findClip(recording, clip, pos + clip.size())) {
            t.heard.append({i, bytesToMs(pos), bytesToMs(clip.size())});
            spans.append({pos, pos + clip.size()});
        }
    }
    std::sort(t.heard.begin(), t.heard.end(),
              [](const Heard& a, const Heard& b) { return a.ms < b.ms; });
    std::sort(spans.begin(), spans.end());
    // Everything between the clips must be silence.
    qsizetype from = 0;
    auto silentUpTo = [&](qsizetype to) {
        for (qsizetype i = from; i < to; ++i) {
            if (recording[i] != 0) {
                t.strayAtMs = bytesToMs(i);
                return false;
            }
        }
        return true;
    };
    for (const auto& span : spans) {
        if (span.first > from && !silentUpTo(span.first))
            return t;
        from = std::max(from, span.second);
    }
    silentUpTo(recording.size());
    return t;
}

QString timingReport(const Transcript& t, const QList<double>& expectedMs)
{
    QStringList lines;
    for (qsizetype i = 0; i < t.heard.size() && i < expectedMs.size(); ++i)
        lines << QStringLiteral("clip %1 at %2 ms, due %3 ms (%4 ms late)")
                     .arg(t.heard[i].clip)
                     .arg(qRound(t.heard[i].ms))
                     .arg(qRound(expectedMs[i]))
                     .arg(qRound(t.heard[i].ms - expectedMs[i]));
    return lines.join(QStringLiteral("; "));
}

// Every clip begins within [-kEarlyMs, kLateMs] of when it is due.
bool onTime(const Transcript& t, const QList<double>& expectedMs)
{
    if (t.heard.size() != expectedMs.size())
        return false;
    for (qsizetype i = 0; i < expectedMs.size(); ++i) {
        const double late = t.heard[i].ms - expectedMs[i];
        if (late < -kEarlyMs || late > kLateMs)
            return false;
    }
    return true;
}

// How late the latest clip began after it was due, for the log.
void logLateness(const char* what, const Transcript& t, const QList<double>& expectedMs)
{
    double latest = -1e9;
    for (qsizetype i = 0; i < t.heard.size() && i < expectedMs.size(); ++i)
        latest = std::max(latest, t.heard[i].ms - expectedMs[i]);
    qInfo("%s: latest start after due: %d ms", what, qRound(latest));
}

// The clips of one phrase follow each other without a gap.
bool gapless(const Transcript& t, qsizetype first, qsizetype count)
{
    for (qsizetype i = first + 1; i < first + count && i < t.heard.size(); ++i) {
        const double gap = t.heard[i].ms - (t.heard[i - 1].ms + t.heard[i - 1].lengthMs);
        if (std::abs(gap) > 50)
            return false;
    }
    return true;
}

bool restartSoundServer()
{
    const QString dir = qEnvironmentVariable("HYTUNE_E2E_DIR");
    bool ok = false;
    if (!dir.isEmpty())
        xdesk::tool(QStringLiteral(HY_SESSION_SCRIPT), {QStringLiteral("pulse-restart"), dir}, &ok,
                    60000);
    return ok;
}

} // namespace

class TestScenarios : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void firstStartWithoutSettings();
    void secondCountsAndAlert();
    void pauseAndResume();
    void minuteCount();
    void hourChime();
    void settingsRoundTrip();
    void trayRestore();
    void soundServerRestart();
    void frozenSoundServerDoesNotHoldClose();
    void endingsKeepChoices_data();
    void endingsKeepChoices();

private:
    ClipSet m_clips;
};

void TestScenarios::initTestCase()
{
    QVERIFY2(qEnvironmentVariableIsSet("DISPLAY") && qEnvironmentVariableIsSet("PULSE_SERVER"),
             "run inside the test session (tests/e2e/session.sh)");
    QVERIFY2(QFileInfo(QStringLiteral(HY_HYTUNE_BINARY)).isExecutable(), HY_HYTUNE_BINARY);
    QVERIFY2(m_clips.load(), "cannot read the speech clips in " HY_CLIP_DIR);
}

// A fresh folder without a settings file: the window opens centred with the
// default values, and closing it ends the program and creates no file.
void TestScenarios::firstStartWithoutSettings()
{
    App app;
    QVERIFY(!QFileInfo::exists(app.settingsPath()));
    const quint32 id = app.start();
    QVERIFY2(id, "no main window appeared");

    QVERIFY(xdesk::xprop(id, QStringLiteral("_NET_WM_NAME"))
                .contains(QStringLiteral("\"") + kTitle + '"'));
    QCOMPARE(xdesk::clientRect(id).size(), QSize(544, 362));

    // Fixed size, and only minimize and close offered.
    const QString normalHints = xdesk::xprop(id, QStringLiteral("WM_NORMAL_HINTS"));
    QVERIFY2(normalHints.contains(QStringLiteral("minimum size: 544 by 362")) &&
                 normalHints.contains(QStringLiteral("maximum size: 544 by 362")),
             qPrintable(normalHints));
    const QString actions = xdesk::xprop(id, QStringLiteral("_NET_WM_ALLOWED_ACTIONS"));
    QVERIFY2(actions.contains(QStringLiteral("_NET_WM_ACTION_MINIMIZE")) &&
                 actions.contains(QStringLiteral("_NET_WM_ACTION_CLOSE")) &&
                 !actions.contains(QStringLiteral("MAXIMIZE")) &&
                 !actions.contains(QStringLiteral("_NET_WM_ACTION_RESIZE")),
             qPrintable(actions));

    // The whole window, frame included, sits in the middle of the screen.
    // The frame is the window manager's, known to the program only once the
    // window is on the screen: allow a moment to settle.
    const QSize screen = xdesk::clientRect(0).size();
    QRect frame;
    auto centred = [&] {
        const QMargins extents = xdesk::frameExtents(id);
        if (extents.isNull())
            return false;
        frame = xdesk::clientRect(id).marginsAdded(extents);
        const QPointF off(frame.x() + frame.width() / 2.0 - screen.width() / 2.0,
                          frame.y() + frame.height() / 2.0 - screen.height() / 2.0);
        return std::abs(off.x()) <= 3 && std::abs(off.y()) <= 3;
    };
    QVERIFY2(waitUntil(centred, 2000, 100),
             qPrintable(QStringLiteral("frame %1,%2 %3x%4 on a %5x%6 screen")
                            .arg(frame.x())
                            .arg(frame.y())
                            .arg(frame.width())
                            .arg(frame.height())
                            .arg(screen.width())
                            .arg(screen.height())));

    QCOMPARE(app.closeAndWait(), 0);
    QVERIFY2(!QFileInfo::exists(app.settingsPath()), "closing created a settings file");
    // Closed within 15 s: the tips were never fetched.
    QVERIFY(!QFileInfo::exists(app.folder() + QStringLiteral("/tipsupd.dat")));
}

// 0:0:12 with the second count for the last 10 seconds and the alert: Ctrl+F1
// starts it; counts 10 down to 2 and then the alert, each at its tick.
void TestScenarios::secondCountsAndAlert()
{
    App app;
    QVERIFY(app.writeSettings(
        settingsText({QStringLiteral("HourCounter=0"), QStringLiteral("MinuteCounter=0"),
                      QStringLiteral("SecondCounter=12"), QStringLiteral("IsMinuteCounter=0"),
                      QStringLiteral("IsSecondCounter=1"), QStringLiteral("LastSecond=10"),
                      QStringLiteral("PerSecond=1"), QStringLiteral("IsLastOne=1"),
                      QStringLiteral("IsCircle=0")})));
    QVERIFY2(app.start(), "no main window appeared");

    MonitorRecorder rec;
    QVERIFY2(rec.start(), "cannot record the sink");
    const double pressed = rec.positionMs(); // the press comes after this point
    QVERIFY(pressKeys({QStringLiteral("ctrl+F1")}));

    // Tick k comes k seconds after the press and sees 13 - k seconds left:
    // counts 10..2 at ticks 3..11, the alert at tick 12 (one second left),
    // and tick 13 ends the run.
    QVERIFY2(waitUntil([&] { return transcribe(rec.samples(), m_clips).contains(22); }, 18000, 200),
             qPrintable(transcribe(rec.samples(), m_clips).describe()));
    // Nothing may follow: wait out the end of the run and a little more.
    QVERIFY(waitUntil([&] { return rec.positionMs() >= pressed + 15000; }, 10000));
    const Transcript t = transcribe(rec.stop(0), m_clips);

    const QList<int> expectedClips{10, 9, 8, 7, 6, 5, 4, 3, 2, 22};
    QCOMPARE(t.clips(), expectedClips);
    QVERIFY2(t.strayAtMs < 0, qPrintable(t.describe()));
    QList<double> due;
    for (int n = 10; n >= 2; --n)
        due << pressed + (13 - n) * 1000.0;
    due << pressed + 12000.0;
    QVERIFY2(onTime(t, due), qPrintable(timingReport(t, due)));
    logLateness("second counts and alert", t, due);

    QCOMPARE(app.closeAndWait(), 0);
}

// Paused from the command line right after the count 7 for three seconds:
// nothing is heard meanwhile, and after --resume the counts 6..2 and the
// alert come one second apart from the resume, on a fresh schedule.
void TestScenarios::pauseAndResume()
{
    App app;
    QVERIFY(app.writeSettings(
        settingsText({QStringLiteral("HourCounter=0"), QStringLiteral("MinuteCounter=0"),
                      QStringLiteral("SecondCounter=9"), QStringLiteral("IsMinuteCounter=0"),
                      QStringLiteral("IsSecondCounter=1"), QStringLiteral("LastSecond=10"),
                      QStringLiteral("PerSecond=1"), QStringLiteral("IsLastOne=1")})));
    QVERIFY2(app.start(), "no main window appeared");
    MonitorRecorder rec;
    QVERIFY2(rec.start(), "cannot record the sink");
    QCOMPARE(app.runOnce({QStringLiteral("--start")}).exitCode, 0);
    QVERIFY2(waitUntil([&] { return transcribe(rec.samples(), m_clips).contains(7); }, 8000, 20),
             qPrintable(transcribe(rec.samples(), m_clips).describe()));
    QCOMPARE(app.runOnce({QStringLiteral("--pause")}).exitCode, 0);
    const double paused = rec.positionMs();
    const App::Run status = app.runOnce({QStringLiteral("--status")});
    QVERIFY2(status.out.startsWith(QStringLiteral("倒计时已暂停，剩余 0:0:")),
             qPrintable(status.out));
    QVERIFY(waitUntil([&] { return rec.positionMs() >= paused + 3000; }, 10000));
    const double resumed = rec.positionMs();
    QCOMPARE(app.runOnce({QStringLiteral("--resume")}).exitCode, 0);
    const double resumeAnswered = rec.positionMs();
    QVERIFY(waitUntil([&] { return transcribe(rec.samples(), m_clips).contains(22); }, 12000, 100));
    const Transcript t = transcribe(rec.stop(), m_clips);
    QVERIFY2(t.strayAtMs < 0, qPrintable(t.describe()));
    QList<double> due;
    for (const Heard& h : t.heard) {
        // A count on its way when the pause came may end in its first moments.
        QVERIFY2(h.ms < paused + 1000 || h.ms > resumed, qPrintable(t.describe()));
    }
    const QList<int> all = t.clips();
    const qsizetype seven = all.indexOf(7);
    // From the same second: nothing lost, nothing said twice.
    QCOMPARE(all.mid(seven), (QList<int>{7, 6, 5, 4, 3, 2, 22}));
    // After the resume, on a fresh one-second schedule: the first count a
    // second after the resume took effect (between the command's start and
    // its answer; on a busy machine the pause may come after a count more).
    Transcript after;
    for (const Heard& h : t.heard) {
        if (h.ms > resumed)
            after.heard << h;
    }
    QVERIFY2(!after.heard.isEmpty(), qPrintable(t.describe()));
    const double first = after.heard.first().ms;
    QVERIFY2(first >= resumed + 1000 - kEarlyMs && first <= resumeAnswered + 1000 + kLateMs,
             qPrintable(QStringLiteral("first count after the resume at %1 ms, the resume between "
                                       "%2 and %3 ms")
                            .arg(first)
                            .arg(resumed)
                            .arg(resumeAnswered)));
    for (qsizetype k = 0; k < after.heard.size(); ++k)
        due << first + double(k) * 1000.0;
    QVERIFY2(onTime(after, due), qPrintable(timingReport(after, due)));
    logLateness("counts after a resume", after, due);
    QCOMPARE(app.closeAndWait(), 0);
}

// 0:1:5 with the minute count for the last minute: the tick that sees 60 s
// left (the sixth) speaks "1 minute" as one phrase, and nothing before it.
void TestScenarios::minuteCount()
{
    App app;
    QVERIFY(app.writeSettings(
        settingsText({QStringLiteral("HourCounter=0"), QStringLiteral("MinuteCounter=1"),
                      QStringLiteral("SecondCounter=5"), QStringLiteral("IsMinuteCounter=1"),
                      QStringLiteral("LastMinute=1"), QStringLiteral("PerMinute=1"),
                      QStringLiteral("IsSecondCounter=0"), QStringLiteral("IsLastOne=0")})));
    QVERIFY2(app.start(), "no main window appeared");

    MonitorRecorder rec;
    QVERIFY2(rec.start(), "cannot record the sink");
    const double pressed = rec.positionMs(); // the press comes after this point
    QVERIFY(pressKeys({QStringLiteral("ctrl+F1")}));

    QVERIFY2(waitUntil([&] { return transcribe(rec.samples(), m_clips).contains(21); }, 12000, 200),
             qPrintable(transcribe(rec.samples(), m_clips).describe()));
    QVERIFY(waitUntil([&] { return rec.positionMs() >= pressed + 10000; }, 5000));
    const Transcript t = transcribe(rec.stop(0), m_clips);

    const QList<int> expectedClips{18, 19, 1, 20, 21};
    QCOMPARE(t.clips(), expectedClips);
    QVERIFY2(t.strayAtMs < 0, qPrintable(t.describe()));
    QVERIFY2(gapless(t, 0, 5), qPrintable(t.describe()));
    const double due = pressed + 6000;
    QVERIFY2(onTime(Transcript{{t.heard.first()}, -1}, {due}), qPrintable(timingReport(t, {due})));
    logLateness("minute count", t, {due});

    QCOMPARE(app.closeAndWait(), 0);
}

// The on-the-hour chime with the clock started at 9:59:55: spoken once, at
// 10:00:00.
void TestScenarios::hourChime()
{
    App app;
    QVERIFY(app.writeSettings(settingsText({QStringLiteral("IsHour=1")})));

    MonitorRecorder rec;
    QVERIFY2(rec.start(), "cannot record the sink");
    const double launched = rec.positionMs();
    QVERIFY2(app.start({QStringLiteral("LD_PRELOAD=") + kLibFaketime,
                        QStringLiteral("FAKETIME=@2024-01-01 09:59:55"),
                        // Timers run on real time; only the time of day is set.
                        QStringLiteral("FAKETIME_DONT_FAKE_MONOTONIC=1")}),
             "no main window appeared");
    const double shown = rec.positionMs();

    // The program's clock starts at 9:59:55 when the program starts, between
    // the launch and the window appearing; 10:00:00 comes 5 s after that.
    constexpr double kToTheHourMs = 5000;
    QVERIFY2(waitUntil([&] { return transcribe(rec.samples(), m_clips).contains(15); },
                       int(shown + kToTheHourMs + kLateMs + 6000 - rec.positionMs()), 250),
             qPrintable(transcribe(rec.samples(), m_clips).describe()));
    // Then a moment of silence: the phrase is not said again.
    const double heardBy = rec.positionMs();
    QVERIFY(waitUntil([&] { return rec.positionMs() >= heardBy + 1500; }, 5000));
    const Transcript t = transcribe(rec.stop(0), m_clips);

    const QList<int> tenOClock{11, 12, 10, 13, 10, 14, 15};
    QCOMPARE(t.clips(), tenOClock);
    QVERIFY2(t.strayAtMs < 0, qPrintable(t.describe()));
    QVERIFY2(gapless(t, 0, tenOClock.size()), qPrintable(t.describe()));
    // At the hour, not up to a minute after it: the first sample within 1 s
    // after 10:00:00.
    const double began = t.heard.first().ms;
    QVERIFY2(began >= launched + kToTheHourMs - kEarlyMs && began <= shown + kToTheHourMs + 1000,
             qPrintable(QStringLiteral("chime at %1 ms; launched at %2 ms, shown at %3 ms")
                            .arg(began)
                            .arg(launched)
                            .arg(shown)));
    qInfo("hour chime: began %d ms after launch, %d ms after the window showed",
          qRound(began - launched), qRound(began - shown));

    QCOMPARE(app.closeAndWait(), 0);
}

// Choices made with the mouse are saved on close and are all there at the
// next start: the window stays on top and Ctrl+F5, not Ctrl+F1, starts the
// countdown chosen.
void TestScenarios::settingsRoundTrip()
{
    App app;
    // A section with a key: the program may keep its settings here.
    QVERIFY(app.writeSettings("[Common]\r\nIsHour=0\r\n"));
    quint32 id = app.start();
    QVERIFY2(id, "no main window appeared");
    auto above = [&] {
        return xdesk::netWmState(id).contains(QStringLiteral("_NET_WM_STATE_ABOVE"));
    };
    QVERIFY(xdesk::xdotool(
        {QStringLiteral("windowactivate"), QStringLiteral("--sync"), QString::number(id)}));

    // The window may still be placed right after it shows: click once it rests.
    QPoint client = xdesk::clientRect(id).topLeft();
    int steady = 0;
    QVERIFY(waitUntil(
        [&] {
            const QPoint now = xdesk::clientRect(id).topLeft();
            steady = now == client ? steady + 1 : 0;
            client = now;
            return steady >= 4;
        },
        5000, 100));
    const QPoint page = client + kPageOrigin;
    const QPoint countdownGroup = page + QPoint(9, 5);
    const QPoint chimeGroup = page + QPoint(338, 104);
    // Check boxes are clicked on their indicator, combo boxes in the middle.
    const QPoint box(8, 8);
    QVERIFY(xdesk::clickAt(countdownGroup + QPoint(15, 152) + box)); // chkSec
    QVERIFY(xdesk::clickAt(chimeGroup + QPoint(21, 56) + box));      // chkHalf
    QVERIFY(xdesk::clickAt(page + QPoint(338, 203) + box));          // chkDispTop
    QVERIFY2(waitUntil(above, 5000), "ticking the stay-on-top box did not keep the window above");
    // cbbMin "0", cbbSec "3", cbbKey "F5", picked from their drop-down lists.
    QVERIFY(xdesk::clickAt(countdownGroup + QPoint(114 + 35, 77 + 12)));
    QVERIFY(pressKeys({QStringLiteral("Home"), QStringLiteral("Return")}));
    QVERIFY(xdesk::clickAt(countdownGroup + QPoint(195 + 35, 77 + 12)));
    QVERIFY(pressKeys({QStringLiteral("Home"), QStringLiteral("Down"), QStringLiteral("Down"),
                       QStringLiteral("Down"), QStringLiteral("Return")}));
    QVERIFY(xdesk::clickAt(page + QPoint(384 + 36, 250 + 12)));
    QVERIFY(pressKeys({QStringLiteral("Home"), QStringLiteral("Down"), QStringLiteral("Down"),
                       QStringLiteral("Down"), QStringLiteral("Down"), QStringLiteral("Return")}));
    QCOMPARE(app.closeAndWait(), 0);

    // IsHour stays where it stood; the other 20 keys follow in their order.
    const QList<QPair<QString, QString>> expected{
        {"IsHour", "0"},          {"HourCounter", "0"},     {"MinuteCounter", "0"},
        {"SecondCounter", "3"},   {"IsMinuteCounter", "0"}, {"LastMinute", "10"},
        {"PerMinute", "1"},       {"IsSecondCounter", "1"}, {"LastSecond", "30"},
        {"PerSecond", "1"},       {"IsLastOne", "0"},       {"IsCircle", "0"},
        {"IsDispTop", "1"},       {"IsHalf", "1"},          {"IsFixTimer", "0"},
        {"FixHour", "9"},         {"FixMinute", "25"},      {"IsStart", "0"},
        {"StartTime", "5:05:05"}, {"HotKey", "F5"},         {"LastWaveFile", ""},
    };
    QCOMPARE(app.settingsEntries(), expected);

    // Second start: on top from the beginning, and the new key is the hotkey.
    id = app.start();
    QVERIFY2(id, "no main window appeared on the second start");
    QVERIFY2(waitUntil(above, 5000), qPrintable(xdesk::xprop(id, QStringLiteral("_NET_WM_STATE"))));

    MonitorRecorder rec;
    QVERIFY2(rec.start(), "cannot record the sink");
    const double f1 = rec.positionMs();
    QVERIFY(pressKeys({QStringLiteral("ctrl+F1")}));
    // A countdown started by Ctrl+F1 would have spoken 3, 2, 1 by now.
    QVERIFY(waitUntil([&] { return rec.positionMs() >= f1 + 3800; }, 8000));
    const double f5 = rec.positionMs();
    QVERIFY(pressKeys({QStringLiteral("ctrl+F5")}));
    QVERIFY2(waitUntil([&] { return transcribe(rec.samples(), m_clips).contains(1); }, 6000, 100),
             qPrintable(transcribe(rec.samples(), m_clips).describe()));
    QVERIFY(waitUntil([&] { return rec.positionMs() >= f5 + 5000; }, 5000));
    const Transcript t = transcribe(rec.stop(0), m_clips);

    QCOMPARE(t.clips(), (QList<int>{3, 2, 1}));
    QVERIFY2(t.strayAtMs < 0, qPrintable(t.describe()));
    const QList<double> due{f5 + 1000, f5 + 2000, f5 + 3000};
    QVERIFY2(onTime(t, due), qPrintable(timingReport(t, due)));
    logLateness("hotkey chosen by mouse", t, due);

    QCOMPARE(app.closeAndWait(), 0);
}

// Minimized, the window goes from view and from the window list; a click on
// the tray icon brings it back as the active window.
void TestScenarios::trayRestore()
{
    App app;
    const quint32 id = app.start();
    QVERIFY2(id, "no main window appeared");
    // The program's icon in the tray host, once the host has given it its size.
    const QString cls = xdesk::wmClass(id);
    QPoint icon;
    auto iconShown = [&] {
        for (xdesk::Wid w : xdesk::iconsInTray(cls)) {
            const QRect r = xdesk::clientRect(w);
            if (r.width() >= 8 && r.height() >= 8 && r.width() <= 64 && r.height() <= 64) {
                icon = r.center();
                return true;
            }
        }
        return false;
    };
    QVERIFY2(waitUntil(iconShown, 5000, 100), "no tray icon of the program in the tray host");

    QVERIFY(xdesk::xdotool({QStringLiteral("windowminimize"), QString::number(id)}));
    QVERIFY2(waitUntil(
                 [&] {
                     return !xdesk::clientList().contains(id) &&
                            xdesk::mapState(id) != QLatin1String("IsViewable") &&
                            app.mainWindow() == 0;
                 },
                 5000, 100),
             "the minimized window is still in view or in the window list");
    // It stays hidden (nothing brings it back by itself).
    sleepMs(500);
    QVERIFY(app.mainWindow() == 0);

    QVERIFY(xdesk::clickAt(icon));
    quint32 back = 0;
    QVERIFY2(
        waitUntil(
            [&] {
                back = app.mainWindow();
                return back != 0 && xdesk::mapState(back) == QLatin1String("IsViewable") &&
                       xdesk::activeWindow() == back;
            },
            5000, 100),
        qPrintable(QStringLiteral("window %1, active %2").arg(back).arg(xdesk::activeWindow())));
    QVERIFY(!xdesk::netWmState(back).contains(QStringLiteral("_NET_WM_STATE_HIDDEN")));
    QCOMPARE(xdesk::clientRect(back).size(), QSize(544, 362));

    QCOMPARE(app.closeAndWait(), 0);
}

// The sound server goes away and comes back while the program runs: the next
// countdown is heard in full.
void TestScenarios::soundServerRestart()
{
    App app;
    QVERIFY(app.writeSettings(
        settingsText({QStringLiteral("HourCounter=0"), QStringLiteral("MinuteCounter=0"),
                      QStringLiteral("SecondCounter=5"), QStringLiteral("IsSecondCounter=1"),
                      QStringLiteral("LastSecond=10"), QStringLiteral("PerSecond=1")})));
    QVERIFY2(app.start(), "no main window appeared");

    {
        // Speech works before: start, hear the first count, stop.
        MonitorRecorder before;
        QVERIFY2(before.start(), "cannot record the sink");
        QVERIFY(pressKeys({QStringLiteral("ctrl+F1")}));
        QVERIFY2(
            waitUntil([&] { return transcribe(before.samples(), m_clips).contains(5); }, 4000, 50),
            qPrintable(transcribe(before.samples(), m_clips).describe()));
        QVERIFY(pressKeys({QStringLiteral("ctrl+F1")}));
        before.stop(0);
    }

    QVERIFY2(restartSoundServer(), "the sound server did not restart");
    QVERIFY(app.running());

    MonitorRecorder after;
    QVERIFY2(after.start(), "cannot record the sink of the new sound server");
    const double pressed = after.positionMs();
    QVERIFY(pressKeys({QStringLiteral("ctrl+F1")}));
    QVERIFY2(waitUntil([&] { return transcribe(after.samples(), m_clips).contains(1); }, 8000, 100),
             qPrintable(transcribe(after.samples(), m_clips).describe() + QStringLiteral("\n") +
                        app.output()));
    QVERIFY(waitUntil([&] { return after.positionMs() >= pressed + 6500; }, 5000));
    const Transcript t = transcribe(after.stop(0), m_clips);

    QCOMPARE(t.clips(), (QList<int>{5, 4, 3, 2, 1}));
    QVERIFY2(t.strayAtMs < 0, qPrintable(t.describe()));
    QList<double> due;
    for (int k = 1; k <= 5; ++k)
        due << pressed + k * 1000.0;
    QVERIFY2(onTime(t, due), qPrintable(timingReport(t, due)));
    logLateness("after the sound server restart", t, due);

    QCOMPARE(app.closeAndWait(), 0);
}

// The sound server stopped (SIGSTOP, not dead) while the program speaks: a
// close still ends the program at once; the phrase in progress is abandoned.
void TestScenarios::frozenSoundServerDoesNotHoldClose()
{
    QFile pidFile(qEnvironmentVariable("HYTUNE_E2E_DIR") + QStringLiteral("/run/pulse/pid"));
    QVERIFY(pidFile.open(QIODevice::ReadOnly));
    const pid_t server = pid_t(pidFile.readAll().trimmed().toInt());
    QVERIFY(server > 0);
    App app;
    QVERIFY(app.writeSettings(
        settingsText({QStringLiteral("HourCounter=0"), QStringLiteral("MinuteCounter=0"),
                      QStringLiteral("SecondCounter=20"), QStringLiteral("IsSecondCounter=1"),
                      QStringLiteral("LastSecond=20"), QStringLiteral("PerSecond=1")})));
    QVERIFY2(app.start(), "no main window appeared");
    MonitorRecorder rec;
    QVERIFY2(rec.start(), "cannot record the sink");
    QVERIFY(pressKeys({QStringLiteral("ctrl+F1")}));
    QVERIFY2(waitUntil([&] { return transcribe(rec.samples(), m_clips).contains(2); }, 5000, 50),
             qPrintable(transcribe(rec.samples(), m_clips).describe()));
    rec.stop(0);

    QCOMPARE(::kill(server, SIGSTOP), 0);
    const auto thaw = qScopeGuard([&] { ::kill(server, SIGCONT); });
    QThread::msleep(1500); // the next counts are on their way to the frozen server
    const quint32 id = app.mainWindow();
    QVERIFY(id);
    QVERIFY(xdesk::xdotool(
        {QStringLiteral("windowactivate"), QStringLiteral("--sync"), QString::number(id)}));
    QElapsedTimer closing;
    closing.start();
    QVERIFY(xdesk::xdotool({QStringLiteral("key"), QStringLiteral("alt+F4")}));
    QCOMPARE(app.waitForEnd(10000), 0);
    qInfo("closed %lld ms after Alt+F4 with the sound server frozen", closing.elapsed());
    QVERIFY2(closing.elapsed() < 3000, qPrintable(QString::number(closing.elapsed())));
}

void TestScenarios::endingsKeepChoices_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QByteArray>("settings");
    QTest::addColumn<bool>("kept");
    const QByteArray common("[Common]\r\nIsHour=0\r\n");
    QTest::newRow("logout (SIGTERM)") << "TERM" << common << true;
    QTest::newRow("Ctrl+C (SIGINT)") << "INT" << common << true;
    QTest::newRow("hang-up (SIGHUP)") << "HUP" << common << true;
    QTest::newRow("the display goes away") << "display" << common << true;
    QTest::newRow("no section to keep them in")
        << "TERM" << QByteArray("[Other]\r\nA=1\r\n") << false;
}

// A choice made during the run (半点报时 ticked) is in the settings file
// however the program ends, short of a crash.
void TestScenarios::endingsKeepChoices()
{
    QFETCH(QString, how);
    QFETCH(QByteArray, settings);
    QFETCH(bool, kept);
    // A display of this test's own, which it may take away.
    QProcess xvfb;
    QTemporaryDir dir;
    xvfb.setStandardOutputFile(dir.filePath("xvfb.log"));
    xvfb.start(QStringLiteral("Xvfb"),
               {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                QStringLiteral("0"), QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"),
                QStringLiteral("tcp")});
    const auto stopDisplay = qScopeGuard([&] {
        xvfb.kill();
        xvfb.waitForFinished(5000);
    });
    QFile displayNumber(dir.filePath("xvfb.log"));
    QVERIFY(waitUntil([&] { return displayNumber.size() > 0; }, 10000));
    QVERIFY(displayNumber.open(QIODevice::ReadOnly));
    const QString display = ':' + QString::fromLatin1(displayNumber.readAll().trimmed());
    // xdotool on that display: whether it succeeded, and what it printed.
    const auto onDisplay = [&](const QStringList& args, QString* out = nullptr) {
        QProcess tool;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), display);
        tool.setProcessEnvironment(env);
        tool.start(QStringLiteral("xdotool"), args);
        const bool ok = tool.waitForFinished(10000) && tool.exitCode() == 0;
        if (out)
            *out = QString::fromLatin1(tool.readAllStandardOutput()).trimmed();
        return ok;
    };

    App app;
    QVERIFY(app.writeSettings(settings));
    QVERIFY(app.launch({QStringLiteral("DISPLAY=") + display}));
    QString window;
    QVERIFY2(waitUntil(
                 [&] {
                     onDisplay({"search", "--onlyvisible", "--name", kTitle}, &window);
                     window = window.section('\n', 0, 0);
                     return !window.isEmpty();
                 },
                 15000, 100),
             qPrintable(app.output()));
    // 半点报时's box, where the window lays it out (no window manager moves it).
    const QPoint box = kPageOrigin + QPoint(338, 104) + QPoint(21, 56) + QPoint(8, 8);
    QVERIFY(onDisplay({"mousemove", "--window", window, QString::number(box.x()),
                       QString::number(box.y()), "click", "1"}));
    // The click is handled long before the program is told to end.
    QTest::qWait(1000);

    if (how == "display") {
        xvfb.terminate();
    } else {
        const int sig = how == "TERM" ? SIGTERM : how == "INT" ? SIGINT : SIGHUP;
        QCOMPARE(::kill(pid_t(app.pid()), sig), 0);
    }
    QVERIFY(app.waitForEnd() >= 0);
    const auto entries = app.settingsEntries();
    const QPair<QString, QString> half{QStringLiteral("IsHalf"), QStringLiteral("1")};
    if (kept) {
        QVERIFY2(entries.contains(half), qPrintable(app.output()));
    } else {
        QFile file(app.settingsPath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), settings); // never written
    }
}

QTEST_GUILESS_MAIN(TestScenarios)
#include "test_scenarios.moc"
