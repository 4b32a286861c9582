#include "fakes/testfiles.h"
#include "support/wavbuilder.h"

#include "core/quiethours.h"
#include "core/settings/settings.h"
#include "core/settings/settingsstore.h"
#include "core/speech/outputdevices.h"
#include "core/speech/soundfile.h"
#include "core/speech/voicepack.h"
#include "core/speech/volume.h"

#include <QTemporaryDir>
#include <QtTest>
#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <thread>

using testfiles::readAll;
using testfiles::writeBytes;

namespace {

// The section Sound as the program reads it from the settings.
struct SoundValues
{
    int volume;
    QString output;
    bool quiet;
    QTime from, to;
    bool operator==(const SoundValues&) const = default;
};

// Two frames of MPEG audio (layer III, 128 kbit/s) whose data are zeros.
QByteArray mpegOfNothing()
{
    return (QByteArray::fromHex("fffb9064") + QByteArray(413, '\0')).repeated(2);
}

SoundValues soundOf(const hy::SettingsStore& s)
{
    return {s.number("Volume"), s.value("Output"), s.flag("IsQuiet"), s.time("QuietFrom"),
            s.time("QuietTo")};
}

} // namespace

Q_DECLARE_METATYPE(QList<QByteArray>)

class TestSoundRules : public QObject
{
    Q_OBJECT
private slots:
    void quietHours_data();
    void quietHours();
    void volume_data();
    void volume();
    void storedSettings_data();
    void storedSettings();
    void savedWithCommon();
    void voicePack();
    void unheardSounds_data();
    void unheardSounds();
    void largeClips_data();
    void largeClips();
    void missingOutput();
    void fifoSwappedIn();
};

void TestSoundRules::quietHours_data()
{
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QTime>("from");
    QTest::addColumn<QTime>("to");
    QTest::addColumn<QTime>("now");
    QTest::addColumn<bool>("quiet");
    const QTime night(22, 0), morning(7, 0);
    QTest::newRow("23:00 in the night") << true << night << morning << QTime(23, 0) << true;
    QTest::newRow("the start is silent") << true << night << morning << QTime(22, 0) << true;
    QTest::newRow("midnight") << true << night << morning << QTime(0, 0) << true;
    QTest::newRow("6:59:59") << true << night << morning << QTime(6, 59, 59) << true;
    QTest::newRow("the end 7:00 is heard") << true << night << morning << QTime(7, 0) << false;
    QTest::newRow("noon") << true << night << morning << QTime(12, 0) << false;
    QTest::newRow("21:59") << true << night << morning << QTime(21, 59) << false;
    QTest::newRow("switched off") << false << night << morning << QTime(23, 0) << false;
    QTest::newRow("a span within the day")
        << true << QTime(12, 0) << QTime(14, 0) << QTime(13, 30) << true;
    QTest::newRow("after a span within the day")
        << true << QTime(12, 0) << QTime(14, 0) << QTime(23, 0) << false;
    QTest::newRow("equal times: an empty span")
        << true << QTime(8, 0) << QTime(8, 0) << QTime(8, 0) << false;
}

void TestSoundRules::quietHours()
{
    QFETCH(bool, enabled);
    QFETCH(QTime, from);
    QFETCH(QTime, to);
    QFETCH(QTime, now);
    QFETCH(bool, quiet);
    QCOMPARE(hy::isQuiet({enabled, from, to}, now), quiet);
}

void TestSoundRules::volume_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("percent");
    QTest::addColumn<double>("gain");
    QTest::newRow("half") << "50" << 50 << 0.5;
    QTest::newRow("blanks") << " 30 " << 30 << 0.3;
    QTest::newRow("silent") << "0" << 0 << 0.0;
    QTest::newRow("above 100") << "250" << 100 << 1.0;
    QTest::newRow("below 0") << "-5" << 0 << 0.0;
    QTest::newRow("not a number") << "loud" << 100 << 1.0;
    QTest::newRow("empty") << "" << 100 << 1.0;
}

