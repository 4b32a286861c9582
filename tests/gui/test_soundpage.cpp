#include "fakes/formrig.h"
#include "fakes/testfiles.h"
#include "support/wavbuilder.h"

#include "core/servertime/servertimekeeper.h"
#include "core/speech/phrases.h"
#include "core/speech/soundsetup.h"
#include "shell/application.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QSlider>
#include <QTabWidget>
#include <QTimeEdit>
#include <QtTest>
#include <thread>

namespace {

FakePlayer::Phrase clockPhrase(int hour, int minute)
{
    const hy::ClipSequence clips = hy::phrases::clockTime(hour, minute);
    return clipPhrase(QList<int>(clips.begin(), clips.end()));
}

// The phrases the player got, once everything posted so far has been taken:
// 试听 at 3:33 is posted last and awaited, so a chime that was not posted is
// known to be missing.
std::vector<FakePlayer::Phrase> spokenThenTryout(FormRig& rig)
{
    const QTime now = rig.clock->now;
    rig.clock->now = QTime(3, 33);
    rig.click("btnTryVolume");
    rig.clock->now = now;
    const FakePlayer::Phrase marker = clockPhrase(3, 33);
    for (;;) {
        std::vector<FakePlayer::Phrase> phrases = rig.player->started();
        const auto at = std::find(phrases.begin(), phrases.end(), marker);
        if (at != phrases.end())
            return {phrases.begin(), at};
        if (!rig.player->waitStarted(phrases.size() + 1))
            return {{}}; // 试听 never came: one empty phrase, which no test expects
    }
}

} // namespace

class TestSoundPage : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { hy::installFontSubstitutes(); }
    void volume();
    void outputDevice();
    void voicePack();
    void badVoiceFolder();
    void startAtLogin_data();
    void startAtLogin();
    void everyMessageFits_data();
    void everyMessageFits();
};

void TestSoundPage::volume()
{
    FormRig rig;
    rig.writeSettings("[Common]\nHotKey=F1\n[Sound]\nVolume=30\n");
    rig.make();
    // The stored level reaches the player before the first phrase.
    QCOMPARE(rig.player->volume(), 30);
    auto* slider = rig.find<QSlider>("sldVolume");
    QCOMPARE(slider->value(), 30);
    QCOMPARE(rig.find<QLabel>("lblVolumeValue")->text(), QStringLiteral("30%"));
    slider->setValue(75);
    QCOMPARE(rig.player->volume(), 75);
    QCOMPARE(rig.find<QLabel>("lblVolumeValue")->text(), QStringLiteral("75%"));

    QCOMPARE(spokenThenTryout(rig).size(), size_t(0)); // 试听 speaks the time

    // A level set in the desktop's mixer, told from another thread, moves the slider.
    const int sets = rig.player->volumeSets();
    std::thread([&] { rig.player->mixerSets(40); }).join();
    QTRY_COMPARE(slider->value(), 40);
    QCOMPARE(rig.find<QLabel>("lblVolumeValue")->text(), QStringLiteral("40%"));
    QCOMPARE(rig.player->volumeSets(), sets); // not sent back to the sound server
    slider->setValue(75);

    QVERIFY(rig.form->saveSettings());
    QVERIFY(testfiles::readAll(rig.settingsPath()).contains("[Sound]\nVolume=75\n"));
}

void TestSoundPage::outputDevice()
{
    FormRig rig;
    rig.writeSettings("[Common]\nHotKey=F1\n[Sound]\nOutput=usb\n");
    rig.make();
    auto* box = rig.find<QComboBox>("cbbOutput");
    auto* state = rig.find<QLabel>("lblOutputState");
    const auto items = [box] {
        QStringList texts;
        for (int i = 0; i < box->count(); ++i)
            texts << box->itemText(i);
        return texts;
    };
    QCOMPARE(rig.player->output(), QStringLiteral("usb"));
    // Until the server has listed its outputs nothing is said missing.
    QCOMPARE(box->currentText(), QStringLiteral("usb"));
    QCOMPARE(state->text(), QString());

    rig.outputs->set({{"out", "Null Output"}, {"usb", "USB 耳机"}});
    QCOMPARE(items(), QStringList({"系统默认", "Null Output", "USB 耳机"}));
    QCOMPARE(box->currentIndex(), 2);
    // The output goes away: the choice stays, and the page says it.
    rig.outputs->set({{"out", "Null Output"}});
    QCOMPARE(items(), QStringList({"系统默认", "Null Output", "USB 耳机（未连接）"}));
    QCOMPARE(box->currentIndex(), 2);
    QVERIFY(state->text().contains("系统默认"));
    QCOMPARE(rig.player->output(), QStringLiteral("usb"));
    // ... and comes back.
    rig.outputs->set({{"out", "Null Output"}, {"usb", "USB 耳机"}});
    QCOMPARE(box->currentText(), QStringLiteral("USB 耳机"));
    QCOMPARE(state->text(), QString());

    // The user chooses the default.
    box->setCurrentIndex(0);
    emit box->activated(0);
    QCOMPARE(rig.player->output(), QString());
    QVERIFY(rig.form->saveSettings());
    QVERIFY(testfiles::readAll(rig.settingsPath()).contains("\nOutput=\n"));
}

