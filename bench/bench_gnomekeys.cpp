// The desktop's part of a key press on GNOME, in the GNOME session of
// tests/e2e/session.sh start-gnome: the program's custom shortcut is bound
// (GnomeShortcuts) to a stand-in program that writes the time it runs, and
// Ctrl+F<n> is pressed through Mutter's RemoteDesktop.
//
//   gnome_shortcut_pickup_ms   from the binding stored to the command's first
//                              run, pressed every 20 ms (gsd-media-keys
//                              taking the new binding), median over RUNS keys
//   gnome_key_to_command_ms    from the press to the command running,
//                              median of RUNS presses (the desktop's part of
//                              desktop_shortcut_ms); also its maximum
//   gnome_settings_rss_kb      what the first call adds to the resident
//                              memory: libgio, dconf's module, the thread
//   desktop_shortcut_ms        with PROGRAM given: the program runs, its
//                              shortcut added with --bind-desktop-shortcut;
//                              from a press of Ctrl+F1 to its countdown
//                              running or stopped (its D-Bus property
//                              Running), median of RUNS presses
//
//   bench_gnomekeys RUNS [PROGRAM]
#include "platform/hotkey/gnomeshortcuts.h"
#include "stats.h"
#include "support/mutterkeyboard.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <ctime>
#include <functional>
#include <optional>
#include <vector>

