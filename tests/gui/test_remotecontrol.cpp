// Commands from outside the window (a later start, D-Bus) on a window built
// from fakes: they take the paths of the buttons and the hotkey, and the
// status they read is what the window shows.
#include "fakes/formrig.h"

#include "shell/remote/remoteadaptor.h"
#include "shell/remote/remotecontrol.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

using hy::RemoteCommand;

Q_DECLARE_METATYPE(RemoteCommand)

namespace {

// 0:0:5 with the second count for the last 10 seconds.
const QByteArray kFiveSeconds =
    "[Common]\r\nHourCounter=0\r\nMinuteCounter=0\r\nSecondCounter=5\r\n"
    "IsMinuteCounter=0\r\nIsSecondCounter=1\r\nLastSecond=10\r\n";

} // namespace

class TestRemoteControl : public QObject
{
    Q_OBJECT
private slots:
    void commands_data();
    void commands();
    void refusals_data();
    void refusals();
    void busMethodsAreTheTable();
    void commandBeforeTheWindowWaits();
    void statusFollowsTheDisplay();
    void hotkeyIsTheKeyThatWorks_data();
    void hotkeyIsTheKeyThatWorks();
};

void TestRemoteControl::commands_data()
{
    QTest::addColumn<QList<RemoteCommand>>("commands");
    QTest::addColumn<bool>("running");
    using C = RemoteCommand;
    QTest::newRow("toggle starts") << QList<C>{C::Toggle} << true;
    QTest::newRow("toggle twice stops") << QList<C>{C::Toggle, C::Toggle} << false;
    QTest::newRow("start, then toggle stops") << QList<C>{C::Start, C::Toggle} << false;
    QTest::newRow("stop while idle") << QList<C>{C::Stop} << false;
    QTest::newRow("start twice runs") << QList<C>{C::Start, C::Start} << true;
    QTest::newRow("show and status change nothing") << QList<C>{C::Show, C::Status} << false;
}

void TestRemoteControl::commands()
{
    QFETCH(QList<RemoteCommand>, commands);
    QFETCH(bool, running);
    FormRig rig;
    rig.writeSettings(kFiveSeconds);
    TForm1& form = rig.make();
    hy::RemoteControl remote;
    remote.attach(&form);
    for (RemoteCommand c : commands) {
        remote.run(c);
        QCoreApplication::processEvents();
    }
    QCOMPARE(form.countdown().isActive(), running);
    QCOMPARE(remote.status().running, running);
    QCOMPARE(rig.find<QPushButton>("btnStop")->isEnabled(), running);
}

void TestRemoteControl::refusals_data()
{
    QTest::addColumn<QByteArray>("settings");
    QTest::addColumn<QList<RemoteCommand>>("commands");
    QTest::addColumn<QString>("error"); // of the last command
    QTest::addColumn<int>("boxes");
    using C = RemoteCommand;
    QTest::newRow("no count chosen, asked three times")
        << QByteArray("[Common]\nIsHour=0\n") << QList<C>{C::Toggle, C::Start, C::Toggle}
        << "NoCountChosen" << 1;
    QTest::newRow("start while a run goes on")
        << kFiveSeconds << QList<C>{C::Start, C::Start} << "AlreadyRunning" << 0;
    QTest::newRow("a count that is no number") << kFiveSeconds + "PerSecond=abc\r\n"
                                               << QList<C>{C::Toggle} << "BadChoice" << 1;
}

// What the window would refuse with a box is refused to the caller with the
// reason; the one box says it, however often it is asked.
void TestRemoteControl::refusals()
{
    QFETCH(QByteArray, settings);
    QFETCH(QList<RemoteCommand>, commands);
    QFETCH(QString, error);
    QFETCH(int, boxes);
    FormRig rig;
    rig.writeSettings(settings);
    TForm1& form = rig.make();
    hy::RemoteControl remote;
    remote.attach(&form);
    hy::RemoteAnswer answer;
    for (RemoteCommand c : commands)
        answer = remote.run(c);
    QCOMPARE(answer.error, error);
    QVERIFY(!answer.message.isEmpty());
    int shown = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        shown += qobject_cast<QMessageBox*>(w) && w->isVisible();
    QCOMPARE(shown, boxes);
    QCOMPARE(form.countdown().RemainSeconds, error == "AlreadyRunning" ? 5 : 0);
}

