#include "core/settings/inifile.h"
#include "core/settings/servertimesection.h"
#include "core/settings/settings.h"
#include "core/settings/settingsformat.h"
#include "core/settings/settingsstore.h"

#include "core/speech/soundfile.h"
#include "fakes/testfiles.h"

#include <QtTest>

#include <stdexcept>
#include <sys/stat.h>

Q_DECLARE_METATYPE(hy::ServerTimeChoice)

namespace {

using testfiles::entriesOf;
using testfiles::readAll;
using testfiles::writeBytes;

// The settings as the program holds them, with a record of every change a
// load or a save makes: the changes of each key in order, and per check box
// how often its handler would run.
class FakeWindow
{
public:
    FakeWindow()
    {
        QObject::connect(&store, &hy::SettingsStore::changed, [this](const QString& key) {
            calls << key;
            if (hy::findSettingKey(key)->kind == hy::SettingKind::Flag)
                ++handlerRuns[key];
            if (key == throwOn)
                throw std::runtime_error("refused");
        });
    }

    QString text(const QString& key) const { return store.value(key); }
    bool isChecked(const QString& key) const { return store.flag(key); }
    QTime startTime() const { return store.time("StartTime"); }
    QString waveFile() const { return store.value("LastWaveFile"); }
    void setChecked(const QString& key, bool on) { store.setFlag(key, on); }
    void selectEntry(const QString& key, int index)
    {
        store.set(key, hy::entriesOf(*hy::findSettingKey(key)).value(index));
    }
    void setWave(const QString& path) { store.set("LastWaveFile", path); }

    // What every key of Common holds, for comparing whole windows.
    QStringList snapshot() const
    {
        QStringList out;
        for (const hy::SettingKey& key : hy::settingKeys()) {
            const QString name = key.name;
            out << name + "=" +
                       (key.kind == hy::SettingKind::Time ? startTime().toString("HH:mm:ss")
                                                          : store.value(name));
        }
        return out;
    }
    // The snapshot with `changes` ("Key=Value") applied.
    static QStringList designWith(const QStringList& changes)
    {
        QStringList out = FakeWindow().snapshot();
        for (const QString& change : changes) {
            const QString prefix = change.section('=', 0, 0) + "=";
            for (QString& line : out) {
                if (line.startsWith(prefix))
                    line = change;
            }
        }
        return out;
    }

