#pragma once

#include <QList>
#include <QObject>
#include <QString>

namespace hy {

struct CountdownEnd;

// What the user can do from a notice, where the desktop shows buttons.
enum class NoticeAction
{
    Again,  // 再来一次: a countdown of the same length once more
    Stop,   // 停止: end the cycling run
    SetKey, // 设置快捷键: take the desktop-wide key the notice offers
};

// A desktop notification: its texts and the actions it offers.
struct Notice
{
    QString summary;
    QString body;
    QList<NoticeAction> actions;
    bool operator==(const Notice&) const = default;
};

// The notice of a countdown that ended by itself ("倒计时 0:5:0 结束", with
// 再来一次) or of a cycle that ended ("第 2 次循环结束", with 再来一次, which
// begins the length anew, and 停止).
Notice countdownEndNotice(const CountdownEnd& end);
// The text of an action's button, and the name it goes by on the bus.
QString noticeActionText(NoticeAction action);
QString noticeActionKey(NoticeAction action);

// Desktop notifications: one notice at a time, each new one in place of the
// one before. Nothing is said back when the desktop cannot show notices.
class INotifier : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    // Shows `notice` in place of the one shown before. Returns at once.
    virtual void notify(const Notice& notice) = 0;
    // Takes back the notice shown, if any (it is out of date).
    virtual void withdraw() = 0;

signals:
    // The user chose `action` on the notice shown last.
    void actionInvoked(hy::NoticeAction action);
};

} // namespace hy
