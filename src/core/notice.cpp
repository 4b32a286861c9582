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

namespace {

struct ActionNames
{
    NoticeAction action;
    const char* key;  // the action's name on the bus
    const char* text; // its button
};

constexpr ActionNames kActions[] = {
    {NoticeAction::Again, "again", "再来一次"},
    {NoticeAction::Stop, "stop", "停止"},
    {NoticeAction::SetKey, "set-key", "设置快捷键"},
};

const ActionNames* namesOf(NoticeAction action)
{
    for (const ActionNames& n : kActions) {
        if (n.action == action)
            return &n;
    }
    return nullptr;
}

} // namespace

QString noticeActionText(NoticeAction action)
{
    const ActionNames* n = namesOf(action);
    return n ? QString::fromUtf8(n->text) : QString();
}

QString noticeActionKey(NoticeAction action)
{
    const ActionNames* n = namesOf(action);
    return n ? QString::fromLatin1(n->key) : QString();
}

} // namespace hy
