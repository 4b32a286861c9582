#include "shell/remote/singleinstance.h"

#include "core/log.h"
#include "shell/remote/remoteadaptor.h"
#include "shell/remote/remoteclient.h"
#include "shell/remote/remotecontrol.h"

#include <QDBusConnection>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QPointer>
#include <QTimer>

#include <sys/stat.h>

namespace hy {
namespace {

QString appId()
{
    return QString::fromLatin1(kAppId);
}

QString path()
{
    return QString::fromLatin1(kAppObjectPath);
}

} // namespace

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
    // The runtime directory's own fallback may not be there yet: the user's alone.
    ::mkdir(QFile::encodeName(QFileInfo(socketPath).path()).constData(), 0700);
    m_lock = std::make_unique<QLockFile>(socketPath + QStringLiteral(".lock"));
    m_lock->setStaleLockTime(0); // held for the whole run: stale only when its owner is gone
    if (!m_lock->tryLock(0)) {
        if (m_lock->error() == QLockFile::LockFailedError)
            return false;
        qCWarning(lcRemote, "cannot take the lock %s: the socket decides whether a copy runs",
                  qPrintable(m_lock->fileName()));
    }
    // Only a socket that nothing listens on is taken over (left by a copy
    // that crashed); one that answers, or that cannot be tried, is a copy's.
    QLocalSocket probe;
    probe.connectToServer(socketPath);
    const bool taken = probe.waitForConnected(1000);
    const QLocalSocket::LocalSocketError error = probe.error();
    probe.abort();
    if (taken || (error != QLocalSocket::ServerNotFoundError &&
                  error != QLocalSocket::ConnectionRefusedError)) {
        if (!taken)
            qCWarning(lcRemote, "cannot tell whether a copy listens on %s: %s",
                      qPrintable(socketPath), qPrintable(probe.errorString()));
        return false;
    }
    QLocalServer::removeServer(socketPath);
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
        if (m_connections >= kMaxConnections) {
            qCDebug(lcRemote, "%d connections on the local socket already: one more closed",
                    m_connections);
            socket->abort();
            socket->deleteLater();
            continue;
        }
        ++m_connections;
        connect(socket, &QObject::destroyed, this, [this] { --m_connections; });
        // One short line is all a command needs: a longer one, or none
        // soon, ends the connection.
        socket->setReadBufferSize(kMaxLineBytes);
        auto* timer = new QTimer(socket);
        timer->setSingleShot(true);
        connect(timer, &QTimer::timeout, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        timer->start(kIdleMs);
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket, timer] {
            if (serveLine(socket)) {
                // One command a connection; its answer may take a while.
                disconnect(socket, &QLocalSocket::readyRead, this, nullptr);
                timer->start(kAnswerMs);
            }
        });
    }
}

bool SingleInstance::serveLine(QLocalSocket* socket)
{
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() >= kMaxLineBytes) {
            socket->abort();
            socket->deleteLater();
        }
        return false;
    }
    const QString line = QString::fromUtf8(socket->readLine(kMaxLineBytes)).trimmed();
    const RemoteCommand command = remoteCommandFromWord(line.section(QLatin1Char(' '), 0, 0));
    const auto reply = [socket = QPointer<QLocalSocket>(socket)](const QByteArray& line) {
        if (!socket)
            return; // the caller went away
        socket->write(line + '\n');
        socket->disconnectFromServer();
    };
    if (command == RemoteCommand::None) {
        qCDebug(lcRemote, "unknown command on the local socket refused");
        reply("error " + QStringLiteral("不认识的命令：%1").arg(line.left(40)).toUtf8());
    } else if (command == RemoteCommand::Status) {
        reply(encodeStatus(m_remote.status()).toLatin1());
    } else {
        m_remote.run(command, line.section(QLatin1Char(' '), 1), [reply](const RemoteAnswer& a) {
            reply(a.ok() ? QByteArray("ok") : "error " + a.message.toUtf8());
        });
    }
    return true;
}

} // namespace hy
