// The built program on a real KDE Plasma Wayland desktop (kwin_wayland, the
// desktop portal and its KDE backend): its hotkey through the portal, pressed
// through KDE's shortcut daemon; the key KWin keeps for itself; stay-on-top;
// the tray item. What the desktop saw is in the helper's log.
#include "support/apprun.h"

#include <QRegularExpression>
#include <QtTest>

#include <csignal>

namespace {

const QString kId = QStringLiteral("example.heyinsoft.hytune");

QString gdbusCall(const QString& dest, const QString& path, const QString& method,
                  const QStringList& args = {})
{
    return xdesk::tool(QStringLiteral("gdbus"),
                       QStringList{QStringLiteral("call"), QStringLiteral("--session"),
                                   QStringLiteral("--dest"), dest, QStringLiteral("--object-path"),
                                   path, QStringLiteral("--method"), method} +
                           args);
}

QString programSays(const QString& property)
{
    return gdbusCall(kId, QStringLiteral("/example/heyinsoft/hytune"),
                     QStringLiteral("org.freedesktop.DBus.Properties.Get"), {kId, property})
        .trimmed();
}

bool running()
{
    return programSays(QStringLiteral("Running")).contains(QLatin1String("true"));
}

// The key the program says works, once the desktop has answered.
bool hotkeyIs(const QString& key)
{
    return programSays(QStringLiteral("Hotkey")) == QStringLiteral("(<'%1'>,)").arg(key);
}

// Where the controls are inside the window: the first page starts at 2,28.
const QPoint kChkDispTop(2 + 338 + 8, 28 + 203 + 8);
const QPoint kCbbKey(2 + 384 + 36, 28 + 250 + 12);

// KDE's shortcut daemon keeps one component per portal session, named after
// the session: the program's are the ones with its token.
QStringList shortcutComponents()
{
    static const QRegularExpression re(QStringLiteral("/component/hytune_session_\\w+"));
    QStringList found;
    const QString all =
        gdbusCall(QStringLiteral("org.kde.kglobalaccel"), QStringLiteral("/kglobalaccel"),
                  QStringLiteral("org.kde.KGlobalAccel.allComponents"));
    for (const auto& m : re.globalMatch(all))
        found << m.captured(0);
    return found;
}

QString componentInfo(const QString& component)
{
    return gdbusCall(QStringLiteral("org.kde.kglobalaccel"), component,
                     QStringLiteral("org.kde.kglobalaccel.Component.allShortcutInfos"));
}

// A press of the program's shortcut, as the desktop makes one.
bool press(const QString& component)
{
    bool ok = false;
    xdesk::tool(QStringLiteral("gdbus"),
                {QStringLiteral("call"), QStringLiteral("--session"), QStringLiteral("--dest"),
                 QStringLiteral("org.kde.kglobalaccel"), QStringLiteral("--object-path"), component,
                 QStringLiteral("--method"),
                 QStringLiteral("org.kde.kglobalaccel.Component.invokeShortcut"),
                 QStringLiteral("start-stop")},
                &ok);
    return ok;
}

QStringList desktopLog(const QString& kind)
{
    QFile f(qEnvironmentVariable("HYTUNE_DESKTOP_LOG"));
    QStringList lines;
    if (f.open(QIODevice::ReadOnly)) {
        for (const QByteArray& l : f.readAll().split('\n')) {
            const QString line = QString::fromUtf8(l);
            if (line.startsWith(kind + ' '))
                lines << line.mid(kind.size() + 1);
        }
    }
    return lines;
}

// What KWin says of the windows titled like ours: "caption|keepAbove" lines,
// through a script that reports to the helper.
QStringList kwinWindows(QTemporaryDir& dir)
{
    static int scripts = 0;
    const int before = desktopLog(QStringLiteral("report")).size();
    const QString name = QStringLiteral("hytunetest%1").arg(++scripts);
    QFile js(dir.filePath(name + QStringLiteral(".js")));
    js.open(QIODevice::WriteOnly);
    js.write(QStringLiteral(R"(var cs = workspace.clientList();
for (var i = 0; i < cs.length; ++i)
    if (cs[i].caption.indexOf("禾音语音报时器") >= 0)
        report(cs[i].caption + "|" + cs[i].keepAbove + "|" + cs[i].frameGeometry.x + "," +
               cs[i].frameGeometry.y + "," + cs[i].frameGeometry.width + "," +
               cs[i].frameGeometry.height);
report("end%1");
function report(text) {
    callDBus("example.heyinsoft.hytune.TestDesktop", "/",
             "example.heyinsoft.hytune.TestDesktop", "Report", text);
}
)")
                 .arg(name)
                 .toUtf8());
    js.close();
    gdbusCall(QStringLiteral("org.kde.KWin"), QStringLiteral("/Scripting"),
              QStringLiteral("org.kde.kwin.Scripting.loadScript"), {js.fileName(), name});
    gdbusCall(QStringLiteral("org.kde.KWin"), QStringLiteral("/Scripting"),
              QStringLiteral("org.kde.kwin.Scripting.start"));
    QStringList windows;
    waitUntil(
        [&] {
            const QStringList reports = desktopLog(QStringLiteral("report")).mid(before);
            if (!reports.contains(QStringLiteral("end") + name))
                return false;
            windows = reports.filter(QStringLiteral("|"));
            return true;
        },
        5000);
    gdbusCall(QStringLiteral("org.kde.KWin"), QStringLiteral("/Scripting"),
              QStringLiteral("org.kde.kwin.Scripting.unloadScript"), {name});
    return windows;
}

// Ends the program as a logout does (keys typed through XWayland would not
// reach KWin's own Alt+F4); its exit code, or -1.
int endApp(App& app)
{
    ::kill(pid_t(app.pid()), SIGTERM);
    return app.waitForEnd();
}

// The tray item the program registered since `before` items: its bus name
// and object path; empty when none came within 5 s.
QStringList trayItem(int before)
{
    QStringList items;
    waitUntil(
        [&] {
            items = desktopLog(QStringLiteral("item")).mid(before);
            return !items.isEmpty();
        },
        5000);
    return items.isEmpty() ? QStringList() : items.first().split(' ');
}

// The entries of a dbusmenu (com.canonical.dbusmenu) by label, with their ids.
QMap<QString, int> menuEntries(const QString& service, const QString& path)
{
    static const QRegularExpression entry(
        QStringLiteral("\\((\\d+), \\{[^}]*'label': <'([^']*)'>"));
    QMap<QString, int> found;
    const QString layout = gdbusCall(
        service, path, QStringLiteral("com.canonical.dbusmenu.GetLayout"),
        {QStringLiteral("--"), QStringLiteral("0"), QStringLiteral("-1"), QStringLiteral("[]")});
    for (const auto& m : entry.globalMatch(layout))
        found.insert(m.captured(2), m.captured(1).toInt());
    return found;
}

} // namespace

