// The built program on a real GNOME Shell 43 Wayland desktop, whose portal
// lets no program bind a key: the key becomes a custom shortcut of GNOME's
// own, offered by a notice (its button pressed through the tests'
// notification server) or added with --bind-desktop-shortcut; Ctrl+F1 pressed
// through Mutter then starts and stops the countdown; the key box moves it,
// --unbind-desktop-shortcut takes it away alone, and a key GNOME already gives
// to something is refused with its name.
#include "support/apprun.h"
#include "support/monitorrecorder.h"
#include "support/mutterkeyboard.h"

#include <QRegularExpression>
#include <QtTest>

#include <csignal>

namespace {

const QString kId = QStringLiteral("example.heyinsoft.hytune");
const QString kMediaKeys = QStringLiteral("/org/gnome/settings-daemon/plugins/media-keys/");
const QString kUsers = kMediaKeys + QStringLiteral("custom-keybindings/custom0/");
// Where the key box is inside the window (the first page starts at 2,28).
const QPoint kCbbKey(2 + 384 + 36, 28 + 250 + 12);

QString tool(const QString& program, const QStringList& args)
{
    return xdesk::tool(program, args).trimmed();
}

QString programSays(const QString& property)
{
    return tool(QStringLiteral("gdbus"),
                {"call", "--session", "--dest", kId, "--object-path", "/example/heyinsoft/hytune",
                 "--method", "org.freedesktop.DBus.Properties.Get", kId, property});
}

bool running()
{
    return programSays(QStringLiteral("Running")).contains(QLatin1String("true"));
}

QString mediaKeys()
{
    return tool(QStringLiteral("dconf"), {QStringLiteral("dump"), kMediaKeys});
}

// The notices shown since `before`: "id summary|body|actions".
QStringList notices(int before = 0)
{
    QFile f(qEnvironmentVariable("HYTUNE_DESKTOP_LOG"));
    QStringList lines;
    if (f.open(QIODevice::ReadOnly)) {
        for (const QByteArray& l : f.readAll().split('\n')) {
            if (l.startsWith("notify "))
                lines << QString::fromUtf8(l.mid(7));
        }
    }
    return lines.mid(before);
}

// Presses Ctrl+F<n> until the countdown's state is `on`: the shortcut daemon
// takes a new binding a moment after it is stored, and the command it runs
// takes a moment to come; a press is made again only once the last one has
// had its time.
bool pressUntil(MutterKeyboard& keyboard, int n, bool on)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 15000) {
        keyboard.pressCtrlF(n);
        if (waitUntil([&] { return running() == on; }, 2500, 50))
            return true;
    }
    return false;
}

} // namespace

class TestGnome : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void offerTakenFromTheNotice();
    void keyBoxMovesItAndUnbindTakesItAway();
    void keyGnomeGivesAwayIsRefused();

private:
    std::unique_ptr<MutterKeyboard> m_keyboard;
    QString m_before;
};

void TestGnome::initTestCase()
{
    QVERIFY2(qEnvironmentVariable("XDG_CURRENT_DESKTOP") == QLatin1String("GNOME") &&
                 qEnvironmentVariableIsSet("HYTUNE_DESKTOP_LOG"),
             "run inside the GNOME test session (tests/e2e/session.sh start-gnome)");
    m_keyboard = std::make_unique<MutterKeyboard>();
    QVERIFY2(m_keyboard->isOpen(), qPrintable(m_keyboard->error()));
}

// A custom shortcut of the user's, which must stay as it is.
void TestGnome::init()
{
    tool(QStringLiteral("dconf"), {QStringLiteral("reset"), QStringLiteral("-f"), kMediaKeys});
    for (const auto& [key, value] : QList<std::pair<QString, QString>>{
             {kUsers + "name", "'我的截图'"},
             {kUsers + "command", "'gnome-screenshot -a'"},
             {kUsers + "binding", "'<Primary>F9'"},
             {kMediaKeys + "custom-keybindings", "['" + kUsers + "']"}})
        tool(QStringLiteral("dconf"), {QStringLiteral("write"), key, value});
    m_before = mediaKeys();
    QVERIFY(m_before.contains(QStringLiteral("我的截图")));
}

