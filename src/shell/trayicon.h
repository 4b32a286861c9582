#pragma once

#include "platform/x11/x11usertime.h"

#include <QDeadlineTimer>
#include <QObject>
#include <QSystemTrayIcon>

class QWidget;

// The program's icon in the notification area. Minimizing the window hides it
// and its task-bar entry, leaving the icon; a left click on the icon brings the
// window back to the front. Without a notification area the window stays on
// the task bar when minimized, so it can always be reached.
class TTrayIcon final : public QObject
{
    Q_OBJECT
public:
    explicit TTrayIcon(QWidget* window);
    ~TTrayIcon() override;

    QSystemTrayIcon* icon() const { return m_icon; }
    // A short message by the icon (when there is a notification area); one
    // given before the icon is up is shown when it is.
    void notify(const QString& message);

    void Minimize();
    // Brings the window back for the user, also against a minimize that was
    // asked before and has not reached the window yet.
    void Restore();

    // The hint shows `state` (the time left, ...) under the program's name;
    // an empty state leaves the name alone.
    void showState(const QString& state);
    // The program started with no window (at login): only the icon shows.
    // Should no notification area come up in a few seconds, the window is
    // shown after all, so that the program can be reached.
    void startHidden();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void onActivated(QSystemTrayIcon::ActivationReason reason);
    void showIcon();
    void onMinimized(bool reported);

    QWidget* m_window;
    QSystemTrayIcon* m_icon;
    bool m_shown = false;
    QString m_pending;
    hy::x11::UserTime m_userTime;
    uint32_t m_restoreTime = 0; // the user's time of the last restore
    quint64 m_restores = 0;
    QDeadlineTimer m_settling;    // while a minimize from before the last restore may come
    QDeadlineTimer m_hiddenStart; // while a start without the window waits for the tray
};