class TestWayland : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void portalKeyStartsAndStops();
    void keyOfTheDesktopIsReported();
    void stayOnTop();
    void keyChangeRebinds();
    void trayItemWithTooltip();
    void trayMenu();
    void nativeWhenXWaylandIsGone();
    void centredThroughXWayland();

private:
    QTemporaryDir m_dir;
};

void TestWayland::initTestCase()
{
    QVERIFY2(qEnvironmentVariableIsSet("WAYLAND_DISPLAY") &&
                 qEnvironmentVariableIsSet("HYTUNE_DESKTOP_LOG"),
             "run inside the Wayland test session (tests/e2e/session.sh start-wayland)");
}

// Ctrl+F6, bound through the real portal; a press starts the countdown, the
// next stops it; a restart of the program binds again.
void TestWayland::portalKeyStartsAndStops()
{
    for (int run = 1; run <= 2; ++run) {
        App app;
        QVERIFY(app.writeSettings(
            settingsText({"HotKey=F6", "HourCounter=0", "MinuteCounter=0", "SecondCounter=30",
                          "IsSecondCounter=1", "LastSecond=30", "PerSecond=1"})));
        QVERIFY2(app.start(), "no window");
        QVERIFY2(waitUntil([] { return hotkeyIs(QStringLiteral("Ctrl+F6")); }, 10000),
                 qPrintable(programSays(QStringLiteral("Hotkey"))));
        const QString component = QStringLiteral("/component/hytune_session_f6");
        QVERIFY(shortcutComponents().contains(component));
        // Ctrl+F6 (Qt's key code): the daemon really holds the key.
        QTRY_VERIFY2_WITH_TIMEOUT(
            componentInfo(component).contains(QLatin1String("'Default Context', [83886133]")),
            qPrintable(componentInfo(component)), 5000);
        QVERIFY(press(component));
        QTRY_VERIFY2_WITH_TIMEOUT(running(), qPrintable(app.output()), 5000);
        QVERIFY(press(component));
        QTRY_VERIFY_WITH_TIMEOUT(!running(), 5000);
        QCOMPARE(endApp(app), 0);
        qInfo("run %d: bound and toggled through the portal", run);
    }
}

