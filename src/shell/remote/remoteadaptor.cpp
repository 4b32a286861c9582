#include "shell/remote/remoteadaptor.h"

#include "shell/remote/remotecontrol.h"

#include <QDBusMessage>
#include <string_view>

namespace hy {

static_assert(std::string_view(kAppId) == "example.heyinsoft.hytune",
              "the D-Bus interface of RemoteAdaptor is named after the program's id");

RemoteAdaptor::RemoteAdaptor(RemoteControl& remote, const QDBusConnection& bus)
    : QDBusAbstractAdaptor(&remote)
    , m_remote(remote)
    , m_bus(bus)
    , m_announced(remote.status())
{
    connect(&remote, &RemoteControl::statusChanged, this, &RemoteAdaptor::announce);
    connect(&remote, &RemoteControl::hotkeyChanged, this, [this](const QString& key) {
        send({{QStringLiteral("Hotkey"), key}});
    });
}

bool RemoteAdaptor::running() const
{
    return m_remote.status().running;
}

bool RemoteAdaptor::waiting() const
{
    return m_remote.status().waiting;
}

bool RemoteAdaptor::paused() const
{
    return m_remote.status().paused;
}

int RemoteAdaptor::remainingSeconds() const
{
    return m_remote.status().remainingSeconds;
}

int RemoteAdaptor::cycleCount() const
{
    return m_remote.status().cycleCount;
}

QString RemoteAdaptor::hotkey() const
{
    return m_remote.hotkey();
}

void RemoteAdaptor::answer(const QDBusMessage& call, RemoteCommand command, const QString& value)
{
    // Answered when the command is done, which may be after this returns.
    call.setDelayedReply(true);
    m_remote.run(command, value, [bus = m_bus, call](const RemoteAnswer& answer) mutable {
        bus.send(answer.ok() ? call.createReply()
                             : call.createErrorReply(QString::fromLatin1(kAppId) +
                                                         QStringLiteral(".Error.") + answer.error,
                                                     answer.message));
    });
}

void RemoteAdaptor::announce(const CountdownStatus& now)
{
    QVariantMap changed;
    if (now.running != m_announced.running)
        changed.insert(QStringLiteral("Running"), now.running);
    if (now.waiting != m_announced.waiting)
        changed.insert(QStringLiteral("Waiting"), now.waiting);
    if (now.paused != m_announced.paused)
        changed.insert(QStringLiteral("Paused"), now.paused);
    if (now.remainingSeconds != m_announced.remainingSeconds)
        changed.insert(QStringLiteral("RemainingSeconds"), now.remainingSeconds);
    if (now.cycleCount != m_announced.cycleCount)
        changed.insert(QStringLiteral("CycleCount"), now.cycleCount);
    m_announced = now;
    send(changed);
}

void RemoteAdaptor::send(const QVariantMap& changed)
{
    if (changed.isEmpty())
        return;
    QDBusMessage signal = QDBusMessage::createSignal(
        QString::fromLatin1(kAppObjectPath), QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("PropertiesChanged"));
    signal << QString::fromLatin1(kAppId) << changed << QStringList();
    m_bus.send(signal);
}

} // namespace hy
