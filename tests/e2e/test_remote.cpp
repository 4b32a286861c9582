// One running copy, driven from outside: later starts of the built program
// with and without a command, and its interface on the session bus through
// gdbus, in the e2e session (X display, tray, sound server, session bus).
#include "fakes/fakenotificationserver.h"
#include "support/apprun.h"
#include "support/monitorrecorder.h"

#include <QDBusConnection>
#include <QDBusPendingCall>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QRegularExpression>
#include <QtTest>

#include <csignal>
#include <sys/stat.h>

namespace {

const QString kTitle = QStringLiteral("禾音语音报时器");
const QString kId = QStringLiteral("example.heyinsoft.hytune");
const QString kPath = QStringLiteral("/example/heyinsoft/hytune");

// 0:0:30, the second count every second for the last 30 seconds.
const QStringList kThirtySeconds{
    QStringLiteral("HourCounter=0"),     QStringLiteral("MinuteCounter=0"),
    QStringLiteral("SecondCounter=30"),  QStringLiteral("IsMinuteCounter=0"),
    QStringLiteral("IsSecondCounter=1"), QStringLiteral("LastSecond=30"),
    QStringLiteral("PerSecond=1")};

// gdbus on the program's object; what it printed, empty when it failed.
QString gdbus(const QStringList& args, bool* ok = nullptr)
{
    return xdesk::tool(QStringLiteral("gdbus"),
                       QStringList{QStringLiteral("call"), QStringLiteral("--session"),
                                   QStringLiteral("--dest"), kId, QStringLiteral("--object-path"),
                                   kPath} +
                           args,
                       ok);
}

QString busProperty(const QString& name)
{
    return gdbus({QStringLiteral("--method"), QStringLiteral("org.freedesktop.DBus.Properties.Get"),
                  kId, name})
        .trimmed();
}

int remainingSeconds()
{
    static const QRegularExpression number(QStringLiteral("(-?\\d+)"));
    const auto m = number.match(busProperty(QStringLiteral("RemainingSeconds")));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

bool nameOwned()
{
    return xdesk::tool(QStringLiteral("gdbus"),
                       {QStringLiteral("call"), QStringLiteral("--session"),
                        QStringLiteral("--dest"), QStringLiteral("org.freedesktop.DBus"),
                        QStringLiteral("--object-path"), QStringLiteral("/org/freedesktop/DBus"),
                        QStringLiteral("--method"),
                        QStringLiteral("org.freedesktop.DBus.NameHasOwner"), kId})
        .contains(QLatin1String("true"));
}

// The managed windows titled like ours.
int windowsNamedLikeOurs()
{
    int n = 0;
    for (xdesk::Wid w : xdesk::clientList())
        n += xdesk::xprop(w, QStringLiteral("_NET_WM_NAME")).contains('"' + kTitle + '"');
    return n;
}

// The settings file's identity: a save puts a new file in its place.
quint64 inodeOf(const QString& path)
{
    struct stat st = {};
    return ::stat(path.toLocal8Bit().constData(), &st) == 0 ? quint64(st.st_ino) : 0;
}

// Resident memory of a process, in KiB.
qint64 rssKiB(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    static const QRegularExpression rss(QStringLiteral("VmRSS:\\s+(\\d+)"));
    return rss.match(QString::fromLatin1(f.readAll())).captured(1).toLongLong();
}

// Whether the running program has PulseAudio's client library loaded.
bool pulseLoaded(qint64 pid)
{
    QFile maps(QStringLiteral("/proc/%1/maps").arg(pid));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("/libpulse.so");
}

} // namespace

class TestRemote : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void printsWithoutStarting_data();
    void printsWithoutStarting();
    void secondStartRaisesTheFirst();
    void toggleTwiceFromTheCommandLine();
    void commandStartsTheProgram();
    void busInterface();
    void refusedCommandsStorm();
    void noticeAtTheEnd();
    void simultaneousStartsLeaveOne();
    void localSocketWithoutBus();
    void handOverBuildsNothing();
    void withoutNetworkModule();
};

void TestRemote::initTestCase()
{
    QVERIFY2(qEnvironmentVariableIsSet("DISPLAY") && qEnvironmentVariableIsSet("PULSE_SERVER") &&
                 qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS"),
             "run inside the test session (tests/e2e/session.sh)");
    QVERIFY2(!nameOwned(), "another copy of the program runs on the session bus");
}

