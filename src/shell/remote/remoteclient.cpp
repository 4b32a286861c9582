#include "shell/remote/remoteclient.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QLockFile>
#include <QThread>

#include <csignal>
#include <pwd.h>
#include <unistd.h>

namespace hy {
namespace {

constexpr int kAnswerMs = 5000;
const QString kNoAnswer = QStringLiteral("正在运行的禾音语音报时器没有回应：%1");
const QString kErrorPrefix = QStringLiteral("error ");

QString appId()
{
    return QString::fromLatin1(kAppId);
}

QDBusMessage callRunning(const QString& interface, const QString& method,
                         const QVariantList& args = {})
{
    QDBusMessage m = QDBusMessage::createMethodCall(appId(), QString::fromLatin1(kAppObjectPath),
                                                    interface, method);
    m.setArguments(args);
    return QDBusConnection::sessionBus().call(m, QDBus::Block, kAnswerMs);
}

bool noCopyRuns(const QDBusMessage& reply)
{
    const QString error = reply.errorName();
    return error == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
           error == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner");
}

Forwarded forwardOverBus(RemoteCommand command)
{
    Forwarded result;
    const RemoteCommandInfo* info = remoteCommandInfo(command);
    const QDBusMessage reply = info && info->method
                                   ? callRunning(appId(), QString::fromLatin1(info->method))
                               : command == RemoteCommand::Status
                                   ? callRunning(QStringLiteral("org.freedesktop.DBus.Properties"),
                                                 QStringLiteral("GetAll"), {appId()})
                                   : callRunning(appId(), QStringLiteral("Show"));
    if (reply.type() == QDBusMessage::ErrorMessage) {
        if (noCopyRuns(reply))
            return result;
        // The copy that runs said why it did not carry the command out.
        result.reached = reply.errorName().startsWith(appId() + QStringLiteral(".Error."));
        result.problem =
            result.reached ? reply.errorMessage() : kNoAnswer.arg(reply.errorMessage());
        return result;
    }
    result.reached = true;
    if (command == RemoteCommand::Status) {
        const auto all = qdbus_cast<QVariantMap>(reply.arguments().value(0));
        const CountdownStatus status{all.value(QStringLiteral("Running")).toBool(),
                                     all.value(QStringLiteral("Waiting")).toBool(),
                                     all.value(QStringLiteral("RemainingSeconds")).toInt(),
                                     all.value(QStringLiteral("CycleCount")).toInt()};
        result.output = statusLine(status) + QLatin1Char('\n');
    }
    return result;
}

// Whether a live process holds the lock of the running copy. Only looked at:
// taking it, even for a moment, could turn away a copy starting just then.
bool lockHolderRuns()
{
    qint64 pid = 0;
    QString host, app;
    return QLockFile(localSocketPath() + QStringLiteral(".lock")).getLockInfo(&pid, &host, &app) &&
           pid > 0 && ::kill(pid_t(pid), 0) == 0;
}

// One line each way: the command's word, then "ok", "error <why>" or the status.
Forwarded forwardOverSocket(RemoteCommand command)
{
    Forwarded result;
    QLocalSocket socket;
    // The copy that holds the lock may still be about to listen.
    QElapsedTimer waited;
    waited.start();
    const bool locked = lockHolderRuns();
    do {
        socket.connectToServer(localSocketPath());
        if (socket.waitForConnected(kAnswerMs))
            break;
        QThread::msleep(20);
    } while (locked && waited.elapsed() < kAnswerMs);
    if (socket.state() != QLocalSocket::ConnectedState) {
        if (locked)
            result.problem = kNoAnswer.arg(socket.errorString());
        return result;
    }
    const QString word =
        command == RemoteCommand::None ? QStringLiteral("show") : remoteCommandWord(command);
    socket.write(word.toLatin1() + '\n');
    while (!socket.canReadLine() && socket.waitForReadyRead(kAnswerMs)) {
    }
    const QString answer = QString::fromUtf8(socket.readLine()).trimmed();
    CountdownStatus status;
    if (command == RemoteCommand::Status && decodeStatus(answer, &status)) {
        result.output = statusLine(status) + QLatin1Char('\n');
    } else if (answer.startsWith(kErrorPrefix)) {
        result.problem = answer.mid(kErrorPrefix.size());
    } else if (answer != QLatin1String("ok")) {
        result.problem = kNoAnswer.arg(socket.errorString());
        return result;
    }
    result.reached = true;
    return result;
}

} // namespace

QString localSocketPath()
{
    // Without asking QStandardPaths, which warns on stderr when the runtime
    // directory is not set; its own fallback folder is the same.
    QString dir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (dir.isEmpty()) {
        const passwd* user = ::getpwuid(::getuid());
        dir = QDir::tempPath() + QStringLiteral("/runtime-") +
              (user ? QString::fromLocal8Bit(user->pw_name) : QString::number(::getuid()));
    }
    return dir + QLatin1Char('/') + appId();
}

Forwarded forwardCommand(RemoteCommand command)
{
    return QDBusConnection::sessionBus().isConnected() ? forwardOverBus(command)
                                                       : forwardOverSocket(command);
}

} // namespace hy
