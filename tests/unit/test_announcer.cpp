#include "fakes/fakeplayer.h"

#include "core/announce.h"
#include "core/mythread.h"
#include "core/speech/cliptable.h"
#include "core/speech/sharedsound.h"
#include "core/speech/speaker.h"
#include "core/speech/speechoutput.h"

#include <QElapsedTimer>
#include <QtTest>
#include <atomic>

using namespace std::chrono_literals;
using Phrase = FakePlayer::Phrase;

// Announcer, speaker and fake player wired as in the program, with clip i
// standing for the bytes "clip<i>".
struct Rig
{
    std::vector<QByteArray> images;
    hy::ClipTable clips;
    hy::SharedSound userSound;
    FakePlayer player;
    hy::Speaker speaker{clips, userSound, player};
    hy::TMyThread thread{[this](int kind, int arg) { speaker.speak(kind, arg); },
                         [this] { player.abort(); }};

    Rig()
    {
        for (int i = 0; i < hy::ClipTable::kClipCount; ++i)
            images.push_back("clip" + QByteArray::number(i));
        for (int i = 0; i < hy::ClipTable::kClipCount; ++i)
            clips.setClip(i, images[i]);
    }
    static Phrase phrase(std::initializer_list<int> indices)
    {
        Phrase p;
        for (int i : indices)
            p.push_back("clip" + QByteArray::number(i));
        return p;
    }
};

class TestAnnouncer : public QObject
{
    Q_OBJECT
private slots:
    void keepsPostingOrder();
    void dropsRequestsOfNoKind();
    void quitRequestEndsLoop();
    void postedBeforeResumeIsKept();
    void skipsStaleSecondCounts();
    void silentCountOvertakesNothing();
    void stopDuringSlowPhraseIsPrompt();
    void errorInOneRequestKeepsThreadAlive();
    void userSoundReplacedWhilePlaying();
    void missingClipIsSilentWord();
    void stuckPlayerIsLetGo();
};

void TestAnnouncer::keepsPostingOrder()
{
    Rig rig;
    rig.thread.Resume();
    rig.thread.post(hy::ClockTime, 9005);
    rig.thread.post(hy::MinuteCount, 3);
    rig.thread.post(hy::Alert, 22);
    rig.thread.post(hy::ClockTime, 0);
    QVERIFY(rig.player.waitFinished(4));
    const std::vector<Phrase> expected{Rig::phrase({11, 12, 10, 13, 9, 14, 0, 5}),
                                       Rig::phrase({18, 19, 3, 20, 21}), Rig::phrase({22}),
                                       Rig::phrase({11, 12, 10, 13, 0, 14, 15})};
    QCOMPARE(rig.player.finished(), expected);
}

void TestAnnouncer::dropsRequestsOfNoKind()
{
    Rig rig;
    rig.thread.Resume();
    rig.thread.post(5, 10);
    rig.thread.post(-1, 0);
    rig.thread.post(0, 3);
    rig.thread.post(hy::SecondCount, 0); // a count of 0 is silent
    rig.thread.post(hy::SecondCount, 7);
    QVERIFY(rig.player.waitFinished(1));
    QTest::qWait(50);
    QCOMPARE(rig.player.finished(), std::vector<Phrase>{Rig::phrase({7})});
}

void TestAnnouncer::quitRequestEndsLoop()
{
    Rig rig;
    rig.thread.Resume();
    rig.thread.post(hy::SecondCount, 3);
    rig.thread.post(hy::kQuitRequest, hy::kQuitRequest);
    rig.thread.post(hy::SecondCount, 4);
    QVERIFY(rig.player.waitFinished(1));
    QTest::qWait(100);
    QCOMPARE(rig.player.started().size(), size_t(1));
    QCOMPARE(rig.thread.spokenCount(), 1);
    rig.thread.stop(); // joins a thread that has already left its loop
}

void TestAnnouncer::postedBeforeResumeIsKept()
{
    Rig rig;
    rig.thread.post(hy::SecondCount, 9);
    rig.thread.Resume();
    QVERIFY(rig.player.waitFinished(1));
    QCOMPARE(rig.player.finished().front(), Rig::phrase({9}));
}

void TestAnnouncer::skipsStaleSecondCounts()
{
    Rig rig;
    rig.player.setDelay(300ms);
    rig.thread.Resume();
    rig.thread.post(hy::SecondCount, 30);
    QVERIFY(rig.player.waitStarted(1));
    // While "30" plays, a second goes by per post; the older counts are stale.
    rig.thread.post(hy::SecondCount, 29);
    rig.thread.post(hy::MinuteCount, 1);
    rig.thread.post(hy::SecondCount, 28);
    rig.thread.post(hy::ClockTime, 10000);
    rig.thread.post(hy::SecondCount, 27);
    rig.thread.post(hy::SecondCount, 26);
    rig.thread.post(hy::Alert, 22);
    QVERIFY(rig.player.waitFinished(4, 10s));
    QTest::qWait(400);
    const std::vector<Phrase> spoken = rig.player.finished();
    // 30 plays; 29 is overtaken by 28, 28 by 27, 27 by 26 and 26 by the alert.
    const std::vector<Phrase> want{Rig::phrase({3, 10}), Rig::phrase({18, 19, 1, 20, 21}),
                                   Rig::phrase({11, 12, 10, 13, 10, 14, 15}), Rig::phrase({22})};
    QCOMPARE(spoken, want);
}

