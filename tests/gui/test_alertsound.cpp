#include "fakes/formrig.h"
#include "shell/sounddialog.h"

#include "core/mythread.h"
#include "shell/application.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QtTest>

namespace {

// A small WAV image: 16-bit PCM, `frames` frames whose samples are `value`.
QByteArray wavImage(int frames, qint16 value, quint32 rate = 22050, quint16 channels = 1)
{
    QByteArray data;
    QDataStream out(&data, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    const quint32 bytes = quint32(frames) * 2 * channels;
    out.writeRawData("RIFF", 4);
    out << quint32(36 + bytes);
    out.writeRawData("WAVEfmt ", 8);
    out << quint32(16) << quint16(1) << channels << rate << rate * 2 * channels
        << quint16(2 * channels) << quint16(16);
    out.writeRawData("data", 4);
    out << bytes;
    for (quint32 i = 0; i < bytes / 2; ++i)
        out << value;
    return data;
}

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
    return path;
}

} // namespace

class TestAlertSound : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        hy::installFontSubstitutes();
        hy::installQtTranslations();
    }
    void choosingASound();
    void badChoiceKeepsOldSound_data();
    void badChoiceKeepsOldSound();
    void restoredSound_data();
    void restoredSound();
    void alertPlaysChosenSound();
    void realTicksSpeakSecondCounts();
    void dialogStartFolder_data();
    void dialogStartFolder();
};

void TestAlertSound::choosingASound()
{
    FormRig rig;
    TForm1& form = rig.make();
    auto* button = rig.find<QPushButton>("btnLastOne");
    const QString path = writeFile(rig.dir, "ding.wav", wavImage(100, 1000));

    rig.nextSoundChoice.clear(); // cancelled
    rig.click("btnLastOne");
    QVERIFY(form.lastWaveFile().isEmpty());
    QVERIFY(form.speech().userSound().isEmpty());
    QVERIFY(button->toolTip().isEmpty());

    rig.nextSoundChoice = path;
    rig.click("btnLastOne");
    QCOMPARE(form.lastWaveFile(), path);
    QCOMPARE(form.speech().userSound().snapshot(), wavImage(100, 1000));
    QVERIFY(button->toolTip().contains("ding.wav"));

    // The choice is remembered.
    rig.writeSettings("[Common]\nIsHour=0\n");
    form.close();
    QFile saved(rig.settingsPath());
    saved.open(QIODevice::ReadOnly);
    QVERIFY(saved.readAll().contains("LastWaveFile=" + path.toUtf8()));
}

void TestAlertSound::badChoiceKeepsOldSound_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("message");
    QTest::newRow("not sound") << "text"
                               << "不是可以播放的声音文件";
    QTest::newRow("directory") << "dir"
                               << "不是一个普通文件";
    QTest::newRow("too big") << "big"
                             << "太大";
    QTest::newRow("unreadable") << "proc"
                                << "无法读取";
    QTest::newRow("vanished") << "missing"
                              << "不存在";
    QTest::newRow("no samples") << "empty"
                                << "不是可以播放的声音文件";
    QTest::newRow("768 kHz") << "768k"
                             << "不是可以播放的声音文件";
    QTest::newRow("40 channels") << "40ch"
                                 << "不是可以播放的声音文件";
}

void TestAlertSound::badChoiceKeepsOldSound()
{
    QFETCH(QString, kind);
    QFETCH(QString, message);
    FormRig rig;
    TForm1& form = rig.make();
    form.show();
    const QString good = writeFile(rig.dir, "good.wav", wavImage(50, 7));
    rig.nextSoundChoice = good;
    rig.click("btnLastOne");
    const QString hint = rig.find<QPushButton>("btnLastOne")->toolTip();

    QString bad;
    if (kind == "text") {
        bad = writeFile(rig.dir, "notes.wav", "just some words, not a sound");
    } else if (kind == "dir") {
        bad = rig.dir.filePath("folder.wav");
        QDir().mkpath(bad);
    } else if (kind == "big") {
        bad = rig.dir.filePath("huge.wav");
        QFile f(bad);
        f.open(QIODevice::WriteOnly);
        f.write(wavImage(10, 1));
        f.resize(65 * 1024 * 1024); // sparse: cheap to make
    } else if (kind == "empty") {
        bad = writeFile(rig.dir, "empty.wav", wavImage(0, 0));
    } else if (kind == "768k") {
        bad = writeFile(rig.dir, "fast.wav", wavImage(7680, 100, 768000));
    } else if (kind == "40ch") {
        bad = writeFile(rig.dir, "wide.wav", wavImage(100, 100, 22050, 40));
    } else if (kind == "proc") {
        bad = "/proc/self/mem"; // a regular file that no one can read from the start
    } else {
        bad = rig.dir.filePath("gone.wav");
    }
    rig.nextSoundChoice = bad;
    BoxCatcher catcher;
    catcher.arm();
    QTest::mouseClick(rig.find<QPushButton>("btnLastOne"), Qt::LeftButton);
    QTRY_COMPARE(catcher.seen, 1);
    QVERIFY2(catcher.text.contains(message), qPrintable(catcher.text));
    QCOMPARE(catcher.title, QStringLiteral("禾音语音报时器"));
    // Nothing changed: path, bytes and hint are those of the previous sound.
    QCOMPARE(form.lastWaveFile(), good);
    QCOMPARE(form.speech().userSound().snapshot(), wavImage(50, 7));
    QCOMPARE(rig.find<QPushButton>("btnLastOne")->toolTip(), hint);
}