    hy::SettingsStore store;
    QMap<QString, int> handlerRuns;
    QString throwOn;
    QStringList calls;
};

ino_t inodeOf(const QString& path)
{
    struct stat st
    {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

// One settings file in a directory of its own.
struct SettingsFile
{
    QTemporaryDir dir;
    QString path = dir.filePath("hytunetm.db");

    explicit SettingsFile(const QByteArray& bytes) { writeBytes(path, bytes); }
    SettingsFile() = default;
    QByteArray bytes() const { return readAll(path); }
    // The value stored under `key` in Common, as a reader sees it.
    QString stored(const QString& key) const
    {
        return hy::IniFile(bytes()).value("Common", key).value_or("<missing>");
    }
};

const QByteArray DesignBody = "HourCounter=0\n"
                              "MinuteCounter=10\n"
                              "SecondCounter=30\n"
                              "IsMinuteCounter=0\n"
                              "LastMinute=10\n"
                              "PerMinute=1\n"
                              "IsSecondCounter=0\n"
                              "LastSecond=30\n"
                              "PerSecond=1\n"
                              "IsLastOne=0\n"
                              "IsCircle=0\n"
                              "IsDispTop=0\n"
                              "IsHour=0\n"
                              "IsHalf=0\n"
                              "IsFixTimer=0\n"
                              "FixHour=9\n"
                              "FixMinute=25\n"
                              "IsStart=0\n"
                              "StartTime=5:05:05\n"
                              "HotKey=F1\n"
                              "LastWaveFile=\n";

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT
private slots:
    void profileInt_data();
    void profileInt();
    void parseTime_data();
    void parseTime();
    void formatTime_data();
    void formatTime();
    void formatThenParseEverySecond();

    void noFile();
    void nothingToRead_data();
    void nothingToRead();
    void onlyIsHour();
    void shippedFileHoldsDesignValues();
    void keysInOrder();
    void listLookup_data();
    void listLookup();
    void editableText_data();
    void editableText();
    void flags_data();
    void flags();
    void startTime_data();
    void startTime();
    void waveFileHandedOverAsStored_data();
    void waveFileHandedOverAsStored();
    void mixedCaseKeys();
    void keysOutsideCommonIgnored();
    void refusingControlDoesNotStopLoad();
    void crlfRoundTrip();
    void readOnlyFileKept();
    void noRoomForTemporary();
    void lineBreakInWavePath();
    void serverTimeSection_data();
    void serverTimeSection();
};

void TestSettings::profileInt_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");
    QTest::newRow("1") << "1" << 1;
    QTest::newRow("0") << "0" << 0;
    QTest::newRow("2") << "2" << 2;
    QTest::newRow("-1") << "-1" << -1;
    QTest::newRow("+3") << "+3" << 3;
    QTest::newRow("blanks") << " 7 " << 7;
    QTest::newRow("0x1") << "0x1" << 1;
    QTest::newRow("0X1f") << "0X1f" << 31;
    QTest::newRow("-0x10") << "-0x10" << -16;
    QTest::newRow("0xffffffff") << "0xffffffff" << -1;
    QTest::newRow("int max") << "2147483647" << 2147483647;
    QTest::newRow("int min") << "-2147483648" << int(-2147483647 - 1);
    QTest::newRow("above int max") << "2147483648" << 0;
    QTest::newRow("far too long") << "99999999999999999999" << 0;
    QTest::newRow("hex above 32 bits") << "0x100000000" << 0;
    QTest::newRow("yes") << "yes" << 0;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("sign only") << "-" << 0;
    QTest::newRow("0x alone") << "0x" << 0;
    QTest::newRow("bad hex digit") << "0x1g" << 0;
    QTest::newRow("trailing text") << "5abc" << 0;
    QTest::newRow("decimal point") << "1.5" << 0;
    QTest::newRow("inner blank") << "1 2" << 0;
    QTest::newRow("fullwidth digit") << QStringLiteral("１") << 0;
}

void TestSettings::profileInt()
{
    QFETCH(QString, text);
    QFETCH(int, expected);
    QCOMPARE(hy::parseProfileInt(text), expected);
}

void TestSettings::parseTime_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QTime>("expected"); // invalid: unreadable

    const QTime bad;
    QTest::newRow("one digit each") << "5:5:5" << QTime(5, 5, 5);
    QTest::newRow("written form") << "5:05:05" << QTime(5, 5, 5);
    QTest::newRow("last second") << "23:59:59" << QTime(23, 59, 59);
    QTest::newRow("no seconds") << "7:3" << QTime(7, 3, 0);
    QTest::newRow("midnight") << "00:00:00" << QTime(0, 0, 0);
    QTest::newRow("blanks around") << "  8:30  " << QTime(8, 30, 0);
    QTest::newRow("PM after") << "1:00 PM" << QTime(13, 0, 0);
    QTest::newRow("pm glued") << "1:00pm" << QTime(13, 0, 0);
    QTest::newRow("PM before") << "PM 1:02:03" << QTime(13, 2, 3);
    QTest::newRow("12 AM") << "12:00:00 AM" << QTime(0, 0, 0);
    QTest::newRow("12 PM") << "12:30 PM" << QTime(12, 30, 0);
    QTest::newRow("AM morning") << "am 9:15" << QTime(9, 15, 0);
    QTest::newRow("上午") << QStringLiteral("上午 9:15") << QTime(9, 15, 0);
    QTest::newRow("下午 before") << QStringLiteral("下午3:05:06") << QTime(15, 5, 6);
    QTest::newRow("下午 after") << QStringLiteral("3:05 下午") << QTime(15, 5, 0);
    QTest::newRow("24:00:00") << "24:00:00" << bad;
    QTest::newRow("hour alone") << "7" << bad;
    QTest::newRow("abc") << "abc" << bad;
    QTest::newRow("empty") << "" << bad;
    QTest::newRow("minute 60") << "12:60" << bad;
    QTest::newRow("second 60") << "12:00:60" << bad;
    QTest::newRow("three digits") << "123:00" << bad;
    QTest::newRow("four fields") << "1:2:3:4" << bad;
    QTest::newRow("empty field") << "1::2" << bad;
    QTest::newRow("trailing colon") << "1:2:" << bad;
    QTest::newRow("negative") << "-1:00" << bad;
    QTest::newRow("milliseconds") << "1:02:03.5" << bad;
    QTest::newRow("13 PM") << "13:00 PM" << bad;
    QTest::newRow("marker alone") << "AM" << bad;
    QTest::newRow("two markers") << "AM 1:00 PM" << bad;
    QTest::newRow("fullwidth digits") << QStringLiteral("１:００") << bad;
}

