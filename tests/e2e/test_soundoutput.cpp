// The sound page's effects at the sink of the test session: the volume, the
// output device, the stream's name in the mixer and the voice pack, through
// the real player.
#include "fakes/testfiles.h"
#include "support/monitorrecorder.h"
#include "support/wavbuilder.h"

#include "core/announce.h"
#include "core/speech/cliptable.h"
#include "core/speech/phrases.h"
#include "core/speech/sharedsound.h"
#include "core/speech/speaker.h"
#include "core/speech/voicepack.h"
#include "platform/speech/pulseoutputs.h"
#include "platform/speech/pulseplayer.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>
#include <cmath>
#include <thread>

namespace {

QVector<qint16> samplesOf(QByteArrayView bytes)
{
    QVector<qint16> s(bytes.size() / 2);
    memcpy(s.data(), bytes.data(), size_t(s.size()) * 2);
    return s;
}

qsizetype onset(const QVector<qint16>& s, int threshold)
{
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (std::abs(s[i]) > threshold)
            return i;
    }
    return -1;
}

// How the recording matches `expected` times a factor: the factor found by
// least squares at the best alignment, and the largest difference left.
struct Fit
{
    double gain = 0;
    double worst = 1e9;
};

Fit fitGain(const QVector<qint16>& rec, const QVector<qint16>& expected)
{
    const qsizetype e0 = onset(expected, 400);
    const qsizetype r0 = onset(rec, 200);
    Fit best;
    if (e0 < 0 || r0 < 0)
        return best;
    double bestCorr = -1;
    qsizetype bestShift = 0;
    for (qsizetype shift = r0 - e0 - 2000; shift <= r0 - e0 + 2000; ++shift) {
        double corr = 0;
        for (qsizetype i = e0; i < e0 + 2205 && i < expected.size(); ++i) {
            if (i + shift >= 0 && i + shift < rec.size())
                corr += double(rec[i + shift]) * expected[i];
        }
        if (corr > bestCorr) {
            bestCorr = corr;
            bestShift = shift;
        }
    }
    double dot = 0, energy = 0;
    for (qsizetype i = 0; i < expected.size() && i + bestShift < rec.size(); ++i) {
        if (i + bestShift < 0)
            continue;
        dot += double(rec[i + bestShift]) * expected[i];
        energy += double(expected[i]) * expected[i];
    }
    best.gain = energy > 0 ? dot / energy : 0;
    best.worst = 0;
    for (qsizetype i = 0; i < expected.size() && i + bestShift < rec.size(); ++i) {
        if (i + bestShift >= 0)
            best.worst =
                std::max(best.worst, std::abs(rec[i + bestShift] - best.gain * expected[i]));
    }
    return best;
}

QString pactl(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral("pactl"), args);
    p.waitForFinished(10000);
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

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

bool sounds(QByteArrayView recording)
{
    return std::any_of(recording.begin(), recording.end(), [](char c) { return c != 0; });
}

} // namespace

class TestSoundOutput : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void volume_data();
    void volume();
    void secondOutput();
    void namedInTheMixer();
    void levelSetInTheMixerIsKept();
    void voicePack();

private:
    QByteArray samples(std::initializer_list<int> clips) const
    {
        QByteArray out;
        for (int i : clips)
            out += clipSamples(m_clips.clip(i)).toByteArray();
        return out;
    }
    std::vector<QByteArrayView> phrase(std::initializer_list<int> clips) const
    {
        std::vector<QByteArrayView> images;
        for (int i : clips)
            images.push_back(m_clips.clip(i));
        return images;
    }
    QString loadSecondSink()
    {
        return pactl({"load-module", "module-null-sink", "sink_name=out2", "rate=22050",
                      "channels=1", "format=s16le", "norewinds=1",
                      "sink_properties=device.description=第二输出"});
    }

    hy::ClipTable m_clips;
    QString m_module; // the second sink's module while loaded
};

void TestSoundOutput::initTestCase()
{
    QVERIFY2(qEnvironmentVariableIsSet("PULSE_SERVER"), "run inside the test session");
    m_clips.load();
    QCOMPARE(m_clips.loadedCount(), hy::ClipTable::kClipCount);
}

void TestSoundOutput::cleanup()
{
    pactl({"set-default-sink", "out"});
    if (!m_module.isEmpty())
        pactl({"unload-module", m_module});
    m_module.clear();
}

void TestSoundOutput::volume_data()
{
    QTest::addColumn<int>("percent");
    QTest::newRow("100 %: the samples as they are") << 100;
    QTest::newRow("50 %: half the amplitude") << 50;
    QTest::newRow("0 %: silent") << 0;
}

