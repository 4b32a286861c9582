#include "platform/notify/desktopnotifier.h"

#include "core/log.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace hy {
namespace {

// An answer that does not come within this long counts as none: a hung
// server holds up no more than the notices of these few seconds.
constexpr int kAnswerMs = 5000;

const QString kAppId = QStringLiteral("example.heyinsoft.hytune");

QDBusMessage method(const char* name)
{
    return QDBusMessage::createMethodCall(DesktopNotifier::kService, DesktopNotifier::kPath,
                                          DesktopNotifier::kInterface, QLatin1String(name));
}

} // namespace

DesktopNotifier::DesktopNotifier(std::function<QDBusConnection()> bus, QObject* parent)
    : INotifier(parent)
    , m_getBus(bus ? std::move(bus) : [] { return QDBusConnection::sessionBus(); })
{}

bool DesktopNotifier::connectBus()
{
    if (!m_bus) {
        m_bus = m_getBus();
        if (m_bus->isConnected()) {
            m_bus->connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                           SLOT(onActionInvoked(uint, QString)));
            m_bus->connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                           SLOT(onNotificationClosed(uint, uint)));
        }
    }
    if (m_bus->isConnected())
        return true;
    warnOnce(QStringLiteral("no session bus: ") + m_bus->lastError().message());
    return false;
}

void DesktopNotifier::notify(const Notice& notice)
{
    m_waiting = notice;
    if (!m_busy)
        sendNext();
}

void DesktopNotifier::withdraw()
{
    m_waiting.reset();
    if (m_busy)
        m_withdrawn = true;
    else if (m_id != 0)
        close(m_id);
}

void DesktopNotifier::sendNext()
{
    if (!m_waiting || !connectBus()) {
        m_waiting.reset();
        return;
    }
    m_sending = *m_waiting;
    m_waiting.reset();
    m_busy = true;
    auto* call =
        new QDBusPendingCallWatcher(m_bus->asyncCall(method("GetCapabilities"), kAnswerMs), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, &DesktopNotifier::onCapabilities);
}

void DesktopNotifier::onCapabilities(QDBusPendingCallWatcher* call)
{
    call->deleteLater();
    const QDBusPendingReply<QStringList> reply = *call;
    if (reply.isError()) {
        warnOnce(QStringLiteral("no notification server: ") + reply.error().message());
        return finish();
    }
    const bool actions = reply.value().contains(QLatin1String("actions"));
    m_offered = actions ? m_sending.actions : QList<NoticeAction>();
    QStringList actionList;
    for (NoticeAction a : std::as_const(m_offered))
        actionList << noticeActionKey(a) << noticeActionText(a);
    QDBusMessage message = method("Notify");
    message << QStringLiteral("禾音语音报时器") << m_id << kAppId << m_sending.summary
            << m_sending.body << actionList
            << QVariantMap{{QStringLiteral("desktop-entry"), kAppId}} << -1;
    auto* next = new QDBusPendingCallWatcher(m_bus->asyncCall(message, kAnswerMs), this);
    connect(next, &QDBusPendingCallWatcher::finished, this, &DesktopNotifier::onNotified);
}

void DesktopNotifier::onNotified(QDBusPendingCallWatcher* call)
{
    call->deleteLater();
    const QDBusPendingReply<uint> reply = *call;
    if (reply.isError()) {
        warnOnce(QStringLiteral("the notification server refused a notice: ") +
                 reply.error().message());
        m_id = 0;
    } else {
        m_id = reply.value();
        if (m_withdrawn)
            close(m_id);
    }
    finish();
}

void DesktopNotifier::finish()
{
    m_busy = false;
    m_withdrawn = false;
    sendNext();
}

void DesktopNotifier::close(uint id)
{
    QDBusMessage message = method("CloseNotification");
    message << id;
    m_bus->asyncCall(message, kAnswerMs);
    m_id = 0;
}

void DesktopNotifier::onActionInvoked(uint id, const QString& key)
{
    if (id == 0 || id != m_id)
        return;
    for (NoticeAction a : std::as_const(m_offered)) {
        if (noticeActionKey(a) == key) {
            qCDebug(lcNotify) << "Action" << key << "chosen on notice" << id;
            emit actionInvoked(a);
            return;
        }
    }
}

void DesktopNotifier::onNotificationClosed(uint id, uint reason)
{
    if (id == 0 || id != m_id)
        return;
    qCDebug(lcNotify) << "Notice" << id << "closed, reason" << reason;
    m_id = 0;
    m_offered.clear();
}

void DesktopNotifier::warnOnce(const QString& what)
{
    if (m_warned)
        return;
    m_warned = true;
    qCWarning(lcNotify).noquote() << "Desktop notifications are not shown," << what;
}

} // namespace hy
