// Commands from outside the window (a later start, D-Bus, the local socket)
// on a window built from fakes: they take the paths of the buttons and the
// hotkey, and the status they read is what the window shows.
#include "fakes/formrig.h"

#include "shell/remote/remoteadaptor.h"
#include "shell/remote/remoteclient.h"
#include "shell/remote/remotecontrol.h"
#include "shell/remote/singleinstance.h"

#include <QLabel>
#include <QLocalSocket>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/resource.h>

using hy::RemoteCommand;

Q_DECLARE_METATYPE(RemoteCommand)

namespace {

// 0:0:5 with the second count for the last 10 seconds.
const QByteArray kFiveSeconds =
    "[Common]\r\nHourCounter=0\r\nMinuteCounter=0\r\nSecondCounter=5\r\n"
    "IsMinuteCounter=0\r\nIsSecondCounter=1\r\nLastSecond=10\r\n";

// No session bus, so the running copy is reached on the local socket, in a
// runtime directory of the test's own; set before the application starts.
const QTemporaryDir runtime;
const bool noBus = qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus") &&
                   qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));

// Sends `bytes` to the running copy; its answer, empty when it closed without.
QByteArray ask(const QByteArray& bytes)
{
    QLocalSocket s;
    s.connectToServer(hy::localSocketPath());
    s.write(bytes);
    (void)QTest::qWaitFor(
        [&] { return s.canReadLine() || s.state() != QLocalSocket::ConnectedState; });
    return s.readLine().trimmed();
}

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
    void socketLines_data();
    void socketLines();
    void idleCallersAreFew();
    void lockOfAnotherProcess();
    void liveSocketKeptWhenTheLockFails();

private:
    hy::RemoteControl m_remote;
    hy::SingleInstance m_running{m_remote};
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

void TestRemoteControl::socketLines_data()
{
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QString>("answer");
    QVERIFY(noBus && m_running.claim());
    QTest::newRow("a command") << QByteArray("toggle\n") << "ok";
    QTest::newRow("an unknown word") << QByteArray("raise\n") << "error 不认识的命令：raise";
    QTest::newRow("an empty line") << QByteArray("\n") << "error 不认识的命令：";
    QTest::newRow("a megabyte without a line break") << QByteArray(1 << 20, 'x') << "";
}

void TestRemoteControl::socketLines()
{
    QFETCH(QByteArray, sent);
    QFETCH(QString, answer);
    QCOMPARE(QString::fromUtf8(ask(sent)), answer);
}

// Only a few callers are held at once, and one that sends nothing not for long.
void TestRemoteControl::idleCallersAreFew()
{
    std::vector<std::unique_ptr<QLocalSocket>> idle(3 * hy::SingleInstance::kMaxConnections);
    for (auto& s : idle)
        (s = std::make_unique<QLocalSocket>())->connectToServer(hy::localSocketPath());
    const auto connected = [&] {
        return std::count_if(idle.begin(), idle.end(), [](const auto& s) {
            return s->state() == QLocalSocket::ConnectedState;
        });
    };
    QTRY_COMPARE_WITH_TIMEOUT(connected(), hy::SingleInstance::kMaxConnections, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(connected(), 0, hy::SingleInstance::kIdleMs + 2500);
}

// The lock of a copy that crashed, its pid since taken by a later process:
// a later start says at once that none runs.
void TestRemoteControl::lockOfAnotherProcess()
{
    QTemporaryDir other;
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(other.path()));
    QProcess later;
    later.start(QStringLiteral("sleep"), {QStringLiteral("30")});
    QFile lock(hy::localSocketPath() + QStringLiteral(".lock"));
    QVERIFY(later.waitForStarted() && lock.open(QIODevice::WriteOnly));
    lock.write(QByteArray::number(later.processId()) + "\nhytune\nhost\n");
    QVERIFY(lock.flush() && lock.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                                             QFileDevice::FileModificationTime));
    QElapsedTimer took;
    took.start();
    const hy::Forwarded status = hy::forwardCommand(RemoteCommand::Status);
    const qint64 ms = took.elapsed();
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    later.kill();
    later.waitForFinished();
    QVERIFY2(ms < 2000 && !status.reached && status.problem.isEmpty(), qPrintable(status.problem));
}

// A start that cannot even try the lock (no descriptor left) leaves the
// running copy's socket alone.
void TestRemoteControl::liveSocketKeptWhenTheLockFails()
{
    rlimit was = {};
    QCOMPARE(::getrlimit(RLIMIT_NOFILE, &was), 0);
    rlimit low = was;
    low.rlim_cur = 256;
    QCOMPARE(::setrlimit(RLIMIT_NOFILE, &low), 0);
    std::vector<int> taken;
    for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;)
        taken.push_back(fd);
    hy::SingleInstance second(m_remote);
    const bool claimed = second.claim();
    for (int fd : taken)
        ::close(fd);
    QCOMPARE(::setrlimit(RLIMIT_NOFILE, &was), 0);
    QVERIFY(!claimed);
    QCOMPARE(ask("status\n"), QByteArray("status 0 0 0 0 0"));
}

QTEST_MAIN(TestRemoteControl)
#include "test_remotecontrol.moc"