void TestSoundOutput::volume()
{
    QFETCH(int, percent);
    hy::PulsePlayer player;
    player.setVolume(percent);
    MonitorRecorder recorder;
    QVERIFY2(recorder.start(), qPrintable(recorder.why()));
    player.play(phrase({11, 12, 10, 13}));
    const QByteArray recording = recorder.stop();
    const QByteArray expected = samples({11, 12, 10, 13});

    if (percent == 100) {
        const qsizetype at = findSamples(recording, expected);
        QVERIFY2(at >= 0, "the phrase was not heard byte for byte");
    } else if (percent == 0) {
        QVERIFY2(!sounds(recording), "sound at 0 %");
    } else {
        const Fit fit = fitGain(samplesOf(recording), samplesOf(expected));
        qInfo("gain %.4f, largest difference %.1f", fit.gain, fit.worst);
        QVERIFY2(std::abs(fit.gain - 0.5) <= 0.005, qPrintable(QString::number(fit.gain)));
        QVERIFY2(fit.worst <= 0.01 * 32767, qPrintable(QString::number(fit.worst)));
    }
}

// A second null sink: chosen, it alone plays; unloaded, the default plays
// (said once); loaded again, it plays again. The outputs list follows. Made
// the desktop's default, it is where 系统默认 plays.
void TestSoundOutput::secondOutput()
{
    hy::PulseOutputs outputs;
    hy::OutputList listed;
    outputs.watch([&](const hy::OutputList& l) { listed = l; });
    const auto has = [&](const char* name) {
        return std::any_of(listed.begin(), listed.end(),
                           [&](const hy::OutputDevice& d) { return d.name == name; });
    };
    QTRY_VERIFY(has("out"));

    m_module = loadSecondSink();
    QVERIFY2(!m_module.isEmpty(), "the second sink could not be loaded");
    QTRY_VERIFY(has("out2"));
    QCOMPARE(std::find_if(listed.begin(), listed.end(),
                          [](const hy::OutputDevice& d) { return d.name == "out2"; })
                 ->description,
             QStringLiteral("第二输出"));

    hy::PulsePlayer player;
    player.setOutput("out2");
    const QByteArray expected = samples({1, 2});
    const auto playOn = [&](QByteArray* first, QByteArray* second) {
        MonitorRecorder one(10, "out.monitor");
        MonitorRecorder two(10, "out2.monitor");
        const bool twoRecords = !m_module.isEmpty();
        QVERIFY2(one.start(), qPrintable(one.why()));
        if (twoRecords)
            QVERIFY2(two.start(), qPrintable(two.why()));
        player.play(phrase({1, 2}));
        *first = one.stop();
        *second = twoRecords ? two.stop() : QByteArray();
    };
    QByteArray onOut, onOut2;
    playOn(&onOut, &onOut2);
    QVERIFY2(findSamples(onOut2, expected) >= 0, "not heard on the chosen output");
    QVERIFY2(!sounds(onOut), "heard on the default output too");

    pactl({"unload-module", m_module});
    m_module.clear();
    QTRY_VERIFY(!has("out2"));
    const QByteArray warnings = warningsOf([&] {
        for (int i = 0; i < 2; ++i) {
            playOn(&onOut, &onOut2);
            QVERIFY2(findSamples(onOut, expected) >= 0, "the default did not stand in");
        }
    });
    QCOMPARE(warnings.count('\n'), 1);
    QVERIFY2(warnings.contains("out2") && warnings.contains("default"), warnings.constData());

    m_module = loadSecondSink();
    QTRY_VERIFY(has("out2"));
    playOn(&onOut, &onOut2);
    QVERIFY2(findSamples(onOut2, expected) >= 0, "not heard on the output that came back");
    QVERIFY2(!sounds(onOut), "heard on the default output after the output came back");

    // 系统默认 follows the desktop's default output.
    player.setOutput(QString());
    pactl({"set-default-sink", "out2"});
    playOn(&onOut, &onOut2);
    pactl({"set-default-sink", "out"});
    QVERIFY2(findSamples(onOut2, expected) >= 0, "not heard on the new default output");
    QVERIFY2(!sounds(onOut), "heard on the old default output");
}

