#pragma once

#include "core/servertime/servertime.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QUrl>
#include <functional>
#include <memory>
#include <optional>

namespace hy {

// How long a download may take in all, and how much of its body is kept.
struct DownloadLimits
{
    int timeoutMs = 15000;
    qint64 maxBodyBytes = 1024 * 1024;
};

// The local socket's limits: the longest command line, the time a caller has
// to send it and then to get its answer, the callers served at once. The
// serving side sets them (SingleInstance).
struct LocalSocketLimits
{
    qint64 maxLineBytes;
    int idleMs;
    int answerMs;
    int maxConnections;
};

// A command line read from a caller of the local socket, and its answer: one
// line, which ends the connection. `reply` may be called later, or never.
using LocalLineHandler =
    std::function<void(const QString& line, std::function<void(const QByteArray&)> reply)>;

// What taking the local socket came to.
struct LocalClaim
{
    std::unique_ptr<QObject> server; // serves the socket; null when taken
    bool taken = false;              // a copy listens there, or may: none is started
};

// What goes over the network: the tips download, the 对时 probes, the local
// socket of a session without a bus. It comes from a module of its own
// (libhytune-net.so) so that QtNetwork and the libraries it brings are loaded
// when first wanted, not at start.
class INetwork
{
public:
    virtual ~INetwork() = default;

    // GETs `url` in the background. `done` is called once, later, from the
    // event loop, with the body (at most limits.maxBodyBytes of it, whatever
    // the HTTP status; what came before limits.timeoutMs). Deleting the
    // returned object drops the download: `done` is then never called.
    virtual std::unique_ptr<QObject> download(const QUrl& url, const QByteArray& userAgent,
                                              const DownloadLimits& limits,
                                              std::function<void(const QByteArray&)> done) = 0;
    // The 对时 probes, each a child of setup.parent, not started.
    virtual TimeProbe* sntpProbe(const NtpAddress& server, ProbeSetup setup) = 0;
    virtual TimeProbe* webDateProbe(const QUrl& url, ProbeSetup setup) = 0;
    // Serves the local socket at `path`, unless a copy answers there or it
    // cannot be told: only a socket that nothing listens on (left by a copy
    // that crashed) is taken over.
    virtual LocalClaim serveLocal(const QString& path, const LocalSocketLimits& limits,
                                  LocalLineHandler handler) = 0;
    // Sends `line` to the copy serving `path` and waits for its answer line,
    // up to `timeoutMs` for each step; with `wait`, a copy that is not
    // listening yet is waited for as long. Null when no copy answered;
    // `error` says why, or what the connection said last.
    virtual std::optional<QString> askLocal(const QString& path, const QString& line, bool wait,
                                            int timeoutMs, QString* error) = 0;
};

// The network pieces, loaded the first time they are asked for: from the
// process itself when it is linked with them, or else from the module beside
// the program or in its library folder. Null when the module cannot be
// loaded; `error` (for the log) then says why.
INetwork* network(QString* error = nullptr);

} // namespace hy

// The module's one entry point.
extern "C" hy::INetwork* hytune_network();
