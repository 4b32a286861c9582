#include "platform/hotkey/portalhotkey.h"

#include "core/log.h"
#include "platform/hotkey/kdefreekeys.h"
#include "platform/hotkey/kdeshortcutkeys.h"
#include "platform/hotkey/portalshortcuts.h"

#include <QDBusArgument>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QRandomGenerator>

namespace hy {
namespace {

const QString kRequestInterface = QStringLiteral("org.freedesktop.portal.Request");
const QString kSessionInterface = QStringLiteral("org.freedesktop.portal.Session");
const QString kNotListening = QStringLiteral("无法设置全局快捷键：收不到桌面门户的答复");

} // namespace

PortalHotkey::PortalHotkey(const QDBusConnection& bus, QObject* parent)
    : GlobalHotkey(parent)
    , m_bus(bus)
{
    registerPortalShortcutTypes();
    // Signal hooks find slot parameter types by name: the type must be known
    // before the first connect, or that connect fails.
    qRegisterMetaType<QDBusObjectPath>();
    if (m_bus.isConnected()) {
        m_listening =
            m_bus.connect(kService, kPath, kInterface, QStringLiteral("Activated"), this,
                          SLOT(onActivated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
        m_listening =
            m_listening && m_bus.connect(kService, kPath, kInterface, QStringLiteral("Deactivated"),
                                         this, SLOT(onDeactivated(QDBusMessage)));
        m_listening = m_listening &&
                      m_bus.connect(kService, kPath, kInterface, QStringLiteral("ShortcutsChanged"),
                                    this, SLOT(onShortcutsChanged(QDBusMessage)));
    }
}

PortalHotkey::~PortalHotkey()
{
    closeSession();
    const auto paths = m_requests.keys();
    for (const QString& path : paths)
        forgetRequest(path);
    if (m_bus.isConnected()) {
        m_bus.disconnect(kService, kPath, kInterface, QStringLiteral("Activated"), this,
                         SLOT(onActivated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
        m_bus.disconnect(kService, kPath, kInterface, QStringLiteral("Deactivated"), this,
                         SLOT(onDeactivated(QDBusMessage)));
        m_bus.disconnect(kService, kPath, kInterface, QStringLiteral("ShortcutsChanged"), this,
                         SLOT(onShortcutsChanged(QDBusMessage)));
    }
}

void PortalHotkey::registerKey(int functionKey)
{
    if (functionKey < 1 || functionKey > 12) {
        qCWarning(lcHotkey, "function key F%d is not one of F1 to F12; the hotkey stays as it was",
                  functionKey);
        return;
    }
    ++m_attempt;
    closeSession();
    m_held = false;
    m_functionKey = functionKey;
    if (!m_bus.isConnected()) {
        fail(QStringLiteral("此桌面不支持全局快捷键（无法连接会话总线）"));
        return;
    }
    if (!m_listening) {
        fail(kNotListening);
        return;
    }
    setState(Status::Pending, {});
    createSession();
}

void PortalHotkey::unregisterKey()
{
    ++m_attempt;
    closeSession();
    m_functionKey = 0;
    setState(Status::Idle, {});
}

void PortalHotkey::createSession()
{
    const QString token = newToken(QStringLiteral("hytune"));
    // The same token for the same key at every start: KDE keeps a session's
    // shortcuts under its token and gives a key to one of them only, so a new
    // token at each start would leave the key with the last run's shortcut.
    m_sessionToken = QLatin1String(kSessionTokenPrefix) + QString::number(m_functionKey);
    // The shortcut goes here as well as to BindShortcuts: some desktops
    // (KDE Plasma 5.27) bind only what the session was created with, later
    // ones only what BindShortcuts asks for.
    const QVariantMap options{
        {QStringLiteral("handle_token"), token},
        {QStringLiteral("session_handle_token"), m_sessionToken},
        {QStringLiteral("shortcuts"),
         QVariant::fromValue(shortcutRequest(QString::fromLatin1(kShortcutId), m_functionKey))},
    };
    call(QStringLiteral("CreateSession"), {options}, Step::CreateSession, token);
}

void PortalHotkey::bindShortcut()
{
    const QString token = newToken(QStringLiteral("hytune"));
    const PortalShortcuts shortcuts =
        shortcutRequest(QString::fromLatin1(kShortcutId), m_functionKey);
    const QVariantMap options{{QStringLiteral("handle_token"), token}};
    call(QStringLiteral("BindShortcuts"),
         {QVariant::fromValue(QDBusObjectPath(m_session)), QVariant::fromValue(shortcuts),
          QString(), options},
         Step::BindShortcuts, token);
}

void PortalHotkey::call(const QString& method, const QVariantList& args, Step step,
                        const QString& token)
{
    // The answer comes as a Response signal on a request object whose path the
    // portal derives from our bus name and the token. Listening before the call
    // leaves no gap in which the signal could be missed.
    const QString predicted = requestPath(token);
    const quint64 attempt = m_attempt;
    if (!watchRequest(predicted, {step, attempt})) {
        fail(kNotListening);
        return;
    }

    QDBusMessage message = QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
    message.setArguments(args);
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, step, attempt, predicted](QDBusPendingCallWatcher* w) {
                onCallFinished(*w, step, attempt, predicted);
                w->deleteLater();
            });
}

void PortalHotkey::onCallFinished(QDBusPendingCall& call, Step step, quint64 attempt,
                                  const QString& predictedPath)
{
    QDBusPendingReply<QDBusObjectPath> reply(call);
    if (reply.isError()) {
        forgetRequest(predictedPath);
        if (attempt == m_attempt)
            fail(problemForError(reply.error()));
        return;
    }
    // Old portals ignore handle_token and pick their own path.
    const QString path = reply.value().path();
    if (path != predictedPath && m_requests.contains(predictedPath)) {
        forgetRequest(predictedPath);
        if (!watchRequest(path, {step, attempt}) && attempt == m_attempt)
            fail(kNotListening);
    }
}

void PortalHotkey::onRequestResponse(uint response, const QVariantMap& results,
                                     const QDBusMessage& message)
{
    const QString path = message.path();
    const auto it = m_requests.constFind(path);
    if (it == m_requests.constEnd())
        return;
    const Request request = *it;
    forgetRequest(path);
    const bool current = request.attempt == m_attempt;
    const int key = m_functionKey;

    if (request.step == Step::CreateSession) {
        const QString session = sessionFrom(results.value(QStringLiteral("session_handle")));
        if (!current) {
            // Asked for before the key changed or was released: not wanted.
            if (response == 0 && !session.isEmpty()) {
                m_bus.send(QDBusMessage::createMethodCall(kService, session, kSessionInterface,
                                                          QStringLiteral("Close")));
            }
            return;
        }
        if (response == 1) {
            fail(QStringLiteral("全局快捷键 Ctrl+F%1 的设置已被取消").arg(key));
        } else if (response != 0) {
            fail(QStringLiteral("桌面拒绝了全局快捷键 Ctrl+F%1").arg(key));
        } else if (session.isEmpty()) {
            fail(QStringLiteral("桌面门户没有给出快捷键会话，无法设置 Ctrl+F%1").arg(key));
        } else {
            m_session = session;
            watchSession(m_session, true);
            bindShortcut();
        }
        return;
    }

    if (!current)
        return;
    if (response != 0) {
        closeSession();
        fail(response == 1 ? QStringLiteral("全局快捷键 Ctrl+F%1 的设置已被取消").arg(key)
                           : QStringLiteral("桌面拒绝了全局快捷键 Ctrl+F%1").arg(key));
        return;
    }
    takeBinding(qdbus_cast<PortalShortcuts>(results.value(QStringLiteral("shortcuts"))));
}

void PortalHotkey::takeBinding(const PortalShortcuts& list)
{
    const int key = m_functionKey;
    const BoundShortcut bound = findShortcut(list, QString::fromLatin1(kShortcutId));
    if (!bound.listed) {
        closeSession();
        fail(QStringLiteral("桌面没有绑定全局快捷键 Ctrl+F%1").arg(key));
        return;
    }
    const QString problem = bindingProblem(bound, key);
    // The portal's word alone does not prove that a press will come: on KDE
    // the key may be one of KWin's own. Registered only once that is known.
    const quint64 attempt = m_attempt;
    askKdeShortcutKeys(m_bus, m_sessionToken, QString::fromLatin1(kShortcutId), this,
                       [this, attempt, key, bound, problem](KdeKeyAnswer answer) {
                           if (attempt != m_attempt || m_session.isEmpty())
                               return;
                           if (answer == KdeKeyAnswer::NoKey) {
                               const QString taken =
                                   QStringLiteral("%1 是桌面自己的快捷键，按下它不会到达本程序")
                                       .arg(bound.trigger.isEmpty()
                                                ? QStringLiteral("Ctrl+F%1").arg(key)
                                                : bound.trigger);
                               suggestFreeKey(taken);
                           } else {
                               setState(Status::Registered, problem, bound.trigger);
                           }
                       });
}

void PortalHotkey::suggestFreeKey(const QString& taken)
{
    // Said once, with the nearest key the desktop leaves free to offer in
    // one step, if there is one.
    const quint64 attempt = m_attempt;
    askKdeHeldCtrlFunctionKeys(m_bus, this, [this, attempt, taken](const KdeHeldKeys& held) {
        if (attempt != m_attempt || m_session.isEmpty())
            return;
        const int free = held.known ? held.nearestFree(m_functionKey) : 0;
        if (free <= 0 || free == m_functionKey) {
            setState(Status::Taken, taken + QStringLiteral("；请在“CTRL+”后选另一个键"));
            return;
        }
        const QString owner = held.held.value(m_functionKey);
        setState(Status::Taken,
                 (owner.isEmpty() ? taken : taken + QStringLiteral("（%1）").arg(owner)) +
                     QStringLiteral("；可以改用空闲的 Ctrl+F%1").arg(free),
                 {}, free);
    });
}

bool PortalHotkey::isOurs(const QString& session, const QString& shortcutId) const
{
    return status() == Status::Registered && !m_session.isEmpty() && session == m_session &&
           shortcutId == QLatin1String(kShortcutId);
}

void PortalHotkey::onActivated(const QDBusObjectPath& session, const QString& shortcutId,
                               qulonglong, const QVariantMap&)
{
    if (!isOurs(session.path(), shortcutId))
        return;
    // A desktop that tells of releases may repeat Activated while the key is
    // held: one press, one toggle.
    if (m_held && m_tellsReleases)
        return;
    m_held = true;
    emit pressed();
}

void PortalHotkey::onDeactivated(const QDBusMessage& message)
{
    const QVariantList args = message.arguments();
    if (args.size() < 2 ||
        !isOurs(args.at(0).value<QDBusObjectPath>().path(), args.at(1).toString()))
        return;
    m_held = false;
    m_tellsReleases = true;
}

void PortalHotkey::onShortcutsChanged(const QDBusMessage& message)
{
    // The user changed the key in the desktop's settings (or the desktop
    // did): what it says now is the key.
    const QVariantList args = message.arguments();
    if (args.size() < 2 || m_session.isEmpty() ||
        args.at(0).value<QDBusObjectPath>().path() != m_session)
        return;
    if (status() == Status::Registered || status() == Status::Taken)
        takeBinding(qdbus_cast<PortalShortcuts>(args.at(1)));
}

void PortalHotkey::onSessionClosed(const QVariantMap&, const QDBusMessage& message)
{
    if (message.path() != m_session || m_session.isEmpty())
        return;
    watchSession(m_session, false);
    m_session.clear();
    if (status() == Status::Registered || status() == Status::Pending)
        fail(QStringLiteral("桌面关闭了全局快捷键 Ctrl+F%1").arg(m_functionKey));
}

QString PortalHotkey::newToken(const QString& prefix)
{
    // Must be a valid object path element; the count keeps it unique within
    // this connection, the random part across restarts of the program.
    return QStringLiteral("%1_%2_%3")
        .arg(prefix)
        .arg(++m_tokenCount)
        .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
}

QString PortalHotkey::requestPath(const QString& token) const
{
    QString sender = m_bus.baseService();
    if (sender.startsWith(QLatin1Char(':')))
        sender.remove(0, 1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    return QStringLiteral("%1/request/%2/%3").arg(QLatin1String(kPath), sender, token);
}

bool PortalHotkey::watchRequest(const QString& path, Request request)
{
    m_requests.insert(path, request);
    return m_bus.connect(kService, path, kRequestInterface, QStringLiteral("Response"), this,
                         SLOT(onRequestResponse(uint, QVariantMap, QDBusMessage)));
}

void PortalHotkey::forgetRequest(const QString& path)
{
    if (m_requests.remove(path) == 0)
        return;
    m_bus.disconnect(kService, path, kRequestInterface, QStringLiteral("Response"), this,
                     SLOT(onRequestResponse(uint, QVariantMap, QDBusMessage)));
}

void PortalHotkey::watchSession(const QString& session, bool on)
{
    if (on) {
        m_bus.connect(kService, session, kSessionInterface, QStringLiteral("Closed"), this,
                      SLOT(onSessionClosed(QVariantMap, QDBusMessage)));
    } else {
        m_bus.disconnect(kService, session, kSessionInterface, QStringLiteral("Closed"), this,
                         SLOT(onSessionClosed(QVariantMap, QDBusMessage)));
    }
}

void PortalHotkey::closeSession()
{
    if (m_session.isEmpty())
        return;
    watchSession(m_session, false);
    if (m_bus.isConnected()) {
        m_bus.send(QDBusMessage::createMethodCall(kService, m_session, kSessionInterface,
                                                  QStringLiteral("Close")));
    }
    m_session.clear();
}

void PortalHotkey::fail(const QString& problem)
{
    setState(Status::Unavailable, problem);
}

} // namespace hy
