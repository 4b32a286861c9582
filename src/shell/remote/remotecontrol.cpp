#include "shell/remote/remotecontrol.h"

#include "core/app/appcore.h"
#include "core/inputerror.h"
#include "platform/hotkey/globalhotkey.h"
#include "shell/tunemain.h"

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

RemoteAnswer RemoteControl::run(RemoteCommand command)
{
    if (command == RemoteCommand::None || command == RemoteCommand::Status)
        return {};
    if (!m_form) {
        m_waiting.append(command);
        return {};
    }
    return carryOut(command);
}

RemoteAnswer RemoteControl::carryOut(RemoteCommand command)
{
    AppCore& core = m_form->core();
    switch (command) {
    case RemoteCommand::Show:
        m_form->showFromOutside();
        break;
    case RemoteCommand::Toggle:
        if (core.countdown().isActive())
            core.stopCountdown();
        else
            return start();
        break;
    case RemoteCommand::Start:
        // As the greyed-out button: a run goes on as it is.
        if (core.countdown().isActive())
            return {QStringLiteral("AlreadyRunning"), QStringLiteral("倒计时已在进行")};
        return start();
    case RemoteCommand::Stop:
        core.stopCountdown();
        break;
    case RemoteCommand::None:
    case RemoteCommand::Status:
        break;
    }
    return {};
}

RemoteAnswer RemoteControl::start()
{
    AppCore& core = m_form->core();
    if (!core.countChosen()) {
        m_form->tell(QStringLiteral("请选择倒计数条件后再试！"));
        return {QStringLiteral("NoCountChosen"), QStringLiteral("请选择倒计数条件后再试！")};
    }
    try {
        core.startCountdown();
    } catch (const InputError& e) {
        m_form->tell(e.text());
        return {QStringLiteral("BadChoice"), e.text()};
    }
    return {};
}

CountdownStatus RemoteControl::status() const
{
    if (!m_form)
        return {};
    const CountdownEngine& c = m_form->core().countdown();
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