// Ctrl+F1 is KWin's own: the portal says "Ctrl+F1", but no press would come.
// The program says so once, offering the nearest key KWin leaves free; the
// offer taken, that key is bound, shown in the key box and kept, and its
// press starts the countdown.
void TestWayland::keyOfTheDesktopIsReported()
{
    App app;
    QVERIFY(app.writeSettings(
        settingsText({"HotKey=F1", "HourCounter=0", "MinuteCounter=0", "SecondCounter=30",
                      "IsSecondCounter=1", "LastSecond=30", "PerSecond=1"})));
    const int before = desktopLog(QStringLiteral("notify")).size();
    QVERIFY2(app.start(), "no window");
    QString said;
    QVERIFY2(waitUntil(
                 [&] {
                     const QStringList n = desktopLog(QStringLiteral("notify")).mid(before);
                     said = n.join('\n');
                     return !n.isEmpty();
                 },
                 10000),
             "nothing said");
    QVERIFY2(said.contains(QStringLiteral("Ctrl+F1 是桌面自己的快捷键")), qPrintable(said));
    QVERIFY2(said.contains(QStringLiteral("Ctrl+F5")) && said.endsWith(QStringLiteral("|set-key")),
             qPrintable(said));
    // Said once: nothing more comes while the program runs on.
    sleepMs(500);
    QCOMPARE(desktopLog(QStringLiteral("notify")).size(), before + 1);
    QVERIFY(hotkeyIs(QString()));

    gdbusCall(QStringLiteral("example.heyinsoft.hytune.TestDesktop"), QStringLiteral("/"),
              QStringLiteral("example.heyinsoft.hytune.TestDesktop.Invoke"),
              {said.section(' ', 0, 0), QStringLiteral("set-key")});
    QVERIFY2(waitUntil([] { return hotkeyIs(QStringLiteral("Ctrl+F5")); }, 10000),
             qPrintable(programSays(QStringLiteral("Hotkey"))));
    QVERIFY(press(QStringLiteral("/component/hytune_session_f5")));
    QTRY_VERIFY_WITH_TIMEOUT(running(), 5000);
    QCOMPARE(endApp(app), 0);
    QVERIFY2(app.settingsEntries().contains({QStringLiteral("HotKey"), QStringLiteral("F5")}),
             "the key taken is not kept");
}

