#include "shell/remote/singleinstance.h"

#include "core/log.h"
#include "shell/remote/remoteadaptor.h"
#include "shell/remote/remotecontrol.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QThread>

#include <csignal>

namespace hy {
namespace {

constexpr int kAnswerMs = 5000;
const QString kNoAnswer = QStringLiteral("正在运行的禾音语音报时器没有回应：%1");

QString appId()
{
    return QString::fromLatin1(kAppId);
}

QString path()
{
    return QString::fromLatin1(kAppObjectPath);
}

QDBusMessage callRunning(const QString& interface, const QString& method,
                         const QVariantList& args = {})
{
    QDBusMessage m = QDBusMessage::createMethodCall(appId(), path(), interface, method);
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
    QDBusMessage reply;
    if (command == RemoteCommand::Status) {
        reply = callRunning(QStringLiteral("org.freedesktop.DBus.Properties"),
                            QStringLiteral("GetAll"), {appId()});
    } else {
        // The method is the command's word, capitalized: Show, Toggle, ...
        QString method =
            remoteCommandWord(command == RemoteCommand::None ? RemoteCommand::Show : command);
        method[0] = method[0].toUpper();
        reply = callRunning(appId(), method);
    }
    if (reply.type() == QDBusMessage::ErrorMessage) {
        if (!noCopyRuns(reply))
            result.problem = kNoAnswer.arg(reply.errorMessage());
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

// One line each way: the command's word, then "ok" or the status.
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
    const QString answer = QString::fromLatin1(socket.readLine()).trimmed();
    CountdownStatus status;
    if (command == RemoteCommand::Status && decodeStatus(answer, &status)) {
        result.output = statusLine(status) + QLatin1Char('\n');
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
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) + QLatin1Char('/') +
           appId();
}

Forwarded forwardCommand(RemoteCommand command)
{
    return QDBusConnection::sessionBus().isConnected() ? forwardOverBus(command)
                                                       : forwardOverSocket(command);
}

SingleInstance::SingleInstance(RemoteControl& remote, QObject* parent)
    : QObject(parent)
    , m_remote(remote)
{}

SingleInstance::~SingleInstance()
{
    if (m_onBus) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.unregisterService(appId());
        bus.unregisterObject(path());
    }
    if (m_server)
        m_server->close();
}

void SingleInstance::prepare()
{
    m_connecting =
        std::async(std::launch::async, [] { return QDBusConnection::sessionBus().isConnected(); });
}

bool SingleInstance::claim()
{
    if (!m_claimed) {
        const bool onBus =
            m_connecting.valid() ? m_connecting.get() : QDBusConnection::sessionBus().isConnected();
        m_claimed = onBus ? claimBus() : claimSocket();
    }
    return *m_claimed;
}

bool SingleInstance::claimBus()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    new RemoteAdaptor(m_remote, bus);
    if (!bus.registerObject(path(), &m_remote, QDBusConnection::ExportAdaptors)) {
        qCWarning(lcRemote, "cannot serve the remote-control interface on the session bus");
        return true; // runs all the same, as the only copy it can know of
    }
    if (!bus.registerService(appId())) {
        bus.unregisterObject(path());
        return false;
    }
    m_onBus = true;
    return true;
}

bool SingleInstance::claimSocket()
{
    const QString socketPath = localSocketPath();
    m_lock = std::make_unique<QLockFile>(socketPath + QStringLiteral(".lock"));
    m_lock->setStaleLockTime(0); // held for the whole run: stale only when its owner is gone
    if (!m_lock->tryLock(0)) {
        if (m_lock->error() == QLockFile::LockFailedError)
            return false;
        qCWarning(lcRemote, "cannot take the lock %s: a second start will start a second copy",
                  qPrintable(m_lock->fileName()));
    }
    QLocalServer::removeServer(socketPath); // left by a copy that crashed
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(socketPath))
        qCWarning(lcRemote, "cannot listen on %s: %s", qPrintable(socketPath),
                  qPrintable(m_server->errorString()));
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::serveConnection);
    return true;
}

void SingleInstance::serveConnection()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine())
                return;
            const QString word = QString::fromLatin1(socket->readLine()).trimmed();
            const RemoteCommand command = remoteCommandFromWord(word);
            if (command == RemoteCommand::Status) {
                socket->write(encodeStatus(m_remote.status()).toLatin1() + '\n');
            } else {
                m_remote.run(command == RemoteCommand::None ? RemoteCommand::Show : command);
                socket->write("ok\n");
            }
            socket->disconnectFromServer();
        });
    }
}

} // namespace hy
