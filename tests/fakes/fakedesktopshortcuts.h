#pragma once

// The desktop's custom shortcuts kept in memory, for tests of what uses
// hy::DesktopShortcuts: keys held by others are set in `held`, ours is in
// `ours`, and every call is recorded. Answers come from the event loop, in
// the order of the calls, as the real ones do.
#include "platform/hotkey/desktopshortcuts.h"
#include "platform/hotkey/gnomekeybindings.h"

#include <QMap>
#include <QStringList>

class FakeDesktopShortcuts final : public hy::DesktopShortcuts
{
public:
    using Result = hy::ShortcutAnswer::Result;
    using hy::DesktopShortcuts::DesktopShortcuts;

    QMap<int, QString> held;                // function key → what holds it
    std::optional<hy::CustomShortcut> ours; // as the desktop keeps it
    bool fails = false;                     // every call answers Failed
    QStringList calls;                      // "bind 2 /usr/bin/hytune", "remove", ...

    void findOurs(Done done) override
    {
        calls << QStringLiteral("findOurs");
        answer(std::move(done), 0);
    }
    void checkKey(int functionKey, Done done) override
    {
        calls << QStringLiteral("checkKey %1").arg(functionKey);
        answer(std::move(done), functionKey);
    }
    void bind(int functionKey, const QString& program, Done done) override
    {
        calls << QStringLiteral("bind %1 %2").arg(functionKey).arg(program);
        if (!fails && !held.contains(functionKey))
            ours = hy::CustomShortcut{
                hy::GnomeKeybindings::kOurPath, hy::GnomeKeybindings::kName.toString(),
                hy::toggleCommand(program), QStringLiteral("<Primary>F%1").arg(functionKey)};
        answer(std::move(done), functionKey);
    }
    void remove(Done done) override
    {
        calls << QStringLiteral("remove");
        if (!fails)
            ours.reset();
        answer(std::move(done), 0);
    }

private:
    void answer(Done done, int functionKey)
    {
        hy::ShortcutAnswer a;
        a.ours = ours;
        if (fails) {
            a.result = Result::Failed;
            a.message = QStringLiteral("无法修改 GNOME 的自定义快捷键（设置已被锁定）");
        } else if (held.contains(functionKey)) {
            a.result = Result::Taken;
            a.holder = held.value(functionKey);
            a.message =
                QStringLiteral("Ctrl+F%1 已被 GNOME 的“%2”占用").arg(functionKey).arg(a.holder);
        } else {
            a.result = Result::Done;
        }
        QMetaObject::invokeMethod(
            this, [done = std::move(done), a] { done(a); }, Qt::QueuedConnection);
    }
};
