#include "shell/remote/remotecontrol.h"

#include "core/app/appcore.h"
#include "core/countdown/length.h"
#include "core/inputerror.h"
#include "platform/hotkey/globalhotkey.h"
#include "shell/hotkeybinding.h"
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
    for (const auto& [command, value] : std::exchange(m_waiting, {}))
        run(command, value);
}

RemoteAnswer RemoteControl::run(RemoteCommand command, const QString& value)
{
    RemoteAnswer answer;
    run(command, value, [&answer](const RemoteAnswer& a) { answer = a; });
    return answer;
}

void RemoteControl::run(RemoteCommand command, const QString& value, Answered answered)
{
    if (command == RemoteCommand::None || command == RemoteCommand::Status) {
        answered({});
    } else if (!m_form) {
        m_waiting.append({command, value});
        answered({});
    } else if (command == RemoteCommand::BindDesktopShortcut ||
               command == RemoteCommand::UnbindDesktopShortcut) {
        desktopShortcut(command == RemoteCommand::BindDesktopShortcut, std::move(answered));
    } else {
        answered(carryOut(command, value));
    }
}

void RemoteControl::desktopShortcut(bool bind, Answered answered)
{
    HotkeyBinding* key = m_form->hotkeyBinding();
    if (!key) {
        answered({QStringLiteral("NotReady"), QStringLiteral("快捷键还没有设置好，请稍后再试")});
        return;
    }
    auto done = [answered = std::move(answered)](const QString& problem) {
        answered(problem.isEmpty() ? RemoteAnswer{}
                                   : RemoteAnswer{QStringLiteral("DesktopShortcut"), problem});
    };
    if (bind)
        key->bindDesktopShortcut(std::move(done));
    else
        key->unbindDesktopShortcut(std::move(done));
}

RemoteAnswer RemoteControl::carryOut(RemoteCommand command, const QString& value)
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
    case RemoteCommand::Pause:
        core.pauseCountdown();
        break;
    case RemoteCommand::Resume:
        core.resumeCountdown();
        break;
    case RemoteCommand::Length: {
        QString why;
        const auto length = parseLength(value, &why);
        if (!length)
            return {QStringLiteral("BadLength"), why};
        core.setLength(*length);
        break;
    }
    case RemoteCommand::None:
    case RemoteCommand::Status:
    case RemoteCommand::BindDesktopShortcut:
    case RemoteCommand::UnbindDesktopShortcut:
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
    return {c.isActive(), c.isWaiting(), std::max(0, c.RemainSeconds), c.CycleCount, c.isPaused()};
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
