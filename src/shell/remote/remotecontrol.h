#pragma once

#include "core/remote/remotecommand.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <functional>

class TForm1;

namespace hy {

// The commands that reach the program from outside the window (a later
// start's command line, D-Bus, the local socket) and the countdown's state as
// they see it. A command is carried out at once and answered: one that the
// window would refuse with a box is refused to the caller with the reason,
// and the box is shown once however many such commands come. Commands that
// come before the window exists wait for it.
class RemoteControl final : public QObject
{
    Q_OBJECT
public:
    explicit RemoteControl(QObject* parent = nullptr);

    // The window the commands go to.
    void attach(TForm1* form);
    // `value`: what the command takes (Length: "H:M:S"). `answered` gets the
    // answer: at once, or once the desktop has answered (the desktop's own
    // shortcut).
    using Answered = std::function<void(const RemoteAnswer&)>;
    void run(hy::RemoteCommand command, const QString& value, Answered answered);
    // The same, for a command answered at once; a later answer is not waited for.
    RemoteAnswer run(hy::RemoteCommand command, const QString& value = {});
    CountdownStatus status() const;
    // The desktop-wide key that works now (GlobalHotkey::workingKey).
    QString hotkey() const;

signals:
    // The status changed: once a second while a countdown runs, and at its
    // start and end.
    void statusChanged(const hy::CountdownStatus& status);
    void hotkeyChanged(const QString& key);

private:
    RemoteAnswer carryOut(RemoteCommand command, const QString& value);
    void desktopShortcut(bool bind, Answered answered);
    RemoteAnswer start();
    void onCountdownChanged();

    QPointer<TForm1> m_form;
    QList<std::pair<RemoteCommand, QString>> m_waiting;
    CountdownStatus m_last;
    QString m_lastHotkey;
};

} // namespace hy
