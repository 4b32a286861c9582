#include "shell/remote/singleinstance.h"

#include "core/log.h"
#include "core/network.h"
#include "shell/remote/remoteadaptor.h"
#include "shell/remote/remoteclient.h"
#include "shell/remote/remotecontrol.h"

#include <QDBusConnection>
#include <QFileInfo>
#include <QLockFile>

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
    QString why;
    INetwork* net = network(&why);
    if (!net) {
        qCWarning(lcRemote, "no local socket, so no remote control: %s", qPrintable(why));
        return true; // runs all the same, as the only copy it can know of
    }
    LocalClaim claim =
        net->serveLocal(socketPath, {kMaxLineBytes, kIdleMs, kAnswerMs, kMaxConnections},
                        [this](const QString& line, std::function<void(const QByteArray&)> reply) {
                            serveLine(line, std::move(reply));
                        });
    m_server = std::move(claim.server);
    return !claim.taken;
}

void SingleInstance::serveLine(const QString& line, std::function<void(const QByteArray&)> reply)
{
    const RemoteCommand command = remoteCommandFromWord(line.section(QLatin1Char(' '), 0, 0));
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
}

} // namespace hy