void TestSettings::parseTime()
{
    QFETCH(QString, text);
    QFETCH(QTime, expected);
    const auto got = hy::parseStartTime(text);
    QCOMPARE(got.has_value(), expected.isValid());
    if (got)
        QCOMPARE(*got, expected);
}

void TestSettings::formatTime_data()
{
    QTest::addColumn<QTime>("time");
    QTest::addColumn<QString>("expected");
    QTest::newRow("default value") << QTime(5, 5, 5) << "5:05:05";
    QTest::newRow("midnight") << QTime(0, 0, 0) << "0:00:00";
    QTest::newRow("noon") << QTime(12, 0, 7) << "12:00:07";
    QTest::newRow("last second") << QTime(23, 59, 59) << "23:59:59";
    QTest::newRow("milliseconds dropped") << QTime(6, 7, 8, 999) << "6:07:08";
    QTest::newRow("invalid") << QTime() << "";
}

void TestSettings::formatTime()
{
    QFETCH(QTime, time);
    QFETCH(QString, expected);
    QCOMPARE(hy::formatStartTime(time), expected);
}

void TestSettings::formatThenParseEverySecond()
{
    for (int s = 0; s < 24 * 3600; ++s) {
        const QTime t = QTime(0, 0).addSecs(s);
        const auto back = hy::parseStartTime(hy::formatStartTime(t));
        if (!back || *back != t)
            QFAIL(qPrintable("no round trip for " + t.toString()));
    }
}

void TestSettings::noFile()
{
    SettingsFile file;
    FakeWindow window;
    QVERIFY(!hy::loadSettings(file.path, window.store));
    QVERIFY(window.calls.isEmpty());
    QCOMPARE(window.snapshot(), FakeWindow().snapshot());

    window.setChecked("IsHour", true);
    QVERIFY(!hy::saveSettings(file.path, window.store));
    QVERIFY(!QFileInfo::exists(file.path));
    QVERIFY(entriesOf(file.dir.path()).isEmpty());
}

void TestSettings::nothingToRead_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("section without keys") << QByteArray("[Common]\n");
    QTest::newRow("comments only") << QByteArray("[Common]\r\n; IsHour=1\r\n\r\n");
    QTest::newRow("other section") << QByteArray("[Other]\nIsHour=1\n");
    QTest::newRow("keys before any section") << QByteArray("IsHour=1\n");
    QTest::newRow("lines without equals") << QByteArray("[Common]\nIsHour\n");
}

void TestSettings::nothingToRead()
{
    QFETCH(QByteArray, content);
    SettingsFile file(content);
    FakeWindow window;
    QVERIFY(!hy::loadSettings(file.path, window.store));
    QVERIFY(window.calls.isEmpty());

    window.setChecked("IsHour", true);
    window.setWave("/tmp/x.wav");
    QVERIFY(!hy::saveSettings(file.path, window.store));
    QCOMPARE(file.bytes(), content);
    QCOMPARE(entriesOf(file.dir.path()), QStringList{"hytunetm.db"});
}

void TestSettings::onlyIsHour()
{
    SettingsFile file("[Common]\nIsHour=1\n");
    FakeWindow window;
    QVERIFY(hy::loadSettings(file.path, window.store));
    QCOMPARE(window.handlerRuns, (QMap<QString, int>{{"IsHour", 1}}));
    QCOMPARE(window.snapshot(), FakeWindow::designWith({"IsHour=1"}));

    QVERIFY(hy::saveSettings(file.path, window.store));
    QByteArray expected = "[Common]\nIsHour=1\n" + DesignBody;
    expected.replace("IsHour=0\n", "");
    QCOMPARE(file.bytes(), expected);
    QCOMPARE(entriesOf(file.dir.path()), QStringList{"hytunetm.db"});
}

void TestSettings::shippedFileHoldsDesignValues()
{
    const QByteArray shipped = readAll(HY_SHIPPED_SETTINGS);
    QCOMPARE(shipped, "[Common]\n" + DesignBody);

    SettingsFile file(shipped);
    FakeWindow window;
    QVERIFY(hy::loadSettings(file.path, window.store));
    QCOMPARE(window.snapshot(), FakeWindow().snapshot());
    QVERIFY(window.handlerRuns.isEmpty());

    // Saving an unchanged window leaves the file alone.
    const ino_t before = inodeOf(file.path);
    QVERIFY(hy::saveSettings(file.path, window.store));
    QCOMPARE(file.bytes(), shipped);
    QCOMPARE(inodeOf(file.path), before);
}