// The window runs through XWayland, where KWin keeps it above on request:
// ticking 显示在最前面 does, clearing it undoes it.
void TestWayland::stayOnTop()
{
    App app;
    QVERIFY(app.writeSettings(settingsText({"IsDispTop=0"})));
    const quint32 id = app.start();
    QVERIFY2(id, "no window");
    const auto keptAbove = [&](bool on) {
        QStringList windows;
        const bool ok = waitUntil(
            [&] {
                windows = kwinWindows(m_dir);
                return windows.size() == 1 &&
                       windows.first().section('|', 1, 1) == (on ? "true" : "false");
            },
            5000, 200);
        if (!ok)
            qWarning("KWin's windows: %s", qPrintable(windows.join(' ')));
        return ok;
    };
    QVERIFY(keptAbove(false));
    const QPoint box = xdesk::clientRect(id).topLeft() + kChkDispTop;
    QVERIFY(xdesk::clickAt(box));
    QVERIFY2(keptAbove(true), "ticked, the window is not kept above");
    QVERIFY(xdesk::clickAt(box));
    QVERIFY2(keptAbove(false), "cleared, the window is still kept above");
    QCOMPARE(endApp(app), 0);
}

// Another key chosen in the key box is bound at once: its own shortcut, with
// its key, and a press of it toggles.
void TestWayland::keyChangeRebinds()
{
    App app;
    QVERIFY(app.writeSettings(
        settingsText({"HotKey=F6", "HourCounter=0", "MinuteCounter=0", "SecondCounter=30",
                      "IsSecondCounter=1", "LastSecond=30", "PerSecond=1"})));
    const quint32 id = app.start();
    QVERIFY2(id, "no window");
    QVERIFY(waitUntil(
        [] {
            return shortcutComponents().contains(QStringLiteral("/component/hytune_session_f6"));
        },
        10000));
    // F5, picked from the key box's list.
    QVERIFY(xdesk::clickAt(xdesk::clientRect(id).topLeft() + kCbbKey));
    QVERIFY(
        xdesk::xdotool({"key", "--delay", "60", "Home", "Down", "Down", "Down", "Down", "Return"}));
    QVERIFY2(waitUntil([] { return hotkeyIs(QStringLiteral("Ctrl+F5")); }, 10000),
             qPrintable(programSays(QStringLiteral("Hotkey"))));
    // Ctrl+F5 is Qt's key code 83886132.
    const QString component = QStringLiteral("/component/hytune_session_f5");
    QVERIFY2(componentInfo(component).contains(QLatin1String("'Default Context', [83886132]")),
             qPrintable(componentInfo(component)));
    QVERIFY(press(component));
    QTRY_VERIFY_WITH_TIMEOUT(running(), 5000);
    QCOMPARE(endApp(app), 0);
}

// The tray icon is an item of the desktop's tray, with its tooltip.
void TestWayland::trayItemWithTooltip()
{
    App app;
    QVERIFY(app.writeSettings(settingsText({"HotKey=F6"}))); // no message in the tooltip
    const int before = desktopLog(QStringLiteral("item")).size();
    QVERIFY2(app.start(), "no window");
    QStringList items;
    QVERIFY(waitUntil(
        [&] {
            items = desktopLog(QStringLiteral("item")).mid(before);
            return !items.isEmpty();
        },
        5000));
    const QStringList item = items.first().split(' ');
    QCOMPARE(item.size(), 2);
    const QString tip =
        gdbusCall(item[0], item[1], QStringLiteral("org.freedesktop.DBus.Properties.Get"),
                  {QStringLiteral("org.kde.StatusNotifierItem"), QStringLiteral("ToolTip")});
    QVERIFY2(tip.contains(QStringLiteral("禾音语音定时器")), qPrintable(tip));
    QCOMPARE(endApp(app), 0);
}

