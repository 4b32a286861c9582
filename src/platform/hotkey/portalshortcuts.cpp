#include "platform/hotkey/portalshortcuts.h"

#include "core/hotkeyname.h"

#include <QDBusArgument>
#include <QDBusMetaType>

namespace hy {

QDBusArgument& operator<<(QDBusArgument& arg, const PortalShortcut& shortcut)
{
    arg.beginStructure();
    arg << shortcut.id << shortcut.properties;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, PortalShortcut& shortcut)
{
    arg.beginStructure();
    arg >> shortcut.id >> shortcut.properties;
    arg.endStructure();
    return arg;
}

void registerPortalShortcutTypes()
{
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<PortalShortcuts>();
}

PortalShortcuts shortcutRequest(const QString& id, int functionKey)
{
    return {{
        id,
        {
            {QStringLiteral("description"), QStringLiteral("启动/停止倒计时")},
            {QStringLiteral("preferred_trigger"), QStringLiteral("CTRL+F%1").arg(functionKey)},
        },
    }};
}

BoundShortcut findShortcut(const PortalShortcuts& list, const QString& id)
{
    for (const PortalShortcut& s : list) {
        if (s.id == id)
            return {true, s.properties.value(QStringLiteral("trigger_description")).toString()};
    }
    return {};
}

QString bindingProblem(const BoundShortcut& bound, int functionKey)
{
    if (bound.trigger.isEmpty())
        return QStringLiteral("桌面接受了全局快捷键，但没有说用的是哪个键（请求的是 Ctrl+F%1）")
            .arg(functionKey);
    if (!isCtrlFunctionKey(bound.trigger, functionKey))
        return QStringLiteral("桌面把启动/停止倒计时的快捷键设为 %1，而不是 Ctrl+F%2：请按 %1")
            .arg(bound.trigger)
            .arg(functionKey);
    return {};
}

} // namespace hy