void TestRemote::cleanup()
{
    // A copy left by a failed test would take the next test's commands.
    QTRY_VERIFY_WITH_TIMEOUT(!nameOwned(), 15000);
}

void TestRemote::printsWithoutStarting_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QStringList>("env");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    QTest::newRow("version") << QStringList{"--version"} << QStringList{} << 0 << "2.0.403.2020"
                             << "";
    QTest::newRow("version with no display")
        << QStringList{"--version"} << QStringList{"DISPLAY"} << 0 << "2.0.403.2020"
        << "";
    QTest::newRow("help, in Chinese") << QStringList{"--help"} << QStringList{} << 0 << "用法"
                                      << "";
    QTest::newRow("help names the commands")
        << QStringList{"-h"} << QStringList{} << 0 << "--toggle"
        << "";
    QTest::newRow("unknown option") << QStringList{"--bogus"} << QStringList{} << 2 << ""
                                    << "bogus";
    QTest::newRow("unknown option gives the usage")
        << QStringList{"--bogus"} << QStringList{} << 2 << ""
        << "--status";
    QTest::newRow("status with no copy running")
        << QStringList{"--status"} << QStringList{} << 1 << ""
        << "没有在运行";
    QTest::newRow("status with no runtime directory and no bus")
        << QStringList{"--status"}
        << QStringList{"XDG_RUNTIME_DIR", "DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/bus"}
        << 1 << ""
        << "没有在运行";
}

// These end by themselves, open no window and leave nothing running.
void TestRemote::printsWithoutStarting()
{
    QFETCH(QStringList, args);
    QFETCH(QStringList, env);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, err);
    App app;
    const App::Run r = app.runOnce(args, env);
    QCOMPARE(r.exitCode, exitCode);
    QVERIFY2(r.out.contains(out), qPrintable(r.out));
    QVERIFY2(r.err.contains(err), qPrintable(r.err));
    if (out.isEmpty())
        QVERIFY2(r.out.isEmpty(), qPrintable(r.out));
    if (args == QStringList{"--status"}) // the answer and nothing else
        QCOMPARE(r.err.count('\n'), 1);
    QCOMPARE(windowsNamedLikeOurs(), 0);
    QVERIFY(!nameOwned());
}

// The window waits in the tray; a start with no arguments brings it back
// to the front and ends at once. One window, one tray icon.
void TestRemote::secondStartRaisesTheFirst()
{
    App app;
    const quint32 id = app.start();
    QVERIFY2(id, "no main window appeared");
    const QString cls = xdesk::wmClass(id);
    QVERIFY2(waitUntil([&] { return xdesk::iconsInTray(cls).size() == 1; }, 5000), "no tray icon");
    QVERIFY(xdesk::xdotool({QStringLiteral("windowminimize"), QString::number(id)}));
    QVERIFY(waitUntil([&] { return app.mainWindow() == 0; }, 5000));

    const App::Run second = app.runOnce({});
    QCOMPARE(second.exitCode, 0);
    QVERIFY2(second.ms < 1000, qPrintable(QString::number(second.ms)));
    qInfo("second start ended after %lld ms", second.ms);
    quint32 back = 0;
    QVERIFY2(waitUntil(
                 [&] {
                     back = app.mainWindow();
                     return back && xdesk::mapState(back) == QLatin1String("IsViewable") &&
                            xdesk::activeWindow() == back;
                 },
                 5000),
             "the window did not come back to the front");
    QCOMPARE(windowsNamedLikeOurs(), 1);
    QCOMPARE(xdesk::iconsInTray(cls).size(), 1);
    QVERIFY(app.running());
    QCOMPARE(app.closeAndWait(), 0);
}

