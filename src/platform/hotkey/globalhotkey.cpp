#include "platform/hotkey/globalhotkey.h"

#include "platform/hotkey/gnomehotkey.h"
#include "platform/hotkey/gnomeshortcuts.h"
#include "platform/hotkey/portalhotkey.h"
#include "platform/x11/x11hotkey.h"

#include <QDBusConnection>
#include <QGuiApplication>

namespace hy {
namespace {

// Stands in where no desktop-wide key can be had at all.
class UnavailableHotkey final : public GlobalHotkey
{
public:
    UnavailableHotkey(const QString& problem, QObject* parent)
        : GlobalHotkey(parent)
    {
        setState(Status::Unavailable, problem);
    }
    void registerKey(int) override {}
    void unregisterKey() override {}
};

class IdleHotkey final : public GlobalHotkey
{
public:
    using GlobalHotkey::GlobalHotkey;
    void registerKey(int) override {}
    void unregisterKey() override {}
};

bool isWaylandSession()
{
    return qEnvironmentVariable("XDG_SESSION_TYPE")
                   .compare(QLatin1String("wayland"), Qt::CaseInsensitive) == 0 ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

} // namespace

void GlobalHotkey::bindDesktopShortcut(Done done)
{
    QMetaObject::invokeMethod(
        this,
        [done = std::move(done)] {
            done(QStringLiteral("这个桌面不用在它的设置里添加快捷键：程序自己设置全局快捷键"));
        },
        Qt::QueuedConnection);
}

void GlobalHotkey::unbindDesktopShortcut(Done done)
{
    bindDesktopShortcut(std::move(done));
}

std::unique_ptr<GlobalHotkey> createGlobalHotkey(QObject* parent)
{
    // On Wayland, even through XWayland, an X grab only sees keys while one of
    // our own windows has the focus: there the portal is the way.
    if (QGuiApplication::platformName() == QLatin1String("xcb") && !isWaylandSession())
        return std::make_unique<X11Hotkey>(parent);

    // Whether the portal offers GlobalShortcuts is found out by the first
    // registerKey(), asynchronously (asking now could wait for the portal
    // to be started); it then turns Unavailable with its own reason.
    QDBusConnection bus = QDBusConnection::sessionBus();
    // GNOME up to 47 lets no program bind a key; its own custom shortcuts can.
    if (bus.isConnected() && isGnomeDesktop()) {
        return std::make_unique<GnomeHotkey>(
            bus, [] { return std::make_unique<GnomeShortcuts>(); },
            [bus] { return std::make_unique<PortalHotkey>(bus); },
            QCoreApplication::applicationFilePath(), parent);
    }
    if (bus.isConnected())
        return std::make_unique<PortalHotkey>(bus, parent);
    return std::make_unique<UnavailableHotkey>(
        QStringLiteral("此桌面不支持全局快捷键（没有 X11 显示，也没有会话总线）"), parent);
}

std::unique_ptr<GlobalHotkey> createIdleHotkey(QObject* parent)
{
    return std::make_unique<IdleHotkey>(parent);
}

} // namespace hy
