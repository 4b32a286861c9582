// The program's CPU while the tips line shows a tip of 1 MB:
//   tips_longline_cpu_pct  utime+stime of the program (all its threads) over
//                          HYBENCH_TIPS_SECONDS (default 45; 20 with
//                          HYBENCH_QUICK=1) from the moment its tips list has
//                          arrived, as a percentage of one core (goal < 1)
// The list comes from a web server of this benchmark on the loopback: one tip
// whose text is 1 000 000 characters. The program (argv[1]) runs as a copy in
// a temporary directory (with the network module beside it), so it reads and
// writes no settings of the build, on the current display ($DISPLAY, the
// bench session's).
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>
#include <unistd.h>

namespace {

// utime + stime of the process, in seconds.
double cpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.readAll();
    // The fields after the command name, which is in parentheses.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    return double(fields[11].toLongLong() + fields[12].toLongLong()) / double(sysconf(_SC_CLK_TCK));
}

// Waits, keeping the event loop (and so the web server) going.
void waitFor(const std::function<bool()>& done, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(20);
    }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_tips HYTUNE\n");
        return 2;
    }
    const bool quick = qEnvironmentVariableIntValue("HYBENCH_QUICK") == 1;
    bool given = false;
    int seconds = qEnvironmentVariableIntValue("HYBENCH_TIPS_SECONDS", &given);
    if (!given || seconds < 1)
        seconds = quick ? 20 : 45;

    const QByteArray tips = QByteArray(1000000, 'x') + "@#$http://127.0.0.1/\r\n";
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, 0))
        return 1;
    QObject::connect(&server, &QTcpServer::newConnection, &server, [&] {
        while (QTcpSocket* s = server.nextPendingConnection()) {
            QObject::connect(s, &QTcpSocket::readyRead, s, [s, &tips] {
                if (!s->readAll().contains("\r\n\r\n"))
                    return;
                s->write("HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " +
                         QByteArray::number(tips.size()) + "\r\n\r\n" + tips);
                s->disconnectFromHost();
            });
            QObject::connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
        }
    });

    QTemporaryDir dir;
    const QString program = dir.filePath(QStringLiteral("hytune"));
    // With its network module, from the program's own folder.
    const QFileInfo original(QString::fromLocal8Bit(argv[1]));
    if (!dir.isValid() || !QFile::copy(original.filePath(), program) ||
        !QFile::copy(original.dir().filePath(QStringLiteral("libhytune-net.so")),
                     dir.filePath(QStringLiteral("libhytune-net.so"))))
        return 1;
    QProcess hytune;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HYTUNE_SERVER"),
               QStringLiteral("http://127.0.0.1:%1").arg(server.serverPort()));
    hytune.setProcessEnvironment(env);
    hytune.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    hytune.start(program, {});
    if (!hytune.waitForStarted(10000))
        return 1;
    // The list is fetched 15 s after the start and shown as soon as it is in.
    const QString cache = dir.filePath(QStringLiteral("tipsupd.dat"));
    waitFor([&] { return QFile(cache).size() >= tips.size(); }, 40000);
    if (QFile(cache).size() < tips.size()) {
        std::fprintf(stderr, "bench_tips: the program did not fetch its tips\n");
        return 1;
    }
    const double before = cpuSeconds(hytune.processId());
    QElapsedTimer wall;
    wall.start();
    waitFor([] { return false; }, seconds * 1000);
    const double used = cpuSeconds(hytune.processId()) - before;
    const double elapsed = double(wall.nsecsElapsed()) / 1e9;
    hytune.terminate();
    if (!hytune.waitForFinished(10000))
        hytune.kill();
    if (before < 0 || used < 0)
        return 1;
    std::printf("# %.2f s of CPU in %.1f s with a tip of 1 MB on show\n", used, elapsed);
    std::printf("tips_longline_cpu_pct: %.2f %%\n", 100 * used / elapsed);
    return 0;
}