// The keys are taken in table order, section by section, each changing at
// most once.
void TestSettings::keysInOrder()
{
    QByteArray all = "[ServerTime]\nFollowServer=1\n[Sound]\nVolume=5\nIsQuiet=1\n[Common]\n";
    QStringList expected;
    for (const hy::SettingKey& key : hy::settingKeys()) {
        const QString changed = key.kind == hy::SettingKind::Flag        ? "1"
                                : key.kind == hy::SettingKind::Time      ? "1:02:03"
                                : key.kind == hy::SettingKind::ListEntry ? hy::entriesOf(key).last()
                                                                         : "/tmp/x";
        all += QByteArray(key.name) + "=" + changed.toUtf8() + "\n";
        expected << key.name;
    }
    SettingsFile file(all);
    FakeWindow window;
    QVERIFY(hy::loadSettings(file.path, window.store));
    QCOMPARE(window.calls, expected + QStringList({"Volume", "IsQuiet", "FollowServer"}));
}

void TestSettings::listLookup_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QString>("shown"); // empty: no entry selected

    QTest::newRow("HourCounter 5") << "HourCounter" << QByteArray("5") << "5";
    QTest::newRow("HourCounter 23") << "HourCounter" << QByteArray("23") << "23";
    QTest::newRow("HourCounter 24") << "HourCounter" << QByteArray("24") << "";
    QTest::newRow("HourCounter abc") << "HourCounter" << QByteArray("abc") << "";
    QTest::newRow("HourCounter 05") << "HourCounter" << QByteArray("05") << "";
    QTest::newRow("HourCounter empty") << "HourCounter" << QByteArray("") << "";
    QTest::newRow("SecondCounter 0") << "SecondCounter" << QByteArray("0") << "0";
    QTest::newRow("FixHour 7") << "FixHour" << QByteArray("7") << "7";
    QTest::newRow("FixMinute 45") << "FixMinute" << QByteArray("45") << "45";
    QTest::newRow("FixHour 30") << "FixHour" << QByteArray("30") << "";
    QTest::newRow("HotKey f5") << "HotKey" << QByteArray("f5") << "F5";
    QTest::newRow("HotKey F12") << "HotKey" << QByteArray("F12") << "F12";
    QTest::newRow("HotKey F13") << "HotKey" << QByteArray("F13") << "";
    QTest::newRow("HotKey quoted with blanks") << "HotKey" << QByteArray("\" F2\"") << "";
    QTest::newRow("HotKey blanks trimmed") << "HotKey" << QByteArray("  F2  ") << "F2";
}

void TestSettings::listLookup()
{
    QFETCH(QString, key);
    QFETCH(QByteArray, stored);
    QFETCH(QString, shown);

    SettingsFile file("[Common]\n" + key.toUtf8() + "=" + stored + "\n");
    FakeWindow window;
    QVERIFY(hy::loadSettings(file.path, window.store));
    QCOMPARE(window.text(key), shown);
    QCOMPARE(window.snapshot(), FakeWindow::designWith({key + "=" + shown}));
    QVERIFY(window.handlerRuns.isEmpty());

    QVERIFY(hy::saveSettings(file.path, window.store));
    QCOMPARE(file.stored(key), shown);
}

void TestSettings::editableText_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("stored");

    QTest::newRow("LastMinute abc") << "LastMinute"
                                    << "abc";
    QTest::newRow("LastMinute 99") << "LastMinute"
                                   << "99";
    QTest::newRow("PerMinute 0") << "PerMinute"
                                 << "0";
    QTest::newRow("LastSecond empty") << "LastSecond"
                                      << "";
    QTest::newRow("PerSecond -3") << "PerSecond"
                                  << "-3";
}

void TestSettings::editableText()
{
    QFETCH(QString, key);
    QFETCH(QString, stored);
    SettingsFile file("[Common]\n" + key.toUtf8() + "=" + stored.toUtf8() + "\n");
    FakeWindow window;
    QVERIFY(hy::loadSettings(file.path, window.store));
    QCOMPARE(window.text(key), stored);
    QCOMPARE(window.snapshot(), FakeWindow::designWith({key + "=" + stored}));

    QVERIFY(hy::saveSettings(file.path, window.store));
    QCOMPARE(file.stored(key), stored);
}