// --toggle starts the countdown (it is heard), --status tells it, the next
// --toggle stops it (silence follows). The sound library is loaded with the
// first phrase, not at start.
void TestRemote::toggleTwiceFromTheCommandLine()
{
    App app;
    QVERIFY(app.writeSettings(settingsText(kThirtySeconds)));
    QVERIFY2(app.start(), "no main window appeared");
    QVERIFY2(!pulseLoaded(app.pid()), "the sound library was loaded before any sound");
    MonitorRecorder rec;
    QVERIFY2(rec.start(), "cannot record the sink");
    const double before = rec.positionMs();

    QCOMPARE(app.runOnce({QStringLiteral("--toggle")}).exitCode, 0);
    QVERIFY2(waitUntil([&] { return !silentFrom(rec.samples(), before); }, 4000),
             "--toggle started nothing that was heard");
    QVERIFY(pulseLoaded(app.pid()));
    const App::Run status = app.runOnce({QStringLiteral("--status")});
    QCOMPARE(status.exitCode, 0);
    static const QRegularExpression running(
        QStringLiteral("^倒计时进行中，剩余 0:0:(\\d+)，循环 0 次\\n$"));
    const auto m = running.match(status.out);
    QVERIFY2(m.hasMatch(), qPrintable(status.out));
    QVERIFY(m.captured(1).toInt() >= 20 && m.captured(1).toInt() < 30);

    QCOMPARE(app.runOnce({QStringLiteral("--toggle")}).exitCode, 0);
    QVERIFY(
        app.runOnce({QStringLiteral("--status")}).out.startsWith(QStringLiteral("倒计时未运行")));
    // A count being spoken may end (late, on a busy machine); no new one follows.
    const double stopped = rec.positionMs();
    QVERIFY(waitUntil([&] { return rec.positionMs() >= stopped + 5000; }, 10000));
    QVERIFY2(silentFrom(rec.stop(0), stopped + 2500), "the countdown went on after --toggle");
    QCOMPARE(app.closeAndWait(), 0);
}

// With no copy running, a start with a command starts the program and then
// carries the command out.
void TestRemote::commandStartsTheProgram()
{
    App app;
    QVERIFY(app.writeSettings(settingsText(kThirtySeconds)));
    QVERIFY2(app.start({}, {QStringLiteral("--start")}), "no main window appeared");
    QTRY_COMPARE_WITH_TIMEOUT(busProperty(QStringLiteral("Running")), QStringLiteral("(<true>,)"),
                              5000);
    QCOMPARE(app.closeAndWait(), 0);
}

// Every method through gdbus; the properties follow the countdown and are
// announced once a second; introspection lists the interface.
void TestRemote::busInterface()
{
    App app;
    QVERIFY(app.writeSettings(settingsText(kThirtySeconds)));
    QVERIFY2(app.start(), "no main window appeared");
    const QString introspection =
        gdbus({QStringLiteral("--method"),
               QStringLiteral("org.freedesktop.DBus.Introspectable.Introspect")});
    for (const QString& part :
         {QStringLiteral("<interface name=\"example.heyinsoft.hytune\">"),
          QStringLiteral("<method name=\"Toggle\""), QStringLiteral("<method name=\"Start\""),
          QStringLiteral("<method name=\"Stop\""), QStringLiteral("<method name=\"Show\""),
          QStringLiteral("<property name=\"Running\" type=\"b\" access=\"read\""),
          QStringLiteral("<property name=\"Waiting\" type=\"b\" access=\"read\""),
          QStringLiteral("<property name=\"RemainingSeconds\" type=\"i\" access=\"read\""),
          QStringLiteral("<property name=\"CycleCount\" type=\"i\" access=\"read\""),
          QStringLiteral("<property name=\"Hotkey\" type=\"s\" access=\"read\"")})
        QVERIFY2(introspection.contains(part), qPrintable(part + '\n' + introspection));

    const auto call = [](const char* method) {
        bool ok = false;
        gdbus({QStringLiteral("--method"), kId + '.' + QLatin1String(method)}, &ok);
        return ok;
    };
    QProcess monitor;
    monitor.start(QStringLiteral("gdbus"), {QStringLiteral("monitor"), QStringLiteral("--session"),
                                            QStringLiteral("--dest"), kId});
    QVERIFY(monitor.waitForStarted());
    QVERIFY(call("Start"));
    QTRY_COMPARE_WITH_TIMEOUT(busProperty(QStringLiteral("Running")), QStringLiteral("(<true>,)"),
                              5000);
    const int first = remainingSeconds();
    QTRY_VERIFY_WITH_TIMEOUT(remainingSeconds() <= first - 2, 5000);
    // The status line says what the property says.
    const int now = remainingSeconds();
    const QString line = app.runOnce({QStringLiteral("--status")}).out;
    QVERIFY2(line.contains(QStringLiteral("剩余 0:0:%1").arg(now)) ||
                 line.contains(QStringLiteral("剩余 0:0:%1").arg(now - 1)),
             qPrintable(line));
    monitor.terminate();
    monitor.waitForFinished(3000);
    const int announced = QString::fromUtf8(monitor.readAllStandardOutput())
                              .count(QStringLiteral("RemainingSeconds"));
    QVERIFY2(announced >= 2, qPrintable(QString::number(announced)));

    QVERIFY(call("Stop"));
    QTRY_COMPARE_WITH_TIMEOUT(busProperty(QStringLiteral("Running")), QStringLiteral("(<false>,)"),
                              5000);
    QVERIFY(call("Toggle"));
    QTRY_COMPARE_WITH_TIMEOUT(busProperty(QStringLiteral("Running")), QStringLiteral("(<true>,)"),
                              5000);
    QVERIFY(call("Toggle"));
    QTRY_COMPARE_WITH_TIMEOUT(busProperty(QStringLiteral("Running")), QStringLiteral("(<false>,)"),
                              5000);
    QCOMPARE(busProperty(QStringLiteral("Waiting")), QStringLiteral("(<false>,)"));
    QCOMPARE(busProperty(QStringLiteral("CycleCount")), QStringLiteral("(<0>,)"));
    QCOMPARE(busProperty(QStringLiteral("Hotkey")), QStringLiteral("(<'Ctrl+F1'>,)"));

    const quint32 id = app.mainWindow();
    QVERIFY(xdesk::xdotool({QStringLiteral("windowminimize"), QString::number(id)}));
    QVERIFY(waitUntil([&] { return app.mainWindow() == 0; }, 5000));
    QVERIFY(call("Show"));
    QVERIFY2(waitUntil([&] { return app.mainWindow() != 0; }, 5000), "Show did not show it");
    QCOMPARE(app.closeAndWait(), 0);
}

