#pragma once

#include "core/remote/remotecommand.h"

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusMessage>

namespace hy {

class RemoteControl;

// The program's interface on the session bus: a method for each command of
// the remote-command table that has one, and the countdown's state as
// properties, whose changes are announced with PropertiesChanged. A command
// the program does not carry out is answered with the error
// example.heyinsoft.hytune.Error.<why>.
class RemoteAdaptor final : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "example.heyinsoft.hytune")
    Q_PROPERTY(bool Running READ running)
    Q_PROPERTY(bool Waiting READ waiting)
    Q_PROPERTY(bool Paused READ paused)
    Q_PROPERTY(int RemainingSeconds READ remainingSeconds)
    Q_PROPERTY(int CycleCount READ cycleCount)
    // The desktop-wide key that starts and stops the countdown, as the desktop
    // bound it ("Ctrl+F1"); empty while none works.
    Q_PROPERTY(QString Hotkey READ hotkey)
public:
    // Lives on `remote`, which is the object registered on `bus`.
    RemoteAdaptor(RemoteControl& remote, const QDBusConnection& bus);

    bool running() const;
    bool waiting() const;
    bool paused() const;
    int remainingSeconds() const;
    int cycleCount() const;
    QString hotkey() const;

public slots:
    void Toggle(const QDBusMessage& m) { answer(m, RemoteCommand::Toggle); }
    void Start(const QDBusMessage& m) { answer(m, RemoteCommand::Start); }
    void Stop(const QDBusMessage& m) { answer(m, RemoteCommand::Stop); }
    void Show(const QDBusMessage& m) { answer(m, RemoteCommand::Show); }
    void Pause(const QDBusMessage& m) { answer(m, RemoteCommand::Pause); }
    void Resume(const QDBusMessage& m) { answer(m, RemoteCommand::Resume); }
    void SetLength(const QString& hms, const QDBusMessage& m)
    {
        answer(m, RemoteCommand::Length, hms);
    }
    void BindDesktopShortcut(const QDBusMessage& m)
    {
        answer(m, RemoteCommand::BindDesktopShortcut);
    }
    void UnbindDesktopShortcut(const QDBusMessage& m)
    {
        answer(m, RemoteCommand::UnbindDesktopShortcut);
    }

private:
    void answer(const QDBusMessage& call, RemoteCommand command, const QString& value = {});
    void announce(const CountdownStatus& now);
    void send(const QVariantMap& changed);

    RemoteControl& m_remote;
    QDBusConnection m_bus;
    CountdownStatus m_announced;
};

} // namespace hy
