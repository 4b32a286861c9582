#include "platform/hotkey/portalshortcuts.h"

#include "core/hotkeyname.h"

#include <QDBusArgument>
#include <QDBusError>
#include <QDBusMetaType>
#include <QDBusObjectPath>

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

QString problemForError(const QDBusError& error)
{
    const QString name = error.name();
    if (name == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
        name == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner") ||
        name.startsWith(QLatin1String("org.freedesktop.DBus.Error.Spawn")))
        return QStringLiteral("此桌面不支持全局快捷键（没有桌面门户服务）");
    if (name == QLatin1String("org.freedesktop.DBus.Error.UnknownMethod") ||
        name == QLatin1String("org.freedesktop.DBus.Error.UnknownInterface") ||
        name == QLatin1String("org.freedesktop.DBus.Error.UnknownObject"))
        return QStringLiteral("此桌面不支持全局快捷键（桌面门户没有全局快捷键功能）");
    if (name == QLatin1String("org.freedesktop.DBus.Error.Disconnected"))
        return QStringLiteral("此桌面不支持全局快捷键（无法连接会话总线）");
    return QStringLiteral("无法设置全局快捷键：桌面门户出错（%1）").arg(error.message());
}

QString sessionFrom(const QVariant& value)
{
    // Documented as a string; some portal versions send an object path.
    if (value.metaType() == QMetaType::fromType<QDBusObjectPath>())
        return value.value<QDBusObjectPath>().path();
    return value.toString();
}

} // namespace hy
