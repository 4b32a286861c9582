#include "core/remote/remotecommand.h"

#include "core/countdown/countdown.h"

#include <QStringList>
#include <array>
#include <utility>

namespace hy {
namespace {

constexpr std::array<std::pair<RemoteCommand, const char*>, 5> kWords{{
    {RemoteCommand::Show, "show"},
    {RemoteCommand::Toggle, "toggle"},
    {RemoteCommand::Start, "start"},
    {RemoteCommand::Stop, "stop"},
    {RemoteCommand::Status, "status"},
}};

} // namespace

QString remoteCommandWord(RemoteCommand command)
{
    for (const auto& [c, word] : kWords) {
        if (c == command)
            return QString::fromLatin1(word);
    }
    return {};
}

RemoteCommand remoteCommandFromWord(const QString& word)
{
    for (const auto& [c, w] : kWords) {
        if (word == QLatin1String(w))
            return c;
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
