#include "core/notice.h"

#include "core/countdown/countdown.h"

namespace hy {

Notice countdownEndNotice(const CountdownEnd& end)
{
    const QString length = end.length.toString();
    if (end.cycle == 0)
        return {QStringLiteral("倒计时 %1 结束").arg(length), QString(), {NoticeAction::Again}};
    return {QStringLiteral("第 %1 次循环结束").arg(end.cycle),
            QStringLiteral("倒计时 %1 已开始下一次循环").arg(length),
            {NoticeAction::Again, NoticeAction::Stop}};
}

QString noticeActionText(NoticeAction action)
{
    switch (action) {
    case NoticeAction::Again:
        return QStringLiteral("再来一次");
    case NoticeAction::Stop:
        return QStringLiteral("停止");
    case NoticeAction::SetKey:
        return QStringLiteral("设置快捷键");
    }
    return {};
}

} // namespace hy