// Commands that the window would refuse with a box (no count chosen): every
// caller hears why, one box opens however many come, memory stays as it was.
void TestRemote::refusedCommandsStorm()
{
    App app;
    QVERIFY(app.writeSettings(settingsText({QStringLiteral("IsHour=0")})));
    QVERIFY2(app.start(), "no main window appeared");
    QDBusConnection bus = QDBusConnection::sessionBus();
    const auto storm = [&](int n) {
        QList<QDBusPendingCall> calls;
        for (int i = 0; i < n; ++i)
            calls << bus.asyncCall(
                QDBusMessage::createMethodCall(kId, kPath, kId, QStringLiteral("Toggle")));
        int refused = 0;
        for (QDBusPendingCall& call : calls) {
            call.waitForFinished();
            refused += call.reply().errorName() == kId + QStringLiteral(".Error.NoCountChosen");
        }
        return refused;
    };
    QCOMPARE(storm(100), 100);
    const qint64 before = rssKiB(app.pid());
    QCOMPARE(storm(2000), 2000);
    const qint64 after = rssKiB(app.pid());
    QVERIFY2(after - before < 4096,
             qPrintable(QStringLiteral("%1 -> %2 KiB").arg(before).arg(after)));
    QVERIFY(waitUntil([&] { return windowsNamedLikeOurs() == 2; }, 5000)); // the window, one box
    sleepMs(300);
    QCOMPARE(windowsNamedLikeOurs(), 2);
    const App::Run line = app.runOnce({QStringLiteral("--toggle")});
    QCOMPARE(line.exitCode, 1);
    QVERIFY2(line.err.contains(QStringLiteral("请选择倒计数条件后再试！")), qPrintable(line.err));
    QCOMPARE(busProperty(QStringLiteral("Running")), QStringLiteral("(<false>,)"));
    ::kill(pid_t(app.pid()), SIGTERM); // closes the window as a user would, box and all
    QCOMPARE(app.waitForEnd(), 0);
}

