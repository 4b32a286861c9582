#include "fakes/formrig.h"
#include "fakes/testfiles.h"
#include "fakes/timeservers.h"

#include "core/settings/inifile.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimeEdit>
#include <QtTest>

namespace {

// 8:59:58.5 on the local clock, the hourly chime and a countdown held back
// until 9:00:00; the server's clock 1.234 s ahead, measured just now.
QByteArray settingsAroundNine(bool follow)
{
    const QString now = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
    return QStringLiteral("[Common]\nIsHour=1\nIsSecondCounter=1\nIsStart=1\nStartTime=9:00:00\n"
                          "[ServerTime]\nAddress=http://127.0.0.1:9/\nFollowServer=%1\n"
                          "OffsetUs=1234000\nUncertaintyUs=2000\nMeasuredAt=%2\n")
        .arg(follow ? 1 : 0)
        .arg(now)
        .toUtf8();
}

// Clicks 对时 for what `typed` says and waits for the outcome.
bool checkFromPage(FormRig& rig, const QString& typed)
{
    auto* address = rig.find<QLineEdit>("edtServerAddr");
    address->clear();
    QTest::keyClicks(address, typed);
    rig.click("btnServerCheck");
    return QTest::qWaitFor([&] { return rig.find<QPushButton>("btnServerCheck")->isEnabled(); },
                           20000);
}

} // namespace

class TestServerTimePage : public QObject
{
    Q_OBJECT
private slots:
    void gateAndChimesFollowServer_data();
    void gateAndChimesFollowServer();
    void checkFromThePage();
    void pageSaysWhatWentWrong_data();
    void pageSaysWhatWentWrong();
};

void TestServerTimePage::gateAndChimesFollowServer_data()
{
    QTest::addColumn<bool>("follow");
    QTest::addColumn<int>("chimeInMs");
    QTest::addColumn<bool>("waitingAfter266ms");
    QTest::newRow("按服务器时间") << true << 266 << false;
    QTest::newRow("local time") << false << 1500 << true;
}

// The start-time gate and the chimes read local time plus the offset; the
// countdown's own seconds are the tick source's and stay as they are.
void TestServerTimePage::gateAndChimesFollowServer()
{
    QFETCH(bool, follow);
    QFETCH(int, chimeInMs);
    QFETCH(bool, waitingAfter266ms);
    FormRig rig;
    rig.writeSettings(settingsAroundNine(follow));
    rig.clock->now = QTime(8, 59, 58, 500);
    TForm1& form = rig.make();
    QCOMPARE(rig.find<QCheckBox>("chkServerTime")->isChecked(), follow);
    QCOMPARE(rig.clock->timer("tmrHour")->remainingMs(), chimeInMs);
    rig.click("btnMinStart");
    QVERIFY(form.countdown().isWaiting());
    rig.clock->advance(266);
    rig.tick();
    QCOMPARE(form.countdown().isWaiting(), waitingAfter266ms);
    rig.clock->advance(chimeInMs - 266);
    QVERIFY(rig.player->waitStarted(1));
    QCOMPARE(rig.player->started().front(), clipPhrase({11, 12, 10, 13, 9, 14, 15})); // 9:00

    // Switched the other way, the next chime is aimed at the other clock's minute.
    rig.find<QCheckBox>("chkServerTime")->setChecked(!follow);
    QCOMPARE(rig.clock->timer("tmrHour")->remainingMs(), follow ? 1234 : 60000 - 1234);
}

// The user types a web shop's address, clicks 对时, sees the offset, ticks
// 按服务器时间; the choice and the offset are kept in the settings file.
void TestServerTimePage::checkFromThePage()
{
    FakeWebServer server({1234000, 0, Answer::Proper});
    FormRig rig;
    rig.writeSettings("[Common]\nIsHour=0\n");
    TForm1& form = rig.make();
    auto* result = rig.find<QLabel>("lblServerResult");
    QCOMPARE(result->text(), QStringLiteral("还没有对时"));
    QVERIFY(checkFromPage(rig, server.address()));
    QVERIFY2(result->text().startsWith(QStringLiteral("本机时间比服务器慢 1.2")),
             qPrintable(result->text()));
    QVERIFY(result->text().contains(QStringLiteral("刚刚对时")));

    rig.find<QCheckBox>("chkSec")->setChecked(true);
    rig.find<QCheckBox>("chkStart")->setChecked(true);
    rig.find<QTimeEdit>("dtmpckrStart")->setTime(QTime(9, 0, 0));
    rig.clock->now = QTime(8, 59, 59);
    rig.find<QCheckBox>("chkServerTime")->setChecked(true);
    rig.click("btnMinStart");
    QVERIFY(!form.countdown().isWaiting()); // 9:00:00.2 on the server

    form.close();
    const hy::IniFile saved(testfiles::readAll(rig.settingsPath()));
    QCOMPARE(saved.value("ServerTime", "Address"), server.address());
    QCOMPARE(saved.value("ServerTime", "FollowServer"), QStringLiteral("1"));
    QVERIFY(std::abs(saved.value("ServerTime", "OffsetUs")->toLongLong() - 1234000) <= 20000);
}

void TestServerTimePage::pageSaysWhatWentWrong_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("message");
    QTest::newRow("nothing typed") << ""
                                   << "对时失败：请先填写服务器地址";
    QTest::newRow("another scheme") << "ftp://files.example"
                                    << "对时失败：地址应以 ntp://";
    QTest::newRow("nobody listens") << "http://127.0.0.1:9/"
                                    << "对时失败：服务器 127.0.0.1 拒绝连接";
}

void TestServerTimePage::pageSaysWhatWentWrong()
{
    QFETCH(QString, typed);
    QFETCH(QString, message);
    FormRig rig;
    rig.make();
    QVERIFY(checkFromPage(rig, typed));
    const QString shown = rig.find<QLabel>("lblServerResult")->text();
    QVERIFY2(shown.startsWith(QStringLiteral("还没有对时\n") + message), qPrintable(shown));
    QVERIFY(!anyBoxShown());
}

QTEST_MAIN(TestServerTimePage)
#include "test_servertimepage.moc"