void TestAlertSound::restoredSound_data()
{
    QTest::addColumn<QString>("stored"); // %1: the directory
    QTest::addColumn<bool>("restored");
    QTest::newRow("plain") << "%1/a.wav" << true;
    QTest::newRow("blanks around") << "  %1/a.wav\t " << true;
    QTest::newRow("deleted") << "%1/deleted.wav" << false;
    QTest::newRow("not sound") << "%1/words.wav" << false;
    QTest::newRow("no samples") << "%1/empty.wav" << false;
    QTest::newRow("empty") << "" << false;
}

void TestAlertSound::restoredSound()
{
    QFETCH(QString, stored);
    QFETCH(bool, restored);
    FormRig rig;
    writeFile(rig.dir, "a.wav", wavImage(80, 3));
    writeFile(rig.dir, "words.wav", "hello");
    writeFile(rig.dir, "empty.wav", wavImage(0, 0));
    const QString value = stored.contains("%1") ? stored.arg(rig.dir.path()) : stored;
    rig.writeSettings("[Common]\nLastWaveFile=\"" + value.toUtf8() + "\"\n");
    TForm1& form = rig.make();
    if (restored) {
        QCOMPARE(form.lastWaveFile(), rig.dir.filePath("a.wav"));
        QCOMPARE(form.speech().userSound().snapshot(), wavImage(80, 3));
        QVERIFY(rig.find<QPushButton>("btnLastOne")->toolTip().contains("a.wav"));
    } else {
        // Counts as no choice: the built-in alert plays.
        QVERIFY(form.lastWaveFile().isEmpty());
        QVERIFY(form.speech().userSound().isEmpty());
        QVERIFY(rig.find<QPushButton>("btnLastOne")->toolTip().isEmpty());
    }
}

void TestAlertSound::alertPlaysChosenSound()
{
    FormRig rig;
    rig.make();
    rig.find<QCheckBox>("chkLastOne")->setChecked(true);
    rig.find<QComboBox>("cbbMin")->setCurrentIndex(0);
    rig.find<QComboBox>("cbbSec")->setCurrentIndex(2);
    rig.click("btnMinStart");
    rig.tick();
    rig.tick(); // one second left: the built-in alert
    QVERIFY(rig.player->waitFinished(1));
    hy::ClipTable clips;
    clips.load();
    QCOMPARE(rig.player->finished()[0], FakePlayer::Phrase{clips.clip(22).toByteArray()});

    rig.tick(); // the run ends
    rig.nextSoundChoice = writeFile(rig.dir, "mine.wav", wavImage(30, 9));
    rig.click("btnLastOne");
    rig.click("btnMinStart");
    rig.tick();
    rig.tick();
    QVERIFY(rig.player->waitFinished(2));
    QCOMPARE(rig.player->finished()[1], FakePlayer::Phrase{wavImage(30, 9)});
}

void TestAlertSound::realTicksSpeakSecondCounts()
{
    FormRig rig;
    rig.realTicks = true;
    TForm1& form = rig.make();
    form.show();
    rig.find<QCheckBox>("chkSec")->setChecked(true);
    rig.find<QComboBox>("cbbMin")->setCurrentIndex(0);
    rig.find<QComboBox>("cbbSec")->setCurrentIndex(3);
    QTest::mouseClick(rig.find<QPushButton>("btnMinStart"), Qt::LeftButton);
    QVERIFY(form.countdown().isActive());
    // Three real seconds, then the run ends by itself.
    QTRY_VERIFY_WITH_TIMEOUT(!form.countdown().isActive(), 6000);
    QVERIFY(rig.player->waitFinished(3));
    hy::ClipTable clips;
    clips.load();
    const std::vector<FakePlayer::Phrase> expected{{clips.clip(3).toByteArray()},
                                                   {clips.clip(2).toByteArray()},
                                                   {clips.clip(1).toByteArray()}};
    QCOMPARE(rig.player->finished(), expected);
    QCOMPARE(rig.find<QLabel>("lblMinTick")->text(), QStringLiteral("0:0:0"));
    QVERIFY(rig.find<QPushButton>("btnMinStart")->isEnabled());
}

void TestAlertSound::dialogStartFolder_data()
{
    QTest::addColumn<QString>("current"); // %1: a folder of the test's
    QTest::addColumn<QString>("folder");  // %1, or "home"
    QTest::newRow("no sound yet") << ""
                                  << "home";
    QTest::newRow("a chosen sound") << "%1/ding.wav"
                                    << "%1";
    QTest::newRow("its folder is gone") << "%1/gone/ding.wav"
                                        << "home";
}

void TestAlertSound::dialogStartFolder()
{
    QFETCH(QString, current);
    QFETCH(QString, folder);
    QTemporaryDir dir;
    writeFile(dir, "ding.wav", wavImage(10, 1));
    QDir::setCurrent(dir.path()); // never where the dialog opens on its own
    const auto dialog =
        hy::makeSoundDialog(nullptr, current.isEmpty() ? current : current.arg(dir.path()));
    const QString expected = folder == "home" ? QDir::homePath() : folder.arg(dir.path());
    QCOMPARE(QDir(dialog->directory()).canonicalPath(), QDir(expected).canonicalPath());
    // Qt's own labels in Chinese, like the rest of the window.
    QVERIFY2(dialog->labelText(QFileDialog::LookIn).contains(QRegularExpression("\\p{Han}")),
             qPrintable(dialog->labelText(QFileDialog::LookIn)));
}

QTEST_MAIN(TestAlertSound)
#include "test_alertsound.moc"
