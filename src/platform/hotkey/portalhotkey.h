#pragma once

#include "platform/hotkey/globalhotkey.h"
#include "platform/hotkey/portalshortcuts.h"

#include <QDBusConnection>
#include <QHash>
#include <QString>
#include <QVariantMap>

class QDBusMessage;
class QDBusObjectPath;
class QDBusPendingCall;

namespace hy {

// A desktop-wide shortcut through the XDG desktop portal's GlobalShortcuts
// interface (Wayland desktops and others without an X11 key grab). One
// shortcut, "start-stop", is bound in a portal session with Ctrl + F<n> as
// the preferred trigger; the desktop may let the user pick another one.
// Every call is asynchronous: registerKey() returns at once with the status
// Pending, and the status changes when the portal has answered.
class PortalHotkey final : public GlobalHotkey
{
    Q_OBJECT
public:
    static constexpr const char* kService = "org.freedesktop.portal.Desktop";
    static constexpr const char* kPath = "/org/freedesktop/portal/desktop";
    static constexpr const char* kInterface = "org.freedesktop.portal.GlobalShortcuts";
    static constexpr const char* kShortcutId = "start-stop";
    // Sessions are named after the key, "hytune_session_f6" for Ctrl+F6.
    static constexpr const char* kSessionTokenPrefix = "hytune_session_f";

    // bus: the session bus in the program; tests pass a private bus.
    explicit PortalHotkey(const QDBusConnection& bus, QObject* parent = nullptr);
    ~PortalHotkey() override;

    // Closes any session held and binds Ctrl + F<functionKey> in a new one
    // (the portal binds a session's shortcuts only once).
    void registerKey(int functionKey) override;
    void unregisterKey() override;

    // The function key of the last registerKey() (1..12), 0 when none.
    int functionKey() const { return m_functionKey; }
    // The portal's session handle while one is open (object path), else empty.
    QString sessionHandle() const { return m_session; }

private slots:
    void onRequestResponse(uint response, const QVariantMap& results, const QDBusMessage& message);
    void onActivated(const QDBusObjectPath& session, const QString& shortcutId,
                     qulonglong timestamp, const QVariantMap& options);
    void onDeactivated(const QDBusMessage& message);
    void onShortcutsChanged(const QDBusMessage& message);
    void onSessionClosed(const QVariantMap& details, const QDBusMessage& message);

private:
    enum class Step
    {
        CreateSession,
        BindShortcuts
    };
    struct Request
    {
        Step step;
        quint64 attempt;
    };

    void createSession();
    // What the desktop says it bound: the state and the key that works.
    void takeBinding(const PortalShortcuts& list);
    // Offers the nearest Ctrl + function key the desktop leaves free.
    void suggestFreeKey(const QString& taken);
    bool isOurs(const QString& session, const QString& shortcutId) const;
    void bindShortcut();
    void call(const QString& method, const QVariantList& args, Step step, const QString& token);
    void onCallFinished(QDBusPendingCall& call, Step step, quint64 attempt,
                        const QString& predictedPath);
    QString newToken(const QString& prefix);
    QString requestPath(const QString& token) const;
    bool watchRequest(const QString& path, Request request);
    void forgetRequest(const QString& path);
    void watchSession(const QString& session, bool on);
    void closeSession();
    void fail(const QString& problem);

    QDBusConnection m_bus;
    // Bumped by every registerKey() and unregisterKey(): answers that belong
    // to an older attempt are stale and only cleaned up after.
    quint64 m_attempt = 0;
    quint64 m_tokenCount = 0;
    bool m_listening = false; // the Activated signal reaches us
    int m_functionKey = 0;
    QString m_session;
    QString m_sessionToken;             // of the session asked for last
    bool m_held = false;                // Activated seen, Deactivated not yet
    bool m_tellsReleases = false;       // this desktop sends Deactivated
    QHash<QString, Request> m_requests; // by request object path
};

} // namespace hy
