#pragma once

#include "core/notice.h"

#include <QDBusConnection>
#include <functional>
#include <optional>

class QDBusPendingCallWatcher;

namespace hy {

// Notices through the desktop's notification server,
// org.freedesktop.Notifications on the session bus. Every call is
// asynchronous. The bus is not touched before the first notice. Each notice
// asks the server for its capabilities first (the server may have been
// replaced since the last one, and a notice comes at most once a second) and
// offers its actions only where the server lists "actions"; it replaces the
// notice shown before (replaces_id) until the server says that one was
// closed. A notice given while one is on its way waits, and only the latest
// one waiting is sent. With no server (or no bus) nothing is shown, and one
// warning is logged in a run at the most.
class DesktopNotifier final : public INotifier
{
    Q_OBJECT
public:
    static constexpr const char* kService = "org.freedesktop.Notifications";
    static constexpr const char* kPath = "/org/freedesktop/Notifications";
    static constexpr const char* kInterface = "org.freedesktop.Notifications";

    // `bus` gives the connection at the first notice; by default the session
    // bus (which the program has already connected to at start, so this
    // does not wait). Tests give a private bus.
    explicit DesktopNotifier(std::function<QDBusConnection()> bus = {}, QObject* parent = nullptr);

    void notify(const Notice& notice) override;
    void withdraw() override;

    // The server's id of the notice shown, 0 when none.
    uint shownId() const { return m_id; }
    // A notice is on its way to the server.
    bool isBusy() const { return m_busy; }

private slots:
    void onActionInvoked(uint id, const QString& actionKey);
    void onNotificationClosed(uint id, uint reason);

private:
    bool connectBus();
    void sendNext();
    void onCapabilities(QDBusPendingCallWatcher* call);
    void onNotified(QDBusPendingCallWatcher* call);
    void finish();
    void close(uint id);
    void warnOnce(const QString& what);

    std::function<QDBusConnection()> m_getBus;
    std::optional<QDBusConnection> m_bus;
    std::optional<Notice> m_waiting; // the latest notice not yet sent
    Notice m_sending;                // the one on its way while m_busy
    bool m_busy = false;
    // withdraw() came while m_sending was on its way: it is closed as soon as
    // the server has given its id.
    bool m_withdrawn = false;
    uint m_id = 0;
    QList<NoticeAction> m_offered; // by the notice shown
    bool m_warned = false;
};

} // namespace hy