// The stream as the desktop's mixer lists it, while it plays.
void TestSoundOutput::namedInTheMixer()
{
    hy::PulsePlayer player;
    std::atomic<bool> done{false};
    std::thread speaker([&] {
        player.play(phrase({11, 12, 10, 13, 11, 12, 10, 13}));
        done = true;
    });
    QString inputs;
    QTRY_VERIFY2((inputs = pactl({"list", "sink-inputs"})).contains("application.name"),
                 "no stream while playing");
    player.abort();
    speaker.join();
    for (const char* line :
         {"application.name = \"禾音语音报时器\"",
          "application.icon_name = \"example.heyinsoft.hytune\"",
          "application.id = \"example.heyinsoft.hytune\"", "media.role = \"event\""})
        QVERIFY2(inputs.contains(QString::fromUtf8(line)), qPrintable(inputs));
}

// The user turns the stream down in the mixer while it plays: the player
// tells of the new level and plays the next phrase at it.
void TestSoundOutput::levelSetInTheMixerIsKept()
{
    hy::PulsePlayer player;
    std::atomic<int> told{-1};
    player.setVolumeListener([&](int percent) { told = percent; });
    std::thread speaker([&] { player.play(phrase({11, 12, 10, 13, 11, 12, 10, 13})); });
    QString input;
    QTRY_VERIFY((input = pactl({"list", "short", "sink-inputs"}).section('\t', 0, 0)) != "");
    pactl({"set-sink-input-volume", input, "0.4"});
    speaker.join();
    QCOMPARE(told.load(), 40);

    MonitorRecorder recorder;
    QVERIFY2(recorder.start(), qPrintable(recorder.why()));
    player.play(phrase({11, 12, 10, 13}));
    const Fit fit = fitGain(samplesOf(recorder.stop()), samplesOf(samples({11, 12, 10, 13})));
    QVERIFY2(std::abs(fit.gain - 0.4) <= 0.004, qPrintable(QString::number(fit.gain)));
    // A level set from here goes on as before and is no news.
    player.setVolume(70);
    told = -1;
    player.play(phrase({1}));
    QCOMPARE(told.load(), -1);
}

// A folder with 3 of the 23 clips: 现 (11) as 44.1 kHz stereo, 点 (14) in the
// clips' own format, 时 (10) broken. 10:00 is 现在时间十点整.
void TestSoundOutput::voicePack()
{
    QTemporaryDir dir;
    const QByteArray stereo = toneWave(44100, 2, 44100 / 2, 660);
    const QByteArray mono = toneWave(22050, 1, 22050 / 4, 440);
    QVERIFY(testfiles::writeBytes(dir.filePath("WAV11.wav"), stereo));
    QVERIFY(testfiles::writeBytes(dir.filePath("WAV14.wav"), mono));
    QVERIFY(testfiles::writeBytes(dir.filePath("WAV10.wav"), "RIFF\x10\0\0\0WAVEfmt broken"));
    hy::VoicePack pack = hy::loadVoicePack(dir.path());
    QCOMPARE(pack.taken, 2);
    hy::SharedVoice voice;
    voice.replace(pack.clips);
    QCOMPARE(hy::phrases::clockTime(10, 0), (hy::ClipSequence{11, 12, 10, 13, 10, 14, 15}));

    hy::PulsePlayer player;
    hy::SharedSound userSound;
    hy::Speaker speaker(m_clips, userSound, player, &voice);
    MonitorRecorder recorder;
    QVERIFY2(recorder.start(), qPrintable(recorder.why()));
    speaker.speak(hy::ClockTime, 10000);
    const QByteArray recording = recorder.stop();

    // After the tone, the built-in 在时间十, the user's 点 and the built-in
    // 整, back to back.
    const QByteArray rest =
        samples({12, 10, 13, 10}) + clipSamples(mono).toByteArray() + samples({15});
    const qsizetype at = findSamples(recording, rest);
    QVERIFY2(at >= 0, "the built-in clips and the user's 点 were not heard as they are");
    // Before them half a second of the 44.1 kHz tone, and no built-in 现.
    const QByteArrayView before = QByteArrayView(recording).first(at);
    QCOMPARE(findSamples(before, QByteArrayView(samples({11})).first(2205)), -1);
    qsizetype sounding = 0;
    for (qsizetype i = 0; i + 1 < before.size(); i += 2)
        sounding += (before[i] != 0 || before[i + 1] != 0) ? 2 : 0;
    QVERIFY2(bytesToMs(sounding) > 490 && bytesToMs(sounding) < 520,
             qPrintable(QStringLiteral("%1 ms of tone").arg(bytesToMs(sounding))));
}

QTEST_GUILESS_MAIN(TestSoundOutput)
#include "test_soundoutput.moc"
