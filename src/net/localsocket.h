#pragma once

#include "core/network.h"

#include <QObject>

class QLocalServer;
class QLocalSocket;

namespace hy {

// The serving side of the local socket: one command line per connection, at
// most limits.maxConnections of them at once; a caller that sends no whole
// line within limits.idleMs, or more than limits.maxLineBytes, is dropped.
class LocalLineServer final : public QObject
{
public:
    LocalLineServer(const LocalSocketLimits& limits, LocalLineHandler handler);
    // Listens at `path`, in the user's alone; false with `error` when it cannot.
    bool listen(const QString& path, QString* error);

private:
    void serveConnection();
    // Hands the connection's line to the handler; false while it has none.
    bool serveLine(QLocalSocket* socket);

    LocalSocketLimits m_limits;
    LocalLineHandler m_handler;
    QLocalServer* m_server = nullptr;
    int m_connections = 0;
};

LocalClaim serveLocalSocket(const QString& path, const LocalSocketLimits& limits,
                            LocalLineHandler handler);
std::optional<QString> askLocalSocket(const QString& path, const QString& line, bool wait,
                                      int timeoutMs, QString* error);

} // namespace hy