// A countdown that ends by itself is told by a notice of the desktop's, with
// 再来一次 where the server takes actions; choosing it runs the length again.
void TestRemote::noticeAtTheEnd()
{
    const QString service = QStringLiteral("org.freedesktop.Notifications");
    const QString path = QStringLiteral("/org/freedesktop/Notifications");
    FakeNotificationServer server;
    QDBusConnection bus = QDBusConnection::sessionBus();
    QVERIFY(bus.registerVirtualObject(path, &server));
    QVERIFY(bus.registerService(service));
    App app;
    QVERIFY(app.writeSettings(
        settingsText({QStringLiteral("HourCounter=0"), QStringLiteral("MinuteCounter=0"),
                      QStringLiteral("SecondCounter=2"), QStringLiteral("IsLastOne=1")})));
    QVERIFY2(app.start({}, {QStringLiteral("--start")}), "no main window appeared");
    QTRY_VERIFY_WITH_TIMEOUT(!server.lastNotify.isEmpty(), 10000);
    const QVariantList notice = server.lastNotify;
    QCOMPARE(notice.at(0).toString(), kTitle);
    QCOMPARE(notice.at(2).toString(), kId);
    QCOMPARE(notice.at(3).toString(), QStringLiteral("倒计时 0:0:2 结束"));
    QCOMPARE(notice.at(5).toStringList(), (QStringList{"again", "再来一次"}));
    QCOMPARE(busProperty(QStringLiteral("Running")), QStringLiteral("(<false>,)"));
    QDBusMessage chosen =
        QDBusMessage::createSignal(path, service, QStringLiteral("ActionInvoked"));
    chosen << server.lastId() << QStringLiteral("again");
    QVERIFY(bus.send(chosen));
    QTRY_COMPARE_WITH_TIMEOUT(busProperty(QStringLiteral("Running")), QStringLiteral("(<true>,)"),
                              5000);
    QCOMPARE(app.closeAndWait(), 0);
    bus.unregisterService(service);
    bus.unregisterObject(path);
}

// Two starts at the same moment: one runs on, the other hands over and ends
// without having touched the settings file.
void TestRemote::simultaneousStartsLeaveOne()
{
    App app;
    QVERIFY(app.writeSettings(settingsText({QStringLiteral("IsHour=0")})));
    const quint64 before = inodeOf(app.settingsPath());
    QProcess other;
    other.setWorkingDirectory(app.folder());
    other.start(app.exe(), {});
    QVERIFY(app.launch());
    QVERIFY(other.waitForStarted());

    // QProcess learns of an end only while it waits.
    int appExit = -1;
    QVERIFY2(waitUntil(
                 [&] {
                     appExit = app.waitForEnd(50);
                     return appExit >= 0 || other.waitForFinished(50);
                 },
                 10000, 1),
             "both copies still run");
    QProcess* survivor = appExit >= 0 ? &other : nullptr;
    if (survivor)
        QCOMPARE(appExit, 0);
    else
        QCOMPARE(other.exitCode(), 0);
    QVERIFY(waitUntil([&] { return windowsNamedLikeOurs() == 1; }, 15000));
    sleepMs(300); // a second window would have shown by now
    QCOMPARE(windowsNamedLikeOurs(), 1);
    QCOMPARE(inodeOf(app.settingsPath()), before);

    if (!survivor) {
        QCOMPARE(app.closeAndWait(), 0);
    } else {
        for (xdesk::Wid w : xdesk::clientList()) {
            if (xdesk::cardinals(w, QStringLiteral("_NET_WM_PID")).value(0) == other.processId()) {
                xdesk::xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"),
                                QString::number(w)});
                xdesk::xdotool({QStringLiteral("key"), QStringLiteral("alt+F4")});
            }
        }
        QVERIFY(other.waitForFinished(15000));
    }
    QVERIFY(inodeOf(app.settingsPath()) != before); // saved by the one that ran, on close
}

