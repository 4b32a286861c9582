#include "fakes/formrig.h"

#include "core/hywebtips.h"
#include "core/mythread.h"
#include "shell/application.h"
#include "shell/tipsticker.h"
#include "shell/trayicon.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimeEdit>
#include <QtTest>

namespace {

// Answers every request with the same body.
class TipsServer : public QTcpServer
{
public:
    explicit TipsServer(QByteArray body)
        : m_body(std::move(body))
    {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = nextPendingConnection()) {
                connect(s, &QTcpSocket::readyRead, s, [this, s] {
                    if (!s->readAll().contains("\r\n\r\n"))
                        return;
                    s->write(
                        "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(m_body.size()) +
                        "\r\nConnection: close\r\n\r\n" + m_body);
                    s->disconnectFromHost();
                });
            }
        });
        listen(QHostAddress::LocalHost);
    }
    QString base() const { return QStringLiteral("http://127.0.0.1:%1").arg(serverPort()); }

private:
    QByteArray m_body;
};

} // namespace

class TestFormFeatures : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { hy::installFontSubstitutes(); }
    void fixedTimeBoxesFollowTheirBox();
    void restoredBoxesTakeEffect_data();
    void restoredBoxesTakeEffect();
    void noSettingsFileStaysAbsent();
    void hotkeyFollowsRealState();
    void hotkeyProblemKnownAtOnce();
    void hotkeyOffers_data();
    void hotkeyOffers();
    void hotkeyReport_data();
    void hotkeyReport();
    void tipsShownAndOpenedSafely_data();
    void tipsShownAndOpenedSafely();
    void closingBeforeFirstTipWritesNothing();
    void waitingForStartTimeIsShown();
    void trayFollowsTheCountdown_data();
    void trayFollowsTheCountdown();
    void tipsDestroyedAfterSave();
};

// The fixed time's boxes can be changed only while the fixed chime is on,
// and keep what they show when it goes off.
void TestFormFeatures::fixedTimeBoxesFollowTheirBox()
{
    FormRig rig;
    rig.make();
    rig.find<QCheckBox>("chkFix")->setChecked(true);
    QVERIFY(rig.find<QComboBox>("cbbFixHour")->isEnabled());
    rig.find<QComboBox>("cbbFixHour")->setCurrentIndex(7);
    rig.find<QCheckBox>("chkFix")->setChecked(false);
    QVERIFY(!rig.find<QComboBox>("cbbFixHour")->isEnabled());
    QVERIFY(!rig.find<QComboBox>("cbbFixMin")->isEnabled());
    QCOMPARE(rig.find<QComboBox>("cbbFixHour")->currentText(), QStringLiteral("7"));
    QCOMPARE(rig.settings().value("FixHour"), QStringLiteral("7"));
}

void TestFormFeatures::restoredBoxesTakeEffect_data()
{
    QTest::addColumn<QByteArray>("settings");
    QTest::addColumn<QString>("check");
    QTest::newRow("IsDispTop") << QByteArray("[Common]\nIsDispTop=1\n") << "top";
    QTest::newRow("IsFixTimer") << QByteArray("[Common]\nisfixtimer=1\nFixHour=7\nFixMinute=45\n")
                                << "fixed";
    QTest::newRow("IsCircle") << QByteArray("[Common]\nIsCircle=1\n") << "circle";
    QTest::newRow("IsHour") << QByteArray("[Common]\nIsHour=0x1\n") << "hour";
    QTest::newRow("HotKey f5") << QByteArray("[Common]\nHotKey=f5\n") << "F5";
    QTest::newRow("HotKey F13") << QByteArray("[Common]\nHotKey=F13\n") << "F1";
    QTest::newRow("bad StartTime keeps the rest")
        << QByteArray("[Common]\nStartTime=abc\nHotKey=F9\nIsStart=1\n") << "F9";
    QTest::newRow("StartTime 7:3") << QByteArray("[Common]\nStartTime=7:3\n") << "07:03:00";
}