// Every command of the table that has a method on the bus is a slot of the
// interface, and the interface has no other.
void TestRemoteControl::busMethodsAreTheTable()
{
    QStringList table;
    for (const hy::RemoteCommandInfo& c : hy::remoteCommands()) {
        if (c.method)
            table << c.method;
    }
    QStringList methods;
    const QMetaObject& meta = hy::RemoteAdaptor::staticMetaObject;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        if (meta.method(i).methodType() == QMetaMethod::Slot)
            methods << QString::fromLatin1(meta.method(i).name());
    }
    table.sort();
    methods.sort();
    QCOMPARE(methods, table);
}

void TestRemoteControl::commandBeforeTheWindowWaits()
{
    FormRig rig;
    rig.writeSettings(kFiveSeconds);
    hy::RemoteControl remote;
    remote.run(RemoteCommand::Toggle); // the window is not built yet
    QCOMPARE(remote.status(), hy::CountdownStatus{});
    TForm1& form = rig.make();
    remote.attach(&form);
    QTRY_VERIFY(form.countdown().isActive());
}

void TestRemoteControl::statusFollowsTheDisplay()
{
    FormRig rig;
    rig.writeSettings(kFiveSeconds);
    TForm1& form = rig.make();
    hy::RemoteControl remote;
    remote.attach(&form);
    QSignalSpy changes(&remote, &hy::RemoteControl::statusChanged);
    remote.run(RemoteCommand::Start);
    QTRY_VERIFY(remote.status().running);
    const QLabel* display = rig.find<QLabel>("lblMinTick");
    for (int left = 5; left >= 0; --left) {
        const QString line = hy::statusLine(remote.status());
        QVERIFY2(line.contains(QStringLiteral("剩余 ") + display->text() + QStringLiteral("，")),
                 qPrintable(line + QStringLiteral(" / ") + display->text()));
        QCOMPARE(remote.status().remainingSeconds, left);
        changes.clear();
        rig.tick();
        QCOMPARE(changes.count(), 1); // one announcement per second
    }
    // The last tick ended the run.
    QCOMPARE(changes.last().at(0).value<hy::CountdownStatus>().running, false);
}

void TestRemoteControl::hotkeyIsTheKeyThatWorks_data()
{
    using S = hy::GlobalHotkey::Status;
    QTest::addColumn<S>("status");
    QTest::addColumn<QString>("boundKey");
    QTest::addColumn<QString>("hotkey");
    QTest::newRow("bound") << S::Registered << "Ctrl+F1"
                           << "Ctrl+F1";
    QTest::newRow("bound to the desktop's choice") << S::Registered << "Alt+K"
                                                   << "Alt+K";
    QTest::newRow("waiting for the desktop") << S::Pending << ""
                                             << "";
    QTest::newRow("taken") << S::Taken << ""
                           << "";
    QTest::newRow("the desktop named no key") << S::Registered << ""
                                              << "";
}

void TestRemoteControl::hotkeyIsTheKeyThatWorks()
{
    QFETCH(hy::GlobalHotkey::Status, status);
    QFETCH(QString, boundKey);
    QFETCH(QString, hotkey);
    FormRig rig;
    TForm1& form = rig.make();
    hy::RemoteControl remote;
    remote.attach(&form);
    rig.hotkey->setStatus(hy::GlobalHotkey::Status::Registered, {}, "Ctrl+F9");
    QSignalSpy changes(&remote, &hy::RemoteControl::hotkeyChanged);
    rig.hotkey->setStatus(status, {}, boundKey);
    QCOMPARE(remote.hotkey(), hotkey);
    QCOMPARE(changes.count(), 1);
    QCOMPARE(changes.first().first().toString(), hotkey);
}

QTEST_MAIN(TestRemoteControl)
#include "test_remotecontrol.moc"