void TestSoundRules::volume()
{
    QFETCH(QString, stored);
    QFETCH(int, percent);
    QFETCH(double, gain);
    QCOMPARE(hy::parseVolume(stored), percent);
    QCOMPARE(hy::volumeGain(percent), gain);
}

void TestSoundRules::storedSettings_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("volume");
    QTest::addColumn<QString>("output");
    QTest::addColumn<bool>("quiet");
    QTest::addColumn<QTime>("from");
    QTest::addColumn<QTime>("to");
    const QByteArray common = "[Common]\nHotKey=F1\n";
    QTest::newRow("no section: defaults")
        << common << 100 << "" << false << QTime(22, 0) << QTime(7, 0);
    QTest::newRow("all keys")
        << common + "[Sound]\nVolume=40\nOutput=out2\nIsQuiet=1\nQuietFrom=23:30\nQuietTo=6:15\n"
        << 40 << "out2" << true << QTime(23, 30) << QTime(6, 15);
    QTest::newRow("bad values: defaults")
        << common + "[sound]\nvolume=x\nisquiet=yes\nQuietFrom=25:00\nQuietTo=abc\n"
        << 100 << "" << false << QTime(22, 0) << QTime(7, 0);
}

void TestSoundRules::storedSettings()
{
    QFETCH(QByteArray, file);
    QFETCH(int, volume);
    QFETCH(QString, output);
    QFETCH(bool, quiet);
    QFETCH(QTime, from);
    QFETCH(QTime, to);
    QTemporaryDir dir;
    const QString path = dir.filePath("hytunetm.db");
    QVERIFY(writeBytes(path, file));
    hy::SettingsStore target;
    QVERIFY(hy::loadSettings(path, target));
    QCOMPARE(soundOf(target), (SoundValues{volume, output, quiet, from, to}));

    // What is saved reads back the same.
    QVERIFY(hy::saveSettings(path, target));
    hy::SettingsStore again;
    QVERIFY(hy::loadSettings(path, again));
    QCOMPARE(soundOf(again), soundOf(target));
}

// The section goes into the same write as Common: added to a file without it,
// and nothing at all written to a file that cannot be.
void TestSoundRules::savedWithCommon()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("hytunetm.db");
    const QByteArray before = "[Common]\r\nHotKey=F1\r\n; kept\r\n";
    QVERIFY(writeBytes(path, before));
    hy::SettingsStore target;
    target.set("Volume", "35");
    target.set("VoiceFolder", "/home/u/声音");
    QVERIFY(hy::saveSettings(path, target));
    const QByteArray after = readAll(path);
    QVERIFY2(after.startsWith("[Common]\r\nHotKey=F1\r\n"), after.constData());
    QVERIFY2(after.contains("; kept\r\n\r\n[Sound]\r\nVolume=35\r\nOutput=\r\nIsQuiet=0\r\n"
                            "QuietFrom=22:00\r\nQuietTo=7:00\r\nVoiceFolder=/home/u/声音\r\n"),
             after.constData());
    QVERIFY(!after.contains("[ServerTime]")); // added only once 对时 is used

    target.set("Volume", "80");
    target.set("Output", "a\nb");
    QVERIFY(hy::saveSettings(path, target)); // a line break is written empty, as for Common
    QVERIFY(readAll(path).contains("Volume=80\r\nOutput=\r\n"));

    // A file that cannot be written keeps both sections as they were.
    const QByteArray kept = readAll(path);
    QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup));
    target.set("Volume", "10");
    QVERIFY(!hy::saveSettings(path, target));
    QCOMPARE(readAll(path), kept);
}

