#include "net/localsocket.h"

#include "core/log.h"

#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QThread>
#include <QTimer>

namespace hy {

LocalLineServer::LocalLineServer(const LocalSocketLimits& limits, LocalLineHandler handler)
    : m_limits(limits)
    , m_handler(std::move(handler))
    , m_server(new QLocalServer(this))
{
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &LocalLineServer::serveConnection);
}

bool LocalLineServer::listen(const QString& path, QString* error)
{
    QLocalServer::removeServer(path);
    if (m_server->listen(path))
        return true;
    *error = m_server->errorString();
    return false;
}

void LocalLineServer::serveConnection()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        if (m_connections >= m_limits.maxConnections) {
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
        socket->setReadBufferSize(m_limits.maxLineBytes);
        auto* timer = new QTimer(socket);
        timer->setSingleShot(true);
        connect(timer, &QTimer::timeout, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        timer->start(m_limits.idleMs);
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket, timer] {
            if (serveLine(socket)) {
                // One command a connection; its answer may take a while.
                disconnect(socket, &QLocalSocket::readyRead, this, nullptr);
                timer->start(m_limits.answerMs);
            }
        });
    }
}

bool LocalLineServer::serveLine(QLocalSocket* socket)
{
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() >= m_limits.maxLineBytes) {
            socket->abort();
            socket->deleteLater();
        }
        return false;
    }
    const QString line = QString::fromUtf8(socket->readLine(m_limits.maxLineBytes)).trimmed();
    m_handler(line, [socket = QPointer<QLocalSocket>(socket)](const QByteArray& answer) {
        if (!socket)
            return; // the caller went away
        socket->write(answer + '\n');
        socket->disconnectFromServer();
    });
    return true;
}

LocalClaim serveLocalSocket(const QString& path, const LocalSocketLimits& limits,
                            LocalLineHandler handler)
{
    // Only a socket that nothing listens on is taken over (left by a copy
    // that crashed); one that answers, or that cannot be tried, is a copy's.
    QLocalSocket probe;
    probe.connectToServer(path);
    const bool answers = probe.waitForConnected(1000);
    const QLocalSocket::LocalSocketError error = probe.error();
    probe.abort();
    if (answers || (error != QLocalSocket::ServerNotFoundError &&
                    error != QLocalSocket::ConnectionRefusedError)) {
        if (!answers)
            qCWarning(lcRemote, "cannot tell whether a copy listens on %s: %s", qPrintable(path),
                      qPrintable(probe.errorString()));
        return {nullptr, true};
    }
    auto server = std::make_unique<LocalLineServer>(limits, std::move(handler));
    QString why;
    if (!server->listen(path, &why))
        qCWarning(lcRemote, "cannot listen on %s: %s", qPrintable(path), qPrintable(why));
    return {std::move(server), false};
}

std::optional<QString> askLocalSocket(const QString& path, const QString& line, bool wait,
                                      int timeoutMs, QString* error)
{
    QLocalSocket socket;
    QElapsedTimer waited;
    waited.start();
    do {
        socket.connectToServer(path);
        if (socket.waitForConnected(timeoutMs))
            break;
        QThread::msleep(20);
    } while (wait && waited.elapsed() < timeoutMs);
    if (socket.state() != QLocalSocket::ConnectedState) {
        *error = socket.errorString();
        return std::nullopt;
    }
    socket.write(line.toUtf8() + '\n');
    while (!socket.canReadLine() && socket.waitForReadyRead(timeoutMs)) {
    }
    const QString answer = QString::fromUtf8(socket.readLine()).trimmed();
    *error = socket.errorString();
    return answer;
}

} // namespace hy