void TestFormFeatures::restoredBoxesTakeEffect()
{
    QFETCH(QByteArray, settings);
    QFETCH(QString, check);
    FormRig rig;
    rig.writeSettings(settings);
    TForm1& form = rig.make();
    if (check == "top") {
        QVERIFY(form.windowFlags() & Qt::WindowStaysOnTopHint);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QVERIFY(form.windowHandle()->flags() & Qt::WindowStaysOnTopHint);
        rig.find<QCheckBox>("chkDispTop")->setChecked(false);
        QVERIFY(!(form.windowHandle()->flags() & Qt::WindowStaysOnTopHint));
    } else if (check == "fixed") {
        QVERIFY(rig.find<QComboBox>("cbbFixHour")->isEnabled());
        QCOMPARE(rig.find<QComboBox>("cbbFixHour")->currentText(), QStringLiteral("7"));
        QCOMPARE(rig.find<QComboBox>("cbbFixMin")->currentText(), QStringLiteral("45"));
        QVERIFY(rig.clock->timer("tmrHour")->isActive());
    } else if (check == "circle") {
        QVERIFY(!rig.find<QLabel>("lblTitle")->isHidden());
        QVERIFY(!rig.find<QLabel>("lblCount")->isHidden());
    } else if (check == "hour") {
        QVERIFY(rig.find<QCheckBox>("chkHour")->isChecked());
        QVERIFY(rig.clock->timer("tmrHour")->isActive());
    } else if (check.startsWith('F')) {
        QCOMPARE(rig.hotkey->calls(), QStringList{"register " + check});
    } else {
        QCOMPARE(rig.find<QTimeEdit>("dtmpckrStart")->time(), QTime::fromString(check));
    }
}

void TestFormFeatures::noSettingsFileStaysAbsent()
{
    FormRig rig;
    TForm1& form = rig.make();
    rig.find<QCheckBox>("chkHour")->setChecked(true);
    form.close();
    QVERIFY(!QFile::exists(rig.settingsPath()));
}

void TestFormFeatures::hotkeyFollowsRealState()
{
    FormRig rig;
    TForm1& form = rig.make();
    rig.find<QCheckBox>("chkSec")->setChecked(true);
    QVERIFY(rig.hotkey->press());
    QVERIFY(form.countdown().isActive());
    QVERIFY(rig.hotkey->press());
    QVERIFY(!form.countdown().isActive());
    // Started by the button, stopped by the key.
    rig.click("btnMinStart");
    QVERIFY(rig.hotkey->press());
    QVERIFY(!form.countdown().isActive());
    // Started by the key, stopped by the button: the next press starts again.
    QVERIFY(rig.hotkey->press());
    QTest::mouseClick(rig.find<QPushButton>("btnStop"), Qt::LeftButton);
    QVERIFY(rig.hotkey->press());
    QVERIFY(form.countdown().isActive());
    QCOMPARE(rig.ticks->starts, 4);
    QVERIFY(rig.ticks->running);
    // A run that ended by itself: the next press starts a new one.
    rig.find<QComboBox>("cbbMin")->setCurrentIndex(0);
    rig.find<QComboBox>("cbbSec")->setCurrentIndex(1);
    rig.click("btnStop");
    QVERIFY(rig.hotkey->press());
    rig.tick();
    rig.tick();
    QVERIFY(!form.countdown().isActive());
    QVERIFY(rig.hotkey->press());
    QVERIFY(form.countdown().isActive());
}

void TestFormFeatures::hotkeyProblemKnownAtOnce()
{
    // A backend that answers during registration (no desktop-wide keys here).
    FormRig rig;
    auto services = rig.services();
    services.makeHotkey = [] {
        auto h = std::make_unique<FakeHotkey>();
        h->setRegisterOutcome(hy::GlobalHotkey::Status::Unavailable, "此桌面不支持全局快捷键");
        return h;
    };
    rig.make(std::move(services));
    QVERIFY(rig.find<QComboBox>("cbbKey")->toolTip().startsWith(
        QStringLiteral("此桌面不支持全局快捷键")));
}

