#include "core/remote/remotecommand.h"

#include "core/countdown/countdown.h"

#include <QStringList>
#include <array>

namespace hy {
namespace {

using C = RemoteCommand;

const RemoteCommandInfo kCommands[] = {
    {C::Toggle, "toggle", "Toggle", nullptr,
     "启动或停止倒计时，与快捷键相同：没有倒计时在运行就启动，否则停止",
     "Starts the countdown when none runs, stops it otherwise, as the start/stop shortcut "
     "does. Bind this command to a key in the desktop's keyboard settings where the desktop "
     "offers no global shortcut to programs."},
    {C::Start, "start", "Start", nullptr,
     "启动倒计时，与“启动”按钮相同；倒计时已在进行时不变，退出码为 1",
     "Starts the countdown, as the button 启动 does. While a countdown runs it changes "
     "nothing and exits 1."},
    {C::Stop, "stop", "Stop", nullptr, "停止倒计时，与“停止”按钮相同",
     "Stops the countdown, as the button 停止 does."},
    {C::Pause, "pause", "Pause", nullptr, "暂停进行中的倒计时，剩余时间保留",
     "Pauses the countdown that runs; the time left is kept."},
    {C::Resume, "resume", "Resume", nullptr, "继续已暂停的倒计时，从暂停时的剩余时间接着报数",
     "Resumes a paused countdown from the time that was left."},
    {C::Length, "length", "SetLength", "H:M:S",
     "把倒计时长度设为 时:分:秒（例如 0:5:0），与在窗口里选择相同；可与 --start 或 --toggle "
     "一起给出",
     "Sets the countdown's length to hours:minutes:seconds (0:5:0, up to 23:59:59), as "
     "choosing it in the window does; it is kept. Can be given with --start or --toggle."},
    {C::BindDesktopShortcut, "bind-desktop-shortcut", "BindDesktopShortcut", nullptr,
     "在桌面自己的键盘设置里添加启动/停止快捷键（GNOME 不让程序自己设置全局快捷键时）："
     "CTRL+ 所选的键，运行本程序 --toggle；已有时移到所选的键",
     "Adds the start/stop shortcut to the desktop's own keyboard settings, where the desktop "
     "lets no program bind a global key (GNOME up to 47): a custom shortcut on Ctrl and the "
     "key chosen in the window, running this program with --toggle; one that is there moves "
     "to that key. Exits 1, saying why, when the key is taken or the desktop has no such "
     "settings."},
    {C::UnbindDesktopShortcut, "unbind-desktop-shortcut", "UnbindDesktopShortcut", nullptr,
     "从桌面自己的键盘设置里删除本程序添加的快捷键，其他快捷键不变",
     "Removes the shortcut this program added to the desktop's keyboard settings, and nothing "
     "else."},
    {C::Show, "show", "Show", nullptr, "显示窗口（也从通知区域恢复）并放到最前面",
     "Shows the window and brings it to the front."},
    {C::Status, "status", nullptr, nullptr,
     "显示倒计时的状态（进行中、已暂停、等待开始时间或未运行）、剩余时间和循环次数；"
     "没有运行中的禾音语音报时器时退出码为 1",
     "Prints one line: whether a countdown runs, is paused or waits for its start time, the "
     "time left (h:m:s, as the window shows it) and the cycle count. Exits 1 when no copy "
     "runs."},
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
                          : status.paused  ? QStringLiteral("倒计时已暂停")
                          : status.waiting ? QStringLiteral("倒计时等待开始时间")
                                           : QStringLiteral("倒计时进行中");
    return QStringLiteral("%1，剩余 %2，循环 %3 次").arg(state, left).arg(status.cycleCount);
}

QString encodeStatus(const CountdownStatus& status)
{
    return QStringLiteral("status %1 %2 %3 %4 %5")
        .arg(int(status.running))
        .arg(int(status.waiting))
        .arg(status.remainingSeconds)
        .arg(status.cycleCount)
        .arg(int(status.paused));
}

bool decodeStatus(const QString& line, CountdownStatus* status)
{
    const QStringList parts = line.trimmed().split(QLatin1Char(' '));
    if (parts.size() != 6 || parts[0] != QLatin1String("status"))
        return false;
    std::array<int, 5> v{};
    for (int i = 0; i < 5; ++i) {
        bool ok = false;
        v[i] = parts[i + 1].toInt(&ok);
        if (!ok)
            return false;
    }
    *status = {v[0] != 0, v[1] != 0, std::max(0, v[2]), v[3], v[4] != 0};
    return true;
}

} // namespace hy
