// The program's custom shortcut on a real GNOME Shell 43 Wayland desktop
// (session.sh start-gnome): added through GSettings, run by gsd-media-keys
// when Ctrl+F<n> is pressed through Mutter's RemoteDesktop, moved, removed;
// the user's own shortcuts and the rest of dconf stay as they were, and a key
// that GNOME or the user already has is refused with its name.
#include "platform/hotkey/gnomekeybindings.h"
#include "platform/hotkey/gnomeshortcuts.h"
#include "support/mutterkeyboard.h"
#include "support/xdesktop.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

using hy::GnomeKeybindings;
using hy::GnomeShortcuts;
using hy::ShortcutAnswer;
using Result = ShortcutAnswer::Result;

namespace {

const QString kMediaKeys = QStringLiteral("/org/gnome/settings-daemon/plugins/media-keys/");
const QString kUsers = kMediaKeys + QStringLiteral("custom-keybindings/custom0/");
const QString kUsersShot = kMediaKeys + QStringLiteral("custom-keybindings/custom1/");

QString dconf(const QStringList& args)
{
    bool ok = false;
    const QString out = xdesk::tool(QStringLiteral("dconf"), args, &ok);
    if (!ok)
        qWarning("dconf %s failed", qPrintable(args.join(' ')));
    return out;
}

QString mediaKeysDump()
{
    return dconf({QStringLiteral("dump"), kMediaKeys});
}

// The call's answer, once it has come (10 s at most).
std::optional<ShortcutAnswer> answerOf(const std::function<void(GnomeShortcuts::Done)>& call)
{
    std::optional<ShortcutAnswer> got;
    call([&](const ShortcutAnswer& a) { got = a; });
    (void)QTest::qWaitFor([&] { return got.has_value(); }, 10000);
    return got;
}

} // namespace

class TestGnomeShortcuts : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void noShortcutPortal();
    void addedKeyRunsTheCommand();
    void movedKeyRunsTheCommand();
    void removedAlone();
    void takenKeyIsRefused_data();
    void takenKeyIsRefused();

private:
    // Presses Ctrl+F<n> until the script has run (the daemon takes a new
    // binding a moment after it is stored), for `timeoutMs` at most.
    bool pressUntilRun(int n, int timeoutMs = 10000);
    QString program() const { return m_dir.filePath(QStringLiteral("it's a dir/fake hytune")); }
    QString ran() const { return m_dir.filePath(QStringLiteral("it's a dir/ran")); }

    QTemporaryDir m_dir;
    GnomeShortcuts m_shortcuts;
    std::unique_ptr<MutterKeyboard> m_keyboard;
    QString m_before; // the media keys' settings before ours came
};

void TestGnomeShortcuts::initTestCase()
{
    QVERIFY2(hy::isGnomeDesktop() && qEnvironmentVariableIsSet("WAYLAND_DISPLAY"),
             "run inside the GNOME test session (tests/e2e/session.sh start-gnome)");
    // The user's own shortcuts: one on Super+T, and 我的截图 on Ctrl+F3.
    const QString list = QStringLiteral("['%1', '%2']").arg(kUsers, kUsersShot);
    dconf({QStringLiteral("reset"), QStringLiteral("-f"), kMediaKeys});
    for (const auto& [key, value] :
         QList<std::pair<QString, QString>>{{kUsers + "name", "'终端'"},
                                            {kUsers + "command", "'gnome-terminal --tab'"},
                                            {kUsers + "binding", "'<Super>t'"},
                                            {kUsersShot + "name", "'我的截图'"},
                                            {kUsersShot + "command", "'gnome-screenshot -a'"},
                                            {kUsersShot + "binding", "'<Primary>F3'"},
                                            {kMediaKeys + "custom-keybindings", list}})
        dconf({QStringLiteral("write"), key, value});
    m_before = mediaKeysDump();
    QVERIFY(m_before.contains(QStringLiteral("我的截图")));

    QVERIFY(QDir().mkpath(QFileInfo(program()).path()));
    QFile script(program());
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\necho \"$@\" >>\"$(dirname \"$0\")/ran\"\n");
    script.close();
    QVERIFY(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    m_keyboard = std::make_unique<MutterKeyboard>();
    QVERIFY2(m_keyboard->isOpen(), qPrintable(m_keyboard->error()));
}

bool TestGnomeShortcuts::pressUntilRun(int n, int timeoutMs)
{
    QFile::remove(ran());
    // The script's shell creates the file before it writes the line.
    const auto hasRun = [this] {
        QFile f(ran());
        return f.open(QIODevice::ReadOnly) && f.readAll().startsWith("--toggle");
    };
    QElapsedTimer t;
    t.start();
    int presses = 0;
    while (t.elapsed() < timeoutMs) {
        if (!m_keyboard->pressCtrlF(n))
            qWarning("press: %s", qPrintable(m_keyboard->error()));
        ++presses;
        if (QTest::qWaitFor(hasRun, 200))
            break;
    }
    const bool ok = hasRun();
    qInfo("Ctrl+F%d: %s after %d presses, %lld ms", n, ok ? "ran" : "did not run", presses,
          t.elapsed());
    return ok;
}