void TestSoundPage::voicePack()
{
    QTemporaryDir voice;
    // 整 (15) is heard at 10:00, 半 (16) is not; 十 (10) is broken.
    const QByteArray whole = toneWave(44100, 2, 4410, 660);
    const QByteArray half = toneWave(22050, 1, 2205, 440);
    QVERIFY(testfiles::writeBytes(voice.filePath("WAV15.wav"), whole));
    QVERIFY(testfiles::writeBytes(voice.filePath("wav16.wav"), half));
    QVERIFY(testfiles::writeBytes(voice.filePath("WAV10.wav"), "RIFF broken"));

    FormRig rig;
    rig.writeSettings("[Common]\nIsHour=1\n");
    rig.clock->now = QTime(9, 59, 37);
    rig.make();
    rig.nextVoiceFolder = voice.path();
    // Read in the background: the page says so meanwhile. The pool's one
    // thread is held until that has been seen.
    QThreadPool* pool = QThreadPool::globalInstance();
    const int threads = pool->maxThreadCount();
    pool->setMaxThreadCount(1);
    QSemaphore held;
    pool->start([&held] { held.acquire(); });
    rig.click("btnVoiceFolder");
    auto* state = rig.find<QLabel>("lblVoiceState");
    QCOMPARE(state->text(), QStringLiteral("正在读取语音包……"));
    held.release();
    pool->setMaxThreadCount(threads);
    QTRY_COMPARE(state->text(), QStringLiteral("已采用 2 段录音（共 23 段）"));
    QVERIFY(state->toolTip().contains("WAV10.wav"));

    // 10:00: the replaced clip, the built-in ones around it.
    rig.clock->advance(23000);
    FakePlayer::Phrase expected = clockPhrase(10, 0);
    QCOMPARE(expected.back(), clipPhrase({15}).front());
    expected.back() = whole;
    const auto spoken = spokenThenTryout(rig);
    QCOMPARE(spoken.size(), size_t(1));
    QCOMPARE(spoken.front(), expected);

    // The folder is remembered and taken again at the next start.
    QVERIFY(rig.form->saveSettings());
    rig.form.reset();
    rig.make();
    QTRY_COMPARE(rig.find<QLabel>("lblVoiceState")->text(),
                 QStringLiteral("已采用 2 段录音（共 23 段）"));

    rig.click("btnVoiceBuiltin");
    QCOMPARE(rig.find<QLabel>("lblVoiceState")->text(), QStringLiteral("使用内置语音"));
    // Started on the minute, the chime timer speaks 10:00 at once; then 11:00.
    rig.clock->advance(60 * 60 * 1000);
    QCOMPARE(spokenThenTryout(rig),
             (std::vector<FakePlayer::Phrase>{clockPhrase(10, 0), clockPhrase(11, 0)}));
}

void TestSoundPage::badVoiceFolder()
{
    QTemporaryDir empty;
    QVERIFY(testfiles::writeBytes(empty.filePath("WAV3.wav"), "not a sound"));
    FormRig rig;
    rig.make();
    for (const QString& folder : {empty.path(), empty.filePath("gone")}) {
        rig.nextVoiceFolder = folder;
        BoxCatcher catcher;
        catcher.arm();
        rig.click("btnVoiceFolder");
        QTRY_COMPARE(catcher.seen, 1);
        QVERIFY2(catcher.text.contains(folder), qPrintable(catcher.text));
        QCOMPARE(rig.find<QLabel>("lblVoiceState")->text(), QStringLiteral("使用内置语音"));
    }
}

