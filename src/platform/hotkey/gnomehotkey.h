#pragma once

#include "platform/hotkey/desktopshortcuts.h"
#include "platform/hotkey/globalhotkey.h"

#include <QDBusConnection>
#include <functional>
#include <memory>
#include <vector>

namespace hy {

// The desktop-wide key on GNOME. Up to GNOME 47 no program may bind a key
// itself: the key is then a custom shortcut of GNOME's keyboard settings
// that runs this program with --toggle, which the program adds, moves or
// removes only when the user asks (bindDesktopShortcut). Its presses reach
// the program as that command, not as pressed(). On a GNOME whose portal
// offers global shortcuts (48 on), the portal's key is used instead.
class GnomeHotkey final : public GlobalHotkey
{
public:
    using ShortcutsFactory = std::function<std::unique_ptr<DesktopShortcuts>()>;
    using PortalFactory = std::function<std::unique_ptr<GlobalHotkey>()>;

    // `program`: the path the shortcut runs.
    GnomeHotkey(const QDBusConnection& bus, ShortcutsFactory shortcuts, PortalFactory portal,
                QString program, QObject* parent = nullptr);
    ~GnomeHotkey() override;

    // Looks the program's shortcut up: the key works when it is bound to it.
    void registerKey(int functionKey) override;
    // Forgets the key; the shortcut stays in GNOME's settings, as the user's.
    void unregisterKey() override;

    bool offersDesktopShortcut() const override;
    bool holdsDesktopShortcut() const override { return m_ours.has_value(); }
    void bindDesktopShortcut(Done done) override;
    void unbindDesktopShortcut(Done done) override;

private:
    enum class Mode
    {
        Unknown,
        Asking,
        Custom, // GNOME's custom shortcuts
        Portal,
    };
    void decided(bool customShortcuts);
    void lookUp();
    void take(const ShortcutAnswer& answer);
    DesktopShortcuts& shortcuts();

    QDBusConnection m_bus;
    ShortcutsFactory m_makeShortcuts;
    PortalFactory m_makePortal;
    QString m_program;
    Mode m_mode = Mode::Unknown;
    int m_key = 0;
    std::unique_ptr<DesktopShortcuts> m_shortcuts;
    std::unique_ptr<GlobalHotkey> m_portal;
    std::optional<CustomShortcut> m_ours;
    bool m_failed = false; // GNOME's settings could not be read
    // Asked for before the desktop said which way keys go: bind (true) or not.
    std::vector<std::pair<bool, Done>> m_waiting;
};

// A GNOME key binding in the words a user reads: "<Primary>F1" → "Ctrl+F1".
QString readableBinding(const QString& binding);

} // namespace hy