void TestSettings::flags_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<bool>("ticked");
    QTest::newRow("1") << QByteArray("1") << true;
    QTest::newRow("2") << QByteArray("2") << true;
    QTest::newRow("0x1") << QByteArray("0x1") << true;
    QTest::newRow("-1") << QByteArray("-1") << true;
    QTest::newRow("0") << QByteArray("0") << false;
    QTest::newRow("0x0") << QByteArray("0x0") << false;
    QTest::newRow("yes") << QByteArray("yes") << false;
    QTest::newRow("empty") << QByteArray("") << false;
}

void TestSettings::flags()
{
    QFETCH(QByteArray, stored);
    QFETCH(bool, ticked);
    SettingsFile file("[Common]\nIsMinuteCounter=" + stored + "\n");
    FakeWindow window;
    QVERIFY(hy::loadSettings(file.path, window.store));
    QCOMPARE(window.isChecked("IsMinuteCounter"), ticked);
    QCOMPARE(window.handlerRuns.value("IsMinuteCounter"), ticked ? 1 : 0);
    QCOMPARE(window.handlerRuns.size(), ticked ? 1 : 0);

    QVERIFY(hy::saveSettings(file.path, window.store));
    QCOMPARE(file.stored("IsMinuteCounter"), ticked ? "1" : "0");
}

void TestSettings::startTime_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QTime>("shown");
    QTest::addColumn<QString>("saved");

    QTest::newRow("23:59:59") << QByteArray("23:59:59") << QTime(23, 59, 59) << "23:59:59";
    QTest::newRow("7:3") << QByteArray("7:3") << QTime(7, 3, 0) << "7:03:00";
    QTest::newRow("5:5:5") << QByteArray("5:5:5") << QTime(5, 5, 5) << "5:05:05";
    QTest::newRow("abc") << QByteArray("abc") << QTime(5, 5, 5) << "5:05:05";
    QTest::newRow("24:00:00") << QByteArray("24:00:00") << QTime(5, 5, 5) << "5:05:05";
    QTest::newRow("7") << QByteArray("7") << QTime(5, 5, 5) << "5:05:05";
    QTest::newRow("empty") << QByteArray("") << QTime(5, 5, 5) << "5:05:05";
}

void TestSettings::startTime()
{
    QFETCH(QByteArray, stored);
    QFETCH(QTime, shown);
    QFETCH(QString, saved);

    SettingsFile file("[Common]\nStartTime=" + stored +
                      "\nHotKey=F7\nLastWaveFile=/tmp/alert.wav\nIsStart=1\n");
    FakeWindow window;
    QVERIFY(hy::loadSettings(file.path, window.store));
    QCOMPARE(window.startTime(), shown);
    // An unreadable time costs only the time: the keys after it still count.
    QCOMPARE(window.text("HotKey"), QString("F7"));
    QCOMPARE(window.waveFile(), QString("/tmp/alert.wav"));
    QVERIFY(window.isChecked("IsStart"));

    QVERIFY(hy::saveSettings(file.path, window.store));
    QCOMPARE(file.stored("StartTime"), saved);
    QCOMPARE(file.stored("HotKey"), QString("F7"));
    QCOMPARE(file.stored("LastWaveFile"), QString("/tmp/alert.wav"));
}

void TestSettings::waveFileHandedOverAsStored_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("handed");

    const QString longPath = "/" + QString(3000, QLatin1Char('w'));
    QTest::newRow("plain") << QByteArray("LastWaveFile=/home/u/a.wav\n") << "/home/u/a.wav";
    QTest::newRow("blanks in name")
        << QByteArray("LastWaveFile=/home/u/my sound.wav\n") << "/home/u/my sound.wav";
    QTest::newRow("blanks inside quotes")
        << QByteArray("LastWaveFile=\"  /home/u/a.wav\t\"\n") << "  /home/u/a.wav\t";
    QTest::newRow("blanks outside quotes dropped")
        << QByteArray("LastWaveFile=   /home/u/a.wav   \n") << "/home/u/a.wav";
    QTest::newRow("utf-8") << QByteArray("LastWaveFile=/home/用户/提示.wav\n")
                           << QStringLiteral("/home/用户/提示.wav");
    QTest::newRow("empty") << QByteArray("LastWaveFile=\n") << "";
    QTest::newRow("missing") << QByteArray("IsHour=0\n") << "";
    QTest::newRow("longer than 2047 bytes")
        << ("LastWaveFile=" + longPath.toUtf8() + "\n") << longPath.left(2047);
}