void TestSoundPage::startAtLogin_data()
{
    QTest::addColumn<QStringList>("steps"); // "click" the box, "remove" the entry by hand
    QTest::addColumn<bool>("entry");
    QTest::newRow("ticked") << QStringList{"click"} << true;
    QTest::newRow("ticked and unticked") << QStringList{"click", "click"} << false;
    QTest::newRow("removed by hand") << QStringList{"click", "remove"} << false;
}

// 登录时启动 writes the desktop's autostart entry, takes it away, and shows
// what is there each time the page is shown.
void TestSoundPage::startAtLogin()
{
    QFETCH(QStringList, steps);
    QFETCH(bool, entry);
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    const QString file = config.filePath("autostart/example.heyinsoft.hytune.desktop");
    FormRig rig;
    rig.make().show();
    auto* tabs = rig.find<QTabWidget>("pgc1");
    auto* box = rig.find<QCheckBox>("chkAutostart");
    tabs->setCurrentIndex(1);
    QVERIFY(!box->isChecked());
    for (const QString& step : steps) {
        if (step == "click")
            box->click();
        else
            QVERIFY(QFile::remove(file));
    }
    tabs->setCurrentIndex(0);
    tabs->setCurrentIndex(1); // shown again
    QCOMPARE(QFile::exists(file), entry);
    QCOMPARE(box->isChecked(), entry);
    if (entry)
        QVERIFY(testfiles::readAll(file).contains(" --hidden"));
    qunsetenv("XDG_CONFIG_HOME");
}

void TestSoundPage::everyMessageFits_data()
{
    QTest::addColumn<QString>("show");
    QTest::addColumn<QString>("label");
    QTest::newRow("a voice of 23 clips") << "voice"
                                         << "lblVoiceState";
    QTest::newRow("an output not there") << "output"
                                         << "lblOutputState";
    QTest::newRow("an error after a good result") << ""
                                                  << "lblServerResult";
    QTest::newRow("an address too long to quote") << QString(300, 'x') + "://"
                                                  << "lblServerResult";
    QTest::newRow("an address that is no address") << "ht!tp:://@@"
                                                   << "lblServerResult";
}

// Whatever a label of the page says shows whole, in its group, and the rows
// below make room: nothing overlaps, nothing leaves the page.
void TestSoundPage::everyMessageFits()
{
    QFETCH(QString, show);
    QFETCH(QString, label);
    QTemporaryDir voice;
    FormRig rig;
    const QString now = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
    rig.writeSettings("[Common]\nHotKey=F1\n[Sound]\nOutput=usb\n[ServerTime]\nOffsetUs=-420000\n"
                      "UncertaintyUs=30000\nMeasuredAt=" +
                      now.toUtf8() + "\n");
    rig.make();
    if (show == "voice") {
        for (int i = 0; i < 23; ++i)
            QVERIFY(testfiles::writeBytes(voice.filePath(QStringLiteral("WAV%1.wav").arg(i)),
                                          toneWave(22050, 1, 2205, 440)));
        rig.nextVoiceFolder = voice.path();
        rig.click("btnVoiceFolder");
        QTRY_VERIFY(!rig.core->sound().voiceLoading());
    } else if (show == "output") {
        rig.outputs->set({{"out", "Null Output"}});
    } else {
        rig.settings().set("Address", show);
        rig.core->serverTime().check(); // refused at once
    }
    auto* shown = rig.find<QLabel>(qPrintable(label));
    QVERIFY2(!shown->text().isEmpty() && !shown->isHidden(), qPrintable(shown->text()));
    QVERIFY2(shown->height() >= shown->heightForWidth(shown->width()), qPrintable(shown->text()));
    const auto* page = rig.find<QWidget>("ts3");
    QRect above;
    for (const char* name : {"grpSound", "grpServerTime", "chkNotifyAtEnd", "chkAutostart"}) {
        const QRect r = rig.find<QWidget>(name)->geometry();
        QVERIFY2(page->rect().contains(r), name);
        QVERIFY2(r.top() > above.bottom() || QString(name) == "chkAutostart", name);
        above = r;
        for (const QWidget* child :
             rig.find<QWidget>(name)->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
            QVERIFY2(child->isHidden() || QRect(QPoint(), r.size()).contains(child->geometry()),
                     qPrintable(child->objectName()));
    }
}

QTEST_MAIN(TestSoundPage)
#include "test_soundpage.moc"
