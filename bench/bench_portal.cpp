// How long the desktop-wide key takes through the real desktop portal: from
// the start of the program (fork+exec of a copy) to its D-Bus property Hotkey
// naming the key the desktop bound (PropertiesChanged, seen on the session
// bus). Runs in the Wayland session of tests/e2e/session.sh start-wayland.
//
//   portal_bind_first_ms  the first start, with the portal itself still to be
//                         started by the bus
//   portal_bind_ms        median of the next starts, the portal running
#include "stats.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <optional>
#include <vector>

namespace {

const QString kId = QStringLiteral("example.heyinsoft.hytune");
const QString kPath = QStringLiteral("/example/heyinsoft/hytune");

class BindWatch : public QObject
{
    Q_OBJECT
public:
    QString key;
    QEventLoop loop;

public slots:
    void changed(const QString& interface, const QVariantMap& changed, const QStringList&)
    {
        if (interface == kId && !changed.value(QStringLiteral("Hotkey")).toString().isEmpty()) {
            key = changed.value(QStringLiteral("Hotkey")).toString();
            loop.quit();
        }
    }
};

// One start of the program: milliseconds until the key was bound.
std::optional<double> bindOnce(const QString& exe, const QString& dir)
{
    BindWatch watch;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.connect(QString(), kPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                QStringLiteral("PropertiesChanged"), &watch,
                SLOT(changed(QString, QVariantMap, QStringList)));
    QProcess program;
    program.setWorkingDirectory(dir);
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.setStandardOutputFile(QProcess::nullDevice());
    QTimer::singleShot(10000, &watch.loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    program.start(exe, {});
    watch.loop.exec();
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    bus.disconnect(QString(), kPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                   QStringLiteral("PropertiesChanged"), &watch,
                   SLOT(changed(QString, QVariantMap, QStringList)));
    program.terminate(); // SIGTERM: closes the window as a logout does
    if (!program.waitForFinished(5000))
        program.kill(), program.waitForFinished(2000);
    if (watch.key.isEmpty())
        return std::nullopt;
    std::printf("# bound %s in %.1f ms\n", qPrintable(watch.key), ms);
    return ms;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_portal HYTUNE RUNS\n");
        return 2;
    }
    QTemporaryDir dir;
    const QString exe = dir.filePath(QStringLiteral("hytune"));
    QFile settings(dir.filePath(QStringLiteral("hytunetm.db")));
    // Ctrl+F6: not one of KWin's own keys.
    if (!QFile::copy(QString::fromLocal8Bit(argv[1]), exe) ||
        !settings.open(QIODevice::WriteOnly) || settings.write("[Common]\r\nHotKey=F6\r\n") < 0)
        return 1;
    settings.close();
    const int runs = QString::fromLocal8Bit(argv[2]).toInt();
    const auto first = bindOnce(exe, dir.path());
    std::vector<double> ms;
    for (int i = 0; i < runs && first; ++i) {
        if (const auto m = bindOnce(exe, dir.path()))
            ms.push_back(*m);
    }
    if (!first || ms.empty()) {
        std::fprintf(stderr, "bench_portal: the key was never bound\n");
        std::printf("portal_bind_first_ms: nan ms\nportal_bind_ms: nan ms\n");
        return 1;
    }
    std::printf("portal_bind_first_ms: %.1f ms\n", *first);
    std::printf("portal_bind_ms: %.1f ms\n", benchstats::median(ms));
    return 0;
}

#include "bench_portal.moc"