void TestSettings::waveFileHandedOverAsStored()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, handed);
    SettingsFile file("[Common]\n" + line);
    FakeWindow window;
    QVERIFY(hy::loadSettings(file.path, window.store));
    // The alert sound takes the path without the blanks around it.
    QCOMPARE(window.waveFile(), hy::trimControlChars(handed));
    QCOMPARE(window.calls.count("LastWaveFile"), handed.trimmed().isEmpty() ? 0 : 1);

    // The save writes what the store holds, and it reads back the same.
    QVERIFY(hy::saveSettings(file.path, window.store));
    FakeWindow again;
    QVERIFY(hy::loadSettings(file.path, again.store));
    QCOMPARE(again.waveFile(), window.waveFile());
}

void TestSettings::mixedCaseKeys()
{
    SettingsFile file("[COMMON]\nhourcounter=5\nISHOUR=1\nhotkey=f3\nstarttime=6:7\n");
    FakeWindow window;
    QVERIFY(hy::loadSettings(file.path, window.store));
    QCOMPARE(window.snapshot(), FakeWindow::designWith({"HourCounter=5", "IsHour=1", "HotKey=F3",
                                                        "StartTime=06:07:00"}));

    QVERIFY(hy::saveSettings(file.path, window.store));
    const QByteArray saved = file.bytes();
    // One line per key, whatever its letter case in the file.
    QCOMPARE(saved.toLower().count("hourcounter="), 1);
    QCOMPARE(saved.toLower().count("starttime="), 1);
    QCOMPARE(saved.toLower().count("[common]"), 1);
    FakeWindow again;
    QVERIFY(hy::loadSettings(file.path, again.store));
    QCOMPARE(again.snapshot(), window.snapshot());
}

void TestSettings::keysOutsideCommonIgnored()
{
    const QByteArray before = "HourCounter=3\n"
                              "[Other]\n"
                              "HourCounter=4\n"
                              "IsHour=1\n"
                              "[Common]\n"
                              "MinuteCounter=20\n"
                              "[Tail]\n"
                              "IsCircle=1\n";
    SettingsFile file(before);
    FakeWindow window;
    QVERIFY(hy::loadSettings(file.path, window.store));
    QCOMPARE(window.snapshot(), FakeWindow::designWith({"MinuteCounter=20"}));

    window.setChecked("IsHalf", true);
    QVERIFY(hy::saveSettings(file.path, window.store));
    QByteArray body = DesignBody;
    body.replace("MinuteCounter=10\n", "");
    body.replace("IsHalf=0", "IsHalf=1");
    const QByteArray expected = "HourCounter=3\n"
                                "[Other]\n"
                                "HourCounter=4\n"
                                "IsHour=1\n"
                                "[Common]\n"
                                "MinuteCounter=20\n" +
                                body +
                                "[Tail]\n"
                                "IsCircle=1\n";
    QCOMPARE(file.bytes(), expected);
}

void TestSettings::refusingControlDoesNotStopLoad()
{
    SettingsFile file("[Common]\nLastMinute=7\nPerMinute=3\nIsHour=1\nHotKey=F9\n");
    FakeWindow window;
    window.throwOn = "LastMinute";
    QVERIFY(hy::loadSettings(file.path, window.store));
    QCOMPARE(window.snapshot(),
             FakeWindow::designWith({"LastMinute=7", "PerMinute=3", "IsHour=1", "HotKey=F9"}));
}

