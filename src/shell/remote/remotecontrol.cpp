#include "shell/remote/remotecontrol.h"

#include "core/app/appcore.h"
#include "platform/hotkey/globalhotkey.h"
#include "shell/tunemain.h"

#include <QTimer>

namespace hy {

RemoteControl::RemoteControl(QObject* parent)
    : QObject(parent)
{}

void RemoteControl::attach(TForm1* form)
{
    m_form = form;
    connect(&form->core(), &AppCore::displayChanged, this, &RemoteControl::onCountdownChanged);
    m_last = status();
    if (GlobalHotkey* key = form->hotkey()) {
        connect(key, &GlobalHotkey::statusChanged, this, [this] {
            if (const QString now = hotkey(); now != m_lastHotkey)
                emit hotkeyChanged(m_lastHotkey = now);
        });
    }
    m_lastHotkey = hotkey();
    for (RemoteCommand command : std::exchange(m_waiting, {}))
        run(command);
}

void RemoteControl::run(RemoteCommand command)
{
    if (command == RemoteCommand::None || command == RemoteCommand::Status)
        return;
    if (!m_form) {
        m_waiting.append(command);
        return;
    }
    QTimer::singleShot(0, this, [this, command] { carryOut(command); });
}

void RemoteControl::carryOut(RemoteCommand command)
{
    if (!m_form)
        return;
    switch (command) {
    case RemoteCommand::Show:
        m_form->showFromOutside();
        break;
    case RemoteCommand::Toggle:
        m_form->toggleCountdown();
        break;
    case RemoteCommand::Start:
        m_form->startCountdown();
        break;
    case RemoteCommand::Stop:
        m_form->stopCountdown();
        break;
    case RemoteCommand::None:
    case RemoteCommand::Status:
        break;
    }
}

CountdownStatus RemoteControl::status() const
{
    if (!m_form)
        return {};
    const CountdownEngine& c = m_form->countdown();
    return {c.isActive(), c.isWaiting(), std::max(0, c.RemainSeconds), c.CycleCount};
}

QString RemoteControl::hotkey() const
{
    const GlobalHotkey* key = m_form ? m_form->hotkey() : nullptr;
    return key ? key->workingKey() : QString();
}

void RemoteControl::onCountdownChanged()
{
    const CountdownStatus now = status();
    if (now == m_last)
        return;
    m_last = now;
    emit statusChanged(now);
}

} // namespace hy