// A folder with 3 of the 23 clips, one of them broken, and names that stand
// for no clip.
void TestSoundRules::voicePack()
{
    QTemporaryDir dir;
    const QByteArray mono = toneWave(22050, 1, 2205, 440);
    const QByteArray stereo = toneWave(44100, 2, 4410, 660);
    QVERIFY(writeBytes(dir.filePath("WAV3.wav"), mono));
    QVERIFY(writeBytes(dir.filePath("wav12.WAV"), stereo));
    QVERIFY(writeBytes(dir.filePath("WAV5.wav"), "RIFF....WAVEbroken"));
    QVERIFY(writeBytes(dir.filePath("WAV07.wav"), mono)); // a leading zero names no clip
    QVERIFY(writeBytes(dir.filePath("WAV23.wav"), mono)); // there are 23, from 0
    QVERIFY(writeBytes(dir.filePath("notes.txt"), "hello"));

    const hy::VoicePack pack = hy::loadVoicePack(dir.path());
    QCOMPARE(pack.error, QString());
    QCOMPARE(pack.taken, 2);
    QCOMPARE(pack.clips[3], mono);
    QCOMPARE(pack.clips[12], stereo);
    for (int i : {0, 5, 7, 22})
        QVERIFY2(pack.clips[size_t(i)].isEmpty(), qPrintable(QString::number(i)));
    QCOMPARE(pack.problems.size(), 1);
    QVERIFY2(pack.problems[0].contains("WAV5.wav"), qPrintable(pack.problems[0]));

    const hy::VoicePack none = hy::loadVoicePack(dir.filePath("gone"));
    QVERIFY(none.error.contains("不存在"));
    QCOMPARE(none.taken, 0);

    // A snapshot keeps its bytes when the voice is replaced meanwhile.
    hy::SharedVoice voice;
    voice.replace(pack.clips);
    const hy::VoicePack::Clips held = voice.snapshot();
    voice.clear();
    QCOMPARE(held[3], mono);
    QVERIFY(voice.snapshot()[3].isEmpty());

    // Off the GUI thread, the same.
    const hy::VoicePack later = hy::loadVoicePackInBackground(dir.path()).result();
    QCOMPARE(later.clips, pack.clips);
    QCOMPARE(later.problems, pack.problems);
}

void TestSoundRules::unheardSounds_data()
{
    QTest::addColumn<QByteArray>("image");
    QTest::addColumn<QString>("refusal"); // empty: heard
    QByteArray clickAtTheEnd = toneWave(22050, 1, 22050, 440, 0);
    clickAtTheEnd[clickAtTheEnd.size() - 1] = 0x10;
    QTest::newRow("a tone") << toneWave(22050, 1, 2205, 440) << "";
    QTest::newRow("a faint tone") << toneWave(22050, 1, 2205, 440, 3) << "";
    QTest::newRow("silence, a click at the end") << clickAtTheEnd << "";
    QTest::newRow("all zeros") << toneWave(22050, 1, 22050, 440, 0) << "听不到声音";
    QTest::newRow("last-bit noise") << toneWave(44100, 2, 4410, 440, 1) << "听不到声音";
    QTest::newRow("MPEG frames of nothing") << mpegOfNothing() << "听不到声音";
    QTest::newRow("no frames") << toneWave(22050, 1, 0, 440) << "不是可以播放";
}

// The alert sound and a voice-pack clip are held to the same rule.
void TestSoundRules::unheardSounds()
{
    QFETCH(QByteArray, image);
    QFETCH(QString, refusal);
    QTemporaryDir dir;
    const QString path = dir.filePath("WAV3.wav");
    QVERIFY(writeBytes(path, image));
    const hy::LoadedSound alert = hy::readSoundFile(path);
    const hy::VoicePack pack = hy::loadVoicePack(dir.path());
    QCOMPARE(alert.ok(), refusal.isEmpty());
    QCOMPARE(pack.taken, refusal.isEmpty() ? 1 : 0);
    if (refusal.isEmpty())
        return;
    QCOMPARE(pack.problems.size(), 1);
    for (const QString& why : {alert.error, pack.problems[0]})
        QVERIFY2(why.contains(refusal) && why.contains(path), qPrintable(why));
}

