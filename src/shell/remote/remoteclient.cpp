#include "shell/remote/remoteclient.h"

#include "core/network.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>

#include <ctime>
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

Forwarded forwardOverBus(RemoteCommand command, const QString& value)
{
    Forwarded result;
    const RemoteCommandInfo* info = remoteCommandInfo(command);
    const QDBusMessage reply = info && info->method
                                   ? callRunning(appId(), QString::fromLatin1(info->method),
                                                 info->value ? QVariantList{value} : QVariantList{})
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
                                     all.value(QStringLiteral("CycleCount")).toInt(),
                                     all.value(QStringLiteral("Paused")).toBool()};
        result.output = statusLine(status) + QLatin1Char('\n');
    }
    return result;
}

// When process `pid` started, in ms since 1970 on the wall clock; -1 when no
// such process runs.
qint64 processStartMs(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray stat = file.readAll();
    // Fields from the third on follow the name in parentheses, which may hold
    // anything; the 22nd is the start, in clock ticks after boot.
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 20)
        return -1;
    timespec boot = {};
    ::clock_gettime(CLOCK_BOOTTIME, &boot);
    const qint64 bootMs = qint64(boot.tv_sec) * 1000 + boot.tv_nsec / 1000000;
    return QDateTime::currentMSecsSinceEpoch() - bootMs +
           fields[19].toLongLong() * 1000 / ::sysconf(_SC_CLK_TCK);
}

// Whether the copy that wrote the lock still runs. Only looked at: taking it,
// even for a moment, could turn away a copy starting just then. Its pid may
// have gone to another process since: one that started after the lock was
// written is not the copy.
bool lockHolderRuns()
{
    const QString lockPath = localSocketPath() + QStringLiteral(".lock");
    qint64 pid = 0;
    QString host, app;
    if (!QLockFile(lockPath).getLockInfo(&pid, &host, &app) || pid <= 0)
        return false;
    const qint64 started = processStartMs(pid);
    const QDateTime written = QFileInfo(lockPath).lastModified();
    // A second's leeway for the rounding of the clocks.
    return started >= 0 && written.isValid() && started <= written.toMSecsSinceEpoch() + 1000;
}

// One line each way: the command's word, then "ok", "error <why>" or the status.
Forwarded forwardOverSocket(RemoteCommand command, const QString& value)
{
    Forwarded result;
    // The copy that holds the lock may still be about to listen.
    const bool locked = lockHolderRuns();
    QString word =
        command == RemoteCommand::None ? QStringLiteral("show") : remoteCommandWord(command);
    if (!value.isEmpty())
        word += QLatin1Char(' ') + value;
    QString error;
    INetwork* net = network(&error);
    const std::optional<QString> answer =
        net ? net->askLocal(localSocketPath(), word, locked, kAnswerMs, &error) : std::nullopt;
    if (!answer) {
        if (locked)
            result.problem = kNoAnswer.arg(error);
        return result;
    }
    CountdownStatus status;
    if (command == RemoteCommand::Status && decodeStatus(*answer, &status)) {
        result.output = statusLine(status) + QLatin1Char('\n');
    } else if (answer->startsWith(kErrorPrefix)) {
        result.problem = answer->mid(kErrorPrefix.size());
    } else if (*answer != QLatin1String("ok")) {
        result.problem = kNoAnswer.arg(error);
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

Forwarded forwardCommand(RemoteCommand command, const QString& value)
{
    return QDBusConnection::sessionBus().isConnected() ? forwardOverBus(command, value)
                                                       : forwardOverSocket(command, value);
}

} // namespace hy