// With no session bus the commands go through the local socket in the
// runtime directory: the same start, stop, status and raise.
void TestRemote::localSocketWithoutBus()
{
    QTemporaryDir runtime;
    QVERIFY(QFile::setPermissions(runtime.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                      QFileDevice::ExeOwner));
    const QStringList env{QStringLiteral("DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/bus"),
                          QStringLiteral("XDG_RUNTIME_DIR=") + runtime.path()};
    App app;
    QVERIFY(app.writeSettings(settingsText(kThirtySeconds)));
    const quint32 id = app.start(env);
    QVERIFY2(id, "no main window appeared");
    QVERIFY(waitUntil(
        [&] {
            return QFileInfo::exists(runtime.filePath(QStringLiteral("example.heyinsoft.hytune")));
        },
        5000));

    // A caller that sends far more than a command: cut off, nothing kept.
    const qint64 before = rssKiB(app.pid());
    QLocalSocket flood;
    flood.connectToServer(runtime.filePath(QStringLiteral("example.heyinsoft.hytune")));
    QVERIFY(flood.waitForConnected(5000));
    const QByteArray block(1 << 20, 'x');
    for (int i = 0; i < 64 && flood.state() == QLocalSocket::ConnectedState; ++i) {
        flood.write(block);
        flood.waitForBytesWritten(1000);
    }
    QVERIFY(flood.state() != QLocalSocket::ConnectedState || flood.waitForDisconnected(5000));
    QVERIFY2(rssKiB(app.pid()) - before < 4096, qPrintable(QString::number(before)));

    QCOMPARE(app.runOnce({QStringLiteral("--toggle")}, env).exitCode, 0);
    QVERIFY(waitUntil(
        [&] {
            return app.runOnce({QStringLiteral("--status")}, env)
                .out.startsWith(QStringLiteral("倒计时进行中"));
        },
        5000));
    QCOMPARE(app.runOnce({QStringLiteral("--stop")}, env).exitCode, 0);
    QVERIFY(waitUntil(
        [&] {
            return app.runOnce({QStringLiteral("--status")}, env)
                .out.startsWith(QStringLiteral("倒计时未运行"));
        },
        5000));

    QVERIFY(xdesk::xdotool({QStringLiteral("windowminimize"), QString::number(id)}));
    QVERIFY(waitUntil([&] { return app.mainWindow() == 0; }, 5000));
    const App::Run second = app.runOnce({}, env);
    QCOMPARE(second.exitCode, 0);
    QVERIFY2(waitUntil([&] { return app.mainWindow() != 0; }, 5000), "not raised");
    QCOMPARE(windowsNamedLikeOurs(), 1);
    QVERIFY(!nameOwned()); // it never was on the bus
    QCOMPARE(app.closeAndWait(), 0);
    // Without a copy running, nothing answers there.
    QCOMPARE(app.runOnce({QStringLiteral("--status")}, env).exitCode, 1);
}

// A start that finds a copy running (this test: its lock, its socket) hands
// its command over before it builds anything: none of the threads of the
// speech, the countdown or the sound server (the program's name, libpulse's).
void TestRemote::handOverBuildsNothing()
{
    QTemporaryDir runtime;
    QLockFile lock(runtime.filePath(kId + QStringLiteral(".lock")));
    QLocalServer copy;
    QVERIFY(lock.tryLock(0) && copy.listen(runtime.filePath(kId)));
    App app;
    QVERIFY(app.launch({QStringLiteral("DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/bus"),
                        QStringLiteral("XDG_RUNTIME_DIR=") + runtime.path()},
                       {QStringLiteral("--toggle")}));
    QVERIFY2(copy.waitForNewConnection(15000), qPrintable(app.output()));
    QLocalSocket* caller = copy.nextPendingConnection();
    QVERIFY(caller->canReadLine() || caller->waitForReadyRead(10000));
    QStringList threads;
    const QString tasks = QStringLiteral("/proc/%1/task/").arg(app.pid());
    for (const QString& tid : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks + tid + QStringLiteral("/comm"));
        if (tid.toLongLong() != app.pid() && comm.open(QIODevice::ReadOnly))
            threads << QString::fromLocal8Bit(comm.readAll()).trimmed();
    }
    QVERIFY2(!threads.contains("hytune") && !threads.contains("threaded-ml"),
             qPrintable(threads.join(' ')));
    caller->write("ok\n");
    QVERIFY(caller->waitForBytesWritten(5000));
    QCOMPARE(app.waitForEnd(), 0);
}

QTEST_GUILESS_MAIN(TestRemote)
// A folder that lost the network module: the program still starts, and what
// needs the network says why instead of crashing.
void TestRemote::withoutNetworkModule()
{
    App app;
    QVERIFY(QFile::remove(app.folder() + QStringLiteral("/libhytune-net.so")));
    QTemporaryDir runtime;
    const QStringList env{QStringLiteral("DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/bus"),
                          QStringLiteral("XDG_RUNTIME_DIR=") + runtime.path()};
    const App::Run status = app.runOnce({QStringLiteral("--status")}, env);
    QCOMPARE(status.exitCode, 1);
    QVERIFY2(status.err.contains(QStringLiteral("没有在运行")) &&
                 status.err.contains(QStringLiteral("network module")),
             qPrintable(status.err));
    QVERIFY2(app.start(env), "no main window appeared");
    QVERIFY2(
        waitUntil([&] { return app.output().contains(QStringLiteral("no remote control")); }, 5000),
        qPrintable(app.output()));
}

#include "test_remote.moc"