void TestSoundRules::largeClips_data()
{
    QTest::addColumn<QList<QByteArray>>("clips"); // WAV0.wav, WAV1.wav, ...
    QTest::addColumn<qint64>("firstFileBytes");   // the first file stretched to this; 0: as is
    QTest::addColumn<int>("taken");
    QTest::addColumn<QString>("refusal"); // of each clip not taken
    const int tenSeconds = hy::VoicePack::kMaxClipMs * 22050 / 1000;
    const QByteArray shortTone = toneWave(22050, 1, 2205, 440);
    const QByteArray eightSeconds = toneWave(96000, 2, 8 * 96000, 440);
    QTest::newRow("10 s: taken") << QList<QByteArray>{toneWave(22050, 1, tenSeconds, 440)} << 0LL
                                 << 1 << "";
    QTest::newRow("10.5 s: refused")
        << QList<QByteArray>{toneWave(22050, 1, tenSeconds + 22050 / 2, 440)} << 0LL << 0
        << "最长 10 秒";
    QTest::newRow("64 MiB of a short tone and silence: refused")
        << QList<QByteArray>{claimingLength(shortTone, 64 << 20), shortTone} << qint64(64 << 20)
        << 1 << "最长 10 秒";
    QTest::newRow("three 3 MB clips: two fit")
        << QList<QByteArray>{eightSeconds, eightSeconds, eightSeconds} << 0LL << 2
        << "合起来最多 6 MiB";
}

// Whatever the folder holds, a pack takes clips of at most 10 s and at most
// 6 MiB in all.
void TestSoundRules::largeClips()
{
    QFETCH(QList<QByteArray>, clips);
    QFETCH(qint64, firstFileBytes);
    QFETCH(int, taken);
    QFETCH(QString, refusal);
    QTemporaryDir dir;
    for (int i = 0; i < clips.size(); ++i)
        QVERIFY(writeBytes(dir.filePath(QStringLiteral("WAV%1.wav").arg(i)), clips[i]));
    if (firstFileBytes > 0)
        QVERIFY(QFile::resize(dir.filePath("WAV0.wav"), firstFileBytes));
    const hy::VoicePack pack = hy::loadVoicePack(dir.path());
    QCOMPARE(pack.taken, taken);
    QCOMPARE(pack.problems.size(), clips.size() - taken);
    for (const QString& why : pack.problems)
        QVERIFY2(why.contains(refusal), qPrintable(why));
    qint64 held = 0;
    for (const QByteArray& clip : pack.clips)
        held += clip.size();
    QVERIFY(held <= hy::VoicePack::kMaxPackBytes);
}

void TestSoundRules::missingOutput()
{
    const hy::OutputList outputs{{"out", "Null Output"}, {"usb", "USB 耳机"}};
    QVERIFY(!hy::outputMissing("", outputs));
    QVERIFY(!hy::outputMissing("usb", outputs));
    QVERIFY(hy::outputMissing("hdmi", outputs));
    QVERIFY(hy::outputMissing("usb", {}));
}

// A FIFO swapped in for the sound between a look at its name and the open is
// refused at once, instead of the open waiting for a writer.
void TestSoundRules::fifoSwappedIn()
{
    QTemporaryDir dir;
    const QByteArray path = QFile::encodeName(dir.filePath("WAV3.wav")), fifo = path + ".fifo";
    QVERIFY(writeBytes(dir.filePath("WAV3.wav"), toneWave(22050, 1, 2205, 440)));
    QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
    const auto swap = [&] {
        return ::renameat2(AT_FDCWD, path.constData(), AT_FDCWD, fifo.constData(), RENAME_EXCHANGE);
    };
    QCOMPARE(swap(), 0);
    std::atomic<bool> done = false;
    std::thread reader([&] {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 300)
            hy::readSoundFile(QFile::decodeName(path));
        done = true;
    });
    QElapsedTimer t;
    t.start();
    while (!done && t.elapsed() < 3000)
        swap();
    const bool finished = done;
    // One stuck in the open of the FIFO is let go by a writer that comes and goes.
    while (!done)
        for (const QByteArray& name : {path, fifo})
            ::close(::open(name.constData(), O_WRONLY | O_NONBLOCK));
    reader.join();
    QVERIFY2(finished, "the read of a sound waited in the open of a FIFO");
}

QTEST_GUILESS_MAIN(TestSoundRules)
#include "test_soundrules.moc"