namespace {

qint64 realtimeNs()
{
    timespec t{};
    clock_gettime(CLOCK_REALTIME, &t);
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// Waits for the effect of a press made at `pressedNs` (CLOCK_REALTIME);
// milliseconds from the press to it, or nothing within `timeoutMs`.
using Effect = std::function<std::optional<double>(qint64 pressedNs, int timeoutMs)>;

// Presses Ctrl+F<key> `runs` times, each once the last one's effect is seen.
std::vector<double> timePresses(MutterKeyboard& keyboard, int key, int runs, const Effect& effect)
{
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        const qint64 pressed = realtimeNs();
        if (!keyboard.pressCtrlF(key))
            break;
        if (const auto m = effect(pressed, 5000))
            ms.push_back(*m);
        QTest::qWait(200);
    }
    return ms;
}

// The stand-in program: appends the time it runs at to a file.
class Stamps
{
public:
    Stamps()
    {
        QFile script(program());
        script.open(QIODevice::WriteOnly);
        script.write(QStringLiteral("#!/bin/sh\ndate +%s%N >>'%1'\n").arg(file()).toUtf8());
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    QString program() const { return m_dir.filePath(QStringLiteral("stamp")); }
    // The time (CLOCK_REALTIME, ns) in the next new line of the file.
    std::optional<qint64> wait(int timeoutMs)
    {
        QElapsedTimer t;
        t.start();
        do {
            QFile f(file());
            if (f.open(QIODevice::ReadOnly)) {
                const QList<QByteArray> lines = f.readAll().split('\n');
                if (lines.size() > m_seen + 1) {
                    m_seen = int(lines.size()) - 1;
                    return lines[m_seen - 1].toLongLong();
                }
            }
            QTest::qWait(2);
        } while (t.elapsed() < timeoutMs);
        return std::nullopt;
    }

private:
    QString file() const { return m_dir.filePath(QStringLiteral("stamps")); }
    QTemporaryDir m_dir;
    int m_seen = 0; // lines read so far
};

long residentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

// Whether the program's countdown runs, as its D-Bus property says.
std::optional<bool> running()
{
    QDBusMessage get = QDBusMessage::createMethodCall(
        QStringLiteral("example.heyinsoft.hytune"), QStringLiteral("/example/heyinsoft/hytune"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << QStringLiteral("example.heyinsoft.hytune") << QStringLiteral("Running");
    const QDBusMessage reply = QDBusConnection::sessionBus().call(get, QDBus::Block, 1000);
    if (reply.type() != QDBusMessage::ReplyMessage)
        return std::nullopt;
    return reply.arguments().value(0).value<QDBusVariant>().variant().toBool();
}

// The program in a folder of its own, a second count chosen, its shortcut on
// Ctrl+F1: from each press to the countdown's state changed.
std::vector<double> pressesToCountdown(MutterKeyboard& keyboard, const QString& program, int runs)
{
    QTemporaryDir dir;
    const QString exe = dir.filePath(QStringLiteral("hytune"));
    QFile::copy(program, exe);
    QFile settings(dir.filePath(QStringLiteral("hytunetm.db")));
    settings.open(QIODevice::WriteOnly);
    settings.write("[Common]\nIsSecondCounter=1\nLastSecond=30\nHotKey=F1\n");
    settings.close();
    QProcess app;
    app.setWorkingDirectory(dir.path());
    app.start(exe, {});
    std::vector<double> ms;
    if (!QTest::qWaitFor([] { return running().has_value(); }, 15000) ||
        QProcess::execute(exe, {QStringLiteral("--bind-desktop-shortcut")}) != 0) {
        std::fprintf(stderr, "bench_gnomekeys: the program did not take its shortcut\n");
    } else {
        QTest::qWait(1000); // the shortcut daemon takes the new binding
        for (int i = 0; i < runs; ++i) {
            const bool before = running().value_or(false);
            QElapsedTimer t;
            t.start();
            if (!keyboard.pressCtrlF(1))
                break;
            if (!QTest::qWaitFor([&] { return running().value_or(before) != before; }, 5000))
                break;
            ms.push_back(double(t.nsecsElapsed()) / 1e6);
            QTest::qWait(300);
        }
        QProcess::execute(exe, {QStringLiteral("--unbind-desktop-shortcut")});
    }
    app.terminate();
    app.waitForFinished(10000);
    return ms;
}

bool bind(hy::GnomeShortcuts& shortcuts, int key, const QString& program)
{
    std::optional<hy::ShortcutAnswer> got;
    shortcuts.bind(key, program, [&](const hy::ShortcutAnswer& a) { got = a; });
    return QTest::qWaitFor([&] { return got.has_value(); }, 10000) &&
           got->result == hy::ShortcutAnswer::Result::Done;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 5;
    MutterKeyboard keyboard;
    hy::GnomeShortcuts shortcuts;
    Stamps stamps;
    if (!keyboard.isOpen()) {
        std::fprintf(stderr, "bench_gnomekeys: %s\n", qPrintable(keyboard.error()));
        return 1;
    }
    // Pickup: a new key each run, pressed every 20 ms from the moment it is stored.
    std::vector<double> pickup;
    int key = 1;
    const long before = residentKb();
    for (int i = 0; i < runs; ++i, key = key % 12 + 1) {
        if (!bind(shortcuts, key, stamps.program()))
            break;
        if (i == 0)
            std::printf("gnome_settings_rss_kb: %ld kB\n", residentKb() - before);
        const qint64 stored = realtimeNs();
        for (int tries = 0; tries < 250; ++tries) {
            keyboard.pressCtrlF(key);
            if (const auto ran = stamps.wait(20)) {
                pickup.push_back(double(*ran - stored) / 1e6);
                std::printf("# Ctrl+F%d taken after %.0f ms\n", key, pickup.back());
                break;
            }
        }
        QTest::qWait(500); // late runs of the presses before
        (void)stamps.wait(0);
    }
    const std::vector<double> ms =
        timePresses(keyboard, key == 1 ? 12 : key - 1, runs,
                    [&](qint64 pressed, int timeoutMs) -> std::optional<double> {
                        if (const auto ran = stamps.wait(timeoutMs))
                            return double(*ran - pressed) / 1e6;
                        return std::nullopt;
                    });
    std::optional<hy::ShortcutAnswer> removed;
    shortcuts.remove([&](const hy::ShortcutAnswer& a) { removed = a; });
    (void)QTest::qWaitFor([&] { return removed.has_value(); }, 10000);
    for (double m : ms)
        std::printf("# press to command: %.1f ms\n", m);
    std::printf("gnome_shortcut_pickup_ms: %.0f ms\n", benchstats::median(pickup));
    std::printf("gnome_key_to_command_ms: %.1f ms\n", benchstats::median(ms));
    std::printf("gnome_key_to_command_max_ms: %.1f ms\n",
                ms.empty() ? std::nan("") : *std::max_element(ms.begin(), ms.end()));
    bool whole = true;
    if (argc > 2) {
        const std::vector<double> toggles =
            pressesToCountdown(keyboard, QString::fromLocal8Bit(argv[2]), runs);
        for (double m : toggles)
            std::printf("# press to the countdown started or stopped: %.1f ms\n", m);
        std::printf("desktop_shortcut_ms: %.1f ms\n", benchstats::median(toggles));
        whole = toggles.size() == size_t(runs);
    }
    return pickup.size() == size_t(runs) && ms.size() == size_t(runs) && whole ? 0 : 1;
}