// Debian 12's portal has no GlobalShortcuts on GNOME.
void TestGnomeShortcuts::noShortcutPortal()
{
    std::optional<bool> without;
    hy::askGnomeWithoutShortcutPortal(QDBusConnection::sessionBus(), this,
                                      [&](bool answer) { without = answer; });
    QVERIFY(QTest::qWaitFor([&] { return without.has_value(); }, 10000));
    QVERIFY(*without);
}

// Ours on Ctrl+F1 runs the program's path, quoted, with --toggle; the user's
// shortcuts stay as they were; a later start finds ours.
void TestGnomeShortcuts::addedKeyRunsTheCommand()
{
    const auto a = answerOf([&](auto done) { m_shortcuts.bind(1, program(), done); });
    QVERIFY(a && a->result == Result::Done);
    QVERIFY(a->ours);
    QCOMPARE(a->ours->binding, QStringLiteral("<Primary>F1"));
    QCOMPARE(a->ours->name, GnomeKeybindings::kName.toString());
    QCOMPARE(a->ours->command, hy::toggleCommand(program()));
    // Ours joins the list; every other section is as it was.
    QCOMPARE(
        dconf({QStringLiteral("read"), kMediaKeys + "custom-keybindings"}).trimmed(),
        QStringLiteral("['%1', '%2', '%3']").arg(kUsers, kUsersShot, GnomeKeybindings::kOurPath));
    const QString now = mediaKeysDump();
    for (const QString& section : m_before.split(QStringLiteral("\n\n"))) {
        if (!section.startsWith(QLatin1String("[/]")))
            QVERIFY2(now.contains(section), qPrintable(now));
    }
    QVERIFY(pressUntilRun(1));

    GnomeShortcuts nextStart;
    const auto found = answerOf([&](auto done) { nextStart.findOurs(done); });
    QVERIFY(found && found->result == Result::Done);
    QCOMPARE(found->ours, a->ours);
}

// Moved to Ctrl+F2: that key runs it, Ctrl+F1 no longer does.
void TestGnomeShortcuts::movedKeyRunsTheCommand()
{
    const auto a = answerOf([&](auto done) { m_shortcuts.bind(2, program(), done); });
    QVERIFY(a && a->result == Result::Done && a->ours);
    QCOMPARE(a->ours->binding, QStringLiteral("<Primary>F2"));
    QVERIFY(pressUntilRun(2));
    // A press before may still run it late, on a busy machine.
    QTest::qWait(1000);
    QFile::remove(ran());
    QVERIFY(m_keyboard->pressCtrlF(1));
    QVERIFY(!QTest::qWaitFor([&] { return QFile::exists(ran()); }, 1000));
}

// Removed, dconf's media keys hold byte for byte what they held before.
void TestGnomeShortcuts::removedAlone()
{
    const auto a = answerOf([&](auto done) { m_shortcuts.remove(done); });
    QVERIFY(a && a->result == Result::Done);
    QVERIFY(!a->ours);
    QCOMPARE(mediaKeysDump(), m_before);
}

void TestGnomeShortcuts::takenKeyIsRefused_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("setting"); // dconf key set to Ctrl+F<key>, empty for none
    QTest::addColumn<QString>("message");
    QTest::newRow("user's 我的截图")
        << 3 << QString() << "Ctrl+F3 已被 GNOME 的自定义快捷键“我的截图”占用";
    QTest::newRow("window manager")
        << 4 << "/org/gnome/desktop/wm/keybindings/switch-to-workspace-4"
        << "Ctrl+F4 已被 GNOME 的“切换到工作区 4”占用";
    QTest::newRow("shell") << 5 << "/org/gnome/shell/keybindings/show-screenshot-ui"
                           << "Ctrl+F5 已被 GNOME 的“交互式截图”占用";
    QTest::newRow("mutter") << 6 << "/org/gnome/mutter/keybindings/toggle-tiled-left"
                            << "Ctrl+F6 已被 GNOME 的“分屏到左侧”占用";
    QTest::newRow("mutter wayland")
        << 7 << "/org/gnome/mutter/wayland/keybindings/restore-shortcuts"
        << "Ctrl+F7 已被 GNOME 的“重新启用快捷键”占用";
    QTest::newRow("media keys") << 8 << kMediaKeys + "calculator"
                                << "Ctrl+F8 已被 GNOME 的“启动计算器”占用";
}

// Refused with the holder's name, in the words of GNOME's settings; nothing
// changes.
void TestGnomeShortcuts::takenKeyIsRefused()
{
    QFETCH(int, key);
    QFETCH(QString, setting);
    QFETCH(QString, message);
    if (!setting.isEmpty())
        dconf({QStringLiteral("write"), setting,
               QStringLiteral("['<Super>x', '<Control>F%1']").arg(key)});
    const auto checked = answerOf([&](auto done) { m_shortcuts.checkKey(key, done); });
    const auto bound = answerOf([&](auto done) { m_shortcuts.bind(key, program(), done); });
    if (!setting.isEmpty())
        dconf({QStringLiteral("reset"), setting});
    for (const auto& a : {checked, bound}) {
        QVERIFY(a && a->result == Result::Taken);
        QCOMPARE(a->message, message);
        QVERIFY(message.contains(a->holder));
        QVERIFY(!a->ours);
    }
    QCOMPARE(mediaKeysDump(), m_before);
}

QTEST_GUILESS_MAIN(TestGnomeShortcuts)
#include "test_gnomeshortcuts.moc"