void TestSettings::crlfRoundTrip()
{
    const QByteArray before = "\xEF\xBB\xBF; hytune\r\n"
                              "[Window]\r\n"
                              "Left = 10\r\n"
                              "HourCounter=8\r\n"
                              "\r\n"
                              "[Common]\r\n"
                              "; countdown length\r\n"
                              "HourCounter = 1 \r\n"
                              "MinuteCounter=10\r\n"
                              "SecondCounter=30\r\n"
                              "IsMinuteCounter=0\r\n"
                              "LastMinute=\"10\"\r\n"
                              "IsHour=0\r\n"
                              "HotKey=F2\r\n"
                              "LastWaveFile=/tmp/old.wav\r\n"
                              "\r\n"
                              "[Other]\r\n"
                              "IsHour=1\r\n";
    SettingsFile file(before);
    FakeWindow window;
    QVERIFY(hy::loadSettings(file.path, window.store));
    QCOMPARE(window.snapshot(),
             FakeWindow::designWith({"HourCounter=1", "HotKey=F2", "LastWaveFile=/tmp/old.wav"}));

    window.selectEntry("HourCounter", 2);
    window.setChecked("IsHour", true);
    window.setWave("/tmp/new sound.wav");
    QVERIFY(hy::saveSettings(file.path, window.store));
    const QByteArray expected = "\xEF\xBB\xBF; hytune\r\n"
                                "[Window]\r\n"
                                "Left = 10\r\n"
                                "HourCounter=8\r\n"
                                "\r\n"
                                "[Common]\r\n"
                                "; countdown length\r\n"
                                "HourCounter=2\r\n"
                                "MinuteCounter=10\r\n"
                                "SecondCounter=30\r\n"
                                "IsMinuteCounter=0\r\n"
                                "LastMinute=\"10\"\r\n"
                                "IsHour=1\r\n"
                                "HotKey=F2\r\n"
                                "LastWaveFile=/tmp/new sound.wav\r\n"
                                "PerMinute=1\r\n"
                                "IsSecondCounter=0\r\n"
                                "LastSecond=30\r\n"
                                "PerSecond=1\r\n"
                                "IsLastOne=0\r\n"
                                "IsCircle=0\r\n"
                                "IsDispTop=0\r\n"
                                "IsHalf=0\r\n"
                                "IsFixTimer=0\r\n"
                                "FixHour=9\r\n"
                                "FixMinute=25\r\n"
                                "IsStart=0\r\n"
                                "StartTime=5:05:05\r\n"
                                "\r\n"
                                "[Other]\r\n"
                                "IsHour=1\r\n";
    QCOMPARE(file.bytes(), expected);
    QCOMPARE(entriesOf(file.dir.path()), QStringList{"hytunetm.db"});

    // Loading what was saved gives the same window; saving again changes nothing.
    FakeWindow again;
    QVERIFY(hy::loadSettings(file.path, again.store));
    QCOMPARE(again.snapshot(), window.snapshot());
    QVERIFY(hy::saveSettings(file.path, again.store));
    QCOMPARE(file.bytes(), expected);
}

void TestSettings::readOnlyFileKept()
{
    const QByteArray before = "[Common]\nIsHour=0\n";
    SettingsFile file(before);
    QVERIFY(QFile::setPermissions(file.path, QFile::ReadOwner | QFile::ReadGroup));
    FakeWindow window;
    QVERIFY(hy::loadSettings(file.path, window.store));
    window.setChecked("IsHour", true);

    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression("^cannot write .*hytunetm.db \\(Permission denied\\)"));
    QVERIFY(!hy::saveSettings(file.path, window.store));
    QCOMPARE(file.bytes(), before);
    QCOMPARE(entriesOf(file.dir.path()), QStringList{"hytunetm.db"});
}

void TestSettings::noRoomForTemporary()
{
    // A file name at the length limit: no temporary name fits beside it.
    QTemporaryDir dir;
    const QString path = dir.filePath(QString(250, QLatin1Char('s')));
    const QByteArray before = "[Common]\nIsHour=0\n";
    QVERIFY(writeBytes(path, before));
    FakeWindow window;
    QVERIFY(hy::loadSettings(path, window.store));
    window.setChecked("IsHour", true);

    QVERIFY(!hy::saveSettings(path, window.store));
    QCOMPARE(readAll(path), before);
    QCOMPARE(entriesOf(dir.path()).size(), 1);
}

void TestSettings::lineBreakInWavePath()
{
    SettingsFile file("[Common]\nLastWaveFile=/tmp/a.wav\nHotKey=F1\n");
    FakeWindow window;
    QVERIFY(hy::loadSettings(file.path, window.store));
    window.setWave("/tmp/a\n[Common]\nIsHour=1.wav");
    window.selectEntry("HotKey", 3);

    QVERIFY(hy::saveSettings(file.path, window.store));
    QCOMPARE(file.stored("LastWaveFile"), QString());
    QCOMPARE(file.stored("HotKey"), QString("F4"));
    QCOMPARE(file.bytes().count("[Common]"), 1);
}