// The tray item's menu, as the desktop shows it (through dbusmenu): start or
// stop, pause or go on, the window, and the end; each does what it says, and
// the item's hint gives the time left.
void TestWayland::trayMenu()
{
    App app;
    QVERIFY(
        app.writeSettings(settingsText({"HotKey=F6", "HourCounter=0", "MinuteCounter=0",
                                        "SecondCounter=30", "IsSecondCounter=1", "LastSecond=5"})));
    const int before = desktopLog(QStringLiteral("item")).size();
    QVERIFY2(app.start(), "no window");
    const QStringList item = trayItem(before);
    QCOMPARE(item.size(), 2);
    const QString menu =
        gdbusCall(item[0], item[1], QStringLiteral("org.freedesktop.DBus.Properties.Get"),
                  {QStringLiteral("org.kde.StatusNotifierItem"), QStringLiteral("Menu")});
    static const QRegularExpression objectPath(QStringLiteral("objectpath '([^']+)'"));
    const QString menuPath = objectPath.match(menu).captured(1);
    QVERIFY2(!menuPath.isEmpty(), qPrintable(menu));
    const auto click = [&](const QString& label) {
        const QMap<QString, int> entries = menuEntries(item[0], menuPath);
        if (!entries.contains(label))
            return false;
        gdbusCall(item[0], menuPath, QStringLiteral("com.canonical.dbusmenu.Event"),
                  {QStringLiteral("--"), QString::number(entries.value(label)),
                   QStringLiteral("clicked"), QStringLiteral("<0>"), QStringLiteral("0")});
        return true;
    };
    QStringList entries{"启动倒计时", "暂停", "显示窗口", "退出"};
    entries.sort();
    QCOMPARE(menuEntries(item[0], menuPath).keys(), entries);
    QVERIFY(click(QStringLiteral("启动倒计时")));
    QTRY_VERIFY_WITH_TIMEOUT(running(), 5000);
    const auto tip = [&] {
        return gdbusCall(item[0], item[1], QStringLiteral("org.freedesktop.DBus.Properties.Get"),
                         {QStringLiteral("org.kde.StatusNotifierItem"), QStringLiteral("ToolTip")});
    };
    QTRY_VERIFY_WITH_TIMEOUT(tip().contains(QStringLiteral("剩余 0:0:2")), 5000);
    QVERIFY(click(QStringLiteral("暂停")));
    QTRY_COMPARE_WITH_TIMEOUT(programSays(QStringLiteral("Paused")), QStringLiteral("(<true>,)"),
                              5000);
    QVERIFY(click(QStringLiteral("继续")));
    QTRY_COMPARE_WITH_TIMEOUT(programSays(QStringLiteral("Paused")), QStringLiteral("(<false>,)"),
                              5000);
    QVERIFY(click(QStringLiteral("停止倒计时")));
    QTRY_VERIFY_WITH_TIMEOUT(!running(), 5000);
    QVERIFY(click(QStringLiteral("退出")));
    QCOMPARE(app.waitForEnd(), 0);
}

// With no XWayland to be reached, the program runs natively on Wayland.
void TestWayland::nativeWhenXWaylandIsGone()
{
    App app;
    QVERIFY(app.writeSettings(settingsText({"HotKey=F6"})));
    const int before = desktopLog(QStringLiteral("item")).size();
    QVERIFY(app.launch({QStringLiteral("DISPLAY=:99")}));
    QCOMPARE(trayItem(before).size(), 2);
    QVERIFY(waitUntil([] { return hotkeyIs(QStringLiteral("Ctrl+F6")); }, 10000));
    QVERIFY(app.running());
    QCOMPARE(endApp(app), 0);
}

// Through XWayland, KWin places the window where the program puts it: in the
// middle of the screen, its frame included.
void TestWayland::centredThroughXWayland()
{
    App app;
    QVERIFY(app.writeSettings(settingsText({"HotKey=F6"})));
    QVERIFY2(app.start(), "no window");
    QStringList windows;
    QRect frame;
    const bool centred = waitUntil(
        [&] {
            windows = kwinWindows(m_dir);
            if (windows.size() != 1)
                return false;
            const QStringList g = windows.first().section('|', 2).split(',');
            frame = QRect(g.value(0).toInt(), g.value(1).toInt(), g.value(2).toInt(),
                          g.value(3).toInt());
            return frame.width() >= 544 &&
                   (frame.center() - QRect(0, 0, 1024, 768).center()).manhattanLength() <= 4;
        },
        5000, 200);
    QVERIFY2(centred, qPrintable(windows.join(' ')));
    QCOMPARE(endApp(app), 0);
}

QTEST_GUILESS_MAIN(TestWayland)
#include "test_wayland.moc"
