#include "core/remote/remotecommand.h"

#include "core/countdown/countdown.h"

#include <QStringList>
#include <array>

namespace hy {
namespace {

using C = RemoteCommand;

const RemoteCommandInfo kCommands[] = {
    {C::Toggle, "toggle", "Toggle",
     "启动或停止倒计时，与快捷键相同：没有倒计时在运行就启动，否则停止",
     "Starts the countdown when none runs, stops it otherwise, as the start/stop shortcut "
     "does. Bind this command to a key in the desktop's keyboard settings where the desktop "
     "offers no global shortcut to programs."},
    {C::Start, "start", "Start", "启动倒计时，与“启动”按钮相同",
     "Starts the countdown, as the button 启动 does."},
    {C::Stop, "stop", "Stop", "停止倒计时，与“停止”按钮相同",
     "Stops the countdown, as the button 停止 does."},
    {C::Show, "show", "Show", "显示窗口（也从通知区域恢复）并放到最前面",
     "Shows the window and brings it to the front."},
    {C::Status, "status", nullptr,
     "显示倒计时的状态（进行中、等待开始时间或未运行）、剩余时间和循环次数；"
     "没有运行中的禾音语音报时器时退出码为 1",
     "Prints one line: whether a countdown runs or waits for its start time, the time left "
     "(h:m:s, as the window shows it) and the cycle count. Exits 1 when no copy runs."},
};

} // namespace

std::span<const RemoteCommandInfo> remoteCommands()
{
    return kCommands;
}

const RemoteCommandInfo* remoteCommandInfo(RemoteCommand command)
{
    for (const RemoteCommandInfo& info : kCommands) {
        if (info.command == command)
            return &info;
    }
    return nullptr;
}

QString remoteCommandWord(RemoteCommand command)
{
    const RemoteCommandInfo* info = remoteCommandInfo(command);
    return info ? QString::fromLatin1(info->word) : QString();
}

RemoteCommand remoteCommandFromWord(const QString& word)
{
    for (const RemoteCommandInfo& info : kCommands) {
        if (word == QLatin1String(info.word))
            return info.command;
    }
    return RemoteCommand::None;
}

QString statusLine(const CountdownStatus& status)
{
    const QString left = CountdownEngine::formatRemaining(std::max(0, status.remainingSeconds));
    const QString state = !status.running  ? QStringLiteral("倒计时未运行")
                          : status.waiting ? QStringLiteral("倒计时等待开始时间")
                                           : QStringLiteral("倒计时进行中");
    return QStringLiteral("%1，剩余 %2，循环 %3 次").arg(state, left).arg(status.cycleCount);
}

QString encodeStatus(const CountdownStatus& status)
{
    return QStringLiteral("status %1 %2 %3 %4")
        .arg(int(status.running))
        .arg(int(status.waiting))
        .arg(status.remainingSeconds)
        .arg(status.cycleCount);
}

bool decodeStatus(const QString& line, CountdownStatus* status)
{
    const QStringList parts = line.trimmed().split(QLatin1Char(' '));
    if (parts.size() != 5 || parts[0] != QLatin1String("status"))
        return false;
    std::array<int, 4> v{};
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        v[i] = parts[i + 1].toInt(&ok);
        if (!ok)
            return false;
    }
    *status = {v[0] != 0, v[1] != 0, std::max(0, v[2]), v[3]};
    return true;
}

} // namespace hy