void TestFormFeatures::hotkeyReport_data()
{
    using S = hy::GlobalHotkey::Status;
    QTest::addColumn<S>("status");
    QTest::addColumn<QString>("problem");
    QTest::addColumn<QString>("boundKey");
    QTest::addColumn<QString>("hintHas"); // "" for no hint at all
    QTest::addColumn<QString>("keyLine"); // the help page's, after its "6、启动或停止快捷键："
    const QString command = QCoreApplication::applicationFilePath() + " --toggle";
    const QString instead =
        "桌面没有提供，请在桌面的键盘快捷键设置里把一个键设为运行命令 " + command + "；";
    QTest::newRow("bound as asked") << S::Registered << ""
                                    << "Ctrl+F1"
                                    << ""
                                    << "Ctrl + F1；";
    QTest::newRow("waiting for the desktop") << S::Pending << ""
                                             << ""
                                             << ""
                                             << "Ctrl + F1（等待桌面确认）；";
    QTest::newRow("the desktop chose another key")
        << S::Registered << "桌面把启动/停止倒计时的快捷键设为 Alt+K"
        << "Alt+K"
        << "Alt+K"
        << "Alt+K（由桌面设定）；";
    QTest::newRow("taken by another program")
        << S::Taken << "快捷键 Ctrl+F1 已被其他程序占用"
        << "" << command
        << "Ctrl + F1 不能用（快捷键 Ctrl+F1 已被其他程序占用）；请在“CTRL+”后选另一个键，"
           "或可以改用桌面自己的快捷键：在桌面的键盘快捷键设置里把一个键设为运行命令 " +
               command + "；";
    QTest::newRow("no shortcuts on this desktop") << S::Unavailable << "此桌面不支持全局快捷键"
                                                  << "" << command << instead;
    QTest::newRow("bound, but the desktop does not say which key")
        << S::Registered << "桌面接受了全局快捷键，但没有说用的是哪个键"
        << "" << command << instead;
}

// What the user is told of the hotkey: nothing when it works as asked,
// otherwise what is wrong and what works instead, in the key box's hint; the
// help page names the key that works.
void TestFormFeatures::hotkeyOffers_data()
{
    QTest::addColumn<bool>("gnome"); // else a key the desktop keeps for itself, F5 free
    QTest::addColumn<QString>("keyLine");
    QTest::addColumn<QString>("summary");
    QTest::addColumn<QStringList>("calls"); // of the hotkey, once the offer is taken
    QTest::addColumn<QString>("keyBox");
    const QString program = QCoreApplication::applicationFilePath();
    QTest::newRow("GNOME: a custom shortcut of its own")
        << true
        << "Ctrl + F1 还不能用：GNOME "
           "不让程序自己设置全局快捷键。可以在通知里选“设置快捷键”，或运行 " +
               program + " --bind-desktop-shortcut，把它加为 GNOME 的自定义快捷键；"
        << "把 Ctrl+F1 设为启动/停止倒计时的快捷键？" << QStringList{"bind desktop shortcut F1"}
        << "F1";
    QTest::newRow("KDE: the nearest free key")
        << false
        << "Ctrl + F1 是桌面自己的快捷键，按下不会到达本程序；可以改用空闲的 Ctrl + "
           "F5：在“CTRL+”后选 "
           "F5，或在通知里选“设置快捷键”；"
        << "改用 Ctrl+F5 启动/停止倒计时？" << QStringList{"unregister", "register F5"} << "F5";
}

// Where the key can be set in one step, the help line says how, one notice
// offers it, and its button does it: the key box shows the key that works.
void TestFormFeatures::hotkeyOffers()
{
    QFETCH(bool, gnome);
    QFETCH(QString, keyLine);
    QFETCH(QString, summary);
    QFETCH(QStringList, calls);
    QFETCH(QString, keyBox);
    FormRig rig;
    rig.make();
    rig.hotkey->offers = gnome;
    rig.hotkey->clearCalls();
    if (gnome)
        rig.hotkey->setStatus(hy::GlobalHotkey::Status::Unavailable,
                              "GNOME 不让程序自己设置全局快捷键");
    else
        rig.hotkey->setStatus(hy::GlobalHotkey::Status::Taken, "Ctrl+F1 是桌面自己的快捷键", {}, 5);
    const QString help = rig.find<QPlainTextEdit>("mmoHelp")->toPlainText();
    QVERIFY2(help.contains("\n6、启动或停止快捷键：" + keyLine + "\n"), qPrintable(help));
    QVERIFY(rig.notifier);
    QCOMPARE(rig.notifier->shown.size(), 1);
    QCOMPARE(rig.notifier->shown.first().summary, summary);
    QCOMPARE(rig.notifier->shown.first().actions, QList{hy::NoticeAction::SetKey});
    rig.hotkey->setStatus(rig.hotkey->status(), rig.hotkey->problem(), {},
                          rig.hotkey->suggestedKey());
    QCOMPARE(rig.notifier->shown.size(), 1); // offered once
    rig.notifier->choose(hy::NoticeAction::SetKey);
    QCOMPARE(rig.hotkey->calls(), calls);
    QCOMPARE(rig.find<QComboBox>("cbbKey")->currentText(), keyBox);
    QCOMPARE(rig.settings().value("HotKey"), keyBox);
}