// Default settings but a 30 s countdown that counts every second: the notice
// offers Ctrl+F1, its button adds it, and the key starts the countdown (its
// first count heard at once) and stops it.
void TestGnome::offerTakenFromTheNotice()
{
    const int before = notices().size();
    App app;
    QVERIFY(app.writeSettings(settingsText(
        {"MinuteCounter=0", "SecondCounter=30", "IsSecondCounter=1", "LastSecond=30"})));
    QVERIFY2(app.start(), "no window");
    QStringList offered;
    QVERIFY2(waitUntil(
                 [&] {
                     offered = notices(before).filter(QStringLiteral("|set-key"));
                     return !offered.isEmpty();
                 },
                 10000),
             qPrintable(notices(before).join('\n')));
    QVERIFY2(offered.first().contains(QStringLiteral("Ctrl+F1")), qPrintable(offered.first()));
    QCOMPARE(programSays(QStringLiteral("Hotkey")), QStringLiteral("(<''>,)"));
    tool(QStringLiteral("gdbus"),
         {"call", "--session", "--dest", "example.heyinsoft.hytune.TestDesktop", "--object-path",
          "/", "--method", "example.heyinsoft.hytune.TestDesktop.Invoke",
          offered.first().section(' ', 0, 0), "set-key"});
    QTRY_COMPARE_WITH_TIMEOUT(programSays(QStringLiteral("Hotkey")),
                              QStringLiteral("(<'Ctrl+F1'>,)"), 10000);
    QVERIFY(mediaKeys().contains(QStringLiteral("binding='<Primary>F1'")));
    QVERIFY(mediaKeys().contains(QStringLiteral("binding='<Primary>F9'"))); // the user's stays

    MonitorRecorder rec;
    QVERIFY2(rec.start(), "cannot record the sink");
    QVERIFY2(pressUntil(*m_keyboard, 1, true), "Ctrl+F1 did not start the countdown");
    QVERIFY2(waitUntil([&] { return !silentFrom(rec.samples(), 0); }, 4000),
             qPrintable("nothing heard; the program wrote:\n" + app.output()));
    QVERIFY2(pressUntil(*m_keyboard, 1, false), "Ctrl+F1 did not stop the countdown");
    ::kill(pid_t(app.pid()), SIGTERM);
    QCOMPARE(app.waitForEnd(), 0);
}

// Added from the command line, moved by the key box, taken away alone.
void TestGnome::keyBoxMovesItAndUnbindTakesItAway()
{
    App app;
    QVERIFY(app.writeSettings(settingsText({"IsSecondCounter=1", "LastSecond=30"})));
    const quint32 id = app.start();
    QVERIFY2(id, "no window");
    const App::Run bound = app.runOnce({QStringLiteral("--bind-desktop-shortcut")});
    QVERIFY2(bound.exitCode == 0, qPrintable(bound.err));
    QTRY_COMPARE_WITH_TIMEOUT(programSays(QStringLiteral("Hotkey")),
                              QStringLiteral("(<'Ctrl+F1'>,)"), 10000);
    // F6, picked from the key box's list.
    QVERIFY(xdesk::clickAt(xdesk::clientRect(id).topLeft() + kCbbKey));
    QVERIFY(xdesk::xdotool(
        {"key", "--delay", "60", "Home", "Down", "Down", "Down", "Down", "Down", "Return"}));
    QTRY_COMPARE_WITH_TIMEOUT(programSays(QStringLiteral("Hotkey")),
                              QStringLiteral("(<'Ctrl+F6'>,)"), 10000);
    QVERIFY(mediaKeys().contains(QStringLiteral("binding='<Primary>F6'")));
    QVERIFY2(pressUntil(*m_keyboard, 6, true), "Ctrl+F6 did not start the countdown");
    QVERIFY(pressUntil(*m_keyboard, 6, false));

    const App::Run unbound = app.runOnce({QStringLiteral("--unbind-desktop-shortcut")});
    QVERIFY2(unbound.exitCode == 0, qPrintable(unbound.err));
    QCOMPARE(mediaKeys(), m_before);
    QTRY_COMPARE_WITH_TIMEOUT(programSays(QStringLiteral("Hotkey")), QStringLiteral("(<''>,)"),
                              5000);
    ::kill(pid_t(app.pid()), SIGTERM);
    QCOMPARE(app.waitForEnd(), 0);
}

// A key that GNOME already gives to a shortcut is not taken; the caller
// hears which one holds it, and the settings stay as they were.
void TestGnome::keyGnomeGivesAwayIsRefused()
{
    App app;
    QVERIFY(app.writeSettings(settingsText({"HotKey=F9"})));
    QVERIFY2(app.start(), "no window");
    const App::Run refused = app.runOnce({QStringLiteral("--bind-desktop-shortcut")});
    QCOMPARE(refused.exitCode, 1);
    QVERIFY2(refused.err.contains(QStringLiteral("Ctrl+F9")) &&
                 refused.err.contains(QStringLiteral("我的截图")),
             qPrintable(refused.err));
    QCOMPARE(mediaKeys(), m_before);
    QCOMPARE(programSays(QStringLiteral("Hotkey")), QStringLiteral("(<''>,)"));
    ::kill(pid_t(app.pid()), SIGTERM);
    QCOMPARE(app.waitForEnd(), 0);
}

QTEST_GUILESS_MAIN(TestGnome)
#include "test_gnome.moc"