void TestAnnouncer::silentCountOvertakesNothing()
{
    Rig rig;
    rig.player.setDelay(200ms);
    rig.thread.Resume();
    rig.thread.post(hy::SecondCount, 2);
    QVERIFY(rig.player.waitStarted(1));
    rig.thread.post(hy::SecondCount, 1);
    rig.thread.post(hy::SecondCount, 0); // the tick after the last: nothing to say
    rig.thread.post(hy::MinuteCount, 0);
    QVERIFY(rig.player.waitFinished(2));
    QTest::qWait(300);
    QCOMPARE(rig.player.finished(), (std::vector<Phrase>{Rig::phrase({2}), Rig::phrase({1})}));
}

void TestAnnouncer::stopDuringSlowPhraseIsPrompt()
{
    Rig rig;
    rig.player.setDelay(5s);
    rig.thread.Resume();
    rig.thread.post(hy::ClockTime, 23059);
    QVERIFY(rig.player.waitStarted(1));
    rig.thread.post(hy::SecondCount, 5);
    rig.thread.post(hy::MinuteCount, 5);
    QElapsedTimer timer;
    timer.start();
    rig.thread.stop();
    QVERIFY2(timer.elapsed() < 500, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(rig.player.started().size(), size_t(1));
    QVERIFY(rig.player.finished().empty());
    rig.thread.post(hy::SecondCount, 6); // after stop: dropped, no crash
    QCOMPARE(rig.player.started().size(), size_t(1));
}

void TestAnnouncer::errorInOneRequestKeepsThreadAlive()
{
    std::atomic<int> calls{0};
    std::vector<int> handled;
    std::mutex m;
    hy::TMyThread thread([&](int kind, int arg) {
        ++calls;
        if (arg == 13)
            throw std::runtime_error("broken request");
        std::lock_guard lock(m);
        handled.push_back(kind * 100 + arg);
    });
    thread.Resume();
    thread.post(hy::MinuteCount, 13);
    thread.post(hy::SecondCount, 2);
    thread.post(hy::ClockTime, 22);
    QTRY_COMPARE(calls.load(), 3);
    thread.stop();
    QCOMPARE(handled, (std::vector<int>{202, 122}));
}

void TestAnnouncer::userSoundReplacedWhilePlaying()
{
    Rig rig;
    rig.userSound.replace(QByteArray(4096, 'a'));
    rig.player.setDelay(300ms);
    rig.thread.Resume();
    rig.thread.post(hy::Alert, hy::UserAlertSound);
    QVERIFY(rig.player.waitStarted(1));
    rig.userSound.replace(QByteArray(4096, 'b')); // the user picks another file meanwhile
    rig.thread.post(hy::Alert, hy::UserAlertSound);
    QVERIFY(rig.player.waitFinished(2));
    QVERIFY(!rig.player.corrupted());
    const auto spoken = rig.player.finished();
    QCOMPARE(spoken[0], Phrase{QByteArray(4096, 'a')});
    QCOMPARE(spoken[1], Phrase{QByteArray(4096, 'b')});

    // An empty user sound plays nothing.
    rig.userSound.clear();
    rig.thread.post(hy::Alert, hy::UserAlertSound);
    rig.thread.post(hy::SecondCount, 1);
    QVERIFY(rig.player.waitFinished(3));
    QCOMPARE(rig.player.finished().back(), Rig::phrase({1}));
}

void TestAnnouncer::missingClipIsSilentWord()
{
    Rig rig;
    rig.clips.setClip(14, {});
    rig.thread.Resume();
    rig.thread.post(hy::ClockTime, 9005);
    QVERIFY(rig.player.waitFinished(1));
    QCOMPARE(rig.player.finished().front(), Rig::phrase({11, 12, 10, 13, 9, 0, 5}));
}

// A sound library call that does not return (a frozen sound server): stop()
// lets the thread go instead of hanging the close, and what the thread reads
// stays alive until it is done.
void TestAnnouncer::stuckPlayerIsLetGo()
{
    struct StuckPlayer : hy::ISoundPlayer
    {
        std::mutex m;
        std::condition_variable changed;
        bool entered = false;
        bool released = false;
        std::atomic<bool>* destroyed = nullptr;
        void play(const std::vector<QByteArrayView>& images) override
        {
            std::unique_lock lock(m);
            entered = true;
            changed.notify_all();
            changed.wait(lock, [this] { return released; });
            for (QByteArrayView image : images)
                QCOMPARE(image.toByteArray(), QByteArray("clip1")); // still there
        }
        void abort() override {} // a call that cannot be cut off
        ~StuckPlayer() override { *destroyed = true; }
    };
    std::atomic<bool> destroyed{false};
    auto owned = std::make_unique<StuckPlayer>();
    owned->destroyed = &destroyed;
    StuckPlayer* player = owned.get();
    {
        hy::SpeechOutput speech;
        speech.clips().setClip(1, "clip1");
        speech.start(std::move(owned));
        speech.post(hy::SecondCount, 1);
        {
            std::unique_lock lock(player->m);
            QVERIFY(player->changed.wait_for(lock, 5s, [&] { return player->entered; }));
        }
        QElapsedTimer timer;
        timer.start();
        speech.stop();
        QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
        speech.post(hy::SecondCount, 2); // dropped
    }
    QVERIFY(!destroyed);
    {
        std::lock_guard lock(player->m);
        player->released = true;
        player->changed.notify_all();
    }
    QTRY_VERIFY(destroyed); // everything goes once the thread is done
}

QTEST_GUILESS_MAIN(TestAnnouncer)
#include "test_announcer.moc"