void TestFormFeatures::hotkeyReport()
{
    QFETCH(hy::GlobalHotkey::Status, status);
    QFETCH(QString, problem);
    QFETCH(QString, boundKey);
    QFETCH(QString, hintHas);
    QFETCH(QString, keyLine);
    FormRig rig;
    TForm1& form = rig.make();
    form.show();
    rig.hotkey->setStatus(status, problem, boundKey);
    QVERIFY(!rig.notifier); // nothing to offer: the tray icon says it
    const QString hint = rig.find<QComboBox>("cbbKey")->toolTip();
    if (hintHas.isEmpty())
        QCOMPARE(hint, QString());
    else
        QVERIFY2(hint.startsWith(problem) && hint.contains(hintHas), qPrintable(hint));
    QVERIFY(QApplication::activeModalWidget() == nullptr); // no box in the way
    const QString help = rig.find<QPlainTextEdit>("mmoHelp")->toPlainText();
    QVERIFY2(help.contains("\n6、启动或停止快捷键：" + keyLine + "\n"), qPrintable(help));
    // Working again, the hint goes.
    rig.hotkey->setStatus(hy::GlobalHotkey::Status::Registered, {}, "Ctrl+F1");
    QCOMPARE(rig.find<QComboBox>("cbbKey")->toolTip(), QString());
}

void TestFormFeatures::tipsShownAndOpenedSafely_data()
{
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("opened");
    QTest::newRow("web link") << QByteArray("Use Ctrl+F1@#$http://example.test/a\r\n")
                              << "Use Ctrl+F1 >>"
                              << "http://example.test/a";
    QTest::newRow("https link") << QByteArray("Tip@#$https://example.test/b") << "Tip >>"
                                << "https://example.test/b";
    QTest::newRow("file link") << QByteArray("Tip@#$file:///etc/passwd") << "Tip >>"
                               << "";
    QTest::newRow("local path") << QByteArray("Tip@#$/usr/bin/xterm") << "Tip >>"
                                << "";
    QTest::newRow("script") << QByteArray("Tip@#$javascript:alert(1)") << "Tip >>"
                            << "";
    QTest::newRow("no link") << QByteArray("Tip@#$") << "Tip >>"
                             << "";
    QTest::newRow("markup shown as text")
        << QByteArray("<b>bold</b><img src=x>@#$http://x.test/") << "<b>bold</b><img src=x> >>"
        << "http://x.test/";
    QTest::newRow("no tips") << QByteArray("<html>Not found</html>") << ""
                             << "";
}

void TestFormFeatures::tipsShownAndOpenedSafely()
{
    QFETCH(QByteArray, page);
    QFETCH(QString, shown);
    QFETCH(QString, opened);
    TipsServer server(page);
    FormRig rig;
    auto services = rig.services();
    services.serverBase = server.base();
    rig.make(std::move(services));
    TForm1& form = *rig.form;
    form.show();
    auto* label = rig.find<QLabel>("lblTips");
    rig.clock->advance(TipsTicker::kIntervalMs); // the first firing starts the download
    QVERIFY(form.tips().tipsLoaded());
    QVERIFY(form.tips().webTips());
    QTRY_VERIFY(form.tips().webTips()->isFinished());
    QCOMPARE(label->text(), shown); // as soon as the list is there
    rig.clock->advance(TipsTicker::kIntervalMs);
    QCOMPARE(label->text(), shown); // and at every firing after
    QCOMPARE(label->textFormat(), Qt::PlainText);
    QCOMPARE(QFile(rig.dir.filePath("tipsupd.dat")).size(), page.size());
    QTest::mouseClick(label, Qt::LeftButton);
    QCOMPARE(rig.opened, opened.isEmpty() ? QList<QUrl>{} : QList<QUrl>{QUrl(opened)});
}

void TestFormFeatures::closingBeforeFirstTipWritesNothing()
{
    FormRig rig;
    TForm1& form = rig.make();
    form.close();
    QVERIFY(!form.tips().tipsLoaded());
    QVERIFY(!form.tips().webTips());
    QVERIFY(!QFile::exists(rig.dir.filePath("tipsupd.dat")));
}

