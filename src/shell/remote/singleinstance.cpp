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
        // One short line is all a command needs: a longer one, or none
        // within the time a client waits for its answer, ends the connection.
        socket->setReadBufferSize(kMaxLineBytes);
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { serveLine(socket); });
        QTimer::singleShot(5000, socket, [socket] { socket->abort(); });
    }
}

void SingleInstance::serveLine(QLocalSocket* socket)
{
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() >= kMaxLineBytes)
            socket->abort();
        return;
    }
    const QString line = QString::fromUtf8(socket->readLine(kMaxLineBytes)).trimmed();
    const RemoteCommand command = remoteCommandFromWord(line.section(QLatin1Char(' '), 0, 0));
    const auto reply = [socket = QPointer<QLocalSocket>(socket)](const QByteArray& line) {
        if (!socket)
            return; // the caller went away
        socket->write(line + '\n');
        socket->disconnectFromServer();
    };
    if (command == RemoteCommand::Status) {
        reply(encodeStatus(m_remote.status()).toLatin1());
        return;
    }
    m_remote.run(command == RemoteCommand::None ? RemoteCommand::Show : command,
                 line.section(QLatin1Char(' '), 1), [reply](const RemoteAnswer& answer) {
                     reply(answer.ok() ? QByteArray("ok") : "error " + answer.message.toUtf8());
                 });
}

} // namespace hy