void TestSettings::serverTimeSection_data()
{
    QTest::addColumn<QByteArray>("section"); // after [Common]
    QTest::addColumn<bool>("restored");
    QTest::addColumn<hy::ServerTimeChoice>("loaded");
    QTest::addColumn<hy::ServerTimeChoice>("chosen"); // what the window holds at the save
    QTest::addColumn<QByteArray>("saved");            // the section after the save
    const qint64 at =
        QDateTime(QDate(2026, 12, 9), QTime(5, 40, 0, 123), Qt::UTC).toMSecsSinceEpoch();
    const hy::ServerTimeChoice none;
    const hy::ServerTimeChoice web{"https://shop.example", true,
                                   hy::ServerOffset{-420000, 30000, at}};
    const QByteArray webSection = "[ServerTime]\nAddress=https://shop.example\nFollowServer=1\n"
                                  "OffsetUs=-420000\nUncertaintyUs=30000\n"
                                  "MeasuredAt=2026-12-09T05:40:00.123Z\n";
    QTest::newRow("no section, unused") << QByteArray() << false << none << none << QByteArray();
    QTest::newRow("no section, then used")
        << QByteArray() << false << none << web << "\n" + webSection;
    QTest::newRow("all keys") << webSection << true << web << web << webSection;
    QTest::newRow("offset unreadable")
        << QByteArray("[ServerTime]\nAddress= ntp://a \nFollowServer=0x1\nOffsetUs=12ms\n"
                      "UncertaintyUs=1\nMeasuredAt=2026-12-09T05:40:00Z\n")
        << true << hy::ServerTimeChoice{"ntp://a", true, std::nullopt}
        << hy::ServerTimeChoice{"ntp://a", false, std::nullopt}
        << QByteArray("[ServerTime]\nAddress= ntp://a \nFollowServer=0\nOffsetUs=\n"
                      "UncertaintyUs=\nMeasuredAt=\n");
    // Hand-edited beyond what a check finds: the nearest it could find.
    const hy::ServerTimeChoice least{"", false,
                                     hy::ServerOffset{-hy::MaxOffsetUs, hy::MaxUncertaintyUs, at}};
    QTest::newRow("offset and uncertainty at the limits")
        << QByteArray(
               "[ServerTime]\nOffsetUs=-9223372036854775808\nUncertaintyUs=9223372036854775807\n"
               "MeasuredAt=2026-12-09T05:40:00.123Z\n")
        << true << least << least
        << "[ServerTime]\nOffsetUs=" + QByteArray::number(least.last->offsetUs) +
               "\nUncertaintyUs=6000000\nMeasuredAt=2026-12-09T05:40:00.123Z\nAddress="
               "\nFollowServer=0\n";
    QTest::newRow("no time of measuring")
        << QByteArray("[ServerTime]\nOffsetUs=5\nUncertaintyUs=1\nMeasuredAt=yesterday\n") << true
        << none << none
        << QByteArray("[ServerTime]\nOffsetUs=\nUncertaintyUs=\nMeasuredAt=\n"
                      "Address=\nFollowServer=0\n");
}

// Section ServerTime beside Common: read when there, written in the same
// all-or-nothing save, and added only once 对时 is used.
void TestSettings::serverTimeSection()
{
    QFETCH(QByteArray, section);
    QFETCH(bool, restored);
    QFETCH(hy::ServerTimeChoice, loaded);
    QFETCH(hy::ServerTimeChoice, chosen);
    QFETCH(QByteArray, saved);
    const QByteArray common = "[Common]\n" + DesignBody;
    SettingsFile file(common + section);
    FakeWindow window;
    const QStringList design = FakeWindow().snapshot();
    QVERIFY(hy::loadSettings(file.path, window.store));
    QCOMPARE(window.store.sectionInFile("ServerTime"), restored);
    QCOMPARE(hy::storedServerTime(window.store), loaded);
    QCOMPARE(window.snapshot(), design); // the rest as before
    hy::storeServerTime(window.store, chosen);
    QVERIFY(hy::saveSettings(file.path, window.store));
    QCOMPARE(file.bytes().mid(common.size()), saved);
    QVERIFY(file.bytes().startsWith(common));
    FakeWindow again;
    QVERIFY(hy::loadSettings(file.path, again.store));
    QCOMPARE(hy::storedServerTime(again.store), chosen);
}

QTEST_GUILESS_MAIN(TestSettings)
#include "test_settings.moc"