void TestFormFeatures::tipsDestroyedAfterSave()
{
    TipsServer server("A@#$http://a.test/\n");
    FormRig rig;
    rig.writeSettings("[Common]\nIsHour=0\n");
    auto services = rig.services();
    services.serverBase = server.base();
    rig.make(std::move(services));
    TForm1& form = *rig.form;
    rig.clock->advance(TipsTicker::kIntervalMs);
    QTRY_VERIFY(form.tips().webTips()->isFinished());
    connect(form.tips().webTips(), &QObject::destroyed, this,
            [&] { rig.journal << QStringLiteral("tips destroyed"); });
    rig.journal.clear();
    form.close();
    QCOMPARE(rig.journal,
             (QStringList{"announcer stopped with 23 clips", "settings saved", "tips destroyed"}));
}

void TestFormFeatures::trayFollowsTheCountdown_data()
{
    QTest::addColumn<QStringList>("steps"); // menu entries chosen, "tick" for a second
    QTest::addColumn<QString>("hint");
    QTest::addColumn<QStringList>("menu");
    QTest::addColumn<bool>("canPause");
    const QStringList idle{"启动倒计时", "暂停", "显示窗口", "", "退出"};
    const QStringList running{"停止倒计时", "暂停", "显示窗口", "", "退出"};
    QTest::newRow("idle") << QStringList{} << "禾音语音定时器" << idle << false;
    QTest::newRow("running") << QStringList{"启动倒计时", "tick"} << "禾音语音定时器\n剩余 0:10:29"
                             << running << true;
    QTest::newRow("paused") << QStringList{"启动倒计时", "tick", "暂停", "tick"}
                            << "禾音语音定时器\n已暂停，剩余 0:10:29"
                            << QStringList{"停止倒计时", "继续", "显示窗口", "", "退出"} << true;
    QTest::newRow("waiting") << QStringList{"wait", "启动倒计时"}
                             << "禾音语音定时器\n等待开始时间 7:30:05" << running << true;
    QTest::newRow("stopped") << QStringList{"启动倒计时", "停止倒计时"} << "禾音语音定时器" << idle
                             << false;
}

// The tray icon's hint tells the time left, and its menu offers what the
// countdown's state allows.
void TestFormFeatures::trayFollowsTheCountdown()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, hint);
    QFETCH(QStringList, menu);
    QFETCH(bool, canPause);
    FormRig rig;
    rig.writeSettings("[Common]\nIsSecondCounter=1\nStartTime=7:30:05\n");
    TForm1& form = rig.make();
    QSystemTrayIcon* icon = form.tray().icon();
    const auto entry = [&](const QString& text) {
        for (QAction* a : icon->contextMenu()->actions()) {
            if (a->text() == text)
                return a;
        }
        return static_cast<QAction*>(nullptr);
    };
    for (const QString& step : steps) {
        if (step == "tick") {
            rig.tick();
        } else if (step == "wait") {
            rig.settings().setFlag("IsStart", true);
            rig.clock->now = QTime(7, 0, 0);
        } else {
            QVERIFY2(entry(step), qPrintable(step));
            entry(step)->trigger();
        }
    }
    QCOMPARE(icon->toolTip(), hint);
    QStringList shown;
    for (const QAction* a : icon->contextMenu()->actions())
        shown << a->text();
    QCOMPARE(shown, menu);
    QCOMPARE(entry(menu.at(1))->isEnabled(), canPause);
}

void TestFormFeatures::waitingForStartTimeIsShown()
{
    FormRig rig;
    rig.make();
    rig.find<QCheckBox>("chkSec")->setChecked(true);
    rig.find<QCheckBox>("chkStart")->setChecked(true);
    rig.find<QTimeEdit>("dtmpckrStart")->setTime(QTime(7, 30, 5));
    rig.clock->now = QTime(7, 0, 0);
    rig.click("btnMinStart");
    auto* display = rig.find<QLabel>("lblMinTick");
    QCOMPARE(display->toolTip(), QStringLiteral("等待开始时间 7:30:05"));
    QCOMPARE(display->text(), QStringLiteral("0:10:30")); // the display stays as it was
    rig.clock->now = QTime(7, 30, 5);
    rig.tick();
    QCOMPARE(display->toolTip(), QString());
}

QTEST_MAIN(TestFormFeatures)
#include "test_formfeatures.moc"
