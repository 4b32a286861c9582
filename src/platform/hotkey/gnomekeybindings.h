#pragma once

#include "platform/hotkey/desktopshortcuts.h"
#include "platform/hotkey/giosettings.h"

#include <QString>
#include <optional>

namespace hy {

// The command line of the program's shortcut: the program's path, quoted as
// a shell would need it when it holds spaces or the like, then " --toggle".
QString toggleCommand(const QString& program);

// GNOME's custom shortcuts and its own keybindings, read and written
// synchronously through GSettings (GnomeShortcuts runs this on a thread of
// its own). The custom shortcuts are a list of paths in the media-keys
// settings of gnome-settings-daemon, whose daemon gsd-media-keys runs them;
// each path holds a name, a command and a binding. Ours has a path of its
// own, so that it is found again, and changing or removing it never touches
// another entry.
class GnomeKeybindings
{
public:
    static constexpr QLatin1String kMediaKeys{"org.gnome.settings-daemon.plugins.media-keys"};
    static constexpr QLatin1String kCustom{
        "org.gnome.settings-daemon.plugins.media-keys.custom-keybinding"};
    static constexpr QLatin1String kList{"custom-keybindings"};
    static constexpr QLatin1String kOurPath{
        "/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/hytune/"};
    static constexpr QStringView kName = u"禾音语音报时器";

    ShortcutAnswer findOurs();
    ShortcutAnswer checkKey(int functionKey);
    ShortcutAnswer bind(int functionKey, const QString& program);
    ShortcutAnswer remove();

private:
    struct Holder
    {
        QString name;
        bool custom = false; // a custom shortcut, or one of GNOME's own settings
    };

    // A Failed answer when the settings cannot be had at all.
    std::optional<ShortcutAnswer> unavailable();
    QStringList paths();
    CustomShortcut entry(const QString& path);
    std::optional<CustomShortcut> ours();
    std::optional<Holder> holderOf(int functionKey);
    std::optional<Holder> gnomeHolderOf(int functionKey);
    ShortcutAnswer answer(ShortcutAnswer::Result result, int functionKey = 0,
                          const std::optional<Holder>& holder = {});
    bool write(const QString& key, const QString& value);

    GioSettings m_settings;
};

} // namespace hy
